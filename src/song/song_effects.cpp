#include "song/song_effects.h"

#include <algorithm>

namespace kellix {

TEffects LimitEffects(TEffects e) {
    e.DelayL = std::clamp(e.DelayL, 0, kMaxEffectDelay);
    e.DelayR = std::clamp(e.DelayR, 0, kMaxEffectDelay);
    e.Reverb = e.Reverb != 0 ? 1 : 0;
    e.Amplitude = std::clamp(e.Amplitude, 0, kMaxReverbAmplitude);
    e.Step = std::clamp(e.Step, 0, kMaxReverbStep);
    e.Cutoff = std::clamp(e.Cutoff, 1, kMaxReverbBand);
    return e;
}

} // namespace kellix

#include "audio/audio_frames.h"

#include "support/numtext.h"

#include <algorithm>
#include <string>

namespace kellix {

int32_t AudioFramesSetting(const char* env, std::optional<int32_t> saved) {
    int32_t frames = saved.value_or(kDefaultAudioFrames);
    int32_t fromEnv = 0;
    if (env && StrictTextToInt(env, fromEnv)) {
        frames = fromEnv;
    }
    return std::clamp(frames, kMinAudioFrames, kMaxAudioFrames);
}

} // namespace kellix

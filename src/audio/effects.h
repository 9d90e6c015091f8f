#pragma once

#include "song/song_effects.h"

#include <cstdint>

namespace kellix {

// The master effects' settings. Each mixer has its own copy: the live output's is the one the
// window sets, a rendering mixer is given the one to render with.
struct StereoDelaySettings {
    int32_t DecayL, DecayR; // feedback gains, 32768 = 1.0
    int32_t DelayL, DelayR; // in frames, 0..44099
    bool operator==(const StereoDelaySettings&) const = default;
};

struct ReverbSettings {
    int32_t Amplitude;
    int32_t Spare;
    int32_t Step; // at most 10000
    int32_t Band;
    int32_t Cutoff; // 1..256
    bool operator==(const ReverbSettings&) const = default;
};

struct MasterEffects {
    StereoDelaySettings Delay;
    ReverbSettings Reverb;
    // The reverb stage runs after the delay only when on (see reverb.h).
    bool ReverbOn = false;
    bool operator==(const MasterEffects&) const = default;
};

// Delays are clamped to 0..44099 frames (the echo memory holds one second).
void SetStereoDelay(MasterEffects& effects, int32_t decayL, int32_t decayR, int32_t delayL,
                    int32_t delayR);
// Stores the reverb settings: step at most 10000, cutoff within 1..256.
void SetReverb(MasterEffects& effects, int32_t amplitude, int32_t spare, int32_t step, int32_t band,
               int32_t cutoff);

// The start-up values: SetReverb(4000, 20000, 10400, 256, 256) and
// SetStereoDelay(9980, 8191, 10584, 15876).
MasterEffects StartupEffects();

// The effects a song asks for: SetStereoDelay(DecayL, DecayR, DelayL, DelayR),
// SetReverb(Amplitude, 20000, Step, Cutoff, 256) (the window's Cutoff box is the band) and the
// reverb on unless Reverb is 0. A new song's effects give StartupEffects().
MasterEffects EffectsOf(const TEffects& song);

struct SoundBuffer;
// Runs the mixer's stereo feedback delay over n frames of the ring starting at frame
// WritePos / 4.
void ApplyStereoDelay(SoundBuffer* mixer, uint8_t* ring, int32_t n);

} // namespace kellix

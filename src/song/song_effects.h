#pragma once

#include <cstdint>

namespace kellix {

// The master effects as the song keeps them: what the Stereo Delay and Reverb windows set, saved
// with the song and heard wherever it plays or renders. A new song, and a song file without
// them, has the values the output starts with.
struct TEffects {
    int32_t DelayL = 10584; // frames between the left channel's echoes, 0..44099
    int32_t DelayR = 15876;
    int32_t DecayL = 9980; // echo feedback gain, 32768 = 1.0
    int32_t DecayR = 8191;
    int32_t Reverb = 0;       // 1: the reverb stage runs after the delay
    int32_t Amplitude = 4000; // the reverb's scatter, 0..44100 frames
    int32_t Step = 10000;     // the spacing of its groups of taps, 0..10000 frames
    int32_t Cutoff = 256;     // the Reverb window's Cutoff box: the filter's band, 1..512
    bool operator==(const TEffects&) const = default;
};

// The largest delay the echo memory of one second allows, and the reverb's limits.
constexpr int32_t kMaxEffectDelay = 44099;
constexpr int32_t kMaxReverbAmplitude = 44100;
constexpr int32_t kMaxReverbStep = 10000;
constexpr int32_t kMaxReverbBand = 512;

// The values as the mixer uses them: delays within 0..44099, Reverb 0 or 1 (any other number
// switches it on), Amplitude 0..44100, Step 0..10000, Cutoff 1..512. Decays are kept as they
// are: gains of 32768 or more make echoes that grow until they clip.
TEffects LimitEffects(TEffects effects);

} // namespace kellix

#pragma once

#include <cstdint>

namespace kellix {

// The master effects' settings, shared by every mixer. Written by the window's thread and read
// by whichever thread mixes; each value is read whole.
struct ReverbSettings {
    int32_t Amplitude;
    int32_t Spare;
    int32_t Step;
    int32_t Band;
    int32_t Cutoff;
};

// Delays are clamped to 0..44099 frames (the echo memory holds one second).
void SetStereoDelay(int32_t decayL, int32_t decayR, int32_t delayL, int32_t delayR);
// Stores the reverb settings: step at most 10000, cutoff within 1..256. Nothing mixes them yet.
void SetReverb(int32_t amplitude, int32_t spare, int32_t step, int32_t band, int32_t cutoff);
ReverbSettings CurrentReverb();

struct StereoDelaySettings {
    int32_t DecayL, DecayR, DelayL, DelayR;
};
StereoDelaySettings CurrentStereoDelay();

// The start-up values: SetReverb(4000, 20000, 10400, 256, 256) and
// SetStereoDelay(9980, 8191, 10584, 15876).
void SetStartupEffects();

struct SoundBuffer;
// Runs the stereo feedback delay over n frames of the ring starting at frame WritePos / 4.
void ApplyStereoDelay(SoundBuffer* mixer, uint8_t* ring, int32_t n);

} // namespace kellix

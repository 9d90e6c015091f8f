#include "audio/effects.h"

#include "audio/mixer.h"

#include <algorithm>
#include <atomic>

namespace kellix {

namespace {

// Plain 32-bit values written by the window's thread and read by the mixing thread; relaxed
// atomics make each read whole without any ordering cost.
std::atomic<int32_t> g_decayL{9980}, g_decayR{8191}, g_delayL{10584}, g_delayR{15876};
std::atomic<int32_t> g_amplitude{4000}, g_spare{20000}, g_step{10400}, g_band{256}, g_cutoff{256};

constexpr int32_t kMaxDelay = 44099;

int32_t Clamp16Echo(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, -32767, 32766));
}

} // namespace

void SetStereoDelay(int32_t decayL, int32_t decayR, int32_t delayL, int32_t delayR) {
    g_decayL.store(decayL, std::memory_order_relaxed);
    g_decayR.store(decayR, std::memory_order_relaxed);
    g_delayL.store(std::clamp(delayL, 0, kMaxDelay), std::memory_order_relaxed);
    g_delayR.store(std::clamp(delayR, 0, kMaxDelay), std::memory_order_relaxed);
}

StereoDelaySettings CurrentStereoDelay() {
    return {g_decayL.load(std::memory_order_relaxed), g_decayR.load(std::memory_order_relaxed),
            g_delayL.load(std::memory_order_relaxed), g_delayR.load(std::memory_order_relaxed)};
}

void SetReverb(int32_t amplitude, int32_t spare, int32_t step, int32_t band, int32_t cutoff) {
    g_amplitude.store(amplitude, std::memory_order_relaxed);
    g_spare.store(spare, std::memory_order_relaxed);
    g_step.store(std::min(step, 10000), std::memory_order_relaxed);
    g_band.store(band, std::memory_order_relaxed);
    g_cutoff.store(std::clamp(cutoff, 1, 256), std::memory_order_relaxed);
}

ReverbSettings CurrentReverb() {
    return {g_amplitude.load(std::memory_order_relaxed), g_spare.load(std::memory_order_relaxed),
            g_step.load(std::memory_order_relaxed), g_band.load(std::memory_order_relaxed),
            g_cutoff.load(std::memory_order_relaxed)};
}

void SetStartupEffects() {
    SetReverb(4000, 20000, 10400, 256, 256);
    SetStereoDelay(9980, 8191, 10584, 15876);
}

void ApplyStereoDelay(SoundBuffer* mixer, uint8_t* ring, int32_t n) {
    const StereoDelaySettings s = CurrentStereoDelay();
    const int32_t frames = mixer->Size / 4;
    // The echo memory holds one second of this mixer's rate.
    const int32_t delayL = std::min(s.DelayL, frames - 1);
    const int32_t delayR = std::min(s.DelayR, frames - 1);
    auto* out = reinterpret_cast<int16_t*>(ring);
    auto* echo = reinterpret_cast<int16_t*>(mixer->EchoBuffer);
    int32_t d = mixer->WritePos / 4;
    int32_t wL = d + delayL;
    int32_t wR = d + delayR;
    for (int32_t i = 0; i < n; ++i) {
        if (d >= frames) {
            d -= frames;
        }
        if (wL >= frames) {
            wL -= frames;
        }
        if (wR >= frames) {
            wR -= frames;
        }
        // y = clamp(x + echo x decay / 32768), fed back through the echo memory.
        int32_t yL = Clamp16Echo(out[2 * d] + ((int64_t{echo[2 * d]} * s.DecayL) >> 15));
        out[2 * d] = static_cast<int16_t>(yL);
        echo[2 * wL] = static_cast<int16_t>(yL);
        int32_t yR = Clamp16Echo(out[2 * d + 1] + ((int64_t{echo[2 * d + 1]} * s.DecayR) >> 15));
        out[2 * d + 1] = static_cast<int16_t>(yR);
        echo[2 * wR + 1] = static_cast<int16_t>(yR);
        ++d;
        ++wL;
        ++wR;
    }
}

} // namespace kellix

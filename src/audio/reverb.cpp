#include "audio/reverb.h"

#include "support/blocks.h"
#include "support/random.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kellix {

namespace {

constexpr int32_t kMask = kReverbFrames - 1;
constexpr double kLoopGain = 0.97;
constexpr double kNearestWeight = 2048.0;         // a quarter of full level, weights in 1/8192
constexpr double kCoefficientScale = 268435456.0; // 2^28
constexpr double kGainScale = 16777216.0;         // 2^24
constexpr int64_t kFilterLimit = int64_t{1} << 31;

int16_t Sat16(int64_t v) {
    return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
}

void SetUpTaps(ReverbState& s, int32_t amplitude, int32_t step) {
    RandomGenerator g;
    RandomSeed(g, 1, 1);
    for (int32_t k = 0; k < kReverbTaps; ++k) {
        const int32_t v = RandomNext(g);
        const int64_t scatter = (int64_t{v & 0xFE00} + 511) * amplitude / 65535;
        const int64_t group = int64_t{step} * (k % 11 + 1) / 10;
        s.Offset[k] = static_cast<int32_t>(std::max<int64_t>(1, group + scatter));
        s.Sign[k] = k % 11 % 2 == 0 ? 1 : -1;
    }
}

// The second-order filter from the band and the cutoff (r = cutoff / 256).
void SetUpFilter(ReverbState& s, int32_t band, double r) {
    const bool high = band > 256;
    double k;
    if (high) {
        const int32_t mirrored = std::max(513 - band, 1);
        const double w = (256 - mirrored) * std::numbers::pi / 512;
        k = std::sin(w) / std::cos(w);
    } else {
        const double w = std::max(band, 1) * std::numbers::pi / 512;
        k = std::cos(w) / std::sin(w);
    }
    const double a = k * r;
    const double b = k * k;
    const double g = 1 / (1 + a + b);
    const double a1 = high ? 2 * (b - 1) * g : 2 * (1 - b) * g;
    const double a2 = (1 - a + b) * g;
    s.B0 = std::llround(g * kCoefficientScale);
    // The numerator's zeros sit exactly at the frequency the filter removes.
    s.B1 = high ? -2 * s.B0 : 2 * s.B0;
    s.A1 = std::llround(a1 * kCoefficientScale);
    s.A2 = std::llround(a2 * kCoefficientScale);
}

// The feedback and input gains, and the taps' weights fading at the tail's own rate.
void SetUpGains(ReverbState& s, double r) {
    const double c = r * std::sqrt(1 - r * r / 4);
    s.InGain = static_cast<int64_t>(std::floor(kGainScale * c));
    s.LoopGain = static_cast<int64_t>(std::floor(kGainScale * kLoopGain * c / kReverbTaps));
    int64_t sum = 0;
    int32_t nearest = s.Offset[0];
    for (int32_t offset : s.Offset) {
        sum += offset;
        nearest = std::min(nearest, offset);
    }
    const double mean = static_cast<double>(sum) / kReverbTaps;
    const double beta = std::log(std::sqrt(double{kReverbTaps}) / (kLoopGain * c)) / mean;
    for (int32_t k = 0; k < kReverbTaps; ++k) {
        const double fade = std::exp(-beta * (s.Offset[k] - nearest));
        s.Weight[k] = s.Sign[k] * static_cast<int32_t>(std::llround(kNearestWeight * fade));
    }
}

void SetUpAll(ReverbState& s) {
    const ReverbSettings& in = s.Settings;
    const double r = std::clamp(in.Cutoff, 1, 256) / 256.0;
    SetUpTaps(s, std::clamp(in.Amplitude, 0, kMaxReverbAmplitude),
              std::clamp(in.Step, 0, kMaxReverbStep));
    SetUpFilter(s, in.Band, r);
    SetUpGains(s, r);
}

} // namespace

ReverbState* CreateReverb() {
    auto* s = new ReverbState;
    AllocBlock(s->Memory, sizeof(int16_t) * kReverbFrames);
    ResetReverb(*s);
    s->Settings = {4000, 20000, 10000, 256, 256};
    SetUpAll(*s);
    return s;
}

void FreeReverb(ReverbState* state) {
    if (!state) {
        return;
    }
    FreeBlock(state->Memory);
    delete state;
}

void ResetReverb(ReverbState& state) {
    if (!state.Memory) {
        return;
    }
    std::memset(state.Memory, 0, sizeof(int16_t) * kReverbFrames);
    state.Pos = 0;
    state.X1 = state.X2 = state.Y1 = state.Y2 = 0;
}

void SetUpReverb(ReverbState& state, const ReverbSettings& settings, bool on) {
    if (on && !state.On) {
        ResetReverb(state);
    }
    state.On = on;
    if (settings == state.Settings) {
        return;
    }
    state.Settings = settings;
    SetUpAll(state);
}

void ApplyReverb(ReverbState& s, uint8_t* ring, int32_t ringFrames, int32_t firstFrame, int32_t n) {
    if (!s.On || !s.Memory || !ring || ringFrames <= 0 || n <= 0) {
        return;
    }
    n = std::min(n, ringFrames);
    int32_t f = firstFrame % ringFrames;
    if (f < 0) {
        f += ringFrames;
    }
    int16_t* const memory = s.Memory;
    auto* const frames = reinterpret_cast<int16_t*>(ring);
    for (int32_t i = 0; i < n; ++i) {
        int16_t* frame = frames + 2 * f;
        int32_t w = 0, eL = 0, eR = 0;
        for (int32_t k = 0; k < kReverbTaps; k += 2) {
            const int32_t m = memory[(s.Pos - s.Offset[k]) & kMask];
            w += s.Sign[k] * m;
            eL += s.Weight[k] * m;
        }
        for (int32_t k = 1; k < kReverbTaps; k += 2) {
            const int32_t m = memory[(s.Pos - s.Offset[k]) & kMask];
            w += s.Sign[k] * m;
            eR += s.Weight[k] * m;
        }
        const int32_t left = frame[0], right = frame[1];
        const int64_t x = (int64_t{(left + right) >> 1} * s.InGain + int64_t{w} * s.LoopGain) >> 10;
        const int64_t acc = s.B0 * (x + s.X2) + s.B1 * s.X1 - s.A1 * s.Y1 - s.A2 * s.Y2;
        const int64_t y =
            std::clamp<int64_t>((acc + (int64_t{1} << 27)) >> 28, -kFilterLimit, kFilterLimit);
        s.X2 = s.X1;
        s.X1 = x;
        s.Y2 = s.Y1;
        s.Y1 = y;
        memory[s.Pos] = Sat16((y + (1 << 13)) >> 14);
        s.Pos = (s.Pos + 1) & kMask;
        frame[0] = Sat16(left + ((eL + (1 << 12)) >> 13));
        frame[1] = Sat16(right + ((eR + (1 << 12)) >> 13));
        if (++f == ringFrames) {
            f = 0;
        }
    }
}

} // namespace kellix

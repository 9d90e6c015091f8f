// Noise of our own seeded generators: white, and smooth noise from random values at a rate.
#include "detmath.h"
#include "procedures.h"
#include "render.h"

namespace morvane {
namespace {

// PCG32 (permuted congruential generator): small, fast and the same everywhere.
struct Pcg32 {
    uint64_t state = 0;
    uint64_t inc = 1;

    explicit Pcg32(int32_t seed) {
        inc = (static_cast<uint64_t>(static_cast<uint32_t>(seed)) << 1) | 1u;
        Next();
        state += 0x853c49e6748fea9bULL ^ static_cast<uint32_t>(seed);
        Next();
    }
    uint32_t Next() {
        uint64_t old = state;
        state = old * 6364136223846793005ULL + inc;
        auto shifted = static_cast<uint32_t>(((old >> 18) ^ old) >> 27);
        auto rot = static_cast<uint32_t>(old >> 59);
        return (shifted >> rot) | (shifted << ((32 - rot) & 31));
    }
};

// -1 <= value < 1 from 32 random bits.
float Bipolar(uint32_t bits) {
    return static_cast<float>(static_cast<int32_t>(bits)) * (1.0f / 2147483648.0f);
}

// The random value at knot k of the smooth noise: a hash, so any knot can be found directly.
float KnotValue(int32_t seed, uint64_t k) {
    uint64_t z =
        k + 0x9e3779b97f4a7c15ULL * (static_cast<uint64_t>(static_cast<uint32_t>(seed)) + 1);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return Bipolar(static_cast<uint32_t>(z >> 32));
}

// Knots at hz per second; join(w, t) joins the four values around the current segment
// (w[1] at its start, w[2] at its end) at fraction t.
template <class Join>
void SmoothNoise(int32_t sample, int32_t amplitude, int32_t hz, int32_t seed, Join join) {
    Block b;
    if (!Resolve(sample, b)) {
        return;
    }
    float amp = static_cast<float>(Clamp<int32_t>(amplitude, 0, 32767));
    double rate = Clamp<double>(FloatParam(hz, 0.0f), 0.01, kSampleRate);
    auto step = static_cast<uint64_t>(rate / kSampleRate * 4294967296.0);
    uint64_t pos = 0;
    uint64_t knot = 0;
    float w[4] = {KnotValue(seed, ~0ULL), KnotValue(seed, 0), KnotValue(seed, 1),
                  KnotValue(seed, 2)};
    GenerateFrames(b, [&](float* g, int32_t, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            if ((pos >> 32) != knot) {
                knot = pos >> 32;
                w[0] = w[1];
                w[1] = w[2];
                w[2] = w[3];
                w[3] = KnotValue(seed, knot + 2);
            }
            float t = static_cast<float>(pos & 0xffffffffu) * (1.0f / 4294967296.0f);
            g[i] = amp * join(w, t);
            pos += step;
        }
    });
}

} // namespace

int32_t NoiseSample(int32_t sample, int32_t amplitude, int32_t seed) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    float amp = static_cast<float>(Clamp<int32_t>(amplitude, 0, 32767));
    Pcg32 random(seed);
    GenerateFrames(b, [&](float* g, int32_t, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            g[i] = amp * Bipolar(random.Next());
        }
    });
    return 0;
}

int32_t WavletNoise(int32_t sample, int32_t amplitude, int32_t hz, int32_t seed) {
    // Cubic ease between neighbouring values: smooth, flat at each knot.
    SmoothNoise(sample, amplitude, hz, seed, [](const float* w, float t) {
        return w[1] + (w[2] - w[1]) * (t * t * (3.0f - 2.0f * t));
    });
    return 0;
}

int32_t WavletHQ(int32_t sample, int32_t amplitude, int32_t hz, int32_t seed) {
    // Uniform cubic B-spline over four values: curvature continuous too, no flat spots.
    SmoothNoise(sample, amplitude, hz, seed, [](const float* w, float t) {
        float u = 1.0f - t;
        float t2 = t * t;
        float t3 = t2 * t;
        return (u * u * u * w[0] + (3.0f * t3 - 6.0f * t2 + 4.0f) * w[1] +
                (-3.0f * t3 + 3.0f * t2 + 3.0f * t + 1.0f) * w[2] + t3 * w[3]) *
               (1.0f / 6.0f);
    });
    return 0;
}

} // namespace morvane

// Reverberation: parallel damped comb filters into series all-pass filters per channel. The
// tail is cut at the end of the sample, so give the sample room to ring.
#include "detmath.h"
#include "procedures.h"
#include "render.h"

#include <cmath>
#include <vector>

namespace morvane {
namespace {

constexpr int32_t kCombs = 8;
constexpr int32_t kAllpasses = 4;
// Mutually prime delays (frames) keep the echoes from piling up on one period; the second
// channel's are a little longer, which spreads a stereo sample.
constexpr int32_t kCombLength[kCombs] = {1103, 1181, 1277, 1361, 1423, 1493, 1559, 1613};
constexpr int32_t kAllpassLength[kAllpasses] = {557, 443, 347, 227};
constexpr int32_t kStereoSpread = 23;
constexpr float kInputGain = 0.015f;
constexpr float kWetGain = 3.0f;

float Flushed(float v) {
    return std::fabs(v) < 1e-20f ? 0.0f : v;
}

struct Comb {
    std::vector<float> line;
    int32_t at = 0;
    float store = 0.0f;

    float Run(float in, float feedback, float damp) {
        float out = line[at];
        store = Flushed(out * (1.0f - damp) + store * damp);
        line[at] = in + store * feedback;
        at = at + 1 == static_cast<int32_t>(line.size()) ? 0 : at + 1;
        return out;
    }
};

struct Allpass {
    std::vector<float> line;
    int32_t at = 0;

    float Run(float in) {
        float delayed = line[at];
        line[at] = Flushed(in + delayed * 0.5f);
        at = at + 1 == static_cast<int32_t>(line.size()) ? 0 : at + 1;
        return delayed - in;
    }
};

struct Tank {
    Comb comb[kCombs];
    Allpass allpass[kAllpasses];

    explicit Tank(int32_t spread) {
        for (int32_t i = 0; i < kCombs; ++i) {
            comb[i].line.assign(static_cast<size_t>(kCombLength[i] + spread), 0.0f);
        }
        for (int32_t i = 0; i < kAllpasses; ++i) {
            allpass[i].line.assign(static_cast<size_t>(kAllpassLength[i] + spread), 0.0f);
        }
    }

    float Run(float in, float feedback, float damp) {
        float sum = 0.0f;
        for (Comb& c : comb) {
            sum += c.Run(in, feedback, damp);
        }
        for (Allpass& a : allpass) {
            sum = a.Run(sum);
        }
        return sum;
    }
};

} // namespace

int32_t Reverb(int32_t sample, int32_t room, int32_t damping, int32_t wet) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    float feedback = 0.7f + 0.28f * Clamp(FloatParam(room, 0.5f), 0.0f, 1.0f);
    float damp = 0.4f * Clamp(FloatParam(damping, 0.5f), 0.0f, 1.0f);
    float mix = Clamp(FloatParam(wet, 0.3f), 0.0f, 1.0f);
    float dry = 1.0f - mix;
    float wetGain = mix * kWetGain;
    Tank tank[2] = {Tank(0), Tank(kStereoSpread)};
    ProcessInPlace(b, [&](int16_t* s, int32_t, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            int16_t* frame = s + i * b.channels;
            // Both channels' tanks hear the same input: the stereo image comes from the tanks.
            float in = (b.channels == 2 ? (frame[0] + frame[1]) * 0.5f : frame[0]) * kInputGain;
            for (int32_t c = 0; c < b.channels; ++c) {
                float out = frame[c] * dry + tank[c].Run(in, feedback, damp) * wetGain;
                frame[c] = static_cast<int16_t>(ToSample(out));
            }
        }
    });
    return 0;
}

} // namespace morvane

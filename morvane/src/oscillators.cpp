// Periodic generators: plain waves, drum sweeps, phase modulation, constants and mixing.
#include "detmath.h"
#include "procedures.h"
#include "render.h"
#include "wavetable.h"

namespace morvane {
namespace {

constexpr double kNyquist = kSampleRate / 2.0;

double FrequencyParam(int32_t bits) {
    return Clamp<double>(FloatParam(bits, 0.0f), -kNyquist, kNyquist);
}

float AmplitudeParam(int32_t amplitude) {
    return static_cast<float>(Clamp<int32_t>(amplitude, 0, 32767));
}

WaveTable TableFor(int32_t shape, double hz) {
    return BuildTable(shape, hz, PrepareCurve(CurrentSettings().curve));
}

} // namespace

int32_t GSample(int32_t sample, int32_t shape, int32_t hz, int32_t amplitude) {
    Block b;
    if (!IsShape(shape) || !Resolve(sample, b)) {
        return 0;
    }
    double f = FrequencyParam(hz);
    float amp = AmplitudeParam(amplitude);
    WaveTable table = TableFor(shape, f);
    const float* t = table.v.data();
    uint32_t phase = 0;
    uint32_t step = PhaseStep(f);
    GenerateFrames(b, [&](float* g, int32_t, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            g[i] = amp * TableAt(t, phase);
            phase += step;
        }
    });
    return 0;
}

int32_t GSweep(int32_t sample, int32_t shape, int32_t startHz, int32_t endHz, int32_t seconds,
               int32_t amplitude) {
    Block b;
    if (!IsShape(shape) || !Resolve(sample, b)) {
        return 0;
    }
    double from = FrequencyParam(startHz);
    double to = FrequencyParam(endHz);
    double tau = Clamp<double>(FloatParam(seconds, 0.0f), 1e-4, 60.0);
    float amp = AmplitudeParam(amplitude);
    WaveTable table = TableFor(shape, std::fabs(from) > std::fabs(to) ? from : to);
    const float* t = table.v.data();
    // The frequency falls (or rises) exponentially: f = to + (from - to) e^(-time / tau).
    double decay = DetExp(-1.0 / (tau * kSampleRate));
    double distance = from - to;
    uint32_t phase = 0;
    GenerateFrames(b, [&](float* g, int32_t, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            g[i] = amp * TableAt(t, phase);
            phase += PhaseStep(to + distance);
            distance *= decay;
        }
    });
    return 0;
}

int32_t Operator(int32_t sample, int32_t shape, int32_t hz, int32_t amplitude, int32_t modulator,
                 int32_t index) {
    Block b;
    if (!IsShape(shape) || !Resolve(sample, b)) {
        return 0;
    }
    Block mod;
    bool modulated = ResolveSource(modulator, mod);
    double f = FrequencyParam(hz);
    float amp = AmplitudeParam(amplitude);
    // Index in radians of phase per full-scale modulator value, as a 32-bit phase fraction.
    double depth =
        Clamp<double>(FloatParam(index, 0.0f), -100.0, 100.0) / kTwoPi * 4294967296.0 / 32768.0;
    WaveTable table = TableFor(shape, f);
    const float* t = table.v.data();
    uint32_t phase = 0;
    uint32_t step = PhaseStep(f);
    int16_t m[2 * kChunk];
    GenerateFrames(b, [&](float* g, int32_t frame, int32_t n) {
        int32_t have = 0;
        if (modulated && frame < mod.frames) {
            have = mod.frames - frame < n ? mod.frames - frame : n;
            LoadSamples(mod, frame, have, m);
        }
        for (int32_t i = 0; i < n; ++i) {
            double v = 0.0;
            if (i < have) {
                v = mod.channels == 2 ? (m[2 * i] + m[2 * i + 1]) * 0.5 : m[i];
            }
            auto offset = static_cast<uint32_t>(static_cast<int64_t>(v * depth));
            g[i] = amp * TableAt(t, phase + offset);
            phase += step;
        }
    });
    return 0;
}

int32_t GConst(int32_t sample, int32_t value) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    auto v = static_cast<float>(Clamp<int32_t>(value, -32768, 32767));
    GenerateFrames(b, [&](float* g, int32_t, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            g[i] = v;
        }
    });
    return 0;
}

int32_t MixSample(int32_t sample, int32_t source, int32_t level) {
    Block b;
    Block src;
    if (!Resolve(sample, b) || !ResolveSource(source, src)) {
        return 0;
    }
    float gain = static_cast<float>(Clamp<int32_t>(level, 0, 32767)) / 32767.0f;
    SampleMode mode = CurrentSettings().mode;
    int16_t s[2 * kChunk];
    float g[2 * kChunk];
    for (int32_t frame = 0; frame < b.frames; frame += kChunk) {
        int32_t n = b.frames - frame < kChunk ? b.frames - frame : kChunk;
        int32_t have = 0;
        if (frame < src.frames) {
            have = src.frames - frame < n ? src.frames - frame : n;
            LoadSamples(src, frame, have, s);
        }
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t c = 0; c < b.channels; ++c) {
                float v = 0.0f;
                if (i < have) {
                    if (src.channels == b.channels) {
                        v = s[i * b.channels + c];
                    } else if (src.channels == 1) {
                        v = s[i];
                    } else {
                        v = (s[2 * i] + s[2 * i + 1]) * 0.5f;
                    }
                }
                g[i * b.channels + c] = v * gain;
            }
        }
        CombineChunk(b, frame, n, g, mode);
    }
    return 0;
}

} // namespace morvane

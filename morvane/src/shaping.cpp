// Settings and the procedures that reshape a sample in place: mode, curve, fades, envelope,
// soft clipping and resolution.
#include "curve.h"
#include "detmath.h"
#include "procedures.h"
#include "render.h"

#include <cstdlib>

namespace morvane {

int32_t GeneratorSampleMode(int32_t mode) {
    if (mode >= kModeNormal && mode <= kModeMul) {
        CurrentSettings().mode = static_cast<SampleMode>(mode);
    }
    return 0;
}

int32_t SplCount(int32_t count) {
    Curve& c = CurrentSettings().curve;
    c = Curve{};
    c.count = Clamp<int32_t>(count, 0, kMaxCurvePoints);
    for (int32_t i = 0; i < c.count; ++i) {
        c.position[i] = c.count > 1 ? static_cast<float>(i) / (c.count - 1) : 0.0f;
    }
    return 0;
}

int32_t SplSet(int32_t index, int32_t position, int32_t value) {
    Curve& c = CurrentSettings().curve;
    if (index < 0 || index >= c.count) {
        return 0;
    }
    c.position[index] = Clamp(FloatParam(position, 0.0f), 0.0f, 1.0f);
    c.value[index] = Clamp(FloatParam(value, 0.0f), -1.0f, 1.0f);
    return 0;
}

namespace {

// Multiplies every frame by gain(frame position 0..1).
template <class Gain> void Scale(const Block& b, Gain gain) {
    double last = b.frames > 1 ? b.frames - 1 : 1;
    ProcessInPlace(b, [&](int16_t* s, int32_t frame, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            auto g = static_cast<float>(gain((frame + i) / last));
            for (int32_t c = 0; c < b.channels; ++c) {
                int16_t& v = s[i * b.channels + c];
                v = static_cast<int16_t>(ToSample(v * g));
            }
        }
    });
}

} // namespace

int32_t Fade(int32_t sample, int32_t startLevel, int32_t endLevel) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    double from = Clamp<int32_t>(startLevel, 0, 32767) / 32767.0;
    double to = Clamp<int32_t>(endLevel, 0, 32767) / 32767.0;
    Scale(b, [&](double t) { return from + (to - from) * t; });
    return 0;
}

int32_t Envelope(int32_t sample) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    CurveShape curve = PrepareCurve(CurrentSettings().curve);
    Scale(b, [&](double t) { return CurveAt(curve, t); });
    return 0;
}

int32_t Distortion(int32_t sample, int32_t drive) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    float d = FloatParam(drive, 0.0f);
    if (!(d > 0.0f)) {
        return 0;
    }
    double k = Clamp<double>(d, 1e-3, 100.0);
    int32_t peak = 0;
    ProcessInPlace(b, [&](int16_t* s, int32_t, int32_t n) {
        for (int32_t i = 0; i < n * b.channels; ++i) {
            int32_t a = std::abs(static_cast<int32_t>(s[i]));
            peak = a > peak ? a : peak;
        }
    });
    if (peak == 0) {
        return 0;
    }
    // tanh curve scaled so that the peak stays where it was: drive bends, it does not boost.
    double inScale = k / peak;
    double outScale = peak / DetTanh(k);
    ProcessInPlace(b, [&](int16_t* s, int32_t, int32_t n) {
        for (int32_t i = 0; i < n * b.channels; ++i) {
            s[i] = static_cast<int16_t>(
                ToSample(static_cast<float>(DetTanh(s[i] * inScale) * outScale)));
        }
    });
    return 0;
}

int32_t Quant(int32_t sample, int32_t bits) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    // Each value goes to the nearest multiple of the step (halves away from zero), so that a
    // signal symmetric about zero stays so: truncation would shift it down by half a step.
    const int32_t shift = 16 - Clamp<int32_t>(bits, 1, 16);
    const int32_t half = shift > 0 ? 1 << (shift - 1) : 0;
    ProcessInPlace(b, [&](int16_t* s, int32_t, int32_t n) {
        for (int32_t i = 0; i < n * b.channels; ++i) {
            const int32_t v = s[i];
            const int32_t q = ((std::abs(v) + half) >> shift) << shift;
            s[i] = static_cast<int16_t>(Clamp<int32_t>(v < 0 ? -q : q, -32768, 32767));
        }
    });
    return 0;
}

} // namespace morvane

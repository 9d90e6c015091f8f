// Low-pass filters, run over each channel in place from a silent start.
#include "detmath.h"
#include "procedures.h"
#include "render.h"

#include <cmath>

namespace morvane {
namespace {

// Decaying filter state would otherwise sink into denormal numbers, which are slow.
void Flush(double& v) {
    if (std::fabs(v) < 1e-20) {
        v = 0.0;
    }
}

} // namespace

int32_t SPLPFilter(int32_t sample, int32_t cutoff) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    double fc = Clamp<double>(FloatParam(cutoff, 22050.0f), 1.0, kSampleRate / 2.0);
    double a = 1.0 - DetExp(-kTwoPi * fc / kSampleRate);
    double y[2] = {0.0, 0.0};
    ProcessInPlace(b, [&](int16_t* s, int32_t, int32_t n) {
        for (int32_t c = 0; c < b.channels; ++c) {
            double v = y[c];
            for (int32_t i = 0; i < n; ++i) {
                int16_t& x = s[i * b.channels + c];
                v += a * (x - v);
                x = static_cast<int16_t>(ToSample(static_cast<float>(v)));
            }
            Flush(v);
            y[c] = v;
        }
    });
    return 0;
}

int32_t ZandR(int32_t sample, int32_t cutoff, int32_t resonance) {
    Block b;
    if (!Resolve(sample, b)) {
        return 0;
    }
    // A state-variable filter in trapezoidal form: stable for every cutoff below Nyquist and
    // every damping above zero, so no setting can make it blow up.
    double fc = Clamp<double>(FloatParam(cutoff, 20000.0f), 10.0, 20000.0);
    double res = Clamp<double>(FloatParam(resonance, 0.0f), 0.0, 1.0);
    double w = kPi * fc / kSampleRate;
    double g = DetSin(w) / DetCos(w);
    double k = 2.0 - 1.96 * res; // damping: Q from 0.5 up to 25
    double a1 = 1.0 / (1.0 + g * (g + k));
    double a2 = g * a1;
    double a3 = g * a2;
    double ic1[2] = {0.0, 0.0};
    double ic2[2] = {0.0, 0.0};
    ProcessInPlace(b, [&](int16_t* s, int32_t, int32_t n) {
        for (int32_t c = 0; c < b.channels; ++c) {
            double s1 = ic1[c];
            double s2 = ic2[c];
            for (int32_t i = 0; i < n; ++i) {
                int16_t& x = s[i * b.channels + c];
                double v3 = x - s2;
                double v1 = a1 * s1 + a2 * v3;
                double v2 = s2 + a2 * s1 + a3 * v3;
                s1 = 2.0 * v1 - s1;
                s2 = 2.0 * v2 - s2;
                x = static_cast<int16_t>(ToSample(static_cast<float>(v2)));
            }
            Flush(s1);
            Flush(s2);
            ic1[c] = s1;
            ic2[c] = s2;
        }
    });
    return 0;
}

} // namespace morvane

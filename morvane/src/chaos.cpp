// The x coordinate of the Rossler and Lorenz attractors as sound.
#include "detmath.h"
#include "procedures.h"
#include "render.h"

#include <cmath>
#include <vector>

namespace morvane {
namespace {

struct Point {
    double x, y, z;
};

Point LorenzFlow(const Point& p) {
    return {10.0 * (p.y - p.x), p.x * (28.0 - p.z) - p.y, p.x * p.y - 8.0 / 3.0 * p.z};
}

Point RosslerFlow(const Point& p) {
    return {-p.y - p.z, p.x + 0.2 * p.y, 0.2 + p.z * (p.x - 5.7)};
}

template <class F> Point Rk4(F f, const Point& p, double h) {
    auto at = [&](const Point& d, double s) {
        return Point{p.x + d.x * s, p.y + d.y * s, p.z + d.z * s};
    };
    Point k1 = f(p);
    Point k2 = f(at(k1, h / 2));
    Point k3 = f(at(k2, h / 2));
    Point k4 = f(at(k3, h));
    return {p.x + h / 6 * (k1.x + 2 * k2.x + 2 * k3.x + k4.x),
            p.y + h / 6 * (k1.y + 2 * k2.y + 2 * k3.y + k4.y),
            p.z + h / 6 * (k1.z + 2 * k2.z + 2 * k3.z + k4.z)};
}

// speed is in the system's time units per second. The path is computed first, then scaled.
template <class F> void Attractor(F f, int32_t sample, int32_t speed, int32_t amplitude) {
    Block b;
    if (!Resolve(sample, b)) {
        return;
    }
    constexpr double kMaxStep = 0.01; // keeps the integration accurate and bounded
    double perFrame = Clamp<double>(FloatParam(speed, 0.0f), 0.0, 4410.0) / kSampleRate;
    int32_t substeps = static_cast<int32_t>(std::ceil(perFrame / kMaxStep));
    substeps = substeps < 1 ? 1 : substeps;
    double h = perFrame / substeps;
    Point p{1.0, 1.0, 1.0};
    for (int32_t i = 0; i < 5000; ++i) {
        p = Rk4(f, p, kMaxStep); // settle onto the attractor
    }
    std::vector<float> path(static_cast<size_t>(b.frames));
    double sum = 0.0;
    for (float& x : path) {
        x = static_cast<float>(p.x);
        sum += x;
        for (int32_t s = 0; s < substeps; ++s) {
            p = Rk4(f, p, h);
        }
    }
    // Centred on its mean, not on the middle of its range: an attractor such as Rossler's
    // spends more time on one side, which would leave the sample with a DC offset. The wider
    // side reaches the amplitude.
    const double mean = sum / b.frames;
    double reach = 0.0;
    for (float x : path) {
        reach = std::fmax(reach, std::fabs(x - mean));
    }
    const double scale = reach > 0.0 ? Clamp<int32_t>(amplitude, 0, 32767) / reach : 0.0;
    GenerateFrames(b, [&](float* g, int32_t frame, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            g[i] = static_cast<float>((path[frame + i] - mean) * scale);
        }
    });
}

} // namespace

int32_t Rossler(int32_t sample, int32_t speed, int32_t amplitude) {
    Attractor(RosslerFlow, sample, speed, amplitude);
    return 0;
}

int32_t Lorenz(int32_t sample, int32_t speed, int32_t amplitude) {
    Attractor(LorenzFlow, sample, speed, amplitude);
    return 0;
}

} // namespace morvane

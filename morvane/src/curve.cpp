#include "curve.h"

#include <algorithm>
#include <cmath>

namespace morvane {

CurveShape PrepareCurve(const Curve& curve) {
    CurveShape s;
    int32_t order[kMaxCurvePoints];
    s.count = curve.count;
    for (int32_t i = 0; i < s.count; ++i) {
        order[i] = i;
    }
    std::stable_sort(order, order + s.count,
                     [&](int32_t a, int32_t b) { return curve.position[a] < curve.position[b]; });
    for (int32_t i = 0; i < s.count; ++i) {
        s.x[i] = curve.position[order[i]];
        s.y[i] = curve.value[order[i]];
    }
    // Fritsch-Carlson tangents: the harmonic mean of neighbouring secants, zero at extrema.
    double secant[kMaxCurvePoints] = {};
    for (int32_t i = 0; i + 1 < s.count; ++i) {
        double dx = s.x[i + 1] - s.x[i];
        secant[i] = dx > 0 ? (s.y[i + 1] - s.y[i]) / dx : 0.0;
    }
    for (int32_t i = 0; i < s.count; ++i) {
        if (i == 0 || i == s.count - 1) {
            s.slope[i] = s.count > 1 ? secant[i == 0 ? 0 : i - 1] : 0.0;
            continue;
        }
        double a = secant[i - 1];
        double b = secant[i];
        s.slope[i] = (a * b <= 0) ? 0.0 : 2.0 * a * b / (a + b);
    }
    return s;
}

double CurveAt(const CurveShape& s, double t) {
    if (s.count == 0) {
        return 0.0;
    }
    if (t <= s.x[0]) {
        return s.y[0];
    }
    if (t >= s.x[s.count - 1]) {
        return s.y[s.count - 1];
    }
    int32_t i = static_cast<int32_t>(std::upper_bound(s.x, s.x + s.count, t) - s.x) - 1;
    double h = s.x[i + 1] - s.x[i];
    if (h <= 0) {
        return s.y[i + 1];
    }
    double u = (t - s.x[i]) / h;
    double u2 = u * u;
    double u3 = u2 * u;
    double h00 = 2 * u3 - 3 * u2 + 1;
    double h10 = u3 - 2 * u2 + u;
    double h01 = -2 * u3 + 3 * u2;
    double h11 = u3 - u2;
    return h00 * s.y[i] + h10 * h * s.slope[i] + h01 * s.y[i + 1] + h11 * h * s.slope[i + 1];
}

} // namespace morvane

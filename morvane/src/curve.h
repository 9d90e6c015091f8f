// Evaluation of the SplCount/SplSet curve: a monotone cubic through the points, so that it
// never overshoots them (an envelope stays within its points), held flat before the first and
// after the last point.
#pragma once

#include "state.h"

namespace morvane {

struct CurveShape {
    int32_t count = 0;
    double x[kMaxCurvePoints] = {};
    double y[kMaxCurvePoints] = {};
    double slope[kMaxCurvePoints] = {};
};

CurveShape PrepareCurve(const Curve& curve);
// The value at position t; 0 for a curve without points.
double CurveAt(const CurveShape& shape, double t);

} // namespace morvane

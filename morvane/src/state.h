// The settings that scripts change and that shape later generators. MorvaneReset returns them
// to the start values below before every script run.
#pragma once

#include <cstdint>

namespace morvane {

enum SampleMode : int32_t { kModeNormal = 0, kModeAdd = 1, kModeSub = 2, kModeMul = 3 };

constexpr int32_t kMaxCurvePoints = 64;

// The curve of SplCount/SplSet: points at positions 0..1 with values -1..1, in any order.
struct Curve {
    int32_t count = 0;
    float position[kMaxCurvePoints] = {};
    float value[kMaxCurvePoints] = {};
};

struct Settings {
    SampleMode mode = kModeNormal;
    Curve curve;
};

Settings& CurrentSettings();

} // namespace morvane

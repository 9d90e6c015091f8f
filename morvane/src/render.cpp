#include "render.h"

namespace morvane {
namespace {

int16_t Saturate(int32_t v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

// a x b / 32768 to the nearest whole value, halves away from zero: a gain keeps a signal that
// is symmetric about zero symmetric (a shift would round down, half a step on average).
int32_t ScaledProduct(int32_t a, int32_t b) {
    const int32_t p = a * b; // |a|, |b| <= 32768
    return p >= 0 ? (p + 16384) >> 15 : -((16384 - p) >> 15);
}

} // namespace

void CombineChunk(const Block& b, int32_t frame, int32_t frames, const float* g, SampleMode mode) {
    int16_t s[2 * kChunk];
    int32_t count = frames * b.channels;
    if (mode != kModeNormal) {
        LoadSamples(b, frame, frames, s);
    }
    switch (mode) {
    case kModeNormal:
        for (int32_t i = 0; i < count; ++i) {
            s[i] = static_cast<int16_t>(ToSample(g[i]));
        }
        break;
    case kModeAdd:
        for (int32_t i = 0; i < count; ++i) {
            s[i] = Saturate(s[i] + ToSample(g[i]));
        }
        break;
    case kModeSub:
        for (int32_t i = 0; i < count; ++i) {
            s[i] = Saturate(s[i] - ToSample(g[i]));
        }
        break;
    case kModeMul:
        for (int32_t i = 0; i < count; ++i) {
            s[i] = Saturate(ScaledProduct(s[i], ToSample(g[i])));
        }
        break;
    }
    StoreSamples(b, frame, frames, s);
}

} // namespace morvane

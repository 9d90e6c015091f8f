#include "render.h"

namespace morvane {
namespace {

int16_t Saturate(int32_t v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
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
            s[i] = Saturate((s[i] * ToSample(g[i])) >> 15);
        }
        break;
    }
    StoreSamples(b, frame, frames, s);
}

} // namespace morvane

#pragma once

#include "test_blocks.h"

#include <memory>
#include <vector>

// Sample blocks for tests that free themselves.
struct FreeDeleter {
    void operator()(kellix::SampleBlock* b) const { std::free(b); }
};
using TestSample = std::unique_ptr<kellix::SampleBlock, FreeDeleter>;

inline TestSample MakeSample(uint8_t format, const std::vector<int16_t>& data) {
    const auto frames = static_cast<int32_t>(data.size() / format);
    return TestSample(kellix::test::NewSample(
        format, frames, [&](int32_t f, int32_t c) { return data[f * format + c]; }));
}

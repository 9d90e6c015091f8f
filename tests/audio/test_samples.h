#pragma once

#include "song/sample.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// Sample blocks for tests, laid out as the generator library lays them out.
struct FreeDeleter {
    void operator()(kellix::SampleBlock* b) const { std::free(b); }
};
using TestSample = std::unique_ptr<kellix::SampleBlock, FreeDeleter>;

inline TestSample MakeSample(uint8_t format, const std::vector<int16_t>& data) {
    const std::size_t bytes = data.size() * 2;
    TestSample b(
        static_cast<kellix::SampleBlock*>(std::calloc(1, sizeof(kellix::SampleBlock) + bytes)));
    b->Format = format;
    b->DataSize = static_cast<int32_t>(bytes);
    if (bytes) {
        std::memcpy(kellix::SampleData(b.get()), data.data(), bytes);
    }
    return b;
}

inline TestSample ConstantSample(uint8_t format, int32_t frames, int16_t value) {
    return MakeSample(format,
                      std::vector<int16_t>(static_cast<std::size_t>(frames) * format, value));
}

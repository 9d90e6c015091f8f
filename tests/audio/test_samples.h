#pragma once

#include "test_blocks.h"

#include <memory>

// Sample blocks for tests that free themselves.
struct FreeDeleter {
    void operator()(kellix::SampleBlock* b) const { std::free(b); }
};
using TestSample = std::unique_ptr<kellix::SampleBlock, FreeDeleter>;

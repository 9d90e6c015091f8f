#pragma once

#include <cstdint>

namespace kellix {

// Seeded generator: a table of 16 values stepped by the three classic multipliers for the
// modulus 2^31 - 1. Results range from -2147483646 to 2147483646.
struct RandomGenerator {
    int32_t R[16] = {};
    int32_t L = 0;
    int32_t K = 0;
};

void RandomSeed(RandomGenerator& g, int32_t start, int32_t increment);
int32_t RandomNext(RandomGenerator& g);

} // namespace kellix

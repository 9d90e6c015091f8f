#include "support/random.h"

namespace kellix {

namespace {

constexpr int32_t kMultipliers[3] = {16807, 48271, 69621};

int32_t Step(const RandomGenerator& g, int32_t m, int32_t x) {
    // Low 32 bits of the signed product, plus K with wrap-around, taken as signed.
    uint32_t product = static_cast<uint32_t>(static_cast<int64_t>(m) * x);
    int32_t t = static_cast<int32_t>(product + static_cast<uint32_t>(g.K));
    return t % 2147483647; // truncation toward zero: the remainder keeps the sign of t
}

} // namespace

void RandomSeed(RandomGenerator& g, int32_t start, int32_t increment) {
    g.K = increment;
    g.L = start;
    for (int i = 0; i < 16; ++i) {
        g.L = Step(g, kMultipliers[i % 3], g.L);
        g.R[i] = g.L;
    }
}

int32_t RandomNext(RandomGenerator& g) {
    int i = g.L & 15;
    int32_t v = g.R[i];
    int32_t m = kMultipliers[(static_cast<uint32_t>(g.L) >> 6) % 3];
    g.R[i] = Step(g, m, v);
    g.L = v;
    return v;
}

} // namespace kellix

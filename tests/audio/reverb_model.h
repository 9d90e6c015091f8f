#pragma once

// A slow, literal model of the reverb stage, written from the description of its arithmetic
// alone: every frame it works out each tap's memory index from the frame count, looks up the
// side and sign of every tap anew and runs the filter as one expression.

#include "support/random.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace model {

struct Reverb {
    int32_t amplitude, step, band, cutoff;

    std::vector<int16_t> memory = std::vector<int16_t>(65536, 0);
    int64_t fed = 0; // frames fed since the start
    int64_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    int32_t tap[41] = {};
    double weight[41] = {};
    int64_t b0 = 0, a1 = 0, a2 = 0, inGain = 0, loopGain = 0;
    bool high = false;

    Reverb(int32_t amp, int32_t stp, int32_t bnd, int32_t cut)
        : amplitude(std::clamp(amp, 0, 44100)), step(std::clamp(stp, 0, 10000)), band(bnd),
          cutoff(std::clamp(cut, 1, 256)) {
        kellix::RandomGenerator g;
        kellix::RandomSeed(g, 1, 1);
        for (int k = 0; k < 41; ++k) {
            const int64_t v = kellix::RandomNext(g) & 0xFE00;
            const int64_t group = step * int64_t{k % 11 + 1} / 10;
            tap[k] =
                static_cast<int32_t>(std::max<int64_t>(group + (v + 511) * amplitude / 65535, 1));
        }
        const double r = cutoff / 256.0;
        double K;
        if (band <= 256) {
            const double w = std::max(band, 1) * M_PI / 512;
            K = std::cos(w) / std::sin(w);
        } else {
            high = true;
            const int32_t mirrored = std::max(513 - band, 1);
            const double w = (256 - mirrored) * M_PI / 512;
            K = std::sin(w) / std::cos(w);
        }
        const double A = K * r, B = K * K, gain = 1 / (1 + A + B);
        b0 = std::llround(gain * 268435456.0);
        a1 = std::llround((high ? 2 * (B - 1) * gain : 2 * (1 - B) * gain) * 268435456.0);
        a2 = std::llround((1 - A + B) * gain * 268435456.0);
        const double c = r * std::sqrt(1 - r * r / 4);
        inGain = static_cast<int64_t>(std::floor(16777216.0 * c));
        loopGain = static_cast<int64_t>(std::floor(16777216.0 * 0.97 * c / 41));
        int64_t total = 0;
        for (int32_t t : tap) {
            total += t;
        }
        const int32_t nearest = *std::min_element(tap, tap + 41);
        const double beta = std::log(std::sqrt(41.0) / (0.97 * c)) / (total / 41.0);
        for (int k = 0; k < 41; ++k) {
            weight[k] = std::llround(2048 * std::exp(-beta * (tap[k] - nearest)));
        }
    }

    static int16_t Sat(int64_t v) {
        return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
    }

    void Frame(int16_t& left, int16_t& right) {
        int64_t w = 0, eL = 0, eR = 0;
        for (int k = 0; k < 41; ++k) {
            const int64_t m = memory[static_cast<std::size_t>((fed - tap[k]) & 65535)];
            const int sign = (k % 11) % 2 == 0 ? 1 : -1;
            w += sign * m;
            (k % 2 == 0 ? eL : eR) += sign * static_cast<int64_t>(weight[k]) * m;
        }
        const int64_t mono = (int64_t{left} + right) >> 1;
        const int64_t x = (mono * inGain + w * loopGain) >> 10;
        const int64_t numerator = high ? x - 2 * x1 + x2 : x + 2 * x1 + x2;
        int64_t y = (b0 * numerator - a1 * y1 - a2 * y2 + (1 << 27)) >> 28;
        y = std::clamp<int64_t>(y, -2147483648LL, 2147483648LL);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        memory[static_cast<std::size_t>(fed & 65535)] = Sat((y + 8192) >> 14);
        ++fed;
        left = Sat(left + ((eL + 4096) >> 13));
        right = Sat(right + ((eR + 4096) >> 13));
    }
};

} // namespace model

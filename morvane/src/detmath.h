// Elementary functions built from IEEE-754 arithmetic alone, so that a script gives the same
// bytes with every C library and on every machine.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace morvane {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 6.28318530717958647692;

inline double DetSin(double x) {
    double r = x * (1.0 / kTwoPi);
    r -= std::floor(r + 0.5);
    double t = r * kTwoPi; // -pi..pi
    if (t > kPi / 2) {
        t = kPi - t;
    } else if (t < -kPi / 2) {
        t = -kPi - t;
    }
    double t2 = t * t;
    double term = t;
    double sum = t;
    for (int n = 2; n <= 24; n += 2) {
        term *= -t2 / (n * (n + 1));
        sum += term;
    }
    return sum;
}

inline double DetCos(double x) {
    return DetSin(x + kPi / 2);
}

inline double DetExp(double x) {
    if (x > 700.0) {
        x = 700.0;
    }
    if (x < -700.0) {
        return 0.0;
    }
    constexpr double kLn2Hi = 6.93147180369123816490e-01;
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    double k = std::floor(x * 1.44269504088896340736 + 0.5);
    double r = (x - k * kLn2Hi) - k * kLn2Lo; // |r| <= 0.35
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 14; ++n) {
        term *= r / n;
        sum += term;
    }
    uint64_t bits = static_cast<uint64_t>(static_cast<int64_t>(k) + 1023) << 52;
    return sum * std::bit_cast<double>(bits);
}

inline double DetTanh(double x) {
    if (x > 20.0) {
        return 1.0;
    }
    if (x < -20.0) {
        return -1.0;
    }
    double e = DetExp(2.0 * x);
    return (e - 1.0) / (e + 1.0);
}

// A float parameter travels as its bits; anything not finite counts as the fallback.
inline float FloatParam(int32_t bits, float fallback) {
    float v = std::bit_cast<float>(bits);
    return std::isfinite(v) ? v : fallback;
}

template <class T> T Clamp(T v, T lo, T hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace morvane

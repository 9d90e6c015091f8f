// Calls the generator library the way the script runner does: through the identifier table,
// with every argument a 32-bit value.
#pragma once

#include "morvane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace mvtest {

// The script constants of the sample modes and wave shapes.
enum : int32_t { SM_NORMAL, SM_ADD, SM_SUB, SM_MUL };
enum : int32_t { FG_SIN, FG_ABSSIN, FG_SQUARE, FG_TRIANGL, FG_SAW, FG_SPLINE };

constexpr double kRate = 44100.0;

inline int32_t F(float v) {
    return std::bit_cast<int32_t>(v);
}

inline const MorvaneIdentEntry* Entry(const char* name) {
    const MorvaneIdentEntry* e = GetSampleTableAddres();
    while (e->Address != 0 && e->Address != GetSampleProcAddres(name)) {
        ++e;
    }
    return e->Address != 0 ? e : nullptr;
}

template <class... A> int32_t Call(const char* name, A... args) {
    const MorvaneIdentEntry* e = Entry(name);
    if (e == nullptr || e->ParamCount != static_cast<int32_t>(sizeof...(args))) {
        ADD_FAILURE() << name << " is not in the table with " << sizeof...(args) << " parameters";
        return 0;
    }
    using Fn = int32_t (*)(std::conditional_t<true, int32_t, A>...);
    return reinterpret_cast<Fn>(e->Address)(static_cast<int32_t>(args)...);
}

// A block that is released when the test ends.
struct Sample {
    int32_t h;
    Sample(int32_t frames, int32_t format) : h(Call("CreateSample", frames, format)) {}
    ~Sample() { FreeSample(h); }
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;
    operator int32_t() const { return h; }
};

// The samples of a packed block.
inline std::vector<int16_t> BlockData(const void* p) {
    auto* block = static_cast<const uint8_t*>(p);
    if (block == nullptr) {
        return {};
    }
    int32_t size;
    std::memcpy(&size, block + 5, 4);
    std::vector<int16_t> out(static_cast<size_t>(size) / 2);
    std::memcpy(out.data(), block + 9, static_cast<size_t>(size));
    return out;
}

inline std::vector<int16_t> Data(int32_t h) {
    return BlockData(MorvaneSampleBlock(h));
}

// One channel of interleaved data as reals.
inline std::vector<double> Channel(const std::vector<int16_t>& d, int channels, int c) {
    std::vector<double> out;
    for (size_t i = static_cast<size_t>(c); i < d.size(); i += static_cast<size_t>(channels)) {
        out.push_back(d[i]);
    }
    return out;
}

// Amplitude of the component at hz, by a plain DFT sum (exact for whole cycles in x).
inline double ToneAmplitude(const std::vector<double>& x, double hz) {
    std::complex<double> sum;
    for (size_t n = 0; n < x.size(); ++n) {
        sum += x[n] * std::polar(1.0, -2.0 * M_PI * hz * static_cast<double>(n) / kRate);
    }
    return 2.0 * std::abs(sum) / static_cast<double>(x.size());
}

inline double Peak(const std::vector<double>& x) {
    const auto [low, high] = std::minmax_element(x.begin(), x.end());
    return x.empty() ? 0.0 : std::fmax(-*low, *high);
}

} // namespace mvtest

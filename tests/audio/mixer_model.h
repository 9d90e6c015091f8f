#pragma once

// A slow, literal model of the mixer and the stereo delay, written from the arithmetic rules
// alone (per-frame while loops, the envelope stepped frame by frame, the weight formula
// evaluated anew) so that the real mixer can be checked against it.

#include "song/sample.h"
#include "song/track.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace model {

constexpr int32_t kRate = 44100;
constexpr int32_t kSize = 176400; // bytes of the one-second ring and echo memory

struct Voice {
    const kellix::SampleBlock* sample;
    int32_t step;
    int64_t position; // output bytes since the voice's start
    int32_t peak;
    int32_t pan;
    kellix::TEnvelope env;
};

struct Delay {
    int32_t decayL, decayR, delayL, delayR;
};

struct Mixer {
    std::vector<int16_t> echo = std::vector<int16_t>(kSize / 2, 0);
    int32_t writePos = 0;
    int64_t total = 0;
    std::vector<Voice> voices;
};

inline int16_t Sat(int64_t v, int64_t lo = -32768, int64_t hi = 32767) {
    return static_cast<int16_t>(std::clamp(v, lo, hi));
}

// The envelope level at frame e0 by the closed formulas.
inline int32_t LevelAt(const Voice& v, int64_t e0) {
    const kellix::TEnvelope& env = v.env;
    auto part = [&](int32_t span, int64_t frames) {
        return static_cast<int32_t>(static_cast<long double>(v.peak) / span * frames);
    };
    const int64_t release = e0 - env.Attack - env.Cont;
    return e0 < env.Attack && env.Attack > 0    ? part(env.Attack, e0)
           : e0 - env.Attack < env.Cont         ? v.peak
           : release < env.Ende && env.Ende > 0 ? v.peak - part(env.Ende, release)
                                                : 0;
}

// The envelope step of frame pos.
inline void EnvStep(const Voice& v, int64_t pos, int32_t& acc, int32_t& level) {
    const kellix::TEnvelope& env = v.env;
    auto ramp = [&](int32_t span, int32_t direction) {
        acc -= v.peak;
        while (acc < 0) {
            level += direction;
            acc += span;
        }
    };
    if (pos < env.Attack) {
        ramp(env.Attack, 1);
    } else if (pos - env.Attack < env.Cont) {
        level = v.peak;
    } else if (pos - env.Attack - env.Cont < env.Ende) {
        ramp(env.Ende, -1);
    } else {
        level = 0;
    }
}

inline void MixVoice(Voice& v, int32_t o, int32_t nbytes, int16_t* ring) {
    if (v.position + nbytes < 0) {
        v.position += nbytes;
        return;
    }
    const auto* s = v.sample;
    auto at = [&](int64_t i) { return kellix::LoadS16(kellix::SampleData(s) + 2 * i); };
    // a + b with a = (s0 x w) >> 16 and b = (s1 x (65535 - w)) >> 16, each a 16-bit value.
    auto interp = [&](int64_t i0, int64_t i1, int32_t w) {
        return static_cast<int16_t>(static_cast<int16_t>((at(i0) * w) >> 16) +
                                    static_cast<int16_t>((at(i1) * (65535 - w)) >> 16));
    };
    const float r = static_cast<float>(static_cast<long double>(kRate) / v.step);
    const int64_t frames = s->DataSize / (2 * s->Format);
    // The sounding length in output bytes: the data less one frame, at the rate.
    const int32_t frameBytes = 2 * s->Format;
    const int64_t L = s->DataSize < 2 * frameBytes
                          ? 0
                          : 4 * (static_cast<int64_t>(
                                     static_cast<long double>(s->DataSize - 2 * frameBytes) * r) /
                                 frameBytes);
    const bool started = v.position >= 0;
    const int64_t F =
        started ? static_cast<int64_t>(static_cast<long double>(v.position) / r) / 4 : 0;
    int64_t out = started ? o : o - v.position;
    const int64_t count = started ? std::min<int64_t>(L - v.position, nbytes)
                                  : std::min<int64_t>(L, nbytes + v.position);
    int64_t pos = started ? v.position / 4 : 0;
    int32_t level = LevelAt(v, pos), acc = 0;
    int64_t k = 0;
    int32_t e = 0;
    // Reads stop where the data ends.
    for (int64_t j = 0; j < count / 4 && F + k + 1 < frames; ++j) {
        const int32_t w = static_cast<int32_t>(static_cast<long double>(e) / kRate * 65536.0L);
        const int64_t i = (out % kSize) / 2;
        if (s->Format == 1) {
            const int32_t x = (interp(F + k, F + k + 1, w) * static_cast<int16_t>(level)) >> 16;
            EnvStep(v, pos++, acc, level);
            ring[i] = Sat(ring[i] + x);
            ring[i + 1] = Sat(ring[i + 1] + x);
        } else {
            const int32_t vl = interp(2 * (F + k), 2 * (F + k + 1), w);
            const int32_t vr = interp(2 * (F + k) + 1, 2 * (F + k + 1) + 1, w);
            EnvStep(v, pos++, acc, level);
            const int32_t gainL = v.pan < 128 ? (level * v.pan) >> 7 : level;
            const int32_t gainR = v.pan > 128 ? (level * (255 - v.pan)) >> 7 : level;
            ring[i] = Sat(ring[i] + ((vl * gainL) >> 16));
            ring[i + 1] = Sat(ring[i + 1] + ((vr * gainR) >> 16));
        }
        for (e -= v.step; e < 0; e += kRate) {
            ++k;
        }
        out += 4;
    }
    v.position += nbytes;
}

inline void ApplyDelay(Mixer& m, int16_t* ring, int32_t n, const Delay& p) {
    const int32_t F = kSize / 4;
    auto echo = [](int16_t x, int16_t e, int32_t decay) {
        return Sat(x + ((static_cast<int64_t>(e) * decay) >> 15), -32767, 32766);
    };
    for (int32_t i = 0, d = m.writePos / 4; i < n; ++i, ++d) {
        d %= F;
        const int16_t yl = echo(ring[2 * d], m.echo[2 * d], p.decayL);
        const int16_t yr = echo(ring[2 * d + 1], m.echo[2 * d + 1], p.decayR);
        ring[2 * d] = m.echo[2 * ((d + p.delayL) % F)] = yl;
        ring[2 * d + 1] = m.echo[2 * ((d + p.delayR) % F) + 1] = yr;
    }
}

inline void MixBlock(Mixer& m, int16_t* ring, int32_t n, const Delay& delay) {
    const int32_t nbytes = n * 4;
    for (int32_t i = 0; i < nbytes; ++i) {
        reinterpret_cast<uint8_t*>(ring)[(m.writePos + i) % kSize] = 0;
    }
    std::vector<Voice> kept;
    for (Voice& v : m.voices) {
        if (!v.sample) {
            continue;
        }
        if (v.sample->Format == 1 || v.sample->Format == 2) {
            MixVoice(v, m.writePos, nbytes, ring);
        } else {
            v.position += nbytes;
        }
        // A voice ends after its whole data at its rate, counted twice for mono samples.
        const int64_t D =
            static_cast<int64_t>(static_cast<long double>(kRate) / v.step * v.sample->DataSize) *
            (v.sample->Format != 2 ? 2 : 1);
        if (D > v.position) {
            kept.push_back(v);
        }
    }
    m.voices = kept;
    ApplyDelay(m, ring, n, delay);
    m.writePos = (m.writePos + nbytes) % kSize;
    m.total += n;
}

} // namespace model

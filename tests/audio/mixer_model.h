#pragma once

// A slow, literal model of the mixer and the stereo delay, written from the arithmetic rules
// alone (per-frame while loops, the envelope stepped frame by frame, the weight formula
// evaluated anew) so that the real mixer can be checked against it.

#include "song/sample.h"
#include "song/track.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace model {

struct Voice {
    const kellix::SampleBlock* sample;
    int32_t step;
    int64_t position;
    int32_t peak;
    int32_t pan;
    kellix::TEnvelope env;
};

struct Delay {
    int32_t decayL, decayR, delayL, delayR;
};

struct Mixer {
    static constexpr int32_t kRate = 44100;
    static constexpr int32_t kSize = 176400;
    std::vector<int16_t> echo = std::vector<int16_t>(kSize / 2, 0);
    int32_t writePos = 0;
    int64_t total = 0;
    std::vector<Voice> voices;
};

inline int16_t Sample16(const kellix::SampleBlock* s, int64_t index) {
    return kellix::LoadS16(kellix::SampleData(s) + 2 * index);
}

inline int32_t Weight(int32_t e) {
    return static_cast<int32_t>(static_cast<long double>(e) / Mixer::kRate * 65536.0L);
}

inline int16_t Sat(int32_t v) {
    return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

struct EnvState {
    int64_t pos;
    int32_t acc;
    int32_t level;
};

inline void EnvStart(EnvState& s, const Voice& v, int64_t e0) {
    s.pos = e0;
    s.acc = 0;
    const auto& env = v.env;
    if (e0 < env.Attack && env.Attack > 0) {
        s.level = static_cast<int32_t>(static_cast<long double>(v.peak) / env.Attack * e0);
    } else if (e0 - env.Attack < env.Cont) {
        s.level = v.peak;
    } else if (e0 - env.Attack - env.Cont < env.Ende && env.Ende > 0) {
        s.level = v.peak - static_cast<int32_t>(static_cast<long double>(v.peak) / env.Ende *
                                                (e0 - env.Attack - env.Cont));
    } else {
        s.level = 0;
    }
}

inline void EnvStep(EnvState& s, const Voice& v, int32_t& gainL, int32_t& gainR) {
    const auto& env = v.env;
    if (s.pos < env.Attack) {
        s.acc -= v.peak;
        while (s.acc < 0) {
            s.level += 1;
            s.acc += env.Attack;
        }
    } else if (s.pos - env.Attack < env.Cont) {
        s.level = v.peak;
    } else if (s.pos - env.Attack - env.Cont < env.Ende) {
        s.acc -= v.peak;
        while (s.acc < 0) {
            s.level -= 1;
            s.acc += env.Ende;
        }
    } else {
        s.level = 0;
    }
    s.pos += 1;
    gainL = gainR = s.level;
    if (v.pan > 128) {
        gainR = (s.level * (255 - v.pan)) >> 7;
    }
    if (v.pan < 128) {
        gainL = (s.level * v.pan) >> 7;
    }
}

inline int16_t Interp(int16_t s0, int16_t s1, int32_t w) {
    int16_t a = static_cast<int16_t>((s0 * w) >> 16);
    int16_t b = static_cast<int16_t>((s1 * (65535 - w)) >> 16);
    return static_cast<int16_t>(a + b);
}

inline void MixVoice(Voice& v, int32_t o, int32_t nbytes, int16_t* ring) {
    if (v.position + nbytes < 0) {
        v.position += nbytes;
        return;
    }
    const auto* s = v.sample;
    const float r = static_cast<float>(static_cast<long double>(Mixer::kRate) / v.step);
    const int64_t frames = s->DataSize / (2 * s->Format);
    int64_t L = 0;
    if (s->Format == 1 && s->DataSize >= 4) {
        L = 4 * (static_cast<int64_t>(static_cast<long double>(s->DataSize - 4) * r) / 2);
    } else if (s->Format == 2 && s->DataSize >= 8) {
        L = 4 * (static_cast<int64_t>(static_cast<long double>(s->DataSize - 8) * r) / 4);
    }
    int64_t F, out, count, e0;
    if (v.position >= 0) {
        F = static_cast<int64_t>(static_cast<long double>(v.position) / r) / 4;
        out = o;
        count = std::min<int64_t>(L - v.position, nbytes);
        e0 = v.position / 4;
    } else {
        F = 0;
        out = o - v.position;
        count = std::min<int64_t>(L, nbytes + v.position);
        e0 = 0;
    }
    EnvState env;
    EnvStart(env, v, e0);
    int64_t k = 0;
    int32_t e = 0;
    int32_t gainL = 0, gainR = 0;
    for (int64_t j = 0; j < count / 4; ++j) {
        // Reads stop where the data ends.
        if (F + k + 1 >= frames) {
            break;
        }
        int32_t w = Weight(e);
        int64_t at = (out % Mixer::kSize) / 2;
        if (s->Format == 1) {
            int32_t value = Interp(Sample16(s, F + k), Sample16(s, F + k + 1), w);
            int32_t x = (value * static_cast<int16_t>(env.level)) >> 16;
            EnvStep(env, v, gainL, gainR);
            ring[at] = Sat(ring[at] + x);
            ring[at + 1] = Sat(ring[at + 1] + x);
        } else {
            int32_t vl = Interp(Sample16(s, 2 * (F + k)), Sample16(s, 2 * (F + k + 1)), w);
            int32_t vr = Interp(Sample16(s, 2 * (F + k) + 1), Sample16(s, 2 * (F + k + 1) + 1), w);
            EnvStep(env, v, gainL, gainR);
            ring[at] = Sat(ring[at] + ((vl * gainL) >> 16));
            ring[at + 1] = Sat(ring[at + 1] + ((vr * gainR) >> 16));
        }
        e -= v.step;
        while (e < 0) {
            k += 1;
            e += Mixer::kRate;
        }
        out += 4;
    }
    v.position += nbytes;
}

inline void ApplyDelay(Mixer& m, int16_t* ring, int32_t n, const Delay& p) {
    const int32_t F = Mixer::kSize / 4;
    int32_t d = m.writePos / 4, wL = d + p.delayL, wR = d + p.delayR;
    auto mul = [](int32_t a, int32_t b) {
        return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 15);
    };
    auto clamp = [](int64_t v) {
        return static_cast<int16_t>(std::clamp<int64_t>(v, -32767, 32766));
    };
    for (int32_t i = 0; i < n; ++i) {
        if (d >= F)
            d -= F;
        if (wL >= F)
            wL -= F;
        if (wR >= F)
            wR -= F;
        int16_t yl = clamp(int64_t{ring[2 * d]} + mul(m.echo[2 * d], p.decayL));
        ring[2 * d] = yl;
        m.echo[2 * wL] = yl;
        int16_t yr = clamp(int64_t{ring[2 * d + 1]} + mul(m.echo[2 * d + 1], p.decayR));
        ring[2 * d + 1] = yr;
        m.echo[2 * wR + 1] = yr;
        ++d, ++wL, ++wR;
    }
}

inline void MixBlock(Mixer& m, int16_t* ring, int32_t n, const Delay& delay) {
    const int32_t nbytes = n * 4;
    for (int32_t i = 0; i < nbytes; ++i) {
        reinterpret_cast<uint8_t*>(ring)[(m.writePos + i) % Mixer::kSize] = 0;
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
        int64_t D = static_cast<int64_t>(static_cast<long double>(Mixer::kRate) / v.step *
                                         v.sample->DataSize);
        if (v.sample->Format != 2) {
            D *= 2;
        }
        if (D > v.position) {
            kept.push_back(v);
        }
    }
    m.voices = kept;
    ApplyDelay(m, ring, n, delay);
    m.writePos = (m.writePos + nbytes) % Mixer::kSize;
    m.total += n;
}

} // namespace model

#pragma once

// The reverb stage: runs after the stereo delay over the frames of a block of the mixer's ring.
//
// It keeps a memory of the last 65536 frames of what it was fed (one mono value a frame). Each
// frame it reads that memory at 41 taps. Half of the taps make the left channel's reverb and
// the other half the right's; the signed sum of all of them is scaled well below one and fed,
// together with the new frame, through a filter back into the memory, so that every reflection
// is reflected again and the sound grows denser as it fades. All per-frame arithmetic is
// integer: the same frames give the same bytes whatever the block sizes and ring positions.
//
// Set-up from the settings, once per change, in double precision evaluated left to right as
// written (round = to the nearest, halves away from zero):
//   a = Amplitude clamped to 0..44100, s = Step clamped to 0..10000, r = Cutoff clamped to
//   1..256, divided by 256. The spare value plays no part.
//   Taps: the seeded random generator is seeded with (1, 1); draw v_k for k = 0..40 gives the
//   offset o_k = ((v_k AND 0xFE00) + 511) x a / 65535 (integer). Tap k reads the memory
//   T_k = max(1, s x (k mod 11 + 1) / 10 + o_k) frames back: the eleven groups start Step / 10
//   frames apart and Amplitude scatters the taps beyond their group's start. Even taps sound
//   left, odd taps right. The taps of even groups count positive, those of odd groups negative
//   (sign_k = +1 when k mod 11 is even), so that the feedback hardly carries a constant level.
//   Filter: a second-order low-pass (band b <= 256, b below 1 taken as 1, w = b x pi / 512,
//   K = cos w / sin w) or high-pass (b > 256, b' = max(513 - b, 1), w = (256 - b') x pi / 512,
//   K = sin w / cos w); A = K x r, B = K x K, g = 1 / (1 + A + B); low: a1 = 2 (1 - B) g, high:
//   a1 = 2 (B - 1) g; a2 = (1 - A + B) g. Held as B0 = round(g x 2^28), B1 = +2 B0 (low) or
//   -2 B0 (high), A1 = round(a1 x 2^28), A2 = round(a2 x 2^28).
//   c = r x sqrt(1 - r x r / 4) is one over the filter's highest gain, so the filter never
//   lifts a frequency above its input level. InGain = floor(2^24 x c),
//   LoopGain = floor(2^24 x 0.97 x c / 41): the feedback is at most 0.97 times what the 41
//   taps could add up to at any frequency, which keeps the tail decaying for every setting.
//   Weights: the taps' loudness falls with their distance at the rate at which the tail
//   itself fades, beta = ln(sqrt(41) / (0.97 c)) / (mean of T_k); Weight_k = sign_k x
//   round(2048 x exp(-beta x (T_k - min T))) (the nearest tap at a quarter of full level).
//
// Per frame, with the ring frame (L, R) and memory M written at position p:
//   m_k = M[(p - T_k) mod 65536]; w = sum of sign_k m_k over all taps;
//   eL = sum of Weight_k m_k over even k, eR over odd k;
//   x = ((((L + R) >> 1) x InGain + w x LoopGain) >> 10) (filter input, 1/16384 units);
//   y = clamp((B0 (x + x2) + B1 x1 - A1 y1 - A2 y2 + 2^27) >> 28, -2^31, 2^31);
//   x2 = x1, x1 = x, y2 = y1, y1 = y;
//   M[p] = sat16((y + 2^13) >> 14); p = p + 1 (mod 65536);
//   L = sat16(L + ((eL + 2^12) >> 13)); R = sat16(R + ((eR + 2^12) >> 13)).
// Shifts are arithmetic; sat16 limits to -32768..32767. Every product fits 64 bits: |x| < 2^30,
// |y| <= 2^31 and the coefficients stay below 2^29. The settings are plain values; the stage
// belongs to one mixer and is set up and run on the thread that mixes.

#include "audio/effects.h"
#include "song/song_effects.h"

#include <cstdint>

namespace kellix {

constexpr int32_t kReverbTaps = 41;
constexpr int32_t kReverbFrames = 65536; // frames of memory, a power of two

struct ReverbState {
    int16_t* Memory = nullptr;              // kReverbFrames mono frames
    int32_t Pos = 0;                        // where the next frame is written
    int64_t X1 = 0, X2 = 0, Y1 = 0, Y2 = 0; // filter history
    // The settings last set up; the stage runs only while On.
    ReverbSettings Settings{};
    bool On = false;
    // Worked out from the settings by SetUpReverb.
    int32_t Offset[kReverbTaps] = {};
    int32_t Sign[kReverbTaps] = {};
    int32_t Weight[kReverbTaps] = {};
    int64_t B0 = 0, B1 = 0, A1 = 0, A2 = 0;
    int64_t InGain = 0, LoopGain = 0;
};

// A silent, switched-off stage set up for the start-up settings (4000, 20000, 10000, 256, 256).
// The only allocation the stage makes.
ReverbState* CreateReverb();
void FreeReverb(ReverbState* state);

// Clears the memory and the filter history: the stage sounds as if nothing had been fed.
void ResetReverb(ReverbState& state);

// Takes new settings and the on/off switch. Cheap when nothing changed, so a mixer may call it
// before every block; switching on starts from silence. Never allocates.
void SetUpReverb(ReverbState& state, const ReverbSettings& settings, bool on);

// Runs the stage over n stereo 16-bit frames (4 bytes each) of a ring of ringFrames frames,
// starting at frame firstFrame and wrapping to frame 0. While the stage is off the bytes are
// not touched. Counts beyond the ring are limited to it.
void ApplyReverb(ReverbState& state, uint8_t* ring, int32_t ringFrames, int32_t firstFrame,
                 int32_t n);

} // namespace kellix

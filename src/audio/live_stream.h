#pragma once

// Positions in the live stream and its ring (see live_output.h): stream bytes count from the
// device's first byte; the live clock's frame 0 is stream frame kLeadFrames; stream byte b lies
// at ring offset b mod kRingBytes.

#include "audio/live_output.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace kellix {

// No re-mix is writing the ring.
constexpr int64_t kNoFence = std::numeric_limits<int64_t>::max();

// The stream byte at which the live clock's frame is heard.
inline int64_t StreamByte(int64_t frame) {
    return (frame + kLeadFrames) * 4;
}

// The ring offset (the mixer's WritePos) of the live mixer's quarter q.
inline int32_t QuarterPlace(int64_t q) {
    return static_cast<int32_t>((q + 1) % 4) * kQuarterBytes;
}

// Stream bytes [from, to) of the ring, which holds them, into out.
inline void CopyFromRing(uint8_t* out, const uint8_t* ring, int64_t from, int64_t to) {
    const auto at = static_cast<std::size_t>(from % kRingBytes);
    const auto n = static_cast<std::size_t>(to - from);
    const std::size_t first = std::min(n, kRingBytes - at);
    std::memcpy(out, ring + at, first);
    std::memcpy(out + first, ring, n - first);
}

// Stream bytes [from, to) from one ring into the same places of another.
inline void CopyRingPart(uint8_t* to, const uint8_t* from, int64_t begin, int64_t end) {
    const auto at = static_cast<std::size_t>(begin % kRingBytes);
    const auto n = static_cast<std::size_t>(end - begin);
    const std::size_t first = std::min(n, kRingBytes - at);
    std::memcpy(to + at, from + at, first);
    std::memcpy(to, from, n - first);
}

} // namespace kellix

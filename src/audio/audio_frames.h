#pragma once

#include <cstdint>
#include <optional>

namespace kellix {

// The sound device's buffer in frames: how much the device takes at a time, and so how long a
// sound waits before it is heard. Small by default; a machine whose sound breaks up needs more.
constexpr int32_t kDefaultAudioFrames = 512;
constexpr int32_t kMinAudioFrames = 64;
constexpr int32_t kMaxAudioFrames = 16384;

// The buffer to open the device with: the environment variable KELLIX_AUDIO_FRAMES (its text,
// or null when it is not set) before the saved setting, before the default. A text that is not
// a whole number is ignored; numbers are limited to kMinAudioFrames..kMaxAudioFrames.
int32_t AudioFramesSetting(const char* env, std::optional<int32_t> saved);

} // namespace kellix

#pragma once

#include "audio/audio_frames.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kellix {

// What Kellix keeps across runs besides the recent songs: a small text file of key=value lines
// ("audio_frames=512", "midi_port=..."). Unknown keys and values that make no sense are
// ignored.
struct Settings {
    // The sound device's buffer in frames; none for the device's own default.
    std::optional<int32_t> AudioFrames;
    // The MIDI input port chosen last, empty for none.
    std::string MidiPort;
};

// $XDG_CONFIG_HOME/kellix/settings.txt, or ~/.config/kellix/settings.txt.
std::string DefaultSettingsFile();

// A missing or unreadable file gives the defaults.
Settings LoadSettings(const std::string& path);
// Writes the file (its folder made when missing); on failure returns false with a message.
bool SaveSettings(const std::string& path, const Settings& settings, std::string* error = nullptr);

} // namespace kellix

#include "ui/model/settings.h"

#include "songtext/text_file.h"
#include "support/atomic_file.h"
#include "support/numtext.h"
#include "ui/model/recent_songs.h"

#include <filesystem>

namespace kellix {

namespace fs = std::filesystem;

std::string DefaultSettingsFile() {
    return (fs::path(RecentSongs::DefaultFile()).parent_path() / "settings.txt").string();
}

Settings LoadSettings(const std::string& path) {
    Settings settings;
    std::string text;
    if (!ReadTextFile(path, text, nullptr)) {
        return settings;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        int32_t frames = 0;
        if (key == "audio_frames" && StrictTextToInt(value, frames) && frames >= kMinAudioFrames &&
            frames <= kMaxAudioFrames) {
            settings.AudioFrames = frames;
        } else if (key == "midi_port") {
            settings.MidiPort = value;
        }
    }
    return settings;
}

bool SaveSettings(const std::string& path, const Settings& settings, std::string* error) {
    std::string text;
    if (settings.AudioFrames) {
        text += "audio_frames=" + std::to_string(*settings.AudioFrames) + "\n";
    }
    // A port name with a line break could not be read back: such a name is not kept.
    if (!settings.MidiPort.empty() &&
        settings.MidiPort.find_first_of("\r\n") == std::string::npos) {
        text += "midi_port=" + settings.MidiPort + "\n";
    }
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    return WriteFileAtomically(path, text.data(), text.size(), error);
}

} // namespace kellix

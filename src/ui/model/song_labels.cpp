#include "ui/model/song_labels.h"

#include <cmath>

namespace kellix {

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

// A positive value with one decimal, the same in every locale: "92.9".
std::string OneDecimal(double value) {
    const long long tenths = std::llround(value * 10.0);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace

std::string InstrumentName(std::string_view code) {
    const std::size_t comment = code.find("//");
    if (comment == std::string_view::npos) {
        return {};
    }
    std::string_view name = code.substr(comment + 2);
    name = name.substr(0, name.find_first_of("\r\n"));
    while (!name.empty() && Blank(name.front())) {
        name.remove_prefix(1);
    }
    while (!name.empty() && Blank(name.back())) {
        name.remove_suffix(1);
    }
    if (name.size() > kMaxInstrumentName) {
        std::size_t cut = kMaxInstrumentName;
        // Not inside a UTF-8 sequence: back to the byte that starts it.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name = name.substr(0, cut);
    }
    return std::string(name);
}

std::string TempoText(int32_t speed) {
    const std::string prefix = "Speed " + std::to_string(speed) + ": ";
    if (speed <= 0) {
        return prefix + "a step of no length, no tempo";
    }
    const double stepFrames = 32.0 * speed;
    return prefix + "a step lasts " + OneDecimal(stepFrames * 1000.0 / 44100.0) + " ms, " +
           OneDecimal(44100.0 * 60.0 / (stepFrames * 4.0)) + " BPM at four steps a beat";
}

} // namespace kellix

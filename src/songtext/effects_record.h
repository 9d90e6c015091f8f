#pragma once

// The song's effects in its text: one record after the song root record, written only when the
// effects differ from a new song's, so that a song without them is written as before:
//
//   "  Effects:TEffects=(\r\n   DelayL: 10584;\r\n   DelayR: 15876;\r\n   DecayL: 9980;\r\n"
//   "   DecayR: 8191;\r\n   Reverb: 1;\r\n   Amplitude: 4000;\r\n   Step: 10000;\r\n"
//   "   Cutoff: 256;\r\n  );\r\n\r\n"
//
// The values are written in signed form. None of the record's words names a section of the
// song text (a reader that does not know the record skips it word by word), and the reader that
// knows it takes the fields in this order, as it does every record.

#include "song/track.h"

#include <array>
#include <cstdint>
#include <string>

namespace kellix {

constexpr const char* kEffectsRecordName = "Effects";
constexpr const char* kEffectsRecordType = "TEffects";

struct EffectsField {
    const char* Label;
    int32_t TEffects::*Member;
};

// The record's fields in the order of the text.
inline constexpr std::array<EffectsField, 8> kEffectsFields = {{
    {"DelayL", &TEffects::DelayL},
    {"DelayR", &TEffects::DelayR},
    {"DecayL", &TEffects::DecayL},
    {"DecayR", &TEffects::DecayR},
    {"Reverb", &TEffects::Reverb},
    {"Amplitude", &TEffects::Amplitude},
    {"Step", &TEffects::Step},
    {"Cutoff", &TEffects::Cutoff},
}};

// Appends the record, or nothing for a new song's effects.
void PutEffectsRecord(std::string& out, const TEffects& effects);

} // namespace kellix

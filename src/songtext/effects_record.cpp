#include "songtext/effects_record.h"

#include "support/numtext.h"

namespace kellix {

void PutEffectsRecord(std::string& out, const TEffects& effects) {
    if (effects == TEffects{}) {
        return;
    }
    out += "  ";
    out += kEffectsRecordName;
    out += ":";
    out += kEffectsRecordType;
    out += "=(\r\n";
    for (const EffectsField& field : kEffectsFields) {
        char digits[16];
        out += "   ";
        out += field.Label;
        out += ": ";
        out.append(digits, WriteSigned(digits, effects.*field.Member));
        out += ";\r\n";
    }
    out += "  );\r\n\r\n";
}

} // namespace kellix

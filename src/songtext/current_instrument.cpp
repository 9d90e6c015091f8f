#include "songtext/current_instrument.h"

#include "support/blocks.h"
#include "support/text.h"

namespace kellix {

int32_t CurrentInstrument = -1;

void SetCurrentInstrumentCode(TInstrumentCode& code, const char* text) {
    if (CurrentInstrument < 0 || CurrentInstrument >= code.Count) {
        return;
    }
    FreeBlock(code.Texts[CurrentInstrument]);
    code.Texts[CurrentInstrument] = TextDuplicate(text, TextLength(text));
}

} // namespace kellix

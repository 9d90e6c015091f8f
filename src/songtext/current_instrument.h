#pragma once

#include "song/track.h"

#include <cstdint>

namespace kellix {

// The instrument whose code the editor shows, -1 for none. The song text reader leaves it at
// the last instrument whose code it stored.
extern int32_t CurrentInstrument;

// Replaces the code of CurrentInstrument with a copy of text (a null text counts as empty).
// Does nothing when CurrentInstrument is outside the code list.
void SetCurrentInstrumentCode(TInstrumentCode& code, const char* text);

} // namespace kellix

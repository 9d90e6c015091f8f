#pragma once

#include "script/scripting.h"

#include <memory>

namespace kellix {

// Binds script execution to the generator library: the identifier table from
// GetSampleTableAddres plus the built-in names, handles resolved through the library, and the
// library's FreeSample behind ReleaseSample. Call once at program start; the scripting ends
// (freeing what RESULT and WAV hold) when it goes.
std::unique_ptr<Scripting> StartScripting();

} // namespace kellix

#pragma once

namespace kellix {

// Binds script execution to the generator library: the identifier table from
// GetSampleTableAddres plus the built-in names, handles resolved through the library, and the
// library's FreeSample behind ReleaseSample. Call once at program start.
void StartScripting();
// Program end: frees a sample left in RESULT and the identifier table.
void EndScripting();

} // namespace kellix

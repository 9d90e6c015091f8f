#pragma once

namespace kellix {

// Shows a fatal error: a message box with the caption "Error!" and an error icon. The program
// ends when it closes (FatalError installs it with SetFatalErrorDisplay).
void ShowFatalErrorBox(const char* message);

} // namespace kellix

#pragma once

namespace kellix {

// Shows a fatal error: a message box with the caption "Error!" and an error icon. The program
// ends when it closes (FatalError installs it with SetFatalErrorDisplay). A reason, when given,
// is shown under the message.
void ShowFatalErrorBox(const char* message);
void ShowFatalErrorBox(const char* message, const char* reason);

} // namespace kellix

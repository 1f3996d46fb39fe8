// Message boxes of the MDF file model (shown only where the file object allows).
#pragma once

#include <string>

#include "platform/win32/types.h"

namespace mdf {

enum MessageKind { kMessageError, kMessageWarning, kMessageInfo };

// The caption of the file model's boxes: the name of the module it is built
// into (set once when the module starts); without one, the application's name.
void SetMessageCaption(const std::string& caption);

// Shows an ANSI text in a box of `type` (buttons and icon); returns the button chosen.
int ShowMessageBox(const std::string& text, UINT type);
// Shows an ANSI text in a message box with an OK button.
void ShowMessage(const std::string& text, MessageKind kind);

}  // namespace mdf

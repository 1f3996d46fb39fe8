// Message boxes of the MDF file model (shown only where the file object allows).
#pragma once

#include <string>

namespace mdf {

enum MessageKind { kMessageError, kMessageWarning, kMessageInfo };

// Shows an ANSI text in a message box with an OK button.
void ShowMessage(const std::string& text, MessageKind kind);

}  // namespace mdf

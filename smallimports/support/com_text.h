// Texts at the COM edge: inside a module a text is Windows-1252 bytes up to
// its first NUL; the host sees UTF-16 COM strings.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/bstr.h"

namespace smallimports {

// The text (up to its first NUL) widened through the ANSI code page.
std::u16string AnsiToWide(std::string_view text);
// The COM string (up to its first NUL) narrowed through the ANSI code page.
std::string WideToAnsi(BSTR text);
// A new COM string of the text, of any length; the empty text gives an empty
// string, never a null one. The caller owns it.
BSTR TextToBstr(std::string_view text);

}  // namespace smallimports

// The import's own text rules: signal names made host identifiers, comment
// lines broken for the host's display, and texts handed to the host.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/bstr.h"

namespace dravo {

// Trailing blanks cut; every character other than A-Z, a-z, 0-9, '_', '$', '@'
// and the German letters becomes '_'; a name that does not start with a letter
// or a German letter ('$' is none) gets an 'S' in front.
void MakeIdentifier(std::string& name);

// Breaks a line for a display of `width` characters: whenever the current
// output line has reached `width` characters, its last blank becomes the two
// characters backslash and 'n' and the count starts again behind it. A line
// without a blank is not broken; a width below 1 leaves the text alone.
std::string WrapCommentLines(std::string_view line, int width);

// A new COM string of the text, each byte zero-extended to a UTF-16 unit (no
// code page), up to the text's first NUL.
BSTR TextToBstr(std::string_view text);

}  // namespace dravo

// Text helpers of the library: upper-casing and letters with the German
// letters of the OEM code page, and comparisons of fixed-width texts.
#pragma once

#include <cstddef>
#include <string_view>

namespace dravo {

// Maps the OEM code page's lower-case umlauts (0x84, 0x81, 0x94) to their
// capitals (0x8E, 0x9A, 0x99) and ASCII letters to upper case.
char MdfUpper(char c);
// ASCII letters, the six OEM umlauts and 0xE1 (sharp s).
bool MdfIsLetter(char c);
// Compares at most `limit` characters of two texts, each ending at its first
// zero or its end; the first difference as a signed value, 0 when equal.
int MdfCompare(std::string_view a, std::string_view b, size_t limit, bool ignoreCase);

}  // namespace dravo

// printf-style formatting into a string that grows as needed, always in the
// C locale (a viewer process may run under a locale with a decimal comma).
#pragma once

#include <string>

namespace mdf {

std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// strtod in the C locale: parses a number at `text`, sets `end` past it
// (to `text` when there is none).
double StrToDouble(const char* text, const char** end);

// ASCII-only case-insensitive comparison, as the C runtime does in the "C" locale.
bool EqualsNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

// A German text of the system, written in the source as UTF-8, in Windows-1252.
std::string Ansi(const char* utf8);

}  // namespace mdf

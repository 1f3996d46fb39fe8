// Code-page conversions at the edges of the system. Inside, texts are
// std::string of Windows-1252 bytes ("ANSI"); the operating system and Qt see
// UTF-8, COM strings UTF-16, and CharToOemA produces code page 850.
#pragma once

#include <string>
#include <string_view>

namespace winport {

// Windows-1252 -> UTF-8. The five bytes that 1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, as Windows does.
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 -> Windows-1252; characters outside the code page become '?'.
// Malformed UTF-8 sequences are taken byte by byte as Windows-1252.
std::string Utf8ToAnsi(std::string_view utf8);
// Windows-1252 <-> UTF-16 (COM strings).
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view utf16);
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);

// Windows-1252 -> OEM code page 850; characters that 850 lacks become '?'.
std::string AnsiToOem(std::string_view ansi);
std::string OemToAnsi(std::string_view oem);

// Windows-1252 upper case (as CharUpperA): ASCII and the accented letters;
// the sharp s, the micro sign and the non-letters stay. Names that Win32
// compares case-insensitively (registry keys, profile sections) compare by it.
std::string UpperAnsi(std::string_view ansi);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace winport

#include "platform/win32/types.h"
// Win32's CharToOemA/OemToCharA; source and destination may be the same buffer.
BOOL CharToOemA(const char* src, char* dst);
BOOL OemToCharA(const char* src, char* dst);

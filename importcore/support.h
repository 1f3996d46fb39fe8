// The import support library: what every import module of the newest contract
// needs beside its own reader. A message pump for long steps, the host's
// Variables key, null-safe comparisons, blank trimming, the identifier
// sanitiser for signal names and the line wrapping of comment texts.
//
// Texts are std::string of Windows-1252 bytes. The library keeps one piece of
// module-wide state, the current Variables key; each module compiles its own
// copy of the library, so every module has its own key.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/bstr.h"

namespace importcore {

// --- message pump and files ---

// Dispatches the queued messages until the queue is empty or a WM_QUIT is
// taken (that one is dropped, neither dispatched nor posted again).
void PumpMessages();
// True when the file exists and may be read.
bool IsFileReadable(const std::string& path);

// --- host variables ---

// The two keys under HKEY_CURRENT_USER in which the host keeps its variables.
inline constexpr const char* kVariablesKey6 = "Software\\Zephanor\\6.0\\Variables";
inline constexpr const char* kVariablesKey7 = "Software\\Zephanor\\7.0\\Variables";
// Host versions are the version times 256; from 7.0 on the host reads the 7.0 key.
inline constexpr int kHostVersion7 = 1792;

// Makes the 6.0 key current and returns it. SetVariablesKey runs once at module load.
const char* SetDefaultVariablesKey();
const char* SetVariablesKey();
// Makes the key of a host version current (the 6.0 key below 1792, the 7.0 key from it on).
const char* SelectVariablesKey(int hostVersion);
const char* CurrentVariablesKey();

// The value `name` of the current key, up to its first NUL or the end of the
// bytes stored (a binary value need not end in a NUL); nothing when the key or
// the value is missing or the value is longer than 512 bytes.
std::optional<std::string> ReadVariable(const std::string& name);
// The value as atoi reads it (0 when missing; saturated at the 32-bit limits).
int ReadVariableInt(const std::string& name);
// The value as atof reads it (0.0 when missing).
double ReadVariableDouble(const std::string& name);
// 1 when "ZPVERSION" >= version and, independently, "ZPREVISION" >= revision; else 0.
int CheckHostVersion(double version, double revision);

// atoi and atof of a text in the C locale: leading blanks, a sign, then as many
// digits as form a number; 0 when there are none. atoi saturates at the 32-bit limits.
int ParseInt(std::string_view text);
double ParseDouble(std::string_view text);

// --- texts ---

// A new COM string of the text (Windows-1252 to UTF-16), owned by the caller:
// every string property of the contract answers through it.
BSTR TextToBstr(std::string_view text);

// The text cut to at most max - 1 characters, as a bounded copy into a buffer of `max` bytes.
std::string CopyTextN(std::string_view src, size_t max);
// True only when both are non-null and equal without regard to Windows-1252 case.
bool EqualNoCase(const char* a, const char* b);
// Null-safe: with a null side true only when both are null. Otherwise compares
// at most n characters case-sensitively: true when n characters are equal or
// both texts end at the same place.
bool EqualPrefix(const char* a, const char* b, size_t n);
// Cuts trailing blanks (0x20 only), never the first character.
void TrimRight(std::string& text);

// --- names and comments ---

// The extra letters of identifiers: the code page 850 forms of the German
// umlauts and sharp s, and the Windows-1252 ones with the degree, squared,
// cubed and micro signs.
bool IsUmlaut(char c);
// Turns a signal name into a host identifier: trailing blanks cut, every
// character outside letters, digits, $, @, _ and the umlauts becomes '_', and a
// name that does not start with a letter, an umlaut or '$' gets an 'S' in front.
void MakeIdentifier(std::string& text);
// Breaks a comment into lines of "MDF_CHARSPERLINE" characters with the
// two-character sequence backslash-n (see WrapLines).
void WrapCommentLines(std::string& text);
// Breaks `text` into lines of `width` characters: a full line is broken at its
// last blank, ';' or ',' (not its first character), which is replaced by
// backslash-n; a line without one gets backslash-n behind its `width`
// characters. A text of `width` characters or fewer is unchanged, as is any
// text for a width below 1.
std::string WrapLines(std::string_view text, int width);

}  // namespace importcore

// Text, name and number routines that the small import modules share.
//
// Texts are Windows-1252 byte strings; a text ends at its first NUL, as the
// fixed character fields of the files and records do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace smallimports {

// The text up to its first NUL, at most `maxChars` characters of it.
std::string_view CutText(std::string_view text, size_t maxChars);
// dst becomes at most `n` characters of src (up to src's first NUL).
void CopyTextN(std::string& dst, std::string_view src, size_t n);

// Removes trailing blanks, but never the first character.
void TrimRight(std::string& text);
// The OEM code-page letters Ä Ö Ü ß ä ö ü (0x8E 0x99 0x9A 0xE1 0x84 0x94 0x81),
// which the identifier rules of Hestor and Jorvel keep.
bool IsUmlaut(unsigned char c);

// How a module turns a signal name into an identifier.
enum class IdentifierRule {
  Filmor,  // replace, prefix
  Hestor,  // trim trailing blanks, replace (umlauts kept), prefix
  Jorvel,  // trim blanks on both sides, replace (umlauts kept), prefix
};
// Every character outside A-Z, a-z, 0-9, "$", "@", "_" (and the umlauts where
// the rule keeps them) becomes "_"; a name that does not start with a letter
// gets an "S" in front, the empty name included. The name never grows past
// `capacity` characters: where the "S" does not fit, the last character goes.
void MakeIdentifier(std::string& name, IdentifierRule rule, size_t capacity);
// Brevan's rule: at most 64 characters, each outside A-Z, a-z, 0-9, "$", "@",
// "_" replaced by "_"; no prefix.
std::string SanitizeName64(std::string_view name);

// Equality without regard to case (Windows-1252 letters).
bool EqualNoCase(std::string_view a, std::string_view b);
// The first `n` characters of both are equal without regard to case (a text
// shorter than n compares whole, as a terminated string does).
bool EqualPrefixNoCase(std::string_view a, std::string_view b, size_t n);

// The leading integer of a text, as atol reads it in the C locale: blanks,
// a sign, digits; 0 when there is none; saturated at the 64-bit range.
int64_t ParseInteger(std::string_view text);
// The leading real number of a text, as atof reads it in the C locale; 0 when
// there is none.
double ParseReal(std::string_view text);

// "%d<sep>%d<sep>%d %d:%d:%d" as sscanf reads it (a blank matches any run of
// blanks): the six numbers, or false when the text does not hold them all.
bool ScanDateTime(std::string_view text, char dateSeparator, int numbers[6]);

// The file name of a path without directory and extension, at most
// `maxChars` characters.
std::string FileTitle(std::string_view path, size_t maxChars);
// The last component of a path.
std::string_view FileNameOf(std::string_view path);
// The folder of a path, with its trailing separator ("" for a bare name).
std::string_view FolderOf(std::string_view path);

// The contract's positions and sizes are 32-bit: a data space must stay below 4 GiB.
inline constexpr uint64_t kMaxDataSpace = uint64_t{1} << 32;
// a * b, or nothing when the product does not fit 64 bits.
std::optional<uint64_t> CheckedMul(uint64_t a, uint64_t b);

}  // namespace smallimports

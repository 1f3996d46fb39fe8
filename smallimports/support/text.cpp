#include "smallimports/support/text.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include <locale.h>

#include "platform/win32/codepage.h"

namespace smallimports {

namespace {

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsIdentifierChar(unsigned char c) { return IsAsciiLetter(c) || IsDigit(c) || c == '$' || c == '@' || c == '_'; }
bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One integer as %d reads it: blanks, a sign, digits; saturated at the int range.
bool ScanInt(std::string_view text, size_t& pos, int& value) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  size_t p = pos;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  const size_t digits = p;
  int64_t v = 0;
  for (; p < text.size() && IsDigit(static_cast<unsigned char>(text[p])); ++p)
    v = std::min<int64_t>(v * 10 + (text[p] - '0'), int64_t{1} << 40);
  if (p == digits) return false;
  pos = p;
  value = static_cast<int>(std::clamp<int64_t>(negative ? -v : v, INT32_MIN, INT32_MAX));
  return true;
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
  return locale;
}

}  // namespace

std::string_view CutText(std::string_view text, size_t maxChars) {
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return text.substr(0, maxChars);
}

void CopyTextN(std::string& dst, std::string_view src, size_t n) { dst.assign(CutText(src, n)); }

void TrimRight(std::string& text) {
  size_t keep = text.size();
  while (keep > 1 && text[keep - 1] == ' ') --keep;
  text.resize(keep);
}

bool IsUmlaut(unsigned char c) {
  switch (c) {
    case 0x8E: case 0x99: case 0x9A: case 0xE1: case 0x84: case 0x94: case 0x81:
      return true;
    default:
      return false;
  }
}

void MakeIdentifier(std::string& name, IdentifierRule rule, size_t capacity) {
  const bool keepsUmlauts = rule != IdentifierRule::Filmor;
  if (rule != IdentifierRule::Filmor) TrimRight(name);
  if (rule == IdentifierRule::Jorvel) {
    const size_t first = name.find_first_not_of(' ');
    name.erase(0, first == std::string::npos ? name.size() : first);
  }
  for (char& ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (!IsIdentifierChar(c) && !(keepsUmlauts && IsUmlaut(c))) ch = '_';
  }
  const bool startsWithLetter =
      !name.empty() && (IsAsciiLetter(static_cast<unsigned char>(name[0])) ||
                        (keepsUmlauts && IsUmlaut(static_cast<unsigned char>(name[0]))));
  if (!startsWithLetter) name.insert(name.begin(), 'S');
  if (name.size() > capacity) name.resize(capacity);
}

std::string SanitizeName64(std::string_view name) {
  std::string out(CutText(name, 64));
  for (char& ch : out)
    if (!IsIdentifierChar(static_cast<unsigned char>(ch))) ch = '_';
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return winport::EqualsNoCase(a, b); }

bool EqualPrefixNoCase(std::string_view a, std::string_view b, size_t n) {
  return EqualNoCase(a.substr(0, n), b.substr(0, n));
}

int64_t ParseInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (IsBlankOrTab(text[i]) || text[i] == '\n' || text[i] == '\r' ||
                             text[i] == '\v' || text[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t value = 0;
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  for (; i < text.size() && IsDigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value >= kLimit / 10 + 1 ? kLimit : value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return value >= kLimit ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
  return value >= kLimit ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(value);
}

double ParseReal(std::string_view text) {
  const std::string copy(CutText(text, text.size()));
  return strtod_l(copy.c_str(), nullptr, CLocale());
}

bool ScanDateTime(std::string_view text, char dateSeparator, int numbers[6]) {
  const char separators[] = {dateSeparator, dateSeparator, ' ', ':', ':'};
  size_t pos = 0;
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      const char sep = separators[i - 1];
      if (sep == ' ') {
        while (pos < text.size() && IsSpace(text[pos])) ++pos;
      } else if (pos < text.size() && text[pos] == sep) {
        ++pos;
      } else {
        return false;
      }
    }
    if (!ScanInt(text, pos, numbers[i])) return false;
  }
  return true;
}

std::string_view FileNameOf(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FolderOf(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string FileTitle(std::string_view path, size_t maxChars) {
  std::string_view name = FileNameOf(path);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(CutText(name, maxChars));
}

std::optional<uint64_t> CheckedMul(uint64_t a, uint64_t b) {
  uint64_t product;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

}  // namespace smallimports

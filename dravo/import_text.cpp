#include "dravo/import_text.h"

#include "importcore/support.h"

namespace dravo {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsIdentifierChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '@' || importcore::IsUmlaut(c);
}

}  // namespace

void MakeIdentifier(std::string& name) {
  importcore::TrimRight(name);
  for (char& c : name)
    if (!IsIdentifierChar(c)) c = '_';
  if (name.empty() || !(IsAsciiLetter(name[0]) || importcore::IsUmlaut(name[0]))) name.insert(name.begin(), 'S');
}

std::string WrapCommentLines(std::string_view line, int width) {
  if (width < 1) return std::string(line);
  const size_t w = static_cast<size_t>(width);
  std::string out;
  out.reserve(line.size() + line.size() / w + 1);
  size_t lineStart = 0;  // where the current output line begins
  for (char c : line) {
    out += c;
    if (out.size() - lineStart < w) continue;
    const size_t blank = out.rfind(' ');
    if (blank == std::string::npos || blank < lineStart) continue;
    out.replace(blank, 1, "\\n");
    lineStart = blank + 2;
  }
  return out;
}

BSTR TextToBstr(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::u16string wide(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

}  // namespace dravo

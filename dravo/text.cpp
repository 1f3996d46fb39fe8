#include "dravo/text.h"

namespace dravo {

namespace {

unsigned char At(std::string_view s, size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0; }

}  // namespace

char MdfUpper(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0x84: return static_cast<char>(0x8E);
    case 0x81: return static_cast<char>(0x9A);
    case 0x94: return static_cast<char>(0x99);
    default: return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
}

bool MdfIsLetter(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0x84: case 0x81: case 0x94: case 0x8E: case 0x9A: case 0x99: case 0xE1: return true;
    default: return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  }
}

int MdfCompare(std::string_view a, std::string_view b, size_t limit, bool ignoreCase) {
  for (size_t i = 0; i < limit; ++i) {
    unsigned char x = At(a, i), y = At(b, i);
    if (ignoreCase) {
      x = static_cast<unsigned char>(MdfUpper(static_cast<char>(x)));
      y = static_cast<unsigned char>(MdfUpper(static_cast<char>(y)));
    }
    if (x != y) return int{x} - int{y};
    if (x == 0) return 0;
  }
  return 0;
}

}  // namespace dravo

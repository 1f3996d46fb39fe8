// OEM code page 850 <-> Windows-1252, by way of the Unicode code points of both.
#include <array>

#include "platform/win32/codepage.h"

namespace winport {
namespace {

// Unicode code points of code page 850 bytes 0x80..0xFF; bytes below 0x80 are ASCII.
constexpr std::array<char16_t, 128> kCp850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // D0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

struct OemTables {
  std::array<char, 256> toOem{};
  std::array<char, 256> toAnsi{};
};

// Both byte tables, derived once from the 850 code points and the 1252 decoder.
const OemTables& Tables() {
  static const OemTables tables = [] {
    OemTables t;
    std::array<char16_t, 256> ansiCp{};
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      ansiCp[b] = AnsiToUtf16(std::string_view(&c, 1))[0];
      t.toOem[b] = t.toAnsi[b] = b < 0x80 ? c : '?';
    }
    for (int oem = 0x80; oem < 0x100; ++oem) {
      for (int ansi = 0x80; ansi < 0x100; ++ansi) {
        if (ansiCp[ansi] != kCp850High[oem - 0x80]) continue;
        t.toOem[ansi] = static_cast<char>(oem);
        t.toAnsi[oem] = static_cast<char>(ansi);
      }
    }
    return t;
  }();
  return tables;
}

std::string Translate(std::string_view in, const std::array<char, 256>& table) {
  std::string out(in.size(), '\0');
  for (size_t i = 0; i < in.size(); ++i) out[i] = table[static_cast<unsigned char>(in[i])];
  return out;
}

BOOL TranslateInPlace(const char* src, char* dst, const std::array<char, 256>& table) {
  if (!src || !dst) return FALSE;
  // Byte by byte, so that src and dst may be the same buffer.
  for (;; ++src, ++dst) {
    const auto b = static_cast<unsigned char>(*src);
    *dst = table[b];
    if (b == 0) break;
  }
  return TRUE;
}

}  // namespace

std::string AnsiToOem(std::string_view ansi) { return Translate(ansi, Tables().toOem); }
std::string OemToAnsi(std::string_view oem) { return Translate(oem, Tables().toAnsi); }

}  // namespace winport

BOOL CharToOemA(const char* src, char* dst) {
  return winport::TranslateInPlace(src, dst, winport::Tables().toOem);
}
BOOL OemToCharA(const char* src, char* dst) {
  return winport::TranslateInPlace(src, dst, winport::Tables().toAnsi);
}

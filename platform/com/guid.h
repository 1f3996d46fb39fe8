// GUIDs (class, interface and library ids) and their registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
//
// A module writes its ids as literals checked when compiled:
//   constexpr CLSID kClsid = winport::GuidOf("{89D51140-8C28-4108-BD69-8F5810376B43}");
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};

// The text form with braces and upper-case digits into `buffer` of `size`
// characters; returns the characters written with the NUL (39), or 0 when the
// buffer is too small.
int StringFromGUID2(REFGUID guid, OLECHAR* buffer, int size);
// Parses the text form (braces required, digits in either case); CO_E_CLASSSTRING otherwise.
HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid);
HRESULT IIDFromString(const OLECHAR* text, IID* iid);

namespace winport {

namespace detail {
constexpr int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace detail

// The GUID of a text form; none for anything else (no blanks, no missing braces).
constexpr std::optional<GUID> ParseGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  // Positions of the 32 hex digits within the text.
  uint8_t bytes[16] = {};
  int digit = 0;
  for (size_t i = 1; i < 37; ++i) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    const int v = detail::HexValue(text[i]);
    if (v < 0) return std::nullopt;
    bytes[digit / 2] = static_cast<uint8_t>(bytes[digit / 2] << 4 | v);
    ++digit;
  }
  GUID g{};
  g.Data1 = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
  g.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  g.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  return g;
}

// A GUID literal; a malformed text does not compile.
consteval GUID GuidOf(std::string_view text) {
  const std::optional<GUID> g = ParseGuid(text);
  if (!g) throw "malformed GUID literal";
  return *g;
}

// "{89D51140-8C28-4108-BD69-8F5810376B43}".
std::string FormatGuid(const GUID& guid);

}  // namespace winport

// COM strings. A BSTR points at 16-bit characters (OLECHAR is char16_t, as on
// Windows, never wchar_t) preceded by their length in bytes (32-bit) and
// followed by a NUL; it may hold NULs of its own. A null BSTR reads as the
// empty string everywhere. BSTRs are allocated and freed only here, in
// libwinport, so that the host frees what a module made and the other way round.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/types.h"

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

// A copy of the NUL-terminated `text`; NULL for NULL.
BSTR SysAllocString(const OLECHAR* text);
// `length` characters of `text`, NULs included; NULL `text` leaves them uninitialised
// (zeroed here). NULL when out of memory.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// `length` bytes (possibly odd) of `bytes`; NULL `bytes` gives zeroed bytes.
BSTR SysAllocStringByteLen(const char* bytes, UINT length);
// Replaces *bstr by a new string; FALSE (and *bstr unchanged) when out of memory.
INT SysReAllocString(BSTR* bstr, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
void SysFreeString(BSTR bstr);
// Characters (0 for NULL).
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

namespace winport {

// The characters of a BSTR, NULs included; empty for NULL.
std::u16string_view BstrView(BSTR bstr);

// Conversions at the COM edge: texts inside the system are Windows-1252.
BSTR BstrFromAnsi(std::string_view ansi);
std::string AnsiFromBstr(BSTR bstr);
BSTR BstrFromUtf8(std::string_view utf8);
std::string Utf8FromBstr(BSTR bstr);
BSTR BstrFromUtf16(std::u16string_view text);

// Owns one BSTR and frees it when destroyed.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(BSTR owned) : bstr_(owned) {}
  ~Bstr() { SysFreeString(bstr_); }
  Bstr(Bstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.bstr_, nullptr));
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  static Bstr FromAnsi(std::string_view ansi) { return Bstr(BstrFromAnsi(ansi)); }
  static Bstr FromUtf8(std::string_view utf8) { return Bstr(BstrFromUtf8(utf8)); }

  BSTR Get() const { return bstr_; }
  // Frees the string held and hands out the place for a new one ([out] parameters).
  BSTR* Receive() {
    Reset(nullptr);
    return &bstr_;
  }
  BSTR Release() { return std::exchange(bstr_, nullptr); }
  void Reset(BSTR owned) {
    SysFreeString(bstr_);
    bstr_ = owned;
  }
  std::string Ansi() const { return AnsiFromBstr(bstr_); }
  std::string Utf8() const { return Utf8FromBstr(bstr_); }

 private:
  BSTR bstr_ = nullptr;
};

}  // namespace winport

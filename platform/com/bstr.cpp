#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/codepage.h"

namespace {

// Length word, characters, NUL character.
constexpr size_t kPrefix = sizeof(uint32_t);
constexpr UINT kMaxBytes = 0xFFFFFFFFu - kPrefix - sizeof(OLECHAR);

BSTR Allocate(const void* data, UINT bytes) {
  if (bytes > kMaxBytes) return nullptr;
  // Room for an odd byte count's last byte plus a whole NUL character.
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + size_t{bytes} + 2 * sizeof(OLECHAR)));
  if (!block) return nullptr;
  const uint32_t length = bytes;
  std::memcpy(block, &length, kPrefix);
  if (data)
    std::memcpy(block + kPrefix, data, bytes);
  else
    std::memset(block + kPrefix, 0, bytes);
  std::memset(block + kPrefix + bytes, 0, 2 * sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(block + kPrefix);
}

uint32_t ByteLength(BSTR bstr) {
  uint32_t length;
  std::memcpy(&length, reinterpret_cast<const unsigned char*>(bstr) - kPrefix, kPrefix);
  return length;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  size_t length = 0;
  while (text[length]) ++length;
  if (length > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return Allocate(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) { return Allocate(bytes, length); }

INT SysReAllocString(BSTR* bstr, const OLECHAR* text) {
  if (!bstr) return FALSE;
  BSTR fresh = SysAllocString(text);
  if (text && !fresh) return FALSE;
  SysFreeString(*bstr);
  *bstr = fresh;
  return TRUE;
}

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) {
  if (!bstr) return FALSE;
  BSTR fresh = SysAllocStringLen(text, length);
  if (!fresh) return FALSE;
  SysFreeString(*bstr);
  *bstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}

UINT SysStringLen(BSTR bstr) { return bstr ? ByteLength(bstr) / sizeof(OLECHAR) : 0; }
UINT SysStringByteLen(BSTR bstr) { return bstr ? ByteLength(bstr) : 0; }

namespace winport {

std::u16string_view BstrView(BSTR bstr) { return {bstr ? bstr : u"", SysStringLen(bstr)}; }

BSTR BstrFromUtf16(std::u16string_view text) {
  if (text.size() > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

BSTR BstrFromAnsi(std::string_view ansi) { return BstrFromUtf16(AnsiToUtf16(ansi)); }
std::string AnsiFromBstr(BSTR bstr) { return Utf16ToAnsi(BstrView(bstr)); }
BSTR BstrFromUtf8(std::string_view utf8) { return BstrFromUtf16(Utf8ToUtf16(utf8)); }
std::string Utf8FromBstr(BSTR bstr) { return Utf16ToUtf8(BstrView(bstr)); }

}  // namespace winport

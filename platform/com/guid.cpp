#include "platform/com/guid.h"

#include <cstdio>

namespace winport {

std::string FormatGuid(const GUID& g) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

}  // namespace winport

int StringFromGUID2(REFGUID guid, OLECHAR* buffer, int size) {
  const std::string text = winport::FormatGuid(guid);
  if (!buffer || size < static_cast<int>(text.size()) + 1) return 0;
  for (size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<OLECHAR>(text[i]);
  buffer[text.size()] = 0;
  return static_cast<int>(text.size()) + 1;
}

HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid) {
  if (!clsid) return E_INVALIDARG;
  if (!text) return CO_E_CLASSSTRING;
  std::string narrow;
  for (const OLECHAR* p = text; *p && narrow.size() <= 38; ++p)
    narrow += *p < 0x80 ? static_cast<char>(*p) : '?';
  const std::optional<GUID> g = winport::ParseGuid(narrow);
  if (!g) return CO_E_CLASSSTRING;
  *clsid = *g;
  return S_OK;
}

HRESULT IIDFromString(const OLECHAR* text, IID* iid) { return CLSIDFromString(text, iid); }

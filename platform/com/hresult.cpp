#include "platform/com/hresult.h"

#include <cstdio>

namespace winport {
namespace {

struct NamedCode {
  HRESULT code;
  const char* name;
};

#define NAMED(code) {code, #code}
constexpr NamedCode kNames[] = {
    NAMED(S_OK),
    NAMED(S_FALSE),
    NAMED(E_NOTIMPL),
    NAMED(E_NOINTERFACE),
    NAMED(E_POINTER),
    NAMED(E_ABORT),
    NAMED(E_FAIL),
    NAMED(E_UNEXPECTED),
    NAMED(E_ACCESSDENIED),
    NAMED(E_OUTOFMEMORY),
    NAMED(E_INVALIDARG),
    NAMED(CLASS_E_NOAGGREGATION),
    NAMED(CLASS_E_CLASSNOTAVAILABLE),
    NAMED(REGDB_E_READREGDB),
    NAMED(REGDB_E_WRITEREGDB),
    NAMED(REGDB_E_KEYMISSING),
    NAMED(REGDB_E_INVALIDVALUE),
    NAMED(REGDB_E_CLASSNOTREG),
    NAMED(CO_E_CLASSSTRING),
    NAMED(CO_E_DLLNOTFOUND),
    NAMED(CO_E_ERRORINDLL),
    NAMED(SELFREG_E_TYPELIB),
    NAMED(SELFREG_E_CLASS),
    NAMED(DISP_E_UNKNOWNINTERFACE),
    NAMED(DISP_E_MEMBERNOTFOUND),
    NAMED(DISP_E_PARAMNOTFOUND),
    NAMED(DISP_E_TYPEMISMATCH),
    NAMED(DISP_E_UNKNOWNNAME),
    NAMED(DISP_E_NONAMEDARGS),
    NAMED(DISP_E_BADVARTYPE),
    NAMED(DISP_E_EXCEPTION),
    NAMED(DISP_E_OVERFLOW),
    NAMED(DISP_E_BADINDEX),
    NAMED(DISP_E_BADPARAMCOUNT),
    NAMED(DISP_E_PARAMNOTOPTIONAL),
    NAMED(TYPE_E_REGISTRYACCESS),
    NAMED(TYPE_E_LIBNOTREGISTERED),
    NAMED(TYPE_E_ELEMENTNOTFOUND),
};
#undef NAMED

}  // namespace

std::string HResultName(HRESULT hr) {
  for (const NamedCode& named : kNames)
    if (named.code == hr) return named.name;
  return "HRESULT";
}

std::string DescribeHResult(HRESULT hr) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(hr));
  return HResultName(hr) + " (" + hex + ")";
}

}  // namespace winport

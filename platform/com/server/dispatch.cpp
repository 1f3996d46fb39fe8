// IDispatch over a member table: names to ids, and Invoke with its argument
// checks and conversions.
#include <exception>
#include <string>

#include "platform/com/server/server.h"
#include "platform/win32/codepage.h"

namespace comserver {
namespace {

bool IsIntegerType(VARTYPE vt) { return vt == VT_I2 || vt == VT_I4 || vt == VT_UI4 || vt == VT_I8 || vt == VT_UI8; }

bool NameEquals(LPOLESTR name, const char* memberName) {
  if (!name || !memberName) return false;
  return winport::EqualsNoCase(winport::Utf16ToAnsi(name), memberName);
}

// The member that `id` and `flags` ask for among the exposed ones.
const Member* FindMember(std::span<const Member> members, DISPID id, WORD flags, bool& idKnown) {
  const Member* get = nullptr;
  const Member* put = nullptr;
  const Member* method = nullptr;
  idKnown = false;
  for (const Member& m : members) {
    if (m.dispid != id) continue;
    idKnown = true;
    if (m.kind == Kind::Get && !get) get = &m;
    if (m.kind == Kind::Put && !put) put = &m;
    if (m.kind == Kind::Method && !method) method = &m;
  }
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return put;
  if ((flags & DISPATCH_PROPERTYGET) && get) return get;
  if (flags & DISPATCH_METHOD) return method;
  return nullptr;
}

// Converts one argument to the parameter's type into `out`, borrowing what
// `in` holds (BSTRs and interfaces are not copied).
HRESULT CoerceArgument(const VARIANT& in, VARTYPE type, VARIANT& out) {
  VariantInit(&out);
  if (type & VT_BYREF) {
    if (in.vt != type) return DISP_E_TYPEMISMATCH;
    if (!in.byref) return E_POINTER;
    out = in;
    return S_OK;
  }
  VARIANT value = in;
  if (in.vt & VT_BYREF) {
    if (!in.byref) return E_POINTER;
    if (!winport::IsSupportedVarType(in.vt)) return DISP_E_TYPEMISMATCH;
    // Read through the reference: VariantChangeType to the same type copies.
    const VARTYPE base = static_cast<VARTYPE>(in.vt & ~VT_BYREF);
    value.vt = base;
    switch (base) {
      case VT_I2: value.iVal = *in.piVal; break;
      case VT_I4: value.lVal = *in.plVal; break;
      case VT_UI4: value.ulVal = *in.pulVal; break;
      case VT_I8: value.llVal = *in.pllVal; break;
      case VT_UI8: value.ullVal = *in.pullVal; break;
      case VT_R8: value.dblVal = *in.pdblVal; break;
      case VT_BSTR: value.bstrVal = *in.pbstrVal; break;
      case VT_DISPATCH: value.pdispVal = *in.ppdispVal; break;
      case VT_UNKNOWN: value.punkVal = *in.ppunkVal; break;
      default: return DISP_E_TYPEMISMATCH;
    }
  }
  if (value.vt == type) {
    out = value;
    return S_OK;
  }
  if (type == VT_UNKNOWN && value.vt == VT_DISPATCH) {  // an IDispatch is an IUnknown
    out.vt = VT_UNKNOWN;
    out.punkVal = value.pdispVal;
    return S_OK;
  }
  if (IsIntegerType(value.vt) && (IsIntegerType(type) || type == VT_R8))
    return VariantChangeType(&out, &value, 0, type);  // numbers only: nothing to free
  return DISP_E_TYPEMISMATCH;
}

void FillException(EXCEPINFO* info, const Interface& itf, HRESULT scode, const std::string& description) {
  if (!info) return;
  *info = EXCEPINFO{};
  info->bstrSource = winport::BstrFromAnsi(itf.name ? itf.name : "");
  info->bstrDescription = winport::BstrFromAnsi(description);
  info->scode = scode;
}

}  // namespace

HRESULT NamesToIds(const Interface& itf, size_t memberCount, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  const std::span<const Member> members = itf.members.first(std::min(memberCount, itf.members.size()));
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const Member* found = nullptr;
  for (const Member& m : members)
    if (NameEquals(names[0], m.name)) {
      found = &m;
      break;
    }
  if (!found) return DISP_E_UNKNOWNNAME;
  ids[0] = found->dispid;
  bool allKnown = true;
  for (UINT i = 1; i < count; ++i) {
    // Parameter names: their place in any member of that name (a get and a put share one).
    for (const Member& m : members) {
      if (m.dispid != found->dispid || !NameEquals(names[0], m.name)) continue;
      for (size_t p = 0; p < m.paramCount && ids[i] == DISPID_UNKNOWN; ++p)
        if (NameEquals(names[i], m.params[p].name)) ids[i] = static_cast<DISPID>(p);
    }
    allKnown = allKnown && ids[i] != DISPID_UNKNOWN;
  }
  return allKnown ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT InvokeMember(void* object, const Interface& itf, std::span<const Binding> bindings, DISPID id, REFIID riid,
                     WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!params || (params->cArgs > 0 && !params->rgvarg) || params->cNamedArgs > params->cArgs ||
      (params->cNamedArgs > 0 && !params->rgdispidNamedArgs))
    return E_INVALIDARG;
  const std::span<const Member> members = itf.members.first(std::min(bindings.size(), itf.members.size()));
  bool idKnown = false;
  const Member* member = FindMember(members, id, flags, idKnown);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  const Binding& binding = bindings[static_cast<size_t>(member - members.data())];

  if (member->kind == Kind::Put) {
    if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) return DISP_E_PARAMNOTFOUND;
  } else if (params->cNamedArgs != 0) {
    return DISP_E_NONAMEDARGS;
  }
  if (params->cArgs != member->paramCount) return DISP_E_BADPARAMCOUNT;

  // Parameter i is rgvarg[cArgs - 1 - i]; a put's value, the last parameter, is rgvarg[0].
  VARIANT args[kMaxParams + 1];
  for (UINT i = 0; i < member->paramCount; ++i) {
    const UINT place = params->cArgs - 1 - i;
    const HRESULT hr = CoerceArgument(params->rgvarg[place], member->params[i].type, args[i]);
    if (FAILED(hr)) {
      if (argErr) *argErr = place;
      return hr;
    }
  }
  // The result starts as its type's zero: a null string or interface, 0, an empty variant.
  VARIANT value;
  VariantInit(&value);
  if (member->result != VT_EMPTY) {
    VARIANT& slot = args[member->paramCount];
    VariantInit(&slot);
    slot.vt = static_cast<VARTYPE>(member->result | VT_BYREF);
    if (member->result == VT_VARIANT) {
      slot.byref = &value;
    } else {
      value.vt = member->result;
      slot.byref = &value.llVal;  // every member of the union starts at the same address
    }
  }

  HRESULT hr;
  try {
    hr = binding.call(object, args);
  } catch (const std::bad_alloc&) {
    FillException(excepInfo, itf, E_OUTOFMEMORY, std::string(member->name) + ": out of memory");
    hr = DISP_E_EXCEPTION;
  } catch (const std::exception& e) {
    FillException(excepInfo, itf, E_FAIL, std::string(member->name) + ": " + e.what());
    hr = DISP_E_EXCEPTION;
  } catch (...) {
    FillException(excepInfo, itf, E_FAIL, std::string(member->name) + ": unknown exception");
    hr = DISP_E_EXCEPTION;
  }
  if (FAILED(hr) || !result) {
    VariantClear(&value);
    return hr;
  }
  *result = value;
  return hr;
}

}  // namespace comserver

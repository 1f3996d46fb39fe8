#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <variant>

#include "platform/com/automation.h"
#include "platform/com/unknown.h"

namespace {

bool IsBaseSupported(VARTYPE base) {
  switch (base) {
    case VT_EMPTY:
    case VT_I2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return true;
    default:
      return false;
  }
}

// The value of a variant whose reference (if any) has been followed. An
// integer is held as a signed or unsigned 64-bit value, whichever holds it.
using Number = std::variant<int64_t, uint64_t, double>;

// A by-value copy of what `src` holds or points at; interface pointers and
// BSTRs are borrowed.
VARIANT Deref(const VARIANT& src) {
  VARIANT v;
  VariantInit(&v);
  if (!(src.vt & VT_BYREF)) return src;
  v.vt = static_cast<VARTYPE>(src.vt & ~VT_BYREF);
  switch (v.vt) {
    case VT_I2: v.iVal = *src.piVal; break;
    case VT_I4: v.lVal = *src.plVal; break;
    case VT_UI4: v.ulVal = *src.pulVal; break;
    case VT_I8: v.llVal = *src.pllVal; break;
    case VT_UI8: v.ullVal = *src.pullVal; break;
    case VT_R8: v.dblVal = *src.pdblVal; break;
    case VT_BSTR: v.bstrVal = *src.pbstrVal; break;
    case VT_DISPATCH: v.pdispVal = *src.ppdispVal; break;
    case VT_UNKNOWN: v.punkVal = *src.ppunkVal; break;
    default: break;
  }
  return v;
}

std::optional<Number> NumberOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: return Number{int64_t{0}};
    case VT_I2: return Number{int64_t{v.iVal}};
    case VT_I4: return Number{int64_t{v.lVal}};
    case VT_UI4: return Number{uint64_t{v.ulVal}};
    case VT_I8: return Number{int64_t{v.llVal}};
    case VT_UI8: return Number{uint64_t{v.ullVal}};
    case VT_R8: return Number{v.dblVal};
    default: return std::nullopt;
  }
}

// Decimal text to a number: an integer when the text is one, else a double.
std::optional<Number> ParseNumber(std::u16string_view text) {
  std::string s;
  for (char16_t c : text) {
    if (c >= 0x80) return std::nullopt;
    s += static_cast<char>(c);
  }
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  s = s.substr(first, s.find_last_not_of(" \t") - first + 1);
  const char* begin = s.data();
  const char* end = begin + s.size();
  if (*begin == '+') ++begin;
  if (begin == end) return std::nullopt;
  int64_t i = 0;
  auto r = std::from_chars(begin, end, i);
  if (r.ec == std::errc() && r.ptr == end) return Number{i};
  uint64_t u = 0;
  r = std::from_chars(begin, end, u);
  if (r.ec == std::errc() && r.ptr == end) return Number{u};
  double d = 0;
  r = std::from_chars(begin, end, d);
  if (r.ec == std::errc() && r.ptr == end) return Number{d};
  return std::nullopt;
}

// Rounds half to even, as Automation's conversions from floating point do.
std::optional<Number> RoundedInteger(double d) {
  if (!std::isfinite(d)) return std::nullopt;
  const double r = std::nearbyint(d);  // the default rounding mode is to nearest, ties to even
  if (r >= -9223372036854775808.0 && r < 9223372036854775808.0) return Number{static_cast<int64_t>(r)};
  if (r >= 0 && r < 18446744073709551616.0) return Number{static_cast<uint64_t>(r)};
  return std::nullopt;
}

template <typename T>
std::optional<T> Narrow(const Number& n) {
  if (const auto* d = std::get_if<double>(&n)) {
    const auto rounded = RoundedInteger(*d);
    if (!rounded) return std::nullopt;
    return Narrow<T>(*rounded);
  }
  if (const auto* s = std::get_if<int64_t>(&n)) {
    if (!std::in_range<T>(*s)) return std::nullopt;
    return static_cast<T>(*s);
  }
  const uint64_t u = std::get<uint64_t>(n);
  if (!std::in_range<T>(u)) return std::nullopt;
  return static_cast<T>(u);
}

double ToDouble(const Number& n) {
  if (const auto* d = std::get_if<double>(&n)) return *d;
  if (const auto* s = std::get_if<int64_t>(&n)) return static_cast<double>(*s);
  return static_cast<double>(std::get<uint64_t>(n));
}

std::string NumberText(const Number& n) {
  char buffer[64];
  std::to_chars_result r{};
  if (const auto* d = std::get_if<double>(&n))
    r = std::to_chars(buffer, buffer + sizeof buffer, *d);
  else if (const auto* s = std::get_if<int64_t>(&n))
    r = std::to_chars(buffer, buffer + sizeof buffer, *s);
  else
    r = std::to_chars(buffer, buffer + sizeof buffer, std::get<uint64_t>(n));
  return std::string(buffer, r.ptr);
}

// Fills `out` (already empty) with `n` as type `vt`.
HRESULT NumberTo(const Number& n, VARTYPE vt, VARIANT& out) {
  out.vt = vt;
  bool ok = true;
  switch (vt) {
    case VT_I2: { auto v = Narrow<SHORT>(n); ok = v.has_value(); if (ok) out.iVal = *v; break; }
    case VT_I4: { auto v = Narrow<LONG>(n); ok = v.has_value(); if (ok) out.lVal = *v; break; }
    case VT_UI4: { auto v = Narrow<ULONG>(n); ok = v.has_value(); if (ok) out.ulVal = *v; break; }
    case VT_I8: { auto v = Narrow<LONGLONG>(n); ok = v.has_value(); if (ok) out.llVal = *v; break; }
    case VT_UI8: { auto v = Narrow<ULONGLONG>(n); ok = v.has_value(); if (ok) out.ullVal = *v; break; }
    case VT_R8: out.dblVal = ToDouble(n); break;
    case VT_BSTR: {
      const std::string text = NumberText(n);
      out.bstrVal = winport::BstrFromAnsi(text);
      if (!out.bstrVal) return E_OUTOFMEMORY;
      break;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
  return ok ? S_OK : DISP_E_OVERFLOW;
}

// The conversion of a by-value `src` into a fresh variant `out`.
HRESULT Convert(const VARIANT& src, VARTYPE vt, VARIANT& out) {
  VariantInit(&out);
  if (vt == VT_EMPTY) return S_OK;
  if (src.vt == vt) return VariantCopy(&out, &src);
  if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
    if (vt != VT_DISPATCH && vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    IUnknown* unknown = src.punkVal;  // pdispVal is an IUnknown as well
    if (src.vt == VT_DISPATCH) unknown = src.pdispVal;
    void* converted = nullptr;
    if (unknown && FAILED(unknown->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &converted)))
      return DISP_E_TYPEMISMATCH;
    out.vt = vt;
    out.byref = converted;
    return S_OK;
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  std::optional<Number> n;
  if (src.vt == VT_BSTR) {
    if (vt == VT_BSTR) return VariantCopy(&out, &src);
    n = ParseNumber(winport::BstrView(src.bstrVal));
    if (!n) return DISP_E_TYPEMISMATCH;
  } else if (src.vt == VT_EMPTY && vt == VT_BSTR) {
    out.vt = VT_BSTR;
    out.bstrVal = SysAllocStringLen(nullptr, 0);
    return out.bstrVal ? S_OK : E_OUTOFMEMORY;
  } else {
    n = NumberOf(src);
    if (!n) return DISP_E_BADVARTYPE;
  }
  const HRESULT hr = NumberTo(*n, vt, out);
  if (FAILED(hr)) VariantInit(&out);
  return hr;
}

}  // namespace

void VariantInit(VARIANTARG* v) {
  if (!v) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
  if (!v) return E_INVALIDARG;
  if (!winport::IsSupportedVarType(v->vt)) return DISP_E_BADVARTYPE;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
    if (v->vt == VT_DISPATCH && v->pdispVal) v->pdispVal->Release();
    if (v->vt == VT_UNKNOWN && v->punkVal) v->punkVal->Release();
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!winport::IsSupportedVarType(src->vt)) return DISP_E_BADVARTYPE;
  if (dest == src) return S_OK;
  const HRESULT cleared = VariantClear(dest);
  if (FAILED(cleared)) return cleared;
  VARIANT copy = *src;
  if (!(copy.vt & VT_BYREF)) {
    if (copy.vt == VT_BSTR && src->bstrVal) {
      copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal), SysStringByteLen(src->bstrVal));
      if (!copy.bstrVal) return E_OUTOFMEMORY;
    }
    if (copy.vt == VT_DISPATCH && copy.pdispVal) copy.pdispVal->AddRef();
    if (copy.vt == VT_UNKNOWN && copy.punkVal) copy.punkVal->AddRef();
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (!winport::IsSupportedVarType(src->vt) || !winport::IsSupportedVarType(vt) || (vt & VT_BYREF))
    return DISP_E_BADVARTYPE;
  VARIANT result;
  const HRESULT hr = Convert(Deref(*src), vt, result);
  if (FAILED(hr)) return hr;
  const HRESULT cleared = VariantClear(dest);  // also when dest is src: result owns its own copy
  if (FAILED(cleared)) {
    VariantClear(&result);
    return cleared;
  }
  *dest = result;
  return S_OK;
}

namespace winport {

bool IsSupportedVarType(VARTYPE vt) {
  const VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
  if ((vt & VT_BYREF) && base == VT_EMPTY) return false;
  return IsBaseSupported(base);
}

std::string VarTypeName(VARTYPE vt) {
  static constexpr std::pair<VARTYPE, const char*> kNames[] = {
      {VT_EMPTY, "VT_EMPTY"},     {VT_I2, "VT_I2"},     {VT_I4, "VT_I4"},           {VT_R8, "VT_R8"},
      {VT_BSTR, "VT_BSTR"},       {VT_DISPATCH, "VT_DISPATCH"}, {VT_VARIANT, "VT_VARIANT"},
      {VT_UNKNOWN, "VT_UNKNOWN"}, {VT_UI4, "VT_UI4"},   {VT_I8, "VT_I8"},           {VT_UI8, "VT_UI8"},
      {VT_VOID, "VT_VOID"},       {VT_HRESULT, "VT_HRESULT"}, {VT_PTR, "VT_PTR"}};
  const VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
  std::string name = "VT_" + std::to_string(base);
  for (const auto& [type, text] : kNames)
    if (type == base) name = text;
  return (vt & VT_BYREF) ? "VT_BYREF|" + name : name;
}

}  // namespace winport

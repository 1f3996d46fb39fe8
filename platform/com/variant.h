// VARIANT, the value that IDispatch passes, and the functions that make,
// copy, clear and convert it.
//
// Supported types: VT_EMPTY, VT_I2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_R8,
// VT_BSTR, VT_DISPATCH, VT_UNKNOWN, and each of them | VT_BYREF (a pointer to
// the caller's variable, never owned: clearing or copying a by-reference
// variant frees, AddRefs and releases nothing). Other types give DISP_E_BADVARTYPE.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"

struct IUnknown;
struct IDispatch;

using VARTYPE = uint16_t;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_VARIANT = 12,  // only as a declared result type ("any")
  VT_UNKNOWN = 13,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_VOID = 24,     // type descriptions: no result
  VT_HRESULT = 25,  // type descriptions
  VT_PTR = 26,      // type descriptions: a pointer to the type in lptdesc
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    SHORT iVal;
    LONG lVal;
    ULONG ulVal;
    LONGLONG llVal;
    ULONGLONG ullVal;
    double dblVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SHORT* piVal;
    LONG* plVal;
    ULONG* pulVal;
    LONGLONG* pllVal;
    ULONGLONG* pullVal;
    double* pdblVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;

// Flags of VariantChangeType (accepted, no effect).
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;

// Sets VT_EMPTY.
void VariantInit(VARIANTARG* v);
// Frees what the variant owns (a BSTR, an interface reference) and sets VT_EMPTY.
HRESULT VariantClear(VARIANTARG* v);
// Clears `dest`, then makes it a copy of `src`: a new BSTR, an AddRef'd interface.
// On failure `dest` is left empty (DISP_E_BADVARTYPE, E_OUTOFMEMORY).
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// Converts `src` (a by-reference one through its pointer) to `vt` into `dest`
// (which may be `src`). Integers convert among each other and to VT_R8 with a
// range check (DISP_E_OVERFLOW); VT_R8 to an integer rounds half to even;
// numbers to VT_BSTR as locale-free decimal text (doubles in their shortest
// round-trip form) and back (DISP_E_TYPEMISMATCH when the text is no number);
// VT_EMPTY reads as 0 or ""; VT_DISPATCH and VT_UNKNOWN convert into each
// other by QueryInterface and to nothing else. On failure `dest` is unchanged.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);

namespace winport {

// The type's name ("VT_I4", "VT_BYREF|VT_UNKNOWN").
std::string VarTypeName(VARTYPE vt);
// Whether the variant functions handle `vt` (by reference or not).
bool IsSupportedVarType(VARTYPE vt);

}  // namespace winport

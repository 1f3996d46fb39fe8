// OLE Automation: IDispatch, the type descriptions that ITypeInfo and ITypeLib
// hand out, and the two interfaces themselves, in Windows' slot order.
#pragma once

#include "platform/com/unknown.h"
#include "platform/com/variant.h"

using DISPID = LONG;
using MEMBERID = DISPID;
using LCID = DWORD;
using HREFTYPE = DWORD;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr MEMBERID MEMBERID_NIL = -1;

constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LANG_NEUTRAL = 0;

// IDispatch::Invoke flags.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Arguments of Invoke: positional ones in reverse order (rgvarg[cArgs - 1] is
// the first); named ones come first in rgvarg with their ids in rgdispidNamedArgs.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

enum TYPEKIND {
  TKIND_ENUM,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
};

// A type: `vt`, or for VT_PTR a pointer to the type in `lptdesc`.
struct TYPEDESC {
  union {
    TYPEDESC* lptdesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
};

constexpr USHORT PARAMFLAG_NONE = 0x0;
constexpr USHORT PARAMFLAG_FIN = 0x1;
constexpr USHORT PARAMFLAG_FOUT = 0x2;
constexpr USHORT PARAMFLAG_FLCID = 0x4;
constexpr USHORT PARAMFLAG_FRETVAL = 0x8;
constexpr USHORT PARAMFLAG_FOPT = 0x10;

struct PARAMDESC {
  void* pparamdescex;
  USHORT wParamFlags;
};

struct IDLDESC {
  uintptr_t dwReserved;
  USHORT wIDLFlags;
};

struct ELEMDESC {
  TYPEDESC tdesc;
  PARAMDESC paramdesc;
};

enum FUNCKIND { FUNC_VIRTUAL, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum INVOKEKIND {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
};
enum CALLCONV { CC_FASTCALL = 0, CC_CDECL = 1, CC_PASCAL = 2, CC_MACPASCAL = 3, CC_STDCALL = 4 };

struct FUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
};

constexpr WORD TYPEFLAG_FAPPOBJECT = 0x1;
constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
};

enum SYSKIND { SYS_WIN16, SYS_WIN32, SYS_MAC, SYS_WIN64 };

struct TLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
};

struct VARDESC;  // variables are never described here
struct ITypeComp;
struct ITypeInfo;
struct ITypeLib;

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, UINT* argErr) = 0;

 protected:
  ~IDispatch() = default;
};

struct ITypeInfo : IUnknown {
  virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) = 0;
  virtual HRESULT GetVarDesc(UINT index, VARDESC** desc) = 0;
  virtual HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, INT* flags) = 0;
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
  virtual HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, UINT* argErr) = 0;
  virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                                   BSTR* helpFile) = 0;
  virtual HRESULT GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dllName, BSTR* name, WORD* ordinal) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) = 0;
  virtual HRESULT AddressOfMember(MEMBERID id, INVOKEKIND kind, void** address) = 0;
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT GetMops(MEMBERID id, BSTR* mops) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
  virtual void ReleaseVarDesc(VARDESC* desc) = 0;

 protected:
  ~ITypeInfo() = default;
};

struct ITypeLib : IUnknown {
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** info) = 0;
  virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
  virtual HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                   BSTR* helpFile) = 0;
  virtual HRESULT IsName(LPOLESTR name, ULONG hash, BOOL* found) = 0;
  virtual HRESULT FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* found) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;

 protected:
  ~ITypeLib() = default;
};

inline constexpr IID IID_IDispatch = winport::GuidOf("{00020400-0000-0000-C000-000000000046}");
inline constexpr IID IID_ITypeInfo = winport::GuidOf("{00020401-0000-0000-C000-000000000046}");
inline constexpr IID IID_ITypeLib = winport::GuidOf("{00020402-0000-0000-C000-000000000046}");

// The one proxy/stub class that Automation interfaces register under Interface\{IID}.
inline constexpr CLSID CLSID_PSOAInterface = winport::GuidOf("{00020424-0000-0000-C000-000000000046}");

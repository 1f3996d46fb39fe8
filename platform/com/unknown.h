// IUnknown and IClassFactory, abstract structs whose virtual functions lie in
// Windows' slot order. Nothing may be added to them: an object is reached
// through these slots from code compiled elsewhere.
#pragma once

#include "platform/com/guid.h"

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;  // objects go away through Release, never through delete
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

inline constexpr IID IID_IUnknown = winport::GuidOf("{00000000-0000-0000-C000-000000000046}");
inline constexpr IID IID_IClassFactory = winport::GuidOf("{00000001-0000-0000-C000-000000000046}");

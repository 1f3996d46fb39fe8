// Helpers of the COM tests: variants, Invoke calls and the test modules.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/com/automation.h"
#include "platform/win32/module.h"
#include "platform/win32/registry.h"

namespace comtest {

inline VARIANT I4(LONG v) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_I4;
  r.lVal = v;
  return r;
}
inline VARIANT I8(LONGLONG v) {
  VARIANT r = I4(0);
  r.vt = VT_I8;
  r.llVal = v;
  return r;
}
inline VARIANT R8(double v) {
  VARIANT r = I4(0);
  r.vt = VT_R8;
  r.dblVal = v;
  return r;
}
inline VARIANT Ref(VARTYPE vt, void* target) {
  VARIANT r = I4(0);
  r.vt = static_cast<VARTYPE>(vt | VT_BYREF);
  r.byref = target;
  return r;
}
// A string variant; the caller clears it (Call does for its arguments).
inline VARIANT Str(const std::string& utf8) {
  VARIANT r = I4(0);
  r.vt = VT_BSTR;
  r.bstrVal = winport::BstrFromUtf8(utf8);
  return r;
}

// The outcome of one Invoke.
struct Outcome {
  HRESULT hr = S_OK;
  VARIANT result{};
  UINT argErr = ~0u;
  std::string source, description;  // from EXCEPINFO
  SCODE scode = 0;
};

// Invokes `id` with `args` in their natural order (reversed into DISPPARAMS
// here); a put passes its value last. Clears the argument variants after the call.
inline Outcome Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args = {}) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  Outcome out;
  VariantInit(&out.result);
  EXCEPINFO info{};
  out.hr = object->Invoke(id, IID_NULL, 0, flags, &params, &out.result, &info, &out.argErr);
  out.source = winport::Utf8FromBstr(info.bstrSource);
  out.description = winport::Utf8FromBstr(info.bstrDescription);
  out.scode = info.scode;
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  for (VARIANT& v : args) VariantClear(&v);
  return out;
}

// The keys and values below root\path, one line each, indented by depth:
//   Key
//     @ = "default"
//     Name = "text"     (REG_DWORD values as numbers)
// Empty when the key does not exist.
inline std::string RegistryTree(HKEY root, const std::string& path, int depth = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  std::string out;
  char name[256];
  BYTE data[1024];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    out += indent + "  " + (nameSize ? std::string(name, nameSize) : std::string("@")) + " = ";
    if (type == REG_DWORD) {
      DWORD number = 0;
      std::memcpy(&number, data, sizeof number);
      out += std::to_string(number) + "\n";
    } else {
      out += "\"" + std::string(reinterpret_cast<char*>(data), dataSize ? dataSize - 1 : 0) + "\"\n";
    }
  }
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
    out += indent + "  " + name + "\n";
    out += RegistryTree(root, path + "\\" + name, depth + 1);
  }
  RegCloseKey(key);
  return out;
}

// One of the test modules loaded into this process, with its class factories.
class LoadedModule {
 public:
  explicit LoadedModule(const char* path) : module_(LoadLibraryA(path)) {
    EXPECT_NE(module_, nullptr) << winport::LastLoadError();
    getClassObject_ = reinterpret_cast<GetClassObject>(GetProcAddress(module_, "DllGetClassObject"));
    canUnloadNow_ = reinterpret_cast<CanUnloadNow>(GetProcAddress(module_, "DllCanUnloadNow"));
  }
  ~LoadedModule() {
    if (module_) FreeLibrary(module_);
  }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  IClassFactory* Factory(const CLSID& clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }
  // A new object of the class as IDispatch, with one reference.
  IDispatch* Create(const CLSID& clsid) {
    IClassFactory* factory = Factory(clsid);
    IDispatch* object = nullptr;
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
      factory->Release();
    }
    return object;
  }
  HRESULT GetClassObjectResult(const CLSID& clsid, const IID& iid) {
    void* object = nullptr;
    const HRESULT hr = getClassObject_(clsid, iid, &object);
    if (object) static_cast<IUnknown*>(object)->Release();
    return hr;
  }
  HRESULT CanUnload() { return canUnloadNow_(); }

 private:
  using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT (*)();
  HMODULE module_;
  GetClassObject getClassObject_ = nullptr;
  CanUnloadNow canUnloadNow_ = nullptr;
};

}  // namespace comtest

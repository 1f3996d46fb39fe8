// The module: its lock count, its class factories and the four exports.
#include <atomic>
#include <string>

#include "platform/com/registrar.h"
#include "platform/com/server/counted.h"
#include "platform/com/typelib.h"
#include "platform/win32/codepage.h"

#define COMSERVER_EXPORT extern "C" __attribute__((visibility("default")))

namespace comserver {
namespace {

std::atomic<LONG> locks{0};
std::atomic<LONG> serverLocks{0};  // the part of `locks` that LockServer took

// Creates the objects of one entry of the object map. A factory that the
// host holds keeps the module loaded.
class ClassFactory final : public Counted<IClassFactory> {
 public:
  explicit ClassFactory(const ClassEntry& entry) : entry_(entry) {}

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return entry_.create(outer, riid, object);
  }

  // Locks hold the module, whichever factory took them, until unlocked.
  HRESULT LockServer(BOOL lock) override {
    if (lock) {
      ++serverLocks;
      LockModule();
      return S_OK;
    }
    // An unlock without a lock must not free what living objects hold.
    for (LONG held = serverLocks; held > 0;)
      if (serverLocks.compare_exchange_weak(held, held - 1)) {
        UnlockModule();
        break;
      }
    return S_OK;
  }

 protected:
  IID Own() const override { return IID_IClassFactory; }

 private:
  const ClassEntry& entry_;
};

const ClassEntry* FindClass(REFCLSID clsid) {
  for (const ClassEntry& c : ThisModule().classes)
    if (c.clsid == clsid) return &c;
  return nullptr;
}

}  // namespace

void LockModule() { ++locks; }
void UnlockModule() { --locks; }
LONG ModuleLockCount() { return locks; }

HMODULE ModuleHandle() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<const char*>(&ModuleHandle), &module);
  return module;
}

std::string ModulePath() {
  char path[4096];
  const DWORD n = GetModuleFileNameA(ModuleHandle(), path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

}  // namespace comserver

using comserver::ThisModule;

COMSERVER_EXPORT HRESULT DllCanUnloadNow() { return comserver::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

COMSERVER_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  const comserver::ClassEntry* entry = comserver::FindClass(clsid);
  if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) comserver::ClassFactory(*entry);
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(riid, object);
  factory->Release();
  return hr;
}

COMSERVER_EXPORT HRESULT DllRegisterServer() {
  const std::string path = comserver::ModulePath();
  if (path.empty()) return E_UNEXPECTED;
  const winport::Replacements replacements = {{"MODULE", path}};
  for (const comserver::ClassEntry& c : ThisModule().classes) {
    if (!c.script) continue;
    const HRESULT hr = winport::UpdateRegistryFromScript(c.script, replacements, true);
    if (FAILED(hr)) return hr;
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = comserver::NewTypeLib(&lib);
  if (FAILED(hr)) return hr;
  const std::u16string widePath = winport::AnsiToUtf16(path);
  hr = RegisterTypeLib(lib, widePath.c_str(), nullptr);
  lib->Release();
  return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

COMSERVER_EXPORT HRESULT DllUnregisterServer() {
  const comserver::TypeLib& lib = ThisModule();
  HRESULT result = UnRegisterTypeLib(lib.libid, lib.major, lib.minor, lib.lcid, SYS_WIN64);
  if (result == TYPE_E_LIBNOTREGISTERED) result = S_OK;  // unregistering twice is no failure
  const winport::Replacements replacements = {{"MODULE", comserver::ModulePath()}};
  for (auto c = lib.classes.rbegin(); c != lib.classes.rend(); ++c) {
    if (!c->script) continue;
    const HRESULT hr = winport::UpdateRegistryFromScript(c->script, replacements, false);
    if (SUCCEEDED(result) && FAILED(hr)) result = hr;
  }
  return result;
}

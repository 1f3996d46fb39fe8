#include "platform/com/activation.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"

namespace winport {
namespace {

// How long a chain of CurVer keys may be before it counts as a loop.
constexpr int kMaxCurVer = 16;

thread_local std::string lastError;

HRESULT Fail(HRESULT hr, std::string detail) {
  lastError = std::move(detail);
  return hr;
}

// The default value of HKCR\path; none when the key or value is missing.
bool ReadDefault(const std::string& path, std::string& value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0, type = 0;
  bool ok = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ;
  if (ok) {
    std::string data(size, '\0');
    ok = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
         ERROR_SUCCESS;
    data.resize(size > 0 ? size - 1 : 0);
    value = data;
  }
  RegCloseKey(key);
  return ok;
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT (*)();

struct Server {
  void* handle = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadNowFn canUnloadNow = nullptr;  // none: the module stays
};

struct Servers {
  std::mutex mutex;
  std::map<std::string, Server> loaded;  // by the module's real path

  static Servers& Instance() {
    static Servers* servers = new Servers;  // never destroyed: modules may be in use during exit
    return *servers;
  }
};

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The loaded module at `path`, loading it when needed.
HRESULT LoadServer(const std::string& path, Server& server) {
  Servers& servers = Servers::Instance();
  std::lock_guard lock(servers.mutex);
  const std::string key = RealPath(path);
  if (const auto it = servers.loaded.find(key); it != servers.loaded.end()) {
    server = it->second;
    return S_OK;
  }
  const std::string file = AnsiToUtf8(path);
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    const std::string message = error ? error : path + ": cannot be loaded";
    const bool missing = path.find('/') != std::string::npos ? access(file.c_str(), F_OK) != 0
                                                             : message.find("No such file") != std::string::npos;
    return Fail(missing ? CO_E_DLLNOTFOUND : CO_E_ERRORINDLL, message);
  }
  Server loaded;
  loaded.handle = handle;
  loaded.getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  loaded.canUnloadNow = reinterpret_cast<CanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
  if (!loaded.getClassObject) {
    dlclose(handle);
    return Fail(CO_E_ERRORINDLL, path + " does not export DllGetClassObject");
  }
  servers.loaded.emplace(key, loaded);
  server = loaded;
  return S_OK;
}

}  // namespace

std::string LastActivationError() { return lastError; }

std::string InprocServerPath(REFCLSID clsid) {
  std::string path;
  if (!ReadDefault("CLSID\\" + FormatGuid(clsid) + "\\InprocServer32", path)) return {};
  return path;
}

}  // namespace winport

namespace {
thread_local int initialized = 0;
}

HRESULT CoInitialize(void*) { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
HRESULT CoInitializeEx(void*, DWORD) { return initialized++ == 0 ? S_OK : S_FALSE; }
void CoUninitialize() {
  if (initialized > 0) --initialized;
}

HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  std::string name = winport::Utf16ToAnsi(progId);
  const std::string asked = name;
  if (name.empty() || name.find('\\') != std::string::npos)
    return winport::Fail(CO_E_CLASSSTRING, "\"" + name + "\" is no ProgID");
  std::set<std::string> seen;
  for (int step = 0;; ++step) {
    if (!winport::KeyExists(name))
      return winport::Fail(CO_E_CLASSSTRING, "ProgID \"" + name + "\" is not registered");
    std::string current;
    if (winport::ReadDefault(name + "\\CurVer", current) && !current.empty() &&
        !winport::EqualsNoCase(current, name)) {
      if (!seen.insert(winport::UpperAnsi(name)).second || step >= winport::kMaxCurVer)
        return winport::Fail(CO_E_CLASSSTRING, "the CurVer keys of ProgID \"" + asked + "\" form a loop");
      if (current.find('\\') != std::string::npos)
        return winport::Fail(CO_E_CLASSSTRING, "CurVer of ProgID \"" + name + "\" names no ProgID");
      name = current;
      continue;
    }
    std::string text;
    if (!winport::ReadDefault(name + "\\CLSID", text))
      return winport::Fail(CO_E_CLASSSTRING, "ProgID \"" + name + "\" has no CLSID");
    const std::optional<GUID> parsed = winport::ParseGuid(text);
    if (!parsed)
      return winport::Fail(CO_E_CLASSSTRING, "ProgID \"" + name + "\" has the malformed CLSID \"" + text + "\"");
    *clsid = *parsed;
    return S_OK;
  }
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID riid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  const std::string id = winport::FormatGuid(clsid);
  if (!(context & CLSCTX_INPROC_SERVER))
    return winport::Fail(REGDB_E_CLASSNOTREG, "class " + id + ": only in-process servers are available");
  if (!winport::KeyExists("CLSID\\" + id)) return winport::Fail(REGDB_E_CLASSNOTREG, "class " + id + " is not registered");
  const std::string path = winport::InprocServerPath(clsid);
  if (path.empty()) return winport::Fail(REGDB_E_CLASSNOTREG, "class " + id + " has no InprocServer32");
  winport::Server server;
  const HRESULT loaded = winport::LoadServer(path, server);
  if (FAILED(loaded)) return loaded;
  const HRESULT hr = server.getClassObject(clsid, riid, object);
  if (FAILED(hr))
    winport::Fail(hr, "DllGetClassObject of " + path + " gave " + winport::DescribeHResult(hr) + " for class " + id);
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  if (FAILED(hr))
    winport::Fail(hr, "the class factory of " + winport::FormatGuid(clsid) + " gave " + winport::DescribeHResult(hr));
  return hr;
}

void CoFreeUnusedLibraries() {
  winport::Servers& servers = winport::Servers::Instance();
  std::lock_guard lock(servers.mutex);
  for (auto it = servers.loaded.begin(); it != servers.loaded.end();) {
    if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
      dlclose(it->second.handle);
      it = servers.loaded.erase(it);
    } else {
      ++it;
    }
  }
}

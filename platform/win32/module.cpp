#include "platform/win32/module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/win32/codepage.h"

namespace winport {
namespace {

thread_local std::string lastLoadError;

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// The loaded object that `module` names, found in the loader's chain of
// loaded objects (glibc's handles are their link maps); null for anything else.
link_map* LoadedMap(HMODULE module) {
  if (!module) return nullptr;
  for (link_map* map = _r_debug.r_map; map; map = map->l_next)
    if (static_cast<void*>(map) == static_cast<void*>(module)) return map;
  return nullptr;
}

void* TryLoad(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* message = dlerror();
    // The first message is the one worth keeping: later folders often just lack the file.
    if (lastLoadError.empty() && message) lastLoadError = message;
  }
  return handle;
}

}  // namespace

std::string LastLoadError() { return lastLoadError; }

std::string SharedLibraryName(const std::string& dllName) {
  std::string name = dllName;
  if (name.size() > 4 && EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".dll"))
    name.resize(name.size() - 4);
  return "lib" + name + ".so";
}

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (!dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) || !map) return {};
  if (!map->l_name || !*map->l_name) return ProgramPath();
  return RealPath(map->l_name);
}

}  // namespace winport

HMODULE LoadLibraryA(const char* name) {
  winport::lastLoadError.clear();
  if (!name || !*name) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    winport::lastLoadError = "no module name";
    return nullptr;
  }
  const std::string path = winport::AnsiToUtf8(name);
  void* handle = nullptr;
  if (path.find('/') != std::string::npos) {
    handle = winport::TryLoad(path);
  } else {
    const std::string file = winport::SharedLibraryName(path);
    if (const char* folders = std::getenv("WINPORT_DLL_PATH")) {
      std::string_view rest(folders);
      while (!handle && !rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string folder(rest.substr(0, colon));
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
        if (!folder.empty() && std::filesystem::exists(folder + "/" + file)) handle = winport::TryLoad(folder + "/" + file);
      }
    }
    if (!handle) {
      const std::string caller = winport::ModulePathOf(__builtin_return_address(0));
      const size_t slash = caller.find_last_of('/');
      if (slash != std::string::npos && std::filesystem::exists(caller.substr(0, slash + 1) + file))
        handle = winport::TryLoad(caller.substr(0, slash + 1) + file);
    }
    if (!handle) handle = winport::TryLoad(file);
  }
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  winport::lastLoadError.clear();
  return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  if (!winport::LoadedMap(module) || !name) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(module, name);
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
  if (!winport::LoadedMap(module)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  return dlclose(module) == 0 ? TRUE : FALSE;
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  std::string path;
  if (!module) {
    path = winport::ProgramPath();
  } else {
    link_map* map = winport::LoadedMap(module);
    if (!map) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = map->l_name && *map->l_name ? winport::RealPath(map->l_name) : winport::ProgramPath();
  }
  path = winport::Utf8ToAnsi(path);
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }
  std::memcpy(buffer, path.data(), size - 1);
  buffer[size - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

BOOL GetModuleHandleExA(DWORD flags, const char* name, HMODULE* module) {
  if (!module) return FALSE;
  *module = nullptr;
  if (!(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) return FALSE;
  Dl_info info{};
  link_map* map = nullptr;
  if (!dladdr1(name, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) || !map) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  // Opening what is loaded already gives its handle and one more load.
  const bool program = !map->l_name || !*map->l_name;
  void* handle = dlopen(program ? nullptr : map->l_name, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) dlclose(handle);
  *module = static_cast<HMODULE>(handle);
  return TRUE;
}

// Modules (shared libraries) loaded at run time, with Win32's names.
//
// A module handle is the dynamic loader's handle of the library (the handle of
// the program itself for the program's own code). LoadLibraryA("X.dll") loads
// libX.so, looked for in each folder of WINPORT_DLL_PATH (':'-separated), then
// in the folder of the module that calls, then where the dynamic loader looks
// by default; a name holding a '/' is loaded from that path as it is. Modules
// are loaded with every symbol bound at once and kept to themselves
// (RTLD_NOW | RTLD_LOCAL), so two modules never share state through their symbols.
#pragma once

#include <string>

#include "platform/win32/error.h"
#include "platform/win32/types.h"

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using FARPROC = void (*)();

constexpr DWORD MAX_PATH = 260;

// GetModuleHandleExA flags.
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_PIN = 0x1;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;

// NULL on failure, with GetLastError() ERROR_MOD_NOT_FOUND and the loader's
// message in winport::LastLoadError().
HMODULE LoadLibraryA(const char* name);
// NULL (ERROR_PROC_NOT_FOUND) when the module lacks the symbol.
FARPROC GetProcAddress(HMODULE module, const char* name);
// Drops one load of the module; FALSE for a handle that names no loaded module.
BOOL FreeLibrary(HMODULE module);
// The module's full path (the program's for NULL), without symbolic links.
// Returns the characters copied without the NUL; a path that does not fit is
// cut to size - 1 characters and `size` is returned (ERROR_INSUFFICIENT_BUFFER);
// 0 for a handle that names no loaded module (ERROR_MOD_NOT_FOUND).
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
// Only with GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS: the module that holds the
// address `name` points at. Without ..._UNCHANGED_REFCOUNT the module gains a
// load that FreeLibrary drops.
BOOL GetModuleHandleExA(DWORD flags, const char* name, HMODULE* module);

namespace winport {

// The loader's message of this thread's last failed LoadLibraryA.
std::string LastLoadError();
// The path of the module that holds `address` ("" when none does).
std::string ModulePathOf(const void* address);
// The library file name that Windows' "X.dll" stands for: "libX.so".
std::string SharedLibraryName(const std::string& dllName);

}  // namespace winport

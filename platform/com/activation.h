// Activation of in-process servers: ProgID -> CurVer -> CLSID ->
// InprocServer32 -> the module loaded (once; RTLD_NOW | RTLD_LOCAL) ->
// DllGetClassObject. Apartments are not emulated: every call runs on the
// caller's thread, and CoInitialize only counts.
#pragma once

#include <string>

#include "platform/com/automation.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | 0x10;

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();

// The class of a ProgID: HKCR\<ProgID>\CurVer names the current version's
// ProgID when present (followed; a loop is CO_E_CLASSSTRING), whose CLSID
// value is the class. CO_E_CLASSSTRING when the ProgID or its CLSID is missing.
HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid);
// The class object of a registered in-process class. REGDB_E_CLASSNOTREG
// without HKCR\CLSID\{clsid}\InprocServer32; CO_E_DLLNOTFOUND when the module
// file is missing, CO_E_ERRORINDLL when it does not load or lacks
// DllGetClassObject; else what DllGetClassObject returns.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID riid, void** object);
// CoGetClassObject, then IClassFactory::CreateInstance.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object);
// Unloads every module loaded by activation whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

namespace winport {

// What the calling thread's last failed activation step found: the key that
// was missing, the loader's message, the module's path.
std::string LastActivationError();

// The module registered as the class's in-process server (HKCR\CLSID\{clsid}\InprocServer32),
// as the registry holds it; empty when the class or its server is not registered.
std::string InprocServerPath(REFCLSID clsid);

}  // namespace winport

#include "platform/com/typelib.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"

namespace {

std::string VersionText(WORD major, WORD minor) { return std::to_string(major) + "." + std::to_string(minor); }

bool SetString(HKEY root, const std::string& path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return false;
  const bool ok = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

std::string GetString(HKEY root, const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  char buffer[256];
  DWORD size = sizeof buffer, type = 0;
  std::string text;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS &&
      type == REG_SZ && size > 0)
    text.assign(buffer, size - 1);
  RegCloseKey(key);
  return text;
}

const char* PlatformKey(SYSKIND syskind) { return syskind == SYS_WIN64 ? "win64" : "win32"; }

std::string LcidText(LCID lcid) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(lcid));
  return text;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* lib, const OLECHAR* fullPath, const OLECHAR* helpDir) {
  if (!lib || !fullPath) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  if (FAILED(lib->GetLibAttr(&attr)) || !attr) return TYPE_E_REGISTRYACCESS;
  const TLIBATTR libAttr = *attr;
  lib->ReleaseTLibAttr(attr);
  const std::string libid = winport::FormatGuid(libAttr.guid);
  const std::string version = VersionText(libAttr.wMajorVerNum, libAttr.wMinorVerNum);
  const std::string path = winport::Utf16ToAnsi(fullPath);

  winport::Bstr name, help;
  lib->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, nullptr);
  std::string folder;
  if (helpDir)
    folder = winport::Utf16ToAnsi(helpDir);
  else if (const size_t slash = path.find_last_of('/'); slash != std::string::npos)
    folder = path.substr(0, slash);

  const std::string base = "TypeLib\\" + libid + "\\" + version;
  bool ok = SetString(HKEY_CLASSES_ROOT, base, nullptr, SysStringLen(help.Get()) ? help.Ansi() : name.Ansi()) &&
            SetString(HKEY_CLASSES_ROOT, base + "\\FLAGS", nullptr, "0") &&
            SetString(HKEY_CLASSES_ROOT, base + "\\HELPDIR", nullptr, folder) &&
            SetString(HKEY_CLASSES_ROOT, base + "\\" + LcidText(libAttr.lcid) + "\\" + PlatformKey(libAttr.syskind),
                      nullptr, path);

  const UINT count = lib->GetTypeInfoCount();
  for (UINT i = 0; ok && i < count; ++i) {
    TYPEKIND kind = TKIND_MAX;
    if (FAILED(lib->GetTypeInfoType(i, &kind)) || (kind != TKIND_DISPATCH && kind != TKIND_INTERFACE)) continue;
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info)) || !info) return TYPE_E_REGISTRYACCESS;
    TYPEATTR* typeAttr = nullptr;
    const HRESULT hr = info->GetTypeAttr(&typeAttr);
    winport::Bstr typeName;
    info->GetDocumentation(MEMBERID_NIL, typeName.Receive(), nullptr, nullptr, nullptr);
    if (SUCCEEDED(hr) && typeAttr) {
      const std::string key = "Interface\\" + winport::FormatGuid(typeAttr->guid);
      const std::string proxy = winport::FormatGuid(CLSID_PSOAInterface);
      info->ReleaseTypeAttr(typeAttr);
      ok = SetString(HKEY_CLASSES_ROOT, key, nullptr, typeName.Ansi()) &&
           SetString(HKEY_CLASSES_ROOT, key + "\\ProxyStubClsid", nullptr, proxy) &&
           SetString(HKEY_CLASSES_ROOT, key + "\\ProxyStubClsid32", nullptr, proxy) &&
           SetString(HKEY_CLASSES_ROOT, key + "\\TypeLib", nullptr, libid) &&
           SetString(HKEY_CLASSES_ROOT, key + "\\TypeLib", "Version", version);
    }
    info->Release();
    if (FAILED(hr)) return TYPE_E_REGISTRYACCESS;
  }
  return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID, SYSKIND) {
  const std::string id = winport::FormatGuid(libid);
  const std::string version = VersionText(major, minor);
  const std::string libKey = "TypeLib\\" + id;
  const LSTATUS rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, (libKey + "\\" + version).c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return TYPE_E_LIBNOTREGISTERED;
  if (rc != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, libKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD subkeys = 1;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    if (subkeys == 0) RegDeleteTreeA(HKEY_CLASSES_ROOT, libKey.c_str());
  }

  // The interfaces that name this library and version.
  std::vector<std::string> interfaces;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "Interface", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
      const std::string path = std::string("Interface\\") + name + "\\TypeLib";
      if (winport::EqualsNoCase(GetString(HKEY_CLASSES_ROOT, path, nullptr), id) &&
          GetString(HKEY_CLASSES_ROOT, path, "Version") == version)
        interfaces.push_back(name);
    }
    RegCloseKey(key);
  }
  for (const std::string& iid : interfaces) RegDeleteTreeA(HKEY_CLASSES_ROOT, ("Interface\\" + iid).c_str());
  return S_OK;
}

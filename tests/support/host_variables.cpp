#include "tests/support/host_variables.h"

#include "platform/win32/registry.h"

namespace testsupport {
namespace {

void SetValue(const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
  HKEY h = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, key.c_str(), &h) != ERROR_SUCCESS) return;
  RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                 static_cast<DWORD>(bytes.size()));
  RegCloseKey(h);
}

}  // namespace

HostVariables::HostVariables() { winport::SetRegistryPath(dir_.File("registry")); }

HostVariables::~HostVariables() { winport::SetRegistryPath(""); }

void HostVariables::Set(const std::string& name, const std::string& value, const std::string& key) {
  SetValue(key, name, REG_SZ, value + '\0');
}

void HostVariables::SetBinary(const std::string& name, const std::string& bytes, const std::string& key) {
  SetValue(key, name, REG_BINARY, bytes);
}

void HostVariables::Remove(const std::string& name, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
  RegDeleteValueA(h, name.c_str());
  RegCloseKey(h);
}

std::optional<std::string> HostVariables::Get(const std::string& name, const std::string& key) const {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, size = 0;
  std::optional<std::string> out;
  if (RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string bytes(size, '\0');
    if (RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) ==
        ERROR_SUCCESS) {
      bytes.resize(size);
      if (type == REG_SZ && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();
      out = bytes;
    }
  }
  RegCloseKey(h);
  return out;
}

}  // namespace testsupport

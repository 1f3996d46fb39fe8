#include "viewer/recent_files.h"

#include <algorithm>
#include <cstring>

#include "mdf/format.h"
#include "platform/win32/registry.h"

CRecentFileList::CRecentFileList(std::string section, int size) : m_section(std::move(section)), m_size(size) {}

void CRecentFileList::ReadList() {
  m_paths.clear();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, m_section.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (int i = 1; i <= m_size; ++i) {
    const std::string name = mdf::StrFormat("File%d", i);
    char buffer[1024];
    DWORD size = sizeof buffer, type = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ || size == 0)
      continue;
    const std::string path(buffer, strnlen(buffer, size));
    if (!path.empty() && std::find(m_paths.begin(), m_paths.end(), path) == m_paths.end())
      m_paths.push_back(path);
  }
  RegCloseKey(key);
}

void CRecentFileList::WriteList() const {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, m_section.c_str(), &key) != ERROR_SUCCESS) return;
  for (int i = 1; i <= m_size; ++i) {
    const std::string name = mdf::StrFormat("File%d", i);
    if (i <= GetSize()) {
      const std::string& path = m_paths[static_cast<size_t>(i - 1)];
      RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>(path.size() + 1));
    } else {
      RegDeleteValueA(key, name.c_str());
    }
  }
  RegCloseKey(key);
}

void CRecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  std::erase(m_paths, path);
  m_paths.insert(m_paths.begin(), path);
  if (GetSize() > m_size) m_paths.resize(static_cast<size_t>(m_size));
}

void CRecentFileList::Remove(int index) {
  if (index >= 0 && index < GetSize()) m_paths.erase(m_paths.begin() + index);
}

std::string CRecentFileList::GetDisplayName(int index) const {
  if (index < 0 || index >= GetSize()) return {};
  std::string name;
  for (char c : AbbreviatePath((*this)[index], 40)) {
    name += c;
    if (c == '&') name += '&';  // shown as one '&', not as a mnemonic
  }
  const int n = index + 1;
  return (n < 10 ? mdf::StrFormat("&%d ", n) : mdf::StrFormat("%d&%d ", n / 10, n % 10)) + name;
}

std::string AbbreviatePath(const std::string& path, size_t maxLength) {
  if (path.size() <= maxLength) return path;
  const size_t nameStart = path.find_last_of('/') + 1;  // npos + 1 = 0
  const size_t firstEnd = path.find('/', path[0] == '/' ? 1 : 0);
  if (nameStart == 0 || firstEnd == std::string::npos || firstEnd + 1 >= nameStart) return path.substr(nameStart);
  const std::string head = path.substr(0, firstEnd + 1) + ".../";
  // Take whole parts from the end while they fit.
  size_t start = nameStart;
  while (start > firstEnd + 1) {
    const size_t prev = path.find_last_of('/', start - 2) + 1;
    if (prev <= firstEnd || head.size() + path.size() - prev > maxLength) break;
    start = prev;
  }
  if (head.size() + path.size() - start > maxLength && start == nameStart) return path.substr(nameStart);
  return head + path.substr(start);
}

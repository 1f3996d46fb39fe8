// The recent-file list: up to ten paths, the latest first, kept in the
// registry under the application's settings key.
#pragma once

#include <string>
#include <vector>

class CRecentFileList {
 public:
  // `section` below HKEY_CURRENT_USER, e.g. "Software\\<key>\\<app>\\Recent File List".
  CRecentFileList(std::string section, int size);

  void ReadList();
  void WriteList() const;
  // Puts the path first (moving it when it is in the list already).
  void Add(const std::string& path);
  void Remove(int index);
  int GetSize() const { return static_cast<int>(m_paths.size()); }
  const std::string& operator[](int index) const { return m_paths[static_cast<size_t>(index)]; }
  // The menu text of entry `index`: "&1 name" to "1&0 name", the path
  // shortened to its root, "..." and its last parts when it is long.
  std::string GetDisplayName(int index) const;

 private:
  std::string m_section;
  int m_size;
  std::vector<std::string> m_paths;
};

// A path shortened to about `maxLength` characters: the first part, "...",
// and as many of the last parts as fit; the file name always stays whole.
std::string AbbreviatePath(const std::string& path, size_t maxLength);

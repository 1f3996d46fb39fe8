#include "platform/win32/profile.h"

#include "platform/win32/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"

namespace winport {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view StripQuotes(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    return s.substr(1, s.size() - 2);
  return s;
}

struct Entry {
  size_t line;
  std::string key;
  std::optional<std::string> value;  // none for a line without '='
};

struct Section {
  std::string name;
  size_t header;  // line index of "[name]"
  size_t end;     // index of the first line after the section
  std::vector<Entry> entries;
};

// A profile file as lines, with the sections found in it.
struct Profile {
  std::vector<std::string> lines;
  std::string eol = "\r\n";
  std::vector<Section> sections;

  explicit Profile(std::string_view text) {
    if (const size_t nl = text.find('\n'); nl != std::string_view::npos && (nl == 0 || text[nl - 1] != '\r'))
      eol = "\n";
    while (!text.empty()) {
      size_t nl = text.find('\n');
      std::string_view line = text.substr(0, nl);
      text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.emplace_back(line);
    }
    Index();
  }

  void Index() {
    sections.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string_view line = Trim(lines[i]);
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        if (!sections.empty()) sections.back().end = i;
        std::string_view name = line.substr(1);
        name = Trim(name.substr(0, name.find(']')));
        sections.push_back(Section{std::string(name), i, lines.size(), {}});
        continue;
      }
      if (sections.empty()) continue;  // lines before the first section belong to none
      const size_t eq = line.find('=');
      Entry e{i, std::string(Trim(line.substr(0, eq))), std::nullopt};
      if (eq != std::string_view::npos) e.value = std::string(StripQuotes(Trim(line.substr(eq + 1))));
      sections.back().entries.push_back(std::move(e));
    }
  }

  Section* Find(std::string_view name) {
    for (Section& s : sections)
      if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
  }

  std::string Text() const {
    std::string out;
    for (const std::string& line : lines) out += line + eol;
    return out;
  }
};

Entry* FindEntry(Section& section, std::string_view key) {
  for (Entry& e : section.entries)
    if (EqualsNoCase(e.key, key)) return &e;
  return nullptr;
}

bool IsBareName(std::string_view name) { return name.find_first_of("/\\") == std::string_view::npos; }

std::string FolderOfRegistry() { return std::filesystem::path(RegistryPath()).parent_path().string(); }


void Lock(int fd, int operation) {
  while (flock(fd, operation) != 0 && errno == EINTR) {
  }
}

// The file's content; empty when it cannot be read.
std::string ReadProfile(const char* fileName) {
  if (!fileName) return {};
  const int fd = open(ProfilePath(fileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  Lock(fd, LOCK_SH);
  std::string text = ReadDescriptor(fd);
  close(fd);
  return text;
}

// Copies one text, cut to size - 1 characters.
DWORD CopyText(std::string_view text, char* buffer, DWORD size) {
  const size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}

// Copies NUL-separated items followed by a second NUL; a list that does not
// fit is cut and ends with two NULs.
DWORD CopyList(const std::vector<std::string>& items, char* buffer, DWORD size) {
  std::string list;
  for (const std::string& item : items) {
    list += item;
    list += '\0';
  }
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = buffer[size - 1] = '\0';
  return size - 2;
}

bool WriteAllAt0(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

// Applies a change to the file's lines; returns whether anything changed.
bool ApplyWrite(Profile& p, std::string_view sectionName, const char* key, const char* value) {
  Section* section = p.Find(sectionName);
  if (!key) {
    if (!section) return false;
    p.lines.erase(p.lines.begin() + static_cast<ptrdiff_t>(section->header),
                  p.lines.begin() + static_cast<ptrdiff_t>(section->end));
    return true;
  }
  Entry* entry = section ? FindEntry(*section, key) : nullptr;
  if (!value) {
    if (!entry) return false;
    p.lines.erase(p.lines.begin() + static_cast<ptrdiff_t>(entry->line));
    return true;
  }
  if (entry) {
    p.lines[entry->line] = entry->key + "=" + value;
    return true;
  }
  const std::string line = std::string(key) + "=" + value;
  if (section) {
    // After the section's last non-blank line, before any blank separator.
    size_t at = section->end;
    while (at > section->header + 1 && Trim(p.lines[at - 1]).empty()) --at;
    p.lines.insert(p.lines.begin() + static_cast<ptrdiff_t>(at), line);
    return true;
  }
  if (!p.lines.empty() && !Trim(p.lines.back()).empty()) p.lines.emplace_back();
  p.lines.push_back("[" + std::string(sectionName) + "]");
  p.lines.push_back(line);
  return true;
}

}  // namespace

std::string ProfilePath(const std::string& fileName) {
  const std::string path = AnsiToUtf8(fileName);
  return IsBareName(fileName) ? FolderOfRegistry() + "/" + path : path;
}

}  // namespace winport

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName) {
  using namespace winport;
  if (!buffer || size == 0) return 0;
  Profile p(ReadProfile(fileName));
  if (!section) {
    std::vector<std::string> names;
    for (const Section& s : p.sections) {
      bool seen = false;
      for (const std::string& n : names) seen = seen || EqualsNoCase(n, s.name);
      if (!seen) names.push_back(s.name);
    }
    return CopyList(names, buffer, size);
  }
  Section* s = p.Find(section);
  if (!key) {
    std::vector<std::string> keys;
    if (s)
      for (const Entry& e : s->entries) keys.push_back(e.key);
    return CopyList(keys, buffer, size);
  }
  if (Entry* e = s ? FindEntry(*s, key) : nullptr; e && e->value) return CopyText(*e->value, buffer, size);
  std::string_view def = defaultValue ? defaultValue : "";
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
  return CopyText(def, buffer, size);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, INT defaultValue, const char* fileName) {
  char text[64];
  if (!key || GetPrivateProfileStringA(section, key, "", text, sizeof text, fileName) == 0)
    return static_cast<UINT>(defaultValue);
  const char* p = text;
  const bool negative = *p == '-';
  if (negative) ++p;
  UINT value = 0;  // wraps, as the 32-bit conversion does
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    for (p += 2; std::isxdigit(static_cast<unsigned char>(*p)); ++p)
      value = value * 16 + static_cast<UINT>(std::isdigit(static_cast<unsigned char>(*p))
                                                 ? *p - '0'
                                                 : (std::tolower(static_cast<unsigned char>(*p)) - 'a' + 10));
  } else {
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10 + static_cast<UINT>(*p - '0');
  }
  return negative ? 0u - value : value;
}

DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size, const char* fileName) {
  using namespace winport;
  if (!buffer || size == 0) return 0;
  Profile p(ReadProfile(fileName));
  std::vector<std::string> lines;
  if (Section* s = section ? p.Find(section) : nullptr)
    for (const Entry& e : s->entries) lines.push_back(e.value ? e.key + "=" + *e.value : e.key);
  return CopyList(lines, buffer, size);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  using namespace winport;
  if (!section || !fileName) return FALSE;
  const std::string path = ProfilePath(fileName);
  const bool deleting = !key || !value;
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    if (deleting) return TRUE;  // nothing to delete
    if (IsBareName(fileName)) {
      std::error_code ec;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    }
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  }
  if (fd < 0) return FALSE;
  Lock(fd, LOCK_EX);
  Profile p(ReadDescriptor(fd));
  bool ok = true;
  if (ApplyWrite(p, section, key, value)) ok = WriteAllAt0(fd, p.Text());
  close(fd);
  return ok ? TRUE : FALSE;
}

DWORD GetProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                        DWORD size) {
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, "win.ini");
}

#include "platform/win32/registry.h"

#include "platform/win32/file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/win32/codepage.h"

namespace winport {
namespace {

// File format, one record per line:
//   WINPORT-REGISTRY 1
//   K <root> "<path>"            a key; the values after it belong to it
//   S "<name>" "<text>"          REG_SZ (stored without its NUL)
//   D "<name>" <decimal>         REG_DWORD
//   B "<name>" <type> <hex>      any other type, byte for byte
// Texts are quoted; '\\', '"' and bytes outside printable ASCII are escaped
// ("\\", "\"", "\xHH"). Lines that do not parse are skipped.
constexpr const char* kHeader = "WINPORT-REGISTRY 1";
constexpr const char* kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER"};

struct Value {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;  // as RegQueryValueExA returns it (a REG_SZ with its NUL)
};

struct Key {
  std::string name;
  std::map<std::string, std::unique_ptr<Key>> subkeys;  // by upper-case name
  std::map<std::string, Value> values;                  // by upper-case name
};

// A key as an open handle names it: a root and the names below it.
struct KeyPath {
  int root = 0;
  std::vector<std::string> names;
};

std::vector<std::string> SplitPath(const char* path) {
  std::vector<std::string> names;
  if (!path) return names;
  std::string_view rest(path);
  while (!rest.empty()) {
    const size_t sep = rest.find('\\');
    const std::string_view name = rest.substr(0, sep);
    if (!name.empty()) names.emplace_back(name);
    if (sep == std::string_view::npos) break;
    rest.remove_prefix(sep + 1);
  }
  return names;
}

std::string ValueKey(const char* name) { return UpperAnsi(name ? name : ""); }

// --- serialisation --------------------------------------------------------

void AppendQuoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '"';
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += ch;
    } else if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  out += '"';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void SkipBlanks(std::string_view& s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
}

// Takes a quoted text from the front of `s`.
bool TakeQuoted(std::string_view& s, std::string& out) {
  SkipBlanks(s);
  if (s.empty() || s.front() != '"') return false;
  out.clear();
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= s.size()) return false;
    if (s[i] == 'x') {
      if (i + 2 >= s.size()) return false;
      const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return false;
}

bool TakeWord(std::string_view& s, std::string_view& word) {
  SkipBlanks(s);
  const size_t end = s.find(' ');
  word = s.substr(0, end);
  s.remove_prefix(end == std::string_view::npos ? s.size() : end);
  return !word.empty();
}

bool TakeNumber(std::string_view& s, DWORD& value) {
  std::string_view word;
  if (!TakeWord(s, word)) return false;
  const auto [p, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && p == word.data() + word.size();
}

bool ParseHex(std::string_view hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

Key& ChildOrNew(Key& parent, const std::string& name) {
  auto& slot = parent.subkeys[UpperAnsi(name)];
  if (!slot) {
    slot = std::make_unique<Key>();
    slot->name = name;
  }
  return *slot;
}

// Parses one value record into `v`; false when the line is malformed.
bool ParseValue(char kind, std::string_view rest, Value& v) {
  if (!TakeQuoted(rest, v.name)) return false;
  if (kind == 'S') {
    if (!TakeQuoted(rest, v.data)) return false;
    v.type = REG_SZ;
    v.data += '\0';
    return true;
  }
  if (kind == 'D') {
    DWORD d = 0;
    if (!TakeNumber(rest, d)) return false;
    v.type = REG_DWORD;
    v.data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) v.data[i] = static_cast<char>((d >> (8 * i)) & 0xFF);
    return true;
  }
  std::string_view hex;
  if (!TakeNumber(rest, v.type)) return false;
  if (!TakeWord(rest, hex)) hex = {};
  return ParseHex(hex, v.data);
}

void ParseStore(std::string_view text, Key (&roots)[2]) {
  Key* current = nullptr;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end < text.size() ? end + 1 : end);
    if (line.size() < 2 || line[1] != ' ') continue;
    const char kind = line[0];
    line.remove_prefix(2);
    if (kind == 'K') {
      std::string_view rootName;
      std::string path;
      current = nullptr;
      if (!TakeWord(line, rootName) || !TakeQuoted(line, path)) continue;
      for (int r = 0; r < 2; ++r) {
        if (rootName != kRootNames[r]) continue;
        current = &roots[r];
        for (const std::string& name : SplitPath(path.c_str())) current = &ChildOrNew(*current, name);
      }
    } else if ((kind == 'S' || kind == 'D' || kind == 'B') && current) {
      Value v;
      if (ParseValue(kind, line, v)) current->values[UpperAnsi(v.name)] = std::move(v);
    }
  }
}

void AppendKey(std::string& out, const Key& key, int root, const std::string& path) {
  if (!path.empty() || !key.values.empty()) {
    out += "K ";
    out += kRootNames[root];
    out += ' ';
    AppendQuoted(out, path);
    out += '\n';
  }
  for (const auto& [upper, v] : key.values) {
    if (v.type == REG_SZ && !v.data.empty() && v.data.back() == '\0') {
      out += "S ";
      AppendQuoted(out, v.name);
      out += ' ';
      AppendQuoted(out, std::string_view(v.data).substr(0, v.data.size() - 1));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
      DWORD d = 0;
      for (int i = 3; i >= 0; --i) d = (d << 8) | static_cast<unsigned char>(v.data[i]);
      out += "D ";
      AppendQuoted(out, v.name);
      out += ' ' + std::to_string(d);
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "B ";
      AppendQuoted(out, v.name);
      out += ' ' + std::to_string(v.type) + ' ';
      for (char ch : v.data) {
        out += kHex[static_cast<unsigned char>(ch) >> 4];
        out += kHex[static_cast<unsigned char>(ch) & 0xF];
      }
    }
    out += '\n';
  }
  for (const auto& [upper, child] : key.subkeys)
    AppendKey(out, *child, root, path.empty() ? child->name : path + '\\' + child->name);
}

// --- the store -------------------------------------------------------------

struct FileId {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};

  static FileId Of(const struct stat& st) {
    return FileId{true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  }
  bool operator==(const FileId& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

bool WriteAll(int fd, const std::string& data) {
  for (size_t done = 0; done < data.size();) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

class Store {
 public:
  static Store& Instance() {
    static Store* store = new Store;  // never destroyed: handles may be closed during exit
    return *store;
  }

  std::mutex mutex;  // guards everything below and every call into the store

  void SetOverride(const std::string& path) { override_ = path; }

  std::string Path() const {
    if (!override_.empty()) return override_;
    const char* env = std::getenv("WINPORT_REGISTRY");
    if (env && *env) return env;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config/winport/registry";
  }

  // Re-reads the file when the path changed or the file was replaced. The file
  // read last stays open, so that its inode cannot be reused by a replacement.
  void Refresh() {
    const std::string path = Path();
    if (path == loadedPath_) {
      struct stat st {};
      const FileId now = stat(path.c_str(), &st) == 0 ? FileId::Of(st) : FileId{};
      if (now == loadedId_) return;
    }
    Load(path);
  }

  // Applies `change` under the file lock to the file's current content and
  // writes the result when `change` reports a change.
  LSTATUS Modify(const std::function<LSTATUS(bool& changed)>& change) {
    const std::string path = Path();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const int lockFd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) return ERROR_CANTWRITE;
    while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    Load(path);
    bool changed = false;
    LSTATUS rc = change(changed);
    if (rc == ERROR_SUCCESS && changed && !Save(path)) {
      rc = ERROR_CANTWRITE;
      loadedPath_.clear();  // memory is ahead of the file: read it again next time
    }
    flock(lockFd, LOCK_UN);
    close(lockFd);
    return rc;
  }

  // The key a path names, or null.
  Key* Find(const KeyPath& path) {
    Key* key = &roots_[path.root];
    for (const std::string& name : path.names) {
      const auto it = key->subkeys.find(UpperAnsi(name));
      if (it == key->subkeys.end()) return nullptr;
      key = it->second.get();
    }
    return key;
  }

  bool Resolve(HKEY key, KeyPath& path) const {
    if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER) {
      path = KeyPath{key == HKEY_CLASSES_ROOT ? 0 : 1, {}};
      return true;
    }
    const auto it = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles_.end()) return false;
    path = it->second;
    return true;
  }

  HKEY NewHandle(KeyPath path) {
    const uintptr_t id = nextHandle_++;
    handles_[id] = std::move(path);
    return reinterpret_cast<HKEY>(id);
  }

  bool CloseHandle(HKEY key) { return handles_.erase(reinterpret_cast<uintptr_t>(key)) == 1; }

 private:
  void Load(const std::string& path) {
    for (Key& root : roots_) root = Key{};
    if (heldFd_ >= 0) close(heldFd_);
    heldFd_ = -1;
    loadedPath_ = path;
    loadedId_ = FileId{};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      close(fd);
      return;
    }
    ParseStore(ReadDescriptor(fd), roots_);
    heldFd_ = fd;
    loadedId_ = FileId::Of(st);
  }

  // Writes a temporary file beside the store and renames it over the store.
  bool Save(const std::string& path) {
    std::string text = std::string(kHeader) + '\n';
    for (int r = 0; r < 2; ++r) AppendKey(text, roots_[r], r, "");
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (!WriteAll(fd, text) || fsync(fd) != 0 || fstat(fd, &st) != 0 ||
        rename(temp.c_str(), path.c_str()) != 0) {
      close(fd);
      unlink(temp.c_str());
      return false;
    }
    if (heldFd_ >= 0) close(heldFd_);
    heldFd_ = fd;
    loadedPath_ = path;
    loadedId_ = FileId::Of(st);
    return true;
  }

  std::string override_;
  std::string loadedPath_;  // empty: nothing loaded
  FileId loadedId_;
  int heldFd_ = -1;
  Key roots_[2];
  std::map<uintptr_t, KeyPath> handles_;
  uintptr_t nextHandle_ = 1;
};

KeyPath Below(KeyPath base, const char* subKey) {
  for (std::string& name : SplitPath(subKey)) base.names.push_back(std::move(name));
  return base;
}

LSTATUS CreateKey(HKEY key, const char* subKey, PHKEY result, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  KeyPath base;
  if (!store.Resolve(key, base)) return ERROR_INVALID_HANDLE;
  const KeyPath target = Below(base, subKey);
  store.Refresh();
  bool created = false;
  if (!store.Find(target)) {
    const LSTATUS rc = store.Modify([&](bool& changed) {
      Key* k = store.Find(base);
      if (!k) return ERROR_KEY_DELETED;
      for (size_t i = base.names.size(); i < target.names.size(); ++i) {
        const auto it = k->subkeys.find(UpperAnsi(target.names[i]));
        if (it != k->subkeys.end()) {
          k = it->second.get();
          continue;
        }
        k = &ChildOrNew(*k, target.names[i]);
        changed = created = true;
      }
      return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
  } else if (!store.Find(base)) {
    return ERROR_KEY_DELETED;
  }
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = store.NewHandle(target);
  return ERROR_SUCCESS;
}

// The key behind a handle, as the store holds it now; the caller holds the store's lock.
LSTATUS FindKey(Store& store, HKEY handle, Key*& key) {
  KeyPath path;
  if (!store.Resolve(handle, path)) return ERROR_INVALID_HANDLE;
  store.Refresh();
  key = store.Find(path);
  return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

}  // namespace

void SetRegistryPath(const std::string& path) {
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  store.SetOverride(path);
}

std::string RegistryPath() {
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  return store.Path();
}

}  // namespace winport

using winport::KeyPath;
using winport::Store;

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  KeyPath base;
  if (!store.Resolve(key, base)) return ERROR_INVALID_HANDLE;
  store.Refresh();
  if (!store.Find(base)) return ERROR_KEY_DELETED;
  KeyPath target = winport::Below(base, subKey);
  if (!store.Find(target)) return ERROR_FILE_NOT_FOUND;
  *result = store.NewHandle(std::move(target));
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyA(HKEY key, const char* subKey, PHKEY result) {
  return winport::CreateKey(key, subKey, result, nullptr);
}

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM, const void*,
                        PHKEY result, DWORD* disposition) {
  return winport::CreateKey(key, subKey, result, disposition);
}

LSTATUS RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  winport::Key* k = nullptr;
  if (const LSTATUS rc = winport::FindKey(store, key, k); rc != ERROR_SUCCESS) return rc;
  const auto it = k->values.find(winport::ValueKey(name));
  if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
  const winport::Value& v = it->second;
  if (v.data.size() > 0xFFFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;
  const auto needed = static_cast<DWORD>(v.data.size());
  if (type) *type = v.type;
  if (!size) return ERROR_SUCCESS;
  const DWORD room = *size;
  *size = needed;
  if (!data) return ERROR_SUCCESS;
  if (room < needed) return ERROR_MORE_DATA;
  std::memcpy(data, v.data.data(), needed);
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size > 0) return ERROR_INVALID_PARAMETER;
  winport::Value v;
  v.name = name ? name : "";
  v.type = type;
  v.data.assign(reinterpret_cast<const char*>(data), size);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    v.data.resize(std::strlen(v.data.c_str()));  // up to the first NUL
    v.data += '\0';
  }
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  KeyPath path;
  if (!store.Resolve(key, path)) return ERROR_INVALID_HANDLE;
  return store.Modify([&](bool& changed) {
    winport::Key* k = store.Find(path);
    if (!k) return ERROR_KEY_DELETED;
    winport::Value& slot = k->values[winport::ValueKey(name)];
    changed = slot.name != v.name || slot.type != v.type || slot.data != v.data;
    slot = std::move(v);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValueA(HKEY key, const char* name) {
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  KeyPath path;
  if (!store.Resolve(key, path)) return ERROR_INVALID_HANDLE;
  return store.Modify([&](bool& changed) {
    winport::Key* k = store.Find(path);
    if (!k) return ERROR_KEY_DELETED;
    changed = k->values.erase(winport::ValueKey(name)) == 1;
    return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LSTATUS RegDeleteKeyA(HKEY key, const char* subKey) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  KeyPath base;
  if (!store.Resolve(key, base)) return ERROR_INVALID_HANDLE;
  KeyPath parentPath = winport::Below(base, subKey);
  if (parentPath.names.empty()) return ERROR_ACCESS_DENIED;  // a root key
  const std::string leaf = winport::UpperAnsi(parentPath.names.back());
  parentPath.names.pop_back();
  return store.Modify([&](bool& changed) {
    if (!store.Find(base)) return ERROR_KEY_DELETED;
    winport::Key* parent = store.Find(parentPath);
    if (!parent) return ERROR_FILE_NOT_FOUND;
    const auto it = parent->subkeys.find(leaf);
    if (it == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
    if (!it->second->subkeys.empty()) return ERROR_ACCESS_DENIED;
    parent->subkeys.erase(it);
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize) {
  if (!name) return ERROR_INVALID_PARAMETER;
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  winport::Key* k = nullptr;
  if (const LSTATUS rc = winport::FindKey(store, key, k); rc != ERROR_SUCCESS) return rc;
  if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  auto it = k->subkeys.begin();
  std::advance(it, index);
  const std::string& child = it->second->name;
  if (child.size() + 1 > nameSize) return ERROR_MORE_DATA;
  std::memcpy(name, child.c_str(), child.size() + 1);
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteTreeA(HKEY key, const char* subKey) {
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  KeyPath base;
  if (!store.Resolve(key, base)) return ERROR_INVALID_HANDLE;
  KeyPath target = winport::Below(base, subKey);
  return store.Modify([&](bool& changed) {
    if (!store.Find(base)) return ERROR_KEY_DELETED;
    if (target.names.size() == base.names.size()) {  // empty `key` itself
      winport::Key* k = store.Find(target);
      changed = !k->subkeys.empty() || !k->values.empty();
      k->subkeys.clear();
      k->values.clear();
      return ERROR_SUCCESS;
    }
    const std::string leaf = winport::UpperAnsi(target.names.back());
    target.names.pop_back();
    winport::Key* parent = store.Find(target);
    if (!parent || parent->subkeys.erase(leaf) == 0) return ERROR_FILE_NOT_FOUND;
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  winport::Key* k = nullptr;
  if (const LSTATUS rc = winport::FindKey(store, key, k); rc != ERROR_SUCCESS) return rc;
  if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  auto it = k->values.begin();
  std::advance(it, index);
  const winport::Value& v = it->second;
  if (v.name.size() + 1 > *nameSize || v.data.size() > 0xFFFFFFFFu) return ERROR_MORE_DATA;
  std::memcpy(name, v.name.c_str(), v.name.size() + 1);
  *nameSize = static_cast<DWORD>(v.name.size());
  if (type) *type = v.type;
  if (!dataSize) return ERROR_SUCCESS;
  const DWORD room = *dataSize;
  *dataSize = static_cast<DWORD>(v.data.size());
  if (!data) return ERROR_SUCCESS;
  if (room < v.data.size()) return ERROR_MORE_DATA;
  std::memcpy(data, v.data.data(), v.data.size());
  return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classSize, DWORD*, DWORD* subKeys, DWORD* maxSubKeyLength,
                         DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength,
                         DWORD* securityDescriptorSize, void*) {
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  winport::Key* k = nullptr;
  if (const LSTATUS rc = winport::FindKey(store, key, k); rc != ERROR_SUCCESS) return rc;
  if (keyClass && classSize && *classSize > 0) keyClass[0] = '\0';
  if (classSize) *classSize = 0;
  if (subKeys) *subKeys = static_cast<DWORD>(k->subkeys.size());
  if (values) *values = static_cast<DWORD>(k->values.size());
  for (DWORD* zero : {maxSubKeyLength, maxClassLength, maxValueNameLength, maxValueLength, securityDescriptorSize})
    if (zero) *zero = 0;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  Store& store = Store::Instance();
  std::lock_guard lock(store.mutex);
  return store.CloseHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

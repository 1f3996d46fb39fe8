#include "platform/win32/resource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/codepage.h"

namespace winport {
namespace {

// The most bytes a module's resources may take.
constexpr uint64_t kMaxResourceBytes = 1u << 20;

// ELF64, little-endian: the fields of the file header and of a section header.
constexpr size_t kElfHeaderBytes = 64;
constexpr uint8_t kElfClass64 = 2;
constexpr uint8_t kElfLittleEndian = 1;
constexpr size_t kElfClass = 4;
constexpr size_t kElfData = 5;
constexpr size_t kSectionTableOffset = 0x28;  // u64
constexpr size_t kSectionEntryBytes = 0x3A;   // u16
constexpr size_t kSectionCount = 0x3C;        // u16
constexpr size_t kSectionNames = 0x3E;        // u16: index of the section of names
constexpr size_t kSectionHeaderBytes = 64;
constexpr size_t kSectionName = 0x00;    // u32: offset in the section of names
constexpr size_t kSectionType = 0x04;    // u32
constexpr size_t kSectionOffset = 0x18;  // u64
constexpr size_t kSectionSize = 0x20;    // u64
constexpr uint32_t kSectionNoBits = 8;   // SHT_NOBITS: no bytes in the file

// The version information as GetFileVersionInfoA lays it out for VerQueryValueA.
constexpr char kBlockMagic[4] = {'W', 'P', 'V', 'I'};
constexpr size_t kBlockSize = 4;         // DWORD: the whole block
constexpr size_t kBlockFixed = 8;        // VS_FIXEDFILEINFO
constexpr size_t kBlockTranslation = kBlockFixed + sizeof(VS_FIXEDFILEINFO);  // WORD language, WORD code page
constexpr size_t kBlockStrings = kBlockTranslation + 4;                       // name\0value\0 ...
constexpr WORD kDefaultCodePage = 1252;

template <typename T>
T LoadLE(const uint8_t* p) {
  T v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v = static_cast<T>(v | static_cast<T>(T{p[i]} << (8 * i)));
  return v;
}

// A regular file opened for reading; every read is checked against its size.
class InputFile {
 public:
  explicit InputFile(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    regular_ = fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (regular_) size_ = static_cast<uint64_t>(st.st_size);
  }
  ~InputFile() {
    if (fd_ >= 0) close(fd_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool Ok() const { return regular_; }
  uint64_t Size() const { return size_; }
  bool Read(uint64_t pos, void* out, uint64_t n) const {
    if (n > size_ || pos > size_ - n) return false;
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
      const ssize_t got = pread(fd_, dst, n, static_cast<off_t>(pos));
      if (got <= 0) return false;
      dst += got;
      pos += static_cast<uint64_t>(got);
      n -= static_cast<uint64_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  bool regular_ = false;
  uint64_t size_ = 0;
};

enum class SectionStatus { Found, NoFile, NoSection, Damaged };

// The bytes of the resource section of an ELF64 little-endian file.
SectionStatus ReadResourceSection(const std::string& path, std::string& bytes) {
  InputFile file(path);
  if (!file.Ok()) return SectionStatus::NoFile;
  uint8_t h[kElfHeaderBytes];
  if (!file.Read(0, h, sizeof h) || std::memcmp(h, "\x7F" "ELF", 4) != 0 || h[kElfClass] != kElfClass64 ||
      h[kElfData] != kElfLittleEndian)
    return SectionStatus::NoSection;
  const uint64_t table = LoadLE<uint64_t>(h + kSectionTableOffset);
  const uint64_t entry = LoadLE<uint16_t>(h + kSectionEntryBytes);
  const uint64_t count = LoadLE<uint16_t>(h + kSectionCount);
  const uint64_t names = LoadLE<uint16_t>(h + kSectionNames);
  if (count == 0) return SectionStatus::NoSection;
  if (entry < kSectionHeaderBytes || names >= count || table > file.Size() || count > (file.Size() - table) / entry)
    return SectionStatus::Damaged;
  struct Section {
    uint32_t name = 0, type = 0;
    uint64_t offset = 0, size = 0;
  };
  auto section = [&](uint64_t i, Section& s) {
    uint8_t b[kSectionHeaderBytes];
    if (!file.Read(table + i * entry, b, sizeof b)) return false;
    s.name = LoadLE<uint32_t>(b + kSectionName);
    s.type = LoadLE<uint32_t>(b + kSectionType);
    s.offset = LoadLE<uint64_t>(b + kSectionOffset);
    s.size = LoadLE<uint64_t>(b + kSectionSize);
    return true;
  };
  Section nameTable;
  if (!section(names, nameTable) || nameTable.type == kSectionNoBits || nameTable.size > file.Size() ||
      nameTable.offset > file.Size() - nameTable.size)
    return SectionStatus::Damaged;
  static constexpr char kWanted[] = WINPORT_RESOURCE_SECTION;  // compared with its NUL
  for (uint64_t i = 0; i < count; ++i) {
    Section s;
    if (!section(i, s)) return SectionStatus::Damaged;
    char name[sizeof kWanted];
    if (s.name > nameTable.size || sizeof name > nameTable.size - s.name ||
        !file.Read(nameTable.offset + s.name, name, sizeof name) || std::memcmp(name, kWanted, sizeof name) != 0)
      continue;
    if (s.type == kSectionNoBits || s.size > kMaxResourceBytes || s.size > file.Size() ||
        s.offset > file.Size() - s.size)
      return SectionStatus::Damaged;
    bytes.resize(static_cast<size_t>(s.size));
    return file.Read(s.offset, bytes.data(), s.size) ? SectionStatus::Found : SectionStatus::Damaged;
  }
  return SectionStatus::NoSection;
}

struct Resources {
  bool hasVersion = false;  // any of F, P, L, V
  DWORD fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
  WORD language = 0, codePage = kDefaultCodePage;
  std::vector<std::pair<std::string, std::string>> versionStrings;  // ANSI
  std::map<UINT, std::string> strings;                              // ANSI
};

template <typename T>
std::optional<T> Number(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  T value{};
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// "a.b.c.d" as the two DWORDs of a version.
bool Version(std::string_view text, DWORD& ms, DWORD& ls) {
  WORD part[4];
  for (int i = 0; i < 4; ++i) {
    const size_t dot = i < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos) return false;
    const std::optional<WORD> n = Number<WORD>(text.substr(0, dot));
    if (!n) return false;
    part[i] = *n;
    text.remove_prefix(i < 3 ? dot + 1 : dot);
  }
  ms = DWORD{part[0]} << 16 | part[1];
  ls = DWORD{part[2]} << 16 | part[3];
  return true;
}

// The entries of the section's block; none when it is damaged.
std::optional<Resources> ParseResources(std::string_view block) {
  static constexpr std::string_view kMagic{WINPORT_RESOURCE_MAGIC "", sizeof WINPORT_RESOURCE_MAGIC};
  if (block.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  block.remove_prefix(kMagic.size());
  auto field = [&](std::string_view& out) {
    const size_t end = block.find('\0');
    if (end == std::string_view::npos) return false;
    out = block.substr(0, end);
    block.remove_prefix(end + 1);
    return true;
  };
  Resources r;
  std::string_view kind, a, b;
  while (!block.empty()) {
    if (!field(kind)) return std::nullopt;
    if (kind.empty()) break;  // the end; padding may follow
    if (kind == "F" || kind == "P") {
      if (!field(a) || !Version(a, kind == "F" ? r.fileMS : r.productMS, kind == "F" ? r.fileLS : r.productLS))
        return std::nullopt;
      r.hasVersion = true;
    } else if (kind == "L") {
      if (!field(a) || !field(b)) return std::nullopt;
      const std::optional<WORD> language = Number<WORD>(a), codePage = Number<WORD>(b);
      if (!language || !codePage) return std::nullopt;
      r.language = *language;
      r.codePage = *codePage;
      r.hasVersion = true;
    } else if (kind == "V") {
      if (!field(a) || !field(b) || a.empty()) return std::nullopt;
      r.versionStrings.emplace_back(Utf8ToAnsi(a), Utf8ToAnsi(b));
      r.hasVersion = true;
    } else if (kind == "S") {
      if (!field(a) || !field(b)) return std::nullopt;
      const std::optional<WORD> id = Number<WORD>(a);
      if (!id) return std::nullopt;
      r.strings[*id] = Utf8ToAnsi(b);
    } else {
      return std::nullopt;
    }
  }
  return r;
}

// The resources of a file, or the error code that says why there are none.
std::optional<Resources> ReadResources(const char* file, LSTATUS& error) {
  if (!file) {
    error = ERROR_INVALID_PARAMETER;
    return std::nullopt;
  }
  std::string bytes;
  switch (ReadResourceSection(AnsiToUtf8(file), bytes)) {
    case SectionStatus::NoFile: error = ERROR_FILE_NOT_FOUND; return std::nullopt;
    case SectionStatus::NoSection:
    case SectionStatus::Damaged: error = ERROR_RESOURCE_DATA_NOT_FOUND; return std::nullopt;
    case SectionStatus::Found: break;
  }
  std::optional<Resources> r = ParseResources(bytes);
  if (!r) error = ERROR_RESOURCE_DATA_NOT_FOUND;
  return r;
}

std::string VersionBlock(const Resources& r) {
  VS_FIXEDFILEINFO fixed{};
  fixed.dwSignature = VS_FFI_SIGNATURE;
  fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
  fixed.dwFileVersionMS = r.fileMS;
  fixed.dwFileVersionLS = r.fileLS;
  fixed.dwProductVersionMS = r.productMS;
  fixed.dwProductVersionLS = r.productLS;
  fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
  fixed.dwFileOS = VOS_NT_WINDOWS32;
  fixed.dwFileType = VFT_DLL;
  std::string block(kBlockStrings, '\0');
  std::memcpy(block.data(), kBlockMagic, sizeof kBlockMagic);
  std::memcpy(block.data() + kBlockFixed, &fixed, sizeof fixed);
  std::memcpy(block.data() + kBlockTranslation, &r.language, 2);
  std::memcpy(block.data() + kBlockTranslation + 2, &r.codePage, 2);
  for (const auto& [name, value] : r.versionStrings) {
    block += name;
    block += '\0';
    block += value;
    block += '\0';
  }
  const DWORD size = static_cast<DWORD>(block.size());
  std::memcpy(block.data() + kBlockSize, &size, 4);
  return block;
}

char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }

}  // namespace
}  // namespace winport

DWORD GetFileVersionInfoSizeA(const char* file, DWORD* handle) {
  if (handle) *handle = 0;
  LSTATUS error = ERROR_SUCCESS;
  const std::optional<winport::Resources> r = winport::ReadResources(file, error);
  if (!r || !r->hasVersion) {
    SetLastError(r ? ERROR_RESOURCE_TYPE_NOT_FOUND : error);
    return 0;
  }
  return static_cast<DWORD>(winport::VersionBlock(*r).size());
}

BOOL GetFileVersionInfoA(const char* file, DWORD, DWORD size, void* data) {
  LSTATUS error = ERROR_SUCCESS;
  const std::optional<winport::Resources> r = winport::ReadResources(file, error);
  if (!r || !r->hasVersion) {
    SetLastError(r ? ERROR_RESOURCE_TYPE_NOT_FOUND : error);
    return FALSE;
  }
  const std::string block = winport::VersionBlock(*r);
  if (!data || size < block.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(data, block.data(), block.size());
  return TRUE;
}

BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* length) {
  using namespace winport;
  if (!block || !subBlock || !buffer || !length) return FALSE;
  const auto* b = static_cast<const char*>(block);
  if (std::memcmp(b, kBlockMagic, sizeof kBlockMagic) != 0) return FALSE;
  DWORD size = 0;
  std::memcpy(&size, b + kBlockSize, 4);
  if (size < kBlockStrings) return FALSE;
  std::string_view path(subBlock);
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  if (path.empty()) {
    *buffer = const_cast<char*>(b + kBlockFixed);
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
  }
  if (EqualsNoCase(path, "VarFileInfo\\Translation")) {
    *buffer = const_cast<char*>(b + kBlockTranslation);
    *length = 4;
    return TRUE;
  }
  static constexpr std::string_view kStrings = "StringFileInfo\\";
  if (path.size() < kStrings.size() || !EqualsNoCase(path.substr(0, kStrings.size()), kStrings)) return FALSE;
  path.remove_prefix(kStrings.size());
  WORD language = 0, codePage = 0;
  std::memcpy(&language, b + kBlockTranslation, 2);
  std::memcpy(&codePage, b + kBlockTranslation + 2, 2);
  char table[9];
  for (int i = 0; i < 4; ++i) {
    table[i] = HexDigit(language >> (12 - 4 * i));
    table[4 + i] = HexDigit(codePage >> (12 - 4 * i));
  }
  table[8] = '\\';
  if (path.size() < sizeof table || !EqualsNoCase(path.substr(0, sizeof table), std::string_view(table, sizeof table)))
    return FALSE;
  path.remove_prefix(sizeof table);
  // The strings: name\0value\0 pairs up to the block's end.
  std::string_view strings(b + kBlockStrings, size - kBlockStrings);
  while (!strings.empty()) {
    const size_t nameEnd = strings.find('\0');
    if (nameEnd == std::string_view::npos) break;
    const size_t valueEnd = strings.find('\0', nameEnd + 1);
    if (valueEnd == std::string_view::npos) break;
    if (EqualsNoCase(strings.substr(0, nameEnd), path)) {
      *buffer = const_cast<char*>(strings.data() + nameEnd + 1);
      *length = static_cast<UINT>(valueEnd - nameEnd);  // the characters with the NUL
      return TRUE;
    }
    strings.remove_prefix(valueEnd + 1);
  }
  return FALSE;
}

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int size) {
  if (!buffer || size <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  buffer[0] = '\0';
  char path[4096];
  const DWORD n = GetModuleFileNameA(instance, path, sizeof path);
  if (n == 0 || n >= sizeof path) return 0;  // GetModuleFileNameA said why
  LSTATUS error = ERROR_SUCCESS;
  const std::optional<winport::Resources> r = winport::ReadResources(path, error);
  if (!r) {
    SetLastError(error);
    return 0;
  }
  const auto it = r->strings.find(id);
  if (it == r->strings.end()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  const size_t copied = std::min(it->second.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, it->second.data(), copied);
  buffer[copied] = '\0';
  return static_cast<int>(copied);
}

// Version information and string tables that a module carries in its file:
// the values ComTestA declares, a module without any (ComTestB), and damaged
// files, which have no resources and never crash the reader.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/module.h"
#include "platform/win32/resource.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<uint8_t> VersionBlock(const std::string& path) {
  DWORD handle = 7;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  EXPECT_EQ(handle, 0u);
  if (size == 0) return {};
  std::vector<uint8_t> block(size);
  EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), handle, size - 1, block.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(GetFileVersionInfoA(path.c_str(), handle, size, block.data()));
  return block;
}

std::optional<std::string> Query(const std::vector<uint8_t>& block, const char* path) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path, &value, &length)) return std::nullopt;
  const auto* text = static_cast<const char*>(value);
  EXPECT_GE(length, 1u) << path;
  EXPECT_EQ(text[length - 1], '\0') << path;  // the length counts the NUL
  return std::string(text, length - 1);
}

TEST(ResourceTest, VersionInformationAsDeclared) {
  const std::vector<uint8_t> block = VersionBlock(COMTEST_A_PATH);
  ASSERT_FALSE(block.empty());
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, value, sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010002u);  // 1.2
  EXPECT_EQ(fixed.dwFileVersionLS, 0x0003FFFFu);  // .3.65535
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00070000u);
  EXPECT_EQ(fixed.dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed.dwFileType, VFT_DLL);
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  WORD translation[2];
  std::memcpy(translation, value, 4);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);

  const struct {
    const char* path;
    std::optional<std::string> value;
  } cases[] = {
      {"\\StringFileInfo\\040904E4\\FileDescription", "ComTestA Module"},
      {"\\stringfileinfo\\040904e4\\FILEDESCRIPTION", "ComTestA Module"},
      {"\\StringFileInfo\\040904E4\\Comments", "Pr\xFC" "fmodul f\xFCr Tests"},  // UTF-8 in, ANSI out
      {"\\StringFileInfo\\040904E4\\OLESelfRegister", ""},
      {"\\StringFileInfo\\040904E4\\ProductName", std::nullopt},
      {"\\StringFileInfo\\040704E4\\FileDescription", std::nullopt},  // not its language
      {"\\StringFileInfo\\040904E4", std::nullopt},
      {"\\VarFileInfo\\Other", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(block, c.path), c.value) << c.path;
}

TEST(ResourceTest, StringTable) {
  HMODULE a = LoadLibraryA(COMTEST_A_PATH);
  HMODULE b = LoadLibraryA(COMTEST_B_PATH);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  char buffer[64];
  const struct {
    UINT id;
    int size;
    std::string text;
  } cases[] = {
      {0, 64, "null"},
      {1, 64, "Eins"},
      {65535, 64, "Gr\xF6\xDF" "te Nummer"},
      {65535, 4, "Gr\xF6"},  // cut to the buffer, NUL-terminated
      {65535, 1, ""},
  };
  for (const auto& c : cases) {
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(LoadStringA(a, c.id, buffer, c.size), static_cast<int>(c.text.size())) << c.id;
    EXPECT_EQ(std::string(buffer), c.text) << c.id;
  }
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadStringA(a, 2, buffer, sizeof buffer), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(LoadStringA(b, 1, buffer, sizeof buffer), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
  EXPECT_EQ(LoadStringA(nullptr, 1, buffer, sizeof buffer), 0);  // the program carries none
  EXPECT_EQ(LoadStringA(a, 1, buffer, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  FreeLibrary(b);
  FreeLibrary(a);
}

TEST(ResourceTest, FilesWithoutVersionInformation) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.File("text.dll"), "not a module at all");
  testsupport::WriteFileBytes(dir.File("empty.dll"), "");
  const struct {
    std::string path;
    LSTATUS error;
  } cases[] = {
      {COMTEST_B_PATH, ERROR_RESOURCE_DATA_NOT_FOUND},
      {dir.File("text.dll"), ERROR_RESOURCE_DATA_NOT_FOUND},
      {dir.File("empty.dll"), ERROR_RESOURCE_DATA_NOT_FOUND},
      {dir.File("absent.dll"), ERROR_FILE_NOT_FOUND},
      {dir.Path(), ERROR_FILE_NOT_FOUND},  // a folder
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeA(c.path.c_str(), nullptr), 0u) << c.path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error)) << c.path;
    uint8_t block[256];
    EXPECT_FALSE(GetFileVersionInfoA(c.path.c_str(), 0, sizeof block, block)) << c.path;
  }
  // A block that GetFileVersionInfoA did not write answers nothing.
  const uint8_t garbage[64] = {'X'};
  void* value = nullptr;
  UINT length = 0;
  EXPECT_FALSE(VerQueryValueA(garbage, "\\", &value, &length));
}

template <typename T>
T Load(const std::string& bytes, uint64_t at) {
  T v{};
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}
template <typename T>
void Store(std::string& bytes, uint64_t at, T v) {
  std::memcpy(bytes.data() + at, &v, sizeof v);
}

// ComTestA's file damaged in each place the reader trusts: it then has no
// resources (or, where only the entries are bad, no version information).
TEST(ResourceTest, DamagedFilesHaveNoResources) {
  const std::string good = testsupport::ReadFileBytes(COMTEST_A_PATH);
  ASSERT_GT(good.size(), 4096u);
  const uint64_t table = Load<uint64_t>(good, 0x28);
  const uint16_t count = Load<uint16_t>(good, 0x3C);
  const size_t content = good.find(std::string(WINPORT_RESOURCE_MAGIC "\0F\0", 8));
  ASSERT_NE(content, std::string::npos);
  uint64_t header = 0;  // the resource section's header
  for (uint16_t i = 0; i < count && !header; ++i)
    if (Load<uint64_t>(good, table + i * 64 + 0x18) == content) header = table + i * 64;
  ASSERT_NE(header, 0u);

  using Change = void (*)(std::string&, uint64_t header, uint64_t content);
  const struct {
    const char* what;
    Change change;
  } cases[] = {
      {"cut after the file header", [](std::string& f, uint64_t, uint64_t) { f.resize(64); }},
      {"cut in the section headers", [](std::string& f, uint64_t h, uint64_t) { f.resize(h + 10); }},
      {"cut in the resources", [](std::string& f, uint64_t, uint64_t c) { f.resize(c + 8); }},
      {"section table past the end", [](std::string& f, uint64_t, uint64_t) { Store<uint64_t>(f, 0x28, ~0ull - 5); }},
      {"section entries of 10 bytes", [](std::string& f, uint64_t, uint64_t) { Store<uint16_t>(f, 0x3A, 10); }},
      {"65535 sections", [](std::string& f, uint64_t, uint64_t) { Store<uint16_t>(f, 0x3C, 0xFFFF); }},
      {"names in no section", [](std::string& f, uint64_t, uint64_t) { Store<uint16_t>(f, 0x3E, 0xFFFF); }},
      {"a 32-bit file", [](std::string& f, uint64_t, uint64_t) { f[4] = 1; }},
      {"resources past the end", [](std::string& f, uint64_t h, uint64_t) { Store<uint64_t>(f, h + 0x18, ~0ull - 2); }},
      {"resources of 2^63 bytes", [](std::string& f, uint64_t h, uint64_t) { Store<uint64_t>(f, h + 0x20, 1ull << 63); }},
      {"resources without bytes", [](std::string& f, uint64_t h, uint64_t) { Store<uint32_t>(f, h + 4, 8); }},
      {"name past the names", [](std::string& f, uint64_t h, uint64_t) { Store<uint32_t>(f, h, 0xFFFFFFF0u); }},
      {"another magic", [](std::string& f, uint64_t, uint64_t c) { f[c] = 'X'; }},
      {"an unknown entry", [](std::string& f, uint64_t, uint64_t c) { f[c + 6] = 'Q'; }},
      {"a version of three parts",
       [](std::string& f, uint64_t, uint64_t c) { f.replace(c + 8, 10, std::string("1.2.3\0\0\0\0\0", 10)); }},
      {"no NUL to the end", [](std::string& f, uint64_t h, uint64_t c) {
         std::fill(f.begin() + static_cast<long>(c) + 6, f.begin() + static_cast<long>(c + Load<uint64_t>(f, h + 0x20)), 'x');
       }},
  };
  testsupport::TempDir dir;
  for (const auto& c : cases) {
    std::string damaged = good;
    c.change(damaged, header, content);
    const std::string path = dir.File("damaged.so");
    testsupport::WriteFileBytes(path, damaged);
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), nullptr), 0u) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND)) << c.what;
  }
  // The intact copy reads as the module does.
  testsupport::WriteFileBytes(dir.File("copy.so"), good);
  EXPECT_EQ(VersionBlock(dir.File("copy.so")), VersionBlock(COMTEST_A_PATH));
}

}  // namespace

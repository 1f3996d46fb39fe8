#include "platform/win32/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

using testsupport::TempDir;

namespace {

LSTATUS SetString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

std::optional<std::string> GetString(HKEY key, const char* name) {
  char buf[512];
  DWORD size = sizeof buf;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::string(buf, size);
}

HKEY Create(HKEY root, const char* path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(root, path, &key), ERROR_SUCCESS) << path;
  return key;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { winport::SetRegistryPath(dir.File("registry")); }
  void TearDown() override { winport::SetRegistryPath(""); }
  TempDir dir;
};

TEST_F(RegistryTest, StringSizesCountTheNul) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Test");
  ASSERT_EQ(SetString(key, "Name", "abc"), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);

  char buf[8] = "zzzzzzz";
  size = 3;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(buf, 4), std::string("abc\0", 4));

  // Stored without its NUL, or with bytes after it: the text up to the first NUL, plus a NUL.
  ASSERT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("xy"), 2), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, "Bare"), std::string("xy\0", 3));
  ASSERT_EQ(RegSetValueExA(key, "Cut", 0, REG_SZ, reinterpret_cast<const BYTE*>("x\0yz"), 5), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, "Cut"), std::string("x\0", 2));
  EXPECT_EQ(RegSetValueExA(key, "Bad", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DwordAndBinaryValuesKeepTheirBytes) {
  HKEY key = Create(HKEY_CLASSES_ROOT, "CLSID\\{X}");
  const DWORD number = 0x12345678;
  ASSERT_EQ(RegSetValueExA(key, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), ERROR_SUCCESS);
  const BYTE blob[] = {0, 1, 0xFF, 0};
  ASSERT_EQ(RegSetValueExA(key, "B", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);

  // Read back from the file, not from memory.
  winport::SetRegistryPath(dir.File("other"));
  winport::SetRegistryPath(dir.File("registry"));
  DWORD type = 0, got = 0, size = sizeof got;
  ASSERT_EQ(RegQueryValueExA(key, "n", nullptr, &type, reinterpret_cast<BYTE*>(&got), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(got, number);
  BYTE back[8] = {};
  size = sizeof back;
  ASSERT_EQ(RegQueryValueExA(key, "B", nullptr, &type, back, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(std::memcmp(back, blob, sizeof blob), 0);
  RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysAndValues) {
  HKEY key = reinterpret_cast<HKEY>(uintptr_t{1234});
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "No\\Such", 0, KEY_QUERY_VALUE, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  key = Create(HKEY_CURRENT_USER, "Software\\Test");
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Nothing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  // The default value exists only once set; NULL and "" both name it.
  EXPECT_EQ(GetString(key, nullptr), std::nullopt);
  ASSERT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, ""), std::string("default\0", 8));
  EXPECT_EQ(RegDeleteValueA(key, "Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, nullptr), std::nullopt);
  EXPECT_EQ(RegQueryValueExA(reinterpret_cast<HKEY>(uintptr_t{999999}), "x", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Zephanor\\6.0\\Variables\\Pr\xFC" "fstand");
  ASSERT_EQ(SetString(key, "ErrNo", "7"), ERROR_SUCCESS);
  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\zephanor\\6.0\\VARIABLES\\PR\xDC" "FSTAND", 0,
                          KEY_QUERY_VALUE, &again),
            ERROR_SUCCESS);
  EXPECT_EQ(GetString(again, "ERRNO"), std::string("7\0", 2));
  // Setting a value under another case replaces it.
  ASSERT_EQ(SetString(again, "errno", "8"), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, "ErrNo"), std::string("8\0", 2));

  HKEY software = Create(HKEY_CURRENT_USER, "software");
  char name[32];
  ASSERT_EQ(RegEnumKeyA(software, 0, name, sizeof name), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Zephanor");
  for (HKEY k : {key, again, software}) RegCloseKey(k);
}

TEST_F(RegistryTest, CreateReportsWhetherTheKeyIsNew) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "A\\B", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "a\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
  // The two roots are separate trees.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubkeys) {
  HKEY leaf = Create(HKEY_CLASSES_ROOT, "Parent\\Child");
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Parent\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "PARENT\\CHILD"), ERROR_SUCCESS);
  // A handle to a deleted key stays open but finds nothing.
  EXPECT_EQ(SetString(leaf, "x", "y"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Parent"), ERROR_SUCCESS);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Parent", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, EnumeratesSubkeysInNameOrder) {
  HKEY parent = Create(HKEY_CURRENT_USER, "List");
  for (const char* name : {"b", "A", "c"}) RegCloseKey(Create(parent, name));
  std::vector<std::string> names;
  char name[8];
  DWORD i = 0;
  for (LSTATUS rc; (rc = RegEnumKeyA(parent, i, name, sizeof name)) == ERROR_SUCCESS; ++i) names.push_back(name);
  EXPECT_EQ(RegEnumKeyA(parent, i, name, sizeof name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "c"}));
  EXPECT_EQ(RegEnumKeyA(parent, 0, name, 1), ERROR_MORE_DATA);  // no room for "A" and its NUL
  RegCloseKey(parent);
}

TEST_F(RegistryTest, AnyTextSurvivesTheFile) {
  const std::string awkward = "quote \" backslash \\ line\nbreak tab\t umlaut \xE4 \x80 end";
  HKEY key = Create(HKEY_CURRENT_USER, "Odd \"key\" \xC4");
  ASSERT_EQ(SetString(key, awkward.c_str(), awkward), ERROR_SUCCESS);
  RegCloseKey(key);
  winport::SetRegistryPath(dir.File("other"));
  winport::SetRegistryPath(dir.File("registry"));
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "odd \"KEY\" \xE4", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, awkward.c_str()), awkward + '\0');
  RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedFileGivesWhatIsValidOfIt) {
  testsupport::WriteFileBytes(dir.File("registry"),
                              "garbage\n"
                              "K HKEY_CURRENT_USER \"Good\"\n"
                              "S \"a\" \"1\"\n"
                              "S \"b\" \"unterminated\n"
                              "D \"c\" 99999999999\n"
                              "B \"d\" 3 abc\n"
                              "S \"e\" \"\\x4\"\n"
                              "K HKEY_NOWHERE \"Bad\"\n"
                              "S \"f\" \"lost\"\n"
                              "D \"g\" 42\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Good", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, "a"), std::string("1\0", 2));
  for (const char* name : {"b", "c", "d", "e", "f", "g"}) EXPECT_EQ(GetString(key, name), std::nullopt) << name;
  RegCloseKey(key);
}

TEST_F(RegistryTest, StoreThatCannotBeWrittenReportsItAndKeepsNothing) {
  winport::SetRegistryPath("/proc/winport-none/registry");
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, "v", "x"), ERROR_CANTWRITE);
  EXPECT_EQ(GetString(HKEY_CURRENT_USER, "v"), std::nullopt);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "K", &key), ERROR_CANTWRITE);
}

TEST_F(RegistryTest, EnvironmentVariableNamesTheFile) {
  winport::SetRegistryPath("");
  const char* before = std::getenv("WINPORT_REGISTRY");
  const std::string saved = before ? before : "";
  const std::string path = dir.File("sub/env-registry");
  setenv("WINPORT_REGISTRY", path.c_str(), 1);
  EXPECT_EQ(winport::RegistryPath(), path);
  EXPECT_EQ(SetString(HKEY_CURRENT_USER, "v", "x"), ERROR_SUCCESS);
  EXPECT_NE(testsupport::ReadFileBytes(path).find("\"v\""), std::string::npos);
  if (before)
    setenv("WINPORT_REGISTRY", saved.c_str(), 1);
  else
    unsetenv("WINPORT_REGISTRY");
}

TEST_F(RegistryTest, TwoProcessesWritingOneStoreLoseNothing) {
  constexpr int kWrites = 40;
  HKEY key = Create(HKEY_CURRENT_USER, "Shared");
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        const std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
        failures += SetString(key, name.c_str(), name) != ERROR_SUCCESS;
        HKEY sub = nullptr;
        failures += RegCreateKeyA(key, name.c_str(), &sub) != ERROR_SUCCESS;
        RegCloseKey(sub);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // The parent's memory is older than the file: reading picks up the new file.
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kWrites; ++i) {
      const std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
      EXPECT_EQ(GetString(key, name.c_str()), name + '\0');
      HKEY sub = nullptr;
      EXPECT_EQ(RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &sub), ERROR_SUCCESS) << name;
      RegCloseKey(sub);
    }
  }
  RegCloseKey(key);
}

}  // namespace

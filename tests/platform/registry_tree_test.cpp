// Deleting whole trees, listing values and counting a key's contents.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/registry.h"
#include "tests/support/temp_dir.h"

namespace {

class RegistryTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winport::SetRegistryPath(dir.File("registry"));
    for (const char* path : {"Tree\\A\\Deep", "Tree\\B", "Keep"}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
      RegCloseKey(key);
    }
    HKEY tree = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Tree", 0, KEY_ALL_ACCESS, &tree), ERROR_SUCCESS);
    const DWORD number = 7;
    RegSetValueExA(tree, "zeta", 0, REG_SZ, reinterpret_cast<const BYTE*>("last"), 5);
    RegSetValueExA(tree, "Alpha", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegCloseKey(tree);
  }
  void TearDown() override { winport::SetRegistryPath(""); }

  testsupport::TempDir dir;
};

TEST_F(RegistryTreeTest, CountsAndListsValues) {
  HKEY tree = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Tree", 0, KEY_READ, &tree), ERROR_SUCCESS);
  DWORD subkeys = 0, values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(tree, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(values, 2u);

  char name[16];
  BYTE data[16];
  DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
  ASSERT_EQ(RegEnumValueA(tree, 0, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, nameSize), "Alpha");  // in case-insensitive order of names
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(dataSize, 4u);
  nameSize = 3;  // "zeta" and its NUL do not fit
  EXPECT_EQ(RegEnumValueA(tree, 1, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
  nameSize = sizeof name;
  dataSize = 2;
  EXPECT_EQ(RegEnumValueA(tree, 1, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 5u);
  nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(tree, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(tree);
}

TEST_F(RegistryTreeTest, DeletesWholeTrees) {
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree"), ERROR_ACCESS_DENIED);  // not with subkeys
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "tree\\a"), ERROR_SUCCESS);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Tree\\A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  // Without a subkey name, what lies below goes and the key stays.
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Tree", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(key, nullptr), ERROR_SUCCESS);
  DWORD subkeys = 1, values = 1;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys + values, 0u);
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Tree"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Tree"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Keep", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace

#include "platform/win32/profile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/registry.h"
#include "tests/support/temp_dir.h"

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

// A literal with its embedded NULs (without the compiler's final one).
template <size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winport::SetRegistryPath(dir.File("registry"));
    WriteFileBytes(ini, kSample);
  }
  void TearDown() override { winport::SetRegistryPath(""); }

  static constexpr const char* kSample =
      "; comment\r\n"
      "orphan=1\r\n"
      "[Options]\r\n"
      "  LockFile = 1  \r\n"
      "Quoted = \"  spaced  \"\r\n"
      "Single='x'\r\n"
      "Mixed=\"x'\r\n"
      "Empty=\r\n"
      "NoEquals\r\n"
      "\r\n"
      "[ intl ]\r\n"
      "sDecimal=,\r\n";

  TempDir dir;
  std::string ini = dir.File("test.ini");
};

struct Lookup {
  const char* section;
  const char* key;
  const char* expected;  // "<default>" when the default comes back
};

TEST_F(ProfileTest, LooksUpValuesAsWin32Does) {
  const Lookup cases[] = {
      {"Options", "LockFile", "1"},       {"OPTIONS", "lockfile", "1"},
      {"Options", "Quoted", "  spaced  "}, {"Options", "Single", "x"},
      {"Options", "Mixed", "\"x'"},        {"Options", "Empty", ""},
      {"Options", "NoEquals", "<default>"}, {"Options", "orphan", "<default>"},
      {"Missing", "LockFile", "<default>"}, {"intl", "sDecimal", ","},
      {"Options", "sDecimal", "<default>"},
  };
  for (const Lookup& c : cases) {
    char buf[64];
    const DWORD n = GetPrivateProfileStringA(c.section, c.key, "<default>", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(n, std::strlen(c.expected));
  }
}

TEST_F(ProfileTest, DefaultsAndTruncation) {
  char buf[8];
  EXPECT_EQ(GetPrivateProfileStringA("Options", "Nope", "abc  ", buf, sizeof buf, ini.c_str()), 3u);
  EXPECT_STREQ(buf, "abc");  // trailing blanks of the default go
  EXPECT_EQ(GetPrivateProfileStringA("Options", "Nope", nullptr, buf, sizeof buf, ini.c_str()), 0u);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(GetPrivateProfileStringA("Options", "x", "dflt", buf, sizeof buf, dir.File("none.ini").c_str()), 4u);
  EXPECT_STREQ(buf, "dflt");
  // A value too long for the buffer is cut to size - 1.
  EXPECT_EQ(GetPrivateProfileStringA("Options", "Quoted", "", buf, 4, ini.c_str()), 3u);
  EXPECT_STREQ(buf, "  s");
  EXPECT_EQ(GetPrivateProfileStringA("Options", "Quoted", "", buf, 1, ini.c_str()), 0u);
  EXPECT_STREQ(buf, "");
}

TEST_F(ProfileTest, ListsSectionsAndKeys) {
  char buf[128];
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, ini.c_str());
  EXPECT_EQ(std::string(buf, n + 1), Bytes("Options\0intl\0\0"));
  n = GetPrivateProfileStringA("options", nullptr, "", buf, sizeof buf, ini.c_str());
  EXPECT_EQ(std::string(buf, n + 1),
            Bytes("LockFile\0Quoted\0Single\0Mixed\0Empty\0NoEquals\0\0"));
  // Cut lists end with two NULs and return size - 2.
  n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, 6, ini.c_str());
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(std::string(buf, 6), Bytes("Opti\0\0"));
  n = GetPrivateProfileSectionA("INTL", buf, sizeof buf, ini.c_str());
  EXPECT_EQ(std::string(buf, n + 1), Bytes("sDecimal=,\0\0"));
  n = GetPrivateProfileSectionA("Missing", buf, sizeof buf, ini.c_str());
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST_F(ProfileTest, ReadsIntegers) {
  WriteFileBytes(ini, "[N]\na=12abc\nb=0x1F\nc=-5\nd=abc\ne=\nf= 7 \ng=0XfF\n");
  const std::pair<const char*, UINT> cases[] = {{"a", 12},          {"b", 31}, {"c", static_cast<UINT>(-5)},
                                                {"d", 0},           {"e", 99}, {"f", 7},
                                                {"g", 255},         {"missing", 99}};
  for (const auto& [key, expected] : cases)
    EXPECT_EQ(GetPrivateProfileIntA("n", key, 99, ini.c_str()), expected) << key;
  EXPECT_EQ(GetPrivateProfileIntA("N", "a", -1, dir.File("none.ini").c_str()), static_cast<UINT>(-1));
}

TEST_F(ProfileTest, WritesKeepTheFileAndItsLineEnds) {
  WriteFileBytes(ini, "[A]\nx=1\n\n[B]\ny=2\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", "X", "10", ini.c_str()));   // replaces, keeps "x"
  ASSERT_TRUE(WritePrivateProfileStringA("A", "z", "3", ini.c_str()));    // before the blank line
  ASSERT_TRUE(WritePrivateProfileStringA("C", "w", "4", ini.c_str()));    // a new section at the end
  EXPECT_EQ(ReadFileBytes(ini), "[A]\nx=10\nz=3\n\n[B]\ny=2\n\n[C]\nw=4\n");
  ASSERT_TRUE(WritePrivateProfileStringA("A", "x", nullptr, ini.c_str()));  // deletes the key
  ASSERT_TRUE(WritePrivateProfileStringA("b", nullptr, nullptr, ini.c_str()));  // deletes the section
  ASSERT_TRUE(WritePrivateProfileStringA("A", "gone", nullptr, ini.c_str()));
  EXPECT_EQ(ReadFileBytes(ini), "[A]\nz=3\n\n[C]\nw=4\n");
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", ini.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", dir.File("no/such/dir.ini").c_str()));
}

TEST_F(ProfileTest, BareNamesLiveBesideTheRegistry) {
  ASSERT_TRUE(WritePrivateProfileStringA("intl", "sDecimal", ",", "win.ini"));
  EXPECT_EQ(ReadFileBytes(dir.File("win.ini")), "[intl]\r\nsDecimal=,\r\n");
  EXPECT_EQ(winport::ProfilePath("win.ini"), dir.File("win.ini"));
  char buf[8];
  EXPECT_EQ(GetProfileStringA("INTL", "sdecimal", ".", buf, sizeof buf), 1u);
  EXPECT_STREQ(buf, ",");
  EXPECT_EQ(GetProfileStringA("intl", "sList", ".", buf, sizeof buf), 1u);
  EXPECT_STREQ(buf, ".");
  // Deleting from a file that does not exist creates nothing.
  EXPECT_TRUE(WritePrivateProfileStringA("S", nullptr, nullptr, "absent.ini"));
  EXPECT_EQ(access(dir.File("absent.ini").c_str(), F_OK), -1);
}

TEST_F(ProfileTest, TwoProcessesWritingOneFileLoseNothing) {
  constexpr int kWrites = 200;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        const std::string key = "DB" + std::to_string(p * kWrites + i);
        failures += !WritePrivateProfileStringA("CAN0", key.c_str(), key.c_str(), ini.c_str());
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
  for (int k = 0; k < 2 * kWrites; ++k) {
    const std::string key = "DB" + std::to_string(k);
    char buf[16];
    GetPrivateProfileStringA("CAN0", key.c_str(), "", buf, sizeof buf, ini.c_str());
    EXPECT_EQ(buf, key);
  }
}

}  // namespace

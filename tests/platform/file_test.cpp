#include "platform/win32/file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

using namespace winport;
using testsupport::TempDir;

namespace {

struct ShareCase {
  FileAccess firstAccess;
  FileShare firstShare;
  FileAccess secondAccess;
  FileShare secondShare;
  bool secondOpens;
};

class FileShareTest : public ::testing::TestWithParam<ShareCase> {};

TEST_P(FileShareTest, SecondOpeningFollowsWin32ShareRules) {
  TempDir dir;
  const std::string path = dir.File("f.bin");
  testsupport::WriteFileBytes(path, "abc");
  const ShareCase& c = GetParam();
  File first;
  ASSERT_TRUE(first.Open(path, c.firstAccess, c.firstShare));
  File second;
  EXPECT_EQ(second.Open(path, c.secondAccess, c.secondShare), c.secondOpens);
  if (!c.secondOpens) {
    EXPECT_EQ(second.LastError(), ERROR_SHARING_VIOLATION);
  }
  // Once the first opening is closed, nothing stands in the way.
  first.Close();
  EXPECT_TRUE(second.Open(path, c.secondAccess, c.secondShare));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FileShareTest,
    ::testing::Values(
        // Reader denying writers: other readers yes, writers no.
        ShareCase{FileAccess::Read, FileShare::Read, FileAccess::Read, FileShare::Read, true},
        ShareCase{FileAccess::Read, FileShare::Read, FileAccess::ReadWrite, FileShare::Read, false},
        // A reader that denies writing cannot open while a writer is there.
        ShareCase{FileAccess::ReadWrite, FileShare::Read, FileAccess::Read, FileShare::Read, false},
        // Writer sharing read: a reader that allows writers may open.
        ShareCase{FileAccess::ReadWrite, FileShare::Read, FileAccess::Read, FileShare::ReadWrite, true},
        // Unshared writer: nobody else.
        ShareCase{FileAccess::Write, FileShare::None, FileAccess::Read, FileShare::ReadWrite, false},
        ShareCase{FileAccess::Read, FileShare::ReadWrite, FileAccess::Write, FileShare::None, false}));

TEST(FileTest, SharingHoldsAcrossProcesses) {
  TempDir dir;
  const std::string path = dir.File("f.bin");
  testsupport::WriteFileBytes(path, "abc");
  File reader;
  ASSERT_TRUE(reader.Open(path, FileAccess::Read, FileShare::Read));
  const pid_t pid = fork();
  if (pid == 0) {
    File writer;
    _exit(writer.Open(path, FileAccess::ReadWrite, FileShare::Read) ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process could open for writing";
}

TEST(FileTest, ReadsSeeksAndSizesBeyond4GiBPositions) {
  TempDir dir;
  const std::string path = dir.File("f.bin");
  File f;
  ASSERT_TRUE(f.Open(path, FileAccess::ReadWrite, FileShare::Read, FileDisposition::CreateAlways));
  const int64_t far = (int64_t{1} << 32) + 17;  // sparse file
  ASSERT_TRUE(f.Seek(far));
  ASSERT_TRUE(f.WriteExact("xyz", 3));
  EXPECT_EQ(f.Size(), far + 3);
  ASSERT_TRUE(f.Seek(-3, SeekOrigin::End));
  EXPECT_EQ(f.Tell(), far);
  char buf[8] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 3u);
  EXPECT_EQ(std::string(buf, 3), "xyz");
  EXPECT_EQ(f.Read(buf, 1), 0u);
  EXPECT_FALSE(f.Seek(-1));
  ASSERT_TRUE(f.Truncate(far + 1));
  EXPECT_EQ(f.Size(), far + 1);
}

TEST(FileTest, BufferedReadsSeeWritesOfTheSameOpening) {
  TempDir dir;
  const std::string path = dir.File("f.bin");
  testsupport::WriteFileBytes(path, std::string(100000, 'a'));
  File f;
  ASSERT_TRUE(f.Open(path, FileAccess::ReadWrite, FileShare::Read));
  char c = 0;
  ASSERT_TRUE(f.ReadExact(&c, 1));  // fills the read buffer
  ASSERT_TRUE(f.Seek(50));
  ASSERT_TRUE(f.WriteExact("B", 1));
  ASSERT_TRUE(f.Seek(50));
  ASSERT_TRUE(f.ReadExact(&c, 1));
  EXPECT_EQ(c, 'B');
}

TEST(FileTest, OpenExistingFailsForMissingFileAndCreateAlwaysEmpties) {
  TempDir dir;
  File f;
  EXPECT_FALSE(f.Open(dir.File("missing"), FileAccess::Read, FileShare::Read));
  EXPECT_EQ(f.LastError(), ERROR_FILE_NOT_FOUND);
  testsupport::WriteFileBytes(dir.File("x"), "12345");
  ASSERT_TRUE(f.Open(dir.File("x"), FileAccess::Write, FileShare::None, FileDisposition::CreateAlways));
  EXPECT_EQ(f.Size(), 0);
}

TEST(FileTest, RefusedOpeningDoesNotEmptyTheFile) {
  TempDir dir;
  const std::string path = dir.File("x");
  testsupport::WriteFileBytes(path, "12345");
  File reader;
  ASSERT_TRUE(reader.Open(path, FileAccess::Read, FileShare::Read));
  File writer;
  EXPECT_FALSE(writer.Open(path, FileAccess::Write, FileShare::None, FileDisposition::CreateAlways));
  EXPECT_EQ(testsupport::ReadFileBytes(path), "12345");
}

TEST(FileTest, KeepFileTimesPutsTimesBackAfterWrites) {
  TempDir dir;
  const std::string path = dir.File("x");
  testsupport::WriteFileBytes(path, "12345");
  const timespec old[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  {
    File f;
    ASSERT_TRUE(f.Open(path, FileAccess::ReadWrite, FileShare::Read));
    KeepFileTimes keep(f);
    ASSERT_TRUE(f.Seek(0, SeekOrigin::End));
    ASSERT_TRUE(f.WriteExact("678", 3));
    ASSERT_TRUE(f.Truncate(7));
  }
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, old[1].tv_nsec);
  EXPECT_EQ(st.st_atim.tv_sec, old[0].tv_sec);
  EXPECT_EQ(testsupport::ReadFileBytes(path), "1234567");
}

TEST(FileTest, AnsiPathsReachTheFileSystemAsUtf8) {
  TempDir dir;
  File f;
  const std::string ansi = dir.File("M\xE4" "ssung.mdf");  // 0xE4 = a-umlaut in Windows-1252
  ASSERT_TRUE(f.Open(ansi, FileAccess::Write, FileShare::None, FileDisposition::CreateAlways));
  f.Close();
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("M\xC3\xA4ssung.mdf")), "");
  struct stat st{};
  EXPECT_EQ(stat(dir.File("M\xC3\xA4ssung.mdf").c_str(), &st), 0);
}

}  // namespace

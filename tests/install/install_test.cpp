// The installed tree: `cmake --install` of this build into a temporary
// DESTDIR, then zphost run from there as a user runs it, in an environment
// of its own: no WINPORT_* variable, no LD_LIBRARY_PATH, a HOME whose default
// registry starts empty. zphost registers every installed module, and the
// modules import files with the libraries they load found beside them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/mdf_writer.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

namespace {

struct Outcome {
  int code = -1;
  std::string out, err;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new testsupport::TempDir;
    const std::string log = root_->File("install.log");
    installed_ = Shell("DESTDIR=" + Quoted(root_->File("root")) + " " + Quoted(CMAKE_PROGRAM) + " --install " +
                       Quoted(BUILD_DIR) + " --prefix /opt/zephanor >" + Quoted(log) + " 2>&1") == 0;
    if (!installed_) std::cerr << testsupport::ReadFileBytes(log);
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(installed_) << "cmake --install failed"; }

  static std::string Prefix() { return root_->File("root") + "/opt/zephanor"; }
  static std::string ModuleDir() { return Prefix() + "/" + INSTALLED_MODULE_DIR; }
  static std::string Zphost() { return Prefix() + "/" + INSTALLED_BIN_DIR + "/zphost"; }

  // `program args` with only HOME and PATH set (and the sanitizers' options, where given).
  static Outcome Run(const std::string& program, const std::string& args) {
    std::string env = "env -i HOME=" + Quoted(root_->File("home")) + " PATH=/usr/bin:/bin";
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
      if (const char* value = std::getenv(name)) env += std::string(" ") + name + "=" + Quoted(value);
    const std::string out = root_->File("out.txt"), err = root_->File("err.txt");
    Outcome r;
    r.code = Shell(env + " " + Quoted(program) + " " + args + " >" + Quoted(out) + " 2>" + Quoted(err));
    r.out = testsupport::ReadFileBytes(out);
    r.err = testsupport::ReadFileBytes(err);
    return r;
  }
  static Outcome Zphost(const std::string& args) { return Run(Zphost(), args); }

  static testsupport::TempDir* root_;
  static bool installed_;
};
testsupport::TempDir* InstallTest::root_ = nullptr;
bool InstallTest::installed_ = false;

constexpr const char* kModules[] = {"Brevan", "Dravo", "Filmor", "Hestor", "Jorvel", "Orsand", "Pellor", "Quenvo"};

TEST_F(InstallTest, RegisterAllRegistersEveryInstalledModule) {
  const Outcome r = Zphost("register --all");
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  std::string expected;
  for (const char* m : kModules) expected += "registered " + ModuleDir() + "/lib" + m + ".so\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "");
}

// What zphost and the modules load comes from the prefix (or the system), never from the build.
TEST_F(InstallTest, LibrariesResolveInsideThePrefix) {
  std::vector<std::string> files = {Zphost()};
  for (const char* m : kModules) files.push_back(ModuleDir() + "/lib" + m + ".so");
  for (const std::string& file : files) {
    const Outcome r = Run("/usr/bin/ldd", Quoted(file));
    ASSERT_EQ(r.code, 0) << file << "\n" << r.err;
    EXPECT_EQ(r.out.find("not found"), std::string::npos) << file << "\n" << r.out;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("libwinport") == std::string::npos && line.find("libmatlab") == std::string::npos) continue;
      const size_t arrow = line.find("=> ");
      ASSERT_NE(arrow, std::string::npos) << line;
      EXPECT_EQ(line.compare(arrow + 3, Prefix().size(), Prefix()), 0) << file << ": " << line;
    }
  }
}

TEST_F(InstallTest, ModulesImportFromTheInstall) {
  ASSERT_EQ(Zphost("register --all").code, 0);
  // Pellor: an MDF file.
  const std::string mdf = root_->File("run.mdf");
  testsupport::BuildFile(testsupport::SimpleFileDef(1, 2, 10)).writer.Save(mdf);
  Outcome r = Zphost("list --user ZSP Pellor.ZPFileImport " + Quoted(mdf));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("  Name = \"sig1_2\"\n"), std::string::npos) << r.out;
  r = Zphost("version Pellor.ZPFileImport");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("module: " + ModuleDir() + "/libPellor.so\nfile version: 4.0.120.0\n", 0), 0u) << r.out;

  // Orsand loads libnilibddc.so from beside itself.
  namespace td = testsupport::tdms;
  td::Segment segment;
  segment.objects = {td::NoData("/"), td::NoData(td::Path("G")), td::WithData(td::Path("G", "Kraft"), td::kF64, 3)};
  segment.raw = td::RawData().Values<double>({1.5, -2, 4}).Bytes();
  const std::string tdms = root_->File("run.tdms");
  testsupport::WriteFileBytes(tdms, td::Encode({segment}));
  r = Zphost("read Orsand.ZPFileImport " + Quoted(tdms) + " Kraft");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\t1.5\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t-2\n"), std::string::npos) << r.out;

  // Quenvo links libmatlab.so, found beside it: its object is created and answers.
  r = Zphost("valid Quenvo.ZPFileImport " + Quoted(mdf));
  EXPECT_EQ(r.code, 1) << r.err;  // not a MAT-file; but no activation failure (3)
  EXPECT_EQ(r.out, "0\n");
}

}  // namespace

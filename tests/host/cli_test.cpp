// zphost's command line, run in-process: help, usage errors, exit codes and
// messages, and its output against golden files in tests/data/host (set
// ZPHOST_UPDATE_GOLDEN=1 to write them anew from the output).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/cli.h"
#include "platform/win32/registry.h"
#include "tests/support/host_harness.h"

namespace {

std::string Real(const std::string& path) {
  char real[4096];
  return realpath(path.c_str(), real) ? real : path;
}

struct Outcome {
  int code = 0;
  std::string out, err;
};

Outcome Zphost(std::vector<std::string> args, bool terminal = false, const std::string& moduleFolder = "") {
  std::ostringstream out, err;
  Outcome r;
  r.code = host::RunCli(args, out, err, host::CliEnvironment{terminal, false, moduleFolder});
  r.out = out.str();
  r.err = err.str();
  return r;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Register(COMTEST_A_PATH);
    host.Register(COMTEST_B_PATH);
    file = host.Dir().File("sample.fake");
    other = host.Dir().File("other.txt");
    testsupport::WriteFileBytes(file, "FAKE file");
    testsupport::WriteFileBytes(other, "no fake");
  }

  // Compares `actual` with the golden file, or writes it when asked to.
  void ExpectGolden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(TEST_DATA_DIR) + "/host/" + name;
    if (std::getenv("ZPHOST_UPDATE_GOLDEN")) {
      testsupport::WriteFileBytes(path, actual);
      return;
    }
    EXPECT_EQ(actual, testsupport::ReadFileBytes(path)) << "differs from " << path;
  }

  testsupport::HostHarness host;  // the registry of the test
  std::string file, other;
};

TEST_F(CliTest, HelpExplainsEveryCommand) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"--help"}, {"help"}}) {
    const Outcome r = Zphost(args);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("zphost - a stand-in for the analysis host Zephanor", 0), 0u);
    EXPECT_EQ(r.err, "");
  }
  for (const char* command : {"register", "unregister", "version", "valid", "import", "list", "read", "csv", "help"}) {
    const Outcome r = Zphost({"help", command});
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("zphost ") + command, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Example:\n  zphost " + std::string(command)), std::string::npos) << r.out;
    EXPECT_EQ(Zphost({command, "--help"}).out, r.out);
  }
}

TEST_F(CliTest, UsageErrorsAndExitCodes) {
  testsupport::WriteFileBytes(host.Dir().File("short.par"), "\x08\x00");
  testsupport::WriteFileBytes(host.Dir().File("big.par"), std::string("\x64\x00\x00\x00\x01\x00\x00\x00", 8));
  const std::string missing = host.Dir().File("missing.fake");
  struct CliCase {
    std::vector<std::string> args;
    int code;
    std::string err;
  };
  const CliCase cases[] = {
      {{"frob"}, 2, "zphost: usage: unknown command \"frob\" (see zphost --help)\n"},
      {{"help", "frob"}, 2, "zphost: usage: unknown command \"frob\" (see zphost --help)\n"},
      {{"--bogus"}, 2, "zphost: usage: unknown option --bogus (see zphost --help)\n"},
      {{"list", "ComTestA.FakeImport"}, 2, "zphost: usage: list takes 2 arguments, not 1 (see zphost --help)\n"},
      {{"register"}, 2, "zphost: usage: register takes 1 argument, not 0 (see zphost --help)\n"},
      {{"register", "--all", "x"}, 2, "zphost: usage: register takes 0 arguments, not 1 (see zphost --help)\n"},
      {{"unregister", "--all", "x"}, 2, "zphost: usage: unregister does not take --all (see zphost --help)\n"},
      {{"version"}, 2, "zphost: usage: version takes 1 argument, not 0 (see zphost --help)\n"},
      {{"version", "Nope.Nothing"}, 3, ""},  // neither a ProgID nor a module: the loader's message
      {{"register", "--all"}, 3, "zphost: register: this zphost knows no folder of installed modules\n"},
      {{"csv", "P"}, 2, "zphost: usage: csv takes 2 or more arguments, not 1 (see zphost --help)\n"},
      {{"list", "--raw", "P", "F"}, 2, "zphost: usage: list does not take --raw (see zphost --help)\n"},
      {{"import", "--user"}, 2, "zphost: usage: --user needs a value (see zphost --help)\n"},
      {{"import", "--json=1", "P", "F"}, 2, "zphost: usage: --json takes no value (see zphost --help)\n"},
      {{"import", "--answer", "maybe", "P", "F"}, 2,
       "zphost: usage: --answer takes ok, yes, no or cancel, not \"maybe\" (see zphost --help)\n"},
      {{"import", "--zp-version", "7.0", "P", "F"}, 2,
       "zphost: usage: --zp-version takes a number, not \"7.0\" (see zphost --help)\n"},
      {{"read", "--chunk=0", "P", "F", "S"}, 2, "zphost: usage: --chunk must be at least 1 (see zphost --help)\n"},
      {{"import", "--var", "=x", "P", "F"}, 2, "zphost: usage: --var takes NAME=VALUE, not \"=x\" (see zphost --help)\n"},
      {{"import", "--parameters", missing, "P", "F"}, 4,
       "zphost: parameters: " + missing + ": No such file or directory\n"},
      {{"import", "--parameters", host.Dir().File("short.par"), "P", "F"}, 2,
       "zphost: parameters: " + host.Dir().File("short.par") + " holds fewer than the 4 bytes of a size word\n"},
      {{"import", "--parameters", host.Dir().File("big.par"), "P", "F"}, 2,
       "zphost: parameters: " + host.Dir().File("big.par") + ": its size word 100 exceeds its 8 bytes\n"},
      {{"import", "ComTestA.FakeImport", missing}, 4, "zphost: open: " + missing + ": No such file or directory\n"},
      {{"import", "ComTestA.FakeImport", host.Dir().Path()}, 4,
       "zphost: open: " + host.Dir().Path() + ": not a regular file\n"},
      {{"import", "Nope.Nothing", file}, 3,
       "zphost: activate: CO_E_CLASSSTRING (0x800401F3): ProgID \"Nope.Nothing\" is not registered\n"},
      {{"import", "ComTestA.FakeImport", other}, 1,
       "zphost: import: E_FAIL (0x80004005): " + other + ": ImportFile failed; ERRNO 2: not a FAKE file: " + other +
           "\n"},
      {{"valid", "ComTestA.FakeImport", other}, 1,
       "zphost: valid: " + other + " is not a file of ComTestA.FakeImport (IsValid 0)\n"},
      {{"read", "ComTestA.FakeImport", file, "Nope"}, 2, "zphost: read: the file has no signal \"Nope\"\n"},
      {{"read", "--ex", "ComTestB.FakeImport", file, "Druck"}, 1,
       "zphost: read: the module cannot ReadEx (CanDoReadEx 0)\n"},
      {{"csv", "--wide", "ComTestA.FakeImport", file, "Zeit", "Rampe"}, 2,
       "zphost: csv: --wide needs one time axis, but \"Zeit\" has 5 values over \"Zeit\" and \"Rampe\" 6 values "
       "over XOffset 10, XFactor 0.25\n"},
      {{"csv", "-o", host.Dir().File("no/such/folder.csv"), "ComTestA.FakeImport", file}, 4,
       "zphost: output: " + host.Dir().File("no/such/folder.csv") + ": No such file or directory\n"},
      {{"register", host.Dir().File("libGone.so")}, 3,
       "zphost: register: " + host.Dir().File("libGone.so") +
           ": cannot open shared object file: No such file or directory\n"},
      {{"register", file}, 3, ""},  // not a library: the loader's message
  };
  for (const CliCase& c : cases) {
    const Outcome r = Zphost(c.args);
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_EQ(r.code, c.code) << line << "\n" << r.err;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err) << line;
    } else {
      EXPECT_EQ(r.err.rfind("zphost: " + c.args[0] + ": " + c.args[1], 0), 0u) << r.err;
    }
  }
  EXPECT_EQ(Zphost({"valid", "ComTestA.FakeImport", other}).out, "0\n");
  const Outcome valid = Zphost({"valid", "ComTestA.FakeImport", file});
  EXPECT_EQ(valid.code, 0);
  EXPECT_EQ(valid.out, "1\n");
}

TEST_F(CliTest, ImportPrintsCountsAndHostVariables) {
  const Outcome r = Zphost({"import", "--user", "tester", "--var", "FAKE_NOTE=hello", "ComTestA.FakeImport", file});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "file: " + file +
                       "\nsignals: 3\nscalars: 1\ncomments: 3\nDataSize: 4096\n"
                       "FileDate: 1700000000 (2023-11-14 22:13:20 UTC)\nERRNO: \nERRMSG: \n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, ListAndCsvMatchTheirGoldenFiles) {
  const std::vector<std::string> options = {"--user", "tester", "--var", "FAKE_NOTE=a \"quoted\", note"};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.begin() + 1, options.begin(), options.end());
    const Outcome r = Zphost(args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
  };
  ExpectGolden("list_a.txt", with({"list", "ComTestA.FakeImport", file}));
  ExpectGolden("list_a.json", with({"list", "--json", "ComTestA.FakeImport", file}));
  ExpectGolden("list_b.json", with({"list", "--json", "ComTestB.FakeImport", file}));
  ExpectGolden("samples_a.csv", with({"csv", "ComTestA.FakeImport", file}));
  ExpectGolden("wide_a.csv", with({"csv", "--wide", "ComTestA.FakeImport", file, "Zeit", "Druck"}));
  ExpectGolden("read_druck.txt", with({"read", "--chunk", "3", "ComTestA.FakeImport", file, "Druck"}));
  // -o writes the same rows into a file.
  with({"csv", "-o", host.Dir().File("out.csv"), "ComTestA.FakeImport", file});
  EXPECT_EQ(testsupport::ReadFileBytes(host.Dir().File("out.csv")),
            with({"csv", "ComTestA.FakeImport", file}));
}

// A variable given with --var holds for that run: afterwards the Variables
// key holds what it held before (or nothing).
TEST_F(CliTest, HostVariablesHoldForOneRun) {
  const std::string key = "Software\\Zephanor\\6.0\\Variables";
  auto note = [&]() -> std::optional<std::string> {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
    char value[64];
    DWORD size = sizeof value, type = 0;
    const LSTATUS status = RegQueryValueExA(k, "FAKE_NOTE", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(k);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return std::string(value, size > 0 ? size - 1 : 0);
  };
  auto comments = [&](std::vector<std::string> options) {
    options.insert(options.begin(), "import");
    options.insert(options.end(), {"ComTestA.FakeImport", file});
    const Outcome r = Zphost(options);
    EXPECT_EQ(r.code, 0) << r.err;
    return r.out.substr(r.out.find("comments: "), 11);
  };
  EXPECT_EQ(comments({"--var", "FAKE_NOTE=given"}), "comments: 2");  // comments 1 and 3, the note
  EXPECT_EQ(note(), std::nullopt);
  EXPECT_EQ(comments({}), "comments: 1");
  // A value there before comes back, also when the option names it twice.
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, key.c_str(), &k), ERROR_SUCCESS);
  RegSetValueExA(k, "FAKE_NOTE", 0, REG_SZ, reinterpret_cast<const BYTE*>("kept"), 5);
  RegCloseKey(k);
  EXPECT_EQ(comments({"--var", "FAKE_NOTE=one", "--var", "FAKE_NOTE=two"}), "comments: 2");
  EXPECT_EQ(note(), "kept");
  // A failed import puts them back too.
  EXPECT_EQ(Zphost({"import", "--var", "FAKE_NOTE=failed", "ComTestA.FakeImport", other}).code, 1);
  EXPECT_EQ(note(), "kept");
}

// list shows what the host variables say after the import and every box the
// module showed, with its answer.
TEST_F(CliTest, ListShowsHostVariablesAndBoxes) {
  const Outcome json = Zphost({"list", "--json", "--user", "ask", "--answer", "yes", "ComTestA.FakeImport", file});
  EXPECT_EQ(json.code, 0) << json.err;
  EXPECT_NE(json.out.find("  \"variables\": {\n    \"ERRNO\": null,\n    \"ERRMSG\": null\n  },\n"
                          "  \"boxes\": [\n    {\"kind\": \"box\", \"caption\": \"ComTestA\", "
                          "\"text\": \"Import fortsetzen?\", \"answer\": \"Yes\"}\n  ]\n}\n"),
            std::string::npos)
      << json.out;
  const Outcome text = Zphost({"list", "--user", "ask", "--answer", "yes", "ComTestA.FakeImport", file});
  EXPECT_NE(text.out.find("variables\n  ERRNO = null\n  ERRMSG = null\nbox 1 \"ComTestA\" = \"Import fortsetzen?\" -> Yes\n"),
            std::string::npos)
      << text.out;
}

// A signal whose values no block holds is named and left out; the others are written.
TEST_F(CliTest, CsvLeavesOutASignalWithoutData) {
  const Outcome all = Zphost({"csv", "ComTestA.FakeImport", file});
  const std::string warning =
      "zphost: warning: signal \"Leer\" has 3 values but ValuesPerBlock 0; left out of the export\n";
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"csv", "--user", "nodata", "ComTestA.FakeImport", file}, all.out},
      {{"csv", "--user", "nodata", "ComTestA.FakeImport", file, "Leer", "Rampe"},
       Zphost({"csv", "ComTestA.FakeImport", file, "Rampe"}).out},
      {{"csv", "--wide", "--user", "nodata", "ComTestA.FakeImport", file, "Zeit", "Leer", "Druck"},
       Zphost({"csv", "--wide", "ComTestA.FakeImport", file, "Zeit", "Druck"}).out},
  };
  for (const auto& c : cases) {
    const Outcome r = Zphost(c.args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, warning);
    EXPECT_EQ(r.out, c.out);
  }
  // read has only the one signal: it fails, naming it.
  const Outcome read = Zphost({"read", "--user", "nodata", "ComTestA.FakeImport", file, "Leer"});
  EXPECT_EQ(read.code, 1);
  EXPECT_EQ(read.err, "zphost: read: signal \"Leer\" has 3 values but ValuesPerBlock 0\n");
}

TEST_F(CliTest, VersionOfAModule) {
  const std::string a = Real(COMTEST_A_PATH);
  const std::string expected = "module: " + a +
                               "\nfile version: 1.2.3.65535\nproduct version: 7.0.0.1\n"
                               "language: 0x0409, code page 1252\nComments: Pr\xC3\xBC" "fmodul f\xC3\xBCr Tests\n"
                               "FileDescription: ComTestA Module\nOLESelfRegister: \n";
  for (const std::string& module : {std::string("ComTestA.FakeImport"), std::string(COMTEST_A_PATH)}) {
    const Outcome r = Zphost({"version", module});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, expected) << module;
  }
  const Outcome none = Zphost({"version", "ComTestB.FakeImport"});
  EXPECT_EQ(none.code, 0);
  EXPECT_EQ(none.out, "module: " + Real(COMTEST_B_PATH) + "\nno version information\n");
}

// register --all registers each module of the installed folder, leaves the
// other libraries alone, and the ProgIDs then name the modules there.
TEST_F(CliTest, RegisterAllTheInstalledModules) {
  testsupport::TempDir modules;
  std::filesystem::copy_file(COMTEST_A_PATH, modules.File("libComTestA.so"));
  std::filesystem::copy_file(COMTEST_B_PATH, modules.File("libComTestB.so"));
  testsupport::WriteFileBytes(modules.File("libnotelf.so"), "not a library");
  testsupport::WriteFileBytes(modules.File("readme.txt"), "");
  const Outcome r = Zphost({"register", "--all"}, false, modules.Path());
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "registered " + modules.File("libComTestA.so") + "\nregistered " + modules.File("libComTestB.so") + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Zphost({"version", "ComTestB.FakeImport"}).out,
            "module: " + Real(modules.File("libComTestB.so").c_str()) + "\nno version information\n");
  EXPECT_EQ(Zphost({"import", "ComTestA.FakeImport", file}).code, 0);

  testsupport::TempDir empty;
  const Outcome none = Zphost({"register", "--all"}, false, empty.Path());
  EXPECT_EQ(none.code, 3);
  EXPECT_EQ(none.err, "zphost: register: no import module in " + empty.Path() + "\n");
}

// The sample writer answers --help with its usage and writes nothing for an option.
TEST(MdfSampleTest, HelpIsNoFileName) {
  testsupport::TempDir dir;
  auto run = [&](const std::string& args) {
    const std::string command = "cd " + dir.Path() + " && " + MDFSAMPLE_PATH + " " + args + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("--help"), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("out.txt")).rfind("usage: mdfsample PATH\n", 0), 0u);
  EXPECT_EQ(run("-h"), 0);
  EXPECT_EQ(run("--bogus"), 2);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("err.txt")).rfind("usage: mdfsample PATH\n", 0), 0u);
  EXPECT_EQ(run(""), 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("--help")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("--bogus")));
  EXPECT_EQ(run("run.mdf"), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("run.mdf")).substr(0, 8), "MDF     ");
}

TEST_F(CliTest, RawBytesAreAsDelivered) {
  const Outcome r = Zphost({"read", "--raw", "ComTestA.FakeImport", file, "Rampe"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, std::string("\xfd\xff\xfe\xff\xff\xff\x00\x00\x01\x00\x02\x00", 12));
}

TEST_F(CliTest, BoxesAreEchoedAndProgressDrawnOnATerminal) {
  Outcome r = Zphost({"import", "--user", "ask", "--answer", "no", "ComTestA.FakeImport", file});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.rfind("zphost: box \"ComTestA\": Import fortsetzen? [Yes/No] -> No\n", 0), 0u) << r.err;

  r = Zphost({"import", "--user", "progress", "ComTestA.FakeImport", file}, true);
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.err.find("\r\033[KImport | Gruppe 1 0%"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\r\033[KImport | Gruppe 5 100%"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.substr(r.err.size() - 4), "\r\033[K");  // the line is taken away at the end
  // Not on a terminal: nothing.
  r = Zphost({"import", "--user", "progress", "ComTestA.FakeImport", file}, false);
  EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, TheProgramRunsAsACommand) {
  const std::string registry = host.Dir().File("registry");
  const std::string out = host.Dir().File("out.json"), err = host.Dir().File("err.txt");
  auto run = [&](const std::string& args) {
    const std::string command = std::string(ZPHOST_PATH) + " --registry " + registry + " " + args + " >" + out +
                                " 2>" + err;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("list --json ComTestA.FakeImport " + file), 0) << testsupport::ReadFileBytes(err);
  const Outcome inProcess = Zphost({"list", "--json", "ComTestA.FakeImport", file});
  EXPECT_EQ(testsupport::ReadFileBytes(out), inProcess.out);
  EXPECT_EQ(run("frob"), 2);
  EXPECT_EQ(run("import Nope.Nothing " + file), 3);
}

}  // namespace

// zphost's command line, run in-process: help, usage errors, exit codes and
// messages, and its output against golden files in tests/data/host (set
// ZPHOST_UPDATE_GOLDEN=1 to write them anew from the output).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/cli.h"
#include "tests/support/host_harness.h"

namespace {

struct Outcome {
  int code = 0;
  std::string out, err;
};

Outcome Zphost(std::vector<std::string> args, bool terminal = false) {
  std::ostringstream out, err;
  Outcome r;
  r.code = host::RunCli(args, out, err, host::CliEnvironment{terminal, false});
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
  for (const char* command : {"register", "unregister", "valid", "import", "list", "read", "csv", "help"}) {
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
      EXPECT_EQ(r.err.rfind("zphost: register: " + file + ": ", 0), 0u) << r.err;
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

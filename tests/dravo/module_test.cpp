// The built module through the host: registration against a golden dump of
// the registry (tests/data/dravo; DRAVO_UPDATE_GOLDEN=1 writes it anew), the
// contract prefix each class offers, the corpus imported and streamed, and
// the objects' answers before, during and after an import.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "dravo/import_text.h"
#include "dravo/mdflib.h"
#include "host/cli.h"
#include "host/failure.h"
#include "importcore/contract.h"
#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"
#include "tests/com/com_test_util.h"
#include "tests/dravo/oracle_rules.h"
#include "tests/support/corpus.h"
#include "tests/support/host_harness.h"
#include "tests/support/host_objects.h"
#include "tests/support/mdf_writer.h"

namespace {

using namespace testsupport;
using dravotest::json;

constexpr const char* kModule = DRAVO_MODULE;
constexpr const char* kFileImport = "Dravo.ZPFileImport";

int Zphost(std::vector<std::string> args) {
  std::ostringstream out, err;
  return host::RunCli(args, out, err, host::CliEnvironment{false, false});
}

std::string RegistryDump() {
  const char* keys[] = {"Dravo.ZPFileImport.1",
                        "Dravo.ZPFileImport",
                        "Dravo.ZPSignal.1",
                        "Dravo.ZPSignal",
                        "Dravo.ZPScalar.1",
                        "Dravo.ZPScalar",
                        "CLSID\\{84DE6488-8580-499E-9828-C81E6AD3A061}",
                        "CLSID\\{62A47BF4-7475-4BE9-B7D4-AC9549ACC61F}",
                        "CLSID\\{C26D8E12-B08B-4510-ACB3-1ED27391AE1A}",
                        "TypeLib\\{013110C8-634E-4EDB-8149-3CFE65FE7A3F}"};
  std::string out;
  for (const char* key : keys) out += std::string(key) + "\n" + comtest::RegistryTree(HKEY_CLASSES_ROOT, key);
  const std::string path = kModule;
  const std::string folder = path.substr(0, path.find_last_of('/'));
  for (const auto& [text, name] : {std::pair{path, "%MODULE%"}, std::pair{folder, "%MODULEDIR%"}})
    for (size_t at; (at = out.find(text)) != std::string::npos;) out.replace(at, text.size(), name);
  return out;
}

std::optional<std::string> Text(host::Object& object, const char* name, const std::vector<host::Arg>& args = {}) {
  const host::Value v = object.Get(name, args);
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  return std::nullopt;
}

// A corpus file copied into the test's folder: the import may sort it in place.
std::string CopyOf(const HostHarness& host, const std::string& relative) {
  const std::string copy = host.Dir().File(std::filesystem::path(relative).filename().string());
  std::filesystem::copy_file(CorpusFile(relative), copy, std::filesystem::copy_options::overwrite_existing);
  return copy;
}

TEST(DravoModule, RegistersThroughZphostWithTheShorterContract) {
  HostHarness host;
  ASSERT_EQ(Zphost({"register", kModule}), 0);
  const std::string dump = RegistryDump();
  const std::string golden = std::string(TEST_DATA_DIR) + "/dravo/registry.txt";
  if (std::getenv("DRAVO_UPDATE_GOLDEN")) WriteFileBytes(golden, dump);
  EXPECT_EQ(dump, ReadFileBytes(golden)) << "differs from " << golden;

  namespace contract = importcore::contract;
  const struct {
    const char* progId;
    std::span<const comserver::Member> table;
    size_t members;
  } classes[] = {{"Dravo.ZPFileImport", contract::kFileImportMembers, 21},
                 {"Dravo.ZPSignal", contract::kSignalMembers, 46},
                 {"Dravo.ZPScalar.1", contract::kScalarMembers, 11}};
  for (const auto& c : classes) {
    SCOPED_TRACE(c.progId);
    host::Object object = Create(c.progId);
    ASSERT_TRUE(object);
    // The type information shows the prefix, member for member.
    ExpectMembers(object, c.table.first(c.members));
  }
  ASSERT_EQ(Zphost({"unregister", kModule}), 0);
  EXPECT_EQ(RegistryDump().find("InprocServer32"), std::string::npos);
}

// ---- The corpus through the host ----

// The oracle groups of a generated file as the import numbered them: each
// oracle group is the import's group whose signals carry the names of its
// channels that give numbers.
int GroupNumberOf(const std::vector<host::PropertyList>& signals, const json& group) {
  size_t numeric = 0;
  for (const json& c : group["channels"]) numeric += dravotest::RuleFor(c).noNumbers ? 0 : 1;
  std::map<int, size_t> found;
  for (const host::PropertyList& s : signals) {
    if (host::NumberOf(s, "NoOfValues") != group["records"].get<double>()) continue;
    const std::string name = host::TextOf(s, "Name");
    const size_t at = name.rfind('@');
    const int n = at == std::string::npos ? 1 : std::stoi(name.substr(at + 1));
    for (const json& c : group["channels"])
      if (host::TextOf(s, "DisplayName") == c["name"].get<std::string>()) ++found[n];
  }
  for (const auto& [n, count] : found)
    if (count == numeric) return n;
  return 0;
}

TEST(DravoModule, EveryCorpusFileImportsAndStreams) {
  SKIP_WITHOUT_CORPUS();
  HostHarness host;
  host.Register(kModule);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusFile("mdf"))) {
    if (entry.path().extension() == ".json") continue;
    SCOPED_TRACE(entry.path().string());
    ++files;
    const std::string copy = CopyOf(host, "mdf/" + entry.path().filename().string());
    const ImportResult imported = host.Import(kFileImport, copy);
    for (const host::BoxRecord& box : imported.boxes) EXPECT_EQ(box.caption, "MDF-Import") << box.text;
    ASSERT_FALSE(imported.signals.empty());
    for (size_t i = 1; i <= imported.signals.size(); ++i) {
      const SampleSet samples = host.Samples(std::to_string(i));
      EXPECT_EQ(samples.values.size(), host::NumberOf(imported.signals[i - 1], "NoOfValues"));
    }
  }
  EXPECT_GE(files, 11);
}

// Streamed values of the generated files against their oracles where the
// library's conversions agree: data signals as 32-bit floats, time signals
// as doubles. Texts without pause comments and byte arrays are no signals:
// the closing message names them.
TEST(DravoModule, StreamedValuesMatchTheOracles) {
  SKIP_WITHOUT_CORPUS();
  HostHarness host;
  host.Register(kModule);
  for (const char* rel : {"mdf/gen_bitfields_v320.mdf", "mdf/gen_conversions_v330.mdf", "mdf/gen_groups_v310.mdf",
                          "mdf/gen_motorola_default_v310.mdf", "mdf/gen_novalue_kestravo_v300.dat",
                          "mdf/gen_recordids_v330.mdf", "mdf/gen_unsorted_v300.mdf"}) {
    SCOPED_TRACE(rel);
    const json oracle = LoadOracle(rel);
    const std::string copy = CopyOf(host, rel);
    const ImportResult imported = host.Import(kFileImport, copy);
    const std::vector<json> groups = dravotest::GroupsInFileOrder(oracle);
    for (const json& g : groups) {
      if (g["records"].get<int>() == 0) continue;
      const int n = GroupNumberOf(imported.signals, g);
      ASSERT_NE(n, 0) << "no group for " << g["channels"][0]["name"];
      const bool several = groups.size() > 1;
      const auto signalName = [&](const json& c) {
        std::string name = c["name"].get<std::string>();
        dravo::MakeIdentifier(name);
        return several ? name + "@" + std::to_string(n) : name;
      };
      // A group whose time channel was reported has repaired or index times.
      bool timeReported = false;
      for (const host::BoxRecord& box : imported.boxes)
        timeReported = timeReported || box.text.find("bei Gruppe " + std::to_string(n) + ",") != std::string::npos;
      for (const json& c : g["channels"]) {
        const std::string name = signalName(c);
        SCOPED_TRACE(name);
        const bool isTime = c["channel_type"].get<int>() == 1;
        if (isTime && timeReported) continue;
        const dravotest::OracleRule rule = dravotest::RuleFor(c);
        if (rule.noNumbers) {
          const bool listed = std::any_of(imported.signals.begin(), imported.signals.end(),
                                          [&](const host::PropertyList& s) { return host::TextOf(s, "Name") == name; });
          EXPECT_FALSE(listed);
          const bool named = std::any_of(imported.boxes.begin(), imported.boxes.end(), [&](const host::BoxRecord& b) {
            return b.text.find(c["name"].get<std::string>() + " (") != std::string::npos;
          });
          EXPECT_TRUE(named);
          continue;
        }
        std::vector<double> got;
        for (const auto& v : host.Samples(name).values) got.push_back(v.value_or(NAN));
        const auto stored = [isTime](double got, double expected) {
          if (isTime) return testsupport::SameValue(got, expected);
          return testsupport::SameValue(got, static_cast<double>(static_cast<float>(expected)));
        };
        dravotest::ExpectSummary(got, c[rule.summary], rule.map, stored);
      }
    }
  }
}

TEST(DravoModule, AnUnsortedCopyIsSortedInPlaceThenImported) {
  SKIP_WITHOUT_CORPUS();
  HostHarness host;
  host.Register(kModule);
  const std::string copy = CopyOf(host, "mdf/gen_unsorted_v300.mdf");
  const std::string before = ReadFileBytes(copy);
  const ImportResult imported = host.Import(kFileImport, copy);
  EXPECT_TRUE(imported.boxes.empty());
  EXPECT_NE(ReadFileBytes(copy), before);
  ASSERT_EQ(dravo::MdfInitLibrary(nullptr), dravo::kMdfOk);
  EXPECT_EQ(dravo::MdfNeedsSorting(copy), dravo::kMdfOk);
  dravo::MdfExitLibrary();
  EXPECT_EQ(imported.signals.size(), 4u);
  // A second import finds it sorted and leaves it alone.
  const std::string sorted = ReadFileBytes(copy);
  host.Import(kFileImport, copy);
  EXPECT_EQ(ReadFileBytes(copy), sorted);
}

TEST(DravoModule, SignalOneIsTheFirstChannelOfTheLastGroup) {
  SKIP_WITHOUT_CORPUS();
  HostHarness host;
  host.Register(kModule);
  const ImportResult imported = host.Import(kFileImport, CopyOf(host, "mdf/gen_groups_v310.mdf"));
  ASSERT_EQ(imported.signals.size(), 9u);  // the fourth group has no records
  EXPECT_EQ(host::TextOf(imported.signals[0], "Name"), "time@3");
  EXPECT_EQ(host::TextOf(imported.signals[0], "DisplayName"), "time");
  EXPECT_EQ(host::TextOf(imported.signals[1], "Name"), "speed_3@3");
  EXPECT_EQ(host::TextOf(imported.signals[8], "Name"), "temp_1@1");
}

// ---- The objects ----

class DravoObjects : public ::testing::Test {
 protected:
  DravoObjects() {
    host.Register(kModule);
    file = Create(kFileImport);
  }
  void TearDown() override { EXPECT_TRUE(script.Ok()) << script.Report(); }

  // A file of one group: time and two 16-bit channels, `records` records,
  // with a header comment of `lines` lines.
  std::string Fixture(const std::string& name, uint32_t records, int lines = 0) {
    FileDef def = SimpleFileDef(1, 2, records);
    def.hd.author = "Ann";
    def.hd.time = "12:34:56";
    for (int i = 0; i < lines; ++i) def.fileComment += "line " + std::to_string(i) + "\n";
    const std::string path = host.Dir().File(name);
    BuildFile(def).writer.Save(path);
    return path;
  }
  void Import(const std::string& path) { file.Call("ImportFile", {path, std::string()}); }
  HRESULT TryImport(const std::string& path) {
    try {
      Import(path);
    } catch (const host::CallError& e) {
      return e.hr;
    }
    return S_OK;
  }
  // Read(n) into a buffer of n bytes filled with 0xEE beforehand.
  std::string Read(uint32_t n) {
    std::string buffer(n, '\xEE');
    auto* pointer = reinterpret_cast<uint8_t*>(buffer.data());
    file.Call("Read", {host::BufferRef{&pointer}, int64_t{n}});
    return buffer;
  }
  void Seek(int64_t position, int64_t origin) { file.Call("Seek", {position, origin}); }
  // The whole data space, read from its start.
  std::string Space() {
    Seek(0, 0);
    return Read(static_cast<uint32_t>(Long(file, "DataSize")));
  }

  HostHarness host;
  winport::ui::ScriptedAnswers script;
  host::Object file;
};

TEST_F(DravoObjects, AnswersBeforeAnImport) {
  EXPECT_EQ(Long(file, "nSignals"), 0);
  EXPECT_EQ(Long(file, "DataSize"), 0);
  EXPECT_EQ(Long(file, "BlockSize"), 0);
  EXPECT_EQ(Long(file, "Version"), 520);
  EXPECT_EQ(Long(file, "NoOfComments"), 256);
  EXPECT_EQ(Long(file, "nFiles"), 1);
  EXPECT_EQ(Long(file, "nScalars"), 0);
  EXPECT_EQ(Long(file, "FileInfo", {int64_t{0}}), 0);
  // Any name is valid.
  EXPECT_EQ(Long(file, "IsValid", {std::string("/no/such/file.txt")}), 1);
  EXPECT_EQ(Read(8), std::string(8, '\xEE'));
  // A scalar object has nothing but its file number.
  host::Object scalar = file.GetObject("Scalar", {int64_t{1}});
  EXPECT_EQ(Long(scalar, "FileNo"), 1);
  EXPECT_EQ(Text(scalar, "Name"), std::nullopt);
  EXPECT_EQ(Long(scalar, "DTyp"), 0);
}

TEST_F(DravoObjects, SeekAndReadStayInsideTheDataSpace) {
  Import(Fixture("run.mdf", 300));
  const std::string space = Space();
  const auto size = static_cast<int64_t>(space.size());
  ASSERT_EQ(size, Long(file, "DataSize"));
  const std::string untouched(16, '\xEE');
  const struct {
    std::vector<std::pair<int64_t, int64_t>> seeks;  // (lPos, origin) from position 0
    int64_t position;                                // where the read starts; past the end copies nothing
  } cases[] = {
      {{{5, 0}}, 5},
      {{{5, 0}, {3, 1}}, 8},
      {{{8, 0}, {-3, 1}}, 5},  // origin 1 adds modulo 2^32
      {{{16, 2}}, size - 16},
      {{{8, 2}}, size - 8},       // 8 bytes copied, the rest untouched
      {{{0, 2}}, size},           // nothing
      {{{-16, 2}}, size + 16},    // past the end
      {{{-1, 0}}, 0xFFFFFFFFll},  // a negative position is far past the end
      {{{-1, 1}}, 0xFFFFFFFFll},
      {{{5, 0}, {7, 3}}, 5},  // other origins change nothing
      {{{5, 0}, {7, -1}}, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.seeks));
    Seek(0, 0);
    for (const auto& [lPos, origin] : c.seeks) Seek(lPos, origin);
    const std::string got = Read(16);
    std::string expected = untouched;
    if (c.position < size) {
      const auto count = static_cast<size_t>(std::min<int64_t>(16, size - c.position));
      expected.replace(0, count, space.substr(static_cast<size_t>(c.position), count));
    }
    EXPECT_EQ(got, expected);
  }
  // Reads go on from where the last one ended; Close goes back to the start.
  Seek(0, 0);
  const std::string head = Read(8);
  EXPECT_EQ(head + Read(8), space.substr(0, 16));
  Seek(100, 0);
  file.Call("Close");
  file.Call("Close");  // more closes than opens
  EXPECT_EQ(Read(4), space.substr(0, 4));
  file.Call("Open");
  EXPECT_EQ(Read(4), space.substr(0, 4));
  // A missing buffer, or a buffer pointer that is null.
  uint8_t* null = nullptr;
  for (host::BufferRef ref : {host::BufferRef{nullptr}, host::BufferRef{&null}}) {
    try {
      file.Call("Read", {ref, int64_t{4}});
      ADD_FAILURE() << "Read without a buffer succeeded";
    } catch (const host::CallError& e) {
      EXPECT_EQ(e.hr, E_POINTER);
    }
  }
}

TEST_F(DravoObjects, CommentsByIndex) {
  Import(Fixture("run.mdf", 10, 300));
  // The header comment's first 28 characters.
  EXPECT_EQ(Text(file, "FileComment", {int64_t{0}}), "line 0\nline 1\nline 2\nline 3\n");
  EXPECT_EQ(Text(file, "FileComment", {int64_t{1}}), "Ann");
  EXPECT_EQ(Text(file, "CommentName", {int64_t{1}}), "Name");
  EXPECT_EQ(Text(file, "CommentName", {int64_t{6}}), "Zeit");
  EXPECT_EQ(Text(file, "FileComment", {int64_t{6}}), "12:34:56");
  EXPECT_EQ(Text(file, "FileComment", {int64_t{3}}), std::nullopt);  // the project is empty
  EXPECT_EQ(Text(file, "CommentName", {int64_t{3}}), "Projekt");
  EXPECT_EQ(Text(file, "FileComment", {int64_t{7}}), "line 0");
  EXPECT_EQ(Text(file, "CommentName", {int64_t{7}}), "Text1");
  EXPECT_EQ(Text(file, "FileComment", {int64_t{255}}), "line 248");
  EXPECT_EQ(Text(file, "CommentName", {int64_t{255}}), "Text249");
  for (const int64_t outside : {int64_t{-1}, int64_t{256}, int64_t{1000}}) {
    EXPECT_EQ(Text(file, "FileComment", {outside}), std::nullopt) << outside;
    EXPECT_EQ(Text(file, "CommentName", {outside}), std::nullopt) << outside;
  }
  EXPECT_EQ(Text(file, "CommentName", {int64_t{0}}), std::nullopt);
  EXPECT_EQ(Text(file, "Name", {int64_t{7}}), "run");
}

TEST_F(DravoObjects, SignalObjectsLookTheirRecordUpAtEveryCall) {
  Import(Fixture("run.mdf", 10));
  ASSERT_EQ(Long(file, "nSignals"), 3);
  host::Object first = file.GetObject("Signal", {int64_t{1}});
  EXPECT_EQ(Text(first, "Name"), "time");
  EXPECT_EQ(Long(first, "DTyp"), 13);
  EXPECT_EQ(Long(first, "FileNo"), 1);
  EXPECT_EQ(Text(first, "BitState", {int64_t{2}}), "sig1_1");
  EXPECT_EQ(Text(first, "BitState", {int64_t{9}}), std::nullopt);
  host::Object second = file.GetObject("Signal", {int64_t{2}});
  EXPECT_EQ(Long(second, "IsUniDir"), 1);
  // Numbers without a record answer nothing.
  for (const int64_t missing : {int64_t{0}, int64_t{4}, int64_t{-1}}) {
    host::Object none = file.GetObject("Signal", {missing});
    EXPECT_EQ(Text(none, "Name"), std::nullopt) << missing;
    EXPECT_EQ(Long(none, "DTyp"), 0) << missing;
    EXPECT_EQ(Long(none, "FileNo"), 0) << missing;
    EXPECT_EQ(std::get<double>(none.Get("XMax")), 0.0) << missing;
  }
  // Made by the host itself, a signal object has no import.
  host::Object lone = Create("Dravo.ZPSignal");
  EXPECT_EQ(Text(lone, "Name"), std::nullopt);

  // After ReleaseFile the object is as constructed, and the signal finds nothing.
  file.Call("ReleaseFile");
  EXPECT_EQ(Text(first, "Name"), std::nullopt);
  EXPECT_EQ(Long(file, "nSignals"), 0);
  EXPECT_EQ(Long(file, "DataSize"), 0);
  EXPECT_EQ(Long(file, "BlockSize"), 0);
  EXPECT_EQ(Text(file, "Name", {int64_t{0}}), "");
  EXPECT_EQ(Text(file, "FileComment", {int64_t{1}}), std::nullopt);
  Seek(0, 0);
  EXPECT_EQ(Read(8), std::string(8, '\xEE'));

  // A signal that outlives its import object.
  Import(Fixture("run.mdf", 10));
  host::Object kept = file.GetObject("Signal", {int64_t{3}});
  EXPECT_EQ(Text(kept, "Name"), "sig1_2");
  file = host::Object();
  EXPECT_EQ(Text(kept, "Name"), std::nullopt);
  EXPECT_EQ(Long(kept, "NoOfValues"), 0);
}

TEST_F(DravoObjects, ASecondImportReplacesTheFirstAndAFailedOneKeepsNothing) {
  Import(Fixture("a.mdf", 10));
  host::Object old = file.GetObject("Signal", {int64_t{1}});
  Import(Fixture("b.mdf", 1000));
  EXPECT_EQ(Text(old, "Name"), std::nullopt);
  EXPECT_EQ(Long(file, "nSignals"), 3);
  EXPECT_EQ(Text(file, "Name", {int64_t{0}}), "b");
  host::Object now = file.GetObject("Signal", {int64_t{2}});
  EXPECT_EQ(Long(now, "NoOfValues"), 1000);

  // A file that is no MDF file: the library's box, E_FAIL, nothing kept.
  const std::string junk = host.Dir().File("junk.mdf");
  WriteFileBytes(junk, std::string(300, 'j'));
  winport::ui::ExpectedDialog box;
  box.text = "file format \n";
  box.caption = "DUD32-ERROR MESSAGE";
  script.Box(box);
  EXPECT_EQ(TryImport(junk), E_FAIL);
  EXPECT_EQ(Text(now, "Name"), std::nullopt);
  EXPECT_EQ(Long(file, "nSignals"), 0);
  EXPECT_EQ(Long(file, "DataSize"), 0);
  EXPECT_EQ(ReadFileBytes(junk), std::string(300, 'j'));
}

TEST_F(DravoObjects, FileNamesThatNoByteTextCarriesFailBeforeAnythingIsOpened) {
  const std::string path = Fixture("run.mdf", 10);
  // 560 characters.
  EXPECT_EQ(TryImport(path + std::string(560 - path.size(), 'x')), E_FAIL);
  // A character above U+00FF ("Ł"), and a C1 control.
  EXPECT_EQ(TryImport(host.Dir().File("\xC5\x81.mdf")), E_FAIL);
  EXPECT_EQ(TryImport(host.Dir().File("\xC2\x81.mdf")), E_FAIL);
  EXPECT_EQ(Long(file, "nSignals"), 0);
  // A name of Latin-1 letters is taken whole.
  const std::string umlaut = host.Dir().File("\xC3\xA4.mdf");  // "ä"
  std::filesystem::copy_file(path, umlaut);
  EXPECT_EQ(TryImport(winport::AnsiToUtf8(winport::Utf8ToAnsi(umlaut))), S_OK);
  EXPECT_EQ(Text(file, "Name", {int64_t{0}}), "\xC3\xA4");
}

}  // namespace

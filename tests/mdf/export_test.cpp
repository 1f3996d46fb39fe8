#include <gtest/gtest.h>

#include <filesystem>

#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "platform/ui/headless.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/profile.h"
#include "platform/win32/registry.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;
using winport::ui::ScriptedAnswers;

namespace {

class CsvExport : public ::testing::Test {
 protected:
  void SetUp() override { winport::SetRegistryPath(dir_.File("registry")); }
  void TearDown() override { winport::SetRegistryPath(""); }

  void SetIntl(const char* decimal, const char* list) {
    WritePrivateProfileStringA("intl", "sDecimal", decimal, "win.ini");
    WritePrivateProfileStringA("intl", "sList", list, "win.ini");
  }

  // Opens the file and returns its first group's data block.
  CDataBlock* Open(const FileDef& def) { return Open(BuildFile(def).writer); }
  CDataBlock* Open(const MdfWriter& writer) {
    writer.Save(dir_.File("in.mdf"));
    mdf_ = std::make_unique<CMdf>();
    mdf_->SetShowMessages(false);
    if (!mdf_->Open(dir_.File("in.mdf"))) return nullptr;
    return mdf_->GetFirstDG()->GetDataBlock();
  }

  // Runs the export answering the file dialog with `out`; expects the success box.
  int Export(CDataBlock* data, const std::string& out) {
    ScriptedAnswers script;
    script.FileDialog(out).Box(StrFormat(Ansi("Die Datei %s wurde erfolgreich exportiert!").c_str(), out.c_str()));
    const int result = data->ExportCsv();
    EXPECT_TRUE(script.Ok()) << script.Report();
    return result;
  }

  TempDir dir_;
  std::unique_ptr<CMdf> mdf_;
};

FileDef TwoChannels(uint32_t records) {
  FileDef def = SimpleFileDef(1, 0, records, "TESTPROG");
  ChannelDef speed;
  speed.cn = CnSpec{.name = "v.fzg", .bits = 16, .dataType = dt::kUInt};
  speed.cc = CcLinear(0.5, 0, "km/h");
  speed.longName = "vehicle speed";
  speed.value = [](uint32_t r) { return 3.0 + r; };  // 1.5, 2, 2.5 ...
  def.groups[0].channels.push_back(speed);
  ChannelDef text;
  text.cn = CnSpec{.name = "note", .bits = 64, .dataType = dt::kText};
  text.text = [](uint32_t r) { return "a.b" + std::to_string(r); };
  def.groups[0].channels.push_back(text);
  return def;
}

TEST_F(CsvExport, UsesTheRegionalSeparatorAndDecimalSign) {
  SetIntl(",", ";");
  CDataBlock* data = Open(TwoChannels(2));
  ASSERT_NE(data, nullptr);
  const std::string out = dir_.File("out.csv");
  ASSERT_EQ(Export(data, out), 1);
  EXPECT_EQ(ReadFileBytes(out),
            "time;v.fzg;note\n"
            "\"\";\"vehicle speed\";\"\"\n"
            "-;km/h;-\n"
            "0;1,5;a,b0\n"
            "0,01;2;a,b1\n");
}

TEST_F(CsvExport, NoValueCellsAndEmptyGroups) {
  // The KESTRAVO writer's time channel carries the default NoValue 1e308.
  FileDef def = SimpleFileDef(1, 1, 2, "TESTPROG");
  def.groups[0].channels[0].value = [](uint32_t r) { return r == 1 ? 1e308 : 0.0; };
  CDataBlock* data = Open(def);
  ASSERT_NE(data, nullptr);
  const std::string out = dir_.File("nv.csv");
  ASSERT_EQ(Export(data, out), 1);
  EXPECT_NE(ReadFileBytes(out).find("! 1e+308;"), std::string::npos) << ReadFileBytes(out);

  BuiltFile f = BuildFile(SimpleFileDef(1, 1, 1, "TESTPROG"));
  f.writer.PatchU32(f.groups[0].cg + cg::kRecordCount, 0);  // data linked, no records
  CDataBlock* empty = Open(f.writer);
  ASSERT_NE(empty, nullptr);
  const std::string out2 = dir_.File("empty.csv");
  ASSERT_EQ(Export(empty, out2), 1);
  EXPECT_EQ(ReadFileBytes(out2), "time;sig1_1\n\"\";\"\"\n-;-\n");
}

// The records are decoded a chunk at a time for all channels at once; every
// line holds the grid's cells of its record, over several chunks.
TEST_F(CsvExport, EveryCellIsTheGridsCellAcrossChunks) {
  constexpr uint32_t kRecords = 5000;
  FileDef def;
  def.id.programId = "TESTPROG";
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = 1000;  // 5 MB of records: more than one chunk
  g.records = kRecords;
  g.comment = "NoValue\tJa\tcount\t7\n";
  auto channel = [](const std::string& name, uint16_t type, uint16_t bits, uint16_t startBit) {
    ChannelDef c;
    c.cn = CnSpec{.name = name, .startBit = startBit, .bits = bits, .dataType = type};
    return c;
  };
  ChannelDef count = channel("count", dt::kUInt, 16, 0);
  count.value = [](uint32_t r) { return r % 10; };
  ChannelDef level = channel("level", dt::kUInt, 8, 16);
  level.cc = CcTextTable({{1, "LOW"}, {5, "MID"}, {9, "HIGH"}});
  level.value = [](uint32_t r) { return r % 11; };
  ChannelDef speed = channel("speed", dt::kIntMotorola, 12, 28);
  speed.cc = CcLinear(0.25, -1);
  speed.value = [](uint32_t r) { return static_cast<double>(static_cast<int>(r % 4096) - 2048); };
  ChannelDef note = channel("note", dt::kText, 48, 7900);
  note.text = [](uint32_t r) { return std::to_string(r) + ".x"; };
  g.channels = {count, level, speed, note, channel("outside", dt::kUInt, 32, 7990)};
  def.groups.push_back(g);
  CDataBlock* data = Open(def);
  ASSERT_NE(data, nullptr);
  const std::string out = dir_.File("chunks.csv");
  ASSERT_EQ(Export(data, out), 1);
  const std::string text = ReadFileBytes(out);
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t nl = text.find('\n', at);
    lines.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  ASSERT_EQ(lines.size(), 3 + kRecords);
  for (uint32_t r = 0; r < kRecords; r += (r < 20 ? 1 : 97)) {
    std::string expected;
    for (int k = 1; k <= 5; ++k) expected += (k > 1 ? ";" : "") + data->GetCellText(r, k);
    EXPECT_EQ(lines[3 + r], expected) << "record " << r;
  }
  EXPECT_EQ(lines[3 + 7], "! 7;;-511.25;7.x;");  // a NoValue, a value between two table entries
  EXPECT_EQ(lines.back(), "9;MID;-287.25;4999.x;");
}

TEST_F(CsvExport, CancelledOrNotCreatable) {
  CDataBlock* data = Open(TwoChannels(1));
  ASSERT_NE(data, nullptr);
  {
    ScriptedAnswers script;
    script.FileDialog(std::nullopt);
    EXPECT_EQ(data->ExportCsv(), 0);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
  ScriptedAnswers script;
  script.FileDialog(dir_.File("no/such/dir/x.csv")).Box(Ansi("Kann die Textdatei nicht erzeugen!"));
  EXPECT_EQ(data->ExportCsv(), 0);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

// Both settings default to '.': a separator equal to the decimal sign, given
// or by default, becomes ';'.
TEST_F(CsvExport, ASeparatorEqualToTheDecimalSignBecomesASemicolon) {
  const struct {
    const char* decimal;  // null: the setting is missing
    const char* list;
    const char* expected;
  } cases[] = {
      {",", ",",
       "time;v.fzg;note\n\"\";\"vehicle speed\";\"\"\n-;km/h;-\n0;1,5;a,b0\n"},
      {nullptr, nullptr,
       "time;v.fzg;note\n\"\";\"vehicle speed\";\"\"\n-;km/h;-\n0;1.5;a.b0\n"},
      {".", "",
       "time;v.fzg;note\n\"\";\"vehicle speed\";\"\"\n-;km/h;-\n0;1.5;a.b0\n"},
      // A missing separator is '.', beside a decimal ',' it stays.
      {",", nullptr,
       "time.\"v.fzg\".note\n\"\".\"vehicle speed\".\"\"\n-.km/h.-\n0.1,5.a,b0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("sDecimal ") + (c.decimal ? c.decimal : "missing") + ", sList " +
                 (c.list ? c.list : "missing"));
    WritePrivateProfileStringA("intl", "sDecimal", c.decimal, "win.ini");
    WritePrivateProfileStringA("intl", "sList", c.list, "win.ini");
    CDataBlock* data = Open(TwoChannels(1));
    ASSERT_NE(data, nullptr);
    const std::string out = dir_.File("collide.csv");
    ASSERT_EQ(Export(data, out), 1);
    EXPECT_EQ(ReadFileBytes(out), c.expected);
  }
}

TEST_F(CsvExport, CellsWithTheSeparatorAQuoteOrALineBreakAreQuoted) {
  SetIntl(".", ",");
  FileDef def = SimpleFileDef(1, 0, 2, "TESTPROG");
  ChannelDef quoted;
  quoted.cn = CnSpec{.name = "say \"hi\"", .bits = 16, .dataType = dt::kUInt};
  quoted.cc = CcLinear(1, 1, "m,s");
  quoted.longName = "the \"long\" name";
  quoted.value = [](uint32_t r) { return static_cast<double>(r); };
  def.groups[0].channels.push_back(quoted);
  ChannelDef text;
  text.cn = CnSpec{.name = "note", .bits = 64, .dataType = dt::kText};
  text.text = [](uint32_t r) { return r == 0 ? std::string("a,b") : std::string("x\ny"); };
  def.groups[0].channels.push_back(text);
  CDataBlock* data = Open(def);
  ASSERT_NE(data, nullptr);
  const std::string out = dir_.File("quoted.csv");
  ASSERT_EQ(Export(data, out), 1);
  EXPECT_EQ(ReadFileBytes(out),
            "time,\"say \"\"hi\"\"\",note\n"
            "\"\",\"the \"\"long\"\" name\",\"\"\n"
            "-,\"m,s\",-\n"
            "0,1,\"a,b\"\n"
            "0.01,2,\"x\ny\"\n");
}

TEST_F(CsvExport, AFailedWriteIsReportedAndNotCalledASuccess) {
  CDataBlock* data = Open(TwoChannels(3));
  ASSERT_NE(data, nullptr);
  // A file name with its extension, on a device that takes no byte.
  const std::string full = dir_.File("full.csv");
  std::filesystem::create_symlink("/dev/full", full);
  ScriptedAnswers script;
  script.FileDialog(full).Box(StrFormat(Ansi("Fehler beim Schreiben der Datei %s!").c_str(), full.c_str()));
  EXPECT_EQ(data->ExportCsv(), 0);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

}  // namespace

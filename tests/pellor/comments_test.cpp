// The pieces of the MDF import beside the group loading: comments from the
// text block and the header, scalars from the program block's special-job
// data, and the composed import of KESTRAVO files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "importcore/le.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "pellor/driver.h"
#include "pellor/file_import.h"
#include "tests/support/host_variables.h"
#include "tests/support/mdf_writer.h"

namespace pellor {
namespace {

using namespace testsupport;

class ImportPartsTest : public ::testing::Test {
 protected:
  std::string Save(const FileDef& def) {
    const std::string path = vars_.Dir().File("f.mdf");
    WriteFileBytes(path, BuildFile(def).writer.Bytes());
    return path;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const SignalRecord& r : import_.Lists().signals) names.push_back(r.Name.str());
    return names;
  }
  const SignalRecord& Get(const std::string& name) {
    for (const SignalRecord& r : import_.Lists().signals)
      if (r.Name.str() == name) return r;
    throw std::runtime_error("no signal " + name);
  }
  std::vector<double> Doubles(const SignalRecord& r) {
    std::vector<double> values(r.NoOfValues);
    EXPECT_EQ(import_.Open(), S_OK);
    import_.Seek(static_cast<int32_t>(r.rangeStart), 0);
    import_.Read(reinterpret_cast<uint8_t*>(values.data()), static_cast<uint32_t>(values.size() * 8));
    import_.Close();
    return values;
  }

  HostVariables vars_;
  FileImport import_;
};

FileDef Simple() { return SimpleFileDef(1, 1, 10, "TESTPROG"); }

// ---------------------------------------------------------------- comments

TEST_F(ImportPartsTest, TextBlockAndHeaderComments) {
  FileDef def = Simple();
  def.fileComment = "DATACONV\t 03.01\r\n<FOS begin> skipped\n   \nLine one  \nName\tValue\n" + std::string(250, 'w') + "x";
  def.hd.author = "Anna";
  def.hd.organisation = "Test bench 4";
  def.hd.date = "05.03.2009";
  def.hd.time = "14:07:30";
  vars_.Set("MDF_CHARSPERLINE", "100");
  ASSERT_EQ(import_.ImportFile(Save(def), "ZSP"), S_OK);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"DATACONV", " 03.01"},
      {"Text1", "Line one"},
      {"Name", "Value"},
      {"Text2", std::string(100, 'w') + "\\n" + std::string(100, 'w') + "\\n" + std::string(40, 'w')},
      {"Name", "Anna"},
      {"Abteilung", "Test bench 4"},
      {"Projekt", ""},
      {"Subjekt", ""},
      {"Datum", "05.03.2009"},
      {"Zeit", "14:07:30"},
  };
  EXPECT_EQ(import_.m_commentCount, static_cast<int32_t>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    const int32_t slot = static_cast<int32_t>(i + 1);
    EXPECT_EQ(import_.CommentName(slot), expected[i].first) << slot;
    EXPECT_EQ(import_.FileComment(slot).value_or(""), expected[i].second) << slot;
  }
  EXPECT_EQ(import_.m_mdf->GetReaderVersion(), 3 * 256 + 1);
}

TEST_F(ImportPartsTest, ShortDataConvLeavesTheReaderVersion) {
  FileDef def = Simple();
  def.fileComment = "DATACONV\t3";
  ASSERT_EQ(import_.ImportFile(Save(def), "ZSP"), S_OK);
  EXPECT_EQ(import_.m_mdf->GetReaderVersion(), FileImport::kVersion);
  EXPECT_EQ(import_.FileComment(1), "3");
}

TEST_F(ImportPartsTest, TheTextBlockFillsAtMost250Slots) {
  FileDef def = Simple();
  for (int i = 1; i <= 300; ++i) def.fileComment += "line " + std::to_string(i) + "\n";
  def.hd.author = "Anna";
  ASSERT_EQ(import_.ImportFile(Save(def), "ZSP"), S_OK);
  EXPECT_EQ(import_.m_commentCount, 256);
  EXPECT_EQ(import_.FileComment(250), "line 250");
  EXPECT_EQ(import_.CommentName(250), "Text250");
  EXPECT_EQ(import_.FileComment(251), "Anna");
  EXPECT_EQ(import_.CommentName(255), "Datum");
}

// ---------------------------------------------------------------- program-block scalars

// Special-job data of three scalars, cut to `size` bytes.
std::string Scalars(size_t size) {
  SpecialJob sj;
  sj.scalars = {{"Luft druck", "hPa with a long unit text", 1013.25}, {"T", "degC", -7.5}, {"third", "", 3}};
  std::string data = SpecialJobData(sj);
  data.resize(size);
  return data;
}

TEST_F(ImportPartsTest, ProgramBlockScalarsLieWholeInTheData) {
  const struct {
    size_t size;
    size_t scalars;
  } cases[] = {
      {20 + 3 * 373, 3},
      {20 + 2 * 373 + 372, 2},  // the third lacks its last byte
      {20 + 373, 1},
      {20, 0},
      {19, 0},  // not even the count
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    FileDef def = Simple();
    def.programData = Scalars(c.size);
    ASSERT_EQ(import_.ImportFile(Save(def), "ZSP"), S_OK);
    ASSERT_EQ(import_.m_nScalars, static_cast<int32_t>(c.scalars));
    if (c.scalars == 0) continue;
    const ScalarRecord& first = *import_.Lists().scalars.First();
    EXPECT_EQ(first.Name.str(), "Luft_druck");
    EXPECT_EQ(first.DisplayName.str(), "Luft druck");
    EXPECT_EQ(first.Unit.str(), "hPa with a long uni");  // 19 characters
    EXPECT_EQ(first.Value, 1013.25);
    EXPECT_EQ(first.number, 1);
  }
}

TEST_F(ImportPartsTest, ScalarsOutliveTheTimeInformationOfAKestravoFile) {
  FileDef def = SimpleFileDef(1, 1, 10, "KESTRAVO");
  def.programData = Scalars(20 + 3 * 373 + 8);
  const std::string path = Save(def);
  vars_.Set("MDF_WRITERANGE", "1");
  for (int import = 0; import < 2; ++import) {
    SCOPED_TRACE(import);
    ASSERT_EQ(import_.ImportFile(path, "ZSP"), S_OK);
    EXPECT_EQ(import_.m_nScalars, 3);
  }
  EXPECT_FALSE(import_.m_mdf->GetPrgBlock()->IsSpecialJobData());  // the block now holds time information
}

// ---------------------------------------------------------------- composed import

TEST_F(ImportPartsTest, ComposedChannels) {
  FileDef def;  // KESTRAVO
  GroupDef g1;
  g1.records = 5;
  ChannelDef t;
  t.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble, .sampleRate = 0.1};
  t.value = [](uint32_t r) { return r * 0.1; };
  const auto channel = [](const std::string& name, double base) {
    ChannelDef c;
    c.cn = CnSpec{.name = name, .bits = 16, .dataType = dt::kUInt};
    c.value = [base](uint32_t r) { return base + r; };
    return c;
  };
  g1.channels = {t, channel("x(3)", 10), channel("a b", 20), channel("speed", 30)};
  GroupDef g2 = g1;
  g2.records = 3;
  g2.channels = {t, channel("speed", 40), channel("a_b", 50)};
  g2.channels[0].value = [](uint32_t r) { return 1.0 + r * 0.1; };
  GroupDef single = g2;
  single.records = 1;
  single.channels = {t, channel("one", 60)};
  single.channels[0].value = [](uint32_t) { return 5.0; };
  def.groups = {g1, g2, single};
  vars_.Set("MDF_COMPOSE_DATA", "1");
  ASSERT_EQ(import_.ImportFile(Save(def), "ZSP"), S_OK);
  EXPECT_EQ(import_.CanDoReadEx(), 0);
  // Each channel once, by its sanitised name ('a_b' after 'a b' is passed over), behind a time signal.
  EXPECT_EQ(Names(), (std::vector<std::string>{"Time_0", "x_3_", "Time_1", "a_b", "Time_2", "speed", "Time_3", "one"}));
  // The composition puts a gap (time and value 1e308 after the last time) between the groups;
  // the range leaves it out.
  const SignalRecord& speed = Get("speed");
  EXPECT_EQ(speed.NoOfValues, 9u);
  EXPECT_EQ(speed.XSignal.str(), "Time_2");
  EXPECT_EQ(speed.DTyp, 13);
  EXPECT_EQ(speed.Demux, 8);
  EXPECT_EQ(speed.ValuesPerBlock, 128);
  EXPECT_EQ(speed.YMin, 30);
  EXPECT_EQ(speed.YMax, 42);
  EXPECT_EQ(Doubles(speed), (std::vector<double>{30, 31, 32, 33, 34, 1e308, 40, 41, 42}));
  const SignalRecord& time = Get("Time_2");
  EXPECT_EQ(time.STyp, styp::kTime);
  EXPECT_EQ(time.Ignore, ignore::kHiddenFaultyTime);
  EXPECT_EQ(time.IsUniDir, 1);
  EXPECT_NEAR(time.MaxDelta, 0.5, 1e-12);
  EXPECT_NEAR(time.MinDelta, 0.1, 1e-12);
  EXPECT_NEAR(Doubles(time)[6], 1.0, 1e-12);
  EXPECT_NEAR(speed.XFactor, 1.2 / 8, 1e-12);
  // A channel of one value.
  const SignalRecord& one = Get("one");
  EXPECT_EQ(one.NoOfValues, 1u);
  EXPECT_EQ(one.XFactor, 1.0);
  EXPECT_EQ(Get("Time_3").MinDelta, 1.0);
  EXPECT_EQ(Get("Time_3").MaxDelta, 1.0);
  EXPECT_EQ(Doubles(one), std::vector<double>{60});
}

TEST_F(ImportPartsTest, ComposedSeriesEndsWhereItsTimeRestarts) {
  FileDef def;  // KESTRAVO
  GroupDef g;
  g.records = 1200;
  ChannelDef t;
  t.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble};
  t.value = [](uint32_t r) { return (r < 1000 ? r : r - 1000) * 0.01; };
  ChannelDef v;
  v.cn = CnSpec{.name = "v", .bits = 16, .dataType = dt::kUInt};
  v.value = [](uint32_t r) { return r; };
  g.channels = {t, v};
  def.groups = {g};
  vars_.Set("MDF_COMPOSE_DATA", "1");
  ASSERT_EQ(import_.ImportFile(Save(def), "ZSP"), S_OK);
  EXPECT_EQ(Get("v").NoOfValues, 1000u);
  EXPECT_EQ(Get("Time_0").NoOfValues, 1000u);
}

}  // namespace
}  // namespace pellor

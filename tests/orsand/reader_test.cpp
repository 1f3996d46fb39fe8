// The reader: file kind, type table, identifiers, and imports of TDMS and TDM
// files made by the fixture writers, read through the connectivity library.
#include "orsand/reader.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orsand/ddc_loader.h"
#include "platform/ui/headless.h"
#include "tests/support/tdm_writer.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/time_zone.h"

namespace {

namespace tdms = testsupport::tdms;
namespace tdm = testsupport::tdm;
using orsand::FileKind;
using orsand::ImportedFile;
using orsand::LoadResult;
using orsand::SignalRecord;
using winport::ui::ScriptedAnswers;

std::vector<double> Ramp(double from, double step, size_t n) {
  std::vector<double> v;
  for (size_t i = 0; i < n; ++i) v.push_back(from + step * static_cast<double>(i));
  return v;
}

// One TDMS channel: its properties and values of one type.
struct Chan {
  std::string name;
  uint32_t type = tdms::kF64;
  std::string raw;  // the values' bytes
  uint64_t count = 0;
  std::vector<tdms::Property> props;
};

template <typename T>
Chan Values(std::string name, uint32_t type, const std::vector<T>& values, std::vector<tdms::Property> props = {}) {
  return {std::move(name), type, tdms::RawData().Values(values).Bytes(), values.size(), std::move(props)};
}
Chan Doubles(std::string name, const std::vector<double>& values, std::vector<tdms::Property> props = {}) {
  return Values(std::move(name), tdms::kF64, values, std::move(props));
}
Chan Texts(std::string name, const std::vector<std::string>& values) {
  Chan c{std::move(name), tdms::kString, tdms::RawData().Strings(values).Bytes(), values.size(), {}};
  return c;
}

struct Grp {
  std::string name;
  std::vector<Chan> channels;
  std::vector<tdms::Property> props = {};
};

// One segment holding every group and channel.
std::string TdmsFile(const std::vector<Grp>& groups, std::vector<tdms::Property> fileProps = {}) {
  tdms::Segment segment;
  segment.objects.push_back(tdms::NoData("/", std::move(fileProps)));
  tdms::RawData raw;
  std::string bytes;
  for (const Grp& g : groups) {
    segment.objects.push_back(tdms::NoData(tdms::Path(g.name), g.props));
    for (const Chan& c : g.channels) {
      tdms::Object o;
      if (c.type == tdms::kString) {
        o = tdms::WithStrings(tdms::Path(g.name, c.name), {});
        o.count = c.count;
        o.string_bytes = c.raw.size();
      } else {
        o = tdms::WithData(tdms::Path(g.name, c.name), c.type, c.count);
      }
      o.properties = c.props;
      segment.objects.push_back(o);
      bytes += c.raw;
    }
  }
  segment.raw = bytes;
  return tdms::Encode({segment});
}

class Reader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("WINPORT_DLL_PATH", DDC_DIR, 0); }

  std::string Write(const std::string& bytes, const std::string& name = "f.tdms") {
    const std::string path = dir_.File(name);
    testsupport::WriteFileBytes(path, bytes);
    return path;
  }
  // Imports the file; any box fails the test unless a script expects it.
  orsand::LoadOutcome Load(const std::string& path, orsand::LoadLimits limits = {}) {
    file_ = ImportedFile();
    name_ = path;
    return orsand::Load(path, file_, name_, limits);
  }
  orsand::LoadOutcome Load(const std::vector<Grp>& groups, std::vector<tdms::Property> fileProps = {}) {
    return Load(Write(TdmsFile(groups, std::move(fileProps))));
  }
  const SignalRecord& Signal(int number) const {
    const SignalRecord* r = file_.signals.FindByNumber(number);
    if (!r) throw std::runtime_error("no signal " + std::to_string(number));
    return *r;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const SignalRecord& r : file_.signals) names.push_back(r.Name.str());
    return names;
  }
  template <typename T>
  std::vector<T> ValuesOf(int number) const {
    const SignalRecord& r = Signal(number);
    std::vector<T> out(static_cast<size_t>(r.NoOfValues));
    std::memcpy(out.data(), r.values.get(), out.size() * sizeof(T));
    return out;
  }

  testsupport::TempDir dir_;
  ImportedFile file_;
  std::string name_;
};

TEST_F(Reader, FileKindByExtensionOrFirstBytes) {
  struct Case {
    std::string name;
    std::string content;  // none: the file is not written
    bool write;
    FileKind kind;
  };
  const Case cases[] = {
      {"a.tdms", "", false, FileKind::Tdms},      {"b.TDMS", "", false, FileKind::Tdms},
      {"c.Tdm", "", false, FileKind::Tdm},        {"d.dat", "TDSm....", true, FileKind::Tdms},
      {"e.dat", "tdms....", true, FileKind::Tdms}, {"f.dat", "TdMs", true, FileKind::Tdms},
      {"g.dat", "tdsm....", true, FileKind::Neither}, {"h.dat", "TDSh....", true, FileKind::Neither},
      {"i.dat", "TDS", true, FileKind::Neither},   {"j.dat", "", false, FileKind::Neither},
      {"k.tdms.bak", "TDSm", true, FileKind::Tdms}, {"tdm", "xml", true, FileKind::Neither},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.File(c.name);
    if (c.write) testsupport::WriteFileBytes(path, c.content);
    EXPECT_EQ(orsand::DetectTdmFormat(path), c.kind) << c.name;
  }
  // A folder is not read, whatever its name.
  EXPECT_EQ(orsand::DetectTdmFormat(dir_.Path()), FileKind::Neither);
}

TEST_F(Reader, TypeTable) {
  const std::pair<int32_t, std::pair<int32_t, int32_t>> cases[] = {
      {1, {5, 1}},  {2, {7, 2}},  {3, {9, 4}},  {4, {33, 8}},  {5, {4, 1}},  {6, {6, 2}},  {7, {8, 4}},
      {8, {32, 8}}, {9, {11, 4}}, {10, {13, 8}}, {25, {11, 4}}, {26, {13, 8}}, {0, {0, 0}}, {11, {0, 0}},
      {23, {0, 0}}, {32, {0, 0}}, {33, {0, 0}}, {68, {0, 0}},  {-1, {0, 0}},
  };
  for (const auto& [code, expected] : cases) EXPECT_EQ(orsand::MapDdcDataType(code), expected) << code;
}

TEST_F(Reader, IdentifiersOfChannelNames) {
  const std::pair<std::string, std::string> cases[] = {
      {"Motor Drehzahl [1/min]  ", "Motor_Drehzahl__1_min_"},
      {"$Sys", "S$Sys"},
      {"2nd", "S2nd"},
      {"\xD6ltemp", "\xD6ltemp"},
      {"", "S"},
      {std::string(300, 'a'), std::string(254, 'a')},
      {"_" + std::string(253, 'b'), "S_" + std::string(252, 'b')},
  };
  for (const auto& [in, out] : cases) {
    std::string text = in;
    orsand::MakeIdentifier(text);
    EXPECT_EQ(text, out) << in;
  }
}

TEST_F(Reader, ChannelsBecomeSignalsInBlocksOfTheDataSpace) {
  std::vector<int16_t> shorts(3000);
  for (size_t i = 0; i < shorts.size(); ++i) shorts[i] = static_cast<int16_t>(i % 100 - 50);
  ASSERT_EQ(Load({{"Messung",
                   {Values("Druck 1", tdms::kI16, shorts, {tdms::String("unit_string", "bar")}),
                    Values("U8", tdms::kU8, std::vector<uint8_t>{3, 1, 2}),
                    Doubles("D", {2.5})}}},
                 {tdms::String("name", "Lauf 7")})
                .result,
            LoadResult::Imported);
  EXPECT_EQ(name_, "Lauf 7");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Druck_1", "U8", "D"}));
  const SignalRecord& s = Signal(1);
  EXPECT_EQ(s.DisplayName, "Druck 1\\Messung");
  EXPECT_EQ(s.DTyp, 7);
  EXPECT_EQ(s.Demux, 2);
  EXPECT_EQ(s.ValuesPerBlock, 2048);
  EXPECT_EQ(s.Block0, 0);
  EXPECT_EQ(s.NoOfValues, 3000);
  EXPECT_EQ(s.endOffset, 6000u);
  EXPECT_EQ(s.YUnit, "bar");
  EXPECT_EQ(s.XUnit, "s");
  EXPECT_EQ(s.YFactor, 1.0);
  EXPECT_EQ(s.group, 1);
  EXPECT_EQ(s.YMin, -50);
  EXPECT_EQ(s.YMax, 49);
  EXPECT_EQ(ValuesOf<int16_t>(1), shorts);
  // Two blocks for the shorts, one each for the others.
  EXPECT_EQ(Signal(2).Block0, 2);
  EXPECT_EQ(Signal(2).byteOffset, 8192u);
  EXPECT_EQ(Signal(2).ValuesPerBlock, 4096);
  EXPECT_EQ(Signal(3).Block0, 3);
  EXPECT_EQ(Signal(3).ValuesPerBlock, 512);
  EXPECT_EQ(file_.DataSize, 4u * 4096);
  EXPECT_EQ(file_.BlockSize, 4096u);
}

TEST_F(Reader, ValueScanGivesRangeStepsAndRise) {
  struct Case {
    std::vector<double> values;
    double yMin, yMax, minDelta, maxDelta;
    int rising;
  };
  const Case cases[] = {
      {{0, 1, 3, 6}, 0, 6, 1, 3, 1},
      {{5, 4, 4, 9}, 4, 9, -1, 5, 0},
      {{2, 2}, 2, 2, 0, 0, 0},
      {{7}, 7, 7, 0, 0, 0},
  };
  for (const Case& c : cases) {
    // The "minimum" and "maximum" properties give way to the scan.
    ASSERT_EQ(Load({{"G", {Doubles("v", c.values, {tdms::F64("minimum", -99), tdms::F64("maximum", 99)})}}}).result,
              LoadResult::Imported);
    const SignalRecord& s = Signal(1);
    EXPECT_EQ(s.YMin, c.yMin);
    EXPECT_EQ(s.YMax, c.yMax);
    EXPECT_EQ(s.MinDelta, c.minDelta);
    EXPECT_EQ(s.MaxDelta, c.maxDelta);
    EXPECT_EQ(s.IsUniDir, c.rising) << c.values.size();
  }
}

TEST_F(Reader, ALargeChannelIsReadAndScannedWhole) {
  // 300,000 doubles (2.4 MB) rising by 1, but for one step back just behind
  // 32,768 values, where a slice of reading and scanning may end.
  std::vector<double> values = Ramp(0, 1, 300000);
  values[32768] = values[32767] - 0.5;
  values[299999] = 1e6;
  ASSERT_EQ(Load({{"G", {Doubles("Big", values)}}}).result, LoadResult::Imported);
  EXPECT_EQ(ValuesOf<double>(1), values);
  const SignalRecord& s = Signal(1);
  EXPECT_EQ(s.YMin, 0);
  EXPECT_EQ(s.YMax, 1e6);
  EXPECT_EQ(s.MinDelta, -0.5);
  EXPECT_EQ(s.MaxDelta, 1e6 - 299998);
  EXPECT_EQ(s.IsUniDir, 0);
}

TEST_F(Reader, TheGroupsTimeChannelGivesTheOthersTheirTimeAxis) {
  // Even steps: every other channel is described by XFactor alone.
  ASSERT_EQ(Load({{"G", {Doubles("A", {1, 2, 3, 4}), Doubles("Zeit_1", {0, 0.1, 0.2, 0.3}), Doubles("B", {5, 6, 7, 8})}}})
                .result,
            LoadResult::Imported);
  const SignalRecord& t = Signal(2);
  EXPECT_EQ(t.isTime, 1);
  EXPECT_DOUBLE_EQ(t.XFactor, 0.1);
  EXPECT_EQ(t.XMin, 0);
  EXPECT_EQ(t.XMax, 0.3);
  for (int n : {1, 3}) {
    EXPECT_EQ(Signal(n).xLink, nullptr) << n;
    EXPECT_DOUBLE_EQ(Signal(n).XFactor, 0.1) << n;
    EXPECT_EQ(Signal(n).XMax, 0.3) << n;
  }

  // Uneven steps: the channels behind it keep their link, those before it never had one.
  ASSERT_EQ(Load({{"G", {Doubles("A", {1, 2, 3}), Doubles("zeit", {0, 0.1, 0.25}), Doubles("B", {5, 6, 7})}}}).result,
            LoadResult::Imported);
  EXPECT_DOUBLE_EQ(Signal(2).XFactor, 0.125);
  EXPECT_DOUBLE_EQ(Signal(2).MaxDelta, 0.15);
  EXPECT_EQ(Signal(1).xLink, nullptr);
  EXPECT_EQ(Signal(3).xLink, &Signal(2));
  EXPECT_DOUBLE_EQ(Signal(3).XFactor, 0.125);
}

TEST_F(Reader, AFirstRisingChannelNamedTimeIsTheTimeChannel) {
  const auto monotony = std::vector<tdms::Property>{tdms::String("monotony", "Increasing")};
  ASSERT_EQ(Load({{"G", {Doubles("Timestamp", {0, 1, 3}, monotony), Doubles("V", {1, 2, 4})}}}).result,
            LoadResult::Imported);
  EXPECT_EQ(Signal(1).isTime, 1);
  EXPECT_EQ(Signal(2).xLink, &Signal(1));
  // The same channel in second place is an ordinary one.
  ASSERT_EQ(Load({{"G", {Doubles("V", {1, 2, 4}), Doubles("Timestamp", {0, 1, 3}, monotony)}}}).result,
            LoadResult::Imported);
  EXPECT_EQ(Signal(2).isTime, 0);
  EXPECT_EQ(Signal(2).xLink, nullptr);
}

TEST_F(Reader, WaveformPropertiesGiveTheTimeAxis) {
  ASSERT_EQ(Load({{"G",
                   {Doubles("Null", Ramp(0, 1, 100), {tdms::F64("wf_increment", 0), tdms::F64("wf_start_offset", 5)}),
                    Doubles("Sinus", Ramp(0, 1, 10),
                            {tdms::F64("wf_increment", 0.5), tdms::String("wf_xunit_string", "ms")}),
                    Doubles("Empty", Ramp(0, 1, 10), {tdms::String("wf_xunit_string", "")})}}})
                .result,
            LoadResult::Imported);
  EXPECT_EQ(Signal(1).XFactor, 1.0);
  EXPECT_EQ(Signal(1).XOffset, 5);
  EXPECT_EQ(Signal(1).XMin, 5);
  EXPECT_EQ(Signal(1).XMax, 105);
  EXPECT_EQ(Signal(2).XFactor, 0.5);
  EXPECT_EQ(Signal(2).XUnit, "ms");
  EXPECT_EQ(Signal(2).XMax, 0);  // no start offset
  EXPECT_EQ(Signal(3).XUnit, "s");
}

TEST_F(Reader, PropertiesOfAnotherTypeCountAsAbsent) {
  // Only a channel's name and count are required; a property that does not
  // read as the type asked for is taken as missing.
  ASSERT_EQ(Load({{"G",
                   {Doubles("A", {1, 2},
                            {tdms::String("wf_increment", "0.5"), tdms::String("wf_start_offset", "5"),
                             tdms::F64("unit_string", 3), tdms::Time("wf_xunit_string", tdms::FromUnix(0)),
                             tdms::I32("monotony", 1)})}}})
                .result,
            LoadResult::Imported);
  const SignalRecord& s = Signal(1);
  EXPECT_EQ(s.XFactor, 1.0);
  EXPECT_EQ(s.XOffset, 0);
  EXPECT_EQ(s.XMax, 0);
  EXPECT_EQ(s.YUnit, "");
  EXPECT_EQ(s.XUnit, "s");
  EXPECT_EQ(s.NoOfValues, 2);
}

TEST_F(Reader, ChannelsWithoutValuesAreDropped) {
  ASSERT_EQ(Load({{"G", {Texts("T", {"a", "b"}), Doubles("A", {1, 2}), Doubles("None", {})}}}).result,
            LoadResult::Imported);
  EXPECT_EQ(Names(), std::vector<std::string>{"A"});
  EXPECT_EQ(Signal(1).number, 1);
  EXPECT_EQ(Signal(1).Block0, 0);

  // Nothing left: the import fails without a word.
  ScriptedAnswers script;
  EXPECT_EQ(Load({{"G", {Texts("T", {"a"})}}}).result, LoadResult::NoChannels);
  EXPECT_TRUE(script.Log().empty());
}

TEST_F(Reader, ATextTimeChannelThatIsDroppedLeavesNoLinks) {
  ASSERT_EQ(Load({{"G", {Texts("Zeit", {"a", "b"}), Doubles("A", {1, 2}), Doubles("B", {3, 4})}}}).result,
            LoadResult::Imported);
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Signal(1).xLink, nullptr);
  EXPECT_EQ(Signal(2).xLink, nullptr);
}

TEST_F(Reader, PropertiesBecomeComments) {
  ASSERT_EQ(Load({{"G1",
                   {Doubles("A", {1}, {tdms::String("Sensor", "S1"), tdms::String("monotony", "increasing"),
                                       tdms::String("wf_xname", "Zeit"), tdms::String("NI_Extra", "x")}),
                    Doubles("B", {1}, {tdms::String("Sensor", "S1"), tdms::F64("Gain", 2)})},
                   {tdms::String("Sensor", "S1"), tdms::String("Ort", "Halle")}}},
                 {tdms::String("name", "N"), tdms::String("Projekt", "P")})
                .result,
            LoadResult::Imported);
  std::vector<std::pair<std::string, std::string>> comments;
  for (size_t i = 0; i < file_.comments.Count(); ++i)
    comments.emplace_back(file_.comments.Slot(i)->name, file_.comments.Slot(i)->value);
  // The file's leading texts (present, if empty, in TDMS) and its own; the
  // group's but its name (the same pair as a channel's counts twice); a
  // channel's once, without its leading ones and the waveform ones.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"name", "N"},        {"description", ""}, {"title", ""},     {"author", ""},     {"Projekt", "P"},
      {"description", ""},  {"Sensor", "S1"},    {"Ort", "Halle"},  {"NI_Extra", "x"},
  };
  EXPECT_EQ(comments, expected);
}

TEST_F(Reader, TheCommentTableKeeps256Pairs) {
  std::vector<tdms::Property> props;
  for (int i = 0; i < 300; ++i) props.push_back(tdms::String("p" + std::to_string(i), "v"));
  ASSERT_EQ(Load({{"G", {Doubles("A", {1})}}}, props).result, LoadResult::Imported);
  ASSERT_EQ(file_.comments.Count(), 256u);
  EXPECT_EQ(file_.comments.Slot(255)->name, "p251");  // behind name, description, title, author
  EXPECT_EQ(file_.comments.Slot(256), nullptr);
}

TEST_F(Reader, FileDateFromTheLastTimestampProperty) {
  struct Case {
    const char* tz;
    std::vector<tdms::Property> props;
    int32_t date;
  };
  const Case cases[] = {
      {"UTC", {tdms::Time("datetime", tdms::FromUnix(1709280930, 0.25))}, 1709280930},
      {"Europe/Berlin", {tdms::Time("datetime", tdms::FromUnix(1709280930, 0.25))}, 1709280930},
      {"UTC", {tdms::Time("datetime", tdms::FromUnix(100)), tdms::Time("Ende", tdms::FromUnix(200))}, 200},
      {"UTC", {}, 0},  // the datetime of 1904 that TDMS gives every file is before 1970
      {"UTC", {tdms::Time("datetime", tdms::FromUnix(-1))}, 0},
      {"UTC", {tdms::Time("datetime", tdms::FromUnix(0x7FFFFFFF))}, 0x7FFFFFFF},
      {"UTC", {tdms::Time("datetime", tdms::FromUnix(0x80000000))}, 0},
  };
  for (const Case& c : cases) {
    testsupport::ScopedTimeZone tz(c.tz);
    ASSERT_EQ(Load({{"G", {Doubles("A", {1})}}}, c.props).result, LoadResult::Imported);
    EXPECT_EQ(file_.FileDate, c.date) << c.tz << " " << c.props.size();
  }
}

TEST_F(Reader, TimestampChannelsBecomeSecondsWithoutAScan) {
  testsupport::ScopedTimeZone tz("Europe/Berlin");
  // Across the change to summer time on 2024-03-31 at 01:00 UTC.
  const int64_t start = 1711846800 - 2;
  tdms::RawData raw;
  std::vector<double> expected;
  for (int i = 0; i < 5; ++i) {
    raw.Stamp(tdms::FromUnix(start + i * 1, 0.5));
    expected.push_back(static_cast<double>(start + i) + 0.5);
  }
  Chan stamps{"Stamp", tdms::kTimestamp, raw.Bytes(), 5, {}};
  ASSERT_EQ(Load({{"G", {stamps, Doubles("V", {1, 2, 3, 4, 5})}}}).result, LoadResult::Imported);
  const SignalRecord& s = Signal(1);
  EXPECT_EQ(s.DTyp, 13);
  EXPECT_EQ(s.isTime, 1);
  EXPECT_EQ(ValuesOf<double>(1), expected);
  EXPECT_EQ(s.YMin, 0);  // no scan
  EXPECT_EQ(s.IsUniDir, 0);
  EXPECT_EQ(Signal(2).xLink, nullptr);  // not the group's time channel
}

TEST_F(Reader, ANamelessKindIsRefused) {
  ScriptedAnswers script;
  winport::ui::ExpectedDialog box;
  box.text = "Die Datei ist weder TDM- noch TDMs-Format.";
  box.caption = orsand::kMessageCaption;
  box.type = MB_OK | MB_ICONERROR;
  script.Box(box);
  EXPECT_EQ(Load(Write("MDF     ", "x.dat")).result, LoadResult::NotTdm);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(Reader, DamageIsReportedWithTheLibrarysText) {
  const std::string text = std::string("Error reading file: ") + orsand::DDC_GetLibraryErrorDescription(DDC_ErrDamaged);
  ScriptedAnswers script;
  script.Box(text);
  // A channel of a type code that TDMS does not know, in the first segment.
  tdms::Segment segment;
  segment.objects = {tdms::WithData(tdms::Path("G", "A"), 0x77, 1)};
  segment.raw = "x";
  const auto outcome = Load(Write(tdms::Encode({segment})));
  EXPECT_EQ(outcome.result, LoadResult::LibraryError);
  EXPECT_EQ(outcome.status, DDC_ErrDamaged);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(Reader, ADataSpaceBeyondTheLimitEndsTheImportAsOutOfMemory) {
  const std::string text = std::string("Error reading file: ") + orsand::DDC_GetLibraryErrorDescription(-6201);
  ScriptedAnswers script;
  script.Box(text).Box(text);
  const std::string path = Write(TdmsFile({{"G", {Doubles("A", Ramp(0, 1, 512)), Doubles("B", Ramp(0, 1, 1025))}}}));
  EXPECT_EQ(Load(path, {.maxDataSpace = 4 * 4096 - 1}).status, -6201);
  EXPECT_EQ(Load(path, {.maxDataSpace = 4 * 4096}).result, LoadResult::Imported);

  // A count beyond 32 bits: a TDM time axis of 3e9 generated values.
  tdm::File f;
  tdm::Channel c;
  c.name = "t";
  c.representation = "implicit_linear";
  c.external = false;
  c.inline_values = "0 1";
  c.rows = 3000000000u;
  f.groups = {{"G", {}, "", {c}}};
  const tdm::Written w = tdm::Build(f);
  testsupport::WriteFileBytes(dir_.File("data.tdx"), w.tdx);
  EXPECT_EQ(Load(Write(w.xml, "big.tdm")).status, -6201);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(Reader, TdmChannelsWithInlineAndStoredValues) {
  tdm::File f;
  f.name = "Versuch";
  f.datetime = "2024-03-01T08:15:30.25";
  tdm::Channel zeit;
  zeit.name = "Zeit";
  zeit.rows = 4;
  zeit.length = 4;
  zeit.tdx = tdm::Bytes<double>({0, 0.5, 1, 1.5}, true);
  tdm::Channel v;
  v.name = "Kraft";
  v.unit = "N";
  v.datatype = "DT_LONG";
  v.sequence = "long_sequence";
  v.value_type = "eInt32Usi";
  v.rows = 4;
  v.length = 4;
  v.tdx = tdm::Bytes<int32_t>({-3, 9, 4, 1}, true);
  tdm::Channel names;
  names.name = "Namen";
  names.datatype = "DT_STRING";
  names.sequence = "string_sequence";
  names.external = false;
  names.inline_values = "<s>a</s><s>b</s>";
  names.rows = 2;
  f.groups = {{"Messung", {}, "", {zeit, v, names}}};
  f.big_endian = true;
  const tdm::Written w = tdm::Build(f);
  testsupport::WriteFileBytes(dir_.File("data.tdx"), w.tdx);
  testsupport::ScopedTimeZone tz("UTC");
  ASSERT_EQ(Load(Write(w.xml, "v.tdm")).result, LoadResult::Imported);
  EXPECT_EQ(name_, "Versuch");
  EXPECT_EQ(file_.FileDate, 1709280930);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Zeit", "Kraft"}));
  EXPECT_EQ(ValuesOf<int32_t>(2), (std::vector<int32_t>{-3, 9, 4, 1}));
  EXPECT_EQ(Signal(2).DTyp, 9);
  EXPECT_EQ(Signal(2).YUnit, "N");
  EXPECT_EQ(Signal(2).xLink, nullptr);  // even steps
  EXPECT_EQ(Signal(2).XFactor, 0.5);
}

}  // namespace

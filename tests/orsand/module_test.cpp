// The module Orsand through the host stand-in: registered, created by ProgID
// and driven by member names, as the analysis host does.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/failure.h"
#include "host/session.h"
#include "tests/orsand/oracle.h"
#include "tests/support/host_harness.h"
#include "tests/support/tdm_writer.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/time_zone.h"

namespace {

namespace tdms = testsupport::tdms;
namespace tdm = testsupport::tdm;
using host::NumberOf;
using host::TextOf;
using host::Value;

constexpr const char* kProgId = "Orsand.ZPFileImport";

class Module : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("WINPORT_DLL_PATH", DDC_DIR, 0); }
  void SetUp() override { host_.Register(ORSAND_MODULE_PATH); }

  std::string Write(const std::string& bytes, const std::string& name = "f.tdms") {
    const std::string path = host_.Dir().File(name);
    testsupport::WriteFileBytes(path, bytes);
    return path;
  }
  // A TDMS file of one segment: objects with their values' bytes behind each other.
  std::string WriteTdms(std::vector<tdms::Object> objects, const std::string& raw, const std::string& name = "f.tdms") {
    tdms::Segment segment;
    segment.objects = std::move(objects);
    segment.raw = raw;
    return Write(tdms::Encode({segment}), name);
  }
  const host::PropertyList& Signal(const testsupport::ImportResult& r, const std::string& name) {
    for (const host::PropertyList& s : r.signals)
      if (TextOf(s, "Name") == name) return s;
    throw std::runtime_error("no signal " + name);
  }

  testsupport::HostHarness host_;
};

std::vector<tdms::Property> ThermocoupleScale() {
  return {tdms::I32("NI_Number_Of_Scales", 1), tdms::String("NI_Scale[0]_Scale_Type", "Thermocouple")};
}

// Two channels of 100 doubles each: c0 holds 0..99, c1 holds 1000..1099.
std::vector<tdms::Object> TwoChannels() {
  return {tdms::WithData(tdms::Path("G", "c0"), tdms::kF64, 100), tdms::WithData(tdms::Path("G", "c1"), tdms::kF64, 100)};
}
std::string TwoChannelValues() {
  tdms::RawData raw;
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 100; ++i) raw.Value(static_cast<double>(1000 * c + i));
  return raw.Bytes();
}

TEST_F(Module, TheContractIsThe25And51MemberForm) {
  const std::string path = WriteTdms(TwoChannels(), TwoChannelValues());
  const auto r = host_.Import(kProgId, path);
  ASSERT_EQ(r.signals.size(), 2u);
  // The file object's members up to DaffExists, none of the newer ones.
  EXPECT_EQ(NumberOf(r.file, "Version"), 256);
  EXPECT_EQ(NumberOf(r.file, "nFiles"), 1);
  EXPECT_EQ(NumberOf(r.file, "nScalars"), 0);
  EXPECT_EQ(NumberOf(r.file, "BlockSize"), 4096);
  EXPECT_EQ(NumberOf(r.file, "DataSize"), 8192);
  EXPECT_EQ(NumberOf(r.file, "ParSize"), 0);
  EXPECT_EQ(NumberOf(r.file, "IsValid"), 1);
  // The host asks IsValid(path) before Name, and IsValid keeps the path as the Name text.
  EXPECT_EQ(TextOf(r.file, "Name"), path);
  ASSERT_NE(host::Find(r.file, "DaffExists"), nullptr);
  EXPECT_EQ(*host::Find(r.file, "DaffExists"), Value{});
  for (const char* absent : {"CanDoReadEx", "ZpVersion", "ReadEx"}) EXPECT_EQ(host::Find(r.file, absent), nullptr) << absent;

  // Every signal property, in the contract's order, without iGroup.
  const host::PropertyList& s = r.signals[1];
  std::vector<std::string> names;
  for (const auto& [name, value] : s) names.push_back(name);
  ASSERT_EQ(names.size(), 51u);
  EXPECT_EQ(names.front(), "Name");
  EXPECT_EQ(names.back(), "YDataMax");
  const std::vector<std::pair<std::string, Value>> expected = {
      {"Name", std::string("c1")}, {"STyp", int64_t{0}}, {"DTyp", int64_t{13}}, {"Ignore", int64_t{0}},
      {"ValuesPerBlock", int64_t{512}}, {"BlockOffset", int64_t{0}}, {"Demux", int64_t{8}}, {"Block0", int64_t{1}},
      {"NoOfValues", int64_t{100}}, {"YMin", 1000.0}, {"YMax", 1099.0}, {"YFactor", 1.0}, {"YOffset", 0.0},
      {"XFactor", 1.0}, {"XUnit", std::string("s")}, {"YUnit", std::string("")}, {"MinDelta", 1.0},
      {"MaxDelta", 1.0}, {"IsUniDir", int64_t{1}}, {"DisplayName", std::string("c1\\G")}, {"Alias", std::string("")},
      {"Label", Value{}}, {"XGrid", Value{}}, {"tag_DM_CMNT", Value{}}, {"XLink", Value{}}, {"XSignal", Value{}},
      {"XLabel", Value{}}, {"tag_DM_PSEC", 0.0}, {"BitSize", int64_t{0}}, {"FileNo", int64_t{1}},
      {"LineStyle", int64_t{0}}, {"HasNoValue", int64_t{0}}, {"YDataMin", 1e308}, {"YDataMax", 1e308},
      {"NoValuesRaw", Value{}}, {"NoValue", 0.0}, {"Sweep", 0.0},
  };
  for (const auto& [name, value] : expected) {
    const Value* got = host::Find(s, name);
    ASSERT_NE(got, nullptr) << name;
    EXPECT_EQ(*got, value) << name;
  }
}

TEST_F(Module, ReadsStayInsideOneChannelAndPassOverTheRestOfItsBlock) {
  host::Session session(kProgId);
  host::Object& file = session.File();
  session.Import(WriteTdms(TwoChannels(), TwoChannelValues()), "");
  std::vector<double> values(1024);
  auto fill = [&] { std::fill(values.begin(), values.end(), -1.0); };
  uint8_t* buffer = reinterpret_cast<uint8_t*>(values.data());
  auto read = [&](uint32_t bytes) { file.Call("Read", {host::BufferRef{&buffer}, int64_t{bytes}}); };
  auto seek = [&](int32_t pos, int32_t origin) { file.Call("Seek", {int64_t{pos}, int64_t{origin}}); };

  file.Call("Open");
  fill();
  read(1000);  // 800 bytes: the first channel's values
  EXPECT_EQ(values[99], 99);
  EXPECT_EQ(values[100], -1);

  seek(4096, 0);
  fill();
  read(4096);
  EXPECT_EQ(values[0], 1000);
  EXPECT_EQ(values[99], 1099);
  EXPECT_EQ(values[100], -1);
  // Now in the rest of the second channel's block: nothing is copied, and the
  // position moves on to the end (8192), as the next reads show.
  fill();
  read(4096);
  EXPECT_EQ(values[0], -1);
  seek(-4096, 1);
  read(8);
  EXPECT_EQ(values[0], 1000);

  // A negative position reads nothing and stays.
  seek(-16, 0);
  fill();
  read(64);
  EXPECT_EQ(values[0], -1);
  seek(16, 1);
  read(8);
  EXPECT_EQ(values[0], 0);

  // From the end, and with an origin that means nothing.
  seek(8192 - 8, 2);
  read(8);
  EXPECT_EQ(values[0], 1);
  seek(5, 7);
  read(8);
  EXPECT_EQ(values[0], 2);
  file.Call("Close");
}

TEST_F(Module, SignalsAreStreamedWithTheirTimeAxis) {
  // A time channel of uneven steps: the other channels name it as their XSignal.
  tdms::RawData raw;
  raw.Values<double>({0, 0.1, 0.25}).Values<int16_t>({-1, 5, 7});
  host_.Import(kProgId, WriteTdms({tdms::WithData(tdms::Path("G", "Zeit"), tdms::kF64, 3),
                                   tdms::WithData(tdms::Path("G", "V"), tdms::kI16, 3, {tdms::String("unit_string", "bar")})},
                                  raw.Bytes()));
  const auto samples = host_.Samples("V");
  EXPECT_EQ(samples.values, (std::vector<std::optional<double>>{-1, 5, 7}));
  EXPECT_EQ(samples.times, (std::vector<std::optional<double>>{0, 0.1, 0.25}));
}

TEST_F(Module, TimeAxesAndLayoutAsTheHostSeesThem) {
  struct Case {
    std::string what;
    std::vector<tdms::Object> objects;
    std::string raw;
    std::string signal, property;
    Value expected;
  };
  auto doubles = [](std::vector<double> v) { return tdms::RawData().Values(v).Bytes(); };
  const auto monotony = tdms::String("monotony", "increasing");
  std::vector<int16_t> shorts(3000, 7);
  const Case cases[] = {
      {"even time steps need no link",
       {tdms::WithData(tdms::Path("G", "Zeit_1"), tdms::kF64, 4), tdms::WithData(tdms::Path("G", "A"), tdms::kF64, 4)},
       doubles({0, 0.5, 1, 1.5, 1, 2, 3, 4}), "A", "XSignal", Value{}},
      {"even time steps: the factor",
       {tdms::WithData(tdms::Path("G", "Zeit_1"), tdms::kF64, 4), tdms::WithData(tdms::Path("G", "A"), tdms::kF64, 4)},
       doubles({0, 0.5, 1, 1.5, 1, 2, 3, 4}), "A", "XFactor", 0.5},
      {"uneven time steps keep the link",
       {tdms::WithData(tdms::Path("G", "Zeit"), tdms::kF64, 3), tdms::WithData(tdms::Path("G", "A"), tdms::kF64, 3)},
       doubles({0, 0.1, 0.25, 1, 2, 3}), "A", "XSignal", std::string("Zeit")},
      {"uneven time steps: the mean step",
       {tdms::WithData(tdms::Path("G", "Zeit"), tdms::kF64, 3), tdms::WithData(tdms::Path("G", "A"), tdms::kF64, 3)},
       doubles({0, 0.1, 0.25, 1, 2, 3}), "Zeit", "XFactor", 0.125},
      {"a first rising Timestamp is the time channel",
       {tdms::WithData(tdms::Path("G", "Timestamp"), tdms::kF64, 3, {monotony}),
        tdms::WithData(tdms::Path("G", "A"), tdms::kF64, 3)},
       doubles({0, 1, 3, 1, 2, 3}), "A", "XSignal", std::string("Timestamp")},
      {"a second one is not",
       {tdms::WithData(tdms::Path("G", "A"), tdms::kF64, 3),
        tdms::WithData(tdms::Path("G", "Timestamp"), tdms::kF64, 3, {monotony})},
       doubles({1, 2, 3, 0, 1, 3}), "Timestamp", "XSignal", Value{}},
      {"3000 shorts take two blocks", {tdms::WithData(tdms::Path("G", "S"), tdms::kI16, 3000)},
       tdms::RawData().Values(shorts).Bytes(), "S", "ValuesPerBlock", int64_t{2048}},
      {"wf_increment 0 is 1",
       {tdms::WithData(tdms::Path("G", "W"), tdms::kF64, 100,
                       {tdms::F64("wf_increment", 0), tdms::F64("wf_start_offset", 5)})},
       doubles(std::vector<double>(100, 1.5)), "W", "XFactor", 1.0},
      {"wf_start_offset 5 with 100 values ends at 105",
       {tdms::WithData(tdms::Path("G", "W"), tdms::kF64, 100,
                       {tdms::F64("wf_increment", 0), tdms::F64("wf_start_offset", 5)})},
       doubles(std::vector<double>(100, 1.5)), "W", "XMax", 105.0},
  };
  for (const Case& c : cases) {
    const auto r = host_.Import(kProgId, WriteTdms(c.objects, c.raw));
    const Value* got = host::Find(Signal(r, c.signal), c.property);
    ASSERT_NE(got, nullptr) << c.what;
    EXPECT_EQ(*got, c.expected) << c.what;
  }
}

TEST_F(Module, CommentsAreNumberedFromOne) {
  // Three comments: the file's name and two text attributes of the root.
  tdm::File f;
  f.name = "Lauf";
  f.attributes = "<string_attribute name=\"Ort\"><s>Halle 3</s></string_attribute>"
                 "<string_attribute name=\"Pr\xC3\xBC" "fer\"><s>M\xC3\xBCller</s></string_attribute>"
                 "<double_attribute name=\"Gain\">2</double_attribute>";
  tdm::Channel c;
  c.name = "A";
  c.rows = 2;
  c.length = 2;
  c.tdx = tdm::Bytes<double>({1, 2});
  f.groups = {{"G", {}, "", {c}}};
  const tdm::Written w = tdm::Build(f);
  Write(w.tdx, "data.tdx");
  const auto r = host_.Import(kProgId, Write(w.xml, "c.tdm"));
  EXPECT_EQ(NumberOf(r.file, "NoOfComments"), 4);
  ASSERT_EQ(r.comments.size(), 3u);
  EXPECT_EQ(r.comments[0].index, 1);
  EXPECT_EQ(r.comments[0].text, "Lauf");
  EXPECT_EQ(r.comments[2].name, "Pr\xC3\xBC" "fer");
  EXPECT_EQ(r.comments[2].text, "M\xC3\xBCller");

  host::Session session(kProgId);
  session.Import(host_.Dir().File("c.tdm"), "");
  for (int64_t index : {0, 4, 256}) {
    EXPECT_EQ(session.File().Get("FileComment", {index}), Value{}) << index;
    EXPECT_EQ(session.File().Get("CommentName", {index}), Value{}) << index;
  }
}

TEST_F(Module, IsValidByExtensionOrFirstBytes) {
  host::Session session(kProgId);
  // A .TDM file is not opened: it need not exist.
  EXPECT_EQ(session.IsValid(host_.Dir().File("missing.TDM")), 1);
  EXPECT_EQ(session.File().Get("Name", {int64_t{0}}), Value{host_.Dir().File("missing.TDM")});
  EXPECT_EQ(session.IsValid(Write("tdms and more", "x.dat")), 1);
  EXPECT_EQ(session.IsValid(Write("MDF     ", "y.dat")), 0);
}

TEST_F(Module, SignalObjectsOutliveTheirImportSafely) {
  const std::string path = WriteTdms(TwoChannels(), TwoChannelValues());
  host::Session session(kProgId);
  session.Import(path, "");
  host::Object signal = session.File().GetObject("Signal", {int64_t{2}});
  host::Object none = session.File().GetObject("Signal", {int64_t{0}});
  host::Object beyond = session.File().GetObject("Signal", {int64_t{3}});
  host::Object scalar = session.File().GetObject("Scalar", {int64_t{1}});
  EXPECT_EQ(signal.Get("Name"), Value{std::string("c1")});
  for (host::Object* o : {&none, &beyond}) {
    EXPECT_EQ(o->Get("Name"), Value{});
    EXPECT_EQ(o->Get("NoOfValues"), Value{int64_t{0}});
    EXPECT_EQ(o->Get("FileNo"), Value{int64_t{0}});
  }
  EXPECT_EQ(scalar.Get("FileNo"), Value{int64_t{1}});
  EXPECT_EQ(scalar.Get("Name"), Value{});
  EXPECT_EQ(scalar.Get("Value"), Value{0.0});

  // Released, or replaced by a new import: the object finds no record.
  session.File().Call("ReleaseFile");
  EXPECT_EQ(signal.Get("Name"), Value{});
  EXPECT_EQ(signal.Get("YMax"), Value{0.0});
  signal = session.File().GetObject("Signal", {int64_t{1}});
  session.File().Call("ImportFile", {path, std::string()});
  EXPECT_EQ(signal.Get("XSignal"), Value{});
  EXPECT_EQ(signal.Get("NoOfValues"), Value{int64_t{0}});
}

TEST_F(Module, ANewImportStartsAfresh) {
  const std::string first = WriteTdms({tdms::NoData("/", {tdms::String("name", "Erster"),
                                                          tdms::Time("datetime", tdms::FromUnix(1709280930))}),
                                       tdms::WithData(tdms::Path("G", "c0"), tdms::kF64, 1)},
                                      tdms::RawData().Value(1.0).Bytes(), "a.tdms");
  const std::string second = WriteTdms({tdms::WithData(tdms::Path("G", "c0"), tdms::kF64, 1)},
                                       tdms::RawData().Value(2.0).Bytes(), "b.tdms");
  host::Session session(kProgId);
  session.Import(first, "");
  EXPECT_EQ(session.File().Get("FileDate"), Value{int64_t{1709280930}});
  session.Import(second, "");
  EXPECT_EQ(session.File().Get("FileDate"), Value{int64_t{0}});
  EXPECT_EQ(session.File().Get("Name", {int64_t{0}}), Value{std::string("b")});
}

TEST_F(Module, BadInputGetsItsMessage) {
  struct Case {
    std::string what, file, bytes;
    std::vector<std::string> boxes;  // caption "TDMs Import"
  };
  tdms::Segment damaged;
  damaged.objects = {tdms::WithData(tdms::Path("G", "A"), 0x77, 1)};
  damaged.raw = "x";
  tdms::Segment texts;
  texts.objects = {tdms::WithStrings(tdms::Path("G", "T"), {"a", "b"})};
  texts.raw = tdms::RawData().Strings({"a", "b"}).Bytes();
  tdms::Segment thermocouple;
  thermocouple.objects = {tdms::WithData(tdms::Path("G", "T"), tdms::kI32, 1, ThermocoupleScale())};
  thermocouple.raw = tdms::RawData().Value(int32_t{7}).Bytes();
  const Case cases[] = {
      {"neither kind", "x.dat", "MDF     ", {"Die Datei ist weder TDM- noch TDMs-Format."}},
      // Followed by the library's description of the damage.
      {"damage", "d.tdms", tdms::Encode({damaged}), {"Error reading file: "}},
      {"no channel with values", "t.tdms", tdms::Encode({texts}), {}},
      {"every channel left out", "s.tdms", tdms::Encode({thermocouple}),
       {"No channel of the file can be imported:\nT\\G: The channel's scaling needs a Thermocouple scale"}},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(host_.Import(kProgId, Write(c.bytes, c.file)), host::Failure) << c.what;
    const auto boxes = host_.Boxes();
    ASSERT_EQ(boxes.size(), c.boxes.size()) << c.what;
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(boxes[i].caption, "TDMs Import") << c.what;
      EXPECT_TRUE(boxes[i].text.starts_with(c.boxes[i])) << c.what << ": " << boxes[i].text;
    }
  }
}

TEST_F(Module, DaqmxChannelsArriveInPhysicalUnitsAndTheOthersAreNamed) {
  // One raw buffer of 4-byte rows: V (i16 at byte 0, scaled to volts) and
  // P (i16 at byte 2, no scaling); T needs a scale that is not computed.
  const std::vector<tdms::Property> volts = {
      tdms::String("NI_Scaling_Status", "unscaled"), tdms::I32("NI_Number_Of_Scales", 2),
      tdms::String("NI_Scale[1]_Scale_Type", "Linear"), tdms::F64("NI_Scale[1]_Linear_Slope", 0.0625),
      tdms::F64("NI_Scale[1]_Linear_Y_Intercept", -2), tdms::U32("NI_Scale[1]_Linear_Input_Source", 0),
      tdms::String("unit_string", "V"), tdms::F64("wf_increment", 0.001)};
  std::vector<tdms::Property> thermocouple = ThermocoupleScale();
  thermocouple.push_back(tdms::F64("wf_increment", 0.001));
  tdms::Segment s;
  s.toc = tdms::kDefaultToc | tdms::kTocDaqmx;
  s.objects = {tdms::Daqmx(tdms::Path("G", "V"), 4, {6}, {{3, 0, 0, 0}}, volts),
               tdms::Daqmx(tdms::Path("G", "P"), 4, {6}, {{3, 0, 2, 0}}),
               tdms::Daqmx(tdms::Path("G", "T"), 4, {6}, {{3, 0, 4, 0}}, thermocouple)};
  const std::vector<int16_t> v = {-32768, 0, 16, 32767}, p = {5, -6, 7, -8};
  tdms::RawData raw;
  for (size_t i = 0; i < v.size(); ++i) raw.Value(v[i]).Value(p[i]).Value(int16_t{1});
  s.raw = raw.Bytes();
  const auto r = host_.Import(kProgId, Write(tdms::Encode({s})));

  ASSERT_EQ(r.signals.size(), 2u);
  const host::PropertyList& signal = Signal(r, "V");
  EXPECT_EQ(NumberOf(signal, "DTyp"), 13);
  EXPECT_EQ(TextOf(signal, "YUnit"), "V");
  EXPECT_EQ(NumberOf(signal, "XFactor"), 0.001);
  std::vector<std::optional<double>> expected;
  for (int16_t x : v) expected.push_back(x * 0.0625 - 2);
  EXPECT_EQ(host_.Samples("V").values, expected);
  EXPECT_EQ(NumberOf(signal, "YMin"), -32768 * 0.0625 - 2);
  EXPECT_EQ(NumberOf(signal, "YMax"), 32767 * 0.0625 - 2);
  EXPECT_EQ(NumberOf(Signal(r, "P"), "DTyp"), 7);
  EXPECT_EQ(host_.Samples("P").values, (std::vector<std::optional<double>>{5, -6, 7, -8}));
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, "TDMs Import");
  EXPECT_EQ(r.boxes[0].text,
            "Channels left out:\nT\\G: The channel's scaling needs a Thermocouple scale, which is not supported");
}

TEST_F(Module, ANextOffsetBeyondTheFileLosesNoLaterSegment) {
  // The first segment's next offset is damaged; the second reuses its list.
  std::vector<tdms::Segment> s(2);
  s[0].objects = {tdms::WithData(tdms::Path("G", "Zeit"), tdms::kF64, 2), tdms::WithData(tdms::Path("G", "V"), tdms::kI16, 2)};
  s[0].raw = tdms::RawData().Values<double>({0, 0.5}).Values<int16_t>({10, 11}).Values<double>({1, 1.5}).Values<int16_t>({12, 13}).Bytes();
  s[0].next_offset = uint64_t{1} << 40;
  s[1].toc = tdms::kTocRawData;
  s[1].raw = tdms::RawData().Values<double>({2, 2.5}).Values<int16_t>({14, 15}).Bytes();
  const auto r = host_.Import(kProgId, Write(tdms::Encode(s)));
  EXPECT_EQ(NumberOf(Signal(r, "Zeit"), "NoOfValues"), 6);
  EXPECT_EQ(NumberOf(Signal(r, "Zeit"), "XFactor"), 0.5);
  EXPECT_EQ(TextOf(Signal(r, "V"), "XSignal"), "");  // even steps: no link
  const auto samples = host_.Samples("V");
  EXPECT_EQ(samples.values, (std::vector<std::optional<double>>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(samples.times, (std::vector<std::optional<double>>{0, 0.5, 1, 1.5, 2, 2.5}));
}

TEST_F(Module, TdmValuesWrappedInChildElements) {
  tdm::File f;
  tdm::Channel c;
  c.name = "W";
  c.external = false;
  c.inline_values = "<A>0 0.01</A><A>0.02</A>";
  c.rows = 3;
  f.groups = {{"G", {}, "", {c}}};
  const tdm::Written w = tdm::Build(f);
  Write(w.tdx, "data.tdx");
  host_.Import(kProgId, Write(w.xml, "w.tdm"));
  EXPECT_EQ(host_.Samples("W").values, (std::vector<std::optional<double>>{0, 0.01, 0.02}));
}

TEST_F(Module, InstantsOfTheRepeatedHourOfADaylightSavingChangeComeBackAsStored) {
  // Berlin, 2023-10-29: 02:00 to 03:00 local time twice, 00:00 to 02:00 UTC once.
  testsupport::ScopedTimeZone tz("Europe/Berlin");
  const int64_t first = 1698539400;  // 00:30 UTC, 02:30 summer time
  const int64_t stamp = first + 3600;  // 01:30 UTC, 02:30 winter time
  tdms::RawData raw;
  std::vector<std::optional<double>> expected;
  for (int i = 0; i < 4; ++i) {
    raw.Stamp(tdms::FromUnix(first + 1800 * i, 0.25));
    expected.push_back(static_cast<double>(first + 1800 * i) + 0.25);
  }
  const auto r = host_.Import(kProgId, WriteTdms({tdms::NoData("/", {tdms::Time("datetime", tdms::FromUnix(stamp))}),
                                                  tdms::WithData(tdms::Path("G", "Stempel"), tdms::kTimestamp, 4)},
                                                 raw.Bytes()));
  EXPECT_EQ(NumberOf(r.file, "FileDate"), stamp);
  EXPECT_EQ(host_.Samples("Stempel").values, expected);
}

class ModuleCorpus : public Module, public ::testing::WithParamInterface<const char*> {};

TEST_P(ModuleCorpus, EveryFileImportsAsItsOracleReads) {
  SKIP_WITHOUT_CORPUS();
  testsupport::ScopedTimeZone tz(GetParam());
  for (const orsandtest::CorpusFile& f : orsandtest::kCorpusFiles) {
    SCOPED_TRACE(f.path);
    const orsandtest::json oracle = testsupport::LoadOracle(f.path);
    const auto r = host_.Import(kProgId, testsupport::CorpusFile(f.path));
    EXPECT_EQ(NumberOf(r.file, "FileDate"), f.fileDate);

    const auto expected = orsandtest::ExpectedSignals(oracle);
    ASSERT_EQ(r.signals.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const orsandtest::json& c = *expected[i].channel;
      SCOPED_TRACE(expected[i].displayName);
      EXPECT_EQ(TextOf(r.signals[i], "DisplayName"), expected[i].displayName);
      EXPECT_EQ(NumberOf(r.signals[i], "NoOfValues"), c["count"].get<double>());
      const auto samples = host_.Samples(std::to_string(i + 1));
      std::vector<double> values;
      for (const auto& v : samples.values) values.push_back(v.value_or(-1e300));
      if (expected[i].timestamp)
        orsandtest::ExpectSeries(values, c["unix_seconds"], 1e-6, "seconds");
      else
        orsandtest::ExpectSeries(values, c["values"], 0, "values");
    }
    for (const auto& [name, value] : orsandtest::ExpectedComments(oracle)) {
      bool found = false;
      for (const host::Comment& comment : r.comments) found = found || (comment.name == name && comment.text == value);
      EXPECT_TRUE(found) << "comment " << name << " = " << value;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(TimeZones, ModuleCorpus, ::testing::Values("UTC", "Europe/Berlin"));

}  // namespace

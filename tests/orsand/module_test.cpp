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
  const Case cases[] = {
      {"neither kind", "x.dat", "MDF     ", {"Die Datei ist weder TDM- noch TDMs-Format."}},
      // Followed by the library's description of the damage.
      {"damage", "d.tdms", tdms::Encode({damaged}), {"Error reading file: "}},
      {"no channel with values", "t.tdms", tdms::Encode({texts}), {}},
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

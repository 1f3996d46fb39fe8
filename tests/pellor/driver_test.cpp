// The MDF import driver on files the fixture writer makes, through the
// file-import object: names, the CAN-log test, one-value signals, the "MDF2"
// order, the time base, warnings, channels without a host type or without a
// time channel, faulty time channels, the data space's 4 GB, write-back and
// damaged input.
#include "pellor/driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/samples.h"
#include "importcore/host_types.h"
#include "importcore/le.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "pellor/progress.h"
#include "platform/ui/headless.h"
#include "tests/support/host_variables.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"

namespace pellor {
namespace {

using namespace testsupport;
using winport::ui::DialogAction;
using winport::ui::ExpectedDialog;
using winport::ui::ScriptedAnswers;

ChannelDef Channel(const std::string& name, uint16_t bits, uint16_t type, std::function<double(uint32_t)> value,
                   std::optional<CcSpec> cc = std::nullopt) {
  ChannelDef c;
  c.cn = CnSpec{.name = name, .bits = bits, .dataType = type};
  c.value = std::move(value);
  c.cc = std::move(cc);
  return c;
}

ChannelDef Time(std::function<double(uint32_t)> value, double rate = 0.01) {
  ChannelDef t;
  t.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble, .sampleRate = rate};
  t.value = std::move(value);
  return t;
}

// A file of a writer whose files get no special treatment.
FileDef Plain() {
  FileDef def;
  def.id.programId = "TESTPROG";
  return def;
}

// One group: a double time channel (steps of 0.01 s) and the channels given.
FileDef OneGroup(std::vector<ChannelDef> channels, uint32_t records = 20, const std::string& program = "TESTPROG") {
  FileDef def;
  def.id.programId = program;
  GroupDef g;
  g.records = records;
  g.channels.push_back(Time([](uint32_t r) { return r * 0.01; }));
  for (ChannelDef& c : channels) g.channels.push_back(std::move(c));
  def.groups.push_back(std::move(g));
  return def;
}

class DriverTest : public ::testing::Test {
 protected:
  std::string Save(const FileDef& def, const std::string& name = "f.mdf") {
    return Save(BuildFile(def).writer.Bytes(), name);
  }
  std::string Save(const std::string& bytes, const std::string& name = "f.mdf") {
    const std::string path = vars_.Dir().File(name);
    WriteFileBytes(path, bytes);
    return path;
  }
  HRESULT Import(const std::string& path, const std::string& user = "ZSP") { return import_.ImportFile(path, user); }

  const SignalRecord* Find(const std::string& name) {
    for (const SignalRecord& r : import_.Lists().signals)
      if (r.Name.str() == name) return &r;
    return nullptr;
  }
  const SignalRecord& Get(const std::string& name) {
    const SignalRecord* r = Find(name);
    if (!r) throw std::runtime_error("no signal " + name);
    return *r;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const SignalRecord& r : import_.Lists().signals) names.push_back(r.Name.str());
    return names;
  }
  // The signal's bytes as Read delivers them.
  std::vector<uint8_t> Bytes(const SignalRecord& r) {
    std::vector<uint8_t> bytes(r.rangeEnd - r.rangeStart);
    EXPECT_EQ(import_.Open(), S_OK);
    import_.Seek(static_cast<int32_t>(r.rangeStart), 0);
    import_.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
    import_.Close();
    return bytes;
  }
  // Its physical values, as the host takes them from the bytes.
  std::vector<double> Values(const SignalRecord& r) {
    const std::vector<uint8_t> bytes = Bytes(r);
    const host::Decoder decode = host::DecoderOf(r.DTyp);
    std::vector<double> values;
    for (size_t i = 0; decode && i + r.Demux <= bytes.size(); i += r.Demux)
      values.push_back(decode(bytes.data() + i, r.BitSize) * r.YFactor + r.YOffset);
    return values;
  }
  // The times ReadEx delivers with the signal's values.
  std::vector<double> Times(const SignalRecord& r) {
    std::vector<uint8_t> bytes(r.rangeEnd - r.rangeStart);
    std::vector<double> times(r.NoOfValues);
    EXPECT_EQ(import_.Open(), S_OK);
    import_.Seek(static_cast<int32_t>(r.rangeStart), 0);
    import_.ReadEx(bytes.data(), static_cast<uint32_t>(bytes.size()), reinterpret_cast<uint8_t*>(times.data()),
                   static_cast<uint32_t>(times.size() * 8));
    import_.Close();
    return times;
  }

  HostVariables vars_;
  FileImport import_;
};

// ---------------------------------------------------------------- names

TEST(BracketIndices, Cases) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"x(3)", "x[3]"},      {"Drehzahl (1/min)", "Drehzahl"}, {"x(3", "x[3"},  {"m(12)(3)", "m[12][3]"},
      {"a(b)", "a(b)"},      {"x  (1)", "x"},                  {"(1)", "[1]"},   {"x(3a)", "x[3])"},
      {"(abc)", "(abc)"},    {"", ""},
  };
  for (const auto& c : cases) {
    std::string name = c.in;
    BracketIndices(name);
    EXPECT_EQ(name, c.out) << c.in;
  }
}

TEST(ParseDataConv, Cases) {
  const struct {
    const char* value;
    std::optional<uint16_t> version;
  } cases[] = {{" 03.01", 3 * 256 + 1}, {"x3.1", 3 * 256 + 1}, {" 12.34567", 12 * 256 + 34}, {" 3", std::nullopt},
               {"x", std::nullopt},     {"", std::nullopt},    {" 03,01", std::nullopt},    {" ab.cd", std::nullopt},
               {" -1.00", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(ParseDataConv(c.value), c.version) << "'" << c.value << "'";
}

TEST_F(DriverTest, CanLogFileNeedsAllFifteenChannelsInOrder) {
  const std::vector<std::string> names = {"type",   "can",    "id",     "dir",    "rtr",    "dlc",    "msg[0]", "msg[1]",
                                          "msg[2]", "msg[3]", "msg[4]", "msg[5]", "msg[6]", "msg[7]", "msgTime"};
  const auto file = [](std::vector<std::string> channels, uint32_t records, int groups) {
    FileDef def;
    for (int g = 0; g < groups; ++g) {
      GroupDef group;
      group.records = records;
      for (const std::string& n : channels) group.channels.push_back(Channel(n, 8, dt::kUInt, [](uint32_t) { return 1; }));
      def.groups.push_back(group);
    }
    return def;
  };
  std::vector<std::string> swapped = names;
  std::swap(swapped[3], swapped[4]);
  std::vector<std::string> more = names;
  more.push_back("extra");
  const struct {
    const char* name;
    FileDef def;
    bool log;
  } cases[] = {
      {"the 15 channels", file(names, 3, 1), true},
      {"a 16th behind them", file(more, 3, 1), true},
      {"14 of them", file({names.begin(), names.end() - 1}, 3, 1), false},
      {"two swapped", file(swapped, 3, 1), false},
      {"no records", file(names, 0, 1), false},
      {"two groups", file(names, 3, 2), false},
  };
  for (const auto& c : cases) {
    mdf::CMdf mdf;
    mdf.SetShowMessages(false);
    ASSERT_EQ(mdf.Open(Save(c.def)), 1) << c.name;
    EXPECT_EQ(IsCanLogFile(mdf.GetFirstDG()), c.log) << c.name;
  }

  // A log whose frame bytes lie outside the record cannot be decoded: it
  // imports as any MDF file, that channel left out with a warning.
  BuiltFile log = BuildFile(file(names, 3, 1));
  log.writer.PatchU16(log.groups[0].cn[8] + cn::kByteOffset, 50);  // msg[2]
  ScriptedAnswers script;
  script.Box(mdf::Ansi("Warnung für Signal msg[2]: Bits 464 bis 472 liegen außerhalb des Datensatzes"));
  ASSERT_EQ(Import(Save(log.writer.Bytes()), "ImportCAN"), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(Find("msg_2_"), nullptr);
  EXPECT_NE(Find("msg_1_"), nullptr);
}

TEST_F(DriverTest, NamesByModeSourceTextAndKestravoDisplayName) {
  ChannelDef speed = Channel("Speed (km/h)", 16, dt::kUInt, [](uint32_t r) { return r; });
  speed.longName = "Vehicle.Speed";  // 13 characters
  speed.displayName = "Speed G1";    // too short to be taken
  speed.comment = "the vehicle's speed";
  speed.ce = CeSource(4, "Source1", 1, 2);
  ChannelDef nine = Channel("n9", 8, dt::kUInt, [](uint32_t r) { return r; });
  nine.longName = "ninechars";  // 9 characters: the short name stays
  const struct {
    int mode;
    const char* program;
    const char* speed;
    const char* nine;
  } cases[] = {
      {0, "TESTPROG", "Speed (km/h)\\Source1", "n9"},
      {1, "TESTPROG", "Vehicle.Speed\\Source1", "n9"},
      {2, "TESTPROG", "Vehicle.Speed\\Source1", "n9"},
      // KESTRAVO: indices and units of the chosen name go, the group's comment follows.
      {0, "KESTRAVO", "Speed\\Motor", "n9\\Motor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + c.program);
    FileDef def = OneGroup({speed, nine}, 20, c.program);
    def.groups[0].comment = "Gruppe\tMotor\nNoValue\tJa\tn9\t255";
    vars_.Set("MDF_DISPLAYNAME", std::to_string(c.mode + 1));
    ASSERT_EQ(Import(Save(def)), S_OK);
    EXPECT_EQ(Names(), (std::vector<std::string>{"time@1", "Speed__km_h_", "n9"}));
    EXPECT_EQ(Get("Speed__km_h_").DisplayName.str(), c.speed);
    EXPECT_EQ(Get("Speed__km_h_").Label.str(), "the vehicle's speed");
    EXPECT_EQ(Get("n9").DisplayName.str(), c.nine);
  }
}

TEST_F(DriverTest, LongNamesAreCut) {
  ChannelDef c = Channel("c", 8, dt::kUInt, [](uint32_t r) { return r; });
  c.longName = std::string(300, 'L');
  c.comment = std::string(300, 'C');
  c.ce = CeIdent(0, std::string(200, 'S'));
  vars_.Set("MDF_DISPLAYNAME", "2");
  ASSERT_EQ(Import(Save(OneGroup({c}))), S_OK);
  EXPECT_EQ(Get("c").DisplayName.str(), std::string(253, 'L'));
  EXPECT_EQ(Get("c").Label.str(), std::string(254, 'C'));
  // The extension's text ends with its block's 128 bytes.
  vars_.Set("MDF_DISPLAYNAME", "1");
  ASSERT_EQ(Import(Save(OneGroup({c}))), S_OK);
  EXPECT_EQ(Get("c").DisplayName.str(), "c\\" + std::string(128 - 6, 'S'));
}

// ---------------------------------------------------------------- the signal list

TEST_F(DriverTest, OneValueSignalsBecomeScalars) {
  FileDef def = OneGroup({Channel("a", 16, dt::kUInt, [](uint32_t r) { return 40 + r; }, CcLinear(0.5, 1, "V"))}, 1);
  GroupDef more = def.groups[0];
  more.records = 5;
  more.channels[1].cn.name = "b";
  def.groups.push_back(more);
  def.groups[0].channels[0].value = [](uint32_t) { return 2.5; };
  ASSERT_EQ(Import(Save(def)), S_OK);
  EXPECT_EQ(Names(), (std::vector<std::string>{"time@2", "b"}));
  EXPECT_EQ(import_.m_nSignals, 2);
  ASSERT_EQ(import_.m_nScalars, 1);
  const ScalarRecord& a = *import_.Lists().scalars.First();
  EXPECT_EQ(a.Name.str(), "a");
  EXPECT_EQ(a.number, 1);
  EXPECT_EQ(a.Value, 21.0);  // 40 x 0.5 + 1
  EXPECT_EQ(a.Unit.str(), "V");
  EXPECT_EQ(a.XOffset, 2.5);  // the signal's XMin: its one time stamp
  EXPECT_EQ(a.DTyp, 13);
  EXPECT_EQ(Values(Get("b")), (std::vector<double>{21, 21.5, 22, 22.5, 23}));
}

// A pause signal counts in seconds from its first value, moved to where the
// signal listed before it starts.
TEST_F(DriverTest, PauseCommentAxesFollowTheSignalBefore) {
  ASSERT_EQ(Import(Save(OneGroup({Channel("$PAUSE_COMMENT_A", 16, dt::kUInt, [](uint32_t r) { return 10 + r; }),
                                  Channel("x", 16, dt::kUInt, [](uint32_t r) { return 5 + r; }),
                                  Channel("$PAUSE_COMMENT_B", 16, dt::kUInt, [](uint32_t r) { return 30 + 2 * r; })},
                                 10))),
            S_OK);
  const SignalRecord& a = Get("$PAUSE_COMMENT_A");
  const SignalRecord& b = Get("$PAUSE_COMMENT_B");
  EXPECT_EQ(a.YUnit.str(), "s");
  EXPECT_EQ(a.YMin, 0);  // the time before it starts at 0
  EXPECT_EQ(a.YMax, 9);
  EXPECT_EQ(a.YOffset, -10);
  EXPECT_EQ(b.YUnit.str(), "s");
  EXPECT_EQ(b.YMin, 5);  // x starts at 5
  EXPECT_EQ(b.YMax, 23);
  EXPECT_EQ(b.YOffset, -25);
  EXPECT_EQ(Values(b).front(), 5);
  EXPECT_EQ(Get("x").YUnit.str(), "");
}

TEST_F(DriverTest, Mdf2OrderListsGroupsFromTheLast) {
  FileDef def = SimpleFileDef(2, 2, 10, "TESTPROG");
  ASSERT_EQ(Import(Save(def), "MDF2"), S_OK);
  EXPECT_EQ(Names(), (std::vector<std::string>{"time@2", "sig2_1@2", "sig2_2@2", "time@1", "sig1_1@1", "sig1_2@1"}));
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(import_.Lists().signals.Nth(i)->number, static_cast<int32_t>(i + 1));
  // Each still reads its own values.
  EXPECT_EQ(Values(Get("sig2_2@2"))[3], 6);
  EXPECT_EQ(Values(Get("sig1_1@1"))[9], 9);
  EXPECT_EQ(Values(Get("time@1"))[9], 0.09);
}

// ---------------------------------------------------------------- the time base

TEST_F(DriverTest, ResetTimeMovesEveryAxisToTheCommonStart) {
  // A time channel in milliseconds (uint32, factor 0.001) with a NoValue stamp.
  ChannelDef time;
  time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 32, .dataType = dt::kUInt};
  time.cc = CcLinear(0.001, 0, "s");
  time.value = [](uint32_t r) { return r == 7 ? 4294967295.0 : 5123457.0 + 10 * r; };
  FileDef def = Plain();
  GroupDef g;
  g.records = 20;
  g.comment = "NoValue\tJa\ttime\t4294967.295";
  g.channels = {time, Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })};
  def.groups.push_back(g);
  // A second group starting later, in seconds.
  GroupDef later = OneGroup({Channel("b", 8, dt::kUInt, [](uint32_t r) { return r; })}).groups[0];
  later.channels[0].value = [](uint32_t r) { return 6000.0 + r * 0.5; };
  def.groups.push_back(later);
  vars_.Set("MDF_RESETTIME", "1");
  ASSERT_EQ(Import(Save(def)), S_OK);
  EXPECT_FALSE(vars_.Get("ERRNO"));
  const double t0 = 5123.457;  // the first stamp, to 6 decimals
  const SignalRecord& t = Get("time@1");
  EXPECT_NEAR(t.YMin, 0, 1e-9);
  EXPECT_NEAR(t.YOffset, -t0, 1e-9);
  EXPECT_NEAR(Get("a").XMin, 0, 1e-9);
  EXPECT_NEAR(Get("b").XMin, 6000.0 - t0, 1e-9);
  EXPECT_NEAR(Get("time@2").YMin, 6000.0 - t0, 1e-9);
  EXPECT_NEAR(Values(t)[1], 0.010, 1e-9);
  // The NoValue moved with the offset and lies on the raw grid of the stamps.
  ASSERT_EQ(t.HasNoValue, 1);
  const double raw = (t.NoValue - t.YOffset) / t.YFactor;
  EXPECT_NEAR(raw, 4294967295.0, 1e-3);
  EXPECT_EQ(Bytes(t)[7 * 4], 0xFF);
}

TEST_F(DriverTest, ResetTimeWithTimeErrorsStartsEachAxisAtZero) {
  FileDef def = OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })});
  def.groups[0].channels[0].value = [](uint32_t r) { return r == 5 ? 3.04 : 3 + r * 0.01; };
  GroupDef later = OneGroup({Channel("b", 8, dt::kUInt, [](uint32_t r) { return r; })}).groups[0];
  later.channels[0].value = [](uint32_t r) { return 7 + r * 0.5; };
  def.groups.push_back(later);
  vars_.Set("MDF_RESETTIME", "1");
  ASSERT_EQ(Import(Save(def)), S_OK);
  EXPECT_EQ(vars_.Get("ERRNO"), "1");
  for (const char* name : {"time@1", "time@2"}) {
    EXPECT_EQ(Get(name).YMin, 0) << name;
    EXPECT_EQ(Get(name).XMin, 0) << name;
  }
  EXPECT_NEAR(Get("time@2").YOffset, -7, 1e-12);
  EXPECT_EQ(Get("b").XMin, 0);
}

TEST_F(DriverTest, FileDateAndStartFraction) {
  FileDef def = OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })});
  def.hd.startTimeNs = 1600000000250000000ull;
  def.hd.utcOffsetHours = 2;
  ASSERT_EQ(Import(Save(def)), S_OK);
  EXPECT_EQ(import_.m_fileDate, 0);  // without MDF_DATEINTERNAL
  EXPECT_EQ(Get("a").XMin, 0);
  vars_.Set("MDF_DATEINTERNAL", "1");
  ASSERT_EQ(Import(Save(def)), S_OK);
  EXPECT_EQ(import_.m_fileDate, 1600000000 - 7200);
  // The start's fraction of a second moves every axis (MDF_RESETTIME 0).
  EXPECT_EQ(Get("a").XMin, 0.25);
  EXPECT_EQ(Get("time@1").YMin, 0.25);
  EXPECT_NEAR(Values(Get("time@1"))[2], 0.27, 1e-12);
}

// ---------------------------------------------------------------- warnings

TEST_F(DriverTest, WarningsGoToTheHostInZspModeAndIntoBoxesOtherwise) {
  ChannelDef zero = Channel("f0", 8, dt::kUInt, [](uint32_t r) { return r % 3; });
  zero.cc = CcLinear(0, 1);
  ChannelDef nv = Channel("nv", 8, dt::kUInt, [](uint32_t r) { return r % 3; });
  FileDef def = OneGroup({zero, nv});
  def.groups[0].comment = "NoValue\tJa\tnv\t0";
  const std::string path = Save(def);
  const std::string factor = mdf::Ansi("Warnung für Signal f0: Umrechnungsfaktor = 0.0");
  const std::string noValue = mdf::Ansi("Warnung für Signal nv: NoValue-Code = 0.0");

  ASSERT_EQ(Import(path), S_OK);
  EXPECT_EQ(vars_.Get("ERRNO"), "10");
  EXPECT_EQ(vars_.Get("ERRMSG"), "Umrechnungsfaktor = 0.0");

  {
    ScriptedAnswers script;
    script.Box(mdf::Ansi("Für einige Signale wird der NoValue nicht unterstützt, NoValues werden als 0-Werte "
                         "angezeigt!\n\n") +
               factor + "\n" + noValue);
    script.Box(factor + "\n" + noValue);
    ASSERT_EQ(Import(path, ""), S_OK);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
  // A host that shows NoValues is not warned about them.
  vars_.Set("ZPVERSION", "6.0");
  vars_.Set("ZPREVISION", "2.05");
  vars_.Remove("ERRNO");
  ASSERT_EQ(Import(path), S_OK);
  EXPECT_EQ(vars_.Get("ERRNO"), "8");
  EXPECT_EQ(Get("nv").NoValue, 0);
  EXPECT_EQ(Get("nv").HasNoValue, 1);
}

TEST_F(DriverTest, ChannelsWiderThan64BitsAreLeftOutWithAWarning) {
  FileDef def = OneGroup({Channel("wide", 72, dt::kUInt, [](uint32_t) { return 0; }),
                          Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })});
  const std::string path = Save(def);
  ASSERT_EQ(Import(path), S_OK);
  EXPECT_EQ(Names(), (std::vector<std::string>{"time@1", "a"}));
  // A warning without a flag of its own, with its text.
  EXPECT_EQ(vars_.Get("ERRNO"), "64");
  EXPECT_EQ(vars_.Get("ERRMSG"), mdf::Ansi("Warnung für Signal wide: 72 Bit breite Werte werden nicht unterstützt"));
  ScriptedAnswers script;
  script.Box(mdf::Ansi("Warnung für Signal wide: 72 Bit breite Werte werden nicht unterstützt"));
  ASSERT_EQ(Import(path, ""), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

// A channel whose bits lie outside its record, and a text, have no values:
// each is left out with a warning, the same on every road (value caches, none,
// the file, the composed road), never delivered as memory or zeros.
TEST_F(DriverTest, ChannelsWithoutValuesAreLeftOutOnEveryRoad) {
  const struct {
    const char* road;
    const char* program;
    std::vector<std::pair<std::string, std::string>> vars;
    bool failCaches;
    std::vector<std::string> names;
  } roads[] = {
      {"value caches", "TESTPROG", {}, false, {"time@1", "a"}},
      {"no memory for caches", "TESTPROG", {}, true, {"time@1", "a"}},
      {"the file, by the memory limit", "TESTPROG", {{"MDF_MEMORYLIMIT", "1"}}, false, {"time@1", "a"}},
      {"composed", "KESTRAVO", {{"MDF_COMPOSE_DATA", "1"}}, false, {"Time_0", "a"}},
  };
  for (const auto& road : roads) {
    SCOPED_TRACE(road.road);
    ChannelDef note = Channel("note", 32, dt::kText, nullptr);
    note.text = [](uint32_t r) { return std::to_string(r); };
    BuiltFile built = BuildFile(OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; }),
                                          Channel("far", 16, dt::kUInt, [](uint32_t r) { return r; }), note},
                                         20, road.program));
    built.writer.PatchU16(built.groups[0].cn[2] + cn::kByteOffset, 100);  // 100 bytes on: past the record
    const std::string path = Save(built.writer.Bytes());
    for (const auto& [name, value] : road.vars) vars_.Set(name, value);
    import_.FailCacheAllocations(road.failCaches);
    ASSERT_EQ(Import(path), S_OK);
    EXPECT_EQ(Names(), road.names);
    std::vector<double> a;
    for (uint32_t r = 0; r < 20; ++r) a.push_back(r);
    EXPECT_EQ(Values(Get("a")), a);
    EXPECT_EQ(vars_.Get("ERRNO"), "64");
    EXPECT_EQ(vars_.Get("ERRMSG"),
              mdf::Ansi("Warnung für Signal far: Bits 872 bis 888 liegen außerhalb des Datensatzes\n"
                        "Warnung für Signal note: Datentyp 7 mit 32 Bit hat keine Zahlenwerte"));
    for (const auto& [name, value] : road.vars) vars_.Remove(name);
    import_.FailCacheAllocations(false);
  }
}

// A file whose default byte order is Motorola stores types 0 to 3 big-endian:
// the host gets the values the writer stored, from caches and from the file.
TEST_F(DriverTest, MotorolaDefaultFilesDeliverTheirValues) {
  // Written as the explicit Motorola types, then marked as types 0 and 3 of a
  // Motorola-default file.
  ChannelDef time = Time([](uint32_t r) { return r * 0.01; });
  time.cn.dataType = dt::kDoubleMotorola;
  FileDef def = Plain();
  def.id.byteOrder = 1;
  GroupDef g;
  g.records = 20;
  g.channels = {time, Channel("u16", 16, dt::kUIntMotorola, [](uint32_t r) { return 1000 * r + 1; }),
                Channel("s12", 12, dt::kIntMotorola, [](uint32_t r) { return 100.0 - 9 * r; })};
  def.groups.push_back(g);
  BuiltFile built = BuildFile(def);
  built.writer.PatchU16(built.groups[0].cn[0] + cn::kDataType, dt::kDouble);
  built.writer.PatchU16(built.groups[0].cn[1] + cn::kDataType, dt::kUInt);
  built.writer.PatchU16(built.groups[0].cn[2] + cn::kDataType, dt::kInt);
  const std::string path = Save(built.writer.Bytes());
  std::vector<double> u16, s12;
  for (uint32_t r = 0; r < 20; ++r) {
    u16.push_back(1000.0 * r + 1);
    s12.push_back(100.0 - 9 * r);
  }
  for (const bool caches : {true, false}) {
    SCOPED_TRACE(caches ? "caches" : "the file");
    import_.FailCacheAllocations(!caches);
    ASSERT_EQ(Import(path), S_OK);
    EXPECT_EQ(Values(Get("u16")), u16);
    EXPECT_EQ(Values(Get("s12")), s12);
    EXPECT_EQ(Get("u16").YMax, 19001);
    EXPECT_NEAR(Get("time@1").XFactor, 0.01, 1e-12);
  }
  import_.FailCacheAllocations(false);
}

// ---------------------------------------------------------------- time axes

TEST_F(DriverTest, GroupWithoutTimeChannelIsEquidistantByTheFirstChannelsRate) {
  for (const double rate : {0.5, 0.0}) {
    SCOPED_TRACE(rate);
    FileDef def = Plain();
    GroupDef g;
    g.records = 10;
    g.channels = {Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; }),
                  Channel("b", 16, dt::kInt, [](uint32_t r) { return -2.0 * r; })};
    g.channels[0].cn.sampleRate = rate;
    def.groups.push_back(g);
    ASSERT_EQ(Import(Save(def)), S_OK);
    ASSERT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
    for (const SignalRecord& r : import_.Lists().signals) {
      EXPECT_EQ(r.STyp, styp::kEquidistant);
      EXPECT_EQ(r.XFactor, rate == 0 ? 1.0 : rate);
      EXPECT_EQ(r.XOffset, 0);
      EXPECT_TRUE(r.XSignal.empty());
      EXPECT_EQ(r.timeRecord, nullptr);
    }
    EXPECT_EQ(Get("b").YMin, -18);  // measured without a time channel
    EXPECT_EQ(Values(Get("b"))[9], -18);
  }
}

TEST_F(DriverTest, TimeChannelWithoutHostTypeLeavesItsGroupEquidistant) {
  ChannelDef time;
  time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 72, .dataType = dt::kUInt, .sampleRate = 0.25};
  time.value = [](uint32_t) { return 0; };
  FileDef def = Plain();
  GroupDef g;
  g.records = 10;
  g.channels = {Channel("a", 8, dt::kUInt, [](uint32_t r) { return 3 * r; }), time};
  def.groups.push_back(g);
  ASSERT_EQ(Import(Save(def)), S_OK);
  ASSERT_EQ(Names(), std::vector<std::string>{"a"});
  const SignalRecord& a = Get("a");
  EXPECT_EQ(a.STyp, styp::kEquidistant);
  EXPECT_EQ(a.XFactor, 0.25);  // the time channel's sampling rate
  EXPECT_TRUE(a.XSignal.empty());
  EXPECT_EQ(a.YMax, 27);
}

TEST_F(DriverTest, TextTablesMakeDigitalSignalsWithTheirTexts) {
  ChannelDef state = Channel("state", 8, dt::kUInt, [](uint32_t r) { return r % 3; });
  state.cc = CcTextTable({{0, "AUS"}, {1, "EIN"}, {2, "FEHLER"}, {1e10, "ZU GROSS"}});
  ASSERT_EQ(Import(Save(OneGroup({state}))), S_OK);
  const SignalRecord& r = Get("state");
  EXPECT_EQ(r.STyp, styp::kDigital);
  ASSERT_EQ(r.valueTexts.size(), 4u);
  EXPECT_EQ(r.valueTexts[2].value, 2);
  EXPECT_EQ(r.valueTexts[2].text, "FEHLER");
  EXPECT_EQ(r.valueTexts[3].value, INT32_MAX);  // saturated to 32 bits
  EXPECT_EQ(r.YMin, 0);
  EXPECT_EQ(r.YMax, 1e10);
  EXPECT_EQ(Values(r)[2], 2);
}

TEST_F(DriverTest, AChannelTheLoaderDidNotMeasureIsRangedFromItsValues) {
  // The time channel's stored range and the time information settle the
  // group; its channel has no range of its own: a pass over its values gives one.
  FileDef def = OneGroup({Channel("d", 64, dt::kDouble, [](uint32_t r) { return 2.5 - r; })});
  def.groups[0].channels[0].cn.rangeValid = 0xAAB3;
  def.groups[0].channels[0].cn.maxRaw = 0.19;
  def.programData = TimeInfoData({TimeInfoRecordBytes({.max = 0.19, .fac = 0.01, .minD = 0.01, .maxD = 0.01})});
  ASSERT_EQ(Import(Save(def)), S_OK);
  EXPECT_EQ(Get("d").YMin, 2.5 - 19);
  EXPECT_EQ(Get("d").YMax, 2.5);
  EXPECT_EQ(Get("time@1").YMax, 0.19);
}

// A channel stamp that does not rise, repaired: the host reads the repaired
// series, as values of the time signal and as the times of ReadEx.
TEST_F(DriverTest, RepairedTimeChannelIsWhatTheHostReads) {
  // Milliseconds in 16 bits: a run of two equal stamps at 9 and 10.
  ChannelDef time;
  time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 16, .dataType = dt::kUInt, .sampleRate = 0.01};
  time.cc = CcLinear(0.001, 0, "s");
  time.value = [](uint32_t r) { return r == 10 ? 90.0 : 10.0 * r; };
  FileDef def = Plain();
  GroupDef g;
  g.records = 20;
  g.channels = {time, Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })};
  def.groups.push_back(g);
  vars_.Set("MDF_MEMORYLIMIT", "1");  // caches of at most 1,232,896 bytes: the repair is kept anyway
  ASSERT_EQ(Import(Save(def)), S_OK);
  EXPECT_EQ(vars_.Get("ERRNO"), "1");
  EXPECT_EQ(vars_.Get("ERRMSG"), "Zeitfehler");
  const SignalRecord& t = Get("time@1");
  EXPECT_EQ(t.DTyp, 13);
  EXPECT_EQ(t.Demux, 8);
  EXPECT_EQ(t.Ignore, ignore::kHiddenFaultyTime);
  EXPECT_EQ(t.rangeEnd - t.rangeStart, 20u * 8);
  std::vector<double> expected;
  for (int r = 0; r < 20; ++r) expected.push_back(r * 0.01);
  const std::vector<double> values = Values(t);
  const std::vector<double> times = Times(Get("a"));
  ASSERT_EQ(values.size(), 20u);
  for (size_t i = 0; i < 20; ++i) {
    EXPECT_NEAR(values[i], expected[i], 1e-12) << i;
    EXPECT_NEAR(times[i], expected[i], 1e-12) << i;
  }
  EXPECT_NEAR(Get("a").XFactor, 0.01, 1e-12);  // the group's axis is the repaired one
  EXPECT_EQ(Get("a").STyp, styp::kSignal);

  ScriptedAnswers script;
  script.Box(mdf::Ansi("\nMind. 1 Fehler im Zeitkanal bei Gruppe 1, Index = 10\nDer Fehler wurde durch Interpolation "
                       "behoben.\nBetroffen sind folgende Signale:\na, "));
  ASSERT_EQ(Import(Save(def), ""), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

// A stamp that is no number (the last one too) is a time error like one that
// does not rise: counted in the warning and repaired between its neighbours.
TEST_F(DriverTest, StampsThatAreNoNumberAreCountedAndRepaired) {
  FileDef def = OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })});
  def.groups[0].channels[0].value = [](uint32_t r) { return r == 7 || r == 19 ? std::nan("") : r * 0.01; };
  ScriptedAnswers script;
  script.Box(mdf::Ansi("\nMind. 2 Fehler im Zeitkanal bei Gruppe 1, Index = 7\nDer Fehler wurde durch Interpolation "
                       "behoben.\nBetroffen sind folgende Signale:\na, "));
  ASSERT_EQ(Import(Save(def), ""), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  const std::vector<double> values = Values(Get("time@1"));
  ASSERT_EQ(values.size(), 20u);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_NEAR(values[i], i * 0.01, 1e-12) << i;
  EXPECT_NEAR(Get("a").XMax, 0.19, 1e-12);
}

// With the time base reset, the times of ReadEx lie on the signal's moved
// axis, whether they come from a value cache or from the file.
TEST_F(DriverTest, ReadExTimesFollowTheResetTimeBase) {
  ChannelDef converted;  // milliseconds through a table: delivered as physical doubles
  converted.cn = CnSpec{.channelType = 1, .name = "time", .bits = 32, .dataType = dt::kUInt};
  converted.cc = CcTable({{0, 5}, {1000, 15}}, true, "s");
  converted.value = [](uint32_t r) { return r; };
  ChannelDef seconds = Time([](uint32_t r) { return 5 + r * 0.01; });  // stored doubles
  vars_.Set("MDF_RESETTIME", "1");
  for (const ChannelDef& time : {seconds, converted}) {
    FileDef def = OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })});
    def.groups[0].channels[0] = time;
    ASSERT_EQ(Import(Save(def)), S_OK);
    ASSERT_NEAR(Get("a").XMin, 0, 1e-9);
    for (const bool fromFile : {true, false}) {
      SCOPED_TRACE(std::string(time.cc ? "converted" : "seconds") + (fromFile ? ", from the file" : ", cached"));
      import_.FailCacheAllocations(fromFile);
      const std::vector<double> times = Times(Get("a"));
      EXPECT_EQ(Get("time@1").cache.valid, !fromFile);
      for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], i * 0.01, 1e-9) << i;
    }
    import_.FailCacheAllocations(false);
  }
}

TEST_F(DriverTest, UnrepairableTimeChannelMakesTheGroupEquidistant) {
  // The last stamps repeat to the end: no repair.
  FileDef def = OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })});
  def.groups[0].channels[0].value = [](uint32_t r) { return std::min(r, 17u) * 0.01; };
  const std::string path = Save(def);
  ASSERT_EQ(Import(path), S_OK);  // "ZSP": no dialog, the channel's sampling rate
  EXPECT_EQ(vars_.Get("ERRNO"), "1");
  for (const char* name : {"time@1", "a"}) {
    EXPECT_EQ(Get(name).STyp, styp::kEquidistant) << name;
    EXPECT_EQ(Get(name).XFactor, 0.01) << name;
  }
  EXPECT_EQ(Get("time@1").Ignore, ignore::kHidden);
  EXPECT_FALSE(Get("time@1").cache.valid);

  ScriptedAnswers script;
  ExpectedDialog period;
  period.text = "Abtastfrequenz";
  period.actions = {DialogAction::Text(CEditFrq::kPeriod, "0.5")};
  script.Dialog(period);
  script.Box(mdf::Ansi("\nMind. 2 Fehler im Zeitkanal bei Gruppe 1, Index = 18\nDer Fehler wurde nicht behoben, das "
                       "Zeitsignal wird ignoriert.\nBetroffen sind folgende Signale:\na, "));
  ASSERT_EQ(Import(path, ""), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(Get("a").XFactor, 0.5);

  // A sampling rate field that gives no period: one second, as for a group without a time channel.
  for (const double rate : {0.0, -0.01, std::nan("")}) {
    def.groups[0].channels[0].cn.sampleRate = rate;
    ASSERT_EQ(Import(Save(def)), S_OK);
    EXPECT_EQ(Get("a").XFactor, 1.0) << rate;
    EXPECT_EQ(Get("time@1").XFactor, 1.0) << rate;
  }
}

TEST_F(DriverTest, TimeErrorWarningListsTheGroupsSignalsFiveThenFourALine) {
  std::vector<ChannelDef> channels;
  for (int c = 1; c <= 10; ++c) channels.push_back(Channel("c" + std::to_string(c), 8, dt::kUInt, [](uint32_t r) { return r; }));
  FileDef def = OneGroup(channels);
  def.groups[0].channels[0].value = [](uint32_t r) { return std::min(r, 17u) * 0.01; };
  ScriptedAnswers script;
  ExpectedDialog period;
  period.text = "Abtastfrequenz";
  period.actions = {DialogAction::Call([](CDialog& d) {
    EXPECT_EQ(static_cast<CEditFrq&>(d).m_signals, "c1\r\nc2\r\nc3\r\nc4\r\nc5\r\nc6\r\nc7\r\nc8\r\nc9\r\nc10");
  })};
  script.Dialog(period);
  script.Box(mdf::Ansi("\nMind. 2 Fehler im Zeitkanal bei Gruppe 1, Index = 18\nDer Fehler wurde nicht behoben, das "
                       "Zeitsignal wird ignoriert.\nBetroffen sind folgende Signale:\n"
                       "c1, c2, c3, c4, c5\nc6, c7, c8, c9\nc10, "));
  ASSERT_EQ(Import(Save(def), ""), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

// ---------------------------------------------------------------- the data space

TEST_F(DriverTest, SignalsPastFourGigabytesAreHiddenAndNothingIsRead) {
  // Two groups of 300 million records of a double time and a byte, each 2.7
  // GB of data space: the second group's time signal does not fit, its byte
  // still does. The file is sparse; its stored ranges and time information
  // settle every group, so no record is read.
  constexpr uint32_t kRecords = 300000000;
  FileDef def = Plain();
  for (int g = 0; g < 2; ++g) {
    GroupDef group;
    group.records = 1;
    ChannelDef t = Time([](uint32_t) { return 0; });
    t.cn.rangeValid = 0xAAB3;  // this program's marker: complete, equidistant
    t.cn.maxRaw = (kRecords - 1) * 0.01;
    ChannelDef u = Channel("u" + std::to_string(g + 1), 8, dt::kUInt, [](uint32_t) { return 0; });
    u.cn.rangeValid = 0xAAB0;
    u.cn.maxRaw = 200;
    group.channels = {t, u};
    def.groups.push_back(group);
  }
  std::vector<std::string> records;
  for (int key = 0; key < 2; ++key)
    records.push_back(TimeInfoRecordBytes({.key = key, .max = (kRecords - 1) * 0.01, .fac = 0.01, .minD = 0.01,
                                           .maxD = 0.01}));
  def.programData = TimeInfoData(records);
  BuiltFile built = BuildFile(def);
  for (const BuiltGroup& g : built.groups) built.writer.PatchU32(g.cg + cg::kRecordCount, kRecords);
  // Each group's records in a data area of their own: the first group's behind the second's.
  const off_t area = off_t{kRecords} * 9;
  const uint32_t firstData = static_cast<uint32_t>(built.groups[1].data + area);
  built.writer.SetLink(built.groups[0].dg, dg::kData, firstData);
  const std::string path = Save(built.writer.Bytes(), "big.mdf");
  ASSERT_EQ(truncate(path.c_str(), firstData + area), 0);

  const uint64_t before = testsupport::ProcessBytesRead();
  ASSERT_EQ(Import(path), S_OK);
  EXPECT_LT(testsupport::ProcessBytesRead() - before, uint64_t{1} << 20);
  EXPECT_EQ(vars_.Get("ERRNO"), "4");
  EXPECT_EQ(vars_.Get("ERRMSG"), "Signale ausgeblendet");
  const SignalRecord& hidden = Get("time@2");
  EXPECT_EQ(hidden.Ignore, ignore::kHidden);
  EXPECT_EQ(hidden.rangeStart, hidden.rangeEnd);  // no bytes: it shadows nothing
  const SignalRecord& u2 = Get("u2");
  EXPECT_EQ(u2.rangeEnd - u2.rangeStart, kRecords);
  EXPECT_EQ(u2.Ignore, 0);
  EXPECT_EQ(u2.Block0, (uint64_t{kRecords} * 8 + kRecords + 1023) / 1024);  // after group 1's blocks
  EXPECT_EQ(u2.YMax, 200);
  EXPECT_LT(import_.m_dataSize, uint64_t{1} << 32);
  EXPECT_EQ(import_.m_dataSize, uint64_t{u2.Block0} * 1024 + (uint64_t{kRecords} + 1023) / 1024 * 1024);
}

// ---------------------------------------------------------------- the file

// A file of assorted channels, written back to and imported again.
FileDef WriteBackFile(const std::string& program = "TESTPROG") {
  ChannelDef nv = Channel("nv", 8, dt::kUInt, [](uint32_t r) { return r % 7 == 3 ? 255 : r; });
  ChannelDef none = Channel("none", 8, dt::kUInt, [](uint32_t r) { return r; });  // marked, never NoValue
  FileDef def = OneGroup({Channel("u16", 16, dt::kUInt, [](uint32_t r) { return r * 3; }, CcLinear(0.5, 1, "V")),
                          Channel("s12", 12, dt::kInt, [](uint32_t r) { return 100.0 - 9 * r; }),
                          Channel("f", 32, dt::kFloat, [](uint32_t r) { return r * 0.25; }),
                          Channel("c", 8, dt::kUInt, [](uint32_t) { return 5; }), nv, none},
                         40, program);
  def.groups[0].comment = "NoValue\tJa\tnv\t255\nNoValue\tJa\tnone\t254";
  def.groups.push_back(SimpleFileDef(1, 2, 30, program).groups[0]);
  return def;
}

// Every property of every signal, as text.
std::vector<std::string> Properties(FileImport& import) {
  std::vector<std::string> out;
  for (const SignalRecord& r : import.Lists().signals)
    out.push_back(mdf::StrFormat(
        "%s|%s|%s|%d %d %d %d %d %d %u %u|%.17g %.17g %.17g %.17g|%.17g %.17g %.17g %.17g|%.17g %d|%.17g %.17g %.17g "
        "%.17g %d|%s %s",
        r.Name.c_str(), r.DisplayName.c_str(), r.XSignal.c_str(), r.STyp, r.DTyp, r.Ignore, r.Demux, r.BitSize,
        r.ValuesPerBlock, r.NoOfValues, r.Block0, r.XMin, r.XMax, r.XFactor, r.XOffset, r.YMin, r.YMax, r.YFactor,
        r.YOffset, r.NoValue, r.HasNoValue, r.YDataMin, r.YDataMax, r.MinDelta, r.MaxDelta, r.IsUniDir,
        r.XUnit.c_str(), r.YUnit.c_str()));
  return out;
}

TEST_F(DriverTest, ASecondImportTakesWhatTheFirstWroteBack) {
  for (const auto& [program, nice] : {std::pair{"TESTPROG", false}, {"TESTPROG", true}, {"KESTRAVO", false}}) {
    SCOPED_TRACE(std::string(program) + (nice ? " nice" : ""));
    const BuiltFile built = BuildFile(WriteBackFile(program));
    const std::string original = built.writer.Bytes();
    const std::string path = Save(original);
    vars_.Set("MDF_WRITERANGE", "1");
    vars_.Set("MDF_NICERANGE", nice ? "1" : "0");
    ASSERT_EQ(Import(path), S_OK);
    const std::vector<std::string> first = Properties(import_);
    EXPECT_EQ(Get("nv").HasNoValue, 1);
    // No NoValue among its values: dropped, but every channel of a KESTRAVO file has one.
    EXPECT_EQ(Get("none").HasNoValue, program == std::string("KESTRAVO") ? 1 : 0);

    // Only the range fields of channels and conversions, the header's link
    // to the program block and the program block at the end changed.
    const std::string written = ReadFileBytes(path);
    ASSERT_GT(written.size(), original.size());
    std::vector<std::pair<uint32_t, uint32_t>> allowed = {{built.hd + hd::kProgram, built.hd + hd::kProgram + 4}};
    for (const BuiltGroup& g : built.groups) {
      for (uint32_t cn : g.cn) allowed.push_back({cn + cn::kRangeValid, cn + cn::kLongName});
      for (uint32_t cc : g.cc)
        if (cc) allowed.push_back({cc + cc::kRangeValid, cc + cc::kUnit});
    }
    for (size_t i = 0; i < original.size(); ++i) {
      if (original[i] == written[i]) continue;
      bool inside = false;
      for (const auto& [from, to] : allowed) inside = inside || (i >= from && i < to);
      EXPECT_TRUE(inside) << "byte " << i << " changed";
    }

    // Records spoilt: a second import that read them would range them otherwise.
    std::string spoilt = written;
    const uint32_t records[] = {40, 30};
    for (size_t k = 0; k < built.groups.size(); ++k)
      for (uint32_t i = 0; i < built.groups[k].recordSize * records[k]; ++i) spoilt[built.groups[k].data + i] = '\x5A';
    WriteFileBytes(path, spoilt);
    const uint64_t before = testsupport::ProcessBytesRead();
    ASSERT_EQ(Import(path), S_OK);
    EXPECT_LT(testsupport::ProcessBytesRead() - before, 1000u + spoilt.size()) << "the records were read";
    EXPECT_EQ(Properties(import_), first);
  }
}

TEST_F(DriverTest, OlderTimeInformationIsReplacedWithoutChangingTheHostsOptions) {
  FileDef def = OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })}, 20, "D2T_Merg");
  const std::string path = Save(def);
  const std::string before = ReadFileBytes(path);
  ASSERT_EQ(Import(path), S_OK);  // MDF_WRITERANGE not set
  const std::string after = ReadFileBytes(path);
  EXPECT_GT(after.size(), before.size());  // the program block with the time information
  EXPECT_NE(after.find("Zephanor time-stamp descriptors"), std::string::npos);
  EXPECT_EQ(import_.m_params.Int(ParameterBlock::kWriteRange), 0);
  EXPECT_EQ(import_.m_params.Int(ParameterBlock::kRangeFlags), 0);
  EXPECT_EQ(import_.m_params.Int(ParameterBlock::kFillRange), 0);
}

TEST_F(DriverTest, DamagedInputFailsOrGivesTheWholeRecords) {
  const std::string good = BuildFile(SimpleFileDef(2, 2, 50, "TESTPROG")).writer.Bytes();
  // Cut inside the last group's records: 30 whole records and part of one remain.
  const std::string truncated = good.substr(0, good.size() - 19 * (8 + 4) - 5);
  const struct {
    const char* name;
    std::optional<std::string> bytes;
    HRESULT result;
  } cases[] = {
      {"missing", std::nullopt, E_FAIL},
      {"not MDF", std::string("this is no measurement file at all"), E_FAIL},
      {"identifier only", good.substr(0, 64), E_FAIL},
      {"truncated", truncated, S_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = vars_.Dir().File(std::string(c.name) + ".mdf");
    if (c.bytes) WriteFileBytes(path, *c.bytes);
    EXPECT_EQ(Import(path), c.result);
    if (c.bytes) {
      EXPECT_EQ(ReadFileBytes(path), *c.bytes) << "the file changed";
    }
    if (c.result != S_OK) {
      EXPECT_FALSE(import_.HasImport());
      EXPECT_TRUE(import_.Lists().signals.Empty());
      EXPECT_EQ(import_.m_dataSize, 0u);
    }
  }
  EXPECT_EQ(Get("sig2_1").NoOfValues, 30u);
  EXPECT_EQ(Get("sig1_1").NoOfValues, 50u);
  EXPECT_EQ(Values(Get("sig2_2"))[29], 58);
}

// A file cut inside a group's records, and one that an earlier write-back
// spoilt (its program block right behind the cut records): each group
// delivers the whole records of its data area, the user is told the group
// was read short, nothing is written into the file, and a second import
// gives exactly what the first gave.
TEST_F(DriverTest, AFileShortOfRecordsIsReadAsItStandsAndNeverWritten) {
  const BuiltFile built = BuildFile(WriteBackFile("D2T_Merg"));
  const uint32_t length = built.groups[1].recordSize;
  std::string cut = built.writer.Bytes().substr(0, built.groups[1].data + 20 * length + 5);
  MdfWriter spoilt = built.writer;
  spoilt.Truncate(built.groups[1].data + 20 * length);
  spoilt.SetLink(built.hd, hd::kProgram,
                 spoilt.AddPr(TimeInfoData({TimeInfoRecordBytes({.key = 0, .max = 0.39, .fac = 0.01}),
                                            TimeInfoRecordBytes({.key = 1, .max = 0.29, .fac = 0.01})},
                                           "Version  3.01")));
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::pair<std::string, std::string>> vars;
  } cases[] = {
      {"cut, older time information replaced", cut, {}},
      {"cut, ranges written back", cut, {{"MDF_WRITERANGE", "1"}}},
      {"a program block behind the cut records", spoilt.Bytes(), {{"MDF_WRITERANGE", "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Save(c.bytes);
    for (const auto& [name, value] : c.vars) vars_.Set(name, value);
    ASSERT_EQ(Import(path), S_OK);
    const std::vector<std::string> first = Properties(import_);
    EXPECT_EQ(Get("sig1_2").NoOfValues, 20u);
    EXPECT_EQ(Values(Get("sig1_2"))[19], 38);
    EXPECT_EQ(Get("u16").NoOfValues, 40u);
    EXPECT_EQ(vars_.Get("ERRNO"), "64");
    EXPECT_EQ(vars_.Get("ERRMSG"), mdf::Ansi("Read unvollständig!"));
    EXPECT_EQ(ReadFileBytes(path), c.bytes) << "the file was written";
    ASSERT_EQ(Import(path), S_OK);
    EXPECT_EQ(Properties(import_), first);
    {
      ScriptedAnswers script;
      ExpectedDialog box;
      box.text = mdf::Ansi("Read unvollständig!");
      box.caption = "Pellor";
      box.type = MB_OK;
      script.Box(box);
      ASSERT_EQ(Import(path, ""), S_OK);  // the import goes on
      EXPECT_TRUE(script.Ok()) << script.Report();
    }
    EXPECT_EQ(Properties(import_), first);
    for (const auto& [name, value] : c.vars) vars_.Remove(name);
  }
}

// The composed road tells of a group short of records as well, and composes what it holds.
TEST_F(DriverTest, AComposedFileShortOfRecordsSaysSo) {
  BuiltFile built = BuildFile(SimpleFileDef(1, 1, 30));  // KESTRAVO
  built.writer.Truncate(built.groups[0].data + 12 * built.groups[0].recordSize + 3);
  const std::string path = Save(built.writer.Bytes());
  vars_.Set("MDF_COMPOSE_DATA", "1");
  ASSERT_EQ(Import(path), S_OK);
  vars_.Remove("MDF_COMPOSE_DATA");
  EXPECT_EQ(Get("sig1_1").NoOfValues, 12u);
  EXPECT_EQ(vars_.Get("ERRNO"), "64");
  EXPECT_EQ(vars_.Get("ERRMSG"), mdf::Ansi("Read unvollständig!"));
}

// No group holds a whole record: the import fails and says why.
TEST_F(DriverTest, AFileWithoutAWholeRecordFailsWithAClearError) {
  const std::string message = mdf::Ansi("Die Datei enthält keinen vollständigen Datensatz.");
  BuiltFile wide = BuildFile(OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })}, 2));
  wide.writer.PatchU16(wide.groups[0].cg + cg::kRecordSize, 65535);
  BuiltFile late = BuildFile(OneGroup({Channel("a", 8, dt::kUInt, [](uint32_t r) { return r; })}, 2));
  late.writer.SetLink(late.groups[0].dg, dg::kData, late.writer.Size() - 3);
  for (const std::string& bytes : {wide.writer.Bytes(), late.writer.Bytes()}) {
    const std::string path = Save(bytes);
    EXPECT_EQ(Import(path), E_FAIL);
    EXPECT_EQ(vars_.Get("ERRNO"), "1");
    EXPECT_EQ(vars_.Get("ERRMSG"), message);
    ScriptedAnswers script;
    ExpectedDialog box;
    box.text = message;
    box.caption = "Pellor";
    box.type = MB_OK | MB_ICONHAND;
    script.Box(box);
    EXPECT_EQ(Import(path, ""), E_FAIL);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
}

TEST_F(DriverTest, CancelEndsTheImport) {
  const std::string path = Save(SimpleFileDef(3, 2, 50, "TESTPROG"));
  const std::string before = ReadFileBytes(path);
  // A click on the progress window's Cancel button, at every other look
  // into the queue: a message pump takes one and then finds the queue empty,
  // so the window's own look finds the next.
  int peeks = 0;
  winport::ui::Headless().SetEventHook([&peeks] {
    if (ProgressWindow().GetSafeHwnd() && !ProgressAborted() && peeks++ % 2 == 0)
      PostMessageA(ProgressWindow().GetDlgItem(IDCANCEL), WM_LBUTTONDOWN, 0, 0);
  });
  EXPECT_EQ(Import(path, ""), E_FAIL);
  winport::ui::Headless().SetEventHook(nullptr);
  EXPECT_FALSE(import_.HasImport());
  EXPECT_TRUE(import_.Lists().signals.Empty());
  EXPECT_EQ(import_.m_cachedBytes, 0u);
  EXPECT_EQ(ReadFileBytes(path), before);
  // The next import runs whole.
  EXPECT_EQ(Import(path, ""), S_OK);
  EXPECT_EQ(import_.m_nSignals, 9);
}

// ---------------------------------------------------------------- reading

TEST_F(DriverTest, ReadDeliversTheSameBytesWithoutValueCaches) {
  const std::string path = Save(WriteBackFile());
  ASSERT_EQ(Import(path), S_OK);
  std::map<std::string, std::vector<uint8_t>> cached;
  for (const SignalRecord& r : import_.Lists().signals) cached[r.Name.str()] = Bytes(r);
  EXPECT_GT(import_.m_cachedBytes, 0u);
  import_.FailCacheAllocations(true);
  ASSERT_EQ(Import(path), S_OK);
  for (const SignalRecord& r : import_.Lists().signals) {
    EXPECT_EQ(Bytes(r), cached[r.Name.str()]) << r.Name.str();
    EXPECT_FALSE(r.cache.valid) << r.Name.str();
  }
  EXPECT_EQ(import_.m_cachedBytes, 0u);
  import_.FailCacheAllocations(false);
}

// Records that vanish between the import and a read (the file was cut
// meanwhile) leave no value cache behind: it holds every value or none. The
// read fails, by Read and ReadEx, and what the file still holds reads.
TEST_F(DriverTest, AReadThatComesShortMakesNoValueCache) {
  const BuiltFile built = BuildFile(WriteBackFile());
  const std::string path = Save(built.writer.Bytes());
  vars_.Set("MDF_WRITERANGE", "1");
  ASSERT_EQ(Import(path), S_OK);
  ASSERT_EQ(Import(path), S_OK);  // settled by what the first wrote back: no records read
  vars_.Remove("MDF_WRITERANGE");
  const SignalRecord& u16 = Get("u16");
  ASSERT_FALSE(u16.cache.valid);
  ASSERT_EQ(truncate(path.c_str(), built.groups[0].data + 10 * built.groups[0].recordSize), 0);
  std::vector<uint8_t> bytes(u16.rangeEnd - u16.rangeStart);
  std::vector<double> times(u16.NoOfValues);
  ASSERT_EQ(import_.Open(), S_OK);
  import_.Seek(static_cast<int32_t>(u16.rangeStart), 0);
  EXPECT_FALSE(import_.Read(bytes.data(), static_cast<uint32_t>(bytes.size())));
  EXPECT_FALSE(import_.ReadEx(bytes.data(), static_cast<uint32_t>(bytes.size()), reinterpret_cast<uint8_t*>(times.data()),
                              static_cast<uint32_t>(times.size() * 8)));
  EXPECT_FALSE(u16.cache.valid);
  // The position stayed: the ten records left read.
  ASSERT_TRUE(import_.Read(bytes.data(), 10 * 2));
  import_.Close();
  for (uint32_t r = 0; r < 10; ++r) EXPECT_EQ((bytes[2 * r] | bytes[2 * r + 1] << 8) * 0.5 + 1, (r * 3) * 0.5 + 1) << r;
}

}  // namespace
}  // namespace pellor

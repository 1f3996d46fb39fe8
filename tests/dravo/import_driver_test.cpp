// The import driver on files built by the fixture writer: names and value
// types, the time channel's scan and repair (the time channel first and
// last), comments, X axes from the CN, and failures that keep the file.
#include "dravo/import_driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "dravo/progress.h"
#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"
#include "tests/support/host_variables.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/unsorted_mdf.h"
#include "tests/dravo/layout_files.h"

namespace {

using namespace dravo;
using namespace testsupport;
using winport::ui::ExpectedDialog;
using winport::ui::Headless;

ChannelDef Data(const std::string& name, std::function<double(uint32_t)> value, uint16_t bits = 16,
                uint16_t type = dt::kUInt) {
  ChannelDef c;
  c.cn = CnSpec{.name = name, .bits = bits, .dataType = type};
  c.value = std::move(value);
  return c;
}

ChannelDef Time(const std::vector<double>& values, const std::string& name = "time") {
  ChannelDef c;
  c.cn = CnSpec{.channelType = 1, .name = name, .bits = 64, .dataType = dt::kDouble};
  c.cc = CcLinear(1.0, 0.0, "s");
  c.value = [values](uint32_t r) { return values[r]; };
  return c;
}

GroupDef Group(std::vector<ChannelDef> channels, uint32_t records) {
  GroupDef g;
  g.channels = std::move(channels);
  g.records = records;
  return g;
}

ExpectedDialog Box(const std::string& text, const std::string& caption) {
  ExpectedDialog box;
  box.text = text;
  box.caption = caption;
  return box;
}

// The report of a group's time channel with errors.
std::string TimeErrors(uint64_t errors, int group, uint64_t index, const std::string& names) {
  return std::to_string(errors) + " Fehler im Zeitkanal bei Gruppe " + std::to_string(group) +
         ", Index = " + std::to_string(index) +
         "\nDer Fehler wird evtl. durch Interpolation behoben.\nBetroffen sind folgende Signale:\n" + names + "\n";
}

class Driver : public ::testing::Test {
 protected:
  void TearDown() override {
    Headless().SetEventHook(nullptr);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }

  std::string Save(const FileDef& def, const std::string& name = "file.mdf") {
    const std::string path = vars.Dir().File(name);
    BuildFile(def).writer.Save(path);
    return path;
  }
  bool Import(const std::string& path) {
    data = ImportData();
    return ImportMdfFile(path, factors, data);
  }
  bool Import(const FileDef& def) { return Import(Save(def)); }

  const SignalRecord& Signal(const std::string& name) {
    const SignalRecord* s = data.signals.FindByName(name.c_str());
    if (!s) {
      ADD_FAILURE() << "no signal " << name;
      static const SignalRecord none;
      return none;
    }
    return *s;
  }
  // The values as the host reads them from the data block.
  std::vector<double> Values(const SignalRecord& s) const {
    std::vector<double> out;
    const uint8_t* p = data.Values(s);
    for (uint32_t r = 0; r < s.NoOfValues; ++r, p += s.Demux) {
      switch (s.DTyp) {
        case kDTypDouble: out.push_back(Load<double>(p)); break;
        case kDTypUInt32: out.push_back(Load<uint32_t>(p)); break;
        case kDTypInt32: out.push_back(Load<int32_t>(p)); break;
        default: out.push_back(Load<float>(p)); break;
      }
    }
    return out;
  }
  template <class T>
  static T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }

  HostVariables vars;
  winport::ui::ScriptedAnswers script;
  ImportFactors factors;
  ImportData data;
};

TEST_F(Driver, OneGroupNamesTypesLinksAndBlocks) {
  const uint32_t n = 200;
  std::vector<double> t(n);
  for (uint32_t r = 0; r < n; ++r) t[r] = r;
  FileDef def;
  ChannelDef speed = Data("Speed", [](uint32_t r) { return r * 2.0; });
  speed.comment = "speed comment";
  speed.cc = CcLinear(0.5, 1.0, "km/h");
  ChannelDef nox = Data("NOx raw", [](uint32_t r) { return r % 7; });
  nox.cn.description = "NOx sensor";
  nox.comment = "not the label";
  def.groups.push_back(Group({Time(t), speed, Data("$EVENT", [](uint32_t r) { return 3 + r % 2; }, 8),
                              Data("$PAUSE_COMMENTS", [](uint32_t r) { return 10 + r % 10; }),
                              Data("Color1", [](uint32_t) { return 5; }, 8),
                              Data("after", [](uint32_t) { return 1; }, 8),
                              Data("flag", [](uint32_t r) { return r & 1; }, 1),
                              Data("$FOO", [](uint32_t) { return 0; }, 8), nox},
                             n));
  ASSERT_TRUE(Import(def));
  ASSERT_EQ(data.signals.Count(), 9u);
  const char* names[] = {"time", "Speed", "EVENT", "PAUSE_COMMENTS", "Color1", "after", "flag", "S$FOO", "NOx_raw"};
  for (size_t i = 0; i < 9; ++i) {
    const SignalRecord& s = *data.signals.Nth(i);
    EXPECT_EQ(s.Name.str(), names[i]);
    EXPECT_EQ(s.number, static_cast<int32_t>(i + 1));
  }

  const SignalRecord& time = Signal("time");
  EXPECT_EQ(time.DTyp, kDTypDouble);
  EXPECT_EQ(time.Demux, 8);
  EXPECT_EQ(time.ValuesPerBlock, 64);
  EXPECT_EQ(time.Ignore, 2);  // equal steps are not regular
  EXPECT_EQ(time.YMin, 0);
  EXPECT_EQ(time.YMax, n - 1);
  EXPECT_EQ(time.XSignal.str(), "");

  const SignalRecord& s = Signal("Speed");
  EXPECT_EQ(s.DTyp, kDTypFloat);
  EXPECT_EQ(s.Demux, 4);
  EXPECT_EQ(s.ValuesPerBlock, 128);
  EXPECT_EQ(s.Ignore, 0);
  EXPECT_EQ(s.Label.str(), "speed comment");
  EXPECT_EQ(s.YUnit.str(), "km/h");
  EXPECT_EQ(s.XUnit.str(), "s");
  EXPECT_EQ(s.XSignal.str(), "time");
  EXPECT_EQ(s.XFactor, 1.0);
  EXPECT_EQ(s.XMax, n - 1);
  EXPECT_EQ(s.YMin, 1.0);
  EXPECT_EQ(s.YMax, 1.0 + (n - 1));
  EXPECT_EQ(s.MinDelta, 1.0);
  EXPECT_EQ(s.MaxDelta, 1.0);
  EXPECT_EQ(s.IsUniDir, 1.0);
  EXPECT_EQ(s.NoValue, 1e308);
  EXPECT_EQ(Values(s)[7], 8.0);
  EXPECT_EQ(Signal("NOx_raw").Label.str(), "NOx sensor");
  EXPECT_EQ(Signal("NOx_raw").DisplayName.str(), "NOx raw");
  EXPECT_EQ(Signal("NOx_raw").IsUniDir, 0.0);

  const SignalRecord& event = Signal("EVENT");
  EXPECT_EQ(event.DTyp, kDTypUInt32);
  EXPECT_EQ(event.DisplayName.str(), "EVENT");
  EXPECT_EQ(event.Ignore, 1);
  EXPECT_EQ(Values(event)[1], 4.0);
  const SignalRecord& pause = Signal("PAUSE_COMMENTS");
  EXPECT_EQ(pause.DTyp, kDTypUInt32);
  EXPECT_EQ(pause.YUnit.str(), "s");
  // Its span 10..19 moved onto the previous signal's smallest value 3.
  EXPECT_EQ(pause.YOffset, -10.0 + 3.0);
  EXPECT_EQ(pause.YMin, 3.0);
  EXPECT_EQ(pause.YMax, 12.0);
  EXPECT_EQ(Signal("Color1").DTyp, kDTypInt32);
  EXPECT_EQ(Signal("Color1").CLink.str(), "");
  EXPECT_EQ(Signal("after").CLink.str(), "Color1");
  EXPECT_EQ(Signal("flag").STyp, kSTypDigital);
  EXPECT_EQ(Signal("flag").CLink.str(), "Color1");

  // Blocks in signal order: the time's 200 doubles take 4 blocks, each float signal 2.
  uint32_t block = 0;
  for (const SignalRecord& r : data.signals) {
    EXPECT_EQ(r.Block0, block) << r.Name.str();
    EXPECT_EQ(r.NoOfValues, n);
    block += (n * r.Demux + 511) / 512;
  }
  EXPECT_EQ(data.dataSize, block * 512);
  EXPECT_EQ(data.blockSize, 512u);
  EXPECT_EQ(data.name, "file");
}

TEST_F(Driver, ThreeGroupsFromTheLastWithSuffixedNames) {
  FileDef def;
  const std::vector<double> t{0, 1, 2, 3};
  for (int g = 1; g <= 3; ++g) {
    std::vector<ChannelDef> channels{Time(t), Data("x", [g](uint32_t r) { return g * 10 + r; })};
    if (g == 2) channels.push_back(Data("$EVENT", [](uint32_t r) { return r; }, 8));
    def.groups.push_back(Group(channels, 4));
  }
  ASSERT_TRUE(Import(def));
  std::vector<std::string> names;
  for (const SignalRecord& s : data.signals) names.push_back(s.Name.str());
  EXPECT_EQ(names, (std::vector<std::string>{"time@3", "x@3", "time@2", "x@2", "EVENT@2", "time@1", "x@1"}));
  EXPECT_EQ(Signal("x@2").XSignal.str(), "time@2");
  EXPECT_EQ(Signal("x@2").DisplayName.str(), "x");
  EXPECT_EQ(Values(Signal("x@2")), (std::vector<double>{20, 21, 22, 23}));
  EXPECT_EQ(Signal("EVENT@2").Ignore, 1);
  EXPECT_EQ(Signal("time@1").Ignore, 2);
}

// The time channel's scan and repair, with the time channel first and last.
TEST_F(Driver, TimeChannelsScannedAndRepaired) {
  const double nan = std::nan("");
  const struct {
    const char* name;
    std::vector<double> time;
    bool regular;
    uint64_t errors = 0, firstError = 0;
    bool repaired = true;
    std::vector<double> after{};  // the time values delivered, when repaired
  } cases[] = {
      {"equal steps", {0, 1, 2, 3}, false},
      {"steps 1.0, 1.1, 0.9", {0, 1.0, 2.1, 3.0}, true},
      {"one record", {7}, false},
      {"two records", {0, 2}, false},
      {"a fall", {0, 1, 2, 1.5, 4, 5}, false, 1, 3, true, {0, 1, 1.25, 1.5, 4, 5}},
      {"a fall at the end", {0, 1, 2, 3, 2.5}, false, 1, 4, true, {0, 1, 2, 2.25, 2.5}},
      {"a run", {0, 1, 1, 1, 4}, false, 2, 2, true, {0, 1, 2, 3, 4}},
      {"a fall at index 1", {5, 3, 4, 6}, false, 1, 1, false},
      {"a run at the end", {0, 1, 2, 2, 2}, false, 2, 3, false},
      {"a NaN", {0, 1, nan, 3}, false, 2, 2, false},
  };
  for (const auto& c : cases) {
    for (const bool timeLast : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (timeLast ? ", time last" : ", time first"));
      const auto n = static_cast<uint32_t>(c.time.size());
      FileDef def;
      ChannelDef a = Data("a", [](uint32_t r) { return r; });
      def.groups.push_back(Group(timeLast ? std::vector<ChannelDef>{a, Time(c.time)}
                                          : std::vector<ChannelDef>{Time(c.time), a},
                                 n));
      if (c.errors) {
        std::string text = TimeErrors(c.errors, 1, c.firstError, timeLast ? "a, time" : "time, a");
        if (!c.repaired) text += "\nFehler bei Zeitkorrekturen: time";
        script.Box(Box(text, "MDF-Import"));
      }
      ASSERT_TRUE(Import(def));
      const SignalRecord& time = Signal("time");
      const SignalRecord& sig = Signal("a");
      EXPECT_EQ(time.number, timeLast ? 2 : 1);
      const std::vector<double> values = Values(time);
      if (c.repaired) {
        const std::vector<double>& expected = c.after.empty() ? c.time : c.after;
        EXPECT_EQ(values, expected);
        EXPECT_EQ(time.Ignore, c.regular ? 1 : 2);
        EXPECT_EQ(time.YMin, expected.front());
        EXPECT_EQ(time.YMax, expected.back());
        EXPECT_EQ(time.XUnit.str(), "s");
        EXPECT_EQ(sig.XSignal.str(), c.regular ? "" : "time");
        if (c.regular) {
          EXPECT_DOUBLE_EQ(sig.XFactor, (c.time.back() - c.time.front()) / (n - 1));
          EXPECT_EQ(sig.XOffset, c.time.front());
        }
        if (n == 1) {  // no step: an index axis of one value
          EXPECT_EQ(sig.XFactor, 1.0);
          EXPECT_EQ(sig.XOffset, 0.0);
          EXPECT_EQ(sig.XMax, 0.0);
        }
      } else {
        // The values stay as they were; the time signal and its group's
        // signals get an index axis.
        EXPECT_EQ(values.size(), c.time.size());
        EXPECT_EQ(time.Ignore, 0);
        EXPECT_EQ(sig.XSignal.str(), "");
        for (const SignalRecord* s : {&time, &sig}) {
          EXPECT_EQ(s->XUnit.str(), "");
          EXPECT_EQ(s->XFactor, 1.0);
          EXPECT_EQ(s->XOffset, 0.0);
          EXPECT_EQ(s->XMin, 0.0);
          EXPECT_EQ(s->XMax, n - 1.0);
        }
        // Ranges of the finite values.
        EXPECT_FALSE(std::isnan(time.YMin));
        EXPECT_FALSE(std::isnan(time.YMax));
      }
    }
  }
}

TEST_F(Driver, AGroupWithoutATimeChannelGetsAnIndexAxis) {
  FileDef def;
  def.groups.push_back(Group({Data("a", [](uint32_t r) { return r; }), Data("b", [](uint32_t r) { return -1.0 * r; }, 16,
                                                                            dt::kInt)},
                             5));
  script.Box(Box("timechannel not found \n", "DUD32-ERROR MESSAGE"));
  ASSERT_TRUE(Import(def));
  for (const char* name : {"a", "b"}) {
    const SignalRecord& s = Signal(name);
    EXPECT_EQ(s.Ignore, 0);
    EXPECT_EQ(s.XSignal.str(), "");
    EXPECT_EQ(s.XUnit.str(), "");
    EXPECT_EQ(s.XFactor, 1.0);
    EXPECT_EQ(s.XOffset, 0.0);
    EXPECT_EQ(s.XMax, 4.0);
  }
  EXPECT_EQ(Values(Signal("b")), (std::vector<double>{0, -1, -2, -3, -4}));
  EXPECT_EQ(Signal("b").YMin, -4.0);
  EXPECT_EQ(Signal("b").MinDelta, -1.0);
}

// The reason a left-out channel is named with in the import message.
std::string Reason(const dravotest::LayoutChannel& c) {
  switch (c.problem) {
    case MdfValueProblem::DataType: return "Datentyp " + std::to_string(c.cn.dataType);
    case MdfValueProblem::BitCount:
      return "Datentyp " + std::to_string(c.cn.dataType) + " mit " + std::to_string(c.cn.bits) + " Bit";
    case MdfValueProblem::OutsideRecord: return "au\xDF" "erhalb des Datensatzes";
    case MdfValueProblem::None: break;
  }
  return "Text ohne Pausenkommentar";
}

std::string LeftOutMessage(int group, const std::vector<std::string>& channels) {
  std::string text = "Gruppe " + std::to_string(group) +
                     ": Folgende Kan\xE4le k\xF6nnen nicht gelesen werden und fehlen im Import:\n";
  for (size_t i = 0; i < channels.size(); ++i) text += (i ? ", " : "") + channels[i];
  return text + "\n";
}

// Every layout of every data type in files of both byte orders: a channel
// with numbers becomes a signal of the numbers it was written with (as
// 32-bit floats); any other is no signal and named, with the reason, in
// the one box at the end.
TEST_F(Driver, EveryLayoutIsImportedWithItsValuesOrNamedInTheMessage) {
  for (uint16_t order : {0, 1}) {
    for (uint16_t type : dravotest::LayoutDataTypes()) {
      SCOPED_TRACE((order ? "Motorola file, type " : "Intel file, type ") + std::to_string(type));
      const dravotest::LayoutFile f = dravotest::BuildLayoutFile(order, type);
      const std::string path = vars.Dir().File("layout.mdf");
      f.built.writer.Save(path);
      std::vector<std::string> leftOut;
      size_t signals = 0;
      for (const dravotest::LayoutChannel& c : f.channels) {
        if (c.problem == MdfValueProblem::None && type != dt::kText)
          ++signals;
        else
          leftOut.push_back(c.cn.name + " (" + Reason(c) + ")");
      }
      ASSERT_FALSE(leftOut.empty());
      script.Box(Box("timechannel not found \n", "DUD32-ERROR MESSAGE"));
      script.Box(Box(LeftOutMessage(1, leftOut), "MDF-Import"));
      ASSERT_TRUE(Import(path));
      EXPECT_TRUE(script.Ok()) << script.Report();
      EXPECT_EQ(data.signals.Count(), signals);
      for (const dravotest::LayoutChannel& c : f.channels) {
        SCOPED_TRACE(c.cn.name);
        const SignalRecord* s = data.signals.FindByName(c.cn.name.c_str());
        ASSERT_EQ(s != nullptr, c.problem == MdfValueProblem::None && type != dt::kText);
        if (!s) continue;
        std::vector<double> expected;
        for (double v : c.values) expected.push_back(static_cast<float>(v));
        EXPECT_EQ(Values(*s), expected);
      }
    }
  }
}

// A string channel is a signal of pause times when every record holds a
// pause comment; a text of another kind leaves it out. A time channel without
// numbers is left out too, and its group counts records. A time channel that
// cannot be repaired gives its group an index axis, a left-out channel aside.
TEST_F(Driver, StringChannelsAndATimeChannelWithoutNumbers) {
  const auto pause = [](uint32_t r) {
    return "PauseEnd\r\nDate: 1.1.1980   Time: 0:0:" + std::to_string(r) + "\r\n";
  };
  ChannelDef comments;
  comments.cn = CnSpec{.name = "$PAUSE_COMMENTS", .bits = 48 * 8, .dataType = dt::kText};
  comments.text = pause;
  ChannelDef other = comments;
  other.cn.name = "notes";
  other.text = [pause](uint32_t r) { return r == 2 ? std::string("Pause") : pause(r); };
  ChannelDef bytes;
  bytes.cn = CnSpec{.channelType = 1, .name = "stamp", .bits = 32, .dataType = dt::kBytes};
  bytes.text = [](uint32_t) { return std::string("abcd"); };
  FileDef def;
  def.groups.push_back(Group({Time({0, 1, 2, 3}), comments}, 4));
  def.groups.push_back(Group({bytes, Data("a", [](uint32_t r) { return 5 + r; }), other}, 4));
  ChannelDef raw = bytes;
  raw.cn.channelType = 0;
  raw.cn.name = "raw";
  def.groups.push_back(Group({Time({0, 1, 2, 2, 2}), raw, Data("b", [](uint32_t r) { return r; })}, 5));
  script.Box(Box(TimeErrors(2, 3, 3, "time, raw, b") + "\n" + LeftOutMessage(3, {"raw (Datentyp 8)"}) + "\n" +
                     LeftOutMessage(2, {"stamp (Datentyp 8)", "notes (Text ohne Pausenkommentar)"}) +
                     "\nFehler bei Zeitkorrekturen: time@3",
                 "MDF-Import"));
  ASSERT_TRUE(Import(def));
  EXPECT_EQ(data.signals.Count(), 5u);
  EXPECT_EQ(Signal("b@3").XSignal.str(), "");
  EXPECT_EQ(Signal("b@3").XMax, 4.0);
  const SignalRecord& times = Signal("PAUSE_COMMENTS@1");
  EXPECT_EQ(times.DTyp, kDTypUInt32);
  EXPECT_EQ(Values(times), (std::vector<double>{315561600, 315561601, 315561602, 315561603}));
  const SignalRecord& a = Signal("a@2");
  EXPECT_EQ(Values(a), (std::vector<double>{5, 6, 7, 8}));
  EXPECT_EQ(a.XSignal.str(), "");
  EXPECT_EQ(a.XFactor, 1.0);
  EXPECT_EQ(a.XMax, 3.0);
}

TEST_F(Driver, HostFactorsDecideWhatIsRegular) {
  vars.Set("MDF_XMAXFACTOR", "1.05");
  FileDef def;
  def.groups.push_back(Group({Time({0, 1.0, 2.1, 3.0}), Data("a", [](uint32_t r) { return r; })}, 4));
  ASSERT_TRUE(Import(def));
  EXPECT_EQ(factors.xMax, 1.05);
  EXPECT_EQ(factors.xMin, 0.1);
  EXPECT_EQ(Signal("time").Ignore, 2);
  EXPECT_EQ(Signal("a").XSignal.str(), "time");
}

TEST_F(Driver, AnXAxisFromTheChannelOnlyWhenItsRangeIsMarkedValid) {
  FileDef def;
  ChannelDef valid = Data("valid", [](uint32_t r) { return r; });
  valid.cn.sampleRate = 0.5;
  valid.cn.rangeValid = 1;
  valid.cn.minRaw = -1;
  valid.cn.maxRaw = 9;
  ChannelDef marked = valid;
  marked.cn.name = "marked";
  marked.cn.rangeValid = 0xAAB1;  // a range written back by another import, not an axis
  def.groups.push_back(Group({Time({0, 1, 2, 3}), valid, marked}, 4));
  ASSERT_TRUE(Import(def));
  const SignalRecord& v = Signal("valid");
  EXPECT_EQ(v.XMin, -1.0);
  EXPECT_EQ(v.XMax, 9.0);
  EXPECT_EQ(v.XFactor, 0.5);
  EXPECT_EQ(v.XOffset, 0.0);
  EXPECT_EQ(v.XSignal.str(), "");
  const SignalRecord& m = Signal("marked");
  EXPECT_EQ(m.XSignal.str(), "time");
  EXPECT_EQ(m.XMin, 0.0);
  EXPECT_EQ(m.XMax, 3.0);
  EXPECT_EQ(m.XFactor, 1.0);
}

TEST_F(Driver, HeaderFieldsAndCommentLinesBecomeComments) {
  vars.Set("MDF_CHARSPERLINE", "10");
  FileDef def;
  def.hd.author = "Ann   ";
  def.hd.organisation = "Dept";
  def.hd.subject = std::string(40, 's');
  def.fileComment = "<FOS begin> hidden\r\nabc def ghij kl\r\n\r\n   \n<FOS begin>x\nlast line  ";
  def.groups.push_back(Group({Time({0, 1}), Data("a", [](uint32_t r) { return r; })}, 2));
  ASSERT_TRUE(Import(def));
  EXPECT_EQ(data.fileComment, "");
  std::vector<std::pair<std::string, std::string>> comments;
  for (const CommentEntry& c : data.comments) comments.emplace_back(c.name, c.text);
  EXPECT_EQ(comments, (std::vector<std::pair<std::string, std::string>>{{"Name", "Ann"},
                                                                         {"Abteilung", "Dept"},
                                                                         {"Projekt", ""},
                                                                         {"Subjekt", std::string(31, 's')},
                                                                         {"Datum", "10:12:2024"},
                                                                         {"Zeit", "09:30:00"},
                                                                         {"Text1", "abc def\\nghij kl"},
                                                                         {"Text2", "last line"}}));

  // A comment without the marker: its first 28 characters; more lines than
  // the table holds end at its 256 entries.
  std::string many = "The first line of a long comment\n";
  for (int i = 0; i < 300; ++i) many += "line " + std::to_string(i) + "\n";
  def.fileComment = many;
  vars.Remove("MDF_CHARSPERLINE");
  ASSERT_TRUE(Import(def));
  EXPECT_EQ(data.fileComment, "The first line of a long com");
  ASSERT_EQ(data.comments.size(), 256u);
  EXPECT_EQ(data.comments[6].text, "The first line of a long comment");
  EXPECT_EQ(data.comments.back().name, "Text250");
}

TEST_F(Driver, IntegersSaturateAndTruncate) {
  EXPECT_EQ(SaturateUInt32(-5.0), 0u);
  EXPECT_EQ(SaturateUInt32(3.9), 3u);
  EXPECT_EQ(SaturateUInt32(1e12), UINT32_MAX);
  EXPECT_EQ(SaturateUInt32(std::nan("")), 0u);
  EXPECT_EQ(SaturateInt32(-3.9), -3);
  EXPECT_EQ(SaturateInt32(-1e12), INT32_MIN);
  EXPECT_EQ(SaturateInt32(1e12), INT32_MAX);
  EXPECT_EQ(SaturateInt32(std::nan("")), 0);
  FileDef def;
  def.groups.push_back(Group({Time({0, 1}),
                              Data("$EVENT_big", [](uint32_t r) { return r ? 5e9 : -7.5; }, 64, dt::kDouble),
                              Data("Color_neg", [](uint32_t r) { return r ? -7.9 : 3e10; }, 64, dt::kDouble)},
                             2));
  ASSERT_TRUE(Import(def));
  EXPECT_EQ(Values(Signal("EVENT_big")), (std::vector<double>{0, 4294967295.0}));
  EXPECT_EQ(Values(Signal("Color_neg")), (std::vector<double>{2147483647.0, -7}));
  EXPECT_EQ(Signal("EVENT_big").YMax, 5e9);  // ranges of the values read, not of the stored integers
}

TEST_F(Driver, ADataAreaCutShortGivesTheWholeRecordsLeft) {
  FileDef def;
  def.groups.push_back(Group({Time({0, 1, 2, 3, 4, 5}), Data("a", [](uint32_t r) { return r; })}, 6));
  BuiltFile built = BuildFile(def);
  // Records of 10 bytes: three and a half are left.
  built.writer.Truncate(built.writer.Size() - 25);
  const std::string path = vars.Dir().File("cut.mdf");
  built.writer.Save(path);
  ASSERT_TRUE(Import(path));
  EXPECT_EQ(Signal("a").NoOfValues, 3u);
  EXPECT_EQ(Values(Signal("time")), (std::vector<double>{0, 1, 2}));
}

// ---- Failures: the file is kept as it was ----

class DriverFailure : public Driver {
 protected:
  // A file of one group whose records take a while to go through.
  std::string SaveLong() {
    std::vector<double> t(5000);
    for (size_t r = 0; r < t.size(); ++r) t[r] = static_cast<double>(r);
    FileDef def;
    def.groups.push_back(Group({Time(t), Data("a", [](uint32_t r) { return r; })}, 5000));
    path = Save(def);
    before = ReadFileBytes(path);
    return path;
  }
  // On the first poll while the progress window whose caption begins with
  // `caption` is shown, `press` is done to it.
  void PressWhile(const std::string& caption, std::function<void(CProgressDialog&)> press) {
    Headless().SetEventHook([this, caption, press] {
      CProgressDialog* w = CurrentProgressWindow();
      if (!pressed && w && w->GetWindowText().rfind(caption, 0) == 0) {
        pressed = true;
        press(*w);
      }
    });
  }
  void ExpectFileKept() { EXPECT_EQ(ReadFileBytes(path), before); }
  // Imports a file of these bytes: `box`, a failure, and the file as it was.
  void ExpectRefused(const std::string& bytes, const std::string& name, ExpectedDialog box) {
    path = vars.Dir().File(name);
    before = bytes;
    WriteFileBytes(path, bytes);
    script.Box(std::move(box));
    EXPECT_FALSE(Import(path));
    ExpectFileKept();
  }

  std::string path, before;
  bool pressed = false;
};

TEST_F(DriverFailure, EscapeOrAbbrechenDuringTheScanOrTheConversion) {
  const std::function<void(CProgressDialog&)> escape = [](CProgressDialog& w) {
    PostMessageA(w.GetSafeHwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
  };
  const std::function<void(CProgressDialog&)> abbrechen = [](CProgressDialog& w) {
    PostMessageA(w.GetDlgItem(kProgressCancel), WM_LBUTTONDOWN, 1, 0);
  };
  const std::function<void(CProgressDialog&)> command = [](CProgressDialog& w) {
    w.SendCommand(kProgressCancel, BN_CLICKED);
  };
  for (const char* stage : {"Time Gruppe 1", "Umwandlung der Gruppe 1 von 1"}) {
    for (const auto& press : {escape, abbrechen, command}) {
      SCOPED_TRACE(stage);
      pressed = false;
      SaveLong();
      PressWhile(stage, press);
      EXPECT_FALSE(Import(path));
      EXPECT_TRUE(pressed);
      EXPECT_EQ(CurrentProgressWindow(), nullptr);
      ExpectFileKept();
    }
  }
}

TEST_F(DriverFailure, AMissingOrNonMdfFileOrATruncatedOne) {
  // One box, not one from the check for sorting and another from the open.
  path = vars.Dir().File("missing.mdf");
  script.Box(Box("could not open file " + path + "\n", "DUD32-ERROR MESSAGE"));
  EXPECT_FALSE(Import(path));
  ExpectRefused(std::string(300, 'j'), "junk.mdf", Box("file format \n", "DUD32-ERROR MESSAGE"));
  // Cut inside the channel blocks.
  FileDef def;
  def.groups.push_back(Group({Time({0, 1, 2}), Data("a", [](uint32_t r) { return r; })}, 3));
  BuiltFile built = BuildFile(def);
  built.writer.Truncate(built.groups[0].cn[1] + 100);
  ExpectRefused(built.writer.Bytes(), "cut.mdf", Box("could not read file \n", "DUD32-ERROR MESSAGE"));
}

TEST_F(DriverFailure, ADataSpaceBeyondFourGigabytesIsRefused) {
  // 8192 channels of 131,073 records: 4,298,113,024 bytes of blocks.
  FileDef def;
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = 4;
  ChannelDef time = Time({});
  time.cn.bits = 32;
  time.cn.dataType = dt::kUInt;
  g.channels.push_back(time);
  for (int c = 1; c < 8192; ++c) g.channels.push_back(Data("c" + std::to_string(c), nullptr, 8));
  def.groups.push_back(std::move(g));
  // The records follow the blocks: a rising 32-bit time.
  BuiltFile built = BuildFile(def);
  const uint32_t records = 131073;
  std::string area(size_t{records} * 4, '\0');
  for (uint32_t r = 0; r < records; ++r) std::memcpy(&area[size_t{r} * 4], &r, 4);
  built.writer.PatchU32(built.groups[0].cg + cg::kRecordCount, records);
  built.writer.SetLink(built.groups[0].dg, dg::kData, built.writer.AddBytes(area));
  ExpectRefused(built.writer.Bytes(), "wide.mdf", Box("out of memory", "Fehler beim MDF-Import"));
}

TEST_F(DriverFailure, AnUnsortedFileThatCannotBeWritten) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
  UnsortedDef def;
  for (uint16_t g = 1; g <= 2; ++g) {
    GroupDef group = Group({Time({0, 1, 2}), Data("a", [](uint32_t r) { return r; })}, 3);
    group.recordId = g;
    def.groups.push_back(group);
  }
  path = vars.Dir().File("unsorted.mdf");
  BuildUnsortedFile(def).writer.Save(path);
  before = ReadFileBytes(path);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  script.Box(Box(winport::Utf8ToAnsi("Die Datei\n" + path +
                                     "\nmuß sortiert werden, es besteht aber keine\nSchreibberechtigung auf diesem "
                                     "Verzeichnis!\nDeshalb wird abgebrochen."),
                 "Import-Fehler"));
  EXPECT_FALSE(Import(path));
  ExpectFileKept();
}

}  // namespace

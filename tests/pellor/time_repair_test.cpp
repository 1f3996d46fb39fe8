// The repair of time channels, the equidistance rule, value ranges from the
// channel blocks with their widening, and the time stamp of date texts.
#include "pellor/time_repair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "importcore/host_types.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/mdf.h"
#include "pellor/loader.h"
#include "pellor/parameter_block.h"
#include "pellor/ranges.h"
#include "pellor/records.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/opened_mdf.h"
#include "tests/support/time_zone.h"

namespace pellor {
namespace {

using namespace testsupport;

// A file of one group whose channels are given; opened.
struct Channels {
  OpenedMdf o;
  explicit Channels(std::vector<ChannelDef> channels, const std::string& programId = "TESTPROG")
      : o(Build(std::move(channels), programId)) {}
  static std::string Build(std::vector<ChannelDef> channels, const std::string& programId) {
    FileDef def;
    def.id.programId = programId;
    GroupDef g;
    g.records = 1;
    for (ChannelDef& c : channels) c.value = [](uint32_t) { return 0.0; };
    g.channels = std::move(channels);
    def.groups.push_back(g);
    return BuildFile(def).writer.Bytes();
  }
  mdf::CCNBlock& Channel(int k = 0) {
    mdf::CCNBlock* cn = o.mdf.GetFirstDG()->GetFirstCG()->GetFirstCN();
    for (int i = 0; i < k; ++i) cn = cn->GetNext();
    return *cn;
  }
};

ChannelDef TimeChannel(std::optional<CcSpec> cc = std::nullopt, uint16_t type = dt::kDouble, uint16_t bits = 64) {
  ChannelDef c;
  c.cn = CnSpec{.channelType = 1, .name = "time", .bits = bits, .dataType = type};
  c.cc = std::move(cc);
  return c;
}

void Hold(SignalRecord& r, const std::vector<double>& v) {
  r.NoOfValues = static_cast<uint32_t>(v.size());
  r.cache.bytes.resize(v.size() * 8);
  std::memcpy(r.cache.bytes.data(), v.data(), v.size() * 8);
  r.cache.type = importcore::dtyp::kFloat64;
  r.cache.valid = true;
}

std::vector<double> Held(const SignalRecord& r) {
  std::vector<double> v(r.NoOfValues);
  std::memcpy(v.data(), r.cache.bytes.data(), v.size() * 8);
  return v;
}

TEST(CheckTimeChannel, RepairsOrRefusesTheTableOfStamps) {
  struct Case {
    const char* name;
    std::vector<double> in;
    int result;
    std::vector<double> out;  // when repaired
  };
  const Case cases[] = {
      {"rising stays", {0, 1, 2, 3}, 1, {0, 1, 2, 3}},
      {"restart to at most 1.0 goes on from the last stamp", {0, 1, 2, 3, 0.5, 1.5, 2.5}, 1, {0, 1, 2, 3, 3.5, 4.5, 5.5}},
      {"a second restart too", {0, 1, 2, 0.5, 1.5, 0.25, 0.75}, 1, {0, 1, 2, 2.5, 3.5, 3.75, 4.25}},
      {"backward jump: the line from the last smaller stamp", {1, 2, 3, 10, 11, 5, 6}, 1, {1, 2, 3, 11.0 / 3, 13.0 / 3, 5, 6}},
      {"a fault in the last stamp", {0, 1, 2, 3, 2.5}, 1, {0, 1, 2, 2.25, 2.5}},
      {"a repeat in the last pair", {0, 1, 2, 2}, 0, {}},
      {"a run becomes the line to the next greater stamp", {0, 1, 1, 1, 4}, 1, {0, 1, 2, 3, 4}},
      {"a run before a backward jump", {0, 1, 5, 5, 5, 3, 4}, 1, {0, 1, 1.5, 2, 2.5, 3, 4}},
      {"a run before a restart", {0, 1, 3, 3, 0.5}, 1, {0, 1, 3, 3.25, 3.5}},
      {"a restart to 0 repeats the stamp: a run", {0, 1, 2, 0, 1}, 1, {0, 1, 2, 2.5, 3}},
      {"a run to the end", {0, 1, 2, 2, 2}, 0, {}},
      {"a fall with nothing smaller before it", {5, 6, 2, 3}, 0, {}},
      {"a stamp that is no number lies on the line between its neighbours", {0, 1, NAN, 3}, 1, {0, 1, 2, 3}},
      {"so do a run of them and an infinity", {0, 1, NAN, INFINITY, 4}, 1, {0, 1, 2, 3, 4}},
      {"one before a backward jump", {0, 1, 5, NAN, 3, 4}, 1, {0, 1, 5.0 / 3, 7.0 / 3, 3, 4}},
      {"one before a restart", {0, 1, 2, NAN, 0.5}, 1, {0, 1, 2, 2.25, 2.5}},
      {"first and last ones continue the step next to them", {NAN, 1, 2, 4, NAN, -INFINITY}, 1, {0, 1, 2, 4, 6, 8}},
      {"a single stamp that is a number", {NAN, 1, NAN}, 0, {}},
      {"one stamp", {0}, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Channels f({TimeChannel()});
    SignalRecord r;
    Hold(r, c.in);
    const int result = CheckTimeChannel(f.Channel(), r);
    ASSERT_EQ(result, c.result);
    if (!result) continue;
    const std::vector<double> out = Held(r);
    ASSERT_EQ(out.size(), c.out.size());
    for (size_t i = 0; i < out.size(); ++i) EXPECT_DOUBLE_EQ(out[i], c.out[i]) << "stamp " << i;
    for (size_t i = 1; i < out.size(); ++i) EXPECT_LT(out[i - 1], out[i]);
    EXPECT_EQ(r.XMin, c.out.front());
    EXPECT_EQ(r.XOffset, c.out.front());
    EXPECT_EQ(r.YMax, c.out.back());
    EXPECT_DOUBLE_EQ(r.XFactor, (c.out.back() - c.out.front()) / (out.size() - 1));
    EXPECT_EQ(f.Channel().GetRunningMaxRaw(), c.out.back());
  }
}

TEST(CheckTimeChannel, RestartTestAndRangeUseThePhysicalStamps) {
  // Milliseconds with factor 1e-3: 500 ms is a restart, 1500 ms a backward jump.
  Channels f({TimeChannel(CcLinear(1e-3, 0, "s"), dt::kUInt, 32)});
  SignalRecord r;
  Hold(r, {0, 1000, 2000, 500, 1500});
  ASSERT_EQ(CheckTimeChannel(f.Channel(), r), 1);
  EXPECT_EQ(Held(r), (std::vector<double>{0, 1000, 2000, 2500, 3500}));
  EXPECT_DOUBLE_EQ(r.XMax, 3.5);
  EXPECT_DOUBLE_EQ(r.XFactor, 3.5 / 4);
  EXPECT_EQ(f.Channel().GetRunningMaxRaw(), 3500);
  EXPECT_DOUBLE_EQ(f.Channel().GetMaxPhys(), 3.5);

  Hold(r, {0, 1000, 2000, 1500, 2500});
  ASSERT_EQ(CheckTimeChannel(f.Channel(), r), 1);
  EXPECT_EQ(Held(r), (std::vector<double>{0, 1000, 1250, 1500, 2500}));

  // A falling conversion: the range is ordered.
  Channels g({TimeChannel(CcLinear(-1, 0))});
  Hold(r, {0, 1, 2});
  ASSERT_EQ(CheckTimeChannel(g.Channel(), r), 1);
  EXPECT_EQ(r.XMin, -2);
  EXPECT_EQ(r.XMax, 0);
}

TEST(CheckTimeChannel, NoValueStampsAreGapsAndNoInMemoryValuesAreRefused) {
  Channels f({TimeChannel()});  // time channels carry the NoValue 1e308
  ASSERT_TRUE(f.Channel().IsNoValueSet());
  SignalRecord r;
  // The run's line is spaced by record indices, over the gap.
  Hold(r, {1e308, 0, 1, 1e308, 1, 4, 1e308});
  ASSERT_EQ(CheckTimeChannel(f.Channel(), r), 1);
  EXPECT_EQ(Held(r), (std::vector<double>{1e308, 0, 1, 1e308, 3, 4, 1e308}));
  EXPECT_EQ(r.XMin, 0);
  EXPECT_EQ(r.XMax, 4);
  // Stamps that are no number are spaced by record indices too, over the gaps.
  Hold(r, {NAN, 1e308, 1, NAN, 1e308, 3});
  ASSERT_EQ(CheckTimeChannel(f.Channel(), r), 1);
  const std::vector<double> held = Held(r), want = {1 - 4.0 / 3, 1e308, 1, 1 + 2.0 / 3, 1e308, 3};
  for (size_t i = 0; i < want.size(); ++i) EXPECT_DOUBLE_EQ(held[i], want[i]) << i;

  SignalRecord none;
  none.NoOfValues = 3;
  EXPECT_EQ(CheckTimeChannel(f.Channel(), none), 0);
}

TEST(IsEquidistant, FollowsTheOneRuleEverywhere) {
  const EquidistanceRule rule{1.01, 0.99, 0};
  EXPECT_TRUE(IsEquidistant(0.01, 0.01, 0.01, rule)) << "a perfect grid";
  EXPECT_TRUE(IsEquidistant(0.5, 1.0, 1.0, rule)) << "equal steps, whatever the mean";
  EXPECT_TRUE(IsEquidistant(1.0, 0.99, 1.01, rule)) << "steps at the factors";
  EXPECT_FALSE(IsEquidistant(1.0, 0.98, 1.0, rule));
  EXPECT_FALSE(IsEquidistant(1.0, 1.0, 1.02, rule));
  EXPECT_FALSE(IsEquidistant(1.0, 1.005, 1.01, rule)) << "the mean below the smallest step";
  EXPECT_TRUE(IsEquidistant(1.0, 0.5, 2.0, {1.01, 0.99, 2})) << "MDF_RESETTIME 2";
}

TEST(ComputeSignalRange, TakesStoredRangesConversionsAndTables) {
  struct Case {
    const char* name;
    std::string programId;
    uint16_t rangeValid;
    double minRaw, maxRaw;
    std::optional<CcSpec> cc;
    int32_t rangeFlags;
    int result;
    double yMin, yMax;
  };
  CcSpec withRange = CcLinear(2, 0, "V");
  withRange.rangeValid = 1;
  withRange.minPhys = 8;
  withRange.maxPhys = -4;
  const Case cases[] = {
      {"own marker", "TESTPROG", 0xAAB0, 1, 5, {}, 0, 0, 1, 5},
      {"own marker, converted and ordered", "TESTPROG", 0xAAB8, 1, 5, CcLinear(-2, 1), 0, 0, -9, -1},
      {"a constant gets a tenth around it", "TESTPROG", 0xAAB0, 10, 10, {}, 0, 0, 9, 11},
      {"a negative constant too, ordered", "TESTPROG", 0xAAB0, -10, -10, {}, 0, 0, -11, -9},
      {"zero gets -1 .. 1", "TESTPROG", 0xAAB0, 0, 0, {}, 0, 0, -1, 1},
      {"the format's flag counts only in KESTRAVO files", "TESTPROG", 1, 1, 5, {}, 0, 1, 0, 0},
      {"KESTRAVO: the format's flag", "KESTRAVO", 1, 1, 5, CcLinear(0.5, 0), 0, 0, 0.5, 2.5},
      {"overwrite ignores stored ranges", "TESTPROG", 0xAAB0, 1, 5, {}, 1, 1, 0, 0},
      {"the conversion's range", "TESTPROG", 0, 0, 0, withRange, 0, 0, -4, 8},
      {"a text table's entries", "TESTPROG", 0, 0, 0, CcTextTable({{0, "a"}, {1, "b"}, {2, "c"}}), 0, 0, 0, 2},
      {"the type's range through a linear conversion", "TESTPROG", 0, 0, 0, CcLinear(0.5, -10), 0, 0, -10, 117.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChannelDef ch;
    ch.cn = CnSpec{.name = "v", .bits = 8, .dataType = dt::kUInt, .rangeValid = c.rangeValid, .minRaw = c.minRaw,
                   .maxRaw = c.maxRaw};
    ch.cc = c.cc;
    Channels f({TimeChannel(), ch}, c.programId);
    f.o.mdf.SetReaderVersion(1144);
    LoaderSettings settings;
    settings.rangeFlags = c.rangeFlags;
    SignalRecord r;
    EXPECT_EQ(ComputeSignalRange(f.Channel(1), r, settings, f.o.mdf), c.result);
    EXPECT_EQ(r.axisValues, 1);
    EXPECT_EQ(r.YFactor, 1.0);
    if (c.result == 0) {
      EXPECT_DOUBLE_EQ(r.YMin, c.yMin);
      EXPECT_DOUBLE_EQ(r.YMax, c.yMax);
    }
  }
}

TEST(WidenRange, WidensOnceAndKeepsTheDataRange) {
  struct Case {
    const char* name;
    std::optional<CcSpec> cc;
    double min, max, wantMin, wantMax;
  };
  const Case cases[] = {
      {"a tenth on each side", {}, 0, 10, -1, 11},
      {"zero with the identity", CcLinear(1, 0), 0, 0, -0.1, 1.1},
      {"a positive constant with the identity", CcLinear(1, 0), 4, 4, -0.1, 4.4},
      {"a negative constant with the identity", CcLinear(1, 0), -4, -4, -4.4, 0.1},
      {"a constant with a text table", CcTextTable({{0, "a"}, {1, "b"}}), 1, 1, -0.1, 1.1},
      {"a constant otherwise", CcLinear(2, 0), 4, 4, 3, 5},
      {"a constant without a conversion", {}, 4, 4, 3, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChannelDef ch;
    ch.cn = CnSpec{.name = "v", .bits = 16, .dataType = dt::kUInt};
    ch.cc = c.cc;
    Channels f({TimeChannel(), ch});
    LoaderSettings settings;
    SignalRecord r;
    r.YMin = c.min;
    r.YMax = c.max;
    EXPECT_FALSE(WidenRange(r, f.Channel(1), c.min, c.max, settings)) << "without nice ranges";
    EXPECT_EQ(r.YMin, c.min);
    settings.rangeFlags = ParameterBlock::kRangeNice;
    ASSERT_TRUE(WidenRange(r, f.Channel(1), c.min, c.max, settings));
    EXPECT_DOUBLE_EQ(r.YMin, c.wantMin);
    EXPECT_DOUBLE_EQ(r.YMax, c.wantMax);
    EXPECT_EQ(r.YDataMin, c.min);
    EXPECT_EQ(r.YDataMax, c.max);
  }
}

TEST(DateTextToTime, ReadsBothDateFormsAndRefusesWhatDoesNotParse) {
  ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
  std::tm want{};
  want.tm_year = 109, want.tm_mon = 2, want.tm_mday = 5, want.tm_hour = 14, want.tm_min = 7, want.tm_sec = 30;
  want.tm_isdst = -1;
  const std::time_t expected = std::mktime(&want);
  EXPECT_EQ(expected, 1236258450);  // 13:07:30 UTC
  EXPECT_EQ(DateTextToTime("05.03.2009", "14:07:30"), expected);
  EXPECT_EQ(DateTextToTime("05:03:2009", "14:07:30"), expected);
  EXPECT_EQ(DateTextToTime("05.07.2009", "14:07:30"), 1246795650) << "summer time";
  for (const auto& [date, time] : std::vector<std::pair<std::string, std::string>>{
           {"", "14:07:30"}, {"05.03.2009", ""}, {"kein Datum", "14:07:30"}, {"05.03.2009", "Mittag"},
           {"32.03.2009", "14:07:30"}, {"05.13.2009", "14:07:30"}, {"05.03.2009", "25:00:00"}, {"05.03", "14:07:30"}})
    EXPECT_EQ(DateTextToTime(date, time), 0) << date << " " << time;
}

}  // namespace
}  // namespace pellor

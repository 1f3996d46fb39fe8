#include "mdf/composition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mdf/format.h"
#include "mdf/mdf.h"
#include "platform/ui/headless.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/registry.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;

namespace {

constexpr double kGap = CDataComposition::kNoValue;
constexpr const char* kVariables = "Software\\Zephanor\\6.0\\Variables";

// One data group of a fixture: its time channel's times and one data channel.
struct Group {
  std::vector<double> times;
  std::vector<double> values;
  std::string name = "sig";
  double rate = 0.1;  // the time channel's sampling interval
  std::string timeName = "time";
};

// A KESTRAVO file with one time channel and one double channel per group.
FileDef ComposeDef(const std::vector<Group>& groups) {
  FileDef def = SimpleFileDef(static_cast<uint32_t>(groups.size()), 1, 0, "KESTRAVO");
  for (size_t g = 0; g < groups.size(); ++g) {
    GroupDef& gd = def.groups[g];
    const Group& in = groups[g];
    gd.records = static_cast<uint32_t>(in.times.size());
    gd.channels[0].cn.sampleRate = in.rate;
    gd.channels[0].cn.name = in.timeName;
    gd.channels[0].value = [t = in.times](uint32_t r) { return t[r]; };
    gd.channels[1].cn.name = in.name;
    gd.channels[1].cn.bits = 64;
    gd.channels[1].cn.dataType = dt::kDouble;
    gd.channels[1].value = [v = in.values](uint32_t r) { return v[r]; };
  }
  return def;
}

struct Series {
  std::vector<double> values, times;
};

// Points the registry at a file of its own and opens files with composition.
class Composition : public ::testing::Test {
 protected:
  void SetUp() override { winport::SetRegistryPath(dir_.File("registry")); }
  void TearDown() override { winport::SetRegistryPath(""); }

  int Open(const std::string& bytes, bool showMessages = false) {
    const std::string path = dir_.File("k.dat");
    WriteFileBytes(path, bytes);
    return OpenPath(path, showMessages);
  }
  int Open(const FileDef& def, bool showMessages = false) {
    return Open(BuildFile(def).writer.Bytes(), showMessages);
  }
  // Opens with a new file object each time.
  int OpenPath(const std::string& path, bool showMessages = false) {
    mdf_ = std::make_unique<CMdf>();
    mdf_->SetCompose(true);
    mdf_->SetShowMessages(showMessages);
    return mdf_->Open(path);
  }
  const std::string& LastError() const { return mdf_->GetLastError(); }

  const CChannelInfo* Info(const std::string& name) {
    const CChannelInfo* info = nullptr;
    if (!mdf_->GetDataComposition() || !mdf_->GetDataComposition()->LookupChannel(name, info))
      return nullptr;
    return info;
  }

  Series Composed(const std::string& name) {
    Series s;
    const CChannelInfo* info = Info(name);
    if (!info) {
      ADD_FAILURE() << "no composed channel " << name;
      return s;
    }
    const std::vector<double>& data = mdf_->GetDataComposition()->GetComposedData();
    const size_t n = static_cast<size_t>(info->m_samples);
    if (info->m_firstValue < 0 || info->m_firstTime < 0 || info->m_firstValue + n > data.size() ||
        info->m_firstTime + n > data.size()) {
      ADD_FAILURE() << "composed indexes out of range for " << name;
      return s;
    }
    s.values.assign(data.begin() + info->m_firstValue, data.begin() + info->m_firstValue + n);
    s.times.assign(data.begin() + info->m_firstTime, data.begin() + info->m_firstTime + n);
    return s;
  }

  static std::optional<std::string> Variable(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVariables, 0, KEY_READ, &key) != ERROR_SUCCESS)
      return std::nullopt;
    std::string buf(4096, '\0');
    DWORD size = static_cast<DWORD>(buf.size());
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ || size == 0) return std::nullopt;
    return buf.substr(0, size - 1);
  }

  TempDir dir_;
  std::unique_ptr<CMdf> mdf_;
};

void ExpectSeries(const Series& got, const std::vector<double>& values,
                  const std::vector<double>& times) {
  ASSERT_EQ(got.values.size(), values.size());
  ASSERT_EQ(got.times.size(), times.size());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_DOUBLE_EQ(got.values[i], values[i]) << "value " << i;
    EXPECT_NEAR(got.times[i], times[i], 1e-12) << "time " << i;
  }
}

TEST_F(Composition, ContiguousGroupsJoinWithoutGaps) {
  ASSERT_EQ(Open(ComposeDef({{{0, 0.1, 0.2}, {1, 2, 3}}, {{0.3, 0.4}, {4, 5}}})), 1)
      << LastError();
  ExpectSeries(Composed("sig"), {1, 2, 3, 4, 5}, {0, 0.1, 0.2, 0.3, 0.4});
}

TEST_F(Composition, AGapBetweenGroupsGetsAGapEntry) {
  ASSERT_EQ(Open(ComposeDef({{{0, 0.1}, {1, 2}}, {{0.5, 0.6}, {3, 4}}})), 1);
  // The gap entry's value is the NoValue, its time extrapolated: 2 x 0.1 - 0.
  ExpectSeries(Composed("sig"), {1, 2, kGap, 3, 4}, {0, 0.1, 0.2, 0.5, 0.6});
}

TEST_F(Composition, LaterGroupsInterleaveByTime) {
  // The second group starts earlier and fills in between.
  ASSERT_EQ(Open(ComposeDef({{{0.2, 0.4, 0.6}, {2, 4, 6}}, {{0.1, 0.3, 0.5}, {1, 3, 5}}})), 1);
  ExpectSeries(Composed("sig"), {1, 2, 3, 4, 5, 6}, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
}

TEST_F(Composition, SameTimeInTwoGroupsKeepsTheFirstValueAndReportsConflictsOncePerName) {
  struct Case {
    double second;
    bool conflict;
  };
  for (const Case c : {Case{1.0000005, false}, Case{2.0, true}}) {
    SCOPED_TRACE(c.second);
    winport::SetRegistryPath(dir_.File("registry" + std::to_string(c.conflict)));
    // Both 0.1 and 0.2 lie in both groups; the first group's values stay.
    ASSERT_EQ(Open(ComposeDef({{{0, 0.1, 0.2}, {1, 1, 1}}, {{0.1, 0.2}, {c.second, c.second}}})),
              1);
    ExpectSeries(Composed("sig"), {1, 1, 1}, {0, 0.1, 0.2});
    if (c.conflict) {
      EXPECT_EQ(Variable("ERRNO"), "1");
      // Only the first conflict of the name is reported.
      EXPECT_EQ(Variable("ERRMSG"),
                "Error reading channel 'sig':\n\nDifferent data at time 0.1 s (2 instead of 1 "
                "in data group 2, channel group 1)");
    } else {
      EXPECT_EQ(Variable("ERRNO"), std::nullopt);
      EXPECT_EQ(Variable("ERRMSG"), std::nullopt);
    }
  }
}

TEST_F(Composition, WithMessagesShownAConflictIsAMessageBoxAndLeavesTheHostVariablesAlone) {
  winport::ui::ScriptedAnswers script;
  winport::ui::ExpectedDialog conflict;
  conflict.text =
      "Error reading channel 'sig':\n\nDifferent data at time 0.1 s (2 instead of 1 in data "
      "group 2, channel group 1)";
  conflict.type = MB_OK | MB_ICONEXCLAMATION;
  script.Box(conflict);
  ASSERT_EQ(Open(ComposeDef({{{0, 0.1}, {1, 1}}, {{0.1}, {2}}}), true), 1);
  EXPECT_TRUE(script.Ok()) << script.Report();
  ExpectSeries(Composed("sig"), {1, 1}, {0, 0.1});
  EXPECT_EQ(Variable("ERRNO"), std::nullopt);
  EXPECT_EQ(Variable("ERRMSG"), std::nullopt);
}

TEST_F(Composition, IntervalZeroIsEstimatedFromTheTimes) {
  Group g{{0, 0.1, 0.3, 0.4}, {1, 2, 3, 4}};
  g.rate = 0;
  ASSERT_EQ(Open(ComposeDef({g})), 1) << LastError();
  // 0.1 is the first difference that repeats the smallest one: 0.3 comes after a gap.
  ExpectSeries(Composed("sig"), {1, 2, kGap, 3, 4}, {0, 0.1, 0.2, 0.3, 0.4});
  const CChannelInfo* info = Info("sig");
  ASSERT_NE(info, nullptr);
  EXPECT_NEAR(info->m_occurrences.at(0).interval, 0.1, 1e-12);
}

TEST_F(Composition, IntervalZeroThatCannotBeEstimatedMeansNoGaps) {
  const std::vector<std::vector<double>> cases = {
      {0, 0.5},             // fewer than three samples
      {0},                  // one sample
      {0, 0.1, 0.3, 0.6},   // no difference repeats the smallest
      {0, 0, 0, 1, 2},      // the repeated smallest difference is 0
  };
  for (const auto& times : cases) {
    SCOPED_TRACE(times.size());
    Group g{times, std::vector<double>(times.size(), 7)};
    g.rate = 0;
    ASSERT_EQ(Open(ComposeDef({g})), 1) << LastError();
    ExpectSeries(Composed("sig"), g.values, times);
  }
}

TEST_F(Composition, ParenthesisedSuffixesComposeUnderOneName) {
  Group a{{0, 0.1}, {1, 2}};
  a.name = "Speed (ECU)";
  Group b{{0.2, 0.3}, {3, 4}};
  b.name = "Speed (Bench)";
  Group c{{0, 0.1}, {5, 6}};
  c.name = "Speedometer";
  ASSERT_EQ(Open(ComposeDef({a, b, c})), 1);
  ExpectSeries(Composed("Speed"), {1, 2, 3, 4}, {0, 0.1, 0.2, 0.3});
  ExpectSeries(Composed("Speedometer"), {5, 6}, {0, 0.1});
  EXPECT_EQ(Info("Speed (ECU)"), nullptr);
}

TEST_F(Composition, ANameOfATimeChannelIsNotExtendedByADataChannel) {
  Group a{{0, 0.1}, {1, 2}};
  a.timeName = "x";
  Group b{{0, 0.1}, {3, 4}};
  b.name = "x";
  ASSERT_EQ(Open(ComposeDef({a, b})), 1) << LastError();
  const CChannelInfo* x = Info("x");
  ASSERT_NE(x, nullptr);
  EXPECT_TRUE(x->m_isTime);
  ASSERT_EQ(x->m_occurrences.size(), 1u);
  EXPECT_EQ(x->m_occurrences[0].dataGroup, 1);
  // A time channel's own name composes no series.
  EXPECT_EQ(x->m_samples, 0);
}

// Every sample lies far beyond the interval, so each but the first gets a gap
// entry: a series twice as long as its samples, for two names.
TEST_F(Composition, AGapBeforeEverySampleFitsTheArrays) {
  constexpr uint32_t n = 5000;  // more than one decoding chunk
  FileDef def = SimpleFileDef(1, 2, n, "KESTRAVO");
  def.groups[0].channels[0].value = [](uint32_t r) { return r * 1.0; };
  ASSERT_EQ(def.groups[0].channels[0].cn.sampleRate, 0.01);
  ASSERT_EQ(Open(def), 1) << LastError();
  for (const char* name : {"sig1_1", "sig1_2"}) {
    SCOPED_TRACE(name);
    const double factor = name[5] == '1' ? 1 : 2;
    const Series s = Composed(name);
    ASSERT_EQ(s.values.size(), 2 * n - 1);
    for (uint32_t r = 0; r < n; ++r) {
      ASSERT_EQ(s.values[2 * r], factor * r);
      ASSERT_EQ(s.times[2 * r], r * 1.0);
      if (r == 0) continue;
      // The gap's time: the sample before it, since the one before that is a gap.
      ASSERT_EQ(s.values[2 * r - 1], kGap);
      ASSERT_EQ(s.times[2 * r - 1], r - 1.0);
    }
  }
}

TEST_F(Composition, RecordsTheFileDoesNotHoldAreNotComposed) {
  struct Case {
    const char* what;
    uint32_t recordCount;  // written into the channel group
    uint32_t cut;          // bytes cut off the end of the file
  };
  const uint32_t kRecord = 16;  // a double time and a double value
  for (const Case c : {Case{"short read", 10, 3 * kRecord + 5},
                       Case{"huge record count", 0xFFFFFFFFu, 0}}) {
    SCOPED_TRACE(c.what);
    // Times from 1 on: records read as zeros would show up at time 0.
    Group g{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}};
    g.rate = 1;
    BuiltFile f = BuildFile(ComposeDef({g}));
    f.writer.PatchU32(f.groups[0].cg + cg::kRecordCount, c.recordCount);
    f.writer.Truncate(f.writer.Size() - c.cut);
    ASSERT_EQ(Open(f.writer.Bytes()), 1) << LastError();
    const size_t whole = c.cut ? 6 : 10;
    const Series s = Composed("sig");
    ASSERT_EQ(s.times.size(), whole);
    for (size_t i = 0; i < whole; ++i) EXPECT_EQ(s.times[i], i + 1.0);
  }
}

// A group whose series needs more entries than the composition's capacity
// (1000 per name plus all records) fails the open.
TEST_F(Composition, ASeriesOverCapacityFailsTheOpen) {
  // The second group's time channel is named like the first group's data
  // channel, so its records count for no name: "b" alone holds 4000 records
  // with a gap before each, 7999 entries against a capacity of 3000 + 2 + 4000.
  Group a{{0}, {1}};
  a.name = "a";
  Group b;
  b.name = "b";
  b.timeName = "a";
  b.rate = 0.01;
  for (int r = 0; r < 4000; ++r) {
    b.times.push_back(r);
    b.values.push_back(r);
  }
  EXPECT_EQ(Open(ComposeDef({a, b})), 0);
  EXPECT_FALSE(LastError().empty());
  // Less than half as many records fit.
  b.times.resize(2000);
  b.values.resize(2000);
  EXPECT_EQ(Open(ComposeDef({a, b})), 1) << LastError();
}

TEST_F(Composition, WriteVariableWritesTheHostKey) {
  EXPECT_EQ(WriteVariable("ERRMSG", "text"), 1);
  EXPECT_EQ(Variable("ERRMSG"), "text");
  EXPECT_EQ(WriteVariable("ERRMSG", ""), 1);
  EXPECT_EQ(Variable("ERRMSG"), "");
}

// The corpus file holds n_mot and T_oel in two data groups (the second group
// names its speed "n_mot (1/min)"); both groups sample at times found from
// their time channels: 0.1 s and 0.25 s. Group 1's time of record 5 is the
// time NoValue and is replaced while decoding.
TEST_F(Composition, CorpusFileWithNamesInTwoGroups) {
  SKIP_WITHOUT_CORPUS();
  const std::string file = "mdf/gen_novalue_kestravo_v300.dat";
  const nlohmann::json oracle = LoadOracle(file);
  ASSERT_EQ(OpenPath(CorpusFile(file)), 1) << LastError();

  const nlohmann::json& groups = oracle["groups"];
  ASSERT_EQ(groups.size(), 2u);
  for (const char* name : {"n_mot", "T_oel"}) {
    SCOPED_TRACE(name);
    const nlohmann::json* chan[2] = {};
    for (int g = 0; g < 2; ++g)
      for (const auto& c : groups[g]["channels"])
        if (StripParenSuffix(c["name"].get<std::string>()) == name) chan[g] = &c;
    ASSERT_TRUE(chan[0] && chan[1]);
    const size_t count0 = (*chan[0])["phys"]["count"], count1 = (*chan[1])["phys"]["count"];

    const Series s = Composed(name);
    // Both groups meet at 0 s and 1 s; neither leaves a gap.
    ASSERT_EQ(s.times.size(), count0 + count1 - 2);
    for (size_t i = 1; i < s.times.size(); ++i) EXPECT_LT(s.times[i - 1], s.times[i]) << i;
    for (double v : s.values) EXPECT_NE(v, kGap);
    EXPECT_EQ(s.times.front(), 0.0);
    EXPECT_EQ(s.values.front(), (*chan[0])["phys"]["first"][0].get<double>());
    EXPECT_EQ(s.times.back(), 2.75);
    EXPECT_EQ(s.values.back(), (*chan[1])["phys"]["last"][4].get<double>());
    // At 1 s group 1's value (its record 10) stays.
    size_t atOne = 0;
    for (size_t i = 0; i < s.times.size(); ++i) {
      if (!IsNear(s.times[i], 1.0)) continue;
      ++atOne;
      EXPECT_EQ(s.values[i], (*chan[0])["phys"]["last"][3].get<double>());
    }
    EXPECT_EQ(atOne, 1u);
  }
  // The time channels' own name composes no series.
  const CChannelInfo* time = Info("time");
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->m_samples, 0);
  // Both names disagree at 1 s; the host variables hold the last report.
  EXPECT_EQ(Variable("ERRNO"), "1");
  EXPECT_EQ(Variable("ERRMSG"),
            "Error reading channel 'T_oel':\n\nDifferent data at time 1 s (62 instead of 65 in "
            "data group 2, channel group 1)");
}

// The composition's steps for one name, done literally on the occurrences'
// samples: each occurrence merged into the series so far by time (the earlier
// sample staying where two lie within the tolerance), gap entries made anew at
// every merge, gap entries' times filled in at the end.
struct Occurrence {
  std::vector<double> times, values;
  unsigned dataGroup = 0;
};
Series ReferenceComposition(const std::vector<Occurrence>& occurrences, double interval, double noValue,
                            std::string& firstConflict) {
  Series sofar;
  for (const Occurrence& o : occurrences) {
    Series next;
    double threshold = 0;
    auto put = [&](double v, double t) {
      if (interval > 0 && t > threshold) {
        next.values.push_back(noValue);
        next.times.push_back(kGap);
      }
      next.values.push_back(v);
      next.times.push_back(t);
      threshold = t + 1.5 * interval;
    };
    size_t i = 0;
    auto skipGaps = [&] {
      while (i < sofar.times.size() && sofar.times[i] == kGap) ++i;
    };
    skipGaps();
    bool started = false;
    auto start = [&](double first) {
      if (i < sofar.times.size()) first = std::min(first, sofar.times[i]);
      threshold = first + interval / 2;
      started = true;
    };
    for (size_t k = 0; k < o.times.size(); ++k) {
      if (!started) start(o.times[0]);
      bool merged = false;
      while (i < sofar.times.size()) {
        if (IsNear(sofar.times[i], o.times[k])) {
          if (!IsNear(sofar.values[i], o.values[k]) && firstConflict.empty())
            firstConflict = StrFormat("Error reading channel '%%s':\n\nDifferent data at time %g s (%g instead of %g "
                                      "in data group %u, channel group 1)",
                                      sofar.times[i], o.values[k], sofar.values[i], o.dataGroup);
          put(sofar.values[i], sofar.times[i]);
          ++i;
          skipGaps();
          merged = true;
          break;
        }
        if (!(sofar.times[i] < o.times[k])) break;
        put(sofar.values[i], sofar.times[i]);
        ++i;
        skipGaps();
      }
      if (!merged) put(o.values[k], o.times[k]);
    }
    if (i < sofar.times.size() && !started) start(sofar.times[i]);
    for (; i < sofar.times.size(); ++i)
      if (sofar.times[i] != kGap) put(sofar.values[i], sofar.times[i]);
    sofar = next;
  }
  std::vector<double>& t = sofar.times;
  const std::vector<double> raw = t;
  for (size_t k = 0; k < t.size(); ++k) {
    if (raw[k] != kGap) continue;
    if (k == 0)
      t[k] = 0;
    else if (k == 1)
      t[k] = raw[0] == kGap ? 0 : raw[0];
    else if (raw[k - 1] != kGap && raw[k - 2] != kGap)
      t[k] = 2 * raw[k - 1] - raw[k - 2];
    else if (raw[k - 1] == kGap && raw[k - 2] == kGap)
      t[k] = 0;
    else
      t[k] = raw[k - 1] == kGap ? raw[k - 2] : raw[k - 1];
  }
  return sofar;
}

// Five groups of one KESTRAVO file: one after another, overlapping, meeting
// within the tolerance, after a pause, and one whose times are not in order.
// "a" and "c" lie in the first four groups, "b" in all five; every name is as
// the composition's steps make it, and names of the same groups share their times.
TEST_F(Composition, ManyGroupsComposeAsTheStepsSay) {
  struct GroupTimes {
    std::vector<double> times;
    double rate;
    bool withA;
  };
  std::vector<GroupTimes> groups = {{{}, 0.1, true}, {{}, 0.25, true}, {{}, 0.1, true}, {{}, 0.1, true},
                                    {{5, 4.5, 4.8, 0.75}, 0, false}};
  for (int i = 0; i <= 10; ++i) groups[0].times.push_back(i * 0.1);
  for (int i = 0; i <= 6; ++i) groups[1].times.push_back(0.5 + i * 0.25);
  for (int i = 2; i <= 6; ++i) groups[2].times.push_back(i * 0.1 + 4e-7);
  for (int i = 0; i <= 5; ++i) groups[3].times.push_back(3.0 + i * 0.1);
  auto valueA = [](double t, size_t g) { return g == 2 && t > 0.35 && t < 0.45 ? -1.0 : std::round(t * 1000); };
  auto valueB = [](double t, size_t g) { return std::round(t * 100) + 1000.0 * static_cast<double>(g); };

  FileDef def = SimpleFileDef(static_cast<uint32_t>(groups.size()), 0, 0, "KESTRAVO");
  for (size_t g = 0; g < groups.size(); ++g) {
    GroupDef& gd = def.groups[g];
    gd.records = static_cast<uint32_t>(groups[g].times.size());
    gd.channels[0].cn.sampleRate = groups[g].rate;
    const std::vector<double> times = groups[g].times;
    gd.channels[0].value = [times](uint32_t r) { return times[r]; };
    auto channel = [&](const std::string& name, auto value) {
      ChannelDef c;
      c.cn = CnSpec{.name = name, .bits = 64, .dataType = dt::kDouble};
      c.value = [times, value, g](uint32_t r) { return value(times[r], g); };
      gd.channels.push_back(c);
    };
    if (groups[g].withA) {
      channel("a (" + std::to_string(g) + ")", valueA);
      channel("c", valueA);
    }
    channel("b", valueB);
  }
  ASSERT_EQ(Open(def), 1) << LastError();

  struct Expected {
    const char* name;
    std::function<double(double, size_t)> value;
    size_t groupCount;
  } expected[] = {{"a", valueA, 4}, {"c", valueA, 4}, {"b", valueB, 5}};
  std::string lastConflict;
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    std::vector<Occurrence> occurrences;
    double interval = 0;
    for (size_t g = 0; g < e.groupCount; ++g) {
      Occurrence o{groups[g].times, {}, static_cast<unsigned>(g + 1)};
      for (double t : o.times) o.values.push_back(e.value(t, g));
      occurrences.push_back(o);
      interval = std::max(interval, groups[g].rate);
    }
    std::string conflict;
    const Series want = ReferenceComposition(occurrences, interval, kGap, conflict);
    const Series got = Composed(e.name);
    ASSERT_EQ(got.times.size(), want.times.size());
    for (size_t i = 0; i < want.times.size(); ++i) {
      EXPECT_EQ(got.times[i], want.times[i]) << "time " << i;
      EXPECT_EQ(got.values[i], want.values[i]) << "value " << i;
    }
    if (!conflict.empty()) lastConflict = StrFormat(conflict.c_str(), e.name);
  }
  ASSERT_FALSE(lastConflict.empty());
  EXPECT_EQ(Variable("ERRMSG"), lastConflict);
  EXPECT_EQ(Info("a")->m_firstTime, Info("c")->m_firstTime);
  EXPECT_NE(Info("a")->m_firstTime, Info("b")->m_firstTime);
  EXPECT_NE(Info("a")->m_firstValue, Info("c")->m_firstValue);
}

}  // namespace

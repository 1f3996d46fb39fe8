// The merge plan of a composed name: merging all occurrences at once gives
// exactly the plan of merging them one after another, on occurrences that
// follow each other, interleave, meet within the tolerance or tangle.
#include "mdf/composition_merge.h"

#include <gtest/gtest.h>

#include <random>

#include "mdf/composition.h"

using namespace mdf;
using namespace mdf::compose;

namespace {

struct Occurrence {
  std::vector<double> times;
  bool orderly() const { return AreOrderly(times.data(), times.size()); }
};

Plan MergeOf(const std::vector<Occurrence>& occurrences, double interval, Merging merging, bool& ok,
             uint64_t capacity = 1u << 30) {
  std::vector<Input> inputs;
  for (const Occurrence& o : occurrences)
    inputs.push_back(Input{o.times.data(), static_cast<uint32_t>(o.times.size()), o.orderly()});
  Plan plan;
  ok = MergeTimes(inputs, interval, capacity, plan, merging);
  return plan;
}

void ExpectSamePlan(const Plan& a, const Plan& b) {
  ASSERT_EQ(a.times.size(), b.times.size());
  for (size_t i = 0; i < a.times.size(); ++i) ASSERT_EQ(a.times[i], b.times[i]) << "entry " << i;
  ASSERT_EQ(a.runs.size(), b.runs.size());
  for (size_t i = 0; i < a.runs.size(); ++i) {
    EXPECT_EQ(a.runs[i].input, b.runs[i].input) << "run " << i;
    EXPECT_EQ(a.runs[i].first, b.runs[i].first) << "run " << i;
    EXPECT_EQ(a.runs[i].length, b.runs[i].length) << "run " << i;
    EXPECT_EQ(a.runs[i].at, b.runs[i].at) << "run " << i;
  }
  ASSERT_EQ(a.pairs.size(), b.pairs.size());
  for (size_t i = 0; i < a.pairs.size(); ++i) {
    EXPECT_EQ(a.pairs[i].droppedInput, b.pairs[i].droppedInput) << "pair " << i;
    EXPECT_EQ(a.pairs[i].droppedIndex, b.pairs[i].droppedIndex) << "pair " << i;
    EXPECT_EQ(a.pairs[i].keptAt, b.pairs[i].keptAt) << "pair " << i;
    EXPECT_EQ(a.pairs[i].keptTime, b.pairs[i].keptTime) << "pair " << i;
  }
}

TEST(CompositionMerge, OccurrencesThatFollowEachOtherJoinWithAGapWhereTheyPause) {
  // 0, 0.1 | 0.2, 0.3 | pause | 1.0, 1.1 with an interval of 0.1.
  bool ok = false;
  const Plan plan = MergeOf({{{0, 0.1}}, {{0.2, 0.3}}, {{1.0, 1.1}}}, 0.1, Merging::AtOnceWherePossible, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(plan.times, (std::vector<double>{0, 0.1, 0.2, 0.3, kGapTime, 1.0, 1.1}));
  ASSERT_EQ(plan.runs.size(), 3u);
  EXPECT_EQ(plan.runs[2].input, 2u);
  EXPECT_EQ(plan.runs[2].at, 5u);
  EXPECT_TRUE(plan.pairs.empty());
  ASSERT_EQ(plan.runsOf.size(), 3u);
  EXPECT_EQ(plan.runsOf[1], std::vector<uint32_t>{1});
}

TEST(CompositionMerge, ASampleWithinTheToleranceGivesWayToTheEarlierOccurrences) {
  bool ok = false;
  const Plan plan = MergeOf({{{0, 1, 2}}, {{1.0000005, 3}}}, 1, Merging::AtOnceWherePossible, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(plan.times, (std::vector<double>{0, 1, 2, 3}));
  ASSERT_EQ(plan.pairs.size(), 1u);
  EXPECT_EQ(plan.pairs[0].droppedInput, 1u);
  EXPECT_EQ(plan.pairs[0].droppedIndex, 0u);
  EXPECT_EQ(plan.pairs[0].keptAt, 1u);
  EXPECT_EQ(plan.pairs[0].keptTime, 1.0);
}

TEST(CompositionMerge, TheLastEntryBeforeTheCapacityFails) {
  bool ok = true;
  MergeOf({{{0, 1, 2}}, {{3, 4}}}, 0, Merging::AtOnceWherePossible, ok, 5);
  EXPECT_FALSE(ok);
  MergeOf({{{0, 1, 2}}, {{3, 4}}}, 0, Merging::AtOnceWherePossible, ok, 6);
  EXPECT_TRUE(ok);
}

// Random occurrences on grids of their own, some sharing times exactly or
// within the tolerance, some tangled (neighbours closer than the tolerance
// chain across clusters), some not ordered at all.
TEST(CompositionMerge, AtOnceGivesThePlanOfTheStepByStepMerge) {
  std::mt19937 random(12345);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  int atOnce = 0, tangled = 0;
  for (int round = 0; round < 3000; ++round) {
    SCOPED_TRACE(round);
    const int inputs = 1 + pick(6);
    const double jitter = std::vector<double>{0, 4e-7, 9e-7, 3e-6}[pick(4)];
    const double interval = std::vector<double>{0, 0.1, 0.05, 0.3}[pick(4)];
    std::vector<Occurrence> occurrences(inputs);
    for (Occurrence& o : occurrences) {
      const double step = std::vector<double>{0.1, 0.2, 0.05}[pick(3)];
      const int start = pick(40);
      const int count = pick(4) == 0 ? 0 : pick(30);
      for (int i = 0; i < count; ++i) {
        double t = (start + i * (step / 0.05)) * 0.05 + uniform(-jitter, jitter);
        if (pick(25) == 0) t += 1.3;  // a pause
        o.times.push_back(t);
      }
      std::sort(o.times.begin(), o.times.end());
      if (pick(20) == 0) std::shuffle(o.times.begin(), o.times.end(), random);
      if (pick(30) == 0 && !o.times.empty()) o.times.back() = kGapTime;
    }
    bool okAtOnce = false, okStepByStep = false;
    const Plan a = MergeOf(occurrences, interval, Merging::AtOnceWherePossible, okAtOnce);
    const Plan b = MergeOf(occurrences, interval, Merging::StepByStep, okStepByStep);
    ASSERT_EQ(okAtOnce, okStepByStep);
    ExpectSamePlan(a, b);
    if (HasFailure()) return;
    const bool allOrderly = std::all_of(occurrences.begin(), occurrences.end(), [](auto& o) { return o.orderly(); });
    if (inputs > 1 && allOrderly) (jitter > 5e-7 ? tangled : atOnce)++;
  }
  // Both ways were taken often.
  EXPECT_GT(atOnce, 300);
  EXPECT_GT(tangled, 300);
}

}  // namespace

// Examining a time channel's steps and repairing values that do not rise.
#include "dravo/time_channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using dravo::kTimeErrors;
using dravo::kTimeRegular;

TEST(TimeScan, RegularStepsLieStrictlyBetweenTheFactors) {
  const double nan = std::nan("");
  const struct {
    std::vector<double> values;
    uint32_t flags;
    uint64_t errors, firstError;
    double mean;
  } cases[] = {
      {{0, 1, 2, 3}, 0, 0, 0, 1.0},                      // equal steps everywhere: not regular
      {{0, 1.0, 2.1, 3.0}, kTimeRegular, 0, 0, 1.0},     // steps 1.0, 1.1, 0.9
      {{0, 1, 5, 6}, 0, 0, 0, 2.0},                      // largest step not below mean * 2
      {{0, 1, 2, 1.5, 4, 5}, kTimeErrors, 1, 3, 1.0},    // one fall
      {{0, 1, 2, 3, 2.5}, kTimeErrors, 1, 4, 0.625},     // a fall at the end
      {{5, 3, 4, 6}, kTimeErrors, 1, 1, 1.0 / 3},        // a fall at index 1
      {{0, 1, 2, 2, 2}, kTimeErrors, 2, 3, 0.5},         // a run at the end
      {{7}, 0, 0, 0, 0.0},                               // one record
      {{0, 2}, 0, 0, 0, 2.0},                            // two records
  };
  for (const auto& c : cases) {
    dravo::TimeScan scan;
    for (double v : c.values) scan.Add(v);
    SCOPED_TRACE(::testing::PrintToString(c.values));
    EXPECT_EQ(scan.Flags(2.0, 0.1), c.flags);
    EXPECT_EQ(scan.Errors(), c.errors);
    if (c.errors) {
      EXPECT_EQ(scan.FirstErrorIndex(), c.firstError);
    }
    EXPECT_DOUBLE_EQ(scan.MeanStep(), c.mean);
    EXPECT_EQ(scan.First(), c.values.front());
    EXPECT_EQ(scan.Last(), c.values.back());
  }
  // A NaN is not above the value before it, and spoils the mean.
  dravo::TimeScan scan;
  for (double v : {0.0, 1.0, nan, 3.0}) scan.Add(v);
  EXPECT_EQ(scan.Flags(2.0, 0.1), kTimeErrors);
  EXPECT_EQ(scan.FirstErrorIndex(), 2u);
}

TEST(TimeRepair, FallsRunsAndRestartsBecomeRising) {
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  const struct {
    std::vector<double> in;
    bool ok;
    std::vector<double> out;  // when ok
  } cases[] = {
      {{0, 1, 2, 3}, true, {0, 1, 2, 3}},
      {{}, true, {}},
      {{4}, true, {4}},
      // The values between the nearest earlier smaller value and the fallen one lie on the line.
      {{0, 1, 2, 1.5, 4, 5}, true, {0, 1, 1.25, 1.5, 4, 5}},
      {{0, 1, 5, 6, 2, 7}, true, {0, 1, 4.0 / 3, 5.0 / 3, 2, 7}},
      // The last pair is checked.
      {{0, 1, 2, 3, 2.5}, true, {0, 1, 2, 2.25, 2.5}},
      // A fall to 0 continues the step before by half.
      {{0, 1, 2, 0, 3}, true, {0, 1, 2, 2.5, 3}},
      // A run equal to its predecessor: the line to the next greater value.
      {{0, 1, 1, 1, 4}, true, {0, 1, 2, 3, 4}},
      {{0, 2, 2, 1, 3}, true, {0, 2, 7.0 / 3, 8.0 / 3, 3}},
      {{3, 3, 5}, true, {3, 4, 5}},
      // Failures.
      {{5, 3, 4, 6}, false, {}},       // a fall at index 1 has nothing below it
      {{5, 0, 1}, false, {}},          // a fall to 0 at index 1 has no step before it
      {{0, 1, 2, 2, 2}, false, {}},    // a run that nothing greater ends
      {{0, 1, nan, 3}, false, {}},
      {{0, 1, inf}, false, {}},
      {{2, 3, 1}, false, {}},          // nothing earlier below 1
  };
  for (const auto& c : cases) {
    std::vector<double> x = c.in;
    SCOPED_TRACE(::testing::PrintToString(c.in));
    ASSERT_EQ(dravo::RepairTimeValues(x), c.ok);
    if (!c.ok) continue;
    ASSERT_EQ(x.size(), c.out.size());
    for (size_t i = 0; i < x.size(); ++i) EXPECT_DOUBLE_EQ(x[i], c.out[i]) << i;
    for (size_t i = 1; i < x.size(); ++i) EXPECT_LT(x[i - 1], x[i]) << i;
  }
}

TEST(TimeRepair, FallsThatEachReachFarBackEndInAFailureNotInQuadraticTime) {
  // Each fall halves the distance to the first value, so that every line
  // rewrites about half of what came before.
  std::vector<double> x{0};
  double fall = 1.0;
  for (int i = 0; i < 4000; ++i) {
    x.push_back(1000.0 + i);
    for (int k = 0; k < 50; ++k) x.push_back(x.back() + 1);
    x.push_back(fall);
    fall /= 2;
  }
  EXPECT_FALSE(dravo::RepairTimeValues(x));
}

}  // namespace

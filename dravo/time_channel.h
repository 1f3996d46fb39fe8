// Examining a group's time channel and repairing time values that do not rise.
#pragma once

#include <cstdint>
#include <span>

namespace dravo {

// Flags of a scanned time channel.
inline constexpr uint32_t kTimeRegular = 1;  // the steps are regular enough for an equidistant axis
inline constexpr uint32_t kTimeErrors = 2;   // some value is not above the one before

// The time channel's values in record order, examined as they come: the
// first and last value, the mean, largest and smallest step, and the values
// that are not above their predecessor.
class TimeScan {
 public:
  void Add(double value);
  // The flags for regular steps between the X factors, each test strict:
  // largest > mean, mean * maxFactor > largest, smallest < mean and
  // mean * minFactor < smallest. Equal steps everywhere are not regular.
  uint32_t Flags(double xMaxFactor, double xMinFactor) const;

  uint64_t Count() const { return count_; }
  double First() const { return first_; }
  double Last() const { return last_; }
  // The sum of the steps over their number; 0 for fewer than 2 values.
  double MeanStep() const;
  uint64_t Errors() const { return errors_; }
  uint64_t FirstErrorIndex() const { return firstError_; }

 private:
  uint64_t count_ = 0;
  double first_ = 0, last_ = 0;
  double sum_ = 0;
  double largest_ = 0, smallest_ = 0;
  uint64_t errors_ = 0, firstError_ = 0;
};

// Makes the values strictly rising, or answers false:
//   - a value that falls to 0 continues the step before by half of it;
//   - any other fall replaces the values between the nearest earlier value
//     below it and the fallen one by the straight line between those two;
//   - a run of values equal to the one before it (and whatever follows
//     until the next greater value) becomes the straight line from the one
//     before to that next greater value.
// Fails on a non-finite value, a fall at the second value, a fall with no
// earlier value below it, a run that no greater value ends, and a line too
// fine for doubles to rise, or more rewritten values than 4 per value (falls
// that each reach far back). Every pair is checked; the
// values are changed in place also when the repair fails.
bool RepairTimeValues(std::span<double> x);

}  // namespace dravo

#include "dravo/time_channel.h"

#include <algorithm>
#include <cmath>

namespace dravo {

void TimeScan::Add(double value) {
  if (count_ == 0) {
    first_ = last_ = value;
    count_ = 1;
    return;
  }
  const double prev = last_;
  if (!(value > prev)) {
    if (errors_ == 0) firstError_ = count_;
    ++errors_;
  }
  const double d = value - prev;
  if (count_ == 1) {
    largest_ = smallest_ = d;
  } else if (value > prev) {
    if (std::fabs(d) > largest_)
      largest_ = std::fabs(d);
    else if (std::fabs(d) < smallest_)
      smallest_ = std::fabs(d);
  }
  sum_ += d;
  last_ = value;
  ++count_;
}

double TimeScan::MeanStep() const { return count_ > 1 ? sum_ / static_cast<double>(count_ - 1) : 0.0; }

uint32_t TimeScan::Flags(double xMaxFactor, double xMinFactor) const {
  uint32_t flags = errors_ ? kTimeErrors : 0;
  const double mean = MeanStep();
  if (count_ > 1 && largest_ > mean && mean * xMaxFactor > largest_ && smallest_ < mean &&
      mean * xMinFactor < smallest_)
    flags |= kTimeRegular;
  return flags;
}

namespace {

// x[from + 1 .. to - 1] on the straight line from x[from] to x[to], while
// the budget of values to rewrite lasts.
bool Line(std::span<double> x, size_t from, size_t to, uint64_t& budget) {
  if (to - from - 1 > budget) return false;
  budget -= to - from - 1;
  const double span = x[to] - x[from];
  const double steps = static_cast<double>(to - from);
  for (size_t m = from + 1; m < to; ++m) x[m] = x[from] + static_cast<double>(m - from) * span / steps;
  return true;
}

// Values a repair may rewrite per value: falls that each reach far back
// (halving towards an early value) could otherwise take quadratic time.
constexpr uint64_t kRewritesPerValue = 4;

}  // namespace

bool RepairTimeValues(std::span<double> x) {
  const size_t n = x.size();
  if (!std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); })) return false;
  uint64_t budget = kRewritesPerValue * n;
  // Invariant: x[0 .. k - 1] rises strictly.
  for (size_t k = 1; k < n;) {
    const double a = x[k - 1], b = x[k];
    if (a < b) {
      ++k;
      continue;
    }
    if (a == b) {
      // A run equal to its predecessor: the line to the next greater value.
      size_t m = k + 1;
      while (m < n && !(x[m] > a)) ++m;
      if (m == n || !Line(x, k - 1, m, budget)) return false;
      k = m;
    } else if (b == 0) {
      // Restarted at zero: continue the step before by half of it.
      if (k < 2) return false;
      x[k] = x[k - 1] + (x[k - 1] - x[k - 2]) / 2;
    } else {
      // The nearest earlier value below the fallen one: the rising prefix is searched by halves.
      const size_t above =
          static_cast<size_t>(std::lower_bound(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(k), b) - x.begin());
      if (above == 0 || !Line(x, above - 1, k, budget)) return false;
    }
    if (!(x[k - 1] < x[k])) return false;
    ++k;
  }
  return true;
}

}  // namespace dravo

// Merging the occurrences of one composed name into one series, for the data
// composition. Where each entry of a series comes from depends on the
// occurrences' times alone, so the merge is worked out on the times into a
// plan: the series' times, and which sample of which occurrence each entry
// takes. Every name whose occurrences have the same times follows the same
// plan, and the values are put in place by it without being merged again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mdf::compose {

// Time of a gap entry (the composition's NoValue).
inline constexpr double kGapTime = 1e308;

// The times of one occurrence.
struct Input {
  const double* times = nullptr;
  uint32_t count = 0;
  // The times rise by more than the tolerance from sample to sample, and are
  // finite and no gap time (AreOrderly): the occurrence may be merged with
  // the others at once.
  bool orderly = false;
};

struct Plan {
  // The entries' times; gap entries have kGapTime.
  std::vector<double> times;
  // Entries [at, at + length) take samples [first, first + length) of `input`.
  // Runs are in the order of `at`; entries no run covers are gap entries.
  struct Run {
    uint32_t input = 0;
    uint32_t first = 0;
    uint32_t length = 0;
    uint64_t at = 0;
  };
  std::vector<Run> runs;
  // A sample that gave way to a sample within the tolerance of its time,
  // which the series keeps at entry `keptAt`: their values are compared.
  // Ordered by dropped input, then dropped sample, the order in which the
  // merge meets them.
  struct Pair {
    uint32_t droppedInput = 0;
    uint32_t droppedIndex = 0;
    uint32_t keptInput = 0;
    uint32_t keptIndex = 0;
    uint64_t keptAt = 0;
    double keptTime = 0;
  };
  std::vector<Pair> pairs;
  // Per input: its runs (indices into `runs`), in the order of its samples.
  std::vector<std::vector<uint32_t>> runsOf;
};

// Merges the inputs in their order: each into the series of those before it
// (without that series' gap entries), by time; a sample within the tolerance
// of a sample already there gives way to it; each entry is preceded by a gap
// entry when it lies more than 1.5 `interval`s after the entry before it. On
// success the plan holds the series; false when it would reach `capacity` entries.
// Inputs that are all orderly are merged at once where their samples allow,
// which gives the plan of the step-by-step merge; StepByStep asks for that
// merge alone.
enum class Merging { AtOnceWherePossible, StepByStep };
bool MergeTimes(std::span<const Input> inputs, double interval, uint64_t capacity, Plan& plan,
                Merging merging = Merging::AtOnceWherePossible);

// Whether times rise by more than the tolerance from sample to sample and
// are finite and no gap time.
bool AreOrderly(const double* times, size_t n);

}  // namespace mdf::compose

#include "mdf/composition_merge.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "mdf/composition.h"

namespace mdf::compose {
namespace {

constexpr double kTolerance = CDataComposition::kTolerance;

bool IsGap(double time) { return time == kGapTime; }

// One sample: its time and where it comes from.
struct Sample {
  double time;
  uint32_t input;
  uint32_t index;
};

// Appends entries to a plan: each sample, preceded by a gap entry when it
// lies more than 1.5 intervals after the entry before it.
class PlanWriter {
 public:
  PlanWriter(Plan& plan, uint64_t capacity, double interval)
      : plan_(plan), capacity_(capacity), interval_(interval) {}

  // The first sample gets no gap entry unless it lies half an interval after `firstTime`.
  void Start(double firstTime) { threshold_ = firstTime + interval_ / 2; }
  // False when the series would reach its capacity.
  bool Put(const Sample& s) {
    if (interval_ > 0 && s.time > threshold_ && !Push(kGapTime)) return false;
    const uint64_t at = plan_.times.size();
    if (!Push(s.time)) return false;
    Plan::Run* last = plan_.runs.empty() ? nullptr : &plan_.runs.back();
    if (last && last->input == s.input && last->first + last->length == s.index && last->at + last->length == at)
      ++last->length;
    else
      plan_.runs.push_back(Plan::Run{s.input, s.index, 1, at});
    threshold_ = s.time + 1.5 * interval_;
    return true;
  }
  void Drop(const Sample& dropped, const Sample& kept) {
    plan_.pairs.push_back(Plan::Pair{dropped.input, dropped.index, kept.input, kept.index, 0, 0});
  }
  // Drops what was written, for a new start.
  void Reset() {
    plan_.times.clear();
    plan_.runs.clear();
    plan_.pairs.clear();
  }

 private:
  bool Push(double time) {
    if (plan_.times.size() + 1 >= capacity_) return false;
    plan_.times.push_back(time);
    return true;
  }

  Plan& plan_;
  uint64_t capacity_;
  double interval_;
  double threshold_ = 0;
};

// The merge step by step, as the series mean it: input j is merged into the
// series of inputs 0..j-1 without its gap entries. Only the last step writes
// gap entries (each step makes them anew from the samples), so the steps
// before it keep their samples alone; a sample of an input whose time is the
// gap time counts as a gap entry once it is in the series.
bool MergeInSequence(std::span<const Input> inputs, PlanWriter& writer) {
  std::vector<Sample> series, next;
  for (uint32_t j = 0; j < inputs.size(); ++j) {
    const bool last = j + 1 == inputs.size();
    const Input& in = inputs[j];
    auto put = [&](const Sample& s) {
      if (last) return writer.Put(s);
      next.push_back(s);
      return true;
    };
    size_t i = 0;
    auto skipGaps = [&] {
      while (i < series.size() && IsGap(series[i].time)) ++i;
    };
    skipGaps();
    bool started = false;
    auto start = [&](double first) {
      if (i < series.size()) first = std::min(first, series[i].time);
      if (last) writer.Start(first);
      started = true;
    };
    for (uint32_t k = 0; k < in.count; ++k) {
      if (!started) start(in.times[0]);
      const Sample sample{in.times[k], j, k};
      bool merged = false;
      while (i < series.size()) {
        if (IsNear(series[i].time, sample.time)) {
          writer.Drop(sample, series[i]);
          if (!put(series[i])) return false;
          ++i;
          skipGaps();
          merged = true;
          break;
        }
        if (!(series[i].time < sample.time)) break;
        if (!put(series[i])) return false;
        ++i;
        skipGaps();
      }
      if (!merged && !put(sample)) return false;
    }
    if (i < series.size()) {
      if (!started) start(series[i].time);
      for (; i < series.size(); ++i)
        if (!IsGap(series[i].time) && !put(series[i])) return false;
    }
    if (!last) {
      series.swap(next);
      next.clear();
    }
  }
  return true;
}

enum class Outcome { Done, Full, Tangled };

// All orderly inputs at once, by time. The samples of all inputs fall into
// clusters: a sample alone, or samples of several inputs within the
// tolerance of the cluster's earliest one. Where clusters lie more than the
// tolerance apart, the step-by-step merge keeps of each cluster the sample of
// the earliest input, the others giving way to it; that is done here in one
// pass, and a run of samples of one input that meets no other input's sample
// is taken at once. Clusters closer than that (Tangled) are left to the
// step-by-step merge.
Outcome MergeAtOnce(std::span<const Input> inputs, PlanWriter& writer) {
  struct Head {
    double time;
    uint32_t input;
  };
  // A min-heap of the inputs' next samples, by time, then input.
  auto later = [](const Head& a, const Head& b) { return a.time > b.time || (a.time == b.time && a.input > b.input); };
  std::vector<Head> heap;
  std::vector<uint32_t> next(inputs.size(), 0);
  for (uint32_t j = 0; j < inputs.size(); ++j)
    if (inputs[j].count > 0) heap.push_back({inputs[j].times[0], j});
  std::make_heap(heap.begin(), heap.end(), later);
  auto pop = [&] {
    std::pop_heap(heap.begin(), heap.end(), later);
    const Head h = heap.back();
    heap.pop_back();
    return h;
  };
  auto push = [&](uint32_t j) {
    if (next[j] < inputs[j].count) {
      heap.push_back({inputs[j].times[next[j]], j});
      std::push_heap(heap.begin(), heap.end(), later);
    }
  };
  const uint32_t lastInput = static_cast<uint32_t>(inputs.size() - 1);
  bool started = false;
  std::vector<Head> cluster;

  while (!heap.empty()) {
    const Head first = pop();
    const Input& in = inputs[first.input];
    uint32_t& k = next[first.input];
    if (heap.empty() || heap.front().time - first.time > kTolerance) {
      // A run of samples of one input that no other input's sample comes near.
      if (!started) {
        writer.Start(first.time);
        started = true;
      }
      const double limit = heap.empty() ? std::numeric_limits<double>::infinity() : heap.front().time;
      do {
        if (!writer.Put(Sample{in.times[k], first.input, k})) return Outcome::Full;
        ++k;
      } while (k < in.count && limit - in.times[k] > kTolerance);
      push(first.input);
      continue;
    }

    // A cluster: every input's sample within the tolerance of the first one.
    cluster.assign(1, first);
    while (!heap.empty() && heap.front().time - first.time <= kTolerance) cluster.push_back(pop());
    const Head* kept = &cluster[0];
    double latest = first.time;
    for (const Head& h : cluster) {
      if (h.input < kept->input) kept = &h;
      latest = std::max(latest, h.time);
    }
    if (!started) {
      // The last input's merge starts half an interval after the earlier of
      // its first time and the first time of the series before it.
      double firstTime = kept->time;
      for (const Head& h : cluster)
        if (h.input == lastInput) firstTime = std::min(firstTime, h.time);
      writer.Start(firstTime);
      started = true;
    }
    const Sample keptSample{kept->time, kept->input, next[kept->input]};
    if (!writer.Put(keptSample)) return Outcome::Full;
    for (const Head& h : cluster)
      if (&h != kept) writer.Drop(Sample{h.time, h.input, next[h.input]}, keptSample);
    for (const Head& h : cluster) {
      ++next[h.input];
      push(h.input);
    }
    if (!heap.empty() && !(heap.front().time - latest > kTolerance)) return Outcome::Tangled;
  }
  return Outcome::Done;
}

// Fills in the runs of each input and the entries the dropped samples' kept
// samples took.
void Finish(size_t inputs, Plan& plan) {
  plan.runsOf.assign(inputs, {});
  for (uint32_t r = 0; r < plan.runs.size(); ++r) plan.runsOf[plan.runs[r].input].push_back(r);
  std::stable_sort(plan.pairs.begin(), plan.pairs.end(), [](const Plan::Pair& a, const Plan::Pair& b) {
    return a.droppedInput < b.droppedInput || (a.droppedInput == b.droppedInput && a.droppedIndex < b.droppedIndex);
  });
  for (Plan::Pair& pair : plan.pairs) {
    // The kept sample's run: the last of its input's runs that starts at or before it.
    const std::vector<uint32_t>& runs = plan.runsOf[pair.keptInput];
    const auto it = std::upper_bound(runs.begin(), runs.end(), pair.keptIndex,
                                     [&](uint32_t index, uint32_t r) { return index < plan.runs[r].first; });
    const Plan::Run& run = plan.runs[*std::prev(it)];
    pair.keptAt = run.at + (pair.keptIndex - run.first);
    pair.keptTime = plan.times[pair.keptAt];
  }
}

}  // namespace

bool AreOrderly(const double* times, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!std::isfinite(times[i]) || IsGap(times[i]) || (i > 0 && !(times[i] - times[i - 1] > kTolerance)))
      return false;
  return true;
}

bool MergeTimes(std::span<const Input> inputs, double interval, uint64_t capacity, Plan& plan, Merging merging) {
  PlanWriter writer(plan, capacity, interval);
  writer.Reset();
  bool ok = true;
  bool merged = false;
  if (merging == Merging::AtOnceWherePossible && inputs.size() > 1 &&
      std::all_of(inputs.begin(), inputs.end(), [](const Input& in) { return in.orderly; })) {
    const Outcome outcome = MergeAtOnce(inputs, writer);
    merged = outcome != Outcome::Tangled;
    ok = outcome == Outcome::Done;
    if (!merged) writer.Reset();
  }
  if (!merged) ok = MergeInSequence(inputs, writer);
  if (ok) Finish(inputs.size(), plan);
  return ok;
}

}  // namespace mdf::compose

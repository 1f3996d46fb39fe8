#include "mdf/time_novalue.h"

#include <algorithm>
#include <iterator>

#include "mdf/bytes.h"
#include "mdf/mdf.h"

namespace mdf::detail {

bool ReplacesTimeNoValues(const CMdf* file, const CCNBlock& cn) {
  return file && file->IsKestravo() && cn.GetChannelType() == 1 && cn.IsNoValueSet();
}

void AddReplacedSamples(CCNBlock& cn, const std::vector<uint32_t>& indices) {
  std::vector<uint32_t>& list = cn.ReplacedSamples();
  if (list.empty() || list.back() < indices.front()) {
    list.insert(list.end(), indices.begin(), indices.end());
  } else {
    std::vector<uint32_t> merged;
    merged.reserve(list.size() + indices.size());
    std::set_union(list.begin(), list.end(), indices.begin(), indices.end(), std::back_inserter(merged));
    list.swap(merged);
  }
  cn.SetHasReplacedSampleList(true);
}

namespace {

// The difference of the first two neighbouring values of v[from, n) that are
// not the NoValue; 0 when there are none.
double StepIn(const double* v, size_t n, size_t from, double noValue) {
  for (size_t i = from; i + 1 < n; ++i)
    if (v[i] != noValue && v[i + 1] != noValue) return v[i + 1] - v[i];
  return 0;
}

}  // namespace

void ReplaceInDoubles(CCNBlock& cn, double* values, size_t n, uint64_t firstRecord, bool keepFirst) {
  TimeNoValueReplacer replacer(cn, firstRecord, keepFirst);
  const double noValue = cn.GetNoValue();
  replacer.Feed(values, n, [&](size_t from) { return StepIn(values, n, from, noValue); });
  replacer.Finish();
}

void ReplaceInRawDoubles(CCNBlock& cn, uint8_t* elements, size_t n, uint64_t firstRecord) {
  std::vector<double> values(n);
  for (size_t i = 0; i < n; ++i) values[i] = LoadF64(elements + 8 * i);
  ReplaceInDoubles(cn, values.data(), n, firstRecord, false);
  for (size_t i = 0; i < n; ++i) StoreF64(elements + 8 * i, values[i]);
}

}  // namespace mdf::detail

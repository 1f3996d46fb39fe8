// What the parts of the data-group loader share among themselves.
#pragma once

#include <cstdint>
#include <utility>

#include "pellor/loader.h"

namespace mdf {
class CCCBlock;
class CCNBlock;
}  // namespace mdf

namespace pellor {

// The largest chunk of records, and of values of the min/max pass, in bytes.
inline constexpr uint64_t kChunkByteLimit = uint64_t{16} << 20;

// A time channel's range and its mean and extreme steps (physical through
// a linear conversion, else raw).
struct TimeAxis {
  double fac = 1.0, min = 0, max = 0, minD = 1.0, maxD = 1.0;
};

// What reading a group found out about its time channel.
struct DataGroupLoader::Outcome {
  int flags = 0;
  TimeAxis axis;
  int32_t errors = 0;
  uint32_t firstError = 0;
};

// The time channel holds no NoValue stamps: clears its marker and the signal's NoValue.
void ClearTimeNoValue(mdf::CCNBlock& cn, SignalRecord& time);
// The conversion's values of a raw range, smaller first (the range itself without a conversion).
std::pair<double, double> ConvertedRange(const mdf::CCCBlock* cc, double lo, double hi);

}  // namespace pellor

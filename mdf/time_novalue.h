// The NoValue replacement in time channels of files of the KESTRAVO writer:
// each time stamp equal to the channel's NoValue becomes the stamp before it
// plus half the step, and its record index goes into the channel's list of
// replaced samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mdf/blocks.h"

namespace mdf::detail {

// Whether the readers replace the channel's NoValue stamps.
bool ReplacesTimeNoValues(const CMdf* file, const CCNBlock& cn);

// Adds record indices (ascending) to the channel's replaced-sample list,
// which stays ascending and free of repeats.
void AddReplacedSamples(CCNBlock& cn, const std::vector<uint32_t>& indices);

// In a time channel of a file of the KESTRAVO writer, each sample equal to the
// NoValue becomes the previous sample + half the step (the difference of the
// first two neighbouring samples of the range that are not NoValue); the first
// sample of the range has no previous one and becomes 0.0, or keeps its value
// with `keepFirst` (and so do the NoValue samples right after it). Every
// NoValue sample's record index (`firstRecord` + its index) goes into the
// channel's replaced-sample list.
//
// The samples of one range are fed in order, in any number of pieces; the
// step is looked for ahead (FindStep) only when a NoValue sample comes before it.
class TimeNoValueReplacer {
 public:
  TimeNoValueReplacer(CCNBlock& cn, uint64_t firstRecord, bool keepFirst)
      : cn_(&cn), noValue_(cn.GetNoValue()), firstRecord_(firstRecord), keepFirst_(keepFirst) {}

  // Replaces in values[0, n), the samples [index, index + n) of the range,
  // where index counts the samples fed before. findStep(i) gives the step
  // from the range's sample i on (0 when there is none).
  template <typename FindStep>
  void Feed(double* values, size_t n, FindStep&& findStep) {
    for (size_t k = 0; k < n; ++k, ++index_) {
      const double original = values[k];
      const bool isNoValue = original == noValue_;
      if (!stepKnown_ && index_ > 0 && !isNoValue && !lastWasNoValue_) {
        step_ = original - lastOriginal_;
        stepKnown_ = true;
      }
      lastOriginal_ = original;
      lastWasNoValue_ = isNoValue;
      double v = original;
      if (isNoValue) {
        indices_.push_back(static_cast<uint32_t>(firstRecord_ + index_));
        if (index_ == 0 && !keepFirst_) {
          v = 0.0;
        } else if (havePrevious_) {
          if (!stepKnown_) {
            step_ = findStep(index_);
            stepKnown_ = true;
          }
          v = previous_ + step_ / 2.0;
        } else {
          continue;  // kept: nothing before it to go on from
        }
        values[k] = v;
      }
      previous_ = v;
      havePrevious_ = true;
    }
  }
  // Adds the replaced samples' record indices to the channel's list.
  void Finish() {
    if (!indices_.empty()) AddReplacedSamples(*cn_, indices_);
    indices_.clear();
  }

 private:
  CCNBlock* cn_;
  double noValue_;
  uint64_t firstRecord_;
  bool keepFirst_;
  uint64_t index_ = 0;
  bool havePrevious_ = false;
  double previous_ = 0;
  bool stepKnown_ = false;
  double step_ = 0;
  bool lastWasNoValue_ = false;
  double lastOriginal_ = 0;
  std::vector<uint32_t> indices_;
};

// Replaces in n decoded values, the range's first being record `firstRecord`.
void ReplaceInDoubles(CCNBlock& cn, double* values, size_t n, uint64_t firstRecord, bool keepFirst);
// The same in n raw elements that are 64-bit floats.
void ReplaceInRawDoubles(CCNBlock& cn, uint8_t* elements, size_t n, uint64_t firstRecord);

}  // namespace mdf::detail

#include "orsand/records.h"

#include <algorithm>

namespace orsand {

bool CommentTable::Add(std::string name, std::string value) {
  if (pairs_.size() >= kSlots) return false;
  pairs_.push_back({std::move(name), std::move(value)});
  return true;
}

bool CommentTable::Contains(std::string_view name, std::string_view value) const {
  return std::any_of(pairs_.begin(), pairs_.end(),
                     [&](const Comment& c) { return c.name == name && c.value == value; });
}

const SignalRecord* ImportedFile::SignalAt(uint64_t position) const {
  // The channels lie in list order, one behind the other: the candidate is
  // the last one that starts at or before the position.
  size_t low = 0, high = signals.Count();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    if (signals.Nth(mid)->byteOffset <= position)
      low = mid + 1;
    else
      high = mid;
  }
  if (low == 0) return nullptr;
  const SignalRecord* candidate = signals.Nth(low - 1);
  return position < candidate->endOffset ? candidate : nullptr;
}

}  // namespace orsand

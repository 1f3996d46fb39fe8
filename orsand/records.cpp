#include "orsand/records.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>
#include <utility>

namespace orsand {

namespace {
constexpr size_t kMappedFrom = size_t{1} << 20;
}  // namespace

ValueBuffer ValueBuffer::Allocate(size_t bytes) {
  ValueBuffer buffer;
  if (bytes < kMappedFrom) {
    buffer.data_ = new (std::nothrow) uint8_t[std::max<size_t>(bytes, 1)];
    return buffer;
  }
  void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return buffer;
#ifdef MADV_POPULATE_WRITE
  // The pages in one call rather than one fault each; where that fails, they fault in as written.
  madvise(mapped, bytes, MADV_POPULATE_WRITE);
#endif
  buffer.data_ = static_cast<uint8_t*>(mapped);
  buffer.mapped_ = bytes;
  return buffer;
}

ValueBuffer& ValueBuffer::operator=(ValueBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

void ValueBuffer::Release() {
  if (mapped_)
    munmap(data_, mapped_);
  else
    delete[] data_;
  data_ = nullptr;
  mapped_ = 0;
}

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

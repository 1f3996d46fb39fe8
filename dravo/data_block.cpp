#include "dravo/data_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <limits>

namespace dravo {

namespace {

// Below this a block takes no huge pages.
constexpr uint64_t kHugePage = uint64_t{2} << 20;

}  // namespace

DataBlock::~DataBlock() {
  if (data_) ::munmap(data_, size_);
}

DataBlock& DataBlock::operator=(DataBlock&& other) noexcept {
  if (this != &other) {
    if (data_) ::munmap(data_, size_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

DataBlock DataBlock::Allocate(uint64_t size) {
  DataBlock block;
  size = std::max<uint64_t>(size, 1);
  if (size > std::numeric_limits<size_t>::max()) return block;
  void* p = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return block;
  // Fresh pages cost more to fault in than the values written to them.
  if (size >= kHugePage) ::madvise(p, static_cast<size_t>(size), MADV_HUGEPAGE);
  block.data_ = static_cast<uint8_t*>(p);
  block.size_ = static_cast<size_t>(size);
  return block;
}

}  // namespace dravo

// The one zero-filled block that holds an import's values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace dravo {

class DataBlock {
 public:
  DataBlock() = default;
  ~DataBlock();
  DataBlock(DataBlock&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  DataBlock& operator=(DataBlock&& other) noexcept;
  DataBlock(const DataBlock&) = delete;
  DataBlock& operator=(const DataBlock&) = delete;

  // A zero-filled block of `size` bytes (at least one), mapped so that the
  // kernel may back it with huge pages, as pages are touched; empty when the
  // memory is refused.
  static DataBlock Allocate(uint64_t size);

  uint8_t* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace dravo

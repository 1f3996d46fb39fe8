// A file opened for reading with 64-bit positions: exact reads at a position,
// and a small window cache for the many tiny reads of value-by-value callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace ddc {

class DataFile {
 public:
  DataFile() = default;
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Opens a regular file; `utf8_path` goes to the operating system as it is.
  // Returns 0 or DDC_ErrFileNotFound.
  int Open(const std::string& utf8_path);
  uint64_t Size() const { return size_; }

  // Reads exactly `n` bytes at `pos`; false when the range leaves the file or the read fails.
  bool ReadAt(void* dst, size_t n, uint64_t pos) const;
  // The same through a window cache, for reads far smaller than the window.
  bool ReadCached(void* dst, size_t n, uint64_t pos) const;

  static constexpr size_t kWindow = 64 * 1024;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  mutable std::mutex cache_mutex_;
  mutable std::vector<uint8_t> window_;
  mutable uint64_t window_pos_ = 0;
};

}  // namespace ddc

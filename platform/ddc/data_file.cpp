#include "platform/ddc/data_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ddc/nilibddc.h"

namespace ddc {

DataFile::~DataFile() {
  if (fd_ >= 0) close(fd_);
}

int DataFile::Open(const std::string& utf8_path) {
  const int fd = open(utf8_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return DDC_ErrFileNotFound;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return DDC_ErrFileNotFound;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  return DDC_NoError;
}

bool DataFile::ReadAt(void* dst, size_t n, uint64_t pos) const {
  if (pos > size_ || n > size_ - pos) return false;
  auto* out = static_cast<uint8_t*>(dst);
  while (n > 0) {
    const ssize_t got = pread(fd_, out, n, static_cast<off_t>(pos));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    pos += static_cast<uint64_t>(got);
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool DataFile::ReadCached(void* dst, size_t n, uint64_t pos) const {
  if (n > kWindow / 4) return ReadAt(dst, n, pos);
  if (pos > size_ || n > size_ - pos) return false;
  std::lock_guard lock(cache_mutex_);
  if (pos < window_pos_ || pos - window_pos_ > window_.size() ||
      n > window_.size() - (pos - window_pos_)) {
    const uint64_t len = std::min<uint64_t>(kWindow, size_ - pos);
    window_.resize(len);
    if (!ReadAt(window_.data(), len, pos)) {
      window_.clear();
      return false;
    }
    window_pos_ = pos;
  }
  std::memcpy(dst, window_.data() + (pos - window_pos_), n);
  return true;
}

}  // namespace ddc

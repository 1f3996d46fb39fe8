#include "smallimports/support/file_cursor.h"

#include <sys/stat.h>

namespace smallimports {

bool FileCursor::Open(const std::string& path) {
  file_.Close();
  size_ = pos_ = 0;
  if (!file_.Open(path, winport::FileAccess::Read, winport::FileShare::Read)) return false;
  struct stat st {};
  if (fstat(file_.Descriptor(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    file_.Close();
    return false;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

bool FileCursor::Read(void* dst, uint64_t n) {
  if (n > Left()) return false;
  if (n == 0) return true;
  if (!file_.Seek(static_cast<int64_t>(pos_)) || !file_.ReadExact(dst, static_cast<size_t>(n))) {
    file_.Seek(static_cast<int64_t>(pos_));
    return false;
  }
  pos_ += n;
  return true;
}

size_t FileCursor::ReadSome(void* dst, size_t n) {
  if (n > Left()) n = static_cast<size_t>(Left());
  if (n == 0 || !file_.Seek(static_cast<int64_t>(pos_))) return 0;
  const size_t got = file_.Read(dst, n);
  pos_ += got;
  return got;
}

bool FileCursor::Skip(uint64_t n) {
  if (n > Left()) return false;
  pos_ += n;
  return true;
}

bool FileCursor::SeekTo(uint64_t pos) {
  if (pos > size_) return false;
  pos_ = pos;
  return true;
}

}  // namespace smallimports

#include "platform/win32/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/win32/codepage.h"

namespace winport {
namespace {

constexpr size_t kReadBufferSize = 1 << 16;

// Lock bytes, far past any real file data. A shared lock on one of them is held
// for as long as the opening lasts. Only shared locks are taken, so a read-only
// descriptor can hold them.
constexpr off_t kLockBase = static_cast<off_t>(0x7FFFFFFF00000000LL);
constexpr off_t kHasRead = kLockBase + 1;
constexpr off_t kHasWrite = kLockBase + 2;
constexpr off_t kDeniesRead = kLockBase + 3;
constexpr off_t kDeniesWrite = kLockBase + 4;

bool SharedLockByte(int fd, off_t at) {
  struct flock fl{};
  fl.l_type = F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = 1;
  for (;;) {
    if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// True when another opening holds a lock on the byte.
bool OthersHold(int fd, off_t at) {
  struct flock fl{};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = at;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

LSTATUS ErrnoToWin32(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_INVALID_PARAMETER;
  }
}

// Applies Win32's share-mode rules against the other openings of the file and
// announces this one on `lockFd`. The announcement comes first and the check
// after it, so two openings racing each other can both fail but never both
// succeed. Returns false on a sharing violation.
bool AcquireShare(int lockFd, bool wantRead, bool wantWrite, bool denyRead, bool denyWrite) {
  if ((wantRead && !SharedLockByte(lockFd, kHasRead)) ||
      (wantWrite && !SharedLockByte(lockFd, kHasWrite)) ||
      (denyRead && !SharedLockByte(lockFd, kDeniesRead)) ||
      (denyWrite && !SharedLockByte(lockFd, kDeniesWrite)))
    return false;
  return !((wantRead && OthersHold(lockFd, kDeniesRead)) ||
           (wantWrite && OthersHold(lockFd, kDeniesWrite)) ||
           (denyRead && OthersHold(lockFd, kHasRead)) ||
           (denyWrite && OthersHold(lockFd, kHasWrite)));
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    lockFd_ = std::exchange(other.lockFd_, -1);
    lastError_ = other.lastError_;
    pos_ = other.pos_;
    buf_ = std::exchange(other.buf_, nullptr);
    bufStart_ = other.bufStart_;
    bufLen_ = std::exchange(other.bufLen_, 0);
  }
  return *this;
}

bool File::Open(const std::string& path, FileAccess access, FileShare share,
                FileDisposition disposition) {
  Close();
  const bool wantRead = access != FileAccess::Write;
  const bool wantWrite = access != FileAccess::Read;
  int flags = O_CLOEXEC | (wantRead && wantWrite ? O_RDWR : wantWrite ? O_WRONLY : O_RDONLY);
  if (disposition != FileDisposition::OpenExisting) flags |= O_CREAT;
  const std::string osPath = AnsiToUtf8(path);
  const int fd = ::open(osPath.c_str(), flags, 0666);
  if (fd < 0) {
    lastError_ = ErrnoToWin32(errno);
    return false;
  }
  struct stat st{};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    lastError_ = ERROR_ACCESS_DENIED;
    return false;
  }
  const bool denyRead = share == FileShare::None || share == FileShare::Write;
  const bool denyWrite = share == FileShare::None || share == FileShare::Read;
  // Shared locks need a readable descriptor: a write-only opening holds its
  // locks on a second, read-only one.
  const int lockFd = wantRead ? fd : ::open(osPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (lockFd < 0 || !AcquireShare(lockFd, wantRead, wantWrite, denyRead, denyWrite)) {
    if (lockFd >= 0 && lockFd != fd) ::close(lockFd);
    ::close(fd);
    lastError_ = lockFd < 0 ? ErrnoToWin32(errno) : ERROR_SHARING_VIOLATION;
    return false;
  }
  lockFd_ = lockFd == fd ? -1 : lockFd;
  // Emptying happens only after the share check, so that a refused opening
  // changes nothing; a device (not a regular file) has nothing to empty.
  if (disposition == FileDisposition::CreateAlways && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
    ::close(fd);
    lastError_ = ErrnoToWin32(errno);
    return false;
  }
  fd_ = fd;
  pos_ = 0;
  lastError_ = ERROR_SUCCESS;
  return true;
}

bool File::Close() {
  bool ok = true;
  if (fd_ >= 0) ok = ::close(fd_) == 0;  // closing the descriptors releases their locks
  if (lockFd_ >= 0) ::close(lockFd_);
  fd_ = -1;
  lockFd_ = -1;
  delete[] buf_;
  buf_ = nullptr;
  bufLen_ = 0;
  pos_ = 0;
  return ok;
}

void File::DropBuffer() { bufLen_ = 0; }

size_t File::Read(void* buffer, size_t bytes) {
  if (fd_ < 0 || bytes == 0) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    // Serve from the buffer when it holds the current position.
    if (bufLen_ > 0 && pos_ >= bufStart_ && pos_ < bufStart_ + static_cast<int64_t>(bufLen_)) {
      const size_t off = static_cast<size_t>(pos_ - bufStart_);
      const size_t n = std::min(bytes - done, bufLen_ - off);
      std::memcpy(out + done, buf_ + off, n);
      done += n;
      pos_ += static_cast<int64_t>(n);
      continue;
    }
    const size_t want = bytes - done;
    if (want >= kReadBufferSize) {
      // Large reads go straight to the caller's memory.
      const ssize_t n = pread(fd_, out + done, want, pos_);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
      pos_ += n;
      continue;
    }
    if (!buf_) buf_ = new unsigned char[kReadBufferSize];
    ssize_t n;
    do {
      n = pread(fd_, buf_, kReadBufferSize, pos_);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      bufLen_ = 0;
      break;
    }
    bufStart_ = pos_;
    bufLen_ = static_cast<size_t>(n);
  }
  return done;
}

size_t File::Write(const void* buffer, size_t bytes) {
  if (fd_ < 0) return 0;
  DropBuffer();
  const auto* in = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pwrite(fd_, in + done, bytes - done, pos_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
    pos_ += n;
  }
  return done;
}

bool File::Seek(int64_t offset, SeekOrigin origin) {
  if (fd_ < 0) return false;
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = pos_;
  if (origin == SeekOrigin::End) {
    base = Size();
    if (base < 0) return false;
  }
  if ((offset > 0 && base > INT64_MAX - offset)) return false;
  const int64_t target = base + offset;
  if (target < 0) return false;
  pos_ = target;
  return true;
}

int64_t File::Tell() const { return fd_ < 0 ? -1 : pos_; }

int64_t File::Size() const {
  if (fd_ < 0) return -1;
  struct stat st{};
  if (fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool File::Truncate(int64_t size) {
  if (fd_ < 0 || size < 0) return false;
  DropBuffer();
  return ftruncate(fd_, size) == 0;
}

bool File::Flush() { return fd_ >= 0 && fsync(fd_) == 0; }

bool GetFileTimes(const File& file, FileTimes& times) {
  struct stat st{};
  if (!file.IsOpen() || fstat(file.Descriptor(), &st) != 0) return false;
  times.access = st.st_atim;
  times.write = st.st_mtim;
  return true;
}

bool SetFileTimes(const File& file, const FileTimes& times) {
  if (!file.IsOpen()) return false;
  const timespec ts[2] = {times.access, times.write};
  return futimens(file.Descriptor(), ts) == 0;
}

KeepFileTimes::KeepFileTimes(File& file) : file_(file), valid_(GetFileTimes(file, times_)) {}

KeepFileTimes::~KeepFileTimes() {
  if (valid_) SetFileTimes(file_, times_);
}

std::string ReadDescriptor(int fd) {
  std::string text;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return stat(AnsiToUtf8(path).c_str(), &st) == 0;
}

bool IsReadableFile(const std::string& path) {
  const std::string osPath = AnsiToUtf8(path);
  struct stat st{};
  return stat(osPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(osPath.c_str(), R_OK) == 0;
}

int64_t FileSizeOf(const std::string& path) {
  struct stat st{};
  if (stat(AnsiToUtf8(path).c_str(), &st) != 0) return -1;
  return st.st_size;
}

}  // namespace winport

#include "dravo/filelayer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dravo/library.h"
#include "platform/win32/codepage.h"

namespace dravo {

namespace {

// Reads are served from a buffer of this size; larger ones go straight to the caller.
constexpr size_t kReadBufferSize = size_t{1} << 20;

std::function<bool(MdfFileOp)>& FaultHook() {
  static std::function<bool(MdfFileOp)> hook;
  return hook;
}

bool Faulted(MdfFileOp op) {
  const auto& hook = FaultHook();
  return hook && hook(op);
}

uint32_t NextSourceId() {
  static uint32_t next = 0;
  if (++next == 0) ++next;
  return next;
}

}  // namespace

void MdfSetFileFaultHook(std::function<bool(MdfFileOp)> hook) { FaultHook() = std::move(hook); }

MdfStatus MdfFileHandle::Fail(MdfStatus status, const std::string& detail) {
  pos_ = 0;
  bufLen_ = 0;
  return MdfReportError(status, detail);
}

// Loads the buffer with the bytes from `position` on; false when none come.
bool MdfFileHandle::Fill(uint64_t position) {
  bufLen_ = 0;
  if (Faulted(MdfFileOp::Read)) return false;
  if (buffer_.empty()) buffer_.resize(kReadBufferSize);
  if (!file_.Seek(static_cast<int64_t>(position))) return false;
  const size_t n = file_.Read(buffer_.data(), buffer_.size());
  if (n == 0) return false;
  bufStart_ = position;
  bufLen_ = n;
  return true;
}

MdfStatus MdfOpenFile(std::unique_ptr<MdfFileHandle>* out, const std::string& name, uint16_t mode,
                      uint16_t /*streamBufferSize: the layer's own buffer is larger*/) {
  out->reset();
  auto handle = std::make_unique<MdfFileHandle>();
  const uint16_t access = mode & 0xFF;
  const std::string osPath = winport::AnsiToUtf8(name);
  bool opened = false;
  struct stat st{};
  if (access == kMdfFileRead || access == kMdfFileModify) {
    // Only regular files: a FIFO would block the open, a device never ends.
    if (stat(osPath.c_str(), &st) == 0 && S_ISREG(st.st_mode))
      opened = handle->file_.Open(
          name, access == kMdfFileRead ? winport::FileAccess::Read : winport::FileAccess::ReadWrite,
          winport::FileShare::ReadWrite);
  } else if (access == kMdfFileCreate) {
    ::unlink(osPath.c_str());
    opened = handle->file_.Open(name, winport::FileAccess::ReadWrite, winport::FileShare::ReadWrite,
                                winport::FileDisposition::CreateAlways);
  }
  const int64_t length = opened ? handle->file_.Size() : -1;
  if (length < 0) return MdfReportError(kMdfCannotOpenFile, name);
  handle->name_ = name;
  handle->mode_ = mode;
  handle->openedLength_ = static_cast<uint64_t>(length);
  handle->end_ = static_cast<uint32_t>(std::min<uint64_t>(handle->openedLength_, kMdfMaxPosition));
  handle->sourceId_ = NextSourceId();
  *out = std::move(handle);
  return kMdfOk;
}

MdfStatus MdfOpenFileDefault(std::unique_ptr<MdfFileHandle>* out, const std::string& name, uint16_t mode) {
  const LibraryState& lib = Lib();
  return MdfOpenFile(out, name, static_cast<uint16_t>(mode | lib.openModeFlags), lib.streamBufferSize);
}

void MdfCloseFile(std::unique_ptr<MdfFileHandle>& handle) { handle.reset(); }

MdfStatus MdfReadFile(void* buffer, size_t count, MdfFileHandle& h) {
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t position = h.pos_;
  size_t done = 0;
  while (done < count) {
    if (h.bufLen_ > 0 && position >= h.bufStart_ && position - h.bufStart_ < h.bufLen_) {
      const size_t offset = static_cast<size_t>(position - h.bufStart_);
      const size_t n = std::min(count - done, h.bufLen_ - offset);
      std::memcpy(out + done, h.buffer_.data() + offset, n);
      done += n;
      position += n;
      continue;
    }
    const size_t want = count - done;
    if (want >= kReadBufferSize) {
      if (Faulted(MdfFileOp::Read) || !h.file_.Seek(static_cast<int64_t>(position)) ||
          !h.file_.ReadExact(out + done, want))
        return h.Fail(kMdfErrRead, "");
      done += want;
      position += want;
      continue;
    }
    if (!h.Fill(position)) return h.Fail(kMdfErrRead, "");
  }
  if (position > kMdfMaxPosition) return h.Fail(kMdfErrRead, "");
  h.pos_ = static_cast<uint32_t>(position);
  return kMdfOk;
}

MdfStatus MdfReadFileUnbuffered(void* buffer, size_t count, MdfFileHandle& h) {
  const uint64_t end = uint64_t{h.pos_} + count;
  if (end > kMdfMaxPosition || Faulted(MdfFileOp::Read)) return h.Fail(kMdfErrRead, "");
  // pread on the descriptor: the platform file would buffer small reads too.
  auto* out = static_cast<uint8_t*>(buffer);
  for (size_t done = 0; done < count;) {
    const ssize_t n = ::pread(h.file_.Descriptor(), out + done, count - done, static_cast<off_t>(h.pos_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return h.Fail(kMdfErrRead, "");
    done += static_cast<size_t>(n);
  }
  h.pos_ = static_cast<uint32_t>(end);
  return kMdfOk;
}

MdfStatus MdfWriteFile(const void* buffer, size_t count, MdfFileHandle& h) {
  const uint64_t end = uint64_t{h.pos_} + count;
  if (end > kMdfMaxPosition || Faulted(MdfFileOp::Write)) return h.Fail(kMdfErrWrite, "");
  // Buffered bytes that the write covers would be stale.
  if (h.bufLen_ > 0 && h.pos_ < h.bufStart_ + h.bufLen_ && h.bufStart_ < end) h.bufLen_ = 0;
  if (!h.file_.Seek(h.pos_) || !h.file_.WriteExact(buffer, count)) return h.Fail(kMdfErrWrite, "");
  h.pos_ = static_cast<uint32_t>(end);
  h.end_ = std::max(h.end_, h.pos_);
  return kMdfOk;
}

MdfStatus MdfSeekFile(MdfFileHandle& h, int64_t offset, int origin) {
  int64_t target = 0;
  if (origin == kMdfSeekBegin) target = offset;
  else if (origin == kMdfSeekCurrent) target = offset > INT64_MAX - int64_t{h.pos_} ? -1 : int64_t{h.pos_} + offset;
  else if (origin == kMdfSeekEnd) target = h.end_;
  if (target == h.pos_) return kMdfOk;
  if (target < 0 || static_cast<uint64_t>(target) > kMdfMaxPosition) {
    char detail[24];
    std::snprintf(detail, sizeof detail, "%d", static_cast<int32_t>(offset));
    return h.Fail(kMdfErrSeek, detail);
  }
  h.pos_ = static_cast<uint32_t>(target);
  h.end_ = std::max(h.end_, h.pos_);
  return kMdfOk;
}

uint32_t MdfGetFilePosition(const MdfFileHandle& handle) { return handle.Position(); }

MdfStatus MdfSyncFile(MdfFileHandle& h) {
  if (Faulted(MdfFileOp::Sync) || !h.file_.Flush()) return h.Fail(kMdfErrWrite, "");
  return kMdfOk;
}

bool MdfSyncDescriptor(int fd) {
  if (Faulted(MdfFileOp::Sync)) return false;
  while (fsync(fd) != 0)
    if (errno != EINTR) return false;
  return true;
}

bool MdfRenameFile(const std::string& from, const std::string& to) {
  return !Faulted(MdfFileOp::Rename) && ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace dravo

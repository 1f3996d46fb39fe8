// The library's file layer: files addressed by unsigned 32-bit positions that
// the layer tracks itself, read through a buffer of its own.
//
// Seeks only move the tracked position; reads and writes are positional, so a
// record read costs a copy from the buffer, never a system call. Every failing
// operation reports its status and leaves the layer at position 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dravo/status.h"
#include "platform/win32/file.h"

namespace dravo {

// Mode words: the low byte is the access, bit 8 asks for a buffered stream
// (which this layer always is).
constexpr uint16_t kMdfFileRead = 0;
constexpr uint16_t kMdfFileModify = 1;
constexpr uint16_t kMdfFileCreate = 2;  // deletes the file first, then creates it
constexpr uint16_t kMdfFileStream = 256;

// Seek origins.
constexpr int kMdfSeekBegin = 0;
constexpr int kMdfSeekCurrent = 1;
constexpr int kMdfSeekEnd = 2;

// The largest position a file of this layer may reach.
constexpr uint64_t kMdfMaxPosition = 0xFFFFFFFFu;

class MdfFileHandle {
 public:
  uint32_t Position() const { return pos_; }
  // The length at open, raised by writes and seeks beyond it.
  uint32_t End() const { return end_; }
  // The file's length when it was opened, which may exceed 32 bits.
  uint64_t OpenedLength() const { return openedLength_; }
  const std::string& Name() const { return name_; }
  uint16_t Mode() const { return mode_; }
  // Distinguishes the files the block store reads images from.
  uint32_t SourceId() const { return sourceId_; }

 private:
  friend MdfStatus MdfOpenFile(std::unique_ptr<MdfFileHandle>*, const std::string&, uint16_t, uint16_t);
  friend MdfStatus MdfReadFile(void*, size_t, MdfFileHandle&);
  friend MdfStatus MdfReadFileUnbuffered(void*, size_t, MdfFileHandle&);
  friend MdfStatus MdfWriteFile(const void*, size_t, MdfFileHandle&);
  friend MdfStatus MdfSeekFile(MdfFileHandle&, int64_t, int);
  friend MdfStatus MdfSyncFile(MdfFileHandle&);

  MdfStatus Fail(MdfStatus status, const std::string& detail);
  bool Fill(uint64_t position);

  winport::File file_;
  std::string name_;
  uint16_t mode_ = 0;
  uint32_t pos_ = 0;
  uint32_t end_ = 0;
  uint64_t openedLength_ = 0;
  uint32_t sourceId_ = 0;
  // Read buffer: bytes [bufStart_, bufStart_ + bufLen_) of the file.
  std::vector<uint8_t> buffer_;
  uint64_t bufStart_ = 0;
  size_t bufLen_ = 0;
};

// Opens `name` (mode word as above). A failure reports 1000 with the name and
// leaves `*out` empty.
MdfStatus MdfOpenFile(std::unique_ptr<MdfFileHandle>* out, const std::string& name, uint16_t mode,
                      uint16_t streamBufferSize);
// MdfOpenFile with the library's mode flags and stream buffer size.
MdfStatus MdfOpenFileDefault(std::unique_ptr<MdfFileHandle>* out, const std::string& name, uint16_t mode);
void MdfCloseFile(std::unique_ptr<MdfFileHandle>& handle);

// Exactly `count` bytes at the tracked position, or -2001.
MdfStatus MdfReadFile(void* buffer, size_t count, MdfFileHandle& handle);
// As MdfReadFile, but straight from the file into `buffer`, for callers that
// keep buffers of their own and read several places of a file in turn.
MdfStatus MdfReadFileUnbuffered(void* buffer, size_t count, MdfFileHandle& handle);
// Exactly `count` bytes at the tracked position, or -2000.
MdfStatus MdfWriteFile(const void* buffer, size_t count, MdfFileHandle& handle);
// Origin 0: offset; 1: position + offset; 2: the tracked end (offset
// ignored); any other: 0. A target outside 32 bits gives -2002.
MdfStatus MdfSeekFile(MdfFileHandle& handle, int64_t offset, int origin);
uint32_t MdfGetFilePosition(const MdfFileHandle& handle);
// Puts what was written on the disk (fsync), or -2000.
MdfStatus MdfSyncFile(MdfFileHandle& handle);
// The same for a descriptor of the caller's (a file, or a directory after a
// rename in it); false when it fails.
bool MdfSyncDescriptor(int fd);
// Renames `from` to `to` (OS paths), replacing `to`; false when it fails.
bool MdfRenameFile(const std::string& from, const std::string& to);

// A seam for tests: the hook is asked before every system read, write, sync
// and rename of the layer and makes it fail by answering true.
enum class MdfFileOp { Read, Write, Sync, Rename };
void MdfSetFileFaultHook(std::function<bool(MdfFileOp)> hook);

}  // namespace dravo

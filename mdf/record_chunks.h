// Chunked reading of a group's records from its file: the stream of one
// reading operation and the sequential walk over whole records.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mdf/mdf.h"
#include "platform/win32/file.h"

namespace mdf::detail {


// Records read from a file per chunk.
constexpr size_t kChunkBytes = 4u << 20;
// Records read per chunk by the group readers: small enough to stay in the
// cache while the group decoder walks them.
constexpr size_t kGroupChunkBytes = 1u << 20;

// The stream of one reading operation: the file object's open stream, or the
// file opened by its path (reading, others may only read) for the operation.
class ReadStream {
 public:
  explicit ReadStream(CMdf* mdf) {
    if (!mdf) return;
    if (mdf->IsOpen()) {
      file_ = &mdf->GetFile();
    } else if (own_.Open(mdf->GetPath(), winport::FileAccess::Read, winport::FileShare::Read)) {
      file_ = &own_;
    }
  }
  winport::File* operator->() const { return file_; }
  winport::File& operator*() const { return *file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  winport::File own_;
  winport::File* file_ = nullptr;
};

// Reads records [first, first + count) sequentially in chunks of whole
// records and hands each chunk on as fn(chunk, records before it in this
// call, records in it). A short read ends the walk; only whole records are
// handed on. Returns the records handed on.
template <typename Fn>
uint32_t ReadRecordChunks(winport::File& file, int64_t dataPos, uint32_t recordLength, uint32_t first,
                          uint32_t count, Fn&& fn, size_t chunkBytes = kChunkBytes) {
  if (count == 0 || recordLength == 0) return 0;
  const size_t perChunk = std::min<size_t>(count, std::max<size_t>(1, chunkBytes / recordLength));
  std::vector<uint8_t> chunk(perChunk * recordLength);
  if (!file.Seek(dataPos + static_cast<int64_t>(first) * recordLength)) return 0;
  uint32_t done = 0;
  while (done < count) {
    const size_t want = std::min<size_t>(perChunk, count - done);
    const size_t got = file.Read(chunk.data(), want * recordLength) / recordLength;
    if (got > 0) fn(chunk.data(), done, got);
    done += static_cast<uint32_t>(got);
    if (got < want) break;
  }
  return done;
}

}  // namespace mdf::detail

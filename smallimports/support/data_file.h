// Data that stay in a file: finding the file beside another, and a data space
// served straight from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "smallimports/support/data_space.h"
#include "smallimports/support/file_cursor.h"

namespace smallimports {

// The path of a readable regular file named `name` in `folder` (with its
// trailing separator), also where the name differs only in case, as Windows
// finds it; none when there is no such file.
std::optional<std::string> FindFileNoCase(const std::string& folder, const std::string& name);
// True when the path names a regular file that can be opened for reading.
bool IsReadableFile(const std::string& path);

// A data space of `size` bytes that begins at `offset` in a file and is read
// from it at every request.
class StreamedData {
 public:
  StreamedData() = default;
  StreamedData(std::string path, uint64_t offset, uint64_t size) : path_(std::move(path)), offset_(offset), size_(size) {}

  const std::string& Path() const { return path_; }
  uint64_t Offset() const { return offset_; }
  uint64_t Size() const { return size_; }

  bool Open() { return file_.Open(path_); }
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  // Copies data-space bytes from `position` (relative to the data space), at
  // most size - position; nothing outside the data space. Not complete when
  // the file is not open or no longer holds them all.
  DataSpaceRead Read(uint64_t position, uint8_t* buffer, uint32_t bytes);

 private:
  std::string path_;
  uint64_t offset_ = 0;
  uint64_t size_ = 0;
  FileCursor file_;
};

}  // namespace smallimports

// Bounded reading of an input file: every read states how many bytes it needs
// and is refused, without reading, when the file holds fewer after the current
// position. Only regular files are opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32/file.h"

namespace smallimports {

class FileCursor {
 public:
  // Opens a regular file for reading (others may read too); false otherwise.
  bool Open(const std::string& path);
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }

  uint64_t Size() const { return size_; }
  uint64_t Tell() const { return pos_; }
  uint64_t Left() const { return size_ - pos_; }

  // Reads exactly n bytes; false, with nothing consumed, when fewer are left
  // or the read fails.
  bool Read(void* dst, uint64_t n);
  // Reads up to n bytes; returns how many came.
  size_t ReadSome(void* dst, size_t n);
  // Moves on by n bytes; false, without moving, when fewer are left.
  bool Skip(uint64_t n);
  // Moves to an absolute position within the file (the end included).
  bool SeekTo(uint64_t pos);

 private:
  winport::File file_;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
};

}  // namespace smallimports

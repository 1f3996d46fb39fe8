// The state and operations behind the module's file-import object: the
// import it holds, its Name text, the open count and the read position in
// the flat data space, which is served from the channels' own buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "orsand/reader.h"
#include "orsand/records.h"

namespace orsand {

class TdmImport {
 public:
  static constexpr int32_t kVersion = 256;

  // Keeps the path as the Name text; 1 when the file is TDM or TDMS by its
  // extension or its first bytes, else 0.
  int32_t IsValid(const std::string& path);
  // Releases the import held, then imports `path`; false when that fails
  // (after the message the reader shows).
  bool ImportFile(const std::string& path, const LoadLimits& limits = {});
  // Frees the import: signals, their values and the comments.
  void ReleaseFile();

  void Open();
  void Close();
  // Origin 0 from the start, 1 from the current position, 2 back from the
  // end of the data space; other origins leave the position.
  void Seek(int32_t offset, int32_t origin);
  // Copies up to `bytes` bytes at the read position from the one channel
  // whose values hold it, never past that channel's values, and advances
  // the position by the count after cutting; a read in no channel's values
  // copies nothing but advances all the same. A negative position copies
  // nothing and stays. Returns the bytes copied.
  uint32_t Read(uint8_t* buffer, uint32_t bytes);
  int64_t Position() const { return position_; }
  int32_t OpenCount() const { return openCount_; }

  // The import held, for signal objects; null between imports.
  std::shared_ptr<const ImportedFile> Imported() const { return file_; }
  int32_t SignalCount() const;
  int32_t FileDate() const { return file_ ? file_->FileDate : 0; }
  int32_t BlockSize() const { return file_ ? static_cast<int32_t>(file_->BlockSize) : 0; }
  int32_t DataSize() const { return file_ ? static_cast<int32_t>(file_->DataSize) : 0; }
  const std::string& Name() const { return name_; }

  // The comment count plus one; FileComment and CommentName of 1 to 256 give
  // the value and the name of that slot, null for an unused or empty one and
  // for any other index.
  int32_t NoOfComments() const;
  const std::string* FileComment(int32_t index) const;
  const std::string* CommentName(int32_t index) const;

 private:
  const Comment* Slot(int32_t index) const;

  std::string name_;
  int32_t openCount_ = 0;
  int64_t position_ = 0;
  std::shared_ptr<ImportedFile> file_;
};

}  // namespace orsand

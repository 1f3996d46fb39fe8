// What one MAT-file import leaves behind: a signal record per signal, the
// data block that the flat data space reads from, and the comments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "importcore/fixed_text.h"
#include "importcore/record_list.h"
#include "smallimports/support/shortfall.h"

namespace quenvo {

using importcore::FixedText;

// Field widths of this module's signal record (capacity including the NUL).
namespace width {
inline constexpr size_t kName = 255;
inline constexpr size_t kDisplayName = 259;
inline constexpr size_t kLabel = 256;
inline constexpr size_t kUnit = 68;  // XUnit and YUnit
inline constexpr size_t kFileComment = 256;
}  // namespace width

// Counts of the bounded copies (at most count - 1 characters are kept).
namespace copy {
inline constexpr size_t kName = 254;
inline constexpr size_t kChannelLabel = 255;
inline constexpr size_t kXLabel = 256;
}  // namespace copy

// Signal kinds (STyp).
namespace styp {
inline constexpr int32_t kRecord = 0;        // a column of the X/Y or test-bench records
inline constexpr int32_t kChannelBlocks = 5;  // a channel of the channel struct, in whole blocks
}  // namespace styp

inline constexpr int32_t kDTypDouble = 13;  // every signal's values are doubles
inline constexpr uint32_t kChannelBlockSize = 1024;
// The contract's sizes and positions are signed 32-bit: a larger data space cannot be served.
inline constexpr uint64_t kMaxDataSize = 0x7FFFFFFF;

// One signal. Fields the module never fills (the grids, tags, links, Alias,
// Sweep, NoValue ...) are answered as constants by the signal object.
struct SignalRecord : importcore::ListHeader {
  FixedText<width::kName> Name;
  FixedText<width::kDisplayName> DisplayName;
  FixedText<width::kLabel> Label;
  int32_t STyp = styp::kRecord;
  int32_t DTyp = kDTypDouble;
  int32_t Ignore = 0;
  int32_t ValuesPerBlock = 0;
  int32_t BlockOffset = 0;
  int32_t Demux = 0;
  double XMin = 0, XMax = 0, XFactor = 0, XOffset = 0;
  FixedText<width::kUnit> XUnit;
  double YMin = 0, YMax = 0, YFactor = 1.0, YOffset = 0;
  FixedText<width::kUnit> YUnit;
  double MinDelta = 0, MaxDelta = 0;
  int32_t IsUniDir = 0;
  int32_t NoOfValues = 0;
  int32_t Block0 = 0;
  int32_t isTime = 0;  // the channel that carries the time axis (channel struct)
};

using SignalList = importcore::RecordList<SignalRecord>;

// The unit of every time axis.
inline const FixedText<width::kUnit>& SecondsUnit() {
  static const FixedText<width::kUnit> seconds("s");
  return seconds;
}

// The data block: one zero-filled allocation that the flat data space reads.
class DataBlock {
 public:
  DataBlock() = default;
  // `bytes` zero bytes; false (and the block empty) when memory runs out.
  bool Allocate(uint64_t bytes) {
    data_.reset();
    size_ = 0;
    if (bytes > kMaxDataSize) return false;
    data_.reset(static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1)));
    if (!data_) return false;
    size_ = bytes;
    return true;
  }
  uint8_t* data() const { return data_.get(); }
  double* doubles() const { return reinterpret_cast<double*>(data_.get()); }
  uint64_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint8_t, Free> data_;
  uint64_t size_ = 0;
};

// The signals and data of one import; ReleaseFile drops it, signal objects
// hold it weakly.
struct ImportedFile {
  SignalList signals;
  uint32_t BlockSize = kChannelBlockSize;
  DataBlock data;  // DataSize is its size
  // X/Y: the Y channels whose "Data" hold fewer values than X's, by name.
  smallimports::Shortfall shortChannels;
};

struct Comment {
  std::string name;
  std::string text;
};

// Named comments of the test-bench layout: up to kSlots, further ones are dropped.
class CommentTable {
 public:
  static constexpr size_t kSlots = 256;

  // False when the table is full.
  bool Add(std::string name, std::string text) {
    if (slots_.size() >= kSlots) return false;
    slots_.push_back({std::move(name), std::move(text)});
    return true;
  }
  // The comment in 0-based slot `index`, or null for an unused slot.
  const Comment* Slot(size_t index) const { return index < slots_.size() ? &slots_[index] : nullptr; }
  size_t Count() const { return slots_.size(); }
  void Clear() { slots_.clear(); }

 private:
  std::vector<Comment> slots_;
};

// The texts an import leaves for the host: the file comment (in the OEM code
// page where the test-bench layout made it) and the named comments.
struct ImportComments {
  FixedText<width::kFileComment> fileComment;
  CommentTable table;
};

}  // namespace quenvo

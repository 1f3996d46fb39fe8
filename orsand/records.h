// What one TDM/TDMS import leaves behind: a signal record per channel with
// its values in a buffer of its own, the comment table, the file date and the
// layout of the flat data space that Read serves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "importcore/fixed_text.h"
#include "importcore/record_list.h"

namespace orsand {

using importcore::FixedText;

// The flat data space is laid out in whole blocks of this size.
inline constexpr uint32_t kBlockSize = 4096;
// The contract's sizes and positions are signed 32-bit.
inline constexpr uint64_t kMaxDataSpace = 0x7FFFFFFF;
// Text fields hold this many bytes with their NUL.
inline constexpr size_t kTextWidth = 255;

// The values of one channel. A large buffer is mapped with its pages made
// present at once, which costs less than a page fault for each.
class ValueBuffer {
 public:
  ValueBuffer() = default;
  // `bytes` bytes, not initialised; an empty buffer when memory runs out.
  static ValueBuffer Allocate(size_t bytes);
  ~ValueBuffer() { Release(); }
  ValueBuffer(ValueBuffer&& other) noexcept { *this = std::move(other); }
  ValueBuffer& operator=(ValueBuffer&& other) noexcept;
  ValueBuffer(const ValueBuffer&) = delete;
  ValueBuffer& operator=(const ValueBuffer&) = delete;

  uint8_t* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  void Release();

  uint8_t* data_ = nullptr;
  size_t mapped_ = 0;  // bytes mapped; 0 for a buffer from the heap
};

// One channel, in import order.
struct SignalRecord : importcore::ListHeader {
  FixedText<kTextWidth> Name;
  FixedText<kTextWidth> DisplayName;  // "<channel>\<group>"
  FixedText<kTextWidth> Alias;        // stays empty
  int32_t STyp = 0;
  int32_t DTyp = 0;
  int32_t valueSize = 0;  // bytes per stored value; 0: the values are not read
  int32_t Ignore = 0;
  int32_t ValuesPerBlock = 0;
  int32_t BlockOffset = 0;
  int32_t Demux = 0;
  double XMin = 0, XMax = 0, XFactor = 0, XOffset = 0;
  FixedText<kTextWidth> XUnit;
  double YMin = 0, YMax = 0, YFactor = 0, YOffset = 0;
  FixedText<kTextWidth> YUnit;
  double Sweep = 0;
  int32_t NoOfValues = 0;
  int32_t Block0 = 0;
  // The channel's bytes [byteOffset, endOffset) in the data space.
  uint64_t byteOffset = 0;
  uint64_t endOffset = 0;
  double YStep = 0, YOrigin = 0, NoValue = 0;
  double MinDelta = 0, MaxDelta = 0;
  int32_t IsUniDir = 0;
  // The group's time channel that the host reads as XSignal; none when the
  // time axis is told by XOffset and XFactor alone.
  const SignalRecord* xLink = nullptr;
  int32_t group = 0;  // 1-based
  // NoOfValues values of valueSize bytes, in the machine's byte order.
  ValueBuffer values;
  int32_t isTime = 0;  // the group's time channel, or a timestamp channel
  int32_t ddcType = 0;  // the library's data type code
};

struct Comment {
  std::string name;
  std::string value;
};

// Name and value pairs of file, group and channel properties. The table
// keeps kSlots pairs; further ones are dropped.
class CommentTable {
 public:
  static constexpr size_t kSlots = 256;

  // Appends the pair; false when the table is full.
  bool Add(std::string name, std::string value);
  // Whether the table holds this pair (both compared exactly).
  bool Contains(std::string_view name, std::string_view value) const;
  size_t Count() const { return pairs_.size(); }
  // The pair in 0-based slot `index`, or null for an unused slot.
  const Comment* Slot(size_t index) const { return index < pairs_.size() ? &pairs_[index] : nullptr; }

 private:
  std::vector<Comment> pairs_;
};

// The result of one import.
struct ImportedFile {
  importcore::RecordList<SignalRecord> signals;
  CommentTable comments;
  int32_t FileDate = 0;
  uint32_t BlockSize = kBlockSize;
  uint64_t DataSize = 0;  // never above kMaxDataSpace
  uint64_t blocks = 0;    // blocks handed out

  // The signal whose bytes hold `position` of the data space, or null (the
  // unused rest of a channel's last block, or past every channel).
  const SignalRecord* SignalAt(uint64_t position) const;
};

}  // namespace orsand

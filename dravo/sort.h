// Sorting an unsorted file into a copy in which every channel group has a
// data group and a contiguous data area of its own, and checking such a copy
// against its source. Shared by the sort, its verification and their entries.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dravo/blocks.h"
#include "dravo/filelayer.h"
#include "dravo/status.h"

namespace dravo {

// One channel group of the source, in DG-chain then CG-chain order.
struct SourceGroup {
  MdfBlock* dg = nullptr;
  MdfBlock* cg = nullptr;
  uint16_t recordSize = 0;
  uint16_t recordId = 0;
  uint32_t recordCount = 0;
  uint64_t AreaBytes() const { return uint64_t{recordCount} * recordSize; }
};

// One data group of the source with the records of its channel groups.
struct SourceDataGroup {
  MdfBlock* dg = nullptr;
  uint16_t recordIds = 0;
  uint32_t dataLink = 0;
  size_t first = 0, count = 0;  // its channel groups in SourceLayout::groups
  uint64_t storedBytes = 0;     // the records as stored, ids included
};

struct SourceLayout {
  std::vector<SourceGroup> groups;
  std::vector<SourceDataGroup> dataGroups;
  bool interleaved = false;  // a data group holds more than one channel group
};

// The channel groups of a file whose structure is read, without checks of
// their records.
MdfStatus ReadSourceLayout(MdfBlock& hd, SourceLayout* layout);
// Checks that the records of every data group can be walked: at most 2
// record ids, ids wherever a data group holds several channel groups, a data
// link and whole records inside the file wherever there are records, and at
// most 65,535 channel groups; -2004 otherwise.
MdfStatus CheckSourceLayout(const SourceLayout& layout, uint64_t fileLength);

// Hands the record bytes of a data group's channel groups, without ids, to
// `sink.Append(index within the data group, bytes, count)` in the order they
// stand in the source; each channel group's bytes come in order, as its area
// in the copy holds them, and kRecordSlack bytes past them may be read. Walks every record of the data group once, front to back, bounded by the
// record counts; an id of no channel group, a record beyond its group's count
// or a trailing id unlike the leading one gives -2004.
template <class Sink>
MdfStatus WalkRecords(MdfFileHandle& source, const SourceLayout& layout, const SourceDataGroup& dataGroup,
                      Sink& sink);

// Buffer sizes for a data group's channel groups from a budget: shares in
// proportion to each group's data, in whole records and at most its data; 0
// where a share would not hold one record.
std::vector<size_t> ShareBudget(const SourceLayout& layout, const SourceDataGroup& dataGroup, uint64_t budget);

// The sort without its entry frame: reads `source`, and unless there is
// nothing to sort (5), opens `destination` with `destinationMode` (the file
// layer's create or modify) and writes the sorted copy, fsyncing it when
// `sync` is set.
MdfStatus SortFile(const std::string& source, const std::string& destination, uint16_t destinationMode, bool sync);

// ---- WalkRecords ----

namespace sortdetail {

// Bytes past the end of any record handed to a sink that the sink may read
// (they hold whatever the buffer holds there), so that a short record can be
// copied in one move of fixed size.
constexpr size_t kRecordSlack = 64;

// Reads a span of the source front to back through a buffer of its own, so
// that every record can be seen whole in memory.
class ChunkReader {
 public:
  ChunkReader(MdfFileHandle& file, uint32_t start, uint64_t bytes);
  size_t Available() const { return static_cast<size_t>(end_ - cursor_); }
  const uint8_t* Cursor() const { return cursor_; }
  void Skip(size_t n) { cursor_ += n; }
  // Reads on until `n` bytes are available or the span is read whole.
  MdfStatus Fill(size_t n) { return Available() >= n || left_ == 0 ? kMdfOk : Refill(); }

 private:
  MdfStatus Refill();

  MdfFileHandle& file_;
  uint64_t next_;  // file position of the first byte not read yet
  uint64_t left_;  // bytes of the span not read yet
  std::vector<uint8_t> buffer_;  // its last kRecordSlack bytes are never filled
  const uint8_t* cursor_ = nullptr;
  const uint8_t* end_ = nullptr;
};

}  // namespace sortdetail

template <class Sink>
MdfStatus WalkRecords(MdfFileHandle& source, const SourceLayout& layout, const SourceDataGroup& dataGroup,
                      Sink& sink) {
  if (dataGroup.storedBytes == 0) return kMdfOk;
  const SourceGroup* groups = layout.groups.data() + dataGroup.first;
  sortdetail::ChunkReader reader(source, dataGroup.dataLink, dataGroup.storedBytes);
  if (dataGroup.recordIds == 0) {
    // One channel group whose records follow each other: its area is the data as it stands.
    for (uint64_t left = dataGroup.storedBytes; left > 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, 1u << 16));
      if (MdfStatus s = reader.Fill(n)) return s;
      if (reader.Available() < n) return MdfReportError(kMdfErrFileFormat);
      if (MdfStatus s = sink.Append(0, reader.Cursor(), n)) return s;
      reader.Skip(n);
      left -= n;
    }
    return kMdfOk;
  }
  // The group of each id (the first in chain order) with its record size,
  // and the records each group still expects.
  struct IdSlot {
    int32_t index = -1;
    uint32_t size = 0;
  };
  std::array<IdSlot, 256> byId{};
  std::vector<uint32_t> expected(dataGroup.count);
  uint64_t records = 0;
  size_t longest = 0;
  for (size_t i = 0; i < dataGroup.count; ++i) {
    expected[i] = groups[i].recordCount;
    records += groups[i].recordCount;
    longest = std::max<size_t>(longest, groups[i].recordSize);
    if (groups[i].recordId < byId.size() && byId[groups[i].recordId].index < 0)
      byId[groups[i].recordId] = IdSlot{static_cast<int32_t>(i), groups[i].recordSize};
  }
  const size_t trailing = dataGroup.recordIds == 2 ? 1 : 0;
  longest += 1 + trailing;
  for (uint64_t r = 0; r < records;) {
    if (MdfStatus s = reader.Fill(longest)) return s;
    // Records that start `longest` bytes or more before the buffer's end lie
    // whole in it; near the span's end the loop takes one record at a time.
    const uint8_t* const first = reader.Cursor();
    const uint8_t* const end = first + reader.Available();
    const uint8_t* const sure = reader.Available() >= longest ? end - longest : first;
    const uint8_t* p = first;
    do {
      if (p == end) return MdfReportError(kMdfErrFileFormat);
      const IdSlot slot = byId[p[0]];
      const size_t length = 1 + slot.size + trailing;
      if (slot.index < 0 || expected[slot.index] == 0 || length > static_cast<size_t>(end - p) ||
          (trailing && p[length - 1] != p[0]))
        return MdfReportError(kMdfErrFileFormat);
      --expected[slot.index];
      if (slot.size != 0)
        if (MdfStatus s = sink.Append(static_cast<size_t>(slot.index), p + 1, slot.size)) return s;
      p += length;
    } while (++r < records && p <= sure);
    reader.Skip(static_cast<size_t>(p - first));
  }
  return kMdfOk;
}

}  // namespace dravo

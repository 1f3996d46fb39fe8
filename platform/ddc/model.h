// The library's model of an open file: the file object, its channel groups
// and their channels, each with its properties, and for each channel where
// its values lie. The TDMS and TDM readers fill it; the entry points serve it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "platform/ddc/data_file.h"
#include "platform/ddc/nilibddc.h"

namespace ddc {

using Status = int;

// An instant as TDMS stores it: whole seconds since 1904-01-01 00:00:00 UTC
// and the fraction of a second in units of 2^-64 s.
struct Timestamp {
  int64_t seconds = 0;
  uint64_t fraction = 0;
};
inline constexpr int64_t kUnixEpochSince1904 = 2082844800;

// A property's value: texts (Windows-1252) as string, signed integers as
// int64_t, unsigned integers and booleans as uint64_t, floats as double.
using PropertyValue = std::variant<std::string, int64_t, uint64_t, double, Timestamp>;

struct Property {
  std::string name;  // Windows-1252
  DDCDataType type = DDC_TypeString;
  PropertyValue value;
};

// Properties in the order of their first appearance; setting a name again
// replaces its value in place.
class PropertyList {
 public:
  void Set(Property property);
  // Sets the property only when the name is not there yet.
  void SetDefault(Property property);
  const Property* Find(std::string_view name) const;
  // Puts the given names, where present, first and in this order.
  void OrderFirst(const std::vector<std::string_view>& names);
  size_t Size() const { return items_.size(); }
  const Property& operator[](size_t i) const { return items_[i]; }

 private:
  std::vector<Property> items_;
  std::unordered_map<std::string, size_t> index_;
};

Property TextProperty(std::string name, std::string text);
Property DoubleProperty(std::string name, double value);
Property TimestampProperty(std::string name, Timestamp value);

// Where a TDMS channel's values lie: slot `slot` of run `run` of the file's
// TDMS index, holding the channel's values [first, first + count).
struct TdmsRunRef {
  uint32_t run = 0;
  uint32_t slot = 0;
  uint64_t first = 0;
  uint64_t count = 0;
};
struct TdmsValues {
  std::vector<TdmsRunRef> runs;
};

// Values packed in a .tdx block from `offset`, of type `stored`; with
// `linear`, each delivered value is p0 + p1 * stored (as a double).
struct TdxValues {
  size_t data_file = 0;  // index into File::data_files
  uint64_t offset = 0;
  DDCDataType stored = DDC_TypeDouble;
  bool big_endian = false;
  bool linear = false;
  double p0 = 0, p1 = 1;
};

// Values written out in the header: numbers packed at the channel type's
// size in the machine's byte order, or texts.
struct InlineValues {
  std::vector<uint8_t> bytes;
  std::vector<std::string> texts;
};

// Values start + i * increment (doubles).
struct GeneratedValues {
  double start = 0, increment = 0;
};

using ValueSource = std::variant<std::monostate, TdmsValues, TdxValues, InlineValues, GeneratedValues>;

struct Scaling;  // scaling.h

struct Channel {
  PropertyList properties;
  DDCDataType type = DDC_TypeUnsupported;    // of the values delivered
  DDCDataType stored = DDC_TypeUnsupported;  // of the values stored (set once the file is read)
  uint64_t count = 0;
  ValueSource source;
  // The scaling that turns stored values into delivered ones; none: delivered as stored.
  std::shared_ptr<const Scaling> scaling;
  // Why the values cannot be delivered (a status), or 0.
  Status unusable = 0;
};

struct Group {
  PropertyList properties;
  std::vector<std::unique_ptr<Channel>> channels;
};

// DAQmx raw data: a scaler takes one value from each row of a raw buffer,
// the bytes of its type at a byte offset in the row (format-changing), or one
// bit of the byte there (digital line: 0 or 1).
struct DaqmxScaler {
  DDCDataType type = DDC_TypeUnsupported;  // of the values delivered
  uint32_t buffer = 0;                     // raw buffer index
  uint32_t byte_offset = 0;                // in the row
  int32_t bit = -1;                        // digital line: the bit of that byte; -1 otherwise
  uint32_t scale_id = 0;
  bool operator==(const DaqmxScaler&) const = default;
};

// One raw buffer of a DAQmx chunk: `rows` rows of `width` bytes from `offset`.
struct DaqmxBuffer {
  uint64_t offset = 0, width = 0, rows = 0;
  bool operator==(const DaqmxBuffer&) const = default;
};

// One object of a TDMS segment's chunk layout that has values.
struct TdmsSlot {
  Channel* channel = nullptr;  // none for a group or the file object with values
  uint32_t value_size = 0;     // bytes per value; 0 for strings, DAQmx and unreadable types
  bool is_string = false;
  uint64_t per_chunk = 0;      // values per chunk
  uint64_t offset = 0;         // from the chunk start (contiguous) or the row start (interleaved)
  uint64_t bytes = 0;          // bytes per chunk (strings: offsets and characters)
  std::vector<DaqmxScaler> scalers;  // DAQmx: one value per row from each; empty otherwise
};

struct TdmsLayout {
  std::vector<TdmsSlot> slots;
  std::vector<DaqmxBuffer> buffers;  // DAQmx: the chunk's raw buffers in index order
  uint64_t chunk_bytes = 0;
  uint64_t row_bytes = 0;  // interleaved only
  bool interleaved = false;
  bool big_endian = false;
};

// The raw data of one segment: whole chunks, and the bytes of a partial last
// chunk in a segment cut at the end of the file.
struct TdmsSegmentData {
  uint64_t data_pos = 0;
  uint64_t chunks = 0;
  uint64_t first_chunk = 0;  // chunks of the run before this segment
  uint64_t tail_bytes = 0;
};

// Consecutive segments with one layout.
struct TdmsRun {
  TdmsLayout layout;
  uint64_t segment_begin = 0, segment_end = 0;  // into TdmsIndex::segments
  uint64_t chunks = 0;                           // whole chunks of all its segments
};

struct TdmsIndex {
  std::vector<TdmsSegmentData> segments;
  std::vector<TdmsRun> runs;
};

// Values of slot `slot` in a run: whole chunks, then those of a partial chunk.
uint64_t PartialChunkCount(const TdmsLayout& layout, const TdmsSlot& slot, uint64_t tail_bytes);

struct File {
  PropertyList properties;
  std::vector<std::unique_ptr<Group>> groups;
  std::vector<std::unique_ptr<DataFile>> data_files;  // the .tdms, or the .tdx files
  TdmsIndex tdms;
};

// Value size in bytes of a readable channel type; 0 for the others.
uint32_t ValueSize(DDCDataType type);
bool IsNumberType(DDCDataType type);

// Text conversions at the library's edges.
std::string FromUtf8(std::string_view utf8);  // -> Windows-1252
std::string ToUtf8(std::string_view ansi);    // Windows-1252 -> UTF-8

}  // namespace ddc

// Writes TDMS files for tests, segment by segment.
//
// A Segment lists its objects (path, raw-data index, properties) and carries
// raw data bytes that the test lays out itself with RawData. Nothing is
// checked: lead-in offsets are computed unless a test overrides them, and
// every field can be set to a bad value, which is how tests make damaged files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace testsupport::tdms {

// Type codes.
inline constexpr uint32_t kI8 = 1, kI16 = 2, kI32 = 3, kI64 = 4, kU8 = 5, kU16 = 6, kU32 = 7,
                          kU64 = 8, kF32 = 9, kF64 = 10, kString = 0x20, kBool = 0x21,
                          kTimestamp = 0x44, kFixedPoint = 0x4F, kComplexF64 = 0x10000D;
// ToC bits.
inline constexpr uint32_t kTocMetaData = 0x02, kTocNewObjectList = 0x04, kTocRawData = 0x08,
                          kTocInterleaved = 0x20, kTocBigEndian = 0x40, kTocDaqmx = 0x80;
inline constexpr uint32_t kDefaultToc = kTocMetaData | kTocNewObjectList | kTocRawData;
// Seconds between 1904-01-01 and 1970-01-01.
inline constexpr int64_t kUnixEpochSince1904 = 2082844800;

// "/'group'" and "/'group'/'channel'", quotes doubled.
std::string Path(const std::string& group);
std::string Path(const std::string& group, const std::string& channel);

struct Timestamp {
  int64_t seconds1904 = 0;
  uint64_t fraction = 0;  // 2^-64 s
};
Timestamp FromUnix(int64_t unix_seconds, double fraction = 0);

struct Property {
  std::string name;
  uint32_t type = kString;
  std::variant<std::string, int64_t, uint64_t, double, Timestamp> value;
};
Property String(std::string name, std::string value);
Property F64(std::string name, double value);
Property I32(std::string name, int32_t value);
Property U32(std::string name, uint32_t value);
Property Bool(std::string name, bool value);
Property Time(std::string name, Timestamp value);

// A DAQmx scaler: a value of DAQmx type `type` (0 u8, 1 i8, 2 u16, 3 i16, 4 u32,
// 5 i32, 6 u64, 7 i64, 8 f32, 9 f64) at byte `offset` of each row of raw
// buffer `buffer`; of a digital-line scaler, `offset` is a bit offset.
struct DaqmxScaler {
  uint32_t type = 3;
  uint32_t buffer = 0;
  uint32_t offset = 0;
  uint32_t scale_id = 0;
};

struct Object {
  enum class Index { NoData, SameAsBefore, Full, Daqmx };
  std::string path;
  Index index = Index::NoData;
  uint32_t type = kF64;
  uint64_t count = 0;           // values per chunk
  uint64_t string_bytes = 0;    // strings: offsets and characters per chunk
  uint32_t dimension = 1;
  uint32_t header = 20;         // the index length written for a Full index
  // DAQmx: the raw buffer widths and the scalers; without scalers, one
  // format-changing i16 scaler at byte 0 of buffer 0 is written.
  std::vector<uint32_t> daqmx_widths;
  std::vector<DaqmxScaler> daqmx_scalers;
  bool daqmx_digital = false;          // digital-line scalers (index 0x126A)
  uint32_t daqmx_type = 0xFFFFFFFF;    // the index's data type: DAQmx raw, or a number type

  std::vector<Property> properties;
};
// An object with a full index of `count` values of `type` per chunk.
Object WithData(std::string path, uint32_t type, uint64_t count, std::vector<Property> props = {});
Object NoData(std::string path, std::vector<Property> props = {});
Object SameIndex(std::string path);
// A string channel's index for these values in each chunk.
Object WithStrings(std::string path, const std::vector<std::string>& values);
// A DAQmx channel of `count` values per chunk, read by `scalers` from raw buffers of `widths`.
Object Daqmx(std::string path, uint64_t count, std::vector<uint32_t> widths, std::vector<DaqmxScaler> scalers,
             std::vector<Property> props = {});

struct Segment {
  uint32_t toc = kDefaultToc;
  std::vector<Object> objects;
  std::string raw;  // the raw data, as it stands in the file
  std::string tag = "TDSm";
  uint32_t version = 4713;
  std::optional<uint64_t> next_offset;  // default: metadata + raw data
  std::optional<uint64_t> raw_offset;   // default: metadata length
};

// Raw data in a segment's byte order.
class RawData {
 public:
  explicit RawData(bool big_endian = false) : big_endian_(big_endian) {}
  template <typename T>
  RawData& Value(T v);
  template <typename T>
  RawData& Values(const std::vector<T>& values) {
    for (T v : values) Value(v);
    return *this;
  }
  // n end offsets, then the characters.
  RawData& Strings(const std::vector<std::string>& values);
  RawData& Stamp(Timestamp t);
  const std::string& Bytes() const { return bytes_; }

 private:
  bool big_endian_;
  std::string bytes_;
};

std::string EncodeSegment(const Segment& segment);
std::string Encode(const std::vector<Segment>& segments);

}  // namespace testsupport::tdms

// Import of an RPC III time-history file with 16-bit integer data.
//
// The header is a run of 128-byte records (keyword in bytes 0-31, value in
// bytes 32-127, each up to its first NUL): FORMAT first, NUM_HEADER_BLOCKS n
// second, 4n records in all; the data begin at n * 512. The data are groups of
// PTS_PER_GROUP points: in each group, channel after channel, its points of
// that group as 16-bit integers.
//
// The data space served to the host interleaves the channels: one record of
// CHANNELS 16-bit values per point, little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "smallimports/support/data_space.h"
#include "smallimports/support/records.h"
#include "smallimports/support/shortfall.h"

namespace jorvel {

inline constexpr size_t kRecordBytes = 128;
inline constexpr size_t kKeywordBytes = 32;
inline constexpr uint64_t kHeaderBlockBytes = 512;
inline constexpr uint64_t kRecordsPerBlock = kHeaderBlockBytes / kRecordBytes;
inline constexpr size_t kMaxNameChars = 254;
inline constexpr size_t kDescNameChars = 253;
inline constexpr char kTimeUnit[] = "s";
inline constexpr int32_t kDTypInt16 = 7;

using JorvelSignal = smallimports::SignalRecordT<smallimports::JorvelWidths>;

// How the file's samples lie, all counts in 64 bits.
struct RpcLayout {
  uint64_t channels = 0;
  uint64_t pointsPerFrame = 0;  // P
  uint64_t pointsPerGroup = 0;  // G
  uint64_t frames = 0;          // F
  uint64_t values = 0;          // V = P * F per channel
  uint64_t groups = 0;          // D = ceil(V / G)
  uint64_t lastGroupValues = 0; // V - (D - 1) * G
  uint64_t lastGroupStep = 0;   // points per channel the last group takes in the file
  uint64_t dataOffset = 0;
};

// The samples as the file holds them (little-endian), and the mapping from
// the interleaved data space onto them. A record's column whose value the
// file does not hold (a channel of a cut file beyond its NoOfValues) is
// padding and reads 0; no signal's values lie there.
class RpcSamples {
 public:
  void Assign(const RpcLayout& layout, std::vector<uint8_t> bytes);
  void Clear() { *this = RpcSamples(); }
  uint64_t StoredBytes() const { return bytes_.size(); }
  // Copies data-space bytes [position, position + count).
  void Copy(uint64_t position, uint8_t* dst, uint32_t count) const;

 private:
  RpcLayout layout_;
  std::vector<uint8_t> bytes_;
};

struct RpcImport {
  std::string path;
  std::string name;  // file name without folder and extension
  bool bigEndian = false;
  int64_t fileDate = 0;
  smallimports::RecordList<JorvelSignal> signals;
  int32_t blockSize = 0;
  uint32_t dataSize = 0;
  RpcLayout layout;
  RpcSamples samples;
  // Channels that got fewer values than the header states (the file is cut).
  smallimports::Shortfall shortfall;
};

enum class RpcStatus {
  Ok,
  OpenFailed,
  NotFormat,          // the first record is not FORMAT
  AsciiFormat,
  NoHeaderBlocks,     // the second record is not NUM_HEADER_BLOCKS
  BadHeaderBlocks,    // below 1
  ShortHeader,        // the file ends before the header's 4n records
  FloatingPoint,      // DATA_TYPE FLOATING_POINT
  BadChannels,        // CHANNELS below 1, absent, or more than the sample bytes hold
  BadLayout,          // PTS_PER_FRAME, PTS_PER_GROUP or FRAMES absent or below 1
  DataSpaceTooLarge,  // 4 GiB or more
  OutOfMemory,
};

struct RpcResult {
  RpcStatus status = RpcStatus::Ok;
  uint64_t offset = 0;  // file offset of the record or data where reading stopped
};
std::string RpcResultText(const RpcResult& result);

// Reads the file into `out` (emptied first; left empty on failure). No message
// is shown. A file cut inside its samples gives each channel the values it
// holds whole: NoOfValues counts only those, a channel without any gets
// Ignore 1, and the shortfall names them.
RpcResult ParseRpcFile(const std::string& path, RpcImport& out);

// "day.month.year hour:minute:second" as local time (daylight saving as the
// runtime decides); a year of 100 or below counts from 1900. 0 when the text
// does not hold the six numbers.
int64_t ParseRpcDate(std::string_view text);

// The values of channel k (from 0) that the first `stored` bytes of the
// samples hold whole.
uint64_t HeldValues(const RpcLayout& layout, uint64_t stored, uint64_t k);

// Copies at most data size - position bytes and moves the position as far.
smallimports::DataSpaceRead ReadRpcDataSpace(const RpcImport& data, uint32_t position, uint8_t* buffer,
                                             uint32_t bytes);

}  // namespace jorvel

// Import of an EDAS or PDAI file: a 32-byte preamble ("EDAS" or "PDAI", the
// text header's offset at byte 8), a text header of "keyword:value" lines (a
// header section up to "endheader", then "beginchannel" ... "endchannel"
// sections) and each channel's values at the offset its section names.
//
// Channels of equal length make one interleaved record per value (loaded, or
// streamed from the file when large); channels of different lengths are
// converted to 32-bit floats in blocks of 512 values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/support/data_space.h"
#include "smallimports/support/records.h"

namespace hestor {

inline constexpr size_t kPreambleBytes = 32;
inline constexpr size_t kMaxLineChars = 254;
inline constexpr size_t kMaxNameChars = 31;
inline constexpr size_t kMaxUnitChars = 31;
// Interleaved data of organisation 1 from this size on stay in the file.
inline constexpr uint64_t kStreamFromBytes = 256000001;
inline constexpr int32_t kValuesPerBlock = 512;
inline constexpr int32_t kBlockBytes = kValuesPerBlock * 4;

struct HestorSignal : smallimports::SignalRecordT<smallimports::HestorWidths> {
  int32_t firstBit = 0;
  int32_t bitCount = 0;
  int64_t channelOffset = 0;  // file offset of the channel's first value
  int32_t valueSize = 0;      // bytes of a value in the file
};
// The signal's BitSize: (bit count - 1) * 256 + first bit, 0 while no bit count is set.
int32_t BitSize(const HestorSignal& signal);

// What an import leaves for the file-import object.
struct HestorImport {
  std::string path;
  smallimports::RecordList<HestorSignal> signals;
  int64_t fileDate = 0;
  int32_t blockSize = 0;
  uint32_t dataSize = 0;
  std::vector<uint8_t> samples;  // the data space in memory, unless streamed
  bool streaming = false;        // the data space is read from the file at dataOffset
  uint64_t dataOffset = 0;
};

enum class HestorStatus {
  Ok,
  OpenFailed,
  ShortPreamble,
  NoChannels,
  SeekFailed,  // a channel offset before the file (box "fseek")
  ReadFailed,  // a channel's values beyond the file's end (box "fread")
  DataSpaceTooLarge,
  OutOfMemory,
};

struct HestorResult {
  HestorStatus status = HestorStatus::Ok;
  uint64_t offset = 0;  // where reading stopped: the line's or the values' file offset
};
std::string HestorResultText(const HestorResult& result);

// Imports the file into `out` (emptied first). File errors are shown in the
// module's message boxes; a failure leaves the channels read so far.
HestorResult ParseHestorFile(const std::string& path, HestorImport& out);
// The validity check: 32 bytes, "EDAS" or "PDAI" in any case, a header offset not 0.
bool IsHestorFile(const std::string& path);

// Seconds from 1970 of a local date, every fourth year a leap year, shifted by
// the runtime's time zone and by an hour in the summer-time window; kept in 32
// bits. 0 for a month outside 1 to 12.
int64_t StartTimeToTimeValue(int year, int month, int day, int hour, int minute, int second);

// A read of the data space in memory: at most data size - position bytes.
smallimports::DataSpaceRead ReadHestorMemory(const HestorImport& data, uint32_t position, uint8_t* buffer,
                                             uint32_t bytes);

}  // namespace hestor

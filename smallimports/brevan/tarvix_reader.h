// Import of a Tarvix header file and its ".dta" data file.
//
// The header file: a 72-byte head (layout flag, data-file mode, record size R
// of the data file, channel count C, date and time), then records of a
// 12-byte head (type, length L with the head, a word not read) and a body: C
// channel records (type 100), each optionally followed by a long-label record
// (type 200), then further records (data file, sampling, texts, parameters)
// up to a length of 0 or the end of the file. The data file holds records of
// R bytes of interleaved samples; the data space is streamed from it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "smallimports/support/records.h"
#include "smallimports/support/shortfall.h"

namespace brevan {

inline constexpr size_t kHeadBytes = 72;
inline constexpr size_t kRecordHeadBytes = 12;
inline constexpr size_t kChannelBodyBytes = 196;
inline constexpr uint32_t kChannelRecord = 100;
inline constexpr uint32_t kLongLabelRecord = 200;
inline constexpr uint32_t kNoStreamingBit = 0x1000;
inline constexpr size_t kMaxCommentPiece = 254;
inline constexpr size_t kMaxCommentChars = 254;

struct BrevanSignal : smallimports::SignalRecordT<smallimports::BrevanWidths> {
  smallimports::TextField<68> DisplayName;
  int32_t valueSize = 0;  // bytes of a value in the data file
  int32_t typeCode = 0;   // as the channel record states it
};

struct CommentRecord {
  int32_t number = 0;
  smallimports::TextField<65> Name;
  std::string text;
};

// What an import leaves for the file-import object.
struct TarvixImport {
  std::string dataPath;  // the data file the data space is streamed from
  std::string comment;
  int64_t fileDate = 0;
  smallimports::RecordList<BrevanSignal> signals;
  smallimports::RecordList<smallimports::ScalarRecord> scalars;
  smallimports::RecordList<CommentRecord> comments;
  int32_t blockSize = 0;
  uint32_t dataSize = 0;
  bool streaming = false;   // the data space is offered, read from dataPath
  uint64_t dataOffset = 0;  // D: where the data space begins in the data file
  // Channels that got fewer values than the sampling states (the data file
  // ends before them, or they pass their record's end), and parameters left
  // out (a value shorter than its type).
  smallimports::Shortfall shortfall;
};

enum class TarvixStatus {
  Ok,
  OpenFailed,
  ShortHead,
  BadChannelCount,     // below 1, or more channel records than the file can hold
  BadRecordSize,       // R below 1
  ShortChannelRecord,  // the file ends before C channel records, or one is short
  NotAChannelRecord,   // a record of another type where a channel record is due
  ShortLongLabel,
  DataFileRefused,     // the data file is missing and the user offered none
  DataSpaceTooLarge,
  OutOfMemory,
};

struct TarvixResult {
  TarvixStatus status = TarvixStatus::Ok;
  uint64_t offset = 0;  // header-file offset of the record where reading stopped
};
std::string TarvixResultText(const TarvixResult& result);

// Reads the header file and sets up the data space over the data file (`out`
// is emptied first and left empty on failure). Where the data file is
// missing, the user is asked for another (message box and file dialog). A
// signal's NoOfValues counts only the values that lie within their record
// and within the data file; one left without any gets Ignore 1.
TarvixResult ParseTarvixHeaderFile(const std::string& path, TarvixImport& out);
// The validity check: the head reads, C fits the file and the first record is
// a channel record. Asks nothing.
bool IsTarvixHeaderFile(const std::string& path);

// The header path with the extension ".dta".
std::string MakeDataFilePath(const std::string& headerPath);

// Host value type of a type code, none (0) outside 1 to 15.
int32_t TarvixDTyp(uint32_t code);
// The type code's conversion of a raw little-endian 64-bit value to a double;
// none for the codes without one (0, 14 and above).
std::optional<double> RawToDouble(uint64_t raw, uint32_t code);

}  // namespace brevan

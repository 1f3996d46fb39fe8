// Import of a FILMOR file: one signal per column of every channel group with
// records, each signal's samples in a buffer of its own, laid out in a data
// space of 4096-byte blocks (a signal starts at block Block0 and holds
// NoOfValues values of Demux bytes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/filmor/filmor_document.h"
#include "smallimports/support/data_space.h"
#include "smallimports/support/records.h"
#include "smallimports/support/shortfall.h"

namespace filmor {

inline constexpr int32_t kBlockSize = 4096;
inline constexpr char kDefaultComment[] = "FILMOR imported file";
inline constexpr char kTimeUnit[] = "sec";
inline constexpr size_t kMaxCommentChars = 254;
inline constexpr size_t kMaxNameChars = 254;
inline constexpr size_t kMaxUnitChars = 38;

struct FilmorSignal : smallimports::SignalRecordT<smallimports::FilmorWidths> {
  int32_t valueSize = 0;  // bytes of a stored value
  int32_t stride = 0;     // the column's width in a record
  std::vector<uint8_t> samples;  // NoOfValues values of valueSize bytes
  int32_t storedValues = 0;
  uint64_t rangeStart = 0;  // bytes of the data space the samples occupy
  uint64_t rangeEnd = 0;
};

// What an import leaves for the file-import object.
struct FilmorImport {
  std::string name;     // file name without folder and extension
  std::string comment;
  smallimports::RecordList<FilmorSignal> signals;
  int32_t blockSize = 0;
  uint32_t dataSize = 0;
  int64_t fileDate = 0;
  // Signals with fewer values than their group states, and columns left out
  // (a type without a conversion, or narrower than its values).
  smallimports::Shortfall shortfall;
};

enum class FilmorStatus {
  Ok,
  NoData,              // no group has records
  DataSpaceTooLarge,   // 4 GiB or more
  OutOfMemory,
};

struct FilmorResult {
  FilmorStatus status = FilmorStatus::Ok;
  DocumentResult document;  // how far the document was read; groups before a fault are used
};
std::string FilmorResultText(const FilmorResult& result);

// Reads the file into `out` (which it empties first); no message is shown. A
// column of a type without a conversion, or narrower than its values, makes
// no signal; a group's signals hold the records its data hold, however many
// it states. The shortfall names both.
FilmorResult ReadFilmorFile(const std::string& path, FilmorImport& out);
// As ReadFilmorFile; a failure is shown in a box ("File <path> has no data!"
// where no group has records) and leaves `out` empty. True on success, when a
// box names the shortfall's signals, if any.
bool ImportFilmorFile(const std::string& path, FilmorImport& out);

// Copies the bytes of every signal whose samples lie in the request; the
// position moves by the request cut to the data space, also over the padding
// after a signal's last value, which is left as it is.
smallimports::DataSpaceRead ReadFilmorDataSpace(const FilmorImport& data, uint32_t position, uint8_t* buffer, uint32_t bytes);

}  // namespace filmor

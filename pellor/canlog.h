// The import of a CAN-frame log stored in MDF.
//
// Such a log is one data group with one channel group of 15 channels: type,
// can, id, dir, rtr, dlc, msg[0] .. msg[7] and msgTime. Its frames are not
// imported channel by channel: the import reads every frame into a frame
// table, chooses CAN databases (DBC files) per CAN channel, makes one signal
// per database signal of each (CAN channel, id) pair that occurs plus one
// time signal per pair, decodes every frame into those signals' values in
// memory and leaves the result in the file-import object, which then serves
// the host from memory.
//
// Where the databases come from depends on the user text: "", "MDF2" and
// "ImportCAN" show the database dialog, "ZSP" takes the default settings
// file without a dialog, and any other text is the path of a settings file.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mdf/datatype.h"
#include "pellor/dialogs/can_dlg.h"
#include "pellor/records.h"

namespace winport {
class File;
}
namespace mdf {
class CDGBlock;
}

namespace pellor {

class FileImport;
class CDbBase;
struct CanSignalOptions;
class CanMsg;
class CanSig;
struct CanMuxRange;  // pellor/candb/candb.h

// The settings file in the folder of temporary files.
inline constexpr const char* kCanSettingsFileName = "MDFCANImport.INI";
// Texts the import reports (Windows-1252).
inline constexpr const char* kCanNoSignals = "Keine CAN-Signale gefunden!";
inline constexpr const char* kCanOutOfMemory = "Zu wenig Speicher!";
inline constexpr const char* kCanDatabaseFaulty = "CAN-DB %s fehlerhaft";

// Imports the CAN-frame log whose file the import object's file model has
// open, reading its records from `file` (from a stream of its own when null).
// False when it fails; the reason was reported (a message box, or ERRNO and
// ERRMSG with the user text "ZSP"), except that a cancelled dialog is no error.
bool ImportCanLog(FileImport& import, winport::File* file, const std::string& user);

// The default settings file: MDFCANImport.INI in the folder named by TEMP,
// TMP or TMPDIR, else by the host variable WORKDIR, else in /tmp.
std::string CanSettingsPath();

// A frame id as the import matches it: an id above 0x7FF is an extended id and
// carries bit 31, whether or not the log or the database wrote it.
constexpr int32_t CanonicalCanId(int32_t id) {
  const uint32_t u = static_cast<uint32_t>(id);
  return static_cast<int32_t>((u & 0x7FFFFFFFu) > 0x7FFu ? u | 0x80000000u : u);
}

// A name from a pattern: each key between '<' and '>' (any case) is replaced:
// "ID" by the message id in decimal, "IDh" in lower-case hexadecimal (both
// unsigned, an extended id with bit 31), "CAN" by the CAN channel, "NAME" by
// the signal's name, "MSG" by the message's name, "SENDER" by its
// transmitter. An unknown key is dropped, as is a '<' without a '>'. An empty
// pattern gives the signal's name.
std::string FormatCanSignalName(std::string_view pattern, const CanSig& signal, const CanMsg& message, int32_t channel);

// The raw value codec's flag word of a signal of at most 32 bits, or of a
// float of 32 or 64 bits on a byte boundary: the codec reads it from the
// signal's first data byte (StartBit() / 8) on.
DWORD MakeTypeFlags(const CanSig& signal);

// Why a signal cannot be decoded from a frame.
enum class CanFieldFault {
  kNone,
  kOutsideFrame,  // its bits do not lie within the 8 data bytes
  kBadFloat,      // a float whose length is not 32 or 64, or that does not start on a byte boundary
};
CanFieldFault CheckCanField(const CanSig& signal);

// Reads a signal's raw value from a frame's 8 data bytes: through the raw
// value codec where it has a form for the signal, else (integers of 33 to 64
// bits) as a 64-bit field. Made once per signal; Read does no test of the
// signal's layout, and reads nothing past the 8 bytes (the codec takes the
// bytes past them as zero).
class CanFieldReader {
 public:
  static constexpr size_t kFrameBytes = 8;

  CanFieldReader() = default;
  // The signal must pass CheckCanField.
  explicit CanFieldReader(const CanSig& signal);

  double Read(const uint8_t* data) const {
    const std::span<const BYTE> bytes(data + m_firstByte, kFrameBytes - m_firstByte);
    switch (m_kind) {
      case Kind::kInteger: {
        const LONG v = m_integer(bytes, m_flags);
        return m_signed ? static_cast<double>(v) : static_cast<double>(static_cast<DWORD>(v));
      }
      case Kind::kFloat:
        return m_float(bytes, m_flags);
      case Kind::kWide:
        break;
    }
    uint64_t word = 0;
    for (size_t i = 0; i < kFrameBytes; ++i) word |= uint64_t{data[i]} << (8 * (m_motorola ? 7 - i : i));
    return mdf::IntegerFieldToDouble(word, m_shift, m_length, m_signed);
  }

 private:
  // Integers of up to 32 bits through the codec's integer operation, floats
  // through its double operation, wider integers as a 64-bit word.
  enum class Kind { kInteger, kFloat, kWide };
  Kind m_kind = Kind::kWide;
  mdf::GetIntegerOp m_integer = nullptr;
  mdf::GetDoubleOp m_float = nullptr;
  DWORD m_flags = 0;
  uint32_t m_firstByte = 0;
  bool m_signed = false;
  // The 64-bit form: the frame's bytes as one word (Intel: byte 0 lowest;
  // Motorola: byte 0 highest) and the field's place in it.
  bool m_motorola = false;
  UINT m_shift = 0;
  UINT m_length = 0;
};

// What a time signal's values say about its axis.
struct CanTimeAxis {
  double xMin = 0, xMax = 0;
  double minDelta = 0, maxDelta = 0;
  bool uniDir = true;
  bool equidistant = true;
};
// Makes a pair's frame times a time axis, in place: a step back (a timer that
// started again) continues from the time before it (t = previous + value, and
// later values keep that offset); a time equal to the one before becomes the
// next larger double. Equidistant while each step differs from the step
// before by at most 1 % of it.
CanTimeAxis StraightenCanTimes(std::span<double> times);

// The smallest start of time of the signals with values (time signals'
// YMin, the XMin of signals without an X signal), rounded to 6 decimals;
// kNoTimeBase when no signal has values.
inline constexpr double kNoTimeBase = 1e308;
double TimeBase(const SignalList& signals);
// Subtracts the time base from every signal's time fields (MDF_RESETTIME 1).
void ResetCanTimes(SignalList& signals);

// The data space: the signal gets ceil(NoOfValues x Demux / 1024) blocks from
// the block counter on while the data space stays below 4 GB; otherwise it is
// hidden and gets none (false, warning flag 0x04).
bool ReserveDataSpace(FileImport& import, SignalRecord& record);

// The raw values of a multiplexor for which a multiplexed signal is present.
// A multiplexor that is itself absent from a frame reads as NaN there, which
// no range holds.
struct MuxCondition {
  MuxCondition() = default;
  explicit MuxCondition(const std::vector<CanMuxRange>& ranges);
  bool Holds(double raw) const {
    if (raw >= lo && raw <= hi) return true;
    if (more.empty()) return false;
    // The last range that begins at or below the value.
    const auto above = std::upper_bound(more.begin(), more.end(), raw,
                                        [](double v, const std::pair<double, double>& r) { return v < r.first; });
    return above != more.begin() && raw <= std::prev(above)->second;
  }
  // The ranges merged and in order: the first, and the others.
  double lo = 0, hi = 0;
  std::vector<std::pair<double, double>> more;
};

// The frames of a pair decoded at a time where a pair has at most
// `multiplexors` multiplexors: at least 1, and no more than keep the raw
// values of all those multiplexors for a slice within a fixed bound.
uint32_t MuxSliceFrames(size_t multiplexors);

// A signal's values as the decoding writes them.
struct CanValueSlot {
  CanFieldReader reader;
  uint8_t* values = nullptr;  // the signal's values in memory
  bool wide = false;          // doubles, else floats
  // Multiplexed signals: their record's range, their multiplexor (its index
  // among the pair's multiplexors) and its values that select them.
  SignalRecord* record = nullptr;
  uint32_t mux = 0;
  MuxCondition condition{};
  bool matched = false;  // a frame in which it is present came
};

// One CAN-log import, step by step (ImportCanLog runs them in order).
class CanLogImport {
 public:
  // A frame's data bytes.
  using FrameData = std::array<uint8_t, 8>;
  // One logged frame.
  struct Frame {
    double time = 0;  // seconds
    int32_t channel = 0;
    int32_t id = 0;  // CanonicalCanId of the logged id
    int32_t dlc = 0;
    uint32_t pair = 0;  // its (channel, id) pair; kNoPair for a channel outside 0-99
    FrameData data{};
  };
  static constexpr uint32_t kNoPair = UINT32_MAX;
  // Records read and decoded at a time.
  static constexpr uint32_t kChunkRecords = 262144;
  // Each (CAN channel, id) that occurs, in order of its first frame.
  struct Pair {
    int32_t channel = 0;
    int32_t id = 0;
    uint32_t frames = 0;
  };

  CanLogImport(FileImport& import, std::string user);
  ~CanLogImport();
  CanLogImport(const CanLogImport&) = delete;
  CanLogImport& operator=(const CanLogImport&) = delete;

  // Reads every frame of the log's data group from `file` into the frame
  // table and counts the frames per pair. False when the log's group is not
  // one or the memory is short (reported).
  bool ReadCanFrames(winport::File& file);
  // The DBC paths per CAN channel with frames: from the dialog, the default
  // settings file or the settings file the user text names. False when the
  // dialog was cancelled.
  bool ChooseDatabases();
  // Reads the chosen databases; false (reported) at the first that does not read.
  bool ReadDatabases();
  // The signals of every pair whose id a database of its channel knows, in
  // the import's signal list, sorted by channel, id and kind, with their data
  // space. False (reported) when no signal came out.
  bool GenerateCanSignals();
  // Takes the memory of the values; false (reported) when there is not enough.
  bool AllocateValues();
  // Decodes every frame into the signals' values and makes the time axes.
  // The frames of each pair are first put side by side; then each pair is
  // decoded in slices that stay in the cache, signal by signal.
  void DecodeCanValues();
  // Leaves the import in memory mode, reporting the warnings collected.
  void Finish();

  // The frames read (the frame table is freed while the values are decoded).
  uint64_t FrameCount() const { return m_frameCount; }

 private:
  // A signal the import made, until its values are decoded.
  struct Signal {
    enum Kind { kTime, kPlain, kMultiplexor };  // the order within a pair
    std::unique_ptr<SignalRecord> owned;        // until the import's list takes it
    SignalRecord* record = nullptr;
    uint32_t pair = 0;
    const CanSig* sig = nullptr;  // null for the time signal
    Kind kind = kPlain;
    bool hasBlocks = false;
    // A multiplexed signal's multiplexor, the values of it that select the
    // signal, and the multiplexors above the signal (MuxLink).
    const CanSig* multiplexor = nullptr;
    MuxCondition condition{};
    int32_t depth = 0;
  };
  // A multiplexor of a pair, as the decoding reads it from each frame.
  struct MuxSwitch {
    CanFieldReader reader;
    int32_t parent = -1;      // its own multiplexor among the pair's; -1: present in every frame
    MuxCondition condition;   // the values of its parent that select it
  };
  // What one pair's frames are decoded into.
  struct Plan {
    SignalRecord* time = nullptr;
    double* times = nullptr;    // null when the pair has no values
    uint32_t next = 0;          // the slot of the pair's next frame
    bool equidistant = false;   // its time axis
    std::vector<MuxSwitch> switches;   // each after the one that selects it
    std::vector<CanValueSlot> plain;   // decoded from every frame
    std::vector<CanValueSlot> linked;  // decoded from the frames in which they are present
  };
  void SetDatabasePaths(int channel, std::vector<std::string> paths);
  // Reports an error: a message box, or ERRNO "1" and ERRMSG for "ZSP".
  void ReportError(const std::string& text) const;
  void CountChunk(size_t first, size_t count);
  void GenerateChannelSignals(int32_t channel, const CanSignalOptions& options, int32_t& timeSignals);
  const CanMsg* FindMessage(int32_t channel, int32_t id) const;
  void SortCanSignals();
  void BuildPlans();
  void DecodePair(Plan& plan, const FrameData* data, uint32_t first, uint32_t count);

  FileImport& m_import;
  std::string m_user;
  std::vector<Frame> m_frames;
  uint64_t m_frameCount = 0;
  std::vector<Pair> m_pairs;
  // (uint64 channel << 32 | uint32 id) -> its pair.
  std::unordered_map<uint64_t, uint32_t> m_pairOfKey;
  std::array<int32_t, kCanChannels> m_idCounts{};
  uint64_t m_ignoredFrames = 0;
  // The DBC paths of each channel, and the databases read from them in that order.
  std::array<std::vector<std::string>, kCanChannels> m_paths;
  std::vector<std::unique_ptr<CDbBase>> m_databases;
  std::vector<Signal> m_signals;
  std::vector<Plan> m_plans;  // one per pair
  // The data bytes of the frames that are decoded, those of pair p from m_pairBegin[p] on.
  std::vector<FrameData> m_frameData;
  std::vector<uint64_t> m_pairBegin;
  // The raw values of a pair's multiplexors in a slice of frames, multiplexor
  // by multiplexor, and the frames of a slice (MuxSliceFrames).
  std::vector<double> m_muxValues;
  uint32_t m_sliceFrames = 1;
};

}  // namespace pellor

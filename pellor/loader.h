// The data-group loader: settles the time axis of one data group and the
// value ranges of its channels.
//
// The first channel of a group's channel chain is its time channel; every
// later one is a data channel. The loader first asks what the file already
// knows: the time channel's range fields with this program's range-valid
// marker, and the group's record in the program block's time-information
// cache. Only when they do not settle the group does it read the records,
// in chunks of at most 16 MiB (or the free memory), with two worker threads:
// one reads the next chunk while the other decodes every data channel of the
// current chunk in one pass and reduces their ranges on the fly, and the
// calling thread scans the time channel. With the option to write ranges it
// stores what it measured: the channels' ranges with the marker into their
// blocks, and the group's time information into the cache, so that the next
// import of the file need not read the records again.
//
// The range-valid marker of a channel block: 0xAAB0 (older writers of the
// same kind: 0xAAA0) plus, for a time channel, 1 time information complete,
// 2 equidistant, 4 time errors, 8 NoValue present; data channels carry 0xAAB0
// or 0xAAB8 (with a NoValue).
//
// Every result is the same whatever the chunk size.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "mdf/mdf.h"
#include "mdf/value_array.h"
#include "pellor/time_repair.h"

namespace winport {
class File;
}

namespace pellor {

class FileImport;
struct SignalRecord;
struct ProgressRecord;

// The records of one group in memory, kept across the groups of an import
// and reused by the min/max pass of a channel (FindMinMax).
class GroupBuffer {
 public:
  // Room for at least `bytes`. A smaller buffer is freed first (and holds no
  // group then); a large enough one is kept as it is. False, with no buffer,
  // when the memory cannot be had.
  bool Ensure(uint64_t bytes);
  void Free();
  uint8_t* Data() { return m_bytes.data(); }
  uint64_t Size() const { return m_bytes.size(); }
  // Records the group whose records lie, all of them, from the buffer's start
  // (null: none), and how many there are.
  void Hold(const mdf::CDGBlock* group, uint32_t records);
  // Whether all records of the group lie in the buffer.
  bool Holds(const mdf::CDGBlock* group) const { return group && m_held == group; }
  uint32_t HeldRecords() const { return m_heldRecords; }

 private:
  mdf::ValueArray<uint8_t> m_bytes;
  const mdf::CDGBlock* m_held = nullptr;
  uint32_t m_heldRecords = 0;
};

// The options the loader follows (from the import's parameter block) and
// what tests inject.
struct LoaderSettings {
  bool writeRange = false;   // MDF_WRITERANGE: store ranges and time information in the file
  int32_t rangeFlags = 0;    // bit 0 (MDF_OVERWRITERANGE): ignore stored ranges; bit 1 nice ranges
  bool fillRange = false;    // MDF_FILLRANGE
  bool compose = false;      // MDF_COMPOSE_DATA
  EquidistanceRule rule;     // MDF_XMAXFACTOR, MDF_XMINFACTOR, MDF_RESETTIME
  uint64_t memoryLimit = 0;  // MDF_MEMORYLIMIT, bytes
  // Records per chunk at most (the loader and the min/max pass); 0: as many
  // as min(free physical memory, 16 MiB) hold.
  uint32_t chunkRecords = 0;
  // Allocations that fail on purpose (tests): a mask of the kAllocation bits.
  uint32_t failAllocations = 0;
};
inline constexpr uint32_t kAllocTimeValues = 1;   // the time values of a whole group
inline constexpr uint32_t kAllocChunkTimes = 2;   // the time values of one chunk; the min/max pass's values
inline constexpr uint32_t kAllocGroupBuffer = 4;
inline constexpr uint32_t kAllocValueCache = 8;

// Result flags of ReadDataGroup.
inline constexpr int kGroupEquidistant = 1;
inline constexpr int kGroupTimeErrors = 2;

// Reads n bytes into `buffer`: up to 1000 bytes at once, more in 50 equal
// pieces and the rest; with a progress record, its signal line shows
// "Reading..." and the bar moves after each piece. Returns the bytes read.
uint64_t ReadBlock(winport::File& file, uint8_t* buffer, uint64_t n, ProgressRecord* progress);

// What the last ReadDataGroup did, for the trace and for tests.
struct LoadReport {
  bool readRecords = false;   // the records were read (not settled by the file)
  uint32_t records = 0;       // records read and decoded
  uint32_t chunks = 0;
  bool shortRead = false;     // fewer records came than the group and the file promised
  bool timeValuesHandedOver = false;
  bool descriptorStored = false;  // the group's time information is in the cache
  int writes = 0;             // channel blocks it tried to write back
  // Processor time of each thread while it worked, seconds: the read worker,
  // the process worker, and the calling thread (first read and time scan).
  double readSeconds = 0, processSeconds = 0, callerSeconds = 0;
};

class DataGroupLoader {
 public:
  // One loader serves the groups of one import of `mdf`, whose records it
  // reads through `file` (positioned by the loader; it must let others write
  // the file, for the write-back). The settings come from the import's
  // parameter block; the value caches it makes count against the import's
  // cached bytes.
  DataGroupLoader(FileImport& import, mdf::CMdf& mdf, winport::File& file);
  ~DataGroupLoader();
  DataGroupLoader(const DataGroupLoader&) = delete;
  DataGroupLoader& operator=(const DataGroupLoader&) = delete;

  LoaderSettings& Settings() { return m_settings; }
  GroupBuffer& Buffer() { return m_buffer; }
  // Set once a group had an old marker or the file no valid time
  // information: from then on every group of the import is read.
  bool ForcesReading() const { return m_forceReading; }
  const LoadReport& LastReport() const { return m_report; }
  // Receives the trace lines (on the calling thread); none by default.
  void SetTrace(std::function<void(const std::string&)> trace) { m_trace = std::move(trace); }

  // Settles the time axis of `group` (its first channel group) and the
  // ranges of its channels. `time` is the time channel's signal record: its
  // NoOfValues is read, its NoValue cleared when the channel holds none, and
  // its value cache receives the raw time stamps (DTyp 13) where they were
  // read whole and time errors were found or the memory limit allows.
  // `record` receives the group's time information (the 80-byte record);
  // `errorCount` and `firstError` the time errors found by reading (0 when
  // not read). `caches`: data signals of the group whose value caches are
  // filled in the same pass over the records, as Read would make them, while
  // the memory limit allows (not for files of the KESTRAVO writer).
  // Returns kGroupEquidistant | kGroupTimeErrors as found, 0 when the group
  // could not be loaded (no memory, no worker threads).
  int ReadDataGroup(mdf::CDGBlock& group, SignalRecord& time, int groupNumber, mdf::TimeInfoRecord& record,
                    ProgressRecord* progress, int32_t& errorCount, uint32_t& firstError,
                    std::span<SignalRecord* const> caches = {});

  // A group without a time channel to read, or whose time channel
  // `leftOut` is not imported: settles the ranges of its other channels as
  // ReadDataGroup settles those of data channels, reading the records unless
  // every one of them carries this program's marker (and stored ranges count).
  // False when the group could not be loaded.
  bool MeasureGroup(mdf::CDGBlock& group, const mdf::CCNBlock* leftOut, ProgressRecord* progress,
                    std::span<SignalRecord* const> caches = {});

  // Sets a signal's range from its channel's values (raw, reduced with the
  // signal's NoValue left out): YMin/YMax (converted), YDataMin/YDataMax, and
  // with MDF_WRITERANGE the channel's range fields in the file. Decodes from
  // the group buffer when it holds the group or the group fits a chunk,
  // else chunk by chunk from the file. The values become the signal's value
  // cache when they are what Read delivers and the memory allows.
  // `time`: the group's time channel (files of the KESTRAVO writer leave out
  // values whose time stamp is NoValue).
  void FindMinMax(mdf::CCNBlock& channel, SignalRecord& signal, mdf::CCNBlock* time, mdf::CDGBlock& group,
                  ProgressRecord* progress);

  // The records of a group: its count, cut to the whole records of its data
  // area in the file as it was opened.
  uint32_t RecordsOf(const mdf::CDGBlock& group) const;

  // The key of a group's record in the time-information cache: its position
  // among the file's channel groups with records (-1 for none).
  int32_t TimeInfoKey(const mdf::CCGBlock* cg) const;
  // Whether more than one channel of the file links this conversion block.
  bool IsSharedConversion(const mdf::CCNBlock& cn) const;

 private:
  struct Scan;
  struct Outcome;

  void Trace(const std::string& line) const {
    if (m_trace) m_trace(line);
  }
  bool Fails(uint32_t allocation) const { return (m_settings.failAllocations & allocation) != 0; }
  uint32_t ChunkRecords(uint32_t records, uint32_t recordLength) const;
  // Step C and D: reads the records and settles the ranges. False when the
  // group could not be loaded.
  // `tcn` and `time`: the time channel and its signal, or null for a group
  // read for the ranges of `channels` alone.
  bool ReadRecords(mdf::CDGBlock& group, mdf::CCNBlock* tcn, SignalRecord* time, std::vector<mdf::CCNBlock*> channels,
                   ProgressRecord* progress, std::span<SignalRecord* const> caches, Outcome& out);
  // Stores a channel's range fields into the file; false when refused.
  bool WriteRange(mdf::CCNBlock& cn, bool withConversion);
  // "Read unvollständig!", as a box or a warning.
  void ShowShortRead() const;

  FileImport& m_import;
  mdf::CMdf& m_mdf;
  winport::File& m_file;
  LoaderSettings m_settings;
  GroupBuffer m_buffer;
  bool m_forceReading = false;
  LoadReport m_report;
  std::function<void(const std::string&)> m_trace;
  std::map<const mdf::CCGBlock*, int32_t> m_keys;
  std::set<uint32_t> m_sharedConversions;  // links of conversion blocks more than one channel uses
};

}  // namespace pellor

// The state and the operations of one file-import object: what an import
// builds (signals, scalars, comments, the flat data space) and how the host
// reads it back (Open, Seek, Read, ReadEx, Close). CZPFileImport is its COM
// face; the import driver fills it.
//
// The flat data space is 1024-byte blocks: each signal owns
// ceil(NoOfValues x Demux / 1024) blocks from block Block0 on, its values
// packed from byte Block0 x 1024, Demux bytes each in the signal's DTyp.
// Read serves a request from the signal whose bytes hold the position, cut
// at that signal's end: from the composed values of the file model, from the
// signal's value cache (made on its first read, within the memory limit), or
// straight from the file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "pellor/parameter_block.h"
#include "pellor/records.h"
#include "platform/win32/file.h"
#include "platform/win32/types.h"

namespace mdf {
class CMdf;
}

namespace pellor {

class FileImport;

// What ImportFile runs: 1 when the file was imported, 0 when not.
using ImportDriver = int (*)(FileImport& import, const std::string& path, const std::string& user);
// The MDF import driver (driver.h).
int ImportMDF(FileImport& import, const std::string& path, const std::string& user);
// Replaces the driver that ImportFile runs (tests); returns the one before. Null restores ImportMDF.
ImportDriver SetImportDriver(ImportDriver driver);

// The module's own path; the options file lies beside it. Set once when the module starts.
void SetModuleFilePath(const std::string& path);
const std::string& ModuleFilePath();

// Finds the signal whose bytes hold a position of the flat data space: the
// first in list order. Built once per import; a binary search while the
// signals' ranges do not overlap, which is how imports lay them out.
class PositionIndex {
 public:
  void Build(const SignalList& signals);
  SignalRecord* Find(uint64_t position) const;

 private:
  struct Range {
    uint64_t start, end;
    SignalRecord* record;
  };
  std::vector<Range> ranges_;  // by start; in list order when they overlap
  bool disjoint_ = true;
};

class FileImport {
 public:
  static constexpr int32_t kVersion = 1144;  // 4.120 as major x 256 + build
  static constexpr int32_t kBlockSize = 1024;
  static constexpr int32_t kDefaultHostVersion = 1536;
  // Comment slots 1 to 256; the host reaches 1 to 255.
  static constexpr int kCommentSlots = 256;
  static constexpr int kHostCommentSlots = 255;
  static constexpr int kNoOfComments = 256;
  // Base names are kept to this many characters.
  static constexpr size_t kMaxBaseName = 253;

  FileImport();
  ~FileImport();
  FileImport(const FileImport&) = delete;
  FileImport& operator=(const FileImport&) = delete;

  // --- the contract ---
  // Releases an import held, reads the options (unless the host put its
  // block) and runs the driver. E_FAIL, and nothing kept, when it fails or throws.
  HRESULT ImportFile(const std::string& path, const std::string& user);
  void ReleaseFile();
  // E_FAIL without an import or when the file cannot be opened.
  HRESULT Open();
  // Nothing at open count 0.
  void Close();
  void Seek(int32_t position, int32_t origin);
  // False, the position unchanged, when the file no longer holds values of
  // the signal read (it was cut since the import).
  bool Read(uint8_t* buffer, uint32_t bytes);
  bool ReadEx(uint8_t* buffer, uint32_t bytes, uint8_t* timeBuffer, uint32_t timeBytes);
  // 1 when the first 8 bytes of the file are "MDF     " in any case.
  int32_t IsValid(const std::string& path) const;
  // Comment slot texts for the host; none for an empty or unused slot.
  std::optional<std::string> FileComment(int32_t index) const;
  std::optional<std::string> CommentName(int32_t index) const;
  // The host's block at `host`: E_POINTER for null, E_INVALIDARG for a negative size word.
  HRESULT PutParameters(const uint8_t* host);
  void SetHostVersion(int32_t version);
  int32_t CanDoReadEx() const { return m_inMemory || m_compose ? 0 : 1; }
  int32_t ParSize() const { return m_params.Int(ParameterBlock::kSizeWord); }
  uint8_t* ParameterAddress() { return m_params.Data(); }
  // Whether an import is held.
  bool HasImport() const { return m_mdf != nullptr || m_inMemory; }
  // The lists, for signal and scalar objects: empty (and new) after ReleaseFile.
  std::weak_ptr<ImportLists> ListsRef() const { return m_lists; }
  ImportLists& Lists() { return *m_lists; }

  // --- support of the import driver ---
  // A comment of at most 31 characters (trailing blanks cut) in slot 1 to 256.
  void MakeComment(const std::string& value, int slot, const std::string& name);
  // Sets a slot's value text as it stands (text-block comments are longer than MakeComment's).
  void SetComment(int slot, const std::string& value, const std::string& name);
  // Whether the name begins with one of the ignore names (case-sensitive).
  bool IsIgnoredName(const std::string& name) const;
  // Whether the name begins with one of the load names.
  bool IsSignalToLoad(const std::string& name) const;
  void PackNameList();
  void UnpackNameList();
  // Frees a signal's value cache and takes its bytes off the cached bytes.
  void FreeCache(SignalRecord& record);
  // Builds the position index again after the signals' ranges changed.
  void RangesChanged() { m_indexValid = false; }
  // Makes every value cache allocation fail (tests): Read then delivers from the file.
  void FailCacheAllocations(bool fail) { m_failCacheAllocations = fail; }

  // --- the object's fields (the import driver fills them) ---
  ParameterBlock m_params;
  winport::File m_lockFile;
  bool m_parametersSet = false;
  std::unique_ptr<mdf::CMdf> m_mdf;
  int32_t m_hostVersion = kDefaultHostVersion;
  std::vector<std::string> m_ignoreList;
  std::vector<std::string> m_loadList;  // kept across the imports of one object
  uint64_t m_largestGroupSize = 0, m_groupBufferSize = 0;
  uint64_t m_cachedBytes = 0;  // bytes of the value caches made by Read
  struct CommentSlot {
    std::string value;  // empty: unused
    std::string name;
  };
  std::array<CommentSlot, kCommentSlots + 1> m_comments;  // slot 0 unused
  int32_t m_commentCount = 0;
  std::string m_path;
  int32_t m_nSignals = 0, m_nScalars = 0;
  int32_t m_openCount = 0;
  uint64_t m_position = 0;
  uint64_t m_dataSize = 0;
  int32_t m_fileDate = 0;
  double m_startFraction = 0;
  std::vector<uint8_t> m_memoryValues;  // every value of a CAN-log import
  uint32_t m_blockCounter = 0;
  std::string m_name;  // the file's base name
  bool m_inMemory = false;
  bool m_kestravo = false;
  bool m_compose = false;

 private:
  bool Composed() const { return m_kestravo && m_compose; }
  // The signal that holds the position, and the request cut to it; null outside every signal.
  SignalRecord* Locate(uint64_t& bytes);
  void ReadInMemory(uint8_t* buffer, uint64_t bytes);
  void ReadComposed(const SignalRecord& record, uint64_t offset, uint64_t bytes, uint8_t* buffer) const;
  // Bytes [offset, offset + bytes) of a signal's values, from its cache or the
  // file; false when the file no longer holds them all (it was cut since the import).
  bool ReadSignalBytes(SignalRecord& record, uint64_t offset, uint64_t bytes, uint8_t* buffer);
  // Whether the memory limit allows a cache for the signal.
  bool AllowsCache(const SignalRecord& record) const;
  bool MakeCache(SignalRecord& record);
  // Fills, in one pass over the group's records, the cache of `first` and of
  // the group's other signals without one, as far as the memory limit
  // allows. False, and nothing made, when `first` gets none or the read
  // comes short.
  bool FillGroupCaches(SignalRecord& first);
  // Samples [first, first + count) in the signal's DTyp, from the file, NoValues
  // marked. Returns the samples read; those after them are not written.
  uint32_t ReadSamples(SignalRecord& record, uint32_t first, uint32_t count, uint8_t* out);
  // Time values of samples [first, first + count) of a time signal as the host takes its values
  // (each sample x YFactor + YOffset, so a moved time base moves them too), as
  // doubles; false when the file no longer holds them all.
  bool ReadTimes(SignalRecord& time, uint32_t first, uint32_t count, uint8_t* out);
  // In a KESTRAVO file: writes a signal's NoValue at the records whose time was invalid.
  // `physical`: the values are converted, so the NoValue is written as it is, not as its raw equivalent.
  void MarkNoValues(const SignalRecord& record, uint32_t first, uint32_t count, bool physical, uint8_t* values);

  std::shared_ptr<ImportLists> m_lists;
  PositionIndex m_index;
  bool m_indexValid = false;
  // Time channels whose list of invalid-time records this import has made.
  std::unordered_set<const void*> m_scannedTimeChannels;
  // Bounded buffers of file reads, reused.
  std::vector<double> m_scratch;      // decoded values (ReadSamples)
  std::vector<double> m_timeScratch;  // time values (ReadTimes)
  std::vector<uint8_t> m_sampleBytes;  // samples around a window that is read from the file
  bool m_failCacheAllocations = false;
};

}  // namespace pellor

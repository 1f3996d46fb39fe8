// The MDF file object: opens an MDF 3.x file into its tree of blocks and keeps
// what later operations need to open it again by its path.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <string>

#include "mdf/blocks.h"
#include "platform/win32/file.h"

namespace mdf {

class CPrgBlock;
class CDataComposition;

// The two programs the model serves differ in a few details of what they show and parse.
enum class MdfProfile {
  Import,  // the import module
  Viewer,  // the desktop viewer
};

// The 80-byte time-information record of the program block.
struct TimeInfoRecord {
  static constexpr size_t kSize = 80;
  uint8_t bytes[kSize] = {};

  static constexpr size_t kKey = 0, kMin = 4, kMax = 12, kFac = 20, kOfs = 28, kMinD = 36, kMaxD = 44,
                          kFlags = 52, kUnit = 56, kUnitSize = 24;
  // Flags: the time channel is equidistant; it has time errors.
  static constexpr int32_t kEquidistant = 1, kTimeErrors = 2;

  int32_t Key() const { return LoadI32(bytes); }
  void SetKey(int32_t k) { StoreU32(bytes, static_cast<uint32_t>(k)); }
  double Min() const { return LoadF64(bytes + kMin); }
  double Max() const { return LoadF64(bytes + kMax); }
  double Fac() const { return LoadF64(bytes + kFac); }
  double Ofs() const { return LoadF64(bytes + kOfs); }
  double MinD() const { return LoadF64(bytes + kMinD); }
  double MaxD() const { return LoadF64(bytes + kMaxD); }
  int32_t Flags() const { return LoadI32(bytes + kFlags); }
  // The unit text up to its NUL (at most 23 characters).
  std::string Unit() const { return FixedText(bytes + kUnit, kUnitSize - 1); }
  void SetMin(double v) { StoreF64(bytes + kMin, v); }
  void SetMax(double v) { StoreF64(bytes + kMax, v); }
  void SetFac(double v) { StoreF64(bytes + kFac, v); }
  void SetOfs(double v) { StoreF64(bytes + kOfs, v); }
  void SetMinD(double v) { StoreF64(bytes + kMinD, v); }
  void SetMaxD(double v) { StoreF64(bytes + kMaxD, v); }
  void SetFlags(int32_t f) { StoreU32(bytes + kFlags, static_cast<uint32_t>(f)); }
  // Keeps at most 23 characters, NUL-terminated.
  void SetUnit(const std::string& unit) {
    std::memset(bytes + kUnit, 0, kUnitSize);
    std::memcpy(bytes + kUnit, unit.data(), std::min(unit.size(), kUnitSize - 1));
  }
};

class CMdf : public CMdfBase {
 public:
  static constexpr uint16_t kViewerReaderVersion = 1098;  // reads as 4.74
  static constexpr int64_t kPrWritableLimit = 0x7FFFF000;

  explicit CMdf(MdfProfile profile = MdfProfile::Import);
  ~CMdf() override;

  // Opens the file and reads its block tree; 1 on success, 0 on failure.
  int Open(const std::string& path);
  // Creates a new file with an ID and an HD block; 1 on success, 0 on failure.
  int Create(const std::string& path, const std::string& programId, int version);
  void CloseFile();
  // Opens the file again by its path for reading (writers denied) so that a run
  // of record reads shares one stream; CloseFile ends it. False when it cannot be opened.
  bool OpenForReading();
  void Display(IListControl& list) override;

  // Time-information cache in the program block.
  int WriteTimeInfo(const TimeInfoRecord& record);
  int ReadTimeInfo(TimeInfoRecord& out, int32_t key);
  int CorrectTimeInfo(const TimeInfoRecord& record, int32_t key);
  int DeleteTimeInfo();
  void DeletePRBlock();

  void SetReaderVersion(uint16_t version) { m_readerVersion = version; }
  uint16_t GetReaderVersion() const { return m_readerVersion; }
  void SetShowMessages(bool show) { m_showMessages = show; }
  bool GetShowMessages() const { return m_showMessages; }
  void SetCompose(bool compose) { m_compose = compose; }
  bool GetCompose() const { return m_compose; }
  MdfProfile GetProfile() const { return m_profile; }

  CIDBlock* GetIDBlock() const { return m_pIDBlock.get(); }
  CHeaderBlock* GetHeaderBlock() const { return m_pHeaderBlock.get(); }
  CTextBlock* GetTextBlock() const { return m_pTextBlock.get(); }
  CPrgBlock* GetPrgBlock() const { return m_pPrgBlock.get(); }
  CDGBlock* GetFirstDG() const { return m_pFirstDG.get(); }
  CDataComposition* GetDataComposition() const { return m_pDataComposition.get(); }
  const std::string& GetPath() const { return m_path; }
  winport::File& GetFile() { return m_file; }
  bool IsOpen() const { return m_open; }
  // Size of the file while Open reads it.
  int64_t GetOpenFileSize() const { return m_fileSize; }
  bool IsTimeInfoValid() const { return m_timeInfoValid; }
  bool IsForeignPr() const { return m_foreignPr; }
  bool IsKestravo() const { return m_kestravo; }
  bool IsPrWritable() const { return m_prWritable; }
  // For an import that replaces the file's time information: the program
  // block may be rewritten, and the time information read at the open counts
  // as invalid.
  void AllowPrChange() { m_prWritable = true; }
  void InvalidateTimeInfo() { m_timeInfoValid = false; }
  int64_t GetPrPosition() const { return m_prPosition; }
  int64_t GetOldPrDataPosition() const { return m_oldPrDataPos; }
  int64_t GetOldPrDataSize() const { return m_oldPrDataSize; }

  // Why the last Open failed, for messages and logs; empty after a successful one.
  const std::string& GetLastError() const { return m_lastError; }

  // Structure checks used while the tree is read. A DG, CG or CN block is
  // claimed once: a chain that links back to a block already read, or into
  // one, is a damaged file. Returns false (and records the error) then.
  bool ClaimChainBlock(int64_t pos, int64_t length, const char* what);
  void SetStructureError(const std::string& text);
  // Counts the bytes of a text about to be read. Texts may be linked from many
  // places; a file whose texts add up to far more than the file itself is
  // damaged. Returns false (and records the error) past that budget.
  bool ChargeText(size_t bytes);
  bool HasStructureError() const { return !m_structureError.empty(); }
  // Notes where a block of the file's structure begins; a group's data area
  // ends at the first one behind its data link.
  void NoteBlockStart(int64_t pos) { m_blockStarts.insert(pos); }

  // Whether a data group holds fewer whole records in its data area than its
  // channel group counts. Nothing is written into such a file: what lies
  // behind its records could be read as records.
  bool HasShortDataArea() const { return m_dataAreaShort; }

 private:
  int FailOpen(const std::string& why);
  bool ReadProgramBlock();
  bool ReadDataGroups();
  bool ComposeChannels();
  // Sets each data group's data area and whether one of them is short.
  void SettleDataAreas();
  // The first record since the open creates the cache block; later ones extend it.
  bool CreateTimeInfoBlock(winport::File& file, const TimeInfoRecord& record);
  bool AppendTimeInfoRecord(winport::File& file, const TimeInfoRecord& record);

  MdfProfile m_profile;
  std::unique_ptr<CIDBlock> m_pIDBlock;
  std::unique_ptr<CHeaderBlock> m_pHeaderBlock;
  std::unique_ptr<CTextBlock> m_pTextBlock;
  std::unique_ptr<CPrgBlock> m_pPrgBlock;
  std::unique_ptr<CDGBlock> m_pFirstDG;
  std::unique_ptr<CDataComposition> m_pDataComposition;
  winport::File m_file;
  bool m_open = false;
  int64_t m_fileSize = 0;
  std::string m_path;
  bool m_timeInfoValid = false;
  bool m_foreignPr = false;
  bool m_kestravo = false;
  bool m_compose = false;
  bool m_showMessages = true;
  int64_t m_prPosition = 0;
  int64_t m_oldPrDataPos = 0;
  int64_t m_oldPrDataSize = 0;
  uint16_t m_readerVersion = 0;
  bool m_prWritable = false;
  int m_timeInfoRecordsWritten = 0;
  int64_t m_writtenPrPosition = 0;
  uint32_t m_writtenPrLength = 0;  // block length of the program block written since the open

  std::string m_lastError;
  std::string m_structureError;
  std::map<int64_t, int64_t> m_claimed;
  std::set<int64_t> m_blockStarts;
  bool m_dataAreaShort = false;
  uint64_t m_textBytes = 0;       // bytes of texts read by this open
  uint64_t m_textBudget = 0;  // start -> end of every DG, CG and CN block read
};

// The name without a trailing parenthesised suffix: "Speed (CAN1)" -> "Speed".
std::string StripParenSuffix(const std::string& name);

}  // namespace mdf

// The block classes of an MDF 3.x file: identification, header, text, data
// group, channel group, channel and channel extension. Each block keeps its
// fixed image as read (zeroed where the file had less) and reads its children.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mdf/bytes.h"
#include "mdf/list_control.h"

namespace winport {
class File;
}

namespace mdf {

class CMdf;
class CCCBlock;
class CDataBlock;
class CCNBlock;

using Link = uint32_t;

class CMdfBase {
 public:
  explicit CMdfBase(std::string className) : m_className(std::move(className)) {}
  virtual ~CMdfBase() = default;
  CMdfBase(const CMdfBase&) = delete;
  CMdfBase& operator=(const CMdfBase&) = delete;

  // Clears the list and writes the object's property rows.
  virtual void Display(IListControl& list) = 0;
  const std::string& GetClassName() const { return m_className; }

 protected:
  std::string m_className;
};

class CMdfBlock : public CMdfBase {
 public:
  using CMdfBase::CMdfBase;

  // Copies n bytes of a character field; the text ends at the first NUL or after n characters.
  virtual std::string GetFixedString(const uint8_t* field, size_t n) const { return FixedText(field, n); }
  // Zeroes the n bytes and copies the text's characters up to n (no terminator when it fills them).
  virtual void SetFixedString(uint8_t* field, const std::string& text, size_t n) const;

  CMdf* GetMdf() const { return m_pMdf; }
  void SetMdf(CMdf* mdf) { m_pMdf = mdf; }
  int64_t GetFilePos() const { return m_filePos; }
  void SetFilePos(int64_t pos) { m_filePos = pos; }
  uint32_t GetBlockLength() const { return m_blockLength; }
  int GetIndex() const { return m_index; }

 protected:
  // Writes a block head: the 2-character identifier and the block length.
  static void InitHead(uint8_t* image, const char* id, uint16_t length) {
    image[0] = static_cast<uint8_t>(id[0]);
    image[1] = static_cast<uint8_t>(id[1]);
    StoreU16(image + 2, length);
  }
  // Takes the file's current position as the block's position; false when unknown.
  bool TakePosition(winport::File& file);
  // Records damage of this block (its kind, e.g. "CN", and what is wrong with
  // it) as the owner's structure error, with the block's file position.
  // Returns false, for `return Damaged(...)`.
  bool Damaged(const char* kind, const std::string& what) const;
  // Reads the 4-byte head of a block of kind `ident` at the current position
  // (taken as the block's position) into `head` and checks it: the identifier,
  // a length of at least `minLength`, and a block that lies whole within the
  // file. A length below 4 counts as 4. `length` gets the length so counted.
  // False, with the damage recorded, when a check fails.
  bool ReadBlockHead(winport::File& file, const char* ident, uint8_t* head, uint32_t minLength,
                     uint32_t& length);
  // Whether the head holds the identifier of kind `ident`; records the damage when not.
  bool CheckIdentifier(const char* ident, const uint8_t* head) const;
  // ReadBlockHead, then the rest of the fixed image: min(length, fixedSize) - 4
  // bytes after the head. `image` (fixedSize bytes) is zeroed first.
  bool ReadBlockImage(winport::File& file, const char* ident, uint8_t* image, size_t fixedSize,
                      uint32_t minLength, uint32_t& length);
  // Size of the file being read (taken once per open where the owner reads it).
  int64_t FileSizeOf(winport::File& file) const;

  CMdf* m_pMdf = nullptr;
  int64_t m_filePos = 0;
  uint32_t m_blockLength = 0;
  int m_index = 0;
};

class CIDBlock : public CMdfBlock {
 public:
  static constexpr size_t kSize = 64;
  static constexpr size_t kFileId = 0, kFormatId = 8, kProgramId = 16, kByteOrder = 24,
                          kFloatFormat = 26, kVersion = 28;

  CIDBlock() : CMdfBlock("CIDBlock") {}
  // Reads the 64 bytes at the current position; true only for a file identifier "MDF     ".
  bool Read(winport::File& file);
  bool Write(winport::File& file);
  void Display(IListControl& list) override;

  std::string GetFileId() const { return GetFixedString(m_image + kFileId, 8); }
  std::string GetFormatId() const { return GetFixedString(m_image + kFormatId, 8); }
  std::string GetProgramId() const { return GetFixedString(m_image + kProgramId, 8); }
  uint16_t GetByteOrder() const { return LoadU16(m_image + kByteOrder); }
  uint16_t GetFloatFormat() const { return LoadU16(m_image + kFloatFormat); }
  uint16_t GetVersion() const { return LoadU16(m_image + kVersion); }
  uint8_t* Image() { return m_image; }
  const uint8_t* Image() const { return m_image; }

 private:
  uint8_t m_image[kSize] = {};
};

class CHeaderBlock : public CMdfBlock {
 public:
  static constexpr size_t kSize = 208;
  // The fields before the start time stamp, which older versions end with.
  static constexpr uint32_t kMinSize = 164;
  static constexpr size_t kFirstDg = 4, kFileComment = 8, kPrLink = 12, kDgCount = 16, kDate = 18,
                          kTime = 28, kAuthor = 36, kOrganization = 68, kProject = 100,
                          kSubject = 132, kTimeStamp = 164, kUtcOffset = 172, kTimeQuality = 174,
                          kTimerId = 176;

  CHeaderBlock();
  bool Read(winport::File& file);
  bool Write(winport::File& file);
  void Display(IListControl& list) override;

  // Whole seconds of the start time (UTC offset taken off); the fraction when asked.
  int32_t GetStartTime(double* fraction = nullptr) const;

  std::string GetBlockId() const { return GetFixedString(m_image, 2); }
  Link GetFirstDgLink() const { return LoadU32(m_image + kFirstDg); }
  Link GetFileCommentLink() const { return LoadU32(m_image + kFileComment); }
  Link GetPrLink() const { return LoadU32(m_image + kPrLink); }
  void SetPrLink(Link link) { StoreU32(m_image + kPrLink, link); }
  uint16_t GetNumberOfDataGroups() const { return LoadU16(m_image + kDgCount); }
  std::string GetDate() const { return GetFixedString(m_image + kDate, 10); }
  std::string GetTime() const { return GetFixedString(m_image + kTime, 8); }
  std::string GetAuthor() const { return GetFixedString(m_image + kAuthor, 32); }
  std::string GetOrganization() const { return GetFixedString(m_image + kOrganization, 32); }
  std::string GetProject() const { return GetFixedString(m_image + kProject, 32); }
  std::string GetSubject() const { return GetFixedString(m_image + kSubject, 32); }
  uint64_t GetTimeStamp() const { return LoadU64(m_image + kTimeStamp); }
  int16_t GetUtcOffset() const { return LoadI16(m_image + kUtcOffset); }
  uint16_t GetTimeQuality() const { return LoadU16(m_image + kTimeQuality); }
  std::string GetTimerId() const { return GetFixedString(m_image + kTimerId, 32); }
  uint8_t* Image() { return m_image; }
  const uint8_t* Image() const { return m_image; }

 private:
  uint8_t m_image[kSize] = {};
};

class CTextBlock : public CMdfBlock {
 public:
  CTextBlock();
  bool Read(winport::File& file);
  bool Write(winport::File& file);
  void Display(IListControl& list) override;

  // The text up to its first NUL.
  const std::string& GetText() const { return m_text; }
  void SetText(std::string text) { m_text = std::move(text); }

 private:
  uint8_t m_head[4] = {};
  std::string m_text;
};

// Deletes a chain owned through unique_ptr `next` links one element at a time,
// so that a long chain does not recurse once per block.
template <typename Block>
void DeleteChain(std::unique_ptr<Block>& first) {
  while (first) {
    std::unique_ptr<Block> next = std::move(first->m_pNext);
    first = std::move(next);
  }
}

class CCGBlock;

class CDGBlock : public CMdfBlock {
 public:
  static constexpr size_t kSize = 28;
  static constexpr uint32_t kMinSize = 24;  // up to the record-identifier count
  static constexpr size_t kNext = 4, kFirstCg = 8, kTrigger = 12, kData = 16, kCgCount = 20,
                          kRecordIds = 22;

  explicit CDGBlock(CDGBlock* prev = nullptr);
  ~CDGBlock() override;
  bool Read(winport::File& file, CMdf* owner);
  void Display(IListControl& list) override;
  // Applies the NoValue markers of the channel groups' comments.
  void ParseNoValueComment();
  // With record identifiers, the first and the last whole record of the
  // group's data area must begin with the channel group's identifier;
  // otherwise the data group is damaged. Runs once the data areas are set.
  bool RecordsBeginWithTheirId(winport::File& file);

  Link GetNextLink() const { return LoadU32(m_image + kNext); }
  void SetNextLink(Link link) { StoreU32(m_image + kNext, link); }
  Link GetFirstCgLink() const { return LoadU32(m_image + kFirstCg); }
  Link GetDataLink() const { return LoadU32(m_image + kData); }
  uint16_t GetNumberOfChannelGroups() const { return LoadU16(m_image + kCgCount); }
  uint16_t GetNumberOfRecordIds() const { return LoadU16(m_image + kRecordIds); }

  CDGBlock* GetPrev() const { return m_pPrev; }
  CDGBlock* GetNext() const { return m_pNext.get(); }
  CCGBlock* GetFirstCG() const { return m_pFirstCG.get(); }
  CDataBlock* GetDataBlock() const { return m_pDataBlock.get(); }
  CCNBlock* GetTimeChannel() const { return m_pTimeChannel; }
  void SetTimeChannel(CCNBlock* cn) { m_pTimeChannel = cn; }
  const uint8_t* Image() const { return m_image; }

 private:
  friend class CMdf;
  template <typename Block>
  friend void DeleteChain(std::unique_ptr<Block>&);
  template <typename Block, typename AfterEach>
  friend bool ReadChain(winport::File&, Link, CMdf*, std::unique_ptr<Block>&, const char*, AfterEach);

  // Shows the unsorted-file message where messages are allowed, records why; false.
  bool RefuseUnsorted(const std::string& why);

  CDGBlock* m_pPrev;
  std::unique_ptr<CDGBlock> m_pNext;
  std::unique_ptr<CCGBlock> m_pFirstCG;
  std::unique_ptr<CDataBlock> m_pDataBlock;
  CCNBlock* m_pTimeChannel = nullptr;
  uint8_t m_image[kSize] = {};
};

class CCGBlock : public CMdfBlock {
 public:
  static constexpr size_t kSize = 26;
  static constexpr uint32_t kMinSize = 26;
  static constexpr size_t kNext = 4, kFirstCn = 8, kComment = 12, kRecordId = 16,
                          kChannelCount = 18, kRecordSize = 20, kRecordCount = 22;

  explicit CCGBlock(CCGBlock* prev = nullptr);
  ~CCGBlock() override;
  bool Read(winport::File& file);
  void Display(IListControl& list) override;

  Link GetNextLink() const { return LoadU32(m_image + kNext); }
  Link GetFirstCnLink() const { return LoadU32(m_image + kFirstCn); }
  Link GetCommentLink() const { return LoadU32(m_image + kComment); }
  uint16_t GetRecordId() const { return LoadU16(m_image + kRecordId); }
  uint16_t GetNumberOfChannels() const { return LoadU16(m_image + kChannelCount); }
  uint16_t GetRecordSize() const { return LoadU16(m_image + kRecordSize); }
  uint32_t GetNumberOfRecords() const { return LoadU32(m_image + kRecordCount); }
  void SetNumberOfRecords(uint32_t n) { StoreU32(m_image + kRecordCount, n); }

  CCGBlock* GetPrev() const { return m_pPrev; }
  CCGBlock* GetNext() const { return m_pNext.get(); }
  CTextBlock* GetComment() const { return m_pComment.get(); }
  CCNBlock* GetFirstCN() const { return m_pFirstCN.get(); }
  // Makes a channel of this group's chain the first one, the others keeping
  // their order. Only the chain in memory changes, not the links in the file.
  // False when the channel is not in the chain.
  bool MoveChannelToHead(CCNBlock* cn);
  const uint8_t* Image() const { return m_image; }

 private:
  friend class CDGBlock;
  template <typename Block>
  friend void DeleteChain(std::unique_ptr<Block>&);
  template <typename Block, typename AfterEach>
  friend bool ReadChain(winport::File&, Link, CMdf*, std::unique_ptr<Block>&, const char*, AfterEach);

  CCGBlock* m_pPrev;
  std::unique_ptr<CCGBlock> m_pNext;
  std::unique_ptr<CTextBlock> m_pComment;
  std::unique_ptr<CCNBlock> m_pFirstCN;
  uint8_t m_image[kSize] = {};
};

class CCEBlock : public CMdfBlock {
 public:
  static constexpr size_t kSize = 128;
  static constexpr uint32_t kMinSize = 6;  // head and extension type
  static constexpr size_t kType = 4;

  CCEBlock() : CMdfBlock("CCEBlock") {}
  bool Read(winport::File& file);
  void Display(IListControl& list) override;

  uint16_t GetExtensionType() const { return LoadU16(m_image + kType); }
  const uint8_t* Image() const { return m_image; }

 private:
  uint8_t m_image[kSize] = {};
};

class CCNBlock : public CMdfBlock {
 public:
  static constexpr size_t kSize = 228;
  // Older versions end before the long-name link.
  static constexpr uint32_t kMinSize = 218;
  static constexpr size_t kNext = 4, kConversion = 8, kExtension = 12, kDependency = 16,
                          kComment = 20, kChannelType = 24, kName = 26, kDescription = 58,
                          kStartOffset = 186, kBits = 188, kDataType = 190, kRangeValid = 192,
                          kMinRaw = 194, kMaxRaw = 202, kSamplingRate = 210, kAsamName = 218,
                          kDisplayName = 222, kByteOffset = 226;
  static constexpr double kDefaultNoValue = 1e308;

  explicit CCNBlock(CCNBlock* prev = nullptr);
  ~CCNBlock() override;
  bool Read(winport::File& file);
  void Display(IListControl& list) override;

  Link GetNextLink() const { return LoadU32(m_image + kNext); }
  Link GetConversionLink() const { return LoadU32(m_image + kConversion); }
  Link GetExtensionLink() const { return LoadU32(m_image + kExtension); }
  Link GetCommentLink() const { return LoadU32(m_image + kComment); }
  Link GetAsamNameLink() const { return LoadU32(m_image + kAsamName); }
  Link GetDisplayNameLink() const { return LoadU32(m_image + kDisplayName); }
  uint16_t GetChannelType() const { return LoadU16(m_image + kChannelType); }
  std::string GetSignalName() const { return GetFixedString(m_image + kName, 32); }
  std::string GetDescription() const { return GetFixedString(m_image + kDescription, 128); }
  uint16_t GetStartOffset() const { return LoadU16(m_image + kStartOffset); }
  uint16_t GetNumberOfBits() const { return LoadU16(m_image + kBits); }
  uint16_t GetDataType() const { return LoadU16(m_image + kDataType); }
  uint16_t IsRangeValid() const { return LoadU16(m_image + kRangeValid); }
  double GetMinRaw() const { return LoadF64(m_image + kMinRaw); }
  double GetMaxRaw() const { return LoadF64(m_image + kMaxRaw); }
  double GetSamplingRate() const { return LoadF64(m_image + kSamplingRate); }
  uint16_t GetAdditionalByteOffset() const { return LoadU16(m_image + kByteOffset); }
  // Text of the long-name or display-name block; empty when there is none.
  std::string GetAsamName() const;
  std::string GetDisplayName() const;

  void SetRangeValid(uint16_t v) { StoreU16(m_image + kRangeValid, v); }
  void SetMinRaw(double v) { StoreF64(m_image + kMinRaw, v); }
  void SetMaxRaw(double v) { StoreF64(m_image + kMaxRaw, v); }
  void SetSamplingRate(double v) { StoreF64(m_image + kSamplingRate, v); }

  // NoValue marker: the physical value standing for "no measurement" and its raw equivalent.
  void SetNoValue(double value);
  double GetNoValue() const { return m_noValue; }
  double GetRawNoValue() const { return m_rawNoValue; }
  bool IsNoValueSet() const { return m_noValueSet; }
  // The channel's theoretical physical range: minimum as result, maximum in `max`.
  double GetPhysicalRange(double& max) const;
  // Writes the range fields of the channel, and of its conversion unless
  // `withConversion` is false, back into the file.
  int WriteRangeToFile(const std::string& path, bool withConversion = true);
  // Drops the NoValue marker: the channel is known to hold no invalid values.
  void ClearNoValue() { m_noValueSet = false; }

  // The running range: what an import measured or took from the range
  // fields, raw and physical, with its state word.
  static constexpr uint32_t kRangeSet = 1;      // a minimum and maximum are set
  static constexpr uint32_t kNoValueSeen = 2;  // NoValue samples were met
  double GetRunningMinRaw() const { return m_minRaw; }
  double GetRunningMaxRaw() const { return m_maxRaw; }
  double GetMinPhys() const { return m_minPhys; }
  double GetMaxPhys() const { return m_maxPhys; }
  void SetRunningRaw(double min, double max) {
    m_minRaw = min;
    m_maxRaw = max;
  }
  void SetRunningPhys(double min, double max) {
    m_minPhys = min;
    m_maxPhys = max;
  }
  uint32_t GetRangeState() const { return m_rangeState; }
  void SetRangeState(uint32_t state) { m_rangeState = state; }
  bool IsConversionOk() const { return m_conversionOk; }

  // Record indices whose time value equalled the NoValue (filled by the record decoder).
  std::vector<uint32_t>& ReplacedSamples() { return m_replacedSamples; }
  const std::vector<uint32_t>& ReplacedSamples() const { return m_replacedSamples; }
  bool HasReplacedSampleList() const { return m_hasReplacedList; }
  void SetHasReplacedSampleList(bool v) { m_hasReplacedList = v; }

  CCNBlock* GetPrev() const { return m_pPrev; }
  CCNBlock* GetNext() const { return m_pNext.get(); }
  CTextBlock* GetComment() const { return m_pComment.get(); }
  CTextBlock* GetLongName() const { return m_pLongName.get(); }
  CTextBlock* GetDisplayNameBlock() const { return m_pDisplayName.get(); }
  CCCBlock* GetConversion() const { return m_pCC.get(); }
  CCEBlock* GetExtension() const { return m_pCE.get(); }
  uint8_t* Image() { return m_image; }
  const uint8_t* Image() const { return m_image; }

 private:
  friend class CCGBlock;
  template <typename Block>
  friend void DeleteChain(std::unique_ptr<Block>&);
  template <typename Block, typename AfterEach>
  friend bool ReadChain(winport::File&, Link, CMdf*, std::unique_ptr<Block>&, const char*, AfterEach);

  CCNBlock* m_pPrev;
  std::unique_ptr<CCNBlock> m_pNext;
  std::unique_ptr<CTextBlock> m_pComment;
  std::unique_ptr<CTextBlock> m_pLongName;
  std::unique_ptr<CTextBlock> m_pDisplayName;
  std::unique_ptr<CCCBlock> m_pCC;
  std::unique_ptr<CCEBlock> m_pCE;
  double m_noValue = 0;
  double m_rawNoValue = 0;
  double m_minRaw = 0, m_minPhys = 0, m_maxRaw = 0, m_maxPhys = 0;
  bool m_noValueSet = false;
  uint32_t m_rangeState = 0;
  std::vector<uint32_t> m_replacedSamples;
  bool m_hasReplacedList = false;
  bool m_conversionOk = true;
  bool m_imageComplete = false;  // the fixed image was read without a short read
  uint8_t m_image[kSize] = {};
};

}  // namespace mdf

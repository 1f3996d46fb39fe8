#include "mdf/blocks.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/messages.h"
#include "platform/win32/file.h"

namespace mdf {

// ---------------------------------------------------------------- CMdfBlock

void CMdfBlock::SetFixedString(uint8_t* field, const std::string& text, size_t n) const {
  std::memset(field, 0, n);
  std::memcpy(field, text.data(), std::min(n, std::strlen(text.c_str())));
}

bool CMdfBlock::TakePosition(winport::File& file) {
  m_filePos = file.Tell();
  return m_filePos >= 0;
}

bool CMdfBlock::Damaged(const char* kind, const std::string& what) const {
  if (m_pMdf)
    m_pMdf->SetStructureError(StrFormat("damaged file: the %s block at %lld %s", kind,
                                        static_cast<long long>(m_filePos), what.c_str()));
  return false;
}

int64_t CMdfBlock::FileSizeOf(winport::File& file) const {
  if (m_pMdf && m_pMdf->IsOpen() && &file == &m_pMdf->GetFile()) return m_pMdf->GetOpenFileSize();
  return file.Size();
}

namespace {

// A block identifier as text: its two characters when they are printable, else in hexadecimal.
std::string IdentText(const uint8_t* head) {
  auto printable = [](uint8_t c) { return c >= 0x20 && c < 0x7F; };
  if (printable(head[0]) && printable(head[1]))
    return StrFormat("\"%c%c\"", head[0], head[1]);
  return StrFormat("0x%02X%02X", head[0], head[1]);
}

}  // namespace

bool CMdfBlock::CheckIdentifier(const char* ident, const uint8_t* head) const {
  if (head[0] == ident[0] && head[1] == ident[1]) {
    if (m_pMdf) m_pMdf->NoteBlockStart(m_filePos);
    return true;
  }
  return Damaged(ident, "has the identifier " + IdentText(head));
}

bool CMdfBlock::ReadBlockHead(winport::File& file, const char* ident, uint8_t* head,
                              uint32_t minLength, uint32_t& length) {
  length = 0;
  if (!TakePosition(file)) return Damaged(ident, "has no file position");
  const int64_t size = FileSizeOf(file);
  if (size < 0 || m_filePos > size || size - m_filePos < 4)
    return Damaged(ident, "lies past the end of the file");
  if (!file.ReadExact(head, 4)) return Damaged(ident, "cannot be read");
  if (!CheckIdentifier(ident, head)) return false;
  length = std::max<uint32_t>(LoadU16(head + 2), 4);
  if (length < minLength)
    return Damaged(ident, StrFormat("is %u bytes long, shorter than its fixed part of %u bytes",
                                    length, minLength));
  if (length > size - m_filePos) return Damaged(ident, "ends past the end of the file");
  return true;
}

bool CMdfBlock::ReadBlockImage(winport::File& file, const char* ident, uint8_t* image,
                               size_t fixedSize, uint32_t minLength, uint32_t& length) {
  std::memset(image, 0, fixedSize);
  if (!ReadBlockHead(file, ident, image, minLength, length)) return false;
  const size_t rest = std::min<size_t>(length, fixedSize) - 4;
  if (!file.ReadExact(image + 4, rest)) return Damaged(ident, "cannot be read whole");
  return true;
}

// Reads a chain of blocks of kind `kind` ("CG", "CN") linked through their
// next links, starting at `first`, up to a next link of 0 or one that cannot
// be reached (the chain ends there), whatever count the parent gives. A link
// back to a block of the chain ends the walk with a structure error that names
// the loop; a link into another block fails the claim (ClaimChainBlock).
// `afterEach` runs after each block. False on a structure error.
template <typename Block, typename AfterEach>
bool ReadChain(winport::File& file, Link first, CMdf* owner, std::unique_ptr<Block>& head, const char* kind,
               AfterEach afterEach) {
  Block* last = nullptr;
  std::set<int64_t> positions;
  for (Link link = first; link != 0; link = last->GetNextLink()) {
    if (positions.count(link) != 0) {
      if (owner)
        owner->SetStructureError(StrFormat("damaged file: the %s chain at %lld loops back to %u", kind,
                                           static_cast<long long>(last->GetFilePos()), link));
      return false;
    }
    if (!file.Seek(link)) break;
    auto block = std::make_unique<Block>(last);
    block->SetMdf(owner);
    block->Read(file);  // a child's own result does not stop its parent
    if (owner && owner->HasStructureError()) return false;
    positions.insert(block->GetFilePos());
    Block* added = block.get();
    (last ? last->m_pNext : head) = std::move(block);
    last = added;
    afterEach();
  }
  return true;
}

// ---------------------------------------------------------------- ID

bool CIDBlock::Read(winport::File& file) {
  m_filePos = file.Tell();
  m_blockLength = kSize;
  if (!file.ReadExact(m_image, kSize)) return false;
  return GetFileId() == "MDF     ";
}

bool CIDBlock::Write(winport::File& file) {
  m_filePos = file.Tell();
  return file.WriteExact(m_image, kSize);
}

// ---------------------------------------------------------------- HD

CHeaderBlock::CHeaderBlock() : CMdfBlock("CHeaderBlock") {}

bool CHeaderBlock::Read(winport::File& file) {
  m_blockLength = kSize;
  uint32_t length = 0;
  if (!ReadBlockImage(file, "HD", m_image, kSize, kMinSize, length)) return false;
  m_blockLength = std::min<uint32_t>(length, kSize);
  return true;
}

bool CHeaderBlock::Write(winport::File& file) {
  return file.Seek(m_filePos) && file.WriteExact(m_image, kSize);
}

int32_t CHeaderBlock::GetStartTime(double* fraction) const {
  const uint64_t ts = GetTimeStamp();
  if (fraction) *fraction = static_cast<double>(ts % 1000000000ULL) / 1e9;
  return static_cast<int32_t>(static_cast<int64_t>(ts / 1000000000ULL) -
                              static_cast<int64_t>(GetUtcOffset()) * 3600);
}

// ---------------------------------------------------------------- TX

CTextBlock::CTextBlock() : CMdfBlock("CTextBlock") {
  InitHead(m_head, "TX", 4);
}

bool CTextBlock::Read(winport::File& file) {
  m_text.clear();
  uint32_t length = 0;
  if (!ReadBlockHead(file, "TX", m_head, 0, length)) return false;
  m_blockLength = length - 4;
  if (m_pMdf && m_pMdf->IsOpen() && !m_pMdf->ChargeText(m_blockLength)) return false;
  std::string bytes(m_blockLength, '\0');
  if (!file.ReadExact(bytes.data(), bytes.size())) return Damaged("TX", "cannot be read whole");
  m_text = bytes.substr(0, bytes.find('\0'));
  return true;
}

bool CTextBlock::Write(winport::File& file) {
  if (!file.Seek(m_filePos)) return false;
  const bool hasText = !m_text.empty();
  StoreU16(m_head + 2, static_cast<uint16_t>(hasText ? m_text.size() + 5 : 4));
  bool ok = file.WriteExact(m_head, 4);
  if (hasText) ok = file.WriteExact(m_text.c_str(), m_text.size() + 1) && ok;
  return ok && hasText;
}

// ---------------------------------------------------------------- DG

CDGBlock::CDGBlock(CDGBlock* prev) : CMdfBlock("CDGBlock"), m_pPrev(prev) {
  m_index = prev ? prev->m_index + 1 : 1;
  InitHead(m_image, "DG", kSize);
}

CDGBlock::~CDGBlock() {
  DeleteChain(m_pNext);
  DeleteChain(m_pFirstCG);
}

bool CDGBlock::Read(winport::File& file, CMdf* owner) {
  m_pMdf = owner;
  m_blockLength = kSize;
  uint32_t length = 0;
  if (!ReadBlockImage(file, "DG", m_image, kSize, kMinSize, length)) return false;
  m_blockLength = std::min<uint32_t>(length, kSize);
  if (owner && !owner->ClaimChainBlock(m_filePos, m_blockLength, "data group")) return false;

  if (GetNumberOfChannelGroups() >= 2)
    return RefuseUnsorted("unsorted file: a data group holds several channel groups");

  if (!ReadChain(file, GetFirstCgLink(), owner, m_pFirstCG, "CG", [this] { ParseNoValueComment(); }))
    return false;
  // Several channel groups linked, whatever the count says, share the records.
  if (m_pFirstCG && m_pFirstCG->GetNext())
    return RefuseUnsorted("unsorted file: a data group links several channel groups");
  if (GetDataLink() != 0) m_pDataBlock = std::make_unique<CDataBlock>(this, owner);
  return true;
}

bool CDGBlock::RefuseUnsorted(const std::string& why) {
  if (m_pMdf && m_pMdf->GetShowMessages())
    ShowMessage(Ansi("Die Datei ist unsortiert.\nBitte sortieren Sie zunächst."), kMessageError);
  if (m_pMdf) m_pMdf->SetStructureError(why);
  return false;
}

bool CDGBlock::RecordsBeginWithTheirId(winport::File& file) {
  const CCGBlock* cg = m_pFirstCG.get();
  if (GetNumberOfRecordIds() == 0 || !cg || !m_pDataBlock) return true;
  const uint64_t length = uint64_t{cg->GetRecordSize()} + GetNumberOfRecordIds();
  const uint64_t whole = m_pDataBlock->GetRecordsInFile();
  if (whole == 0) return true;  // no record to check
  for (const uint64_t r : {uint64_t{0}, whole - 1}) {
    const uint64_t pos = GetDataLink() + r * length;
    uint8_t id = 0;
    if (!file.Seek(static_cast<int64_t>(pos)) || !file.ReadExact(&id, 1))
      return Damaged("DG", "has records that cannot be read");
    if (id != cg->GetRecordId())
      return Damaged("DG", StrFormat("has records without their channel group's record identifier %u: "
                                     "record %llu (at %llu) begins with %u",
                                     cg->GetRecordId(), static_cast<unsigned long long>(r),
                                     static_cast<unsigned long long>(pos), id));
  }
  return true;
}

// ---------------------------------------------------------------- CG

CCGBlock::CCGBlock(CCGBlock* prev) : CMdfBlock("CCGBlock"), m_pPrev(prev) {
  m_index = prev ? prev->m_index + 1 : 1;
  InitHead(m_image, "CG", kSize);
}

CCGBlock::~CCGBlock() {
  DeleteChain(m_pNext);
  DeleteChain(m_pFirstCN);
}

bool CCGBlock::MoveChannelToHead(CCNBlock* cn) {
  CCNBlock* prev = nullptr;
  for (CCNBlock* at = m_pFirstCN.get(); at && at != cn; at = at->GetNext()) prev = at;
  if (!cn || (prev ? prev->m_pNext.get() : m_pFirstCN.get()) != cn) return false;
  if (!prev) return true;  // the head already
  std::unique_ptr<CCNBlock> moved = std::move(prev->m_pNext);
  prev->m_pNext = std::move(moved->m_pNext);
  if (prev->m_pNext) prev->m_pNext->m_pPrev = prev;
  moved->m_pNext = std::move(m_pFirstCN);
  moved->m_pNext->m_pPrev = moved.get();
  moved->m_pPrev = nullptr;
  m_pFirstCN = std::move(moved);
  return true;
}

bool CCGBlock::Read(winport::File& file) {
  m_blockLength = kSize;
  uint32_t headLength = 0;
  if (!ReadBlockImage(file, "CG", m_image, kSize, kMinSize, headLength)) return false;
  m_blockLength = headLength;
  if (m_pMdf && !m_pMdf->ClaimChainBlock(m_filePos, std::min<uint32_t>(headLength, kSize),
                                         "channel group"))
    return false;

  if (GetCommentLink() != 0 && file.Seek(GetCommentLink())) {
    m_pComment = std::make_unique<CTextBlock>();
    m_pComment->SetMdf(m_pMdf);
    m_pComment->Read(file);
  }

  return ReadChain(file, GetFirstCnLink(), m_pMdf, m_pFirstCN, "CN", [] {});
}

// ---------------------------------------------------------------- CN

CCNBlock::CCNBlock(CCNBlock* prev) : CMdfBlock("CCNBlock"), m_pPrev(prev) {
  m_index = prev ? prev->m_index + 1 : 1;
  InitHead(m_image, "CN", kSize);
}

CCNBlock::~CCNBlock() { DeleteChain(m_pNext); }

namespace {

std::unique_ptr<CTextBlock> ReadText(winport::File& file, Link link, CMdf* owner) {
  if (link == 0 || !file.Seek(link)) return nullptr;
  auto tx = std::make_unique<CTextBlock>();
  tx->SetMdf(owner);
  tx->Read(file);
  return tx;
}

}  // namespace

bool CCNBlock::Read(winport::File& file) {
  m_blockLength = kSize;
  uint32_t headLength = 0;
  if (!ReadBlockImage(file, "CN", m_image, kSize, kMinSize, headLength)) return false;
  m_blockLength = std::min<uint32_t>(headLength, kSize);
  m_imageComplete = true;
  if (m_pMdf && !m_pMdf->ClaimChainBlock(m_filePos, m_blockLength, "channel")) return false;
  if (GetDataType() == 2 && GetNumberOfBits() > 32) StoreU16(m_image + kDataType, 3);

  m_pComment = ReadText(file, GetCommentLink(), m_pMdf);
  m_pLongName = ReadText(file, GetAsamNameLink(), m_pMdf);
  m_pDisplayName = ReadText(file, GetDisplayNameLink(), m_pMdf);

  if (GetConversionLink() != 0 && file.Seek(GetConversionLink())) {
    m_pCC = std::make_unique<CCCBlock>();
    m_pCC->SetMdf(m_pMdf);
    if (!m_pCC->Read(file)) m_conversionOk = false;
    const double* p = m_pCC->GetParams();
    if (m_pCC->GetFileType() == CCCBlock::kTextRange && m_pCC->GetType() == CCCBlock::kLinear &&
        p[3] == 1e308)
      SetNoValue(p[4] * p[1] + p[0]);
  }

  if (IsRangeValid() == 1) {
    m_minRaw = GetMinRaw();
    m_maxRaw = GetMaxRaw();
    if (m_pCC) {
      m_minPhys = ApplyConversion(m_pCC.get(), m_minRaw);
      m_maxPhys = ApplyConversion(m_pCC.get(), m_maxRaw);
    }
  }

  if (GetExtensionLink() != 0 && file.Seek(GetExtensionLink())) {
    m_pCE = std::make_unique<CCEBlock>();
    m_pCE->SetMdf(m_pMdf);
    m_pCE->Read(file);
  }
  return true;
}

std::string CCNBlock::GetAsamName() const { return m_pLongName ? m_pLongName->GetText() : std::string(); }

std::string CCNBlock::GetDisplayName() const {
  return m_pDisplayName ? m_pDisplayName->GetText() : std::string();
}

// ---------------------------------------------------------------- CE

bool CCEBlock::Read(winport::File& file) {
  m_blockLength = kSize;
  uint32_t headLength = 0;
  if (!ReadBlockImage(file, "CE", m_image, kSize, kMinSize, headLength)) return false;
  m_blockLength = std::min<uint32_t>(headLength, kSize);
  return true;
}

}  // namespace mdf

#include "mdf/blocks.h"

#include <algorithm>
#include <cstring>

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

bool CMdfBlock::ReadHeadedImage(winport::File& file, uint8_t* image, size_t fixedSize,
                                uint32_t& headLength) {
  std::memset(image, 0, fixedSize);
  if (!file.ReadExact(image, 4)) return false;
  headLength = std::max<uint32_t>(LoadU16(image + 2), 4);
  const size_t rest = std::min<size_t>(headLength, fixedSize) - 4;
  return file.ReadExact(image + 4, rest);
}

// Reads a chain of blocks linked through their next links, starting at `first`:
// at most `limit` blocks (the count the parent gives). A chain that links more
// blocks, or whose blocks link back into blocks already read (ClaimChainBlock),
// ends with a structure error and false. `afterEach` runs after each block.
template <typename Block, typename AfterEach>
bool ReadChain(winport::File& file, Link first, int limit, CMdf* owner,
               std::unique_ptr<Block>& head, const char* tooMany, AfterEach afterEach) {
  Block* last = nullptr;
  int count = 0;
  for (Link link = first; link != 0; link = last->GetNextLink()) {
    if (count == limit) {
      if (owner) owner->SetStructureError(tooMany);
      return false;
    }
    if (!file.Seek(link)) break;
    auto block = std::make_unique<Block>(last);
    block->SetMdf(owner);
    block->Read(file);  // a child's own result does not stop its parent
    if (owner && owner->HasStructureError()) return false;
    Block* added = block.get();
    (last ? last->m_pNext : head) = std::move(block);
    last = added;
    ++count;
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
  if (!TakePosition(file)) return false;
  m_blockLength = kSize;
  uint32_t headLength = 0;
  const bool ok = ReadHeadedImage(file, m_image, kSize, headLength);
  m_blockLength = std::min<uint32_t>(headLength, kSize);
  return ok;
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
  if (!TakePosition(file) || !file.ReadExact(m_head, 4)) return false;
  const uint32_t length = std::max<uint16_t>(LoadU16(m_head + 2), 4);
  m_blockLength = length - 4;
  if (m_pMdf && m_pMdf->IsOpen() && !m_pMdf->ChargeText(m_blockLength)) return false;
  std::string bytes(m_blockLength, '\0');
  const size_t got = file.Read(bytes.data(), bytes.size());
  bytes.resize(got);
  m_text = bytes.substr(0, bytes.find('\0'));
  return got == m_blockLength;
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
  if (!TakePosition(file)) return false;
  m_blockLength = kSize;
  uint32_t headLength = 0;
  if (!ReadHeadedImage(file, m_image, kSize, headLength)) return false;
  m_blockLength = std::min<uint32_t>(headLength, kSize);
  if (owner && !owner->ClaimChainBlock(m_filePos, m_blockLength, "data group")) return false;

  if (GetNumberOfChannelGroups() >= 2) {
    if (owner && owner->GetShowMessages())
      ShowMessage(Ansi("Die Datei ist unsortiert.\nBitte sortieren Sie zunächst."), kMessageError);
    if (owner) owner->SetStructureError("unsorted file: a data group holds several channel groups");
    return false;
  }

  if (!ReadChain(file, GetFirstCgLink(), GetNumberOfChannelGroups(), owner, m_pFirstCG,
                 "data group links more channel groups than it counts",
                 [this] { ParseNoValueComment(); }))
    return false;
  if (GetDataLink() != 0) m_pDataBlock = std::make_unique<CDataBlock>(this, owner);
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

bool CCGBlock::Read(winport::File& file) {
  if (!TakePosition(file)) return false;
  m_blockLength = kSize;
  uint32_t headLength = 0;
  if (!ReadHeadedImage(file, m_image, kSize, headLength)) return false;
  m_blockLength = headLength;
  if (m_pMdf && !m_pMdf->ClaimChainBlock(m_filePos, std::min<uint32_t>(headLength, kSize),
                                         "channel group"))
    return false;

  if (GetCommentLink() != 0 && file.Seek(GetCommentLink())) {
    m_pComment = std::make_unique<CTextBlock>();
    m_pComment->SetMdf(m_pMdf);
    m_pComment->Read(file);
  }

  return ReadChain(file, GetFirstCnLink(), GetNumberOfChannels(), m_pMdf, m_pFirstCN,
                   "channel group links more channels than it counts", [] {});
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
  if (!TakePosition(file)) return false;
  m_blockLength = kSize;
  uint32_t headLength = 0;
  if (!ReadHeadedImage(file, m_image, kSize, headLength)) return false;
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
  if (!TakePosition(file)) return false;
  m_blockLength = kSize;
  uint32_t headLength = 0;
  const bool ok = ReadHeadedImage(file, m_image, kSize, headLength);
  m_blockLength = std::min<uint32_t>(headLength, kSize);
  return ok;
}

}  // namespace mdf

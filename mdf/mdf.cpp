#include "mdf/mdf.h"

#include <cstring>
#include <new>
#include <set>
#include <unordered_set>

#include "mdf/ccblock.h"
#include "mdf/composition.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/prgblock.h"
#include "mdf/rows.h"

namespace mdf {

CMdf::CMdf(MdfProfile profile) : CMdfBase("CMdf"), m_profile(profile) {}

CMdf::~CMdf() {
  // The DG chain first: its blocks refer to nothing else here.
  DeleteChain(m_pFirstDG);
  CloseFile();
}

void CMdf::CloseFile() {
  if (m_open) {
    m_file.Close();
    m_open = false;
  }
}

bool CMdf::OpenForReading() {
  if (m_open) return true;
  if (!m_file.Open(m_path, winport::FileAccess::Read, winport::FileShare::Read)) return false;
  m_open = true;
  return true;
}

int CMdf::FailOpen(const std::string& why) {
  m_lastError = why;
  m_file.Close();
  m_open = false;
  return 0;
}

bool CMdf::ClaimChainBlock(int64_t pos, int64_t length, const char* what) {
  const int64_t end = pos + std::max<int64_t>(length, 1);
  auto next = m_claimed.lower_bound(pos);
  bool overlaps = next != m_claimed.end() && next->first < end;
  if (!overlaps && next != m_claimed.begin()) overlaps = std::prev(next)->second > pos;
  if (overlaps) {
    SetStructureError(StrFormat("the %s block at %lld is linked twice or overlaps another block",
                                what, static_cast<long long>(pos)));
    return false;
  }
  m_claimed.emplace(pos, end);
  return true;
}

bool CMdf::ChargeText(size_t bytes) {
  m_textBytes += bytes;
  if (m_textBytes <= m_textBudget) return true;
  SetStructureError("the file's texts add up to far more than the file holds");
  return false;
}

void CMdf::SetStructureError(const std::string& text) {
  if (m_structureError.empty()) m_structureError = text;
}

int CMdf::Open(const std::string& path) {
  m_lastError.clear();
  m_structureError.clear();
  m_claimed.clear();
  m_blockStarts.clear();
  m_dataAreaShort = false;
  m_textBytes = 0;
  // Nothing of a file opened before stays: neither its blocks nor what was
  // written into it.
  DeleteChain(m_pFirstDG);
  m_pTextBlock.reset();
  m_pPrgBlock.reset();
  m_foreignPr = false;
  m_prPosition = m_oldPrDataPos = m_oldPrDataSize = 0;
  m_timeInfoRecordsWritten = 0;
  m_writtenPrPosition = 0;
  m_writtenPrLength = 0;
  if (!m_file.Open(path, winport::FileAccess::Read, winport::FileShare::Read))
    return FailOpen("the file cannot be opened");
  m_open = true;
  m_path = path;
  m_fileSize = std::max<int64_t>(m_file.Size(), 0);
  // Texts may be shared by many blocks, but never add up to many times the file.
  m_textBudget = (uint64_t{16} << 20) + 16 * static_cast<uint64_t>(m_fileSize);

  try {
    m_pDataComposition = std::make_unique<CDataComposition>(this);
    m_pIDBlock = std::make_unique<CIDBlock>();
  } catch (const std::bad_alloc&) {
    return FailOpen("out of memory");
  }
  m_pDataComposition->SetShowMessages(m_showMessages ? 1 : 0);

  m_pIDBlock->SetMdf(this);
  if (!m_pIDBlock->Read(m_file)) return FailOpen("not an MDF file");
  // Every real number of the blocks (conversion parameters, ranges, sampling
  // rates) is stored in the ID block's floating-point format. Read as IEEE 754,
  // the VAX formats of older writers give values that are not the file's.
  if (const uint16_t format = m_pIDBlock->GetFloatFormat(); format != 0) {
    const char* name = format == 1 ? "VAX G_floating" : format == 2 ? "VAX D_floating" : "unknown";
    return FailOpen(StrFormat("the file's real numbers are stored in the %s floating-point format "
                              "(%u), not in IEEE 754, and cannot be read",
                              name, static_cast<unsigned>(format)));
  }
  m_kestravo = m_pIDBlock->GetProgramId() == "KESTRAVO";

  // Without its header the file's blocks cannot be found: a damaged one fails the open.
  m_pHeaderBlock = std::make_unique<CHeaderBlock>();
  m_pHeaderBlock->SetMdf(this);
  if (!m_pHeaderBlock->Read(m_file)) return FailOpen(m_structureError);

  if (m_pHeaderBlock->GetFileCommentLink() != 0 && m_file.Seek(m_pHeaderBlock->GetFileCommentLink())) {
    m_pTextBlock = std::make_unique<CTextBlock>();
    m_pTextBlock->SetMdf(this);
    m_pTextBlock->Read(m_file);
  }

  ReadProgramBlock();
  if (HasStructureError()) return FailOpen(m_structureError);

  if (!ReadDataGroups()) return FailOpen(m_structureError.empty() ? "a data group cannot be read"
                                                                   : m_structureError);
  SettleDataAreas();
  for (CDGBlock* dg = m_pFirstDG.get(); dg; dg = dg->GetNext())
    if (!dg->RecordsBeginWithTheirId(m_file)) return FailOpen(m_structureError);
  if (m_kestravo && m_compose && !ComposeChannels()) {
    if (m_lastError.empty()) m_lastError = "the channels cannot be composed";
    return FailOpen(m_lastError);
  }
  CloseFile();
  return 1;
}

bool CMdf::ReadProgramBlock() {
  m_prWritable = false;
  m_timeInfoValid = false;
  const Link prLink = m_pHeaderBlock->GetPrLink();
  if (prLink != 0) {
    if (!m_file.Seek(prLink)) return false;
    m_pPrgBlock = std::make_unique<CPrgBlock>(this);
    m_pPrgBlock->Read(m_file);  // what was read is kept
    if (!m_pPrgBlock->HasData()) return true;
    const std::vector<uint8_t>& data = m_pPrgBlock->GetData();
    const std::string text = m_pPrgBlock->GetDataText();
    if (text == CPrgBlock::kTimeStampSignature) {
      const size_t after = text.size() + 1;
      const bool versioned = data.size() >= after + 8 &&
                             std::memcmp(data.data() + after, "Version ", 8) == 0;
      if (!versioned) {
        m_prWritable = true;
        m_foreignPr = true;
      } else {
        const std::string number(reinterpret_cast<const char*>(data.data()) + after + 8,
                                 strnlen(reinterpret_cast<const char*>(data.data()) + after + 8,
                                         data.size() - after - 8));
        const double version = StrToDouble(number.c_str(), nullptr);
        if (m_readerVersion / 256 >= static_cast<int64_t>(version)) {
          m_timeInfoValid = true;
          m_prPosition = prLink;
          TimeInfoRecord header;
          if (ReadTimeInfo(header, -1)) {
            m_oldPrDataPos = LoadI32(header.bytes + 52);
            m_oldPrDataSize = LoadI32(header.bytes + 4);
          }
        }
      }
    } else if (text == CPrgBlock::kSpecialJobSignature) {
      m_oldPrDataPos = static_cast<int64_t>(prLink) + 4;
      m_prWritable = true;
    }
    return true;
  }
  const int64_t size = m_file.Size();
  if (size >= 0 && size < kPrWritableLimit) {
    m_prWritable = true;
    m_pPrgBlock = std::make_unique<CPrgBlock>(this);
    m_pPrgBlock->SetFilePos(size);
    m_prPosition = size;
  }
  return true;
}

bool CMdf::ReadDataGroups() {
  const Link first = m_pHeaderBlock->GetFirstDgLink();
  if (first == 0) return true;
  const int64_t fileSize = m_file.Size();
  if (!m_file.Seek(first)) return false;
  m_pFirstDG = std::make_unique<CDGBlock>(nullptr);
  if (!m_pFirstDG->Read(m_file, this)) return false;

  auto setTimeChannel = [](CDGBlock* dg) {
    dg->SetTimeChannel(nullptr);
    if (!dg->GetFirstCG()) return;
    for (CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext())
      if (cn->GetChannelType() == 1) {
        dg->SetTimeChannel(cn);
        return;
      }
  };
  setTimeChannel(m_pFirstDG.get());

  // The chain is followed to a next link of 0, whatever the header counts.
  std::set<int64_t> positions{m_pFirstDG->GetFilePos()};
  for (CDGBlock* dg = m_pFirstDG.get(); dg->GetNextLink() != 0; dg = dg->GetNext()) {
    // A link past the end of the file is a seek that fails: the chain ends there.
    if (dg->GetNextLink() >= fileSize || !m_file.Seek(dg->GetNextLink())) {
      dg->SetNextLink(0);
      break;
    }
    if (positions.count(dg->GetNextLink()) != 0) {
      SetStructureError(StrFormat("damaged file: the DG chain at %lld loops back to %u",
                                  static_cast<long long>(dg->GetFilePos()), dg->GetNextLink()));
      return false;
    }
    dg->m_pNext = std::make_unique<CDGBlock>(dg);
    if (!dg->m_pNext->Read(m_file, this)) return false;
    positions.insert(dg->m_pNext->GetFilePos());
    setTimeChannel(dg->m_pNext.get());
  }
  return true;
}

void CMdf::SettleDataAreas() {
  // The block starts are needed only here: the data links join them, and they go after.
  std::set<int64_t>& starts = m_blockStarts;
  for (const CDGBlock* dg = m_pFirstDG.get(); dg; dg = dg->GetNext())
    if (dg->GetDataLink() != 0) starts.insert(dg->GetDataLink());
  for (CDGBlock* dg = m_pFirstDG.get(); dg; dg = dg->GetNext()) {
    CDataBlock* data = dg->GetDataBlock();
    if (!data) continue;  // no records to read, none to mistake
    const auto next = starts.upper_bound(dg->GetDataLink());
    data->SetDataEnd(next == starts.end() ? m_fileSize : std::min(*next, m_fileSize));
    if (data->GetRecordsInFile() < data->GetNumberOfRecords()) m_dataAreaShort = true;
  }
  starts.clear();
}

bool CMdf::ComposeChannels() {
  // Every data group, channel group and channel the chains link.
  for (CDGBlock* dg = m_pFirstDG.get(); dg; dg = dg->GetNext()) {
    for (CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      if (cg->GetNumberOfRecords() == 0) continue;
      CCNBlock* time = nullptr;
      for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
        if (cn->GetChannelType() == 1) {
          if (time) {
            m_lastError = "a channel group holds two time channels";
            return false;
          }
          time = cn;
        }
        m_pDataComposition->AddChannel(StripParenSuffix(cn->GetSignalName()), dg->GetIndex(),
                                       cg->GetIndex(), cg->GetNumberOfRecords(), cn);
      }
      if (!time) {
        m_lastError = "a channel group with records has no time channel";
        return false;
      }
      m_pDataComposition->SetTimeChannelRate(cg, time->GetSamplingRate(), dg->GetIndex(),
                                             cg->GetIndex());
    }
  }
  return m_pDataComposition->Calculate() != 0;
}

int CMdf::Create(const std::string& path, const std::string& programId, int version) {
  if (!m_file.Open(path, winport::FileAccess::Write, winport::FileShare::None,
                   winport::FileDisposition::CreateAlways))
    return 0;
  m_open = true;
  m_path = path;
  try {
    m_pIDBlock = std::make_unique<CIDBlock>();
    m_pIDBlock->SetMdf(this);
    uint8_t* id = m_pIDBlock->Image();
    m_pIDBlock->SetFixedString(id + CIDBlock::kFileId, "MDF     ", 8);
    m_pIDBlock->SetFixedString(id + CIDBlock::kFormatId,
                               StrFormat("%d.%02d    ", version / 100, version % 100), 8);
    m_pIDBlock->SetFixedString(id + CIDBlock::kProgramId, StrFormat("%8s", programId.c_str()), 8);
    StoreU16(id + CIDBlock::kVersion, static_cast<uint16_t>(version));
    if (!m_pIDBlock->Write(m_file)) {
      CloseFile();
      return 0;
    }
    m_pHeaderBlock = std::make_unique<CHeaderBlock>();
    m_pHeaderBlock->SetMdf(this);
    uint8_t* hd = m_pHeaderBlock->Image();
    hd[0] = 'H';
    hd[1] = 'D';
    StoreU16(hd + 2, CHeaderBlock::kSize);
    m_pHeaderBlock->SetFilePos(m_file.Tell());
    m_pHeaderBlock->Write(m_file);
    m_pTextBlock = std::make_unique<CTextBlock>();
    m_pPrgBlock = std::make_unique<CPrgBlock>(this);
    DeleteChain(m_pFirstDG);
    m_pFirstDG = std::make_unique<CDGBlock>(nullptr);
  } catch (const std::bad_alloc&) {
    CloseFile();
    return 0;
  }
  return 1;
}

std::string StripParenSuffix(const std::string& name) {
  const size_t p = name.rfind('(');
  if (p == std::string::npos) return name;
  size_t n = p;
  if (n > 0 && name[n - 1] == ' ') --n;
  return name.substr(0, n);
}

void CMdf::Display(IListControl& list) {
  list.DeleteAllItems();
  ResetInfoColumns(list);
  AddRow(list, "Pathname", m_path);
  winport::File file;
  winport::File* f = &m_file;
  if (!m_open) {
    if (!file.Open(m_path, winport::FileAccess::Read, winport::FileShare::Read)) return;
    f = &file;
  }
  // The size in 64 bits, with points before the last three digits (from 1000
  // on) and before the last seven characters (above 999999).
  const uint64_t size = static_cast<uint64_t>(std::max<int64_t>(f->Size(), 0));
  const std::string digits = StrFormat("%llu", static_cast<unsigned long long>(size));
  std::string text;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    // Points go before the last three digits, and before the last seven characters
    // of the text that already holds the first point.
    if (size > 999999 && n - i == 6) text += '.';
    if (size >= 1000 && n - i == 3) text += '.';
    text += digits[i];
  }
  AddRow(list, "File size", text + " Bytes");
}

}  // namespace mdf

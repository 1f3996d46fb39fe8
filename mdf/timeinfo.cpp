// The time-information cache in the program block: writing, reading,
// correcting and deleting its records. Each operation opens the file again by
// its path and, where it writes, puts the file's times back afterwards.
//
// Nothing is written into a file whose data area is short (HasShortDataArea).
// Nothing here overwrites or cuts off bytes of another block: a new block and
// its records lie together at the end of the file (or in place of a cache
// block that ends the file), and the file is shortened only by a cache block
// that ends it.
#include <cstring>
#include <limits>

#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "platform/win32/file.h"

namespace mdf {
namespace {

constexpr uint32_t kMaxBlockLength = 0xFFFF;
constexpr const char* kTimeInfoVersion = "Version  3.00";
constexpr size_t kSignatureSize = 32;

// Where the header's program-block link lies in the file; -1 when the header
// block does not hold the whole link field within the file.
int64_t PrLinkPosition(winport::File& file, const CHeaderBlock& hd) {
  const int64_t at = hd.GetFilePos() + static_cast<int64_t>(CHeaderBlock::kPrLink);
  if (hd.GetBlockLength() < CHeaderBlock::kPrLink + 4 || at + 4 > file.Size()) return -1;
  return at;
}

bool WriteU32At(winport::File& file, int64_t at, uint32_t value) {
  uint8_t bytes[4];
  StoreU32(bytes, value);
  return file.Seek(at) && file.WriteExact(bytes, sizeof bytes);
}

bool IsTimeInfoBlock(const CPrgBlock& pr) {
  return pr.HasData() && pr.GetDataText() == CPrgBlock::kTimeStampSignature;
}

}  // namespace

int CMdf::WriteTimeInfo(const TimeInfoRecord& record) {
  if (m_dataAreaShort || !m_prWritable || !m_pHeaderBlock || !m_pPrgBlock) return 0;
  winport::File file;
  if (!file.Open(m_path, winport::FileAccess::ReadWrite, winport::FileShare::Read)) return 0;
  winport::KeepFileTimes keep(file);
  const bool written = m_timeInfoRecordsWritten == 0 ? CreateTimeInfoBlock(file, record)
                                                     : AppendTimeInfoRecord(file, record);
  if (!written) return 0;
  // The program block as it now stands in the file.
  if (file.Seek(m_writtenPrPosition)) m_pPrgBlock->Read(file);
  return 1;
}

bool CMdf::CreateTimeInfoBlock(winport::File& file, const TimeInfoRecord& record) {
  const int64_t size = file.Size();
  const int64_t linkAt = PrLinkPosition(file, *m_pHeaderBlock);
  if (size < 0 || linkAt < 0) return false;
  CPrgBlock& pr = *m_pPrgBlock;

  // A KESTRAVO file keeps the block of its special-job data; the new block goes
  // to the end and its header record says where the old data lie.
  const bool keepOld = !m_timeInfoValid && m_kestravo && m_oldPrDataPos != 0;
  const int64_t oldSize = pr.GetDataLength();
  int64_t pos = size;
  if (keepOld) {
    constexpr int64_t kMaxI32 = std::numeric_limits<int32_t>::max();
    if (m_oldPrDataPos < 0 || m_oldPrDataPos > kMaxI32 || oldSize > kMaxI32) return false;
  } else if (IsTimeInfoBlock(pr) && pr.GetFilePos() > 0 &&
             pr.GetFilePos() == m_pHeaderBlock->GetPrLink() &&
             pr.GetFilePos() + pr.GetDataLength() == size) {
    pos = pr.GetFilePos();  // a foreign cache block that ends the file is replaced in place
  }
  if (pos > std::numeric_limits<uint32_t>::max()) return false;

  const size_t length = CPrgBlock::kTimeInfoHeadSize + (keepOld ? 2 : 1) * TimeInfoRecord::kSize;
  std::vector<uint8_t> block(length, 0);
  block[0] = 'P';
  block[1] = 'R';
  StoreU16(block.data() + 2, static_cast<uint16_t>(length));
  std::memcpy(block.data() + 4, CPrgBlock::kTimeStampSignature,
              std::strlen(CPrgBlock::kTimeStampSignature) + 1);
  std::memcpy(block.data() + 4 + kSignatureSize, kTimeInfoVersion, std::strlen(kTimeInfoVersion) + 1);
  uint8_t* rec = block.data() + CPrgBlock::kTimeInfoHeadSize;
  if (keepOld) {
    StoreU32(rec, static_cast<uint32_t>(-1));
    StoreU32(rec + 4, static_cast<uint32_t>(oldSize));
    StoreU32(rec + 52, static_cast<uint32_t>(m_oldPrDataPos));
    rec += TimeInfoRecord::kSize;
  }
  std::memcpy(rec, record.bytes, TimeInfoRecord::kSize);

  // The block first, the link to it after, so that the link never points at
  // bytes not yet written.
  if (!file.Seek(pos) || !file.WriteExact(block.data(), block.size())) return false;
  const int64_t end = pos + static_cast<int64_t>(length);
  if (end < size) file.Truncate(end);  // what remains of a longer replaced block
  if (!WriteU32At(file, linkAt, static_cast<uint32_t>(pos))) return false;

  m_pHeaderBlock->SetPrLink(static_cast<Link>(pos));
  m_prPosition = pos;
  m_writtenPrPosition = pos;
  m_writtenPrLength = static_cast<uint32_t>(length);
  m_timeInfoRecordsWritten = 1;
  if (keepOld) m_oldPrDataSize = oldSize;
  return true;
}

bool CMdf::AppendTimeInfoRecord(winport::File& file, const TimeInfoRecord& record) {
  const uint32_t length = m_writtenPrLength + TimeInfoRecord::kSize;
  if (length > kMaxBlockLength) return false;
  // The records follow one another without a gap, so a record is appended
  // only while the block still ends the file.
  const int64_t end = m_writtenPrPosition + m_writtenPrLength;
  if (file.Size() != end) return false;
  if (!file.Seek(end) || !file.WriteExact(record.bytes, TimeInfoRecord::kSize)) return false;
  uint8_t head[2];
  StoreU16(head, static_cast<uint16_t>(length));
  if (!file.Seek(m_writtenPrPosition + 2) || !file.WriteExact(head, sizeof head)) return false;
  m_writtenPrLength = length;
  ++m_timeInfoRecordsWritten;
  return true;
}

int CMdf::ReadTimeInfo(TimeInfoRecord& out, int32_t key) {
  out = TimeInfoRecord{};
  if (m_prWritable || !m_timeInfoValid || !m_pHeaderBlock || !m_pPrgBlock) return 0;
  winport::File own;
  winport::File* file = &m_file;
  if (!m_open) {
    if (!own.Open(m_path, winport::FileAccess::Read, winport::FileShare::Read)) return 0;
    file = &own;
  }
  // Only whole records within the block count.
  const int64_t prLink = m_pHeaderBlock->GetPrLink();
  const int64_t end = prLink + m_pPrgBlock->GetDataLength();
  for (int64_t pos = prLink + static_cast<int64_t>(CPrgBlock::kTimeInfoHeadSize);
       pos + static_cast<int64_t>(TimeInfoRecord::kSize) <= end; pos += TimeInfoRecord::kSize) {
    TimeInfoRecord record;
    if (!file->Seek(pos) || !file->ReadExact(record.bytes, TimeInfoRecord::kSize)) break;
    if (record.Key() == key) {
      out = record;
      return 1;
    }
  }
  return 0;
}

int CMdf::CorrectTimeInfo(const TimeInfoRecord& record, int32_t key) {
  if (m_dataAreaShort || !m_timeInfoValid || !m_pHeaderBlock || !m_pPrgBlock) return 0;
  winport::File file;
  if (!file.Open(m_path, winport::FileAccess::ReadWrite, winport::FileShare::Read)) return 0;
  winport::KeepFileTimes keep(file);
  const int64_t prLink = m_pHeaderBlock->GetPrLink();
  const int64_t end = prLink + m_pPrgBlock->GetDataLength();
  for (int64_t pos = prLink + static_cast<int64_t>(CPrgBlock::kTimeInfoHeadSize);
       pos + static_cast<int64_t>(TimeInfoRecord::kSize) <= end; pos += TimeInfoRecord::kSize) {
    TimeInfoRecord stored;
    // The block was read whole at the open: records that end early mean the file changed.
    if (!file.Seek(pos) || !file.ReadExact(stored.bytes, TimeInfoRecord::kSize)) return 0;
    if (stored.Key() == key) {
      if (file.Seek(pos)) file.WriteExact(record.bytes, TimeInfoRecord::kSize);
      break;
    }
  }
  return 1;
}

int CMdf::DeleteTimeInfo() {
  if (m_dataAreaShort || !m_prWritable || !m_pHeaderBlock || !m_pPrgBlock) return 0;
  CPrgBlock& pr = *m_pPrgBlock;
  // Only time information is deleted; a block of other data (special-job data)
  // stays as it is, linked.
  if (pr.HasData() && !IsTimeInfoBlock(pr)) return 1;

  winport::File file;
  if (!file.Open(m_path, winport::FileAccess::Write, winport::FileShare::Read)) return 0;
  int64_t newSize;
  {
    winport::KeepFileTimes keep(file);
    const int64_t size = file.Size();
    const Link link = m_pHeaderBlock->GetPrLink();
    if (link != 0) {
      const int64_t linkAt = PrLinkPosition(file, *m_pHeaderBlock);
      if (linkAt < 0 || !WriteU32At(file, linkAt, 0)) return 0;
      // The block is cut off only when nothing follows it.
      if (pr.HasData() && pr.GetFilePos() == link && link + int64_t{pr.GetDataLength()} == size)
        file.Truncate(link);
    }
    newSize = file.Size();
  }
  file.Close();

  m_pHeaderBlock->SetPrLink(0);
  m_pPrgBlock = std::make_unique<CPrgBlock>(this);
  m_pPrgBlock->SetFilePos(newSize);
  m_prPosition = newSize;
  m_timeInfoRecordsWritten = 0;
  m_writtenPrPosition = 0;
  m_writtenPrLength = 0;
  return 1;
}

void CMdf::DeletePRBlock() {
  if (m_dataAreaShort || !m_timeInfoValid || !m_pHeaderBlock || !m_pPrgBlock) return;
  const Link link = m_pHeaderBlock->GetPrLink();
  if (link == 0 || (m_kestravo && m_oldPrDataPos != 0)) return;
  winport::File file;
  if (!file.Open(m_path, winport::FileAccess::ReadWrite, winport::FileShare::Read)) return;
  winport::KeepFileTimes keep(file);
  const int64_t linkAt = PrLinkPosition(file, *m_pHeaderBlock);
  if (linkAt < 0 || !WriteU32At(file, linkAt, 0)) return;
  m_pPrgBlock->DropData();
  if (link + int64_t{m_pPrgBlock->GetDataLength()} == file.Size()) file.Truncate(link);
}

}  // namespace mdf

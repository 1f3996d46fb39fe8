// The readers of a data group's records: from the file (one channel, a
// channel with its time channel, or every channel asked in one pass) and
// from records in memory.
#include "mdf/datablock.h"

#include <algorithm>
#include <cstring>

#include "mdf/ccblock.h"
#include "mdf/decode_kernels.h"
#include "mdf/record_types.h"
#include "mdf/group_decoder.h"
#include "mdf/mdf.h"
#include "mdf/raw_copy.h"
#include "mdf/record_chunks.h"
#include "mdf/time_novalue.h"
#include "platform/win32/file.h"

namespace mdf {

using namespace detail;

CDataBlock::CDataBlock(CDGBlock* dg, CMdf* mdf) : CMdfBlock("CDataBlock"), m_pDG(dg), m_pFile(mdf) {
  m_pMdf = mdf;
}

CDataBlock::~CDataBlock() = default;

const CCCBlock* CDataBlock::GetEffectiveConversion(const CCCBlock* cc) {
  if (!cc) return nullptr;
  if (cc->GetType() == CCCBlock::kIdentity) return nullptr;
  if (cc->GetType() == CCCBlock::kLinear && cc->GetParams()[1] == 1 && cc->GetParams()[0] == 0)
    return nullptr;
  return cc;
}

uint32_t CDataBlock::RawElementSize(const CCNBlock* cn) {
  if (!cn || cn->GetNumberOfBits() == 0) return 0;
  return ContainerSize(StoredBytes(cn->GetDataType(), cn->GetStartOffset() & 7u, cn->GetNumberOfBits()));
}

uint32_t CDataBlock::GetRecordLength() const {
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  return cg ? static_cast<uint32_t>(cg->GetRecordSize()) + m_pDG->GetNumberOfRecordIds() : 0;
}

uint32_t CDataBlock::GetNumberOfRecords() const {
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  return cg ? cg->GetNumberOfRecords() : 0;
}

void CDataBlock::SetDataEnd(int64_t end) { m_dataEnd = end; }

uint32_t CDataBlock::GetRecordsInFile() const {
  if (m_dataEnd != kUnbounded) return CutToAvailable(0, GetNumberOfRecords(), m_dataEnd);
  ReadStream file(m_pFile);
  return file ? CutToAvailable(0, GetNumberOfRecords(), file->Size()) : 0;
}

uint32_t CDataBlock::CutToAvailable(uint32_t firstRecord, uint32_t count, int64_t fileSize) const {
  const uint32_t length = GetRecordLength();
  if (length == 0 || !m_pDG) return 0;
  const int64_t end = std::min(fileSize, m_dataEnd);
  const int64_t dataPos = m_pDG->GetDataLink();
  const uint64_t inFile = end > dataPos ? static_cast<uint64_t>(end - dataPos) / length : 0;
  const uint64_t available = std::min<uint64_t>(GetNumberOfRecords(), inFile);
  if (firstRecord >= available) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(count, available - firstRecord));
}

bool CDataBlock::IsMotorolaDefault() const {
  const CIDBlock* id = m_pFile ? m_pFile->GetIDBlock() : nullptr;
  return id && id->GetByteOrder() != 0;
}

RecordLayout CDataBlock::Layout() const {
  return {GetRecordLength(), m_pDG ? m_pDG->GetNumberOfRecordIds() : uint16_t{0}, IsMotorolaDefault()};
}

bool CDataBlock::LiesWithinRecord(const CCNBlock* cn) const {
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  if (!cn || !cg) return false;
  const uint32_t bits = cn->GetNumberOfBits();
  if (bits == 0) return false;
  const uint64_t end = uint64_t{cn->GetStartOffset()} + bits + 8 * uint64_t{cn->GetAdditionalByteOffset()};
  return end <= 8 * uint64_t{cg->GetRecordSize()};
}

bool CDataBlock::DeliversValues(const CCNBlock* cn) const {
  return LiesWithinRecord(cn) && HasNumericForm(Classify(cn->GetDataType(), false).kind, cn->GetNumberOfBits());
}

bool CDataBlock::HasStoredValues(const CCNBlock* cn, bool withTexts) const {
  return LiesWithinRecord(cn) && HasStoredForm(Classify(cn->GetDataType(), false).kind, cn->GetNumberOfBits(),
                                               withTexts ? RawReader::ValuesAndTime : RawReader::Values);
}

uint32_t CDataBlock::GetRawDataContent(CCNBlock* cn, std::span<uint8_t> dest, uint32_t firstRecord,
                                       uint32_t count) {
  const uint32_t element = RawElementSize(cn);
  if (element == 0 || !HasStoredValues(cn, false)) return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(count, dest.size() / element));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  const RawCopier copier = MakeRawCopier(*cn, Layout());
  const uint32_t done =
      ReadRecordChunks(*file, m_pDG->GetDataLink(), length, firstRecord, count,
                       [&](const uint8_t* chunk, size_t before, size_t n) {
                         uint8_t* out = dest.data() + before * element;
                         CopyRawRecords(copier, chunk, length, n, out);
                       });
  if (done > 0 && copier.isDouble && ReplacesTimeNoValues(m_pFile, *cn))
    ReplaceInRawDoubles(*cn, dest.data(), done, firstRecord);
  return done;
}

uint32_t CDataBlock::CopyRawValues(const CCNBlock* cn, std::span<const uint8_t> records, std::span<uint8_t> dest,
                                   uint32_t firstRecord, uint32_t count, uint32_t bufferFirstRecord) const {
  const uint32_t element = RawElementSize(cn);
  const uint32_t length = GetRecordLength();
  if (element == 0 || length == 0 || !HasStoredValues(cn, false)) return 0;
  const uint64_t inBuffer = records.size() / length;
  const uint64_t absoluteFirst = uint64_t{bufferFirstRecord} + firstRecord;
  const uint64_t inGroup = GetNumberOfRecords();
  if (firstRecord >= inBuffer || absoluteFirst >= inGroup) return 0;
  const size_t n = static_cast<size_t>(
      std::min<uint64_t>({count, dest.size() / element, inBuffer - firstRecord, inGroup - absoluteFirst}));
  const RawCopier copier = MakeRawCopier(*cn, Layout());
  const uint8_t* record = records.data() + size_t{firstRecord} * length;
  CopyRawRecords(copier, record, length, n, dest.data());
  return static_cast<uint32_t>(n);
}

uint32_t CDataBlock::GetDataAndTimeContent(CCNBlock* value, CCNBlock* time, std::span<uint8_t> valueDest,
                                           std::span<uint8_t> timeDest, uint32_t firstRecord,
                                           uint32_t count) {
  const uint32_t valueElement = RawElementSize(value), timeElement = RawElementSize(time);
  if (valueElement == 0 || timeElement == 0 || !HasStoredValues(value, true) || !HasStoredValues(time, true))
    return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(
      {count, valueDest.size() / valueElement, timeDest.size() / timeElement}));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  const RawCopier valueCopier = MakeRawCopier(*value, Layout());
  const RawCopier timeCopier = MakeRawCopier(*time, Layout());
  const uint32_t done = ReadRecordChunks(
      *file, m_pDG->GetDataLink(), length, firstRecord, count, [&](const uint8_t* chunk, size_t before, size_t n) {
        for (size_t i = 0; i < n; ++i) {
          const uint8_t* record = chunk + i * length;
          CopyRaw(valueCopier, record, valueDest.data() + (before + i) * valueElement);
          CopyRaw(timeCopier, record, timeDest.data() + (before + i) * timeElement);
        }
      });
  if (done > 0) {
    if (valueCopier.isDouble && ReplacesTimeNoValues(m_pFile, *value))
      ReplaceInRawDoubles(*value, valueDest.data(), done, firstRecord);
    if (timeCopier.isDouble && ReplacesTimeNoValues(m_pFile, *time))
      ReplaceInRawDoubles(*time, timeDest.data(), done, firstRecord);
  }
  return done;
}

uint32_t CDataBlock::GetDoubleContent(CCNBlock* cn, std::span<double> dest, uint32_t firstRecord,
                                      uint32_t count, bool convert) {
  if (!DeliversValues(cn)) return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(count, dest.size()));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  const Decoder decoder = MakeDecoder(*cn, Layout(), convert);
  const uint32_t done = ReadRecordChunks(*file, m_pDG->GetDataLink(), length, firstRecord, count,
                                         [&](const uint8_t* chunk, size_t before, size_t n) {
                                           RunDecoder(decoder, chunk, n, dest.data() + before);
                                         });
  if (done > 0 && ReplacesTimeNoValues(m_pFile, *cn)) ReplaceInDoubles(*cn, dest.data(), done, firstRecord, false);
  return done;
}

uint32_t CDataBlock::DecodeValues(CCNBlock* cn, std::span<const uint8_t> records, std::span<double> dest,
                                  uint32_t firstRecord, uint32_t count, bool convert,
                                  uint32_t bufferFirstRecord) const {
  const uint32_t length = GetRecordLength();
  if (length == 0 || !DeliversValues(cn)) return 0;
  const uint64_t inBuffer = records.size() / length;
  const uint64_t absoluteFirst = static_cast<uint64_t>(bufferFirstRecord) + firstRecord;
  const uint64_t inGroup = GetNumberOfRecords();
  if (firstRecord >= inBuffer || absoluteFirst >= inGroup) return 0;
  const size_t n = static_cast<size_t>(
      std::min<uint64_t>({count, dest.size(), inBuffer - firstRecord, inGroup - absoluteFirst}));
  const Decoder decoder = MakeDecoder(*cn, Layout(), convert);
  RunDecoder(decoder, records.data() + static_cast<size_t>(firstRecord) * length, n, dest.data());
  if (n > 0 && ReplacesTimeNoValues(m_pFile, *cn)) ReplaceInDoubles(*cn, dest.data(), n, absoluteFirst, true);
  return static_cast<uint32_t>(n);
}

uint32_t CDataBlock::ReadChannelValues(winport::File& file, CCNBlock* cn, std::span<double> dest,
                                       uint32_t firstRecord, uint32_t count, bool convert) const {
  if (!DeliversValues(cn) || !file.IsOpen()) return 0;
  count = static_cast<uint32_t>(std::min<uint64_t>(count, dest.size()));
  count = CutToAvailable(firstRecord, count, file.Size());
  const uint32_t length = GetRecordLength();
  const Decoder decoder = MakeDecoder(*cn, Layout(), convert);
  return ReadRecordChunks(file, m_pDG->GetDataLink(), length, firstRecord, count,
                          [&](const uint8_t* chunk, size_t before, size_t n) {
                            RunDecoder(decoder, chunk, n, dest.data() + before);
                          });
}

uint32_t CDataBlock::ReadGroupValues(std::span<CCNBlock* const> channels, std::span<const std::span<double>> outputs,
                                     uint32_t firstRecord, uint32_t count, GroupDecodeOptions options) {
  if (outputs.size() != channels.size()) return 0;
  // The replacement runs over the whole range once every chunk is decoded.
  CGroupDecoder decoder(*this, channels, {options.convert, false});
  for (size_t k = 0; k < channels.size(); ++k)
    if (decoder.Delivers(k)) count = static_cast<uint32_t>(std::min<uint64_t>(count, outputs[k].size()));
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  std::vector<std::span<double>> shifted(outputs.size());
  const uint32_t done = ReadRecordChunks(
      *file, m_pDG->GetDataLink(), length, firstRecord, count, [&](const uint8_t* chunk, size_t before, size_t n) {
        for (size_t k = 0; k < outputs.size(); ++k)
          if (decoder.Delivers(k)) shifted[k] = outputs[k].subspan(before, n);
        decoder.Decode(std::span<const uint8_t>(chunk, n * length), shifted, 0, static_cast<uint32_t>(n),
                       firstRecord + static_cast<uint32_t>(before));
      }, kGroupChunkBytes);
  if (done > 0 && options.replaceTimeNoValues)
    for (size_t k = 0; k < channels.size(); ++k)
      if (decoder.Delivers(k) && ReplacesTimeNoValues(m_pFile, *channels[k]))
        ReplaceInDoubles(*channels[k], outputs[k].data(), done, firstRecord, true);
  return done;
}

uint32_t CDataBlock::ReadGroupChunks(std::span<CCNBlock* const> channels, bool convert, uint32_t firstRecord,
                                     uint32_t count, const ChunkFn& fn, const PlaceFn& place) {
  CGroupDecoder decoder(*this, channels, {convert, false});
  ReadStream file(m_pFile);
  if (!file) return 0;
  count = CutToAvailable(firstRecord, count, file->Size());
  const uint32_t length = GetRecordLength();
  if (length == 0) return 0;
  // Chunks of whole records, with one array of values per channel.
  const size_t perChunk = std::min<size_t>(count, std::max<size_t>(1, kGroupChunkBytes / length));
  std::vector<std::vector<double>> values(channels.size());
  std::vector<std::span<double>> spans(channels.size());
  for (size_t k = 0; k < channels.size(); ++k) values[k].assign(perChunk, 0.0);
  return ReadRecordChunks(
      *file, m_pDG->GetDataLink(), length, firstRecord, count,
      [&](const uint8_t* chunk, size_t before, size_t n) {
        for (size_t k = 0; k < channels.size(); ++k) spans[k] = std::span(values[k]).first(n);
        const std::span<const uint8_t> records(chunk, n * length);
        const uint32_t first = firstRecord + static_cast<uint32_t>(before);
        if (place) {
          place(first, static_cast<uint32_t>(n), spans);
          for (size_t k = 0; k < channels.size(); ++k)
            if (spans[k].size() != n) spans[k] = std::span(values[k]).first(n);  // a place of another size is not taken
        }
        decoder.Decode(records, spans, 0, static_cast<uint32_t>(n), first);
        fn(first, records, spans);
      },
      kGroupChunkBytes);
}

bool CDataBlock::LoadRecord(uint32_t index) {
  m_recordIndex = -1;
  const uint32_t length = GetRecordLength();
  if (length == 0) return false;
  ReadStream file(m_pFile);
  if (!file || CutToAvailable(index, 1, file->Size()) == 0) return false;
  m_record.assign(length, 0);
  const int64_t pos = static_cast<int64_t>(m_pDG->GetDataLink()) + static_cast<int64_t>(index) * length;
  if (!file->Seek(pos) || !file->ReadExact(m_record.data(), length)) return false;
  m_recordIndex = index;
  return true;
}

}  // namespace mdf

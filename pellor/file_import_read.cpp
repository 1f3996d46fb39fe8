// The value side of Read and ReadEx: value caches, reads from the file, the
// NoValue marking of files of the KESTRAVO writer and the time values of ReadEx.
#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "importcore/host_types.h"
#include "importcore/le.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "pellor/file_import.h"

namespace pellor {
namespace {

using importcore::DTypSize;

// Samples per read from the file: the reused buffers stay this small.
constexpr uint32_t kChunk = 65536;

// A signal's values take Demux bytes each, the size of its DTyp.
bool HasReadableValues(const SignalRecord& r) {
  return r.Demux > 0 && DTypSize(r.DTyp) == static_cast<uint32_t>(r.Demux);
}

// The channel of type "time" in the signal's channel group.
const mdf::CCNBlock* GroupTimeChannel(const SignalRecord& r) {
  if (!r.channelGroup) return nullptr;
  for (const mdf::CCNBlock* cn = r.channelGroup->GetFirstCN(); cn; cn = cn->GetNext())
    if (cn->GetChannelType() == 1) return cn;
  return nullptr;
}

mdf::CDataBlock* DataBlockOf(const SignalRecord& r) { return r.dataGroup ? r.dataGroup->GetDataBlock() : nullptr; }

// How a group pass fills a signal's cache with the bytes ReadSamples gives:
// the stored elements, decoded doubles (converted or not), or raw doubles
// stored in the DTyp.
enum class Fill { None, Raw, Doubles, Converted, Samples };

Fill FillOf(const SignalRecord& r) {
  if (!r.channel || r.cache.valid || !HasReadableValues(r)) return Fill::None;
  const uint16_t type = r.channel->GetDataType();
  if (type > 16 || (type >= 4 && type <= 8)) return Fill::None;  // no numeric form: read one by one
  if (ReadsDoubles(r)) {
    if (r.DTyp != importcore::dtyp::kFloat64) return Fill::None;
    return ReadsConverted(r) ? Fill::Converted : Fill::Doubles;
  }
  if (mdf::CDataBlock::RawElementSize(r.channel) == static_cast<uint32_t>(r.Demux)) return Fill::Raw;
  return Fill::Samples;
}

}  // namespace

void FileImport::FreeCache(SignalRecord& record) {
  m_cachedBytes -= std::min(m_cachedBytes, record.cache.counted);
  record.cache = ValueCache();
}

bool FileImport::ReadSignalBytes(SignalRecord& record, uint64_t offset, uint64_t bytes, uint8_t* buffer) {
  if (!HasReadableValues(record)) return false;  // no values of its DTyp: nothing to deliver
  if (record.cache.valid && record.cache.type != record.DTyp) FreeCache(record);
  if (!record.cache.valid) MakeCache(record);
  if (record.cache.valid) {
    const auto& cache = record.cache.bytes;
    if (offset < cache.size()) std::memcpy(buffer, cache.data() + offset, std::min<uint64_t>(bytes, cache.size() - offset));
    return true;
  }
  // From the file: the whole samples around [offset, offset + bytes), in bounded steps.
  const uint32_t size = static_cast<uint32_t>(record.Demux);
  for (uint64_t done = 0; done < bytes;) {
    const uint64_t at = offset + done;
    const uint32_t first = static_cast<uint32_t>(at / size);
    const uint32_t skip = static_cast<uint32_t>(at % size);
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kChunk, (skip + bytes - done + size - 1) / size));
    m_sampleBytes.resize(static_cast<size_t>(count) * size);
    if (ReadSamples(record, first, count, m_sampleBytes.data()) < count) return false;
    const uint64_t take = std::min<uint64_t>(bytes - done, m_sampleBytes.size() - skip);
    std::memcpy(buffer + done, m_sampleBytes.data() + skip, take);
    done += take;
  }
  return true;
}

bool FileImport::AllowsCache(const SignalRecord& record) const {
  return m_cachedBytes + uint64_t{record.NoOfValues} * 8 < m_params.MemoryLimit();
}

bool FileImport::MakeCache(SignalRecord& record) {
  if (!AllowsCache(record)) return false;
  if (!m_kestravo && FillOf(record) != Fill::None && DataBlockOf(record)) return FillGroupCaches(record);
  ValueCache cache;
  const uint64_t bytes = uint64_t{record.NoOfValues} * static_cast<uint32_t>(record.Demux);
  try {
    if (m_failCacheAllocations) throw std::bad_alloc();
    cache.bytes.resize(bytes);
  } catch (const std::bad_alloc&) {
    return false;  // read from the file instead
  }
  // A cache holds every value or none: one that came short would deliver
  // what the file did not give.
  if (ReadSamples(record, 0, record.NoOfValues, cache.bytes.data()) < record.NoOfValues) return false;
  cache.type = record.DTyp;
  cache.valid = true;
  cache.physical = DeliversPhysical(record);
  cache.counted = bytes;
  m_cachedBytes += bytes;
  record.cache = std::move(cache);
  return true;
}

bool FileImport::FillGroupCaches(SignalRecord& first) {
  // The signals of the group whose caches one pass fills: the one asked
  // for, then the others in list order while the memory limit allows.
  struct Member {
    SignalRecord* record;
    Fill fill;
    size_t channel;  // in the pass's list of plain or converted channels
  };
  std::vector<Member> members;
  std::vector<mdf::CCNBlock*> plain, converted;
  mdf::CDataBlock* block = DataBlockOf(first);
  const auto admit = [&](SignalRecord& r) {
    const Fill fill = FillOf(r);
    if (fill == Fill::None || !AllowsCache(r)) return false;
    // Only channels whose values the pass gives: no cache is left unfilled.
    if (fill == Fill::Raw ? !block->HasStoredValues(r.channel, false) : !block->DeliversValues(r.channel)) return false;
    const uint64_t bytes = uint64_t{r.NoOfValues} * static_cast<uint32_t>(r.Demux);
    try {
      if (m_failCacheAllocations) throw std::bad_alloc();
      r.cache.bytes.resize(bytes);
    } catch (const std::bad_alloc&) {
      FreeCache(r);
      return false;
    }
    r.cache.counted = bytes;
    m_cachedBytes += bytes;
    std::vector<mdf::CCNBlock*>& list = fill == Fill::Converted ? converted : plain;
    members.push_back({&r, fill, list.size()});
    if (fill != Fill::Raw) list.push_back(r.channel);
    return true;
  };
  if (!admit(first)) return false;
  for (SignalRecord& r : m_lists->signals)
    if (&r != &first && r.dataGroup == first.dataGroup && r.channelGroup == first.channelGroup &&
        r.NoOfValues == first.NoOfValues)
      admit(r);

  std::optional<mdf::CGroupDecoder> convert;
  if (!converted.empty()) convert.emplace(*block, converted, mdf::GroupDecodeOptions{true, false});
  std::vector<std::span<double>> convertedOut(converted.size());
  const auto at = [](const Member& m, uint32_t record) {
    return m.record->cache.bytes.data() + uint64_t{record} * static_cast<uint32_t>(m.record->Demux);
  };
  // Doubles go straight into their caches; the other decoded values are stored from the pass's arrays.
  const auto place = [&](uint32_t firstRecord, uint32_t count, std::span<std::span<double>> places) {
    for (const Member& m : members)
      if (m.fill == Fill::Doubles) places[m.channel] = std::span(reinterpret_cast<double*>(at(m, firstRecord)), count);
  };
  const auto chunk = [&](uint32_t firstRecord, std::span<const uint8_t> records,
                         std::span<const std::span<double>> values) {
    const uint32_t count = static_cast<uint32_t>(values.empty() ? records.size() / block->GetRecordLength()
                                                                : values.front().size());
    for (const Member& m : members) {
      uint8_t* dest = at(m, firstRecord);
      const uint32_t size = static_cast<uint32_t>(m.record->Demux);
      if (m.fill == Fill::Raw) {
        block->CopyRawValues(m.record->channel, records, std::span<uint8_t>(dest, uint64_t{count} * size), 0, count,
                             firstRecord);
      } else if (m.fill == Fill::Samples) {
        for (uint32_t i = 0; i < count; ++i) importcore::DoubleToSample(values[m.channel][i], m.record->DTyp, dest + uint64_t{i} * size);
      } else if (m.fill == Fill::Converted) {
        convertedOut[m.channel] = std::span(reinterpret_cast<double*>(dest), count);
      }
    }
    if (convert) convert->Decode(records, convertedOut, 0, count, firstRecord);
  };
  const uint32_t got = block->ReadGroupChunks(plain, false, 0, first.NoOfValues, chunk, place);
  if (got < first.NoOfValues) {
    // The read came short: no cache holds what was never filled.
    for (const Member& m : members) FreeCache(*m.record);
    return false;
  }
  for (const Member& m : members) {
    ValueCache& cache = m.record->cache;
    cache.type = m.record->DTyp;
    cache.valid = true;
    cache.physical = DeliversPhysical(*m.record);
  }
  return true;
}

uint32_t FileImport::ReadSamples(SignalRecord& record, uint32_t first, uint32_t count, uint8_t* out) {
  const uint32_t size = static_cast<uint32_t>(record.Demux);
  mdf::CDataBlock* block = DataBlockOf(record);
  uint32_t got = 0;
  if (block && record.channel) {
    if (!ReadsDoubles(record) && mdf::CDataBlock::RawElementSize(record.channel) == size) {
      got = block->GetRawDataContent(record.channel, std::span<uint8_t>(out, uint64_t{count} * size), first, count);
    } else {
      // Doubles, or a channel whose stored form is not the DTyp's: decoded and stored in the DTyp.
      const bool convert = ReadsDoubles(record) && ReadsConverted(record);
      while (got < count) {
        const uint32_t k = std::min(kChunk, count - got);
        m_scratch.resize(k);
        const uint32_t n = block->GetDoubleContent(record.channel, m_scratch, first + got, k, convert);
        for (uint32_t i = 0; i < n; ++i)
          importcore::DoubleToSample(m_scratch[i], record.DTyp, out + uint64_t{got + i} * size);
        got += n;
        if (n < k) break;
      }
    }
  }
  MarkNoValues(record, first, got, DeliversPhysical(record), out);
  return got;
}

void FileImport::MarkNoValues(const SignalRecord& record, uint32_t first, uint32_t count, bool physical,
                              uint8_t* values) {
  if (!m_kestravo || record.isTime || !record.HasNoValue || count == 0) return;
  const mdf::CCNBlock* time = GroupTimeChannel(record);
  mdf::CDataBlock* block = DataBlockOf(record);
  if (!time || !time->IsNoValueSet() || !block) return;
  // The list of records with an invalid time comes from decoding the time
  // channel; when no read has decoded it yet, decode it now, so that what is
  // marked does not depend on the order in which the host reads signals.
  if (!time->HasReplacedSampleList() && m_scannedTimeChannels.insert(time).second) {
    auto* cn = const_cast<mdf::CCNBlock*>(time);
    const uint32_t records = block->GetNumberOfRecords();
    for (uint32_t at = 0; at < records;) {
      const uint32_t k = std::min(kChunk, records - at);
      m_scratch.resize(k);
      const uint32_t n = block->GetDoubleContent(cn, m_scratch, at, k, true);
      if (n == 0) break;
      at += n;
    }
  }
  const std::vector<uint32_t>& invalid = time->ReplacedSamples();
  if (invalid.empty()) return;
  double mark = record.NoValue;
  if (!physical && record.YFactor != 0.0) mark = (record.NoValue - record.YOffset) / record.YFactor;
  const uint32_t size = DTypSize(record.DTyp);
  uint8_t stored[8] = {};
  importcore::DoubleToSample(mark, record.DTyp, stored);
  const uint64_t end = std::min<uint64_t>(uint64_t{first} + count, record.NoOfValues);
  for (auto it = std::lower_bound(invalid.begin(), invalid.end(), first); it != invalid.end() && *it < end; ++it)
    std::memcpy(values + uint64_t{*it - first} * size, stored, size);
}

bool FileImport::ReadTimes(SignalRecord& time, uint32_t first, uint32_t count, uint8_t* out) {
  if (time.cache.valid) {
    const uint32_t size = DTypSize(time.cache.type);
    const uint64_t held = size ? time.cache.bytes.size() / size : 0;
    const uint32_t have = static_cast<uint32_t>(std::min<uint64_t>(count, first < held ? held - first : 0));
    for (uint32_t done = 0; done < have;) {
      const uint32_t k = std::min(kChunk, have - done);
      m_timeScratch.resize(k);
      importcore::SamplesToDouble(time.cache.bytes.data() + uint64_t{first + done} * size, time.cache.type, m_timeScratch);
      for (double& t : m_timeScratch) t = t * time.YFactor + time.YOffset;
      std::memcpy(out + uint64_t{done} * 8, m_timeScratch.data(), uint64_t{k} * 8);
      done += k;
    }
    // A cache is only kept whole, so it holds every time asked for; times it
    // lacks are never made up.
    return have == count;
  }
  if (!HasReadableValues(time)) return false;
  const uint32_t size = static_cast<uint32_t>(time.Demux);
  for (uint32_t done = 0; done < count;) {
    const uint32_t k = std::min(kChunk, count - done);
    m_sampleBytes.resize(uint64_t{k} * size);
    if (ReadSamples(time, first + done, k, m_sampleBytes.data()) < k) return false;
    m_timeScratch.resize(k);
    importcore::SamplesToDouble(m_sampleBytes.data(), time.DTyp, m_timeScratch);
    for (double& t : m_timeScratch) t = t * time.YFactor + time.YOffset;
    std::memcpy(out + uint64_t{done} * 8, m_timeScratch.data(), uint64_t{k} * 8);
    done += k;
  }
  return true;
}

}  // namespace pellor

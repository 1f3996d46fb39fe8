// The value range of a signal: from its channel's blocks (ComputeSignalRange),
// from its channel's values (the loader's FindMinMax), and widened for
// display (WidenRange).
#include "pellor/ranges.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include <new>
#include <vector>

#include "importcore/host_types.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "pellor/file_import.h"
#include "pellor/loader_internal.h"
#include "pellor/progress.h"
#include "platform/win32/file.h"
#include "platform/win32/system.h"

namespace pellor {

using mdf::CCCBlock;
using mdf::CCNBlock;

namespace {

constexpr uint16_t kOwnMarker = 0xAAB;
// Readers from this version on take the format's own range-valid flag of a KESTRAVO file.
constexpr uint16_t kRangeFlagReaderVersion = 516;

// A linear conversion that changes nothing, or a text table: a constant gets a range from just below 0.
bool IsIdentityOrTextTable(const CCCBlock* cc) {
  if (!cc) return false;
  if (cc->GetType() == CCCBlock::kTextTable) return true;
  return cc->GetType() == CCCBlock::kLinear && cc->GetSize() == 2 && cc->GetParams()[1] == 1.0 &&
         cc->GetParams()[0] == 0.0;
}

// The range around a constant value v.
std::pair<double, double> AroundConstant(const CCCBlock* cc, double v) {
  if (IsIdentityOrTextTable(cc)) {
    if (v == 0) return {-0.1, 1.1};
    return v > 0 ? std::pair{-0.1, 1.1 * v} : std::pair{1.1 * v, 0.1};
  }
  return {v - 1, v + 1};
}

}  // namespace

int ComputeSignalRange(CCNBlock& channel, SignalRecord& signal, const LoaderSettings& settings, const mdf::CMdf& mdf) {
  signal.axisValues = 1;
  CCCBlock* cc = channel.GetConversion();
  const uint16_t w = channel.IsRangeValid();
  const bool own = (w >> 4) == kOwnMarker;
  bool set = false;
  if (w != 0 && !(settings.rangeFlags & ParameterBlock::kRangeOverwrite)) {
    if (mdf.IsKestravo()) {
      if ((w == 1 && mdf.GetReaderVersion() > kRangeFlagReaderVersion) || own) {
        const double min = channel.GetMinRaw(), max = channel.GetMaxRaw();
        channel.SetRunningRaw(min, max);
        const auto [lo, hi] = ConvertedRange(cc, min, max);
        if (cc) channel.SetRunningPhys(lo, hi);
        signal.YMin = lo;
        signal.YMax = hi;
        set = true;
      }
    } else if (own) {
      double min = channel.GetMinRaw(), max = channel.GetMaxRaw();
      if (min == max) {
        if (min != 0)
          std::tie(min, max) = std::minmax(min - min / 10, min + min / 10);
        else
          min = -1.0, max = 1.0;
      }
      std::tie(signal.YMin, signal.YMax) = ConvertedRange(cc, min, max);
      set = true;
    }
  }
  signal.YFactor = 1.0;
  signal.YOffset = 0.0;
  if (!cc) return set ? 0 : 1;

  if (!set && cc->IsRangeValid()) {
    std::tie(signal.YMin, signal.YMax) = std::minmax(cc->GetMinPhys(), cc->GetMaxPhys());
    set = true;
  } else if (cc->GetType() == CCCBlock::kTextTable && signal.YMin == signal.YMax) {
    signal.YMin = 0;
    signal.YMax = static_cast<double>(cc->GetTextTable().size()) - 1;
    set = true;
  }
  signal.YUnit = cc->GetUnit();
  const uint16_t type = channel.GetDataType();
  if (cc->GetType() == CCCBlock::kLinear && !set && !settings.fillRange && (type == 0 || type == 1)) {
    double max = 0;
    const double min = channel.GetPhysicalRange(max);
    signal.YMin = min;
    signal.YMax = max;
    set = true;
  }
  return set ? 0 : 1;
}

bool WidenRange(SignalRecord& signal, const CCNBlock& channel, double min, double max, const LoaderSettings& settings) {
  if (!(settings.rangeFlags & ParameterBlock::kRangeNice)) return false;
  if (min != max) {
    const double d = (max - min) * 0.1;
    min -= d;
    max += d;
  } else {
    std::tie(min, max) = AroundConstant(channel.GetConversion(), min);
  }
  signal.YDataMin = signal.YMin;
  signal.YMin = min;
  signal.YDataMax = signal.YMax;
  signal.YMax = max;
  return true;
}

void DataGroupLoader::FindMinMax(CCNBlock& channel, SignalRecord& signal, CCNBlock* time, mdf::CDGBlock& group,
                                 ProgressRecord* progress) {
  Trace("FindMinMax begin\n");
  mdf::CDataBlock* data = group.GetDataBlock();
  const uint32_t length = data ? data->GetRecordLength() : 0;
  const uint32_t n = data ? RecordsOf(group) : 0;
  if (n == 0) return;
  const bool kestravo = m_mdf.IsKestravo();
  const bool withTimes = kestravo && time != nullptr;

  // Values per chunk, and whether the group's records fit the memory of one chunk.
  uint64_t capBytes = kChunkByteLimit;
  if (m_settings.chunkRecords == 0) {
    MEMORYSTATUS status{};
    GlobalMemoryStatus(&status);
    capBytes = std::min<uint64_t>(status.dwAvailPhys, kChunkByteLimit);
  }
  const uint32_t chunkValues = static_cast<uint32_t>(std::max<uint64_t>(
      1, std::min<uint64_t>(n, m_settings.chunkRecords ? m_settings.chunkRecords : capBytes / 8)));
  const bool oneChunk = chunkValues >= n;
  const uint64_t groupBytes = uint64_t{n} * length;
  const bool groupFits = m_settings.chunkRecords ? n <= m_settings.chunkRecords : groupBytes <= capBytes;

  std::vector<double> values, times;
  try {
    if (Fails(kAllocChunkTimes)) throw std::bad_alloc();
    values.resize(chunkValues);
    if (withTimes) times.resize(chunkValues);
  } catch (const std::bad_alloc&) {
    return;
  }

  // A signal's NoValue among the raw values; stamps of a KESTRAVO time
  // channel that are NoValue (or that the decoder replaced) leave their record out.
  const CCCBlock* cc = channel.GetConversion();
  const bool hasNoValue = signal.HasNoValue != 0;
  const double rawNoValue = mdf::InverseLinear(cc, signal.NoValue);
  const bool qnan = channel.IsNoValueSet() && IsQNaNPattern(channel.GetNoValue());
  const bool timeNoValue = withTimes && time->IsNoValueSet();
  const double timeNo = timeNoValue ? ScanNoValue(*time) : 0;
  double min = rawNoValue, max = rawNoValue;
  bool any = false;

  auto scan = [&](uint32_t first, uint32_t count) {
    const std::vector<uint32_t>* listed = timeNoValue ? &time->ReplacedSamples() : nullptr;
    auto it = listed ? std::lower_bound(listed->begin(), listed->end(), first) : std::vector<uint32_t>::const_iterator();
    for (uint32_t i = 0; i < count; ++i) {
      if (progress && i % 100 == 0) ProgressStep(first + i, *progress, true);
      double x = values[i];
      if (qnan && IsQNaNPattern(x)) x = mdf::CCNBlock::kDefaultNoValue;
      if (!std::isfinite(x) || (hasNoValue && x == rawNoValue)) continue;
      if (listed) {
        while (it != listed->end() && *it < first + i) ++it;
        if (times[i] == timeNo || (it != listed->end() && *it == first + i)) continue;
      }
      if (!any) {
        min = max = x;
        any = true;
      } else if (x > max) {
        max = x;
      } else if (x < min) {
        min = x;
      }
    }
  };

  uint32_t decoded = 0;
  bool fromMemory = false;
  if (oneChunk && groupFits) {
    if (!m_buffer.Holds(&group) && !Fails(kAllocGroupBuffer) && m_buffer.Ensure(groupBytes)) {
      m_buffer.Hold(nullptr, 0);
      const uint64_t got = m_file.Seek(group.GetDataLink()) ? ReadBlock(m_file, m_buffer.Data(), groupBytes, progress) : 0;
      if (got < groupBytes) ShowShortRead();
      m_buffer.Hold(&group, static_cast<uint32_t>(got / length));
    }
    if (m_buffer.Holds(&group)) {
      const std::span<const uint8_t> records(m_buffer.Data(), uint64_t{m_buffer.HeldRecords()} * length);
      decoded = data->DecodeValues(&channel, records, values, 0, n, false);
      if (withTimes) data->DecodeValues(time, records, times, 0, decoded, false);
      scan(0, decoded);
      fromMemory = true;
    }
  }
  if (!fromMemory) {
    // Chunk by chunk from the file; a read that gives nothing ends the pass.
    for (uint32_t first = 0; first < n;) {
      const uint32_t count = std::min(chunkValues, n - first);
      const uint32_t got = data->ReadChannelValues(m_file, &channel, values, first, count, false);
      if (got == 0) {
        if (first == 0) return;
        break;
      }
      if (withTimes && data->ReadChannelValues(m_file, time, times, first, got, false) < got) break;
      scan(first, got);
      first += got;
      decoded = first;
    }
  }

  signal.YDataMax = 1e308;
  std::tie(signal.YMin, signal.YMax) = ConvertedRange(cc, min, max);
  if (!signal.axisValues) {
    signal.YMin = signal.YMin * signal.YFactor + signal.YOffset;
    signal.YMax = signal.YMax * signal.YFactor + signal.YOffset;
    if (signal.YMin > signal.YMax) std::swap(signal.YMin, signal.YMax);
  }
  signal.YDataMin = signal.YMin;
  signal.YDataMax = signal.YMax;

  // The values become the signal's cache when they are what Read delivers.
  const uint64_t cacheBytes = uint64_t{signal.NoOfValues} * 8;
  // A pass that came short leaves no cache: Read goes to the file.
  if (oneChunk && !kestravo && signal.DTyp == importcore::dtyp::kFloat64 && !DeliversPhysical(signal) &&
      channel.GetDataType() <= 16 && !signal.cache.valid && decoded >= signal.NoOfValues &&
      m_import.m_cachedBytes + cacheBytes < m_settings.memoryLimit / 4) {
    try {
      ValueCache cache;
      cache.bytes.resize(cacheBytes);
      std::memcpy(cache.bytes.data(), values.data(), cacheBytes);
      cache.type = importcore::dtyp::kFloat64;
      cache.valid = true;
      cache.counted = cacheBytes;
      m_import.m_cachedBytes += cacheBytes;
      signal.cache = std::move(cache);
    } catch (const std::bad_alloc&) {
    }
  }

  if (m_settings.writeRange) {
    channel.SetRangeValid(static_cast<uint16_t>(0xAAB0 | (channel.IsNoValueSet() ? 8 : 0)));
    channel.SetMinRaw(min);
    channel.SetMaxRaw(max);
    WriteRange(channel, false);
  }
}

}  // namespace pellor

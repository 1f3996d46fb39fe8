#include "mdf/composition.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/messages.h"
#include "platform/win32/registry.h"

namespace mdf {

bool IsNear(double a, double b) {
  const double d = a - b;
  return d >= -CDataComposition::kTolerance && d <= CDataComposition::kTolerance;
}

namespace {

constexpr const char* kVariablesKey = "Software\\Zephanor\\6.0\\Variables";

bool IsGap(double time) { return time == CDataComposition::kNoValue; }

// An interval that can decide gaps: positive and finite.
double UsableInterval(double interval) {
  return interval > 0 && std::isfinite(interval) ? interval : 0;
}

// The first difference of neighbouring times that repeats the smallest
// difference seen before it; 0 when there is none or it is not positive.
double EstimateInterval(const double* times, uint32_t count) {
  double smallest = CDataComposition::kNoValue;
  for (uint32_t k = 1; k < count; ++k) {
    const double d = times[k] - times[k - 1];
    if (IsNear(d, smallest)) return UsableInterval(d);
    if (d < smallest) smallest = d;
  }
  return 0;
}

CDGBlock* FindDataGroup(CMdf& mdf, int32_t index) {
  for (CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext())
    if (dg->GetIndex() == index) return dg;
  return nullptr;
}

CCGBlock* FindChannelGroup(CDGBlock& dg, int32_t index) {
  for (CCGBlock* cg = dg.GetFirstCG(); cg; cg = cg->GetNext())
    if (cg->GetIndex() == index) return cg;
  return nullptr;
}

}  // namespace

// Values and times of one series; a gap entry has the time kNoValue.
struct CDataComposition::Series {
  std::vector<double> values;
  std::vector<double> times;
  size_t size() const { return times.size(); }
  void clear() {
    values.clear();
    times.clear();
  }
};

// What the occurrences of one name share while they are merged.
struct CDataComposition::NameContext {
  uint64_t capacity = 0;  // a series must stay below this many entries
  double noValue = kNoValue;
  double interval = 0;  // the largest usable interval of the occurrences so far
  bool conflictReported = false;
  Series sofar, next;
  std::vector<double> chunkValues, chunkTimes;
};

namespace {

// Appends samples to a series, each preceded by a gap entry when it lies more
// than 1.5 intervals after the previous sample. Without a usable interval no
// gap can be told and none is made.
class GapWriter {
 public:
  GapWriter(std::vector<double>& values, std::vector<double>& times, uint64_t capacity,
            double interval, double noValue)
      : values_(values), times_(times), capacity_(capacity), interval_(interval),
        noValue_(noValue) {}

  void Start(double firstTime) { threshold_ = firstTime + interval_ / 2; }

  // False when the series would reach its capacity.
  bool Put(double value, double time) {
    if (interval_ > 0 && time > threshold_) {
      if (!Push(noValue_, CDataComposition::kNoValue)) return false;
    }
    if (!Push(value, time)) return false;
    threshold_ = time + 1.5 * interval_;
    return true;
  }

 private:
  bool Push(double value, double time) {
    if (times_.size() + 1 >= capacity_) return false;
    values_.push_back(value);
    times_.push_back(time);
    return true;
  }

  std::vector<double>& values_;
  std::vector<double>& times_;
  uint64_t capacity_;
  double interval_;
  double noValue_;
  double threshold_ = 0;
};

}  // namespace

CDataComposition::CDataComposition(CMdf* mdf) : m_pMDF(mdf) {}

CDataComposition::~CDataComposition() {
  ReleaseGroupData(m_groupFile.IsOpen());
  m_channels.clear();
  m_order.clear();
  m_showMessages = 1;
}

int CDataComposition::AddChannel(const std::string& name, int32_t dataGroup,
                                 int32_t channelGroup, uint32_t records, CCNBlock* channel) {
  if (!channel) return 0;
  const bool isTime = channel->GetChannelType() == 1;
  auto it = m_channels.find(name);
  if (it != m_channels.end()) {
    if (it->second->m_isTime != isTime) return 0;
  } else {
    it = m_channels.emplace(name, std::make_unique<CChannelInfo>()).first;
    m_order.push_back(name);
  }
  CChannelInfo& info = *it->second;
  info.m_isTime = isTime;
  info.m_occurrences.push_back(TChanInfo{dataGroup, channelGroup, channel->GetChannelType(),
                                         channel->GetSamplingRate(), records});
  return 1;
}

void CDataComposition::SetTimeChannelRate(CCGBlock*, double interval, int32_t dataGroup,
                                          int32_t channelGroup) {
  for (auto& [name, info] : m_channels)
    for (TChanInfo& occ : info->m_occurrences)
      if (occ.dataGroup == dataGroup && occ.channelGroup == channelGroup) occ.interval = interval;
}

bool CDataComposition::LookupChannel(const std::string& name, const CChannelInfo*& out) const {
  const auto it = m_channels.find(name);
  if (it == m_channels.end()) return false;
  out = it->second.get();
  return true;
}

int CDataComposition::Calculate() {
  if (!m_pMDF) return 0;
  m_busy = true;
  bool ok = true;
  try {
    uint64_t total = 0;
    for (const auto& [name, info] : m_channels)
      for (const TChanInfo& occ : info->m_occurrences) total += occ.records;
    NameContext ctx;
    ctx.capacity = 1000 * static_cast<uint64_t>(m_channels.size()) + total;
    ctx.chunkValues.resize(kChunk);
    ctx.chunkTimes.resize(kChunk);
    m_composed.clear();
    for (const std::string& name : m_order) {
      if (!ComposeName(name, *m_channels.at(name), ctx)) {
        ok = false;
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  ReleaseGroupData(m_groupFile.IsOpen());
  m_busy = false;
  return ok ? 1 : 0;
}

bool CDataComposition::ComposeName(const std::string& name, CChannelInfo& info,
                                   NameContext& ctx) {
  ctx.noValue = kNoValue;
  ctx.interval = 0;
  ctx.conflictReported = false;
  ctx.sofar.clear();
  for (TChanInfo& occ : info.m_occurrences)
    if (!ComposeOccurrence(name, occ, ctx)) return false;
  return StoreSeries(info, ctx.sofar);
}

bool CDataComposition::ComposeOccurrence(const std::string& name, TChanInfo& occ,
                                         NameContext& ctx) {
  CDGBlock* dg = FindDataGroup(*m_pMDF, occ.dataGroup);
  CCGBlock* cg = dg ? FindChannelGroup(*dg, occ.channelGroup) : nullptr;
  if (!cg || cg->GetNumberOfRecords() == 0) return true;

  CCNBlock* time = nullptr;
  CCNBlock* channel = nullptr;
  for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
    if (!time && cn->GetChannelType() == 1) time = cn;
    if (!channel && StripParenSuffix(cn->GetSignalName()) == name) channel = cn;
  }
  if (!time || !channel) return false;
  if (channel == time) return true;

  ctx.noValue = channel->IsNoValueSet() ? channel->GetNoValue() : kNoValue;

  // A group without a data link holds no records.
  CDataBlock* data = dg->GetDataBlock();
  bool opened = false;
  if (data && !ReadDataGroupData(data, opened)) {
    ReleaseGroupData(opened);
    return false;
  }
  const uint32_t records = data ? m_groupRecords : 0;

  ctx.interval = std::max(ctx.interval, UsableInterval(occ.interval));
  bool estimate = UsableInterval(occ.interval) == 0;

  // The series so far without its gap entries, merged with the new samples.
  const Series& old = ctx.sofar;
  Series& out = ctx.next;
  out.clear();
  size_t i = 0;
  auto skipGaps = [&] {
    while (i < old.size() && IsGap(old.times[i])) ++i;
  };
  skipGaps();
  std::optional<GapWriter> writer;
  auto start = [&](double firstNew) {
    double first = firstNew;
    if (i < old.size()) first = std::min(first, old.times[i]);
    writer.emplace(out.values, out.times, ctx.capacity, ctx.interval, ctx.noValue);
    writer->Start(first);
  };

  bool ok = true;
  for (uint32_t first = 0; ok && first < records; first += kChunk) {
    const uint32_t want = std::min(kChunk, records - first);
    const double* values = ctx.chunkValues.data();
    const double* times = ctx.chunkTimes.data();
    const uint32_t count =
        std::min(data->DecodeValues(channel, m_groupBuffer, ctx.chunkValues, first, want, true),
                 data->DecodeValues(time, m_groupBuffer, ctx.chunkTimes, first, want, true));
    if (count == 0) break;

    if (estimate) {
      // Without a stored interval the first chunk's times give it; an
      // occurrence whose times give none is taken as having no gaps.
      estimate = false;
      const double found = EstimateInterval(times, count);
      if (found > 0) {
        SetTimeChannelRate(cg, found, occ.dataGroup, occ.channelGroup);
        ctx.interval = std::max(ctx.interval, found);
      }
    }
    if (!writer) start(times[0]);

    for (uint32_t k = 0; ok && k < count; ++k) {
      const double t = times[k];
      bool merged = false;
      while (ok && i < old.size()) {
        if (IsNear(old.times[i], t)) {
          if (!IsNear(old.values[i], values[k]) && !ctx.conflictReported) {
            ctx.conflictReported = true;
            ReportConflict(name, old.times[i], values[k], old.values[i], occ);
          }
          ok = writer->Put(old.values[i], old.times[i]);
          ++i;
          skipGaps();
          merged = true;
          break;
        }
        if (!(old.times[i] < t)) break;
        ok = writer->Put(old.values[i], old.times[i]);
        ++i;
        skipGaps();
      }
      if (ok && !merged) ok = writer->Put(values[k], t);
    }
  }
  if (ok && i < old.size()) {
    if (!writer) start(old.times[i]);
    for (; ok && i < old.size(); ++i)
      if (!IsGap(old.times[i])) ok = writer->Put(old.values[i], old.times[i]);
  }

  ReleaseGroupData(opened);
  if (!ok) return false;
  std::swap(ctx.sofar, ctx.next);
  return true;
}

void CDataComposition::ReportConflict(const std::string& name, double time, double value,
                                      double composed, const TChanInfo& occ) {
  const std::string text = StrFormat(
      "Error reading channel '%s':\n\nDifferent data at time %g s (%g instead of %g in data "
      "group %u, channel group %u)",
      name.c_str(), time, value, composed, static_cast<unsigned>(occ.dataGroup),
      static_cast<unsigned>(occ.channelGroup));
  if (m_showMessages) {
    ShowMessage(text, kMessageWarning);
  } else {
    WriteVariable("ERRNO", "1");
    WriteVariable("ERRMSG", text);
  }
}

bool CDataComposition::StoreSeries(CChannelInfo& info, const Series& series) {
  const size_t n = series.size();
  // The indexes are 32-bit.
  if (m_composed.size() + 2 * n > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    return false;
  info.m_samples = static_cast<int32_t>(n);
  info.m_firstValue = static_cast<int32_t>(m_composed.size());
  m_composed.insert(m_composed.end(), series.values.begin(), series.values.end());
  info.m_firstTime = static_cast<int32_t>(m_composed.size());
  const std::vector<double>& t = series.times;
  for (size_t k = 0; k < n; ++k) {
    double time = t[k];
    if (IsGap(time)) {
      if (k == 0) {
        time = 0.0;
      } else if (k == 1) {
        time = IsGap(t[0]) ? 0.0 : t[0];
      } else {
        const bool gap1 = IsGap(t[k - 1]), gap2 = IsGap(t[k - 2]);
        if (!gap1 && !gap2)
          time = 2 * t[k - 1] - t[k - 2];
        else if (gap1 && gap2)
          time = 0.0;
        else
          time = gap1 ? t[k - 2] : t[k - 1];
      }
    }
    m_composed.push_back(time);
  }
  return true;
}

bool CDataComposition::ReadDataGroupData(CDataBlock* data, bool& opened) {
  opened = false;
  m_groupBuffer.clear();
  m_groupRecords = 0;
  if (!data || !m_pMDF) return false;
  CDGBlock* dg = data->GetDataGroup();
  CCGBlock* cg = dg ? dg->GetFirstCG() : nullptr;
  if (!cg) return false;

  winport::File* file = &m_pMDF->GetFile();
  if (!m_pMDF->IsOpen()) {
    if (!m_groupFile.Open(m_pMDF->GetPath(), winport::FileAccess::Read, winport::FileShare::Read))
      return false;
    opened = true;
    file = &m_groupFile;
  }

  // Only the records the file holds past the data link are read.
  const uint64_t recordLength = data->GetRecordLength();
  const int64_t size = file->Size();
  const uint64_t link = dg->GetDataLink();
  uint64_t records = cg->GetNumberOfRecords();
  if (recordLength == 0 || size < 0 || link >= static_cast<uint64_t>(size))
    records = 0;
  else
    records = std::min(records, (static_cast<uint64_t>(size) - link) / recordLength);
  const uint64_t bytes = records * recordLength;
  if (bytes > m_groupBuffer.max_size()) return false;
  try {
    m_groupBuffer.assign(static_cast<size_t>(bytes), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (bytes == 0) return true;
  if (!file->Seek(static_cast<int64_t>(link))) return false;
  const size_t got = file->Read(m_groupBuffer.data(), static_cast<size_t>(bytes));
  m_groupRecords = static_cast<uint32_t>(got / recordLength);
  return true;
}

void CDataComposition::ReleaseGroupData(bool opened) {
  if (opened) m_groupFile.Close();
  std::vector<uint8_t>().swap(m_groupBuffer);
  m_groupRecords = 0;
}

int WriteVariable(const std::string& name, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kVariablesKey, &key) != ERROR_SUCCESS) return 0;
  const LSTATUS status =
      RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace mdf

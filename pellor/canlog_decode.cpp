// Decoding the frames of a CAN-frame log into the values of its signals, and
// making each pair's frame times its time axis.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "importcore/support.h"
#include "pellor/candb/candb.h"
#include "pellor/canlog.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "pellor/progress.h"
#include "platform/win32/codepage.h"

namespace pellor {

namespace {

// Frames of a pair decoded at a time: their data stay in the cache while
// every signal of the pair is decoded from them.
constexpr uint32_t kSliceFrames = 10000;
// The most multiplexor values of one slice kept at once (8 MiB); a database
// of very many multiplexors gets shorter slices, not more memory.
constexpr size_t kMaxMuxSliceValues = size_t{1} << 20;
// A multiplexor's value in a frame in which it is absent.
constexpr double kAbsent = std::numeric_limits<double>::quiet_NaN();

}  // namespace

bool CanLogImport::AllocateValues() {
  try {
    m_import.m_memoryValues.assign(m_import.m_dataSize, 0);
    BuildPlans();
    // Room for the data bytes of the frames that are decoded, pair by pair.
    m_pairBegin.assign(m_plans.size() + 1, 0);
    for (size_t p = 0; p < m_plans.size(); ++p)
      m_pairBegin[p + 1] = m_pairBegin[p] + (m_plans[p].times ? m_pairs[p].frames : 0);
    m_frameData.resize(m_pairBegin.back());
  } catch (const std::bad_alloc&) {
    ReportError(kCanOutOfMemory);
    return false;
  }
  return true;
}

uint32_t MuxSliceFrames(size_t multiplexors) {
  if (multiplexors == 0) return kSliceFrames;
  return static_cast<uint32_t>(std::clamp<size_t>(kMaxMuxSliceValues / multiplexors, 1, kSliceFrames));
}

MuxCondition::MuxCondition(const std::vector<CanMuxRange>& ranges) {
  std::vector<CanMuxRange> sorted = ranges;
  std::sort(sorted.begin(), sorted.end(), [](const CanMuxRange& a, const CanMuxRange& b) { return a.lo < b.lo; });
  std::vector<std::pair<double, double>> merged;
  for (const CanMuxRange& r : sorted) {
    const double a = static_cast<double>(r.lo), b = static_cast<double>(r.hi);
    if (!merged.empty() && a <= merged.back().second)
      merged.back().second = std::max(merged.back().second, b);
    else
      merged.emplace_back(a, b);
  }
  if (merged.empty()) return;  // a signal present in every frame: never asked
  lo = merged.front().first;
  hi = merged.front().second;
  more.assign(merged.begin() + 1, merged.end());
}

void CanLogImport::BuildPlans() {
  m_plans.assign(m_pairs.size(), Plan());
  // Each pair's multiplexors, nearer the top first, so that a multiplexor's
  // own comes before it; and where each is among them.
  std::vector<std::vector<const Signal*>> switches(m_pairs.size());
  for (const Signal& s : m_signals)
    if (s.sig && s.sig->IsMultiplexor()) switches[s.pair].push_back(&s);
  std::vector<std::unordered_map<const CanSig*, int32_t>> switchIndex(m_pairs.size());
  for (size_t p = 0; p < m_pairs.size(); ++p) {
    auto& list = switches[p];
    std::stable_sort(list.begin(), list.end(), [](const Signal* a, const Signal* b) { return a->depth < b->depth; });
    for (size_t k = 0; k < list.size(); ++k) switchIndex[p].emplace(list[k]->sig, static_cast<int32_t>(k));
  }
  // A multiplexed signal's multiplexor is a signal of its pair that was made too.
  const auto switchOf = [&](uint32_t pair, const CanSig* sig) {
    if (!sig) return -1;
    const auto found = switchIndex[pair].find(sig);
    return found == switchIndex[pair].end() ? -1 : found->second;
  };
  size_t most = 0;
  for (size_t p = 0; p < m_pairs.size(); ++p) {
    for (const Signal* s : switches[p])
      m_plans[p].switches.push_back(
          MuxSwitch{CanFieldReader(*s->sig), switchOf(static_cast<uint32_t>(p), s->multiplexor), s->condition});
    most = std::max(most, switches[p].size());
  }
  m_sliceFrames = MuxSliceFrames(most);
  m_muxValues.assign(most * m_sliceFrames, 0.0);

  uint8_t* base = m_import.m_memoryValues.data();
  for (const Signal& s : m_signals) {
    Plan& plan = m_plans[s.pair];
    uint8_t* values = s.hasBlocks ? base + uint64_t{s.record->Block0} * FileImport::kBlockSize : nullptr;
    if (!s.sig) {
      plan.time = s.record;
      plan.times = reinterpret_cast<double*>(values);
      continue;
    }
    if (!values) continue;  // hidden: no room in the data space
    CanValueSlot slot{CanFieldReader(*s.sig), values, s.record->Demux == 8, s.record};
    const int32_t mux = switchOf(s.pair, s.multiplexor);
    if (mux < 0) {
      plan.plain.push_back(std::move(slot));
      continue;
    }
    slot.mux = static_cast<uint32_t>(mux);
    slot.condition = s.condition;
    plan.linked.push_back(std::move(slot));
  }
}

namespace {

using Slot = CanValueSlot;


template <typename T>
T LoadAt(const uint8_t* values, uint32_t index) {
  T value;
  std::memcpy(&value, values + size_t{index} * sizeof(T), sizeof(T));
  return value;
}

template <typename T>
void StoreAt(uint8_t* values, uint32_t index, T value) {
  std::memcpy(values + size_t{index} * sizeof(T), &value, sizeof(T));
}

// Frames [first, first + count) of the pair into a signal that holds a value in each.
template <typename T>
void DecodePlain(const Slot& slot, const CanLogImport::FrameData* data, uint32_t first, uint32_t count) {
  for (uint32_t i = first; i < first + count; ++i)
    StoreAt<T>(slot.values, i, static_cast<T>(slot.reader.Read(data[i].data())));
}

// Frames [first, first + count) into a multiplexed signal: where its
// multiplexor is present with a value that selects it, the signal's value is
// decoded, elsewhere the value before holds; the first one found goes back to
// the first frame.
template <typename T>
void DecodeLinked(Slot& slot, const CanLogImport::FrameData* data, uint32_t first, uint32_t count, const double* mux) {
  SignalRecord& r = *slot.record;
  for (uint32_t i = first; i < first + count; ++i) {
    if (!slot.condition.Holds(mux[i - first])) {
      if (slot.matched) StoreAt<T>(slot.values, i, LoadAt<T>(slot.values, i - 1));
      continue;
    }
    const double value = slot.reader.Read(data[i].data());
    const double scaled = value * r.YFactor + r.YOffset;
    if (!slot.matched) {
      slot.matched = true;
      for (uint32_t j = 0; j < i; ++j) StoreAt<T>(slot.values, j, static_cast<T>(value));
      r.YMin = r.YMax = scaled;
    } else {
      r.YMin = std::min(r.YMin, scaled);
      r.YMax = std::max(r.YMax, scaled);
    }
    StoreAt<T>(slot.values, i, static_cast<T>(value));
  }
}

}  // namespace

void CanLogImport::DecodePair(Plan& plan, const FrameData* data, uint32_t first, uint32_t count) {
  for (const Slot& slot : plan.plain)
    slot.wide ? DecodePlain<double>(slot, data, first, count) : DecodePlain<float>(slot, data, first, count);
  if (plan.linked.empty()) return;
  // Each multiplexor's raw value in each frame, once per frame; NaN where it is absent.
  double* mux = m_muxValues.data();
  for (size_t k = 0; k < plan.switches.size(); ++k) {
    const MuxSwitch& sw = plan.switches[k];
    double* raw = mux + k * m_sliceFrames;
    if (sw.parent < 0) {
      for (uint32_t i = 0; i < count; ++i) raw[i] = sw.reader.Read(data[first + i].data());
      continue;
    }
    const double* above = mux + static_cast<size_t>(sw.parent) * m_sliceFrames;
    for (uint32_t i = 0; i < count; ++i)
      raw[i] = sw.condition.Holds(above[i]) ? sw.reader.Read(data[first + i].data()) : kAbsent;
  }
  for (Slot& slot : plan.linked) {
    const double* raw = mux + size_t{slot.mux} * m_sliceFrames;
    slot.wide ? DecodeLinked<double>(slot, data, first, count, raw) : DecodeLinked<float>(slot, data, first, count, raw);
  }
}

void CanLogImport::DecodeCanValues() {
  // The frames of each pair side by side: their data bytes in the frame
  // data, their times in the pair's time signal. The frame table is not
  // needed after that.
  for (const Frame& frame : m_frames) {
    if (frame.pair == kNoPair) continue;
    Plan& plan = m_plans[frame.pair];
    if (!plan.times) continue;
    const uint32_t index = plan.next++;
    m_frameData[m_pairBegin[frame.pair] + index] = frame.data;
    plan.times[index] = frame.time;
  }
  m_frames = std::vector<Frame>();

  ProgressRecord progress;
  SetProgressAborted(false);
  ProgressOpen(1, "", progress, FileImport::kVersion);
  ProgressSetSignal(static_cast<uint32_t>(std::min<uint64_t>(m_frameData.size(), UINT32_MAX)), "CAN-Telegramme",
                    progress);
  importcore::PumpMessages();
  uint64_t done = 0;
  for (size_t p = 0; p < m_plans.size(); ++p) {
    Plan& plan = m_plans[p];
    for (uint32_t first = 0; first < plan.next; first += m_sliceFrames) {
      const uint32_t count = std::min(m_sliceFrames, plan.next - first);
      DecodePair(plan, m_frameData.data() + m_pairBegin[p], first, count);
      done += count;
      ProgressStep(static_cast<uint32_t>(std::min<uint64_t>(done, UINT32_MAX)), progress, true);
    }
  }
  ProgressClose(progress);
  m_frameData = std::vector<FrameData>();
  m_muxValues = std::vector<double>();

  // A multiplexed signal that no frame holds has no value to show.
  for (const Plan& plan : m_plans)
    for (const Slot& slot : plan.linked)
      if (!slot.matched) {
        SignalRecord& r = *slot.record;
        r.Ignore = ignore::kHidden;
        r.NoOfValues = 0;
        r.rangeEnd = r.rangeStart;
        AddWarning(0, winport::Utf8ToAnsi("Warnung für Signal ") + r.Name.str() +
                          winport::Utf8ToAnsi(": in keinem Telegramm vorhanden, das Signal wird ausgelassen."));
      }

  // The time axes, and the X fields of every signal over them.
  for (Plan& plan : m_plans) {
    if (!plan.times) continue;
    SignalRecord& t = *plan.time;
    const CanTimeAxis axis = StraightenCanTimes(std::span<double>(plan.times, plan.next));
    t.XMin = t.XOffset = t.YMin = axis.xMin;
    t.XMax = t.YMax = axis.xMax;
    t.XFactor = plan.next < 2 ? 1.0 : (axis.xMax - axis.xMin) / (plan.next - 1);
    t.MinDelta = axis.minDelta;
    t.MaxDelta = axis.maxDelta;
    t.IsUniDir = axis.uniDir ? 1 : 0;
    t.YFactor = 1.0;
    plan.equidistant = axis.equidistant;
  }
  for (const Signal& s : m_signals) {
    const Plan& plan = m_plans[s.pair];
    if (!s.sig || !plan.times) continue;
    SignalRecord& r = *s.record;
    const SignalRecord& t = *plan.time;
    r.XMin = t.XMin;
    r.XMax = t.XMax;
    r.XFactor = t.XFactor;
    r.XOffset = t.XOffset;
    r.XUnit = t.XUnit.str();
    if (plan.equidistant) r.XSignal = "";  // the X fields describe the axis whole
  }
}

}  // namespace pellor

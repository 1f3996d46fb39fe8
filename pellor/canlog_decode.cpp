// Decoding the frames of a CAN-frame log into the values of its signals, and
// making each pair's frame times its time axis.
#include <cstring>
#include <new>

#include "importcore/support.h"
#include "pellor/candb/candb.h"
#include "pellor/canlog.h"
#include "pellor/file_import.h"
#include "pellor/progress.h"

namespace pellor {

bool CanLogImport::AllocateValues() {
  try {
    m_import.m_memoryValues.assign(m_import.m_dataSize, 0);
  } catch (const std::bad_alloc&) {
    ReportError(kCanOutOfMemory);
    return false;
  }
  BuildPlans();
  return true;
}

void CanLogImport::BuildPlans() {
  m_plans.assign(m_pairs.size(), Plan());
  uint8_t* base = m_import.m_memoryValues.data();
  for (const Signal& s : m_signals) {
    Plan& plan = m_plans[s.pair];
    uint8_t* values = s.hasBlocks ? base + uint64_t{s.record->Block0} * FileImport::kBlockSize : nullptr;
    if (!s.sig) {
      plan.time = s.record;
      plan.times = reinterpret_cast<double*>(values);
      continue;
    }
    if (s.sig->IsMultiplexor() && !plan.hasMux) {
      plan.hasMux = true;
      plan.mux = CanFieldReader(*s.sig);
    }
    if (!values) continue;  // hidden: no room in the data space
    CanValueSlot slot{CanFieldReader(*s.sig), values, s.record->Demux == 8, static_cast<double>(s.sig->MuxValue()), s.record};
    (s.sig->IsMultiplexed() ? plan.linked : plan.plain).push_back(slot);
  }
  // Without a multiplexor a multiplexed signal holds a value in every frame.
  for (Plan& plan : m_plans)
    if (!plan.hasMux) {
      plan.plain.insert(plan.plain.end(), plan.linked.begin(), plan.linked.end());
      plan.linked.clear();
    }
}

namespace {

using Slot = CanValueSlot;

inline void Store(const Slot& slot, uint32_t index, double value) {
  if (slot.wide) {
    std::memcpy(slot.values + size_t{index} * 8, &value, 8);
  } else {
    const float f = static_cast<float>(value);
    std::memcpy(slot.values + size_t{index} * 4, &f, 4);
  }
}

inline void CopyPrevious(const Slot& slot, uint32_t index) {
  const size_t n = slot.wide ? 8 : 4;
  std::memcpy(slot.values + index * n, slot.values + (index - 1) * n, n);
}

void DecodeLinked(Slot& slot, uint32_t index, double mux, const uint8_t* data) {
  if (mux != slot.muxValue) {
    if (slot.matched) CopyPrevious(slot, index);  // the value holds; before the first match it stays 0
    return;
  }
  const double value = slot.reader.Read(data);
  const double scaled = value * slot.record->YFactor + slot.record->YOffset;
  if (!slot.matched) {
    slot.matched = true;
    for (uint32_t i = 0; i < index; ++i) Store(slot, i, value);
    slot.record->YMin = slot.record->YMax = scaled;
  } else {
    slot.record->YMin = std::min(slot.record->YMin, scaled);
    slot.record->YMax = std::max(slot.record->YMax, scaled);
  }
  Store(slot, index, value);
}

}  // namespace

void CanLogImport::DecodeCanValues() {
  constexpr size_t kProgressFrames = 10000;
  const size_t n = m_frames.size();
  ProgressRecord progress;
  SetProgressAborted(false);
  ProgressOpen(1, "", progress, FileImport::kVersion);
  ProgressSetSignal(static_cast<uint32_t>(std::min<size_t>(n, UINT32_MAX)), "CAN-Telegramme", progress);
  importcore::PumpMessages();
  alignas(8) uint8_t data[CanFieldReader::kFrameBytes] = {};  // the last 8 bytes stay 0
  for (size_t first = 0; first < n; first += kProgressFrames) {
    const size_t end = std::min(n, first + kProgressFrames);
    for (size_t f = first; f < end; ++f) {
      const Frame& frame = m_frames[f];
      if (frame.pair == kNoPair) continue;
      Plan& plan = m_plans[frame.pair];
      if (!plan.times) continue;
      const uint32_t index = plan.next++;
      std::memcpy(data, frame.data, 8);
      plan.times[index] = frame.time;
      for (const Slot& slot : plan.plain) Store(slot, index, slot.reader.Read(data));
      if (!plan.linked.empty()) {
        const double mux = plan.mux.Read(data);
        for (Slot& slot : plan.linked) DecodeLinked(slot, index, mux, data);
      }
    }
    ProgressStep(static_cast<uint32_t>(std::min<size_t>(end, UINT32_MAX)), progress, true);
  }
  ProgressClose(progress);

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

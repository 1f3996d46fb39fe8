#include "mdf/composition.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <span>
#include <unordered_map>

#include "mdf/blocks.h"
#include "mdf/composition_merge.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/messages.h"
#include "mdf/value_array.h"
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

CCGBlock* FindChannelGroup(CDGBlock& dg, int32_t index) {
  for (CCGBlock* cg = dg.GetFirstCG(); cg; cg = cg->GetNext())
    if (cg->GetIndex() == index) return cg;
  return nullptr;
}

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

// A channel group with records and composed channels.
struct CDataComposition::Group {
  CDGBlock* dg = nullptr;
  CCGBlock* cg = nullptr;
  std::vector<CCNBlock*> channels;  // the time channel first, then the composed channels
  std::vector<bool> delivers;       // per channel: its bits lie within the record
  uint32_t records = 0;             // the records the file holds
  ValueArray<double> times;
  bool orderly = false;  // the times rise by more than the tolerance from sample to sample
  double estimate = -1;  // the interval the first chunk of times gives; -1 until asked
  // Per channel: the names (index) and their inputs (index) that take its values.
  std::vector<std::vector<std::pair<size_t, uint32_t>>> takers;
};

// One name: where its occurrences lie, the occurrences merged (its inputs),
// its plan and where its series lies.
struct CDataComposition::Name {
  static constexpr size_t kSkipped = static_cast<size_t>(-1);
  struct Use {
    size_t group = kSkipped;  // kSkipped: no records, or the group's time channel itself
    size_t channel = 0;
  };
  std::vector<Use> uses;            // per occurrence
  std::vector<size_t> inputs;       // the occurrences merged, in order
  std::vector<uint32_t> counts;     // per input: its samples
  double noValue = kNoValue;        // of the last occurrence merged
  size_t plan = 0;
  size_t firstValue = 0;
  std::vector<double> dropped;      // the values of the plan's samples that gave way
};

struct CDataComposition::Work {
  std::vector<Group> groups;
  std::vector<Name> names;  // in the order of m_order
  std::vector<compose::Plan> plans;
  std::vector<size_t> planTimes;  // per plan: the index of its block of times
  // Names whose inputs are the same groups with the same counts, merged with
  // the same interval, follow the same plan.
  std::map<std::pair<uint64_t, std::vector<uint64_t>>, size_t> planOf;
};

int CDataComposition::Calculate() {
  if (!m_pMDF) return 0;
  m_busy = true;
  bool ok = true;
  try {
    uint64_t total = 0;
    for (const auto& [name, info] : m_channels)
      for (const TChanInfo& occ : info->m_occurrences) total += occ.records;
    const uint64_t capacity = 1000 * static_cast<uint64_t>(m_channels.size()) + total;
    m_composed.clear();
    m_composed.shrink_to_fit();
    Work work;
    ok = PlanOccurrences(work) && ReadTimes(work) && PlanNames(work, capacity) && LayOut(work);
    if (ok) {
      ReadValues(work);
      ReportConflicts(work);
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  m_busy = false;
  return ok ? 1 : 0;
}

bool CDataComposition::PlanOccurrences(Work& work) {
  std::unordered_map<int32_t, CDGBlock*> dataGroups;
  for (CDGBlock* dg = m_pMDF->GetFirstDG(); dg; dg = dg->GetNext()) dataGroups.emplace(dg->GetIndex(), dg);
  // Per channel group: its time channel, its channels by composed name (the
  // first of a name) and its place among the groups.
  struct Lookup {
    CCNBlock* time = nullptr;
    std::unordered_map<std::string, CCNBlock*> byName;
    size_t group = Name::kSkipped;
    std::unordered_map<CCNBlock*, size_t> channels;
  };
  std::unordered_map<CCGBlock*, Lookup> lookups;

  work.names.resize(m_order.size());
  for (size_t i = 0; i < m_order.size(); ++i) {
    const std::string& name = m_order[i];
    for (const TChanInfo& occ : m_channels.at(name)->m_occurrences) {
      Name::Use use;
      const auto dg = dataGroups.find(occ.dataGroup);
      CCGBlock* cg = dg != dataGroups.end() ? FindChannelGroup(*dg->second, occ.channelGroup) : nullptr;
      if (cg && cg->GetNumberOfRecords() != 0) {
        auto [at, added] = lookups.try_emplace(cg);
        Lookup& lookup = at->second;
        if (added) {
          for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
            if (!lookup.time && cn->GetChannelType() == 1) lookup.time = cn;
            lookup.byName.try_emplace(StripParenSuffix(cn->GetSignalName()), cn);
          }
        }
        const auto channel = lookup.byName.find(name);
        if (!lookup.time || channel == lookup.byName.end()) return false;
        if (channel->second != lookup.time) {
          if (lookup.group == Name::kSkipped) {
            lookup.group = work.groups.size();
            Group& group = work.groups.emplace_back();
            group.dg = dg->second;
            group.cg = cg;
            group.channels.push_back(lookup.time);
          }
          Group& group = work.groups[lookup.group];
          const auto slot = lookup.channels.try_emplace(channel->second, group.channels.size()).first;
          if (slot->second == group.channels.size()) group.channels.push_back(channel->second);
          use = Name::Use{lookup.group, slot->second};
        }
      }
      work.names[i].uses.push_back(use);
    }
  }
  return true;
}

bool CDataComposition::ReadTimes(Work& work) {
  for (Group& group : work.groups) {
    CDataBlock* data = group.dg->GetDataBlock();  // a group without a data link holds no records
    group.delivers.assign(group.channels.size(), false);
    group.takers.assign(group.channels.size(), {});
    if (!data) continue;
    for (size_t k = 0; k < group.channels.size(); ++k) group.delivers[k] = data->DeliversValues(group.channels[k]);
    group.records = data->GetRecordsInFile();
    if (!group.delivers[0]) continue;
    group.times = ValueArray<double>(group.records);
    CCNBlock* time = group.channels[0];
    const std::span<double> outputs[] = {group.times.span()};
    if (data->ReadGroupValues(std::span(&time, 1), outputs, 0, group.records) != group.records) return false;
    group.orderly = compose::AreOrderly(group.times.data(), group.records);
  }
  return true;
}

bool CDataComposition::PlanNames(Work& work, uint64_t capacity) {
  for (size_t i = 0; i < m_order.size(); ++i) {
    Name& name = work.names[i];
    CChannelInfo& info = *m_channels.at(m_order[i]);
    double interval = 0;  // the largest usable interval of the occurrences
    std::vector<uint64_t> key;
    for (size_t j = 0; j < name.uses.size(); ++j) {
      const Name::Use& use = name.uses[j];
      if (use.group == Name::kSkipped) continue;
      TChanInfo& occ = info.m_occurrences[j];
      Group& group = work.groups[use.group];
      const CCNBlock* channel = group.channels[use.channel];
      name.noValue = channel->IsNoValueSet() ? channel->GetNoValue() : kNoValue;
      interval = std::max(interval, UsableInterval(occ.interval));
      const uint32_t count = group.delivers[0] && group.delivers[use.channel] ? group.records : 0;
      if (count > 0 && UsableInterval(occ.interval) == 0) {
        // Without a stored interval the group's first chunk of times gives it;
        // a group whose times give none is taken as having no gaps.
        if (group.estimate < 0) group.estimate = EstimateInterval(group.times.data(), std::min(count, kChunk));
        if (group.estimate > 0) {
          SetTimeChannelRate(group.cg, group.estimate, occ.dataGroup, occ.channelGroup);
          interval = std::max(interval, group.estimate);
        }
      }
      group.takers[use.channel].emplace_back(i, static_cast<uint32_t>(name.inputs.size()));
      name.inputs.push_back(j);
      name.counts.push_back(count);
      key.push_back((static_cast<uint64_t>(use.group) << 32) | count);
    }
    const auto [at, added] = work.planOf.try_emplace({std::bit_cast<uint64_t>(interval), std::move(key)},
                                                     work.plans.size());
    if (added) {
      std::vector<compose::Input> inputs;
      for (size_t n = 0; n < name.inputs.size(); ++n) {
        const Group& group = work.groups[name.uses[name.inputs[n]].group];
        inputs.push_back(compose::Input{group.times.data(), name.counts[n], group.orderly});
      }
      if (!compose::MergeTimes(inputs, interval, capacity, work.plans.emplace_back())) return false;
    }
    name.plan = at->second;
    name.dropped.assign(work.plans[name.plan].pairs.size(), 0.0);
  }
  for (Group& group : work.groups) group.times = ValueArray<double>();  // the plans hold the times
  return true;
}

bool CDataComposition::LayOut(Work& work) {
  // Each name's values, and after the first name of each plan its times.
  constexpr size_t kNone = static_cast<size_t>(-1);
  work.planTimes.assign(work.plans.size(), kNone);
  size_t total = 0;
  for (Name& name : work.names) {
    const size_t entries = work.plans[name.plan].times.size();
    name.firstValue = total;
    total += entries;
    if (work.planTimes[name.plan] == kNone) {
      work.planTimes[name.plan] = total;
      total += entries;
    }
  }
  // The indexes are 32-bit.
  if (total > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
  m_composed.assign(total, 0.0);

  for (size_t p = 0; p < work.plans.size(); ++p) {
    // A gap entry's time: at index 0 0.0; at index 1 the first time (0.0 when
    // that is a gap too); else the one extrapolated from the two before, or
    // the one of them that is no gap (0.0 when both are).
    const std::vector<double>& t = work.plans[p].times;
    double* out = m_composed.data() + work.planTimes[p];
    for (size_t k = 0; k < t.size(); ++k) {
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
      out[k] = time;
    }
  }
  for (size_t i = 0; i < work.names.size(); ++i) {
    Name& name = work.names[i];
    const compose::Plan& plan = work.plans[name.plan];
    CChannelInfo& info = *m_channels.at(m_order[i]);
    info.m_samples = static_cast<int32_t>(plan.times.size());
    info.m_firstValue = static_cast<int32_t>(name.firstValue);
    info.m_firstTime = static_cast<int32_t>(work.planTimes[name.plan]);
    // Entries that no run fills are gap entries.
    double* values = m_composed.data() + name.firstValue;
    uint64_t at = 0;
    for (const compose::Plan::Run& run : plan.runs) {
      std::fill(values + at, values + run.at, name.noValue);
      at = run.at + run.length;
    }
    std::fill(values + at, values + plan.times.size(), name.noValue);
  }
  for (compose::Plan& plan : work.plans) std::vector<double>().swap(plan.times);
  return true;
}

void CDataComposition::ReadValues(Work& work) {
  // Where each taker of a channel stands in its runs and in its dropped samples.
  struct Taker {
    Name* name;
    const compose::Plan* plan;
    uint32_t input;
    size_t run = 0;
    size_t pair, pairEnd;
  };
  for (Group& group : work.groups) {
    CDataBlock* data = group.dg->GetDataBlock();
    std::vector<CCNBlock*> channels;
    std::vector<std::vector<Taker>> takers;
    for (size_t k = 1; k < group.channels.size(); ++k) {
      std::vector<Taker> list;
      for (const auto& [nameIndex, input] : group.takers[k]) {
        Name& name = work.names[nameIndex];
        if (name.counts[input] == 0) continue;
        const compose::Plan& plan = work.plans[name.plan];
        // The input's dropped samples: the pairs are ordered by dropped input.
        auto before = [](const compose::Plan::Pair& pair, uint32_t in) { return pair.droppedInput < in; };
        const auto lo = std::lower_bound(plan.pairs.begin(), plan.pairs.end(), input, before);
        const auto hi = std::lower_bound(lo, plan.pairs.end(), input + 1, before);
        list.push_back(Taker{&name, &plan, input, 0, static_cast<size_t>(lo - plan.pairs.begin()),
                             static_cast<size_t>(hi - plan.pairs.begin())});
      }
      if (list.empty()) continue;
      channels.push_back(group.channels[k]);
      takers.push_back(std::move(list));
    }
    if (!data || channels.empty() || group.records == 0) continue;
    // A chunk that lies within one run of a channel's only taker is decoded
    // straight into its place; any other is decoded aside and copied.
    auto place = [&](uint32_t first, uint32_t n, std::span<std::span<double>> places) {
      for (size_t k = 0; k < channels.size(); ++k) {
        if (takers[k].size() != 1) continue;
        const Taker& t = takers[k][0];
        const std::vector<uint32_t>& runs = t.plan->runsOf[t.input];
        if (t.run >= runs.size()) continue;
        const compose::Plan::Run& run = t.plan->runs[runs[t.run]];
        if (run.first <= first && uint64_t{first} + n <= uint64_t{run.first} + run.length)
          places[k] = std::span(m_composed.data() + t.name->firstValue + run.at + (first - run.first), n);
      }
    };
    auto take = [&](uint32_t first, std::span<const uint8_t>, std::span<const std::span<double>> values) {
      for (size_t k = 0; k < channels.size(); ++k) {
        const std::span<const double> v = values[k];
        const uint64_t end = first + v.size();
        for (Taker& t : takers[k]) {
          // The runs this chunk holds samples of.
          const std::vector<uint32_t>& runs = t.plan->runsOf[t.input];
          double* out = m_composed.data() + t.name->firstValue;
          for (; t.run < runs.size(); ++t.run) {
            const compose::Plan::Run& run = t.plan->runs[runs[t.run]];
            const uint64_t from = std::max<uint64_t>(run.first, first);
            const uint64_t to = std::min<uint64_t>(uint64_t{run.first} + run.length, end);
            double* at = out + run.at + (from - run.first);
            if (from < to && at != v.data() + (from - first))
              std::copy(v.begin() + (from - first), v.begin() + (to - first), at);
            if (uint64_t{run.first} + run.length > end) break;
          }
          for (; t.pair < t.pairEnd && t.plan->pairs[t.pair].droppedIndex < end; ++t.pair)
            t.name->dropped[t.pair] = v[t.plan->pairs[t.pair].droppedIndex - first];
        }
      }
    };
    data->ReadGroupChunks(channels, true, 0, group.records, take, place);
  }
}

void CDataComposition::ReportConflicts(const Work& work) {
  for (size_t i = 0; i < work.names.size(); ++i) {
    const Name& name = work.names[i];
    const compose::Plan& plan = work.plans[name.plan];
    const double* values = m_composed.data() + name.firstValue;
    for (size_t p = 0; p < plan.pairs.size(); ++p) {
      const compose::Plan::Pair& pair = plan.pairs[p];
      const double kept = values[pair.keptAt];
      if (IsNear(kept, name.dropped[p])) continue;
      const TChanInfo& occ = m_channels.at(m_order[i])->m_occurrences[name.inputs[pair.droppedInput]];
      ReportConflict(m_order[i], pair.keptTime, name.dropped[p], kept, occ);
      break;
    }
  }
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

#include "tests/support/pellor_driver.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "importcore/host_types.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/composition.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "pellor/host_type.h"
#include "pellor/options.h"

namespace testsupport {
namespace {

PellorDriverOptions g_options;

using pellor::FileImport;
using pellor::SignalRecord;

// Blocks of the flat data space, handed out in signal order.
void PlaceInDataSpace(FileImport& import, SignalRecord& r) {
  const uint64_t bytes = uint64_t{r.NoOfValues} * static_cast<uint32_t>(r.Demux);
  const uint64_t blocks = (bytes + 1023) / 1024;
  r.Block0 = import.m_blockCounter;
  if (import.m_dataSize + blocks * 1024 < (uint64_t{1} << 32)) {
    import.m_blockCounter += static_cast<uint32_t>(blocks);
    import.m_dataSize += blocks * 1024;
  } else {
    r.Ignore = 1;
  }
  r.rangeStart = uint64_t{r.Block0} * 1024;
  r.rangeEnd = r.rangeStart + bytes;
}

std::unique_ptr<SignalRecord> MakeRecord(FileImport& import, mdf::CDGBlock* dg, mdf::CCGBlock* cg, mdf::CCNBlock* cn,
                                         int32_t group, int32_t number) {
  auto r = std::make_unique<SignalRecord>();
  r->keep = 1;
  r->number = number;
  r->dataGroup = dg;
  r->channelGroup = cg;
  r->channel = cn;
  r->iGroup = group;
  r->Name = cn->GetSignalName();
  r->DisplayName = cn->GetSignalName();
  r->Label = cn->GetDescription();
  const pellor::HostType type = pellor::SelectHostType(*cn, false);
  r->DTyp = type.DTyp;
  r->Demux = type.bytes;
  r->BitSize = type.BitSize;
  r->typeFlags = type.converted ? pellor::kConvertedToDouble : 0;
  r->axisValues = 1;  // the range computation marks every signal as read converted
  r->ValuesPerBlock = type.bytes ? 1024 / type.bytes : 0;
  r->NoOfValues = cg->GetNumberOfRecords();
  r->YFactor = 1.0;
  if (const mdf::CCCBlock* cc = cn->GetConversion(); cc && cc->GetType() == 0 && !type.converted) {
    r->YFactor = cc->GetParams()[1];
    r->YOffset = cc->GetParams()[0];
  }
  if (cn->IsNoValueSet()) {
    r->HasNoValue = 1;
    r->NoValue = cn->GetNoValue();
  }
  PlaceInDataSpace(import, *r);
  return r;
}

// A record of composed values: doubles from the composition's array.
std::unique_ptr<SignalRecord> ComposedRecord(FileImport& import, const std::string& name, int32_t index,
                                             int32_t samples, int32_t number) {
  auto r = std::make_unique<SignalRecord>();
  r->keep = 1;
  r->number = number;
  r->Name = name;
  r->DTyp = 13;
  r->Demux = 8;
  r->ValuesPerBlock = 128;
  r->YFactor = 1.0;
  r->NoOfValues = static_cast<uint32_t>(std::max(samples, 0));
  r->composedIndex = index;
  PlaceInDataSpace(import, *r);
  return r;
}

int DriveComposed(FileImport& import) {
  const mdf::CDataComposition* composition = import.m_mdf->GetDataComposition();
  if (!composition) return 0;
  pellor::SignalList& signals = import.Lists().signals;
  int32_t number = 0, times = 0;
  for (mdf::CDGBlock* dg = import.m_mdf->GetFirstDG(); dg; dg = dg->GetNext())
    for (mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext())
      for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
        const mdf::CChannelInfo* info = nullptr;
        if (cn->GetChannelType() == 1 || !composition->LookupChannel(cn->GetSignalName(), info)) continue;
        if (signals.FindByName(cn->GetSignalName().c_str())) continue;
        auto time = ComposedRecord(import, "Time_" + std::to_string(times++), info->m_firstTime, info->m_samples,
                                   ++number);
        time->isTime = 1;
        time->STyp = pellor::styp::kTime;
        SignalRecord& t = signals.Append(std::move(time));
        auto value = ComposedRecord(import, cn->GetSignalName(), info->m_firstValue, info->m_samples, ++number);
        value->timeRecord = &t;
        signals.Append(std::move(value));
      }
  return 1;
}

int Drive(FileImport& import, const std::string& path, const std::string&) {
  if (!import.m_parametersSet) pellor::ReadOptionVariables(import.m_params);
  import.m_mdf = std::make_unique<mdf::CMdf>(mdf::MdfProfile::Import);
  import.m_mdf->SetReaderVersion(FileImport::kVersion);
  import.m_mdf->SetShowMessages(false);
  import.m_compose = g_options.compose;
  import.m_mdf->SetCompose(g_options.compose);
  if (!import.m_mdf->Open(path)) return 0;
  if (g_options.fail) throw std::runtime_error("test driver failure");
  import.m_kestravo = import.m_mdf->IsKestravo();
  import.m_name = path.substr(path.find_last_of('/') + 1);
  if (import.m_compose && import.m_kestravo) {
    const int composed = DriveComposed(import);
    import.Lists().signals.Renumber();
    import.m_nSignals = static_cast<int32_t>(import.Lists().signals.Count());
    if (g_options.after) g_options.after(import);
    return composed ? g_options.result : 0;
  }
  int32_t group = 0, number = 0;
  pellor::SignalList& signals = import.Lists().signals;
  for (mdf::CDGBlock* dg = import.m_mdf->GetFirstDG(); dg; dg = dg->GetNext()) {
    for (mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      if (cg->GetNumberOfRecords() == 0) continue;
      ++group;
      SignalRecord* time = nullptr;
      for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
        if (cn->GetChannelType() != 1) continue;
        auto r = MakeRecord(import, dg, cg, cn, group, ++number);
        r->isTime = 1;
        r->STyp = pellor::styp::kTime;
        r->Name = r->Name.str() + "@" + std::to_string(group);
        time = &signals.Append(std::move(r));
        break;
      }
      for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
        if (cn->GetChannelType() == 1) continue;
        const auto& chosen = g_options.channels;
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), cn->GetSignalName()) == chosen.end())
          continue;
        // As the driver does, a channel whose values no reader delivers is left out.
        if (dg->GetDataBlock() && !dg->GetDataBlock()->DeliversValues(cn)) continue;
        auto r = MakeRecord(import, dg, cg, cn, group, ++number);
        r->timeRecord = time;
        if (time) r->XSignal = time->Name.str();
        signals.Append(std::move(r));
      }
    }
  }
  signals.Renumber();
  import.m_nSignals = static_cast<int32_t>(signals.Count());
  if (g_options.after) g_options.after(import);
  return g_options.result;
}

}  // namespace

ScopedPellorDriver::ScopedPellorDriver(PellorDriverOptions options) {
  g_options = std::move(options);
  before_ = pellor::SetImportDriver(&Drive);
}

ScopedPellorDriver::~ScopedPellorDriver() {
  pellor::SetImportDriver(before_);
  g_options = PellorDriverOptions();
}

}  // namespace testsupport

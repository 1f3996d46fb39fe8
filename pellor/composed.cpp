// The composed road of the MDF import: for a file of the KESTRAVO writer
// whose import asks for composed data, every channel's series comes from the
// file model's data composition, which joins the channel's occurrences over
// the data groups into one series of doubles with its own time axis. Each
// channel becomes a time signal and a value signal, both served from the
// composition's array.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "importcore/support.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/composition.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "pellor/canlog.h"
#include "pellor/driver.h"
#include "pellor/driver_internal.h"
#include "pellor/file_import.h"
#include "pellor/options.h"

namespace pellor {
namespace {

using importcore::dtyp::kFloat64;

// A channel's series in the composed values: its values and times, those
// kept (up to the first time, from the second on, that does not lie after
// the first), and their ranges.
struct Series {
  const double* values = nullptr;
  const double* times = nullptr;
  uint32_t kept = 0;
  double minValue = 0, maxValue = 0, minStep = 1.0, maxStep = 1.0;
};

// False when the composition's indices do not lie within its array.
bool FindSeries(const mdf::CChannelInfo& info, const std::vector<double>& composed, double noValue, Series& s) {
  const auto fits = [&](int32_t first) {
    return first >= 0 && info.m_samples >= 0 && static_cast<uint64_t>(first) <= composed.size() &&
           static_cast<uint64_t>(info.m_samples) <= composed.size() - static_cast<uint64_t>(first);
  };
  if (!fits(info.m_firstValue) || !fits(info.m_firstTime)) return false;
  s.values = composed.data() + info.m_firstValue;
  s.times = composed.data() + info.m_firstTime;
  const uint32_t n = static_cast<uint32_t>(info.m_samples);
  s.kept = n;
  for (uint32_t i = 1; i < n; ++i)
    if (!(s.times[i] > s.times[0])) {
      s.kept = i;
      break;
    }
  // The value range leaves the gaps out: they carry the NoValue.
  bool any = false;
  for (uint32_t i = 0; i < s.kept; ++i) {
    const double v = s.values[i];
    if (v == noValue || v == mdf::CDataComposition::kNoValue) continue;
    s.minValue = any ? std::min(s.minValue, v) : v;
    s.maxValue = any ? std::max(s.maxValue, v) : v;
    any = true;
  }
  if (s.kept >= 2) {
    s.minStep = s.maxStep = s.times[1] - s.times[0];
    for (uint32_t i = 2; i < s.kept; ++i) {
      const double d = s.times[i] - s.times[i - 1];
      s.minStep = std::min(s.minStep, d);
      s.maxStep = std::max(s.maxStep, d);
    }
  }
  return true;
}

// The fields both records of a composed channel share.
void ComposedValues(SignalRecord& r, const Series& s, int32_t composedIndex) {
  r.keep = 1;
  r.DTyp = kFloat64;
  r.Demux = 8;
  r.ValuesPerBlock = FileImport::kBlockSize / 8;
  r.NoOfValues = s.kept;
  r.composedIndex = composedIndex;
  r.XMin = r.XOffset = s.times[0];
  r.XMax = s.times[s.kept - 1];
  r.XFactor = s.kept > 1 ? (r.XMax - r.XMin) / (s.kept - 1) : 1.0;
  r.XUnit = "s";
  r.YFactor = 1.0;
}

}  // namespace

int ImportComposed(FileImport& import, const std::string& user) {
  const mdf::CDataComposition* composition = import.m_mdf ? import.m_mdf->GetDataComposition() : nullptr;
  if (!composition) return 0;
  const std::vector<double>& composed = composition->GetComposedData();
  const bool showAll = import.m_params.Int(ParameterBlock::kShowAll) != 0;
  SignalList& signals = import.Lists().signals;
  import.m_blockCounter = 0;
  import.m_dataSize = 0;
  int32_t timeSignals = 0;
  try {
    for (mdf::CDGBlock* dg = import.m_mdf->GetFirstDG(); dg; dg = dg->GetNext())
      for (mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
        if (cg->GetNumberOfRecords() == 0) continue;
        for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
          if (cn->GetChannelType() == 1) continue;
          const mdf::CChannelInfo* info = nullptr;
          if (!composition->LookupChannel(mdf::StripParenSuffix(cn->GetSignalName()), info)) continue;
          std::string name = cn->GetSignalName();
          BracketIndices(name);
          importcore::MakeIdentifier(name);
          if (import.IsIgnoredName(name) || signals.FindByName(name.c_str())) continue;
          // A channel whose values no reader delivers composes nothing: left out, as on the normal road.
          if (const std::string why = LeftOutBecause(*dg, *cn); !why.empty()) {
            AddWarning(0, SignalWarning(cn->GetSignalName(), why));
            continue;
          }
          const bool ownNoValue = cn->IsNoValueSet();
          Series s;
          if (!FindSeries(*info, composed, ownNoValue ? cn->GetNoValue() : mdf::CDataComposition::kNoValue, s) ||
              s.kept == 0)
            continue;

          auto time = std::make_unique<SignalRecord>();
          ComposedValues(*time, s, info->m_firstTime);
          time->Name = time->DisplayName = "Time_" + std::to_string(timeSignals++);
          time->STyp = styp::kTime;
          time->isTime = 1;
          time->YUnit = "s";
          time->YMin = s.times[0];
          time->YMax = s.times[s.kept - 1];
          time->IsUniDir = 1;
          time->MinDelta = s.minStep;
          time->MaxDelta = s.maxStep;
          if (!showAll) time->Ignore = ignore::kHiddenFaultyTime;

          auto value = std::make_unique<SignalRecord>();
          ComposedValues(*value, s, info->m_firstValue);
          value->Name = value->DisplayName = name;
          if (const mdf::CTextBlock* comment = cn->GetComment()) value->Label = comment->GetText();
          value->STyp = styp::kSignal;
          if (ownNoValue) {
            value->NoValue = cn->GetNoValue();
            value->HasNoValue = 1;
            if (!importcore::CheckHostVersion(6.0, 2.05) && value->NoValue == 0.0)
              AddWarning(warn::kNoValueZero, mdf::StrFormat(mdf::Ansi("Warnung für Signal %s: NoValue-Code = 0.0").c_str(),
                                                            value->Name.c_str()));
          }
          value->YMin = s.minValue;
          value->YMax = s.maxValue;
          if (const mdf::CCCBlock* cc = cn->GetConversion()) value->YUnit = cc->GetUnit();
          value->XSignal = time->Name.str();

          // The time signal's blocks come first; a channel whose time signal
          // found no room gets none either.
          if (ReserveDataSpace(import, *time))
            ReserveDataSpace(import, *value);
          else
            value->Ignore = ignore::kHidden;
          value->timeRecord = &signals.Append(std::move(time));
          signals.Append(std::move(value));
        }
      }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  signals.Renumber();
  import.m_nSignals = static_cast<int32_t>(signals.Count());
  ReportImportErrors(user);
  return 1;
}

}  // namespace pellor

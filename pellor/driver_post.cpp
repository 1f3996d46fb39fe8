// The passes over an MDF import's signal list once every group is loaded:
// ignored and pause signals, one-value signals as scalars, the time base,
// the warnings, the "MDF2" order and the program block's scalars.
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "importcore/host_types.h"
#include "importcore/pause_axes.h"
#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "pellor/canlog.h"
#include "pellor/driver.h"
#include "pellor/driver_internal.h"
#include "pellor/file_import.h"
#include "pellor/options.h"

namespace pellor {
namespace {

constexpr std::string_view kPauseComment = "$PAUSE_COMMENT";

// Ignored names are hidden; a pause signal counts in seconds from the start
// of the signal before it.
void IgnoreAndPause(FileImport& import) {
  for (SignalRecord& r : import.Lists().signals)
    if (import.IsIgnoredName(r.Name.str())) r.Ignore = ignore::kHidden;
  importcore::ChainPauseAxes(import.Lists().signals, [&](const SignalRecord& r) {
    return r.Name.str().compare(0, kPauseComment.size(), kPauseComment) == 0 && !import.IsIgnoredName(r.Name.str());
  });
}

// The physical value of a signal's first sample.
// The signal's one value; none when it cannot be read.
std::optional<double> FirstValue(const SignalRecord& r) {
  double value = 0;
  mdf::CDataBlock* data = r.dataGroup ? r.dataGroup->GetDataBlock() : nullptr;
  if (!data || !r.channel || data->GetDoubleContent(r.channel, std::span<double>(&value, 1), 0, 1, true) != 1)
    return std::nullopt;
  return value;
}

void AddScalarFromSignal(FileImport& import, const SignalRecord& r) {
  const std::optional<double> value = FirstValue(r);
  if (!value) return;  // no value that could be read: no scalar
  try {
    auto scalar = std::make_unique<ScalarRecord>();
    scalar->keep = 1;
    scalar->Name = r.Name.str();
    scalar->DisplayName = r.DisplayName.str();
    scalar->Alias = r.Alias.str();
    scalar->Label = r.Label.str();
    scalar->DTyp = importcore::dtyp::kFloat64;
    scalar->XOffset = r.XMin;
    scalar->Unit = r.YUnit.str();
    scalar->Value = *value;
    import.Lists().scalars.Append(std::move(scalar));
  } catch (const std::bad_alloc&) {
    // a scalar that cannot be had is left out
  }
}

// Signals of a single value leave the list; those that are no time signals become scalars.
void OneValueSignalsToScalars(FileImport& import) {
  SignalList& signals = import.Lists().signals;
  for (SignalRecord& r : signals) {
    if (r.NoOfValues != 1) continue;
    if (!r.isTime) AddScalarFromSignal(import, r);
    import.FreeCache(r);
    r.valueTexts.clear();
    r.keep = 0;
  }
  for (SignalRecord& r : signals)
    if (r.timeRecord && r.timeRecord->keep == 0) r.timeRecord = nullptr;
  signals.DropUnused();
  signals.Renumber();
  import.Lists().scalars.Renumber();
  import.m_nSignals = static_cast<int32_t>(signals.Count());
  import.m_nScalars = static_cast<int32_t>(import.Lists().scalars.Count());
}

// Moves every time field by `shift`: the values of time signals (their
// NoValue, on the raw grid of integer types, follows the new offset) and
// every signal's X axis.
void ShiftTimes(SignalList& signals, double shift) {
  for (SignalRecord& r : signals) {
    if (r.isTime) {
      r.YOffset += shift;
      r.YMax += shift;
      r.YMin += shift;
      if (r.HasNoValue) {
        r.NoValue += shift;
        if (r.DTyp < importcore::dtyp::kFloat32Alt && r.YFactor != 0)
          r.NoValue = std::trunc((r.NoValue - r.YOffset) / r.YFactor) * r.YFactor + r.YOffset;
      }
    }
    r.XOffset += shift;
    r.XMax += shift;
    r.XMin += shift;
  }
}

void ResetTime(FileImport& import) {
  SignalList& signals = import.Lists().signals;
  const int32_t reset = import.m_params.Int(ParameterBlock::kResetTime);
  if (reset == 1 && (WarningFlags() & warn::kTimeErrors)) {
    // Each axis from its own start: the groups' faulty times have no common base.
    for (SignalRecord& r : signals) {
      if (r.isTime) {
        r.YOffset -= r.YMin;
        r.YMax -= r.YMin;
        r.YMin = 0;
      }
      r.XOffset -= r.XMin;
      r.XMax -= r.XMin;
      r.XMin = 0;
    }
  } else if (reset == 1) {
    if (const double t0 = TimeBase(signals); t0 != kNoTimeBase) ShiftTimes(signals, -t0);
  } else if (import.m_startFraction != 0) {
    ShiftTimes(signals, import.m_startFraction);
  }
}

// The older order: groups from the last to the first, each with its time
// signal first and its other signals named "<name>@<group>".
void Mdf2Order(FileImport& import) {
  SignalList& signals = import.Lists().signals;
  int32_t groups = 0;
  for (const SignalRecord& r : signals) groups = std::max(groups, r.iGroup);
  std::vector<SignalRecord*> order;
  order.reserve(signals.Count());
  for (int32_t g = groups; g >= 1; --g) {
    for (SignalRecord& r : signals)
      if (r.iGroup == g && r.isTime) order.push_back(&r);
    for (SignalRecord& r : signals)
      if (r.iGroup == g && !r.isTime) {
        r.Name = r.Name.str() + "@" + std::to_string(g);
        order.push_back(&r);
      }
  }
  SignalList reordered;
  for (SignalRecord* r : order) reordered.Append(signals.Unlink(r));
  signals = std::move(reordered);
  signals.Renumber();
  import.m_nSignals = static_cast<int32_t>(signals.Count());
}

}  // namespace

void FinishSignalList(FileImport& import, const std::string& user) {
  IgnoreAndPause(import);
  OneValueSignalsToScalars(import);
  ResetTime(import);
  ReportImportErrors(user);
  if (user == "MDF2") Mdf2Order(import);
  ReadPrScalars(import);
  import.RangesChanged();
}

}  // namespace pellor

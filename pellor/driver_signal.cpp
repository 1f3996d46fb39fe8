// The normal road's making of one signal record per channel: names, host
// type, NoValue, the group's time axis (settled by the data-group loader and
// repaired where its stamps do not rise), value range, conversion and place in
// the flat data space.
#include <algorithm>
#include <cmath>
#include <limits>

#include "importcore/host_types.h"
#include "importcore/support.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "pellor/canlog.h"
#include "pellor/driver.h"
#include "pellor/driver_internal.h"
#include "pellor/file_import.h"
#include "pellor/host_type.h"
#include "pellor/options.h"
#include "pellor/ranges.h"
#include "pellor/time_repair.h"

namespace pellor {
namespace {

using mdf::CCCBlock;
using mdf::CCNBlock;

constexpr uint16_t kOwnMarker = 0xAAB;
constexpr uint16_t kMarkerNoValue = 8;
constexpr size_t kMaxLabel = 254;

std::string Capped(const std::string& text, size_t max) { return importcore::CopyTextN(text, max + 1); }

// The name by the name mode: 1 the ASAM name, 2 the display name, when they
// are long enough to say more than the short name.
std::string NameByMode(const CCNBlock& cn, int32_t mode) {
  const std::string shortName = cn.GetSignalName();
  if (mode == 1) {
    const std::string asam = cn.GetAsamName();
    if (!asam.empty()) return asam.size() >= 10 ? asam : shortName;
  } else if (mode == 2) {
    if (std::string display = cn.GetDisplayName(); display.size() >= 10) return display;
    if (std::string asam = cn.GetAsamName(); asam.size() >= 11) return asam;
  }
  return shortName;
}

// A text table's value as the value-text list holds it: truncated, saturated to 32 bits.
int32_t TableValue(double v) {
  if (std::isnan(v)) return 0;
  if (v <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v);
}

// The text of the time-error warning: the errors, whether they were repaired,
// and the group's other channels, five names on the first line, four on each further one.
std::string TimeErrorWarning(const CCNBlock& time, int32_t errors, int32_t group, uint32_t first, bool repaired) {
  std::string text = mdf::StrFormat("\nMind. %d Fehler im Zeitkanal bei Gruppe %d, Index = %u\n", errors, group, first);
  text += mdf::Ansi(repaired ? "Der Fehler wurde durch Interpolation behoben.\n"
                             : "Der Fehler wurde nicht behoben, das Zeitsignal wird ignoriert.\n");
  text += "Betroffen sind folgende Signale:\n";
  int k = 0;
  for (const CCNBlock* cn = time.GetNext(); cn; cn = cn->GetNext()) {
    ++k;
    text += cn->GetSignalName();
    text += k == 5 || (k > 5 && (k - 5) % 4 == 0) ? "\n" : ", ";
  }
  return text;
}

// The short names of the group's channels but its time channel, one per line.
std::string AffectedSignals(const CCNBlock& time) {
  std::string list;
  for (const CCNBlock* cn = time.GetNext(); cn; cn = cn->GetNext()) {
    if (!list.empty()) list += "\r\n";
    list += cn->GetSignalName();
  }
  return list;
}

}  // namespace

std::string SignalWarning(const std::string& signal, const std::string& what) {
  return mdf::Ansi("Warnung für Signal ") + signal + ": " + what;
}

std::string LeftOutBecause(const mdf::CDGBlock& dg, const CCNBlock& cn) {
  const mdf::CDataBlock* data = dg.GetDataBlock();
  if (!data || data->DeliversValues(&cn)) return std::string();
  if (!data->LiesWithinRecord(&cn)) {
    const unsigned first = cn.GetStartOffset() + 8u * cn.GetAdditionalByteOffset();
    return mdf::StrFormat(mdf::Ansi("Bits %u bis %u liegen außerhalb des Datensatzes").c_str(), first,
                          first + cn.GetNumberOfBits());
  }
  return mdf::StrFormat("Datentyp %u mit %u Bit hat keine Zahlenwerte", static_cast<unsigned>(cn.GetDataType()),
                        static_cast<unsigned>(cn.GetNumberOfBits()));
}

double OwnNoValue(const CCNBlock& cn) {
  return IsQNaNPattern(cn.GetNoValue()) ? CCNBlock::kDefaultNoValue : cn.GetNoValue();
}

NewRecord NormalImport::BeginRecord(CCNBlock& cn, mdf::CDGBlock& dg, mdf::CCGBlock& cg, bool isTime) {
  NewRecord n;
  const std::string shortName = cn.GetSignalName();
  if (!isTime && !m_import.m_loadList.empty() && !m_import.IsSignalToLoad(shortName)) return n;
  if (!cn.IsConversionOk()) {
    if (m_import.m_params.Int(ParameterBlock::kIgnoreUnknownScaling) == 0) {
      SetWarningFlag(warn::kUnknownScalingLeftOut);
      return n;
    }
    SetWarningFlag(warn::kUnknownScalingKept);
  }
  const HostType type = SelectHostType(cn, m_import.m_compose);
  if (type.DTyp == 0 || type.bytes <= 0) {
    // Integers wider than 64 bits have no host type.
    AddWarning(0, SignalWarning(shortName, mdf::StrFormat("%u Bit breite Werte werden nicht unterst\xFCtzt",
                                                          static_cast<unsigned>(cn.GetNumberOfBits()))
                                               .c_str()));
    return n;
  }
  // A channel whose values no reader delivers is left out: its signal would
  // show values that are not in the file.
  if (const std::string why = LeftOutBecause(dg, cn); !why.empty()) {
    AddWarning(0, SignalWarning(shortName, why));
    return n;
  }

  // A data channel of a group whose records were not read: the marker this
  // program stored tells whether NoValues were seen, as a read would.
  const uint16_t marker = cn.IsRangeValid();
  if (!isTime && !m_readThisGroup && (marker >> 4) == kOwnMarker) {
    if (marker & kMarkerNoValue) {
      if (m_import.m_kestravo && !cn.IsNoValueSet()) cn.SetNoValue(CCNBlock::kDefaultNoValue);
    } else if (!m_import.m_kestravo) {
      cn.ClearNoValue();
    }
  }

  n.record = std::make_unique<SignalRecord>();
  n.channel = &cn;
  SignalRecord& r = *n.record;
  r.keep = 1;
  const std::string source = cn.GetExtension() ? ExtensionSourceText(*cn.GetExtension()) : std::string();
  n.chosenName = NameByMode(cn, m_import.m_params.Int(ParameterBlock::kNameMode));
  if (!source.empty()) n.chosenName += "\\" + source;
  n.chosenName = Capped(n.chosenName, kMaxChosenName);

  std::string name = Capped(shortName, kMaxChosenName);
  r.NoOfValues = m_loader.RecordsOf(dg);
  ProgressSetSignal(r.NoOfValues, name, m_progress);
  importcore::PumpMessages();
  importcore::MakeIdentifier(name);
  r.Name = name;

  r.DTyp = type.DTyp;
  r.STyp = type.STyp;
  r.Demux = type.bytes;
  r.BitSize = type.BitSize;
  r.typeFlags = type.converted ? kConvertedToDouble : 0;
  n.defaultNoValue = type.noValue;
  r.BlockOffset = 0;
  r.ValuesPerBlock = FileImport::kBlockSize / type.bytes;
  r.Block0 = m_import.m_blockCounter;
  r.iGroup = m_group;
  r.dataGroup = &dg;
  r.channelGroup = &cg;
  r.channel = &cn;

  if (cn.IsNoValueSet()) {
    r.HasNoValue = 1;
    r.NoValue = OwnNoValue(cn);
    r.noValueSubstituted = IsQNaNPattern(cn.GetNoValue()) ? 1 : 0;
  }
  return n;
}

void NormalImport::SettleTime(NewRecord& time, mdf::CDGBlock& dg, mdf::CCGBlock& cg) {
  SignalRecord& r = *time.record;
  CCNBlock& cn = *time.channel;
  const bool showAll = m_import.m_params.Int(ParameterBlock::kShowAll) != 0;
  r.Name = r.Name.str() + "@" + std::to_string(m_group);
  r.axisValues = 1;
  r.isTime = 1;
  r.STyp = styp::kTime;
  if (m_import.m_kestravo) r.NoValue = 0;

  mdf::TimeInfoRecord info;
  int32_t errors = 0;
  uint32_t firstError = 0;
  const int flags = m_loader.ReadDataGroup(dg, r, m_group, info, &m_progress, errors, firstError);
  m_readThisGroup = m_loader.LastReport().readRecords;
  m_axis = GroupAxis{info.Min(), info.Max(), info.Fac(), info.Ofs(), info.Min(), info.Max(), info.MinD(), info.MaxD(),
                     info.Unit()};
  // Settled by the file, the time information stored by the import that
  // read the records still holds the steps it measured.
  if (mdf::TimeInfoRecord stored; !m_readThisGroup && m_mdf.ReadTimeInfo(stored, m_loader.TimeInfoKey(&cg))) {
    m_axis.minD = stored.MinD();
    m_axis.maxD = stored.MaxD();
  }

  const bool timeErrors = (flags & kGroupTimeErrors) != 0;
  if (!timeErrors) m_import.FreeCache(r);
  if ((flags & kGroupEquidistant) && !timeErrors) {
    r.IsUniDir = 1;
    if (!showAll) r.Ignore = ignore::kHidden;
    return;
  }
  if (!showAll) r.Ignore = ignore::kHiddenFaultyTime;
  if (!timeErrors) return;

  const bool repaired = !m_import.m_kestravo && CheckTimeChannel(cn, r) == 1;
  if (repaired) {
    // The repaired stamps are what the host reads of the time signal, and
    // the group's time axis: the cache stays, whatever the memory limit.
    r.DTyp = importcore::dtyp::kFloat64;
    r.Demux = 8;
    r.ValuesPerBlock = FileImport::kBlockSize / 8;
    r.BitSize = 0;
    ValueCache& cache = r.cache;
    cache.type = importcore::dtyp::kFloat64;
    if (DeliversPhysical(r)) {
      const double gap = cn.IsNoValueSet() ? ScanNoValue(cn) : 0;
      auto* stamps = reinterpret_cast<double*>(cache.bytes.data());
      for (size_t i = 0; i < cache.bytes.size() / 8; ++i)
        stamps[i] = cn.IsNoValueSet() && stamps[i] == gap ? OwnNoValue(cn) : mdf::ApplyConversion(cn.GetConversion(), stamps[i]);
      cache.physical = true;
    }
    m_import.m_cachedBytes -= std::min(m_import.m_cachedBytes, cache.counted);
    cache.counted = 0;
    m_axis.xMin = r.XMin;
    m_axis.xMax = r.XMax;
    m_axis.xFactor = r.XFactor;
    m_axis.xOffset = r.XOffset;
    m_axis.yMin = r.YMin;
    m_axis.yMax = r.YMax;
  } else {
    m_import.FreeCache(r);
  }
  AddWarning(warn::kTimeErrors, TimeErrorWarning(cn, errors, m_group, firstError, repaired));
  if (repaired) return;

  // Without rising stamps the group's signals are equidistant, by the period the user confirms;
  // a sampling rate field that gives no period proposes one second.
  double period = cn.GetSamplingRate();
  if (!std::isfinite(period) || period <= 0) period = 1.0;
  if (m_user != "ZSP") {
    CEditFrq dialog;
    dialog.m_period = period;
    dialog.m_signals = AffectedSignals(cn);
    if (dialog.DoModal() == IDOK && dialog.m_period != 0) period = dialog.m_period;
  }
  m_axis.xFactor = period;
  if (!showAll) r.Ignore = ignore::kHidden;
  r.STyp = styp::kEquidistant;
  m_fixedPeriod = true;
}

void NormalImport::SettleWithoutTime(mdf::CDGBlock& dg, mdf::CCGBlock& cg, const CCNBlock* leftOut) {
  m_loader.MeasureGroup(dg, leftOut, &m_progress);
  m_readThisGroup = m_loader.LastReport().readRecords;
  const CCNBlock* first = cg.GetFirstCN();
  double period = first ? first->GetSamplingRate() : 0;
  if (!std::isfinite(period) || period <= 0) period = 1.0;
  const uint32_t records = m_loader.RecordsOf(dg);
  m_axis = GroupAxis();
  m_axis.xFactor = period;
  m_axis.xMax = records > 1 ? (records - 1) * period : 0;
  m_axis.unit = "s";
  m_fixedPeriod = true;
}

void NormalImport::LinkTime(SignalRecord& r) {
  if (m_time) {
    r.timeRecord = m_time;
    r.XSignal = m_time->Name.str();
  }
  if (m_fixedPeriod) r.STyp = styp::kEquidistant;
}

void NormalImport::FinishRecord(NewRecord& n, mdf::CDGBlock& dg, mdf::CCGBlock& cg) {
  SignalRecord& r = *n.record;
  CCNBlock& cn = *n.channel;
  if (!r.isTime) LinkTime(r);

  if (m_import.m_kestravo) {
    std::string display = n.chosenName.empty() ? cn.GetSignalName() : n.chosenName;
    BracketIndices(display);
    if (const mdf::CTextBlock* comment = cg.GetComment()) {
      // Its first line, after a tab when the line has one.
      std::string text = comment->GetText();
      if (const size_t lf = text.find('\n'); lf != std::string::npos) text.resize(lf);
      if (const size_t tab = text.find('\t'); tab != std::string::npos) text.erase(0, tab + 1);
      display += "\\" + text;
    }
    r.DisplayName = Capped(display, kMaxChosenName);
    if (!cn.IsNoValueSet()) {
      r.NoValue = n.defaultNoValue;
      r.HasNoValue = 1;
    }
  } else {
    r.DisplayName = n.chosenName;
  }
  if (const mdf::CTextBlock* comment = cn.GetComment()) r.Label = Capped(comment->GetText(), kMaxLabel);

  // The channel's own NoValue, which the record holds again in the end (a
  // KESTRAVO time signal's is 0 meanwhile).
  if (cn.IsNoValueSet() && !importcore::CheckHostVersion(6.0, 2.05) && OwnNoValue(cn) == 0.0)
    AddWarning(warn::kNoValueZero, SignalWarning(r.DisplayName.str(), "NoValue-Code = 0.0"));
  const CCCBlock* cc = cn.GetConversion();
  if (cc && cc->GetType() == CCCBlock::kLinear && cc->GetParams()[1] == 0.0)
    AddWarning(warn::kFactorZero, SignalWarning(r.DisplayName.str(), "Umrechnungsfaktor = 0.0"));

  ReserveDataSpace(m_import, r);

  if (r.XFactor == 0) {
    r.XMin = m_axis.xMin;
    r.XMax = m_axis.xMax;
    r.XFactor = m_axis.xFactor;
    r.XOffset = m_axis.xOffset;
  }
  r.XUnit = m_axis.unit;

  if (r.isTime) {
    if (r.YFactor == 0) {
      r.YMin = m_axis.yMin;
      r.YMax = m_axis.yMax;
    }
    r.YUnit = m_axis.unit;
    r.YFactor = 1.0;
    r.YOffset = 0;
    r.axisValues = 1;
    r.MinDelta = m_axis.minD;
    r.MaxDelta = m_axis.maxD;
  } else {
    SetRange(n, dg);
  }
  ApplyConversion(n);
}

void NormalImport::SetRange(NewRecord& n, mdf::CDGBlock& dg) {
  SignalRecord& r = *n.record;
  CCNBlock& cn = *n.channel;
  const LoaderSettings& settings = m_loader.Settings();
  if (ComputeSignalRange(cn, r, settings, m_mdf) != 0) {
    // Not known from the blocks: what the loader measured, or else a pass of this channel's own.
    if (cn.GetRangeState() != 0) {
      r.YMin = cn.GetMinPhys();
      r.YMax = cn.GetMaxPhys();
    } else {
      ProgressSetSignal(r.NoOfValues, r.Name.str(), m_progress);
      m_loader.FindMinMax(cn, r, m_timeChannel, dg, &m_progress);
    }
  }
  WidenRange(r, cn, r.YMin, r.YMax, settings);
  r.MinDelta = 0;
  r.MaxDelta = 1.0;
  r.IsUniDir = 0;
}

void NormalImport::ApplyConversion(NewRecord& n) {
  SignalRecord& r = *n.record;
  const CCNBlock& cn = *n.channel;
  if (const CCCBlock* cc = cn.GetConversion()) {
    const int type = cc->GetType();
    if (type == CCCBlock::kLinear && !DeliversPhysical(r)) {
      const double factor = cc->GetParams()[1], offset = cc->GetParams()[0];
      r.YFactor = factor;
      r.YOffset = offset;
      if (!cn.IsNoValueSet()) r.NoValue = r.NoValue * factor + offset;
    } else if (type != CCCBlock::kTextTable) {
      r.YFactor = 1.0;
    }
    // A text table: its values and their texts, the range of its values.
    const std::vector<CCCBlock::TextTableEntry>& table = cc->GetTextTable();
    if (type == CCCBlock::kTextTable && table.size() > 1) {
      r.STyp = styp::kDigital;
      double lo = table[0].value, hi = table[0].value;
      for (const CCCBlock::TextTableEntry& e : table) {
        r.valueTexts.push_back(ValueText{TableValue(e.value), e.text.data()});
        lo = std::min(lo, e.value);
        hi = std::max(hi, e.value);
      }
      r.YMin = lo;
      r.YMax = hi;
      if (m_loader.Settings().rangeFlags & ParameterBlock::kRangeNice) {
        r.YMin -= 0.1;
        r.YMax += 0.1;
      }
    }
  }
  if (cn.IsNoValueSet()) {
    r.NoValue = OwnNoValue(cn);
    r.HasNoValue = 1;
  }
}

}  // namespace pellor

// The CAN-log import: the choice of databases, the signals they define for the
// pairs that occur, and the steps in order.
#include "pellor/canlog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "importcore/host_types.h"
#include "importcore/support.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "pellor/candb/candb.h"
#include "pellor/candb/multiplex.h"
#include "pellor/dialogs/can_settings.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"
#include "platform/win32/codepage.h"
#include "platform/win32/file.h"

namespace pellor {

CanLogImport::CanLogImport(FileImport& import, std::string user) : m_import(import), m_user(std::move(user)) {}

CanLogImport::~CanLogImport() = default;

void CanLogImport::ReportError(const std::string& text) const {
  if (m_user == "ZSP") {
    WriteVariable("ERRNO", "1");
    WriteVariable("ERRMSG", text);
  } else {
    MessageBoxA(GetActiveWindow(), text.c_str(), kModuleName, MB_OK | MB_ICONHAND);
  }
}

std::string CanSettingsPath() {
  std::string folder;
  for (const char* name : {"TEMP", "TMP", "TMPDIR"})
    if (const char* value = std::getenv(name); value && *value) {
      folder = winport::Utf8ToAnsi(value);
      break;
    }
  if (folder.empty()) folder = importcore::ReadVariable("WORKDIR").value_or("");
  if (folder.empty()) folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder + kCanSettingsFileName;
}

// ---------------------------------------------------------------- databases

bool CanLogImport::ChooseDatabases() {
  const bool dialog = m_user.empty() || m_user == "MDF2" || m_user == "ImportCAN";
  const std::string settings = dialog || m_user == "ZSP" ? CanSettingsPath() : m_user;
  std::vector<std::vector<std::string>> lists;
  for (int c = 0; c < kCanChannels; ++c)
    if (m_idCounts[static_cast<size_t>(c)] != 0) lists.push_back(ReadCanIniSection(c, settings));
  if (dialog) {
    CCANDlg dlg(m_idCounts, lists, GetActiveWindow());
    if (dlg.DoModal() != IDOK) return false;
    // The settings file keeps the choice for the next log.
    std::remove(winport::AnsiToUtf8(settings).c_str());
  }
  size_t tab = 0;
  for (int c = 0; c < kCanChannels; ++c) {
    if (m_idCounts[static_cast<size_t>(c)] == 0) continue;
    std::vector<std::string> paths = tab < lists.size() ? std::move(lists[tab]) : std::vector<std::string>();
    ++tab;
    if (dialog) WriteCanIniSection(paths, c, settings);
    SetDatabasePaths(c, std::move(paths));
  }
  return true;
}

void CanLogImport::SetDatabasePaths(int channel, std::vector<std::string> paths) {
  if (channel >= 0 && channel < kCanChannels) m_paths[static_cast<size_t>(channel)] = std::move(paths);
}

bool CanLogImport::ReadDatabases() {
  for (int c = 0; c < kCanChannels; ++c) {
    if (m_idCounts[static_cast<size_t>(c)] == 0) continue;
    for (const std::string& path : m_paths[static_cast<size_t>(c)]) {
      auto db = std::make_unique<CDbBase>();
      db->SetChannel(c);
      if (!db->ReadDbcFile(path)) {
        ReportError(mdf::StrFormat(kCanDatabaseFaulty, path.c_str()));
        return false;
      }
      m_databases.push_back(std::move(db));
    }
  }
  return true;
}

const CanMsg* CanLogImport::FindMessage(int32_t channel, int32_t id) const {
  // A database may write an extended id without bit 31.
  const bool extended = id < 0 && (id & 0x7FFFFFFF) > 0x7FF;
  for (const auto& db : m_databases) {
    if (db->Channel() != channel) continue;
    if (const CanMsg* message = db->FindMessageById(id)) return message;
    if (extended)
      if (const CanMsg* message = db->FindMessageById(id & 0x7FFFFFFF)) return message;
  }
  return nullptr;
}

// ---------------------------------------------------------------- signals

// The options that shape the signals.
struct CanSignalOptions {
  explicit CanSignalOptions(const ParameterBlock& params)
      : showAll(params.Int(ParameterBlock::kShowAll) != 0),
        overwriteRange((params.Int(ParameterBlock::kRangeFlags) & ParameterBlock::kRangeOverwrite) != 0),
        namePattern(params.Pattern(ParameterBlock::kCanNamePattern)),
        displayPattern(params.Pattern(ParameterBlock::kCanDisplayNamePattern)),
        aliasPattern(params.Pattern(ParameterBlock::kCanAliasPattern)) {}
  bool showAll, overwriteRange;
  std::string namePattern, displayPattern, aliasPattern;
};

namespace {

const char* FaultText(CanFieldFault fault) {
  return fault == CanFieldFault::kBadFloat ? "Gleitkommawert dieser Länge oder Lage wird nicht unterstützt"
                                           : "liegt nicht ganz in den 8 Datenbytes";
}

// Why a multiplexed signal is left out (UTF-8).
std::string MuxFaultText(const MuxLink& link) {
  const char* name = link.multiplexorName.c_str();
  switch (link.fault) {
    case MuxFault::kNoMultiplexor:
      return "die Botschaft hat keinen Multiplexor";
    case MuxFault::kAmbiguous:
      return "die Botschaft hat mehrere Multiplexoren, keine SG_MUL_VAL_-Zeile nennt einen";
    case MuxFault::kMissing:
      return mdf::StrFormat("Multiplexor %s fehlt in der Botschaft oder wird ausgelassen", name);
    case MuxFault::kNotAMultiplexor:
      return mdf::StrFormat("%s ist kein Multiplexor", name);
    case MuxFault::kConflict:
      return "SG_MUL_VAL_-Zeilen nennen verschiedene Multiplexoren";
    case MuxFault::kCycle:
      return mdf::StrFormat("Multiplexor %s wählt sich über andere selbst", name);
    case MuxFault::kUnresolved:
      return mdf::StrFormat("Multiplexor %s ist nicht auflösbar", name);
    case MuxFault::kNone:
      break;
  }
  return {};
}

// "Warnung für Signal <signal> (<message>): <why>, das Signal wird ausgelassen." (`why` in UTF-8)
void WarnLeftOut(const std::string& signal, const CanMsg& message, const std::string& why) {
  AddWarning(0, winport::Utf8ToAnsi("Warnung für Signal ") + signal + " (" + message.Name() + "): " +
                    winport::Utf8ToAnsi(why + ", das Signal wird ausgelassen."));
}

// The time signal "time@<number>" of a pair of `frames` frames.
std::unique_ptr<SignalRecord> MakeTimeRecord(int32_t number, uint32_t frames, const CanSignalOptions& options) {
  auto t = std::make_unique<SignalRecord>();
  t->keep = 1;
  t->isTime = 1;
  t->Name = mdf::StrFormat("time@%d", number);
  t->Ignore = options.showAll ? ignore::kShown : ignore::kHiddenFaultyTime;
  t->STyp = styp::kTime;
  t->XUnit = "s";
  t->YUnit = "s";
  t->YFactor = 1.0;
  t->MaxDelta = 1.0;
  t->NoOfValues = frames;
  // Doubles: a float steps by 1 ms at 8,192 s.
  t->DTyp = importcore::dtyp::kFloat64;
  t->Demux = 8;
  t->ValuesPerBlock = FileImport::kBlockSize / 8;
  return t;
}

// The record of a database signal over its pair's time signal.
std::unique_ptr<SignalRecord> MakeSignalRecord(const CanSig& sig, const CanMsg& message, int32_t channel,
                                               SignalRecord& time, const CanSignalOptions& options) {
  auto r = std::make_unique<SignalRecord>();
  r->keep = 1;
  std::string name = FormatCanSignalName(options.namePattern, sig, message, channel);
  importcore::MakeIdentifier(name);
  r->Name = name;
  r->DisplayName = FormatCanSignalName(options.displayPattern, sig, message, channel);
  r->Alias = FormatCanSignalName(options.aliasPattern, sig, message, channel);
  r->Label = sig.Comment();
  r->YUnit = sig.Unit();
  r->XUnit = "s";
  if (!options.overwriteRange) {
    r->YMin = sig.Min();
    r->YMax = sig.Max();
  }
  r->YFactor = sig.Factor();
  r->YOffset = sig.Offset();
  r->MaxDelta = 1.0;
  r->NoOfValues = time.NoOfValues;
  // A 32-bit float holds integers of up to 24 bits exactly.
  const bool wide = sig.IsFloat() ? sig.Length() == 64 : sig.Length() > 24;
  r->DTyp = wide ? importcore::dtyp::kFloat64 : importcore::dtyp::kFloat32;
  r->Demux = wide ? 8 : 4;
  r->ValuesPerBlock = FileImport::kBlockSize / r->Demux;
  r->STyp = sig.Length() <= 4 ? styp::kDigital : styp::kSignal;
  for (const CanVal& value : sig.Values()) {
    r->valueTexts.push_back(ValueText{value.Value(), value.Text()});
    r->STyp = styp::kDigital;
  }
  r->XSignal = time.Name.str();
  r->timeRecord = &time;
  return r;
}

}  // namespace

bool CanLogImport::GenerateCanSignals() {
  m_import.m_nSignals = 0;
  m_import.m_dataSize = 0;
  m_import.m_blockCounter = 0;
  const CanSignalOptions options(m_import.m_params);
  int32_t timeSignals = 0;
  for (int32_t c = 0; c < kCanChannels; ++c)
    if (m_idCounts[static_cast<size_t>(c)] != 0) GenerateChannelSignals(c, options, timeSignals);
  if (m_signals.empty()) {
    ReportError(kCanNoSignals);
    return false;
  }
  SortCanSignals();
  return true;
}

void CanLogImport::GenerateChannelSignals(int32_t channel, const CanSignalOptions& options, int32_t& timeSignals) {
  for (uint32_t p = 0; p < m_pairs.size(); ++p) {
    const Pair& pair = m_pairs[p];
    if (pair.channel != channel) continue;
    const CanMsg* message = FindMessage(channel, pair.id);
    if (!message) continue;
    for (const CanMsg::LeftOutSignal& out : message->LeftOutSignals())
      WarnLeftOut(out.name, *message, "Multiplex-Kennung " + out.indicator + " ist unbekannt");
    // The fields that cannot be read, and then who multiplexes whom: once per message.
    const auto& signals = message->Signals();
    std::vector<CanFieldFault> faults(signals.Count());
    std::vector<bool> leftOut(signals.Count());
    for (size_t i = 0; i < signals.Count(); ++i) leftOut[i] = (faults[i] = CheckCanField(signals[i])) != CanFieldFault::kNone;
    const std::vector<MuxLink> links = ResolveMultiplexing(*message, leftOut);

    SignalRecord* time = nullptr;
    bool timeHasBlocks = false;
    for (size_t i = 0; i < signals.Count(); ++i) {
      const CanSig& sig = signals[i];
      const MuxLink& link = links[i];
      if (faults[i] != CanFieldFault::kNone) {
        WarnLeftOut(sig.Name(), *message, FaultText(faults[i]));
        continue;
      }
      if (link.fault != MuxFault::kNone) {
        WarnLeftOut(sig.Name(), *message, MuxFaultText(link));
        continue;
      }
      if (!time) {
        std::unique_ptr<SignalRecord> t = MakeTimeRecord(++timeSignals, pair.frames, options);
        time = t.get();
        timeHasBlocks = ReserveDataSpace(m_import, *t);
        m_signals.push_back(Signal{std::move(t), time, p, nullptr, Signal::kTime, timeHasBlocks});
      }
      std::unique_ptr<SignalRecord> r = MakeSignalRecord(sig, *message, channel, *time, options);
      // A pair whose time signal found no room gets no values at all.
      bool hasBlocks = false;
      if (timeHasBlocks)
        hasBlocks = ReserveDataSpace(m_import, *r);
      else
        r->Ignore = ignore::kHidden;
      SignalRecord* record = r.get();
      const CanSig* multiplexor = link.multiplexor < 0 ? nullptr : &signals[static_cast<size_t>(link.multiplexor)];
      m_signals.push_back(Signal{std::move(r), record, p, &sig,
                                 sig.IsMultiplexor() ? Signal::kMultiplexor : Signal::kPlain, hasBlocks, multiplexor,
                                 MuxCondition(link.ranges), link.depth});
    }
  }
}

void CanLogImport::SortCanSignals() {
  std::stable_sort(m_signals.begin(), m_signals.end(), [&](const Signal& a, const Signal& b) {
    const Pair& pa = m_pairs[a.pair];
    const Pair& pb = m_pairs[b.pair];
    if (pa.channel != pb.channel) return pa.channel < pb.channel;
    if (pa.id != pb.id) return static_cast<uint32_t>(pa.id) < static_cast<uint32_t>(pb.id);
    return a.kind < b.kind;
  });
  SignalList& list = m_import.Lists().signals;
  for (Signal& s : m_signals) list.Append(std::move(s.owned));
  list.Renumber();
  m_import.m_nSignals = static_cast<int32_t>(list.Count());
}

// ---------------------------------------------------------------- the end

void CanLogImport::Finish() {
  if (m_import.m_params.Int(ParameterBlock::kResetTime) == 1) ResetCanTimes(m_import.Lists().signals);
  m_plans.clear();
  m_signals.clear();
  m_databases.clear();
  m_frames = std::vector<Frame>();
  m_import.m_inMemory = true;
  if (HasWarningText() || WarningFlags() != 0) ReportImportErrors(m_user);
}

bool ImportCanLog(FileImport& import, winport::File* file, const std::string& user) {
  CanLogImport can(import, user);
  {
    CWaitCursor wait;
    winport::File own;
    if (!file) {
      if (!import.m_mdf || !own.Open(import.m_mdf->GetPath(), winport::FileAccess::Read, winport::FileShare::ReadWrite))
        return false;
      file = &own;
    }
    if (!can.ReadCanFrames(*file)) return false;
  }
  if (!can.ChooseDatabases() || !can.ReadDatabases() || !can.GenerateCanSignals() || !can.AllocateValues())
    return false;
  can.DecodeCanValues();
  can.Finish();
  return true;
}

}  // namespace pellor

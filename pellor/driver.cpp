// The MDF import driver: its start (options, the file model, comments, the
// file date), the choice of the road, and the normal road's group loop.
#include "pellor/driver.h"

#include <array>
#include <cctype>
#include <new>

#include "importcore/support.h"
#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "pellor/canlog.h"
#include "pellor/driver_internal.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "pellor/time_repair.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/file.h"

namespace pellor {
namespace {

// Programs whose time information in the program block is rewritten when it is older than this.
constexpr double kOwnTimeInfoVersion = 3.01;
constexpr std::array<const char*, 15> kCanLogChannels = {
    "type",   "can",    "id",     "dir",    "rtr",    "dlc",    "msg[0]", "msg[1]",
    "msg[2]", "msg[3]", "msg[4]", "msg[5]", "msg[6]", "msg[7]", "msgTime"};

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The name part of a path: no folder, no extension.
std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  if (const size_t dot = name.find_last_of('.'); dot != std::string::npos) name.resize(dot);
  return importcore::CopyTextN(name, FileImport::kMaxBaseName + 1);
}

// Whether the CAN log is converted: without asking for "ImportCAN" or with
// WARNINGLEVEL 1 or more; otherwise the user is asked, except in "ZSP" mode,
// where no box may show (then it is imported as a plain MDF file).
bool ConvertsCanLog(const std::string& user) {
  if (user == "ImportCAN" || importcore::ReadVariableInt("WARNINGLEVEL") >= 1) return true;
  if (user == "ZSP") return false;
  const std::string question = mdf::Ansi(
      "Diese Datei ist offenbar eine CAN-LOG-Datei.\nSollen die CAN-Telegramme in Signale umgewandelt werden?");
  return MessageBoxA(GetActiveWindow(), question.c_str(), kModuleName, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Files of these programs carry time information of an older kind, which the
// import deletes and, with the ranges, writes anew. True when it did.
bool ReplaceOldTimeInformation(mdf::CMdf& mdf) {
  const mdf::CIDBlock* id = mdf.GetIDBlock();
  const std::string program = id ? id->GetProgramId() : std::string();
  if (program != "D2T_Merg" && program != "MORPHEE2") return false;
  const mdf::CPrgBlock* pr = mdf.GetPrgBlock();
  if ((pr ? pr->GetVersion() : 0.0) >= kOwnTimeInfoVersion) return false;
  mdf.AllowPrChange();
  mdf.DeleteTimeInfo();
  mdf.InvalidateTimeInfo();
  return true;
}

void SetFileDate(FileImport& import) {
  import.m_fileDate = 0;
  import.m_startFraction = 0;
  const mdf::CHeaderBlock* hd = import.m_mdf->GetHeaderBlock();
  if (!hd || importcore::ReadVariableInt("MDF_DATEINTERNAL") == 0) return;
  if (hd->GetTimeStamp() != 0)
    import.m_fileDate = hd->GetStartTime(&import.m_startFraction);
  else
    import.m_fileDate = static_cast<int32_t>(DateTextToTime(hd->GetDate(), hd->GetTime()));
}

// Whether some channel group counts records and none of them holds a whole one.
bool HoldsNoWholeRecord(const mdf::CMdf& mdf) {
  bool counted = false;
  for (const mdf::CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext())
    for (const mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      if (cg->GetNumberOfRecords() == 0) continue;
      counted = true;
      if (dg->GetDataBlock() && dg->GetDataBlock()->GetRecordsInFile() > 0) return false;
    }
  return counted;
}

// Whether a channel group holds fewer whole records than it counts.
bool HoldsFewerRecordsThanCounted(const mdf::CMdf& mdf) {
  for (const mdf::CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext())
    for (const mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext())
      if (cg->GetNumberOfRecords() > (dg->GetDataBlock() ? dg->GetDataBlock()->GetRecordsInFile() : 0)) return true;
  return false;
}

// Whether every channel a CAN-log import decodes delivers its values.
bool CanLogChannelsDeliver(const mdf::CDGBlock& dg) {
  const mdf::CDataBlock* data = dg.GetDataBlock();
  if (!data) return false;
  const mdf::CCNBlock* cn = dg.GetFirstCG()->GetFirstCN();
  for (size_t k = 0; cn && k < kCanLogChannels.size(); cn = cn->GetNext(), ++k) {
    const std::string name = cn->GetSignalName();
    if (name != "type" && name != "dir" && name != "rtr" && !data->DeliversValues(cn)) return false;
  }
  return true;
}

// The road of a file that is neither composed nor a CAN log.
int ImportNormal(FileImport& import, const std::string& user, const std::string& path, bool rewriteRanges) {
  winport::File stream;
  if (!stream.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite)) return 0;
  NormalImport normal(import, user, stream);
  if (rewriteRanges) {
    // This import's own options: the host's block stays as the host gave it.
    // A file whose data area is short keeps what it holds: its ranges are
    // measured, not written.
    LoaderSettings& settings = normal.Loader().Settings();
    settings.rangeFlags |= ParameterBlock::kRangeOverwrite;
    settings.fillRange = true;
    settings.writeRange = !import.m_mdf->HasShortDataArea();
  }
  if (!normal.Run()) return 0;
  FinishSignalList(import, user);
  return 1;
}

}  // namespace

// ---------------------------------------------------------------- names

bool IsCanLogFile(const mdf::CDGBlock* dg) {
  if (!dg || dg->GetNext()) return false;
  const mdf::CCGBlock* cg = dg->GetFirstCG();
  if (!cg || cg->GetNext() || cg->GetNumberOfRecords() == 0) return false;
  const mdf::CCNBlock* cn = cg->GetFirstCN();
  for (const char* name : kCanLogChannels) {
    if (!cn || cn->GetSignalName() != name) return false;
    cn = cn->GetNext();
  }
  return true;
}

void BracketIndices(std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '(') continue;
    if (i > 0 && name[i - 1] == ' ') {
      size_t end = i;
      while (end > 0 && name[end - 1] == ' ') --end;
      name.resize(end);
      return;
    }
    if (i + 1 < name.size() && IsDigit(name[i + 1])) {
      name[i] = '[';
      size_t j = i + 1;
      while (j < name.size() && IsDigit(name[j])) ++j;
      if (j < name.size()) name[j] = ']';
      i = j;
    }
  }
}

std::string ExtensionSourceText(const mdf::CCEBlock& ce) {
  const uint8_t* image = ce.Image();
  // A text ends at its NUL, at its field's width or at the end of the block's 128 bytes.
  const auto text = [&](size_t at, size_t width = mdf::CCEBlock::kSize) {
    return mdf::FixedText(image + at, std::min(width, mdf::CCEBlock::kSize - at));
  };
  const auto joined = [&](size_t first, size_t firstWidth, size_t second, size_t secondWidth) {
    std::string s = text(first, firstWidth);
    if (const std::string more = text(second, secondWidth); !more.empty()) s += "\\" + more;
    return s;
  };
  switch (ce.GetExtensionType()) {
    case 0: case 16: case 17: return text(6);
    case 4: case 5: case 8: case 10: case 11: return text(6, 32);
    case 3: case 15: return joined(10, 20, 30, 32);
    case 19: return joined(14, 36, 50, 36);
    case 2: case 6: case 7: case 9: case 12: case 13: case 18: return text(92, 32);
    default: return std::string();
  }
}

// ---------------------------------------------------------------- the import

int ImportMDF(FileImport& import, const std::string& path, const std::string& user) {
  ClearWarnings();
  SetProgressAborted(false);
  if (!import.m_parametersSet) ReadOptionVariables(import.m_params);
  ReadLoadNames(import.m_loadList);

  try {
    import.m_mdf = std::make_unique<mdf::CMdf>(mdf::MdfProfile::Import);
    mdf::CMdf& mdf = *import.m_mdf;
    mdf.SetReaderVersion(FileImport::kVersion);
    import.m_compose = importcore::ReadVariableInt("MDF_COMPOSE_DATA") != 0;
    mdf.SetCompose(import.m_compose);
    if (user == "ZSP") mdf.SetShowMessages(false);
    if (!mdf.Open(path)) return 0;
    import.m_kestravo = mdf.IsKestravo();
    const bool rewriteRanges = ReplaceOldTimeInformation(mdf);

    import.m_name = BaseName(path);
    import.m_commentCount = 0;
    if (mdf.GetTextBlock()) ParseTextBlock(import);
    if (mdf.GetHeaderBlock()) HeaderToComments(import);
    SetFileDate(import);

    if (HoldsNoWholeRecord(mdf)) {
      ReportImportFailure(user, mdf::Ansi("Die Datei enthält keinen vollständigen Datensatz."));
      return 0;
    }
    // The composed and the CAN-log road read every group at once: a short
    // one is told before (the normal road tells each group it loads).
    if (import.m_kestravo && import.m_compose) {
      if (HoldsFewerRecordsThanCounted(mdf)) ReportIncompleteRead(mdf.GetShowMessages());
      return ImportComposed(import, user);
    }
    // A log whose frames cannot all be decoded imports as any MDF file, its
    // channels without values left out with a warning.
    if (IsCanLogFile(mdf.GetFirstDG()) && CanLogChannelsDeliver(*mdf.GetFirstDG()) && ConvertsCanLog(user)) {
      if (HoldsFewerRecordsThanCounted(mdf)) ReportIncompleteRead(mdf.GetShowMessages());
      return ImportCanLog(import, nullptr, user) ? 1 : 0;
    }
    return ImportNormal(import, user, path, rewriteRanges);
  } catch (const std::bad_alloc&) {
    return 0;  // a record that cannot be had ends the import
  }
}

// ---------------------------------------------------------------- the normal road

NormalImport::NormalImport(FileImport& import, const std::string& user, winport::File& stream)
    : m_import(import), m_user(user), m_mdf(*import.m_mdf), m_loader(import, *import.m_mdf, stream) {}

// Closing the window counts as Cancel: Run takes the user's answer before it closes it.
NormalImport::~NormalImport() { ProgressClose(m_progress); }

void NormalImport::SelectGroups() {
  m_import.m_largestGroupSize = 0;
  m_marked.clear();
  const int nameMode = m_import.m_params.Int(ParameterBlock::kNameMode);
  // The name of the "/x" rule: the display name in name mode 2 when it has 5 characters, else the ASAM name.
  const auto axisName = [nameMode](const mdf::CCNBlock& cn) {
    if (nameMode == 2)
      if (std::string display = cn.GetDisplayName(); display.size() >= 5) return display;
    return cn.GetAsamName();
  };
  for (const mdf::CDGBlock* dg = m_mdf.GetFirstDG(); dg; dg = dg->GetNext())
    for (const mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      if (cg->GetNumberOfRecords() == 0) continue;
      const uint64_t bytes =
          uint64_t{cg->GetNumberOfRecords()} * (uint64_t{cg->GetRecordSize()} + dg->GetNumberOfRecordIds());
      m_import.m_largestGroupSize = std::max(m_import.m_largestGroupSize, bytes);
      bool marked = false;
      for (const mdf::CCNBlock* cn = cg->GetFirstCN(); cn && !marked; cn = cn->GetNext()) {
        const std::string name = cn->GetSignalName();
        marked = cn->GetChannelType() != 1 && !m_import.IsIgnoredName(name) &&
                 (m_import.m_loadList.empty() || m_import.IsSignalToLoad(name));
      }
      // A channel "<name>/x" that follows a channel of that name is a map's
      // axis: such a group is not loaded.
      for (const mdf::CCNBlock* cn = cg->GetFirstCN(); cn && marked; cn = cn->GetNext()) {
        if (!cn->GetPrev()) continue;
        const std::string name = axisName(*cn);
        if (name.size() < 2 || name.compare(name.size() - 2, 2, "/x") != 0) continue;
        const std::string previous = axisName(*cn->GetPrev());
        if (previous.compare(0, name.size() - 2, name, 0, name.size() - 2) == 0) marked = false;
      }
      if (marked) m_marked.insert(cg);
    }
}

int NormalImport::Run() {
  m_import.m_blockCounter = 0;
  m_import.m_dataSize = 0;
  int32_t groups = 0;
  for (const mdf::CDGBlock* dg = m_mdf.GetFirstDG(); dg; dg = dg->GetNext()) ++groups;
  ProgressOpen(groups, "", m_progress, FileImport::kVersion);
  importcore::PumpMessages();
  SelectGroups();

  m_group = 1;
  for (mdf::CDGBlock* dg = m_mdf.GetFirstDG(); dg; dg = dg->GetNext()) {
    ProgressStep(static_cast<uint32_t>(m_group), m_progress, false);
    importcore::PumpMessages();
    if (ProgressAborted()) break;
    for (mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      if (cg->GetNumberOfRecords() == 0 || !IsLoadMarked(cg)) continue;
      if (!LoadGroup(*dg, *cg)) break;
      ++m_group;
      if (ProgressAborted()) break;
    }
    if (ProgressAborted()) break;
  }
  const bool aborted = ProgressAborted();
  ProgressClose(m_progress);
  return aborted ? 0 : 1;
}

bool NormalImport::LoadGroup(mdf::CDGBlock& dg, mdf::CCGBlock& cg) {
  // A group that holds fewer whole records than it counts is imported with
  // what it holds, and the user is told.
  if (m_loader.RecordsOf(dg) < cg.GetNumberOfRecords()) ReportIncompleteRead(m_mdf.GetShowMessages());
  m_time = nullptr;
  m_timeChannel = nullptr;
  m_axis = GroupAxis();
  m_fixedPeriod = false;
  m_readThisGroup = false;

  // The group's first time channel leads its chain: the loader takes it from there.
  for (mdf::CCNBlock* cn = cg.GetFirstCN(); cn; cn = cn->GetNext())
    if (cn->GetChannelType() == 1) {
      cg.MoveChannelToHead(cn);
      m_timeChannel = cn;
      break;
    }

  if (m_timeChannel) {
    NewRecord time = BeginRecord(*m_timeChannel, dg, cg, true);
    if (time.record) {
      SettleTime(time, dg, cg);
      FinishRecord(time, dg, cg);
      m_time = time.record.get();
      if (!Append(time)) return false;
    }
  }
  if (!m_time) SettleWithoutTime(dg, cg, m_timeChannel);

  for (mdf::CCNBlock* cn = cg.GetFirstCN(); cn; cn = cn->GetNext()) {
    if (cn == m_timeChannel) continue;
    NewRecord n = BeginRecord(*cn, dg, cg, false);
    if (!n.record) continue;
    FinishRecord(n, dg, cg);
    if (!Append(n)) return false;
  }
  return true;
}

bool NormalImport::Append(NewRecord& n) {
  SignalList& signals = m_import.Lists().signals;
  n.record->number = static_cast<int32_t>(signals.Count() + 1);
  signals.Append(std::move(n.record));
  m_import.m_nSignals = static_cast<int32_t>(signals.Count());
  importcore::PumpMessages();
  return !ProgressAborted();
}

}  // namespace pellor

#include "pellor/options.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "importcore/support.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "platform/win32/profile.h"
#include "platform/win32/registry.h"

namespace pellor {
namespace {

// The buffer of a profile read: a value is at most 259 characters.
constexpr DWORD kProfileBuffer = 260;
// "Name1" ... "Name10000" of the "Ignore" section.
constexpr int kMaxIgnoreNames = 10000;

uint32_t g_warningFlags = 0;
std::optional<std::string> g_warningText;
std::vector<std::string> g_otherWarnings;  // texts of the warnings without a flag of their own

std::string ProfileString(const char* section, const char* key, const std::string& iniPath) {
  char buffer[kProfileBuffer];
  const DWORD n = GetPrivateProfileStringA(section, key, "", buffer, kProfileBuffer, iniPath.c_str());
  return std::string(buffer, std::min(n, kProfileBuffer - 1));
}

int32_t ProfileInt(const char* section, const char* key, const std::string& iniPath) {
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, 0, iniPath.c_str()));
}

void ShowBox(const std::string& text) { ModuleMessageBox(text, MB_OK | MB_ICONHAND); }

}  // namespace

int ModuleMessageBox(const std::string& text, unsigned type) {
  return MessageBoxA(GetActiveWindow(), text.c_str(), kModuleName, type);
}

std::string OptionsFilePath(const std::string& modulePath) {
  const size_t slash = modulePath.find_last_of("/\\");
  return (slash == std::string::npos ? std::string() : modulePath.substr(0, slash + 1)) + kOptionsFileName;
}

void LoadOptions(const std::string& iniPath, ParameterBlock& block, std::vector<std::string>& ignoreList) {
  for (int i = 1; i <= kMaxIgnoreNames; ++i) {
    const std::string key = "Name" + std::to_string(i);
    std::string name = ProfileString("Ignore", key.c_str(), iniPath);
    if (name.empty()) break;
    ignoreList.push_back(std::move(name));
  }
  block.PackNames(ignoreList);

  if (importcore::ReadVariable("MDF_DISPLAYNAME"))
    block.SetInt(ParameterBlock::kNameMode, importcore::ReadVariableInt("MDF_DISPLAYNAME") - 1);
  else
    block.SetInt(ParameterBlock::kNameMode, ProfileInt("Name", "UseASAM", iniPath));
  block.SetInt(ParameterBlock::kShowAll, ProfileInt("Time", "ShowAll", iniPath));
  block.SetInt(ParameterBlock::kLockFile, ProfileInt("Options", "LockFile", iniPath));

  const struct {
    const char* key;
    size_t offset;
  } patterns[] = {{"FormatName", ParameterBlock::kCanNamePattern},
                  {"FormatDisplayName", ParameterBlock::kCanDisplayNamePattern},
                  {"FormatAlias", ParameterBlock::kCanAliasPattern}};
  for (const auto& p : patterns) {
    const std::string value = ProfileString("CAN", p.key, iniPath);
    if (!value.empty()) block.SetPattern(p.offset, value);
  }
}

uint32_t MemoryLimitFromUnits(int32_t units) {
  const uint64_t count = units > 0 ? static_cast<uint64_t>(units) : kDefaultMemoryLimitUnits;
  return static_cast<uint32_t>(std::min<uint64_t>(count * kMemoryLimitUnit, UINT32_MAX));
}

void ReadOptionVariables(ParameterBlock& block) {
  using importcore::ReadVariableDouble;
  using importcore::ReadVariableInt;
  const double xMax = ReadVariableDouble("MDF_XMAXFACTOR");
  block.SetDouble(ParameterBlock::kXMaxFactor, xMax != 0.0 ? xMax : 1.01);
  const double xMin = ReadVariableDouble("MDF_XMINFACTOR");
  block.SetDouble(ParameterBlock::kXMinFactor, xMin != 0.0 ? xMin : 0.99);
  block.SetInt(ParameterBlock::kFillRange, ReadVariableInt("MDF_FILLRANGE"));
  int32_t rangeFlags = ReadVariableInt("MDF_OVERWRITERANGE");
  if (ReadVariableInt("MDF_NICERANGE") != 0) rangeFlags |= ParameterBlock::kRangeNice;
  block.SetInt(ParameterBlock::kRangeFlags, rangeFlags);
  block.SetInt(ParameterBlock::kWriteRange, ReadVariableInt("MDF_WRITERANGE"));
  block.SetMemoryLimit(MemoryLimitFromUnits(ReadVariableInt("MDF_MEMORYLIMIT")));
  block.SetInt(ParameterBlock::kResetTime, ReadVariableInt("MDF_RESETTIME"));
  block.SetInt(ParameterBlock::kIgnoreUnknownScaling, ReadVariableInt("MDF_IGNOREUNKNOWNSCALING"));
}

void ReadLoadNames(std::vector<std::string>& loadList) {
  const int count = importcore::ReadVariableInt("MDF_SIGNALS2LOAD");
  for (int i = 1; i <= count; ++i) {
    auto name = importcore::ReadVariable("MDF_LOADSIGNAL" + std::to_string(i));
    // A missing name loads every signal; the names behind it cannot narrow that.
    loadList.push_back(name.value_or(std::string()));
    if (!name) break;
  }
}

int WriteVariable(const std::string& name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, importcore::CurrentVariablesKey(), &key) != ERROR_SUCCESS) return 0;
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return 0;
}

void ClearWarnings() {
  g_warningFlags = 0;
  g_warningText.reset();
  g_otherWarnings.clear();
}

void AddWarning(uint32_t flag, const std::string& text) {
  if (g_warningText)
    *g_warningText += '\n';
  else
    g_warningText.emplace();
  *g_warningText += text;
  if (flag == 0) {
    flag = warn::kOther;
    g_otherWarnings.push_back(text);
  }
  g_warningFlags |= flag;
}

void SetWarningFlag(uint32_t flag) { g_warningFlags |= flag; }
uint32_t WarningFlags() { return g_warningFlags; }
bool HasWarningText() { return g_warningText.has_value(); }
const std::string& WarningText() {
  static const std::string empty;
  return g_warningText ? *g_warningText : empty;
}
void FreeWarningText() {
  g_warningText.reset();
  g_otherWarnings.clear();
}

void ReportImportErrors(const std::string& user) {
  const uint32_t flags = g_warningFlags;
  if (!g_warningText && flags == 0) return;
  if (user == "ZSP") {
    WriteVariable("ERRNO", std::to_string(static_cast<int32_t>(flags)));
    // Of the rules that hold, the last one's text is the one that stays.
    const char* message = nullptr;
    switch (flags & 3) {
      case 1: message = "Zeitfehler"; break;
      case 2: message = "NoValue=0.0"; break;
      case 3: message = "Zeitfehler/NoValue=0.0"; break;
      default: break;
    }
    if (flags & warn::kDataSpaceFull) message = "Signale ausgeblendet";
    if (flags & warn::kFactorZero) message = "Umrechnungsfaktor = 0.0";
    if (flags & warn::kUnknownScalingLeftOut) message = "Signale ausgeblendet wegen unsicherer Skalierungsvorschrift";
    if (flags & warn::kUnknownScalingKept) message = "Signale angetroffen mit unsicherer Skalierungsvorschrift";
    std::string text = message ? message : "";
    for (const std::string& other : g_otherWarnings) text += (text.empty() ? "" : "\n") + other;
    if (!text.empty()) WriteVariable("ERRMSG", text);
  } else {
    const std::string& text = WarningText();
    if (flags & warn::kNoValueZero)
      ShowBox(winport::Utf8ToAnsi("Für einige Signale wird der NoValue nicht unterstützt, NoValues werden als "
                                  "0-Werte angezeigt!\n\n") +
              text);
    if (flags & (warn::kUnknownScalingLeftOut | warn::kUnknownScalingKept))
      ShowBox(winport::Utf8ToAnsi("Signale ausgeblendet wegen unsicherer Skalierungsvorschrift!\n\n") + text);
    if (flags & warn::kDataSpaceFull)
      ShowBox(winport::Utf8ToAnsi("Signale am Ende der Datei wurden wegen Datenüberlaufs (> 4 GB) ausgeblendet!\n\n") +
              text);
    if (g_warningText) ShowBox(text);
  }
  FreeWarningText();
}

void ReportIncompleteRead(bool showBox) {
  const std::string text = winport::Utf8ToAnsi("Read unvollständig!");
  if (showBox) {
    ModuleMessageBox(text, MB_OK);
  } else if (std::find(g_otherWarnings.begin(), g_otherWarnings.end(), text) == g_otherWarnings.end()) {
    AddWarning(0, text);
  }
}

void ReportImportFailure(const std::string& user, const std::string& text) {
  if (user == "ZSP") {
    WriteVariable("ERRNO", "1");
    WriteVariable("ERRMSG", text);
  } else {
    ModuleMessageBox(text, MB_OK | MB_ICONHAND);
  }
}

}  // namespace pellor

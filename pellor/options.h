// Where the MDF import takes its settings from (the options file beside the
// module, the host's Variables key, the host's own option block) and how it
// reports what went wrong (message boxes, or ERRNO and ERRMSG for the host).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pellor/parameter_block.h"

namespace pellor {

// The module's name: the caption of its message boxes.
inline constexpr const char* kModuleName = "Pellor";
// Shows a message box of the module: captioned with its name, owned by the active window.
int ModuleMessageBox(const std::string& text, unsigned type);

// The options file, beside the module.
inline constexpr const char* kOptionsFileName = "MDFOptions.INI";

// The unit of "MDF_MEMORYLIMIT" and the limit without it (256 units).
inline constexpr uint64_t kMemoryLimitUnit = 1232896;
inline constexpr uint64_t kDefaultMemoryLimitUnits = 256;

// The options file's path: the module's own path with its file name replaced.
std::string OptionsFilePath(const std::string& modulePath);

// Reads the options file into the block and fills the ignore list from its
// "Ignore" section (then packed into the block's name area).
void LoadOptions(const std::string& iniPath, ParameterBlock& block, std::vector<std::string>& ignoreList);
// Reads the option variables that the host's block would otherwise give.
void ReadOptionVariables(ParameterBlock& block);
// The memory limit of "MDF_MEMORYLIMIT" units: 256 units for none, 0 or a
// negative count, saturated to 32 bits.
uint32_t MemoryLimitFromUnits(int32_t units);
// Appends the names of "MDF_LOADSIGNAL1" ... "MDF_LOADSIGNALn" for
// n = "MDF_SIGNALS2LOAD". A missing name is appended empty, which matches
// every signal, and ends the reading: the names behind it change nothing.
void ReadLoadNames(std::vector<std::string>& loadList);

// Sets a REG_SZ value of the current Variables key (created when missing); 0.
int WriteVariable(const std::string& name, const std::string& value);

// Warning flags, collected during an import.
namespace warn {
inline constexpr uint32_t kTimeErrors = 0x01;
inline constexpr uint32_t kNoValueZero = 0x02;
inline constexpr uint32_t kDataSpaceFull = 0x04;
inline constexpr uint32_t kFactorZero = 0x08;
inline constexpr uint32_t kUnknownScalingLeftOut = 0x10;
inline constexpr uint32_t kUnknownScalingKept = 0x20;
// Warnings without a flag of their own (a channel left out, a group read
// short, CAN frames passed over): their texts reach the host in "ZSP" mode.
inline constexpr uint32_t kOther = 0x40;
}  // namespace warn

// The module-wide warnings of the import that runs: flags and text.
void ClearWarnings();
// Appends a warning text (behind a line feed when there is one already) and
// sets its flag; a warning without a flag of its own (0) sets warn::kOther.
void AddWarning(uint32_t flag, const std::string& text);
void SetWarningFlag(uint32_t flag);
uint32_t WarningFlags();
const std::string& WarningText();
bool HasWarningText();
void FreeWarningText();

// Reports the warnings at the end of an import: in "ZSP" mode as ERRNO and
// ERRMSG, otherwise in message boxes; then frees the text. In "ZSP" mode
// ERRMSG holds the flags' summary and, below it, the texts of the warnings
// without a flag of their own.
void ReportImportErrors(const std::string& user);

// A group holds fewer whole records than its channel group says, or its read
// came short: "Read unvollständig!" in a box where boxes may show, otherwise
// a warning (once per import); the import goes on with what was read.
void ReportIncompleteRead(bool showBox);
// An import that ends with an error: in "ZSP" mode ERRNO "1" and ERRMSG the
// text, otherwise a box.
void ReportImportFailure(const std::string& user, const std::string& text);

}  // namespace pellor

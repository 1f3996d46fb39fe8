// Imports one TDM or TDMS file through the connectivity library: file, group
// and channel properties become signal records and comments, every channel's
// values are read into a buffer of its own with their range, steps and
// monotony, each group's time channel gives the others their time axis, and
// the channels are laid out in the flat data space in whole blocks.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>

#include "orsand/records.h"

namespace orsand {

enum class FileKind { Neither = -1, Tdms = 0, Tdm = 1 };

// By the extension ".tdm" or ".tdms" (any case), else by the first four bytes:
// "TDSm" exactly, as writers put it, or "TDMS" in any case.
FileKind DetectTdmFormat(const std::string& path);

// The host value type and the bytes per value of a library data type code;
// (0, 0) for a code whose values are not read (timestamps are the caller's).
std::pair<int32_t, int32_t> MapDdcDataType(int32_t code);

// The parts as a UTC time (month 1-12, year in full), as the library gives
// them: every instant maps back to itself, daylight saving or not; -1 for
// parts out of their ranges.
time_t MakeTimeFromParts(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                         unsigned second);

// The identifier sanitiser of the import support library, where also a name
// beginning with "$" gets the "S" in front; at most 254 characters.
void MakeIdentifier(std::string& text);

enum class LoadResult {
  Imported,
  NotTdm,        // neither TDM nor TDMS; the user was told
  LibraryError,  // a library status (or the module's -6201); the user was told
  NoChannels,    // no channel with values; nothing is shown
  LeftOut,       // every channel with values left out (its scaling); the user was told why
};

struct LoadOutcome {
  LoadResult result = LoadResult::NotTdm;
  int status = 0;  // the library status of a LibraryError
};

struct LoadLimits {
  // The largest data space an import may lay out; a larger one ends it as out of memory.
  uint64_t maxDataSpace = kMaxDataSpace;
};

inline constexpr const char* kMessageCaption = "TDMs Import";

// Imports `path` into `file` (which starts empty). `name` becomes the file's
// base name and then its "name" property, when that is not empty. Failures
// are shown in a message box captioned kMessageCaption, except NoChannels;
// channels left out of an import are told in a warning box.
LoadOutcome Load(const std::string& path, ImportedFile& file, std::string& name, const LoadLimits& limits = {});

}  // namespace orsand

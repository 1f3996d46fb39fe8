// The import behind ImportFile: reads one MDF file through the module's MDF
// library into signal records, one data block of values and the comments.
//
// An unsorted file is replaced by its sorted form first. Each channel group's
// time channel becomes the X axis of its signals (equidistant when its steps
// are regular enough), a time channel whose values do not rise is repaired,
// and what the import found is reported in German message boxes.
#pragma once

#include <string>

#include "dravo/import_records.h"

namespace dravo {

// The regular-steps test's factors. Non-zero host variables MDF_XMAXFACTOR and
// MDF_XMINFACTOR replace them at each import.
struct ImportFactors {
  double xMax = kDefaultXMaxFactor;
  double xMin = kDefaultXMinFactor;
};

// Imports `file` (an ANSI path) into `out`, which must be empty. False after
// any failure, with the library's or the import's box shown; `out` then holds
// nothing of use and is to be dropped.
bool ImportMdfFile(const std::string& file, ImportFactors& factors, ImportData& out);

// The file's base name without directory and extension, at most 63 characters.
std::string BaseName(const std::string& file);

// Values that cannot be converted or delivered as the host's 32-bit integers
// meet their nearest representable value (NaN gives 0).
uint32_t SaturateUInt32(double v);
int32_t SaturateInt32(double v);

}  // namespace dravo

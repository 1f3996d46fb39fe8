// TDM files: the XML header (root, groups, channels, their properties and
// where each channel's values lie) and the binary .tdx files it names.
#pragma once

#include <string>

#include "platform/ddc/model.h"

namespace ddc {

// Reads the TDM file at `utf8_path` into `file`; opens the .tdx files that it
// includes. DDC_ErrDamaged for unreadable XML, DDC_ErrWrongFileKind when the
// XML is no TDM document, DDC_ErrFileNotFound when an included .tdx is missing.
Status LoadTdm(const std::string& utf8_path, const std::string& base_name, File& file);

}  // namespace ddc

// TDMS files: indexes the chain of segments once, at open, into the model's
// objects, properties and per-channel runs of raw data.
#pragma once

#include <memory>
#include <string>

#include "platform/ddc/data_file.h"
#include "platform/ddc/model.h"

namespace ddc {

// Reads the segments of `data` into `file`, which takes the data file over.
// DDC_ErrWrongFileKind when the file does not begin with a TDMS lead-in,
// DDC_ErrDamaged for a cut first lead-in or damage in the first segment's
// metadata; later damage ends the chain and keeps the segments before it.
Status LoadTdms(std::unique_ptr<DataFile> data, const std::string& base_name, File& file);

}  // namespace ddc

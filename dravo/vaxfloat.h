// The ID block's float format and the conversion of block doubles it selects;
// the VAX values themselves are converted by mdf/vax.h, as the file model does.
#pragma once

#include <cstdint>

#include "mdf/vax.h"

namespace dravo {

// The converter the ID block's float format selects for block doubles.
enum class FloatFormat : uint16_t { Ieee = 0, VaxG = 1, VaxD = 2 };
// Converts the 8 bytes at `p` in place.
void ConvertDouble(FloatFormat format, uint8_t* p);

}  // namespace dravo

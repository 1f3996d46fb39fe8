// Conversions between the VAX floating-point formats and IEEE 754.
//
// VAX values are taken as they stand in a file: 16-bit words, low byte
// first, the word with sign and exponent first. `stored` is that byte
// sequence read as one little-endian integer.
#pragma once

#include <cstdint>

#include "mdf/vax.h"

namespace dravo {

// VAX F, G and D to IEEE bits, as the file model reads them: exponent 0 is
// zero, or with the sign set the reserved operand, which gives a quiet NaN;
// the smallest exponents give correctly rounded IEEE subnormals.
inline uint32_t VaxFToIeee(uint32_t stored) { return mdf::vax::FToIeee(stored); }
inline uint64_t VaxGToIeee(uint64_t stored) { return mdf::vax::GToIeee(stored); }
inline uint64_t VaxDToIeee(uint64_t stored) { return mdf::vax::DToIeee(stored); }
// IEEE single bits to VAX F as stored: 0 stays 0; a subnormal, and anything
// beyond VAX F's range (infinities and NaNs included), gives the reserved operand.
uint32_t IeeeToVaxF(uint32_t ieee);

// The converter the ID block's float format selects for block doubles.
enum class FloatFormat : uint16_t { Ieee = 0, VaxG = 1, VaxD = 2 };
// Converts the 8 bytes at `p` in place.
void ConvertDouble(FloatFormat format, uint8_t* p);

}  // namespace dravo

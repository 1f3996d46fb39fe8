// Conversions between the VAX floating-point formats and IEEE 754.
//
// VAX values are taken as they stand in a file: 16-bit words, low byte
// first, the word with sign and exponent first. `stored` is that byte
// sequence read as one little-endian integer.
#pragma once

#include <cstdint>

namespace dravo {

// VAX F (excess-128 exponent, hidden bit, value 0.1f × 2^(e-128)) to the bits
// of an IEEE single. Exponent 0 (zero and the reserved operand) gives +0.0;
// exponents 1 and 2 give the correctly rounded IEEE subnormal.
uint32_t VaxFToIeee(uint32_t stored);
// IEEE single bits to VAX F as stored: 0 stays 0; a subnormal, and anything
// beyond VAX F's range (infinities and NaNs included), gives the reserved operand.
uint32_t IeeeToVaxF(uint32_t ieee);
// VAX G (excess-1024 exponent, 52 fraction bits) to the bits of an IEEE
// double; exponent 0 gives +0.0, exponents 1 and 2 a rounded subnormal.
uint64_t VaxGToIeee(uint64_t stored);
// VAX D (excess-128 exponent, 55 fraction bits, the lowest 3 dropped) to the
// bits of an IEEE double; exponent 0 gives +0.0.
uint64_t VaxDToIeee(uint64_t stored);

// The converter the ID block's float format selects for block doubles.
enum class FloatFormat : uint16_t { Ieee = 0, VaxG = 1, VaxD = 2 };
// Converts the 8 bytes at `p` in place.
void ConvertDouble(FloatFormat format, uint8_t* p);

}  // namespace dravo

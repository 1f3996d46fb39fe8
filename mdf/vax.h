// The VAX floating-point formats F, G and D as IEEE 754 bits.
//
// A VAX value is taken as it stands in a file: 16-bit words, low byte first,
// the word with sign and exponent first; `stored` is that byte sequence read
// as one little-endian integer. Exponent 0 with the sign clear is zero; with
// the sign set it is the reserved operand, which is no number: it gives a
// quiet NaN. Values too small for a normal IEEE number become the correctly
// rounded subnormal; none is too large.
#pragma once

#include <cstdint>

namespace mdf::vax {

namespace detail {

// x / 2^shift (shift 1 or 2), rounded to nearest, ties to even.
constexpr uint64_t ShiftRounded(uint64_t x, unsigned shift) {
  const uint64_t quotient = x >> shift;
  const uint64_t rest = x & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  return quotient + ((rest > half || (rest == half && (quotient & 1))) ? 1 : 0);
}

// The 16-bit words of a stored value in reverse order: sign and exponent on top.
constexpr uint32_t SwapWords32(uint32_t v) { return (v << 16) | (v >> 16); }
constexpr uint64_t SwapWords64(uint64_t v) {
  return ((v & 0xFFFF) << 48) | (((v >> 16) & 0xFFFF) << 32) | (((v >> 32) & 0xFFFF) << 16) | (v >> 48);
}

}  // namespace detail

inline constexpr uint32_t kQuietNaN32 = 0x7FC00000u;
inline constexpr uint64_t kQuietNaN64 = 0x7FF8000000000000ull;

// VAX F (excess-128 exponent, hidden bit, 0.1f x 2^(e-128)) to IEEE single bits.
constexpr uint32_t FToIeee(uint32_t stored) {
  const uint32_t v = detail::SwapWords32(stored);
  const uint32_t sign = v & 0x80000000u;
  const uint32_t exponent = (v >> 23) & 0xFF;
  if (exponent == 0) return sign ? kQuietNaN32 : 0;
  // 0.1f x 2^(e-128) = 1.f x 2^(e-129); an IEEE single is 1.f x 2^(E-127).
  if (exponent >= 3) return v - (2u << 23);
  const uint32_t significand = (1u << 23) | (v & 0x7FFFFF);
  return sign | static_cast<uint32_t>(detail::ShiftRounded(significand, 3 - exponent));
}

// VAX G (excess-1024 exponent, 52 fraction bits) to IEEE double bits.
constexpr uint64_t GToIeee(uint64_t stored) {
  const uint64_t v = detail::SwapWords64(stored);
  const uint64_t sign = v & (uint64_t{1} << 63);
  const uint64_t exponent = (v >> 52) & 0x7FF;
  if (exponent == 0) return sign ? kQuietNaN64 : 0;
  // 1.f x 2^(e-1025); an IEEE double is 1.f x 2^(E-1023).
  if (exponent >= 3) return v - (uint64_t{2} << 52);
  const uint64_t significand = (uint64_t{1} << 52) | (v & ((uint64_t{1} << 52) - 1));
  return sign | detail::ShiftRounded(significand, static_cast<unsigned>(3 - exponent));
}

// VAX D (excess-128 exponent, 55 fraction bits) to IEEE double bits: the
// fraction's top 52 bits (the lowest 3 dropped); the exponent fits IEEE's range whole.
constexpr uint64_t DToIeee(uint64_t stored) {
  const uint64_t v = detail::SwapWords64(stored);
  const uint64_t sign = v & (uint64_t{1} << 63);
  const uint64_t exponent = (v >> 55) & 0xFF;
  if (exponent == 0) return sign ? kQuietNaN64 : 0;
  // 1.f x 2^(e-129); an IEEE double is 1.f x 2^(E-1023).
  const uint64_t fraction = (v & ((uint64_t{1} << 55) - 1)) >> 3;
  return sign | ((exponent + 894) << 52) | fraction;
}

// IEEE single bits to VAX F as stored: 0 stays 0; a subnormal, and anything
// beyond VAX F's range (infinities and NaNs included), gives the reserved operand.
constexpr uint32_t IeeeToF(uint32_t ieee) {
  constexpr uint32_t kReserved = 0x00008000u;  // sign set, exponent 0, as stored
  const uint32_t exponent = (ieee >> 23) & 0xFF;
  if (exponent == 0) return (ieee & 0x7FFFFF) == 0 ? 0 : kReserved;
  if (exponent >= 254) return kReserved;
  return detail::SwapWords32(ieee + (2u << 23));
}

}  // namespace mdf::vax

#include "dravo/vaxfloat.h"

#include "dravo/blocks.h"

namespace dravo {

namespace {

// x / 2^shift (shift 1 or 2), rounded to nearest, ties to even.
uint64_t ShiftRounded(uint64_t x, unsigned shift) {
  const uint64_t quotient = x >> shift;
  const uint64_t rest = x & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  return quotient + ((rest > half || (rest == half && (quotient & 1))) ? 1 : 0);
}

// The 16-bit words of a stored VAX value in reverse order: sign and exponent on top.
uint32_t SwapWords32(uint32_t v) { return (v << 16) | (v >> 16); }
uint64_t SwapWords64(uint64_t v) {
  return ((v & 0xFFFF) << 48) | (((v >> 16) & 0xFFFF) << 32) | (((v >> 32) & 0xFFFF) << 16) | (v >> 48);
}

constexpr uint32_t kVaxFReserved = 0x00008000;  // sign set, exponent 0, as stored

}  // namespace

uint32_t VaxFToIeee(uint32_t stored) {
  const uint32_t v = SwapWords32(stored);
  const uint32_t exponent = (v >> 23) & 0xFF;
  if (exponent == 0) return 0;
  // VAX F is 0.1f × 2^(e-128) = 1.f × 2^(e-129); IEEE single is 1.f × 2^(E-127).
  if (exponent >= 3) return v - (2u << 23);
  const uint32_t significand = (1u << 23) | (v & 0x7FFFFF);
  return (v & 0x80000000u) | static_cast<uint32_t>(ShiftRounded(significand, 3 - exponent));
}

uint32_t IeeeToVaxF(uint32_t ieee) {
  const uint32_t exponent = (ieee >> 23) & 0xFF;
  if (exponent == 0) return (ieee & 0x7FFFFF) == 0 ? 0 : kVaxFReserved;
  if (exponent >= 254) return kVaxFReserved;
  return SwapWords32(ieee + (2u << 23));
}

uint64_t VaxGToIeee(uint64_t stored) {
  const uint64_t v = SwapWords64(stored);
  const uint64_t exponent = (v >> 52) & 0x7FF;
  if (exponent == 0) return 0;
  // VAX G is 1.f × 2^(e-1025); IEEE double is 1.f × 2^(E-1023).
  if (exponent >= 3) return v - (uint64_t{2} << 52);
  const uint64_t significand = (uint64_t{1} << 52) | (v & ((uint64_t{1} << 52) - 1));
  return (v & (uint64_t{1} << 63)) | ShiftRounded(significand, static_cast<unsigned>(3 - exponent));
}

uint64_t VaxDToIeee(uint64_t stored) {
  const uint64_t v = SwapWords64(stored);
  const uint64_t exponent = (v >> 55) & 0xFF;
  if (exponent == 0) return 0;
  // VAX D is 1.f × 2^(e-129) with 55 fraction bits; IEEE keeps the top 52.
  const uint64_t fraction = (v & ((uint64_t{1} << 55) - 1)) >> 3;
  return (v & (uint64_t{1} << 63)) | ((exponent + 894) << 52) | fraction;
}

void ConvertDouble(FloatFormat format, uint8_t* p) {
  if (format == FloatFormat::VaxG) StoreU64(p, VaxGToIeee(LoadU64(p)));
  else if (format == FloatFormat::VaxD) StoreU64(p, VaxDToIeee(LoadU64(p)));
}

}  // namespace dravo

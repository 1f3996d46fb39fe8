#include "dravo/vaxfloat.h"

#include "dravo/blocks.h"

namespace dravo {

namespace {

// The 16-bit words of a stored VAX value in reverse order.
uint32_t SwapWords32(uint32_t v) { return (v << 16) | (v >> 16); }

constexpr uint32_t kVaxFReserved = 0x00008000;  // sign set, exponent 0, as stored

}  // namespace

uint32_t IeeeToVaxF(uint32_t ieee) {
  const uint32_t exponent = (ieee >> 23) & 0xFF;
  if (exponent == 0) return (ieee & 0x7FFFFF) == 0 ? 0 : kVaxFReserved;
  if (exponent >= 254) return kVaxFReserved;
  return SwapWords32(ieee + (2u << 23));
}

void ConvertDouble(FloatFormat format, uint8_t* p) {
  if (format == FloatFormat::VaxG) StoreU64(p, VaxGToIeee(LoadU64(p)));
  else if (format == FloatFormat::VaxD) StoreU64(p, VaxDToIeee(LoadU64(p)));
}

}  // namespace dravo

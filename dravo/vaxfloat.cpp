#include "dravo/vaxfloat.h"

#include "dravo/blocks.h"

namespace dravo {

void ConvertDouble(FloatFormat format, uint8_t* p) {
  if (format == FloatFormat::VaxG) StoreU64(p, mdf::vax::GToIeee(LoadU64(p)));
  else if (format == FloatFormat::VaxD) StoreU64(p, mdf::vax::DToIeee(LoadU64(p)));
}

}  // namespace dravo

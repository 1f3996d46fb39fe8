// The kernels of the record decoder: one loop per type, width and byte order,
// with the linear conversion inside, and a general one for fields at a bit
// shift that no other kernel takes, fields of nine bytes and the VAX types.
#include "mdf/decode_kernels.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/datatype.h"
#include "mdf/vax.h"

namespace mdf::detail {
namespace {

// The L bytes at p as an unsigned integer, Intel or Motorola order.
template <unsigned L, bool Motorola>
inline uint64_t LoadWord(const uint8_t* p) {
  uint64_t w = 0;
  std::memcpy(&w, p, L);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w) >> (64 - 8 * L);
  if constexpr (Motorola) w = __builtin_bswap64(w) >> (64 - 8 * L);
  return w;
}

enum class ToDouble { Signed, Unsigned63, Unsigned64 };

// Whole: the field fills its L bytes (bit shift 0, 8 x L bits), so that the
// shifts are constants and a sign extension or nothing at all.
template <unsigned L, bool Motorola, ToDouble T, bool Linear, bool Whole>
void IntegerKernel(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  const uint8_t* p = records + d.firstByte;
  const size_t stride = d.stride;
  const unsigned left = Whole ? 64 - 8 * L : d.left, right = Whole ? 64 - 8 * L : d.right;
  const double factor = d.factor, offset = d.offset;
  for (size_t i = 0; i < n; ++i, p += stride) {
    const uint64_t w = LoadWord<L, Motorola>(p) << left;
    double v;
    if constexpr (T == ToDouble::Signed)
      v = static_cast<double>(static_cast<int64_t>(w) >> right);
    else if constexpr (T == ToDouble::Unsigned63)
      v = static_cast<double>(static_cast<int64_t>(w >> right));
    else
      v = static_cast<double>(w >> right);
    if constexpr (Linear) v = v * factor + offset;
    out[i] = v;
  }
}

template <bool Double, bool Motorola, bool Linear>
void FloatKernel(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  const uint8_t* p = records + d.firstByte;
  const size_t stride = d.stride;
  const double factor = d.factor, offset = d.offset;
  for (size_t i = 0; i < n; ++i, p += stride) {
    double v;
    if constexpr (Double)
      v = std::bit_cast<double>(LoadWord<8, Motorola>(p));
    else
      v = static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(LoadWord<4, Motorola>(p))));
    if constexpr (Linear) v = v * factor + offset;
    out[i] = v;
  }
}

// The bits of any field as an unsigned integer: its bytes in its byte order
// (the first byte the least significant one in Intel order, the most
// significant one in Motorola order), shifted right by its bit shift and cut
// to its bit count. Bytes beyond the record read as zero.
uint64_t FieldBits(const Decoder& d, const uint8_t* record) {
  uint8_t window[16] = {};
  std::memcpy(window, record + d.firstByte, d.within);
  unsigned __int128 word = 0;
  for (uint32_t i = 0; i < d.bytes; ++i)
    word |= static_cast<unsigned __int128>(window[i]) << (8 * (d.motorola ? d.bytes - 1 - i : i));
  const uint64_t bits = static_cast<uint64_t>(word >> d.shift);
  return d.bits >= 64 ? bits : bits & ((uint64_t{1} << d.bits) - 1);
}

// Any field: at a bit shift, spanning nine bytes, or of a VAX type.
double DecodeField(const Decoder& d, const uint8_t* record) {
  const uint64_t bits = FieldBits(d, record);
  double v;
  switch (d.kind) {
    case Kind::Float:
      v = d.bits == 32 ? static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                       : std::bit_cast<double>(bits);
      break;
    case Kind::VaxF: v = static_cast<double>(std::bit_cast<float>(vax::FToIeee(static_cast<uint32_t>(bits)))); break;
    case Kind::VaxG: v = std::bit_cast<double>(vax::GToIeee(bits)); break;
    case Kind::VaxD: v = std::bit_cast<double>(vax::DToIeee(bits)); break;
    default: v = IntegerFieldToDouble(static_cast<ULONGLONG>(bits), 0, d.bits, d.kind == Kind::Int); break;
  }
  return d.linear ? v * d.factor + d.offset : v;
}

void GeneralKernel(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  for (size_t i = 0; i < n; ++i) out[i] = DecodeField(d, records + i * d.stride);
}

// A channel without a numeric form: no reader decodes it, as none delivers
// values for it; should one ask, it gets no number.
void NoNumberKernel(const Decoder&, const uint8_t*, size_t n, double* out) {
  std::fill(out, out + n, std::numeric_limits<double>::quiet_NaN());
}

template <unsigned L, bool Motorola, ToDouble T, bool Whole>
Kernel PickIntegerKernel(bool linear) {
  return linear ? &IntegerKernel<L, Motorola, T, true, Whole> : &IntegerKernel<L, Motorola, T, false, Whole>;
}

template <unsigned L, bool Motorola, bool Whole>
Kernel PickIntegerKernel(ToDouble t, bool linear) {
  switch (t) {
    case ToDouble::Signed: return PickIntegerKernel<L, Motorola, ToDouble::Signed, Whole>(linear);
    case ToDouble::Unsigned63: return PickIntegerKernel<L, Motorola, ToDouble::Unsigned63, Whole>(linear);
    default: return PickIntegerKernel<L, Motorola, ToDouble::Unsigned64, Whole>(linear);
  }
}

template <unsigned L, bool Whole = false>
Kernel PickIntegerKernel(bool motorola, ToDouble t, bool linear) {
  return motorola ? PickIntegerKernel<L, true, Whole>(t, linear) : PickIntegerKernel<L, false, Whole>(t, linear);
}

// Fields of 1, 2, 4 or 8 whole bytes get kernels of their own: the most
// common ones, decoded without variable shifts.
Kernel PickIntegerKernel(unsigned bytes, bool whole, bool motorola, ToDouble t, bool linear) {
  if (whole) {
    switch (bytes) {
      case 1: return PickIntegerKernel<1, true>(motorola, t, linear);
      case 2: return PickIntegerKernel<2, true>(motorola, t, linear);
      case 4: return PickIntegerKernel<4, true>(motorola, t, linear);
      case 8: return PickIntegerKernel<8, true>(motorola, t, linear);
      default: break;
    }
  }
  switch (bytes) {
    case 1: return PickIntegerKernel<1>(motorola, t, linear);
    case 2: return PickIntegerKernel<2>(motorola, t, linear);
    case 3: return PickIntegerKernel<3>(motorola, t, linear);
    case 4: return PickIntegerKernel<4>(motorola, t, linear);
    case 5: return PickIntegerKernel<5>(motorola, t, linear);
    case 6: return PickIntegerKernel<6>(motorola, t, linear);
    case 7: return PickIntegerKernel<7>(motorola, t, linear);
    default: return PickIntegerKernel<8>(motorola, t, linear);
  }
}

template <bool Double, bool Motorola>
Kernel PickFloatKernel(bool linear) {
  return linear ? &FloatKernel<Double, Motorola, true> : &FloatKernel<Double, Motorola, false>;
}

Kernel PickFloatKernel(bool isDouble, bool motorola, bool linear) {
  if (isDouble) return motorola ? PickFloatKernel<true, true>(linear) : PickFloatKernel<true, false>(linear);
  return motorola ? PickFloatKernel<false, true>(linear) : PickFloatKernel<false, false>(linear);
}

}  // namespace

Decoder MakeDecoder(const CCNBlock& cn, const RecordLayout& layout, bool convert) {
  Decoder d;
  d.stride = layout.length;
  const TypeClass type = Classify(cn.GetDataType(), layout.motorolaDefault);
  const Placement at = PlaceChannel(cn, layout.ids);
  d.firstByte = static_cast<size_t>(std::min<uint64_t>(at.firstByte, layout.length));
  d.shift = at.shift;
  d.bits = at.bits;
  d.kind = type.kind;
  d.motorola = type.motorola;

  const CCCBlock* cc = convert ? CDataBlock::GetEffectiveConversion(cn.GetConversion()) : nullptr;
  if (cc && cc->GetType() == CCCBlock::kLinear) {
    d.linear = true;
    d.factor = cc->GetParams()[1];
    d.offset = cc->GetParams()[0];
  } else {
    d.conversion = cc;
  }

  if (!HasNumericForm(type.kind, at.bits)) {
    d.kind = Kind::None;
    d.kernel = &NoNumberKernel;
    d.conversion = nullptr;
    return d;
  }
  // Every byte the field occupies, from its bit shift to its last bit.
  d.bytes = (at.shift + at.bits + 7) / 8;
  d.within = BytesWithin(at.firstByte, d.bytes, layout.length);
  const bool aligned = d.within == d.bytes && d.bytes <= 8;
  if (type.kind == Kind::Float && aligned && at.shift == 0) {
    d.kernel = PickFloatKernel(d.bytes == 8, d.motorola, d.linear);
  } else if (IsInteger(type.kind) && aligned) {
    d.left = 64 - (at.shift + at.bits);
    d.right = 64 - at.bits;
    const ToDouble t = type.kind == Kind::Int ? ToDouble::Signed
                       : at.bits < 64         ? ToDouble::Unsigned63
                                              : ToDouble::Unsigned64;
    d.kernel = PickIntegerKernel(d.bytes, at.shift == 0 && at.bits == 8 * d.bytes, d.motorola, t, d.linear);
  } else {
    d.kernel = &GeneralKernel;
  }
  return d;
}

// Decodes n consecutive records.
void RunDecoder(const Decoder& d, const uint8_t* records, size_t n, double* out) {
  d.kernel(d, records, n, out);
  if (d.conversion)
    for (size_t i = 0; i < n; ++i) out[i] = ApplyConversion(d.conversion, out[i]);
}
}  // namespace mdf::detail

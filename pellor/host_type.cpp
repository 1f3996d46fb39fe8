#include "pellor/host_type.h"

#include <cmath>

#include "importcore/host_types.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"

namespace pellor {
namespace {

using namespace importcore::dtyp;

enum class Class { Unsigned, Signed, Float, Other };

Class ClassOf(uint16_t type) {
  switch (type) {
    case 0: case 9: case 13: return Class::Unsigned;
    case 1: case 10: case 14: return Class::Signed;
    case 2: case 3: case 11: case 12: case 15: case 16: return Class::Float;
    default: return Class::Other;
  }
}

// Delivered as decoded doubles.
HostType Doubles(bool converted) {
  HostType t;
  t.DTyp = kFloat64;
  t.bytes = 8;
  t.converted = converted;
  t.noValue = kUnsetNoValue;
  return t;
}

HostType Integer(bool isSigned, uint32_t shift, uint32_t bits) {
  HostType t;
  const uint32_t span = shift + bits;
  if (span > 64) return Doubles(true);  // no container holds it: decoded
  const bool whole = shift == 0 && (bits == 8 || bits == 16 || bits == 32 || bits == 64);
  if (span <= 8) {
    t.DTyp = whole ? (isSigned ? kInt8 : kUInt8) : (isSigned ? kSBits8 : kUBits8);
  } else if (span <= 16) {
    t.DTyp = whole ? (isSigned ? kInt16 : kUInt16) : (isSigned ? kSBits16 : kUBits16);
  } else if (span <= 32) {
    t.DTyp = whole ? (isSigned ? kInt32 : kUInt32) : (isSigned ? kSBits32 : kUBits32);
  } else {
    t.DTyp = isSigned ? kInt64 : kUInt64;
  }
  t.bytes = static_cast<int32_t>(importcore::DTypSize(t.DTyp));
  if (!whole || span > 32) t.BitSize = static_cast<int32_t>(((bits - 1) << 8) | shift);
  if (bits == 1) {
    t.noValue = kUnsetNoValue;
  } else if (bits > 32) {
    t.noValue = isSigned ? 9223372036854775807.0 : 18446744073709551615.0;
  } else {
    t.noValue = isSigned ? std::ldexp(1.0, static_cast<int>(bits) - 1) - 1 : std::ldexp(1.0, static_cast<int>(bits)) - 1;
  }
  return t;
}

}  // namespace

HostType SelectHostType(const mdf::CCNBlock& channel, bool compose) {
  const Class kind = ClassOf(channel.GetDataType());
  const uint32_t bits = channel.GetNumberOfBits();
  const bool integer = kind == Class::Unsigned || kind == Class::Signed;
  // Integers wider than 64 bits, and fields without bits, have no values to deliver.
  if ((integer && bits > 64) || bits == 0) return {};

  HostType t;
  if (const mdf::CCCBlock* cc = channel.GetConversion();
      cc && cc->GetType() != mdf::CCCBlock::kLinear && cc->GetType() != mdf::CCCBlock::kIdentity &&
      cc->GetType() != mdf::CCCBlock::kTextTable) {
    t = Doubles(true);
  } else if (compose) {
    t = Doubles(false);
  } else if (integer) {
    t = Integer(kind == Class::Signed, channel.GetStartOffset() & 7u, bits);
  } else if (kind == Class::Float && bits == 32) {
    t.DTyp = kFloat32;
    t.bytes = 4;
    t.noValue = static_cast<double>(1e34f);
  } else {
    // A 64-bit float is delivered as it is stored; any other width and the
    // types without a numeric form are decoded.
    t = Doubles(!(kind == Class::Float && bits == 64));
  }
  if (integer && bits == 1) t.STyp = 4;
  return t;
}

}  // namespace pellor

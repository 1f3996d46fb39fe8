// Fuzz target of the raw value codec. Input: a flag word (4 bytes, Intel
// order), 8 bytes that give the value to write (as a double and, by its low
// half, as an integer), then the value bytes. Decodes, compares and encodes
// with every operation the flag word selects, in buffers of exactly the
// input's size, and checks that what is written reads back.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mdf/datatype.h"

using namespace mdf;

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

ULONGLONG ReadIntel(const uint8_t* p, size_t n) {
  ULONGLONG v = 0;
  for (size_t i = 0; i < n; ++i) v |= static_cast<ULONGLONG>(p[i]) << (8 * i);
  return v;
}

// The value of `v` kept to `bits` bits, sign-extended when `isSigned`.
LONG Narrow(LONG v, UINT bits, bool isSigned) {
  const DWORD mask = kMaxUnsigned[bits];
  DWORD x = static_cast<DWORD>(v) & mask;
  if (isSigned && bits < 32 && (x >> (bits - 1)) & 1) x |= ~mask;
  return static_cast<LONG>(x);
}

// Digits FormatInteger needs for any 32-bit value in the base.
size_t DigitsNeeded(UINT base) {
  switch (base) {
    case 2: return 32;
    case 8: return 11;
    case 16: return 8;
    default: return 11;  // sign and ten digits
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  const DWORD flags = static_cast<DWORD>(ReadIntel(data, 4));
  const ULONGLONG raw = ReadIntel(data + 4, 8);
  const double dvalue = std::bit_cast<double>(raw);
  const LONG ivalue = static_cast<LONG>(static_cast<DWORD>(raw));
  const std::vector<BYTE> source(data + 12, data + size);

  const CDataType type(flags);
  const std::span<const BYTE> src(source);
  (void)type.GetDouble(src);
  (void)type.GetInteger(src);
  const std::span<const BYTE> first = src.first(src.size() / 2);
  const std::span<const BYTE> second = src.subspan(src.size() / 2);
  const WORD order = type.Compare(first, second);
  Check(order == kCompareEqual || order == kCompareGreater || order == kCompareLess);
  Check(CompareValues(first, second, flags) == order);

  const UINT width = flags & kTypeWidthMask;
  const bool isSigned = (flags & kTypeSigned) != 0;
  std::vector<BYTE> dest(source);

  // Integers written read back, within the bytes the value needs.
  type.PutInteger(ivalue, dest);
  if (flags & kTypeText) {
    const UINT param = (flags & kTypeTextParamMask) >> kTypeTextParamShift;
    const UINT base = param == 2 || param == 8 || param == 16 ? param : 10;
    if (!(flags & kTypeFloat) && width >= DigitsNeeded(base) && dest.size() >= width) {
      Check(ParseInteger(dest, flags) == ivalue);
    }
  } else if (flags & kTypeBitField) {
    const UINT offset = (flags & kTypeBitOffsetMask) >> kTypeBitOffsetShift;
    const UINT bits = ((flags & kTypeBitCountMask) >> kTypeBitCountShift) + 1;
    const bool validWidth = width == 1 || width == 2 || width == 4;
    if (validWidth && dest.size() >= (offset + bits + 7) / 8) {
      Check(ExtractBits(dest, flags) == Narrow(ivalue, bits, isSigned));
      // A double put into the field lands in the field's range.
      dest = source;
      type.PutDouble(dvalue, dest);
      const double back = type.GetDouble(dest);
      const double lo = isSigned ? -std::ldexp(1.0, static_cast<int>(bits) - 1) : 0.0;
      const double hi = isSigned ? std::ldexp(1.0, static_cast<int>(bits) - 1) - 1 : std::ldexp(1.0, static_cast<int>(bits)) - 1;
      if (std::isnan(dvalue)) {
        Check(back == 0.0);
      } else {
        Check(back == std::fmin(hi, std::fmax(lo, std::trunc(dvalue))));
      }
    }
  } else if (flags & kTypeFloat) {
    if ((width == 4 || width == 8) && dest.size() >= width) {
      dest = source;
      type.PutDouble(dvalue, dest);
      const double back = type.GetDouble(dest);
      const double expected = width == 4 ? static_cast<double>(static_cast<float>(dvalue)) : dvalue;
      Check(std::isnan(expected) ? std::isnan(back) : back == expected);
    }
  } else if ((width == 1 || width == 2 || width == 4) && dest.size() >= width &&
             type.PutIntegerOperation() != nullptr) {
    Check(type.GetInteger(dest) == Narrow(ivalue, 8 * width, isSigned));
  }

  // Writes stay inside the span: a shorter span leaves the rest untouched.
  dest = source;
  const size_t cut = dest.size() / 2;
  type.PutDouble(dvalue, std::span<BYTE>(dest).first(cut));
  Check(std::equal(dest.begin() + cut, dest.end(), source.begin() + cut));
  return 0;
}

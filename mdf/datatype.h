// Raw value codec: turns the bytes of one stored value into a number and back.
//
// A 32-bit type-flag word says how wide the value is, whether it is signed, a
// float, a number written as text or a bit field, and its byte order. A
// CDataType decodes the flag word once and keeps five operations chosen from
// it, so that decoding many samples of one signal costs one indirect call per
// sample and no further look at the flags.
//
// Every operation takes the bytes it may read or write as a span and stays
// inside it: bytes a value needs beyond the span read as zero and are not
// written; a text number is the first min(width, span size) characters.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "platform/win32/types.h"

namespace mdf {

// Type-flag word. Fields that a kind does not use are zero.
inline constexpr DWORD kTypeWidthMask = 0xFF;     // bytes of the value; text: characters
inline constexpr DWORD kTypeSigned = 0x100;       // two's complement
inline constexpr DWORD kTypeFloat = 0x200;        // IEEE 754; on a text number: a real
inline constexpr DWORD kTypeText = 0x400;         // the value is written as characters
inline constexpr DWORD kTypeBitField = 0x800;     // bit field inside a 1-, 2- or 4-byte word
inline constexpr DWORD kTypeAlignedUInt32 = 0x1000;  // marks a byte-aligned unsigned 32-bit value; no operation reads it
inline constexpr DWORD kTypeMotorola = 0x2000;    // most significant byte first
// Bit field: offset of the field's least significant bit (0-31).
inline constexpr int kTypeBitOffsetShift = 16;
inline constexpr DWORD kTypeBitOffsetMask = 0x1F0000;
// Text integer: number base (2, 8, 10 or 16, anything else means 10);
// text real: number of implied decimals.
inline constexpr int kTypeTextParamShift = 16;
inline constexpr DWORD kTypeTextParamMask = 0xFF0000;
// Bit field: bit count minus 1 (1 to 32 bits).
inline constexpr int kTypeBitCountShift = 24;
inline constexpr DWORD kTypeBitCountMask = 0x1F000000;
// Text real, when written: the printf conversion character, or 0.
inline constexpr int kTypeConversionShift = 24;
inline constexpr DWORD kTypeConversionMask = 0xFF000000;

// Results of a compare operation.
inline constexpr WORD kCompareEqual = 1;
inline constexpr WORD kCompareGreater = 2;  // A is greater
inline constexpr WORD kCompareLess = 4;     // A is smaller

// The operations a flag word selects; each takes the flag word last.
using GetIntegerOp = LONG (*)(std::span<const BYTE> value, DWORD flags);
using GetDoubleOp = double (*)(std::span<const BYTE> value, DWORD flags);
using PutIntegerOp = void (*)(LONG value, std::span<BYTE> dest, DWORD flags);
using PutDoubleOp = void (*)(double value, std::span<BYTE> dest, DWORD flags);
using CompareOp = WORD (*)(std::span<const BYTE> a, std::span<const BYTE> b, DWORD flags);

class CDataType {
 public:
  // Flag word 0 and the null operations.
  CDataType();
  explicit CDataType(DWORD flags) { InitTypeOps(flags); }

  // Stores the flag word and selects the operations. A slot for which the
  // flag word has no operation is left empty.
  void InitTypeOps(DWORD flags);

  DWORD Flags() const { return flags_; }

  // The selected operations, nullptr where the flag word has none. A caller
  // decoding many values may take the pointer once and call it directly.
  GetIntegerOp GetIntegerOperation() const { return getInteger_; }
  GetDoubleOp GetDoubleOperation() const { return getDouble_; }
  PutIntegerOp PutIntegerOperation() const { return putInteger_; }
  PutDoubleOp PutDoubleOperation() const { return putDouble_; }
  CompareOp CompareOperation() const { return compare_; }

  // Calls of the selected operations with the stored flag word. Where a slot
  // is empty they answer as the null operations do (0, 0.0, nothing written,
  // equal).
  double GetDouble(std::span<const BYTE> value) const {
    return getDouble_ ? getDouble_(value, flags_) : 0.0;
  }
  LONG GetInteger(std::span<const BYTE> value) const {
    return getInteger_ ? getInteger_(value, flags_) : 0;
  }
  void PutInteger(LONG value, std::span<BYTE> dest) const {
    if (putInteger_) putInteger_(value, dest, flags_);
  }
  void PutDouble(double value, std::span<BYTE> dest) const {
    if (putDouble_) putDouble_(value, dest, flags_);
  }
  WORD Compare(std::span<const BYTE> a, std::span<const BYTE> b) const {
    return compare_ ? compare_(a, b, flags_) : kCompareEqual;
  }

 private:
  DWORD flags_ = 0;
  GetIntegerOp getInteger_ = nullptr;
  GetDoubleOp getDouble_ = nullptr;
  PutIntegerOp putInteger_ = nullptr;
  PutDoubleOp putDouble_ = nullptr;
  CompareOp compare_ = nullptr;
};

// Null operations of a default-constructed CDataType: reads give 0 (LONG) or
// 0.0 (double); writes do nothing; compare says equal.
template <typename T>
T Null_Get(std::span<const BYTE>, DWORD) {
  return T{};
}
void Null_Put(LONG value, std::span<BYTE> dest, DWORD flags);
void Null_Put(double value, std::span<BYTE> dest, DWORD flags);
WORD Null_Put(std::span<const BYTE> a, std::span<const BYTE> b, DWORD flags);

// Bit field of the flag word, read from the bytes it occupies: Intel order
// from the least significant byte, Motorola order from the most significant
// one (the field's last byte then holds its least significant bit). Signed
// fields are sign-extended. A width other than 1, 2 or 4 gives 0.
LONG ExtractBits(std::span<const BYTE> value, DWORD flags);
// Writes the low bits of `value` into the field, keeping the other bits of
// the bytes it occupies; the inverse of ExtractBits. Other widths write nothing.
void InsertBits(LONG value, std::span<BYTE> dest, DWORD flags);

// Number written as text. An integer text has its base in bits 16-23; a real
// text (bit 9) its implied decimals. Each function handles both kinds: an
// integer read or written in a real text goes through its real counterpart
// (truncated toward zero and saturated to 32 bits), and the other way round.
LONG ParseInteger(std::span<const BYTE> text, DWORD flags);
double ParseReal(std::span<const BYTE> text, DWORD flags);
void FormatInteger(LONG value, std::span<BYTE> dest, DWORD flags);
void FormatReal(double value, std::span<BYTE> dest, DWORD flags);

// Compares two values with the compare operation of the flag word;
// kCompareEqual when it has none.
WORD CompareValues(std::span<const BYTE> a, std::span<const BYTE> b, DWORD flags);

// The byte with its bit order reversed (bit 0 becomes bit 7).
BYTE ReverseBits(BYTE value);
// Destination byte n-1-i = source byte i. The ranges must not overlap.
void ReverseCopy(const BYTE* source, BYTE* dest, size_t n);

// Limit tables by bit count.
namespace detail {
constexpr std::array<DWORD, 33> MakeMaxSigned() {
  std::array<DWORD, 33> t{};
  for (int n = 1; n <= 32; ++n) t[n] = static_cast<DWORD>((1ull << (n - 1)) - 1);
  return t;
}
constexpr std::array<DWORD, 33> MakePowerOfTwo() {
  std::array<DWORD, 33> t{};
  for (int n = 1; n <= 31; ++n) t[n] = static_cast<DWORD>(1ull << n);
  return t;
}
constexpr std::array<DWORD, 33> MakeMaxUnsigned() {
  std::array<DWORD, 33> t{};
  for (int n = 0; n <= 32; ++n) t[n] = static_cast<DWORD>((1ull << n) - 1);
  return t;
}
constexpr std::array<ULONGLONG, 65> MakeMaxUnsigned64() {
  std::array<ULONGLONG, 65> t{};
  for (int n = 0; n < 64; ++n) t[n] = (1ull << n) - 1;
  t[64] = ~0ull;
  return t;
}
}  // namespace detail

// Entry n = 2^(n-1) - 1 for n = 1..32; entry 0 = 0.
inline constexpr std::array<DWORD, 33> kMaxSigned = detail::MakeMaxSigned();
// Entry n = 2^n for n = 1..31; entries 0 and 32 are 0.
inline constexpr std::array<DWORD, 33> kPowerOfTwo = detail::MakePowerOfTwo();
// Entry n = 2^n - 1 for n = 0..32.
inline constexpr std::array<DWORD, 33> kMaxUnsigned = detail::MakeMaxUnsigned();
// Entry n = 2^n - 1 for n = 0..64.
inline constexpr std::array<ULONGLONG, 65> kMaxUnsigned64 = detail::MakeMaxUnsigned64();

// The integer field of `bitCount` bits (1..64) that starts at bit `bitShift`
// of `word`, as a double: sign-extended from its bit count when `isSigned`,
// converted as unsigned otherwise. A bit count of 0 gives 0.0; counts above
// 64 count as 64; a shift of 64 or more leaves nothing.
constexpr double IntegerFieldToDouble(ULONGLONG word, UINT bitShift, UINT bitCount, bool isSigned) {
  if (bitCount == 0) return 0.0;
  if (bitCount > 64) bitCount = 64;
  const ULONGLONG mask = kMaxUnsigned64[bitCount];
  ULONGLONG v = bitShift < 64 ? (word >> bitShift) & mask : 0;
  if (!isSigned) return static_cast<double>(v);
  if ((v >> (bitCount - 1)) & 1) v |= ~mask;
  return static_cast<double>(static_cast<LONGLONG>(v));
}

}  // namespace mdf

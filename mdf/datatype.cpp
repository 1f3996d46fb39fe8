#include "mdf/datatype.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace mdf {

namespace {

UINT Width(DWORD flags) { return flags & kTypeWidthMask; }
UINT BitOffset(DWORD flags) { return (flags & kTypeBitOffsetMask) >> kTypeBitOffsetShift; }
UINT BitCount(DWORD flags) { return ((flags & kTypeBitCountMask) >> kTypeBitCountShift) + 1; }
UINT TextParam(DWORD flags) { return (flags & kTypeTextParamMask) >> kTypeTextParamShift; }
char Conversion(DWORD flags) {
  return static_cast<char>((flags & kTypeConversionMask) >> kTypeConversionShift);
}
bool IsSigned(DWORD flags) { return (flags & kTypeSigned) != 0; }
bool IsMotorola(DWORD flags) { return (flags & kTypeMotorola) != 0; }

// The first n (<= 8) bytes of `bytes` as an integer, least significant byte
// first (Intel) or most significant first (Motorola). Bytes past the span
// count as zero.
ULONGLONG LoadIntel(std::span<const BYTE> bytes, size_t n) {
  const size_t have = std::min(n, bytes.size());
  ULONGLONG w = 0;
  for (size_t i = 0; i < have; ++i) w |= static_cast<ULONGLONG>(bytes[i]) << (8 * i);
  return w;
}
ULONGLONG LoadMotorola(std::span<const BYTE> bytes, size_t n) {
  const size_t have = std::min(n, bytes.size());
  ULONGLONG w = 0;
  for (size_t i = 0; i < have; ++i) w |= static_cast<ULONGLONG>(bytes[i]) << (8 * (n - 1 - i));
  return w;
}
// Stores the low n (<= 8) bytes of w; bytes past the span are dropped.
void StoreIntel(ULONGLONG w, std::span<BYTE> bytes, size_t n) {
  const size_t have = std::min(n, bytes.size());
  for (size_t i = 0; i < have; ++i) bytes[i] = static_cast<BYTE>(w >> (8 * i));
}
void StoreMotorola(ULONGLONG w, std::span<BYTE> bytes, size_t n) {
  const size_t have = std::min(n, bytes.size());
  for (size_t i = 0; i < have; ++i) bytes[i] = static_cast<BYTE>(w >> (8 * (n - 1 - i)));
}

template <bool Motorola>
ULONGLONG Load(std::span<const BYTE> bytes, size_t n) {
  return Motorola ? LoadMotorola(bytes, n) : LoadIntel(bytes, n);
}
template <bool Motorola>
void Store(ULONGLONG w, std::span<BYTE> bytes, size_t n) {
  if constexpr (Motorola) {
    StoreMotorola(w, bytes, n);
  } else {
    StoreIntel(w, bytes, n);
  }
}

// Truncates toward zero and saturates to [lo, hi]; NaN gives 0.
LONGLONG Saturate(double value, LONGLONG lo, LONGLONG hi) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(lo)) return lo;
  if (value >= static_cast<double>(hi)) return hi;
  return static_cast<LONGLONG>(value);
}
LONG SaturateToLong(double value) {
  return static_cast<LONG>(Saturate(value, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()));
}

// Value range of an integer of `bits` bits (1..32).
LONGLONG RangeLow(UINT bits, bool isSigned) { return isSigned ? -(1ll << (bits - 1)) : 0; }
LONGLONG RangeHigh(UINT bits, bool isSigned) {
  return isSigned ? (1ll << (bits - 1)) - 1 : (1ll << bits) - 1;
}

template <typename T>
WORD CompareNumbers(T a, T b) {
  if (a > b) return kCompareGreater;
  if (a < b) return kCompareLess;
  return kCompareEqual;  // also when unordered
}

// --- Plain integers of 1, 2 or 4 bytes, Intel or Motorola order -----------

template <size_t N, bool Signed, bool Motorola>
LONGLONG ReadInteger(std::span<const BYTE> value) {
  const ULONGLONG w = Load<Motorola>(value, N);
  if constexpr (Signed) {
    constexpr ULONGLONG sign = 1ull << (8 * N - 1);
    return static_cast<LONGLONG>(w ^ sign) - static_cast<LONGLONG>(sign);
  } else {
    return static_cast<LONGLONG>(w);
  }
}

template <size_t N, bool Signed, bool Motorola>
LONG GetIntegerValue(std::span<const BYTE> value, DWORD) {
  return static_cast<LONG>(static_cast<DWORD>(ReadInteger<N, Signed, Motorola>(value)));
}
template <size_t N, bool Signed, bool Motorola>
double GetIntegerDouble(std::span<const BYTE> value, DWORD) {
  return static_cast<double>(ReadInteger<N, Signed, Motorola>(value));
}
template <size_t N, bool Motorola>
void PutIntegerValue(LONG value, std::span<BYTE> dest, DWORD) {
  Store<Motorola>(static_cast<DWORD>(value), dest, N);
}
template <size_t N, bool Signed, bool Motorola>
void PutIntegerDouble(double value, std::span<BYTE> dest, DWORD) {
  const LONGLONG v = Saturate(value, RangeLow(8 * N, Signed), RangeHigh(8 * N, Signed));
  Store<Motorola>(static_cast<ULONGLONG>(v), dest, N);
}
template <size_t N, bool Signed, bool Motorola>
WORD CompareInteger(std::span<const BYTE> a, std::span<const BYTE> b, DWORD) {
  return CompareNumbers(ReadInteger<N, Signed, Motorola>(a), ReadInteger<N, Signed, Motorola>(b));
}

// --- IEEE floats of 4 or 8 bytes ------------------------------------------

template <size_t N, bool Motorola>
double ReadFloat(std::span<const BYTE> value) {
  const ULONGLONG w = Load<Motorola>(value, N);
  if constexpr (N == 4) {
    return std::bit_cast<float>(static_cast<uint32_t>(w));
  } else {
    return std::bit_cast<double>(w);
  }
}
template <size_t N, bool Motorola>
void WriteFloat(double value, std::span<BYTE> dest) {
  if constexpr (N == 4) {
    Store<Motorola>(std::bit_cast<uint32_t>(static_cast<float>(value)), dest, N);
  } else {
    Store<Motorola>(std::bit_cast<ULONGLONG>(value), dest, N);
  }
}

template <size_t N, bool Motorola>
LONG GetFloatInteger(std::span<const BYTE> value, DWORD) {
  return SaturateToLong(ReadFloat<N, Motorola>(value));
}
template <size_t N, bool Motorola>
double GetFloatDouble(std::span<const BYTE> value, DWORD) {
  return ReadFloat<N, Motorola>(value);
}
template <size_t N, bool Motorola>
void PutFloatInteger(LONG value, std::span<BYTE> dest, DWORD) {
  WriteFloat<N, Motorola>(static_cast<double>(value), dest);
}
template <size_t N, bool Motorola>
void PutFloatDouble(double value, std::span<BYTE> dest, DWORD) {
  WriteFloat<N, Motorola>(value, dest);
}
template <size_t N, bool Motorola>
WORD CompareFloat(std::span<const BYTE> a, std::span<const BYTE> b, DWORD) {
  return CompareNumbers(ReadFloat<N, Motorola>(a), ReadFloat<N, Motorola>(b));
}

// --- Bit fields -----------------------------------------------------------

bool BitFieldWidthValid(DWORD flags) {
  const UINT w = Width(flags);
  return w == 1 || w == 2 || w == 4;
}
// Bytes the field occupies: up to 8 (offset 31 plus 32 bits).
size_t BitFieldBytes(DWORD flags) { return (BitOffset(flags) + BitCount(flags) + 7) / 8; }

double GetBitFieldDouble(std::span<const BYTE> value, DWORD flags) {
  const LONG v = ExtractBits(value, flags);
  return IsSigned(flags) ? static_cast<double>(v) : static_cast<double>(static_cast<DWORD>(v));
}
void PutBitFieldDouble(double value, std::span<BYTE> dest, DWORD flags) {
  const UINT bits = BitCount(flags);
  const bool isSigned = IsSigned(flags);
  const LONGLONG v = Saturate(value, RangeLow(bits, isSigned), RangeHigh(bits, isSigned));
  InsertBits(static_cast<LONG>(static_cast<DWORD>(v)), dest, flags);
}
WORD CompareBitField(std::span<const BYTE> a, std::span<const BYTE> b, DWORD flags) {
  const LONG x = ExtractBits(a, flags);
  const LONG y = ExtractBits(b, flags);
  if (IsSigned(flags)) return CompareNumbers(x, y);
  return CompareNumbers(static_cast<DWORD>(x), static_cast<DWORD>(y));
}

// --- Text numbers ---------------------------------------------------------

bool IsBlank(BYTE c) { return c == ' '; }
bool IsDigit(BYTE c) { return c >= '0' && c <= '9'; }

std::span<const BYTE> TextField(std::span<const BYTE> text, DWORD flags) {
  return text.first(std::min<size_t>(Width(flags), text.size()));
}
std::span<BYTE> TextField(std::span<BYTE> text, DWORD flags) {
  return text.first(std::min<size_t>(Width(flags), text.size()));
}

UINT TextBase(DWORD flags) {
  const UINT base = TextParam(flags);
  return base == 2 || base == 8 || base == 10 || base == 16 ? base : 10;
}

LONG ParseIntegerText(std::span<const BYTE> text, DWORD flags) {
  const std::span<const BYTE> t = TextField(text, flags);
  UINT base = TextBase(flags);
  size_t i = 0;
  while (i < t.size() && IsBlank(t[i])) ++i;
  bool negative = false;
  if (base == 10 && i < t.size()) {
    if (t[i] == '+' || t[i] == '-') {
      negative = t[i] == '-';
      ++i;
      while (i < t.size() && IsBlank(t[i])) ++i;
    } else if (t.size() - i > 2 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
      base = 16;
      i += 2;
    }
  }
  // Accumulated modulo 2^32, as the 32-bit result.
  DWORD value = 0;
  for (; i < t.size(); ++i) {
    const BYTE c = static_cast<BYTE>(t[i] >= 'a' && t[i] <= 'z' ? t[i] - 'a' + 'A' : t[i]);
    UINT digit;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * base + digit;
  }
  if (negative) value = 0u - value;
  return static_cast<LONG>(value);
}

// Text of a real: blanks, sign, blanks, digits, '.', digits, exponent. The
// characters read are handed to from_chars, so that the value is the double
// nearest to the text.
double ParseRealText(std::span<const BYTE> text, DWORD flags) {
  const std::span<const BYTE> t = TextField(text, flags);
  // Room for the text, a leading "0" and "e-255" for implied decimals.
  char buf[kTypeWidthMask + 8];
  size_t len = 0;
  size_t i = 0;
  while (i < t.size() && IsBlank(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
    while (i < t.size() && IsBlank(t[i])) ++i;
  }
  buf[len++] = '0';
  // Decimal exponent of the first non-zero digit, to tell overflow from underflow.
  LONGLONG leadExponent = 0;
  bool nonZero = false;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    buf[len++] = static_cast<char>(t[i]);
    if (!nonZero && t[i] != '0') {
      nonZero = true;
      leadExponent = 0;
    } else if (nonZero) {
      ++leadExponent;
    }
  }
  bool point = false;
  if (i < t.size() && t[i] == '.') {
    point = true;
    buf[len++] = '.';
    LONGLONG position = 0;
    for (++i; i < t.size() && IsDigit(t[i]); ++i) {
      buf[len++] = static_cast<char>(t[i]);
      --position;
      if (!nonZero && t[i] != '0') {
        nonZero = true;
        leadExponent = position;
      }
    }
  }
  bool exponent = false;
  LONGLONG exponentValue = 0;
  if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
    exponent = true;
    size_t j = i + 1;
    bool expNegative = false;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) {
      expNegative = t[j] == '-';
      ++j;
    }
    if (j < t.size() && IsDigit(t[j])) {
      buf[len++] = 'e';
      if (expNegative) buf[len++] = '-';
      for (; j < t.size() && IsDigit(t[j]); ++j) {
        buf[len++] = static_cast<char>(t[j]);
        exponentValue = std::min<LONGLONG>(exponentValue * 10 + (t[j] - '0'), 1000000);
      }
      if (expNegative) exponentValue = -exponentValue;
    }
  }
  const UINT decimals = TextParam(flags);
  if (!point && !exponent && decimals != 0) {
    buf[len++] = 'e';
    buf[len++] = '-';
    len = static_cast<size_t>(std::to_chars(buf + len, buf + sizeof buf, decimals).ptr - buf);
    exponentValue = -static_cast<LONGLONG>(decimals);
  }
  double value = 0.0;
  if (std::from_chars(buf, buf + len, value).ec == std::errc::result_out_of_range) {
    value = nonZero && leadExponent + exponentValue > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

void FormatIntegerText(LONG value, std::span<BYTE> dest, DWORD flags) {
  const std::span<BYTE> d = TextField(dest, flags);
  std::fill(d.begin(), d.end(), static_cast<BYTE>(' '));
  const UINT base = TextBase(flags);
  // Only base 10 has a sign; other bases write the 32-bit two's complement.
  const bool negative = base == 10 && value < 0;
  DWORD magnitude = negative ? 0u - static_cast<DWORD>(value) : static_cast<DWORD>(value);
  size_t pos = d.size();
  while (pos > 0) {
    d[--pos] = static_cast<BYTE>("0123456789ABCDEF"[magnitude % base]);
    magnitude /= base;
    if (magnitude == 0) break;
  }
  if (negative && pos > 0) d[pos - 1] = '-';
}

void FormatRealText(double value, std::span<BYTE> dest, DWORD flags) {
  const std::span<BYTE> d = TextField(dest, flags);
  if (d.empty()) return;
  std::fill(d.begin(), d.end(), static_cast<BYTE>(' '));
  char c = Conversion(flags);
  int precision = static_cast<int>(TextParam(flags));
  // printf conversions of a double; anything else is formatted as "%g".
  if (c == 0 || std::strchr("eEfFgG", c) == nullptr) {
    c = 'g';
    precision = 6;
  } else if (precision == 0) {
    precision = 6;
  }
  std::chars_format format = std::chars_format::general;
  if (c == 'e' || c == 'E') format = std::chars_format::scientific;
  if (c == 'f' || c == 'F') format = std::chars_format::fixed;
  // Longest text: "-" + 309 digits of DBL_MAX + "." + 255 decimals.
  char buf[640];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, format, precision);
  if (ec != std::errc()) return;
  const size_t len = static_cast<size_t>(end - buf);
  if (c == 'E' || c == 'F' || c == 'G') {
    for (size_t i = 0; i < len; ++i) {
      if (buf[i] >= 'a' && buf[i] <= 'z') buf[i] = static_cast<char>(buf[i] - 'a' + 'A');
    }
  }
  if (len >= d.size()) {
    std::memcpy(d.data(), buf, d.size());
  } else {
    std::memcpy(d.data() + (d.size() - len), buf, len);
  }
}

WORD CompareIntegerText(std::span<const BYTE> a, std::span<const BYTE> b, DWORD flags) {
  return CompareNumbers(ParseInteger(a, flags), ParseInteger(b, flags));
}
WORD CompareRealText(std::span<const BYTE> a, std::span<const BYTE> b, DWORD flags) {
  return CompareNumbers(ParseReal(a, flags), ParseReal(b, flags));
}

// --- Selection ------------------------------------------------------------

struct TypeOps {
  GetIntegerOp getInteger = nullptr;
  GetDoubleOp getDouble = nullptr;
  PutIntegerOp putInteger = nullptr;
  PutDoubleOp putDouble = nullptr;
  CompareOp compare = nullptr;
};

template <size_t N, bool Signed, bool Motorola>
TypeOps IntegerOps() {
  TypeOps ops{&GetIntegerValue<N, Signed, Motorola>, &GetIntegerDouble<N, Signed, Motorola>, nullptr,
              nullptr, &CompareInteger<N, Signed, Motorola>};
  // Single Motorola bytes are read only.
  if (!Motorola || N > 1) {
    ops.putInteger = &PutIntegerValue<N, Motorola>;
    ops.putDouble = &PutIntegerDouble<N, Signed, Motorola>;
  }
  return ops;
}

template <bool Motorola>
TypeOps IntegerOpsByWidth(UINT width, bool isSigned) {
  switch (width) {
    case 1: return isSigned ? IntegerOps<1, true, Motorola>() : IntegerOps<1, false, Motorola>();
    case 2: return isSigned ? IntegerOps<2, true, Motorola>() : IntegerOps<2, false, Motorola>();
    case 4: return isSigned ? IntegerOps<4, true, Motorola>() : IntegerOps<4, false, Motorola>();
    default: return {};
  }
}

template <size_t N, bool Motorola>
TypeOps FloatOps() {
  return {&GetFloatInteger<N, Motorola>, &GetFloatDouble<N, Motorola>, &PutFloatInteger<N, Motorola>,
          &PutFloatDouble<N, Motorola>, &CompareFloat<N, Motorola>};
}

TypeOps SelectTypeOps(DWORD flags) {
  const bool motorola = IsMotorola(flags);
  if (flags & kTypeText) {
    return {&ParseInteger, &ParseReal, &FormatInteger, &FormatReal,
            (flags & kTypeFloat) ? &CompareRealText : &CompareIntegerText};
  }
  if (flags & kTypeBitField) {
    return {&ExtractBits, &GetBitFieldDouble, &InsertBits, &PutBitFieldDouble, &CompareBitField};
  }
  if (flags & kTypeFloat) {
    switch (Width(flags)) {
      case 4: return motorola ? FloatOps<4, true>() : FloatOps<4, false>();
      case 8: return motorola ? FloatOps<8, true>() : FloatOps<8, false>();
      default: return {};
    }
  }
  return motorola ? IntegerOpsByWidth<true>(Width(flags), IsSigned(flags))
                  : IntegerOpsByWidth<false>(Width(flags), IsSigned(flags));
}

}  // namespace

CDataType::CDataType()
    : getInteger_(&Null_Get<LONG>),
      getDouble_(&Null_Get<double>),
      putInteger_(static_cast<PutIntegerOp>(&Null_Put)),
      putDouble_(static_cast<PutDoubleOp>(&Null_Put)),
      compare_(static_cast<CompareOp>(&Null_Put)) {}

void CDataType::InitTypeOps(DWORD flags) {
  flags_ = flags;
  const TypeOps ops = SelectTypeOps(flags);
  getInteger_ = ops.getInteger;
  getDouble_ = ops.getDouble;
  putInteger_ = ops.putInteger;
  putDouble_ = ops.putDouble;
  compare_ = ops.compare;
}

void Null_Put(LONG, std::span<BYTE>, DWORD) {}
void Null_Put(double, std::span<BYTE>, DWORD) {}
WORD Null_Put(std::span<const BYTE>, std::span<const BYTE>, DWORD) { return kCompareEqual; }

LONG ExtractBits(std::span<const BYTE> value, DWORD flags) {
  if (!BitFieldWidthValid(flags)) return 0;
  const UINT offset = BitOffset(flags);
  const UINT bits = BitCount(flags);
  const size_t n = BitFieldBytes(flags);
  const ULONGLONG word = IsMotorola(flags) ? LoadMotorola(value, n) : LoadIntel(value, n);
  const DWORD mask = kMaxUnsigned[bits];
  DWORD v = static_cast<DWORD>(word >> offset) & mask;
  if (IsSigned(flags) && bits < 32 && (v >> (bits - 1)) & 1) v |= ~mask;
  return static_cast<LONG>(v);
}

void InsertBits(LONG value, std::span<BYTE> dest, DWORD flags) {
  if (!BitFieldWidthValid(flags)) return;
  const UINT offset = BitOffset(flags);
  const UINT bits = BitCount(flags);
  const size_t n = BitFieldBytes(flags);
  const bool motorola = IsMotorola(flags);
  const ULONGLONG mask = static_cast<ULONGLONG>(kMaxUnsigned[bits]) << offset;
  const ULONGLONG v = (static_cast<ULONGLONG>(static_cast<DWORD>(value)) << offset) & mask;
  ULONGLONG word = motorola ? LoadMotorola(dest, n) : LoadIntel(dest, n);
  word = (word & ~mask) | v;
  if (motorola) {
    StoreMotorola(word, dest, n);
  } else {
    StoreIntel(word, dest, n);
  }
}

LONG ParseInteger(std::span<const BYTE> text, DWORD flags) {
  if (flags & kTypeFloat) return SaturateToLong(ParseRealText(text, flags));
  return ParseIntegerText(text, flags);
}

double ParseReal(std::span<const BYTE> text, DWORD flags) {
  if (!(flags & kTypeFloat)) return static_cast<double>(ParseIntegerText(text, flags));
  return ParseRealText(text, flags);
}

void FormatInteger(LONG value, std::span<BYTE> dest, DWORD flags) {
  if (flags & kTypeFloat) {
    FormatRealText(static_cast<double>(value), dest, flags);
  } else {
    FormatIntegerText(value, dest, flags);
  }
}

void FormatReal(double value, std::span<BYTE> dest, DWORD flags) {
  if (!(flags & kTypeFloat)) {
    FormatIntegerText(SaturateToLong(value), dest, flags);
  } else {
    FormatRealText(value, dest, flags);
  }
}

WORD CompareValues(std::span<const BYTE> a, std::span<const BYTE> b, DWORD flags) {
  const CompareOp compare = SelectTypeOps(flags).compare;
  return compare ? compare(a, b, flags) : kCompareEqual;
}

BYTE ReverseBits(BYTE value) {
  BYTE r = 0;
  for (int i = 0; i < 8; ++i) {
    r = static_cast<BYTE>((r << 1) | (value & 1));
    value >>= 1;
  }
  return r;
}

void ReverseCopy(const BYTE* source, BYTE* dest, size_t n) {
  for (size_t i = 0; i < n; ++i) dest[n - 1 - i] = source[i];
}

}  // namespace mdf

#include "mdf/datatype.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

using namespace mdf;
using namespace std::string_literals;

namespace {

constexpr size_t kAll = std::string::npos;

DWORD BitField(UINT offset, UINT bits, UINT width) {
  return kTypeBitField | width | (offset << kTypeBitOffsetShift) | ((bits - 1) << kTypeBitCountShift);
}
DWORD Text(UINT width, UINT param, char conversion = 0) {
  return kTypeText | width | (param << kTypeTextParamShift) |
         (static_cast<DWORD>(static_cast<BYTE>(conversion)) << kTypeConversionShift);
}

std::string Intel(ULONGLONG v, size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}
std::string Motorola(ULONGLONG v, size_t n) {
  std::string s = Intel(v, n);
  return std::string(s.rbegin(), s.rend());
}
std::string Single(float f) { return Intel(std::bit_cast<uint32_t>(f), 4); }
std::string Double(double d) { return Intel(std::bit_cast<ULONGLONG>(d), 8); }
std::string Reversed(std::string s) { return std::string(s.rbegin(), s.rend()); }

std::span<const BYTE> Span(const std::string& s, size_t len = kAll) {
  return {reinterpret_cast<const BYTE*>(s.data()), std::min(len, s.size())};
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
constexpr LONG kLongMax = std::numeric_limits<LONG>::max();

// Test name from a case's description.
const auto CaseName = [](const auto& info) {
  std::string name = info.param.what;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name + "_" + std::to_string(info.index);
};

// --- Decoding -------------------------------------------------------------

struct DecodeCase {
  const char* what;
  DWORD flags;
  std::string bytes;
  size_t length;  // bytes handed to the codec
  double value;   // GetDouble
  LONG integer;   // GetInteger
};

const DecodeCase kDecodeCases[] = {
    {"1-bit field at offset 7", BitField(7, 1, 1), "\x80", kAll, 1, 1},
    {"signed 1-bit field at offset 7", BitField(7, 1, 1) | kTypeSigned, "\x80", kAll, -1, -1},
    {"signed 12-bit field 0x800", BitField(0, 12, 2) | kTypeSigned, Intel(0x800, 2), kAll, -2048, -2048},
    {"signed 12-bit field 0x7FF", BitField(0, 12, 2) | kTypeSigned, Intel(0x7FF, 2), kAll, 2047, 2047},
    {"9-bit Motorola field", BitField(0, 9, 2) | kTypeMotorola, "\x01\x80", kAll, 0x180, 0x180},
    {"12-bit Motorola field at offset 6 spans 3 bytes", BitField(6, 12, 4) | kTypeMotorola, "\x03\xFF\xC0", kAll,
     0xFFF, 0xFFF},
    {"30-bit Intel field at offset 3 spans 5 bytes", BitField(3, 30, 4), Intel(0x1FFFFFFF8ull, 5), kAll,
     0x3FFFFFFF, 0x3FFFFFFF},
    {"30-bit Motorola field at offset 3 spans 5 bytes", BitField(3, 30, 4) | kTypeMotorola,
     Motorola(0x1FFFFFFF8ull, 5), kAll, 0x3FFFFFFF, 0x3FFFFFFF},
    {"signed 30-bit Motorola field at offset 3", BitField(3, 30, 4) | kTypeMotorola | kTypeSigned,
     Motorola(0x100000000ull, 5), kAll, -(1 << 29), -(1 << 29)},
    {"32-bit field at offset 7 spans 5 bytes", BitField(7, 32, 4), Intel(0x7FFFFFFF80ull, 5), kAll, 4294967295.0,
     -1},
    {"unsigned 32-bit field converts as unsigned", BitField(0, 32, 4), Intel(0xFFFFFFFF, 4), kAll, 4294967295.0,
     -1},
    {"signed 32-bit field", BitField(0, 32, 4) | kTypeSigned, Intel(0xFFFFFFFF, 4), kAll, -1, -1},
    {"bit field of width 3 has no value", BitField(0, 8, 3), "\x05\x05\x05", kAll, 0, 0},
    {"unsigned 32-bit Intel", 4, Intel(0xFFFFFFFF, 4), kAll, 4294967295.0, -1},
    {"signed 16-bit Intel", 0x102, Intel(0xFFFE, 2), kAll, -2, -2},
    {"unsigned 8-bit Intel", 1, "\xFE", kAll, 254, 254},
    {"unsigned Motorola byte", 0x2001, "\xFF", kAll, 255, 255},
    {"signed Motorola byte", 0x2101, "\xFF", kAll, -1, -1},
    {"unsigned 16-bit Motorola", 0x2002, "\x12\x34", kAll, 0x1234, 0x1234},
    {"signed 16-bit Motorola", 0x2102, "\xFF\xFE", kAll, -2, -2},
    {"unsigned 32-bit Motorola", 0x2004, "\xFF\xFF\xFF\xFE", kAll, 4294967294.0, -2},
    {"signed 32-bit Motorola", 0x2104, "\xFF\xFF\xFF\xFE", kAll, -2, -2},
    {"integer of width 3 has no value", 3, "\x01\x02\x03", kAll, 0, 0},
    {"single", 0x204, Single(1.5f), kAll, 1.5, 1},
    {"Motorola single", 0x2204, Reversed(Single(-1.5f)), kAll, -1.5, -1},
    {"double truncates toward zero", 0x208, Double(-2.75), kAll, -2.75, -2},
    {"Motorola double", 0x2208, Reversed(Double(1e-300)), kAll, 1e-300, 0},
    {"double above 32 bits saturates", 0x208, Double(1e20), kAll, 1e20, kLongMax},
    {"single below 32 bits saturates", 0x204, Single(-1e20f), kAll, static_cast<double>(-1e20f),
     std::numeric_limits<LONG>::min()},
    {"NaN gives integer 0", 0x208, Double(kNaN), kAll, kNaN, 0},
    // Bytes past the span handed over read as zero.
    {"Intel integer cut to 2 bytes", 4, Intel(0xFFFF1234, 4), 2, 0x1234, 0x1234},
    {"Motorola integer cut to 1 byte", 0x2002, "\x12\x34", 1, 0x1200, 0x1200},
    {"Motorola field cut to 4 bytes", BitField(3, 30, 4) | kTypeMotorola, Motorola(0x1FFFFFFF8ull, 5), 4,
     0x3FFFFFE0, 0x3FFFFFE0},
    {"text cut to 2 characters", Text(5, 0), "12345", 2, 12, 12},
    // Text numbers.
    {"blanks and sign", Text(5, 0), "  -42", kAll, -42, -42},
    {"blank after the sign", Text(4, 0), "+ 17", kAll, 17, 17},
    {"0x switches to base 16", Text(4, 0), "0x1F", kAll, 31, 31},
    {"stops at a foreign character", Text(4, 0), "12a4", kAll, 12, 12},
    {"base 16", Text(3, 16), " ff", kAll, 255, 255},
    {"base 2 stops at 2", Text(4, 2), "1021", kAll, 2, 2},
    {"explicit base 10 read as double", Text(2, 10), "42", kAll, 42, 42},
    {"no digits", Text(3, 0), "abc", kAll, 0, 0},
    {"integer text wraps at 32 bits", Text(10, 0), "4294967297", kAll, 1, 1},
    {"implied decimals", Text(4, 2) | kTypeFloat, "1234", kAll, 12.34, 12},
    {"a point cancels implied decimals", Text(5, 2) | kTypeFloat, "1234.", kAll, 1234, 1234},
    {"exponent", Text(5, 0) | kTypeFloat, "1.5e2", kAll, 150, 150},
    {"negative exponent", Text(7, 0) | kTypeFloat, " -25E-1", kAll, -2.5, -2},
    {"nearest double", Text(3, 0) | kTypeFloat, "0.3", kAll, 0.3, 0},
    {"real stops at a foreign character", Text(6, 0) | kTypeFloat, "-1.5x9", kAll, -1.5, -1},
    {"overflow gives infinity", Text(6, 0) | kTypeFloat, "-1e999", kAll, -kInf, std::numeric_limits<LONG>::min()},
    {"underflow gives zero", Text(8, 0) | kTypeFloat, "0.1e-999", kAll, 0, 0},
    // The first kind that holds decides: text, bit field, float, Motorola.
    {"text before bit field", Text(2, 0) | kTypeBitField, "42", kAll, 42, 42},
    {"bit field before float", BitField(0, 8, 1) | kTypeFloat, "\x05", kAll, 5, 5},
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.what; }

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesValueAndInteger) {
  const DecodeCase& c = GetParam();
  const CDataType type(c.flags);
  const double value = type.GetDouble(Span(c.bytes, c.length));
  if (std::isnan(c.value)) {
    EXPECT_TRUE(std::isnan(value));
  } else {
    EXPECT_EQ(value, c.value);
  }
  EXPECT_EQ(type.GetInteger(Span(c.bytes, c.length)), c.integer);
}

INSTANTIATE_TEST_SUITE_P(Codec, DecodeTest, ::testing::ValuesIn(kDecodeCases), CaseName);

// --- Encoding -------------------------------------------------------------

struct EncodeCase {
  const char* what;
  DWORD flags;
  bool asDouble;  // PutDouble, else PutInteger
  double value;
  std::string before;
  size_t length;  // bytes handed to the codec
  std::string after;
};

const EncodeCase kEncodeCases[] = {
    {"integer text", Text(5, 0), false, -42, "xxxxx", kAll, "  -42"},
    {"zero", Text(5, 0), false, 0, "xxxxx", kAll, "    0"},
    {"base 16", Text(5, 16), false, 255, "xxxxx", kAll, "   FF"},
    {"negative in base 16 as 32 bits", Text(8, 16), false, -1, "xxxxxxxx", kAll, "FFFFFFFF"},
    {"digits dropped from the left", Text(3, 0), false, 123456, "xxx", kAll, "456"},
    {"sign dropped when no room", Text(3, 0), false, -123, "xxx", kAll, "123"},
    {"smallest integer", Text(11, 0), false, std::numeric_limits<LONG>::min(), "xxxxxxxxxxx", kAll,
     "-2147483648"},
    {"text cut to the span", Text(5, 0), false, 42, "xxxxx", 3, " 42xx"},
    {"real text", Text(8, 2, 'f') | kTypeFloat, true, 3.14159, "xxxxxxxx", kAll, "    3.14"},
    {"integer into real text", Text(6, 1, 'f') | kTypeFloat, false, 7, "xxxxxx", kAll, "   7.0"},
    {"upper-case exponent", Text(10, 2, 'E') | kTypeFloat, true, 1234.5, "xxxxxxxxxx", kAll, "  1.23E+03"},
    {"no decimals: default precision", Text(12, 0, 'e') | kTypeFloat, true, 0.5, "xxxxxxxxxxxx", kAll,
     "5.000000e-01"},
    {"no conversion: %g", Text(8, 2) | kTypeFloat, true, 3.14159, "xxxxxxxx", kAll, " 3.14159"},
    {"unknown conversion: %g", Text(8, 2, 'n') | kTypeFloat, true, 3.14159, "xxxxxxxx", kAll, " 3.14159"},
    {"long real text keeps its start", Text(6, 2, 'f') | kTypeFloat, true, 123456.789, "xxxxxx", kAll, "123456"},
    {"real into integer text truncates", Text(3, 0), true, -3.9, "xxx", kAll, " -3"},
    {"real into integer text saturates", Text(11, 0), true, 1e300, "xxxxxxxxxxx", kAll, " 2147483647"},
    {"Intel 16-bit", 2, false, 0x1234, "xx", kAll, "\x34\x12"},
    {"Motorola 16-bit", 0x2002, false, 0x1234, "xx", kAll, "\x12\x34"},
    {"Motorola 32-bit", 0x2004, false, 0x12345678, "xxxx", kAll, "\x12\x34\x56\x78"},
    {"Intel 32-bit cut to the span", 4, false, 0x11223344, "\xAA\xAA\xAA\xAA", 2, "\x44\x33\xAA\xAA"},
    {"integer into single", 0x204, false, 3, "xxxx", kAll, Single(3.0f)},
    {"Motorola double", 0x2208, true, -2.75, "xxxxxxxx", kAll, Reversed(Double(-2.75))},
    // A double put into an integer saturates to the field's range.
    {"unsigned byte above range", 1, true, 300, "x", kAll, "\xFF"},
    {"unsigned byte below range", 1, true, -5, "x", kAll, std::string(1, '\0')},
    {"signed 16-bit below range", 0x102, true, -1e30, "xx", kAll, "\x00\x80"s},
    {"unsigned 32-bit beyond the signed range", 4, true, 3e9, "xxxx", kAll, Intel(3000000000u, 4)},
    {"unsigned 32-bit above range", 4, true, 1e30, "xxxx", kAll, "\xFF\xFF\xFF\xFF"},
    {"signed 32-bit NaN", 0x104, true, kNaN, "xxxx", kAll, Intel(0, 4)},
    {"signed Motorola 16-bit above range", 0x2102, true, 40000, "xx", kAll, "\x7F\xFF"},
    {"truncates toward zero", 0x102, true, -7.9, "xx", kAll, Intel(0xFFF9, 2)},
    {"signed field above range", BitField(2, 12, 2) | kTypeSigned, true, 5000, "\xFF\xFF", kAll, "\xFF\xDF"},
    {"signed field below range", BitField(2, 12, 2) | kTypeSigned, true, -5000, "\xFF\xFF", kAll, "\x03\xE0"},
    {"unsigned 32-bit field", BitField(0, 32, 4), true, 4e9, "xxxx", kAll, Intel(4000000000u, 4)},
    // Fields keep the bits around them and take every byte they span.
    {"Intel field over 5 bytes", BitField(3, 30, 4), false, 0x3FFFFFFF, Intel(0, 5), kAll,
     Intel(0x1FFFFFFF8ull, 5)},
    {"Motorola field over 5 bytes", BitField(3, 30, 4) | kTypeMotorola, false, 0x3FFFFFFF, Intel(0, 5), kAll,
     Motorola(0x1FFFFFFF8ull, 5)},
    {"Motorola field keeps its neighbours", BitField(6, 12, 4) | kTypeMotorola, false, 0, "\xFF\xFF\xFF", kAll,
     "\xFC\x00\x3F"s},
    {"field cut to the span", BitField(4, 8, 2), false, 0xAB, "\x00\x00"s, 1, "\xB0\x00"s},
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.what; }

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, WritesBytes) {
  const EncodeCase& c = GetParam();
  const CDataType type(c.flags);
  std::string bytes = c.before;
  const std::span<BYTE> dest(reinterpret_cast<BYTE*>(bytes.data()), std::min(c.length, bytes.size()));
  if (c.asDouble) {
    type.PutDouble(c.value, dest);
  } else {
    type.PutInteger(static_cast<LONG>(c.value), dest);
  }
  EXPECT_EQ(bytes, c.after);
}

INSTANTIATE_TEST_SUITE_P(Codec, EncodeTest, ::testing::ValuesIn(kEncodeCases), CaseName);

// --- Comparing ------------------------------------------------------------

struct CompareCase {
  const char* what;
  DWORD flags;
  std::string a;
  std::string b;
  WORD expected;
};

const CompareCase kCompareCases[] = {
    {"signed 16-bit", 0x102, Intel(0xFFFF, 2), Intel(1, 2), kCompareLess},
    {"unsigned 16-bit", 2, Intel(0xFFFF, 2), Intel(1, 2), kCompareGreater},
    {"unsigned 32-bit", 4, Intel(0xFFFFFFFF, 4), Intel(1, 4), kCompareGreater},
    {"equal", 0x104, Intel(7, 4), Intel(7, 4), kCompareEqual},
    {"Motorola 16-bit", 0x2002, "\x01\x00"s, "\x00\xFF"s, kCompareGreater},
    {"double", 0x208, Double(1.0), Double(2.0), kCompareLess},
    {"NaN counts as equal", 0x204, Single(std::numeric_limits<float>::quiet_NaN()), Single(1.0f), kCompareEqual},
    {"signed field", BitField(4, 4, 1) | kTypeSigned, "\xF0", "\x10", kCompareLess},
    {"unsigned 32-bit field", BitField(0, 32, 4), Intel(0xFFFFFFFF, 4), Intel(1, 4), kCompareGreater},
    {"integer text", Text(3, 0), " 10", "  9", kCompareGreater},
    {"real text", Text(4, 0) | kTypeFloat, "1.25", " 1.5", kCompareLess},
    {"no operation", 3, "\x01\x00\x00"s, "\x00\x00\x00"s, kCompareEqual},
};

void PrintTo(const CompareCase& c, std::ostream* os) { *os << c.what; }

class CompareTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareTest, GivesCode) {
  const CompareCase& c = GetParam();
  EXPECT_EQ(CompareValues(Span(c.a), Span(c.b), c.flags), c.expected);
  EXPECT_EQ(CDataType(c.flags).Compare(Span(c.a), Span(c.b)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Codec, CompareTest, ::testing::ValuesIn(kCompareCases), CaseName);

// --- Bit fields of every shape --------------------------------------------

// For every offset and bit count in both byte orders: ExtractBits reads back
// what InsertBits wrote, and InsertBits changes exactly the field's bits.
TEST(BitFieldTest, InsertThenExtractTouchesOnlyTheField) {
  for (UINT offset = 0; offset < 32; ++offset) {
    for (UINT bits = 1; bits <= 32; ++bits) {
      for (DWORD order : {0u, kTypeMotorola}) {
        for (DWORD sign : {0u, kTypeSigned}) {
          const DWORD flags = BitField(offset, bits, 4) | order | sign;
          const DWORD pattern = 0x9E3779B9u;  // both bit values in every field
          const DWORD mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
          DWORD expected = pattern & mask;
          if (sign && bits < 32 && (expected >> (bits - 1))) expected |= ~mask;
          BYTE ones[9], zeros[9];
          std::fill(std::begin(ones), std::end(ones), 0xFF);
          std::fill(std::begin(zeros), std::end(zeros), 0x00);
          InsertBits(static_cast<LONG>(pattern), ones, flags);
          InsertBits(static_cast<LONG>(pattern), zeros, flags);
          int same = 0;
          for (int i = 0; i < 9; ++i) same += std::popcount(static_cast<unsigned>(BYTE(~(ones[i] ^ zeros[i]))));
          ASSERT_EQ(same, static_cast<int>(bits)) << "offset " << offset << " bits " << bits << " flags " << flags;
          ASSERT_EQ(ExtractBits(ones, flags), static_cast<LONG>(expected)) << "offset " << offset << " bits " << bits;
          ASSERT_EQ(ExtractBits(zeros, flags), static_cast<LONG>(expected)) << "offset " << offset << " bits " << bits;
        }
      }
    }
  }
}

// --- CAN database fields against canmatrix --------------------------------

// The flag word and first data byte of a CAN signal as the CAN import builds
// them from a database's start bit, length and byte order.
struct CanField {
  DWORD flags;
  size_t firstByte;
};

CanField FieldOfSignal(int dbcStart, int length, bool motorola, bool isSigned, int valueType) {
  int start = dbcStart;
  if (motorola) {
    if (dbcStart % 8 + 1 >= length) {
      start = dbcStart - length + 1;
      motorola = false;  // inside one byte the order does not matter
    } else {
      int c = ((length - dbcStart - 1) % 8 + 8) % 8;
      if (c != 0) c = 8 - c;
      start = (dbcStart & ~7) + c;
    }
  }
  DWORD flags;
  if (valueType != 0) {
    flags = length == 32 ? 0x204 : 0x208;
  } else if (start % 8 == 0 && (length == 8 || length == 16 || length == 32)) {
    flags = static_cast<DWORD>(length / 8);
    if (isSigned) {
      flags |= kTypeSigned;
    } else if (length == 32) {
      flags |= kTypeAlignedUInt32;
    }
  } else {
    const UINT offset = static_cast<UINT>(start % 8);
    const UINT end = offset + static_cast<UINT>(length);
    flags = BitField(offset, static_cast<UINT>(length), end < 9 ? 1 : end <= 16 ? 2 : 4);
    if (isSigned) flags |= kTypeSigned;
  }
  if (motorola) flags |= kTypeMotorola;
  return {flags, static_cast<size_t>(start / 8)};
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

TEST(CanFieldTest, MatchesCanmatrix) {
  std::ifstream in(TEST_DATA_DIR "/can_fields.csv");
  ASSERT_TRUE(in) << "tests/data/can_fields.csv is missing";
  std::string line;
  int rows = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE(line);
    std::vector<std::string_view> cols;
    std::string_view rest(line);
    for (size_t comma; (comma = rest.find(',')) != std::string_view::npos; rest.remove_prefix(comma + 1)) {
      cols.push_back(rest.substr(0, comma));
    }
    cols.push_back(rest);
    ASSERT_EQ(cols.size(), 7u);
    int start = 0, length = 0, order = 0, valueType = 0;
    double expected = 0;
    ASSERT_TRUE(ParseNumber(cols[0], start) && ParseNumber(cols[1], length) && ParseNumber(cols[2], order) &&
                ParseNumber(cols[4], valueType) && ParseNumber(cols[6], expected));
    if (valueType == 0 && length > 32) continue;  // no codec form: the CAN import reads these as 64-bit fields
    ASSERT_EQ(cols[5].size(), 16u);
    BYTE frame[8];
    for (size_t i = 0; i < 8; ++i) {
      unsigned byte = 0;
      ASSERT_EQ(std::from_chars(cols[5].data() + 2 * i, cols[5].data() + 2 * i + 2, byte, 16).ec, std::errc());
      frame[i] = static_cast<BYTE>(byte);
    }
    const CanField field = FieldOfSignal(start, length, order == 0, cols[3] == "-", valueType);
    ASSERT_LT(field.firstByte, 8u);
    const CDataType type(field.flags);
    // The codec sees the frame's bytes from the signal's first byte on.
    EXPECT_EQ(type.GetDouble(std::span<const BYTE>(frame).subspan(field.firstByte)), expected)
        << "flags 0x" << std::hex << field.flags;
    ++rows;
  }
  EXPECT_GT(rows, 500);
}

// --- Objects, null operations, helpers ------------------------------------

TEST(CDataTypeTest, DefaultHasNullOperations) {
  const CDataType type;
  const BYTE bytes[4] = {1, 2, 3, 4};
  BYTE dest[4] = {9, 9, 9, 9};
  EXPECT_EQ(type.Flags(), 0u);
  ASSERT_NE(type.GetDoubleOperation(), nullptr);
  ASSERT_NE(type.PutIntegerOperation(), nullptr);
  EXPECT_EQ(type.GetDouble(bytes), 0.0);
  EXPECT_EQ(type.GetInteger(bytes), 0);
  type.PutInteger(5, dest);
  type.PutDouble(5.0, dest);
  EXPECT_EQ(dest[0], 9);
  EXPECT_EQ(type.Compare(bytes, dest), kCompareEqual);
}

TEST(CDataTypeTest, UnsupportedSlotsStayEmptyAndAreSafeToCall) {
  // A width-3 integer has no operation; a Motorola byte cannot be written.
  const CDataType none(3);
  EXPECT_EQ(none.GetDoubleOperation(), nullptr);
  EXPECT_EQ(none.CompareOperation(), nullptr);
  const CDataType motorolaByte(0x2001);
  EXPECT_NE(motorolaByte.GetDoubleOperation(), nullptr);
  EXPECT_EQ(motorolaByte.PutIntegerOperation(), nullptr);
  EXPECT_EQ(motorolaByte.PutDoubleOperation(), nullptr);
  BYTE dest[1] = {7};
  motorolaByte.PutInteger(1, dest);
  EXPECT_EQ(dest[0], 7);
  EXPECT_EQ(none.GetDouble(dest), 0.0);
}

TEST(CDataTypeTest, InitTypeOpsReselects) {
  CDataType type(0x2002);
  const BYTE bytes[2] = {0x12, 0x34};
  EXPECT_EQ(type.GetDouble(bytes), 0x1234);
  type.InitTypeOps(2);
  EXPECT_EQ(type.Flags(), 2u);
  EXPECT_EQ(type.GetDouble(bytes), 0x3412);
}

TEST(LimitTableTest, EntriesFollowTheirFormulas) {
  for (int n = 0; n <= 32; ++n) {
    EXPECT_EQ(kMaxUnsigned[n], n == 32 ? 0xFFFFFFFFu : (1u << n) - 1) << n;
    EXPECT_EQ(kMaxSigned[n], n == 0 ? 0u : static_cast<DWORD>(std::ldexp(1.0, n - 1) - 1)) << n;
    EXPECT_EQ(kPowerOfTwo[n], n == 0 || n == 32 ? 0u : static_cast<DWORD>(std::ldexp(1.0, n))) << n;
  }
  for (int n = 0; n <= 64; ++n) {
    const ULONGLONG expected = n == 64 ? ~0ull : (1ull << n) - 1;
    EXPECT_EQ(kMaxUnsigned64[n], expected) << n;
  }
  EXPECT_EQ(kMaxSigned[32], 0x7FFFFFFFu);
}

struct FieldCase {
  ULONGLONG word;
  UINT shift;
  UINT bits;
  bool isSigned;
  double expected;
};

TEST(IntegerFieldToDoubleTest, ConvertsBySignAndBitCount) {
  const FieldCase cases[] = {
      {~0ull, 0, 64, false, 18446744073709551615.0},
      {~0ull, 0, 64, true, -1},
      {0x8000000000ull, 0, 40, true, -549755813888.0},
      {0x8000000000ull, 0, 40, false, 549755813888.0},
      {0x7FFFFFFFFFull, 0, 40, true, 549755813887.0},
      {0xFFull << 60, 60, 4, true, -1},
      {0xFFull << 60, 60, 8, false, 15},  // bits above the word are zero
      {0x800, 0, 12, true, -2048},
      {0xFFFFFFFF, 0, 32, true, -1},
      {0xFFFFFFFF, 0, 32, false, 4294967295.0},
      {0xFF, 64, 8, false, 0},
      {0xFF, 0, 0, true, 0},
  };
  for (const FieldCase& c : cases) {
    EXPECT_EQ(IntegerFieldToDouble(c.word, c.shift, c.bits, c.isSigned), c.expected)
        << std::hex << c.word << " >> " << std::dec << c.shift << ", " << c.bits << " bits";
  }
}

TEST(ReverseTest, BitsAndBytes) {
  EXPECT_EQ(ReverseBits(0x01), 0x80);
  EXPECT_EQ(ReverseBits(0xC4), 0x23);
  const BYTE source[3] = {1, 2, 3};
  BYTE dest[3] = {};
  ReverseCopy(source, dest, 3);
  EXPECT_EQ(dest[0], 3);
  EXPECT_EQ(dest[1], 2);
  EXPECT_EQ(dest[2], 1);
}

}  // namespace

// Sample addresses, decoding and the host's output formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "host/failure.h"
#include "host/samples.h"

namespace {

TEST(SamplesTest, DecodesEveryValueType) {
  struct DecodeCase {
    int32_t dtyp;
    uint64_t stored;  // little-endian bytes
    int32_t bitSize;
    double raw;
  };
  const DecodeCase cases[] = {
      {4, 0xFF, 0, 255},
      {5, 0xFF, 0, -1},
      {6, 0xFFFE, 0, 65534},
      {7, 0xFFFE, 0, -2},
      {8, 0xFFFFFFFF, 0, 4294967295.0},
      {9, 0xFFFFFFFF, 0, -1},
      {28, 0xAAFFFFFF, 0, 16777215},            // the low 24 bits
      {29, 0x00800000, 0, -8388608},            // signed 24-bit
      {32, 0xFFFFFFFFFFFFFFFF, 0, 18446744073709551615.0},
      {33, 0xFFFFFFFFFFFFFFFF, 0, -1},
      {32, 0xFFFFFFFFFFFFFFFF, 63 * 256, 18446744073709551615.0},  // 64 bits named
      {33, 0xFFFFFFFFFFFFFFFF, 63 * 256, -1},
      {33, 0x000000FFFFFFFFFF, 39 * 256, -1},   // 40 bits, signed
      {33, 0xA0000000000, 39 * 256, 0},         // neighbouring bits above the field
      {33, 0x8000000000, 39 * 256, -549755813888.0},
      {32, 0xA000000005, 31 * 256 + 3, 0},      // 32 bits at bit 3
      {32, 0x7FFFFFFF8, 31 * 256 + 3, 4294967295.0},
      {16, 0b01101000, 2 * 256 + 3, 5},         // 3 bits at bit 3
      {17, 0b01101000, 2 * 256 + 3, -3},        // the same, signed
      {18, 0x8005 | (15u << 3), 4 * 256 + 3, 15},
      {19, 0x8005 | (16u << 3), 4 * 256 + 3, -16},
      {19, 0xFFFF, 15 * 256 + 0, -1},           // the whole word
      {30, 0x80000000, 0 * 256 + 31, 1},
      {31, 0x80000000, 0 * 256 + 31, -1},       // one signed bit
  };
  for (const DecodeCase& c : cases) {
    uint8_t bytes[8];
    std::memcpy(bytes, &c.stored, 8);
    host::Decoder decode = host::DecoderOf(c.dtyp);
    ASSERT_NE(decode, nullptr) << c.dtyp;
    EXPECT_EQ(decode(bytes, c.bitSize), c.raw) << "DTyp " << c.dtyp << " BitSize " << c.bitSize;
  }
  float f = 1.5f;
  double d = -0.25;
  uint8_t bytes[8];
  std::memcpy(bytes, &f, 4);
  EXPECT_EQ(host::DecoderOf(11)(bytes, 0), 1.5);
  EXPECT_EQ(host::DecoderOf(10)(bytes, 0), 1.5);
  std::memcpy(bytes, &d, 8);
  EXPECT_EQ(host::DecoderOf(13)(bytes, 0), -0.25);
  EXPECT_EQ(host::DecoderOf(3), nullptr);
  EXPECT_EQ(host::ValueSize(14), 0);
}

host::PropertyList Signal(int64_t dtyp, int64_t vpb, int64_t offset, int64_t demux, int64_t block0, int64_t count,
                          int64_t bitSize = 0) {
  return {{"Name", std::string("S")}, {"DTyp", dtyp},    {"ValuesPerBlock", vpb}, {"BlockOffset", offset},
          {"Demux", demux},           {"Block0", block0}, {"NoOfValues", count}, {"BitSize", bitSize}};
}

TEST(SamplesTest, AddressesFollowBlocksOffsetsAndStrides) {
  const host::Layout l = host::Layout::Of(Signal(7, 4, 4, 2, 2, 6), 1024, 4096);
  EXPECT_EQ(l.Address(0, 1024), 2052u);
  EXPECT_EQ(l.Address(3, 1024), 2058u);
  EXPECT_EQ(l.Address(4, 1024), 3076u);
  // Unsigned 32-bit positions: a Block0 above 2^31 stays positive.
  const host::Layout high = host::Layout::Of(Signal(4, 1024, 0, 1, 0x80000000ll >> 10, 1), 1024, 0xFFFFFFFFu);
  EXPECT_EQ(high.Address(0, 1024), 0x80000000u);
}

TEST(SamplesTest, LayoutsThatCannotBeReadAreRefused) {
  struct BadLayout {
    host::PropertyList signal;
    std::string detail;
    uint32_t dataSize = 4096;
  };
  const BadLayout cases[] = {
      {Signal(3, 1, 0, 4, 0, 1), "signal \"S\" has the value type DTyp 3, which zphost cannot decode"},
      {Signal(7, 0, 0, 2, 0, 1), "signal \"S\" has 1 value but ValuesPerBlock 0"},
      {Signal(7, 1, 0, 2, 0, 3), "signal \"S\" has 3 values but the file has DataSize 0", 0},
      {Signal(13, 4, 0, 4, 0, 8), "signal \"S\" has Demux 4 below its values' 8 bytes"},
      {Signal(13, 128, 0, 8, 3, 129), "signal \"S\"'s values reach byte 4104, past DataSize 4096"},
      {Signal(13, 128, 1020, 8, 0, 1), "signal \"S\"'s values reach byte 1028, past DataSize 1024", 1024},
      // 2^32 - 1 blocks of 1024 bytes: computed in 64 bits, never wrapped.
      {Signal(4, 1, 0, 1, 0xFFFFFFFFll, 1), "signal \"S\"'s values reach byte 4398046510081, past DataSize 4096"},
      // Bit fields that do not lie within their word: the word does not hold their value.
      {Signal(18, 1, 0, 2, 0, 1, 0 * 256 + 16), "signal \"S\" has BitSize 16: 1 bit from bit 16 pass its 16-bit word"},
      {Signal(18, 1, 0, 2, 0, 1, 15 * 256 + 8),
       "signal \"S\" has BitSize 3848: 16 bits from bit 8 pass its 16-bit word"},
      {Signal(33, 1, 0, 8, 0, 1, 63 * 256 + 1), "signal \"S\" has BitSize 16129: 64 bits from bit 1 pass its 64-bit word"},
  };
  for (const BadLayout& c : cases) {
    try {
      host::Layout::Of(c.signal, 1024, c.dataSize);
      ADD_FAILURE() << "accepted: " << c.detail;
    } catch (const host::Failure& f) {
      EXPECT_EQ(f.exit, host::Exit::Module);
      EXPECT_EQ(f.detail, c.detail);
    }
  }
  // No values: nothing to address.
  EXPECT_NO_THROW(host::Layout::Of(Signal(7, 0, 0, 0, 0, 0), 1024, 0));
  // A field that fills its word, and the whole 64-bit word of BitSize 0.
  EXPECT_NO_THROW(host::Layout::Of(Signal(18, 1, 0, 2, 0, 1, 7 * 256 + 8), 1024, 4096));
  EXPECT_NO_THROW(host::Layout::Of(Signal(33, 1, 0, 8, 0, 1), 1024, 4096));
}

TEST(FormatTest, NumbersTextsAndFields) {
  EXPECT_EQ(host::FormatNumber(0.1), "0.1");
  EXPECT_EQ(host::FormatNumber(1e308), "1e+308");
  EXPECT_EQ(host::FormatNumber(-3), "-3");
  EXPECT_EQ(host::FormatNumber(1.0 / 3), "0.3333333333333333");
  EXPECT_EQ(host::FormatNumber(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(host::JsonValue(std::numeric_limits<double>::infinity()), "\"Infinity\"");
  EXPECT_EQ(host::JsonValue(host::Value{}), "null");
  EXPECT_EQ(host::JsonValue(host::TextList{"a|0", "b"}), "[\"a|0\", \"b\"]");
  EXPECT_EQ(host::JsonString("a\"b\\c\n\x01\xC3\xA4"), "\"a\\\"b\\\\c\\n\\u0001\xC3\xA4\"");
  EXPECT_EQ(host::CsvField("plain"), "plain");
  EXPECT_EQ(host::CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(host::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(host::CsvField("two\nlines"), "\"two\nlines\"");
}

}  // namespace

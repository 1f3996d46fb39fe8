// Reading values: the raw bits of each data type, conversions, pause times,
// and how reading moves a group from record to record.
#include <cmath>
#include <limits>

#include "dravo/vaxfloat.h"
#include "tests/dravo/dravo_files.h"
#include "tests/dravo/layout_files.h"

using namespace dravo;
using namespace dravotest;

namespace {

std::string Bytes(std::initializer_list<int> bytes, size_t size = 8) {
  std::string s(size, '\0');
  size_t i = 0;
  for (int b : bytes) s[i++] = static_cast<char>(b);
  return s;
}

class Values : public LibraryTest {
 protected:
  // The first value of a one-channel file of one record.
  double FirstValue(const CnSpec& cn, const std::string& record, std::optional<CcSpec> cc = {},
                    uint16_t byteOrder = 0) {
    const std::string data = record;
    CgDef g{.recordSize = static_cast<uint16_t>(record.size()), .records = 1, .channels = {ChannelSpec{cn, cc}}};
    const std::string path = Save(BuildMdf({DgDef{.groups = {g}, .data = data}}, IdSpec{.byteOrder = byteOrder}));
    MdfFileRecord* file = OpenRead(path);
    const std::vector<double> values = ReadAll(file, 1, 1);
    MdfClose(file);
    return values.empty() ? -12345.0 : values.front();
  }
  // MdfReadRawValue of the first record of the file's channel `number`.
  MdfStatus FirstRaw(const std::string& path, uint16_t number, uint32_t* raw) {
    MdfFileRecord* file = OpenRead(path);
    MdfGroupRecord* group = nullptr;
    MdfChannelRecord* channel = nullptr;
    MdfStatus s = MdfOpenGroup(&group, file, 1, kMdfOpenRead);
    if (s == kMdfOk) s = MdfOpenChannel(&channel, group, number);
    if (s == kMdfOk) s = MdfReadRawValue(raw, channel);
    MdfClose(file);
    return s;
  }
};

bool SameNumber(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) || (a != a && b != b); }

// Every layout of every data type, in files of both byte orders, reads the
// numbers it was written with; a layout that gives no number is refused
// with the reason, and refusing it leaves the group where it stands.
TEST_F(Values, EveryLayoutReadsTheNumbersItWasWrittenWithOrIsRefused) {
  size_t read = 0, refused = 0;
  for (uint16_t order : {0, 1}) {
    for (uint16_t type : LayoutDataTypes()) {
      const LayoutFile f = BuildLayoutFile(order, type);
      const std::string path = Save(f.built, "layout" + std::to_string(order) + "_" + std::to_string(type) + ".mdf");
      MdfFileRecord* file = OpenRead(path);
      ASSERT_NE(file, nullptr);
      MdfGroupRecord* group = nullptr;
      ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
      for (size_t i = 0; i < f.channels.size(); ++i) {
        const LayoutChannel& c = f.channels[i];
        SCOPED_TRACE((order ? "Motorola file, " : "Intel file, ") + c.cn.name);
        ASSERT_EQ(MdfSeekRecord(group, 0, 0), kMdfOk);
        MdfChannelRecord* channel = nullptr;
        ASSERT_EQ(MdfOpenChannel(&channel, group, static_cast<uint16_t>(i + 1)), kMdfOk);
        MdfValueProblem problem = MdfValueProblem::None;
        const MdfStatus checked = MdfCheckChannelValues(channel, &problem);
        EXPECT_EQ(problem, c.problem);
        if (c.problem != MdfValueProblem::None) {
          EXPECT_EQ(checked, kMdfErrValueType);
          double v = -1;
          EXPECT_EQ(MdfGetValue(&v, channel), kMdfErrValueType);
          EXPECT_EQ(MdfReadChannelValue(&v, channel), kMdfErrValueType);
          EXPECT_EQ(v, -1);
          uint32_t number = 9;
          EXPECT_EQ(MdfGetRecordNumber(&number, group), kMdfOk);
          EXPECT_EQ(number, 0u);
          ++refused;
        } else {
          EXPECT_EQ(checked, kMdfOk);
          for (uint32_t r = 0; r < f.records; ++r) {
            double v = 0;
            ASSERT_EQ(MdfGetValue(&v, channel), kMdfOk);
            EXPECT_TRUE(SameNumber(v, c.values[r])) << "record " << r << ": " << v << " for " << c.values[r];
          }
          ++read;
        }
        MdfCloseChannel(channel);
      }
      MdfCloseGroup(group);
      MdfClose(file);
    }
  }
  EXPECT_GT(read, 500u);
  EXPECT_GT(refused, 200u);
}

struct RawCase {
  const char* what;
  CnSpec cn;
  std::string record;
  double expected;
  uint16_t byteOrder = 0;
};

CnSpec WithOffset(CnSpec cn, uint16_t offset) {
  cn.byteOffset = offset;
  return cn;
}

// Fields written byte by byte, so that the bit and byte orders are checked
// against the file format rather than against the fixture writer.
TEST_F(Values, FieldsWrittenByteByByte) {
  const double twoTo64 = std::ldexp(1.0, 64);
  const RawCase cases[] = {
      {"signed 12 bits 0xFFF", Channel("s", 0, 12, 1), Bytes({0xFF, 0x0F}), -1},
      {"signed 12 bits 0x7FF", Channel("s", 0, 12, 1), Bytes({0xFF, 0x07}), 2047},
      {"3 bits at bit 13", Channel("b", 13, 3, 0), Bytes({0xFF, 0xA0}), 5},
      {"8 bits at the last byte", Channel("u", 56, 8, 0), Bytes({0, 0, 0, 0, 0, 0, 0, 0xAB}), 171},
      {"12 bits at bit 4", Channel("u", 4, 12, 0), Bytes({0xF0, 0xAB}), 0xABF},
      {"5 bits across a byte boundary", Channel("u", 6, 5, 0), Bytes({0xC0, 0x07}), 31},
      {"40-bit unsigned", Channel("u", 0, 40, 0), Bytes({1, 2, 3, 4, 5}), 0x0504030201},
      {"40-bit signed minimum", Channel("s", 0, 40, 1), Bytes({0, 0, 0, 0, 0x80}), -std::ldexp(1.0, 39)},
      {"64-bit unsigned", Channel("u", 0, 64, 0), Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       twoTo64 - 1},
      {"64 bits at bit 4 over nine bytes", Channel("u", 4, 64, 0),
       Bytes({0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 0x0F}, 9), static_cast<double>(0xFFEDCBA987654321ull)},
      {"type 3 with 32 bits is a single", Channel("d", 0, 32, 3), Bytes({0, 0, 0x40, 0x40}), 3.0},
      {"type 2 at bit 4", Channel("f", 4, 32, 2), Bytes({0x00, 0x00, 0x00, 0x00, 0x04}), 2.0},
      {"type 4 VAX F -0.75", Channel("v", 0, 32, 4), Bytes({0x40, 0xC0, 0, 0}), -0.75},
      {"type 5 VAX G 1.0", Channel("g", 0, 64, 5), Bytes({0x10, 0x40}), 1.0},
      {"type 6 VAX D -0.75", Channel("d", 0, 64, 6), Bytes({0x40, 0xC0}), -0.75},
      {"type 9, Motorola 16 bits", Channel("m", 0, 16, 9), Bytes({0x12, 0x34}), 0x1234},
      {"type 9, Motorola 12 bits at bit 4", Channel("m", 4, 12, 9), Bytes({0xAB, 0xCD}), 0xABC},
      {"type 10, Motorola signed 24 bits", Channel("m", 0, 24, 10), Bytes({0xFF, 0xFF, 0xFE}), -2},
      {"type 12, Motorola double", Channel("m", 0, 64, 12), Bytes({0x3F, 0xF8}), 1.5},
      {"type 13, Intel 16 bits", Channel("i", 0, 16, 13), Bytes({0x34, 0x12}), 0x1234},
      {"type 0 in a Motorola file", Channel("u", 0, 16, 0), Bytes({0x12, 0x34}), 0x1234, 1},
      {"type 2 in a Motorola file", Channel("f", 0, 32, 2), Bytes({0x40, 0x40}), 3.0, 1},
      {"type 13 in a Motorola file", Channel("i", 0, 16, 13), Bytes({0x34, 0x12}), 0x1234, 1},
      {"VAX F in a Motorola file", Channel("v", 0, 32, 4), Bytes({0x80, 0x40}), 1.0, 1},
      {"additional byte offset", WithOffset(Channel("u", 8, 16, 0), 2), Bytes({9, 9, 9, 0x34, 0x12}), 0x1234},
  };
  for (const RawCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FirstValue(c.cn, c.record, std::nullopt, c.byteOrder), c.expected);
  }
}

// Writing stores into the field in its byte order, and what is stored reads back.
TEST_F(Values, WritesFollowTheFieldsByteOrder) {
  const std::string path = Save(OneGroup({{Channel("m", 4, 12, 9)}, {Channel("d", 16, 64, 12)}, {Channel("b", 80, 8, 8)}},
                                         11, {std::string(11, '\0')}));
  MdfFileRecord* file = nullptr;
  ASSERT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenModify), kMdfOk);
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenModify), kMdfOk);
  MdfChannelRecord *m = nullptr, *d = nullptr, *b = nullptr;
  ASSERT_EQ(MdfOpenChannel(&m, group, 1), kMdfOk);
  ASSERT_EQ(MdfOpenChannel(&d, group, 2), kMdfOk);
  ASSERT_EQ(MdfOpenChannel(&b, group, 3), kMdfOk);
  ASSERT_EQ(MdfWriteRawValue(m, 0xABC), kMdfOk);
  ASSERT_EQ(MdfWriteChannelValue(d, 1.5), kMdfOk);
  // Byte arrays take no number.
  EXPECT_EQ(MdfWriteChannelValue(b, 1.0), kMdfErrValueType);
  EXPECT_EQ(MdfCloseChannel(m), kMdfOk);
  EXPECT_EQ(MdfCloseChannel(d), kMdfOk);
  EXPECT_EQ(MdfClose(file), kMdfOk);
  const std::string bytes = ReadFileBytes(path);
  const std::string record = bytes.substr(bytes.size() - 11);
  EXPECT_EQ(record.substr(0, 10), Bytes({0xAB, 0xC0, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0}, 10));
}

// A field that does not lie wholly in its record is refused: with two
// record ids its bytes would run into the trailing id.
TEST_F(Values, AFieldPastTheRecordIsRefusedNotReadFromTheTrailingId) {
  // Records with two ids: 02 <4 bytes> 02.
  const CgDef g{.recordId = 2,
                .recordSize = 4,
                .records = 1,
                .channels = {{Channel("w", 24, 32, 0)}, {Channel("d", 16, 64, 3)}, {Channel("h", 16, 16, 0)}}};
  const std::string path = Save(BuildMdf({DgDef{.recordIds = 2, .groups = {g}, .data = Bytes({2, 1, 2, 0x7F, 0x3F, 2}, 6)}}));
  MdfFileRecord* file = OpenRead(path);
  EXPECT_EQ(ReadAll(file, 1, 1), std::vector<double>{});
  EXPECT_EQ(ReadAll(file, 1, 2), std::vector<double>{});
  EXPECT_EQ(ReadAll(file, 1, 3), std::vector<double>{0x3F7F});
  MdfClose(file);
  uint32_t raw = 7;
  EXPECT_EQ(FirstRaw(path, 1, &raw), kMdfErrValueType);
  EXPECT_EQ(raw, 7u);
}

struct ConversionCase {
  const char* what;
  CcSpec cc;
  double raw;
  double expected;
};

CcSpec WithCount(CcSpec cc, uint16_t count) {
  cc.size = count;
  return cc;
}

TEST_F(Values, ConversionsFollowTheLibrarysFormulas) {
  const CcSpec table = CcTable({{0, 0}, {10, 100}}, true);
  const CcSpec nearest = CcTable({{0, 0}, {10, 100}}, false);
  const ConversionCase cases[] = {
      {"linear", CcLinear(0.5, -10), 10, -5},
      {"table interpolated", table, 5, 50},
      {"table nearest, tie goes low", nearest, 5, 0},
      {"table nearest", nearest, 6, 100},
      {"table below", nearest, 0, 0},
      {"table above", table, 12, 100},
      {"table of three, exact middle entry", CcTable({{0, 0}, {10, 100}, {20, 400}}, true), 10, 100},
      {"table of no pairs gives x", WithCount(CcTable({}, true), 0), 7, 7},
      {"polynomial, P6 unused", CcPolynomial({-100, 10, 0.5, -2, 0, 99}), 4, 18.0 / 102.0},
      {"exponential uses ln, P4 = 0", CcExponential({100, 2, 0, 0, 0, 1, 0}), 200, std::log(2.0) / 2},
      {"exponential, P1 = 0", CcExponential({0, 0, 8, 2, 1, 0, 0}), 2, std::log(2.0)},
      {"exponential, P1 and P4 set gives x", CcExponential({1, 1, 1, 1, 1, 1, 1}), 3, 3},
      {"logarithmic uses exp", CcLogarithmic({1, 1, -1, 0, 0, 1, 0}), 2, std::exp(3.0)},
      {"logarithmic, P1 = 0", CcLogarithmic({0, 0, 8, 2, 1, 0, 0}), 2, std::exp(2.0)},
      {"rational", CcRational({1, 0, 0, 0, 1, 1}), 10, 100.0 / 11.0},
      {"formula", CcFormula("X/4+1.5"), 10, 4},
      {"lower-case formula with a comma", CcFormula("x*1,5+2"), 4, 8},
      {"value-to-text table gives x", CcTextTable({{1, "ON"}, {0, "OFF"}}), 1, 1},
      {"range-to-text table gives x", CcTextRange("dflt", {{CcRange{0, 9, "low"}}}), 4, 4},
      {"identity", CcIdentity(), 9, 9},
      {"undefined type 3 gives x", CcOther(3, std::string(16, '\x11')), 9, 9},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.what);
    const double got = FirstValue(Channel("c", 0, 16, 0), Record(8).PutUInt(0, 16, static_cast<uint64_t>(c.raw)).Bytes(), c.cc);
    EXPECT_DOUBLE_EQ(got, c.expected);
  }
}

TEST_F(Values, PauseCommentsGiveTheirTimeInSeconds) {
  struct Case {
    std::string text;
    double seconds;
  } cases[] = {
      {"PauseEnd\r\nDate: 1.1.1980   Time: 0:0:0\r\n", 315561600},
      {"PauseEnd\r\nDate: 1.7.1980   Time: 12:0:0\r\n", 331326000},
      {"PauseNo: 3\r\nDate: 1.1.1980   Time: 0:0:5\r\n", 315561605},
      // No pause comment: no number (the raw reader gives 0).
      {"PauseEnd\r\nDate: 1.13.1980   Time: 0:0:0\r\n", NAN},        // no such month
      {"PauseEnd\r\nDate: 1.1.1980   Time: 0:0", NAN},                 // the record ends first
      {"PauseEnd\r\nDate: 1.1.99999999999   Time: 0:0:0\r\n", NAN},    // a field beyond 32 bits
      {"Something else", NAN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string record(8, '\0');
    record += c.text.substr(0, 48);
    record.resize(56, '\0');
    EXPECT_TRUE(SameNumber(FirstValue(Channel("PAUSE", 0, 64, 7), record), c.seconds));
    uint32_t raw = 1;
    ASSERT_EQ(FirstRaw(Save(OneGroup({{Channel("PAUSE", 0, 64, 7)}}, 56, {record}), "raw.mdf"), 1, &raw), kMdfOk);
    EXPECT_EQ(raw, std::isnan(c.seconds) ? 0u : static_cast<uint32_t>(c.seconds));
  }
}

TEST(DateTimeToSeconds, CountsFromTheLibrarysEpochWithoutOverflow) {
  EXPECT_EQ(MdfDateTimeToSeconds(1, 1, 1980, 0, 0, 0), 315561600u);
  EXPECT_EQ(MdfDateTimeToSeconds(1, 7, 1980, 12, 0, 0), 331326000u);
  // 1981: one leap day of 1980 and 365 days of 1980 behind.
  EXPECT_EQ(MdfDateTimeToSeconds(1, 1, 1981, 0, 0, 0), 315561600u + 31536000u + 86400u);
  EXPECT_EQ(MdfDateTimeToSeconds(1, 0, 1980, 0, 0, 0), 0u);
  EXPECT_EQ(MdfDateTimeToSeconds(1, 13, 1980, 0, 0, 0), 0u);
  // Extreme fields wrap like the 32-bit result, without overflowing on the way.
  MdfDateTimeToSeconds(INT32_MAX, 12, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX);
  MdfDateTimeToSeconds(INT32_MIN, 1, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MIN);
}

TEST_F(Values, TheFirstReadTakesTheCurrentRecordAndEachLaterOneMovesOn) {
  std::vector<std::string> records;
  for (int r = 0; r < 3; ++r) records.push_back(Record(4).PutUInt(0, 16, 10 + r).PutUInt(16, 16, 20 + r).Bytes());
  const std::string path = Save(OneGroup({{Channel("a", 0, 16, 0)}, {Channel("b", 16, 16, 0)}}, 4, records));
  MdfFileRecord* file = OpenRead(path);
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
  MdfChannelRecord* a = nullptr;
  MdfChannelRecord* b = nullptr;
  ASSERT_EQ(MdfOpenChannel(&a, group, 1), kMdfOk);
  ASSERT_EQ(MdfOpenChannel(&b, group, 2), kMdfOk);
  // Read as the import driver does: each channel once per record, in order.
  for (int r = 0; r < 3; ++r) {
    double va = 0, vb = 0;
    ASSERT_EQ(MdfGetValue(&va, a), kMdfOk);
    ASSERT_EQ(MdfGetValue(&vb, b), kMdfOk);
    EXPECT_EQ(va, 10 + r);
    EXPECT_EQ(vb, 20 + r);
  }
  // Past the last record: 1, and the out value is left alone.
  double v = -1;
  EXPECT_EQ(MdfGetValue(&v, a), kMdfNoRecord);
  EXPECT_EQ(v, -1);
  uint32_t number = 0;
  EXPECT_EQ(MdfGetRecordNumber(&number, group), kMdfOk);
  EXPECT_EQ(number, 2u);
  // Raw and unconverted readers move the group the same way.
  ASSERT_EQ(MdfSeekRecord(group, 0, 0), kMdfOk);
  uint32_t raw = 0;
  EXPECT_EQ(MdfReadRawValue(&raw, a), kMdfOk);
  EXPECT_EQ(raw, 10u);
  EXPECT_EQ(MdfReadChannelValue(&v, a), kMdfOk);
  EXPECT_EQ(v, 11);

  // Several reads in one entry move the group as the single reads do: a
  // record of both channels, then one channel over the records left.
  ASSERT_EQ(MdfSeekRecord(group, 0, 0), kMdfOk);
  MdfChannelRecord* const both[] = {a, b};
  double values[3] = {};
  ASSERT_EQ(MdfGetValues(values, both, 2), kMdfOk);
  EXPECT_EQ(values[0], 10);
  EXPECT_EQ(values[1], 20);
  MdfChannelRecord* const again[] = {b, b};
  ASSERT_EQ(MdfGetValues(values, again, 2), kMdfOk);
  EXPECT_EQ(values[0], 21);
  EXPECT_EQ(values[1], 22);
  // The first failure ends it: what was read before stays written, the rest not.
  values[1] = -1;
  MdfChannelRecord* const past[] = {a, a, a};
  ASSERT_EQ(MdfSeekRecord(group, 1, 0), kMdfOk);
  EXPECT_EQ(MdfGetValues(values, past, 3), kMdfNoRecord);
  EXPECT_EQ(values[0], 11);
  EXPECT_EQ(values[1], 12);
  MdfChannelRecord* const none[] = {nullptr};
  EXPECT_EQ(MdfGetValues(values, none, 1), kMdfErrChannelHandle);
  MdfClose(file);
}

// VAX values as stored (16-bit words, low byte first, the sign-and-exponent
// word first), worked out from the formats' definitions.
TEST(VaxFloat, FToIeeeGivesSubnormalsForTheSmallestExponents) {
  struct Case {
    uint32_t stored, ieee;
  } cases[] = {
      {0x00004080, 0x3F800000},  // 0.5 × 2^1 = 1.0
      {0x0000C040, 0xBF400000},  // -0.75
      {0x00000180, 0x00800000},  // exponent 3: 2^-126, the smallest normal single
      {0x00000100, 0x00400000},  // exponent 2: 2^-127, a subnormal
      {0x00008080, 0x80200000},  // exponent 1, negative: -2^-128
      {0xFFFF017F, 0x00800000},  // exponent 2, all fraction bits: rounds up to 2^-126
      {0x00008000, 0x7FC00000},  // reserved operand: no number
      {0x00000000, 0x00000000},
  };
  for (const Case& c : cases) EXPECT_EQ(mdf::vax::FToIeee(c.stored), c.ieee) << std::hex << c.stored;
  // A tiny reading stays tiny: it can never become a range's maximum.
  EXPECT_EQ(std::bit_cast<float>(mdf::vax::FToIeee(0x00000100)), std::ldexp(1.0f, -127));
}

TEST(VaxFloat, IeeeToFGivesTheReservedOperandOutsideVaxRange) {
  EXPECT_EQ(mdf::vax::IeeeToF(std::bit_cast<uint32_t>(1.0f)), 0x00004080u);
  EXPECT_EQ(mdf::vax::IeeeToF(std::bit_cast<uint32_t>(3.0e38f)), 0x00008000u);
  EXPECT_EQ(mdf::vax::IeeeToF(0x00000001), 0x00008000u);  // a subnormal
  EXPECT_EQ(mdf::vax::IeeeToF(0), 0u);
  EXPECT_EQ(mdf::vax::FToIeee(mdf::vax::IeeeToF(std::bit_cast<uint32_t>(-123.5f))), std::bit_cast<uint32_t>(-123.5f));
}

TEST(VaxFloat, GAndDToIeee) {
  struct Case {
    uint64_t stored, ieee;
  } g[] = {
      {0x4010, 0x3FF0000000000000},  // 1.0
      {0x0010, 0x0004000000000000},  // exponent 1: 2^-1024, a subnormal
      {0x8020, 0x8008000000000000},  // exponent 2, negative: -2^-1023
      {0x0030, 0x0010000000000000},  // exponent 3: 2^-1022, the smallest normal
      {0x1234000000000000 | 0x000F, 0},  // exponent 0 with fraction bits: +0
      {0, 0},
  };
  for (const Case& c : g) EXPECT_EQ(mdf::vax::GToIeee(c.stored), c.ieee) << std::hex << c.stored;
  const Case d[] = {
      {0x4080, 0x3FF0000000000000},                // 1.0
      {0xC040, 0xBFE8000000000000},                // -0.75
      {0x0007000000000000 | 0x4080, 0x3FF0000000000000},  // the lowest 3 fraction bits are dropped
      {0x0008000000000000 | 0x4080, 0x3FF0000000000001},
      {0x8000, 0x7FF8000000000000},  // exponent 0 with the sign: the reserved operand, no number
      {0x0000, 0},                   // exponent 0: +0
  };
  for (const Case& c : d) EXPECT_EQ(mdf::vax::DToIeee(c.stored), c.ieee) << std::hex << c.stored;
}

}  // namespace

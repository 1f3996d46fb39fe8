// The parts of the CAN-log import that stand alone: names from patterns, the
// codec's flag words, reading signals from frames (against canmatrix), the
// time axes and the reset of the time base.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>

#include "mdf/datatype.h"
#include "pellor/candb/candb.h"
#include "pellor/canlog.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "tests/support/temp_dir.h"

namespace pellor {
namespace {

using testsupport::TempDir;

// A database of one message from its DBC lines (signals, value types).
struct OneMessage {
  explicit OneMessage(const std::string& id, const std::string& lines) {
    testsupport::WriteFileBytes(dir.File("m.dbc"), "VERSION \"\"\n\nBU_: ECU\n\nBO_ " + id + " EngineData: 8 ECU\n" +
                                                       lines + "\n");
    ok = db.ReadDbcFile(dir.File("m.dbc"));
  }
  const CanMsg& Message() const { return db.Messages()[0]; }
  const CanSig& Signal(size_t i = 0) const { return Message().Signals()[i]; }
  TempDir dir;
  CDbBase db;
  bool ok = false;
};

TEST(FormatCanSignalNameTest, ReplacesKeysOfThePattern) {
  const OneMessage ext("2566844672", " SG_ Speed : 0|8@1+ (1,0) [0|0] \"\" ECU");
  const OneMessage std255("255", " SG_ Speed : 0|8@1+ (1,0) [0|0] \"\" ECU");
  ASSERT_TRUE(ext.ok && std255.ok);
  const struct {
    const char* pattern;
    const OneMessage& db;
    const char* expected;
  } cases[] = {
      {"<MSG>_<NAME>", std255, "EngineData_Speed"},
      {"CAN<CAN>_<IDh>", std255, "CAN1_ff"},
      {"", std255, "Speed"},
      {"<id>/<ID>", std255, "255/255"},
      {"<ID>_<IDh>", ext, "2566844672_98fef100"},  // unsigned, with the extended bit
      {"<SENDER>:<name>", std255, "ECU:Speed"},
      {"a<unknown>b", std255, "ab"},
      {"x<NAME", std255, "xNAME"},  // a '<' without '>' goes, the rest stays
      {"<>", std255, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatCanSignalName(c.pattern, c.db.Signal(), c.db.Message(), 1), c.expected) << c.pattern;
}

TEST(MakeTypeFlagsTest, FlagWordsOfSignalLayouts) {
  const struct {
    const char* sg;
    DWORD flags;
    size_t firstByte;
  } cases[] = {
      {"0|8@1+", 0x1, 0},
      {"8|16@1-", 0x102, 1},
      {"32|32@1+", 0x1004, 4},          // unsigned 32 bits: marked
      {"0|32@1-", 0x104, 0},
      {"7|16@0+", 0x2002, 0},           // Motorola over two bytes, aligned
      {"5|12@0+", 0x0B022802, 0},       // Motorola, 12 bits from DBC bit 5: bytes 0-1 reversed, shift 2
      {"5|2@0+", 0x01040801, 0},        // Motorola inside one byte: an Intel field from bit 4
      {"3|5@1-", 0x04030901, 0},        // signed bit field, container 1
      {"12|10@1+", 0x09040802, 1},      // container 2
      {"13|20@1+", 0x13050804, 1},      // container 4
  };
  for (const auto& c : cases) {
    const OneMessage m("1", std::string(" SG_ S : ") + c.sg + " (1,0) [0|0] \"\" ECU");
    ASSERT_TRUE(m.ok) << c.sg;
    EXPECT_EQ(MakeTypeFlags(m.Signal()), c.flags) << c.sg << " gives 0x" << std::hex << MakeTypeFlags(m.Signal());
    EXPECT_EQ(static_cast<size_t>(m.Signal().StartBit() / 8), c.firstByte) << c.sg;
  }
  const OneMessage floats("1", " SG_ F : 0|32@1- (1,0) [0|0] \"\" ECU\n SG_ D : 32|64@1- (1,0) [0|0] \"\" ECU\n\n"
                               "SIG_VALTYPE_ 1 F : 1;\nSIG_VALTYPE_ 1 D : 2;");
  ASSERT_TRUE(floats.ok);
  EXPECT_EQ(MakeTypeFlags(floats.Signal(0)), 516u);
  EXPECT_EQ(MakeTypeFlags(floats.Signal(1)), 520u);
}

TEST(MuxConditionTest, HoldsTheValuesOfItsRangesInAnyOrder) {
  const MuxCondition single({{2, 2}});
  const MuxCondition ranges({{5, 6}, {1, 1}, {3, 4}, {4, 8}, {20, 30}});  // unordered, overlapping
  const struct {
    double raw;
    bool single, ranges;
  } cases[] = {{2, true, false}, {1, false, true}, {0, false, false}, {3, false, true}, {8, false, true},
               {9, false, false}, {19.5, false, false}, {20, false, true}, {30, false, true}, {31, false, false},
               {NAN, false, false}};  // an absent multiplexor
  for (const auto& c : cases) {
    EXPECT_EQ(single.Holds(c.raw), c.single) << c.raw;
    EXPECT_EQ(ranges.Holds(c.raw), c.ranges) << c.raw;
  }
}

TEST(CheckCanFieldTest, SignalsOutsideTheFrameOrOddFloatsAreRejected) {
  const struct {
    const char* sg;
    bool isFloat;
    CanFieldFault fault;
  } cases[] = {
      {"56|8@1+", false, CanFieldFault::kNone},
      {"57|8@1+", false, CanFieldFault::kOutsideFrame},   // past byte 8
      {"0|64@1+", false, CanFieldFault::kNone},
      {"63|8@0+", false, CanFieldFault::kNone},          // Motorola in byte 7
      {"59|8@0+", false, CanFieldFault::kOutsideFrame},  // Motorola from byte 7 into byte 8
      {"7|64@0-", false, CanFieldFault::kNone},
      {"6|64@0-", false, CanFieldFault::kOutsideFrame},
      {"64|1@1+", false, CanFieldFault::kOutsideFrame},
      {"0|16@1-", true, CanFieldFault::kBadFloat},        // a float of 16 bits
      {"4|32@1-", true, CanFieldFault::kBadFloat},        // off a byte boundary
      {"40|32@1-", true, CanFieldFault::kOutsideFrame},
      {"39|32@0-", true, CanFieldFault::kNone},
  };
  for (const auto& c : cases) {
    const OneMessage m("1", std::string(" SG_ S : ") + c.sg + " (1,0) [0|0] \"\" ECU\n\n" +
                                (c.isFloat ? "SIG_VALTYPE_ 1 S : 1;" : ""));
    ASSERT_TRUE(m.ok) << c.sg;
    EXPECT_EQ(CheckCanField(m.Signal()), c.fault) << c.sg;
  }
}

// --- Reading signals from frames, against canmatrix ---------------------------

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

struct FieldRow {
  std::string line;
  int start = 0, length = 0, order = 0, valueType = 0;
  char sign = '+';
  uint8_t frame[16] = {};
  double expected = 0;
};

std::vector<FieldRow> ReadFieldRows() {
  std::vector<FieldRow> rows;
  std::ifstream in(TEST_DATA_DIR "/can_fields.csv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string_view> cols;
    std::string_view rest(line);
    for (size_t comma; (comma = rest.find(',')) != std::string_view::npos; rest.remove_prefix(comma + 1))
      cols.push_back(rest.substr(0, comma));
    cols.push_back(rest);
    FieldRow row;
    row.line = line;
    if (cols.size() != 7 || cols[5].size() != 16 || !ParseNumber(cols[0], row.start) ||
        !ParseNumber(cols[1], row.length) || !ParseNumber(cols[2], row.order) || !ParseNumber(cols[4], row.valueType) ||
        !ParseNumber(cols[6], row.expected))
      return {};
    row.sign = cols[3].empty() ? '?' : cols[3][0];
    for (size_t i = 0; i < 8; ++i)
      std::from_chars(cols[5].data() + 2 * i, cols[5].data() + 2 * i + 2, row.frame[i], 16);
    rows.push_back(row);
  }
  return rows;
}

// Every row of can_fields.csv (lengths 1 to 64, both byte orders, both signs,
// floats) as a signal of a DBC file, read by the DBC reader and decoded from
// its frame as the CAN-log import decodes it.
TEST(CanFieldReaderTest, MatchesCanmatrix) {
  const std::vector<FieldRow> rows = ReadFieldRows();
  ASSERT_GT(rows.size(), 900u) << "tests/data/can_fields.csv is missing or damaged";
  std::string dbc = "VERSION \"\"\n\nBU_: N\n\n", types;
  for (size_t i = 0; i < rows.size(); ++i) {
    const FieldRow& r = rows[i];
    dbc += "BO_ " + std::to_string(i + 1) + " M" + std::to_string(i) + ": 8 N\n SG_ S : " + std::to_string(r.start) +
           "|" + std::to_string(r.length) + "@" + std::to_string(r.order) + r.sign + " (1,0) [0|0] \"\" N\n\n";
    if (r.valueType) types += "SIG_VALTYPE_ " + std::to_string(i + 1) + " S : " + std::to_string(r.valueType) + ";\n";
  }
  TempDir dir;
  testsupport::WriteFileBytes(dir.File("fields.dbc"), dbc + types);
  CDbBase db;
  ASSERT_TRUE(db.ReadDbcFile(dir.File("fields.dbc"))) << db.LastError().reason;
  int wide = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].line);
    const CanMsg* message = db.FindMessageById(static_cast<int32_t>(i + 1));
    ASSERT_NE(message, nullptr);
    const CanSig& sig = message->Signals()[0];
    ASSERT_EQ(CheckCanField(sig), CanFieldFault::kNone);
    EXPECT_EQ(CanFieldReader(sig).Read(rows[i].frame), rows[i].expected);
    wide += rows[i].valueType == 0 && rows[i].length > 32;
  }
  EXPECT_GT(wide, 200);
}

// --- Time axes -----------------------------------------------------------------

TEST(StraightenCanTimesTest, TimeSeries) {
  const double tiny = std::nextafter(2.0, 3.0);
  const struct {
    const char* what;
    std::vector<double> in, out;
    double minDelta, maxDelta;
    bool uniDir, equidistant;
  } cases[] = {
      {"one value", {5.0}, {5.0}, 0, 0, true, true},
      {"two values", {1.0, 1.5}, {1.0, 1.5}, 0.5, 0.5, true, true},
      {"three, equidistant", {0.0, 0.25, 0.5}, {0.0, 0.25, 0.5}, 0.25, 0.25, true, true},
      {"three, not equidistant", {0.0, 0.25, 0.75}, {0.0, 0.25, 0.75}, 0.25, 0.5, true, false},
      // The second step is compared with the first, which is compared with none.
      {"uneven start", {0.0, 0.1, 0.3, 0.5}, {0.0, 0.1, 0.3, 0.5}, 0.1, 0.2, true, false},
      {"within 1 %", {0.0, 1.0, 2.005, 3.01}, {0.0, 1.0, 2.005, 3.01}, 1.0, 1.005, true, true},
      {"equal stamps", {2.0, 2.0}, {2.0, tiny}, tiny - 2.0, tiny - 2.0, true, true},
      // A timer that starts again goes on from the time before, each time.
      {"wraps", {5.0, 6.0, 1.0, 2.0, 0.5, 1.5}, {5.0, 6.0, 7.0, 8.0, 8.5, 9.5}, 0.5, 1.0, true, false},
      {"wrap at the second", {5.0, 1.0}, {5.0, 6.0}, 1.0, 1.0, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> v = c.in;
    const CanTimeAxis axis = StraightenCanTimes(v);
    EXPECT_EQ(v, c.out);
    EXPECT_EQ(axis.xMin, c.out.front());
    EXPECT_EQ(axis.xMax, c.out.back());
    EXPECT_DOUBLE_EQ(axis.minDelta, c.minDelta);
    EXPECT_DOUBLE_EQ(axis.maxDelta, c.maxDelta);
    EXPECT_EQ(axis.uniDir, c.uniDir);
    EXPECT_EQ(axis.equidistant, c.equidistant);
  }
}

TEST(StraightenCanTimesTest, EqualStampsStayApartWhereTwoToTheMinus52IsLost) {
  std::vector<double> v = {8192.0, 8192.0, 8192.0};
  StraightenCanTimes(v);
  EXPECT_LT(v[0], v[1]);
  EXPECT_LT(v[1], v[2]);
}

TEST(ResetCanTimesTest, EarliestTimeRoundedToSixDecimalsBecomesTheOrigin) {
  SignalList signals;
  auto add = [&](bool isTime, double xMin, double yMin, const char* xSignal) -> SignalRecord& {
    auto r = std::make_unique<SignalRecord>();
    r->isTime = isTime;
    r->XMin = r->XOffset = xMin;
    r->XMax = xMin + 10;
    r->YMin = yMin;
    r->YMax = yMin + 10;
    r->XSignal = xSignal;
    r->rangeEnd = 1024;
    return signals.Append(std::move(r));
  };
  SignalRecord& t1 = add(true, 3.0000004, 3.0000004, "");
  SignalRecord& t2 = add(true, 5.0, 5.0, "");
  SignalRecord& s = add(false, 5.0, -7.0, "time@2");  // its own Y range does not count
  ResetCanTimes(signals);
  EXPECT_NEAR(t1.XMin, 4e-7, 1e-15);  // 3.0000004 rounds to 3.000000
  EXPECT_NEAR(t1.YMin, 4e-7, 1e-15);
  EXPECT_DOUBLE_EQ(t2.YOffset, -3.0);
  EXPECT_DOUBLE_EQ(t2.YMax, 12.0);
  EXPECT_DOUBLE_EQ(s.XMin, 2.0);
  EXPECT_DOUBLE_EQ(s.XMax, 12.0);
  EXPECT_DOUBLE_EQ(s.YMin, -7.0);
  EXPECT_DOUBLE_EQ(s.XOffset, 2.0);
}

TEST(ReserveDataSpaceTest, BlocksFollowEachOtherBelowFourGigabytes) {
  FileImport import;
  ClearWarnings();
  SignalRecord a, b, c;
  a.NoOfValues = 300;  // 1200 bytes: 2 blocks
  a.Demux = 4;
  b.NoOfValues = 1;
  b.Demux = 8;
  EXPECT_TRUE(ReserveDataSpace(import, a));
  EXPECT_TRUE(ReserveDataSpace(import, b));
  EXPECT_EQ(a.Block0, 0u);
  EXPECT_EQ(b.Block0, 2u);
  EXPECT_EQ(b.rangeStart, 2048u);
  EXPECT_EQ(b.rangeEnd, 2056u);
  EXPECT_EQ(import.m_dataSize, 3072u);
  import.m_dataSize = (uint64_t{1} << 32) - 1024;
  c.NoOfValues = 256;
  c.Demux = 4;  // one more block would reach 4 GB
  EXPECT_FALSE(ReserveDataSpace(import, c));
  EXPECT_EQ(c.Ignore, ignore::kHidden);
  EXPECT_EQ(c.rangeEnd, c.rangeStart);
  EXPECT_EQ(WarningFlags(), warn::kDataSpaceFull);
  ClearWarnings();
}

}  // namespace
}  // namespace pellor

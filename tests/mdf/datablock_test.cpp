// Record decoding: every reader of channel values, the NoValue replacement of
// time stamps, grid cells and the handling of files that end early.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "platform/win32/file.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/opened_mdf.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;

namespace {

std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += StrFormat("%02x", p[i]);
  return s;
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

// A file written to a temporary folder and opened, with its first group at hand.
struct Opened : OpenedMdf {
  explicit Opened(const std::string& bytes) : OpenedMdf(bytes) {}
  CDGBlock* Group(int index = 1) const {
    CDGBlock* dg = mdf.GetFirstDG();
    while (dg && dg->GetIndex() != index) dg = dg->GetNext();
    return dg;
  }
  CDataBlock& Data(int index = 1) const { return *Group(index)->GetDataBlock(); }
  CCNBlock* Channel(int k, int group = 1) const {
    CCNBlock* cn = Group(group)->GetFirstCG()->GetFirstCN();
    for (int i = 1; cn && i < k; ++i) cn = cn->GetNext();
    return cn;
  }
  // The group's records as they lie in the file.
  std::string Records(int group = 1) const {
    const CDataBlock& data = Data(group);
    return ReadFileBytes(path).substr(Group(group)->GetDataLink(),
                                      size_t{data.GetNumberOfRecords()} * data.GetRecordLength());
  }
};

// One group of hand-made records: its channels placed by their start bits,
// the records' bytes (record ids excluded) given per record.
std::string GroupFile(std::vector<ChannelDef> channels, uint16_t recordSize,
                      const std::vector<std::string>& bodies, uint16_t recordIds = 0,
                      const std::string& programId = "TESTPROG", const std::string& comment = "",
                      uint16_t byteOrder = 0) {
  FileDef def;
  def.id.programId = programId;
  def.id.byteOrder = byteOrder;
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = recordSize;
  g.recordIds = recordIds;
  g.records = static_cast<uint32_t>(bodies.size());
  g.comment = comment;
  g.channels = std::move(channels);
  def.groups.push_back(std::move(g));
  BuiltFile built = BuildFile(def);
  std::string data;
  for (std::string body : bodies) {
    body.resize(recordSize, '\0');
    data += StoredRecord(body, 1, recordIds);
  }
  built.writer.PatchBytes(built.groups[0].data, data);
  return built.writer.Bytes();
}

ChannelDef Ch(const std::string& name, uint16_t type, uint16_t bits, uint16_t startBit = 0,
              std::optional<CcSpec> cc = std::nullopt, uint16_t byteOffset = 0, uint16_t channelType = 0) {
  ChannelDef c;
  c.cn = CnSpec{.channelType = channelType, .name = name, .startBit = startBit, .bits = bits,
                .dataType = type, .byteOffset = byteOffset};
  c.cc = std::move(cc);
  return c;
}

bool SameBits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

// ---------------------------------------------------------------- one table through every reader

struct DecodeCase {
  const char* name;
  uint16_t type, bits, startBit;
  std::string body;  // the bytes of the record under test
  double raw;        // decoded, no conversion
  double phys;       // decoded and converted
  std::string rawElement;  // hex of its element in the raw readers
  uint16_t recordSize = 16;
  uint16_t recordIds = 0;
  uint16_t byteOffset = 0;
  std::optional<CcSpec> cc = std::nullopt;
  uint16_t byteOrder = 0;  // the ID block's default: 1 Motorola
};

std::vector<DecodeCase> DecodeCases() {
  return {
      {"12-bit signed Intel at bit 4", dt::kInt, 12, 4, Bytes({0x00, 0x80}), -2048, -2048, "0080"},
      {"24-bit unsigned Motorola", dt::kUIntMotorola, 24, 0, Bytes({1, 2, 3}), 66051, 66051, "03020100"},
      {"32-bit signed -1", dt::kInt, 32, 0, Bytes({0xFF, 0xFF, 0xFF, 0xFF}), -1, -1, "ffffffff"},
      {"40-bit signed", dt::kInt, 40, 0, Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF}), -2, -2, "feffffffff000000"},
      {"40-bit unsigned", dt::kUInt, 40, 0, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 1099511627775.0,
       1099511627775.0, "ffffffffff000000"},
      {"64-bit unsigned all ones", dt::kUInt, 64, 0, std::string(8, '\xFF'), 18446744073709551615.0,
       18446744073709551615.0, "ffffffffffffffff"},
      {"64-bit signed minimum", dt::kInt, 64, 0, std::string(7, '\0') + "\x80", -9223372036854775808.0,
       -9223372036854775808.0, "0000000000000080"},
      {"Motorola single", dt::kFloatMotorola, 32, 0, Bytes({0x3F, 0xC0, 0, 0}), 1.5, 1.5, "0000c03f"},
      {"Motorola double", dt::kDoubleMotorola, 64, 0, Bytes({0xC0, 0x02, 0, 0, 0, 0, 0, 0}), -2.25, -2.25,
       "00000000000002c0"},
      {"one record id shifts the first byte", dt::kUInt, 16, 0, Bytes({0x34, 0x12}), 4660, 4660, "3412", 16, 1},
      {"two record ids shift it by one", dt::kUInt, 16, 0, Bytes({0x34, 0x12}), 4660, 4660, "3412", 16, 2},
      {"additional byte offset", dt::kUInt, 8, 8, Bytes({0, 0, 0, 0, 0x7B}), 123, 123, "7b", 16, 0, 3},
      {"identity-like linear conversion is not applied", dt::kFloat, 32, 0, Bytes({0, 0, 0, 0x80}), -0.0,
       -0.0, "00000080", 16, 0, 0, CcLinear(1, 0)},
      {"linear conversion", dt::kUInt, 8, 0, Bytes({200}), 200, 90, "c8", 16, 0, 0, CcLinear(0.5, -10)},
      {"12-bit field spanning three bytes", dt::kUInt, 12, 5, Bytes({0xE0, 0xFF, 0x01}), 4095, 4095, "e0ff0100"},
      {"Motorola 12-bit at shift 4", dt::kUIntMotorola, 12, 4, Bytes({0xAB, 0xC0}), 0xABC, 0xABC, "c0ab"},
      {"signed 1-bit field", dt::kInt, 1, 7, Bytes({0x80}), -1, -1, "80"},
      {"Intel types 13 to 16: signed 16-bit", dt::kIntIntel, 16, 0, Bytes({0xFE, 0xFF}), -2, -2, "feff"},
      {"Intel types 13 to 16: double", dt::kDoubleIntel, 64, 0, Bytes({0, 0, 0, 0, 0, 0, 0xF8, 0x3F}), 1.5, 1.5,
       "000000000000f83f"},
      {"64-bit field at bit 3 spans nine bytes", dt::kUInt, 64, 3, std::string(9, '\xFF'),
       18446744073709551615.0, 18446744073709551615.0, "ffffffffffffffffff"},
      // Types 0 to 3 in a file whose default byte order is Motorola; the
      // types of an explicit order keep it.
      {"Motorola default: unsigned 16-bit", dt::kUInt, 16, 0, Bytes({0x12, 0x34}), 0x1234, 0x1234, "3412", 16, 0, 0,
       std::nullopt, 1},
      {"Motorola default: signed 12-bit at shift 4", dt::kInt, 12, 4, Bytes({0x80, 0x00}), -2048, -2048, "0080", 16, 0,
       0, std::nullopt, 1},
      {"Motorola default: single", dt::kFloat, 32, 0, Bytes({0x3F, 0xC0, 0, 0}), 1.5, 1.5, "0000c03f", 16, 0, 0,
       std::nullopt, 1},
      {"Motorola default: double", dt::kDouble, 64, 0, Bytes({0xC0, 0x02, 0, 0, 0, 0, 0, 0}), -2.25, -2.25,
       "00000000000002c0", 16, 0, 0, std::nullopt, 1},
      {"Motorola default: type 13 stays Intel", dt::kUIntIntel, 16, 0, Bytes({0x34, 0x12}), 0x1234, 0x1234, "3412", 16,
       0, 0, std::nullopt, 1},
      // Floats at a bit shift: their bits shifted into place.
      {"single at bit 3", dt::kFloat, 32, 3, Bytes({0, 0, 0, 0xFE, 0x01}), 1.5, 1.5, "0000c03f"},
      {"double at bit 5 spans nine bytes", dt::kDouble, 64, 5, Bytes({0, 0, 0, 0, 0, 0, 0x40, 0x00, 0x18}), -2.25,
       -2.25, "00000000000002c0"},
      {"Motorola single at bit 4", dt::kFloatMotorola, 32, 4, Bytes({0x03, 0xFC, 0, 0, 0}), 1.5, 1.5, "0000c03f"},
      {"linear conversion of a shifted single", dt::kFloat, 32, 3, Bytes({0, 0, 0, 0xFE, 0x01}), 1.5, 2.5,
       "0000c03f", 16, 0, 0, CcLinear(2, -0.5)},
      // VAX floats: decoded, no stored form for the raw readers.
      {"VAX F", 4, 32, 0, Bytes({0x20, 0xC1, 0, 0}), -2.5, -2.5, ""},
      {"VAX F at bit 2", 4, 32, 2, Bytes({0x80, 0x04, 0x03, 0, 0}), -2.5, -2.5, ""},
      {"VAX G", 5, 64, 0, Bytes({0xED, 0x54, 0xB9, 0xB7, 0x11, 0x5D, 0xAB, 0xBD}), 3.25e100, 3.25e100, ""},
      {"VAX D", 6, 64, 0, Bytes({0xCC, 0x3E, 0xCC, 0xCC, 0xCC, 0xCC, 0xD0, 0xCC}), 0.1, 0.1, ""},
  };
}

TEST(DataBlockDecode, EveryReaderDecodesTheTableOfCases) {
  for (const DecodeCase& c : DecodeCases()) {
    SCOPED_TRACE(c.name);
    // Record 1 holds the case; the records around it are filled with 0xA5,
    // so that a wrong position or a read past the record shows.
    const std::string filler(c.recordSize, '\xA5');
    Opened o(GroupFile({Ch("v", c.type, c.bits, c.startBit, c.cc, c.byteOffset)}, c.recordSize,
                       {filler, c.body, filler}, c.recordIds, "TESTPROG", "", c.byteOrder));
    ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
    CDataBlock& data = o.Data();
    CCNBlock* cn = o.Channel(1);

    for (bool convert : {false, true}) {
      const double want = convert ? c.phys : c.raw;
      std::vector<double> out(3, 7.0);
      EXPECT_EQ(data.GetDoubleContent(cn, out, 0, 3, convert), 3u);
      EXPECT_TRUE(SameBits(out[1], want)) << "GetDoubleContent " << convert << ": " << out[1];

      const std::string records = o.Records();
      out.assign(3, 7.0);
      EXPECT_EQ(data.DecodeValues(cn, std::span(reinterpret_cast<const uint8_t*>(records.data()), records.size()),
                                  out, 0, 3, convert),
                3u);
      EXPECT_TRUE(SameBits(out[1], want)) << "DecodeValues " << convert << ": " << out[1];

      winport::File file;
      ASSERT_TRUE(file.Open(o.path, winport::FileAccess::Read, winport::FileShare::Read));
      out.assign(3, 7.0);
      EXPECT_EQ(data.ReadChannelValues(file, cn, out, 1, 1, convert), 1u);
      EXPECT_TRUE(SameBits(out[0], want)) << "ReadChannelValues " << convert << ": " << out[0];

      CCNBlock* one[] = {cn};
      CGroupDecoder decoder(data, one, {convert, true});
      out.assign(3, 7.0);
      const std::span<double> outputs[] = {out};
      EXPECT_EQ(decoder.Decode(std::span(reinterpret_cast<const uint8_t*>(records.data()), records.size()), outputs,
                               0, 3),
                3u);
      EXPECT_TRUE(SameBits(out[1], want)) << "CGroupDecoder " << convert << ": " << out[1];
    }
    EXPECT_EQ(data.GetCellText(1, 1), StrFormat("%.15lg", c.phys));

    if (c.rawElement.empty()) {
      std::vector<uint8_t> raw(64), time(64);
      EXPECT_EQ(data.GetRawDataContent(cn, raw, 0, 3), 0u);
      EXPECT_EQ(data.GetDataAndTimeContent(cn, cn, raw, time, 0, 3), 0u);
      continue;
    }
    const uint32_t element = CDataBlock::RawElementSize(cn);
    ASSERT_EQ(element * 2, c.rawElement.size());
    std::vector<uint8_t> raw(3 * element, 0xEE), time(3 * element, 0xEE);
    EXPECT_EQ(data.GetRawDataContent(cn, raw, 0, 3), 3u);
    EXPECT_EQ(Hex(raw.data() + element, element), c.rawElement);
    raw.assign(3 * element, 0xEE);
    EXPECT_EQ(data.GetDataAndTimeContent(cn, cn, raw, time, 0, 3), 3u);
    EXPECT_EQ(Hex(raw.data() + element, element), c.rawElement);
    EXPECT_EQ(Hex(time.data() + element, element), c.rawElement);
  }
}

// A channel whose bits do not lie within its record has no values at all:
// not a column of zeros that would look like data.
TEST(DataBlockDecode, ChannelsOutsideTheirRecordDeliverNoValues) {
  struct Case {
    const char* name;
    uint16_t type, bits, startBit, recordSize, byteOffset;
  } cases[] = {
      {"Intel field past the record end", dt::kUInt, 16, 8, 2, 0},
      {"Motorola field past the record end", dt::kUIntMotorola, 16, 8, 2, 0},
      {"double in a record of four bytes", dt::kDouble, 64, 0, 4, 0},
      {"additional byte offset past the record", dt::kUInt, 8, 0, 4, 4},
      {"no bits", dt::kUInt, 0, 0, 4, 0},
      {"integer of 72 bits", dt::kUInt, 72, 0, 9, 0},
      {"float of 128 bits", dt::kDouble, 128, 0, 16, 0},
      {"text past the record end", 7, 64, 0, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A channel that fits beside it keeps its values.
    Opened o(GroupFile({Ch("v", c.type, c.bits, c.startBit, std::nullopt, c.byteOffset), Ch("ok", dt::kUInt, 8, 0)},
                       c.recordSize, {std::string(c.recordSize, '\x11'), std::string(c.recordSize, '\x22')}));
    ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
    CDataBlock& data = o.Data();
    CCNBlock* cn = o.Channel(1);
    EXPECT_FALSE(data.DeliversValues(cn));
    std::vector<double> out(2, 7.0);
    EXPECT_EQ(data.GetDoubleContent(cn, out, 0, 2, true), 0u);
    const std::string records = o.Records();
    const std::span bytes(reinterpret_cast<const uint8_t*>(records.data()), records.size());
    EXPECT_EQ(data.DecodeValues(cn, bytes, out, 0, 2, true), 0u);
    winport::File file;
    ASSERT_TRUE(file.Open(o.path, winport::FileAccess::Read, winport::FileShare::Read));
    EXPECT_EQ(data.ReadChannelValues(file, cn, out, 0, 2, true), 0u);
    EXPECT_EQ(out, std::vector<double>(2, 7.0));
    std::vector<uint8_t> raw(64), time(64);
    EXPECT_EQ(data.GetRawDataContent(cn, raw, 0, 2), 0u);
    EXPECT_EQ(data.GetDataAndTimeContent(o.Channel(2), cn, raw, time, 0, 2), 0u);
    EXPECT_EQ(data.GetCellText(1, 1), "");
    EXPECT_EQ(data.GetCellText(1, 2), "34");

    CCNBlock* both[] = {cn, o.Channel(2)};
    CGroupDecoder decoder(data, both);
    EXPECT_FALSE(decoder.Delivers(0));
    EXPECT_TRUE(decoder.Delivers(1));
    std::vector<double> a(2, 7.0), b(2, 7.0);
    const std::span<double> outputs[] = {a, b};
    EXPECT_EQ(decoder.Decode(bytes, outputs, 0, 2), 2u);
    EXPECT_EQ(a, std::vector<double>(2, 7.0));
    EXPECT_EQ(b, (std::vector<double>{17, 34}));
  }
}

// Channels whose type and width have no numeric form deliver no numbers from
// any reader (never a column of zeros); texts and byte arrays keep their bytes.
TEST(DataBlockDecode, TypesWithoutNumericFormDeliverNoNumbers) {
  struct Case {
    const char* name;
    uint16_t type, bits;
    const char* cell;     // record 0's grid cell
    const char* raw;      // its element in GetRawDataContent; null: none
    const char* stored;   // in GetDataAndTimeContent; null: none
  } cases[] = {
      {"text", dt::kText, 32, "abc", nullptr, "61626300"},
      {"byte array", dt::kBytes, 24, "61 62 63", "61626300", "61626300"},
      {"16-bit float", dt::kFloat, 16, "", nullptr, nullptr},
      {"VAX F of 64 bits", 4, 64, "", nullptr, nullptr},
      {"VAX G of 32 bits", 5, 32, "", nullptr, nullptr},
      {"type 17", 17, 16, "", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Opened o(GroupFile({Ch("v", c.type, c.bits, 0), Ch("ok", dt::kUInt, 8, 64)}, 9,
                       {Bytes({'a', 'b', 'c', 0, 0x34, 0x12, 0, 0, 7})}));
    ASSERT_EQ(o.result, 1);
    CDataBlock& data = o.Data();
    CCNBlock* cn = o.Channel(1);
    EXPECT_FALSE(data.DeliversValues(cn));
    std::vector<double> out(1, 7.0);
    EXPECT_EQ(data.GetDoubleContent(cn, out, 0, 1, false), 0u);
    const std::string records = o.Records();
    const std::span bytes(reinterpret_cast<const uint8_t*>(records.data()), records.size());
    EXPECT_EQ(data.DecodeValues(cn, bytes, out, 0, 1, false), 0u);
    EXPECT_EQ(out[0], 7.0);
    EXPECT_EQ(data.GetCellText(0, 1), c.cell);
    EXPECT_EQ(data.GetCellText(0, 2), "7");

    std::vector<uint8_t> raw(8, 0xEE), time(8, 0xEE);
    const uint32_t element = CDataBlock::RawElementSize(cn);
    EXPECT_EQ(data.GetRawDataContent(cn, raw, 0, 1), c.raw ? 1u : 0u);
    if (c.raw) {
      EXPECT_EQ(Hex(raw.data(), element), c.raw);
    }
    EXPECT_EQ(data.GetDataAndTimeContent(cn, o.Channel(2), raw, time, 0, 1), c.stored ? 1u : 0u);
    if (c.stored) {
      EXPECT_EQ(Hex(raw.data(), element), c.stored);
    }
  }
}

TEST(DataBlockDecode, RawReadersRespectTheDestinationsCapacity) {
  // 3-byte values take 4 bytes each; a destination of 10 bytes holds two.
  Opened o(GroupFile({Ch("u24", dt::kUInt, 24, 0)}, 3,
                     {Bytes({1, 2, 3}), Bytes({4, 5, 6}), Bytes({7, 8, 9})}));
  ASSERT_EQ(o.result, 1);
  std::vector<uint8_t> buffer(16, 0xEE), time(16, 0xEE);
  EXPECT_EQ(o.Data().GetRawDataContent(o.Channel(1), std::span(buffer).first(10), 0, 3), 2u);
  EXPECT_EQ(Hex(buffer.data(), 16), "0102030004050600eeeeeeeeeeeeeeee");
  buffer.assign(16, 0xEE);
  EXPECT_EQ(o.Data().GetDataAndTimeContent(o.Channel(1), o.Channel(1), std::span(buffer).first(12),
                                           std::span(time).first(4), 0, 3),
            1u);
  EXPECT_EQ(Hex(buffer.data(), 8), "01020300eeeeeeee");
  std::vector<double> values(4, 7.0);
  EXPECT_EQ(o.Data().GetDoubleContent(o.Channel(1), std::span(values).first(2), 0, 3, false), 2u);
  EXPECT_EQ(values[2], 7.0);
}

TEST(DataBlockDecode, EffectiveConversionLeavesOutConversionsThatChangeNothing) {
  struct Case {
    CcSpec cc;
    bool applied;
  } cases[] = {
      {CcIdentity(), false},         {CcIdentity(2), false},
      {CcLinear(1, 0), false},       {CcLinear(1, 0.5), true},
      {CcLinear(2, 0), true},        {CcTable({{0, 0}, {1, 10}}, true), true},
  };
  std::vector<ChannelDef> channels;
  for (size_t i = 0; i < std::size(cases); ++i)
    channels.push_back(Ch("c" + std::to_string(i), dt::kUInt, 8, static_cast<uint16_t>(8 * i), cases[i].cc));
  Opened o(GroupFile(channels, static_cast<uint16_t>(std::size(cases)), {std::string()}));
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(CDataBlock::GetEffectiveConversion(nullptr), nullptr);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const CCCBlock* cc = o.Channel(static_cast<int>(i) + 1)->GetConversion();
    ASSERT_NE(cc, nullptr);
    EXPECT_EQ(CDataBlock::GetEffectiveConversion(cc) != nullptr, cases[i].applied) << i;
  }
}

// ---------------------------------------------------------------- NoValue time stamps

std::string TimeFile(const std::vector<double>& times, const std::string& programId = "KESTRAVO") {
  std::vector<std::string> bodies;
  for (double t : times) bodies.push_back(LeBytes(std::bit_cast<uint64_t>(t), 8));
  return GroupFile({Ch("time", dt::kDouble, 64, 0, std::nullopt, 0, 1)}, 8, bodies, 0, programId);
}

TEST(DataBlockNoValue, KestravoTimeStampsAreReplacedOnEveryDecode) {
  Opened o(TimeFile({0.0, 0.1, 1e308, 0.3, 0.4, 1e308, 0.6, 0.7}));
  ASSERT_EQ(o.result, 1);
  CCNBlock* time = o.Channel(1);
  ASSERT_TRUE(time->IsNoValueSet());
  std::vector<double> out(8);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(o.Data().GetDoubleContent(time, out, 0, 4, true), 4u);
    EXPECT_EQ(out[2], 0.1 + 0.1 / 2.0);
    EXPECT_EQ(time->ReplacedSamples(), std::vector<uint32_t>{2});
  }
  EXPECT_TRUE(time->HasReplacedSampleList());

  // Chunks in memory: indices are counted from the group's first record.
  const std::string records = o.Records();
  const std::span all(reinterpret_cast<const uint8_t*>(records.data()), records.size());
  ASSERT_EQ(o.Data().DecodeValues(time, all.subspan(32), out, 0, 4, false, 4), 4u);
  EXPECT_EQ(out[1], 0.4 + (0.7 - 0.6) / 2.0);  // the step of this range
  EXPECT_EQ(time->ReplacedSamples(), (std::vector<uint32_t>{2, 5}));
  ASSERT_EQ(o.Data().DecodeValues(time, all, out, 0, 8, false), 8u);
  EXPECT_EQ(time->ReplacedSamples(), (std::vector<uint32_t>{2, 5}));

  // The raw reader replaces 64-bit floats in place.
  std::vector<uint8_t> raw(8 * 8);
  ASSERT_EQ(o.Data().GetRawDataContent(time, raw, 0, 8), 8u);
  EXPECT_EQ(LoadF64(raw.data() + 16), 0.1 + 0.1 / 2.0);
  EXPECT_EQ(LoadF64(raw.data() + 40), 0.4 + 0.1 / 2.0);
}

TEST(DataBlockNoValue, AFirstNoValueSampleHasNoPredecessor) {
  Opened o(TimeFile({0.0, 0.1, 1e308, 0.3}));
  ASSERT_EQ(o.result, 1);
  CCNBlock* time = o.Channel(1);
  // Grid cells show the marker and leave the list alone.
  EXPECT_EQ(o.Data().GetCellText(2, 1), "! 1e+308");
  EXPECT_FALSE(time->HasReplacedSampleList());
  EXPECT_TRUE(time->ReplacedSamples().empty());

  std::vector<double> out(2);
  ASSERT_EQ(o.Data().GetDoubleContent(time, out, 2, 2, true), 2u);
  EXPECT_EQ(out[0], 0.0);  // the file readers start the range at 0.0
  EXPECT_EQ(out[1], 0.3);
  const std::string records = o.Records();
  const std::span all(reinterpret_cast<const uint8_t*>(records.data()), records.size());
  ASSERT_EQ(o.Data().DecodeValues(time, all, out, 2, 2, false), 2u);
  EXPECT_EQ(out[0], 1e308);  // DecodeValues keeps it
  EXPECT_EQ(time->ReplacedSamples(), std::vector<uint32_t>{2});
}

TEST(DataBlockNoValue, OtherWritersKeepTheirTimeStamps) {
  Opened o(TimeFile({0.0, 0.1, 1e308, 0.3}, "OTHERPRG"));
  ASSERT_EQ(o.result, 1);
  std::vector<double> out(4);
  ASSERT_EQ(o.Data().GetDoubleContent(o.Channel(1), out, 0, 4, true), 4u);
  EXPECT_EQ(out[2], 1e308);
  EXPECT_FALSE(o.Channel(1)->HasReplacedSampleList());
}

// ---------------------------------------------------------------- grid

TEST(DataBlockGrid, DisplayGivesOneColumnPerChannel) {
  Opened o(GroupFile({Ch("alpha", dt::kUInt, 8, 0), Ch("beta", dt::kUInt, 8, 8)}, 2, {Bytes({1, 2})}));
  ASSERT_EQ(o.result, 1);
  CMemoryList list;
  list.InsertColumn(0, "Property", ColumnFormat::Left, 100);
  list.InsertItem(0, "old row");
  o.Data().Display(list);
  ASSERT_EQ(list.GetColumnCount(), 3);
  EXPECT_EQ(list.GetColumnTitle(0), "Index");
  EXPECT_EQ(list.GetColumnWidth(0), 50);
  EXPECT_EQ(list.GetColumnTitle(2), "beta");
  EXPECT_EQ(list.GetColumnFormat(2), ColumnFormat::Right);
  EXPECT_EQ(list.GetColumnWidth(2), 80);
  EXPECT_EQ(list.GetItemCount(), 1);
  EXPECT_EQ(list.GetItemText(0, 0), "nix");
}

TEST(DataBlockGrid, CellsFormatValuesTextsAndMarkers) {
  const std::string text32(32, 'T');
  std::vector<ChannelDef> channels = {
      Ch("table", dt::kUInt, 8, 0, CcTextTable({{1, "LOW"}, {5, text32}, {9, "HIGH"}})),
      Ch("n_mot", dt::kUInt, 16, 8),
      Ch("T_oel", dt::kDouble, 64, 24),
      Ch("name", 7, 48, 88),
      Ch("range", dt::kUInt, 8, 136, CcTextRange("Default", {CcRange{1, 5, "one"}})),
      // A date of the channel's own bytes, not of the conversion block's.
      Ch("date", 8, 56, 144, CcDate(0, 0, 0, 1, 1, 1)),
      Ch("lin", dt::kInt, 16, 200, CcLinear(0.5, 1)),
  };
  auto record = [](int table, int nmot, uint64_t oel, const std::string& name, int range) {
    Record r(27);
    r.PutUInt(0, 8, table).PutUInt(8, 16, nmot).PutUInt(24, 64, oel).PutText(88, 6, name).PutUInt(136, 8, range);
    r.PutUInt(144, 16, 1500).PutUInt(160, 8, 30).PutUInt(168, 8, 12).PutUInt(176, 8, 14).PutUInt(184, 8, 5);
    r.PutUInt(192, 8, 26).PutInt(200, 16, -3);
    return r.Bytes();
  };
  const uint64_t qnanMarker = 0x7FFFFFFF00000001ull, otherNaN = 0x7FF8000000000000ull;
  const uint64_t two = std::bit_cast<uint64_t>(2.5);
  std::vector<std::string> bodies = {
      record(0, 3000, qnanMarker, "abc", 3), record(3, 1500, otherNaN, "abcdef", 1),
      record(5, 1500, two, "", 1),          record(9, 1500, two, "x", 1),
      record(12, 1500, two, "x", 1),
  };
  for (int r = 5; r < 13; ++r) bodies.push_back(record(1, r, two, "x", 1));
  Opened o(GroupFile(channels, 27, bodies, 0, "TESTPROG",
                     "NoValue\tJa\tn_mot\t3000\nNoValue\tJa\tT_oel\t1.#QNAN\n"));
  ASSERT_EQ(o.result, 1);
  CDataBlock& data = o.Data();

  struct Cell {
    uint32_t record;
    int column;
    std::string text;
  } cells[] = {
      {12, 0, "12"},
      {0, 1, "LOW"},   // below the first entry
      {1, 1, ""},      // between entries, equal to none
      {2, 1, text32},  // a text of the full 32 characters
      {4, 1, "HIGH"},  // above the last entry
      {0, 2, "! 3000"},
      {1, 2, "1500"},
      {0, 3, "! nan"},  // the "1.#QNAN" marker's patterns
      {1, 3, "nan"},
      {2, 3, "2.5"},
      {0, 4, "abc"},
      {1, 4, "abcdef"},
      {2, 4, ""},
      {0, 5, "3"},  // a text-range table stays a number
      {0, 6, "14. 05. 26  12:30:01,500"},
      {0, 7, "-0.5"},
      {0, 8, ""},  // past the channels
  };
  for (const Cell& c : cells) EXPECT_EQ(data.GetCellText(c.record, c.column), c.text) << c.record << "/" << c.column;
}

// A range table read as a text table (several ranges, or one that is no
// invalid-value marker) shows the text of the first range that holds the
// value, else its default text, else the number.
TEST(DataBlockGrid, RangeTablesShowTheTextOfTheRangeThatHoldsTheValue) {
  const std::vector<CcRange> ranges = {CcRange{0, 9, "low"}, CcRange{10, 99, "mid"}, CcRange{100, 200, "high"},
                                       CcRange{150, 250, "overlap"}};
  Opened o(GroupFile({Ch("with_default", dt::kUInt, 8, 0, CcTextRange("n/a", ranges)),
                      Ch("without", dt::kUInt, 8, 8, CcTextRange(std::nullopt, ranges)),
                      Ch("one_range", dt::kUInt, 8, 16, CcTextRange(std::nullopt, {CcRange{10, 99, "mid"}}))},
                     3, {Bytes({23, 23, 23}), Bytes({207, 207, 207}), Bytes({10, 99, 5}), Bytes({160, 255, 100})}));
  ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
  const CCCBlock* cc = o.Channel(1)->GetConversion();
  ASSERT_NE(cc, nullptr);
  EXPECT_EQ(cc->GetType(), CCCBlock::kTextTable);  // what the conversion announces stays
  EXPECT_TRUE(cc->IsRangeTextTable());
  struct Cell {
    uint32_t record;
    int column;
    const char* text;
  } cells[] = {
      {0, 1, "mid"},  {2, 1, "mid"},      {2, 2, "mid"},  // between a range's limits, or on them
      {3, 1, "high"},                                       // the first of two ranges that hold it
      {1, 1, "overlap"}, {1, 2, "overlap"},                 // above the last entry: no longer its text
      {3, 2, "255"},  {1, 3, "207"},  {2, 3, "5"},          // in no range, no default text: the number
      {0, 3, "mid"},  {3, 3, "100"},  {2, 4, ""},
  };
  for (const Cell& c : cells) EXPECT_EQ(o.Data().GetCellText(c.record, c.column), c.text) << c.record << "/" << c.column;
  // In no range of a table with a default text: the default text.
  Opened other(GroupFile({Ch("with_default", dt::kUInt, 8, 0, CcTextRange("n/a", ranges))}, 1, {Bytes({255})}));
  ASSERT_EQ(other.result, 1);
  EXPECT_EQ(other.Data().GetCellText(0, 1), "n/a");
}

// ---------------------------------------------------------------- damaged and large files

TEST(DataBlockFile, RecordsBeyondTheEndOfTheFileAreNotDecoded) {
  FileDef def = SimpleFileDef(1, 1, 10, "TESTPROG");
  BuiltFile built = BuildFile(def);
  const uint32_t recordLength = built.groups[0].recordSize;
  // The file ends in the middle of record 7.
  built.writer.Truncate(built.groups[0].data + 7 * recordLength + 3);
  Opened o(built.writer.Bytes());
  ASSERT_EQ(o.result, 1);
  CDataBlock& data = o.Data();
  CCNBlock* sig = o.Channel(2);
  std::vector<double> out(10, -1.0);
  EXPECT_EQ(data.GetDoubleContent(sig, out, 0, 10, false), 7u);
  EXPECT_EQ(out[6], 6.0);
  EXPECT_EQ(out[7], -1.0);
  std::vector<uint8_t> raw(20);
  EXPECT_EQ(data.GetRawDataContent(sig, raw, 5, 5), 2u);
  EXPECT_EQ(data.GetCellText(6, 2), "6");
  EXPECT_EQ(data.GetCellText(7, 2), "");
  EXPECT_EQ(data.GetCellText(7, 0), "7");
  EXPECT_FALSE(data.LoadRecord(7));
  EXPECT_TRUE(data.LoadRecord(6));
}

// A group's records end where the next block of the file begins: blocks
// behind cut records (a later group, a program block appended to the file)
// are never read as records, and nothing is written into such a file.
TEST(DataBlockFile, RecordsEndAtTheNextBlockBehindThem) {
  struct Case {
    const char* name;
    uint32_t counted;  // the first group's record count
    bool appendPr;     // the second group cut after 30 records and a program block appended
    uint32_t first, second;  // the records each group holds
  } cases[] = {
      {"intact", 50, false, 50, 40},
      {"a count above the records before the next group", 52, false, 50, 40},
      {"a program block behind cut records", 50, true, 50, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BuiltFile built = BuildFile(SimpleFileDef(2, 1, 50, "TESTPROG"));
    built.writer.PatchU32(built.groups[1].cg + cg::kRecordCount, 40);
    built.writer.PatchU32(built.groups[0].cg + cg::kRecordCount, c.counted);
    const uint32_t length = built.groups[1].recordSize;
    if (c.appendPr) {
      built.writer.Truncate(built.groups[1].data + 30 * length + 3);
      built.writer.SetLink(built.hd, hd::kProgram, built.writer.AddPr("foreign program data"));
    } else {
      built.writer.Truncate(built.groups[1].data + 40 * length);
    }
    Opened o(built.writer.Bytes());
    ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
    const bool intact = c.first == c.counted && c.second == 40;
    EXPECT_EQ(o.mdf.HasShortDataArea(), !intact);
    for (int g : {1, 2}) {
      const uint32_t held = g == 1 ? c.first : c.second;
      CDataBlock& data = o.Data(g);
      EXPECT_EQ(data.GetRecordsInFile(), held) << g;
      std::vector<double> out(60, -1.0);
      EXPECT_EQ(data.GetDoubleContent(o.Channel(2, g), out, 0, 60, false), held) << g;
      EXPECT_EQ(out[held - 1], static_cast<double>(held - 1)) << g;
      EXPECT_EQ(data.GetCellText(held, 2), "") << g;
      EXPECT_FALSE(data.LoadRecord(held)) << g;
    }
    // The range write-back and the time information keep out of a short file.
    const std::string before = o.Bytes();
    CCNBlock* cn = o.Channel(2);
    cn->SetRangeValid(0xAAB0);
    mdf::TimeInfoRecord record;
    EXPECT_EQ(cn->WriteRangeToFile(o.path) != 0, intact);
    EXPECT_EQ(o.mdf.WriteTimeInfo(record) != 0, intact);
    if (!intact) {
      EXPECT_EQ(o.Bytes(), before);
    }
  }
}

TEST(DataBlockFile, RecordPositionsPastFourGigabytes) {
  // Records of 60000 bytes: record 79999 starts beyond 2^32. The file is
  // sparse: only its blocks and that record are written.
  const uint16_t recordSize = 60000;
  const uint32_t last = 79999;
  FileDef def;
  def.id.programId = "TESTPROG";
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = recordSize;
  g.records = 1;
  g.channels = {Ch("v", dt::kUInt, 32, 0)};
  def.groups.push_back(std::move(g));
  BuiltFile built = BuildFile(def);
  built.writer.PatchU32(built.groups[0].cg + cg::kRecordCount, last + 1);
  TempDir dir;
  const std::string path = dir.File("big.mdf");
  built.writer.Save(path);
  const int64_t pos = built.groups[0].data + int64_t{last} * recordSize;
  ASSERT_GT(pos, int64_t{1} << 32);
  {
    winport::File f;
    ASSERT_TRUE(f.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::None));
    ASSERT_TRUE(f.Truncate(pos + recordSize));
    const std::string value = LeBytes(0xC0FFEE, 4);
    ASSERT_TRUE(f.Seek(pos) && f.WriteExact(value.data(), 4));
  }
  CMdf mdf;
  mdf.SetShowMessages(false);
  ASSERT_EQ(mdf.Open(path), 1);
  CDataBlock& data = *mdf.GetFirstDG()->GetDataBlock();
  CCNBlock* cn = mdf.GetFirstDG()->GetFirstCG()->GetFirstCN();
  std::vector<double> out(1);
  ASSERT_EQ(data.GetDoubleContent(cn, out, last, 1, false), 1u);
  EXPECT_EQ(out[0], double{0xC0FFEE});
  EXPECT_EQ(data.GetCellText(last, 1), std::to_string(0xC0FFEE));
}

}  // namespace

// The host value type of a channel, and that the host, taking each element of
// the raw reader by the type's size and the BitSize word, gets the values the
// decoder gives.
#include "pellor/host_type.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "importcore/host_types.h"
#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/opened_mdf.h"

namespace pellor {
namespace {

using namespace testsupport;
using namespace importcore::dtyp;

struct TypeCase {
  const char* name;
  uint16_t dataType, bits, startBit;
  std::optional<CcSpec> cc;
  int32_t dtyp, styp, bytes, bitSize;
  bool converted;
  double noValue;
};

std::vector<TypeCase> TypeCases() {
  const double u64 = 18446744073709551615.0, s64 = 9223372036854775807.0;
  return {
      {"u8", dt::kUInt, 8, 0, {}, kUInt8, 0, 1, 0, false, 255},
      {"u3", dt::kUInt, 3, 0, {}, kUBits8, 0, 1, 0x0200, false, 7},
      {"u1 has no default NoValue", dt::kUInt, 1, 0, {}, kUBits8, 4, 1, 0, false, kUnsetNoValue},
      {"s1 has none either", dt::kInt, 1, 0, {}, kSBits8, 4, 1, 0, false, kUnsetNoValue},
      {"u16 Motorola", dt::kUIntMotorola, 16, 0, {}, kUInt16, 0, 2, 0, false, 65535},
      {"u12 at bit 4", dt::kUInt, 12, 4, {}, kUBits16, 0, 2, 0x0B04, false, 4095},
      {"u12 at bit 5 spans three bytes", dt::kUInt, 12, 5, {}, kUBits32, 0, 4, 0x0B05, false, 4095},
      {"u12 at bit 21: the shift is that within its first byte", dt::kUInt, 12, 21, {}, kUBits32, 0, 4, 0x0B05, false,
       4095},
      {"u32", dt::kUIntIntel, 32, 0, {}, kUInt32, 0, 4, 0, false, 4294967295.0},
      {"u24", dt::kUInt, 24, 0, {}, kUBits32, 0, 4, 0x1700, false, 16777215},
      {"u40 at bit 352", dt::kUInt, 40, 352, {}, kUInt64, 0, 8, 0x2700, false, u64},
      {"u64", dt::kUInt, 64, 0, {}, kUInt64, 0, 8, 0x3F00, false, u64},
      {"shifted u8 is a bit field", dt::kUInt, 8, 3, {}, kUBits16, 0, 2, 0x0703, false, 255},
      {"shifted u16", dt::kUInt, 16, 1, {}, kUBits32, 0, 4, 0x0F01, false, 65535},
      {"shifted u32 takes 8 bytes", dt::kUInt, 32, 4, {}, kUInt64, 0, 8, 0x1F04, false, 4294967295.0},
      {"u64 at bit 1 fits no container: decoded", dt::kUInt, 64, 1, {}, kFloat64, 0, 8, 0, true, kUnsetNoValue},
      {"s8", dt::kIntMotorola, 8, 0, {}, kInt8, 0, 1, 0, false, 127},
      {"s5", dt::kInt, 5, 0, {}, kSBits8, 0, 1, 0x0400, false, 15},
      {"s16", dt::kIntIntel, 16, 0, {}, kInt16, 0, 2, 0, false, 32767},
      {"s12", dt::kInt, 12, 0, {}, kSBits16, 0, 2, 0x0B00, false, 2047},
      {"s32", dt::kInt, 32, 0, {}, kInt32, 0, 4, 0, false, 2147483647.0},
      {"s20", dt::kInt, 20, 0, {}, kSBits32, 0, 4, 0x1300, false, 524287},
      {"s48", dt::kInt, 48, 0, {}, kInt64, 0, 8, 0x2F00, false, s64},
      {"f32", dt::kFloat, 32, 0, {}, kFloat32, 0, 4, 0, false, static_cast<double>(1e34f)},
      {"f32 Motorola", dt::kFloatMotorola, 32, 0, {}, kFloat32, 0, 4, 0, false, static_cast<double>(1e34f)},
      {"f64", dt::kDouble, 64, 0, {}, kFloat64, 0, 8, 0, false, 1e308},
      {"f64 type 16", dt::kDoubleIntel, 64, 0, {}, kFloat64, 0, 8, 0, false, 1e308},
      {"a 16-bit float is decoded", dt::kFloat, 16, 0, {}, kFloat64, 0, 8, 0, true, 1e308},
      {"text", dt::kText, 64, 0, {}, kFloat64, 0, 8, 0, true, 1e308},
      {"byte array", dt::kBytes, 32, 0, {}, kFloat64, 0, 8, 0, true, 1e308},
      {"type 17", 17, 16, 0, {}, kFloat64, 0, 8, 0, true, 1e308},
      {"u65 has no type", dt::kUInt, 65, 0, {}, kNone, 0, 0, 0, false, 0},
      {"a formula makes doubles", dt::kUInt, 16, 0, CcFormula("X*2"), kFloat64, 0, 8, 0, true, 1e308},
      {"a formula on one bit keeps STyp 4", dt::kUInt, 1, 0, CcFormula("X*2"), kFloat64, 4, 8, 0, true, 1e308},
      {"a linear conversion keeps the stored type", dt::kUInt, 16, 0, CcLinear(0.5, 1), kUInt16, 0, 2, 0, false, 65535},
      {"so does a text table", dt::kUInt, 8, 0, CcTextTable({{0, "off"}, {1, "on"}}), kUInt8, 0, 1, 0, false, 255},
      {"and the identity", dt::kInt, 16, 0, CcIdentity(), kInt16, 0, 2, 0, false, 32767},
  };
}

// A file of one group of `records` records of `recordSize` bytes whose
// channels lie where they are given; `value` gives each channel's values.
struct Field {
  const char* name;
  uint16_t type, bits, startBit;
  std::optional<CcSpec> cc = std::nullopt;
};
std::string FieldFile(const std::vector<Field>& fields, uint16_t recordSize, uint32_t records,
                      std::function<double(const Field&, uint32_t)> value) {
  FileDef def;
  def.id.programId = "TYPETEST";
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = recordSize;
  g.records = records;
  for (const Field& f : fields) {
    ChannelDef ch;
    ch.cn = CnSpec{.name = f.name, .startBit = f.startBit, .bits = f.bits, .dataType = f.type};
    ch.cc = f.cc;
    ch.value = [f, value](uint32_t r) { return value(f, r); };
    g.channels.push_back(ch);
  }
  def.groups.push_back(g);
  return BuildFile(def).writer.Bytes();
}

// One group whose channels are those of the cases.
std::string CaseFile(const std::vector<TypeCase>& cases) {
  std::vector<Field> fields;
  for (const TypeCase& c : cases) fields.push_back({c.name, c.dataType, c.bits, c.startBit, c.cc});
  return FieldFile(fields, 64, 1, [](const Field&, uint32_t) { return 0.0; });
}

TEST(SelectHostType, ChoosesTypeSizeBitFieldAndNoValuePerRow) {
  const std::vector<TypeCase> cases = TypeCases();
  OpenedMdf o(CaseFile(cases));
  ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
  const mdf::CCNBlock* cn = o.mdf.GetFirstDG()->GetFirstCG()->GetFirstCN();
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(cn, nullptr);
    const HostType t = SelectHostType(*cn, false);
    EXPECT_EQ(t.DTyp, c.dtyp);
    EXPECT_EQ(t.STyp, c.styp);
    EXPECT_EQ(t.bytes, c.bytes);
    EXPECT_EQ(t.BitSize, c.bitSize);
    EXPECT_EQ(t.converted, c.converted);
    EXPECT_EQ(t.noValue, c.noValue);
    if (t.DTyp != kNone) {
      EXPECT_EQ(static_cast<uint32_t>(t.bytes), importcore::DTypSize(t.DTyp));
    }
    // Composing delivers doubles, except that no type stays no type.
    const HostType composed = SelectHostType(*cn, true);
    EXPECT_EQ(composed.DTyp, c.dtyp == kNone ? kNone : kFloat64);
    cn = cn->GetNext();
  }
}

// The value the host takes from one element of the flat data space: the
// element as its DTyp, or for the bit-field and 64-bit forms the bits the
// BitSize word gives (a one-bit field at bit 0 has the word 0).
double HostValue(const uint8_t* element, const HostType& t, bool isSigned) {
  const bool bitField = t.DTyp == kUBits8 || t.DTyp == kSBits8 || t.DTyp == kUBits16 || t.DTyp == kSBits16 ||
                        t.DTyp == kUBits32 || t.DTyp == kSBits32 || t.DTyp == kUInt64 || t.DTyp == kInt64;
  if (!bitField) return importcore::SampleToDouble(element, t.DTyp);
  uint64_t word = 0;
  std::memcpy(&word, element, static_cast<size_t>(t.bytes));
  const unsigned bits = static_cast<unsigned>(t.BitSize >> 8) + 1, shift = t.BitSize & 0xFF;
  word >>= shift;
  if (bits < 64) word &= (uint64_t{1} << bits) - 1;
  if (isSigned && bits < 64 && (word >> (bits - 1)) & 1) word |= ~uint64_t{0} << bits;
  return isSigned ? static_cast<double>(static_cast<int64_t>(word)) : static_cast<double>(word);
}

// For every integer and float channel of the group whose values are
// delivered as stored: each raw element, read by the host type, equals the
// decoded value.
void ExpectElementsDecode(mdf::CDGBlock& dg) {
  mdf::CDataBlock& data = *dg.GetDataBlock();
  const uint32_t records = data.GetNumberOfRecords();
  for (mdf::CCNBlock* cn = dg.GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext()) {
    const HostType t = SelectHostType(*cn, false);
    if (t.DTyp == kNone || t.converted || (t.DTyp == kFloat64 && cn->GetChannelType() == 1)) continue;
    SCOPED_TRACE(cn->GetSignalName());
    ASSERT_EQ(mdf::CDataBlock::RawElementSize(cn), static_cast<uint32_t>(t.bytes));
    std::vector<uint8_t> raw(size_t{records} * t.bytes);
    ASSERT_EQ(data.GetRawDataContent(cn, raw, 0, records), records);
    std::vector<double> decoded(records);
    ASSERT_EQ(data.GetDoubleContent(cn, decoded, 0, records, false), records);
    const uint16_t type = cn->GetDataType();
    const bool isSigned = type == 1 || type == 10 || type == 14;
    for (uint32_t r = 0; r < records; ++r)
      ASSERT_EQ(std::bit_cast<uint64_t>(HostValue(raw.data() + size_t{r} * t.bytes, t, isSigned)),
                std::bit_cast<uint64_t>(decoded[r]))
          << "record " << r;
  }
}

TEST(SelectHostType, ElementsOfBitFieldPlacementsGiveTheDecodedValues) {
  const std::vector<Field> placements = {
      {"u12 at 5", dt::kUInt, 12, 5},       {"s12 at 5", dt::kInt, 12, 69},      {"u8 at 3", dt::kUInt, 8, 131},
      {"s7 at 2", dt::kInt, 7, 194},        {"u16 at 1", dt::kUInt, 16, 201},     {"s24 at 6", dt::kInt, 24, 262},
      {"u32 at 4", dt::kUInt, 32, 324},     {"s40 at 7", dt::kInt, 40, 391},      {"u12 M at 5", dt::kUIntMotorola, 12, 453},
      {"s20 M at 3", dt::kIntMotorola, 20, 515}, {"u1 at 7", dt::kUInt, 1, 583}, {"u64", dt::kUInt, 64, 640},
  };
  // Values that reach both ends of each field.
  const std::string bytes = FieldFile(placements, 96, 64, [](const Field& f, uint32_t r) {
    const double span = std::ldexp(1.0, std::min<int>(f.bits, 52));
    const double v = std::fmod(r * 7919.0 * 104729.0, span);
    const bool isSigned = f.type == dt::kInt || f.type == dt::kIntMotorola;
    return isSigned ? v - span / 2 : v;
  });
  OpenedMdf o(bytes);
  ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
  ExpectElementsDecode(*o.mdf.GetFirstDG());
}

TEST(SelectHostType, ElementsOfTheCorpusBitFieldsGiveTheDecodedValues) {
  SKIP_WITHOUT_CORPUS();
  const std::string path = CorpusFile("mdf/gen_bitfields_v320.mdf");
  mdf::CMdf file;
  file.SetShowMessages(false);
  ASSERT_EQ(file.Open(path), 1) << file.GetLastError();
  ExpectElementsDecode(*file.GetFirstDG());
  // The 40-bit field at bit 352 lies at bit 0 of its element.
  for (mdf::CCNBlock* cn = file.GetFirstDG()->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext())
    if (cn->GetSignalName() == "u40") {
      EXPECT_EQ(SelectHostType(*cn, false).BitSize, 0x2700);
    }
}

}  // namespace
}  // namespace pellor

#include "tests/support/mdf_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>

using namespace testsupport;
using namespace std::string_literals;

// Offsets below are written out as numbers on purpose: they are the file
// layout the readers rely on, checked independently of the writer's constants.
namespace {

uint64_t Le(const std::string& b, uint32_t at, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b.at(at + i));
  return v;
}
uint16_t U16(const std::string& b, uint32_t at) { return static_cast<uint16_t>(Le(b, at, 2)); }
uint32_t U32(const std::string& b, uint32_t at) { return static_cast<uint32_t>(Le(b, at, 4)); }
double F64(const std::string& b, uint32_t at) { return std::bit_cast<double>(Le(b, at, 8)); }
// A character field up to its first NUL.
std::string Chars(const std::string& b, uint32_t at, uint32_t width) {
  std::string s = b.substr(at, width);
  return s.substr(0, s.find('\0'));
}
std::string Hex(const std::string& b) {
  std::string s;
  char buf[4];
  for (unsigned char c : b) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

TEST(MdfWriterTest, IdHeaderAndChannelFieldsLandAtTheirOffsets) {
  MdfWriter w(IdSpec{.programId = "KESTRAVO", .version = 330});
  const uint32_t hdPos = w.AddHd(HdSpec{.dgCount = 3, .author = "Anna", .subject = "Bremse",
                                        .startTimeNs = 1700000000123456789ull,
                                        .utcOffsetHours = -2});
  const uint32_t cnPos = w.AddCn(CnSpec{.next = 0x11111111, .conversion = 0x22222222,
                                        .extension = 0x33333333, .dependency = 0x44444444,
                                        .comment = 0x55555555, .channelType = 1,
                                        .name = "n_mot", .description = "Drehzahl",
                                        .startBit = 12, .bits = 24, .dataType = dt::kIntMotorola,
                                        .rangeValid = 1, .minRaw = -5.5, .maxRaw = 6000,
                                        .sampleRate = 0.001, .longName = 0x66666666,
                                        .displayName = 0x77777777, .byteOffset = 9});
  const std::string& b = w.Bytes();
  EXPECT_EQ(b.substr(0, 24), "MDF     3.30    KESTRAVO");
  EXPECT_EQ(U16(b, 28), 330);
  EXPECT_EQ(hdPos, 64u);
  EXPECT_EQ(b.substr(64, 2), "HD");
  EXPECT_EQ(U16(b, 66), 208);
  EXPECT_EQ(U16(b, 64 + 16), 3);
  EXPECT_EQ(Chars(b, 64 + 18, 10), "10:12:2024");
  EXPECT_EQ(Chars(b, 64 + 36, 32), "Anna");
  EXPECT_EQ(Chars(b, 64 + 132, 32), "Bremse");
  EXPECT_EQ(Le(b, 64 + 164, 8), 1700000000123456789ull);
  EXPECT_EQ(static_cast<int16_t>(U16(b, 64 + 172)), -2);

  ASSERT_EQ(cnPos, 64u + 208u);
  ASSERT_EQ(b.size(), cnPos + 228u);
  EXPECT_EQ(b.substr(cnPos, 2), "CN");
  EXPECT_EQ(U16(b, cnPos + 2), 228);
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(U32(b, cnPos + 4 + 4 * i), 0x11111111u * (i + 1));
  EXPECT_EQ(U16(b, cnPos + 24), 1);
  EXPECT_EQ(Chars(b, cnPos + 26, 32), "n_mot");
  EXPECT_EQ(Chars(b, cnPos + 58, 128), "Drehzahl");
  EXPECT_EQ(U16(b, cnPos + 186), 12);
  EXPECT_EQ(U16(b, cnPos + 188), 24);
  EXPECT_EQ(U16(b, cnPos + 190), 10);
  EXPECT_EQ(U16(b, cnPos + 192), 1);
  EXPECT_EQ(F64(b, cnPos + 194), -5.5);
  EXPECT_EQ(F64(b, cnPos + 202), 6000.0);
  EXPECT_EQ(F64(b, cnPos + 210), 0.001);
  EXPECT_EQ(U32(b, cnPos + 218), 0x66666666u);
  EXPECT_EQ(U32(b, cnPos + 222), 0x77777777u);
  EXPECT_EQ(U16(b, cnPos + 226), 9);
}

TEST(MdfWriterTest, NamesFillTheirWholeFieldWithoutTerminator) {
  MdfWriter w;
  const std::string name(40, 'x');
  const uint32_t cnPos = w.AddCn(CnSpec{.name = name});
  EXPECT_EQ(w.Bytes().substr(cnPos + 26, 32), std::string(32, 'x'));
  EXPECT_EQ(w.Bytes()[cnPos + 58], '\0');  // the description begins right after
}

TEST(MdfWriterTest, BlockLengthOtherThanTheFixedSize) {
  MdfWriter w;
  // Shorter: the length field says so, the whole image is still there.
  const uint32_t shortCn = w.AddCn(CnSpec{.name = "a", .byteOffset = 7, .blockLength = 100});
  // Longer: the block is padded to its length.
  const uint32_t longCg = w.AddCg(CgSpec{.recordCount = 5, .blockLength = 300});
  const uint32_t after = w.AddTx("x");
  const std::string& b = w.Bytes();
  EXPECT_EQ(U16(b, shortCn + 2), 100);
  EXPECT_EQ(U16(b, shortCn + 226), 7);
  EXPECT_EQ(U16(b, longCg + 2), 300);
  EXPECT_EQ(U32(b, longCg + 22), 5u);
  EXPECT_EQ(after, longCg + 300);
}

TEST(MdfWriterTest, TextRangeTableLinksItsTexts) {
  MdfWriter w;
  const uint32_t ccPos =
      w.AddCc(CcTextRange("AUS", {CcRange{1, 1, "EIN"}, CcRange{2, 5, std::nullopt, 0}}));
  const std::string& b = w.Bytes();
  EXPECT_EQ(b.substr(ccPos, 2), "CC");
  EXPECT_EQ(U16(b, ccPos + 2), 46 + 3 * 20);
  EXPECT_EQ(U16(b, ccPos + 42), 12);
  EXPECT_EQ(U16(b, ccPos + 44), 3);
  // Entry 0 is the default range, its link leads to the default text.
  const uint32_t defaultLink = U32(b, ccPos + 46 + 16);
  ASSERT_GT(defaultLink, ccPos);
  EXPECT_EQ(b.substr(defaultLink, 2), "TX");
  EXPECT_EQ(U16(b, defaultLink + 2), 4 + 4);
  EXPECT_EQ(std::string(b.c_str() + defaultLink + 4), "AUS");
  EXPECT_EQ(F64(b, ccPos + 66), 1.0);
  EXPECT_EQ(F64(b, ccPos + 74), 1.0);
  const uint32_t rangeLink = U32(b, ccPos + 66 + 16);
  ASSERT_GT(rangeLink, ccPos);
  EXPECT_EQ(std::string(b.c_str() + rangeLink + 4), "EIN");
  EXPECT_EQ(F64(b, ccPos + 86), 2.0);
  EXPECT_EQ(F64(b, ccPos + 94), 5.0);
  EXPECT_EQ(U32(b, ccPos + 86 + 16), 0u);
}

TEST(MdfWriterTest, ConversionParametersByType) {
  struct Case {
    CcSpec spec;
    uint16_t length, size;
    uint32_t probe;  // offset from the block start
    std::string probeBytes;
  };
  auto real = [](double v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
  const Case cases[] = {
      {CcLinear(0.5, -10, "km/h"), 62, 2, 46, real(-10) + real(0.5)},
      {CcTable({{0, 0}, {10, 100}}, true), 78, 2, 62, real(10) + real(100)},
      {CcTable({{0, 0}}, false), 62, 1, 46, real(0) + real(0)},
      {CcPolynomial({1, 2, 3, 4, 5, 6}), 94, 6, 86, real(6)},
      {CcExponential({1, 2, 3, 4, 5, 6, 7}), 102, 7, 94, real(7)},
      {CcLogarithmic({1, 2, 3, 4, 5, 6, 7}), 102, 7, 46, real(1)},
      {CcRational({0, 1, 0, 0, 0, 1}), 94, 6, 54, real(1)},
      {CcFormula("X*2+1"), 302, 0, 46, "X*2+1\0"s},
      {CcTextTable({{0, "AUS"}, {1, "EIN"}}), 126, 2, 86, real(1) + "EIN"},
      {CcDate(1500, 30, 12, 24, 12, 99), 53, 0, 46, "\xDC\x05\x1E\x0C\x18\x0C\x63"},
      {CcTime(250, 5, 23, 31), 52, 0, 46, "\xFA\x00\x05\x17\x1F"s},
      {CcIdentity(2), 46, 2, 42, "\xFF\xFF\x02\x00"s},
      {CcOther(77, "ab"), 48, 0, 42, "\x4D\x00\x00\x00" "ab"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec.type);
    MdfWriter w;
    const uint32_t pos = w.AddCc(c.spec);
    const std::string& b = w.Bytes();
    EXPECT_EQ(b.size(), pos + c.length);
    EXPECT_EQ(U16(b, pos + 2), c.length);
    EXPECT_EQ(U16(b, pos + 42), c.spec.type);
    EXPECT_EQ(U16(b, pos + 44), c.size);
    EXPECT_EQ(Hex(b.substr(pos + c.probe, c.probeBytes.size())), Hex(c.probeBytes));
  }
  MdfWriter w;
  const uint32_t pos = w.AddCc(CcLinear(2, 1, "km/h"));
  EXPECT_EQ(Chars(w.Bytes(), pos + 22, 20), "km/h");
}

TEST(MdfWriterTest, ExtensionKindsPutTheirFieldsInPlace) {
  MdfWriter w;
  const uint32_t can = w.AddCe(CeCan(0x123, 2, "EngineData", "ECU1"));
  const uint32_t dim = w.AddCe(CeModule(2, 7, 0xDEADBEEF, "Steuergeraet", "ECU-A"));
  const uint32_t acq = w.AddCe(CeAcquisition(1, 2, "d", "id", 3, 4));
  const std::string& b = w.Bytes();
  EXPECT_EQ(b.substr(can, 2), "CE");
  EXPECT_EQ(U16(b, can + 2), 86);
  EXPECT_EQ(U16(b, can + 4), 19);
  EXPECT_EQ(U32(b, can + 6), 0x123u);
  EXPECT_EQ(U32(b, can + 10), 2u);
  EXPECT_EQ(Chars(b, can + 14, 36), "EngineData");
  EXPECT_EQ(Chars(b, can + 50, 36), "ECU1");
  EXPECT_EQ(U16(b, dim + 4), 2);
  EXPECT_EQ(U16(b, dim + 6), 7);
  EXPECT_EQ(U32(b, dim + 8), 0xDEADBEEFu);
  EXPECT_EQ(Chars(b, dim + 12, 80), "Steuergeraet");
  EXPECT_EQ(Chars(b, dim + 92, 32), "ECU-A");
  EXPECT_EQ(U16(b, acq + 2), 128);
  EXPECT_EQ(U16(b, acq + 124), 3);
  EXPECT_EQ(U16(b, acq + 126), 4);
}

TEST(MdfWriterTest, ProgramBlockContents) {
  MdfWriter w;
  const std::string ti = TimeInfoData({TimeInfoHeaderRecordBytes(19, 4000),
                                       TimeInfoRecordBytes({.key = 2, .max = 9.5, .unit = "s"})});
  const uint32_t pos = w.AddPr(ti);
  const std::string& b = w.Bytes();
  EXPECT_EQ(U16(b, pos + 2), 4 + 46 + 160);
  EXPECT_EQ(std::string(b.c_str() + pos + 4), "Zephanor time-stamp descriptors");
  EXPECT_EQ(std::string(b.c_str() + pos + 36), "Version  3.00");
  const uint32_t rec0 = pos + 50, rec1 = rec0 + 80;
  EXPECT_EQ(static_cast<int32_t>(U32(b, rec0)), -1);
  EXPECT_EQ(U32(b, rec0 + 4), 19u);
  EXPECT_EQ(U32(b, rec0 + 52), 4000u);
  EXPECT_EQ(U32(b, rec1), 2u);
  EXPECT_EQ(F64(b, rec1 + 12), 9.5);
  EXPECT_EQ(Chars(b, rec1 + 56, 24), "s");

  const std::string sj = SpecialJobData({.scalars = {{"Lambda", "-", 0.98}},
                                         .curves = {{"KL", "Nm", {1, 2}, {10, 20}}}});
  EXPECT_EQ(std::string(sj.c_str()), "SpecialJobData");
  EXPECT_EQ(U16(sj, 18), 1);
  EXPECT_EQ(Chars(sj, 20 + 14, 200), "Lambda");
  EXPECT_EQ(F64(sj, 20 + 365), 0.98);
  const uint32_t curve = 20 + 373 + 2;
  EXPECT_EQ(U16(sj, curve - 2), 1);
  EXPECT_EQ(U16(sj, curve + 365), 16);
  EXPECT_EQ(F64(sj, curve + 367 + 8), 2.0);
  EXPECT_EQ(F64(sj, curve + 367 + 16), 10.0);
  EXPECT_EQ(sj.size(), curve + 367 + 32 + 3 * 2);

  const uint32_t escaped = w.AddPrWithLength(LeBytes(8 + sj.size(), 4) + sj, pr::kEscapeLength);
  EXPECT_EQ(Hex(b.substr(escaped, 8)), Hex("PR\xFF\xFF"s + LeBytes(8 + sj.size(), 4)));
  EXPECT_EQ(b.substr(escaped + 8), sj);

  const std::string nv = NuvestoData("Nuvesto 4.0 Test", {{"Pruefstand", "P3"}, {"Fahrer", "B"}});
  EXPECT_EQ(nv.substr(4, 11), "Nuvesto 4.0");
  const uint32_t textLen = U32(nv, 72);
  EXPECT_EQ(nv.substr(76, textLen), "Pruefstand, P3\nFahrer, B;");
}

struct PackCase {
  const char* what;
  uint32_t startBit, bits;
  uint64_t value;
  ByteOrder order;
  uint32_t byteOffset;
  std::string bytes;  // the record, as hex
};

class RecordPackingTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(RecordPackingTest, PutsTheBitsWhereReadersTakeThem) {
  const PackCase& c = GetParam();
  Record r;
  r.PutUInt(c.startBit, c.bits, c.value, c.order, c.byteOffset);
  EXPECT_EQ(Hex(r.Bytes()), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordPackingTest,
    ::testing::Values(
        PackCase{"intel24", 0, 24, 0x010203, ByteOrder::Intel, 0, "03 02 01"},
        PackCase{"motorola24", 0, 24, 0x010203, ByteOrder::Motorola, 0, "01 02 03"},
        PackCase{"intel12at4", 4, 12, 0xABC, ByteOrder::Intel, 0, "C0 AB"},
        PackCase{"motorola12at4", 4, 12, 0xABC, ByteOrder::Motorola, 0, "AB C0"},
        PackCase{"bit3", 3, 1, 1, ByteOrder::Intel, 0, "08"},
        PackCase{"offsetBytes", 8, 8, 0x7F, ByteOrder::Intel, 2, "00 00 00 7F"},
        PackCase{"maskedToWidth", 0, 4, 0xFF, ByteOrder::Intel, 0, "0F"},
        PackCase{"uint64", 0, 64, 0x0102030405060708ull, ByteOrder::Intel, 0,
                 "08 07 06 05 04 03 02 01"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(RecordTest, ChannelValuesByDataType) {
  Record r(16);
  r.Put(CnSpec{.startBit = 0, .bits = 12, .dataType = dt::kInt}, -2048);
  r.Put(CnSpec{.startBit = 12, .bits = 4, .dataType = dt::kUInt}, 5.4);  // shares byte 1
  r.Put(CnSpec{.startBit = 16, .bits = 32, .dataType = dt::kFloatMotorola}, 1.0);
  r.Put(CnSpec{.startBit = 48, .bits = 16, .dataType = dt::kIntMotorola}, -2);
  r.Put(CnSpec{.startBit = 64, .bits = 48, .dataType = dt::kText}, std::string("abcdefgh"));
  EXPECT_EQ(Hex(r.Bytes()), "00 58 3F 80 00 00 FF FE 61 62 63 64 65 66 00 00");
  Record d;
  d.Put(CnSpec{.bits = 64, .dataType = dt::kDouble}, 1.5);
  EXPECT_EQ(F64(d.Bytes(), 0), 1.5);
}

TEST(RecordTest, RecordIdsBeforeOrBeforeAndAfter) {
  EXPECT_EQ(StoredRecord("ab", 7, 0), "ab");
  EXPECT_EQ(StoredRecord("ab", 7, 1), "\x07" "ab");
  EXPECT_EQ(StoredRecord("ab", 7, 2), "\x07" "ab\x07");
}

TEST(MdfWriterTest, PlacementPatchesAndTruncation) {
  MdfWriter w;
  const uint32_t dgPos = w.AddDg(DgSpec{}, 200);  // past the end: zeros in between
  EXPECT_EQ(dgPos, 200u);
  EXPECT_EQ(w.Bytes().substr(64, 136), std::string(136, '\0'));
  w.SetLink(dgPos, dg::kNext, dgPos);  // a cycle
  w.PatchU16(dgPos + 2, 3);
  w.PatchBytes(dgPos, "XY");
  EXPECT_EQ(U32(w.Bytes(), 204), 200u);
  EXPECT_EQ(w.Bytes().substr(200, 4), "XY\x03\x00"s);
  w.Truncate(210);
  EXPECT_EQ(w.Size(), 210u);
}

TEST(BuildFileTest, ChainsGroupsChannelsAndRecords) {
  FileDef def = SimpleFileDef(2, 2, 10);
  def.groups[1].recordIds = 2;
  def.groups[1].recordId = 5;
  def.groups[1].channels[1].cc = CcLinear(2, 1);
  def.groups[1].channels[1].longName = "Signal mit langem Namen";
  def.fileComment = "Kommentar";
  const BuiltFile f = BuildFile(def);
  const std::string& b = f.writer.Bytes();
  EXPECT_EQ(b.substr(16, 8), "KESTRAVO");
  ASSERT_EQ(f.hd, 64u);
  EXPECT_EQ(U16(b, 64 + 16), 2);
  EXPECT_EQ(std::string(b.c_str() + U32(b, 64 + 8) + 4), "Kommentar");

  // Walk the chains as a reader would.
  uint32_t dgPos = U32(b, 64 + 4);
  for (int g = 0; g < 2; ++g) {
    SCOPED_TRACE(g);
    ASSERT_EQ(b.substr(dgPos, 2), "DG");
    const uint32_t cgPos = U32(b, dgPos + 8);
    ASSERT_EQ(b.substr(cgPos, 2), "CG");
    EXPECT_EQ(U16(b, cgPos + 18), 3);
    EXPECT_EQ(U16(b, cgPos + 20), 8 + 2 + 2);
    EXPECT_EQ(U32(b, cgPos + 22), 10u);
    const uint32_t ids = U16(b, dgPos + 22);
    const uint32_t recLen = U16(b, cgPos + 20) + ids;
    std::vector<uint32_t> cns;
    for (uint32_t cn = U32(b, cgPos + 8); cn; cn = U32(b, cn + 4)) cns.push_back(cn);
    ASSERT_EQ(cns.size(), 3u);
    EXPECT_EQ(Chars(b, cns[0] + 26, 32), "time");
    EXPECT_EQ(U16(b, cns[0] + 24), 1);
    EXPECT_EQ(U16(b, cns[2] + 186), 80);
    const std::string name = "sig" + std::to_string(g + 1) + "_2";
    EXPECT_EQ(Chars(b, cns[2] + 26, 32), name);
    // Record 7: time 0.07, sig_2 = 14.
    const uint32_t rec = U32(b, dgPos + 16) + 7 * recLen + (ids ? 1 : 0);
    EXPECT_EQ(F64(b, rec), 7 * 0.01);
    EXPECT_EQ(U16(b, rec + 10), 14);
    if (ids == 2) {
      EXPECT_EQ(b[rec - 1], 5);
      EXPECT_EQ(b[rec + 12], 5);
      const uint32_t cc = U32(b, cns[1] + 8);
      EXPECT_EQ(cc, f.groups[1].cc[1]);
      EXPECT_EQ(F64(b, cc + 46 + 8), 2.0);
      EXPECT_EQ(std::string(b.c_str() + U32(b, cns[1] + 218) + 4), "Signal mit langem Namen");
    }
    dgPos = U32(b, dgPos + 4);
  }
  EXPECT_EQ(dgPos, 0u);
  EXPECT_EQ(b.size(), f.groups[1].data + 10u * 14u);
}

}  // namespace

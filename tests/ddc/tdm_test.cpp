// TDM files made by the fixture writer: value representations, byte orders,
// values written out in the header, missing or short .tdx files.
#include <cfloat>

#include <gtest/gtest.h>

#include "tests/ddc/ddc_helpers.h"
#include "tests/support/tdm_writer.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

using namespace ddctest;
using namespace testsupport::tdm;

namespace {

class TdmTest : public ::testing::Test {
 protected:
  std::string Write(const File& f, const std::string& name = "f.tdm") {
    const Written w = Build(f);
    testsupport::WriteFileBytes(dir_.File(name), w.xml);
    if (f.include) testsupport::WriteFileBytes(dir_.File(f.tdx_url), w.tdx);
    return dir_.File(name);
  }
  testsupport::TempDir dir_;
};

// A file of one group holding the given channels.
File OneGroup(std::vector<Channel> channels) {
  File f;
  f.name = "T";
  f.groups.push_back(Group{"G", std::nullopt, "", std::move(channels)});
  return f;
}

Channel Block(std::string name, std::string value_type, uint64_t length, std::string tdx,
              std::optional<uint64_t> rows) {
  Channel c;
  c.name = std::move(name);
  c.value_type = std::move(value_type);
  c.length = length;
  c.tdx = std::move(tdx);
  c.rows = rows;
  return c;
}

Channel Inline(std::string name, std::string sequence, std::string values,
               std::optional<uint64_t> rows) {
  Channel c;
  c.name = std::move(name);
  c.external = false;
  c.sequence = std::move(sequence);
  c.inline_values = std::move(values);
  c.rows = rows;
  return c;
}

DDCChannelHandle First(const OpenedFile& file, size_t c = 0) {
  const auto groups = file.Groups();
  if (groups.empty()) return nullptr;
  const auto channels = Channels(groups[0]);
  return c < channels.size() ? channels[c] : nullptr;
}

}  // namespace

TEST_F(TdmTest, RepresentationsGiveTheirValues) {
  struct Case {
    const char* what;
    Channel channel;
    DDCDataType type;
    std::vector<double> values;
  };
  Channel implicit_inline = Inline("i", "double_sequence", "0 0.5", 5);
  implicit_inline.representation = "implicit_linear";
  Channel implicit_block = Block("ib", "eInt32Usi", 2, Bytes<int32_t>({10, -3}), 4);
  implicit_block.representation = "implicit_linear";
  Channel raw_block = Block("rb", "eInt16Usi", 3, Bytes<int16_t>({1, 2, -4}), 3);
  raw_block.representation = "raw_linear";
  raw_block.generation_parameters = "10 0.5";
  Channel raw_inline = Inline("ri", "byte_sequence", "1 2 3", 3);
  raw_inline.representation = "raw_linear";
  raw_inline.generation_parameters = "-1 2";
  const Case cases[] = {
      {"explicit doubles", Block("d", "eFloat64Usi", 3, Bytes<double>({1.5, -2, 3}), 3),
       DDC_TypeDouble, {1.5, -2, 3}},
      {"explicit u16", Block("u", "eUInt16Usi", 2, Bytes<uint16_t>({65535, 7}), 2), DDC_TypeUInt16,
       {65535, 7}},
      {"explicit i64 without submatrix", Block("l", "eInt64Usi", 2, Bytes<int64_t>({-5, 1ll << 40}), std::nullopt),
       DDC_TypeInt64, {-5, 1099511627776.0}},
      {"implicit_linear written out", implicit_inline, DDC_TypeDouble, {0, 0.5, 1, 1.5, 2}},
      {"implicit_linear in a block", implicit_block, DDC_TypeDouble, {10, 7, 4, 1}},
      {"raw_linear in a block", raw_block, DDC_TypeDouble, {10.5, 11, 8}},
      {"raw_linear written out", raw_inline, DDC_TypeDouble, {1, 3, 5}},
      {"inline doubles", Inline("x", "double_sequence", " 1e3\n-0.25\t7 ", 3), DDC_TypeDouble,
       {1000, -0.25, 7}},
      {"inline longs, fewer rows than values", Inline("x", "long_sequence", "1 -2 3 4", 2),
       DDC_TypeInt32, {1, -2}},
      {"inline shorts, more rows than values", Inline("x", "short_sequence", "5 6", 9),
       DDC_TypeInt16, {5, 6}},
      {"inline bytes up to the first bad number", Inline("x", "byte_sequence", "1 2 300 4", 4),
       DDC_TypeUInt8, {1, 2}},
      {"inline floats", Inline("x", "float_sequence", "0.1 2", 2), DDC_TypeFloat,
       {static_cast<double>(0.1f), 2}},
      {"inline doubles wrapped in child elements",
       Inline("x", "double_sequence", "<A>0 0.01</A>\n<A><B>0.02</B> 0.03</A>", 4), DDC_TypeDouble,
       {0, 0.01, 0.02, 0.03}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenedFile file(Write(OneGroup({c.channel})), "TDM");
    ASSERT_EQ(file.Status(), 0);
    DDCChannelHandle ch = First(file);
    EXPECT_EQ(DataType(ch), c.type);
    EXPECT_EQ(Numbers(ch), c.values);
  }
}

TEST_F(TdmTest, BigEndianBlocksReadInTheirByteOrder) {
  using testsupport::tdms::FromUnix;
  const auto stamp = FromUnix(1709280930, 0.25);
  std::string stamp_bytes = Bytes<int64_t>({stamp.seconds1904}, true) + Bytes<uint64_t>({stamp.fraction}, true);
  File f = OneGroup({Block("i", "eInt32Usi", 2, Bytes<int32_t>({-2, 70000}, true), 2),
                     Block("d", "eFloat64Usi", 1, Bytes<double>({0.125}, true), 1),
                     Block("t", "eTimeUsi", 1, stamp_bytes, 1)});
  f.big_endian = true;
  ScopedTimeZone tz("Europe/Berlin");
  OpenedFile file(Write(f), "TDM");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(Numbers(First(file, 0)), (std::vector<double>{-2, 70000}));
  EXPECT_EQ(Numbers(First(file, 1)), (std::vector<double>{0.125}));
  EXPECT_EQ(DataType(First(file, 2)), DDC_TypeChannelTimestamp);
  EXPECT_EQ(Stamps(First(file, 2)), (std::vector<double>{1709280930.25}));
}

TEST_F(TdmTest, InlineStringsInWindows1252) {
  OpenedFile file(Write(OneGroup({Inline("n", "string_sequence",
                                         "<s>a&amp;b</s><s>Pr\xC3\xBC" "f</s><s></s>", 3)})),
                  "TDM");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(DataType(First(file)), DDC_TypeChannelString);
  EXPECT_EQ(Strings(First(file)), (std::vector<std::string>{"a&b", "Pr\xFC" "f", ""}));
}

TEST_F(TdmTest, BlocksReachingPastTheTdxYieldTheValuesPresent) {
  Channel short_block = Block("s", "eFloat64Usi", 10, Bytes<double>({1, 2, 3}), 10);
  Channel beyond = Block("b", "eFloat64Usi", 2, "", 2);
  beyond.byte_offset = 1000;
  Channel half = Block("h", "eFloat64Usi", 2, "", 2);
  half.byte_offset = 20;  // 4 bytes of a value remain
  OpenedFile file(Write(OneGroup({short_block, beyond, half})), "TDM");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(Numbers(First(file, 0)), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(Count(First(file, 1)), 0u);
  EXPECT_EQ(Count(First(file, 2)), 0u);
}

TEST_F(TdmTest, UnreadableStorageHasTheUnsupportedCodeAndItsCount) {
  Channel bm = Block("bm", "eFloat64Usi", 2, Bytes<double>({1, 2}), 2);
  bm.block_element = "block_bm";
  Channel polynomial = Block("p", "eFloat64Usi", 2, Bytes<double>({1, 2}), 2);
  polynomial.representation = "raw_polynomial";
  Channel tdx_strings = Block("s", "eStringUsi", 1, std::string("ab\0", 3), 1);
  Channel unknown = Block("u", "eComplexUsi", 1, Bytes<double>({1, 2}), 1);
  OpenedFile file(Write(OneGroup({bm, polynomial, tdx_strings, unknown})), "TDM");
  ASSERT_EQ(file.Status(), 0);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(DataType(First(file, i)), DDC_TypeUnsupported);
    EXPECT_EQ(Count(First(file, i)), i < 2 ? 2u : 1u);
    double v[2];
    EXPECT_EQ(DDC_GetDataValues(First(file, i), 0, 1, v), DDC_ErrNotSupported);
  }
}

TEST_F(TdmTest, OpenFailures) {
  struct Case {
    const char* what;
    std::string xml;  // empty: the fixture file with its .tdx removed
    int status;
  };
  const Written w = Build(OneGroup({Block("d", "eFloat64Usi", 1, Bytes<double>({1}), 1)}));
  const Case cases[] = {
      {"missing .tdx", "", DDC_ErrFileNotFound},
      {"unreadable XML", w.xml.substr(0, w.xml.size() / 2), DDC_ErrDamaged},
      {"no XML at all", std::string("TDSm\0\0\0\0", 8), DDC_ErrDamaged},
      {"XML of another kind", "<?xml version=\"1.0\"?><other/>", DDC_ErrWrongFileKind},
      {"no root element in the data", "<usi:tdm xmlns:usi=\"u\"><usi:data/></usi:tdm>", DDC_ErrDamaged},
      {".tdx outside the header's folder",
       "<usi:tdm xmlns:usi=\"u\"><usi:include><file url=\"../x.tdx\"/></usi:include></usi:tdm>",
       DDC_ErrDamaged},
      {"absolute .tdx path",
       "<usi:tdm xmlns:usi=\"u\"><usi:include><file url=\"/etc/hostname\"/></usi:include></usi:tdm>",
       DDC_ErrDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir.File("f.tdm"), c.xml.empty() ? w.xml : c.xml);
    OpenedFile file(dir.File("f.tdm"), "TDM");
    EXPECT_EQ(file.Status(), c.status);
    EXPECT_EQ(file.Get(), nullptr);
  }
}

TEST_F(TdmTest, PropertiesOfPresentElementsComeFirstThenAttributes) {
  File f = OneGroup({});
  f.name.reset();
  f.title = "";
  f.datetime = "2024-03-01T10:15:30.25+02:00";
  f.attributes = "<string_attribute name=\"Pr\xC3\xBC" "fstand\"><s>PS 2</s></string_attribute>"
                 "<long_attribute name=\"Lauf\">7</long_attribute>"
                 "<double_attribute name=\"Faktor\">0.5</double_attribute>"
                 "<time_attribute name=\"Start\">2024-03-01T08:15:30</time_attribute>";
  Channel c = Block("Zeit", "eFloat64Usi", 1, Bytes<double>({0}), 1);
  c.unit = "s";
  c.minimum = "1.79769313486232e+308";
  c.maximum = "not a number";
  c.attributes = "<short_attribute name=\"Kanal\">-3</short_attribute>";
  f.groups[0].channels.push_back(c);
  f.groups[0].description = "erste";
  OpenedFile file(Write(f, "Lauf.tdm"), "TDM");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(PropertyNames(file.Get()), (std::vector<std::string>{"name", "title", "datetime", "Pr\xFC" "fstand",
                                                                 "Lauf", "Faktor", "Start"}));
  EXPECT_EQ(Name(file.Get()), "Lauf");  // no stored name: the base name
  EXPECT_EQ(Text(file.Get(), "title"), "");
  EXPECT_EQ(FileStamp(file.Get(), "datetime"), 1709280930.25);
  EXPECT_EQ(FileStamp(file.Get(), "Start"), 1709280930);  // no zone: UTC
  EXPECT_EQ(Type(file.Get(), "Lauf"), DDC_TypeInt32);
  EXPECT_EQ(Number(file.Get(), "Lauf"), 7);
  EXPECT_EQ(Type(file.Get(), "Faktor"), DDC_TypeDouble);
  const auto groups = file.Groups();
  EXPECT_EQ(Text(groups[0], "description"), "erste");
  DDCChannelHandle ch = First(file);
  EXPECT_EQ(PropertyNames(ch), (std::vector<std::string>{"name", "unit_string", "minimum", "Kanal"}));
  EXPECT_EQ(Number(ch, "minimum"), DBL_MAX);
  EXPECT_EQ(Number(ch, "Kanal"), -3);
}

TEST_F(TdmTest, AFileOfTheOtherKindIsRefused) {
  const std::string tdm = Write(OneGroup({}));
  OpenedFile as_tdms(tdm, "TDMs");
  EXPECT_EQ(as_tdms.Status(), DDC_ErrWrongFileKind);
  testsupport::tdms::Segment s;
  s.toc = testsupport::tdms::kTocMetaData;
  testsupport::WriteFileBytes(dir_.File("x.tdms"), testsupport::tdms::Encode({s}));
  OpenedFile as_tdm(dir_.File("x.tdms"), "TDM");
  EXPECT_EQ(as_tdm.Status(), DDC_ErrDamaged);
}

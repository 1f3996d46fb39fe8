// DAQmx raw data and NI scaling in TDMS files made by the fixture writer:
// every expected value is worked out here from the raw numbers written.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "tests/ddc/ddc_helpers.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

using namespace ddctest;
using namespace testsupport::tdms;

namespace {

// DAQmx scaler types.
constexpr uint32_t kDaqU8 = 0, kDaqI16 = 3, kDaqI32 = 5, kDaqF32 = 8;

struct Expected {
  DDCDataType type;
  std::vector<double> values;
};

class DaqmxFiles : public ::testing::Test {
 protected:
  std::string Write(const std::vector<Segment>& segments) {
    const std::string path = dir_.File("f.tdms");
    testsupport::WriteFileBytes(path, Encode(segments));
    return path;
  }
  // Every channel of the first group: its type and values.
  static void ExpectChannels(const OpenedFile& file, const std::vector<Expected>& expected) {
    ASSERT_EQ(file.Status(), 0);
    ASSERT_FALSE(file.Groups().empty());
    const std::vector<DDCChannelHandle> channels = Channels(file.Groups()[0]);
    ASSERT_EQ(channels.size(), expected.size());
    for (size_t c = 0; c < channels.size(); ++c) {
      SCOPED_TRACE("channel " + Name(channels[c]));
      ASSERT_EQ(DataType(channels[c]), expected[c].type);
      EXPECT_EQ(Numbers(channels[c]), expected[c].values);
    }
  }

  testsupport::TempDir dir_;
};

std::string Ch(const char* name) { return Path("G", name); }

// Linear scale 1 on DAQmx scaler 0: raw * slope + intercept.
std::vector<Property> LinearOnScaler(double slope, double intercept) {
  return {String("NI_Scaling_Status", "unscaled"), I32("NI_Number_Of_Scales", 2),
          String("NI_Scale[1]_Scale_Type", "Linear"), F64("NI_Scale[1]_Linear_Slope", slope),
          F64("NI_Scale[1]_Linear_Y_Intercept", intercept), U32("NI_Scale[1]_Linear_Input_Source", 0)};
}

std::vector<double> Map(const std::vector<double>& raw, const std::function<double(double)>& f) {
  std::vector<double> out;
  for (double v : raw) out.push_back(f(v));
  return out;
}

// Raw values of row i of the layouts below.
double V(int i) { return 100.0 * i - 250; }
double P(int i) { return -7.0 * i + 3; }
std::vector<double> Rows(double (*f)(int), int first, int n) {
  std::vector<double> out;
  for (int i = first; i < first + n; ++i) out.push_back(f(i));
  return out;
}

// One buffer of 4-byte rows: V (i16 at byte 0, linear) and P (i16 at byte 2, unscaled).
Segment OneBuffer(int first_row, int rows_per_chunk, int chunks, bool big_endian = false) {
  Segment s;
  s.toc = kDefaultToc | kTocDaqmx | (big_endian ? kTocBigEndian : 0);
  s.objects = {Daqmx(Ch("V"), rows_per_chunk, {4}, {{kDaqI16, 0, 0, 0}}, LinearOnScaler(0.5, -1)),
               Daqmx(Ch("P"), rows_per_chunk, {4}, {{kDaqI16, 0, 2, 0}})};
  RawData raw(big_endian);
  for (int i = first_row; i < first_row + rows_per_chunk * chunks; ++i)
    raw.Value(static_cast<int16_t>(V(i))).Value(static_cast<int16_t>(P(i)));
  s.raw = raw.Bytes();
  return s;
}

std::vector<Expected> OneBufferValues(int rows) {
  return {{DDC_TypeDouble, Map(Rows(V, 0, rows), [](double v) { return v * 0.5 - 1; })},
          {DDC_TypeInt16, Rows(P, 0, rows)}};
}

}  // namespace

TEST_F(DaqmxFiles, RawBuffersAndScalersInEveryLayout) {
  struct Case {
    const char* what;
    std::vector<Segment> segments;
    std::vector<Expected> expected;
  };
  // Two buffers per chunk: buffer 0 of 4-byte rows (A i16 at 0, 3 values per
  // chunk; B i16 at 2, 2 values), buffer 1 of 8-byte rows (C i32 at 0, D f32
  // at 4, 2 values each): 3 rows of buffer 0, then 2 of buffer 1.
  const auto two_buffers = [](int chunks, size_t cut) {
    Segment s;
    s.toc = kDefaultToc | kTocDaqmx;
    s.objects = {Daqmx(Ch("A"), 3, {4, 8}, {{kDaqI16, 0, 0, 0}}), Daqmx(Ch("B"), 2, {4, 8}, {{kDaqI16, 0, 2, 0}}),
                 Daqmx(Ch("C"), 2, {4, 8}, {{kDaqI32, 1, 0, 0}}), Daqmx(Ch("D"), 2, {4, 8}, {{kDaqF32, 1, 4, 0}})};
    RawData raw;
    for (int k = 0; k < chunks; ++k) {
      for (int r = 0; r < 3; ++r)
        raw.Value(static_cast<int16_t>(10 * k + r)).Value(static_cast<int16_t>(r < 2 ? -(10 * k + r) : 999));
      for (int r = 0; r < 2; ++r) raw.Value(int32_t{100000 * (k + 1) + r}).Value(0.25f * static_cast<float>(k * 2 + r));
    }
    s.raw = raw.Bytes().substr(0, cut);
    if (cut < raw.Bytes().size()) s.next_offset = uint64_t{1} << 40;  // the file ends inside the segment
    return s;
  };
  // Digital lines of one 2-byte port: bits 0 and 3 of byte 0, bit 1 of byte 1, as u8 values 0 or 1.
  Segment digital;
  digital.toc = kDefaultToc | kTocDaqmx;
  for (auto [name, bit] : {std::pair{"L0", 0u}, std::pair{"L3", 3u}, std::pair{"L9", 9u}}) {
    Object o = Daqmx(Ch(name), 4, {2}, {{kDaqU8, 0, bit, 0}});
    o.daqmx_digital = true;
    digital.objects.push_back(o);
  }
  const uint8_t ports[4][2] = {{0x01, 0x00}, {0x08, 0x02}, {0x09, 0xFD}, {0xF6, 0x02}};
  for (const auto& port : ports) digital.raw += RawData().Value(port[0]).Value(port[1]).Bytes();
  // A DAQmx channel of its own number type (i32), read by an i32 scaler.
  Segment own_type;
  own_type.toc = kDefaultToc | kTocDaqmx;
  Object n = Daqmx(Ch("N"), 3, {4}, {{kDaqI32, 0, 0, 0}});
  n.daqmx_type = kI32;
  own_type.objects = {n};
  own_type.raw = RawData().Values<int32_t>({-5, 70000, 3}).Bytes();
  // Later segments reuse the metadata: none at all, then a new list of index 0 entries.
  std::vector<Segment> reused = {OneBuffer(0, 2, 2), OneBuffer(4, 2, 1), OneBuffer(6, 2, 3)};
  reused[1].toc = kTocRawData | kTocDaqmx;
  reused[1].objects.clear();
  reused[2].objects = {SameIndex(Ch("V")), SameIndex(Ch("P"))};

  const Case cases[] = {
      {"one buffer, two chunks", {OneBuffer(0, 3, 2)}, OneBufferValues(6)},
      {"big-endian", {OneBuffer(0, 3, 2, true)}, OneBufferValues(6)},
      {"metadata reused by later segments", reused, OneBufferValues(12)},
      {"cut inside a row: whole rows only", {[] {
         Segment s = OneBuffer(0, 3, 2);
         s.raw.resize(4 * 4 + 3);
         s.next_offset = uint64_t{1} << 40;
         return s;
       }()},
       OneBufferValues(4)},
      {"two buffers per chunk, two chunks",
       {two_buffers(2, SIZE_MAX)},
       {{DDC_TypeInt16, {0, 1, 2, 10, 11, 12}},
        {DDC_TypeInt16, {0, -1, -10, -11}},
        {DDC_TypeInt32, {100000, 100001, 200000, 200001}},
        {DDC_TypeFloat, {0, 0.25, 0.5, 0.75}}}},
      // Chunk 2 holds buffer 0 whole and 1.5 rows of buffer 1.
      {"two buffers, cut inside the second's rows",
       {two_buffers(2, 28 + 12 + 12)},
       {{DDC_TypeInt16, {0, 1, 2, 10, 11, 12}},
        {DDC_TypeInt16, {0, -1, -10, -11}},
        {DDC_TypeInt32, {100000, 100001, 200000}},
        {DDC_TypeFloat, {0, 0.25, 0.5}}}},
      {"digital lines",
       {digital},
       {{DDC_TypeUInt8, {1, 0, 1, 0}}, {DDC_TypeUInt8, {0, 1, 1, 0}}, {DDC_TypeUInt8, {0, 1, 0, 1}}}},
      {"a channel of its own number type", {own_type}, {{DDC_TypeInt32, {-5, 70000, 3}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenedFile file(Write(c.segments), "TDMs");
    ExpectChannels(file, c.expected);
  }
}

TEST_F(DaqmxFiles, ScalingChainsOfPlainAndDaqmxChannels) {
  const std::vector<int32_t> raw = {-2, 0, 1, 3, 8};
  const std::vector<double> x(raw.begin(), raw.end());
  const auto linear = [](int k, double slope, double intercept, uint32_t source) {
    const std::string s = "NI_Scale[" + std::to_string(k) + "]_";
    return std::vector<Property>{String(s + "Scale_Type", "Linear"), F64(s + "Linear_Slope", slope),
                                 F64(s + "Linear_Y_Intercept", intercept), U32(s + "Linear_Input_Source", source)};
  };
  const auto join = [](std::vector<std::vector<Property>> parts) {
    std::vector<Property> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const auto count = [](int n) { return std::vector<Property>{I32("NI_Number_Of_Scales", n)}; };
  const auto table = [](std::vector<double> xs, std::vector<double> ys) {
    std::vector<Property> p = {String("NI_Scale[0]_Scale_Type", "Table"),
                               I32("NI_Scale[0]_Table_Pre_Scaled_Values_Size", static_cast<int32_t>(xs.size())),
                               I32("NI_Scale[0]_Table_Scaled_Values_Size", static_cast<int32_t>(ys.size()))};
    for (size_t i = 0; i < xs.size(); ++i)
      p.push_back(F64("NI_Scale[0]_Table_Pre_Scaled_Values[" + std::to_string(i) + "]", xs[i]));
    for (size_t i = 0; i < ys.size(); ++i)
      p.push_back(F64("NI_Scale[0]_Table_Scaled_Values[" + std::to_string(i) + "]", ys[i]));
    return p;
  };
  const auto polynomial = [](int k, std::vector<double> c, bool with_size, uint32_t source) {
    const std::string s = "NI_Scale[" + std::to_string(k) + "]_";
    std::vector<Property> p = {String(s + "Scale_Type", "Polynomial"), U32(s + "Polynomial_Input_Source", source)};
    if (with_size) p.push_back(I32(s + "Polynomial_Coefficients_Size", static_cast<int32_t>(c.size())));
    for (size_t i = 0; i < c.size(); ++i)
      p.push_back(F64(s + "Polynomial_Coefficients[" + std::to_string(i) + "]", c[i]));
    return p;
  };
  const auto binary = [](const char* type, uint32_t left, uint32_t right) {
    const std::string s = std::string("NI_Scale[2]_") + type;
    return std::vector<Property>{String("NI_Scale[2]_Scale_Type", type), U32(s + "_Left_Operand_Input_Source", left),
                                 U32(s + "_Right_Operand_Input_Source", right)};
  };
  constexpr uint32_t kRaw = 0xFFFFFFFF;
  struct Case {
    const char* what;
    std::vector<Property> channel, group, file;
    Expected expected;
  };
  const Case cases[] = {
      {"linear", join({count(1), linear(0, 0.25, 1, kRaw)}), {}, {}, {DDC_TypeDouble, Map(x, [](double v) { return v * 0.25 + 1; })}},
      {"the count from the scale types", linear(0, 0.25, 1, kRaw), {}, {}, {DDC_TypeDouble, Map(x, [](double v) { return v * 0.25 + 1; })}},
      {"polynomial", join({count(1), polynomial(0, {0.5, 2, 0.25}, true, kRaw)}), {}, {},
       {DDC_TypeDouble, Map(x, [](double v) { return 0.5 + 2 * v + 0.25 * v * v; })}},
      {"polynomial of 4 coefficients without a size", join({count(1), polynomial(0, {1, 0, 0, 0.125}, false, kRaw)}), {}, {},
       {DDC_TypeDouble, Map(x, [](double v) { return 1 + v * v * v / 8; })}},
      {"polynomial of a linear scale", join({count(2), linear(0, 2, 0, kRaw), polynomial(1, {1, 0, 1}, true, 0)}), {}, {},
       {DDC_TypeDouble, Map(x, [](double v) { return 1 + 4 * v * v; })}},
      {"table of rising x, the end values outside", join({count(1), table({0, 2, 4}, {10, 20, 0})}), {}, {},
       {DDC_TypeDouble, {10, 10, 15, 10, 0}}},
      {"table of falling x", join({count(1), table({4, 2, 0}, {0, 20, 10})}), {}, {}, {DDC_TypeDouble, {10, 10, 15, 10, 0}}},
      {"add", join({count(3), linear(0, 2, 0, kRaw), linear(1, 1, 3, kRaw), binary("Add", 0, 1)}), {}, {},
       {DDC_TypeDouble, Map(x, [](double v) { return 3 * v + 3; })}},
      {"subtract", join({count(3), linear(0, 2, 0, kRaw), linear(1, 1, 3, kRaw), binary("Subtract", 0, 1)}), {}, {},
       {DDC_TypeDouble, Map(x, [](double v) { return v - 3; })}},
      {"advanced API passes its input through",
       join({count(2), linear(0, 2, 1, kRaw),
             {String("NI_Scale[1]_Scale_Type", "AdvancedAPI"), U32("NI_Scale[1]_AdvancedAPI_Input_Source", 0)}}),
       {}, {}, {DDC_TypeDouble, Map(x, [](double v) { return 2 * v + 1; })}},
      {"the group's scaling", {}, join({count(1), linear(0, -1, 0, kRaw)}), {}, {DDC_TypeDouble, Map(x, [](double v) { return -v; })}},
      {"the file's scaling", {}, {}, join({count(1), linear(0, -1, 0, kRaw)}), {DDC_TypeDouble, Map(x, [](double v) { return -v; })}},
      {"the channel's own before the group's", join({count(1), linear(0, 3, 0, kRaw)}), join({count(1), linear(0, -1, 0, kRaw)}), {},
       {DDC_TypeDouble, Map(x, [](double v) { return 3 * v; })}},
      {"status scaled: stored values are physical",
       join({count(1), linear(0, 2, 0, kRaw), {String("NI_Scaling_Status", "scaled")}}), {}, {}, {DDC_TypeInt32, x}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Segment s;
    s.objects = {NoData("/", c.file), NoData(Path("G"), c.group), WithData(Ch("X"), kI32, raw.size(), c.channel)};
    s.raw = RawData().Values(raw).Bytes();
    OpenedFile file(Write({s}), "TDMs");
    ExpectChannels(file, {c.expected});
  }

  // DAQmx: scales without a type are the scalers of those scale ids.
  const std::vector<int16_t> a = {5, -3, 100}, b = {1, 7, -100};
  Segment s;
  s.toc = kDefaultToc | kTocDaqmx;
  s.objects = {
      Daqmx(Ch("Diff"), 3, {4}, {{kDaqI16, 0, 0, 0}, {kDaqI16, 0, 2, 1}}, join({count(3), binary("Subtract", 0, 1)})),
      Daqmx(Ch("Second"), 3, {4}, {{kDaqI16, 0, 0, 0}, {kDaqI16, 0, 2, 1}}, count(2))};
  for (size_t i = 0; i < a.size(); ++i) s.raw += RawData().Value(a[i]).Value(b[i]).Bytes();
  OpenedFile file(Write({s}), "TDMs");
  ExpectChannels(file, {{DDC_TypeDouble, {4, -10, 200}},
                        // A chain of scalers alone keeps the scaler's type.
                        {DDC_TypeInt16, {1, 7, -100}}});
}

// A group's scaling is taken by each of its channels in the channel's own
// types: the stored values of each, or the DAQmx scaler of the scale id.
TEST_F(DaqmxFiles, AGroupsScalingIsTakenByEachChannelInItsOwnTypes) {
  const auto ids = [](uint32_t id) { return std::vector<DaqmxScaler>{{kDaqI16, 0, 0, id}}; };
  // Plain channels: a linear scale of the stored values.
  Segment plain;
  plain.objects = {NoData(Path("G"), {I32("NI_Number_Of_Scales", 1), String("NI_Scale[0]_Scale_Type", "Linear"),
                                      F64("NI_Scale[0]_Linear_Slope", 2), F64("NI_Scale[0]_Linear_Y_Intercept", 1)}),
                   WithData(Ch("I"), kI16, 2), WithData(Ch("F"), kF32, 2)};
  plain.raw = RawData().Values<int16_t>({-3, 4}).Values<float>({0.25f, -8}).Bytes();
  OpenedFile a(Write({plain}), "TDMs");
  ExpectChannels(a, {{DDC_TypeDouble, {-5, 9}}, {DDC_TypeDouble, {1.5, -15}}});

  // DAQmx channels: a linear scale of scaler 0, which only the first has.
  Segment daqmx;
  daqmx.toc = kDefaultToc | kTocDaqmx;
  daqmx.objects = {NoData(Path("G"), LinearOnScaler(2, 1)), Daqmx(Ch("Zero"), 2, {2}, ids(0)),
                   Daqmx(Ch("Five"), 2, {2}, ids(5))};
  daqmx.raw = RawData().Values<int16_t>({-3, 4}).Bytes();
  OpenedFile b(Write({daqmx}), "TDMs");
  ASSERT_EQ(b.Status(), 0);
  const std::vector<DDCChannelHandle> channels = Channels(b.Groups()[0]);
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(Numbers(channels[0]), (std::vector<double>{-5, 9}));
  DDCDataType type = DDC_TypeDouble;
  EXPECT_EQ(DDC_GetDataType(channels[1], &type), DDC_ErrScaleParameter);
  EXPECT_EQ(type, DDC_TypeUnsupported);
}

TEST_F(DaqmxFiles, ChainsThatCannotBeComputedLeaveTheChannelWithoutValues) {
  const auto typed = [](const char* type) {
    return std::vector<Property>{I32("NI_Number_Of_Scales", 1), String("NI_Scale[0]_Scale_Type", type)};
  };
  const std::vector<Property> linear1 = {String("NI_Scale[1]_Scale_Type", "Linear"), F64("NI_Scale[1]_Linear_Slope", 1),
                                         F64("NI_Scale[1]_Linear_Y_Intercept", 0)};
  struct Case {
    const char* what;
    std::vector<Property> props;
    bool daqmx_two_scalers;
    int status;
  };
  auto with = [](std::vector<Property> a, std::vector<Property> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  // Every value passes each coefficient: a polynomial of very many stalls the reading.
  std::vector<Property> manyCoefficients = with(typed("Polynomial"), {I32("NI_Scale[0]_Polynomial_Coefficients_Size", 300)});
  for (int i = 0; i < 300; ++i)
    manyCoefficients.push_back(F64("NI_Scale[0]_Polynomial_Coefficients[" + std::to_string(i) + "]", 1));
  const Case cases[] = {
      {"RTD", typed("RTD"), false, DDC_ErrScaleRTD},
      {"thermistor", typed("Thermistor"), false, DDC_ErrScaleThermistor},
      {"thermocouple", typed("Thermocouple"), false, DDC_ErrScaleThermocouple},
      {"strain", typed("Strain"), false, DDC_ErrScaleStrain},
      {"a type nobody knows", typed("Reverse Polynomial"), false, DDC_ErrScaleUnknown},
      {"input source beyond the scales",
       with({I32("NI_Number_Of_Scales", 2), U32("NI_Scale[1]_Linear_Input_Source", 5)}, linear1), false,
       DDC_ErrScaleInput},
      {"a cycle",
       with({I32("NI_Number_Of_Scales", 3), U32("NI_Scale[1]_Linear_Input_Source", 2),
             String("NI_Scale[2]_Scale_Type", "AdvancedAPI"), U32("NI_Scale[2]_AdvancedAPI_Input_Source", 1)},
            linear1),
       false, DDC_ErrScaleCycle},
      {"table sizes that differ",
       with(typed("Table"), {I32("NI_Scale[0]_Table_Pre_Scaled_Values_Size", 2),
                             I32("NI_Scale[0]_Table_Scaled_Values_Size", 3)}),
       false, DDC_ErrScaleTableSizes},
      {"a linear scale without its slope",
       with(typed("Linear"), {F64("NI_Scale[0]_Linear_Y_Intercept", 0)}), false, DDC_ErrScaleParameter},
      {"a scale without a type on a plain channel",
       with({I32("NI_Number_Of_Scales", 2), U32("NI_Scale[1]_Linear_Input_Source", 0)}, linear1), false,
       DDC_ErrScaleParameter},
      {"a scale without a type whose scale id no scaler has",
       {I32("NI_Number_Of_Scales", 4), String("NI_Scale[3]_Scale_Type", "AdvancedAPI"),
        U32("NI_Scale[3]_AdvancedAPI_Input_Source", 2)},
       true, DDC_ErrScaleParameter},
      {"a polynomial of more coefficients than a chain computes", manyCoefficients, false, DDC_ErrScaleParameter},
      {"two DAQmx scalers and no scaling", {}, true, DDC_ErrScalingMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Segment s;
    if (c.daqmx_two_scalers) {
      s.toc = kDefaultToc | kTocDaqmx;
      s.objects = {Daqmx(Ch("X"), 2, {4}, {{kDaqI16, 0, 0, 0}, {kDaqI16, 0, 2, 1}}, c.props)};
      s.raw = RawData().Values<int16_t>({1, 2, 3, 4}).Bytes();
    } else {
      s.objects = {WithData(Ch("X"), kI32, 2, c.props)};
      s.raw = RawData().Values<int32_t>({1, 2}).Bytes();
    }
    OpenedFile file(Write({s}), "TDMs");
    ASSERT_EQ(file.Status(), 0);
    DDCChannelHandle x = Channels(file.Groups()[0])[0];
    DDCDataType type = DDC_TypeDouble;
    EXPECT_EQ(DDC_GetDataType(x, &type), c.status);
    EXPECT_EQ(type, DDC_TypeUnsupported);
    EXPECT_EQ(Count(x), 2u);
    double values[2];
    EXPECT_EQ(DDC_GetDataValues(x, 0, 2, values), c.status);
    EXPECT_NE(std::string(DDC_GetLibraryErrorDescription(c.status)), "Unknown error");
  }
}

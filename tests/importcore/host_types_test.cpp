#include "importcore/host_types.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "importcore/le.h"

namespace importcore {
namespace {

TEST(DTypSize, FollowsTheHostTable) {
  const int sizes[34] = {0, 0, 0, 0, 1, 1, 2, 2, 4, 4, 4, 4, 8, 8, 6, 6, 1,
                         1, 2, 2, 0, 0, 6, 6, 2, 2, 2, 2, 4, 4, 4, 4, 8, 8};
  for (int code = 0; code < 34; ++code) EXPECT_EQ(DTypSize(code), static_cast<uint32_t>(sizes[code])) << code;
  for (int code : {-1, 34, 1000, -2147483647 - 1}) EXPECT_EQ(DTypSize(code), 0u) << code;
}

TEST(SampleToDouble, ReadsEachCodeFromItsStoredBytes) {
  const struct {
    int32_t code;
    std::vector<uint8_t> bytes;
    double value;
  } cases[] = {
      {4, {0xFF}, 255},
      {16, {0xFF}, 255},
      {5, {0xFF}, -1},
      {17, {0x80}, -128},
      {6, {0xFF, 0xFF}, 65535},
      {18, {0x34, 0x12}, 0x1234},
      {7, {0x00, 0x80}, -32768},
      {19, {0xFE, 0xFF}, -2},
      {8, {0xFF, 0xFF, 0xFF, 0xFF}, 4294967295.0},
      {30, {1, 0, 0, 0}, 1},
      {9, {0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {31, {0, 0, 0, 0x80}, -2147483648.0},
      {11, {0x00, 0x00, 0xC0, 0x3F}, 1.5},
      {10, {0x00, 0x00, 0xC0, 0x3F}, 1.5},
      {13, {0, 0, 0, 0, 0, 0, 0x04, 0xC0}, -2.5},
      {12, {0, 0, 0, 0, 0, 0, 0x04, 0xC0}, -2.5},
      {28, {0x03, 0x02, 0x01, 0xFF}, 66051},   // the low 24 bits
      {29, {0xFF, 0xFF, 0xFF, 0x00}, -1},      // sign-extended from bit 23
      {29, {0xFF, 0xFF, 0x7F, 0xFF}, 8388607},
      {29, {0x00, 0x00, 0x80, 0x00}, -8388608},
      {32, {0, 0, 0, 0, 0, 0, 0, 0x80}, 9223372036854775808.0},  // unsigned stays unsigned
      {33, {0, 0, 0, 0, 0, 0, 0, 0x80}, -9223372036854775808.0},
      {14, {1, 2, 3, 4, 5, 6}, 0.0},  // no numeric form
      {99, {1}, 0.0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = c.bytes;
    bytes.resize(8, 0);
    EXPECT_EQ(SampleToDouble(bytes.data(), c.code), c.value) << "code " << c.code;
    double one = -99;
    SamplesToDouble(bytes.data(), c.code, std::span<double>(&one, 1));
    EXPECT_EQ(one, c.value) << "code " << c.code << " (span)";
  }
}

TEST(SamplesToDouble, StepsByTheValueSize) {
  const uint16_t values[] = {1, 2, 65535};
  double out[3];
  SamplesToDouble(reinterpret_cast<const uint8_t*>(values), 6, out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[2], 65535);
}

TEST(DoubleToSample, RoundsAndSaturatesToTheCode) {
  const struct {
    int32_t code;
    double in;
    double back;
  } cases[] = {
      {4, 254.6, 255},   {4, 300, 255},   {4, -5, 0},    {5, -200, -128}, {5, 127.4, 127},
      {6, 1e9, 65535},   {7, -1e9, -32768}, {8, -1, 0},  {8, 1e20, 4294967295.0},
      {9, 1e20, 2147483647.0}, {9, -2.5, -3},             {28, 1e9, 16777215},
      {29, -1e9, -8388608}, {29, -1, -1},  {30, 7, 7},   {31, -7, -7},
      {32, 1e30, 18446744073709551615.0},  {32, -3, 0},   {33, 1e30, 9223372036854775807.0},
      {33, -1e30, -9223372036854775808.0}, {11, 1.25, 1.25}, {13, 1e308, 1e308},
      {4, std::nan(""), 0},
  };
  for (const auto& c : cases) {
    uint8_t bytes[8] = {};
    DoubleToSample(c.in, c.code, bytes);
    EXPECT_EQ(SampleToDouble(bytes, c.code), c.back) << "code " << c.code << " value " << c.in;
  }
  uint8_t f[4];
  DoubleToSample(1e300, 11, f);
  EXPECT_TRUE(std::isinf(LoadLE<float>(f)));
}

}  // namespace
}  // namespace importcore

// The VAX float formats as IEEE bits: zero, the reserved operand, the
// smallest values (IEEE subnormals) and ordinary ones.
#include "mdf/vax.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace {

using namespace mdf::vax;

TEST(Vax, FToIeee) {
  const struct {
    const char* name;
    uint32_t stored;
    uint32_t ieee;
  } cases[] = {
      {"zero", 0x00000000u, 0x00000000u},
      {"a dirty zero (exponent 0, fraction set)", 0x1234007Fu, 0x00000000u},
      {"1.0", 0x00004080u, 0x3F800000u},
      {"-2.5", 0x0000C120u, 0xC0200000u},
      {"exponent 1: 2^-128, subnormal", 0x00000080u, 0x00200000u},
      {"exponent 2, all fraction bits: rounds up to the smallest normal", 0xFFFF017Fu, 0x00800000u},
      {"the largest", 0xFFFF7FFFu, 0x7EFFFFFFu},
  };
  for (const auto& c : cases) EXPECT_EQ(FToIeee(c.stored), c.ieee) << c.name;
  EXPECT_TRUE(std::isnan(std::bit_cast<float>(FToIeee(0x00008000u)))) << "the reserved operand";
}

TEST(Vax, GAndDToIeee) {
  EXPECT_EQ(GToIeee(0), 0u);
  EXPECT_EQ(std::bit_cast<double>(GToIeee(0x0000000000004010ull)), 1.0);
  EXPECT_EQ(std::bit_cast<double>(GToIeee(0x000000000000C024ull)), -2.5);
  EXPECT_EQ(GToIeee(0x0000000000000010ull), 0x0004000000000000ull) << "exponent 1: 2^-1024, subnormal";
  EXPECT_TRUE(std::isnan(std::bit_cast<double>(GToIeee(0x0000000000008000ull)))) << "the reserved operand";

  EXPECT_EQ(DToIeee(0), 0u);
  EXPECT_EQ(std::bit_cast<double>(DToIeee(0x0000000000004080ull)), 1.0);
  EXPECT_EQ(std::bit_cast<double>(DToIeee(0xCCD0CCCCCCCC3ECCull)), 0.1);
  // The lowest 3 of D's 55 fraction bits are dropped.
  EXPECT_EQ(DToIeee(0x0007000000004080ull), 0x3FF0000000000000ull);
  EXPECT_TRUE(std::isnan(std::bit_cast<double>(DToIeee(0x0000000000008000ull)))) << "the reserved operand";
}

}  // namespace

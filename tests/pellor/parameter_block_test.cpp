#include "pellor/parameter_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "importcore/le.h"

namespace pellor {
namespace {

TEST(ParameterBlock, StartsZeroedWithItsSize) {
  ParameterBlock block;
  EXPECT_EQ(block.Int(ParameterBlock::kSizeWord), 62264);
  for (size_t i = 4; i < ParameterBlock::kSize; ++i) ASSERT_EQ(block.Data()[i], 0) << i;
}

TEST(ParameterBlock, FieldsLieAtTheHostsOffsets) {
  ParameterBlock block;
  block.SetDouble(ParameterBlock::kXMaxFactor, 1.01);
  block.SetMemoryLimit(0xFFFFFFFFu);
  block.SetInt(ParameterBlock::kIgnoreUnknownScaling, 1);
  block.SetPattern(ParameterBlock::kCanAliasPattern, "%s");
  const uint8_t* b = block.Data();
  EXPECT_EQ(importcore::LoadLE<double>(b + 780), 1.01);
  EXPECT_EQ(importcore::LoadLE<uint32_t>(b + 796), 0xFFFFFFFFu);
  EXPECT_EQ(importcore::LoadLE<int32_t>(b + 62260), 1);
  EXPECT_EQ(std::memcmp(b + 524, "%s\0", 3), 0);
}

TEST(ParameterBlock, CopyFromHostTakesTheSmallerSize) {
  const struct {
    int32_t ownSize;  // the block's size word before the copy
    int32_t hostSize;
    bool accepted;
    size_t copied;     // bytes of the host block that arrive
    int32_t sizeAfter;  // ParSize afterwards
  } cases[] = {
      {62264, 16, true, 16, 16},
      {62264, 62264, true, 62264, 62264},
      {62264, 70000, true, 62264, 62264},  // never more than the block holds
      {62264, 0, true, 0, 62264},
      {62264, -1, false, 0, 62264},
      {16, 62264, true, 16, 62264},  // a short block takes the host's size word back
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hostSize);
    ParameterBlock block;
    block.SetInt(ParameterBlock::kSizeWord, c.ownSize);
    std::vector<uint8_t> host(70000, 0xAB);
    importcore::StoreLE(host.data(), c.hostSize);
    EXPECT_EQ(block.CopyFromHost(host.data()), c.accepted);
    EXPECT_EQ(block.Int(ParameterBlock::kSizeWord), c.sizeAfter);
    for (size_t i = 4; i < ParameterBlock::kSize; ++i)
      ASSERT_EQ(block.Data()[i], i < c.copied ? 0xAB : 0) << "byte " << i;
  }
}

TEST(ParameterBlock, NamesPackAndUnpackWithinTheArea) {
  ParameterBlock block;
  block.PackNames({"alpha", "beta"});
  EXPECT_EQ(block.UnpackNames(), (std::vector<std::string>{"alpha", "beta"}));

  // 61 names of 1,000 characters fill 61,061 bytes; a name of 400 does not fit and ends the packing.
  std::vector<std::string> many(61, std::string(1000, 'n'));
  many.push_back(std::string(400, 'y'));
  many.push_back("x");
  block.PackNames(many);
  EXPECT_EQ(block.UnpackNames().size(), 61u);

  // A name that runs to the area's end ends there.
  std::memset(block.Data() + ParameterBlock::kIgnoreNames, 'z', ParameterBlock::kIgnoreNamesSize);
  const auto names = block.UnpackNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].size(), ParameterBlock::kIgnoreNamesSize);
}

}  // namespace
}  // namespace pellor

// The loader on its own, where its status says more than the host sees.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quenvo/mat_loader.h"
#include "tests/matlab/mat_writer.h"
#include "tests/support/temp_dir.h"

namespace {

// A channel struct whose channels need a data space of 2 GiB or more fails
// as an allocation failure (no message) before taking any memory for it.
TEST(LoadMatFile, ChannelStructBeyondTheDataSpaceIsAnAllocationFailure) {
  testsupport::TempDir dir;
  const std::string path = dir.File("big.mat");
  {
    // 2^28 int8 values take 2 GiB as doubles; matio writes them from our buffer, uncopied.
    std::vector<int8_t> values(size_t{1} << 28);
    for (size_t i = 0; i < values.size(); i += 4096) values[i] = static_cast<int8_t>(i >> 12);
    size_t dims[2] = {values.size(), 1};
    matvar_t* daten = Mat_VarCreate(nullptr, MAT_C_INT8, MAT_T_INT8, 2, dims, values.data(), MAT_F_DONT_COPY_DATA);
    matvar_t* channel = matwriter::Struct(nullptr, {1, 1}, {"daten"});
    matwriter::SetField(channel, "daten", 0, daten);
    matvar_t* signale = matwriter::Struct("signale", {1, 1}, {"klein", "gross"});
    matwriter::SetField(signale, "klein", 0, matwriter::Doubles(nullptr, 1, 1, {1}));
    matwriter::SetField(signale, "gross", 0, channel);
    matwriter::MatFileWriter file(path, MAT_FT_MAT5, MAT_COMPRESSION_ZLIB);
    ASSERT_TRUE(file.Write(signale));
    ASSERT_TRUE(file.Close());
  }
  quenvo::ImportedFile data;
  quenvo::ImportComments comments;
  const quenvo::NamingOptions naming;
  EXPECT_EQ(quenvo::LoadMatFile(path, {data, comments, naming}), quenvo::LoadStatus::OutOfMemory);
  EXPECT_FALSE(data.data);
  EXPECT_FALSE(quenvo::MessageFor(quenvo::LoadStatus::OutOfMemory, path));
}

}  // namespace

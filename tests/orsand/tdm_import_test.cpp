// The file-import object's state: Name, comments, and the data space that
// Seek and Read serve from the channels' buffers.
#include "orsand/tdm_import.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/headless.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

namespace {

namespace tdms = testsupport::tdms;

class Import : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("WINPORT_DLL_PATH", DDC_DIR, 0); }

  // A TDMS file of one group with a channel of `n` doubles i + 1000 c for each n.
  std::string WriteDoubles(const std::vector<size_t>& counts, std::vector<tdms::Property> fileProps = {},
                           const std::string& name = "f.tdms") {
    tdms::Segment segment;
    segment.objects.push_back(tdms::NoData("/", std::move(fileProps)));
    tdms::RawData raw;
    for (size_t c = 0; c < counts.size(); ++c) {
      segment.objects.push_back(tdms::WithData(tdms::Path("G", "c" + std::to_string(c)), tdms::kF64, counts[c]));
      for (size_t i = 0; i < counts[c]; ++i) raw.Value(static_cast<double>(i + 1000 * c));
    }
    segment.raw = raw.Bytes();
    const std::string path = dir_.File(name);
    testsupport::WriteFileBytes(path, tdms::Encode({segment}));
    return path;
  }

  testsupport::TempDir dir_;
  orsand::TdmImport import_;
};

TEST_F(Import, ReadsStayInsideOneChannelAndPassOverTheRestOfItsBlock) {
  ASSERT_TRUE(import_.ImportFile(WriteDoubles({100, 100})));
  ASSERT_EQ(import_.DataSize(), 8192);
  ASSERT_EQ(import_.BlockSize(), 4096);
  std::vector<double> buffer(1024, -1);
  auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());

  import_.Open();
  EXPECT_EQ(import_.Read(bytes, 1000), 800u);  // the first channel's 100 doubles
  EXPECT_EQ(import_.Position(), 800);
  EXPECT_EQ(buffer[99], 99);
  EXPECT_EQ(buffer[100], -1);

  import_.Seek(4096, 0);
  EXPECT_EQ(import_.Read(bytes, 4096), 800u);
  EXPECT_EQ(import_.Position(), 4896);
  EXPECT_EQ(buffer[0], 1000);
  EXPECT_EQ(buffer[99], 1099);
  // The unused rest of the block: nothing copied, the position moves on to the end.
  EXPECT_EQ(import_.Read(bytes, 4096), 0u);
  EXPECT_EQ(import_.Position(), 8192);
  EXPECT_EQ(import_.Read(bytes, 4096), 0u);
  EXPECT_EQ(import_.Position(), 8192);
  import_.Close();
}

TEST_F(Import, SeekOrigins) {
  ASSERT_TRUE(import_.ImportFile(WriteDoubles({100, 100})));
  struct Case {
    int32_t start, offset, origin;
    int64_t position;
  };
  const Case cases[] = {
      {10, 100, 0, 100}, {10, 100, 1, 110},  {10, 100, 2, 8092}, {10, 5, 7, 10},
      {10, -20, 1, -10}, {10, -4, 2, 8196}, {10, -1, 0, -1},
  };
  for (const Case& c : cases) {
    import_.Seek(c.start, 0);
    import_.Seek(c.offset, c.origin);
    EXPECT_EQ(import_.Position(), c.position) << c.offset << " " << c.origin;
  }
}

TEST_F(Import, ANegativePositionReadsNothingAndStays) {
  ASSERT_TRUE(import_.ImportFile(WriteDoubles({100})));
  uint8_t buffer[16] = {};
  import_.Seek(-8, 0);
  EXPECT_EQ(import_.Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(import_.Position(), -8);
  // Beyond the end: the position comes back to the end.
  import_.Seek(100000, 0);
  EXPECT_EQ(import_.Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(import_.Position(), 4096);
}

TEST_F(Import, OpenAndCloseCountAndRewind) {
  ASSERT_TRUE(import_.ImportFile(WriteDoubles({10})));
  import_.Open();
  import_.Seek(16, 0);
  import_.Open();
  EXPECT_EQ(import_.OpenCount(), 2);
  EXPECT_EQ(import_.Position(), 0);
  import_.Seek(16, 0);
  import_.Close();
  EXPECT_EQ(import_.OpenCount(), 1);
  EXPECT_EQ(import_.Position(), 0);
}

TEST_F(Import, CommentsAreNumberedFromOne) {
  ASSERT_TRUE(import_.ImportFile(WriteDoubles({1}, {tdms::String("name", "N"), tdms::String("Ort", "Halle")})));
  // name, description, title, author (TDMS always has them), Ort, the group's description.
  EXPECT_EQ(import_.NoOfComments(), 7);
  ASSERT_NE(import_.FileComment(1), nullptr);
  EXPECT_EQ(*import_.FileComment(1), "N");
  EXPECT_EQ(*import_.CommentName(5), "Ort");
  EXPECT_EQ(*import_.FileComment(5), "Halle");
  EXPECT_EQ(import_.FileComment(2), nullptr);  // an empty description
  EXPECT_NE(import_.CommentName(2), nullptr);
  for (int32_t index : {0, 7, 256, 257, -1}) {
    EXPECT_EQ(import_.FileComment(index), nullptr) << index;
    EXPECT_EQ(import_.CommentName(index), nullptr) << index;
  }
}

TEST_F(Import, NameIsThePathThenTheFilesName) {
  const std::string longPath = dir_.Path() + "/" + std::string(300, 'x') + ".TDM";
  EXPECT_EQ(import_.IsValid(longPath), 1);  // by its extension, without opening it
  EXPECT_EQ(import_.Name(), longPath.substr(0, 259));
  EXPECT_EQ(import_.IsValid(dir_.File("none.dat")), 0);

  ASSERT_TRUE(import_.ImportFile(WriteDoubles({1}, {}, "Lauf 3.tdms")));
  EXPECT_EQ(import_.Name(), "Lauf 3");  // the base name when the file's "name" is its own base name
  ASSERT_TRUE(import_.ImportFile(WriteDoubles({1}, {tdms::String("name", std::string(300, 'n'))})));
  EXPECT_EQ(import_.Name(), std::string(259, 'n'));
}

TEST_F(Import, ANewImportReleasesTheOneBefore) {
  ASSERT_TRUE(import_.ImportFile(
      WriteDoubles({10, 10}, {tdms::String("name", "A"), tdms::Time("datetime", tdms::FromUnix(1709280930))})));
  EXPECT_EQ(import_.FileDate(), 1709280930);
  const std::weak_ptr<const orsand::ImportedFile> before = import_.Imported();

  ASSERT_TRUE(import_.ImportFile(WriteDoubles({5}, {}, "second.tdms")));
  EXPECT_TRUE(before.expired());
  EXPECT_EQ(import_.FileDate(), 0);
  EXPECT_EQ(import_.Name(), "second");
  EXPECT_EQ(import_.SignalCount(), 1);
  EXPECT_EQ(import_.NoOfComments(), 6);

  // A failed import leaves nothing behind.
  winport::ui::ScriptedAnswers script;
  script.Box("Die Datei ist weder TDM- noch TDMs-Format.");
  const std::string other = dir_.File("x.dat");
  testsupport::WriteFileBytes(other, "nothing");
  EXPECT_FALSE(import_.ImportFile(other));
  EXPECT_EQ(import_.SignalCount(), 0);
  EXPECT_EQ(import_.DataSize(), 0);
  EXPECT_EQ(import_.NoOfComments(), 1);
  EXPECT_EQ(import_.Imported(), nullptr);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(Import, ReleaseFileEmptiesTheObject) {
  ASSERT_TRUE(import_.ImportFile(WriteDoubles({10})));
  import_.ReleaseFile();
  EXPECT_EQ(import_.SignalCount(), 0);
  EXPECT_EQ(import_.Imported(), nullptr);
  uint8_t buffer[8];
  import_.Seek(0, 0);
  EXPECT_EQ(import_.Read(buffer, sizeof buffer), 0u);
}

}  // namespace

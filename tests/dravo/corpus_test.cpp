// The corpus of files written by other programs, read through the library.
#include <filesystem>

#include "tests/dravo/dravo_files.h"
#include "tests/dravo/oracle_rules.h"
#include "tests/support/corpus.h"

using namespace dravo;
using namespace dravotest;
using nlohmann::json;

namespace {

class Corpus : public LibraryTest {
 protected:
  // Every value of every channel of every group; each group's channels are
  // read to the end and must give one value per record, or be refused whole.
  void ReadEverything(MdfFileRecord* file) {
    uint16_t groups = 0;
    ASSERT_EQ(MdfGetGroupCount(&groups, file), kMdfOk);
    for (uint16_t g = 1; g <= groups; ++g) {
      MdfGroupRecord* group = nullptr;
      const MdfStatus opened = MdfOpenGroup(&group, file, g, kMdfOpenRead);
      if (opened == kMdfNoRecord) continue;  // a group without records does not open
      ASSERT_EQ(opened, kMdfOk);
      uint16_t channels = 0;
      uint32_t records = 0;
      ASSERT_EQ(MdfGetChannelCount(&channels, group), kMdfOk);
      ASSERT_EQ(MdfGetRecordCount(&records, group), kMdfOk);
      std::vector<bool> readable(channels + 1);
      for (uint16_t c = 1; c <= channels; ++c) {
        MdfChannelRecord* channel = nullptr;
        ASSERT_EQ(MdfOpenChannel(&channel, group, c), kMdfOk);
        readable[c] = MdfCheckChannelValues(channel, nullptr) == kMdfOk;
        MdfCloseChannel(channel);
      }
      MdfCloseGroup(group);
      for (uint16_t c = 1; c <= channels; ++c) EXPECT_EQ(ReadAll(file, g, c).size(), readable[c] ? records : 0);
    }
  }
};

TEST_F(Corpus, EveryFileOpensAndEveryValueReads) {
  SKIP_WITHOUT_CORPUS();
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusFile("mdf"))) {
    const std::string path = entry.path().string();
    if (entry.path().extension() == ".json") continue;
    SCOPED_TRACE(path);
    ++files;
    MdfFileRecord* file = OpenRead(path);
    ASSERT_NE(file, nullptr);
    ReadEverything(file);
    EXPECT_EQ(MdfClose(file), kMdfOk);
  }
  EXPECT_GE(files, 11);
}

// The generated files against their oracles' physical values, where the
// library's conversions and the oracle's agree; the named conversions follow
// the library. Texts without pause comments and byte arrays give no numbers.
TEST_F(Corpus, GeneratedFilesReadAsTheirOraclesSayWhereTheRulesAgree) {
  SKIP_WITHOUT_CORPUS();
  for (const char* rel : {"mdf/gen_bitfields_v320.mdf", "mdf/gen_conversions_v330.mdf", "mdf/gen_groups_v310.mdf",
                          "mdf/gen_motorola_default_v310.mdf", "mdf/gen_novalue_kestravo_v300.dat",
                          "mdf/gen_recordids_v330.mdf", "mdf/gen_unsorted_v300.mdf"}) {
    SCOPED_TRACE(rel);
    const json oracle = testsupport::LoadOracle(rel);
    MdfFileRecord* file = OpenRead(CorpusFile(rel));
    ASSERT_NE(file, nullptr);
    const std::vector<json> groups = GroupsInFileOrder(oracle);
    for (size_t gi = 0; gi < groups.size(); ++gi) {
      const json& g = groups[gi];
      if (g["records"].get<int>() == 0) continue;
      const auto number = static_cast<uint16_t>(gi + 1);
      const json& channels = g["channels"];
      for (size_t ci = 0; ci < channels.size(); ++ci) {
        const json& c = channels[ci];
        SCOPED_TRACE(c["name"].get<std::string>());
        const std::vector<double> got = ReadAll(file, number, static_cast<uint16_t>(ci + 1));
        const OracleRule rule = RuleFor(c);
        if (rule.noNumbers) {
          EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](double v) { return std::isnan(v); }));
        } else {
          ExpectSummary(got, c[rule.summary], rule.map);
        }
      }
    }
    MdfClose(file);
  }
}

}  // namespace

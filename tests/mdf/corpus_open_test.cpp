// The corpus files written by other programs open (or are refused) and their
// block trees match the structure their oracles describe.
#include <gtest/gtest.h>

#include <filesystem>

#include "mdf/ccblock.h"
#include "mdf/mdf.h"
#include "platform/win32/codepage.h"
#include "tests/support/corpus.h"

using namespace mdf;
using nlohmann::json;

namespace {

std::vector<std::string> CorpusMdfFiles() {
  std::vector<std::string> out;
  if (!testsupport::CorpusPresent()) return out;
  for (const auto& e : std::filesystem::directory_iterator(testsupport::CorpusFile("mdf"))) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".json") out.push_back("mdf/" + name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void ExpectChannel(const CCNBlock* cn, const json& o, const std::string& unitKey) {
  SCOPED_TRACE(o.value("name", ""));
  EXPECT_EQ(cn->GetSignalName(), o["name"].get<std::string>());
  EXPECT_EQ(cn->GetChannelType(), o["channel_type"].get<int>());
  EXPECT_EQ(cn->GetNumberOfBits(), o["bits"].get<int>());
  EXPECT_EQ(cn->GetStartOffset(), o["start_bit"].get<int>());
  // A float of more than 32 bits stored as type 2 reads as type 3.
  const int type = o["data_type"].get<int>();
  EXPECT_EQ(cn->GetDataType(), type == 2 && cn->GetNumberOfBits() > 32 ? 3 : type);
  if (o.contains("add_byte_offset")) {
    EXPECT_EQ(cn->GetAdditionalByteOffset(), o["add_byte_offset"].get<int>());
  }
  const CCCBlock* cc = cn->GetConversion();
  int ccType = -1;
  if (o.contains("conversion_type") && !o["conversion_type"].is_null()) ccType = o["conversion_type"].get<int>();
  if (o.contains("conversion") && o["conversion"].is_object()) ccType = o["conversion"]["type"].get<int>();
  if (ccType < 0) {
    // No conversion: none linked, or one that changes nothing.
    if (cc) {
      const bool neutral = cc->GetFileType() == CCCBlock::kIdentity ||
                           (cc->GetFileType() == CCCBlock::kLinear && cc->GetParams()[1] == 1 &&
                            cc->GetParams()[0] == 0);
      EXPECT_TRUE(neutral) << "conversion of type " << cc->GetFileType();
    }
    return;
  }
  ASSERT_NE(cc, nullptr);
  EXPECT_EQ(cc->GetFileType(), ccType);
  if (o.contains(unitKey) && o[unitKey].is_string() && !o[unitKey].get<std::string>().empty()) {
    // Units are given decoded; ours are Windows-1252 bytes.
    EXPECT_EQ(winport::AnsiToUtf8(cc->GetUnit()), o[unitKey].get<std::string>());
  }
}

TEST(CorpusOpen, EveryFileOpensWithTheStructureOfItsOracle) {
  SKIP_WITHOUT_CORPUS();
  const auto files = CorpusMdfFiles();
  ASSERT_FALSE(files.empty());
  for (const std::string& rel : files) {
    SCOPED_TRACE(rel);
    const json oracle = testsupport::LoadOracle(rel);
    CMdf mdf;
    mdf.SetShowMessages(false);
    mdf.SetReaderVersion(CMdf::kViewerReaderVersion);
    const int result = mdf.Open(testsupport::CorpusFile(rel));
    if (rel.find("unsorted") != std::string::npos) {
      EXPECT_EQ(result, 0);
      continue;
    }
    ASSERT_EQ(result, 1) << mdf.GetLastError();

    if (oracle.contains("structure")) {
      const json& groups = oracle["structure"];
      CDGBlock* dg = mdf.GetFirstDG();
      for (const json& g : groups) {
        ASSERT_NE(dg, nullptr);
        EXPECT_EQ(dg->GetIndex(), g["data_group"].get<int>());
        EXPECT_EQ(dg->GetNumberOfChannelGroups(), g["channel_groups"].get<int>());
        EXPECT_EQ(dg->GetNumberOfRecordIds(), g["record_ids"].get<int>());
        CCGBlock* cg = dg->GetFirstCG();
        for (const json& c : g["cg"]) {
          ASSERT_NE(cg, nullptr);
          EXPECT_EQ(cg->GetRecordId(), c["record_id"].get<int>());
          EXPECT_EQ(cg->GetNumberOfChannels(), c["channels"].get<int>());
          EXPECT_EQ(cg->GetRecordSize(), c["record_size"].get<int>());
          EXPECT_EQ(cg->GetNumberOfRecords(), c["records"].get<uint32_t>());
          const CCNBlock* cn = cg->GetFirstCN();
          for (const json& ch : c["channel_list"]) {
            ASSERT_NE(cn, nullptr);
            ExpectChannel(cn, ch, "unit");
            cn = cn->GetNext();
          }
          EXPECT_EQ(cn, nullptr);
          cg = cg->GetNext();
        }
        dg = dg->GetNext();
      }
      EXPECT_EQ(dg, nullptr);
    } else if (oracle.contains("groups")) {
      CDGBlock* dg = mdf.GetFirstDG();
      for (const json& g : oracle["groups"]) {
        ASSERT_NE(dg, nullptr);
        EXPECT_EQ(dg->GetIndex(), g["data_group"].get<int>());
        const CCGBlock* cg = dg->GetFirstCG();
        ASSERT_NE(cg, nullptr);
        EXPECT_EQ(cg->GetRecordId(), g["record_id"].get<int>());
        EXPECT_EQ(cg->GetRecordSize(), g["record_size"].get<int>());
        EXPECT_EQ(cg->GetNumberOfRecords(), g["records"].get<uint32_t>());
        if (g["comment"].is_string()) {
          ASSERT_NE(cg->GetComment(), nullptr);
          EXPECT_EQ(winport::AnsiToUtf8(cg->GetComment()->GetText()), g["comment"].get<std::string>());
        }
        const CCNBlock* cn = cg->GetFirstCN();
        for (const json& ch : g["channels"]) {
          ASSERT_NE(cn, nullptr);
          ExpectChannel(cn, ch, "unit");
          cn = cn->GetNext();
        }
        EXPECT_EQ(cn, nullptr);
        dg = dg->GetNext();
      }
      EXPECT_EQ(dg, nullptr);
    } else if (oracle.contains("channels_in_order")) {
      // A CAN-frame log: one data group with one channel group of the listed channels.
      ASSERT_NE(mdf.GetFirstDG(), nullptr);
      const CCNBlock* cn = mdf.GetFirstDG()->GetFirstCG()->GetFirstCN();
      for (const json& name : oracle["channels_in_order"]) {
        ASSERT_NE(cn, nullptr);
        EXPECT_EQ(cn->GetSignalName(), name.get<std::string>());
        cn = cn->GetNext();
      }
      EXPECT_EQ(cn, nullptr);
    } else {
      ADD_FAILURE() << "oracle without a structure";
    }
  }
}

}  // namespace

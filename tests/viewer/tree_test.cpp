// The block tree of the left pane for fixture files and for the corpus.
#include <filesystem>

#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"
#include "tests/support/corpus.h"
#include "tests/viewer/viewer_fixture.h"

using namespace testsupport;
using viewertest::Child;
using viewertest::ChildLabels;
using viewertest::Label;
using Labels = std::vector<std::string>;

namespace {

class TreeTest : public viewertest::ViewerTest {};

TEST_F(TreeTest, OneGroupOfThreeChannelsGivesTheBareTree) {
  const std::string path = Save(SimpleFileDef(1, 2, 5), "bench run.7.mdf");
  ASSERT_NE(app->OpenDocumentFile(path), nullptr);
  ASSERT_EQ(left->topLevelItemCount(), 1);
  QTreeWidgetItem* root = Root();
  EXPECT_EQ(Label(root), "bench run.7");  // the name without folder and extension
  EXPECT_EQ(ChildLabels(root), (Labels{"ID Block", "Header", "Data group 1"}));
  QTreeWidgetItem* dg = Child(root, "Data group 1");
  EXPECT_EQ(ChildLabels(dg), (Labels{"Channel group 1", "Data"}));
  QTreeWidgetItem* cg = Child(dg, "Channel group 1");
  EXPECT_EQ(ChildLabels(cg), (Labels{"time", "sig1_1", "sig1_2"}));
  for (int i = 0; i < cg->childCount(); ++i) EXPECT_EQ(cg->child(i)->childCount(), 0);
  // Every item stands for its block; the root for the file object.
  EXPECT_EQ(CLeftView::BlockOf(root), left->GetMdf());
  EXPECT_EQ(CLeftView::BlockOf(Child(dg, "Data")), left->GetMdf()->GetFirstDG()->GetDataBlock());
  EXPECT_EQ(frame->windowTitle().toStdString(), "bench run.7.mdf - Skovia");
}

TEST_F(TreeTest, OptionalBlocksGetTheirItemsInOrder) {
  FileDef def = SimpleFileDef(2, 1, 3);
  def.fileComment = "Pr\xFC" "fstand 4";
  def.programData = "private data";
  def.groups[1].comment = "zweite Gruppe";
  ChannelDef& cn = def.groups[1].channels[1];
  cn.comment = "Drehzahl";
  cn.longName = "Engine.Speed";
  cn.displayName = "n_mot";
  cn.cc = CcLinear(2, 1, "1/min");
  cn.ce = CeCan(0x123, 1, "EngineData", "ECU");
  ASSERT_NE(app->OpenDocumentFile(Save(def)), nullptr);
  QTreeWidgetItem* root = Root();
  EXPECT_EQ(ChildLabels(root),
            (Labels{"ID Block", "Header", "Text block", "Program specific", "Data group 1", "Data group 2"}));
  QTreeWidgetItem* cg = Child(Child(root, "Data group 2"), "Channel group 1");
  EXPECT_EQ(ChildLabels(cg), (Labels{"Comment", "time", "sig2_1"}));
  EXPECT_EQ(ChildLabels(Child(cg, "sig2_1")),
            (Labels{"Comment", "ASAM name", "Display name", "Conversion", "Kanalspezifischer Block"}));
  EXPECT_EQ(ChildLabels(Child(Child(root, "Data group 1"), "Channel group 1")), (Labels{"time", "sig1_1"}));
}

TEST_F(TreeTest, ChannelNamesShowInTheirCodePage) {
  FileDef def = SimpleFileDef(1, 1, 1);
  def.groups[0].channels[1].cn.name = "\xD6ltemp_\xB5s";  // Windows-1252
  ASSERT_NE(app->OpenDocumentFile(Save(def)), nullptr);
  EXPECT_EQ(ChildLabels(Child(Child(Root(), "Data group 1"), "Channel group 1")),
            (Labels{"time", "Öltemp_µs"}));
}

// The tree of every corpus file against the structure its oracle gives.
TEST_F(TreeTest, CorpusFilesGiveTheTreeOfTheirOracles) {
  SKIP_WITHOUT_CORPUS();
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(CorpusFile("mdf")))
    if (e.path().extension() != ".json") files.push_back("mdf/" + e.path().filename().string());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  for (const std::string& rel : files) {
    SCOPED_TRACE(rel);
    const nlohmann::json oracle = LoadOracle(rel);
    if (rel.find("unsorted") != std::string::npos) {
      winport::ui::ScriptedAnswers script;
      script.Box(winport::Utf8ToAnsi("Die Datei ist unsortiert.\nBitte sortieren Sie zunächst."));
      script.Box(winport::Utf8ToAnsi("Datei ist ungültig!"));
      ASSERT_NE(app->OpenDocumentFile(CorpusFile(rel)), nullptr);
      EXPECT_TRUE(script.Ok()) << script.Report();
      EXPECT_EQ(Root()->childCount(), 0);
      continue;
    }
    ASSERT_NE(app->OpenDocumentFile(CorpusFile(rel)), nullptr);
    QTreeWidgetItem* root = Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Label(root), std::filesystem::path(rel).stem().string());
    // Per data group: its channel groups, each with the channel names in order.
    std::vector<std::vector<Labels>> groups;
    if (oracle.contains("structure")) {
      for (const auto& g : oracle["structure"]) {
        groups.emplace_back();
        for (const auto& c : g["cg"]) {
          groups.back().emplace_back();
          for (const auto& ch : c["channel_list"]) groups.back().back().push_back(ch["name"]);
        }
      }
    } else if (oracle.contains("channels_in_order")) {  // a CAN-frame log: one group
      groups.push_back({oracle["channels_in_order"].get<Labels>()});
    } else {
      for (const auto& g : oracle["groups"]) {
        const size_t dg = g["data_group"].get<size_t>();
        if (groups.size() < dg) groups.resize(dg);
        groups[dg - 1].emplace_back();
        for (const auto& ch : g["channels"]) groups[dg - 1].back().push_back(ch["name"]);
      }
    }
    // Where the oracle names the file comment and the program block, their items must be there.
    const nlohmann::json header = oracle.contains("header") && oracle["header"].is_object() ? oracle["header"]
                                                                                           : nlohmann::json::object();
    Labels top{"ID Block", "Header"};
    if (header.contains("file_comment") || Child(root, "Text block")) top.push_back("Text block");
    if (header.contains("program_block_text") || Child(root, "Program specific")) top.push_back("Program specific");
    for (size_t g = 0; g < groups.size(); ++g) top.push_back("Data group " + std::to_string(g + 1));
    EXPECT_EQ(ChildLabels(root), top);
    for (size_t g = 0; g < groups.size(); ++g) {
      QTreeWidgetItem* dg = Child(root, "Data group " + std::to_string(g + 1));
      ASSERT_NE(dg, nullptr);
      for (size_t c = 0; c < groups[g].size(); ++c) {
        QTreeWidgetItem* cg = Child(dg, "Channel group " + std::to_string(c + 1));
        ASSERT_NE(cg, nullptr);
        Labels names = ChildLabels(cg);
        std::erase(names, "Comment");
        EXPECT_EQ(names, groups[g][c]);
      }
    }
  }
}

}  // namespace

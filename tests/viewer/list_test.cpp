// The right pane: a block's rows, the record grid of "Data" and the way back.
#include <string>

#include <QHeaderView>

#include "mdf/format.h"
#include "tests/viewer/viewer_fixture.h"

using namespace testsupport;
using viewertest::Child;
using Labels = std::vector<std::string>;

namespace {

class ListTest : public viewertest::ViewerTest {
 protected:
  // Opens `def` and returns the items of its first data group.
  QTreeWidgetItem* OpenGroup(const FileDef& def) {
    path = Save(def);
    EXPECT_NE(app->OpenDocumentFile(path), nullptr);
    return Child(Root(), "Data group 1");
  }
  std::string path;
};

TEST_F(ListTest, StartsWithTheTwoEmptyColumns) {
  EXPECT_EQ(Titles(), (Labels{"Property", "Contents"}));
  EXPECT_EQ(Visible().GetItemCount(), 50);
  EXPECT_EQ(Visible().GetColumnWidth(0), 100);
  EXPECT_EQ(Visible().GetColumnWidth(1), 300);
  EXPECT_EQ(right->Header()->sectionSize(1), 300);
  EXPECT_EQ(Cell(0, 0), "");
}

TEST_F(ListTest, SelectingABlockShowsItsRows) {
  FileDef def = SimpleFileDef(1, 1, 3);
  def.hd.author = "Kim";
  QTreeWidgetItem* dg = OpenGroup(def);
  Select(Root());
  EXPECT_EQ(Cell(0, 0), "Pathname");
  EXPECT_EQ(Cell(0, 1), path);
  EXPECT_EQ(Cell(1, 0), "File size");
  Select(Child(Root(), "Header"));
  EXPECT_EQ(Titles(), (Labels{"Property", "Contents"}));
  EXPECT_EQ(Visible().GetItemCount(), 50);
  EXPECT_EQ(Cell(0, 0), "File Pos.");
  EXPECT_EQ(Cell(0, 1), "64, 0x40");
  bool author = false;
  for (int row = 0; row < 50; ++row) author |= Cell(row, 0) == "Author" && Cell(row, 1) == "Kim";
  EXPECT_TRUE(author);
  // Rows past the block's own stay empty.
  EXPECT_EQ(Cell(49, 0), "");
  Select(Child(Child(dg, "Channel group 1"), "sig1_1"));
  EXPECT_EQ(Cell(0, 0), "File Pos.");
  EXPECT_NE(Cell(0, 1), "64, 0x40");
}

TEST_F(ListTest, ABlockOfMoreThanFiftyRowsShowsItsFirstFifty) {
  FileDef def = SimpleFileDef(1, 1, 1);
  for (int line = 1; line <= 60; ++line) def.fileComment += mdf::StrFormat("line %d\r\n", line);
  OpenGroup(def);
  Select(Child(Root(), "Text block"));
  EXPECT_GT(right->GetHiddenList().GetItemCount(), 50);
  EXPECT_EQ(Visible().GetItemCount(), 50);
  EXPECT_FALSE(Cell(49, 1).empty());
  EXPECT_EQ(Cell(50, 1), "");
}

TEST_F(ListTest, DataShowsOneColumnPerChannelAndARowPerRecord) {
  FileDef def = SimpleFileDef(1, 2, 20);
  def.groups[0].channels[2].cc = CcLinear(0.5, 10);
  QTreeWidgetItem* dg = OpenGroup(def);
  Select(Child(dg, "Data"));
  EXPECT_EQ(Titles(), (Labels{"Index", "time", "sig1_1", "sig1_2"}));
  EXPECT_EQ(Visible().GetItemCount(), 20);
  EXPECT_EQ(Cell(12, 0), "12");
  EXPECT_EQ(Cell(12, 1), "0.12");
  EXPECT_EQ(Cell(12, 2), "12");
  EXPECT_EQ(Cell(13, 3), "23");  // 13 * 2 = 26, times 0.5 plus 10
  EXPECT_EQ(Cell(19, 4), "");    // past the channels
  EXPECT_EQ(Visible().GetColumnWidth(0), 50);
  EXPECT_EQ(Visible().GetColumnWidth(1), 80);

  // Back to a block: "Property" and "Contents" with 50 rows again.
  Select(Child(Child(dg, "Channel group 1"), "sig1_2"));
  EXPECT_EQ(Titles(), (Labels{"Property", "Contents"}));
  EXPECT_EQ(Visible().GetItemCount(), 50);
  EXPECT_EQ(Visible().GetColumnWidth(1), 300);
  EXPECT_EQ(left->GetShownDataBlock(), nullptr);
  EXPECT_EQ(Cell(0, 0), "File Pos.");
}

// A file cut inside its records: the grid has a row per record the file holds.
TEST_F(ListTest, DataOfACutFileShowsTheRecordsItHolds) {
  testsupport::BuiltFile f = testsupport::BuildFile(SimpleFileDef(1, 2, 20));
  f.writer.Truncate(f.groups[0].data + 12 * f.groups[0].recordSize + 5);
  path = dir.File("cut.mdf");
  f.writer.Save(path);
  ASSERT_NE(app->OpenDocumentFile(path), nullptr);
  Select(Child(Child(Root(), "Data group 1"), "Data"));
  EXPECT_EQ(Visible().GetItemCount(), 12);
  EXPECT_EQ(Cell(11, 2), "11");
}

TEST_F(ListTest, TheGridAsksOnlyForTheCellsInSight) {
  constexpr uint32_t kRecords = 300000;
  QTreeWidgetItem* dg = OpenGroup(SimpleFileDef(1, 3, kRecords));
  frame->resize(800, 600);
  Select(Child(dg, "Data"));
  ASSERT_EQ(Visible().GetItemCount(), static_cast<int>(kRecords));
  const long long before = Visible().CellRequests();
  right->grab();
  const long long drawn = Visible().CellRequests() - before;
  EXPECT_GT(drawn, 0);
  EXPECT_LE(drawn, static_cast<long long>(right->RowsPerPage() + 1) * 5);
  // The last record is reached like the first.
  right->SetCurrentRow(kRecords - 1);
  EXPECT_EQ(right->GetTopRow() + right->RowsPerPage() - 1, static_cast<int>(kRecords - 1));
  right->grab();
  EXPECT_EQ(Cell(kRecords - 1, 0), std::to_string(kRecords - 1));
  EXPECT_EQ(Cell(kRecords - 1, 4), std::to_string((uint64_t{kRecords - 1} * 3) % 65536));
}

// Another node, or another file, shows its list from the first row with no
// row selected, whatever the list before showed.
TEST_F(ListTest, AnotherNodeOrFileStartsAtTheTopWithNoRowSelected) {
  QTreeWidgetItem* dg = OpenGroup(SimpleFileDef(1, 2, 1000));
  frame->resize(800, 600);
  auto scrollDown = [&] {
    right->SetCurrentRow(351 < Visible().GetItemCount() ? 351 : Visible().GetItemCount() - 1);
    ASSERT_GT(right->GetTopRow(), 0);
  };
  auto atTop = [&](const char* what) {
    EXPECT_EQ(right->GetTopRow(), 0) << what;
    EXPECT_EQ(right->GetCurrentRow(), -1) << what;
  };
  Select(Child(dg, "Data"));
  atTop("data");
  scrollDown();
  Select(Child(Root(), "Header"));
  atTop("header after data");
  EXPECT_EQ(Cell(right->GetTopRow(), 0), "File Pos.");
  right->SetCurrentRow(3);
  Select(Child(dg, "Data"));
  atTop("data after header");
  scrollDown();
  Select(Child(Child(dg, "Channel group 1"), "sig1_1"));
  atTop("channel after data");
  Select(Child(dg, "Data"));
  scrollDown();
  ASSERT_NE(app->OpenDocumentFile(Save(SimpleFileDef(1, 1, 5), "other.mdf")), nullptr);
  atTop("another file");
  EXPECT_EQ(Cell(0, 0), "Pathname");
}

TEST(CopyHeaderColumns, MakesTheVisibleHeaderLikeTheHiddenOne) {
  struct Case {
    std::vector<std::string> visible, hidden;
  };
  const std::string longTitle(70, 'x');
  for (const Case& c : {Case{{"Property", "Contents"}, {"Index", "a", "b", longTitle}},
                        Case{{"Index", "a", "b", "c"}, {"Property", "Contents"}},
                        Case{{}, {"Property"}}}) {
    mdf::CMemoryList visible, hidden;
    for (const std::string& t : c.visible) visible.InsertColumn(99, t, mdf::ColumnFormat::Left, 7);
    for (size_t i = 0; i < c.hidden.size(); ++i)
      hidden.InsertColumn(99, c.hidden[i], mdf::ColumnFormat::Right, 10 + static_cast<int>(i));
    CopyHeaderColumns(visible, hidden);
    ASSERT_EQ(visible.GetColumnCount(), hidden.GetColumnCount());
    for (int i = 0; i < hidden.GetColumnCount(); ++i) {
      EXPECT_EQ(visible.GetColumnTitle(i), hidden.GetColumnTitle(i).substr(0, 64));
      EXPECT_EQ(visible.GetColumnWidth(i), 10 + i);
    }
  }
}

}  // namespace

// The file information dialog, headless and scripted on fixture files: the
// block tree, the property rows and the record grid, find, column clicks,
// right clicks, the program block's popup, layout and export.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "pellor/dialogs/file_info.h"
#include "pellor/dialogs/resource.h"
#include "platform/ui/headless.h"
#include "platform/ui/menu.h"
#include "platform/win32/registry.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

using namespace winport::ui;
using namespace testsupport;
using Path = std::vector<std::string>;

namespace {

constexpr const char* kCaption = "Information (MDF-Filter v4.74, Original-Datentypen)";

// Three groups of four records. Group 1 (storage group "Engine"): time,
// "Engine Speed" (r x 100 1/min), "Vehicle speed"; its last time value is
// NoValue. Group 2: time, sig2_1, "\xC4nderung". Group 3: no data; its
// comment names a storage group without a TAB. (A data group with a second
// channel group is an unsorted file, which the file model does not open.)
BuiltFile InfoFile(std::optional<std::string> programData = std::nullopt) {
  FileDef def = SimpleFileDef(3, 0, 4, "TESTPROG");
  def.programData = std::move(programData);
  GroupDef& g1 = def.groups[0];
  g1.comment = "Storage group\tEngine\r\nfrom the bench";
  g1.channels[0].value = [](uint32_t r) { return r == 3 ? 1e308 : r * 0.01; };
  ChannelDef engine;
  engine.cn = CnSpec{.name = "Engine Speed", .bits = 16, .dataType = dt::kUInt};
  engine.cc = CcLinear(100, 0, "1/min");
  engine.comment = "rpm";
  engine.value = [](uint32_t r) { return static_cast<double>(r); };
  g1.channels.push_back(engine);
  ChannelDef vehicle;
  vehicle.cn = CnSpec{.name = "Vehicle speed", .bits = 8, .dataType = dt::kUInt};
  vehicle.value = [](uint32_t r) { return 10.0 + r; };
  g1.channels.push_back(vehicle);
  GroupDef& g2 = def.groups[1];
  for (const char* name : {"sig2_1", "\xC4nderung"}) {
    ChannelDef c;
    c.cn = CnSpec{.name = name, .bits = 16, .dataType = dt::kUInt};
    c.value = [](uint32_t r) { return static_cast<double>(r); };
    g2.channels.push_back(c);
  }
  def.groups[2].comment = "Storage group Nothing";
  BuiltFile f = BuildFile(def);
  f.writer.SetLink(f.groups[2].dg, dg::kData, 0);  // group 3 loses its records
  return f;
}

const Path kData1 = {"info", "Data group 1 - Engine", "Data"};
const Path kGroup1 = {"info", "Data group 1 - Engine", "Channel group 1"};
const Path kHeader = {"info", "Header"};

Path Under(Path path, const std::string& label) {
  path.push_back(label);
  return path;
}

class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { winport::SetRegistryPath(dir.File("registry")); }
  void TearDown() override { winport::SetRegistryPath(""); }

  // Writes and opens a file; false when it does not open.
  bool Open(const BuiltFile& f) {
    path = dir.File("info.mdf");
    f.writer.Save(path);
    file = std::make_unique<mdf::CMdf>();
    file->SetShowMessages(false);
    file->SetReaderVersion(mdf::CMdf::kViewerReaderVersion);
    const bool ok = file->Open(path) == 1;
    if (!ok) ADD_FAILURE() << file->GetLastError();
    return ok;
  }

  // Runs the dialog with these actions before OK; further dialogs follow in `more`.
  void Run(std::vector<DialogAction> actions, const std::function<void(ScriptedAnswers&)>& more = {}) {
    ScriptedAnswers script;
    ExpectedDialog e;
    e.text = kCaption;
    e.dialogId = IDD_FILE_INFO;
    e.actions = std::move(actions);
    script.Dialog(e);
    if (more) more(script);
    EXPECT_EQ(ShowFileInfo(file.get()), 1);
    EXPECT_TRUE(script.Ok()) << script.Report();
    log = script.Log();
  }

  TempDir dir;
  std::string path;
  std::unique_ptr<mdf::CMdf> file;
  std::vector<DialogRecord> log;
};

DialogAction Check(std::function<void(CFileInfo&)> fn) {
  return DialogAction::Call([fn](CDialog& d) { fn(static_cast<CFileInfo&>(d)); });
}

std::vector<std::string> Children(CTreeCtrl& tree, HTREEITEM item) {
  std::vector<std::string> labels;
  for (HTREEITEM h = tree.GetChildItem(item); h; h = tree.GetNextSiblingItem(h)) labels.push_back(tree.GetItemText(h));
  return labels;
}

HTREEITEM Find(CTreeCtrl& tree, const Path& path) {
  HTREEITEM item = nullptr;
  HTREEITEM level = tree.GetRootItem();
  for (const std::string& label : path) {
    for (item = level; item && tree.GetItemText(item) != label;) item = tree.GetNextSiblingItem(item);
    if (!item) return nullptr;
    level = tree.GetChildItem(item);
  }
  return item;
}

std::vector<int> Widths(CListCtrl& list) {
  std::vector<int> widths;
  for (int c = 0; c < list.GetColumnCount(); ++c) widths.push_back(list.GetColumnWidth(c));
  return widths;
}

std::vector<std::string> Titles(CListCtrl& list) {
  std::vector<std::string> titles;
  for (int c = 0; c < list.GetColumnCount(); ++c) titles.push_back(list.GetColumnText(c));
  return titles;
}

TEST_F(FileInfoTest, TheTreeHasEveryBlockWithStorageGroupsAndDataOnlyWhereThereAreRecords) {
  ASSERT_TRUE(Open(InfoFile("private data")));
  Run({Check([](CFileInfo& d) {
    CTreeCtrl& t = d.GetTree();
    const HTREEITEM root = t.GetRootItem();
    EXPECT_EQ(t.GetItemText(root), "info");
    EXPECT_EQ(t.GetItemState(root, TVIS_EXPANDED), TVIS_EXPANDED);
    EXPECT_EQ(Children(t, root), (std::vector<std::string>{"ID Block", "Header", "Program specific",
                                                           "Data group 1 - Engine", "Data group 2", "Data group 3"}));
    EXPECT_EQ(Children(t, Find(t, {"info", "Data group 1 - Engine"})),
              (std::vector<std::string>{"Channel group 1", "Data"}));
    EXPECT_EQ(Children(t, Find(t, {"info", "Data group 2"})), (std::vector<std::string>{"Channel group 1", "Data"}));
    EXPECT_EQ(Children(t, Find(t, {"info", "Data group 3"})), std::vector<std::string>{"Channel group 1"});
    EXPECT_EQ(Children(t, Find(t, kGroup1)),
              (std::vector<std::string>{"Comment", "time", "Engine Speed", "Vehicle speed"}));
    EXPECT_EQ(Children(t, Find(t, Under(kGroup1, "Engine Speed"))),
              (std::vector<std::string>{"Comment", "Conversion"}));
    // The root stands for the file, the others for their blocks.
    EXPECT_NE(dynamic_cast<mdf::CMdf*>(reinterpret_cast<mdf::CMdfBase*>(t.GetItemData(root))), nullptr);
    EXPECT_NE(dynamic_cast<mdf::CDataBlock*>(reinterpret_cast<mdf::CMdfBase*>(
                  t.GetItemData(Find(t, {"info", "Data group 2", "Data"})))),
              nullptr);
    // 90 % of the screen (1920 x 1017 headless), 5 % from its corner.
    RECT r;
    d.GetWindowRect(&r);
    EXPECT_EQ(r.left, 96);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 1728);
    EXPECT_EQ(r.bottom - r.top, 916);
    EXPECT_FALSE(d.IsDlgItemEnabled(IDC_INFO_EXPORT));
    EXPECT_EQ(Titles(d.GetList()), (std::vector<std::string>{"Property", "Contents"}));
    EXPECT_EQ(d.GetList().GetItemCount(), 50);
  })});
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].caption, kCaption);
}

TEST_F(FileInfoTest, StorageGroupLabels) {
  struct Case {
    const char* comment;
    const char* label;
  };
  for (const Case& c : {Case{"Storage group\tEngine\r\nmore", "Data group 1 - Engine"},
                        Case{"x Storage group:\tBench 2\nrest", "Data group 1 - Bench 2"},
                        Case{"Storage group\tlast line", "Data group 1 - last line"},
                        Case{"Storage group without tab", "Data group 1"}, Case{"\tStorage group", "Data group 1"},
                        Case{"storage group\tlower", "Data group 1"}}) {
    SCOPED_TRACE(c.comment);
    FileDef def = SimpleFileDef(1, 1, 1, "TESTPROG");
    def.groups[0].comment = c.comment;
    ASSERT_TRUE(Open(BuildFile(def)));
    Run({Check([&](CFileInfo& d) { EXPECT_NE(Find(d.GetTree(), {"info", c.label}), nullptr); })});
  }
}

TEST_F(FileInfoTest, NoFileShowsNothing) {
  ScriptedAnswers script;  // any dialog would be unexpected
  EXPECT_EQ(ShowFileInfo(nullptr), 1);
  EXPECT_TRUE(script.Log().empty());
}

TEST_F(FileInfoTest, DataShowsTheRecordGridAndOtherBlocksTheirRows) {
  ASSERT_TRUE(Open(InfoFile()));
  Run({DialogAction::SelectItem(IDC_INFO_TREE, kData1), DialogAction::ReadCell(IDC_INFO_LIST, 2, 0),
       DialogAction::ReadCell(IDC_INFO_LIST, 2, 2), DialogAction::ReadCell(IDC_INFO_LIST, 3, 1),
       DialogAction::ReadCell(IDC_INFO_LIST, 3, 3), DialogAction::ReadCell(IDC_INFO_LIST, 2, 2),
       Check([](CFileInfo& d) {
         EXPECT_TRUE(d.InDataMode());
         EXPECT_TRUE(d.IsDlgItemEnabled(IDC_INFO_EXPORT));
         EXPECT_EQ(d.GetList().GetItemCount(), 4);
         EXPECT_EQ(Titles(d.GetList()), (std::vector<std::string>{"Index", "time", "Engine Speed", "Vehicle speed"}));
         // Each cell as the data block makes it, kept once made.
         mdf::CDataBlock* data = d.GetShownDataBlock();
         ASSERT_NE(data, nullptr);
         EXPECT_EQ(d.GetList().GetItemText(1, 2), data->GetCellText(1, 2));
         EXPECT_EQ(d.GetCellCache().Find(1, 2).value_or("none"), "100");
         EXPECT_FALSE(d.GetCellCache().Find(0, 2).has_value());
         // A column past the channels gives nothing.
         char buffer[16] = "x";
         NMLVDISPINFO info{};
         info.item = LVITEM{LVIF_TEXT, 1, 4, 0, 0, buffer, sizeof buffer, 0};
         d.OnGetDispInfo(info);
         EXPECT_STREQ(buffer, "");
       }),
       DialogAction::SelectItem(IDC_INFO_TREE, kHeader), DialogAction::ReadCell(IDC_INFO_LIST, 0, 0),
       Check([](CFileInfo& d) {
         EXPECT_FALSE(d.InDataMode());
         EXPECT_FALSE(d.IsDlgItemEnabled(IDC_INFO_EXPORT));
         EXPECT_EQ(Titles(d.GetList()), (std::vector<std::string>{"Property", "Contents"}));
         EXPECT_EQ(Widths(d.GetList()), (std::vector<int>{100, 300}));
         EXPECT_EQ(d.GetList().GetItemCount(), d.GetHiddenList().GetItemCount());
         EXPECT_EQ(d.GetList().GetItemText(1, 1), d.GetHiddenList().GetItemText(1, 1));
         EXPECT_EQ(d.GetList().GetItemText(d.GetHiddenList().GetItemCount(), 0), "");
         EXPECT_EQ(d.GetCellCache().RowsHeld(), 0u);
       })});
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].cells, (std::vector<std::string>{"2", "200", "! 1e+308", "13", "200", "File Pos."}));
}

TEST_F(FileInfoTest, FindWalksTheTreeInOrderAndShowsWhatItFinds) {
  ASSERT_TRUE(Open(InfoFile()));
  struct Case {
    const char* what;
    std::string text;
    int matchCase, wholeText;
    int nexts;                    // "&Weitersuchen" pressed after the search
    std::optional<Path> found;    // the item selected at the end
    int notFound;                 // messages shown
  };
  const Path engine = Under(kGroup1, "Engine Speed"), vehicle = Under(kGroup1, "Vehicle speed");
  const Path change = {"info", "Data group 2", "Channel group 1", "\xC4nderung"};
  const Case cases[] = {
      {"speed without case finds Engine Speed", "speed", 0, 0, 0, engine, 0},
      {"the next match follows in tree order", "speed", 0, 0, 1, vehicle, 0},
      {"after the last match: not found, the selection stays", "speed", 0, 0, 2, vehicle, 1},
      {"whole text: no item is just speed", "speed", 0, 1, 0, std::nullopt, 1},
      {"whole text, any case", "engine SPEED", 0, 1, 0, engine, 0},
      {"match case", "SPEED", 1, 0, 0, std::nullopt, 1},
      {"ASCII letters only fold", "\xE4nderung", 0, 0, 0, std::nullopt, 1},
      {"ASCII letters fold", "\xC4NDERUNG", 0, 0, 0, change, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<DialogAction> actions = {DialogAction::Press(IDC_INFO_FIND)};
    for (int i = 0; i < c.nexts; ++i) actions.push_back(DialogAction::Press(IDC_INFO_FIND_NEXT));
    actions.push_back(Check([&](CFileInfo& d) {
      CTreeCtrl& t = d.GetTree();
      const HTREEITEM selected = t.GetSelectedItem();
      if (!c.found) {
        EXPECT_EQ(selected, nullptr);
        return;
      }
      EXPECT_EQ(selected, Find(t, *c.found));
      // Found in a collapsed branch, it is made visible: every ancestor is expanded.
      for (HTREEITEM p = t.GetParentItem(selected); p; p = t.GetParentItem(p))
        EXPECT_EQ(t.GetItemState(p, TVIS_EXPANDED), TVIS_EXPANDED) << t.GetItemText(p);
      EXPECT_FALSE(d.InDataMode());
      EXPECT_EQ(d.GetList().GetItemText(0, 0), "File Pos.");  // the found channel's rows
    }));
    Run(actions, [&](ScriptedAnswers& s) {
      ExpectedDialog find;
      find.text = "Text Suchen";
      find.dialogId = IDD_FIND;
      find.actions = {DialogAction::Text(IDC_FIND_TEXT, c.text), DialogAction::Check(IDC_FIND_MATCH_CASE, c.matchCase),
                      DialogAction::Check(IDC_FIND_WHOLE_TEXT, c.wholeText)};
      s.Dialog(find);
      for (int i = 0; i < c.notFound; ++i) {
        ExpectedDialog box;
        box.text = "Der angegebene Text wurde nicht gefunden.";
        box.type = MB_ICONINFORMATION;
        s.Box(box);
      }
    });
  }
}

TEST_F(FileInfoTest, FindNextWithoutTextAsksAndTheFindDialogKeepsTheLastSearch) {
  ASSERT_TRUE(Open(InfoFile()));
  Run({DialogAction::Press(IDC_INFO_FIND_NEXT), DialogAction::Press(IDC_INFO_FIND)}, [](ScriptedAnswers& s) {
    ExpectedDialog first;
    first.text = "Text Suchen";
    first.actions = {DialogAction::Text(IDC_FIND_TEXT, "Vehicle"), DialogAction::Check(IDC_FIND_WHOLE_TEXT, 0)};
    s.Dialog(first);
    s.Dialog("Text Suchen", IDCANCEL);
  });
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2].controls[1], std::make_pair(IDC_FIND_TEXT, std::string("Vehicle")));
}

TEST_F(FileInfoTest, ColumnClicksKeepTheIndexTheFirstAndTheClickedChannelThenShowAllAgain) {
  ASSERT_TRUE(Open(InfoFile()));
  const int header = 12 * 6 + 12;  // "Engine Speed" in the headless font
  Run({DialogAction::SelectItem(IDC_INFO_TREE, kData1), DialogAction::ClickColumn(IDC_INFO_LIST, 1),
       DialogAction::ClickColumn(IDC_INFO_LIST, 0),
       Check([](CFileInfo& d) { EXPECT_EQ(Widths(d.GetList()), (std::vector<int>{50, 80, 80, 80})); }),
       DialogAction::ClickColumn(IDC_INFO_LIST, 3),
       Check([](CFileInfo& d) { EXPECT_EQ(Widths(d.GetList()), (std::vector<int>{50, 80, 0, 80})); }),
       DialogAction::ClickColumn(IDC_INFO_LIST, 3),
       Check([&](CFileInfo& d) {
         EXPECT_EQ(Widths(d.GetList()), (std::vector<int>{50, 80, header, 80}));
         EXPECT_EQ(d.GetList().GetScrollX(), 0);
       })});
}

TEST_F(FileInfoTest, ARightClickActsOnTheItemUnderTheCursor) {
  ASSERT_TRUE(Open(InfoFile()));
  struct Case {
    const char* what;
    std::optional<Path> selected;  // selected before
    Path clicked;                  // empty: below the items
    std::optional<std::vector<int>> widths;  // the grid shown, or none
  };
  const Case cases[] = {
      {"a channel of the first channel group", std::nullopt, Under(kGroup1, "Vehicle speed"),
       std::vector<int>{50, 80, 0, 80}},
      {"the first channel keeps all columns", std::nullopt, Under(kGroup1, "time"),
       std::vector<int>{50, 80, 80, 80}},
      {"a channel of another group's first channel group", std::nullopt,
       {"info", "Data group 2", "Channel group 1", "sig2_1"}, std::vector<int>{50, 80, 80, 0}},
      {"a channel of a group without data", std::nullopt, {"info", "Data group 3", "Channel group 1", "time"},
       std::nullopt},
      {"no item and no selection", std::nullopt, {}, std::nullopt},
      {"no item: the selection", Under(kGroup1, "Engine Speed"), {}, std::vector<int>{50, 80, 80, 0}},
      {"a channel item not selected", kHeader, Under(kGroup1, "Engine Speed"), std::vector<int>{50, 80, 80, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<DialogAction> actions;
    if (c.selected) actions.push_back(DialogAction::SelectItem(IDC_INFO_TREE, *c.selected));
    actions.push_back(DialogAction::RightClickItem(IDC_INFO_TREE, c.clicked));
    actions.push_back(Check([&](CFileInfo& d) {
      EXPECT_EQ(d.InDataMode(), c.widths.has_value());
      if (c.widths) {
        EXPECT_EQ(Widths(d.GetList()), *c.widths);
        const mdf::CDGBlock* dg = file->GetFirstDG();
        if (c.clicked.size() > 1 && c.clicked[1] == "Data group 2") dg = dg->GetNext();
        EXPECT_EQ(d.GetShownDataBlock(), dg->GetDataBlock());
      }
      // The tree's selection stays where it was.
      CTreeCtrl& t = d.GetTree();
      EXPECT_EQ(t.GetSelectedItem(), c.selected ? Find(t, *c.selected) : nullptr);
    }));
    // While the grid shows, a right click does nothing.
    actions.push_back(DialogAction::RightClickItem(IDC_INFO_TREE, Under(kGroup1, "time")));
    actions.push_back(Check([&](CFileInfo& d) {
      if (c.widths) {
        EXPECT_EQ(Widths(d.GetList()), *c.widths);
      }
    }));
    Run(actions);
  }
}

TEST_F(FileInfoTest, ThePopupOfTheProgramBlockDeletesOnlyTheSystemsOwnBlock) {
  const std::string own = TimeInfoData({TimeInfoRecordBytes({.key = 0, .max = 9.5, .fac = 0.01})});
  struct Case {
    const char* what;
    std::string data;
    UINT command;
    bool unlinked;
  };
  for (const Case& c : {Case{"own time information", own, ID_PR_DELETE, true},
                        Case{"own time information, menu dismissed", own, 0, false},
                        Case{"a foreign program block", "private data of another writer", ID_PR_DELETE, false}}) {
    SCOPED_TRACE(c.what);
    const BuiltFile f = InfoFile(c.data);
    ASSERT_TRUE(Open(f));
    Run({DialogAction::SelectItem(IDC_INFO_TREE, {"info", "Program specific"}),
         DialogAction::RightClickItem(IDC_INFO_TREE, {"info", "Program specific"})},
        [&](ScriptedAnswers& s) { s.Popup(c.command); });
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].kind, DialogKind::PopupMenu);
    EXPECT_EQ(log[1].flags, TPM_RETURNCMD | TPM_NONOTIFY);
    ASSERT_EQ(log[1].controls.size(), 1u);
    EXPECT_EQ(log[1].controls[0], std::make_pair(ID_PR_DELETE, mdf::Ansi("PR-Block löschen")));
    const std::string bytes = ReadFileBytes(path);
    uint32_t link = 0;
    std::memcpy(&link, bytes.data() + f.hd + hd::kProgram, 4);
    EXPECT_EQ(link, c.unlinked ? 0u : f.program);
  }
}

TEST_F(FileInfoTest, OnSizeLaysOutTreeListAndButtons) {
  ASSERT_TRUE(Open(InfoFile()));
  struct Case {
    int w, h;
  };
  auto check = [](CFileInfo& d, int w, int h) {
    const int bh = 23;  // 14 dialog units
    const int pane = h - bh - 16;
    auto rect = [&](int id) { return d.GetDlgItemRect(id); };
    auto expect = [&](int id, int l, int t, int r, int b) {
      const RECT got = rect(id);
      EXPECT_EQ(std::vector<LONG>({got.left, got.top, got.right, got.bottom}), std::vector<LONG>({l, t, r, b}))
          << "control " << id;
    };
    expect(IDC_INFO_TREE, 8, 8, 8 + w / 3, 8 + pane);
    expect(IDC_INFO_LIST, w / 3 + 16, 8, w - 8, 8 + pane);
    const int top = h - bh - 4;
    expect(IDC_INFO_FIND, 8, top, 8 + 75, top + bh);
    expect(IDC_INFO_FIND_NEXT, 8 + 75 + 8, top, 8 + 75 + 8 + 83, top + bh);
    expect(IDC_INFO_EXPORT, w / 3 + 16, top, w / 3 + 16 + 75, top + bh);
    expect(IDOK, w - 8 - 75, top, w - 8, top + bh);
  };
  Run({Check([&](CFileInfo& d) { check(d, 1728, 916); }), DialogAction::Resize(900, 500),
       Check([&](CFileInfo& d) { check(d, 900, 500); })});
}

TEST_F(FileInfoTest, ExportWritesTheShownGroup) {
  ASSERT_TRUE(Open(InfoFile()));
  const std::string out = dir.File("group1.csv");
  Run({DialogAction::SelectItem(IDC_INFO_TREE, kData1), DialogAction::Press(IDC_INFO_EXPORT)},
      [&](ScriptedAnswers& s) {
        s.FileDialog(out).Box(mdf::StrFormat(mdf::Ansi("Die Datei %s wurde erfolgreich exportiert!").c_str(), out.c_str()));
      });
  const std::string csv = ReadFileBytes(out);
  // Without regional settings the list separator is ';'.
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "time;Engine Speed;Vehicle speed");
  EXPECT_NE(csv.find("\n0.02;200;12\n"), std::string::npos) << csv;
}

TEST_F(FileInfoTest, AGridOfMoreThanFourBillionCellsKeepsItsCacheWithinBounds) {
  // 300 channels; the channel group claims 2^24 records, the file holds two.
  FileDef def = SimpleFileDef(1, 299, 2, "TESTPROG");
  BuiltFile f = BuildFile(def);
  f.writer.PatchU32(f.groups[0].cg + cg::kRecordCount, 1u << 24);
  ASSERT_TRUE(Open(f));
  ASSERT_GT(uint64_t{300} << 24, uint64_t{1} << 32);
  Run({DialogAction::SelectItem(IDC_INFO_TREE, {"info", "Data group 1", "Data"}),
       DialogAction::ReadCell(IDC_INFO_LIST, 1, 2), DialogAction::ReadCell(IDC_INFO_LIST, (1 << 24) - 1, 300),
       Check([](CFileInfo& d) {
         EXPECT_EQ(d.GetList().GetItemCount(), 1 << 24);
         const CCellCache& cache = d.GetCellCache();
         EXPECT_LE(cache.CellCapacity(), CCellCache::kMaxCells);
         EXPECT_EQ(cache.RowCapacity(), CCellCache::kMaxCells / 300);
         // Rows far beyond what the cache holds: it keeps the most recent ones.
         const int rows = static_cast<int>(cache.RowCapacity()) + 500;
         for (int r = 0; r < rows; ++r) d.GetList().GetItemText(r * 997, 1 + r % 300);
         EXPECT_EQ(cache.RowsHeld(), cache.RowCapacity());
         EXPECT_TRUE(cache.Find(static_cast<uint32_t>((rows - 1) * 997), 1 + (rows - 1) % 300).has_value());
         EXPECT_FALSE(cache.Find(0, 1).has_value());
       })});
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].cells, (std::vector<std::string>{"1", ""}));
}

}  // namespace

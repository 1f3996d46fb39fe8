// Tree views, report lists, popup menus, window rectangles and the other
// parts of the dialog layer that the import module's dialogs use, headless.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/commctrl.h"
#include "platform/ui/filedialog.h"
#include "platform/ui/headless.h"
#include "platform/ui/menu.h"
#include "tests/platform/controls_dialog.h"

using namespace winport::ui;
using namespace platformtest;

namespace {

// Runs the dialog with these actions before OK; the log's cells.
std::vector<std::string> RunDialog(ControlsDialog& dialog, std::vector<DialogAction> actions) {
  ScriptedAnswers script;
  ExpectedDialog e;
  e.text = "Controls";
  e.actions = std::move(actions);
  script.Dialog(e);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  return script.Log().empty() ? std::vector<std::string>{} : script.Log()[0].cells;
}

DialogAction Check(std::function<void(ControlsDialog&)> fn) {
  return DialogAction::Call([fn](CDialog& d) { fn(static_cast<ControlsDialog&>(d)); });
}

TEST(TreeModel, KeepsOrderAndFindsItemsByTheirLabels) {
  TreeModel m;
  const HTREEITEM r = m.Insert("r", 0, TVI_ROOT, TVI_LAST);
  const HTREEITEM b = m.Insert("b", 0, r, TVI_LAST);
  const HTREEITEM a = m.Insert("a", 0, r, TVI_FIRST);
  const HTREEITEM c = m.Insert("c", 0, r, b);  // after b
  const HTREEITEM ab = m.Insert("ab", 0, r, a);  // between a and b
  std::vector<std::string> order;
  for (HTREEITEM h = m.Child(r); h; h = m.Next(h)) order.push_back(m.Text(h));
  EXPECT_EQ(order, (std::vector<std::string>{"a", "ab", "b", "c"}));
  EXPECT_EQ(m.Previous(ab), a);
  EXPECT_EQ(m.Parent(c), r);
  EXPECT_EQ(m.Find({"r", "b"}), b);
  EXPECT_EQ(m.Find({"r", "x"}), nullptr);
  EXPECT_EQ(m.Insert("x", 0, reinterpret_cast<HTREEITEM>(uintptr_t{99}), TVI_LAST), nullptr);
  // Only what lies below expanded items is shown.
  const HTREEITEM deep = m.Insert("deep", 0, b, TVI_LAST);
  EXPECT_EQ(m.VisibleItems(), std::vector<HTREEITEM>{r});
  EXPECT_EQ(m.RowOf(deep), -1);
  m.SetExpanded(r, true);
  EXPECT_EQ(m.VisibleItems(), (std::vector<HTREEITEM>{r, a, ab, b, c}));
  m.SetExpanded(b, true);
  EXPECT_EQ(m.RowOf(deep), 4);
  EXPECT_EQ(m.RowOf(c), 5);
}

TEST(TreeView, SelectionNotifiesTheBoundTreeOnceAndEnsureVisibleExpandsAndScrolls) {
  ControlsDialog d;
  RunDialog(d, {Check([](ControlsDialog& d) {
            EXPECT_TRUE(d.tree.SelectItem(d.a1));
            EXPECT_TRUE(d.tree.SelectItem(d.a1));  // no change, no notification
            ASSERT_EQ(d.tree.changes.size(), 1u);
            EXPECT_EQ(d.tree.changes[0].from, nullptr);
            EXPECT_EQ(d.tree.changes[0].to, d.a1);
            EXPECT_EQ(d.tree.changes[0].action, TVC_UNKNOWN);
            // The tree took it: the dialog never saw one.
            EXPECT_EQ(std::count(d.notified.begin(), d.notified.end(), TVN_SELCHANGED), 0);
            EXPECT_EQ(d.tree.GetItemState(d.a1, TVIS_SELECTED), TVIS_SELECTED);
            EXPECT_EQ(d.tree.GetItemState(d.root, TVIS_EXPANDED), 0u);
            EXPECT_TRUE(d.tree.EnsureVisible(d.a1));
            EXPECT_EQ(d.tree.GetItemState(d.root, TVIS_EXPANDED), TVIS_EXPANDED);
            EXPECT_EQ(d.tree.GetItemState(d.a, TVIS_EXPANDED), TVIS_EXPANDED);
            RECT r;
            ASSERT_TRUE(d.tree.GetItemRect(d.a1, &r, TRUE));
            EXPECT_EQ(d.tree.HitTest(POINT{3, (r.top + r.bottom) / 2}), d.a1);
            UINT flags = 0;
            EXPECT_EQ(d.tree.HitTest(POINT{3, r.bottom + 40}, &flags), nullptr);
            EXPECT_EQ(flags, TVHT_NOWHERE);
            EXPECT_EQ(d.tree.GetItemData(d.b), 3u);
            EXPECT_EQ(d.tree.GetCount(), 4u);
          }),
          DialogAction::SelectItem(kTree, {"root", "b"}), Check([](ControlsDialog& d) {
            ASSERT_EQ(d.tree.changes.size(), 2u);
            EXPECT_EQ(d.tree.changes[1].from, d.a1);
            EXPECT_EQ(d.tree.changes[1].to, d.b);
            EXPECT_EQ(d.tree.changes[1].action, TVC_BYMOUSE);
          })});
}

TEST(TreeView, ScriptedRightClicksPutTheCursorOnTheItemOrBelowTheItems) {
  ControlsDialog d;
  RunDialog(d, {DialogAction::RightClickItem(kTree, {"root", "a", "a1"}), DialogAction::RightClickItem(kTree, {})});
  EXPECT_EQ(d.rightClicked, (std::vector<HTREEITEM>{d.a1, nullptr}));
  // The right click changed no selection.
  EXPECT_TRUE(d.tree.changes.empty());
}

TEST(TreeView, AScriptOnAnItemThatIsNotThereFails) {
  std::vector<std::string> reported;
  Headless().SetFailureHandler([&](const std::string& f) { reported.push_back(f); });
  {
    ScriptedAnswers script;
    ExpectedDialog e;
    e.text = "Controls";
    e.actions = {DialogAction::SelectItem(kTree, {"root", "zz"}), DialogAction::ClickColumn(kList, 7),
                 DialogAction::ReadCell(kList, 1000, 0), DialogAction::SelectItem(kList, {"root"})};
    script.Dialog(e);
    ControlsDialog d;
    d.DoModal();
  }
  Headless().SetFailureHandler(nullptr);
  ASSERT_EQ(reported.size(), 4u);
  EXPECT_NE(reported[0].find("has no item \"root / zz\""), std::string::npos) << reported[0];
  EXPECT_NE(reported[1].find("has no column 7"), std::string::npos) << reported[1];
  EXPECT_NE(reported[2].find("has no cell 1000, 0"), std::string::npos) << reported[2];
  EXPECT_NE(reported[3].find("is no tree view"), std::string::npos) << reported[3];
}

TEST(ReportList, AsksItsOwnerForEachCellAndSendsHeaderClicks) {
  ControlsDialog d;
  const std::vector<std::string> cells =
      RunDialog(d, {DialogAction::ReadCell(kList, 999, 1), DialogAction::ClickColumn(kList, 1),
              Check([](ControlsDialog& d) {
                EXPECT_EQ(d.list.GetItemText(3, 0), "r3c0");
                EXPECT_EQ(d.list.GetItemText(1000, 0), "");  // past the rows: the owner is not asked
                EXPECT_EQ(d.list.GetItemText(0, 2), "");
                // A text longer than the list's buffer is cut to it.
                const std::string longText(400, 'x');
                d.cellText = longText.c_str();
                EXPECT_EQ(d.list.GetItemText(0, 0), std::string(259, 'x'));
                d.cellText = nullptr;
              })});
  EXPECT_EQ(cells, std::vector<std::string>{"r999c1"});
  EXPECT_EQ(d.clicked, std::vector<int>{1});
}

TEST(ReportList, ColumnsWidthsScrollingAndRows) {
  ControlsDialog d;
  RunDialog(d, {Check([](ControlsDialog& d) {
    CListCtrl& l = d.list;
    EXPECT_EQ(l.GetColumnCount(), 2);
    EXPECT_EQ(l.GetColumnText(1), "Speed");
    EXPECT_EQ(l.GetColumnFormat(1), LVCFMT_RIGHT);
    EXPECT_EQ(l.InsertColumn(99, "Torque"), 2);  // appended, sized to its heading
    EXPECT_EQ(l.GetColumnWidth(2), 6 * 6 + 12);  // headless: the dialog font's average width per character
    EXPECT_TRUE(l.SetColumnWidth(1, 0));
    EXPECT_EQ(l.GetColumnWidth(1), 0);
    EXPECT_TRUE(l.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER));
    EXPECT_EQ(l.GetColumnWidth(1), 5 * 6 + 12);
    EXPECT_TRUE(l.SetColumnWidth(0, LVSCW_AUTOSIZE));  // the widest shown cell "r<row>c0"
    EXPECT_EQ(l.GetColumnWidth(0), static_cast<int>(("r" + std::to_string(l.GetCountPerPage()) + "c0").size()) * 6 + 12);
    EXPECT_FALSE(l.SetColumnWidth(5, 10));
    EXPECT_TRUE(l.DeleteColumn(2));
    EXPECT_FALSE(l.DeleteColumn(2));

    // The list is 160 dialog units (260 px) high: 16 rows of 16 px below the header.
    EXPECT_EQ(l.GetCountPerPage(), 260 / 16 - 1);
    EXPECT_TRUE(l.EnsureVisible(500, FALSE));
    EXPECT_EQ(l.GetTopIndex(), 500 - l.GetCountPerPage() + 1);
    EXPECT_TRUE(l.Scroll(SIZE{0, -16 * 10}));
    EXPECT_EQ(l.GetTopIndex(), 500 - l.GetCountPerPage() + 1 - 10);
    EXPECT_TRUE(l.Scroll(SIZE{0, 16 * 100000}));
    EXPECT_EQ(l.GetTopIndex(), 1000 - l.GetCountPerPage());
    // Columns as wide as the list cannot scroll; wider ones can, up to their end.
    EXPECT_TRUE(l.Scroll(SIZE{50, 0}));
    EXPECT_EQ(l.GetScrollX(), 0);
    l.SetColumnWidth(1, 1000);
    EXPECT_TRUE(l.Scroll(SIZE{1 << 20, 0}));
    EXPECT_EQ(l.GetScrollX(), l.GetColumnWidth(0) + 1000 - 275);  // the columns' width - the list's (183 units)
    EXPECT_TRUE(l.Scroll(SIZE{-(1 << 30), 0}));
    EXPECT_EQ(l.GetScrollX(), 0);

    EXPECT_TRUE(l.SetSelectionMark(999));
    EXPECT_TRUE(l.SetItemCount(10));  // the selection past the rows goes
    EXPECT_EQ(l.GetSelectionMark(), -1);
    EXPECT_EQ(l.GetTopIndex(), 9);
    EXPECT_TRUE(l.DeleteAllItems());
    EXPECT_EQ(l.GetItemCount(), 0);
    EXPECT_EQ(l.GetExtendedStyle(), 0u);
    l.SetExtendedStyle(LVS_EX_GRIDLINES);
    EXPECT_EQ(l.GetExtendedStyle(), LVS_EX_GRIDLINES);
  })});
}

TEST(Controls, ObjectsNotBoundOrUnboundDoNothing) {
  CTreeCtrl tree;
  CListCtrl list;
  EXPECT_EQ(tree.InsertItem("x"), nullptr);
  EXPECT_EQ(list.InsertColumn(0, "x"), -1);
  EXPECT_EQ(list.GetItemText(0, 0), "");
  ControlsDialog d;
  RunDialog(d, {});
  // The window ended: the dialog's control objects are free again.
  EXPECT_EQ(d.tree.GetParent(), nullptr);
  EXPECT_EQ(d.tree.GetRootItem(), nullptr);
  EXPECT_FALSE(d.list.SetItemCount(5));
}

TEST(PopupMenu, ReturnsTheScriptedCommandOrSendsIt) {
  ScriptedAnswers script;
  script.Popup(12).Popup(0).Popup(13).Popup(11);
  CMenu menu;
  ASSERT_TRUE(menu.CreatePopupMenu());
  menu.AppendMenu(MF_STRING, 11, "&Eins");
  menu.AppendMenu(MF_SEPARATOR);
  menu.AppendMenu(MF_STRING, 12, "Zwei");
  menu.AppendMenu(MF_STRING | MF_GRAYED, 13, "Drei");
  EXPECT_EQ(GetMenuItemCount(menu.GetSafeHmenu()), 4);
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD | TPM_NONOTIFY, 10, 20, nullptr), 12);
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 10, 20, nullptr), 0);  // dismissed
  std::vector<std::string> reported;
  Headless().SetFailureHandler([&](const std::string& f) { reported.push_back(f); });
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 10, 20, nullptr), 0);  // a grayed command cannot be chosen
  Headless().SetFailureHandler(nullptr);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("no enabled command 13"), std::string::npos);
  // Without TPM_RETURNCMD the command goes to the owner as WM_COMMAND.
  ControlsDialog d;
  d.init = [&](ControlsDialog& self) {
    EXPECT_EQ(menu.TrackPopupMenu(0, 0, 0, self.GetSafeHwnd()), TRUE);
  };
  script.Dialog("Controls", IDOK);
  d.DoModal();
  EXPECT_EQ(d.commands, (std::vector<int>{11, IDOK}));
  const std::vector<DialogRecord> log = script.Log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].kind, DialogKind::PopupMenu);
  EXPECT_EQ(log[0].controls[2], std::make_pair(12, std::string("Zwei")));
  EXPECT_EQ(log[0].result, 12);
  menu.DestroyMenu();
  EXPECT_EQ(GetMenuItemCount(menu.GetSafeHmenu()), -1);
}

TEST(Windows, RectanglesMovesAndSizes) {
  ControlsDialog d;
  d.init = [](ControlsDialog& self) {
    // 300 x 200 dialog units in 6 x 13 base units, at the screen's corner.
    RECT r;
    ASSERT_TRUE(self.GetWindowRect(&r));
    EXPECT_EQ(r.right - r.left, 450);
    EXPECT_EQ(r.bottom - r.top, 325);
    EXPECT_TRUE(self.sizes.empty());  // no size change yet
    ASSERT_TRUE(self.MoveWindow(100, 50, 640, 480));
    ASSERT_TRUE(self.MoveWindow(120, 60, 640, 480));  // a move alone sends no WM_SIZE
    ASSERT_EQ(self.sizes.size(), 1u);
    EXPECT_EQ(self.sizes[0].cx, 640);
    EXPECT_EQ(self.sizes[0].cy, 480);
    // Children are placed in the dialog's client coordinates and report screen ones.
    EXPECT_EQ(self.GetDlgItemRect(kTree).left, 11);  // 7 units
    self.MoveDlgItem(kTree, RECT{8, 9, 108, 209});
    ASSERT_TRUE(self.tree.GetWindowRect(&r));
    EXPECT_EQ(r.left, 128);
    EXPECT_EQ(r.top, 69);
    EXPECT_EQ(r.right, 228);
    ASSERT_TRUE(self.tree.GetClientRect(&r));
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.bottom, 200);
    POINT p{130, 70};
    ASSERT_TRUE(ScreenToClient(self.tree.GetSafeHwnd(), &p));
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, 1);
    ASSERT_TRUE(ClientToScreen(self.tree.GetSafeHwnd(), &p));
    EXPECT_EQ(p.x, 130);
  };
  RunDialog(d, {DialogAction::Resize(800, 600)});
  ASSERT_EQ(d.sizes.size(), 2u);
  EXPECT_EQ(d.sizes[1].cx, 800);
  EXPECT_EQ(d.sizes[1].cy, 600);
  RECT r;
  EXPECT_FALSE(GetWindowRect(d.GetSafeHwnd(), &r));  // the window is gone
}

TEST(Windows, MessagesReachTheDialogAndTheScreenHasFixedSizesHeadless) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  EXPECT_EQ(GetSystemMetrics(SM_CXFULLSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN), 1017);
  EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
  EXPECT_EQ(GetSystemMetrics(12345), 0);
  EXPECT_EQ(SendMessageA(nullptr, WM_COMMAND, IDOK, 0), 0);

  ControlsDialog d;
  d.init = [](ControlsDialog& self) { SendMessageA(self.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); };
  ScriptedAnswers script;
  script.Dialog("Controls", IDOK);
  EXPECT_EQ(d.DoModal(), IDCANCEL);  // WM_COMMAND IDCANCEL ended it before the script's OK
  EXPECT_EQ(d.commands, std::vector<int>{IDCANCEL});
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST(DialogFields, NumbersShowAsFifteenDigitsAndOnlyNumbersAreTakenBack) {
  struct Case {
    double shown;
    const char* text;
  };
  for (const Case& c : {Case{0.1, "0.1"}, Case{1e-5, "1e-05"}, Case{123456789012345678.0, "1.23456789012346e+17"},
                        Case{-2.5, "-2.5"}, Case{0, "0"}}) {
    ControlsDialog d;
    d.value = c.shown;
    RunDialog(d, {Check([&](ControlsDialog& self) { EXPECT_EQ(self.GetDlgItemText(kValue), c.text); })});
  }
  for (const char* good : {" 2.5 ", "+3", "1e3", "-0.25"}) {
    ControlsDialog d;
    RunDialog(d, {DialogAction::Text(kValue, good)});
    EXPECT_EQ(d.value, std::stod(good)) << good;
  }
  for (const char* bad : {"abc", "1,5", "", "2.5x", " "}) {
    SCOPED_TRACE(bad);
    ControlsDialog d;
    ScriptedAnswers script;
    ExpectedDialog e;
    e.text = "Controls";
    e.actions = {DialogAction::Text(kValue, bad), DialogAction::Press(IDOK), DialogAction::Text(kValue, "7")};
    script.Dialog(e).Box("Bitte geben Sie eine Zahl ein.");
    EXPECT_EQ(d.DoModal(), IDOK);  // open after the bad text, closed by the second OK
    EXPECT_EQ(d.value, 7);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
}

TEST(FileDialogFolder, TheInitialFolderReachesTheBackend) {
  ScriptedAnswers script;
  script.FileDialog("/tmp/x.ini");
  CFileDialog dialog(TRUE, "ini", nullptr, OFN_HIDEREADONLY, "Status-Dateien (*.ini)|*.ini||");
  dialog.SetInitialDir("/data/can");
  EXPECT_EQ(dialog.DoModal(), IDOK);
  ASSERT_EQ(script.Log().size(), 1u);
  EXPECT_EQ(script.Log()[0].initialDir, "/data/can");
}

}  // namespace

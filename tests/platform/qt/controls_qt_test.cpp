// The Qt backend draws tree views, report lists with owner data and popup
// menus, resizes dialogs with WM_SIZE and reports the screen, on Qt's
// offscreen platform.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTableView>
#include <QTreeWidget>

#include "platform/ui/commctrl.h"
#include "platform/ui/filedialog.h"
#include "platform/ui/menu.h"
#include "platform/ui/qt/qt_backend.h"
#include "tests/platform/controls_dialog.h"
#include "tests/support/qt_offscreen.h"

using namespace winport::ui;
using namespace platformtest;
using testsupport::WhenShown;

namespace {

// The shared test dialog, as a user sees it: its tree opened, many rows, grid lines.
void Prepare(ControlsDialog& d) {
  d.init = [](ControlsDialog& self) {
    self.tree.Expand(self.root, TVE_EXPAND);
    self.list.SetExtendedStyle(LVS_EX_GRIDLINES);
    self.list.SetItemCount(100000);
  };
}

class QtControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::OffscreenApplication("test_platform_qt");
    backend = std::make_unique<QtBackend>();
    SetBackend(backend.get());
  }
  void TearDown() override {
    SetBackend(nullptr);
    backend.reset();
  }
  std::unique_ptr<QtBackend> backend;
};

QTreeWidgetItem* ItemWithText(QTreeWidget* tree, const QString& text) {
  const QList<QTreeWidgetItem*> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

TEST_F(QtControlsTest, TreeItemsSelectionsAndRightClicks) {
  ControlsDialog dlg;
  Prepare(dlg);
  WhenShown<QDialog>([&](QDialog* window) {
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("control401"));
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("root"));
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(1)->text(0), QStringLiteral("b"));
    EXPECT_EQ(root->child(0)->child(0)->text(0), QStringLiteral("a1"));
    // The program's selection shows without a second notification; the user's notifies.
    dlg.tree.SelectItem(dlg.a);
    EXPECT_EQ(tree->currentItem(), ItemWithText(tree, QStringLiteral("a")));
    tree->setCurrentItem(ItemWithText(tree, QStringLiteral("b")));
    ASSERT_EQ(dlg.tree.changes.size(), 2u);
    EXPECT_EQ(dlg.tree.changes[0].to, dlg.a);
    EXPECT_EQ(dlg.tree.changes[0].action, TVC_UNKNOWN);
    EXPECT_EQ(dlg.tree.changes[1].to, dlg.b);
    EXPECT_EQ(dlg.tree.changes[1].action, TVC_BYMOUSE);
    EXPECT_EQ(dlg.tree.GetSelectedItem(), dlg.b);
    // A right click on "a" finds "a" under the cursor and leaves the selection.
    const QRect itemRect = tree->visualItemRect(ItemWithText(tree, QStringLiteral("a")));
    const QPoint at = itemRect.center();
    QMouseEvent press(QEvent::MouseButtonPress, at, tree->viewport()->mapToGlobal(at), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &press);
    const QPoint below(5, tree->viewport()->height() - 2);
    QMouseEvent pressBelow(QEvent::MouseButtonPress, below, tree->viewport()->mapToGlobal(below), Qt::RightButton,
                           Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &pressBelow);
    EXPECT_EQ(dlg.rightClicked, (std::vector<HTREEITEM>{dlg.a, nullptr}));
    EXPECT_EQ(dlg.tree.GetSelectedItem(), dlg.b);
    // Collapsing by the user reaches the tree's state.
    root->setExpanded(false);
    EXPECT_EQ(dlg.tree.GetItemState(dlg.root, TVIS_EXPANDED), 0u);
    dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(QtControlsTest, ReportListDrawsOnlyWhatItShowsAndSendsHeaderClicks) {
  ControlsDialog dlg;
  Prepare(dlg);
  WhenShown<QDialog>([&](QDialog* window) {
    auto* table = window->findChild<QTableView*>(QStringLiteral("control402"));
    ASSERT_NE(table, nullptr);
    QAbstractItemModel* model = table->model();
    EXPECT_EQ(model->rowCount(), 100000);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Speed"));
    EXPECT_EQ(model->data(model->index(99999, 1)).toString(), QStringLiteral("r99999c1"));
    EXPECT_TRUE(table->showGrid());
    EXPECT_EQ(table->columnWidth(1), 80);
    dlg.asked = 0;
    table->grab();
    EXPECT_GT(dlg.asked, 0);
    EXPECT_LT(dlg.asked, 2 * 40);  // the rows in view, not the hundred thousand
    table->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(dlg.clicked, std::vector<int>{1});
    dlg.list.SetColumnWidth(1, 0);
    EXPECT_EQ(table->columnWidth(1), 0);
    dlg.list.SetColumnWidth(1, LVSCW_AUTOSIZE_USEHEADER);
    EXPECT_EQ(table->columnWidth(1),
              QFontMetrics(table->font()).horizontalAdvance(QStringLiteral("Speed")) + 12);
    dlg.list.SetItemCount(3);
    EXPECT_EQ(model->rowCount(), 3);
    dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(QtControlsTest, DialogsAreResizedWithWmSizeAndControlsMoved) {
  ControlsDialog dlg;
  WhenShown<QDialog>([&](QDialog* window) {
    const BaseUnits units = DialogBaseUnits(window->font());
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("control401"));
    const RECT placed = PlaceControl(7, 7, 100, 160, units.x, units.y);
    EXPECT_EQ(tree->geometry(), QRect(placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top));
    window->resize(700, 480);  // as the user drags the frame
    ASSERT_FALSE(dlg.sizes.empty());
    EXPECT_EQ(dlg.sizes.back().cx, 700);
    EXPECT_EQ(dlg.sizes.back().cy, 480);
    RECT r;
    dlg.GetClientRect(&r);
    EXPECT_EQ(r.right, 700);
    dlg.MoveDlgItem(kTree, RECT{8, 8, 208, 308});
    EXPECT_EQ(tree->geometry(), QRect(8, 8, 200, 300));
    dlg.MoveWindow(40, 30, 500, 400);
    EXPECT_EQ(window->size(), QSize(500, 400));
    EXPECT_EQ(dlg.sizes.back().cx, 500);
    dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(QtControlsTest, PopupMenuReturnsTheChosenCommand) {
  QTimer::singleShot(0, [] {
    QMenu* menu = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) menu = m;
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_TRUE(menu->actions().at(1)->isSeparator());
    EXPECT_FALSE(menu->actions().at(2)->isEnabled());
    // The user picks the first command with the keyboard.
    menu->setActiveAction(menu->actions().at(0));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(menu, &enter);
  });
  QTimer::singleShot(20000, [] {  // a menu left open must not hang the test
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<QMenu*>(w)) w->hide();
  });
  CMenu menu;
  menu.CreatePopupMenu();
  menu.AppendMenu(MF_STRING, 255, "PR-Block l\xF6schen");
  menu.AppendMenu(MF_SEPARATOR);
  menu.AppendMenu(MF_STRING | MF_GRAYED, 256, "Nichts");
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD | TPM_NONOTIFY, 50, 50, nullptr), 255);
}

TEST_F(QtControlsTest, ScreenMetricsComeFromTheScreen) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screen->geometry().width());
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), screen->geometry().height());
  EXPECT_EQ(GetSystemMetrics(SM_CXFULLSCREEN), screen->availableGeometry().width());
  EXPECT_LE(GetSystemMetrics(SM_CYFULLSCREEN), screen->availableGeometry().height());
  EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), static_cast<int>(QGuiApplication::screens().size()));
}

TEST_F(QtControlsTest, FileDialogOpensInTheInitialFolder) {
  const QString folder = QDir::tempPath();
  WhenShown<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->directory().absolutePath(), QDir(folder).absolutePath());
    dialog->reject();
  });
  CFileDialog dialog(TRUE, "ini", nullptr, OFN_HIDEREADONLY, "Status-Dateien (*.ini)|*.ini||");
  dialog.SetInitialDir(folder.toStdString());
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

}  // namespace

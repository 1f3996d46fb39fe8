// The CAN database choice and the file information dialog drawn by the Qt
// backend on the offscreen platform, with a picture of each kept in the build folder.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QListWidget>
#include <QTabBar>
#include <QTableView>
#include <QTreeWidget>

#include "mdf/mdf.h"
#include "pellor/dialogs/can_dlg.h"
#include "pellor/dialogs/file_info.h"
#include "pellor/dialogs/resource.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/win32/registry.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/qt_offscreen.h"
#include "tests/support/temp_dir.h"

using namespace winport::ui;
using testsupport::WhenShown;

namespace {

class QtDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::OffscreenApplication("test_pellor_dialogs_qt");
    winport::SetRegistryPath(dir.File("registry"));
    backend = std::make_unique<QtBackend>();
    SetBackend(backend.get());
  }
  void TearDown() override {
    SetBackend(nullptr);
    backend.reset();
    winport::SetRegistryPath("");
  }

  // Keeps a picture of the window and checks that it shows something.
  static void Picture(QWidget* window, const char* name) {
    QApplication::processEvents();
    const QImage image = window->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(testsupport::ColourCount(image), 8u) << name << " looks blank";
    EXPECT_TRUE(image.save(QString::fromUtf8(TEST_OUTPUT_DIR "/") + QString::fromUtf8(name)));
  }

  testsupport::TempDir dir;
  std::unique_ptr<QtBackend> backend;
};

QRect Placed(const ControlTemplate& c, const BaseUnits& units) {
  const RECT r = PlaceControl(c.x, c.y, c.cx, c.cy, units.x, units.y);
  return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

TEST_F(QtDialogsTest, CanDatabaseDialogPlacesItsControlsInDialogUnits) {
  std::array<int32_t, kCanChannels> counts{};
  counts[0] = 12;
  counts[3] = 5;
  std::vector<std::vector<std::string>> lists{{"/data/dbc/powertrain.dbc", "/data/dbc/chassis.dbc"}, {}};
  CCANDlg dlg(counts, lists);
  WhenShown<QDialog>([&](QDialog* window) {
    const BaseUnits units = DialogBaseUnits(window->font());
    for (const ControlTemplate& c : CCANDlg::Resource().controls) {
      if (c.id == IDC_STATIC) continue;
      QWidget* w = window->findChild<QWidget*>(QStringLiteral("control%1").arg(c.id));
      ASSERT_NE(w, nullptr) << c.id;
      EXPECT_EQ(w->geometry(), Placed(c, units)) << "control " << c.id;
    }
    auto* tabs = window->findChild<QTabBar*>(QStringLiteral("control%1").arg(IDC_CAN_TABS));
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("CAN 3 (5)"));
    auto* paths = window->findChild<QListWidget*>(QStringLiteral("control%1").arg(IDC_CAN_DATABASES));
    ASSERT_EQ(paths->count(), 2);
    Picture(window, "can-database-dialog.png");
    tabs->setCurrentIndex(1);  // the user's tab change takes tab 0's list over
    EXPECT_EQ(paths->count(), 0);
    window->findChild<QAbstractButton*>(QStringLiteral("control1"))->click();
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(lists[0].size(), 2u);
}

TEST_F(QtDialogsTest, FileInformationIsLaidOutByItsSizeAndShowsTheFile) {
  testsupport::FileDef def = testsupport::SimpleFileDef(2, 4, 200, "TESTPROG");
  def.fileComment = "Bremsenpr\xFC" "fstand, Lauf 7";
  const std::string path = dir.File("bench.mdf");
  testsupport::BuildFile(def).writer.Save(path);
  mdf::CMdf file;
  file.SetShowMessages(false);
  file.SetReaderVersion(mdf::CMdf::kViewerReaderVersion);
  ASSERT_EQ(file.Open(path), 1);
  WhenShown<QDialog>([&](QDialog* window) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Information (MDF-Filter v4.74, Original-Datentypen)"));
    window->resize(1100, 640);
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("control%1").arg(IDC_INFO_TREE));
    auto* table = window->findChild<QTableView*>(QStringLiteral("control%1").arg(IDC_INFO_LIST));
    auto* ok = window->findChild<QAbstractButton*>(QStringLiteral("control1"));
    ASSERT_TRUE(tree && table && ok);
    const int w = window->width(), h = window->height(), bh = ok->height();
    EXPECT_EQ(tree->geometry(), QRect(8, 8, w / 3, h - bh - 16));
    EXPECT_EQ(table->geometry(), QRect(w / 3 + 16, 8, w - 8 - (w / 3 + 16), h - bh - 16));
    EXPECT_EQ(ok->geometry().right(), w - 8 - 1);
    // The user opens the first group's records.
    QTreeWidgetItem* group = tree->topLevelItem(0)->child(3);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->text(0), QStringLiteral("Data group 1"));
    QTreeWidgetItem* data = group->child(group->childCount() - 1);
    EXPECT_EQ(data->text(0), QStringLiteral("Data"));
    tree->expandItem(group);
    tree->setCurrentItem(data);
    EXPECT_EQ(table->model()->rowCount(), 200);
    EXPECT_EQ(table->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("sig1_1"));
    EXPECT_EQ(table->model()->data(table->model()->index(7, 2)).toString(), QStringLiteral("7"));
    EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("control%1").arg(IDC_INFO_EXPORT))->isEnabled());
    Picture(window, "file-information-dialog.png");
    ok->click();
  });
  EXPECT_EQ(ShowFileInfo(&file), 1);
}

}  // namespace

// The viewer in a test: Qt on its offscreen platform, the registry in a
// temporary folder, message boxes and dialogs answered by the headless backend.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QTreeWidgetItem>

#include "platform/ui/qt/qt_backend.h"
#include "platform/win32/registry.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/qt_offscreen.h"
#include "tests/support/temp_dir.h"
#include "viewer/left_view.h"
#include "viewer/main_frame.h"
#include "viewer/skovia_app.h"
#include "viewer/skovia_doc.h"
#include "viewer/skovia_view.h"
#include "viewer/virtual_list.h"

namespace viewertest {

// The process's QApplication, made on first use on the offscreen platform.
inline QApplication& Application() { return testsupport::OffscreenApplication("test_viewer"); }

// UTF-8 of a tree item's label.
inline std::string Label(const QTreeWidgetItem* item) { return item->text(0).toStdString(); }

inline std::vector<std::string> ChildLabels(const QTreeWidgetItem* item) {
  std::vector<std::string> labels;
  for (int i = 0; i < item->childCount(); ++i) labels.push_back(Label(item->child(i)));
  return labels;
}

// The child with this label; nullptr when there is none.
inline QTreeWidgetItem* Child(QTreeWidgetItem* item, const std::string& label) {
  for (int i = 0; item && i < item->childCount(); ++i)
    if (Label(item->child(i)) == label) return item->child(i);
  return nullptr;
}

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application();
    winport::SetRegistryPath(dir.File("registry"));
    app = std::make_unique<CSkoviaApp>();
    ASSERT_TRUE(app->InitInstance({}));
    frame = app->GetMainWnd();
    left = frame->GetLeftPane();
    right = frame->GetRightPane();
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
  }
  void TearDown() override {
    app.reset();
    winport::SetRegistryPath("");
  }

  // Writes a file into the test's folder; its ANSI path.
  std::string Save(const testsupport::FileDef& def, const std::string& name = "file.mdf") {
    const std::string path = dir.File(name);
    testsupport::BuildFile(def).writer.Save(path);
    return path;
  }

  QTreeWidgetItem* Root() const { return left->topLevelItem(0); }
  // Selects an item as a click would.
  void Select(QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    left->setCurrentItem(item);
  }
  CVirtualList& Visible() const { return right->GetList(); }
  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (int i = 0; i < Visible().GetColumnCount(); ++i) titles.push_back(Visible().GetColumnTitle(i));
    return titles;
  }
  std::string Cell(int row, int column) const { return Visible().GetItemText(row, column); }

  testsupport::TempDir dir;
  std::unique_ptr<CSkoviaApp> app;
  CMainFrame* frame = nullptr;
  CLeftView* left = nullptr;
  CSkoviaView* right = nullptr;
};

}  // namespace viewertest

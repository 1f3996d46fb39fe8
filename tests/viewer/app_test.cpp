// The application: opening files by every road, the invalid file, the About
// box, the recent-file list and the commands that must not touch the file.
#include <filesystem>

#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "mdf/format.h"
#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"
#include "tests/viewer/viewer_fixture.h"
#include "viewer/resource.h"

using namespace testsupport;
using viewertest::Child;
using viewertest::ChildLabels;
using viewertest::Label;
using winport::ui::DialogKind;
using winport::ui::DialogRecord;
using winport::ui::ScriptedAnswers;
using Labels = std::vector<std::string>;

namespace {

const std::string kInvalid = winport::Utf8ToAnsi("Datei ist ungültig!");
const std::string kAboutCaption = winport::Utf8ToAnsi("Info über Skovia");

class AppTest : public viewertest::ViewerTest {
 protected:
  std::string Invalid() {
    const std::string path = dir.File("broken.mdf");
    WriteFileBytes(path, "MDF?    3.30    not an MDF file at all");
    return path;
  }

  // The About box's version line, as the dialog showed it.
  std::string AboutVersion() {
    ScriptedAnswers script;
    script.Dialog(kAboutCaption);
    app->OnAppAbout();
    EXPECT_TRUE(script.Ok()) << script.Report();
    const std::vector<DialogRecord> log = script.Log();
    if (log.size() != 1 || log[0].kind != DialogKind::Dialog || log[0].controls.empty()) return "(no dialog)";
    EXPECT_EQ(log[0].dialogId, IDD_ABOUTBOX);
    EXPECT_EQ(log[0].controls[0].first, IDC_VERSION);
    return log[0].controls[0].second;
  }

  // The tree as lines "label" indented by depth, for comparing whole trees.
  static void Flatten(const QTreeWidgetItem* item, int depth, Labels& out) {
    out.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + Label(item));
    for (int i = 0; i < item->childCount(); ++i) Flatten(item->child(i), depth + 1, out);
  }
  Labels Tree() const {
    Labels out;
    for (int i = 0; i < left->topLevelItemCount(); ++i) Flatten(left->topLevelItem(i), 0, out);
    return out;
  }
};

TEST_F(AppTest, AnInvalidFileSaysSoAndLeavesOnlyTheRoot) {
  ScriptedAnswers script;
  winport::ui::ExpectedDialog box;
  box.text = kInvalid;
  box.caption = "Skovia";
  box.type = MB_ICONERROR;
  script.Box(box);
  ASSERT_NE(app->OpenDocumentFile(Invalid()), nullptr);
  EXPECT_TRUE(script.Ok()) << script.Report();
  ASSERT_EQ(left->topLevelItemCount(), 1);
  EXPECT_EQ(Label(Root()), "broken");
  EXPECT_EQ(Root()->childCount(), 0);
  // The root has no block: selecting it changes nothing.
  EXPECT_EQ(CLeftView::BlockOf(Root()), nullptr);
  Select(Root());
  EXPECT_EQ(Cell(0, 0), "");
}

// The status bar says what is damaged and where; a valid file sets it back.
TEST_F(AppTest, AnInvalidFileSaysInTheStatusBarWhatIsDamaged) {
  testsupport::BuiltFile f = testsupport::BuildFile(testsupport::SimpleFileDef(1, 2, 3));
  f.writer.SetLink(f.groups[0].cn[2], testsupport::cn::kNext, f.groups[0].cn[1]);
  const std::string path = dir.File("loop.mdf");
  f.writer.Save(path);
  {
    ScriptedAnswers script;
    script.Box(kInvalid);
    ASSERT_NE(app->OpenDocumentFile(path), nullptr);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
  EXPECT_EQ(frame->GetMessageText(), mdf::StrFormat("damaged file: the CN chain at %u loops back to %u",
                                                    f.groups[0].cn[2], f.groups[0].cn[1]));
  ASSERT_NE(app->OpenDocumentFile(Save(SimpleFileDef(1, 1, 2))), nullptr);
  EXPECT_EQ(frame->GetMessageText(), "Bereit");
}

TEST_F(AppTest, AboutBoxShowsTheReaderVersionOnceAFileWasOpened) {
  EXPECT_EQ(AboutVersion(), "Skovia Version ??");
  {
    ScriptedAnswers script;
    script.Box(kInvalid);
    app->OpenDocumentFile(Invalid());
  }
  EXPECT_EQ(AboutVersion(), "Skovia Version 4.74");
  ASSERT_NE(app->OpenDocumentFile(Save(SimpleFileDef(1, 1, 2))), nullptr);
  EXPECT_EQ(AboutVersion(), "Skovia Version 4.74");
}

TEST_F(AppTest, ADroppedFileOpensLikeTheMenu) {
  const std::string first = Save(SimpleFileDef(2, 1, 2), "menu.mdf");
  const std::string second = Save(SimpleFileDef(2, 1, 2), "drop.mdf");
  {
    ScriptedAnswers script;
    script.FileDialog(first);
    app->OnFileOpen();
    EXPECT_TRUE(script.Ok()) << script.Report();
    const DialogRecord dialog = script.Log().at(0);
    EXPECT_FALSE(dialog.save);
    EXPECT_EQ(dialog.filter, winport::Utf8ToAnsi("Dateityp MDF (*.dat,*.mdf)|*.dat;*.mdf|Alle Dateien (*.*)|*.*||"));
  }
  Labels byMenu = Tree();
  ASSERT_FALSE(byMenu.empty());
  EXPECT_EQ(byMenu[0], "menu");

  // The drop comes over the right pane, which has the focus.
  frame->activateWindow();
  right->setFocus();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(second))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame, &drop);
  EXPECT_TRUE(drop.isAccepted());
  QApplication::processEvents();  // the file opens once the drop is over

  EXPECT_EQ(app->GetDocument()->GetPathName(), second);
  Labels byDrop = Tree();
  ASSERT_FALSE(byDrop.empty());
  EXPECT_EQ(byDrop[0], "drop");
  byMenu.erase(byMenu.begin());
  byDrop.erase(byDrop.begin());
  EXPECT_EQ(byDrop, byMenu);
  EXPECT_EQ(app->GetRecentFileList()[0], second);
  EXPECT_EQ(frame->windowTitle().toStdString(), "drop.mdf - Skovia");
  // The right pane shows the root's rows, as after the menu.
  EXPECT_EQ(left->currentItem(), Root());
  EXPECT_EQ(Cell(0, 0), "Pathname");
  EXPECT_EQ(Cell(0, 1), second);
}

// A file named by a relative path is kept by its absolute path: the document,
// the "Pathname" row and the recent-file list name it from any working folder.
TEST_F(AppTest, ARelativePathIsKeptAbsolute) {
  const std::string path = Save(SimpleFileDef(1, 1, 1), "rel.mdf");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  app.reset();
  app = std::make_unique<CSkoviaApp>();
  const bool started = app->InitInstance({QStringLiteral("./sub/../rel.mdf")});
  std::filesystem::current_path("/");
  ASSERT_TRUE(started);
  EXPECT_EQ(app->GetDocument()->GetPathName(), path);
  EXPECT_EQ(app->GetRecentFileList()[0], path);
  EXPECT_EQ(app->GetMainWnd()->GetRightPane()->GetList().GetItemText(0, 1), path);  // "Pathname"

  // Elsewhere, a new start opens it again from the list.
  app.reset();
  app = std::make_unique<CSkoviaApp>();
  ASSERT_TRUE(app->InitInstance({}));
  {
    ScriptedAnswers none;  // no "Fehler beim Öffnen des Dokuments."
    app->OnOpenRecentFile(0);
    EXPECT_TRUE(none.Ok()) << none.Report();
  }
  std::filesystem::current_path(previous);
  EXPECT_EQ(app->GetDocument()->GetPathName(), path);
  EXPECT_EQ(app->GetRecentFileList().GetSize(), 1);
}

// Opening another file, or failing to, while "Data" is shown: the lists let go
// of the old file's data block and rows before the old file object goes.
TEST_F(AppTest, ReopeningWhileDataIsShownLetsGoOfTheOldBlocks) {
  for (const bool validNext : {false, true}) {
    SCOPED_TRACE(validNext ? "valid next file" : "invalid next file");
    ASSERT_NE(app->OpenDocumentFile(Save(SimpleFileDef(1, 2, 40), "first.mdf")), nullptr);
    Select(Child(Child(Root(), "Data group 1"), "Data"));
    ASSERT_NE(left->GetShownDataBlock(), nullptr);
    right->grab();
    {
      ScriptedAnswers script;
      if (!validNext) script.Box(kInvalid);
      const std::string next = validNext ? Save(SimpleFileDef(1, 1, 3), "second.mdf") : Invalid();
      ASSERT_NE(app->OpenDocumentFile(next), nullptr);
      EXPECT_TRUE(script.Ok()) << script.Report();
    }
    EXPECT_EQ(left->GetShownDataBlock(), nullptr);
    EXPECT_EQ(Titles(), (Labels{"Property", "Contents"}));
    EXPECT_EQ(Visible().GetItemCount(), 50);
    // A valid file shows its root's rows; nothing of the old file stays.
    const int rows = validNext ? 2 : 0;
    EXPECT_EQ(right->GetHiddenList().GetItemCount(), rows);
    if (validNext) {
      EXPECT_EQ(Cell(0, 0), "Pathname");
      EXPECT_EQ(Cell(0, 1), dir.File("second.mdf"));
    }
    for (int row = rows; row < 50; ++row) EXPECT_EQ(Cell(row, 1), "") << row;
    right->grab();  // draws every cell in sight
    // Start again from a file with data.
    app->OnFileNew();
  }
}

TEST_F(AppTest, RecentFilesKeepTheLastTenInTheRegistry) {
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i) {
    paths.push_back(Save(SimpleFileDef(1, 1, 1), "f" + std::to_string(i) + ".mdf"));
    ASSERT_NE(app->OpenDocumentFile(paths.back()), nullptr);
  }
  ASSERT_NE(app->OpenDocumentFile(paths[5]), nullptr);  // moves to the front
  CRecentFileList& list = app->GetRecentFileList();
  ASSERT_EQ(list.GetSize(), 10);
  EXPECT_EQ(list[0], paths[5]);
  EXPECT_EQ(list[1], paths[11]);
  EXPECT_EQ(list[9], paths[2]);
  EXPECT_EQ(list.GetDisplayName(9).substr(0, 4), "1&0 ");

  // A new start reads them back; an entry whose file went is dropped when chosen.
  app.reset();
  std::remove(paths[11].c_str());
  app = std::make_unique<CSkoviaApp>();
  ASSERT_TRUE(app->InitInstance({}));
  CRecentFileList& again = app->GetRecentFileList();
  ASSERT_EQ(again.GetSize(), 10);
  EXPECT_EQ(again[1], paths[11]);
  {
    ScriptedAnswers script;
    script.Box(winport::Utf8ToAnsi("Fehler beim Öffnen des Dokuments."));
    app->OnOpenRecentFile(1);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
  EXPECT_EQ(again.GetSize(), 9);
  EXPECT_EQ(again[1], paths[10]);
  app->OnOpenRecentFile(1);
  EXPECT_EQ(app->GetDocument()->GetPathName(), paths[10]);
  EXPECT_EQ(again[0], paths[10]);
}

TEST_F(AppTest, TheCommandLineOpensItsFileAndAnUnreadableOneEndsTheStart) {
  const std::string path = Save(SimpleFileDef(1, 1, 1), "cmd.mdf");
  app.reset();
  app = std::make_unique<CSkoviaApp>();
  ASSERT_TRUE(app->InitInstance({QStringLiteral("-x"), QString::fromStdString(path)}));
  EXPECT_EQ(app->GetDocument()->GetPathName(), path);
  EXPECT_EQ(Label(app->GetMainWnd()->GetLeftPane()->topLevelItem(0)), "cmd");
  EXPECT_TRUE(app->GetMainWnd()->isVisible());

  app.reset();
  app = std::make_unique<CSkoviaApp>();
  ScriptedAnswers script;
  script.Box(winport::Utf8ToAnsi("Fehler beim Öffnen des Dokuments."));
  EXPECT_FALSE(app->InitInstance({QString::fromStdString(dir.File("missing.mdf"))}));
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(AppTest, NothingSavesOrEditsTheFile) {
  const std::string path = Save(SimpleFileDef(1, 1, 4));
  const std::string before = ReadFileBytes(path);
  ASSERT_NE(app->OpenDocumentFile(path), nullptr);
  for (int id : {ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_FILE_PRINT,
                 ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP}) {
    QAction* action = frame->Command(id);
    ASSERT_NE(action, nullptr) << id;
    EXPECT_FALSE(action->isEnabled()) << id;
    action->trigger();
  }
  for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_APP_ABOUT}) EXPECT_TRUE(frame->Command(id)->isEnabled()) << id;
  EXPECT_EQ(frame->Command(ID_FILE_SAVE)->text().toStdString(), "S&peichern\tStrg+S");
  EXPECT_EQ(frame->Command(ID_FILE_SAVE)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(AppTest, NewKeepsTheShownTreeAndTitlesTheDocumentUntitled) {
  ASSERT_NE(app->OpenDocumentFile(Save(SimpleFileDef(1, 1, 1), "kept.mdf")), nullptr);
  app->OnFileNew();
  EXPECT_EQ(app->GetDocument()->GetPathName(), "");
  EXPECT_EQ(frame->windowTitle().toStdString(), "Unbenannt - Skovia");
  EXPECT_EQ(Label(Root()), "kept");
}

TEST_F(AppTest, ViewStyleCommandsSwitchTheListAndArrangeOnlyWithIcons) {
  bool enabled = false, checked = false;
  frame->OnUpdateViewStyles(ID_VIEW_DETAILS, enabled, checked);
  EXPECT_TRUE(enabled && checked);
  frame->OnUpdateViewStyles(ID_VIEW_LINEUP, enabled, checked);
  EXPECT_FALSE(enabled);
  frame->OnViewStyle(ID_VIEW_SMALLICON);
  EXPECT_EQ(right->GetListStyle(), CListView::ListStyle::SmallIcon);
  frame->OnUpdateViewStyles(ID_VIEW_SMALLICON, enabled, checked);
  EXPECT_TRUE(checked);
  frame->OnUpdateViewStyles(ID_VIEW_DETAILS, enabled, checked);
  EXPECT_FALSE(checked);
  frame->OnUpdateViewStyles(ID_VIEW_LINEUP, enabled, checked);
  EXPECT_TRUE(enabled);
  frame->OnViewStyle(ID_VIEW_DETAILS);
  EXPECT_EQ(right->GetListStyle(), CListView::ListStyle::Report);
}

TEST(AbbreviatePath, KeepsTheFirstPartAndAsManyLastPartsAsFit) {
  EXPECT_EQ(AbbreviatePath("/data/a.mdf", 40), "/data/a.mdf");
  EXPECT_EQ(AbbreviatePath("/home/user/projects/data/measurements/sample.mdf", 40),
            "/home/.../data/measurements/sample.mdf");
  EXPECT_EQ(AbbreviatePath("/home/" + std::string(50, 'x') + ".mdf", 40), std::string(50, 'x') + ".mdf");
}

}  // namespace

// The Qt backend: boxes, file dialogs and dialogs from resource tables drawn
// with Qt, the key poll and the input posted for progress loops.
#include <functional>

#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>
#include <QTimer>

#include "platform/ui/filedialog.h"
#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"
#include "tests/viewer/viewer_fixture.h"
#include "viewer/about_dlg.h"
#include "viewer/resource.h"

using namespace winport::ui;
using testsupport::WhenShown;

namespace {

class QtBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewertest::Application();
    backend = std::make_unique<QtBackend>();
    SetBackend(backend.get());
  }
  void TearDown() override {
    SetBackend(nullptr);
    backend.reset();
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  std::unique_ptr<QtBackend> backend;
};

QPushButton* ButtonWithText(QWidget* parent, const QString& text) {
  for (QPushButton* b : parent->findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

TEST_F(QtBackendTest, AboutBoxIsPlacedInDialogUnitsOfItsFont) {
  bool checked = false;
  WhenShown<QDialog>([&](QDialog* dialog) {
    EXPECT_EQ(dialog->objectName(), QStringLiteral("dialog100"));
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Info über Skovia"));
    const BaseUnits units = DialogBaseUnits(dialog->font());
    EXPECT_GT(units.x, 0);
    EXPECT_EQ(dialog->size(), QSize(MulDiv(235, units.x, 4), MulDiv(55, units.y, 8)));
    auto* version = dialog->findChild<QLabel*>(QStringLiteral("control1000"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Skovia Version ??"));
    const RECT r = PlaceControl(40, 10, 119, 8, units.x, units.y);
    EXPECT_EQ(version->geometry(), QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("control1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    checked = true;
    ok->click();
  });
  CAboutDlg about(nullptr);
  EXPECT_EQ(about.DoModal(), IDOK);
  EXPECT_TRUE(checked);
  EXPECT_FALSE(about.HasWindow());
}

TEST_F(QtBackendTest, EscapeCancelsADialogAndClicksReachItsHandlers) {
  class Options : public CDialog {
   public:
    Options()
        : CDialog([] {
            DialogTemplate t;
            t.id = 7;
            t.caption = "Optionen";
            t.cx = 120;
            t.cy = 60;
            t.controls = {CheckBox(20, "&Gro\xDF", 7, 7, 80, 10), PushButton(21, "Weiter", 7, 30, 50, 14),
                          DefPushButton(IDOK, "OK", 63, 30, 50, 14)};
            return t;
          }()) {}
    BOOL OnCommand(int id, UINT code) override {
      if (id == 21) SetDlgItemText(21, "Nochmal");
      return CDialog::OnCommand(id, code);
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Check(dx, 20, big); }
    int big = 0;
  } dlg;
  WhenShown<QDialog>([](QDialog* dialog) {
    auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("control20"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString::fromUtf8("&Groß"));
    box->click();
    auto* next = dialog->findChild<QPushButton*>(QStringLiteral("control21"));
    next->click();
    EXPECT_EQ(next->text(), QStringLiteral("Nochmal"));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog, &escape);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.big, 0);  // cancelled: the member keeps its value
  EXPECT_EQ(dlg.IsDlgButtonChecked(20), BST_CHECKED);
}

TEST_F(QtBackendTest, MessageBoxesOfferTheGermanButtonsAndAnswerTheirIds) {
  WhenShown<QMessageBox>([](QMessageBox* box) {
    EXPECT_EQ(box->text(), QString::fromUtf8("Datei ist ungültig!"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Skovia"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->buttons().size(), 1);
    box->buttons().at(0)->click();
  });
  EXPECT_EQ(MessageBoxA(nullptr, winport::Utf8ToAnsi("Datei ist ungültig!").c_str(), "Skovia", MB_ICONERROR), IDOK);

  WhenShown<QMessageBox>([](QMessageBox* box) {
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("&Nein"));
    ButtonWithText(box, QStringLiteral("&Ja"))->click();
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Weiter?", "Frage", MB_YESNOCANCEL | MB_DEFBUTTON2 | MB_ICONQUESTION), IDYES);

  // Escape answers Cancel where there is one; a yes/no box has none to give.
  WhenShown<QMessageBox>([](QMessageBox* box) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(box, &escape);
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Weiter?", "Frage", MB_OKCANCEL), IDCANCEL);
  WhenShown<QMessageBox>([](QMessageBox* box) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(box, &escape);
    EXPECT_TRUE(box->isVisible());
    ButtonWithText(box, QStringLiteral("&Nein"))->click();
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Weiter?", "Frage", MB_YESNO), IDNO);
}

TEST_F(QtBackendTest, FileDialogTakesTheFilterAndGivesTheChosenPath) {
  testsupport::TempDir dir;
  const std::string path = dir.File("Pr\xFC" "fung.mdf");  // ANSI
  testsupport::WriteFileBytes(winport::AnsiToUtf8(path), "MDF     ");  // the system's name is UTF-8
  WhenShown<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->nameFilters(),
              (QStringList{QStringLiteral("Dateityp MDF (*.dat,*.mdf) (*.dat *.mdf)"),
                           QStringLiteral("Alle Dateien (*.*) (*.*)")}));
    dialog->selectFile(FromAnsi(path));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  CFileDialog open(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, DocumentFilter().c_str());
  ASSERT_EQ(open.DoModal(), IDOK);
  EXPECT_EQ(open.GetPathName(), path);
}

TEST_F(QtBackendTest, InputOnAModelessWindowIsPostedForItsPollAndKeysCanBePolled) {
  // A progress window: its Cancel handler looks at what was posted, as a progress loop does.
  class Progress : public CDialog {
   public:
    Progress()
        : CDialog([] {
            DialogTemplate t;
            t.id = 206;
            t.caption = "Import";
            t.cx = 186;
            t.cy = 98;
            t.controls = {Control(205, "", kProgressClass, WS_VISIBLE, 7, 17, 172, 10),
                          PushButton(IDCANCEL, "Abbrechen", 69, 77, 50, 14)};
            return t;
          }()) {}
    void OnCancel() override {
      MSG m;
      while (PeekMessageA(&m, GetSafeHwnd(), 0, 0, PM_REMOVE)) posted.push_back(m);
      CDialog::OnCancel();
    }
    std::vector<MSG> posted;
  } progress;
  ASSERT_TRUE(progress.Create());
  progress.SetRange(205, 0, 4);
  progress.SetPos(205, 3);
  QWidget* window = WidgetOf(progress.GetSafeHwnd());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  auto* bar = qobject_cast<QProgressBar*>(WidgetOf(progress.GetDlgItem(205)));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_EQ(bar->value(), 3);
  const HWND cancelHandle = progress.GetDlgItem(IDCANCEL);
  auto* cancel = qobject_cast<QPushButton*>(WidgetOf(cancelHandle));
  ASSERT_NE(cancel, nullptr);

  // Input as the platform delivers it: to the window, which hands it to the focus or the widget below.
  QWindow* native = window->windowHandle();
  ASSERT_NE(native, nullptr);
  cancel->setFocus();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QApplication::sendEvent(native, &press);
  EXPECT_NE(GetAsyncKeyState('A') & 0x8000, 0);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QApplication::sendEvent(native, &release);
  EXPECT_EQ(GetAsyncKeyState('A'), 0);
  const QPointF at = cancel->geometry().center();
  QMouseEvent down(QEvent::MouseButtonPress, at, at, native->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(native, &down);
  QMouseEvent up(QEvent::MouseButtonRelease, at, at, native->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                 Qt::NoModifier);
  QApplication::sendEvent(native, &up);  // the click on Cancel ends the window

  EXPECT_FALSE(progress.HasWindow());
  EXPECT_EQ(progress.GetResult(), IDCANCEL);
  EXPECT_EQ(WidgetOf(cancelHandle), nullptr);
  ASSERT_EQ(progress.posted.size(), 2u);
  EXPECT_EQ(progress.posted[0].message, WM_KEYDOWN);
  EXPECT_EQ(progress.posted[0].wParam, WPARAM{'A'});
  EXPECT_EQ(progress.posted[0].hwnd, cancelHandle);
  EXPECT_EQ(progress.posted[1].message, WM_LBUTTONDOWN);
  EXPECT_EQ(progress.posted[1].hwnd, cancelHandle);
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/backend.h"
#include "platform/ui/filedialog.h"
#include "platform/ui/headless.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"
#include "platform/win32/codepage.h"

using namespace winport::ui;

namespace {

// Collects what the headless backend reports, so that tests can look at it.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless().SetFailureHandler([this](const std::string& f) { reported.push_back(f); });
  }
  void TearDown() override {
    Headless().SetFailureHandler(nullptr);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  std::vector<std::string> reported;
};

TEST_F(UiTest, ScriptedBoxesAreAnsweredInOrderAndLogged) {
  const std::string invalid = winport::Utf8ToAnsi("Datei ist ungültig!");
  {
    ScriptedAnswers script;
    ExpectedDialog question;
    question.text = "Weiter?";
    question.caption = "Frage";
    question.type = MB_YESNO | MB_ICONQUESTION;
    question.answer = IDNO;
    script.Box(invalid).Box(question);

    EXPECT_EQ(MessageBoxA(nullptr, invalid.c_str(), "Fehler", MB_ICONERROR), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Weiter?", "Frage", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_TRUE(script.Ok()) << script.Report();
    const std::vector<DialogRecord> log = script.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text, "Datei ist ung\xFCltig!");  // kept as the ANSI bytes given
    EXPECT_EQ(log[0].caption, "Fehler");
    EXPECT_EQ(log[0].flags, MB_ICONERROR);
    EXPECT_EQ(log[1].result, IDNO);
    EXPECT_TRUE(log[1].expected);
  }
  EXPECT_TRUE(reported.empty());
}

TEST_F(UiTest, UnexpectedBoxFailsAndTakesTheDefaultButton) {
  ScriptedAnswers script;
  EXPECT_EQ(MessageBoxA(nullptr, "Speichern?", "App", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Ok?", "App", MB_OKCANCEL | MB_DEFBUTTON3), IDOK);  // past the end: first
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_NE(reported[0].find("unexpected message box \"Speichern?\""), std::string::npos) << reported[0];
  EXPECT_FALSE(script.Ok());
  EXPECT_FALSE(script.Log()[0].expected);
}

TEST_F(UiTest, BoxOtherThanTheNextExpectedOneFails) {
  {
    ScriptedAnswers script;
    script.Box("A", IDCANCEL).Box("C", IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "B", "App", MB_OKCANCEL), IDOK);  // not "A": default button
    EXPECT_EQ(MessageBoxA(nullptr, "A", "App", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "C", "App", MB_OK), IDOK);  // IDYES is no button of MB_OK
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_NE(reported[0].find("expected message box \"A\", got message box \"B\""), std::string::npos);
    EXPECT_NE(reported[1].find("answer 6 is not a button"), std::string::npos) << reported[1];
    script.Box("never");
  }
  // Expectations left at the end of the script are failures too.
  ASSERT_EQ(reported.size(), 3u);
  EXPECT_NE(reported[2].find("\"never\" was not shown"), std::string::npos) << reported[2];
}

TEST_F(UiTest, FrameworkBoxUsesTheApplicationNameAndActiveWindow) {
  ScriptedAnswers script;
  script.Box("Hallo").Box("Nein");
  const HWND main = CreateWindowHandle(nullptr);
  SetActiveWindow(main);
  SetApplicationName("Skovia");
  EXPECT_EQ(AfxMessageBox("Hallo"), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Nein", nullptr, MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Kaputt", "x", 0x7), 0);  // no such button set: nothing shown
  const std::vector<DialogRecord> log = script.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].caption, "Skovia");
  EXPECT_EQ(log[0].owner, main);
  EXPECT_EQ(log[0].flags, MB_OK);
  EXPECT_EQ(log[1].caption, "Error");
  EXPECT_TRUE(script.Ok()) << script.Report();
  SetApplicationName("");
  DestroyWindowHandle(main);
  EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(UiTest, WaitCursorNests) {
  ScriptedAnswers script;
  {
    CWaitCursor outer;
    BeginWaitCursor();
    EXPECT_EQ(WaitCursorDepth(), 2);
    EndWaitCursor();
    EXPECT_EQ(WaitCursorDepth(), 1);
  }
  EXPECT_EQ(WaitCursorDepth(), 0);
  EndWaitCursor();  // unmatched: ignored
  EXPECT_EQ(WaitCursorDepth(), 0);
  EXPECT_EQ(Headless().WaitCursorShows(), 1);
}

TEST_F(UiTest, PeekFiltersByWindowAndNumber) {
  ScriptedAnswers script;
  const HWND dialog = CreateWindowHandle(nullptr);
  const HWND button = CreateWindowHandle(dialog);
  const HWND other = CreateWindowHandle(nullptr);
  EXPECT_TRUE(IsChild(dialog, button));
  EXPECT_FALSE(IsChild(button, dialog));
  PostMessageA(other, WM_CHAR, 'x', 0);
  PostMessageA(button, WM_LBUTTONDOWN, 0, 0);
  PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(uintptr_t{12}), WM_CHAR, 0, 0));

  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, dialog, 0, 0, PM_NOREMOVE));  // the button belongs to the dialog
  EXPECT_EQ(m.hwnd, button);
  ASSERT_TRUE(PeekMessageA(&m, dialog, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE));
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_ESCAPE));
  ASSERT_TRUE(PeekMessageA(&m, dialog, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_LBUTTONDOWN);
  EXPECT_FALSE(PeekMessageA(&m, dialog, 0, 0, PM_REMOVE));
  PostQuitMessage(3);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));  // WM_QUIT passes any range
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  DestroyWindowHandle(other);  // its message goes with it
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  DestroyWindowHandle(dialog);
  EXPECT_FALSE(IsWindow(button));
}

TEST_F(UiTest, PumpLoopDispatchesUntilQuitAndTranslatesKeys) {
  ScriptedAnswers script;
  const HWND w = CreateWindowHandle(nullptr);
  PostMessageA(w, WM_KEYDOWN, 'A', 0);
  PostMessageA(w, WM_COMMAND, 1, 0);
  PostQuitMessage(0);
  PostMessageA(w, WM_CLOSE, 0, 0);
  // The pump loop the import modules run.
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) break;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  std::vector<UINT> dispatched;
  for (const MSG& d : Headless().Dispatched()) dispatched.push_back(d.message);
  // The WM_CHAR that the key posted sits behind WM_QUIT, so it waits with WM_CLOSE.
  EXPECT_EQ(dispatched, (std::vector<UINT>{WM_KEYDOWN, WM_COMMAND}));
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_CLOSE);
  ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_CHAR);
  EXPECT_EQ(m.wParam, static_cast<WPARAM>('a'));
  DestroyWindowHandle(w);
}

TEST_F(UiTest, TestsScriptTheEscapeKey) {
  ScriptedAnswers script;
  int polls = 0;
  Headless().SetKeyStateHook([&](int key) -> SHORT { return key == VK_ESCAPE && ++polls >= 3 ? SHORT(0x8000) : 0; });
  int steps = 0;
  while (!(GetAsyncKeyState(VK_ESCAPE) & 0x8000) && steps < 10) ++steps;
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(GetAsyncKeyState('A'), 0);

  // Input that arrives while a loop polls the queue.
  const HWND progress = CreateWindowHandle(nullptr);
  int peeks = 0;
  Headless().SetEventHook([&] {
    if (++peeks == 2) PostMessageA(progress, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  bool aborted = false;
  for (steps = 0; !aborted && steps < 10; ++steps) {
    MSG m;
    if (PeekMessageA(&m, progress, 0, 0, PM_REMOVE) && m.wParam == VK_ESCAPE) aborted = true;
  }
  EXPECT_TRUE(aborted);
  EXPECT_EQ(steps, 2);
  DestroyWindowHandle(progress);
}

TEST_F(UiTest, FrameworkFileDialogAddsTheDefaultExtension) {
  ScriptedAnswers script;
  script.FileDialog("/data/out").FileDialog("/data/out.txt").FileDialog(std::nullopt);
  CFileDialog dlg(FALSE, "csv", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, "CSV-Datei (*.csv)||");
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetPathName(), "/data/out.csv");
  EXPECT_EQ(dlg.GetFileName(), "out.csv");
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetPathName(), "/data/out.txt");  // has an extension: kept
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  const std::vector<DialogRecord> log = script.Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].kind, DialogKind::FileDialog);
  EXPECT_TRUE(log[0].save);
  EXPECT_EQ(log[0].filter, "CSV-Datei (*.csv)||");
  EXPECT_EQ(log[0].defaultExt, "csv");
  EXPECT_EQ(log[0].flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  EXPECT_EQ(log[2].result, IDCANCEL);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(UiTest, Win32SaveDialogFillsTheCallersBuffer) {
  ScriptedAnswers script;
  script.FileDialog("/x/b.dat").FileDialog("/a/much/longer/path.dat");
  char file[16] = "a.txt";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.lpstrFilter = "Text\0*.txt\0Alle\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrDefExt = "txt";
  ASSERT_TRUE(GetSaveFileNameA(&ofn));
  EXPECT_STREQ(file, "/x/b.dat");
  EXPECT_FALSE(GetSaveFileNameA(&ofn));  // the path does not fit
  const std::vector<DialogRecord> log = script.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].filter, "Text|*.txt|Alle|*.*||");
  EXPECT_EQ(log[0].text, "a.txt");
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(UiTest, InstalledBackendTakesOver) {
  struct Recorder : Backend {
    std::vector<std::string> calls;
    int MessageBox(HWND, const std::string& text, const std::string&, UINT) override {
      calls.push_back("box " + text);
      return IDYES;
    }
    std::optional<std::string> FileDialog(const FileDialogRequest&) override { return "/f"; }
    void SetWaitCursor(bool shown) override { calls.push_back(shown ? "wait" : "idle"); }
    void ProcessEvents() override {}
    void Dispatch(const MSG&) override {}
    SHORT KeyState(int) override { return SHORT(0x8000); }
  } recorder;
  ScriptedAnswers script;
  SetBackend(&recorder);
  EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO), IDYES);
  { CWaitCursor wait; }
  EXPECT_NE(GetAsyncKeyState(VK_ESCAPE), 0);
  SetBackend(nullptr);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"box q", "wait", "idle"}));
  EXPECT_TRUE(script.Log().empty());
}

}  // namespace

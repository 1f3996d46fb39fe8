// The progress window and the sampling-period dialog, headless.
#include "pellor/progress.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"

namespace pellor {
namespace {

using namespace winport::ui;

TEST(ProgressTexts, SizesAndGroupedNumbers) {
  const struct {
    uint64_t bytes;
    const char* text;
  } sizes[] = {{3145728, "3 MB"},  {1024, "1 KB"},      {1048575, "1023 KB"},
               {1u << 30, "1 GB"}, {5ull << 32, "20 GB"}, {512, "512 Bytes"}, {0, "0 Bytes"}};
  for (const auto& s : sizes) EXPECT_EQ(FormatByteSize(s.bytes), s.text) << s.bytes;
  const struct {
    uint64_t value;
    const char* text;
  } numbers[] = {{1234567, "1.234.567"}, {999, "999"}, {1000, "1.000"}, {1000000, "1.000.000"},
                 {5, "5"},               {0, "0"},     {4294967295u, "4.294.967.295"}};
  for (const auto& n : numbers) EXPECT_EQ(FormatGroupedNumber(n.value), n.text) << n.value;
}

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProgressAborted(false); }
  void TearDown() override {
    Headless().SetEventHook(nullptr);
    if (ProgressWindow().HasWindow()) ProgressWindow().DestroyWindow();
    SetProgressAborted(false);
  }
  static std::string Text(int id) { return ProgressWindow().GetDlgItemText(id); }
  static const ControlState& Bar(int id) { return *ProgressWindow().FindControl(id); }

  ScriptedAnswers script_;
  ProgressRecord record_;
};

TEST_F(ProgressTest, OpensCentredWithItsTexts) {
  ProgressOpen(3, "Import", record_, 1144);
  CIOZustand& w = ProgressWindow();
  ASSERT_TRUE(w.HasWindow());
  const auto log = script_.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].modeless);
  EXPECT_EQ(log[0].dialogId, 206);
  EXPECT_EQ(log[0].caption, "MDF-Import");
  EXPECT_EQ(Text(CIOZustand::kVersionText), "Version 4.120");
  EXPECT_EQ(Text(CIOZustand::kGroupText), "Gruppe 1 von 3");
  EXPECT_EQ(Bar(CIOZustand::kGroupBar).rangeMax, 3);
  EXPECT_EQ(Bar(CIOZustand::kSignalBar).rangeMax, 100);
  EXPECT_EQ(record_.title, "Import");
  EXPECT_EQ(record_.currentGroup, 1);
  EXPECT_NE(record_.lastUpdate, 0u);
  EXPECT_DOUBLE_EQ(record_.groupShare, 1.0 / 3);
  // One monitor: centred in the full-screen area.
  RECT r{};
  ASSERT_TRUE(w.GetWindowRect(&r));
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXFULLSCREEN) / 2, 1);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYFULLSCREEN) / 2, 1);
}

TEST_F(ProgressTest, SignalLinesAndBars) {
  ProgressOpen(2, "", record_, 0x0305);
  EXPECT_EQ(Text(CIOZustand::kVersionText), "Version 3.05");
  ProgressSetSignal(3145728, "Reading.. group 1", record_);
  EXPECT_EQ(Text(CIOZustand::kSignalText), "Reading.. group 1 (3 MB)");
  ProgressSetSignal(1234567, "Speed", record_);
  EXPECT_EQ(Text(CIOZustand::kSignalText), "Signal Speed (N = 1.234.567)");
  // Percentages of more than 2^32 / 100 items (64-bit arithmetic).
  ProgressSetSignal(4000000000u, "Big", record_);
  record_.lastUpdate = 1;  // the tick has moved on since
  ProgressStep(3000000000u, record_, true);
  EXPECT_EQ(Bar(CIOZustand::kSignalBar).position, 75);
  EXPECT_EQ(record_.currentItem, 3000000000u);
  ProgressStep(2, record_, false);
  EXPECT_EQ(Text(CIOZustand::kGroupText), "Gruppe 2 von 2");
  EXPECT_EQ(Bar(CIOZustand::kGroupBar).position, 2);
  EXPECT_EQ(Bar(CIOZustand::kSignalBar).position, 0);
  EXPECT_FALSE(ProgressAborted());
}

TEST_F(ProgressTest, NoGroupsAndNoItemsDivideNothing) {
  ProgressOpen(0, "", record_, 1144);
  EXPECT_EQ(record_.groupShare, 0.0);
  EXPECT_EQ(Text(CIOZustand::kGroupText), "Gruppe 1 von 0");
  ProgressSetSignal(0, "Empty", record_);
  record_.lastUpdate = 1;
  ProgressStep(5, record_, true);
  EXPECT_EQ(Bar(CIOZustand::kSignalBar).position, 0);
}

TEST_F(ProgressTest, OnlyEscapeKeysAndCancelAbort) {
  ProgressOpen(1, "", record_, 1144);
  const HWND window = ProgressWindow().GetSafeHwnd();
  const struct {
    UINT message;
    WPARAM wParam;
    bool onCancel;  // sent to the Cancel button
    bool aborts;
  } cases[] = {
      {WM_COMMAND, VK_ESCAPE, false, false},  // 27 in wParam, but no key
      {WM_KEYUP, VK_ESCAPE, false, false},
      {WM_KEYDOWN, 'A', false, false},
      {WM_LBUTTONDOWN, 0, false, false},      // a click elsewhere
      {WM_KEYDOWN, VK_ESCAPE, false, true},
      {WM_CHAR, VK_ESCAPE, false, true},
      {WM_LBUTTONDOWN, 0, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    SetProgressAborted(false);
    const HWND target = c.onCancel ? ProgressWindow().GetDlgItem(IDCANCEL) : window;
    // Posted while the step polls, as a key press arrives.
    Headless().SetEventHook([&] {
      PostMessageA(target, c.message, c.wParam, 0);
      Headless().SetEventHook(nullptr);
    });
    ProgressStep(1, record_, true);
    EXPECT_EQ(ProgressAborted(), c.aborts);
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, window, 0, 0, PM_REMOVE)) << "the step takes the message";
  }
}

TEST_F(ProgressTest, CancelAndCloseEndTheWindow) {
  ProgressOpen(1, "", record_, 1144);
  ProgressWindow().SendCommand(IDCANCEL, BN_CLICKED);  // the user presses Cancel
  EXPECT_TRUE(ProgressAborted());
  EXPECT_FALSE(ProgressWindow().HasWindow());
  ProgressClose(record_);  // nothing left to close

  SetProgressAborted(false);
  ProgressRecord second;
  ProgressOpen(2, "", second, 1144);
  ASSERT_TRUE(ProgressWindow().HasWindow());
  ProgressClose(second);
  EXPECT_FALSE(ProgressWindow().HasWindow());
  EXPECT_TRUE(ProgressAborted());  // as the Part says; the next import clears it
  // A step after the close only polls.
  ProgressStep(1, second, false);
}

// A backend that reports two monitors: the window is centred over its parent.
class TwoMonitors : public HeadlessBackend {
 public:
  int SystemMetric(int index) override { return index == SM_CMONITORS ? 2 : HeadlessBackend::SystemMetric(index); }
};

TEST_F(ProgressTest, WithMoreMonitorsItCentresOverItsParent) {
  TwoMonitors backend;
  SetBackend(&backend);
  const HWND parent = CreateWindowHandle(nullptr);
  MoveWindow(parent, 100, 200, 600, 400, FALSE);
  const HWND before = SetActiveWindow(parent);
  ProgressOpen(1, "", record_, 1144);
  RECT r{};
  ProgressWindow().GetWindowRect(&r);
  EXPECT_NEAR((r.left + r.right) / 2, 400, 1) << r.left << " " << r.right;
  EXPECT_NEAR((r.top + r.bottom) / 2, 400, 1) << r.top << " " << r.bottom;

  ProgressClose(record_);
  SetActiveWindow(before);
  DestroyWindowHandle(parent);
  SetBackend(nullptr);
}

TEST(EditFrq, TakesOnlyAFinitePeriodAboveZero) {
  const std::string notANumber = "Bitte geben Sie eine Zahl ein.";
  const std::string notPositive = winport::Utf8ToAnsi("Bitte geben Sie eine Abtastrate größer als 0 ein.");
  const struct {
    std::vector<std::pair<std::string, const std::string*>> tries;  // typed texts and the box each brings
    double taken;
  } cases[] = {
      {{{"0.02", nullptr}}, 0.02},
      {{{"abc", &notANumber}, {" 0.5 ", nullptr}}, 0.5},
      {{{"0", &notPositive}, {"-1", &notPositive}, {"inf", &notPositive}, {"nan", &notPositive}, {"1e-3", nullptr}},
       0.001},
  };
  for (const auto& c : cases) {
    ScriptedAnswers script;
    ExpectedDialog dialog;
    dialog.text = "Abtastfrequenz";
    dialog.dialogId = 211;
    std::vector<std::string> boxes;
    for (const auto& [text, box] : c.tries) {
      dialog.actions.push_back(DialogAction::Text(CEditFrq::kPeriod, text));
      if (box) {
        dialog.actions.push_back(DialogAction::Press(IDOK));  // refused: the dialog stays
        boxes.push_back(*box);
      }
    }
    dialog.answer = IDOK;
    script.Dialog(dialog);
    for (const std::string& box : boxes) {
      ExpectedDialog expected;
      expected.text = box;
      expected.caption = "Pellor";  // the module's boxes, the platform's number check included
      script.Box(expected);
    }
    CEditFrq frq;
    frq.m_period = 0.01;
    frq.m_signals = "a\r\nb";
    EXPECT_EQ(frq.DoModal(), IDOK);
    EXPECT_DOUBLE_EQ(frq.m_period, c.taken);
    EXPECT_TRUE(script.Ok()) << script.Report();
    const auto log = script.Log();
    ASSERT_FALSE(log.empty());
    const auto& controls = log.front().controls;
    bool shown = false;
    for (const auto& [id, text] : controls) shown = shown || (id == CEditFrq::kSignalList && text == "a\r\nb");
    EXPECT_TRUE(shown) << "the affected signals are listed";
  }
}

TEST(EditFrq, CancelKeepsTheProposal) {
  ScriptedAnswers script;
  ExpectedDialog dialog;
  dialog.text = "Abtastfrequenz";
  dialog.actions.push_back(DialogAction::Text(CEditFrq::kPeriod, "7"));
  dialog.answer = IDCANCEL;
  script.Dialog(dialog);
  CEditFrq frq;
  frq.m_period = 0.01;
  EXPECT_EQ(frq.DoModal(), IDCANCEL);
  EXPECT_EQ(frq.m_period, 0.01);
  EXPECT_EQ(script.Log()[0].controls[3].second, "0.01");  // the proposal as "%.15g"
}

TEST(EditFrq, MovesDownByItsOwnHeight) {
  CDialog plain(CEditFrq().Template());
  CEditFrq frq;
  ASSERT_TRUE(plain.Create());
  ASSERT_TRUE(frq.Create());
  RECT a{}, b{};
  plain.GetWindowRect(&a);
  frq.GetWindowRect(&b);
  EXPECT_EQ(b.left, a.left);
  EXPECT_EQ(b.top, a.top + (a.bottom - a.top));
  EXPECT_EQ(b.bottom - b.top, a.bottom - a.top);
  plain.DestroyWindow();
  frq.DestroyWindow();
}

}  // namespace
}  // namespace pellor

// The import's progress window, headless.
#include "dravo/progress.h"

#include <gtest/gtest.h>

#include "platform/ui/headless.h"

namespace {

using namespace dravo;
using namespace winport::ui;

class Progress : public ::testing::Test {
 protected:
  void TearDown() override {
    DestroyProgressWindow(record_);
    EXPECT_TRUE(script_.Ok()) << script_.Report();
  }
  CProgressDialog& Window() { return *record_.dialog; }
  std::string Text(int id) { return Window().GetDlgItemText(id); }
  // Lets the interval pass as if the tick count had moved on since the last update.
  void Step(uint64_t step) {
    record_.lastTick = 1;
    StepProgress(step, record_);
  }

  ScriptedAnswers script_;
  ProgressRecord record_;
};

TEST_F(Progress, ShowsTheCountTheVersionAndZeroPercentCentred) {
  CreateProgressWindow(0, "Time Gruppe 3", record_, 520);
  ASSERT_TRUE(record_.dialog && Window().HasWindow());
  EXPECT_EQ(CurrentProgressWindow(), &Window());
  const auto log = script_.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].modeless);
  EXPECT_EQ(Window().GetWindowText(), "Time Gruppe 3");
  EXPECT_EQ(Text(kProgressCount), "N = 0");
  EXPECT_EQ(record_.text, "N = 0");
  EXPECT_EQ(Text(kProgressVersion), "Version 2.08");
  EXPECT_EQ(Text(kProgressCancel), "Abbrechen");
  EXPECT_EQ(record_.window, Window().GetSafeHwnd());
  // A total of 0 scales the bar as 1.
  EXPECT_GT(record_.barWidth, 0);
  EXPECT_DOUBLE_EQ(record_.pixelsPerStep, record_.barWidth);
  EXPECT_NE(record_.lastTick, 0u);
  EXPECT_EQ(record_.interval, 100u);
  // Before the first step: 0 percent, nothing filled.
  EXPECT_EQ(Window().LastDrawing().label, "0%");
  EXPECT_EQ(Window().LastDrawing().filled, 0);
  EXPECT_EQ(Text(kProgressBar), "0%");
  RECT r{};
  ASSERT_TRUE(Window().GetWindowRect(&r));
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  // The text is bounded, the interval longer for long totals.
  CreateProgressWindow(10001, std::string(100, 'x'), record_, 520);
  EXPECT_EQ(Window().GetWindowText(), std::string(63, 'x'));
  EXPECT_EQ(record_.interval, 500u);
  DestroyProgressWindow(record_);
  EXPECT_EQ(CurrentProgressWindow(), nullptr);
  EXPECT_EQ(record_.dialog, nullptr);
}

TEST_F(Progress, TheBarFillsToAHundredPercentAndRepaintsOnlyWhenThePercentChanges) {
  CreateProgressWindow(10, "Umwandlung der Gruppe 1 von 1", record_, 520);
  Step(5);
  EXPECT_EQ(Window().LastDrawing().label, "50%");
  EXPECT_EQ(LastDrawnPercent(), 50);
  Step(10);
  const BarDrawing& full = Window().LastDrawing();
  EXPECT_EQ(full.label, "100%");
  EXPECT_EQ(full.filled, record_.barWidth);
  EXPECT_EQ(Text(kProgressBar), "100%");
  Window().SetDlgItemText(kProgressBar, "unchanged");
  Step(10);
  EXPECT_EQ(Text(kProgressBar), "unchanged");
  // Before the interval has passed the bar stays.
  StepProgress(0, record_);
  EXPECT_EQ(LastDrawnPercent(), 100);
  // Totals and steps of more than 32 bits.
  CreateProgressWindow(uint64_t{1} << 40, "", record_, 520);
  Step(uint64_t{1} << 39);
  EXPECT_EQ(LastDrawnPercent(), 50);
  // The caption changes, the bar goes back to 0.
  SetProgressText("Time Gruppe 2", record_);
  EXPECT_EQ(Window().GetWindowText(), "Time Gruppe 2");
  EXPECT_EQ(record_.position, 0u);
}

TEST_F(Progress, ABarOfNoWidthDrawsZeroPercent) {
  EXPECT_EQ(DrawBar(5, 0, 0).percent, 0);
  EXPECT_EQ(DrawBar(5, 0, 0).label, "0%");
  EXPECT_EQ(DrawBar(0, 200, 100).filled, 0);
  EXPECT_EQ(DrawBar(200, 200, 100).filled, 100);
  EXPECT_EQ(DrawBar(300, 200, 100).filled, 100);
  CreateProgressWindow(10, "", record_, 520);
  Step(5);
  record_.barWidth = 0;
  Step(10);  // keeps the percentage last drawn
  EXPECT_EQ(LastDrawnPercent(), 50);
}

TEST_F(Progress, EscapeOrAbbrechenCancelsOtherMessagesDoNot) {
  CreateProgressWindow(10, "Time Gruppe 1", record_, 520);
  const HWND window = Window().GetSafeHwnd();
  // A message whose word parameter happens to be the Escape code is no key.
  PostMessageA(window, WM_LBUTTONUP, VK_ESCAPE, 0);
  StepProgress(1, record_);
  EXPECT_FALSE(ProgressCancelled());
  PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
  StepProgress(2, record_);
  EXPECT_TRUE(ProgressCancelled());

  // Creation clears the flag; a click on "Abbrechen" sets it.
  CreateProgressWindow(10, "Time Gruppe 1", record_, 520);
  EXPECT_FALSE(ProgressCancelled());
  PostMessageA(Window().GetDlgItem(kProgressCancel), WM_LBUTTONDOWN, 1, 0);
  StepProgress(1, record_);
  EXPECT_TRUE(ProgressCancelled());

  // The button's command sets it too, and the window stays for the importer to destroy.
  CreateProgressWindow(10, "Time Gruppe 1", record_, 520);
  Window().SendCommand(kProgressCancel, BN_CLICKED);
  EXPECT_TRUE(ProgressCancelled());
  EXPECT_TRUE(Window().HasWindow());
}

}  // namespace

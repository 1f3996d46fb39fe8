// The import's progress window, headless.
#include "dravo/progress.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "platform/ui/headless.h"

namespace {

using namespace dravo;
using namespace winport::ui;

// The colour a paint left at a point: that of the last fill covering it.
std::optional<COLORREF> ColourAt(const PaintRecord& paint, int x, int y) {
  std::optional<COLORREF> colour;
  for (const PaintOp& op : paint.ops)
    if (op.kind == PaintOp::Kind::Fill && x >= op.rect.left && x < op.rect.right && y >= op.rect.top &&
        y < op.rect.bottom)
      colour = op.colour;
  return colour;
}

// A paint of the bar at `percent`: the left percent of the control blue and
// the rest in the window colour, the label centred and drawn in the window
// colour clipped to the blue part and in blue clipped to the rest.
void ExpectBar(const PaintRecord& paint, int percent) {
  SCOPED_TRACE(std::to_string(percent) + "%");
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const int width = paint.client.right, height = paint.client.bottom;
  ASSERT_GT(width, 0);
  const int filled = width * percent / 100;
  for (int x = 0; x < width; ++x)
    for (int y : {0, height / 2, height - 1}) {
      ASSERT_EQ(ColourAt(paint, x, y), x < filled ? kProgressBlue : window) << x << ", " << y;
    }
  const std::string label = std::to_string(percent) + "%";
  std::vector<const PaintOp*> texts;
  for (const PaintOp& op : paint.ops)
    if (op.kind == PaintOp::Kind::Text) texts.push_back(&op);
  ASSERT_EQ(texts.size(), 2u);
  const RECT over[] = {{0, 0, filled, height}, {filled, 0, width, height}};
  const COLORREF colours[] = {window, kProgressBlue};
  for (size_t i = 0; i < 2; ++i) {
    const PaintOp& t = *texts[i];
    EXPECT_EQ(t.text, label);
    EXPECT_EQ(t.colour, colours[i]);
    ASSERT_TRUE(t.clip.has_value());
    EXPECT_EQ(std::tie(t.clip->left, t.clip->top, t.clip->right, t.clip->bottom),
              std::tie(over[i].left, over[i].top, over[i].right, over[i].bottom));
    EXPECT_NEAR(t.rect.left + t.rect.right, width, 1);
    EXPECT_NEAR(t.rect.top + t.rect.bottom, height, 1);
  }
}

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
  // Painted when shown: 0 percent in blue on the window colour.
  const auto paints = Headless().Paints();
  ASSERT_EQ(paints.size(), 1u);
  EXPECT_EQ(paints[0].control, kProgressBar);
  EXPECT_EQ(paints[0].client.right, record_.barWidth);
  ExpectBar(paints[0], 0);
  EXPECT_EQ(Text(kProgressBar), "");
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
  CreateProgressWindow(4, "Umwandlung der Gruppe 1 von 1", record_, 520);
  Step(1);
  EXPECT_EQ(LastDrawnPercent(), 25);
  Step(3);
  Step(4);
  const auto paints = Headless().Paints();
  ASSERT_EQ(paints.size(), 4u);  // shown, then each new percentage
  ExpectBar(paints[1], 25);
  ExpectBar(paints[2], 75);
  // Full: 100 percent in the window colour on blue.
  ExpectBar(paints[3], 100);
  // The same percentage again, and a step before the interval has passed, paint nothing.
  Step(4);
  StepProgress(0, record_);
  EXPECT_EQ(Headless().Paints().size(), 4u);
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

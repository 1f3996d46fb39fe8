// The import's progress window drawn by the Qt backend on the offscreen
// platform: the bar as painted, with a picture of it kept in the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>

#include "dravo/progress.h"
#include "platform/ui/qt/qt_backend.h"
#include "tests/support/qt_offscreen.h"

namespace {

using namespace dravo;
using namespace winport::ui;

class QtProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::OffscreenApplication("test_dravo_qt");
    backend_ = std::make_unique<QtBackend>();
    SetBackend(backend_.get());
  }
  void TearDown() override {
    DestroyProgressWindow(record_);
    SetBackend(nullptr);
    backend_.reset();
  }

  // The bar as it shows after the window moved to `step`.
  QImage BarAt(uint64_t step) {
    record_.lastTick = 1;  // as if the interval had passed
    StepProgress(step, record_);
    QApplication::processEvents();
    QWidget* bar = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
        bar = dialog->findChild<QWidget*>(QStringLiteral("control%1").arg(kProgressBar));
    if (!bar) return {};
    return bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  std::unique_ptr<QtBackend> backend_;
  ProgressRecord record_;
};

struct Counts {
  int blue = 0, window = 0, other = 0;
};

// The pixels of columns [from, to) by colour: blue, the window colour, or
// any other (where the label's strokes are).
Counts Count(const QImage& image, int from, int to, QRgb window) {
  Counts c;
  for (int y = 0; y < image.height(); ++y)
    for (int x = from; x < to; ++x) {
      const QRgb p = image.pixel(x, y) & 0xFFFFFF;
      if (p == 0x0000FF)
        ++c.blue;
      else if (p == (window & 0xFFFFFF))
        ++c.window;
      else
        ++c.other;
    }
  return c;
}

// Half full: blue on the left, the window colour on the right, and the
// label shows on both: in the window colour over the blue and in blue over
// the window colour (a label of one colour would vanish on one side). Empty
// and full show it in blue on the window colour and in the window colour on blue.
TEST_F(QtProgress, TheBarIsPaintedWithItsTwoBrushesAndTheTwoColouredLabel) {
  CreateProgressWindow(4, "Umwandlung der Gruppe 1 von 1", record_, 520);
  ASSERT_NE(CurrentProgressWindow(), nullptr);
  const COLORREF w = GetSysColor(COLOR_WINDOW);
  const QRgb window = qRgb(GetRValue(w), GetGValue(w), GetBValue(w));

  const QImage half = BarAt(2);
  ASSERT_FALSE(half.isNull());
  EXPECT_TRUE(half.save(QString::fromUtf8(TEST_OUTPUT_DIR "/dravo-progress-50.png")));
  const int width = half.width(), middle = width / 2;
  ASSERT_GT(width, 40);
  // Away from the label each side is one colour.
  EXPECT_EQ(Count(half, 0, 10, window).blue, 10 * half.height());
  EXPECT_EQ(Count(half, width - 10, width, window).window, 10 * half.height());
  const Counts left = Count(half, 10, middle, window), right = Count(half, middle, width - 10, window);
  EXPECT_GT(left.other + left.window, 0);
  EXPECT_GT(left.blue, 0);
  EXPECT_GT(right.other + right.blue, 0);
  EXPECT_GT(right.window, 0);

  const QImage full = BarAt(4);
  const Counts all = Count(full, 0, width, window);
  EXPECT_GT(all.other + all.window, 0);  // the label
  EXPECT_GT(all.blue, 10 * (all.other + all.window));

  CreateProgressWindow(4, "Time Gruppe 1", record_, 520);
  const QImage empty = BarAt(0);
  const Counts none = Count(empty, 0, width, window);
  EXPECT_GT(none.other + none.blue, 0);  // the label
  EXPECT_GT(none.window, 10 * (none.other + none.blue));
}

}  // namespace

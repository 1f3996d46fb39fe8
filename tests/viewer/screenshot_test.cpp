// A picture of the main window with a file open: it must show something, and
// it is kept in the build folder to be looked at.
#include <set>

#include <QImage>
#include <QPixmap>

#include "tests/viewer/viewer_fixture.h"

using namespace testsupport;
using viewertest::Child;

namespace {

class ScreenshotTest : public viewertest::ViewerTest {};

TEST_F(ScreenshotTest, MainWindowWithAFileOpenIsNotBlank) {
  FileDef def = SimpleFileDef(2, 3, 500);
  def.fileComment = "Bremsenpr\xFC" "fstand, Lauf 7";
  ASSERT_NE(app->OpenDocumentFile(Save(def, "sample.mdf")), nullptr);
  frame->resize(1000, 620);
  left->expandAll();
  Select(Child(Child(Root(), "Data group 1"), "Data"));
  right->SetCurrentRow(3);
  QApplication::processEvents();

  const QImage image = frame->grab().toImage();
  ASSERT_FALSE(image.isNull());
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  EXPECT_GE(colours.size(), 8u) << "the window looks blank";
  // The tree and the grid both draw text: neither half is one flat colour.
  for (QWidget* pane : {static_cast<QWidget*>(left), static_cast<QWidget*>(right)}) {
    const QImage part = pane->grab().toImage();
    std::set<QRgb> inPane;
    for (int y = 0; y < part.height(); ++y)
      for (int x = 0; x < part.width(); ++x) inPane.insert(part.pixel(x, y));
    EXPECT_GE(inPane.size(), 3u);
  }
  EXPECT_TRUE(image.save(QStringLiteral(TEST_OUTPUT_DIR "/viewer-screenshot.png")));
}

}  // namespace

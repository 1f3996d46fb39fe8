// Qt in a test: one QApplication on the offscreen platform, modal windows
// checked once they show, and pictures that must show something.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace testsupport {

// The process's QApplication, made on first use on the offscreen platform.
inline QApplication& OffscreenApplication(const char* programName) {
  static QApplication* app = [programName] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the offscreen platform says about itself at every window is no news.
    static QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (message.startsWith(QStringLiteral("This plugin does not support")) ||
              message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR")))
            return;
          if (previous) previous(type, context, message);
        });
    static int argc = 1;
    static char name[64];
    snprintf(name, sizeof name, "%s", programName);
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);  // lives as long as the process
  }();
  return *app;
}

// Runs `check` on the modal window of this type once it shows (the caller's
// modal call blocks meanwhile); a window the check leaves open is hidden after 20 s.
template <typename Window>
void WhenShown(std::function<void(Window*)> check) {
  QTimer::singleShot(0, [check] {
    auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr) << "no modal window";
    check(window);
  });
  QTimer::singleShot(20000, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->hide();
  });
}

// The number of colours in a picture, sampled every second pixel: a blank one has one or two.
inline size_t ColourCount(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  return colours.size();
}

}  // namespace testsupport

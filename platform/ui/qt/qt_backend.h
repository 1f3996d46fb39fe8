// The Qt backend of the user interface layer: message boxes, file dialogs and
// dialogs from resource tables drawn with Qt Widgets, the wait cursor, the key
// poll, and Qt's own events run at every PeekMessageA. A program that runs a
// QApplication makes one and installs it:
//
//   QApplication app(argc, argv);
//   winport::ui::QtBackend backend;
//   winport::ui::SetBackend(&backend);
//
// Everything it draws lives on the thread of the QApplication: a box or file
// dialog asked for on another thread is shown there while the asking thread
// waits; a dialog from a resource table runs only on that thread (elsewhere
// DoModal gives -1 and Create fails).
#pragma once

#include <memory>
#include <string>

#include <QFont>
#include <QString>

#include "platform/ui/backend.h"
#include "platform/ui/dialog.h"

class QWidget;

namespace winport::ui {

class QtBackend : public Backend {
 public:
  QtBackend();
  // Puts the headless backend back when this one is installed.
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
  std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
  void SetWaitCursor(bool shown) override;
  void ProcessEvents() override;
  // Input reaches our widgets through Qt itself: a dispatched message needs nothing more.
  void Dispatch(const MSG& msg) override;
  SHORT KeyState(int virtualKey) override;
  INT_PTR RunModalDialog(CDialog& dialog) override;
  bool ShowModelessDialog(CDialog& dialog) override;
  UINT PopupMenu(const PopupMenuRequest& request) override;
  // The primary screen's sizes (the full-screen height without a caption) and the number of screens.
  int SystemMetric(int index) override;
  BaseUnits DialogUnits(const DialogTemplate& dialog) override;
  void WindowMoved(HWND window, const RECT& rect) override;
  // COLOR_WINDOW: the palette's base colour.
  DWORD SystemColor(int index) override;

 private:
  class KeyTracker;
  std::unique_ptr<KeyTracker> keys_;
};

// The widget that draws a window handle: owners of boxes and dialogs are found
// through it. A handle bound twice takes the later widget.
void BindWindow(HWND window, QWidget* widget);
void UnbindWindow(HWND window);
QWidget* WidgetOf(HWND window);

// The font a dialog is drawn in: the application's family at the template's point size.
QFont DialogFont(const DialogTemplate& dialog);
// The font's dialog base units: its average character width and its height in pixels.
BaseUnits DialogBaseUnits(const QFont& font);

// The virtual-key code of a Qt key (Qt::Key); 0 for keys without one.
int VirtualKeyOf(int qtKey);

// Texts between the system (Windows-1252) and Qt.
QString FromAnsi(const std::string& ansi);
std::string ToAnsi(const QString& text);

}  // namespace winport::ui

// What draws the user interface: the headless backend (the default, see
// headless.h) or one that a GUI toolkit provides and installs with SetBackend.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/filedialog.h"
#include "platform/ui/window.h"

namespace winport::ui {

// One entry of a popup menu.
struct MenuItem {
  UINT id = 0;
  std::string text;  // ANSI; empty with MF_SEPARATOR
  UINT flags = 0;    // MF_ flags
};

// A popup menu to show at a screen point.
struct PopupMenuRequest {
  HWND owner = nullptr;
  POINT at{0, 0};
  UINT flags = 0;  // TPM_ flags
  std::vector<MenuItem> items;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Shows a box (texts in Windows-1252) and returns the ID of the button chosen.
  virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
  virtual std::optional<std::string> FileDialog(const FileDialogRequest& request) = 0;
  virtual void SetWaitCursor(bool shown) = 0;
  // Called by PeekMessageA before it looks at the queue: lets the toolkit run
  // its own events and post the input meant for our windows (PostMessageA).
  virtual void ProcessEvents() = 0;
  // A message taken from the queue and dispatched.
  virtual void Dispatch(const MSG& msg) = 0;
  // GetAsyncKeyState's answer.
  virtual SHORT KeyState(int virtualKey) = 0;
  // Shows a dialog modally: BeginWindow, InitDialog, the user's work until the
  // dialog ends, EndWindow; returns the dialog's result. A backend without
  // dialogs returns -1 (cannot be shown).
  virtual INT_PTR RunModalDialog(CDialog& dialog);
  // Shows a dialog without waiting (BeginWindow, InitDialog); false when it
  // cannot be shown. The dialog's DestroyWindow takes it away.
  virtual bool ShowModelessDialog(CDialog& dialog);
  // Shows a popup menu and returns the command chosen, 0 when none was.
  // A backend without menus returns 0.
  virtual UINT PopupMenu(const PopupMenuRequest& request);
  // GetSystemMetrics' answer. Base: one monitor of 1920 x 1080, 1920 x 1017
  // without the task bar and a caption.
  virtual int SystemMetric(int index);
  // The dialog units of a dialog's font. Base: those of an 8-point "MS Sans Serif" (6, 13).
  virtual BaseUnits DialogUnits(const DialogTemplate& dialog);
  // MoveWindow changed a window's rectangle (already stored): a backend that
  // draws the window moves it.
  virtual void WindowMoved(HWND window, const RECT& rect);
  // GetSysColor's answer (0x00BBGGRR). Base: white for COLOR_WINDOW, black otherwise.
  virtual DWORD SystemColor(int index);
};

// Installs a backend (not owned; nullptr: back to the headless one).
void SetBackend(Backend* backend);
Backend& CurrentBackend();

}  // namespace winport::ui

// What draws the user interface: the headless backend (the default, see
// headless.h) or one that a GUI toolkit provides and installs with SetBackend.
#pragma once

#include <optional>
#include <string>

#include "platform/ui/filedialog.h"
#include "platform/ui/window.h"

class CDialog;

namespace winport::ui {

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
};

// Installs a backend (not owned; nullptr: back to the headless one).
void SetBackend(Backend* backend);
Backend& CurrentBackend();

}  // namespace winport::ui

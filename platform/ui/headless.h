// The headless backend: the default wherever no GUI backend is installed.
//
// It records every box, file dialog and dialog in a log and answers from a
// script of expected dialogs. A dialog that the script does not expect (none left, or the
// next one differs) is a failure: it is kept in Failures(), handed to the
// failure handler (by default a line on stderr; a test installs one that fails
// the test) and answered with the default button, or as cancelled.
//
//   winport::ui::ScriptedAnswers script;
//   script.Box("Datei ist ung\xFCltig!", IDOK).FileDialog("/tmp/out.csv");
//   script.Dialog("Info", IDOK);
//   script.Popup(255);  // a popup menu answered with command 255 (0: dismissed)
//
// A modal dialog runs its OnInitDialog, is logged with its control texts, then
// the script's actions are done to it (texts typed, boxes checked, entries
// selected, buttons pressed) and finally its answer button is pressed; a
// dialog still open after that is a failure and ends as cancelled, as does an
// unexpected one. Modeless windows have nothing to answer: they are logged and
// stay until the program destroys them.
//   ... code that shows them ...
//   EXPECT_TRUE(script.Ok()) << script.Report();
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/backend.h"
#include "platform/ui/dialog.h"
#include "platform/ui/messagebox.h"

namespace winport::ui {

enum class DialogKind { MessageBox, FileDialog, Dialog, PopupMenu };

// One box or dialog as it was shown and answered.
struct DialogRecord {
  DialogKind kind = DialogKind::MessageBox;
  HWND owner = nullptr;
  std::string text;     // box text; file dialog: the initial file name; dialog: its caption
  std::string caption;  // box caption; file dialog: the title; dialog: its caption
  UINT flags = 0;       // MB_ flags; file dialog: OFN_ flags; dialog: its style
  // File dialogs only.
  bool save = false;
  std::string filter, defaultExt, initialDir;
  // Dialogs only: the resource id, whether modeless, and each control's id and
  // text as OnInitDialog left them, in the template's order. Popup menus: each
  // item's command and text.
  int dialogId = 0;
  bool modeless = false;
  std::vector<std::pair<int, std::string>> controls;
  // Dialogs only: the texts that ReadCell actions read, in order.
  std::vector<std::string> cells;
  int result = 0;    // the button; file dialog: IDOK or IDCANCEL; dialog: its result
  std::string path;  // file dialog: the path returned
  bool expected = false;
};

// One paint of an owner-drawn control, as its dialog's WM_DRAWITEM did it:
// each fill and each text in order, in the control's client coordinates.
struct PaintOp {
  enum class Kind { Fill, Text };
  Kind kind = Kind::Fill;
  RECT rect{0, 0, 0, 0};  // Fill: the rectangle; Text: the text's cell
  COLORREF colour = 0;
  std::string text;       // Text only
  std::optional<RECT> clip;  // Text only: where it was clipped to
};
struct PaintRecord {
  HWND window = nullptr;  // the control's
  int control = 0;        // its id
  RECT client{0, 0, 0, 0};
  std::vector<PaintOp> ops;
};

// What a script does in a dialog before it presses the answer button.
struct DialogAction {
  enum class Kind { SetText, SetCheck, Select, Press, SelectItem, RightClickItem, ClickColumn, ReadCell, Resize, Call };
  Kind kind = Kind::Press;
  int control = IDOK;
  std::string text;  // SetText
  int value = 0;     // SetCheck: the check state; Select: the entry's index; ClickColumn, ReadCell: the column
  int row = 0;       // ReadCell
  SIZE size{0, 0};   // Resize
  std::vector<std::string> path;  // SelectItem, RightClickItem: labels from a top-level item down
  std::function<void(CDialog&)> call;

  // Types a text into a control (EN_CHANGE).
  static DialogAction Text(int control, std::string text);
  // Sets a check box (BN_CLICKED).
  static DialogAction Check(int control, UINT state);
  // Selects an entry of a list box, combo box or tab control (its change notification).
  static DialogAction Select(int control, int index);
  // Clicks a button (BN_CLICKED); a disabled or hidden one is a failure.
  static DialogAction Press(int control);
  // Tree views: shows the item at this label path (expanding its ancestors) and
  // clicks it (TVN_SELCHANGED), or right-clicks it (NM_RCLICK with the cursor
  // on it; an empty path right-clicks below the items). An unknown path is a failure.
  static DialogAction SelectItem(int control, std::vector<std::string> path);
  static DialogAction RightClickItem(int control, std::vector<std::string> path);
  // Report lists: clicks a column's header (LVN_COLUMNCLICK), or reads a cell
  // as the list asks for it (LVN_GETDISPINFO) into the record's `cells`.
  static DialogAction ClickColumn(int control, int column);
  static DialogAction ReadCell(int control, int row, int column);
  // Resizes the dialog's client area (WM_SIZE).
  static DialogAction Resize(int width, int height);
  // Runs a test's code on the dialog (its checks, in the middle of the script).
  static DialogAction Call(std::function<void(CDialog&)> fn);
};

// A dialog the script expects next, with its answer. A box matches when its
// text is equal (and its caption and type, when given); a dialog when its
// caption (in `text`) is equal (and its resource id, when given).
struct ExpectedDialog {
  DialogKind kind = DialogKind::MessageBox;
  std::string text;
  std::optional<std::string> caption;
  std::optional<UINT> type;
  int answer = IDOK;                // box: the button pressed; dialog: the button pressed last;
                                    // popup menu: the command chosen (0: dismissed)
  std::optional<std::string> path;  // file dialog: the path chosen; none cancels
  std::optional<int> dialogId;      // dialog only
  std::vector<DialogAction> actions;  // dialog only: done before the answer is pressed
};

class HeadlessBackend : public Backend {
 public:
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
  std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
  void SetWaitCursor(bool shown) override;
  void ProcessEvents() override;
  void Dispatch(const MSG& msg) override;
  SHORT KeyState(int virtualKey) override;
  INT_PTR RunModalDialog(CDialog& dialog) override;
  bool ShowModelessDialog(CDialog& dialog) override;
  UINT PopupMenu(const PopupMenuRequest& request) override;

  void Expect(ExpectedDialog expected);
  // Expectations not met yet.
  std::vector<ExpectedDialog> Pending() const;
  std::vector<DialogRecord> Log() const;
  std::vector<std::string> Failures() const;
  // Owner-drawn controls are painted when their dialog shows and whenever
  // they are invalidated; these are the paints, oldest first. Text is
  // measured as the dialog units have it: base width per character, base height.
  std::vector<PaintRecord> Paints() const;
  void AddPaint(PaintRecord paint);
  // A backend that nobody asks for its paints keeps none (they would pile up
  // with every step of a progress window).
  void KeepPaints(bool keep) { keepPaints_ = keep; }
  // Messages that DispatchMessageA handed over, oldest first.
  std::vector<MSG> Dispatched() const;
  // Times the wait cursor was switched on.
  int WaitCursorShows() const;
  // Forgets log, script, failures and dispatched messages.
  void Reset();

  void SetFailureHandler(std::function<void(const std::string&)> handler);
  // Reports each pending expectation as a failure and drops it.
  void FailPending();
  // Answers GetAsyncKeyState (default: no key is down).
  void SetKeyStateHook(std::function<SHORT(int virtualKey)> hook);
  // Runs at every PeekMessageA before the queue is read; a test posts input from it.
  void SetEventHook(std::function<void()> hook);

 private:
  void Fail(const std::string& failure);
  // The expectation for a dialog, taken from the script when it matches.
  std::optional<ExpectedDialog> Match(const DialogRecord& shown, std::string& failure);

  mutable std::mutex mutex_;
  std::vector<ExpectedDialog> script_;
  std::vector<DialogRecord> log_;
  std::vector<std::string> failures_;
  std::vector<MSG> dispatched_;
  std::vector<PaintRecord> paints_;
  bool keepPaints_ = true;
  int waitCursorShows_ = 0;
  std::function<void(const std::string&)> failureHandler_;
  std::function<SHORT(int)> keyStateHook_;
  std::function<void()> eventHook_;
};

// The process's headless backend.
HeadlessBackend& Headless();

// A test's script: resets the headless backend when made; when destroyed,
// reports the expectations still pending as failures and resets it again.
class ScriptedAnswers {
 public:
  ScriptedAnswers();
  ~ScriptedAnswers();
  ScriptedAnswers(const ScriptedAnswers&) = delete;
  ScriptedAnswers& operator=(const ScriptedAnswers&) = delete;

  ScriptedAnswers& Box(const std::string& text, int answer = IDOK);
  ScriptedAnswers& Box(ExpectedDialog expected);
  // A file dialog answered with `path`, or cancelled when there is none.
  ScriptedAnswers& FileDialog(std::optional<std::string> path);
  // A dialog with this caption, closed by pressing `button`.
  ScriptedAnswers& Dialog(const std::string& caption, int button = IDOK);
  // A dialog as described (kind is set to Dialog).
  ScriptedAnswers& Dialog(ExpectedDialog expected);
  // A popup menu answered with `command` (0: dismissed without a choice).
  ScriptedAnswers& Popup(UINT command);

  std::vector<DialogRecord> Log() const { return Headless().Log(); }
  // Unexpected dialogs so far and expectations still pending.
  std::vector<std::string> Failures() const;
  bool Ok() const { return Failures().empty(); }
  std::string Report() const;
};

}  // namespace winport::ui

#include "platform/ui/headless.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/commctrl.h"
#include "platform/ui/menu.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"

namespace winport::ui {
namespace {

// A dialog as failure messages describe it; texts in UTF-8 for the reader.
std::string Describe(DialogKind kind, const std::string& text, const std::optional<std::string>& caption) {
  if (kind == DialogKind::FileDialog) return "file dialog";
  if (kind == DialogKind::PopupMenu) return "popup menu";
  if (kind == DialogKind::Dialog) return "dialog \"" + AnsiToUtf8(text) + "\"";
  std::string out = "message box \"" + AnsiToUtf8(text) + "\"";
  if (caption) out += " (caption \"" + AnsiToUtf8(*caption) + "\")";
  return out;
}

std::string Describe(const ExpectedDialog& e) { return Describe(e.kind, e.text, e.caption); }
std::string Describe(const DialogRecord& r) { return Describe(r.kind, r.text, r.caption); }

}  // namespace

HeadlessBackend& Headless() {
  static HeadlessBackend* backend = new HeadlessBackend;  // never destroyed: boxes may come during exit
  return *backend;
}

std::optional<ExpectedDialog> HeadlessBackend::Match(const DialogRecord& shown, std::string& failure) {
  if (script_.empty()) {
    failure = "unexpected " + Describe(shown);
    return std::nullopt;
  }
  const ExpectedDialog& next = script_.front();
  bool matches = next.kind == shown.kind;
  if (matches && shown.kind == DialogKind::MessageBox)
    matches = next.text == shown.text && (!next.caption || *next.caption == shown.caption) &&
              (!next.type || *next.type == shown.flags);
  if (matches && shown.kind == DialogKind::Dialog)
    matches = next.text == shown.text && (!next.dialogId || *next.dialogId == shown.dialogId);
  if (!matches) {
    failure = "expected " + Describe(next) + ", got " + Describe(shown);
    if (next.type && next.kind == DialogKind::MessageBox && next.kind == shown.kind && next.text == shown.text)
      failure += " with type " + std::to_string(shown.flags) + " instead of " + std::to_string(*next.type);
    if (next.dialogId && next.kind == DialogKind::Dialog && next.kind == shown.kind && next.text == shown.text)
      failure += " with id " + std::to_string(shown.dialogId) + " instead of " + std::to_string(*next.dialogId);
    return std::nullopt;
  }
  ExpectedDialog taken = next;
  script_.erase(script_.begin());
  return taken;
}

int HeadlessBackend::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  DialogRecord record;
  record.kind = DialogKind::MessageBox;
  record.owner = owner;
  record.text = text;
  record.caption = caption;
  record.flags = type;
  std::string failure;
  {
    std::lock_guard lock(mutex_);
    const std::optional<ExpectedDialog> expected = Match(record, failure);
    const std::vector<int> buttons = ButtonsOf(type);
    record.result = DefaultButtonOf(type);
    if (expected) {
      if (std::find(buttons.begin(), buttons.end(), expected->answer) != buttons.end())
        record.result = expected->answer;
      else
        failure = "the answer " + std::to_string(expected->answer) + " is not a button of " + Describe(record);
    }
    record.expected = failure.empty();
    log_.push_back(record);
  }
  if (!failure.empty()) Fail(failure);
  return record.result;
}

std::optional<std::string> HeadlessBackend::FileDialog(const FileDialogRequest& request) {
  DialogRecord record;
  record.kind = DialogKind::FileDialog;
  record.owner = request.owner;
  record.text = request.initialName;
  record.caption = request.title;
  record.flags = request.flags;
  record.save = request.save;
  record.filter = request.filter;
  record.defaultExt = request.defaultExt;
  record.initialDir = request.initialDir;
  std::string failure;
  std::optional<std::string> path;
  {
    std::lock_guard lock(mutex_);
    if (const std::optional<ExpectedDialog> expected = Match(record, failure)) path = expected->path;
    record.result = path ? IDOK : IDCANCEL;
    record.path = path.value_or("");
    record.expected = failure.empty();
    log_.push_back(record);
  }
  if (!failure.empty()) Fail(failure);
  return path;
}

namespace {

// Paints into a record of what was painted.
class RecordingSurface : public Surface {
 public:
  RecordingSurface(PaintRecord& record, BaseUnits units) : record_(record), units_(units) {}
  void Fill(const RECT& rect, COLORREF colour) override {
    record_.ops.push_back(PaintOp{PaintOp::Kind::Fill, rect, colour, {}, std::nullopt});
  }
  SIZE TextExtent(const std::string& text) override {
    return SIZE{static_cast<LONG>(units_.x * static_cast<int>(text.size())), units_.y};
  }
  void Text(int x, int y, const RECT* clip, COLORREF colour, const std::string& text) override {
    const SIZE extent = TextExtent(text);
    PaintOp op{PaintOp::Kind::Text, RECT{x, y, x + extent.cx, y + extent.cy}, colour, text, std::nullopt};
    if (clip) op.clip = *clip;
    record_.ops.push_back(std::move(op));
  }

 private:
  PaintRecord& record_;
  BaseUnits units_;
};

// A dialog's window here: nothing is drawn but its owner-drawn controls,
// whose paints are recorded. A modeless window's view goes with it.
class NoView : public DialogView {
 public:
  NoView(HeadlessBackend& backend, CDialog& dialog, bool owned)
      : backend_(backend), dialog_(dialog), owned_(owned) {}
  void ControlChanged(size_t) override {}
  void CaptionChanged() override {}
  void ControlInvalidated(size_t index) override {
    if (index < dialog_.Controls().size() && IsOwnerDrawn(*dialog_.Controls()[index].control)) Paint(index);
  }
  void Close() override {
    if (owned_) delete this;
  }

  // Paints every owner-drawn control, as a window does when it shows.
  void PaintAll() {
    for (size_t i = 0; i < dialog_.Controls().size(); ++i)
      if (IsOwnerDrawn(*dialog_.Controls()[i].control)) Paint(i);
  }

 private:
  void Paint(size_t index) {
    if (!dialog_.HasWindow() || index >= dialog_.Controls().size()) return;
    const ControlState& c = dialog_.Controls()[index];
    PaintRecord record;
    record.window = c.hwnd;
    record.control = c.control->id;
    GetClientRect(c.hwnd, &record.client);
    RecordingSurface surface(record, dialog_.Units());
    PaintOwnerDrawn(dialog_, index, surface);
    backend_.AddPaint(std::move(record));
  }

  HeadlessBackend& backend_;
  CDialog& dialog_;
  bool owned_;
};

DialogRecord RecordOf(const CDialog& dialog, bool modeless) {
  DialogRecord record;
  record.kind = DialogKind::Dialog;
  record.owner = dialog.GetParentHwnd();
  record.text = dialog.GetWindowText();
  record.caption = record.text;
  record.flags = dialog.Template().style;
  record.dialogId = dialog.Template().id;
  record.modeless = modeless;
  for (const ControlState& c : dialog.Controls()) record.controls.emplace_back(c.control->id, c.text);
  return record;
}

std::string Name(const CDialog& dialog) { return "dialog \"" + AnsiToUtf8(dialog.GetWindowText()) + "\""; }

std::string PathText(const std::vector<std::string>& path) {
  std::string out;
  for (const std::string& label : path) out += (out.empty() ? "" : " / ") + AnsiToUtf8(label);
  return "\"" + out + "\"";
}

// Clicks a tree item (or, without one, the free place below the items) with the right button.
std::string RightClick(CDialog& dialog, ControlState& c, const DialogAction& action, const std::string& where) {
  POINT point{1, 0};
  if (!action.path.empty()) {
    const HTREEITEM item = c.tree.Find(action.path);
    if (!item) return where + " has no item " + PathText(action.path);
    ShowTreeItem(dialog, action.control, item);
    point.y = (c.tree.RowOf(item) - c.tree.top) * TreeModel::kRowHeight + TreeModel::kRowHeight / 2;
  } else {
    RECT client{};
    GetClientRect(c.hwnd, &client);
    point.y = client.bottom - 1;
    if (TreeItemAt(dialog, action.control, point)) return where + " has no free place below its items";
  }
  ClientToScreen(c.hwnd, &point);
  SetCursorPosition(point);
  NMHDR header{nullptr, 0, NM_RCLICK};
  dialog.SendNotify(action.control, &header);
  return {};
}

// Does one scripted action the way the user's input would; a failure text when it cannot be done.
std::string Apply(CDialog& dialog, const DialogAction& action, std::vector<std::string>& cells) {
  if (action.kind == DialogAction::Kind::Call) {
    if (action.call) action.call(dialog);
    return {};
  }
  if (action.kind == DialogAction::Kind::Resize) {
    RECT r{};
    dialog.GetWindowRect(&r);
    dialog.MoveWindow(r.left, r.top, action.size.cx, action.size.cy);
    return {};
  }
  ControlState* c = dialog.FindControl(action.control);
  const std::string where = "control " + std::to_string(action.control) + " of " + Name(dialog);
  if (!c) return "no " + where;
  if (!c->enabled || !c->visible) return where + " is disabled or hidden";
  const std::string& cls = c->control->className;
  switch (action.kind) {
    case DialogAction::Kind::SetText:
      c->text = action.text;
      dialog.SendCommand(action.control, EN_CHANGE);
      break;
    case DialogAction::Kind::SetCheck:
      c->checked = static_cast<UINT>(action.value);
      dialog.SendCommand(action.control, BN_CLICKED);
      break;
    case DialogAction::Kind::Select:
      if (action.value < -1 || (action.value >= 0 && static_cast<size_t>(action.value) >= c->items.size()))
        return where + " has no entry " + std::to_string(action.value);
      c->selection = action.value;
      if (EqualsNoCase(cls, kTabControlClass))
        dialog.SendNotify(action.control, TCN_SELCHANGE);
      else if (EqualsNoCase(cls, kComboBoxClass))
        dialog.SendCommand(action.control, CBN_SELCHANGE);
      else if ((c->control->style & LBS_NOTIFY) != 0)
        dialog.SendCommand(action.control, LBN_SELCHANGE);
      break;
    case DialogAction::Kind::Press:
      dialog.SendCommand(action.control, BN_CLICKED);
      break;
    case DialogAction::Kind::SelectItem: {
      if (!EqualsNoCase(cls, kTreeViewClass)) return where + " is no tree view";
      const HTREEITEM item = c->tree.Find(action.path);
      if (!item) return where + " has no item " + PathText(action.path);
      ShowTreeItem(dialog, action.control, item);
      SelectTreeItem(dialog, action.control, item, TVC_BYMOUSE);
      break;
    }
    case DialogAction::Kind::RightClickItem:
      if (!EqualsNoCase(cls, kTreeViewClass)) return where + " is no tree view";
      return RightClick(dialog, *c, action, where);
    case DialogAction::Kind::ClickColumn: {
      if (!EqualsNoCase(cls, kListViewClass)) return where + " is no list view";
      if (c->control->style & LVS_NOSORTHEADER) return where + " has no header buttons";
      if (action.value < 0 || static_cast<size_t>(action.value) >= c->list.columns.size())
        return where + " has no column " + std::to_string(action.value);
      NMLISTVIEW nm{};
      nm.hdr.code = LVN_COLUMNCLICK;
      nm.iItem = -1;
      nm.iSubItem = action.value;
      dialog.SendNotify(action.control, &nm.hdr);
      break;
    }
    case DialogAction::Kind::ReadCell:
      if (!EqualsNoCase(cls, kListViewClass)) return where + " is no list view";
      if (action.row < 0 || action.row >= c->list.itemCount || action.value < 0 ||
          static_cast<size_t>(action.value) >= c->list.columns.size())
        return where + " has no cell " + std::to_string(action.row) + ", " + std::to_string(action.value);
      cells.push_back(ListItemText(dialog, action.control, action.row, action.value));
      break;
    case DialogAction::Kind::Resize:
    case DialogAction::Kind::Call: break;
  }
  return {};
}

}  // namespace

INT_PTR HeadlessBackend::RunModalDialog(CDialog& dialog) {
  NoView view(*this, dialog, false);
  dialog.BeginWindow(&view, false);
  dialog.InitDialog();
  if (!dialog.IsEnded()) view.PaintAll();
  DialogRecord record = RecordOf(dialog, false);
  std::string failure;
  std::optional<ExpectedDialog> expected;
  size_t index;
  {
    std::lock_guard lock(mutex_);
    expected = Match(record, failure);
    record.expected = failure.empty();
    log_.push_back(record);
    index = log_.size() - 1;
  }
  if (!failure.empty()) Fail(failure);
  if (expected && !dialog.IsEnded()) {
    // The script's actions run the dialog's own code, which may show further boxes.
    std::vector<DialogAction> actions = expected->actions;
    actions.push_back(DialogAction::Press(expected->answer));
    std::vector<std::string> cells;
    for (const DialogAction& action : actions) {
      if (dialog.IsEnded()) {
        Fail(Name(dialog) + " closed before the script's actions were done");
        break;
      }
      const std::string f = Apply(dialog, action, cells);
      if (!f.empty()) Fail(f);
    }
    if (!dialog.IsEnded()) Fail(Name(dialog) + " stayed open after its answer");
    std::lock_guard lock(mutex_);
    if (index < log_.size()) log_[index].cells = std::move(cells);
  }
  if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
  const INT_PTR result = dialog.GetResult();
  dialog.EndWindow();
  {
    std::lock_guard lock(mutex_);
    if (index < log_.size()) log_[index].result = static_cast<int>(result);
  }
  return result;
}

bool HeadlessBackend::ShowModelessDialog(CDialog& dialog) {
  NoView* view = new NoView(*this, dialog, true);
  dialog.BeginWindow(view, true);
  dialog.InitDialog();
  if (dialog.HasWindow()) view->PaintAll();
  DialogRecord record = RecordOf(dialog, true);
  record.expected = true;
  std::lock_guard lock(mutex_);
  log_.push_back(std::move(record));
  return true;
}

UINT HeadlessBackend::PopupMenu(const PopupMenuRequest& request) {
  DialogRecord record;
  record.kind = DialogKind::PopupMenu;
  record.owner = request.owner;
  record.flags = request.flags;
  for (const MenuItem& item : request.items) record.controls.emplace_back(static_cast<int>(item.id), item.text);
  record.text = request.items.empty() ? std::string() : request.items.front().text;
  std::string failure;
  UINT command = 0;
  {
    std::lock_guard lock(mutex_);
    if (const std::optional<ExpectedDialog> expected = Match(record, failure); expected && expected->answer != 0) {
      bool enabled = false;
      for (const MenuItem& item : request.items)
        if (item.id == static_cast<UINT>(expected->answer) && !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)))
          enabled = true;
      if (enabled)
        command = static_cast<UINT>(expected->answer);
      else
        failure = "the popup menu has no enabled command " + std::to_string(expected->answer);
    }
    record.result = static_cast<int>(command);
    record.expected = failure.empty();
    log_.push_back(record);
  }
  if (!failure.empty()) Fail(failure);
  return command;
}

void HeadlessBackend::SetWaitCursor(bool shown) {
  std::lock_guard lock(mutex_);
  if (shown) ++waitCursorShows_;
}

void HeadlessBackend::ProcessEvents() {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = eventHook_;
  }
  if (hook) hook();
}

void HeadlessBackend::Dispatch(const MSG& msg) {
  std::lock_guard lock(mutex_);
  dispatched_.push_back(msg);
}

SHORT HeadlessBackend::KeyState(int virtualKey) {
  std::function<SHORT(int)> hook;
  {
    std::lock_guard lock(mutex_);
    hook = keyStateHook_;
  }
  return hook ? hook(virtualKey) : 0;
}

void HeadlessBackend::Expect(ExpectedDialog expected) {
  std::lock_guard lock(mutex_);
  script_.push_back(std::move(expected));
}

std::vector<ExpectedDialog> HeadlessBackend::Pending() const {
  std::lock_guard lock(mutex_);
  return script_;
}

std::vector<DialogRecord> HeadlessBackend::Log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<std::string> HeadlessBackend::Failures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

std::vector<MSG> HeadlessBackend::Dispatched() const {
  std::lock_guard lock(mutex_);
  return dispatched_;
}

std::vector<PaintRecord> HeadlessBackend::Paints() const {
  std::lock_guard lock(mutex_);
  return paints_;
}

void HeadlessBackend::AddPaint(PaintRecord paint) {
  std::lock_guard lock(mutex_);
  if (keepPaints_) paints_.push_back(std::move(paint));
}

int HeadlessBackend::WaitCursorShows() const {
  std::lock_guard lock(mutex_);
  return waitCursorShows_;
}

void HeadlessBackend::Reset() {
  std::lock_guard lock(mutex_);
  script_.clear();
  log_.clear();
  failures_.clear();
  dispatched_.clear();
  paints_.clear();
  waitCursorShows_ = 0;
  keyStateHook_ = nullptr;
  eventHook_ = nullptr;
}

void HeadlessBackend::SetFailureHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard lock(mutex_);
  failureHandler_ = std::move(handler);
}

void HeadlessBackend::FailPending() {
  std::vector<ExpectedDialog> pending;
  {
    std::lock_guard lock(mutex_);
    pending.swap(script_);
  }
  for (const ExpectedDialog& e : pending) Fail("expected " + Describe(e) + " was not shown");
}

void HeadlessBackend::SetKeyStateHook(std::function<SHORT(int)> hook) {
  std::lock_guard lock(mutex_);
  keyStateHook_ = std::move(hook);
}

void HeadlessBackend::SetEventHook(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  eventHook_ = std::move(hook);
}

void HeadlessBackend::Fail(const std::string& failure) {
  std::function<void(const std::string&)> handler;
  {
    std::lock_guard lock(mutex_);
    failures_.push_back(failure);
    handler = failureHandler_;
  }
  if (handler)
    handler(failure);
  else
    std::fprintf(stderr, "winport: %s\n", failure.c_str());
}

ScriptedAnswers::ScriptedAnswers() { Headless().Reset(); }

ScriptedAnswers::~ScriptedAnswers() {
  Headless().FailPending();
  Headless().Reset();
}

ScriptedAnswers& ScriptedAnswers::Box(const std::string& text, int answer) {
  ExpectedDialog e;
  e.text = text;
  e.answer = answer;
  return Box(std::move(e));
}

ScriptedAnswers& ScriptedAnswers::Box(ExpectedDialog expected) {
  Headless().Expect(std::move(expected));
  return *this;
}

ScriptedAnswers& ScriptedAnswers::FileDialog(std::optional<std::string> path) {
  ExpectedDialog e;
  e.kind = DialogKind::FileDialog;
  e.path = std::move(path);
  return Box(std::move(e));
}

ScriptedAnswers& ScriptedAnswers::Dialog(const std::string& caption, int button) {
  ExpectedDialog e;
  e.text = caption;
  e.answer = button;
  return Dialog(std::move(e));
}

ScriptedAnswers& ScriptedAnswers::Dialog(ExpectedDialog expected) {
  expected.kind = DialogKind::Dialog;
  return Box(std::move(expected));
}

ScriptedAnswers& ScriptedAnswers::Popup(UINT command) {
  ExpectedDialog e;
  e.kind = DialogKind::PopupMenu;
  e.answer = static_cast<int>(command);
  return Box(std::move(e));
}

DialogAction DialogAction::SelectItem(int control, std::vector<std::string> path) {
  DialogAction a;
  a.kind = Kind::SelectItem;
  a.control = control;
  a.path = std::move(path);
  return a;
}

DialogAction DialogAction::RightClickItem(int control, std::vector<std::string> path) {
  DialogAction a;
  a.kind = Kind::RightClickItem;
  a.control = control;
  a.path = std::move(path);
  return a;
}

DialogAction DialogAction::ClickColumn(int control, int column) {
  DialogAction a;
  a.kind = Kind::ClickColumn;
  a.control = control;
  a.value = column;
  return a;
}

DialogAction DialogAction::ReadCell(int control, int row, int column) {
  DialogAction a;
  a.kind = Kind::ReadCell;
  a.control = control;
  a.row = row;
  a.value = column;
  return a;
}

DialogAction DialogAction::Resize(int width, int height) {
  DialogAction a;
  a.kind = Kind::Resize;
  a.size = SIZE{width, height};
  return a;
}

DialogAction DialogAction::Call(std::function<void(CDialog&)> fn) {
  DialogAction a;
  a.kind = Kind::Call;
  a.call = std::move(fn);
  return a;
}

DialogAction DialogAction::Text(int control, std::string text) {
  DialogAction a;
  a.kind = Kind::SetText;
  a.control = control;
  a.text = std::move(text);
  return a;
}

DialogAction DialogAction::Check(int control, UINT state) {
  DialogAction a;
  a.kind = Kind::SetCheck;
  a.control = control;
  a.value = static_cast<int>(state);
  return a;
}

DialogAction DialogAction::Select(int control, int index) {
  DialogAction a;
  a.kind = Kind::Select;
  a.control = control;
  a.value = index;
  return a;
}

DialogAction DialogAction::Press(int control) {
  DialogAction a;
  a.kind = Kind::Press;
  a.control = control;
  return a;
}

std::vector<std::string> ScriptedAnswers::Failures() const {
  std::vector<std::string> failures = Headless().Failures();
  for (const ExpectedDialog& e : Headless().Pending()) failures.push_back("expected " + Describe(e) + " not shown yet");
  return failures;
}

std::string ScriptedAnswers::Report() const {
  std::string out;
  for (const std::string& f : Failures()) out += f + "\n";
  return out;
}

}  // namespace winport::ui

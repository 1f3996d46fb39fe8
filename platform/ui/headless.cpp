#include "platform/ui/headless.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"

namespace winport::ui {
namespace {

// A dialog as failure messages describe it; texts in UTF-8 for the reader.
std::string Describe(DialogKind kind, const std::string& text, const std::optional<std::string>& caption) {
  if (kind == DialogKind::FileDialog) return "file dialog";
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
  const bool matches = next.kind == shown.kind &&
                       (shown.kind == DialogKind::FileDialog ||
                        (next.text == shown.text && (!next.caption || *next.caption == shown.caption) &&
                         (!next.type || *next.type == shown.flags)));
  if (!matches) {
    failure = "expected " + Describe(next) + ", got " + Describe(shown);
    if (next.type && next.kind == shown.kind && next.text == shown.text)
      failure += " with type " + std::to_string(shown.flags) + " instead of " + std::to_string(*next.type);
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

// How the host answers a module's message boxes and dialogs without a
// display: each box takes the next of the answers given in advance (ok, yes,
// no, cancel), or its default button when no answer is left or the box does
// not offer the one given; modal dialogs take their default button. Every box and
// dialog is echoed as one line. A progress window becomes one updating line
// on a terminal.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ui/headless.h"

namespace host {

// "ok", "yes", "no", "cancel" -> IDOK, IDYES, IDNO, IDCANCEL; 0 for anything else.
int AnswerOf(const std::string& word);
std::string ButtonName(int id);

// A box or dialog as it was answered.
struct BoxRecord {
  std::string caption;  // UTF-8
  std::string text;     // UTF-8; a dialog's caption
  int answer = 0;
  bool dialog = false;
};

class AnsweringBackend : public winport::ui::HeadlessBackend {
 public:
  // `echo`: where each box is written as a line (nullptr: nowhere);
  // `progress`: where progress windows are drawn as one line (nullptr: nowhere).
  AnsweringBackend(std::vector<int> answers, std::ostream* echo, std::ostream* progress);
  ~AnsweringBackend() override;
  AnsweringBackend(const AnsweringBackend&) = delete;
  AnsweringBackend& operator=(const AnsweringBackend&) = delete;

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
  INT_PTR RunModalDialog(CDialog& dialog) override;
  bool ShowModelessDialog(CDialog& dialog) override;

  const std::vector<BoxRecord>& Boxes() const { return boxes_; }

 private:
  class ProgressLine;

  std::vector<int> answers_;
  size_t nextAnswer_ = 0;
  std::ostream* echo_;
  std::ostream* progress_;
  std::vector<BoxRecord> boxes_;
  std::vector<std::unique_ptr<ProgressLine>> lines_;
};

// Installs a backend for as long as it lives, and puts the one before back.
class BackendScope {
 public:
  explicit BackendScope(winport::ui::Backend* backend);
  ~BackendScope();
  BackendScope(const BackendScope&) = delete;
  BackendScope& operator=(const BackendScope&) = delete;

 private:
  winport::ui::Backend* previous_;
};

}  // namespace host

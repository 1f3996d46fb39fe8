#include "host/answers.h"

#include <algorithm>
#include <memory>

#include "platform/win32/codepage.h"

namespace host {
namespace {

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

}  // namespace

int AnswerOf(const std::string& word) {
  if (winport::EqualsNoCase(word, "ok")) return IDOK;
  if (winport::EqualsNoCase(word, "yes")) return IDYES;
  if (winport::EqualsNoCase(word, "no")) return IDNO;
  if (winport::EqualsNoCase(word, "cancel")) return IDCANCEL;
  return 0;
}

std::string ButtonName(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return std::to_string(id);
  }
}

// Draws a modeless dialog with progress bars as one line: its caption, its
// texts and each bar's percentage, redrawn in place at every change.
class AnsweringBackend::ProgressLine : public winport::ui::DialogView {
 public:
  ProgressLine(CDialog& dialog, std::ostream& out) : dialog_(dialog), out_(out) {}

  void ControlChanged(size_t) override { Draw(); }
  void CaptionChanged() override { Draw(); }
  void Close() override {
    if (!closed_ && !detached_) out_ << "\r\033[K" << std::flush;
    closed_ = true;
  }
  bool Closed() const { return closed_; }
  // The backend goes while the window stays: draw nothing from now on.
  void Detach() { detached_ = true; }
  void Draw() {
    if (closed_ || detached_) return;
    std::string line = winport::AnsiToUtf8(dialog_.GetWindowText());
    for (const winport::ui::ControlState& c : dialog_.Controls()) {
      if (!c.control || !c.visible) continue;
      const std::string& cls = c.control->className;
      if (winport::EqualsNoCase(cls, winport::ui::kProgressClass)) {
        const int64_t span = int64_t{c.rangeMax} - c.rangeMin;
        const int64_t percent =
            span > 0 ? std::clamp<int64_t>((int64_t{c.position} - c.rangeMin) * 100 / span, 0, 100) : 0;
        line += ' ';
        line += std::to_string(percent);
        line += '%';
      } else if (winport::EqualsNoCase(cls, winport::ui::kStaticClass) && !c.text.empty()) {
        line += " | ";
        line += OneLine(winport::AnsiToUtf8(c.text));
      }
    }
    if (line.size() > 79) line.resize(79);
    out_ << "\r\033[K" << line << std::flush;
  }

 private:
  CDialog& dialog_;
  std::ostream& out_;
  bool closed_ = false;
  bool detached_ = false;
};

AnsweringBackend::AnsweringBackend(std::vector<int> answers, std::ostream* echo, std::ostream* progress)
    : answers_(std::move(answers)), echo_(echo), progress_(progress) {
  KeepPaints(false);  // the host draws its progress lines itself
}

AnsweringBackend::~AnsweringBackend() {
  // A window the module left open still calls its view: that one is left to it, mute.
  for (std::unique_ptr<ProgressLine>& line : lines_)
    if (!line->Closed()) line.release()->Detach();
}

int AnsweringBackend::MessageBox(HWND, const std::string& text, const std::string& caption, UINT type) {
  const std::vector<int> buttons = winport::ui::ButtonsOf(type);
  // Each box takes the next answer; one it does not offer gives way to its default button.
  int answer = winport::ui::DefaultButtonOf(type);
  if (nextAnswer_ < answers_.size()) {
    const int given = answers_[nextAnswer_++];
    if (std::find(buttons.begin(), buttons.end(), given) != buttons.end()) answer = given;
  }
  BoxRecord record{winport::AnsiToUtf8(caption), winport::AnsiToUtf8(text), answer, false};
  if (echo_) {
    std::string offered;
    for (int b : buttons) {
      if (!offered.empty()) offered += '/';
      offered += ButtonName(b);
    }
    *echo_ << "zphost: box \"" << record.caption << "\": " << OneLine(record.text) << " [" << offered << "] -> "
           << ButtonName(answer) << "\n"
           << std::flush;
  }
  boxes_.push_back(std::move(record));
  return answer;
}

INT_PTR AnsweringBackend::RunModalDialog(CDialog& dialog) {
  struct NoView : winport::ui::DialogView {
    void ControlChanged(size_t) override {}
    void CaptionChanged() override {}
    void Close() override {}
  } view;
  dialog.BeginWindow(&view, false);
  dialog.InitDialog();
  // The default push button is what Enter presses; OK when there is none.
  int button = IDOK;
  for (const winport::ui::ControlState& c : dialog.Controls())
    if (c.control && winport::EqualsNoCase(c.control->className, winport::ui::kButtonClass) &&
        (c.control->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && c.enabled && c.visible)
      button = c.control->id;
  if (!dialog.IsEnded()) dialog.SendCommand(button, BN_CLICKED);
  if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);
  const INT_PTR result = dialog.GetResult();
  BoxRecord record{winport::AnsiToUtf8(dialog.GetWindowText()), winport::AnsiToUtf8(dialog.GetWindowText()),
                   static_cast<int>(result), true};
  dialog.EndWindow();
  if (echo_) *echo_ << "zphost: dialog \"" << record.caption << "\" -> " << ButtonName(record.answer) << "\n" << std::flush;
  boxes_.push_back(std::move(record));
  return result;
}

bool AnsweringBackend::ShowModelessDialog(CDialog& dialog) {
  bool progress = false;
  for (const winport::ui::ControlTemplate& c : dialog.Template().controls)
    progress = progress || winport::EqualsNoCase(c.className, winport::ui::kProgressClass);
  if (!progress || !progress_) return HeadlessBackend::ShowModelessDialog(dialog);
  std::erase_if(lines_, [](const std::unique_ptr<ProgressLine>& line) { return line->Closed(); });
  lines_.push_back(std::make_unique<ProgressLine>(dialog, *progress_));
  dialog.BeginWindow(lines_.back().get(), true);
  dialog.InitDialog();
  lines_.back()->Draw();
  return true;
}

BackendScope::BackendScope(winport::ui::Backend* backend) : previous_(&winport::ui::CurrentBackend()) {
  winport::ui::SetBackend(backend);
}

BackendScope::~BackendScope() { winport::ui::SetBackend(previous_); }

}  // namespace host

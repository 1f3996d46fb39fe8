#include "mdf/messages.h"

#include "platform/ui/messagebox.h"

namespace mdf {
namespace {

// Made at its first use, whatever the order in which the module's statics are made.
std::string& Caption() {
  static std::string caption;
  return caption;
}

}  // namespace

void SetMessageCaption(const std::string& caption) { Caption() = caption; }

int ShowMessageBox(const std::string& text, UINT type) {
  if (Caption().empty()) return AfxMessageBox(text, type);
  return MessageBoxA(GetActiveWindow(), text.c_str(), Caption().c_str(), type);
}

void ShowMessage(const std::string& text, MessageKind kind) {
  const UINT icon = kind == kMessageError     ? MB_ICONERROR
                    : kind == kMessageWarning ? MB_ICONEXCLAMATION
                                              : MB_ICONINFORMATION;
  ShowMessageBox(text, MB_OK | icon);
}

}  // namespace mdf

#include "mdf/messages.h"

#include "platform/ui/messagebox.h"

namespace mdf {

void ShowMessage(const std::string& text, MessageKind kind) {
  const UINT icon = kind == kMessageError     ? MB_ICONERROR
                    : kind == kMessageWarning ? MB_ICONEXCLAMATION
                                              : MB_ICONINFORMATION;
  AfxMessageBox(text, MB_OK | icon);
}

}  // namespace mdf

#include "platform/ui/messagebox.h"

#include <mutex>

#include "platform/ui/backend.h"

namespace winport::ui {
namespace {

std::mutex nameMutex;
std::string& AppName() {
  static std::string* name = new std::string;
  return *name;
}

}  // namespace

std::vector<int> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {};
  }
}

int DefaultButtonOf(UINT type) {
  const std::vector<int> buttons = ButtonsOf(type);
  if (buttons.empty()) return 0;
  const size_t index = (type & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

void SetApplicationName(const std::string& name) {
  std::lock_guard lock(nameMutex);
  AppName() = name;
}

std::string ApplicationName() {
  std::lock_guard lock(nameMutex);
  return AppName();
}

}  // namespace winport::ui

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  if (winport::ui::ButtonsOf(type).empty()) return 0;
  return winport::ui::CurrentBackend().MessageBox(owner, text ? text : "", caption ? caption : "Error", type);
}

int AfxMessageBox(const char* text, UINT type, UINT) {
  return MessageBoxA(GetActiveWindow(), text, winport::ui::ApplicationName().c_str(), type);
}

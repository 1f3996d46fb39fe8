#include "platform/ui/backend.h"

#include <atomic>

#include "platform/ui/gdi.h"
#include "platform/ui/headless.h"

namespace winport::ui {
namespace {

std::atomic<Backend*> installed{nullptr};

}  // namespace

INT_PTR Backend::RunModalDialog(CDialog&) { return -1; }
bool Backend::ShowModelessDialog(CDialog&) { return false; }
UINT Backend::PopupMenu(const PopupMenuRequest&) { return 0; }

int Backend::SystemMetric(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN: return 1920;
    case SM_CYSCREEN: return 1080;
    case SM_CYFULLSCREEN: return 1017;
    case SM_CMONITORS: return 1;
    default: return 0;
  }
}

BaseUnits Backend::DialogUnits(const DialogTemplate&) { return BaseUnits{6, 13}; }
void Backend::WindowMoved(HWND, const RECT&) {}
DWORD Backend::SystemColor(int index) { return index == COLOR_WINDOW ? RGB(255, 255, 255) : RGB(0, 0, 0); }

void SetBackend(Backend* backend) { installed = backend; }

Backend& CurrentBackend() {
  Backend* backend = installed;
  return backend ? *backend : Headless();
}

}  // namespace winport::ui

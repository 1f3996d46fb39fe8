#include "platform/ui/backend.h"

#include <atomic>

#include "platform/ui/headless.h"

namespace winport::ui {
namespace {

std::atomic<Backend*> installed{nullptr};

}  // namespace

INT_PTR Backend::RunModalDialog(CDialog&) { return -1; }
bool Backend::ShowModelessDialog(CDialog&) { return false; }

void SetBackend(Backend* backend) { installed = backend; }

Backend& CurrentBackend() {
  Backend* backend = installed;
  return backend ? *backend : Headless();
}

}  // namespace winport::ui

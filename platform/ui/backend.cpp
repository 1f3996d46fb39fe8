#include "platform/ui/backend.h"

#include <atomic>

#include "platform/ui/headless.h"

namespace winport::ui {
namespace {

std::atomic<Backend*> installed{nullptr};

}  // namespace

void SetBackend(Backend* backend) { installed = backend; }

Backend& CurrentBackend() {
  Backend* backend = installed;
  return backend ? *backend : Headless();
}

}  // namespace winport::ui

#include "orsand/zpsignal.h"

namespace orsand {

CZPSignal::CZPSignal(std::weak_ptr<const ImportedFile> file, LONG number) : file_(std::move(file)) {
  if (const auto held = file_.lock()) record_ = held->signals.FindByNumber(number);
}

HRESULT CZPSignal::XSignal(BSTR* out) {
  if (!out) return E_POINTER;
  if (const SignalRecord* r = Record(); r && r->xLink) *out = importcore::TextToBstr(r->xLink->Name.str());
  return S_OK;
}

}  // namespace orsand

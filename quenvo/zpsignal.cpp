#include "quenvo/zpsignal.h"

namespace quenvo {

CZPSignal::CZPSignal(std::weak_ptr<const ImportedFile> file, LONG number) : file_(std::move(file)) {
  if (const auto held = file_.lock()) record_ = held->signals.FindByNumber(number);
}

HRESULT CZPSignal::EmptyText(BSTR* out) {
  if (!out) return E_POINTER;
  if (Record()) *out = importcore::TextToBstr("");
  return S_OK;
}

}  // namespace quenvo

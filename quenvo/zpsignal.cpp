#include "quenvo/zpsignal.h"

namespace quenvo {

void CZPSignal::BindSignal(LONG number, std::weak_ptr<const ImportedFile> file) {
  file_ = std::move(file);
  const auto held = file_.lock();
  record_ = held ? held->signals.FindByNumber(number) : nullptr;
}

HRESULT CZPSignal::Zero(double* out) {
  if (!out) return E_POINTER;
  if (Record()) *out = 0;
  return S_OK;
}

HRESULT CZPSignal::EmptyText(BSTR* out) {
  if (!out) return E_POINTER;
  if (Record()) *out = importcore::TextToBstr("");
  return S_OK;
}

HRESULT CZPSignal::NoValuesRaw(VARIANT* out) {
  if (!out) return E_POINTER;
  if (Record()) VariantInit(out);
  return S_OK;
}

HRESULT CZPSignal::BitState(LONG, BSTR* out) {
  if (!out) return E_POINTER;
  if (Record()) *out = nullptr;
  return S_OK;
}

}  // namespace quenvo

#include "pellor/zpsignal.h"

#include <string>

namespace pellor {

CZPSignal::CZPSignal(std::weak_ptr<ImportLists> lists, LONG number) : lists_(std::move(lists)) {
  if (const auto held = lists_.lock()) record_ = held->signals.FindByNumber(number);
}

const SignalRecord* CZPSignal::Record() const {
  // The lists live as long as the import; their records with them.
  return lists_.expired() ? nullptr : record_;
}

HRESULT CZPSignal::NoValuesRaw(VARIANT* out) {
  if (!out) return E_POINTER;
  if (Record()) VariantInit(out);
  return S_OK;
}

HRESULT CZPSignal::BitState(LONG val, BSTR* out) {
  if (!out) return E_POINTER;
  const SignalRecord* r = Record();
  if (!r) return S_OK;
  if (val < 0) {
    *out = importcore::TextToBstr(std::to_string(r->valueTexts.size()));
  } else if (static_cast<size_t>(val) < r->valueTexts.size()) {
    const ValueText& entry = r->valueTexts[static_cast<size_t>(val)];
    *out = importcore::TextToBstr(entry.text + "|" + std::to_string(entry.value));
  }
  return S_OK;
}

const ScalarRecord* CZPScalar::Record() const {
  const auto held = lists_.lock();
  return held ? held->scalars.FindByNumber(number_) : nullptr;
}

HRESULT CZPScalar::FileNo(LONG* out) {
  if (!out) return E_POINTER;
  if (Record()) *out = 1;
  return S_OK;
}

}  // namespace pellor

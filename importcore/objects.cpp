#include "importcore/objects.h"

namespace importcore {

HRESULT AnswerText(BSTR* out, const std::string* text) {
  if (!out) return E_POINTER;
  *out = text ? TextToBstr(*text) : nullptr;
  return S_OK;
}

}  // namespace importcore

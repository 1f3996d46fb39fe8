// The framework's own objects (class factories, type descriptions): counted
// references, one interface besides IUnknown, and the module kept loaded
// while any of them lives. Created with one reference.
#pragma once

#include <atomic>

#include "platform/com/server/server.h"

namespace comserver {

template <class Itf>
class Counted : public Itf {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != Own()) return E_NOINTERFACE;
    *object = static_cast<Itf*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  Counted() { LockModule(); }
  // Virtual, after the interface's own slots.
  virtual ~Counted() { UnlockModule(); }
  virtual IID Own() const = 0;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace comserver

// Drives the server framework with arbitrary input. An input whose first byte
// is below 0x80 is a sequence of calls against the test modules' Probe
// class: GetIDsOfNames with arbitrary names, Invoke with
// arbitrary dispatch ids, flags, named arguments and arguments of every
// variant type, and the type descriptions' lookups. Otherwise the rest is a
// registration script, registered and unregistered in a scratch store.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/registrar.h"
#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"
#include "tests/com/test_module.h"

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object);
extern "C" HRESULT DllCanUnloadNow();

namespace {

// What a by-reference argument points at; buffers are as large as any
// integer argument may ask (a host's buffer holds what it asks Read for).
constexpr int64_t kMaxInteger = 1 << 16;
struct Storage {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kMaxInteger + 16);
  uint8_t* pointer = nullptr;
  SHORT s = 0;
  LONG l = 0;
  ULONG ul = 0;
  LONGLONG ll = 0;
  ULONGLONG ull = 0;
  double d = 0;
  BSTR text = nullptr;
  IDispatch* dispatch = nullptr;
};

IDispatch* Create(const CLSID& clsid) {
  IClassFactory* factory = nullptr;
  if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) std::abort();
  IDispatch* object = nullptr;
  if (FAILED(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)))) std::abort();
  factory->Release();
  return object;
}

// Sets a value, or points the variant at its slot in `storage`.
template <typename T>
void Put(VARIANT& v, bool byRef, T value, T& slot, T VARIANT::*direct, T* VARIANT::*reference) {
  if (byRef) {
    slot = value;
    v.*reference = &slot;
  } else {
    v.*direct = value;
  }
}

VARIANT Argument(FuzzedDataProvider& in, Storage& storage, IDispatch* self) {
  VARIANT v;
  VariantInit(&v);
  const VARTYPE types[] = {VT_EMPTY, VT_I2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_R8, VT_BSTR, VT_DISPATCH, VT_UNKNOWN,
                           VT_VARIANT};
  const VARTYPE base = in.PickValueInArray(types);
  const bool byRef = in.ConsumeBool() && base != VT_EMPTY && base != VT_VARIANT;
  const int64_t n = in.ConsumeIntegralInRange<int64_t>(-kMaxInteger, kMaxInteger);
  const uint64_t u = static_cast<uint64_t>(n < 0 ? -n : n);
  v.vt = byRef ? static_cast<VARTYPE>(base | VT_BYREF) : base;
  switch (base) {
    case VT_I2: Put<SHORT>(v, byRef, static_cast<SHORT>(n), storage.s, &VARIANT::iVal, &VARIANT::piVal); break;
    case VT_I4: Put<LONG>(v, byRef, static_cast<LONG>(n), storage.l, &VARIANT::lVal, &VARIANT::plVal); break;
    case VT_UI4: Put<ULONG>(v, byRef, static_cast<ULONG>(u), storage.ul, &VARIANT::ulVal, &VARIANT::pulVal); break;
    case VT_I8: Put<LONGLONG>(v, byRef, n, storage.ll, &VARIANT::llVal, &VARIANT::pllVal); break;
    case VT_UI8: Put<ULONGLONG>(v, byRef, u, storage.ull, &VARIANT::ullVal, &VARIANT::pullVal); break;
    case VT_R8:
      Put<double>(v, byRef, in.ConsumeFloatingPoint<double>(), storage.d, &VARIANT::dblVal, &VARIANT::pdblVal);
      break;
    case VT_BSTR: {
      BSTR text = winport::BstrFromUtf8(in.ConsumeRandomLengthString(64));
      if (byRef) {
        SysFreeString(storage.text);
        storage.text = text;
        v.pbstrVal = &storage.text;
      } else {
        v.bstrVal = text;
      }
      break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IDispatch* object = in.ConsumeBool() ? self : nullptr;
      if (!byRef) {
        if (object) object->AddRef();
        v.byref = object;
      } else if (base == VT_DISPATCH) {
        storage.dispatch = object;
        v.ppdispVal = &storage.dispatch;
      } else {
        // A by-reference unknown is a host's buffer pointer, as Read takes it.
        storage.pointer = storage.buffer.data();
        v.byref = &storage.pointer;
      }
      break;
    }
    default:
      break;
  }
  return v;
}

void CallInvoke(FuzzedDataProvider& in, IDispatch* object) {
  Storage storage;
  const DISPID id = in.ConsumeIntegralInRange<DISPID>(-5, 0x40);
  const WORD flags = in.ConsumeIntegral<WORD>() & 0x1F;
  const size_t count = in.ConsumeIntegralInRange<size_t>(0, 9);
  std::vector<VARIANT> args;
  for (size_t i = 0; i < count; ++i) args.push_back(Argument(in, storage, object));
  std::vector<DISPID> named(in.ConsumeIntegralInRange<size_t>(0, count));
  for (DISPID& n : named) n = in.ConsumeBool() ? DISPID_PROPERTYPUT : in.ConsumeIntegralInRange<DISPID>(-4, 8);
  DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  UINT argErr = 0;
  const bool wantResult = in.ConsumeBool();
  const HRESULT hr = object->Invoke(id, IID_NULL, 0, flags, &params, wantResult ? &result : nullptr, &info, &argErr);
  if (FAILED(hr) && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) && argErr >= args.size()) std::abort();
  VariantClear(&result);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  for (VARIANT& v : args) VariantClear(&v);
  SysFreeString(storage.text);
}

void CallNames(FuzzedDataProvider& in, IDispatch* object) {
  std::vector<std::u16string> names(in.ConsumeIntegralInRange<size_t>(1, 4));
  for (std::u16string& name : names) name = winport::Utf8ToUtf16(in.ConsumeRandomLengthString(24));
  std::vector<OLECHAR*> pointers;
  for (std::u16string& name : names) pointers.push_back(name.data());
  std::vector<DISPID> ids(names.size());
  object->GetIDsOfNames(IID_NULL, pointers.data(), static_cast<UINT>(pointers.size()), 0, ids.data());
}

void CallTypeInfo(FuzzedDataProvider& in, IDispatch* object) {
  ITypeInfo* info = nullptr;
  if (FAILED(object->GetTypeInfo(0, 0, &info))) std::abort();
  const UINT index = in.ConsumeIntegralInRange<UINT>(0, 60);
  FUNCDESC* desc = nullptr;
  if (SUCCEEDED(info->GetFuncDesc(index, &desc))) info->ReleaseFuncDesc(desc);
  const MEMBERID id = in.ConsumeIntegralInRange<MEMBERID>(-2, 0x40);
  BSTR names[3] = {};
  UINT count = 0;
  if (SUCCEEDED(info->GetNames(id, names, in.ConsumeIntegralInRange<UINT>(0, 3), &count)))
    for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
  BSTR name = nullptr, doc = nullptr;
  info->GetDocumentation(id, &name, &doc, nullptr, nullptr);
  SysFreeString(name);
  SysFreeString(doc);
  info->Release();
}

void Dispatch(FuzzedDataProvider& in) {
  IDispatch* object = Create(comtest::kA.probeClsid);
  for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: CallInvoke(in, object); break;
      case 1: CallNames(in, object); break;
      default: CallTypeInfo(in, object); break;
    }
  }
  object->Release();
  // Whatever the calls made, every object went away with its last reference.
  if (DllCanUnloadNow() != S_OK) std::abort();
}

// A registry of its own, on a memory file system where there is one, removed at exit.
std::string scratchFolder;

void UseScratchStore() {
  if (!scratchFolder.empty()) return;
  scratchFolder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/com_dispatch.XXXXXX" : "/tmp/com_dispatch.XXXXXX";
  if (!mkdtemp(scratchFolder.data())) std::abort();
  winport::SetRegistryPath(scratchFolder + "/registry");
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder, ignored);
  });
}

void Registrar(std::string_view script) {
  UseScratchStore();
  RegDeleteTreeA(HKEY_CLASSES_ROOT, nullptr);
  RegDeleteTreeA(HKEY_CURRENT_USER, nullptr);
  const winport::Replacements replacements = {{"MODULE", "/opt/module/lib'x.so"}};
  std::string error;
  const HRESULT hr = winport::UpdateRegistryFromScript(script, replacements, true, &error);
  if (hr == E_INVALIDARG) {
    // A script that does not parse writes nothing.
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyA(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    if (subkeys != 0 || values != 0 || error.empty()) std::abort();
    return;
  }
  winport::UpdateRegistryFromScript(script, replacements, false, &error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] >= 0x80) {
    Registrar(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    return 0;
  }
  FuzzedDataProvider in(data + 1, size - 1);
  Dispatch(in);
  return 0;
}

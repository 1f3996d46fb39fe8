// The cost of a call through the server framework's table-driven IDispatch,
// as the host pays it for every property and every Read: a property get, a
// method with seven converted arguments, and a Read-like call that fills the
// host's buffer of 64 KiB (bytes per second through Invoke).
//
// Loads the test module ComTestA from ../tests/com beside this program's folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com/automation.h"
#include "platform/win32/module.h"
#include "tests/com/test_module.h"

namespace {

IDispatch* Probe() {
  static IDispatch* probe = [] {
    char self[4096];
    const std::string program(self, GetModuleFileNameA(nullptr, self, sizeof self));
    const std::string folder = program.substr(0, program.find_last_of('/'));
    setenv("WINPORT_DLL_PATH", (folder + "/../tests/com").c_str(), 1);
    HMODULE module = LoadLibraryA("ComTestA.dll");
    if (!module) return static_cast<IDispatch*>(nullptr);
    auto getClassObject =
        reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(GetProcAddress(module, "DllGetClassObject"));
    IClassFactory* factory = nullptr;
    IDispatch* object = nullptr;
    if (getClassObject && SUCCEEDED(getClassObject(comtest::kA.probeClsid, IID_IClassFactory,
                                                   reinterpret_cast<void**>(&factory)))) {
      factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
      factory->Release();
    }
    return object;
  }();
  return probe;
}

VARIANT Make(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

void BM_PropertyGet(benchmark::State& state) {
  IDispatch* probe = Probe();
  if (!probe) return state.SkipWithError("ComTestA cannot be loaded");
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  for (auto _ : state) {
    VARIANT result;
    VariantInit(&result);
    probe->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PropertyGet);

void BM_MethodWithSevenArguments(benchmark::State& state) {
  IDispatch* probe = Probe();
  if (!probe) return state.SkipWithError("ComTestA cannot be loaded");
  std::vector<VARIANT> args(7, Make(VT_I4));  // reversed: the text first, s last
  args[0] = Make(VT_BSTR);
  args[0].bstrVal = SysAllocString(u"text");
  args[1] = Make(VT_R8);
  DISPPARAMS params{args.data(), nullptr, 7, 0};
  for (auto _ : state) {
    VARIANT result;
    VariantInit(&result);
    probe->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    VariantClear(&result);
  }
  VariantClear(&args[0]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MethodWithSevenArguments);

void BM_ReadChunk(benchmark::State& state) {
  IDispatch* probe = Probe();
  if (!probe) return state.SkipWithError("ComTestA cannot be loaded");
  const auto bytes = static_cast<ULONG>(state.range(0));
  std::vector<uint8_t> buffer(bytes);
  uint8_t* pointer = buffer.data();
  VARIANT args[2] = {Make(VT_UI4), Make(VT_BYREF | VT_UNKNOWN)};
  args[0].ulVal = bytes;
  args[1].byref = &pointer;
  DISPPARAMS params{args, nullptr, 2, 0};
  for (auto _ : state) {
    probe->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_ReadChunk)->Arg(1024)->Arg(65536);

}  // namespace

BENCHMARK_MAIN();

// The import path of a small module for its fuzz target: the module's
// classes are linked in, and the file-import object is driven through
// IDispatch as the host drives it: IsValid, ImportFile, every property of the
// file and its signals (and scalars), each signal streamed in part, odd Seek
// and Read calls, ReleaseFile, and a signal object asked afterwards.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/failure.h"
#include "host/object.h"
#include "host/samples.h"
#include "platform/com/automation.h"
#include "platform/ui/headless.h"
#include "tests/support/fuzz_input.h"

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object);

namespace fuzzpath {

// The module's boxes and dialogs are expected here: answered headless, not
// reported. Forgets the boxes of the input before.
inline void AnswerQuietly() {
  static const bool quiet = [] {
    winport::ui::Headless().SetFailureHandler([](const std::string&) {});
    return true;
  }();
  (void)quiet;
  winport::ui::Headless().Reset();
}

inline host::Object CreateObject(const CLSID& clsid) {
  IClassFactory* factory = nullptr;
  if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) std::abort();
  IDispatch* object = nullptr;
  if (FAILED(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)))) std::abort();
  factory->Release();
  return host::Object(object);
}

inline int64_t IntegerOf(const host::Value& v) {
  const auto* n = std::get_if<int64_t>(&v);
  return n ? *n : 0;
}

// Every property without arguments, as the host lists an object.
inline host::PropertyList Properties(host::Object& object) {
  host::PropertyList list;
  for (const host::Object::Member& m : object.Members())
    if (m.get && m.params.empty()) list.emplace_back(m.name, object.Get(m.name));
  return list;
}

// Odd Seek and Read calls and a Close too many on an opened import, then
// ReleaseFile: nothing is left of the import, and a signal object asked
// afterwards finds no record.
inline void ReleaseAfterOddCalls(host::Object& file) {
  std::vector<uint8_t> buffer(64);
  uint8_t* pointer = buffer.data();
  for (const int64_t origin : {0, 1, 2, 3}) {
    file.Call("Seek", {int64_t{-3}, origin});
    file.Call("Read", {host::BufferRef{&pointer}, int64_t{64}});
  }
  file.Call("Close");
  file.Call("Close");

  host::Object held = file.GetObject("Signal", {int64_t{1}});
  file.Call("ReleaseFile");
  testsupport::FuzzCheck(IntegerOf(file.Get("nSignals")) == 0 && IntegerOf(file.Get("DataSize")) == 0);
  testsupport::FuzzCheck(std::holds_alternative<std::monostate>(held.Get("Name")));
}

// Imports `path` through a new object of `clsid`; `expectedSignals` is what
// the module's reader made of the file (negative: the reader refused it).
inline void DriveImport(const CLSID& clsid, const std::string& path, int64_t expectedSignals) {
  host::Object file = CreateObject(clsid);
  (void)file.Get("IsValid", {path});
  try {
    file.Call("ImportFile", {path, std::string()});
  } catch (const host::CallError&) {
    testsupport::FuzzCheck(expectedSignals < 0 && IntegerOf(file.Get("nSignals")) == 0);
    return;
  }
  (void)Properties(file);
  const int64_t count = IntegerOf(file.Get("nSignals"));
  testsupport::FuzzCheck(count == expectedSignals);
  const auto blockSize = static_cast<uint32_t>(IntegerOf(file.Get("BlockSize")));
  const auto dataSize = static_cast<uint32_t>(IntegerOf(file.Get("DataSize")));
  (void)file.Get("FileComment", {int64_t{0}});
  (void)file.Get("Name", {int64_t{0}});
  if (file.Has("nScalars"))
    for (int64_t i = 1; i <= IntegerOf(file.Get("nScalars")); ++i) {
      host::Object scalar = file.GetObject("Scalar", {i});
      (void)Properties(scalar);
    }

  file.Call("Open");
  constexpr uint64_t kMaxPoints = 4096;  // per signal: a small file may describe a large one
  host::ReadOptions options;
  options.chunk = 4099;
  for (int64_t i = 1; i <= count; ++i) {
    host::Object signal = file.GetObject("Signal", {i});
    const host::PropertyList properties = Properties(signal);
    try {
      host::Series series(file, host::Layout::Of(properties, blockSize, dataSize), blockSize, options, nullptr);
      host::Point point;
      for (uint64_t k = 0; k < kMaxPoints && series.Next(point); ++k) {
      }
    } catch (const host::Failure&) {
      // A layout the host cannot address: nothing to stream.
    }
  }
  ReleaseAfterOddCalls(file);
}

}  // namespace fuzzpath

// Imports arbitrary bytes through Dravo's file-import object as the host
// does: ImportFile (which may sort the file in place), every property of the
// file and its signals, every signal streamed whole, odd Seek and Read
// calls, ReleaseFile, and a signal object asked afterwards. A failed import
// keeps nothing; every signal of a good one lies inside the data space.
#include <cstdint>
#include <string>

#include "host/failure.h"
#include "host/object.h"
#include "host/samples.h"
#include "tests/fuzz/import_path.h"
#include "tests/support/fuzz_input.h"

namespace {

constexpr CLSID kZPFileImport = winport::GuidOf("{84DE6488-8580-499E-9828-C81E6AD3A061}");

using fuzzpath::IntegerOf;
using testsupport::FuzzCheck;

void DriveImport(const std::string& path) {
  host::Object file = fuzzpath::CreateObject(kZPFileImport);
  try {
    file.Call("ImportFile", {path, std::string()});
  } catch (const host::CallError&) {
    FuzzCheck(IntegerOf(file.Get("nSignals")) == 0 && IntegerOf(file.Get("DataSize")) == 0);
    return;
  }
  (void)fuzzpath::Properties(file);
  const int64_t count = IntegerOf(file.Get("nSignals"));
  const auto blockSize = static_cast<uint32_t>(IntegerOf(file.Get("BlockSize")));
  const auto dataSize = static_cast<uint32_t>(IntegerOf(file.Get("DataSize")));
  FuzzCheck(blockSize == 512 && dataSize % 512 == 0);
  for (int64_t i = -1; i <= 256; i += 1) {
    (void)file.Get("FileComment", {i});
    (void)file.Get("CommentName", {i});
  }

  file.Call("Open");
  host::ReadOptions options;
  options.chunk = 4099;
  for (int64_t i = 1; i <= count; ++i) {
    host::Object signal = file.GetObject("Signal", {i});
    const host::PropertyList properties = fuzzpath::Properties(signal);
    (void)signal.Get("BitState", {i});
    // Every signal's values lie inside the data space: the host can address them.
    host::Layout layout;
    try {
      layout = host::Layout::Of(properties, blockSize, dataSize);
    } catch (const host::Failure&) {
      FuzzCheck(false);
    }
    host::Series series(file, layout, blockSize, options, nullptr);
    host::Point point;
    uint64_t points = 0;
    while (series.Next(point)) ++points;
    FuzzCheck(points == layout.count);
  }
  fuzzpath::ReleaseAfterOddCalls(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzpath::AnswerQuietly();
  DriveImport(testsupport::WriteFuzzInput("fuzz_dravo_import", ".mdf", data, size));
  return 0;
}

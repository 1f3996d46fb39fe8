// Imports arbitrary bytes as an MDF file through the import driver, in "ZSP"
// mode with the options' defaults (no write-back), and streams every signal
// with Read and ReadEx in windows of 64 KiB: each signal must lie within the
// data space, and no call may write past the bytes it was given.
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pellor/file_import.h"
#include "tests/support/fuzz_input.h"

namespace {

using testsupport::FuzzCheck;

constexpr uint32_t kWindow = 65536;
constexpr uint8_t kGuard = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static std::string dir = testsupport::FuzzInputPath("fuzz_pellor_import", "_XXXXXX");
  if (!mkdtemp(dir.data())) std::abort();
  std::atexit([] { std::filesystem::remove_all(dir); });
  setenv("TEMP", dir.c_str(), 1);
  setenv("WINPORT_REGISTRY", (dir + "/registry").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = testsupport::WriteFuzzInput("fuzz_pellor_import", ".mdf", data, size);
  pellor::FileImport import;
  if (import.ImportFile(path, "ZSP") != S_OK) return 0;
  std::vector<uint8_t> buffer(kWindow + 1), times(kWindow + 1);
  if (import.Open() != S_OK) return 0;
  for (const pellor::SignalRecord& r : import.Lists().signals) {
    FuzzCheck(r.rangeStart <= r.rangeEnd && r.rangeEnd <= import.m_dataSize);
    for (uint64_t at = r.rangeStart; at < r.rangeEnd; at += kWindow) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kWindow, r.rangeEnd - at));
      buffer[n] = kGuard;
      times[kWindow / 2] = kGuard;
      import.Seek(static_cast<int32_t>(at), 0);
      import.Read(buffer.data(), n);
      FuzzCheck(buffer[n] == kGuard);
      import.Seek(static_cast<int32_t>(at), 0);
      import.ReadEx(buffer.data(), n, times.data(), kWindow / 2);
      FuzzCheck(buffer[n] == kGuard && times[kWindow / 2] == kGuard);
    }
  }
  import.Close();
  return 0;
}

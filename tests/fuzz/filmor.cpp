// Reads arbitrary bytes as a FILMOR file and reads the whole data space back,
// in odd-sized steps, as the host streams it; then imports the same file
// through the module's file-import object.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/filmor/filmor_import.h"
#include "tests/fuzz/import_path.h"
#include "tests/support/fuzz_input.h"

namespace {

constexpr CLSID kFileImport = winport::GuidOf("{2B479FBF-311C-11D3-87C0-525405DF32BD}");

// The reader's import with its checks: the number of signals, or -1 when it fails.
int64_t ReadAndCheck(const std::string& path) {
  filmor::FilmorImport import;
  const filmor::FilmorResult result = filmor::ReadFilmorFile(path, import);
  (void)filmor::FilmorResultText(result);
  if (result.status != filmor::FilmorStatus::Ok) {
    testsupport::FuzzCheck(import.signals.Count() == 0);
    return -1;
  }
  uint64_t bytes = 0;
  for (const filmor::FilmorSignal& s : import.signals) {
    testsupport::FuzzCheck(s.samples.size() == static_cast<size_t>(s.NoOfValues) * static_cast<size_t>(s.valueSize));
    testsupport::FuzzCheck(s.rangeEnd <= import.dataSize);
    bytes += s.samples.size();
  }
  testsupport::FuzzCheck(bytes <= import.dataSize);
  std::vector<uint8_t> buffer(5000);
  for (uint32_t position = 0; position < import.dataSize;) {
    const smallimports::DataSpaceRead r = filmor::ReadFilmorDataSpace(import, position, buffer.data(), 4999);
    testsupport::FuzzCheck(r.copied <= r.advance && r.advance > 0);
    position += r.advance;
  }
  return static_cast<int64_t>(import.signals.Count());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzpath::AnswerQuietly();
  const std::string path = testsupport::WriteFuzzInput("fuzz_filmor", ".flm", data, size);
  fuzzpath::DriveImport(kFileImport, path, ReadAndCheck(path));
  return 0;
}

// Reads arbitrary bytes as a FILMOR file and reads the whole data space back,
// in odd-sized steps, as the host streams it.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/filmor/filmor_import.h"
#include "tests/support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = testsupport::WriteFuzzInput("fuzz_filmor", ".flm", data, size);

  filmor::FilmorImport import;
  const filmor::FilmorResult result = filmor::ReadFilmorFile(path, import);
  (void)filmor::FilmorResultText(result);
  if (result.status != filmor::FilmorStatus::Ok) {
    testsupport::FuzzCheck(import.signals.Count() == 0);
    return 0;
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
  return 0;
}

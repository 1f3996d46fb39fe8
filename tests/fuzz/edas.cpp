// Reads arbitrary bytes as an EDAS/PDAI file and reads its data space back,
// from memory or streamed from the file, in odd-sized steps; then imports the
// same file through the module's file-import object.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/hestor/edas_reader.h"
#include "smallimports/support/data_file.h"
#include "tests/fuzz/import_path.h"
#include "tests/support/fuzz_input.h"

namespace {

constexpr CLSID kFileImport = winport::GuidOf("{B72A8500-42D6-45B1-AAF5-65D8FD320792}");

// The reader's import with its checks: the number of signals, or -1 when it fails.
int64_t ReadAndCheck(const std::string& path) {
  (void)hestor::IsHestorFile(path);
  hestor::HestorImport import;
  const hestor::HestorResult result = hestor::ParseHestorFile(path, import);
  (void)hestor::HestorResultText(result);
  if (result.status != hestor::HestorStatus::Ok) {
    testsupport::FuzzCheck(import.samples.empty());
    return -1;
  }
  const auto signals = static_cast<int64_t>(import.signals.Count());
  // Only a digital channel of the interleaved form is a bit field: its whole 16-bit word.
  for (const hestor::HestorSignal& s : import.signals)
    testsupport::FuzzCheck(hestor::BitSize(s) == (s.DTyp == 18 ? 15 * 256 : 0) && s.DTyp != 0);
  std::vector<uint8_t> buffer(4099);
  const uint32_t end = std::min<uint32_t>(import.dataSize, 1u << 20);
  if (!import.streaming) {
    testsupport::FuzzCheck(import.samples.size() == import.dataSize);
    for (uint32_t position = 0; position < end;) {
      const smallimports::DataSpaceRead r = hestor::ReadHestorMemory(import, position, buffer.data(), 4099);
      testsupport::FuzzCheck(r.copied == r.advance && r.advance > 0);
      position += r.advance;
    }
    return signals;
  }
  smallimports::StreamedData stream(import.path, import.dataOffset, import.dataSize);
  testsupport::FuzzCheck(stream.Open());
  for (uint32_t position = 0; position < end;) {
    const smallimports::DataSpaceRead r = stream.Read(position, buffer.data(), 4099);
    testsupport::FuzzCheck(r.copied == r.advance && r.advance > 0);
    position += r.advance;
  }
  return signals;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzpath::AnswerQuietly();
  const std::string path = testsupport::WriteFuzzInput("fuzz_edas", ".eda", data, size);
  fuzzpath::DriveImport(kFileImport, path, ReadAndCheck(path));
  return 0;
}

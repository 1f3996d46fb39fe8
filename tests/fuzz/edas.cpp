// Reads arbitrary bytes as an EDAS/PDAI file and reads its data space back,
// from memory or streamed from the file, in odd-sized steps.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/headless.h"
#include "smallimports/hestor/edas_reader.h"
#include "smallimports/support/data_file.h"
#include "tests/support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    // File-error boxes are expected here: answered headless, not reported.
    winport::ui::Headless().SetFailureHandler([](const std::string&) {});
    return true;
  }();
  (void)quiet;
  const std::string path = testsupport::WriteFuzzInput("fuzz_edas", ".eda", data, size);

  (void)hestor::IsHestorFile(path);
  hestor::HestorImport import;
  const hestor::HestorResult result = hestor::ParseHestorFile(path, import);
  (void)hestor::HestorResultText(result);
  winport::ui::Headless().Reset();
  if (result.status != hestor::HestorStatus::Ok) {
    testsupport::FuzzCheck(import.samples.empty());
    return 0;
  }
  for (const hestor::HestorSignal& s : import.signals) testsupport::FuzzCheck(hestor::BitSize(s) == 0 && s.DTyp != 0);
  std::vector<uint8_t> buffer(4099);
  const uint32_t end = std::min<uint32_t>(import.dataSize, 1u << 20);
  if (!import.streaming) {
    testsupport::FuzzCheck(import.samples.size() == import.dataSize);
    for (uint32_t position = 0; position < end;) {
      const smallimports::DataSpaceRead r = hestor::ReadHestorMemory(import, position, buffer.data(), 4099);
      testsupport::FuzzCheck(r.copied == r.advance && r.advance > 0);
      position += r.advance;
    }
    return 0;
  }
  smallimports::StreamedData stream(import.path, import.dataOffset, import.dataSize);
  testsupport::FuzzCheck(stream.Open());
  for (uint32_t position = 0; position < end;) {
    const smallimports::DataSpaceRead r = stream.Read(position, buffer.data(), 4099);
    testsupport::FuzzCheck(r.copied == r.advance && r.advance > 0);
    position += r.advance;
  }
  return 0;
}

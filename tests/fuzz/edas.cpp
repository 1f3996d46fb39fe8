// Reads arbitrary bytes as an EDAS/PDAI file and reads its data space back,
// from memory or streamed from the file, in odd-sized steps.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ui/headless.h"
#include "smallimports/hestor/edas_reader.h"
#include "smallimports/support/data_file.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    // File-error boxes are expected here: answered headless, not reported.
    winport::ui::Headless().SetFailureHandler([](const std::string&) {});
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string p = std::string(dir) + "/fuzz_edas_" + std::to_string(getpid()) + ".eda";
    std::atexit([] { std::remove(p.c_str()); });
    return p;
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  (void)hestor::IsHestorFile(path);
  hestor::HestorImport import;
  const hestor::HestorResult result = hestor::ParseHestorFile(path, import);
  (void)hestor::HestorResultText(result);
  winport::ui::Headless().Reset();
  if (result.status != hestor::HestorStatus::Ok) {
    Check(import.samples.empty());
    return 0;
  }
  for (const hestor::HestorSignal& s : import.signals) Check(hestor::BitSize(s) == 0 && s.DTyp != 0);
  std::vector<uint8_t> buffer(4099);
  const uint32_t end = std::min<uint32_t>(import.dataSize, 1u << 20);
  if (!import.streaming) {
    Check(import.samples.size() == import.dataSize);
    for (uint32_t position = 0; position < end;) {
      const smallimports::DataSpaceRead r = hestor::ReadHestorMemory(import, position, buffer.data(), 4099);
      Check(r.copied == r.advance && r.advance > 0);
      position += r.advance;
    }
    return 0;
  }
  smallimports::StreamedData stream(import.path, import.dataOffset, import.dataSize);
  Check(stream.Open());
  for (uint32_t position = 0; position < end;) {
    const smallimports::DataSpaceRead r = stream.Read(position, buffer.data(), 4099);
    Check(r.copied == r.advance && r.advance > 0);
    position += r.advance;
  }
  return 0;
}

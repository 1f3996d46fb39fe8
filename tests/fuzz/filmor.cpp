// Reads arbitrary bytes as a FILMOR file and reads the whole data space back,
// in odd-sized steps, as the host streams it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "smallimports/filmor/filmor_import.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string p = std::string(dir) + "/fuzz_filmor_" + std::to_string(getpid()) + ".flm";
    std::atexit([] { std::remove(p.c_str()); });
    return p;
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  filmor::FilmorImport import;
  const filmor::FilmorResult result = filmor::ReadFilmorFile(path, import);
  (void)filmor::FilmorResultText(result);
  if (result.status != filmor::FilmorStatus::Ok) {
    Check(import.signals.Count() == 0);
    return 0;
  }
  uint64_t bytes = 0;
  for (const filmor::FilmorSignal& s : import.signals) {
    Check(s.samples.size() == static_cast<size_t>(s.NoOfValues) * static_cast<size_t>(s.valueSize));
    Check(s.rangeEnd <= import.dataSize);
    bytes += s.samples.size();
  }
  Check(bytes <= import.dataSize);
  std::vector<uint8_t> buffer(5000);
  for (uint32_t position = 0; position < import.dataSize;) {
    const smallimports::DataSpaceRead r = filmor::ReadFilmorDataSpace(import, position, buffer.data(), 4999);
    Check(r.copied <= r.advance && r.advance > 0);
    position += r.advance;
  }
  return 0;
}

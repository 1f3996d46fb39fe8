// Reads arbitrary bytes as an RPC III file and reads the whole data space
// back, in odd-sized steps, as the host streams it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "smallimports/jorvel/rpc_reader.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string p = std::string(dir) + "/fuzz_rpc_" + std::to_string(getpid()) + ".rsp";
    std::atexit([] { std::remove(p.c_str()); });
    return p;
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  jorvel::RpcImport import;
  const jorvel::RpcResult result = jorvel::ParseRpcFile(path, import);
  (void)jorvel::RpcResultText(result);
  if (result.status != jorvel::RpcStatus::Ok) {
    Check(import.signals.Count() == 0);
    return 0;
  }
  Check(import.samples.StoredBytes() <= size);
  // At most a few MiB of the data space: a small file may describe a large one.
  std::vector<uint8_t> buffer(4099);
  const uint32_t end = std::min<uint32_t>(import.dataSize, 4u << 20);
  for (uint32_t position = 0; position < end;) {
    const smallimports::DataSpaceRead r = jorvel::ReadRpcDataSpace(import, position, buffer.data(), 4099);
    Check(r.copied == r.advance && r.advance > 0);
    position += r.advance;
  }
  return 0;
}

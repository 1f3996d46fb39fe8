// Reads arbitrary bytes as an RPC III file and reads the whole data space
// back, in odd-sized steps, as the host streams it; then imports the same
// file through the module's file-import object.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/jorvel/rpc_reader.h"
#include "tests/fuzz/import_path.h"
#include "tests/support/fuzz_input.h"

namespace {

constexpr CLSID kFileImport = winport::GuidOf("{D541AF1F-A5B5-11D4-8B52-525405DF32BD}");

// The reader's import with its checks: the number of signals, or -1 when it fails.
int64_t ReadAndCheck(const std::string& path, size_t size) {
  jorvel::RpcImport import;
  const jorvel::RpcResult result = jorvel::ParseRpcFile(path, import);
  (void)jorvel::RpcResultText(result);
  if (result.status != jorvel::RpcStatus::Ok) {
    testsupport::FuzzCheck(import.signals.Count() == 0);
    return -1;
  }
  testsupport::FuzzCheck(import.samples.StoredBytes() <= size);
  // At most a few MiB of the data space: a small file may describe a large one.
  std::vector<uint8_t> buffer(4099);
  const uint32_t end = std::min<uint32_t>(import.dataSize, 4u << 20);
  for (uint32_t position = 0; position < end;) {
    const smallimports::DataSpaceRead r = jorvel::ReadRpcDataSpace(import, position, buffer.data(), 4099);
    testsupport::FuzzCheck(r.copied == r.advance && r.advance > 0);
    position += r.advance;
  }
  return static_cast<int64_t>(import.signals.Count());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzpath::AnswerQuietly();  // a cut file's box
  const std::string path = testsupport::WriteFuzzInput("fuzz_rpc", ".rsp", data, size);
  fuzzpath::DriveImport(kFileImport, path, ReadAndCheck(path, size));
  return 0;
}

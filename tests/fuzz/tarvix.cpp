// Reads arbitrary bytes as a Tarvix header file with a data file beside it,
// and streams the whole data space back in odd-sized steps.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "smallimports/brevan/tarvix_reader.h"
#include "smallimports/support/data_file.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string TempStem() {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/fuzz_tarvix_" + std::to_string(getpid());
}

void WriteFile(const std::string& path, const void* data, size_t size) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string stem = [] {
    static const std::string s = TempStem();
    std::vector<uint8_t> records(4096);
    for (size_t i = 0; i < records.size(); ++i) records[i] = static_cast<uint8_t>(i * 7);
    WriteFile(s + ".dta", records.data(), records.size());
    std::atexit([] {
      std::remove((s + ".hdr").c_str());
      std::remove((s + ".dta").c_str());
    });
    return s;
  }();
  const std::string header = stem + ".hdr";
  WriteFile(header, data, size);

  (void)brevan::IsTarvixHeaderFile(header);
  brevan::TarvixImport import;
  const brevan::TarvixResult result = brevan::ParseTarvixHeaderFile(header, import);
  (void)brevan::TarvixResultText(result);
  if (result.status != brevan::TarvixStatus::Ok) {
    Check(import.signals.Count() == 0 && import.comments.Count() == 0);
    return 0;
  }
  for (const brevan::CommentRecord& c : import.comments) Check(c.text.size() <= brevan::kMaxCommentPiece);
  if (!import.streaming) {
    Check(import.dataSize == 0);
    return 0;
  }
  smallimports::StreamedData stream(import.dataPath, import.dataOffset, import.dataSize);
  Check(stream.Open());
  std::vector<uint8_t> buffer(4099);
  const uint32_t end = std::min<uint32_t>(import.dataSize, 1u << 20);
  for (uint32_t position = 0; position < end;) {
    const smallimports::DataSpaceRead r = stream.Read(position, buffer.data(), 4099);
    Check(r.copied == r.advance && r.advance > 0);
    position += r.advance;
  }
  return 0;
}

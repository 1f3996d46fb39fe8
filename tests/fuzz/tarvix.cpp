// Reads arbitrary bytes as a Tarvix header file with a data file beside it,
// and streams the whole data space back in odd-sized steps; then imports the
// same header through the module's file-import object.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/brevan/tarvix_reader.h"
#include "smallimports/support/data_file.h"
#include "tests/fuzz/import_path.h"
#include "tests/support/fuzz_input.h"

namespace {

constexpr CLSID kZPFileImport = winport::GuidOf("{803583CD-0C12-4E5E-8A73-F734585B591A}");

// The reader's import with its checks: the number of signals, or -1 when it fails.
int64_t ReadAndCheck(const std::string& header) {
  (void)brevan::IsTarvixHeaderFile(header);
  brevan::TarvixImport import;
  const brevan::TarvixResult result = brevan::ParseTarvixHeaderFile(header, import);
  (void)brevan::TarvixResultText(result);
  if (result.status != brevan::TarvixStatus::Ok) {
    testsupport::FuzzCheck(import.signals.Count() == 0 && import.comments.Count() == 0);
    return -1;
  }
  for (const brevan::CommentRecord& c : import.comments) testsupport::FuzzCheck(c.text.size() <= brevan::kMaxCommentPiece);
  if (!import.streaming) {
    testsupport::FuzzCheck(import.dataSize == 0);
    return static_cast<int64_t>(import.signals.Count());
  }
  smallimports::StreamedData stream(import.dataPath, import.dataOffset, import.dataSize);
  testsupport::FuzzCheck(stream.Open());
  std::vector<uint8_t> buffer(4099);
  const uint32_t end = std::min<uint32_t>(import.dataSize, 1u << 20);
  for (uint32_t position = 0; position < end;) {
    const smallimports::DataSpaceRead r = stream.Read(position, buffer.data(), 4099);
    testsupport::FuzzCheck(r.copied == r.advance && r.advance > 0);
    position += r.advance;
  }
  return static_cast<int64_t>(import.signals.Count());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool dataFile = [] {
    std::vector<uint8_t> records(4096);
    for (size_t i = 0; i < records.size(); ++i) records[i] = static_cast<uint8_t>(i * 7);
    testsupport::WriteFuzzInput("fuzz_tarvix", ".dta", records.data(), records.size());
    return true;
  }();
  (void)dataFile;
  fuzzpath::AnswerQuietly();
  const std::string header = testsupport::WriteFuzzInput("fuzz_tarvix", ".hdr", data, size);
  fuzzpath::DriveImport(kZPFileImport, header, ReadAndCheck(header));
  return 0;
}

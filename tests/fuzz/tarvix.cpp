// Reads arbitrary bytes as a Tarvix header file with a data file beside it,
// and streams the whole data space back in odd-sized steps.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/brevan/tarvix_reader.h"
#include "smallimports/support/data_file.h"
#include "tests/support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool dataFile = [] {
    std::vector<uint8_t> records(4096);
    for (size_t i = 0; i < records.size(); ++i) records[i] = static_cast<uint8_t>(i * 7);
    testsupport::WriteFuzzInput("fuzz_tarvix", ".dta", records.data(), records.size());
    return true;
  }();
  (void)dataFile;
  const std::string header = testsupport::WriteFuzzInput("fuzz_tarvix", ".hdr", data, size);

  (void)brevan::IsTarvixHeaderFile(header);
  brevan::TarvixImport import;
  const brevan::TarvixResult result = brevan::ParseTarvixHeaderFile(header, import);
  (void)brevan::TarvixResultText(result);
  if (result.status != brevan::TarvixStatus::Ok) {
    testsupport::FuzzCheck(import.signals.Count() == 0 && import.comments.Count() == 0);
    return 0;
  }
  for (const brevan::CommentRecord& c : import.comments) testsupport::FuzzCheck(c.text.size() <= brevan::kMaxCommentPiece);
  if (!import.streaming) {
    testsupport::FuzzCheck(import.dataSize == 0);
    return 0;
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
  return 0;
}

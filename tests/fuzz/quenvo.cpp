// Imports arbitrary bytes as a MAT-file: first through the loader, checking
// that every signal's values lie inside the data space it made, then through
// the module's file-import object as the host drives it.
#include <cstdint>
#include <string>

#include "quenvo/mat_loader.h"
#include "tests/fuzz/import_path.h"
#include "tests/support/fuzz_input.h"

namespace {

constexpr CLSID kZPFileImport = winport::GuidOf("{4CC4BBE2-CE5E-47F6-B768-ECBEFD0051A3}");

// The loader's signal count, or -1 when it fails.
int64_t LoadAndCheck(const std::string& path) {
  quenvo::ImportedFile data;
  quenvo::ImportComments comments;
  const quenvo::NamingOptions naming{1, -2, 1, '/'};
  if (quenvo::LoadMatFile(path, {data, comments, naming}) != quenvo::LoadStatus::Ok) return -1;
  const uint64_t size = data.data.size();
  testsupport::FuzzCheck(size <= quenvo::kMaxDataSize && (size == 0 || data.data));
  for (const quenvo::SignalRecord& r : data.signals) {
    testsupport::FuzzCheck(r.NoOfValues >= 0 && r.Block0 >= 0 && r.BlockOffset >= 0);
    const uint64_t n = static_cast<uint64_t>(r.NoOfValues);
    if (r.STyp == quenvo::styp::kChannelBlocks) {
      testsupport::FuzzCheck(uint64_t{1024} * static_cast<uint64_t>(r.Block0) + 8 * n <= size);
    } else {
      testsupport::FuzzCheck(static_cast<uint64_t>(r.BlockOffset) + 8 <= data.BlockSize || n == 0);
      testsupport::FuzzCheck(n * data.BlockSize <= size);
    }
    testsupport::FuzzCheck(r.Name.size() < 255 && r.DisplayName.size() < 259 && r.Label.size() < 256);
  }
  return static_cast<int64_t>(data.signals.Count());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (testsupport::IsHdf5MatFile(data, size)) return 0;
  fuzzpath::AnswerQuietly();
  const std::string path = testsupport::WriteFuzzInput("fuzz_quenvo", ".mat", data, size);
  fuzzpath::DriveImport(kZPFileImport, path, LoadAndCheck(path));
  return 0;
}

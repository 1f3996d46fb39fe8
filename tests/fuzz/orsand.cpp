// Imports arbitrary bytes through the TDM/TDMS module's import (the state
// behind its file-import object), then reads its comments and every signal's
// values through Seek and Read, and releases it. Inputs follow the
// connectivity library's fuzz target, so the seeds serve both: bytes that
// begin with "TDSm" are a TDMS file; any others are a TDM header, and the
// bytes after a line "<!--TDX-->" (or, without that line, the input itself)
// are written as its .tdx under the name its header's url gives.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "orsand/tdm_import.h"
#include "platform/ui/headless.h"
#include "tests/support/fuzz_input.h"

namespace {

// Imports may lay out this much at most, so that the fuzzer's memory limit holds.
constexpr uint64_t kMaxDataSpace = 64 << 20;

bool Store(const std::string& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// The .tdx name in the header's first url, when it is a short plain file name.
std::string DataFileName(std::string_view header) {
  constexpr std::string_view kUrl = "url=\"";
  const size_t start = header.find(kUrl);
  if (start == std::string_view::npos) return "";
  const std::string_view rest = header.substr(start + kUrl.size());
  const std::string_view name = rest.substr(0, rest.find('"'));
  const bool plain = !name.empty() && name.size() <= 64 && name.find('/') == std::string_view::npos &&
                     name != "." && name != ".." && name.find('\0') == std::string_view::npos;
  return plain && name.size() < rest.size() ? std::string(name) : "";
}

// Writes the input as the files it stands for; returns the path to import.
std::string WriteInput(const std::string& folder, std::string_view input, std::string& dataFile) {
  if (input.starts_with("TDSm")) {
    const std::string path = folder + "/input.tdms";
    return Store(path, input) ? path : "";
  }
  constexpr std::string_view kMarker = "\n<!--TDX-->\n";
  const size_t marker = input.find(kMarker);
  const std::string_view header = input.substr(0, marker);
  const std::string path = folder + "/input.tdm";
  if (!Store(path, header)) return "";
  const std::string name = DataFileName(header);
  if (!name.empty() && name != "input.tdm") {
    dataFile = folder + "/" + name;
    Store(dataFile, marker == std::string_view::npos ? input : input.substr(marker + kMarker.size()));
  }
  return path;
}

void ReadEverything(orsand::TdmImport& import) {
  for (int32_t i = 0; i <= import.NoOfComments(); ++i) {
    if (const std::string* text = import.FileComment(i)) (void)text->size();
    if (const std::string* name = import.CommentName(i)) (void)name->size();
  }
  std::vector<uint8_t> buffer(1 << 16);
  import.Open();
  for (const orsand::SignalRecord& s : import.Imported()->signals) {
    import.Seek(static_cast<int32_t>(s.byteOffset), 0);
    uint64_t left = static_cast<uint64_t>(s.NoOfValues) * static_cast<uint64_t>(s.Demux);
    while (left > 0) {
      const uint32_t got = import.Read(buffer.data(), static_cast<uint32_t>(std::min<uint64_t>(left, buffer.size())));
      testsupport::FuzzCheck(got != 0);  // a signal's own values always read
      left -= got;
    }
  }
  // Reads that start anywhere: from the end, past it and before the start.
  import.Seek(4095, 2);
  import.Read(buffer.data(), static_cast<uint32_t>(buffer.size()));
  import.Seek(-1, 0);
  testsupport::FuzzCheck(import.Read(buffer.data(), 1) == 0);
  import.Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("WINPORT_DLL_PATH", TEST_OUTPUT_DIR "/platform/ddc", 1);
  // Error boxes are expected; the headless backend answers them silently.
  winport::ui::Headless().SetFailureHandler([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    std::string f = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_orsand_XXXXXX";
    testsupport::FuzzCheck(mkdtemp(f.data()) != nullptr);
    return f;
  }();
  // Registered after the folder's destructor, so it runs before it.
  static const int removeAtExit = std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  });
  (void)removeAtExit;

  std::string dataFile;
  const std::string path = WriteInput(folder, {reinterpret_cast<const char*>(data), size}, dataFile);
  if (!path.empty()) {
    orsand::TdmImport import;
    if (import.ImportFile(path, {.maxDataSpace = kMaxDataSpace})) ReadEverything(import);
    import.ReleaseFile();
  }
  winport::ui::Headless().Reset();
  if (!dataFile.empty()) std::remove(dataFile.c_str());
  return 0;
}

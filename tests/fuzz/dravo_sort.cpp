// Sorts arbitrary bytes with the Dravo module's MDF library in a scratch
// folder. A sort that answers 0 must leave a copy whose every link holds and
// which the verifier accepts; replacing the input by its sorted copy must then
// give the same bytes, and a replacement that fails must leave the input as
// it was.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dravo/library.h"
#include "dravo/mdflib.h"
#include "dravo/replace.h"
#include "platform/ui/headless.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unsorted_mdf.h"

namespace {

using namespace dravo;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

const std::string& Scratch() {
  static const std::string dir = [] {
    std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_dravo_sort_XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    static const std::string removeAtExit = pattern;
    std::atexit([] { std::filesystem::remove_all(removeAtExit); });
    winport::ui::Headless().SetFailureHandler([](const std::string&) {});
    return pattern;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = Scratch();
  const std::string input = dir + "/input.mdf", copy = dir + "/copy.mdf", replaced = dir + "/replaced.mdf";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  testsupport::WriteFileBytes(input, bytes);
  testsupport::WriteFileBytes(replaced, bytes);
  std::filesystem::remove(copy);
  winport::ui::Headless().Reset();

  MdfInitLibrary("Fuzz");
  const MdfStatus sorted = MdfSortFile(input, copy);
  std::string copyBytes;
  if (sorted == kMdfOk) {
    copyBytes = testsupport::ReadFileBytes(copy);
    Check(testsupport::CheckLinks(copyBytes).empty());
    Check(VerifySortedCopy(input, copy) == kMdfOk);
  }
  if (sorted == kMdfNothingToSort) Check(!std::filesystem::exists(copy));

  MdfInitLibrary("Fuzz");
  const bool ok = ReplaceBySortedCopy(replaced);
  const std::string after = testsupport::ReadFileBytes(replaced);
  if (sorted == kMdfOk) Check(ok && after == copyBytes);
  else Check(after == bytes);
  // The replacement leaves no copy of its own beside the file (a failed
  // MdfSortFile may leave its partly written destination).
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    Check(entry.path() == input || entry.path() == copy || entry.path() == replaced);

  MdfExitLibrary();
  const LibraryCounts left = CurrentLibraryCounts();
  Check(left.files + left.groups + left.channels + left.blocks == 0);
  return 0;
}

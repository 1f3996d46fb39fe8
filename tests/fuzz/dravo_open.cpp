// Opens arbitrary bytes through the Dravo module's MDF library, reads the
// header, then every value of every channel with numbers of every group,
// record by record as the import driver does, and ends the library.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "dravo/library.h"
#include "dravo/mdflib.h"
#include "platform/ui/headless.h"

namespace {

using namespace dravo;

// Bounds that keep one input fast: records per group and values per input.
constexpr uint32_t kMaxRecords = 4096;
constexpr size_t kMaxValues = 200000;

std::string TempPath() {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/fuzz_dravo_open_" + std::to_string(getpid()) + ".mdf";
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void ReadGroup(MdfFileRecord* file, uint16_t number, size_t& values) {
  MdfGroupRecord* group = nullptr;
  if (MdfOpenGroup(&group, file, number, kMdfOpenRead) != kMdfOk) return;
  uint16_t count = 0;
  uint32_t records = 0;
  MdfGetChannelCount(&count, group);
  MdfGetRecordCount(&records, group);
  std::vector<MdfChannelRecord*> channels;
  for (uint16_t c = 1; c <= count; ++c) {
    MdfChannelRecord* channel = nullptr;
    if (MdfOpenChannel(&channel, group, c) != kMdfOk) break;
    MdfChannelInfo info;
    MdfGetChannelInfo(channel, &info);
    uint16_t type = 0;
    std::string unit;
    std::span<const uint8_t> parameters;
    if (MdfGetConversion(channel, &type, &unit, &parameters) == kMdfOk) Check(unit.size() <= 20);
    // A channel without numbers is refused, and reading it moves nothing.
    MdfValueProblem problem = MdfValueProblem::None;
    if (MdfCheckChannelValues(channel, &problem) == kMdfOk) {
      Check(problem == MdfValueProblem::None);
      channels.push_back(channel);
    } else {
      double v = 0;
      Check(problem != MdfValueProblem::None && MdfGetValue(&v, channel) == kMdfErrValueType);
    }
  }
  MdfChannelRecord* time = nullptr;
  MdfOpenTimeChannel(&time, group);
  const uint32_t limit = std::min(records, kMaxRecords);
  for (uint32_t r = 0; r < limit && values < kMaxValues; ++r) {
    for (MdfChannelRecord* channel : channels) {
      double v = 0;
      const MdfStatus s = MdfGetValue(&v, channel);
      ++values;
      if (s != kMdfOk) {
        MdfCloseGroup(group);
        return;
      }
    }
  }
  // Back to the start, as a seek in an interleaved group walks from record 0.
  if (MdfSeekRecord(group, static_cast<int32_t>(limit / 2), 0) == kMdfOk && time) {
    uint32_t raw = 0;
    MdfReadRawValue(&raw, time);
  }
  MdfCloseGroup(group);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    std::string p = TempPath();
    static const std::string removeAtExit = p;
    std::atexit([] { std::remove(removeAtExit.c_str()); });
    winport::ui::Headless().SetFailureHandler([](const std::string&) {});
    return p;
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  winport::ui::Headless().Reset();
  MdfInitLibrary("Fuzz");
  MdfFileRecord* file = nullptr;
  std::string comment;
  if (MdfOpen(&file, path, &comment, kMdfOpenRead) == kMdfOk) {
    Check(file != nullptr);
    MdfHeaderInfo info;
    MdfGetHeaderInfo(file, &info);
    MdfIsUnsorted(file);
    uint16_t groups = 0;
    MdfGetGroupCount(&groups, file);
    size_t values = 0;
    for (uint16_t g = 1; g <= groups && values < kMaxValues; ++g) ReadGroup(file, g, values);
    MdfClose(file);
  }
  MdfExitLibrary();
  const LibraryCounts left = CurrentLibraryCounts();
  Check(left.files + left.groups + left.channels + left.blocks == 0);
  return 0;
}

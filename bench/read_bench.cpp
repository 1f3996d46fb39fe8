// Reading every channel of a file into per-channel arrays, end to end from
// the file on disk (page cache warm), and composing a KESTRAVO-style file.
//
//   bench_read [decode16|decode200|compose]...   (all three without arguments)
//
// decode16:  512 MiB of records, 16 channels in 64-byte records (bit fields,
//            Motorola, floats, as bench_decode);
// decode200: 512 MiB of records, 200 narrow byte-aligned channels in 432-byte
//            records;
//            each read once channel by channel (GetDoubleContent, one pass over
//            the group per channel) and once with the group decoder (one pass);
// compose:   100 data groups of a time channel and the same 100 names, 200 MiB
//            of records; the composition against decoding every channel.
// MDF_BENCH_MIB sets the size of the records in MiB. Every measurement runs
// in a process of its own, which gives its peak RSS; each file's page-cache
// read rate is measured in the same run. Figures are MB/s of file (10^6 bytes).
// The group decoder fills arrays of huge pages (as the library allocates
// them), of 4 KiB pages, and arrays filled before (no page faults): the
// difference is the cost of the page faults on fresh memory.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "mdf/composition.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/value_array.h"
#include "platform/win32/file.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Measured {
  double seconds = -1;  // -1: the run failed
  double peakMiB = 0;
};

// Runs `fn` in a child process; its result is the seconds it measured (< 0 on failure).
Measured InChild(const std::function<double()>& fn) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    const double seconds = fn();
    (void)!write(pipeFds[1], &seconds, sizeof seconds);
    _exit(0);
  }
  close(pipeFds[1]);
  Measured m;
  double seconds = -1;
  if (read(pipeFds[0], &seconds, sizeof seconds) == sizeof seconds) m.seconds = seconds;
  close(pipeFds[0]);
  int status = 0;
  struct rusage usage {};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return m;
}

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int64_t FileSize(const std::string& path) {
  winport::File f;
  return f.Open(path, winport::FileAccess::Read, winport::FileShare::Read) ? f.Size() : -1;
}

// Reads the whole file in 4 MiB pieces into one buffer.
double ReadWhole(const std::string& path) {
  winport::File f;
  if (!f.Open(path, winport::FileAccess::Read, winport::FileShare::Read)) return -1;
  std::vector<uint8_t> buffer(4u << 20);
  const auto start = Clock::now();
  while (f.Read(buffer.data(), buffer.size()) > 0) {
  }
  return Since(start);
}

struct OpenedGroup {
  mdf::CMdf mdf;
  mdf::CDataBlock* data = nullptr;
  std::vector<mdf::CCNBlock*> channels;
  uint32_t records = 0;
  explicit OpenedGroup(const std::string& path) {
    mdf.SetShowMessages(false);
    if (!mdf.Open(path)) return;
    mdf::CDGBlock* dg = mdf.GetFirstDG();
    data = dg->GetDataBlock();
    for (mdf::CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext()) channels.push_back(cn);
    records = data->GetRecordsInFile();
  }
};

std::vector<mdf::ValueArray<double>> Arrays(size_t channels, uint32_t records, mdf::Pages pages = mdf::Pages::Huge) {
  std::vector<mdf::ValueArray<double>> arrays;
  for (size_t k = 0; k < channels; ++k) arrays.emplace_back(records, pages);
  return arrays;
}

// Every channel, one GetDoubleContent call (one pass over the group) each.
double PerChannel(const std::string& path) {
  const auto start = Clock::now();
  OpenedGroup g(path);
  if (!g.data) return -1;
  auto arrays = Arrays(g.channels.size(), g.records);
  for (size_t k = 0; k < g.channels.size(); ++k)
    if (g.data->GetDoubleContent(g.channels[k], arrays[k].span(), 0, g.records, true) != g.records) return -1;
  return Since(start);
}

enum class Into { Huge, Small, FilledBefore };

// Every channel in one pass with the group decoder, into arrays of huge or
// small pages, or into arrays filled once before the pass that is timed
// (which takes no page faults).
double OnePass(const std::string& path, Into kind) {
  auto start = Clock::now();
  OpenedGroup g(path);
  if (!g.data) return -1;
  auto arrays = Arrays(g.channels.size(), g.records, kind == Into::Small ? mdf::Pages::Small : mdf::Pages::Huge);
  std::vector<std::span<double>> outputs;
  for (auto& a : arrays) outputs.push_back(a.span());
  if (kind == Into::FilledBefore) {
    if (g.data->ReadGroupValues(g.channels, outputs, 0, g.records) != g.records) return -1;
    start = Clock::now();
  }
  if (g.data->ReadGroupValues(g.channels, outputs, 0, g.records) != g.records) return -1;
  return Since(start);
}

void Report(const char* what, const Measured& m, int64_t bytes) {
  if (m.seconds <= 0) {
    std::printf("  %-34s failed\n", what);
    return;
  }
  std::printf("  %-34s %8.3f s %9.0f MB/s   peak RSS %7.0f MiB\n", what, m.seconds,
              static_cast<double>(bytes) / 1e6 / m.seconds, m.peakMiB);
}

bool DecodeBenchmark(const std::string& dir, const char* name, benchfiles::StreamedGroup group) {
  const std::string path = dir + "/" + name + ".mdf";
  std::printf("%s: %zu records of %u bytes, %zu channels\n", name, group.records,
              static_cast<unsigned>(group.def.recordSize), group.def.channels.size());
  if (!benchfiles::WriteFile(path, "BENCH", {group})) return false;
  const int64_t bytes = FileSize(path);
  ReadWhole(path);  // the page cache holds the file from here on
  const Measured cache = InChild([&] { return ReadWhole(path); });
  Report("page-cache read", cache, bytes);
  Report("group decoder, huge pages", InChild([&] { return OnePass(path, Into::Huge); }), bytes);
  Report("group decoder, 4 KiB pages", InChild([&] { return OnePass(path, Into::Small); }), bytes);
  Report("group decoder, arrays filled before", InChild([&] { return OnePass(path, Into::FilledBefore); }), bytes);
  const Measured per = InChild([&] { return PerChannel(path); });
  Report("per-channel readers", per, bytes);
  return true;
}

// 100 groups of a double time channel and the same 100 UINT16 names, each
// group the next stretch of time (a pause after every tenth).
bool ComposeBenchmark(const std::string& dir) {
  constexpr int kGroups = 100, kNames = 100;
  constexpr uint16_t kRecord = 8 + 2 * kNames;
  const size_t records = benchfiles::MiB(200) * (1u << 20) / kRecord / kGroups;
  std::vector<benchfiles::StreamedGroup> groups;
  for (int g = 0; g < kGroups; ++g) {
    benchfiles::StreamedGroup s;
    s.def.autoLayout = false;
    s.def.recordSize = kRecord;
    s.def.channels.push_back(benchfiles::Channel("time", 0, 64, testsupport::dt::kDouble, std::nullopt, 1));
    s.def.channels.back().cn.sampleRate = 0.01;
    for (int n = 0; n < kNames; ++n)
      s.def.channels.push_back(benchfiles::Channel(mdf::StrFormat("n%d (G%d)", n, g),
                                                   static_cast<uint16_t>(64 + 16 * n), 16, testsupport::dt::kUInt,
                                                   n % 2 ? std::optional(testsupport::CcLinear(0.1, 2)) : std::nullopt));
    s.records = records;
    const double start = (g * records + g / 10) * 0.01;
    s.fill = [start, g](uint8_t* rec, size_t r) {
      benchfiles::Put<double>(rec, 0, start + static_cast<double>(r) * 0.01);
      for (int n = 0; n < kNames; ++n)
        benchfiles::Put<uint16_t>(rec, 8 + 2 * n, static_cast<uint16_t>(r * (n + 1) + g));
    };
    groups.push_back(std::move(s));
  }
  const std::string path = dir + "/compose.dat";
  std::printf("compose: %d groups of %zu records of %u bytes, %d shared names\n", kGroups, records,
              static_cast<unsigned>(kRecord), kNames);
  if (!benchfiles::WriteFile(path, "KESTRAVO", std::move(groups))) return false;
  const int64_t bytes = FileSize(path);
  ReadWhole(path);
  Report("page-cache read", InChild([&] { return ReadWhole(path); }), bytes);

  const Measured open = InChild([&] {
    const auto start = Clock::now();
    mdf::CMdf mdf;
    mdf.SetShowMessages(false);
    return mdf.Open(path) ? Since(start) : -1;
  });
  Report("open without composing", open, bytes);
  // Every channel of every group, each group in one pass, into fresh arrays.
  const Measured decode = InChild([&] {
    mdf::CMdf mdf;
    mdf.SetShowMessages(false);
    if (!mdf.Open(path)) return -1.0;
    const auto start = Clock::now();
    std::vector<std::vector<mdf::ValueArray<double>>> all;
    for (mdf::CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext()) {
      std::vector<mdf::CCNBlock*> channels;
      for (mdf::CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext()) channels.push_back(cn);
      const uint32_t n = dg->GetDataBlock()->GetRecordsInFile();
      all.push_back(Arrays(channels.size(), n));
      std::vector<std::span<double>> outputs;
      for (auto& a : all.back()) outputs.push_back(a.span());
      if (dg->GetDataBlock()->ReadGroupValues(channels, outputs, 0, n) != n) return -1.0;
    }
    return Since(start);
  });
  Report("decoding every channel", decode, bytes);
  const Measured compose = InChild([&] {
    const auto start = Clock::now();
    mdf::CMdf mdf;
    mdf.SetShowMessages(false);
    mdf.SetCompose(true);
    return mdf.Open(path) ? Since(start) : -1;
  });
  Report("open with composing", compose, bytes);
  if (open.seconds > 0 && decode.seconds > 0 && compose.seconds > 0)
    std::printf("  composing / decoding every channel: %.2f\n", (compose.seconds - open.seconds) / decode.seconds);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> runs(argv + 1, argv + argc);
  if (runs.empty()) runs = {"decode16", "decode200", "compose"};
  testsupport::TempDir dir;
  const size_t mib = benchfiles::MiB(512);
  for (const std::string& run : runs) {
    bool ok = false;
    if (run == "decode16") {
      benchfiles::StreamedGroup g{benchfiles::Group16(), mib * (1u << 20) / benchfiles::kRecord16,
                                  [random = benchfiles::XorShift()](uint8_t* rec, size_t r) mutable {
                                    benchfiles::FillRecord16(rec, r, random);
                                  }};
      ok = DecodeBenchmark(dir.Path(), "decode16", std::move(g));
    } else if (run == "decode200") {
      benchfiles::StreamedGroup g{benchfiles::Group200(), mib * (1u << 20) / benchfiles::kRecord200,
                                  [random = benchfiles::XorShift()](uint8_t* rec, size_t r) mutable {
                                    benchfiles::FillRecord200(rec, r, random);
                                  }};
      ok = DecodeBenchmark(dir.Path(), "decode200", std::move(g));
    } else if (run == "compose") {
      ok = ComposeBenchmark(dir.Path());
    } else {
      std::fprintf(stderr, "usage: bench_read [decode16|decode200|compose]...\n");
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "bench_read: %s: the file cannot be written or read\n", run.c_str());
      return 1;
    }
  }
  return 0;
}

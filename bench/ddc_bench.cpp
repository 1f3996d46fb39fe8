// Reading a TDMS file through the connectivity library's entry points alone:
// open it, then every channel's values with one DDC_GetDataValues each, as
// the TDM/TDMS module does. Beside it, a plain read of the same file from the
// page cache, and the TDM/TDMS module's whole import of it (ImportFile:
// every channel into a buffer of its own, with its range and steps).
//
// The file holds 16 double channels in 64 segments: the first carries the
// metadata, the others reuse it. Its raw data take 1 GiB by default;
// MDF_BENCH_MIB sets another size in MiB (e.g. 64 for a quick run). Both
// layouts are measured: each channel's values together in a segment
// (contiguous), and rows of one value per channel (interleaved). Reading one
// channel of an interleaved file passes over the rows of all, so that layout
// reads the file's bytes once per channel.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "orsand/tdm_import.h"
#include "platform/ddc/nilibddc.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace testsupport::tdms;

constexpr size_t kChannels = 16;
constexpr size_t kSegments = 64;

size_t ValuesPerSegment() {
  size_t mib = 1024;
  if (const char* env = std::getenv("MDF_BENCH_MIB")) mib = std::max(1L, std::atol(env));
  return std::max<size_t>(1, mib * (size_t{1} << 20) / (kSegments * kChannels * sizeof(double)));
}

struct BenchFile {
  testsupport::TempDir dir;
  std::string path;
  size_t per_segment = 0;
  uint64_t data_bytes = 0;

  explicit BenchFile(bool interleaved) {
    per_segment = ValuesPerSegment();
    path = dir.File(interleaved ? "interleaved.tdms" : "contiguous.tdms");
    std::ofstream out(path, std::ios::binary);
    std::vector<double> raw(per_segment * kChannels);
    for (size_t s = 0; s < kSegments; ++s) {
      for (size_t c = 0; c < kChannels; ++c)
        for (size_t i = 0; i < per_segment; ++i) {
          const double v = static_cast<double>(c) * 1e9 + static_cast<double>(s * per_segment + i);
          raw[interleaved ? i * kChannels + c : c * per_segment + i] = v;
        }
      Segment segment;
      segment.toc = kTocRawData | (interleaved ? kTocInterleaved : 0);
      if (s == 0) {
        segment.toc |= kTocMetaData | kTocNewObjectList;
        segment.objects.push_back(NoData("/", {String("name", "bench")}));
        for (size_t c = 0; c < kChannels; ++c) {
          char name[16];
          std::snprintf(name, sizeof name, "c%zu", c);
          segment.objects.push_back(WithData(Path("G", name), kF64, per_segment));
        }
      }
      segment.raw.assign(reinterpret_cast<const char*>(raw.data()), raw.size() * sizeof(double));
      out << EncodeSegment(segment);
      data_bytes += segment.raw.size();
    }
  }
};

BenchFile& File(bool interleaved) {
  static BenchFile contiguous(false);
  if (!interleaved) return contiguous;
  static BenchFile rows(true);
  return rows;
}

void BM_PageCacheRead(benchmark::State& state) {
  const BenchFile& file = File(state.range(0) != 0);
  std::vector<char> buffer(16 << 20);
  const int fd = open(file.path.c_str(), O_RDONLY);
  for (auto _ : state) {
    uint64_t total = 0;
    for (off_t pos = 0;; ) {
      const ssize_t got = pread(fd, buffer.data(), buffer.size(), pos);
      if (got <= 0) break;
      pos += got;
      total += static_cast<uint64_t>(got);
    }
    benchmark::DoNotOptimize(total);
  }
  close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.data_bytes));
}

void BM_ReadEveryChannel(benchmark::State& state) {
  const BenchFile& file = File(state.range(0) != 0);
  std::vector<double> values(file.per_segment * kSegments);
  for (auto _ : state) {
    DDCFileHandle handle = nullptr;
    if (DDC_OpenFileEx(file.path.c_str(), "TDMs", 1, &handle) != 0) {
      state.SkipWithError("the file does not open");
      return;
    }
    DDCChannelGroupHandle group = nullptr;
    DDCChannelHandle channels[kChannels] = {};
    DDC_GetChannelGroups(handle, &group, 1);
    DDC_GetChannels(group, channels, kChannels);
    for (DDCChannelHandle c : channels) {
      uint64_t n = 0;
      if (DDC_GetNumDataValues(c, &n) != 0 || n != values.size() ||
          DDC_GetDataValues(c, 0, n, values.data()) != 0) {
        state.SkipWithError("a channel does not read");
        return;
      }
      benchmark::DoNotOptimize(values.data());
      benchmark::ClobberMemory();
    }
    DDC_CloseFile(handle);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.data_bytes));
}

// The module's import, as the host's ImportFile runs it, and its release.
void BM_ImportFile(benchmark::State& state) {
  const BenchFile& file = File(state.range(0) != 0);
  for (auto _ : state) {
    orsand::TdmImport import;
    if (!import.ImportFile(file.path) || import.SignalCount() != static_cast<int32_t>(kChannels)) {
      state.SkipWithError("the import fails");
      return;
    }
    benchmark::DoNotOptimize(import.Imported().get());
    import.ReleaseFile();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.data_bytes));
}

BENCHMARK(BM_PageCacheRead)->ArgName("interleaved")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadEveryChannel)->ArgName("interleaved")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportFile)->ArgName("interleaved")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

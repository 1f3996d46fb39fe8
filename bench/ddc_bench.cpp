// Reading a TDMS file through the connectivity library's entry points alone:
// open it, then every channel's values with one DDC_GetDataValues each, as
// the TDM/TDMS module does. Beside it, a plain read of the same file from the
// page cache, and the TDM/TDMS module's whole import of it (ImportFile:
// every channel into a buffer of its own, with its range and steps).
//
// The file holds 16 channels in 64 segments: the first carries the
// metadata, the others reuse it. Its raw data take 1 GiB by default;
// MDF_BENCH_MIB sets another size in MiB (e.g. 64 for a quick run). Three
// layouts are measured (the benchmark argument "layout"): 0, double channels
// with each channel's values together in a segment (contiguous); 1, rows of
// one double per channel (interleaved); 2, DAQmx raw data: one raw buffer of
// rows of 16 i16 values, each channel scaled to volts by a linear scale, as
// NI's DAQmx logging writes it. Reading one channel of an interleaved or
// DAQmx file passes over the rows of all, so those layouts read the file's
// bytes once per channel. Apart from these, the opening of a file whose many
// channels all take their group's scaling.
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

enum Layout { kContiguous = 0, kInterleaved = 1, kDaqmx = 2 };

size_t ValuesPerSegment(size_t value_size) {
  size_t mib = 1024;
  if (const char* env = std::getenv("MDF_BENCH_MIB")) mib = std::max(1L, std::atol(env));
  return std::max<size_t>(1, mib * (size_t{1} << 20) / (kSegments * kChannels * value_size));
}

// Channel c of the DAQmx file: an i16 ADC word scaled to volts.
std::vector<Property> Volts(size_t c) {
  return {String("NI_Scaling_Status", "unscaled"), I32("NI_Number_Of_Scales", 2),
          String("NI_Scale[1]_Scale_Type", "Linear"), F64("NI_Scale[1]_Linear_Slope", 10.0 / 32768),
          F64("NI_Scale[1]_Linear_Y_Intercept", 0.001 * static_cast<double>(c)),
          U32("NI_Scale[1]_Linear_Input_Source", 0), String("unit_string", "V")};
}

struct BenchFile {
  testsupport::TempDir dir;
  std::string path;
  size_t per_segment = 0;
  uint64_t data_bytes = 0;

  explicit BenchFile(Layout layout) {
    const bool daqmx = layout == kDaqmx;
    per_segment = ValuesPerSegment(daqmx ? sizeof(int16_t) : sizeof(double));
    static const char* const kNames[] = {"contiguous.tdms", "interleaved.tdms", "daqmx.tdms"};
    path = dir.File(kNames[layout]);
    std::ofstream out(path, std::ios::binary);
    std::vector<double> raw(daqmx ? 0 : per_segment * kChannels);
    std::vector<int16_t> rows(daqmx ? per_segment * kChannels : 0);
    for (size_t s = 0; s < kSegments; ++s) {
      for (size_t c = 0; c < kChannels; ++c)
        for (size_t i = 0; i < per_segment; ++i) {
          const size_t n = s * per_segment + i;
          if (daqmx)
            rows[i * kChannels + c] = static_cast<int16_t>(static_cast<int64_t>((n * 7 + c * 1000) % 65536) - 32768);
          else
            raw[layout == kInterleaved ? i * kChannels + c : c * per_segment + i] =
                static_cast<double>(c) * 1e9 + static_cast<double>(n);
        }
      Segment segment;
      segment.toc = kTocRawData | (layout == kInterleaved ? kTocInterleaved : 0) | (daqmx ? kTocDaqmx : 0);
      if (s == 0) {
        segment.toc |= kTocMetaData | kTocNewObjectList;
        segment.objects.push_back(NoData("/", {String("name", "bench")}));
        for (size_t c = 0; c < kChannels; ++c) {
          char name[16];
          std::snprintf(name, sizeof name, "c%zu", c);
          const uint32_t offset = static_cast<uint32_t>(c * sizeof(int16_t));
          segment.objects.push_back(daqmx ? Daqmx(Path("G", name), per_segment, {kChannels * sizeof(int16_t)},
                                                  {{3, 0, offset, 0}}, Volts(c))
                                          : WithData(Path("G", name), kF64, per_segment));
        }
      }
      if (daqmx)
        segment.raw.assign(reinterpret_cast<const char*>(rows.data()), rows.size() * sizeof(int16_t));
      else
        segment.raw.assign(reinterpret_cast<const char*>(raw.data()), raw.size() * sizeof(double));
      out << EncodeSegment(segment);
      data_bytes += segment.raw.size();
    }
  }
};

BenchFile& File(int64_t layout) {
  if (layout == kContiguous) {
    static BenchFile contiguous(kContiguous);
    return contiguous;
  }
  if (layout == kInterleaved) {
    static BenchFile interleaved(kInterleaved);
    return interleaved;
  }
  static BenchFile daqmx(kDaqmx);
  return daqmx;
}

void BM_PageCacheRead(benchmark::State& state) {
  const BenchFile& file = File(state.range(0));
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
  const BenchFile& file = File(state.range(0));
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
  const BenchFile& file = File(state.range(0));
  // The import lays out every value as delivered (DAQmx: a double per i16),
  // in a data space of at most 2 GiB.
  const uint64_t delivered = uint64_t{file.per_segment} * kSegments * kChannels * sizeof(double);
  if (delivered > orsand::kMaxDataSpace) {
    state.SkipWithError("its values exceed the import's 2 GiB data space: set MDF_BENCH_MIB below 512");
    return;
  }
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

// Opening a file of many channels that all take their group's scaling, a
// table of as many points: the chain is built once for the group, not once per channel.
void BM_OpenSharedScaling(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  testsupport::TempDir dir;
  const std::string path = dir.File("shared_scaling.tdms");
  std::vector<Property> table = {String("NI_Scale[0]_Scale_Type", "Table"),
                                 I32("NI_Scale[0]_Table_Pre_Scaled_Values_Size", static_cast<int32_t>(n)),
                                 I32("NI_Scale[0]_Table_Scaled_Values_Size", static_cast<int32_t>(n))};
  for (size_t i = 0; i < n; ++i) {
    table.push_back(F64("NI_Scale[0]_Table_Pre_Scaled_Values[" + std::to_string(i) + "]", static_cast<double>(i)));
    table.push_back(F64("NI_Scale[0]_Table_Scaled_Values[" + std::to_string(i) + "]", 2.0 * static_cast<double>(i)));
  }
  Segment segment;
  segment.objects = {NoData("/"), NoData(Path("G"), table)};
  for (size_t c = 0; c < n; ++c) segment.objects.push_back(WithData(Path("G", "c" + std::to_string(c)), kI8, 1));
  segment.raw.assign(n, '\x01');
  testsupport::WriteFileBytes(path, Encode({segment}));
  for (auto _ : state) {
    DDCFileHandle handle = nullptr;
    if (DDC_OpenFileEx(path.c_str(), "TDMs", 1, &handle) != 0) {
      state.SkipWithError("the file does not open");
      return;
    }
    DDC_CloseFile(handle);
  }
}

BENCHMARK(BM_PageCacheRead)->ArgName("layout")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadEveryChannel)->ArgName("layout")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportFile)->ArgName("layout")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenSharedScaling)->ArgName("channels")->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

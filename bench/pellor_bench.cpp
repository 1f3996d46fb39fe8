// Streaming an imported MDF file's signals the way the host does: Open, then
// for each signal Seek and Read in 64 KiB pieces over its whole range, then
// Close. Once with value caches (each signal's values read from the file on
// its first Read), once with a memory limit of 0 (every Read goes to the
// file), beside a plain read of the same file from the page cache.
//
// One data group of 64-byte records with a double time channel and 15 data
// channels (integers of 8 to 32 bits, floats, bit fields, Motorola integers),
// laid out by the test driver. The records take 256 MiB by default;
// MDF_BENCH_MIB sets another size in MiB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "importcore/le.h"
#include "pellor/file_import.h"
#include "platform/win32/file.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/pellor_driver.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace testsupport;

constexpr uint32_t kRecordSize = 64;
constexpr uint32_t kPiece = 64 * 1024;

size_t RecordCount() {
  size_t mib = 256;
  if (const char* env = std::getenv("MDF_BENCH_MIB")) mib = std::max(1L, std::atol(env));
  return mib * (1u << 20) / kRecordSize;
}

ChannelDef Channel(const char* name, uint16_t startBit, uint16_t bits, uint16_t type, uint16_t channelType = 0) {
  ChannelDef c;
  c.cn = CnSpec{.channelType = channelType, .name = name, .startBit = startBit, .bits = bits, .dataType = type};
  c.value = [](uint32_t) { return 0.0; };
  return c;
}

struct Fixture {
  TempDir dir;
  std::string path;
  size_t bytes = 0;

  Fixture() {
    const size_t count = RecordCount();
    FileDef def;
    def.id.programId = "RDBENCH";
    GroupDef g;
    g.autoLayout = false;
    g.recordSize = kRecordSize;
    g.records = 1;
    g.channels = {Channel("time", 0, 64, dt::kDouble, 1), Channel("u8", 64, 8, dt::kUInt),
                  Channel("s8", 72, 8, dt::kInt),          Channel("u16", 80, 16, dt::kUInt),
                  Channel("s16", 96, 16, dt::kInt),        Channel("u32", 112, 32, dt::kUInt),
                  Channel("s32", 144, 32, dt::kInt),       Channel("f32", 176, 32, dt::kFloat),
                  Channel("f64", 208, 64, dt::kDouble),    Channel("u12", 272, 12, dt::kUInt),
                  Channel("s12", 284, 12, dt::kInt),       Channel("m16", 296, 16, dt::kUIntMotorola),
                  Channel("ms16", 312, 16, dt::kIntMotorola), Channel("u24", 328, 24, dt::kUInt),
                  Channel("u40", 352, 40, dt::kUInt),      Channel("f32b", 392, 32, dt::kFloat)};
    def.groups.push_back(std::move(g));
    BuiltFile built = BuildFile(def);
    // The records are written here, behind the blocks, in large pieces.
    built.writer.Truncate(built.groups[0].data);
    built.writer.PatchU32(built.groups[0].cg + cg::kRecordCount, static_cast<uint32_t>(count));
    path = dir.File("bench.mdf");
    built.writer.Save(path);
    winport::File file;
    if (!file.Open(path, winport::FileAccess::Write, winport::FileShare::None, winport::FileDisposition::OpenAlways) ||
        !file.Seek(0, winport::SeekOrigin::End))
      return;
    std::vector<uint8_t> chunk(size_t{1} << 20);
    uint32_t x = 2463534242u;
    for (size_t r = 0; r < count;) {
      const size_t n = std::min(chunk.size() / kRecordSize, count - r);
      for (size_t i = 0; i < n; ++i, ++r) {
        uint8_t* rec = chunk.data() + i * kRecordSize;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        for (size_t b = 8; b < kRecordSize; b += 4) importcore::StoreLE<uint32_t>(rec + b, x * static_cast<uint32_t>(b));
        importcore::StoreLE(rec, static_cast<double>(r) * 1e-3);
      }
      file.Write(chunk.data(), n * kRecordSize);
    }
    bytes = static_cast<size_t>(file.Size());
  }
};

Fixture& TheFixture() {
  static Fixture fixture;  // made once: writing the records takes a while
  return fixture;
}

// Streams every signal once; returns the bytes delivered.
uint64_t StreamAll(bool cached) {
  ScopedPellorDriver driver;
  pellor::FileImport import;
  if (!cached) {
    pellor::ParameterBlock host;
    host.SetMemoryLimit(0);
    import.PutParameters(host.Data());
  }
  if (import.ImportFile(TheFixture().path, "") != S_OK || import.Open() != S_OK) return 0;
  std::vector<uint8_t> buffer(kPiece);
  uint64_t delivered = 0;
  for (const pellor::SignalRecord& s : import.Lists().signals) {
    for (uint64_t at = s.rangeStart; at < s.rangeEnd; at += kPiece) {
      import.Seek(static_cast<int32_t>(at), 0);
      import.Read(buffer.data(), kPiece);
      delivered += std::min<uint64_t>(kPiece, s.rangeEnd - at);
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  import.Close();
  return delivered;
}

void Stream(benchmark::State& state, bool cached) {
  if (TheFixture().bytes == 0) {
    state.SkipWithError("the benchmark file cannot be written");
    return;
  }
  uint64_t delivered = 0;
  for (auto _ : state) delivered += StreamAll(cached);
  state.SetBytesProcessed(static_cast<int64_t>(delivered));
  state.counters["file MiB"] = static_cast<double>(TheFixture().bytes) / (1 << 20);
}

void BM_ReadCached(benchmark::State& state) { Stream(state, true); }
void BM_ReadFromFile(benchmark::State& state) { Stream(state, false); }

// The same file read whole in 16 MiB pieces, from the page cache.
void BM_PageCacheRead(benchmark::State& state) {
  if (TheFixture().bytes == 0) {
    state.SkipWithError("the benchmark file cannot be written");
    return;
  }
  std::vector<uint8_t> buffer(16u << 20);
  uint64_t read = 0;
  for (auto _ : state) {
    winport::File file;
    if (!file.Open(TheFixture().path, winport::FileAccess::Read, winport::FileShare::Read)) break;
    for (size_t n; (n = file.Read(buffer.data(), buffer.size())) > 0;) read += n;
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(read));
}

BENCHMARK(BM_PageCacheRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadCached)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

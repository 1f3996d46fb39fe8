// Importing a FILMOR file: the schema and document walk, then every column of
// the group's records into the signals' sample buffers in one pass over the
// records. One group of 16 columns (integers of 8 to 32 bits, floats, and
// 64-bit integers and doubles that are converted and scaled), 48-byte
// records; 256 MiB of records unless MDF_BENCH_MIB says otherwise. The
// page-cache read rate of the same file is measured beside it.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_file.h"
#include "smallimports/filmor/filmor_import.h"
#include "tests/support/filmor_writer.h"

namespace {

namespace fw = testsupport::filmor;

constexpr struct {
  uint8_t type, width;
} kColumns[] = {{2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 4}, {7, 4}, {16, 1}, {17, 1},
                {32, 4}, {48, 4}, {8, 8}, {9, 4}, {33, 8}, {4, 2}, {5, 1}, {1, 1}};
constexpr size_t kRecordLength = 48;

// One group of the columns above with pseudo-random records.
std::string FilmorFile() {
  const uint64_t records = testsupport::BenchMiB(256) * (1 << 20) / kRecordLength;
  fw::Document doc;
  fw::GroupSpec g;
  g.recordCount = static_cast<int64_t>(records);
  g.interval = std::make_pair(0.001, int16_t{0});
  size_t length = 0;
  for (size_t c = 0; c < std::size(kColumns); ++c) {
    fw::ChannelSpec ch;
    ch.name = "c" + std::to_string(c);
    ch.type = kColumns[c].type;
    ch.width = kColumns[c].width;
    ch.rawScaling = {0.5, 1};
    g.channels.push_back(ch);
    length += kColumns[c].width;
  }
  g.records.resize(records * length);
  for (size_t i = 0; i < g.records.size(); ++i) g.records[i] = static_cast<char>(i * 2654435761u >> 13);
  doc.groups.push_back(std::move(g));
  return fw::WriteFilmorFile(doc);
}

const benchsupport::BenchFile& File() {
  static const benchsupport::BenchFile file("bench.flm", FilmorFile());
  return file;
}

void BM_FilmorImport(benchmark::State& state) {
  const benchsupport::BenchFile& f = File();
  for (auto _ : state) {
    filmor::FilmorImport import;
    const filmor::FilmorResult result = filmor::ReadFilmorFile(f.path, import);
    if (result.status != filmor::FilmorStatus::Ok) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(import.signals[0].samples.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes));
}
BENCHMARK(BM_FilmorImport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PageCacheRead(benchmark::State& state) { benchsupport::PageCacheRead(state, File().path, File().bytes); }
BENCHMARK(BM_PageCacheRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Decoding a sorted data group to physical doubles from records in memory,
// chunk by chunk: one DecodeValues call per channel and chunk (as the
// data-group loader did), and the group decoder (all channels in one pass).
//
// The group has 64-byte records and 16 channels (integers of 8, 16 and 32
// bits of both signs, 32- and 64-bit floats, 12-bit bit fields, Motorola
// 16-bit integers; linear and identity conversions). Its records take 1 GiB
// by default; MDF_BENCH_MIB sets another size in MiB (e.g. 16 for a quick run).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/bench_files.h"
#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace testsupport;

constexpr uint32_t kRecordSize = benchfiles::kRecord16;
constexpr size_t kChunkBytes = 16u << 20;  // the loader's largest chunk

size_t RecordCount() { return benchfiles::MiB(1024) * (1u << 20) / kRecordSize; }

// The group's channel and conversion blocks, written by the fixture writer.
FileDef GroupDef16() {
  FileDef def;
  def.id.programId = "DECBENCH";
  GroupDef g = benchfiles::Group16();
  g.records = 1;  // the records themselves are made in memory
  def.groups.push_back(std::move(g));
  return def;
}

void FillRecords(std::vector<uint8_t>& records, size_t count) {
  benchfiles::XorShift random;
  for (size_t r = 0; r < count; ++r) benchfiles::FillRecord16(records.data() + r * kRecordSize, r, random);
}

struct Fixture {
  TempDir dir;
  mdf::CMdf mdf;
  std::vector<mdf::CCNBlock*> channels;
  mdf::CDataBlock* data = nullptr;
  std::vector<uint8_t> records;
  size_t count = 0;

  Fixture() {
    count = RecordCount();
    BuiltFile built = BuildFile(GroupDef16());
    built.writer.PatchU32(built.groups[0].cg + cg::kRecordCount, static_cast<uint32_t>(count));
    const std::string path = dir.File("bench.mdf");
    built.writer.Save(path);
    mdf.SetShowMessages(false);
    if (!mdf.Open(path)) return;
    mdf::CDGBlock* dg = mdf.GetFirstDG();
    data = dg->GetDataBlock();
    for (mdf::CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext()) channels.push_back(cn);
    records.resize(count * kRecordSize);
    FillRecords(records, count);
  }
};

// The fixture, made once for every benchmark: generating the records takes a
// while. Null (and the benchmark skipped) when it cannot be made.
Fixture* SharedFixture(benchmark::State& state) {
  static Fixture& fixture = *new Fixture;
  if (!fixture.data || fixture.channels.size() != 16) {
    state.SkipWithError("the benchmark group cannot be opened");
    return nullptr;
  }
  return &fixture;
}

// Hands every chunk of the records to decode(chunk, first record, records),
// as often as the benchmark asks, and reports the rates.
template <typename Decode>
void RunChunks(benchmark::State& state, Fixture& fixture, size_t chunkRecords, Decode&& decode) {
  for (auto _ : state) {
    for (size_t first = 0; first < fixture.count; first += chunkRecords) {
      const size_t n = std::min(chunkRecords, fixture.count - first);
      decode(std::span<const uint8_t>(fixture.records.data() + first * kRecordSize, n * kRecordSize),
             static_cast<uint32_t>(first), static_cast<uint32_t>(n));
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fixture.records.size()));
  state.counters["samples/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(fixture.count * fixture.channels.size()),
      benchmark::Counter::kIsRate);
}

// One DecodeValues call per channel and chunk.
void BM_DecodePhysical(benchmark::State& state) {
  Fixture* fixture = SharedFixture(state);
  if (!fixture) return;
  const size_t chunkRecords = kChunkBytes / kRecordSize;
  std::vector<double> time(chunkRecords), scratch(chunkRecords);
  RunChunks(state, *fixture, chunkRecords, [&](std::span<const uint8_t> chunk, uint32_t first, uint32_t n) {
    for (size_t c = 0; c < fixture->channels.size(); ++c) {
      std::vector<double>& out = c == 0 ? time : scratch;
      fixture->data->DecodeValues(fixture->channels[c], chunk, out, 0, n, true, first);
      benchmark::DoNotOptimize(out.data());
    }
  });
}
BENCHMARK(BM_DecodePhysical)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same chunks decoded by the group decoder: all channels in one pass,
// slice by slice, into arrays that are reused from chunk to chunk.
void BM_GroupDecodePhysical(benchmark::State& state) {
  Fixture* fixture = SharedFixture(state);
  if (!fixture) return;
  const size_t chunkRecords = kChunkBytes / kRecordSize;
  std::vector<std::vector<double>> arrays(fixture->channels.size(), std::vector<double>(chunkRecords));
  std::vector<std::span<double>> outputs(arrays.begin(), arrays.end());
  mdf::CGroupDecoder decoder(*fixture->data, fixture->channels);
  RunChunks(state, *fixture, chunkRecords, [&](std::span<const uint8_t> chunk, uint32_t first, uint32_t n) {
    decoder.Decode(chunk, outputs, 0, n, first);
  });
}
BENCHMARK(BM_GroupDecodePhysical)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

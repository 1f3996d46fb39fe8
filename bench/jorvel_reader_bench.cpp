// Importing an RPC III file and streaming its whole data space as the host
// does (interleaved records of all channels, read in 64 KiB pieces). 16
// channels in groups of 1024 points; 256 MiB of samples unless MDF_BENCH_MIB
// says otherwise. The page-cache read rate of the same file is measured beside it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_file.h"
#include "smallimports/jorvel/rpc_reader.h"
#include "tests/support/rpc_writer.h"

namespace {

namespace rw = testsupport::rpc;

constexpr int kChannels = 16;

// kChannels channels of 16-bit samples.
std::string RpcFile() {
  rw::RpcSpec spec;
  spec.pointsPerFrame = 1024;
  spec.pointsPerGroup = 1024;
  spec.frames = static_cast<int64_t>(testsupport::BenchMiB(256) * (1 << 20) / (kChannels * 2 * 1024));
  for (int c = 0; c < kChannels; ++c) {
    rw::RpcChannel ch{"Kanal " + std::to_string(c), "N", "1.0E-03", {}};
    ch.values.resize(static_cast<size_t>(spec.pointsPerFrame * spec.frames));
    for (size_t i = 0; i < ch.values.size(); ++i) ch.values[i] = static_cast<int16_t>(i * (c + 1));
    spec.channels.push_back(std::move(ch));
  }
  return rw::WriteRpcFile(spec);
}

const benchsupport::BenchFile& File() {
  static const benchsupport::BenchFile file("bench.rsp", RpcFile());
  return file;
}

void BM_RpcImport(benchmark::State& state) {
  const benchsupport::BenchFile& f = File();
  for (auto _ : state) {
    jorvel::RpcImport import;
    if (jorvel::ParseRpcFile(f.path, import).status != jorvel::RpcStatus::Ok) state.SkipWithError("import failed");
    benchmark::DoNotOptimize(import.samples.StoredBytes());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes));
}
BENCHMARK(BM_RpcImport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RpcStreamDataSpace(benchmark::State& state) {
  const benchsupport::BenchFile& f = File();
  jorvel::RpcImport import;
  jorvel::ParseRpcFile(f.path, import);
  std::vector<uint8_t> buffer(64 << 10);
  for (auto _ : state) {
    for (uint32_t position = 0; position < import.dataSize;) {
      const auto r = jorvel::ReadRpcDataSpace(import, position, buffer.data(), static_cast<uint32_t>(buffer.size()));
      position += r.advance;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * import.dataSize));
}
BENCHMARK(BM_RpcStreamDataSpace)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PageCacheRead(benchmark::State& state) { benchsupport::PageCacheRead(state, File().path, File().bytes); }
BENCHMARK(BM_PageCacheRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

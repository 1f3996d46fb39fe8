// Decoding a sorted data group to physical doubles the way the data-group
// loader does: the records lie in memory and are decoded chunk by chunk, one
// DecodeValues call per channel and chunk.
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

#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace testsupport;

constexpr uint32_t kRecordSize = 64;
constexpr size_t kChunkBytes = 16u << 20;  // the loader's largest chunk

size_t RecordCount() {
  size_t mib = 1024;
  if (const char* env = std::getenv("MDF_BENCH_MIB")) mib = std::max(1L, std::atol(env));
  return mib * (1u << 20) / kRecordSize;
}

ChannelDef Channel(const char* name, uint16_t startBit, uint16_t bits, uint16_t type,
                   std::optional<CcSpec> cc = std::nullopt, uint16_t channelType = 0) {
  ChannelDef c;
  c.cn = CnSpec{.channelType = channelType, .name = name, .startBit = startBit, .bits = bits,
                .dataType = type};
  c.cc = std::move(cc);
  return c;
}

// The group's channel and conversion blocks, written by the fixture writer.
FileDef GroupDef16() {
  FileDef def;
  def.id.programId = "DECBENCH";
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = kRecordSize;
  g.records = 1;  // the records themselves are made in memory
  g.channels = {
      Channel("time", 0, 64, dt::kDouble, std::nullopt, 1),
      Channel("u8", 64, 8, dt::kUInt, CcLinear(0.5, -10)),
      Channel("s8", 72, 8, dt::kInt, CcIdentity(2)),
      Channel("u16", 80, 16, dt::kUInt, CcLinear(0.01, 0)),
      Channel("s16", 96, 16, dt::kInt, CcLinear(0.1, 5)),
      Channel("u32", 112, 32, dt::kUInt, CcLinear(1e-3, 0)),
      Channel("s32", 144, 32, dt::kInt, CcLinear(1, 0)),
      Channel("f32", 176, 32, dt::kFloat, CcLinear(2, 1)),
      Channel("f64", 208, 64, dt::kDouble),
      Channel("bits_u12", 272, 12, dt::kUInt, CcLinear(0.25, 0)),
      Channel("bits_s12", 284, 12, dt::kInt, CcLinear(0.5, -3)),
      Channel("mot_u16", 296, 16, dt::kUIntMotorola, CcLinear(0.1, 0)),
      Channel("mot_s16", 312, 16, dt::kIntMotorola),
      Channel("u32_b", 328, 32, dt::kUInt, CcLinear(3, 7)),
      Channel("f32_b", 360, 32, dt::kFloat, CcIdentity()),
      Channel("s16_b", 392, 16, dt::kInt, CcLinear(-0.5, 100)),
  };
  def.groups.push_back(std::move(g));
  return def;
}

template <typename T>
void Put(uint8_t* record, size_t byte, T v) {
  std::memcpy(record + byte, &v, sizeof v);
}

// Record values that vary and stay ordinary numbers (no NaN or denormals).
void FillRecords(std::vector<uint8_t>& records, size_t count) {
  uint32_t x = 2463534242u;
  for (size_t r = 0; r < count; ++r) {
    uint8_t* rec = records.data() + r * kRecordSize;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    Put<double>(rec, 0, static_cast<double>(r) * 1e-3);
    Put<uint8_t>(rec, 8, static_cast<uint8_t>(x));
    Put<int8_t>(rec, 9, static_cast<int8_t>(x >> 8));
    Put<uint16_t>(rec, 10, static_cast<uint16_t>(x));
    Put<int16_t>(rec, 12, static_cast<int16_t>(x >> 16));
    Put<uint32_t>(rec, 14, x);
    Put<int32_t>(rec, 18, static_cast<int32_t>(x ^ 0x5555));
    Put<float>(rec, 22, static_cast<float>(static_cast<int32_t>(x)) * 1e-6f);
    Put<double>(rec, 26, static_cast<double>(x) * 0.125);
    const uint32_t bits = (x & 0xFFF) | ((x >> 4) & 0xFFF000);  // two 12-bit fields in bytes 34..36
    rec[34] = static_cast<uint8_t>(bits);
    rec[35] = static_cast<uint8_t>(bits >> 8);
    rec[36] = static_cast<uint8_t>(bits >> 16);
    rec[37] = static_cast<uint8_t>(x >> 3);
    rec[38] = static_cast<uint8_t>(x >> 11);
    rec[39] = static_cast<uint8_t>(x >> 19);
    rec[40] = static_cast<uint8_t>(x >> 5);
    Put<uint32_t>(rec, 41, x * 2654435761u);
    Put<float>(rec, 45, static_cast<float>(x & 0xFFFF) * 0.5f);
    Put<int16_t>(rec, 49, static_cast<int16_t>(x >> 7));
  }
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

void BM_DecodePhysical(benchmark::State& state) {
  static Fixture fixture;  // made once: generating the records takes a while
  if (!fixture.data || fixture.channels.size() != 16) {
    state.SkipWithError("the benchmark group cannot be opened");
    return;
  }
  const size_t chunkRecords = kChunkBytes / kRecordSize;
  std::vector<double> time(chunkRecords), scratch(chunkRecords);
  for (auto _ : state) {
    for (size_t first = 0; first < fixture.count; first += chunkRecords) {
      const size_t n = std::min(chunkRecords, fixture.count - first);
      const std::span<const uint8_t> chunk(fixture.records.data() + first * kRecordSize, n * kRecordSize);
      for (size_t c = 0; c < fixture.channels.size(); ++c) {
        std::vector<double>& out = c == 0 ? time : scratch;
        fixture.data->DecodeValues(fixture.channels[c], chunk, out, 0, static_cast<uint32_t>(n), true,
                                   static_cast<uint32_t>(first));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fixture.records.size()));
  state.counters["samples/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(fixture.count * fixture.channels.size()),
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodePhysical)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

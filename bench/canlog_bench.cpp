// Importing a CAN-frame log: a generated log of 10 M frames (MDF_BENCH_CAN_FRAMES
// sets another count) on 2 CAN channels with 40 ids, and its three DBC files
// with 500 signals (Intel and Motorola bit fields, aligned integers, 32-bit
// floats, integers of 40 bits, a multiplexed message), named by a settings
// file. Timed: the whole import (frames read from the page cache, databases,
// signals, decoding) and the decoding of the frames alone; reported beside
// them: reading the same file from the page cache.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "bench/bench_files.h"
#include "mdf/format.h"
#include "tests/support/pellor_canlog_driver.h"
#include "tests/support/page_cache.h"

namespace {

using namespace testsupport;
using namespace pellor::canlogtest;

constexpr int kMessages = 40;

size_t FrameCount() {
  if (const char* env = std::getenv("MDF_BENCH_CAN_FRAMES")) return std::max(1L, std::atol(env));
  return 10'000'000;
}

uint32_t MessageId(int k) { return k % 10 == 9 ? 0x80000000u | (0x18F00000u + k) : 0x100u + 8u * k; }
int MessageChannel(int k) { return k < 20 ? 1 : 2; }

// The DBC lines of message k: 13 signals for the first 20 messages, 12 for
// the others, 500 in all.
std::string MessageLines(int k) {
  static constexpr int kLengths[] = {4, 8, 12, 16, 3, 5, 1};
  const int signals = k < 20 ? 13 : 12;
  const bool motorola = k % 4 == 1;
  const bool multiplexed = k == 5;
  std::string out = "BO_ " + std::to_string(MessageId(k)) + " M" + std::to_string(k) + ": 8 ECU\n";
  std::string types;
  for (int i = 0; i < signals; ++i) {
    const std::string name = mdf::StrFormat("S%d_%d", k, i);
    int length = kLengths[i % 7], order = 1, start = 0;
    if (multiplexed && i == 0) {
      out += " SG_ " + name + " M : 0|8@1+ (1,0) [0|3] \"\" ECU\n";
      continue;
    }
    if (k % 4 == 3 && i == 0) {
      length = 40;  // wider than a float holds
    } else if (k % 4 == 2 && i < 2) {
      length = 32;  // floats
      types += "SIG_VALTYPE_ " + std::to_string(MessageId(k)) + " " + name + " : 1;\n";
      start = 32 * i;
    }
    if (length == 40 || (length != 32 && !motorola)) {
      start = (i * 11) % (65 - length);
    } else if (motorola) {
      const int bytes = (length + 7) / 8;
      start = 8 * (i % (9 - bytes)) + 7;  // most significant bit at the top of a byte
      order = 0;
    }
    const std::string indicator = multiplexed ? mdf::StrFormat(" m%d", i % 4) : std::string();
    out += " SG_ " + name + indicator + " : " + std::to_string(start) + "|" + std::to_string(length) + "@" +
           std::to_string(order) + (i % 3 == 0 ? "-" : "+") + " (0.5,-1) [0|0] \"u\" ECU\n";
  }
  return out + "\n" + types;
}

// Messages [first, last) in one DBC file.
std::string Dbc(int first, int last) {
  std::string out = "VERSION \"\"\n\nNS_ :\n\nBS_:\n\nBU_: ECU\n\n";
  for (int k = first; k < last; ++k) out += MessageLines(k);
  return out;
}

struct Fixture {
  TempDir dir;
  std::string log = dir.File("canlog.mdf");
  std::string settings = dir.File("can.ini");
  size_t frames = FrameCount();
  bool ok = false;

  Fixture() {
    WriteFileBytes(dir.File("ch1.dbc"), Dbc(0, 20));
    WriteFileBytes(dir.File("ch2a.dbc"), Dbc(20, 30));
    WriteFileBytes(dir.File("ch2b.dbc"), Dbc(30, 40));
    WriteSettings(settings, {{1, {dir.File("ch1.dbc")}}, {2, {dir.File("ch2a.dbc"), dir.File("ch2b.dbc")}}});
    benchfiles::StreamedGroup group{CanLogGroup(), frames, [](uint8_t* record, size_t r) {
                                      static benchfiles::XorShift random;
                                      const uint32_t x = random();
                                      const int k = static_cast<int>(x % kMessages);
                                      CanLogFrame f;
                                      f.time = static_cast<double>(r) * 1e-4;
                                      f.channel = static_cast<uint32_t>(MessageChannel(k));
                                      f.id = MessageId(k);
                                      const uint32_t y = random(), z = random();
                                      for (int b = 0; b < 4; ++b) {
                                        f.data[b] = static_cast<uint8_t>(y >> (8 * b));
                                        f.data[4 + b] = static_cast<uint8_t>(z >> (8 * b));
                                      }
                                      if (k == 5) f.data[0] &= 3;  // the multiplexor's values
                                      PutCanLogRecord(record, f);
                                    }};
    ok = benchfiles::WriteFile(log, "CANlog", {group});
  }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

bool Ready(benchmark::State& state) {
  if (TheFixture().ok) return true;
  state.SkipWithError("the benchmark log cannot be written");
  return false;
}

void BM_PageCacheRead(benchmark::State& state) {
  if (!Ready(state)) return;
  uint64_t bytes = 0;
  for (auto _ : state) bytes += ReadThroughPageCache(TheFixture().log);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_ImportCanLog(benchmark::State& state) {
  if (!Ready(state)) return;
  HostVariables host;
  int64_t frames = 0;
  for (auto _ : state) {
    pellor::FileImport import;
    ScopedCanLogDriver driver;
    if (import.ImportFile(TheFixture().log, TheFixture().settings) != S_OK || import.m_nSignals != 540) {
      state.SkipWithError("the import failed");
      return;
    }
    frames += static_cast<int64_t>(TheFixture().frames);
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

// DecodeCanValues alone: the steps before it run untimed in each iteration.
void BM_DecodeCanValues(benchmark::State& state) {
  if (!Ready(state)) return;
  HostVariables host;
  int64_t frames = 0;
  for (auto _ : state) {
    pellor::FileImport import;
    import.m_mdf = std::make_unique<mdf::CMdf>(mdf::MdfProfile::Import);
    pellor::CanLogImport can(import, TheFixture().settings);
    winport::File file;
    if (!import.m_mdf->Open(TheFixture().log) ||
        !file.Open(TheFixture().log, winport::FileAccess::Read, winport::FileShare::ReadWrite) ||
        !can.ReadCanFrames(file) || !can.ChooseDatabases() || !can.ReadDatabases() || !can.GenerateCanSignals() ||
        !can.AllocateValues()) {
      state.SkipWithError("the steps before the decoding failed");
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    can.DecodeCanValues();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    frames += static_cast<int64_t>(can.FrameCount());
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_PageCacheRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportCanLog)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeCanValues)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();

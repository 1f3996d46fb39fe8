// Reading a large CAN database: a generated DBC file of 10,000 messages
// (MDF_BENCH_DBC_MESSAGES sets another count) in no order of name, each with
// eight signals (Intel and Motorola, signed, scaled, one multiplexed group per
// tenth message, floats), a comment per message and signal, value texts and
// attribute lines. Reported beside it: reading the same file's bytes from the
// page cache.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pellor/candb/candb.h"
#include "tests/support/temp_dir.h"

namespace {

int MessageCount() {
  if (const char* env = std::getenv("MDF_BENCH_DBC_MESSAGES")) return std::max(1, std::atoi(env));
  return 10000;
}

std::string MakeDbc(int messages) {
  std::string out = "VERSION \"bench\"\n\nNS_ :\n\tCM_\n\tBA_DEF_\n\tBA_\n\tVAL_\n\tSIG_VALTYPE_\n\nBS_:\n\nBU_: ECU1 ECU2 ECU3\n\n";
  char line[512];
  std::string comments, values, attributes, types;
  for (int i = 0; i < messages; ++i) {
    const int n = static_cast<int>((static_cast<int64_t>(i) * 7919) % messages);  // names out of order
    const uint32_t id = i < messages / 2 ? 0x100u + i : 0x80000000u | (0x18F00000u + i);
    std::snprintf(line, sizeof line, "BO_ %u Message_%06d: 8 ECU%d\n", id, n, i % 3 + 1);
    out += line;
    const bool mux = i % 10 == 0;
    for (int s = 0; s < 8; ++s) {
      const bool motorola = s % 2 == 1;
      const int start = motorola ? s * 8 + 3 : s * 8;  // Motorola fields span two bytes
      const char* indicator = !mux ? "" : s == 0 ? " M" : s < 4 ? " m1" : s < 6 ? " m2" : "";
      std::snprintf(line, sizeof line, " SG_ Signal_%d_%d%s : %d|8@%d%c (0.%d,-%d.5) [-100|%d.25] \"unit%d\" ECU%d,ECU%d\n",
                    n, s, indicator, start, motorola ? 0 : 1, s % 3 == 0 ? '-' : '+', s + 1, s, 100 + s, s,
                    s % 3 + 1, (s + 1) % 3 + 1);
      out += line;
      std::snprintf(line, sizeof line, "CM_ SG_ %u Signal_%d_%d \"Signal %d of message %d, a comment of some length\";\n",
                    id, n, s, s, n);
      comments += line;
    }
    out += "\n";
    std::snprintf(line, sizeof line, "CM_ BO_ %u \"Message %d sends eight signals\";\n", id, n);
    comments += line;
    std::snprintf(line, sizeof line, "VAL_ %u Signal_%d_2 0 \"off\" 1 \"on\" 2 \"error\" 3 \"not available\" ;\n", id, n);
    values += line;
    std::snprintf(line, sizeof line, "BA_ \"GenMsgCycleTime\" BO_ %u %d;\n", id, 10 * (i % 100));
    attributes += line;
    if (i % 20 == 0) {
      std::snprintf(line, sizeof line, "SIG_VALTYPE_ %u Signal_%d_7 : 1;\n", id, n);
      types += line;
    }
  }
  out += comments;
  out += "BA_DEF_ BO_  \"GenMsgCycleTime\" INT 0 65535;\nBA_DEF_DEF_  \"GenMsgCycleTime\" 0;\n";
  out += attributes;
  out += values;
  out += types;
  return out;
}

struct DbcFile {
  testsupport::TempDir dir;
  std::string path = dir.File("bench.dbc");
  size_t bytes = 0;
  int messages = MessageCount();
  DbcFile() {
    const std::string text = MakeDbc(messages);
    testsupport::WriteFileBytes(path, text);
    bytes = text.size();
  }
};

DbcFile& File() {
  static DbcFile file;
  return file;
}

void BM_ReadDbcFile(benchmark::State& state) {
  DbcFile& file = File();
  size_t signals = 0;
  for (auto _ : state) {
    pellor::CDbBase db;
    if (!db.ReadDbcFile(file.path)) state.SkipWithError("read failed");
    signals = 0;
    for (const auto& msg : db.Messages()) signals += msg.Signals().Count();
    benchmark::DoNotOptimize(signals);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
  state.counters["messages"] = file.messages;
  state.counters["signals"] = static_cast<double>(signals);
  state.counters["file_MiB"] = static_cast<double>(file.bytes) / (1 << 20);
}
BENCHMARK(BM_ReadDbcFile)->Unit(benchmark::kMillisecond);

// The same file's bytes read from the page cache, for comparison.
void BM_PageCacheRead(benchmark::State& state) {
  DbcFile& file = File();
  std::vector<char> buffer(file.bytes);
  for (auto _ : state) {
    FILE* f = std::fopen(file.path.c_str(), "rb");
    const size_t got = f ? std::fread(buffer.data(), 1, buffer.size(), f) : 0;
    if (f) std::fclose(f);
    if (got != file.bytes) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes));
}
BENCHMARK(BM_PageCacheRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

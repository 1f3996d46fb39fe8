// The MATLAB module's load of a large MAT-file (the loader that ImportFile
// runs: the stand-in's reading, the layout, the conversion into the data
// block), beside the stand-in's reading alone and the page-cache read rate
// of the same file.
//
// Two files of 16 channels, level 5, uncompressed: the channel struct
// (argument 0, each channel a column of doubles in its own blocks) and the
// X/Y layout (argument 1, records of the X value and 15 Y values, the Y
// columns of class single). Both make a data space of 256 MiB by default;
// MDF_BENCH_MIB sets another size.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_file.h"
#include "quenvo/mat_loader.h"
#include "tests/matlab/mat_writer.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kChannels = 16;

size_t ValuesPerChannel() { return testsupport::BenchMiB(256) * (size_t{1} << 20) / 8 / kChannels; }

// A measured signal: a slow wave, quantised, with a little noise.
double Sample(int channel, size_t i) {
  return std::round((std::sin(static_cast<double>(i) * 1e-4 * (channel + 1)) * 1000 + static_cast<double>(i * 7919 % 13)) * 8) / 8;
}

matvar_t* ChannelStruct(size_t n) {
  std::vector<std::string> names;
  for (int c = 0; c < kChannels; ++c) names.push_back(std::string("k").append(std::to_string(c)));
  matvar_t* signale = matwriter::Struct("signale", {1, 1}, names);
  std::vector<double> values(n);
  for (int c = 0; c < kChannels; ++c) {
    for (size_t i = 0; i < n; ++i) values[i] = c == 0 ? static_cast<double>(i) * 0.001 : Sample(c, i);
    matvar_t* channel = matwriter::Struct(nullptr, {1, 1}, {"daten", "beschreibung", "einheit"});
    matwriter::SetField(channel, "daten", 0, matwriter::Doubles(nullptr, n, 1, values));
    matwriter::SetField(channel, "beschreibung", 0, matwriter::Text(nullptr, u"Kanal"));
    matwriter::SetField(channel, "einheit", 0, matwriter::Text(nullptr, u"V"));
    matwriter::SetField(signale, names[static_cast<size_t>(c)].c_str(), 0, channel);
  }
  return signale;
}

matvar_t* XYStruct(size_t n) {
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = static_cast<double>(i) * 0.001;
  matvar_t* xs = matwriter::Struct(nullptr, {1, 1}, {"Name", "Data"});
  matwriter::SetField(xs, "Name", 0, matwriter::Text(nullptr, u"Time"));
  matwriter::SetField(xs, "Data", 0, matwriter::Doubles(nullptr, 1, n, x));
  matvar_t* ys = matwriter::Struct(nullptr, {1, kChannels - 1}, {"Name", "Data", "Unit"});
  std::vector<float> values(n);
  for (int c = 1; c < kChannels; ++c) {
    for (size_t i = 0; i < n; ++i) values[i] = static_cast<float>(Sample(c, i));
    const std::u16string name = u"Model/Part/\"Y" + std::u16string(1, static_cast<char16_t>(u'A' + c)) + u"\"";
    matwriter::SetField(ys, "Name", static_cast<size_t>(c - 1), matwriter::Text(nullptr, name));
    matwriter::SetField(ys, "Data", static_cast<size_t>(c - 1),
                        matwriter::Numbers<float>(nullptr, MAT_C_SINGLE, {1, n}, values));
    matwriter::SetField(ys, "Unit", static_cast<size_t>(c - 1), matwriter::Text(nullptr, u"V"));
  }
  matvar_t* m = matwriter::Struct("meas", {1, 1}, {"X", "Y"});
  matwriter::SetField(m, "X", 0, xs);
  matwriter::SetField(m, "Y", 0, ys);
  return m;
}

const std::string& File(bool xy) {
  static testsupport::TempDir dir;
  static std::string paths[2];
  std::string& path = paths[xy];
  if (!path.empty()) return path;
  path = dir.File(xy ? "xy.mat" : "signale.mat");
  matwriter::MatFileWriter w(path);
  const size_t n = ValuesPerChannel();
  if (!w.Write(xy ? XYStruct(n) : ChannelStruct(n))) std::abort();
  return path;
}

void BM_PageCacheRead(benchmark::State& state) {
  const std::string& path = File(state.range(0) != 0);
  benchsupport::PageCacheRead(state, path, static_cast<uint64_t>(benchsupport::FileSize(path)));
}

// The stand-in's reading of every variable, as the loader's walk starts.
void BM_StandInRead(benchmark::State& state) {
  const std::string& path = File(state.range(0) != 0);
  for (auto _ : state) {
    MATFile* file = matOpen(path.c_str(), "r");
    while (const mxArray* v = matGetNextVariable(file, nullptr)) benchmark::DoNotOptimize(v);
    if (matClose(file) != 0) state.SkipWithError("close failed");
  }
  state.SetBytesProcessed(state.iterations() * benchsupport::FileSize(path));
}

void BM_LoadMatFile(benchmark::State& state) {
  const std::string& path = File(state.range(0) != 0);
  for (auto _ : state) {
    quenvo::ImportedFile data;
    quenvo::ImportComments comments;
    const quenvo::NamingOptions naming{0, 0, 0, '/'};
    if (quenvo::LoadMatFile(path, {data, comments, naming}) != quenvo::LoadStatus::Ok ||
        data.signals.Count() != kChannels) {
      state.SkipWithError("the load failed");
      return;
    }
    benchmark::DoNotOptimize(data.data.data());
  }
  state.SetBytesProcessed(state.iterations() * benchsupport::FileSize(path));
}

BENCHMARK(BM_PageCacheRead)->ArgName("xy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StandInRead)->ArgName("xy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadMatFile)->ArgName("xy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Reading a large MAT-file through the MATLAB stand-in (layout check, matio's
// reading, the arrays' views and data pointers) against matio's own reading
// of the same file and the page-cache read rate of the file.
//
// The file holds a struct "signale" of 16 channels, each with "daten" (a
// column of doubles), "beschreibung" and "einheit": 256 MiB of values by
// default, MAT_BENCH_MIB sets another size. Level 5, uncompressed (argument
// 0) and compressed (argument 1).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_file.h"
#include "platform/matlab/mat.h"
#include "tests/matlab/mat_writer.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kChannels = 16;

size_t ValuesPerChannel() {
  size_t mib = 256;
  if (const char* env = std::getenv("MAT_BENCH_MIB")) mib = std::max(1L, std::atol(env));
  return mib * (1u << 20) / 8 / kChannels;
}

const std::string& File(bool compressed) {
  static testsupport::TempDir dir;
  static std::string paths[2];
  std::string& path = paths[compressed];
  if (!path.empty()) return path;
  path = dir.Path();
  path += compressed ? "/compressed.mat" : "/plain.mat";
  matwriter::MatFileWriter w(path, MAT_FT_MAT5, compressed ? MAT_COMPRESSION_ZLIB : MAT_COMPRESSION_NONE);
  std::vector<std::string> names;
  for (int c = 0; c < kChannels; ++c) names.push_back(std::string("k").append(std::to_string(c)));
  matvar_t* signale = matwriter::Struct("signale", {1, 1}, names);
  const size_t n = ValuesPerChannel();
  std::vector<double> values(n);
  for (int c = 0; c < kChannels; ++c) {
    // A measured signal: a slow wave, quantised, with a little noise.
    for (size_t i = 0; i < n; ++i)
      values[i] = std::round((std::sin(i * 1e-4 * (c + 1)) * 1000 + (i * 7919 % 13)) * 8) / 8;
    matvar_t* channel = matwriter::Struct(nullptr, {1, 1}, {"daten", "beschreibung", "einheit"});
    matwriter::SetField(channel, "daten", 0, matwriter::Doubles(nullptr, n, 1, values));
    matwriter::SetField(channel, "beschreibung", 0, matwriter::Text(nullptr, u"Kanal"));
    matwriter::SetField(channel, "einheit", 0, matwriter::Text(nullptr, u"V"));
    matwriter::SetField(signale, names[c].c_str(), 0, channel);
  }
  if (!w.Write(signale)) std::abort();
  return path;
}

void BM_PageCacheRead(benchmark::State& state) {
  const std::string& path = File(state.range(0) != 0);
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    const int fd = open(path.c_str(), O_RDONLY);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
  }
  state.SetBytesProcessed(state.iterations() * benchsupport::FileSize(path));
}

void BM_MatioRead(benchmark::State& state) {
  const std::string& path = File(state.range(0) != 0);
  for (auto _ : state) {
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    while (matvar_t* var = Mat_VarReadNext(mat)) Mat_VarFree(var);
    Mat_Close(mat);
  }
  state.SetBytesProcessed(state.iterations() * benchsupport::FileSize(path));
}

void BM_StandInRead(benchmark::State& state) {
  const std::string& path = File(state.range(0) != 0);
  for (auto _ : state) {
    MATFile* file = matOpen(path.c_str(), "r");
    double sum = 0;
    while (const mxArray* signale = matGetNextVariable(file, nullptr)) {
      for (int c = 0; c < mxGetNumberOfFields(signale); ++c) {
        const mxArray* channel = mxGetFieldByNumber(signale, 0, c);
        const mxArray* daten = mxGetFieldByNumber(channel, 0, mxGetFieldNumber(channel, "daten"));
        const auto* values = static_cast<const double*>(mxGetData(daten));
        sum += values[mxGetM(daten) * mxGetN(daten) - 1];
      }
    }
    benchmark::DoNotOptimize(sum);
    if (matClose(file) != 0) state.SkipWithError("close failed");
  }
  state.SetBytesProcessed(state.iterations() * benchsupport::FileSize(path));
}

BENCHMARK(BM_PageCacheRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatioRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StandInRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

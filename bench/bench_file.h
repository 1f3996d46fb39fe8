// A benchmark's input file, written once into a temporary folder of its own,
// its size, and the rate at which the page cache serves it, measured beside
// a reader's own figures.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"

namespace benchsupport {

struct BenchFile {
  BenchFile(const std::string& name, const std::string& contents) : path(dir.File(name)), bytes(contents.size()) {
    testsupport::WriteFileBytes(path, contents);
  }

  testsupport::TempDir dir;
  std::string path;
  uint64_t bytes = 0;
};

// The file's size in bytes; -1 when it cannot be opened.
inline int64_t FileSize(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  const off_t size = lseek(fd, 0, SEEK_END);
  close(fd);
  return size;
}

// Reads the whole file of `bytes` bytes through the page cache at every iteration.
inline void PageCacheRead(benchmark::State& state, const std::string& path, uint64_t bytes) {
  for (auto _ : state) benchmark::DoNotOptimize(testsupport::ReadThroughPageCache(path));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

}  // namespace benchsupport

// The rate a file is read at from the page cache, for benchmarks to report
// beside their own figures.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// Reads the whole file in 1 MiB pieces; returns the bytes read.
uint64_t ReadThroughPageCache(const std::string& path);
// Bytes this process has read from files so far (rchar of /proc/self/io; 0 where there is none).
uint64_t ProcessBytesRead();
// Megabytes of the benchmark size from MDF_BENCH_MIB, else `fallback`.
uint64_t BenchMiB(uint64_t fallback);

}  // namespace testsupport

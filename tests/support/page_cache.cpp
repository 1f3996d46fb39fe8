#include "tests/support/page_cache.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

uint64_t ReadThroughPageCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  std::vector<char> buffer(1 << 20);
  uint64_t total = 0;
  for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<uint64_t>(n);
  close(fd);
  return total;
}

uint64_t ProcessBytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

uint64_t BenchMiB(uint64_t fallback) {
  if (const char* env = std::getenv("MDF_BENCH_MIB")) {
    const long mib = std::atol(env);
    if (mib > 0) return static_cast<uint64_t>(mib);
  }
  return fallback;
}

}  // namespace testsupport

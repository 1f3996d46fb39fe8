// Importing a sorted MDF file through the Dravo module as the host does, and
// streaming its data space back.
//
// The file is generated streamed to disk: 4 groups of 16 channels in 64-byte
// records (bench_files.h), 1 GiB of records by default; MDF_BENCH_MIB sets
// another size in MiB. The module is registered in a registry of the run's own
// and driven through the host library by ProgID, boxes answered headless. A
// child process, whose peak RSS is reported, reads the file from the page
// cache (the reference rate), imports it (ImportFile) three times, the best
// time counting, and streams the whole data space with Read in 64 KiB pieces. Rates are MB/s of record data
// (1 MB = 10^6 bytes); the stream's rate also of the bytes it delivers.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "host/session.h"
#include "platform/ui/headless.h"
#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// CPU seconds of the process so far: the machine may be shared.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr uint32_t kPiece = 64 * 1024;
constexpr int kImports = 3;

int Measure(const std::string& path, uint64_t recordBytes, uint64_t fileBytes) {
  const double mb = static_cast<double>(recordBytes) / 1e6;
  testsupport::ReadThroughPageCache(path);  // warm
  auto t = Clock::now();
  if (testsupport::ReadThroughPageCache(path) != fileBytes) return 1;
  const double read = Seconds(t);

  // The best of three imports: the machine's cores are shared.
  double import = 0, importCpu = 0;
  std::unique_ptr<host::Session> kept;
  for (int run = 0; run < kImports; ++run) {
    kept.reset();
    auto session = std::make_unique<host::Session>("Dravo.ZPFileImport");
    t = Clock::now();
    const double cpu = CpuSeconds();
    session->Import(path, "");
    const double wall = Seconds(t), used = CpuSeconds() - cpu;
    if (run == 0 || wall < import) import = wall;
    if (run == 0 || used < importCpu) importCpu = used;
    kept = std::move(session);
  }
  host::Session& session = *kept;

  const uint32_t dataSize = session.DataSize();
  std::vector<uint8_t> buffer(kPiece);
  uint8_t* pointer = buffer.data();
  uint64_t checksum = 0;
  t = Clock::now();
  {
    host::Session::ReadScope open(session);
    session.File().Call("Seek", {int64_t{0}, int64_t{0}});
    for (uint64_t done = 0; done < dataSize; done += kPiece) {
      session.File().Call("Read", {host::BufferRef{&pointer}, int64_t{kPiece}});
      checksum += buffer[0];
    }
  }
  const double stream = Seconds(t);

  std::printf("  page-cache read      %8.0f MB/s\n", static_cast<double>(fileBytes) / 1e6 / read);
  std::printf("  import               %8.0f MB/s of records (%.2f s, %u signals); %.0f MB/s of CPU time\n", mb / import,
              import, static_cast<unsigned>(session.Signals().size()), mb / importCpu);
  std::printf("  stream (64 KiB Read) %8.0f MB/s of records, %8.0f MB/s of the %u-byte data space\n", mb / stream,
              dataSize / 1e6 / stream, dataSize);
  std::printf("  import / page cache  %8.2f\n", read / import);
  std::printf("  (checksum %llu)\n", static_cast<unsigned long long>(checksum));
  return 0;
}

}  // namespace

int main() {
  winport::ui::Headless().SetFailureHandler(
      [](const std::string& box) { std::fprintf(stderr, "box: %s\n", box.c_str()); });
  testsupport::TempDir dir;
  setenv("WINPORT_REGISTRY", dir.File("registry").c_str(), 1);
  host::RegisterModule(DRAVO_MODULE, false);

  const uint64_t mib = testsupport::BenchMiB(1024);
  const size_t records = static_cast<size_t>((mib << 20) / 4 / benchfiles::kRecord16);
  const std::string path = dir.File("sorted.mdf");
  std::vector<benchfiles::StreamedGroup> groups;
  for (int g = 0; g < 4; ++g) {
    auto random = std::make_shared<benchfiles::XorShift>();
    random->x += static_cast<uint32_t>(g);
    groups.push_back({benchfiles::Group16(), records,
                      [random](uint8_t* record, size_t r) { benchfiles::FillRecord16(record, r, *random); }});
  }
  if (!benchfiles::WriteFile(path, "BENCH", std::move(groups))) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  const uint64_t recordBytes = uint64_t{4} * records * benchfiles::kRecord16;
  const uint64_t fileBytes = testsupport::ReadThroughPageCache(path);
  std::printf("4 groups x 16 channels, %zu records of 64 bytes each, %llu bytes of records, file %llu bytes:\n",
              records, static_cast<unsigned long long>(recordBytes), static_cast<unsigned long long>(fileBytes));
  std::fflush(stdout);

  const pid_t child = fork();
  if (child == 0) {
    int result = 2;
    try {
      result = Measure(path, recordBytes, fileBytes);
    } catch (...) {
      std::fprintf(stderr, "the import or the stream failed\n");
    }
    std::fflush(stdout);
    _exit(result);
  }
  int status = 0;
  rusage usage{};
  const bool ok =
      child > 0 && ::wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::printf("  peak RSS             %8ld KiB\n", usage.ru_maxrss);
  return ok ? 0 : 1;
}

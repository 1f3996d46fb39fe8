// Sorting an unsorted file with Dravo's MDF library, against a plain copy of
// the same file.
//
// The file is generated streamed to disk: one DG, 4 CGs with record ids and
// record sizes 16, 24, 40 and 64, their records interleaved in a seeded
// irregular order. It takes 1 GiB by default; MDF_BENCH_MIB sets another size
// in MiB. Each size runs in a child process of its own, whose peak RSS is
// reported; a run at 64 MiB comes first for comparison. With the page cache
// warm and after one untimed copy, a child reads the file (the page-cache
// read rate), copies it in 1 MiB blocks and fsyncs the copy, then sorts it
// (MdfSortFile), fsyncs the sorted copy and verifies it (VerifySortedCopy). Rates are MB/s of the source file
// (1 MB = 10^6 bytes).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dravo/mdflib.h"
#include "dravo/replace.h"
#include "platform/ui/headless.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unsorted_mdf.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Reads the whole file in 1 MiB blocks; with `out`, writes each block there.
bool Stream(const std::string& from, int out) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::vector<char> block(size_t{1} << 20);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, block.data(), block.size());
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (out >= 0 && ::write(out, block.data(), static_cast<size_t>(n)) != n) {
      ok = false;
      break;
    }
  }
  ::close(in);
  return ok;
}

// Copies the file in 1 MiB blocks and fsyncs the copy; `written` receives
// the time when the last block was written.
bool CopyTo(const std::string& from, const std::string& to, Clock::time_point* written = nullptr) {
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = out >= 0 && Stream(from, out);
  if (written) *written = Clock::now();
  ok = ok && ::fsync(out) == 0;
  if (out >= 0) ::close(out);
  return ok;
}

bool Fsync(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  const bool ok = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

// The measurements of one file, printed as one block of lines; 0 when all ran.
int Measure(const std::string& dir, const std::string& source, uint64_t bytes) {
  const double mb = bytes / 1e6;
  const std::string copy = dir + "/copy.mdf", sorted = dir + "/sorted.mdf";
  // Warms the page cache, puts the generated file on disk and copies it once
  // untimed: the first writes after a sync run slower than later ones.
  if (!Stream(source, -1) || !Fsync(source) || !CopyTo(source, copy) || ::unlink(copy.c_str()) != 0) return 1;

  auto t = Clock::now();
  if (!Stream(source, -1)) return 1;
  const double read = Seconds(t);

  t = Clock::now();
  Clock::time_point written;
  if (!CopyTo(source, copy, &written)) return 1;
  const double copyAll = Seconds(t);
  const double copyWrite = std::chrono::duration<double>(written - t).count();
  ::unlink(copy.c_str());

  dravo::MdfInitLibrary("Bench");
  t = Clock::now();
  if (dravo::MdfSortFile(source, sorted) != dravo::kMdfOk) return 2;
  const double sort = Seconds(t);
  t = Clock::now();
  if (!Fsync(sorted)) return 3;
  const double sync = Seconds(t);
  t = Clock::now();
  if (dravo::VerifySortedCopy(source, sorted) != dravo::kMdfOk) return 4;
  const double verify = Seconds(t);
  dravo::MdfExitLibrary();
  ::unlink(sorted.c_str());

  std::printf("  page-cache read      %8.0f MB/s\n", mb / read);
  std::printf("  copy (1 MiB blocks)  %8.0f MB/s before fsync, %8.0f MB/s with fsync\n", mb / copyWrite, mb / copyAll);
  std::printf("  sort before fsync    %8.0f MB/s\n", mb / sort);
  std::printf("  fsync of the sorted  %8.0f MB/s\n", mb / sync);
  std::printf("  verification         %8.0f MB/s\n", mb / verify);
  std::printf("  sort / copy          %8.2f (copy with fsync), %.2f (copy before fsync)\n", copyAll / sort,
              copyWrite / sort);
  return 0;
}

}  // namespace

int main() {
  winport::ui::Headless().SetFailureHandler([](const std::string& box) { std::fprintf(stderr, "box: %s\n", box.c_str()); });
  uint64_t mib = 1024;
  if (const char* env = std::getenv("MDF_BENCH_MIB")) mib = std::max(1L, std::atol(env));
  testsupport::TempDir dir;
  int failures = 0;
  for (uint64_t size : {uint64_t{64}, mib}) {
    const std::string source = dir.File("unsorted.mdf");
    testsupport::StreamedUnsorted file;
    if (!testsupport::WriteUnsortedStream(source, size << 20, 20240611, &file)) {
      std::fprintf(stderr, "cannot write %s\n", source.c_str());
      return 1;
    }
    std::printf("%llu MiB target, file of %llu bytes, records %u/%u/%u/%u:\n", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(file.fileBytes), file.records[0], file.records[1], file.records[2],
                file.records[3]);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      const int result = Measure(dir.Path(), source, file.fileBytes);
      std::fflush(stdout);
      _exit(result);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "  run failed (status %d)\n", status);
      ++failures;
    }
    std::printf("  peak RSS             %8ld KiB\n", usage.ru_maxrss);
    ::unlink(source.c_str());
    if (size == mib) break;
  }
  return failures;
}

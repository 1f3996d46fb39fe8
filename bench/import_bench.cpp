// The MDF import end to end, as the host stand-in drives the built module:
// the 1 GiB file of the loader benchmark (4 groups of 16 channels in 64-byte
// records; MDF_BENCH_MIB sets another size) is imported by ProgID with
// MDF_WRITERANGE 1, every signal is streamed by Read in 64 KiB requests, the
// file is released and imported again. Per phase the program prints the rate
// in MB/s of file bytes, the bytes read from files (rchar of /proc/self/io)
// and the peak resident memory; beside them the page-cache read rate of the
// same file. It runs once with the default memory limit of the value caches
// and once with one that holds every cache.
//
//   bench_import [path of libPellor.so]   (default: ../pellor/libPellor.so beside this program)
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "host/failure.h"
#include "host/object.h"
#include "host/session.h"
#include "host/value.h"
#include "platform/win32/registry.h"
#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"

namespace {

using benchfiles::Clock;
using benchfiles::Seconds;

struct Phase {
  double seconds = 0;
  uint64_t read = 0;
  double peakMiB = 0;
};

template <typename Work>
Phase Measure(Work&& work) {
  benchfiles::ResetPeakRss();
  const uint64_t before = testsupport::ProcessBytesRead();
  const auto start = Clock::now();
  work();
  Phase p;
  p.seconds = Seconds(start);
  p.read = testsupport::ProcessBytesRead() - before;
  p.peakMiB = benchfiles::PeakRssMiB();
  return p;
}

void Print(const char* name, const Phase& p, uint64_t fileBytes, double pageCache) {
  const double rate = fileBytes / 1e6 / p.seconds;
  std::printf("  %-34s %7.3f s %7.0f MB/s (%.2f of the page-cache rate), read %8.1f MiB, peak RSS %6.0f MiB\n", name,
              p.seconds, rate, rate / pageCache, p.read / 1048576.0, p.peakMiB);
}

// Every signal's bytes in the data space, read in requests of 64 KiB; the bytes delivered.
uint64_t StreamEverySignal(host::Session& session) {
  constexpr uint64_t kRequest = 64 << 10;
  std::vector<uint8_t> buffer(kRequest);
  uint64_t delivered = 0;
  host::Session::ReadScope open(session);
  host::Object& file = session.File();
  for (const host::PropertyList& s : session.Signals()) {
    const uint64_t start = static_cast<uint64_t>(host::NumberOf(s, "Block0")) * 1024;
    const uint64_t bytes = static_cast<uint64_t>(host::NumberOf(s, "NoOfValues")) *
                           static_cast<uint64_t>(host::NumberOf(s, "Demux"));
    for (uint64_t at = 0; at < bytes; at += kRequest) {
      const uint64_t n = std::min(kRequest, bytes - at);
      uint8_t* pointer = buffer.data();
      file.Call("Seek", {static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(start + at))), int64_t{0}});
      file.Call("Read", {host::BufferRef{&pointer}, static_cast<int64_t>(n)});
      delivered += n;
    }
  }
  return delivered;
}

void Run(const std::string& path, const std::string& memoryLimit, uint64_t fileBytes, double pageCache) {
  std::printf(" MDF_MEMORYLIMIT %s:\n", memoryLimit.empty() ? "default" : memoryLimit.c_str());
  host::ImportOptions options;
  options.user = "ZSP";
  options.variables = {{"MDF_WRITERANGE", "1"}};
  if (!memoryLimit.empty()) options.variables.push_back({"MDF_MEMORYLIMIT", memoryLimit});
  std::vector<host::PropertyList> first, second;
  {
    host::Session session("Pellor.ZPFileImport");
    session.Configure(options);
    Print("import (records read, ranges written)", Measure([&] { session.Import(path, "ZSP"); }), fileBytes,
          pageCache);
    first = session.Signals();
    uint64_t delivered = 0;
    const Phase stream = Measure([&] { delivered = StreamEverySignal(session); });
    Print("stream every signal (Read, 64 KiB)", stream, fileBytes, pageCache);
    std::printf("  %-34s %.0f MiB delivered, %.0f MB/s of values\n", "", delivered / 1048576.0,
                delivered / 1e6 / stream.seconds);
  }  // ReleaseFile
  {
    host::Session session("Pellor.ZPFileImport");
    session.Configure(options);
    Print("import again (settled by the file)", Measure([&] { session.Import(path, "ZSP"); }), fileBytes, pageCache);
    second = session.Signals();
  }
  std::printf("  the second import lists %s signals as the first\n", first == second ? "the same" : "OTHER");
}

std::string ModulePath(int argc, char** argv) {
  if (argc > 1) return argv[1];
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "pellor" / "libPellor.so").string();
}

}  // namespace

int main(int argc, char** argv) {
  const size_t bytes = benchfiles::MiB(1024) << 20;
  testsupport::TempDir dir;
  winport::SetRegistryPath(dir.File("registry"));
  try {
    host::RegisterModule(ModulePath(argc, argv), false);
  } catch (const host::Failure& f) {
    return std::fprintf(stderr, "cannot register the module: %s\n", f.what()), 1;
  }
  const std::string generated = dir.File("groups16.mdf");
  if (!benchfiles::WriteGroups16File(generated, bytes)) return std::fprintf(stderr, "cannot write\n"), 1;
  uint64_t fileBytes = 0;
  benchfiles::PageCacheRate(generated, fileBytes);  // warms the page cache
  const double pageCache = benchfiles::PageCacheRate(generated, fileBytes);
  std::printf("4 groups x 16 channels, 64-byte records: %.0f MiB in the file, page-cache read %.0f MB/s (16 MiB reads)\n",
              fileBytes / 1048576.0, pageCache);
  // A copy per run: the first import writes ranges and time information into it.
  for (const std::string limit : {"", "2000"}) {
    const std::string copy = dir.File("copy.mdf");
    std::filesystem::copy_file(generated, copy, std::filesystem::copy_options::overwrite_existing);
    benchfiles::PageCacheRate(copy, fileBytes);
    try {
      Run(copy, limit, fileBytes, pageCache);
    } catch (const host::Failure& f) {
      return std::fprintf(stderr, "%s\n", f.what()), 1;
    }
    std::filesystem::remove(copy);
  }
  return 0;
}

// Loading generated MDF files group by group with the data-group loader, as
// an import does: write-back off, the page cache warm. Two files of 1 GiB of
// records each (MDF_BENCH_MIB sets another size in MiB):
//   - 4 groups of 16 channels in 64-byte records (the layout of decode_bench);
//   - 1 group of 200 narrow channels in 432-byte records.
// Each is loaded twice: settling ranges only, and also filling the value
// caches of every data signal that the default memory limit allows. The same
// run reads the file in 16 MiB pieces from the page cache; the program prints
// both rates, their ratio, the processor time of each of the loader's threads
// and the peak resident memory of each load.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "mdf/blocks.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "pellor/file_import.h"
#include "pellor/host_type.h"
#include "pellor/loader.h"
#include "pellor/options.h"
#include "platform/win32/file.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Resets the peak resident memory (Linux), so that each load's own peak shows.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Peak resident memory since the last reset, MiB.
double PeakRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

// Reads the whole file in 16 MiB pieces; MB/s, best of three.
double PageCacheRate(const std::string& path, uint64_t& bytes) {
  std::vector<uint8_t> buffer(16u << 20);
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    winport::File file;
    if (!file.Open(path, winport::FileAccess::Read, winport::FileShare::Read)) return 0;
    const auto start = Clock::now();
    bytes = 0;
    for (size_t got; (got = file.Read(buffer.data(), buffer.size())) > 0;) bytes += got;
    best = std::max(best, bytes / 1e6 / Seconds(start));
  }
  return best;
}

struct LoadFigures {
  double seconds = 0, recordBytes = 0, readCpu = 0, processCpu = 0, callerCpu = 0, peakMiB = 0;
  uint64_t cachedBytes = 0;
  int groups = 0;
};

// Loads every group of the file; with `caches`, the data signals' value caches too.
LoadFigures Load(const std::string& path, bool caches) {
  LoadFigures out;
  ResetPeakRss();
  const auto start = Clock::now();
  pellor::FileImport import;
  import.m_params.SetMemoryLimit(static_cast<uint32_t>(pellor::kMemoryLimitUnit * pellor::kDefaultMemoryLimitUnits));
  import.m_params.SetDouble(pellor::ParameterBlock::kXMaxFactor, 1.01);
  import.m_params.SetDouble(pellor::ParameterBlock::kXMinFactor, 0.99);
  mdf::CMdf file;
  file.SetShowMessages(false);
  if (!file.Open(path)) return out;
  winport::File stream;
  if (!stream.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite)) return out;
  pellor::DataGroupLoader loader(import, file, stream);
  std::vector<std::unique_ptr<pellor::SignalRecord>> signals;
  for (mdf::CDGBlock* dg = file.GetFirstDG(); dg; dg = dg->GetNext()) {
    mdf::CCGBlock* cg = dg->GetFirstCG();
    pellor::SignalRecord time;
    time.NoOfValues = cg->GetNumberOfRecords();
    std::vector<pellor::SignalRecord*> data;
    if (caches)
      for (mdf::CCNBlock* cn = cg->GetFirstCN()->GetNext(); cn; cn = cn->GetNext()) {
        auto r = std::make_unique<pellor::SignalRecord>();
        const pellor::HostType t = pellor::SelectHostType(*cn, false);
        r->channel = cn;
        r->channelGroup = cg;
        r->dataGroup = dg;
        r->DTyp = t.DTyp;
        r->Demux = t.bytes;
        r->typeFlags = t.converted ? pellor::kConvertedToDouble : 0;
        r->NoOfValues = cg->GetNumberOfRecords();
        data.push_back(r.get());
        signals.push_back(std::move(r));
      }
    mdf::TimeInfoRecord record;
    int32_t errors = 0;
    uint32_t first = 0;
    loader.ReadDataGroup(*dg, time, out.groups + 1, record, nullptr, errors, first, data);
    import.FreeCache(time);  // as the driver does for a time channel without errors
    const pellor::LoadReport& report = loader.LastReport();
    out.recordBytes += static_cast<double>(report.records) * dg->GetDataBlock()->GetRecordLength();
    out.readCpu += report.readSeconds;
    out.processCpu += report.processSeconds;
    out.callerCpu += report.callerSeconds;
    ++out.groups;
  }
  out.seconds = Seconds(start);
  out.cachedBytes = import.m_cachedBytes;
  out.peakMiB = PeakRssMiB();
  return out;
}

void Report(const char* name, const std::string& path) {
  uint64_t fileBytes = 0;
  PageCacheRate(path, fileBytes);  // warms the page cache
  const double pageCache = PageCacheRate(path, fileBytes);
  std::printf("%s: %.0f MiB in the file, page-cache read %.0f MB/s (16 MiB reads)\n", name, fileBytes / 1048576.0,
              pageCache);
  for (const bool caches : {false, true}) {
    LoadFigures best;
    for (int round = 0; round < 2; ++round) {
      const LoadFigures f = Load(path, caches);
      if (best.seconds == 0 || f.seconds < best.seconds) best = f;
    }
    const double rate = best.recordBytes / 1e6 / best.seconds;
    std::printf(
        "  load %-26s %6.0f MB/s (%.2f of the page-cache rate), %.3f s for %d groups; busy: read %.3f s, "
        "process %.3f s, caller %.3f s; peak RSS %.0f MiB, caches %.0f MiB\n",
        caches ? "with value caches:" : "ranges only:", rate, rate / pageCache, best.seconds, best.groups,
        best.readCpu, best.processCpu, best.callerCpu, best.peakMiB, best.cachedBytes / 1048576.0);
  }
}

}  // namespace

int main() {
  const size_t bytes = benchfiles::MiB(1024) << 20;
  testsupport::TempDir dir;

  const std::string narrow = dir.File("groups16.mdf");
  {
    std::vector<benchfiles::StreamedGroup> groups;
    for (int g = 0; g < 4; ++g) {
      auto random = std::make_shared<benchfiles::XorShift>();
      random->x += static_cast<uint32_t>(g);
      groups.push_back({benchfiles::Group16(), bytes / 4 / benchfiles::kRecord16,
                        [random](uint8_t* record, size_t r) { benchfiles::FillRecord16(record, r, *random); }});
    }
    if (!benchfiles::WriteFile(narrow, "LDBENCH", std::move(groups))) return std::fprintf(stderr, "cannot write\n"), 1;
  }
  Report("4 groups x 16 channels, 64-byte records", narrow);
  std::remove(narrow.c_str());

  const std::string wide = dir.File("group200.mdf");
  {
    auto random = std::make_shared<benchfiles::XorShift>();
    std::vector<benchfiles::StreamedGroup> groups;
    groups.push_back({benchfiles::Group200(), bytes / benchfiles::kRecord200,
                      [random](uint8_t* record, size_t r) { benchfiles::FillRecord200(record, r, *random); }});
    if (!benchfiles::WriteFile(wide, "LDBENCH", std::move(groups))) return std::fprintf(stderr, "cannot write\n"), 1;
  }
  Report("1 group x 200 channels, 432-byte records", wide);
  return 0;
}

// The information dialog showing "Data" of a large group: 10,000,000 records
// of 500 channels (a double time channel and 499 one-bit channels, 71-byte
// records, 710 MB). What it costs must depend on the cells in view, not on the
// records: showing the grid, one screen of cells, and screens far apart
// (each a fresh part of the file). MDF_BENCH_MIB sets another size of records
// in MiB. The page cache's read rate of the same file is measured alongside.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <memory>
#include <random>
#include <vector>

#include "mdf/mdf.h"
#include "pellor/dialogs/file_info.h"
#include "platform/ui/headless.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace testsupport;

constexpr uint32_t kChannels = 500;
constexpr uint32_t kRecordSize = 8 + (kChannels - 1 + 7) / 8;  // 71 bytes
constexpr int kScreenRows = 40;

uint32_t RecordCount() {
  uint64_t records = 10'000'000;
  if (const char* env = std::getenv("MDF_BENCH_MIB"))
    records = std::max<uint64_t>(1, uint64_t(std::max(1L, std::atol(env))) * (1u << 20) / kRecordSize);
  return static_cast<uint32_t>(records);
}

// The file: the blocks from the fixture writer, then the records written in large blocks.
struct BigFile {
  BigFile() {
    FileDef def;
    def.id.programId = "INFOBNCH";
    GroupDef g;
    g.records = 1;
    ChannelDef time;
    time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble};
    time.value = [](uint32_t) { return 0.0; };
    g.channels.push_back(time);
    for (uint32_t c = 1; c < kChannels; ++c) {
      ChannelDef bit;
      std::string name = "b";  // (GCC 12 warns falsely about "b" + std::to_string(c))
      name += std::to_string(c);
      bit.cn = CnSpec{.name = name, .bits = 1, .dataType = dt::kUInt};
      bit.value = [](uint32_t) { return 0.0; };
      g.channels.push_back(bit);
    }
    def.groups.push_back(g);
    BuiltFile f = BuildFile(def);
    f.writer.PatchU32(f.groups[0].cg + cg::kRecordCount, records);
    // The fixture's one record is the last thing in the file: the others follow it.
    f.writer.Truncate(f.groups[0].data);
    f.writer.Save(path);
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    std::vector<uint8_t> block(size_t{kRecordSize} * 65536);
    std::mt19937 random(7);
    for (uint32_t done = 0; done < records;) {
      const uint32_t n = std::min<uint32_t>(65536, records - done);
      for (uint32_t r = 0; r < n; ++r) {
        uint8_t* rec = block.data() + size_t{r} * kRecordSize;
        const double t = (done + r) * 1e-3;
        std::memcpy(rec, &t, 8);
        for (uint32_t b = 8; b < kRecordSize; ++b) rec[b] = static_cast<uint8_t>(random());
      }
      const size_t bytes = size_t{n} * kRecordSize;
      if (write(fd, block.data(), bytes) != static_cast<ssize_t>(bytes)) std::abort();
      done += n;
    }
    close(fd);
    file.SetShowMessages(false);
    if (!file.Open(path)) std::abort();
  }

  TempDir dir;
  std::string path = dir.File("big.mdf");
  uint32_t records = RecordCount();
  mdf::CMdf file;
};

BigFile& File() {
  static BigFile* f = new BigFile;
  return *f;
}

// The dialog on screen (a modeless window here) with the group's "Data" item found.
struct Shown {
  Shown() {
    dialog.SetFile(&File().file);
    if (!dialog.Create()) std::abort();
    CTreeCtrl& tree = dialog.GetTree();
    HTREEITEM group = tree.GetChildItem(tree.GetRootItem());
    while (group && tree.GetItemText(group) != "Data group 1") group = tree.GetNextSiblingItem(group);
    for (HTREEITEM h = tree.GetChildItem(group); h; h = tree.GetNextSiblingItem(h)) data = h;
    header = tree.GetChildItem(tree.GetRootItem());
  }
  ~Shown() { dialog.DestroyWindow(); }
  void Screen(int top) {
    for (int r = top; r < top + kScreenRows; ++r)
      for (uint32_t c = 0; c <= kChannels; ++c)
        benchmark::DoNotOptimize(dialog.GetList().GetItemText(r, static_cast<int>(c)));
  }
  CFileInfo dialog;
  HTREEITEM data = nullptr, header = nullptr;
};

void BM_ShowData(benchmark::State& state) {
  Shown s;
  for (auto _ : state) {
    s.dialog.GetTree().SelectItem(s.data);
    s.dialog.GetTree().SelectItem(s.header);
  }
  state.counters["records"] = File().records;
}
BENCHMARK(BM_ShowData)->Unit(benchmark::kMicrosecond);

// One screen of cells (40 rows x 501 columns) made anew each time: a fresh place in the file.
void BM_FreshScreen(benchmark::State& state) {
  Shown s;
  s.dialog.GetTree().SelectItem(s.data);
  std::mt19937 random(3);
  int64_t cells = 0;
  for (auto _ : state) {
    s.Screen(static_cast<int>(random() % (File().records - kScreenRows)));
    cells += int64_t{kScreenRows} * (kChannels + 1);
  }
  state.SetItemsProcessed(cells);
  state.counters["cache_cells"] = static_cast<double>(s.dialog.GetCellCache().CellCapacity());
  state.counters["cache_rows_held"] = static_cast<double>(s.dialog.GetCellCache().RowsHeld());
}
BENCHMARK(BM_FreshScreen)->Unit(benchmark::kMillisecond);

// The same screen again: every cell comes from the cache.
void BM_CachedScreen(benchmark::State& state) {
  Shown s;
  s.dialog.GetTree().SelectItem(s.data);
  s.Screen(1000);
  for (auto _ : state) s.Screen(1000);
  state.SetItemsProcessed(int64_t(state.iterations()) * kScreenRows * (kChannels + 1));
}
BENCHMARK(BM_CachedScreen)->Unit(benchmark::kMillisecond);

// The page cache's read rate of the same file, for comparison.
void BM_PageCacheRead(benchmark::State& state) {
  std::vector<char> buffer(8u << 20);
  int64_t bytes = 0;
  for (auto _ : state) {
    const int fd = open(File().path.c_str(), O_RDONLY);
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) bytes += n;
    close(fd);
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_PageCacheRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Checking a sorted copy against its source before it may replace it.
#include <cstring>
#include <new>
#include <span>

#include "dravo/internal.h"
#include "dravo/library.h"
#include "dravo/mdflib.h"
#include "dravo/replace.h"
#include "dravo/sort.h"

namespace dravo {

namespace {

// Windows into the copy's areas of one data group, together.
constexpr uint64_t kVerifyBudget = uint64_t{4} << 20;
// Records of groups without a window are read one by one into this.
constexpr size_t kScratch = size_t{1} << 16;

// Any difference between copy and source.
MdfStatus Mismatch() { return MdfReportError(kMdfErrWrite); }

// Compares the record bytes of each channel group with its area in the copy,
// read through a window of its own.
class AreaComparer {
 public:
  AreaComparer(MdfFileHandle& copy, std::span<const size_t> windows, std::span<const uint64_t> areas,
               std::span<const uint64_t> bytes)
      : copy_(copy), areas_(windows.size()) {
    for (size_t i = 0; i < areas_.size(); ++i) {
      areas_[i].position = areas[i];
      areas_[i].left = bytes[i];
      areas_[i].window.resize(windows[i]);
    }
  }

  MdfStatus Append(size_t i, const uint8_t* bytes, size_t n) {
    Area& a = areas_[i];
    while (n > 0) {
      if (a.cursor == a.filled) {
        const bool own = !a.window.empty();
        if (!own && scratch_.empty()) scratch_.resize(kScratch);
        const size_t room = own ? a.window.size() : std::min(n, scratch_.size());
        const size_t want = static_cast<size_t>(std::min<uint64_t>(room, a.left));
        if (want == 0) return Mismatch();
        uint8_t* into = own ? a.window.data() : scratch_.data();
        if (MdfStatus s = MdfSeekFile(copy_, static_cast<int64_t>(a.position), kMdfSeekBegin)) return s;
        if (MdfStatus s = MdfReadFileUnbuffered(into, want, copy_)) return s;
        a.data = into;
        a.position += want;
        a.left -= want;
        a.cursor = 0;
        a.filled = want;
      }
      const size_t take = std::min(n, a.filled - a.cursor);
      if (std::memcmp(a.data + a.cursor, bytes, take) != 0) return Mismatch();
      a.cursor += take;
      bytes += take;
      n -= take;
    }
    return kMdfOk;
  }

 private:
  struct Area {
    uint64_t position = 0;  // next byte of the area to read
    uint64_t left = 0;      // bytes of the area not read yet
    std::vector<uint8_t> window;
    const uint8_t* data = nullptr;  // the bytes read last: the window or the scratch
    size_t cursor = 0, filled = 0;
  };

  MdfFileHandle& copy_;
  std::vector<Area> areas_;
  std::vector<uint8_t> scratch_;
};

MdfStatus ChannelCount(MdfBlock& cg, size_t* count) {
  *count = 0;
  return WalkChain(cg, layout::cg::kFirstCn, layout::cn::kNext, [count](MdfBlock&) {
    ++*count;
    return kMdfOk;
  });
}

MdfStatus Verify(const std::string& sourceName, const std::string& copyName) {
  MdfFileRecord* copyFile = nullptr;
  MdfFileRecord* sourceFile = nullptr;
  if (MdfStatus s = MdfOpen(&copyFile, copyName, nullptr, kMdfOpenRead)) return s;
  if (MdfIsUnsorted(copyFile) != kMdfOk) return Mismatch();
  if (MdfStatus s = MdfOpen(&sourceFile, sourceName, nullptr, kMdfOpenRead)) return s;
  MdfFileHandle& copyHandle = *copyFile->handle;
  MdfFileHandle& sourceHandle = *sourceFile->handle;

  SourceLayout source, copy;
  if (MdfStatus s = ReadSourceLayout(*sourceFile->hd, &source)) return s;
  if (MdfStatus s = CheckSourceLayout(source, sourceHandle.OpenedLength())) return s;
  if (MdfStatus s = ReadSourceLayout(*copyFile->hd, &copy)) return s;
  if (MdfStatus s = CheckSourceLayout(copy, copyHandle.OpenedLength())) return s;
  const size_t n = source.groups.size();
  if (copy.groups.size() != n || copy.dataGroups.size() != n) return Mismatch();

  // Copy group j is source group n - 1 - j; its data group holds it alone, without ids.
  std::vector<uint64_t> areas(n);
  for (size_t j = 0; j < n; ++j) {
    const SourceGroup& c = copy.groups[j];
    const SourceGroup& s = source.groups[n - 1 - j];
    size_t copyChannels = 0, sourceChannels = 0;
    if (MdfStatus st = ChannelCount(*c.cg, &copyChannels)) return st;
    if (MdfStatus st = ChannelCount(*s.cg, &sourceChannels)) return st;
    if (copy.dataGroups[j].count != 1 || copy.dataGroups[j].recordIds != 0 || c.recordSize != s.recordSize ||
        c.recordCount != s.recordCount || copyChannels != sourceChannels)
      return Mismatch();
    areas[n - 1 - j] = copy.dataGroups[j].dataLink;
  }

  for (const SourceDataGroup& d : source.dataGroups) {
    const std::vector<size_t> windows = ShareBudget(source, d, kVerifyBudget);
    std::vector<uint64_t> bytes(d.count);
    for (size_t i = 0; i < d.count; ++i) bytes[i] = source.groups[d.first + i].AreaBytes();
    AreaComparer comparer(copyHandle, windows, std::span(areas).subspan(d.first, d.count), bytes);
    if (MdfStatus s = WalkRecords(sourceHandle, source, d, comparer)) return s;
  }
  return kMdfOk;
}

}  // namespace

MdfStatus VerifySortedCopy(const std::string& source, const std::string& copy) {
  return RunEntry(EntryKind::Checked, [&] {
    MdfRetain();
    MdfStatus status = kMdfOk;
    try {
      status = Verify(source, copy);
    } catch (const std::bad_alloc&) {
      status = MdfReportError(kMdfErrOutOfMemory);
    }
    // Releasing the level closes both files.
    MdfRelease();
    if (status == kMdfOk) return kMdfOk;
    // A failure that was reported already is not reported twice.
    return status == kMdfErrWrite ? status : MdfReportError(kMdfErrWrite);
  });
}

}  // namespace dravo

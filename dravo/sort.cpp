// Sorting an unsorted file: every channel group of the source becomes a data
// group of its own in the copy, with its records, ids dropped, in one
// contiguous area.
//
// The copy is laid out as ID, HD, PR and the HD's comment, then the data
// areas in channel-group order, then for each channel group its blocks: TR
// with comment, each channel with its conversion, extension, texts and
// dependency, the CG with its comment, and the DG. Blocks are copied as they
// stand except for their links, which all point into the copy. New DGs chain
// in the reverse order of the channel groups and new CNs in the reverse order
// of each group's channels; record ids become 0.
//
// The whole layout is worked out before anything is written, which lets a
// copy that 32-bit links cannot address be refused first, and lets a
// dependency block name channels that are copied after it. The records are
// then copied in one pass over each data group, through one buffer per
// channel group cut from a budget that each data group gets anew.
#include "dravo/sort.h"

#include <cstring>
#include <new>
#include <span>
#include <unordered_map>

#include "dravo/internal.h"
#include "dravo/library.h"
#include "dravo/mdflib.h"

namespace dravo {

namespace {

// Buffers of the records of one data group, together.
constexpr uint64_t kSortBudget = MdfMemoryBudget() - 4096;
// Blocks are written through a buffer of this size; a larger one (an escaped PR) directly.
constexpr size_t kBlockBuffer = size_t{1} << 20;
constexpr size_t kMaxGroups = 0xFFFF;

// Layout of the blocks the library does not read itself.
namespace cd {
constexpr uint32_t kCount = 6, kEntries = 8, kEntrySize = 12;
constexpr uint32_t kDg = 0, kCg = 4, kCn = 8;
}  // namespace cd
constexpr uint32_t kCnLongName = 218, kCnDisplayName = 222;
constexpr uint32_t kCgSampleReduction = 26;
constexpr uint32_t RangeTextLink(uint32_t i) {
  return layout::cc::kParams + i * layout::cc::kRangeEntrySize + 16;
}

// A field of a copied block that differs from its source: 2 or 4 bytes.
struct Patch {
  uint32_t offset;
  uint32_t value;
  uint8_t bytes = 4;
};

// Places the copy's blocks one after the other from a start position. With
// a file it also writes them, through a buffer; without one it only lays
// them out. Patches of fields that a short block does not hold are skipped.
class BlockWriter {
 public:
  BlockWriter(MdfFileHandle* file, uint64_t start) : file_(file), position_(start), bufferStart_(start) {}

  uint64_t Position() const { return position_; }

  MdfStatus Put(const MdfBlock& block, std::span<const Patch> patches, uint32_t* at) {
    *at = static_cast<uint32_t>(position_);
    const size_t length = block.Size();
    if (file_) {
      if (buffer_.size() + length > kBlockBuffer)
        if (MdfStatus s = Flush()) return s;
      if (length > kBlockBuffer) {
        // Only an escaped PR is this long, and it has no links.
        if (MdfStatus s = MdfSeekFile(*file_, static_cast<int64_t>(position_), kMdfSeekBegin)) return s;
        if (MdfStatus s = MdfWriteFile(block.Data(), length, *file_)) return s;
        bufferStart_ = position_ + length;
      } else {
        const size_t base = buffer_.size();
        buffer_.insert(buffer_.end(), block.Data(), block.Data() + length);
        for (const Patch& p : patches) {
          if (p.offset > length || p.bytes > length - p.offset) continue;
          if (p.bytes == 2) StoreU16(buffer_.data() + base + p.offset, static_cast<uint16_t>(p.value));
          else StoreU32(buffer_.data() + base + p.offset, p.value);
        }
      }
    }
    position_ += length;
    return kMdfOk;
  }
  MdfStatus Put(const MdfBlock& block, std::initializer_list<Patch> patches, uint32_t* at) {
    return Put(block, std::span<const Patch>(patches.begin(), patches.size()), at);
  }

  MdfStatus Flush() {
    if (!file_ || buffer_.empty()) return kMdfOk;
    if (MdfStatus s = MdfSeekFile(*file_, static_cast<int64_t>(bufferStart_), kMdfSeekBegin)) return s;
    if (MdfStatus s = MdfWriteFile(buffer_.data(), buffer_.size(), *file_)) return s;
    bufferStart_ += buffer_.size();
    buffer_.clear();
    return kMdfOk;
  }

 private:
  MdfFileHandle* file_;
  uint64_t position_;
  uint64_t bufferStart_;  // where the buffer's first byte goes
  std::vector<uint8_t> buffer_;
};

// Where the copy of a source channel group and its channels stand.
struct GroupCopy {
  uint64_t area = 0;  // its data area
  uint32_t dg = 0, cg = 0;
};
struct ChannelCopy {
  uint32_t cn = 0;
  size_t group = 0;
};

// The copy's block structure: laid out once, then written with the same
// positions.
class StructureCopy {
 public:
  StructureCopy(MdfFileHandle& source, MdfBlock& id, MdfBlock& hd, const SourceLayout& layout)
      : source_(source), id_(id), hd_(hd), layout_(layout), groups_(layout.groups.size()) {}

  // Works out every position and reads the blocks the structure read left
  // out; -2004 for a copy that would not fit 32-bit positions.
  MdfStatus Plan() {
    if (MdfStatus s = Emit(nullptr)) return s;
    return end_ > kMdfMaxPosition ? MdfReportError(kMdfErrFileFormat) : kMdfOk;
  }
  // Writes the header blocks and the structure behind the data areas.
  MdfStatus Write(MdfFileHandle& file) { return Emit(&file); }
  uint64_t AreaOf(size_t group) const { return groups_[group].area; }

 private:
  MdfStatus Emit(MdfFileHandle* file) {
    layingOut_ = file == nullptr;
    // ID, HD, PR and the HD's comment; the data areas follow them.
    BlockWriter head(file, 0);
    uint32_t at = 0;
    MdfBlock* pr = nullptr;
    MdfBlock* comment = nullptr;
    if (MdfStatus s = Target(hd_, layout::hd::kProgram, &pr)) return s;
    if (MdfStatus s = Target(hd_, layout::hd::kComment, &comment)) return s;
    if (MdfStatus s = head.Put(id_, {}, &at)) return s;
    if (MdfStatus s = head.Put(hd_,
                               {{layout::hd::kFirstDg, lastDg_},
                                {layout::hd::kComment, hdComment_},
                                {layout::hd::kProgram, program_},
                                {layout::hd::kDgCount, static_cast<uint32_t>(layout_.groups.size()), 2}},
                               &at))
      return s;
    if (pr)
      if (MdfStatus s = head.Put(*pr, {}, &program_)) return s;
    if (comment && comment->kind == BlockKind::Tx)
      if (MdfStatus s = head.Put(*comment, {}, &hdComment_)) return s;
    if (MdfStatus s = head.Flush()) return s;

    uint64_t area = head.Position();
    for (size_t g = 0; g < layout_.groups.size(); ++g) {
      groups_[g].area = area;
      area += layout_.groups[g].AreaBytes();
    }
    BlockWriter structure(file, area);
    uint32_t previousDg = 0;
    for (size_t g = 0; g < layout_.groups.size(); ++g)
      if (MdfStatus s = EmitGroup(structure, g, &previousDg)) return s;
    if (MdfStatus s = structure.Flush()) return s;
    lastDg_ = previousDg;
    end_ = structure.Position();
    return kMdfOk;
  }

  // TR, channels, CG and DG of channel group `g`.
  MdfStatus EmitGroup(BlockWriter& w, size_t g, uint32_t* previousDg) {
    const SourceGroup& group = layout_.groups[g];
    uint32_t trigger = 0;
    MdfBlock* tr = nullptr;
    if (MdfStatus s = Target(*group.dg, layout::dg::kTrigger, &tr)) return s;
    if (tr) {
      uint32_t text = 0;
      if (MdfStatus s = Text(w, *tr, layout::tr::kComment, &text)) return s;
      if (MdfStatus s = w.Put(*tr, {{layout::tr::kComment, text}}, &trigger)) return s;
    }
    uint32_t previousCn = 0;
    const MdfStatus walked = WalkChain(*group.cg, layout::cg::kFirstCn, layout::cn::kNext, [&](MdfBlock& cn) {
      return EmitChannel(w, cn, g, &previousCn);
    });
    if (walked) return walked;
    uint32_t text = 0;
    if (MdfStatus s = Text(w, *group.cg, layout::cg::kComment, &text)) return s;
    uint32_t cg = 0, dg = 0;
    if (MdfStatus s = w.Put(*group.cg,
                            {{layout::cg::kNext, 0},
                             {layout::cg::kFirstCn, previousCn},
                             {layout::cg::kComment, text},
                             {layout::cg::kRecordId, 0, 2},
                             {kCgSampleReduction, 0}},
                            &cg))
      return s;
    if (MdfStatus s = w.Put(*group.dg,
                            {{layout::dg::kNext, *previousDg},
                             {layout::dg::kFirstCg, cg},
                             {layout::dg::kTrigger, trigger},
                             {layout::dg::kData, static_cast<uint32_t>(groups_[g].area)},
                             {layout::dg::kCgCount, 1, 2},
                             {layout::dg::kRecordIds, 0, 2}},
                            &dg))
      return s;
    groups_[g].dg = dg;
    groups_[g].cg = cg;
    *previousDg = dg;
    return kMdfOk;
  }

  MdfStatus EmitChannel(BlockWriter& w, MdfBlock& cn, size_t g, uint32_t* previousCn) {
    uint32_t cc = 0, ce = 0, cd = 0, comment = 0, longName = 0, displayName = 0;
    if (MdfStatus s = Conversion(w, cn, &cc)) return s;
    MdfBlock* extension = nullptr;
    if (MdfStatus s = Target(cn, layout::cn::kExtension, &extension)) return s;
    if (extension)
      if (MdfStatus s = w.Put(*extension, {}, &ce)) return s;
    if (MdfStatus s = Text(w, cn, layout::cn::kComment, &comment)) return s;
    if (cn.Size() >= kCnLongName + 4)
      if (MdfStatus s = Text(w, cn, kCnLongName, &longName)) return s;
    if (cn.Size() >= kCnDisplayName + 4)
      if (MdfStatus s = Text(w, cn, kCnDisplayName, &displayName)) return s;
    if (MdfStatus s = Dependency(w, cn, &cd)) return s;
    uint32_t at = 0;
    if (MdfStatus s = w.Put(cn,
                            {{layout::cn::kNext, *previousCn},
                             {layout::cn::kConversion, cc},
                             {layout::cn::kExtension, ce},
                             {layout::cn::kDependency, cd},
                             {layout::cn::kComment, comment},
                             {kCnLongName, longName},
                             {kCnDisplayName, displayName}},
                            &at))
      return s;
    if (layingOut_) channels_[&cn] = ChannelCopy{at, g};
    *previousCn = at;
    return kMdfOk;
  }

  // The CC with, for a text-range table, a copy of each range's text.
  MdfStatus Conversion(BlockWriter& w, MdfBlock& cn, uint32_t* at) {
    *at = 0;
    MdfBlock* cc = nullptr;
    if (MdfStatus s = Target(cn, layout::cn::kConversion, &cc)) return s;
    if (!cc) return kMdfOk;
    std::vector<Patch> patches;
    if (cc->U16(layout::cc::kType) == kConvTextRange) {
      const uint32_t count = cc->U16(layout::cc::kCount);
      if (layout::cc::kParams + uint64_t{layout::cc::kRangeEntrySize} * count > cc->Size())
        return MdfReportError(kMdfErrFileFormat);
      for (uint32_t i = 0; i < count; ++i) {
        uint32_t text = 0;
        if (MdfStatus s = Text(w, *cc, RangeTextLink(i), &text)) return s;
        patches.push_back({RangeTextLink(i), text});
      }
    }
    return w.Put(*cc, patches, at);
  }

  // The CD with each (DG, CG, CN) reference mapped to the copy: through the
  // channel when it names one of the file's channels, else through the
  // channel group, else all three 0.
  MdfStatus Dependency(BlockWriter& w, MdfBlock& cn, uint32_t* at) {
    *at = 0;
    MdfBlock* dependency = nullptr;
    if (MdfStatus s = Target(cn, layout::cn::kDependency, &dependency)) return s;
    if (!dependency) return kMdfOk;
    const uint32_t count = dependency->U16(cd::kCount);
    if (dependency->kind != BlockKind::Cd || uint64_t{cd::kEntries} + uint64_t{cd::kEntrySize} * count > dependency->Size())
      return MdfReportError(kMdfErrFileFormat);
    std::vector<Patch> patches;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t entry = cd::kEntries + i * cd::kEntrySize;
      uint32_t dg = 0, cg = 0, target = 0;
      if (!layingOut_) {
        const auto byChannel = channels_.find(Known(dependency->U32(entry + cd::kCn)));
        const auto byGroup = groupsByCg_.find(Known(dependency->U32(entry + cd::kCg)));
        if (byChannel != channels_.end()) {
          target = byChannel->second.cn;
          dg = groups_[byChannel->second.group].dg;
          cg = groups_[byChannel->second.group].cg;
        } else if (byGroup != groupsByCg_.end()) {
          dg = groups_[byGroup->second].dg;
          cg = groups_[byGroup->second].cg;
        }
      }
      patches.push_back({entry + cd::kDg, dg});
      patches.push_back({entry + cd::kCg, cg});
      patches.push_back({entry + cd::kCn, target});
    }
    return w.Put(*dependency, patches, at);
  }

  // The copy of the text a link field names; 0 for none, and for a link to
  // anything but a text, which carries no text to keep.
  MdfStatus Text(BlockWriter& w, const MdfBlock& owner, uint32_t field, uint32_t* at) {
    *at = 0;
    MdfBlock* text = nullptr;
    if (MdfStatus s = Target(owner, field, &text)) return s;
    if (!text || text->kind != BlockKind::Tx) return kMdfOk;
    return w.Put(*text, {}, at);
  }

  // The source block at the position a field of a source image holds, read
  // now when the structure read did not.
  MdfStatus Target(const MdfBlock& owner, uint32_t field, MdfBlock** out) {
    return MdfReadBlock(source_, owner.U32(field), out);
  }

  // The source block read at `position`, null when none was.
  const MdfBlock* Known(uint32_t position) const {
    return position == 0 ? nullptr : Lib().blocks.Find(source_.SourceId(), position);
  }

  MdfFileHandle& source_;
  MdfBlock& id_;
  MdfBlock& hd_;
  const SourceLayout& layout_;
  bool layingOut_ = true;
  std::vector<GroupCopy> groups_;
  std::unordered_map<const MdfBlock*, ChannelCopy> channels_;
  std::unordered_map<const MdfBlock*, size_t> groupsByCg_ = [this] {
    std::unordered_map<const MdfBlock*, size_t> map;
    for (size_t g = 0; g < layout_.groups.size(); ++g) map.emplace(layout_.groups[g].cg, g);
    return map;
  }();
  uint32_t lastDg_ = 0, hdComment_ = 0, program_ = 0;
  uint64_t end_ = 0;
};

// Moves kRecordSlack bytes in 16-byte pieces, which compilers keep as plain
// vector moves (one memcpy of 64 may become a slow string instruction).
inline void MoveShort(uint8_t* to, const uint8_t* from) {
  static_assert(sortdetail::kRecordSlack == 64);
  for (int i = 0; i < 4; ++i) std::memcpy(to + 16 * i, from + 16 * i, 16);
}

// Collects each channel group's records in its buffer and writes a full
// buffer to the group's area; a group without buffer writes each record.
class AreaWriter {
 public:
  AreaWriter(MdfFileHandle& file, std::span<const size_t> capacities, std::span<const uint64_t> areas)
      : file_(file), areas_(capacities.size()) {
    for (size_t i = 0; i < areas_.size(); ++i) {
      areas_[i].position = areas[i];
      areas_[i].capacity = capacities[i];
      if (capacities[i] > 0) areas_[i].buffer.resize(capacities[i] + sortdetail::kRecordSlack);
    }
  }

  MdfStatus Append(size_t i, const uint8_t* bytes, size_t n) {
    Area& a = areas_[i];
    // A short record that leaves room: one move of fixed size, its excess overwritten later.
    if (n <= sortdetail::kRecordSlack && a.capacity - a.fill > n) {
      MoveShort(a.buffer.data() + a.fill, bytes);
      a.fill += n;
      return kMdfOk;
    }
    if (a.capacity == 0) return Write(a, bytes, n);
    while (n > 0) {
      const size_t take = std::min(n, a.capacity - a.fill);
      std::memcpy(a.buffer.data() + a.fill, bytes, take);
      a.fill += take;
      bytes += take;
      n -= take;
      if (a.fill == a.capacity)
        if (MdfStatus s = Flush(a)) return s;
    }
    return kMdfOk;
  }

  MdfStatus FlushAll() {
    for (Area& a : areas_)
      if (MdfStatus s = Flush(a)) return s;
    return kMdfOk;
  }

 private:
  struct Area {
    uint64_t position = 0;
    std::vector<uint8_t> buffer;  // capacity bytes and the slack of a fixed-size move
    size_t capacity = 0;
    size_t fill = 0;
  };

  MdfStatus Flush(Area& a) {
    const size_t n = a.fill;
    a.fill = 0;
    return n == 0 ? kMdfOk : Write(a, a.buffer.data(), n);
  }
  MdfStatus Write(Area& a, const uint8_t* bytes, size_t n) {
    if (MdfStatus s = MdfSeekFile(file_, static_cast<int64_t>(a.position), kMdfSeekBegin)) return s;
    if (MdfStatus s = MdfWriteFile(bytes, n, file_)) return s;
    a.position += n;
    return kMdfOk;
  }

  MdfFileHandle& file_;
  std::vector<Area> areas_;
};

MdfStatus CopyRecords(MdfFileHandle& source, MdfFileHandle& copy, const SourceLayout& layout,
                      const StructureCopy& structure) {
  for (const SourceDataGroup& d : layout.dataGroups) {
    const std::vector<size_t> capacities = ShareBudget(layout, d, kSortBudget);
    std::vector<uint64_t> areas(d.count);
    for (size_t i = 0; i < d.count; ++i) areas[i] = structure.AreaOf(d.first + i);
    AreaWriter writer(copy, capacities, areas);
    if (MdfStatus s = WalkRecords(source, layout, d, writer)) return s;
    if (MdfStatus s = writer.FlushAll()) return s;
  }
  return kMdfOk;
}

MdfStatus SortWork(const std::string& sourceName, const std::string& destinationName, uint16_t destinationMode,
                   bool sync) {
  std::unique_ptr<MdfFileHandle> source;
  if (MdfStatus s = MdfOpenFile(&source, sourceName, kMdfFileRead | kMdfFileStream, 8192)) return s;
  if (source->OpenedLength() > kMdfMaxPosition) return MdfReportError(kMdfErrFileFormat);
  MdfBlock* id = nullptr;
  MdfBlock* hd = nullptr;
  if (MdfStatus s = MdfReadStructure(*source, &id, &hd, nullptr, false)) return s;
  // Copied without conversion, but only in a float format the library reads.
  if (id->U16(layout::id::kFloatFormat) > 2) return MdfReportError(kMdfErrFloatFormat);
  SourceLayout layout;
  if (MdfStatus s = ReadSourceLayout(*hd, &layout)) return s;
  if (!layout.interleaved) return kMdfNothingToSort;
  if (MdfStatus s = CheckSourceLayout(layout, source->OpenedLength())) return s;
  StructureCopy structure(*source, *id, *hd, layout);
  if (MdfStatus s = structure.Plan()) return s;

  std::unique_ptr<MdfFileHandle> copy;
  if (MdfStatus s = MdfOpenFileDefault(&copy, destinationName, destinationMode)) return s;
  if (MdfStatus s = structure.Write(*copy)) return s;
  if (MdfStatus s = CopyRecords(*source, *copy, layout, structure)) return s;
  return sync ? MdfSyncFile(*copy) : kMdfOk;
}

}  // namespace

namespace sortdetail {

namespace {
// Small enough that what is read stays in the L2 cache until the records are taken from it.
constexpr size_t kChunk = size_t{1} << 17;
constexpr size_t kLongestRecord = 1 + 0xFFFF + 1;
}  // namespace

ChunkReader::ChunkReader(MdfFileHandle& file, uint32_t start, uint64_t bytes)
    : file_(file),
      next_(start),
      left_(bytes),
      buffer_((bytes <= kChunk ? bytes : kChunk + kLongestRecord) + kRecordSlack) {}

MdfStatus ChunkReader::Refill() {
  const size_t tail = Available();
  if (tail > 0) std::memmove(buffer_.data(), cursor_, tail);
  const size_t read = static_cast<size_t>(std::min<uint64_t>(left_, buffer_.size() - kRecordSlack - tail));
  if (MdfStatus s = MdfSeekFile(file_, static_cast<int64_t>(next_), kMdfSeekBegin)) return s;
  if (MdfStatus s = MdfReadFileUnbuffered(buffer_.data() + tail, read, file_)) return s;
  next_ += read;
  left_ -= read;
  cursor_ = buffer_.data();
  end_ = cursor_ + tail + read;
  return kMdfOk;
}

}  // namespace sortdetail

MdfStatus ReadSourceLayout(MdfBlock& hd, SourceLayout* out) {
  // Bytes beyond any 32-bit file; sums stop there so that they cannot overflow.
  constexpr uint64_t kBeyondAnyFile = uint64_t{1} << 40;
  SourceLayout layout;
  const MdfStatus walked = WalkChain(hd, layout::hd::kFirstDg, layout::dg::kNext, [&](MdfBlock& dg) {
    SourceDataGroup d;
    d.dg = &dg;
    d.recordIds = dg.U16(layout::dg::kRecordIds);
    d.dataLink = dg.U32(layout::dg::kData);
    d.first = layout.groups.size();
    const MdfStatus s = WalkChain(dg, layout::dg::kFirstCg, layout::cg::kNext, [&](MdfBlock& cg) {
      SourceGroup g;
      g.dg = &dg;
      g.cg = &cg;
      g.recordSize = cg.U16(layout::cg::kRecordSize);
      g.recordId = cg.U16(layout::cg::kRecordId);
      g.recordCount = cg.U32(layout::cg::kRecordCount);
      const uint64_t stored = uint64_t{g.recordCount} * (uint64_t{g.recordSize} + d.recordIds);
      d.storedBytes = std::min(kBeyondAnyFile, d.storedBytes + stored);
      layout.groups.push_back(g);
      ++d.count;
      return kMdfOk;
    });
    if (d.count > 1) layout.interleaved = true;
    layout.dataGroups.push_back(d);
    return s;
  });
  if (walked) return walked;
  *out = std::move(layout);
  return kMdfOk;
}

MdfStatus CheckSourceLayout(const SourceLayout& layout, uint64_t fileLength) {
  if (layout.groups.size() > kMaxGroups) return MdfReportError(kMdfErrFileFormat);
  for (const SourceDataGroup& d : layout.dataGroups) {
    const bool idsFit = d.recordIds <= 2 && (d.count <= 1 || d.recordIds > 0);
    const bool dataFits = d.storedBytes == 0 || (d.dataLink != 0 && d.dataLink <= fileLength &&
                                                 d.storedBytes <= fileLength - d.dataLink);
    if (!idsFit || !dataFits) return MdfReportError(kMdfErrFileFormat);
  }
  return kMdfOk;
}

std::vector<size_t> ShareBudget(const SourceLayout& layout, const SourceDataGroup& dataGroup, uint64_t budget) {
  const SourceGroup* groups = layout.groups.data() + dataGroup.first;
  uint64_t total = 0;
  for (size_t i = 0; i < dataGroup.count; ++i) total += groups[i].AreaBytes();
  std::vector<size_t> shares(dataGroup.count, 0);
  for (size_t i = 0; i < dataGroup.count; ++i) {
    const uint64_t area = groups[i].AreaBytes();
    if (area == 0) continue;
    uint64_t share = static_cast<uint64_t>(static_cast<unsigned __int128>(budget) * area / total);
    share = std::min(share, area);
    shares[i] = static_cast<size_t>(share - share % groups[i].recordSize);
  }
  return shares;
}

MdfStatus SortFile(const std::string& source, const std::string& destination, uint16_t destinationMode,
                   bool sync) {
  if (MdfStatus s = MdfRetain()) return s;
  MdfStatus status = kMdfOk;
  try {
    status = SortWork(source, destination, destinationMode, sync);
  } catch (const std::bad_alloc&) {
    status = MdfReportError(kMdfErrOutOfMemory);
  }
  // A copy is complete only when nothing on the way reported an error.
  if (status == kMdfOk) status = MdfCheckInitialized();
  MdfRelease();
  return status;
}

MdfStatus MdfSortFile(const std::string& source, const std::string& destination) {
  return RunEntry(EntryKind::Checked, [&] { return SortFile(source, destination, kMdfFileCreate, false); });
}

}  // namespace dravo

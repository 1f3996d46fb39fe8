#include "dravo/blocks.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <unordered_set>

#include "dravo/library.h"

namespace dravo {

namespace {

// The images of a file may take this many times the file's size, plus the
// slack, before the file counts as damaged: real files need about once their
// structure, and padding a short block to its kind's size at most 32 times.
constexpr uint64_t kImageBudgetFactor = 8;
constexpr uint64_t kImageBudgetSlack = uint64_t{1} << 20;

constexpr uint32_t kNoLinks[] = {0};
constexpr uint32_t kHdLinks[] = {layout::hd::kFirstDg, layout::hd::kComment, layout::hd::kProgram};
constexpr uint32_t kDgLinks[] = {layout::dg::kNext, layout::dg::kFirstCg, layout::dg::kTrigger, layout::dg::kData};
constexpr uint32_t kCgLinks[] = {layout::cg::kNext, layout::cg::kFirstCn, layout::cg::kComment};
constexpr uint32_t kCnLinks[] = {layout::cn::kNext, layout::cn::kConversion, layout::cn::kExtension,
                                 layout::cn::kDependency, layout::cn::kComment};
constexpr uint32_t kTrLinks[] = {layout::tr::kComment};

std::span<const uint32_t> LinkFields(BlockKind kind) {
  switch (kind) {
    case BlockKind::Hd: return kHdLinks;
    case BlockKind::Dg: return kDgLinks;
    case BlockKind::Cg: return kCgLinks;
    case BlockKind::Cn: return kCnLinks;
    case BlockKind::Tr: return kTrLinks;
    default: return std::span<const uint32_t>(kNoLinks, 0);
  }
}

const char* IdText(BlockKind kind) {
  switch (kind) {
    case BlockKind::Hd: return "HD";
    case BlockKind::Tx: return "TX";
    case BlockKind::Pr: return "PR";
    case BlockKind::Tr: return "TR";
    case BlockKind::Dg: return "DG";
    case BlockKind::Cg: return "CG";
    case BlockKind::Cn: return "CN";
    case BlockKind::Cc: return "CC";
    case BlockKind::Ce: return "CE";
    case BlockKind::Cd: return "CD";
    default: return "\0";  // two zero bytes
  }
}

// One link record per link field of the block's kind, holding the field's value.
void RegisterLinks(MdfBlock& block) {
  const auto fields = LinkFields(block.kind);
  block.linkCount = static_cast<uint8_t>(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) block.links[i] = LinkRecord{fields[i], block.U32(fields[i]), nullptr};
}

std::unique_ptr<MdfBlock> NewBlock(BlockKind kind, size_t imageSize) {
  auto block = std::make_unique<MdfBlock>();
  block->kind = kind;
  block->level = Lib().useCount;
  block->image.assign(imageSize, 0);
  return block;
}

// A zero-filled block of `size` bytes with id and size field, registered with its links.
MdfStatus MakeBlock(BlockKind kind, size_t size, MdfBlock** out) {
  if (size > 0xFFFF) return MdfReportError(kMdfErrFileFormat);
  auto block = NewBlock(kind, std::max<size_t>(size, DefaultBlockSize(kind)) + 1);
  std::memcpy(block->Data(), IdText(kind), 2);
  StoreU16(block->Data() + 2, static_cast<uint16_t>(size));
  block->length = static_cast<uint32_t>(size);
  RegisterLinks(*block);
  *out = Lib().blocks.Add(std::move(block));
  return kMdfOk;
}

// The length of a PR block whose size field holds the escape 0xFFFF: the
// 32-bit length that begins its data when the text of special-job or
// Nuvesto data follows it, else the size field itself. The file stays where
// it stood, behind the block's head; a failed read of the marker fails the block.
MdfStatus EscapedProgramLength(MdfFileHandle& handle, uint64_t rest, uint32_t* length) {
  constexpr uint32_t kEscape = 0xFFFF;
  *length = kEscape;
  uint8_t marker[20];
  if (rest < sizeof marker) return kMdfOk;
  const uint32_t body = MdfGetFilePosition(handle);
  if (MdfStatus s = MdfReadFile(marker, sizeof marker, handle)) return s;
  if (MdfStatus s = MdfSeekFile(handle, body, kMdfSeekBegin)) return s;
  const char* text = reinterpret_cast<const char*>(marker + 4);
  if (strncmp(text, "SpecialJobData", 16) == 0 || std::memcmp(text, "Nuvesto 4.0", 11) == 0) *length = LoadU32(marker);
  return kMdfOk;
}

}  // namespace

uint32_t DefaultBlockSize(BlockKind kind) {
  switch (kind) {
    case BlockKind::Id: return 64;
    case BlockKind::Hd: return 164;
    case BlockKind::Tr: return 34;
    case BlockKind::Dg: return 24;
    case BlockKind::Cg: return 26;
    case BlockKind::Cn: return 218;
    case BlockKind::Cc: return 46;
    case BlockKind::Ce: return 128;
    case BlockKind::Cd: return 20;
    default: return 4;
  }
}

BlockKind KindOfId(const uint8_t* head) {
  for (BlockKind kind : {BlockKind::Hd, BlockKind::Tx, BlockKind::Pr, BlockKind::Tr, BlockKind::Dg,
                         BlockKind::Cg, BlockKind::Cn, BlockKind::Cc, BlockKind::Ce, BlockKind::Cd})
    if (std::memcmp(head, IdText(kind), 2) == 0) return kind;
  return BlockKind::Unknown;
}

std::string MdfBlock::Text(uint32_t offset, uint32_t width) const {
  if (offset >= image.size()) return {};
  const auto* begin = reinterpret_cast<const char*>(Data() + offset);
  const size_t limit = std::min<size_t>(width, image.size() - offset);
  return std::string(begin, strnlen(begin, limit));
}

void MdfBlock::SetText(uint32_t offset, uint32_t width, const std::string& text) {
  if (!Holds(offset, width)) return;
  std::memset(Data() + offset, 0, width);
  std::memcpy(Data() + offset, text.data(), std::min<size_t>(width, text.size()));
}

LinkRecord* MdfBlock::FindLink(uint32_t field) {
  for (uint8_t i = 0; i < linkCount; ++i)
    if (links[i].field == field) return &links[i];
  return nullptr;
}

// ---- BlockStore ----

MdfBlock* BlockStore::Find(uint32_t source, uint32_t position) const {
  const auto it = byPosition_.find(Key(source, position));
  return it == byPosition_.end() ? nullptr : it->second;
}

MdfBlock* BlockStore::Add(std::unique_ptr<MdfBlock> block) {
  MdfBlock* raw = block.get();
  if (raw->source != 0) byPosition_[Key(raw->source, raw->readPosition)] = raw;
  blocks_.emplace(raw, std::move(block));
  return raw;
}

bool BlockStore::Remove(MdfBlock* block) {
  const auto it = blocks_.find(block);
  if (it == blocks_.end()) return false;
  if (block->source != 0) byPosition_.erase(Key(block->source, block->readPosition));
  for (auto& [ignored, other] : blocks_)
    for (uint8_t i = 0; i < other->linkCount; ++i)
      if (other->links[i].resolved == block) other->links[i].resolved = nullptr;
  blocks_.erase(it);
  return true;
}

void BlockStore::Release(uint32_t level) {
  std::unordered_set<const MdfBlock*> freed;
  for (auto it = blocks_.begin(); it != blocks_.end();) {
    MdfBlock* block = it->second.get();
    if (block->level < level) {
      ++it;
      continue;
    }
    freed.insert(block);
    if (block->source != 0) byPosition_.erase(Key(block->source, block->readPosition));
    it = blocks_.erase(it);
  }
  if (freed.empty()) return;
  for (auto& [ignored, block] : blocks_)
    for (uint8_t i = 0; i < block->linkCount; ++i)
      if (freed.count(block->links[i].resolved)) block->links[i].resolved = nullptr;
  if (blocks_.empty()) charged_.clear();
}

bool BlockStore::Charge(const MdfFileHandle& source, size_t bytes) {
  uint64_t& charged = charged_[source.SourceId()];
  const uint64_t budget = source.OpenedLength() * kImageBudgetFactor + kImageBudgetSlack;
  if (bytes > budget - std::min(charged, budget)) return false;
  charged += bytes;
  return true;
}

// ---- Reading ----

MdfStatus MdfReadIdBlock(MdfFileHandle& handle, MdfBlock** out) {
  LibraryState& lib = Lib();
  if (MdfBlock* known = lib.blocks.Find(handle.SourceId(), 0)) {
    *out = known;
    return kMdfOk;
  }
  auto block = NewBlock(BlockKind::Id, layout::id::kSize + 1);
  block->length = layout::id::kSize;
  if (MdfStatus s = MdfSeekFile(handle, 0, kMdfSeekBegin)) return s;
  if (MdfStatus s = MdfReadFile(block->Data(), layout::id::kSize, handle)) return s;
  const uint8_t* p = block->Data();
  if (std::memcmp(p, "MDF", 3) != 0 || p[layout::id::kReserved] != 0 || p[layout::id::kReserved + 1] != 0)
    return MdfReportError(kMdfErrFileFormat);
  if (!lib.blocks.Charge(handle, block->image.size())) return MdfReportError(kMdfErrFileFormat);
  block->source = handle.SourceId();
  *out = lib.blocks.Add(std::move(block));
  return kMdfOk;
}

MdfStatus MdfReadBlock(MdfFileHandle& handle, uint32_t position, MdfBlock** out) {
  *out = nullptr;
  if (position == 0) return kMdfOk;
  LibraryState& lib = Lib();
  if (MdfBlock* known = lib.blocks.Find(handle.SourceId(), position)) {
    *out = known;
    return kMdfOk;
  }
  uint8_t head[layout::kHeadSize];
  if (MdfStatus s = MdfSeekFile(handle, position, kMdfSeekBegin)) return s;
  if (MdfStatus s = MdfReadFile(head, sizeof head, handle)) return s;
  const BlockKind kind = KindOfId(head);
  const uint64_t rest = handle.OpenedLength() - std::min<uint64_t>(handle.OpenedLength(), handle.Position());
  uint32_t length = LoadU16(head + 2);
  if (kind == BlockKind::Pr && length == 0xFFFF)
    if (MdfStatus s = EscapedProgramLength(handle, rest, &length)) return s;
  if (length < layout::kHeadSize) return MdfReportError(kMdfErrFileFormat);
  // A body that the file does not hold is a short read; nothing is allocated for it.
  if (length - layout::kHeadSize > rest) {
    MdfSeekFile(handle, 0, kMdfSeekBegin);
    return MdfReportError(kMdfErrRead);
  }
  const size_t imageSize = std::max(length, DefaultBlockSize(kind)) + size_t{1};
  if (!lib.blocks.Charge(handle, imageSize)) return MdfReportError(kMdfErrFileFormat);
  auto block = NewBlock(kind, imageSize);
  std::memcpy(block->Data(), head, sizeof head);
  if (MdfStatus s = MdfReadFile(block->Data() + layout::kHeadSize, length - layout::kHeadSize, handle)) return s;
  block->length = length;
  block->source = handle.SourceId();
  block->readPosition = position;
  RegisterLinks(*block);
  *out = lib.blocks.Add(std::move(block));
  return kMdfOk;
}

// ---- Links ----

MdfStatus MdfResolveLink(MdfBlock& block, uint32_t field, MdfBlock** out) {
  *out = nullptr;
  LinkRecord* link = block.FindLink(field);
  if (!link) return MdfReportError(kMdfErrUnknownLink);
  if (link->resolved) {
    *out = link->resolved;
    return kMdfOk;
  }
  if (link->value == 0) return kMdfOk;
  MdfBlock* target = block.source != 0 ? Lib().blocks.Find(block.source, link->value) : nullptr;
  if (!target) return MdfReportError(kMdfErrUnknownBlock);
  link->resolved = target;
  *out = target;
  return kMdfOk;
}

MdfStatus MdfSetLink(MdfBlock& block, uint32_t field, uint32_t value, MdfBlock* target) {
  LinkRecord* link = block.FindLink(field);
  if (!link) return MdfReportError(kMdfErrUnknownLink);
  link->value = value;
  link->resolved = target;
  return kMdfOk;
}

MdfStatus MdfUpdateLinkTo(MdfBlock& block, uint32_t field, MdfBlock* target) {
  if (!block.FindLink(field)) return MdfReportError(kMdfErrUnknownLink);
  uint32_t position = 0;
  if (target) {
    if (!Lib().blocks.Contains(target)) return MdfReportError(kMdfErrUnknownBlock);
    position = target->writtenPosition != 0 ? target->writtenPosition : target->readPosition;
    if (position == 0) return MdfReportError(kMdfErrUnknownBlock);
  }
  block.SetU32(field, position);
  return kMdfOk;
}

MdfStatus MdfUpdateLink(MdfBlock& block, uint32_t field) {
  MdfBlock* target = nullptr;
  if (MdfStatus s = MdfResolveLink(block, field, &target)) return s;
  return MdfUpdateLinkTo(block, field, target);
}

// ---- Writing ----

namespace {

MdfStatus WriteImage(MdfFileHandle& handle, MdfBlock& block) {
  return MdfWriteFile(block.Data(), block.length, handle);
}

}  // namespace

MdfStatus MdfAppendBlock(MdfFileHandle& handle, MdfBlock* block) {
  if (!block) return kMdfOk;
  if (!Lib().blocks.Contains(block)) return MdfReportError(kMdfErrUnknownBlock);
  block->writtenPosition = MdfGetFilePosition(handle);
  return WriteImage(handle, *block);
}

MdfStatus MdfRewriteBlock(MdfFileHandle& handle, MdfBlock* block) {
  if (!block) return kMdfOk;
  if (!Lib().blocks.Contains(block)) return MdfReportError(kMdfErrUnknownBlock);
  const uint32_t target = block->writtenPosition != 0 ? block->writtenPosition : block->readPosition;
  // Only the ID block stands at position 0; any other block never placed has nowhere to go.
  if (target == 0 && block->kind != BlockKind::Id) return MdfReportError(kMdfErrUnknownBlock);
  const uint32_t before = MdfGetFilePosition(handle);
  if (MdfStatus s = MdfSeekFile(handle, target, kMdfSeekBegin)) return s;
  block->writtenPosition = target;
  if (MdfStatus s = WriteImage(handle, *block)) return s;
  return MdfSeekFile(handle, before, kMdfSeekBegin);
}

// ---- Copies and new blocks ----

MdfStatus MdfSaveBlock(MdfBlock& block) {
  if (!Lib().blocks.Contains(&block)) return MdfReportError(kMdfErrUnknownBlock);
  block.saved = std::make_unique<std::vector<uint8_t>>(block.image.begin(), block.image.begin() + block.length);
  return kMdfOk;
}

MdfStatus MdfRestoreBlock(MdfBlock& block) {
  if (!Lib().blocks.Contains(&block)) return kMdfErrNodeNotFound;
  if (block.saved) {
    std::copy(block.saved->begin(), block.saved->end(), block.image.begin());
    block.saved.reset();
  }
  return kMdfOk;
}

MdfStatus MdfDeleteBlock(MdfBlock* block) {
  return Lib().blocks.Remove(block) ? kMdfOk : kMdfErrNodeNotFound;
}

MdfStatus MdfCloneBlock(MdfBlock** out, const MdfBlock& block) {
  auto copy = NewBlock(block.kind, block.image.size());
  copy->image = block.image;
  copy->length = block.length;
  RegisterLinks(*copy);
  *out = Lib().blocks.Add(std::move(copy));
  return kMdfOk;
}

MdfStatus MdfCreateBlock(BlockKind kind, MdfBlock** out) {
  if (kind == BlockKind::Id) {
    auto id = NewBlock(BlockKind::Id, layout::id::kSize + 1);
    id->length = layout::id::kSize;
    *out = Lib().blocks.Add(std::move(id));
    return kMdfOk;
  }
  return MakeBlock(kind, DefaultBlockSize(kind), out);
}

MdfStatus MdfCreateTextBlock(MdfBlock** out, size_t length, const std::string& text) {
  if (MdfStatus s = MakeBlock(BlockKind::Tx, length + 5, out)) return s;
  std::memcpy((*out)->Data() + layout::tx::kText, text.data(), std::min(length, text.size()));
  return kMdfOk;
}

MdfStatus MdfCreateConversionBlock(MdfBlock** out, uint16_t type, uint16_t count) {
  size_t entry = 8;
  if (type == kConvTableInterp || type == kConvTable) entry = layout::cc::kPairSize;
  else if (type == kConvTextTable) entry = layout::cc::kTextEntrySize;
  if (MdfStatus s = MakeBlock(BlockKind::Cc, layout::cc::kParams + entry * count, out)) return s;
  (*out)->SetU16(layout::cc::kType, type);
  (*out)->SetU16(layout::cc::kCount, count);
  return kMdfOk;
}

MdfStatus MdfCreateTriggerBlock(MdfBlock** out, uint16_t count) {
  if (MdfStatus s = MakeBlock(BlockKind::Tr, size_t{layout::tr::kEntrySize} * count + 34, out)) return s;
  (*out)->SetU16(layout::tr::kCount, count);
  return kMdfOk;
}

}  // namespace dravo

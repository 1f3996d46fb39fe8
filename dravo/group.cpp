// Channel groups: opening, positioning on records, writing records back and
// creating a new group at the end of a file.
#include <algorithm>
#include <cstdio>

#include "dravo/internal.h"
#include "dravo/library.h"
#include "dravo/mdflib.h"

namespace dravo {

namespace {

constexpr size_t kMaxChannels = 0xFFFF;
// The record buffer holds the leading id, the record, the trailing id and
// 8 zero bytes, so that 9 bytes can be loaded from any byte of the record.
constexpr size_t kRecordBufferExtra = 1 + 1 + 8;

std::string Detail(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool IsCreateMode(uint16_t mode) { return mode != kMdfOpenRead && mode != kMdfOpenModify; }

// Bytes a record of this CG spans in its DG's data: the record and, with two
// record ids, the trailing id.
int32_t StoredLength(const MdfBlock& cg, uint16_t recordIds) {
  return static_cast<int32_t>(cg.U16(layout::cg::kRecordSize)) + (recordIds == 2 ? 1 : 0);
}

MdfStatus FillGroupFromChain(MdfGroupRecord& group) {
  MdfBlock& cg = *group.cg;
  MdfBlock& dg = *group.dg;
  group.recordIds = dg.U16(layout::dg::kRecordIds);
  if (group.recordIds > 2) return MdfReportError(kMdfErrFileFormat);
  if (MdfStatus s = WalkChain(cg, layout::cg::kFirstCn, layout::cn::kNext, [&](MdfBlock& cn) {
        if (group.cns.size() == kMaxChannels) return MdfReportError(kMdfErrFileFormat);
        group.cns.push_back(&cn);
        if (cn.U16(layout::cn::kChannelType) == kChannelTypeTime) group.timeCn = &cn;
        return kMdfOk;
      }))
    return s;
  if (group.timeCn)
    if (MdfStatus s = MdfResolveLink(*group.timeCn, layout::cn::kConversion, &group.timeCc)) return s;
  group.idLength.fill(-1);
  return WalkChain(dg, layout::dg::kFirstCg, layout::cg::kNext, [&](MdfBlock& other) {
    ++group.dgGroups;
    const uint16_t id = other.U16(layout::cg::kRecordId);
    if (id < group.idLength.size() && group.idLength[id] < 0) group.idLength[id] = StoredLength(other, group.recordIds);
    return kMdfOk;
  });
}

// Ends a chain walk early; no status of the library has this value.
constexpr MdfStatus kStopWalk = 2;

// The group of that number, counting the CGs of each DG along the chain from 1.
MdfStatus FindGroup(MdfFileRecord& file, uint16_t number, MdfBlock** dgOut, MdfBlock** cgOut) {
  size_t count = 0;
  const MdfStatus walked = WalkChain(*file.hd, layout::hd::kFirstDg, layout::dg::kNext, [&](MdfBlock& dg) {
    return WalkChain(dg, layout::dg::kFirstCg, layout::cg::kNext, [&](MdfBlock& cg) {
      if (++count != number) return kMdfOk;
      *dgOut = &dg;
      *cgOut = &cg;
      return kStopWalk;
    });
  });
  if (walked == kStopWalk) return kMdfOk;
  if (walked) return walked;
  return MdfReportError(kMdfGroupNotFound, Detail("(n=%d)", number));
}

// A new group at the end of the file: an empty CG in a new DG that becomes the header's first.
MdfStatus CreateGroup(MdfGroupRecord& group) {
  MdfFileRecord& file = *group.file;
  for (const auto& other : file.groups)
    if (IsCreateMode(other->mode)) return MdfReportError(kMdfErrGroupCreate);
  if (MdfStatus s = MdfSeekFile(*file.handle, 0, kMdfSeekEnd)) return s;
  MdfBlock* cg = nullptr;
  MdfBlock* dg = nullptr;
  if (MdfStatus s = MdfCreateBlock(BlockKind::Cg, &cg)) return s;
  if (MdfStatus s = MdfCreateBlock(BlockKind::Dg, &dg)) return s;
  cg->SetU16(layout::cg::kRecordId, 1);
  MdfBlock* first = nullptr;
  MdfBlock& hd = *file.hd;
  const uint32_t data = MdfGetFilePosition(*file.handle);
  if (MdfStatus s = MdfResolveLink(hd, layout::hd::kFirstDg, &first)) return s;
  if (MdfStatus s = MdfSetLink(*dg, layout::dg::kFirstCg, 0, cg)) return s;
  if (MdfStatus s = MdfSetLink(*dg, layout::dg::kNext, hd.U32(layout::hd::kFirstDg), first)) return s;
  if (MdfStatus s = MdfSetLink(*dg, layout::dg::kData, data, nullptr)) return s;
  dg->SetU32(layout::dg::kData, data);
  dg->SetU16(layout::dg::kCgCount, 1);
  dg->SetU16(layout::dg::kRecordIds, 1);
  hd.SetU16(layout::hd::kDgCount, static_cast<uint16_t>(hd.U16(layout::hd::kDgCount) + 1));
  if (MdfStatus s = MdfSetLink(hd, layout::hd::kFirstDg, 0, dg)) return s;
  group.dg = dg;
  group.cg = cg;
  group.recordIds = 1;
  group.dgGroups = 1;
  group.idLength.fill(-1);
  group.idLength[1] = 0;
  return kMdfOk;
}

MdfStatus OpenGroup(MdfGroupRecord** out, MdfFileRecord& file, uint16_t number, uint16_t mode) {
  const bool create = IsCreateMode(mode);
  if (!create && number > file.groupCount) return MdfReportError(kMdfGroupNotFound);
  if (mode != kMdfOpenRead && file.mode != (create ? kMdfOpenCreate : kMdfOpenModify))
    return MdfReportError(kMdfErrGroupMode);
  auto group = std::make_unique<MdfGroupRecord>();
  group->file = &file;
  group->mode = create ? kMdfOpenCreate : mode;
  group->number = number;
  if (create) {
    if (MdfStatus s = CreateGroup(*group)) return s;
  } else {
    if (MdfStatus s = FindGroup(file, number, &group->dg, &group->cg)) return s;
    if (MdfStatus s = FillGroupFromChain(*group)) return s;
    // A group without records does not open: positioning on record 0 answers 1.
    if (group->RecordCount() == 0) return kMdfNoRecord;
    // A record longer than the file cannot be read; no buffer is sized for it.
    if (group->cg->U16(layout::cg::kRecordSize) > file.handle->OpenedLength()) return MdfReportError(kMdfErrRead);
  }
  MakeRecordBuffer(*group);
  group->recordPosition = group->DataLink();
  MdfGroupRecord* raw = group.get();
  file.groups.push_back(std::move(group));
  if (!create) {
    if (MdfStatus s = SeekRecord(*raw, 0, 0)) {
      file.groups.pop_back();
      return s;
    }
  }
  *out = raw;
  return kMdfOk;
}

// Reads the record at the group's position. With record ids, records of the
// DG's other groups are stepped over until one of this group comes; in skip
// mode the group then stands on it without reading it.
MdfStatus LoadRecord(MdfGroupRecord& group, bool skip) {
  MdfFileHandle& handle = *group.file->handle;
  if (MdfStatus s = MdfSeekFile(handle, group.recordPosition, kMdfSeekBegin)) return s;
  const uint16_t ownId = group.cg->U16(layout::cg::kRecordId);
  const size_t ownLength = group.recordSize + (group.recordIds == 2 ? 1 : 0);
  if (group.recordIds == 0) return skip ? kMdfOk : MdfReadFile(group.Record(), group.recordSize, handle);
  for (;;) {
    uint8_t id = 0;
    if (MdfStatus s = MdfReadFile(&id, 1, handle)) return s;
    if (id == ownId) {
      if (skip) return kMdfOk;
      group.buffer[0] = id;
      return MdfReadFile(group.Record(), ownLength, handle);
    }
    const int32_t length = group.idLength[id];
    if (length < 0) return MdfReportError(kMdfErrFileFormat);
    const uint64_t next = uint64_t{group.recordPosition} + 1 + static_cast<uint32_t>(length);
    if (next > kMdfMaxPosition) return MdfReportError(kMdfErrFileFormat);
    if (MdfStatus s = MdfSeekFile(handle, length, kMdfSeekCurrent)) return s;
    group.recordPosition = static_cast<uint32_t>(next);
  }
}

void ResetCounters(MdfGroupRecord& group) {
  ++group.loadEpoch;
  ++group.writeEpoch;
  group.writesPending = false;
}

// The position of the record after the current one in the DG's data.
MdfStatus StepPosition(MdfGroupRecord& group, uint64_t records) {
  const uint64_t position = uint64_t{group.recordPosition} + records * (group.recordSize + group.recordIds);
  if (position > kMdfMaxPosition) return MdfReportError(kMdfErrFileFormat);
  group.recordPosition = static_cast<uint32_t>(position);
  return kMdfOk;
}

MdfStatus WriteCurrent(MdfGroupRecord& group) {
  MdfFileHandle& handle = *group.file->handle;
  if (MdfStatus s = MdfSeekFile(handle, group.recordPosition, kMdfSeekBegin)) return s;
  MdfStatus s = kMdfOk;
  if (group.recordIds != 0) {
    const auto id = static_cast<uint8_t>(group.cg->U16(layout::cg::kRecordId));
    group.buffer[0] = id;
    if (group.recordIds == 2) group.buffer[1 + group.recordSize] = id;
    s = MdfWriteFile(group.buffer.data(), group.recordSize + group.recordIds, handle);
  } else {
    s = MdfWriteFile(group.Record(), group.recordSize, handle);
  }
  if (s) return s;
  ++group.writeEpoch;
  group.writesPending = false;
  return kMdfOk;
}

// Writes the blocks of a group created in this file behind the file's end and
// links the header to them.
MdfStatus WriteNewGroup(MdfGroupRecord& group) {
  MdfFileHandle& handle = *group.file->handle;
  MdfBlock& cg = *group.cg;
  MdfBlock& dg = *group.dg;
  if (MdfStatus s = MdfSeekFile(handle, 0, kMdfSeekEnd)) return s;
  MdfBlock* next = nullptr;
  for (auto it = group.cns.rbegin(); it != group.cns.rend(); ++it) {
    MdfBlock& cn = **it;
    for (uint32_t field : {layout::cn::kExtension, layout::cn::kConversion, layout::cn::kComment}) {
      MdfBlock* target = nullptr;
      if (MdfStatus s = MdfResolveLink(cn, field, &target)) return s;
      if (MdfStatus s = MdfAppendBlock(handle, target)) return s;
      if (MdfStatus s = MdfUpdateLinkTo(cn, field, target)) return s;
    }
    if (MdfStatus s = MdfUpdateLinkTo(cn, layout::cn::kNext, next)) return s;
    if (MdfStatus s = MdfAppendBlock(handle, &cn)) return s;
    next = &cn;
  }
  MdfBlock* comment = nullptr;
  if (MdfStatus s = MdfResolveLink(cg, layout::cg::kComment, &comment)) return s;
  if (MdfStatus s = MdfAppendBlock(handle, comment)) return s;
  if (MdfStatus s = MdfUpdateLinkTo(cg, layout::cg::kComment, comment)) return s;
  cg.SetU32(layout::cg::kRecordCount, group.recordNumber);
  if (MdfStatus s = MdfUpdateLinkTo(cg, layout::cg::kFirstCn, next)) return s;
  if (MdfStatus s = MdfAppendBlock(handle, &cg)) return s;
  MdfBlock* tr = nullptr;
  if (MdfStatus s = MdfResolveLink(dg, layout::dg::kTrigger, &tr)) return s;
  if (tr) {
    MdfBlock* trComment = nullptr;
    if (MdfStatus s = MdfResolveLink(*tr, layout::tr::kComment, &trComment)) return s;
    if (MdfStatus s = MdfAppendBlock(handle, trComment)) return s;
    if (MdfStatus s = MdfUpdateLinkTo(*tr, layout::tr::kComment, trComment)) return s;
    if (MdfStatus s = MdfAppendBlock(handle, tr)) return s;
    if (MdfStatus s = MdfUpdateLinkTo(dg, layout::dg::kTrigger, tr)) return s;
  }
  if (MdfStatus s = MdfUpdateLink(dg, layout::dg::kFirstCg)) return s;
  if (MdfStatus s = MdfUpdateLink(dg, layout::dg::kNext)) return s;
  if (MdfStatus s = MdfAppendBlock(handle, &dg)) return s;
  if (MdfStatus s = MdfUpdateLink(*group.file->hd, layout::hd::kFirstDg)) return s;
  return MdfRewriteBlock(handle, group.file->hd);
}

}  // namespace

void MakeRecordBuffer(MdfGroupRecord& group) {
  group.recordSize = group.cg->U16(layout::cg::kRecordSize);
  group.buffer.assign(group.recordSize + kRecordBufferExtra, 0);
}

MdfStatus SeekRecord(MdfGroupRecord& group, int64_t position, int mode) {
  const int64_t target = mode == kMdfSeekRelative ? int64_t{group.recordNumber} + position : position;
  if (target < 0 || target >= int64_t{group.RecordCount()}) return kMdfNoRecord;
  const auto wanted = static_cast<uint32_t>(target);
  if (wanted == 0) {
    group.recordNumber = 0;
    group.recordPosition = group.DataLink();
    if (MdfStatus s = LoadRecord(group, false)) return s;
  } else if (group.dgGroups > 1) {
    // Records of several groups interleave: walk them from the current record, or from the first.
    if (wanted < group.recordNumber)
      if (MdfStatus s = SeekRecord(group, 0, 0)) return s;
    while (group.recordNumber != wanted) {
      if (MdfStatus s = StepPosition(group, 1)) return s;
      ++group.recordNumber;
      if (MdfStatus s = LoadRecord(group, true)) return s;
    }
    if (MdfStatus s = LoadRecord(group, false)) return s;
  } else if (wanted != group.recordNumber) {
    group.recordNumber = wanted;
    group.recordPosition = group.DataLink();
    if (MdfStatus s = StepPosition(group, wanted)) return s;
    if (MdfStatus s = LoadRecord(group, false)) return s;
  }
  ResetCounters(group);
  return kMdfOk;
}

MdfStatus WriteRecord(MdfGroupRecord& group) {
  if (group.mode == kMdfOpenRead) return MdfReportError(kMdfErrGroupMode);
  return WriteCurrent(group);
}

MdfStatus AppendRecord(MdfGroupRecord& group) {
  if (group.mode != kMdfOpenCreate) return MdfReportError(kMdfErrGroupMode);
  MdfFileHandle& handle = *group.file->handle;
  if (MdfStatus s = MdfSeekFile(handle, 0, kMdfSeekEnd)) return s;
  const uint32_t count = group.RecordCount();
  if (count == UINT32_MAX) return MdfReportError(kMdfErrFileFormat);
  group.recordPosition = MdfGetFilePosition(handle);
  group.recordNumber = count;
  group.cg->SetU32(layout::cg::kRecordCount, count + 1);
  return WriteCurrent(group);
}

MdfStatus CloseGroup(MdfGroupRecord* group) {
  MdfStatus status = kMdfOk;
  while (!group->channels.empty()) {
    MdfChannelRecord* channel = group->channels.front().get();
    const MdfStatus s = CloseChannel(channel);
    // A channel whose pending write failed stays open; it goes with its group all the same.
    if (!group->channels.empty() && group->channels.front().get() == channel)
      group->channels.erase(group->channels.begin());
    if (status == kMdfOk) status = s;
  }
  if (status == kMdfOk && Lib().recordedError == 0 && group->mode == kMdfOpenCreate) status = WriteNewGroup(*group);
  auto& groups = group->file->groups;
  std::erase_if(groups, [group](const auto& g) { return g.get() == group; });
  return status;
}

MdfStatus MdfOpenGroup(MdfGroupRecord** group, MdfFileRecord* file, uint16_t number, uint16_t mode) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!file) return kMdfErrFileHandle;
    MdfGroupRecord* opened = nullptr;
    const MdfStatus s = OpenGroup(&opened, *file, number, mode);
    if (s == kMdfOk && group) *group = opened;
    return s;
  });
}

MdfStatus MdfCloseGroup(MdfGroupRecord* group) {
  return RunEntry(EntryKind::Closing, [group] { return group ? CloseGroup(group) : kMdfOk; });
}

MdfStatus MdfGetChannelCount(uint16_t* count, MdfGroupRecord* group) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    if (count) *count = static_cast<uint16_t>(group->cns.size());
    return kMdfOk;
  });
}

MdfStatus MdfGetRecordCount(uint32_t* count, MdfGroupRecord* group) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    if (count) *count = group->RecordCount();
    return kMdfOk;
  });
}

MdfStatus MdfSeekRecord(MdfGroupRecord* group, int32_t position, int mode) {
  return RunEntry(EntryKind::Checked, [&] { return group ? SeekRecord(*group, position, mode) : kMdfErrGroupHandle; });
}

size_t MdfGetRecordData(uint8_t** data, MdfGroupRecord* group) {
  size_t size = 0;
  RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    if (data) *data = group->recordIds != 0 ? group->buffer.data() : group->Record();
    size = group->recordSize + group->recordIds;
    return kMdfOk;
  });
  return size;
}

MdfStatus MdfGetRecordNumber(uint32_t* number, MdfGroupRecord* group) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    if (number) *number = group->recordNumber;
    return kMdfOk;
  });
}

MdfStatus MdfFirstGroup(MdfGroupRecord** group, MdfFileRecord* file) {
  return RunEntry(EntryKind::Checked, [&] {
    if (group) *group = nullptr;
    if (!file) return kMdfErrFileHandle;
    if (file->groups.empty()) return kMdfNoFurtherGroup;
    if (group) *group = file->groups.front().get();
    return kMdfOk;
  });
}

MdfStatus MdfNextGroup(MdfGroupRecord** group) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group || !*group) return kMdfNoFurtherGroup;
    const auto& groups = (*group)->file->groups;
    const auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.get() == *group; });
    if (it == groups.end() || std::next(it) == groups.end()) {
      *group = nullptr;
      return kMdfNoFurtherGroup;
    }
    *group = std::next(it)->get();
    return kMdfOk;
  });
}

MdfStatus MdfWriteRecord(MdfGroupRecord* group) {
  return RunEntry(EntryKind::Checked, [&] { return group ? WriteRecord(*group) : kMdfErrGroupHandle; });
}

MdfStatus MdfAppendRecord(MdfGroupRecord* group) {
  return RunEntry(EntryKind::Checked, [&] { return group ? AppendRecord(*group) : kMdfErrGroupHandle; });
}

MdfStatus MdfCountAllChannels(uint32_t* total, MdfFileRecord* file) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!file) return kMdfErrFileHandle;
    uint32_t sum = 0;
    for (size_t n = 1; n <= file->groupCount; ++n) {
      MdfGroupRecord* group = nullptr;
      if (MdfStatus s = OpenGroup(&group, *file, static_cast<uint16_t>(n), kMdfOpenRead)) return s;
      sum += static_cast<uint32_t>(group->cns.size());
      if (MdfStatus s = CloseGroup(group)) return s;
    }
    if (total) *total = sum;
    return kMdfOk;
  });
}

}  // namespace dravo

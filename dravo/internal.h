// The steps that the library's entries share, outside the entry frame.
#pragma once

#include <cstdint>
#include <string>

#include "dravo/library.h"
#include "dravo/records.h"
#include "dravo/status.h"

namespace dravo {

// MdfClose's work: writes back what modifying needs (unless an error is
// recorded) and always releases the file with its groups and channels.
MdfStatus CloseFile(MdfFileRecord* file);
// MdfCloseGroup's work; always releases the group and its channels.
MdfStatus CloseGroup(MdfGroupRecord* group);
// MdfCloseChannel's work; always releases the channel unless committing its
// pending write fails while no error is recorded.
MdfStatus CloseChannel(MdfChannelRecord* channel);

MdfStatus SeekRecord(MdfGroupRecord& group, int64_t position, int mode);
MdfStatus WriteRecord(MdfGroupRecord& group);
MdfStatus AppendRecord(MdfGroupRecord& group);

// Works out how the channel's values are read and converted; again whenever
// its CN, CC or the group's record size change.
void PlanChannel(MdfChannelRecord& channel);
// Makes the group's record buffer anew for its CG's record size.
void MakeRecordBuffer(MdfGroupRecord& group);

// Reads the whole block structure of an open file (every block reachable from
// the header), converting VAX doubles when `convert` is set.
MdfStatus MdfReadStructure(MdfFileHandle& handle, MdfBlock** id, MdfBlock** hd, std::string* comment,
                           bool convert);

// The length of a DG's CG chain.
MdfStatus CountChannelGroups(MdfBlock& dg, size_t* count);

// Calls `visit(block)` for each block along the chain that starts at `head`'s
// link field `first` and goes on through each block's field `next`; a
// non-zero status of `visit` ends the walk with it. The structure read
// refused cycles; the walk is bounded by the blocks in the store all the same.
template <class Visit>
MdfStatus WalkChain(MdfBlock& head, uint32_t first, uint32_t next, Visit&& visit) {
  size_t steps = Lib().blocks.Count();
  MdfBlock* block = nullptr;
  if (MdfStatus s = MdfResolveLink(head, first, &block)) return s;
  while (block) {
    if (steps-- == 0) return MdfReportError(kMdfErrFileFormat);
    if (MdfStatus s = visit(*block)) return s;
    if (MdfStatus s = MdfResolveLink(*block, next, &block)) return s;
  }
  return kMdfOk;
}

}  // namespace dravo

// Unsorted MDF files for tests and benchmarks: one data group whose channel
// groups' records are interleaved, each record led by its group's id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/mdf_writer.h"

namespace testsupport {

// A channel that depends on others: the CD block of channel `channel` of
// group `group` names, in order, the (group, channel) pairs of `on`.
// An index past the groups or channels writes 0 for that reference.
struct DependencyDef {
  size_t group = 0, channel = 0;
  std::vector<std::pair<size_t, size_t>> on{};
};

struct UnsortedDef {
  IdSpec id{.formatId = "3.00    ", .version = 300};
  HdSpec hd{};
  std::string fileComment{};
  // PR data as stored; with `escapedProgram` the block's length field is
  // 0xFFFF and the data must begin with the block's 32-bit length.
  std::optional<std::string> programData{};
  bool escapedProgram = false;
  // The channel groups, each with its own record id (GroupDef::recordId);
  // GroupDef::recordIds is ignored for the data group's `recordIds`.
  std::vector<GroupDef> groups{};
  uint16_t recordIds = 1;
  // The group of each record in turn; empty: one record of each group in
  // turn while any has records left.
  std::vector<size_t> order{};
  // A TR block with this comment and `triggers` entries.
  std::optional<std::string> triggerComment{};
  uint16_t triggers = 1;
  std::vector<DependencyDef> dependencies{};
  // 30-byte CG blocks whose sample-reduction link points at a block.
  bool sampleReduction = false;
};

// Offsets of what BuildUnsortedFile wrote.
struct BuiltUnsorted {
  MdfWriter writer{};
  uint32_t hd = 0, dg = 0, data = 0, trigger = 0, program = 0;
  std::vector<BuiltGroup> groups{};  // dg and data are the one data group's
  // Each group's records without ids, concatenated, as an independent walk should find them.
  std::vector<std::string> records{};
};

BuiltUnsorted BuildUnsortedFile(const UnsortedDef& def);

// The PR data of an escaped block of `length` bytes in all: its 32-bit
// length, "SpecialJobData" and a fill that varies from byte to byte.
std::string EscapedProgramData(uint32_t length);

// A large unsorted file streamed to disk: ID, HD, one DG with record ids and
// four CGs of record sizes 16, 24, 40 and 64 (ids 1 to 4), each with a time
// channel (double, start bit 0) and 32-bit channels filling the record, then
// the records, about `bytes` of them, interleaved in an irregular order drawn
// from `seed`. Record r of group g holds time r / 1000 and in its 32-bit
// word k the value UnsortedStreamWord(g, r, k).
struct StreamedUnsorted {
  uint64_t fileBytes = 0;
  std::vector<uint32_t> records;  // per group
};
inline constexpr uint16_t kStreamRecordSizes[4] = {16, 24, 40, 64};
inline uint32_t UnsortedStreamWord(uint32_t group, uint32_t record, uint32_t word) {
  return record * 2654435761u + group * 40503u + word;
}
// False when the file cannot be written.
bool WriteUnsortedStream(const std::string& path, uint64_t bytes, uint64_t seed, StreamedUnsorted* out);

// ---- Independent walks over a file's bytes ----

// One channel group with its records, ids dropped, in the order the data
// group stores them.
struct WalkedGroup {
  size_t dataGroup = 0;  // from 0 along the DG chain
  uint16_t recordId = 0, recordSize = 0;
  uint32_t recordCount = 0;
  uint32_t dataLink = 0;
  std::string records;
};
// Every channel group of the file, DG chain then CG chain order. An empty
// result with `error` set for a file whose records cannot be walked.
std::vector<WalkedGroup> WalkRecordsById(const std::string& file, std::string* error);

// Follows every link of the file from the HD: each must be 0 or point at a
// whole block of the kind its field names (texts for comments, names and
// range texts; CDs naming DG, CG and CN blocks; a 30-byte CG's
// sample-reduction link an "SR" block), and each DG's data link must lie
// inside the file. Returns one line per fault; empty when every link holds.
std::vector<std::string> CheckLinks(const std::string& file);

}  // namespace testsupport

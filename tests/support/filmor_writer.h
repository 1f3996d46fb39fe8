// Writes FILMOR files for tests: a schema in one of two forms and a document
// of channel groups encoded against it.
//
// The schema declares every member the reader knows (root 1-4, group
// information 1-22 with 22 a choice set, channel 1-14); the document writes
// the members a GroupSpec or ChannelSpec sets. The Plain form spells every
// type out in place; the OwnTypes form describes the same document through own
// types (aliases, references with dimensions, an implied-tag set, an ordered
// record, every dimension form) and longer varints: a reader must give the
// same result for both. Layout holds the faults tests inject; nothing is
// checked, so damaged files are as easy to write as good ones.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport::filmor {

// A varint: width 0 the shortest form, else 1, 3 or 7 bytes.
std::string Varint(uint64_t value, int width = 0);
// Schema bytes with their checksum appended (plus `delta`).
std::string WithChecksum(const std::string& nodes, int delta = 0);

struct ChannelSpec {
  std::optional<std::string> name;                  // 1
  std::optional<std::string> label;                 // 2
  std::optional<std::array<double, 4>> points;      // 3: p1, r1, p2, r2
  std::optional<std::string> unit;                  // 4
  std::optional<std::array<double, 2>> range;       // 5
  std::optional<std::array<double, 2>> rawScaling;  // 9: factor, offset
  std::optional<uint8_t> type;                      // 10
  std::optional<uint8_t> width;                     // 11
  bool skippedMembers = false;                      // 6, 7, 8, 12, 13, 14
};

struct GroupSpec {
  std::optional<std::string> comment;         // 2
  bool unscaled = false;                      // 7
  std::optional<std::pair<double, int16_t>> interval;  // 8: mantissa, exponent
  std::optional<int64_t> recordCount;         // 11
  bool skippedMembers = false;                // 1, 3-6, 9, 10, 12-21
  std::string extraInformation;               // raw (tag, value) pairs after the others
  std::vector<ChannelSpec> channels;
  std::string records;                        // the data bytes
  bool withInformation = true, withChannels = true, withData = true;
};

struct Document {
  bool header = true;
  std::string headerText = "FILMOR";
  std::array<uint8_t, 4> version = {1, 0, 1, 0};
  bool rootSkippedMembers = false;  // members 2 and 4
  std::vector<GroupSpec> groups;
};

enum class SchemaForm { Plain, OwnTypes };

// The first own type code of the OwnTypes form; the Plain form uses
// kFirstOwnCode when it has extra own types.
inline constexpr uint32_t kOwnTypesFirstCode = 100;
inline constexpr uint32_t kFirstOwnCode = 56;
// Own types of the OwnTypes form, before any extra ones.
inline constexpr uint32_t kOwnTypesCount = 12;

struct Layout {
  SchemaForm form = SchemaForm::Plain;
  uint32_t magic = 0x03F15477;
  int checksumDelta = 0;
  // Raw own type nodes after the form's own (the Plain form has none).
  std::vector<std::string> extraOwnTypes;
  // Raw type node of root member 2 and the raw value written for it.
  std::optional<std::string> rootMember2Node;
  std::optional<std::string> rootMember2Value;
  std::string schemaTail;                     // bytes after the root node
  std::optional<std::string> schemaOverride;  // the whole schema, checksum included
  std::optional<size_t> truncateTo;           // file length
};

std::string WriteFilmorFile(const Document& document, const Layout& layout = {});
// The first own type code the layout's schema uses.
uint32_t FirstOwnCode(const Layout& layout);

}  // namespace testsupport::filmor

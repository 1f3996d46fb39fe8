// The type schema of a FILMOR file: a checksummed list of own types and a root
// type, against which the document value that follows it is encoded.
//
// Schema bytes (L of them): varint F (first own type code); when F is not 0,
// varint N and N own type nodes (codes F..F+N-1); the root node; a 16-bit
// little-endian checksum, the wrap-around sum of the bytes before it.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string_view>
#include <vector>

namespace filmor {

// Node codes: 0..55 built in, 56 a reference to an own type.
inline constexpr uint32_t kCodeRecord = 1;  // ordered record
inline constexpr uint32_t kCodeReference = 56;
// Codes up to this one are composite (records, tagged sets, dimension forms):
// an own type of such a code is referred to, never aliased.
inline constexpr uint32_t kLastCompositeCode = 28;

// Flags of the built-in codes.
inline constexpr uint8_t kFlagDimensionForm = 0x01;
inline constexpr uint8_t kFlagComposite = 0x02;
inline constexpr uint8_t kFlagChoice = 0x04;
inline constexpr uint8_t kFlagTagged = 0x08;
inline constexpr uint8_t kFlagImpliedTags = 0x10;
inline constexpr uint8_t kFlagVariable = 0x20;
inline constexpr uint8_t kFlagFixed = 0x40;

// Limits on a schema.
inline constexpr uint32_t kMaxNesting = 64;  // levels of members and references

struct TypeNode {
  uint32_t number = 0;  // tag inside the parent set, or the own type's index from 1
  uint32_t code = 0;
  uint8_t flags = 0;         // of the built-in code; 0 for references
  uint8_t elementSize = 0;   // of the built-in code
  std::vector<uint32_t> dims;  // a 0 stands for a count read from the data
  const TypeNode* ref = nullptr;  // the own type of a reference
  uint64_t fixedSize = 0;         // bytes of every value, 0 when variable
  std::vector<const TypeNode*> members;
  uint32_t depth = 1;  // levels of this node, its members and what it refers to

  bool IsReference() const { return code == kCodeReference; }
  bool IsRecord() const { return !IsReference() && flags == kFlagComposite; }
  bool IsTaggedSet() const { return !IsReference() && (flags & kFlagTagged) != 0; }
  bool IsChoice() const { return (flags & kFlagChoice) != 0; }
  // Built-in leaf types: a count, then count elements of elementSize bytes.
  bool IsElementary() const { return !IsReference() && (flags & kFlagComposite) == 0; }
  // The member with this tag, or none.
  const TypeNode* MemberByTag(uint64_t tag) const;
};

enum class SchemaStatus {
  Ok,
  TooShort,      // 2 bytes or fewer
  BadChecksum,
  BadNode,       // unknown code, wrong dimensions or member list, sizes beyond 64 bits
  BadReference,  // to itself, to a later own type or outside the own types
  TooDeep,       // nesting beyond kMaxNesting
  LeftOver,      // the nodes end before the checksum
};
const char* SchemaStatusText(SchemaStatus status);

class Schema {
 public:
  const TypeNode* Root() const { return root_; }
  size_t OwnTypeCount() const { return ownTypes_.size(); }

 private:
  friend class SchemaParser;
  std::deque<TypeNode> nodes_;  // every node; addresses stay put
  std::vector<const TypeNode*> ownTypes_;
  const TypeNode* root_ = nullptr;
};

struct SchemaResult {
  SchemaStatus status = SchemaStatus::Ok;
  uint64_t offset = 0;  // within the schema bytes, where parsing stopped
};

// Checks the checksum and parses the own types and the root node.
SchemaResult ParseTypeSchema(std::span<const uint8_t> bytes, Schema& schema);

// A varint from memory: below 0xFF one byte; else a 16-bit value unless
// 0xFFFF; else a 32-bit value, 0xFFFFFFFF giving 0. Bytes past the end give 0
// and leave the position at the end.
uint32_t ReadVarUInt(std::span<const uint8_t> bytes, size_t& pos);

}  // namespace filmor

// Reading a FILMOR document value against its schema, straight from the file.
//
// Value encoding by node: a fixed size s: s bytes; a built-in leaf type: a
// count, then count elements; a reference: a count, then count values of the
// own type; an ordered record: its members in order; a tagged set: a count,
// then per element (tag, value) pairs ended by tag 0. A count is the product
// of the node's dimensions, each 0 replaced by a varint from the data; no
// dimensions count 1. Ordered records with dimensions and the choice forms
// cannot be read.
#pragma once

#include <cstdint>
#include <string>

#include "smallimports/filmor/filmor_schema.h"
#include "smallimports/support/file_cursor.h"

namespace filmor {

enum class ValueError {
  None,
  UnknownTag,    // a tag that names no member of its set
  Unreadable,    // a form that cannot be read here (choice forms, records with dimensions)
  Truncated,     // the value runs past the end of the file
  CountOverflow, // a count beyond 64 bits
  TooManySteps,  // more values than the file's size allows (zero-byte elements)
};

// Collected bytes kept per value; the rest of a longer value is skipped.
inline constexpr uint64_t kMaxValueBytes = 64 * 1024;
// Values visited per byte of the file, plus a base: bounds the walk over
// elements that take no bytes.
inline constexpr uint64_t kStepsPerFileByte = 16;
inline constexpr uint64_t kBaseSteps = 1 << 20;

class ValueReader {
 public:
  explicit ValueReader(smallimports::FileCursor& file);

  smallimports::FileCursor& File() { return file_; }
  bool Failed() const { return error_ != ValueError::None; }
  ValueError Error() const { return error_; }
  uint64_t ErrorOffset() const { return errorOffset_; }
  // Notes the first error and where it happened; returns false.
  bool Fail(ValueError error);

  // A varint from the file (1, 3 or 7 bytes); false at the file's end.
  bool ReadVarint(uint32_t& value);
  // The element count of a node's value, reading a varint for each 0 dimension.
  bool ReadCount(const TypeNode& node, uint64_t& count);
  bool SkipValue(const TypeNode& node) { return Walk(node, nullptr); }
  // The bytes of a value (counts and tags left out), at most kMaxValueBytes.
  bool ReadValue(const TypeNode& node, std::string& bytes) {
    bytes.clear();
    return Walk(node, &bytes);
  }
  // Calls fn(set) once per tagged-set element of the value, where the node is
  // a tagged set or refers to one; fn reads the element (SetElement) and
  // returns false to stop.
  template <class Fn>
  bool ForEachElement(const TypeNode& node, Fn&& fn);
  // Counts one visited value against the budget.
  bool Step();

 private:
  bool Walk(const TypeNode& node, std::string* out);
  bool Take(uint64_t bytes, std::string* out);

  smallimports::FileCursor& file_;
  uint64_t stepsLeft_;
  ValueError error_ = ValueError::None;
  uint64_t errorOffset_ = 0;
};

// One element of a tagged set: its members are found in rising tag order.
class SetElement {
 public:
  SetElement(ValueReader& reader, const TypeNode& set) : reader_(reader), set_(set) {}
  // The member with this tag, positioned at its value, which the caller must
  // read or skip; none when the element does not hold it (or on an error,
  // which the reader then holds). Lower members are skipped; a higher one is
  // kept for a later call.
  const TypeNode* FindMember(uint32_t tag);
  // Skips the remaining members up to the closing tag 0.
  bool Leave();

 private:
  bool NextTag(uint32_t& tag);

  ValueReader& reader_;
  const TypeNode& set_;
  uint32_t pending_ = 0;
  bool ended_ = false;
};

template <class Fn>
bool ValueReader::ForEachElement(const TypeNode& node, Fn&& fn) {
  if (!Step()) return false;
  uint64_t count = 0;
  if (node.IsReference()) {
    if (!ReadCount(node, count)) return false;
    for (uint64_t i = 0; i < count; ++i)
      if (!ForEachElement(*node.ref, fn)) return false;
    return true;
  }
  if (!node.IsTaggedSet() || node.IsChoice()) return Fail(ValueError::Unreadable);
  if (!ReadCount(node, count)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    if (!Step() || !fn(node)) return false;
  }
  return true;
}

}  // namespace filmor

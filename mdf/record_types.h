// How the record readers see a channel: the class of its data type and
// where its value lies within a record. Shared by the decoding kernels, the
// raw copiers, the group decoder and the grid.
#pragma once

#include <algorithm>
#include <cstdint>

#include "mdf/blocks.h"

namespace mdf::detail {

// How the readers see a channel's data type.
enum class Kind {
  None,   // no numeric value (4 to 7, and above 16 where the reader says so)
  Bytes,  // type 8: no numeric value, stored bytes in the raw readers
  UInt,
  Int,
  Float,
};

// Types above 16: DecodeValues and ReadChannelValues decode them as unsigned
// integers; the other readers have no value for them.
enum class Above16 { Unsigned, None };

struct TypeClass {
  Kind kind;
  bool motorola;
};

inline TypeClass Classify(uint16_t type, Above16 above) {
  switch (type) {
    case 0: case 13: return {Kind::UInt, false};
    case 1: case 14: return {Kind::Int, false};
    case 2: case 3: case 15: case 16: return {Kind::Float, false};
    case 4: case 5: case 6: case 7: return {Kind::None, false};
    case 8: return {Kind::Bytes, false};
    case 9: return {Kind::UInt, true};
    case 10: return {Kind::Int, true};
    case 11: case 12: return {Kind::Float, true};
    default: return {above == Above16::Unsigned ? Kind::UInt : Kind::None, false};
  }
}

// Where a channel's value starts within a record.
struct Placement {
  uint64_t firstByte;
  uint32_t shift;  // bit shift within the first byte
  uint32_t bits;
};

inline Placement PlaceChannel(const CCNBlock& cn, uint16_t recordIds) {
  return {static_cast<uint64_t>(cn.GetStartOffset() / 8) + (recordIds != 0 ? 1 : 0) +
              cn.GetAdditionalByteOffset(),
          static_cast<uint32_t>(cn.GetStartOffset() & 7u), cn.GetNumberOfBits()};
}

// Bytes of [firstByte, firstByte + bytes) that lie within a record of `recordLength`.
inline uint32_t BytesWithin(uint64_t firstByte, uint32_t bytes, uint32_t recordLength) {
  if (firstByte >= recordLength) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, recordLength - firstByte));
}

}  // namespace mdf::detail

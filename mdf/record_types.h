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
  None,   // no value the readers know (above 16)
  Text,   // type 7: characters, shown by the grid and copied by the value-and-time reader
  Bytes,  // type 8: a byte array, its stored bytes in the raw readers
  UInt,
  Int,
  Float,  // IEEE 754 single (32 bits) or double (64 bits)
  VaxF,   // type 4, 32 bits
  VaxG,   // type 5, 64 bits
  VaxD,   // type 6, 64 bits
};

struct TypeClass {
  Kind kind;
  bool motorola;
};

// Types 0 to 3 are stored in the file's default byte order (the ID block's
// field: `motorolaDefault` when it names Motorola), 9 to 12 in Motorola and
// 13 to 16 in Intel order whatever the default; the VAX types in their own.
inline TypeClass Classify(uint16_t type, bool motorolaDefault) {
  switch (type) {
    case 0: return {Kind::UInt, motorolaDefault};
    case 1: return {Kind::Int, motorolaDefault};
    case 2: case 3: return {Kind::Float, motorolaDefault};
    case 4: return {Kind::VaxF, false};
    case 5: return {Kind::VaxG, false};
    case 6: return {Kind::VaxD, false};
    case 7: return {Kind::Text, false};
    case 8: return {Kind::Bytes, false};
    case 9: return {Kind::UInt, true};
    case 10: return {Kind::Int, true};
    case 11: case 12: return {Kind::Float, true};
    case 13: return {Kind::UInt, false};
    case 14: return {Kind::Int, false};
    case 15: case 16: return {Kind::Float, false};
    default: return {Kind::None, false};
  }
}

inline bool IsInteger(Kind kind) { return kind == Kind::UInt || kind == Kind::Int; }
inline bool IsFloat(Kind kind) {
  return kind == Kind::Float || kind == Kind::VaxF || kind == Kind::VaxG || kind == Kind::VaxD;
}

// Whether values of the kind and bit count have a numeric decoding: integers
// of 1 to 64 bits, IEEE singles and doubles, VAX F of 32 and G and D of 64 bits.
inline bool HasNumericForm(Kind kind, uint32_t bits) {
  switch (kind) {
    case Kind::UInt: case Kind::Int: return bits >= 1 && bits <= 64;
    case Kind::Float: return bits == 32 || bits == 64;
    case Kind::VaxF: return bits == 32;
    case Kind::VaxG: case Kind::VaxD: return bits == 64;
    default: return false;
  }
}

// What the readers take from a data group to place a channel in its records.
struct RecordLayout {
  uint32_t length = 0;  // record size + record-identifier bytes
  uint16_t ids = 0;     // record identifiers per record
  bool motorolaDefault = false;  // the file's default byte order is Motorola
};

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

// The copying of a channel's stored values out of records, as the raw readers
// give them: one element per record at the size of its host container, the
// value's bytes in Intel order. Integers keep their bit shift and unused bits
// (the receiver cuts the field out), floats at a bit shift are shifted into
// place; nothing is converted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mdf/record_types.h"

namespace mdf::detail {

// The host container of a value of `bytes` bytes: 1, 2, 4 or 8 (wider ones at their own size).
uint32_t ContainerSize(uint32_t bytes);

// Bytes a channel's value occupies in its record: for integers every byte
// its bits touch from the shift on, for other types (bit count + 7) / 8.
uint32_t StoredBytes(uint16_t type, uint32_t shift, uint32_t bits);

// The raw readers: GetRawDataContent gives integers, IEEE floats and byte
// arrays; GetDataAndTimeContent texts as well.
enum class RawReader { Values, ValuesAndTime };
bool HasStoredForm(Kind kind, uint32_t bits, RawReader reader);

struct RawCopier {
  size_t firstByte = 0;
  uint32_t bytes = 0;    // of the value in its record
  uint32_t within = 0;   // of them within the record
  uint32_t element = 0;  // container size
  bool reverse = false;
  // A float at a bit shift: its bits are taken out of `bytes` bytes.
  bool shifted = false;
  uint32_t shift = 0, bits = 0;
  bool isDouble = false;  // elements are 64-bit floats
};

RawCopier MakeRawCopier(const CCNBlock& cn, const RecordLayout& layout);

// One element: the value's bytes (reversed for Motorola), zero-extended.
void CopyRaw(const RawCopier& c, const uint8_t* record, uint8_t* dest);

// The elements of n records `stride` bytes apart.
void CopyRawRecords(const RawCopier& c, const uint8_t* record, size_t stride, size_t n, uint8_t* dest);

}  // namespace mdf::detail

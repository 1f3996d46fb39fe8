// The copying of a channel's stored values out of records, as the raw readers
// give them: one element per record at the size of its host container, the
// value's bytes in Intel order, nothing shifted, masked or converted.
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

// Which types the raw readers give zeros for: GetRawDataContent 4 to 7,
// GetDataAndTimeContent 4 to 6 (it copies text bytes); both above 16.
enum class RawReader { Values, ValuesAndTime };

struct RawCopier {
  size_t firstByte = 0;
  uint32_t bytes = 0;    // (bit count + 7) / 8
  uint32_t within = 0;   // of them within the record
  uint32_t element = 0;  // container size
  bool reverse = false;
  bool zeros = false;
  bool isDouble = false;  // elements are 64-bit floats
};

RawCopier MakeRawCopier(const CCNBlock& cn, uint16_t recordIds, uint32_t recordLength, RawReader reader);

// One element: the value's bytes (reversed for Motorola), zero-extended; bytes
// beyond the record read as zero.
void CopyRaw(const RawCopier& c, const uint8_t* record, uint8_t* dest);

// The elements of n records `stride` bytes apart.
void CopyRawRecords(const RawCopier& c, const uint8_t* record, size_t stride, size_t n, uint8_t* dest);

}  // namespace mdf::detail

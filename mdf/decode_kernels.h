// The decoding of one channel's numeric values from records in memory. A
// decoder is made once per channel: its kernel is chosen by the channel's
// type, width, bit position, byte order and conversion, so that the loop over
// the records tests nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mdf/record_types.h"

namespace mdf {
class CCCBlock;
}

namespace mdf::detail {

struct Decoder;
using Kernel = void (*)(const Decoder& d, const uint8_t* records, size_t n, double* out);

// Everything a kernel needs, worked out once per channel.
struct Decoder {
  Kernel kernel = nullptr;
  size_t stride = 0;     // record length
  size_t firstByte = 0;  // of the value within its record
  // Integer kernels: value = (word << left) >> right, word being the value's bytes.
  unsigned left = 0, right = 0;
  // The general kernel: the field's bytes, those of them within the record,
  // its shift, bit count and kind.
  uint32_t bytes = 0, within = 0, shift = 0, bits = 0;
  Kind kind = Kind::None;
  bool motorola = false;
  // A linear conversion is done inside the kernel; any other one afterwards.
  bool linear = false;
  double factor = 1, offset = 0;
  const CCCBlock* conversion = nullptr;
};

// A value takes every byte its field occupies (bit shift + bit count), in
// the channel's byte order: the first byte is the least significant one in
// Intel order and the most significant one in Motorola order; the bits are
// shifted and cut to the bit count, then read as an integer, an IEEE or a VAX float.
Decoder MakeDecoder(const CCNBlock& cn, const RecordLayout& layout, bool convert);

// Decodes n consecutive records.
void RunDecoder(const Decoder& d, const uint8_t* records, size_t n, double* out);

}  // namespace mdf::detail

// The host value type of a channel: in which code (DTyp) and in how many
// bytes the flat data space holds its values, how a bit field lies in them,
// and the NoValue a signal gets when the channel has none of its own.
#pragma once

#include <cstdint>

namespace mdf {
class CCNBlock;
}

namespace pellor {

struct HostType {
  int32_t DTyp = 0;      // 0: the channel has no usable type (integers of more than 64 bits)
  int32_t STyp = 0;      // 4 for one-bit integer channels
  int32_t bytes = 0;     // of one value in the flat data space
  int32_t BitSize = 0;   // (bits - 1) << 8 | bit shift, for bit fields and 64-bit forms
  bool converted = false;  // values are delivered as decoded doubles
  double noValue = 0;    // the default NoValue
};

// The NoValue of a channel whose type gives none.
inline constexpr double kUnsetNoValue = 1e308;

// Integers are delivered in the smallest container of 1, 2, 4 or 8 bytes
// that holds every byte their bits touch (bit shift + bit count); a field
// that does not fill its container exactly is a bit field, whose BitSize
// tells the host its bit count and shift. One-bit channels get no default
// NoValue: either value would blank half of a digital signal.
// `compose`: the import composes its values into doubles.
HostType SelectHostType(const mdf::CCNBlock& channel, bool compose);

}  // namespace pellor

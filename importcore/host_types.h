// The host's value-type codes (DTyp): how a signal's values are stored in the
// flat data space, the bytes each value takes, and the conversion of stored
// values to doubles and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace importcore {

namespace dtyp {
inline constexpr int32_t kNone = 0;  // no usable type (integers of more than 64 bits)
inline constexpr int32_t kUInt8 = 4, kInt8 = 5, kUInt16 = 6, kInt16 = 7, kUInt32 = 8, kInt32 = 9;
inline constexpr int32_t kFloat32Alt = 10, kFloat32 = 11, kFloat64Alt = 12, kFloat64 = 13;
inline constexpr int32_t kDigital = 18;  // in the digital-signal modules
inline constexpr int32_t kUBits8 = 16, kSBits8 = 17, kUBits16 = 18, kSBits16 = 19;
inline constexpr int32_t kUInt24 = 28, kInt24 = 29, kUBits32 = 30, kSBits32 = 31;
inline constexpr int32_t kUInt64 = 32, kInt64 = 33;
inline constexpr int32_t kCount = 34;  // the size table covers codes 0 to 33
}  // namespace dtyp

// Bytes one value of the code takes; 0 for a code outside 0 to 33 or without a size.
uint32_t DTypSize(int32_t code);

// One stored value (DTypSize(code) bytes, little-endian) as a double: bit
// fields as their container, 24-bit values from the low 24 bits of a 32-bit
// word (code 29 sign-extended); 0.0 for a code without a numeric form.
double SampleToDouble(const uint8_t* value, int32_t code);
// Converts `count` consecutive values; the code is looked at once, not per value.
void SamplesToDouble(const uint8_t* values, int32_t code, std::span<double> out);
// Stores `value` as one value of the code: integers rounded to the nearest and
// saturated to the code's range (NaN stores 0), floats as they are. Writes
// DTypSize(code) bytes; nothing for a code without a numeric form.
void DoubleToSample(double value, int32_t code, uint8_t* out);

}  // namespace importcore

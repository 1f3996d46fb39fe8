// Steps of the DBC reader that stand on their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pellor {

// The multiplex value of an indicator "m<value>", the value written in decimal,
// in hexadecimal after "0x" or in octal after a leading 0 and using the whole
// rest of the text; none when the text is not of that form or the value
// exceeds int32.
std::optional<int32_t> ParseMuxValue(std::string_view indicator);

// The layout of a Motorola signal whose most significant bit is the DBC start
// bit `startBit` and that is `length` bits long.
struct MotorolaLayout {
  int32_t startBit;  // see CanSig::StartBit()
  bool spansBytes;   // false: within one byte, read as an Intel field
};
MotorolaLayout MotorolaStartBit(int32_t startBit, int32_t length);

}  // namespace pellor

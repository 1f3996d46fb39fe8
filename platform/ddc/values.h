// Reading a channel's values [first, first + count) from wherever the model
// says they lie. The range must lie within the channel's count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ddc/model.h"

namespace ddc {

// Numbers and booleans, packed at the channel type's size in the machine's byte order.
Status ReadNumbers(const File& file, const Channel& channel, uint64_t first, uint64_t count,
                   uint8_t* out);
Status ReadTimestamps(const File& file, const Channel& channel, uint64_t first, uint64_t count,
                      Timestamp* out);
// Texts in Windows-1252, appended to `out`.
Status ReadTexts(const File& file, const Channel& channel, uint64_t first, uint64_t count,
                 std::vector<std::string>& out);

// Stored numbers of type `stored` (file byte order as told) to doubles
// p0 + p1 * value; false for a type that is no number.
bool ToLinearDoubles(DDCDataType stored, const uint8_t* src, bool big_endian, uint64_t count,
                     double p0, double p1, uint8_t* dst);

}  // namespace ddc

// Helpers shared by the blocks' property rows.
#pragma once

#include <cstdint>
#include <string>

#include "mdf/list_control.h"

namespace mdf {

// Gives the list the two columns "Property" (width 100) and "Contents" (width 300)
// unless it has them already; a list that has them keeps its widths. Decided
// per list rather than once per process, so that every list a block writes
// into (a new one included) ends up with the two columns.
void ResetInfoColumns(IListControl& list);
// "%lu, 0x%lX" of a 32-bit value: decimal, then hexadecimal.
std::string DecHex(uint32_t value);
// "%d, 0x%lX" of a 32-bit value.
std::string SignedDecHex(uint32_t value);

}  // namespace mdf

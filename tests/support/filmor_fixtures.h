// The FILMOR fixtures the tests and the fuzz seeds share: all_columns (one
// group with a channel of every column type) and two_groups.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "tests/support/filmor_writer.h"

namespace testsupport::filmor {

// The columns of all_columns: column type (none: the default 4) and width
// (none: the default 2), with the host type and value size they make.
struct ColumnDef {
  std::optional<uint8_t> type;
  std::optional<uint8_t> width;
  int dtyp;
  int valueSize;
};
inline const ColumnDef kColumns[] = {
    {2, 1, 4, 1},    {3, 1, 5, 1},    {4, 2, 6, 2},   {5, 2, 7, 2},   {6, 4, 8, 4},   {7, 4, 9, 4},
    {16, 1, 4, 1},   {17, 1, 5, 1},   {18, 2, 6, 2},  {19, 2, 7, 2},  {20, 4, 8, 4},  {21, 4, 9, 4},
    {32, 4, 11, 4},  {48, 4, 11, 4},  {8, 8, 13, 8},  {9, 8, 13, 8},  {33, 8, 13, 8}, {34, 10, 13, 8},
    {1, 2, 13, 8},   {2, 0, 0, 0},    {4, 4, 6, 2},   {6, 2, 8, 4},   {{}, {}, 6, 2},
};
inline constexpr size_t kColumnCount = std::size(kColumns);
inline constexpr size_t kZeroWidth = 19;     // makes no signal
inline constexpr size_t kNoConversion = 18;  // type 1, which has no conversion: no signal
inline constexpr size_t kNarrow = 21;        // a 4-byte type in a 2-byte column: no signal
inline constexpr bool MakesSignal(size_t c) { return c != kZeroWidth && c != kNoConversion && c != kNarrow; }
inline constexpr size_t kSignalCount = kColumnCount - 3;
inline constexpr int kRecords = 5;

// Little-endian bytes of a number, and of a double.
std::string LE(uint64_t v, size_t n);
std::string DoubleBytes(double d);
// The bytes of column c in record r of all_columns.
std::string ColumnBytes(size_t c, int r);
// One group of kRecords records: interval mantissa -2 exponent 3, a comment,
// skipped members everywhere, scaling on columns 3, 15 and 16.
Document AllColumns();
// 10 records of one 2-byte column, a group of no records, 10 more unscaled.
Document TwoGroups();
ChannelSpec Channel(const std::string& name);

}  // namespace testsupport::filmor

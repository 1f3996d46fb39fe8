// Checks the layout of each variable of a MAT-file before libmatio reads it.
// libmatio sizes its buffers from an array's dimensions and then reads as
// many values as those announce, whatever the file holds: a data element
// shorter than the dimensions, of an unknown type, or cut off by the end of
// the file yields values that were never in the file. The check walks the
// same elements that libmatio will read and accepts a variable only when
// every element lies inside its parent, every data element holds exactly the
// values of its array, and arrays nest at most kMaxDepth deep.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/file.h"

namespace matlab {

// Arrays inside arrays (struct fields, cells) deeper than this are refused.
constexpr int kMaxDepth = 64;

enum class MatFormat {
  kLevel5,  // level 5 (version 0x0100), either byte order
  kHdf5,    // 7.3: an HDF5 container, its datasets checked once at opening
  kLevel4,  // no level-5 header: libmatio tries level 4
};

class LayoutCheck {
 public:
  // Opens the file (ANSI path) and tells its format as libmatio will take
  // it, from the 128-byte header. False when the file cannot be read, for a
  // level-4 candidate whose first record is not sound, and for a 7.3 file
  // with a dataset that does not hold its values.
  bool Open(const std::string& path);
  MatFormat Format() const { return format_; }

  // Checks the variable at the current position and moves past it. False at
  // the end of the file and for a damaged variable. Variables of a 7.3 file
  // pass (checked at opening).
  bool Next();

 private:
  bool NextLevel5();
  bool NextLevel4();
  bool FirstLevel4();

  winport::File file_;
  MatFormat format_ = MatFormat::kLevel4;
  bool swap_ = false;  // level 5: the file's byte order is not the machine's
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
};

}  // namespace matlab

// Access to a MAT-file through the libmat/libmx functions: the open file,
// fields of structs, char arrays as texts, numeric arrays of every class as
// doubles, and the search for a name through a file's variables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/matlab/mat.h"

namespace quenvo {

// A MAT-file open for reading. It owns every array it hands out until it is closed.
class MatFile {
 public:
  explicit MatFile(const std::string& path) : file_(matOpen(path.c_str(), "r")) {}
  ~MatFile() { Close(); }
  MatFile(const MatFile&) = delete;
  MatFile& operator=(const MatFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  MATFile* get() const { return file_; }
  // The next variable in file order; null at the end (or at one that cannot be read).
  const mxArray* Next() { return matGetNextVariable(file_, nullptr); }
  // matClose's result; 0 when the file is closed already.
  int Close() {
    if (!file_) return 0;
    const int result = matClose(file_);
    file_ = nullptr;
    return result;
  }

 private:
  MATFile* file_;
};

inline bool IsStruct(const mxArray* a) { return a && mxGetClassID(a) == mxSTRUCT_CLASS; }
inline bool IsChar(const mxArray* a) { return a && mxGetClassID(a) == mxCHAR_CLASS; }
inline bool IsDouble(const mxArray* a) { return a && mxGetClassID(a) == mxDOUBLE_CLASS; }
// Classes 6 to 15: double, single and the integers.
bool IsNumeric(const mxArray* a);
// M x N, the number of elements.
size_t ElementCount(const mxArray* a);

// The value of field `name` (exact name) of element `index`; null when the
// array is no struct, has no such field, or the value is unset or empty.
const mxArray* Field(const mxArray* structure, const char* name, size_t index = 0);

// The first N characters (N = the column count), each the low byte of its
// 16-bit code; "" for an array that is not char.
std::string MxCharToString(const mxArray* a);

// Converts elements [first, first + count) of a numeric array to doubles,
// written to out[0], out[stride], ... uint64 values convert unsigned, int64
// values signed. False (nothing written) when the array is not numeric or
// holds fewer elements.
bool ConvertNumbers(const mxArray* a, size_t first, size_t count, double* out, size_t stride = 1);
// The first element of a numeric array as a double; none for any other array.
std::optional<double> FirstNumber(const mxArray* a);
// The integer part of the first element of a numeric array in decimal; none
// for any other array and for a value that is not finite.
std::optional<std::string> IntegerText(const mxArray* a);

// How deep FindMatVariable looks into nested structs; deeper is a miss.
inline constexpr int kMaxSearchDepth = 32;

// Searches `name` (without regard to case) from `start`: a variable of that
// name, a field of that name (the hit is its value of element 1), or a hit
// inside a field value; a miss goes on with the file's following variables,
// at every depth of the search.
const mxArray* FindMatVariable(MatFile& file, const mxArray* start, std::string_view name, int depth = 0);
// Searches each name inside the previous hit; null as soon as one misses.
const mxArray* FindMatPath(MatFile& file, const mxArray* start, std::initializer_list<std::string_view> names);

}  // namespace quenvo

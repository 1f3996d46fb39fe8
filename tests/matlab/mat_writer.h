// Writes MAT-files for tests with libmatio's own writer, so that fixtures come
// from an independent implementation of the format. Values are built as
// matio variables; a variable belongs to the caller until it is written or
// set as a field value, which takes it over.
#pragma once

#include <matio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace matwriter {

// One MAT-file being written (level 5 by default; MAT_FT_MAT4 or
// MAT_FT_MAT73 for the others). Closed by Close or at destruction.
class MatFileWriter {
 public:
  explicit MatFileWriter(const std::string& path, mat_ft version = MAT_FT_MAT5,
                         matio_compression compression = MAT_COMPRESSION_NONE);
  ~MatFileWriter();
  MatFileWriter(const MatFileWriter&) = delete;
  MatFileWriter& operator=(const MatFileWriter&) = delete;

  bool IsOpen() const { return mat_ != nullptr; }
  // Writes the variable and frees it; false when matio refuses it.
  bool Write(matvar_t* var);
  bool Close();

 private:
  mat_t* mat_;
  matio_compression compression_;
};

// A numeric array of the given class and dimensions; values in column-major
// order, of the class's own type (double for MAT_C_DOUBLE, int16_t for
// MAT_C_INT16, ...). A null name makes a field value.
template <typename T>
matvar_t* Numbers(const char* name, matio_classes cls, std::vector<size_t> dims, const std::vector<T>& values);
matvar_t* Doubles(const char* name, size_t rows, size_t cols, const std::vector<double>& values);
// An empty 0 x 0 double array.
matvar_t* Empty(const char* name);
// A logical array (bytes 0 or 1).
matvar_t* Logical(const char* name, size_t rows, size_t cols, const std::vector<uint8_t>& values);
// A complex double array from real and imaginary parts.
matvar_t* Complex(const char* name, size_t rows, size_t cols, const std::vector<double>& re,
                  const std::vector<double>& im);
// A char array of rows x cols UTF-16 codes (column-major), handed to matio in
// the given storage: MAT_T_UINT16 (codes), MAT_T_UINT8 (low bytes) or
// MAT_T_UTF8 (encoded).
matvar_t* Chars(const char* name, size_t rows, size_t cols, const std::u16string& codes,
                matio_types storage = MAT_T_UINT16);
// A 1 x N char array.
matvar_t* Text(const char* name, const std::u16string& codes, matio_types storage = MAT_T_UINT16);
// A struct array with the given dimensions and field names, every field unset.
matvar_t* Struct(const char* name, std::vector<size_t> dims, const std::vector<std::string>& fields);
// Sets a field of element index (0-based, column-major) and takes the value.
void SetField(matvar_t* structure, const char* field, size_t index, matvar_t* value);

}  // namespace matwriter

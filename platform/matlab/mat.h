// The MAT-file reading functions of MATLAB's libmat (files) and libmx
// (arrays) that the MATLAB import module calls, and nothing more. The library
// libmatlab.so provides them over libmatio and exports exactly these twelve.
//
// Formats read: level 5 (compressed or not, either byte order), level 4 and
// 7.3 (HDF5) MAT-files.
//
// Ownership: an open file owns every array it handed out, together with the
// field values, names and data reached from it. Nothing is freed by the
// caller; matClose frees it all, after which no pointer obtained from the file
// may be used. One file and its arrays are used by one thread at a time.
//
// Null handling: every function takes a null file or array and answers 0,
// null, "" or -1 as stated below; nothing is reported through errno.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MatFile_tag MATFile;
typedef struct mxArray_tag mxArray;

// MATLAB's class numbers. Sparse arrays, objects, function handles and opaque
// values are reported as mxUNKNOWN_CLASS and carry no data.
typedef enum {
  mxUNKNOWN_CLASS = 0,
  mxCELL_CLASS = 1,
  mxSTRUCT_CLASS = 2,
  mxLOGICAL_CLASS = 3,
  mxCHAR_CLASS = 4,
  mxDOUBLE_CLASS = 6,
  mxSINGLE_CLASS = 7,
  mxINT8_CLASS = 8,
  mxUINT8_CLASS = 9,
  mxINT16_CLASS = 10,
  mxUINT16_CLASS = 11,
  mxINT32_CLASS = 12,
  mxUINT32_CLASS = 13,
  mxINT64_CLASS = 14,
  mxUINT64_CLASS = 15
} mxClassID;

// One character of a char array: a UTF-16 code unit.
typedef uint16_t mxChar;

// Opens a MAT-file for reading. mode must be "r"; any other mode, a path
// that is not a regular file, or a file that is no MAT-file gives null.
// The path is in the ANSI code page (Windows-1252).
MATFile* matOpen(const char* filename, const char* mode);

// Reads the next variable in file order. Null at the end of the file and at
// a variable that cannot be read; once null was returned, every later call
// returns null as well (a damaged variable ends the walk). When name is not
// null, *name receives the variable's name ("" with a null result); the text
// belongs to the file.
mxArray* matGetNextVariable(MATFile* file, const char** name);

// Closes the file and frees every array it handed out. 0 on success; -1 for
// a null file.
int matClose(MATFile* file);

// The array's class number (see mxClassID): a logical array is
// mxLOGICAL_CLASS, an empty array without class is mxDOUBLE_CLASS (0 x 0).
// mxUNKNOWN_CLASS for a null array.
mxClassID mxGetClassID(const mxArray* array);

// Rows: the first dimension. Columns: the product of all further dimensions.
// M x N is the number of elements. 0 for a null array.
size_t mxGetM(const mxArray* array);
size_t mxGetN(const mxArray* array);

// The elements in column-major order; non-null only when M x N > 0, and then
// it holds M x N elements:
//   classes 6 to 15: values of the class's own type (double, float, int8_t,
//                    uint8_t, ... uint64_t); of a complex array, the real parts;
//   char:            M x N mxChar codes, whatever the storage in the file;
//   logical:         M x N bytes, 0 or 1.
// Null for structs, cells, the unknown class and a null array.
void* mxGetData(const mxArray* array);

// The variable's name for an array returned by matGetNextVariable, "" for
// field values and for a null array. Never null.
const char* mxGetName(const mxArray* array);

// The number of fields of a struct; 0 for any other array and a null array.
int mxGetNumberOfFields(const mxArray* array);

// The name of field number n (0-based) of a struct; null when n is out of
// range or the array is no struct.
const char* mxGetFieldNameByNumber(const mxArray* array, int n);

// The number of the field named exactly name (case-sensitive); -1 when there
// is none, when the array is no struct, or for a null array or name.
int mxGetFieldNumber(const mxArray* array, const char* name);

// The value of field number field of element index (0-based, column-major)
// of a struct. Null when the array is no struct, index or field is out of
// range, the field is unset, or its value is empty (a dimension of 0).
mxArray* mxGetFieldByNumber(const mxArray* array, size_t index, int field);

#ifdef __cplusplus
}
#endif

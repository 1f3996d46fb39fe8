// MAT-file reading over libmatio. Each variable that matio reads is checked
// once as a whole (shapes, data sizes, field tables) before it is handed out;
// the arrays handed out are thin views of matio's tree, made on first use,
// and char and logical data are converted on first use.
#include "platform/matlab/mat.h"

#include <sys/stat.h>

#include <matio.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/matlab/layout.h"
#include "platform/win32/codepage.h"

namespace {

// matio reports problems through its log; the host's stderr is not the place.
void QuietLog(int, char*) {}

void InstallQuietLog() {
  static std::once_flag once;
  std::call_once(once, [] { Mat_LogInitFunc("matlab", QuietLog); });
}

bool IsNumeric(matio_classes c) { return c >= MAT_C_DOUBLE && c <= MAT_C_UINT64; }

bool Multiply(size_t a, size_t b, size_t& out) { return !__builtin_mul_overflow(a, b, &out); }

// The arrays a struct, cell or function handle holds in matio's table (null
// entries included); none when the table does not match the dimensions.
std::pair<matvar_t**, size_t> Children(const matvar_t& v) {
  size_t count = 1;
  if (!v.data || v.rank < 0 || (v.rank > 0 && !v.dims)) return {nullptr, 0};
  for (int i = 0; i < v.rank; ++i)
    if (!Multiply(count, v.dims[i], count)) return {nullptr, 0};
  if (v.class_type == MAT_C_STRUCT && !Multiply(count, Mat_VarGetNumberOfFields(const_cast<matvar_t*>(&v)), count))
    return {nullptr, 0};
  size_t bytes;
  if (!Multiply(count, sizeof(matvar_t*), bytes) || v.nbytes < bytes) return {nullptr, 0};
  return {static_cast<matvar_t**>(v.data), count};
}

// Mat_VarFree of matio 1.5.23 and before frees the table of a function handle
// but not the arrays in it: those are freed here first, the innermost first.
void FreeVariable(matvar_t* var) {
  static const bool keepsHandleArrays = [] {
    int major, minor, release;
    Mat_GetLibraryVersion(&major, &minor, &release);
    return std::tie(major, minor, release) <= std::make_tuple(1, 5, 23);
  }();
  if (var && keepsHandleArrays) {
    std::vector<matvar_t*> pending{var}, handles;
    while (!pending.empty()) {
      matvar_t* v = pending.back();
      pending.pop_back();
      if (v->class_type != MAT_C_STRUCT && v->class_type != MAT_C_CELL && v->class_type != MAT_C_FUNCTION) continue;
      if (v->class_type == MAT_C_FUNCTION) handles.push_back(v);
      const auto [table, count] = Children(*v);
      for (size_t i = 0; i < count; ++i)
        if (table[i]) pending.push_back(table[i]);
    }
    for (auto h = handles.rbegin(); h != handles.rend(); ++h) {
      const auto [table, count] = Children(**h);
      for (size_t i = 0; i < count; ++i) Mat_VarFree(std::exchange(table[i], nullptr));
    }
  }
  Mat_VarFree(var);
}

mxClassID ClassOf(const matvar_t& v) {
  switch (v.class_type) {
    case MAT_C_EMPTY:
      return mxDOUBLE_CLASS;
    case MAT_C_CELL:
      return mxCELL_CLASS;
    case MAT_C_STRUCT:
      return mxSTRUCT_CLASS;
    case MAT_C_CHAR:
      return mxCHAR_CLASS;
    default:
      if (IsNumeric(v.class_type)) return v.isLogical ? mxLOGICAL_CLASS : static_cast<mxClassID>(v.class_type);
      return mxUNKNOWN_CLASS;  // object, sparse, function, opaque
  }
}

// The in-memory type matio gives a numeric class after reading, and its size.
matio_types StorageOf(matio_classes c) {
  switch (c) {
    case MAT_C_DOUBLE: return MAT_T_DOUBLE;
    case MAT_C_SINGLE: return MAT_T_SINGLE;
    case MAT_C_INT8: return MAT_T_INT8;
    case MAT_C_UINT8: return MAT_T_UINT8;
    case MAT_C_INT16: return MAT_T_INT16;
    case MAT_C_UINT16: return MAT_T_UINT16;
    case MAT_C_INT32: return MAT_T_INT32;
    case MAT_C_UINT32: return MAT_T_UINT32;
    case MAT_C_INT64: return MAT_T_INT64;
    case MAT_C_UINT64: return MAT_T_UINT64;
    default: return MAT_T_UNKNOWN;
  }
}

// Rows and columns (product of the further dimensions); false when the
// dimensions are missing or their product overflows.
bool Shape(const matvar_t& v, size_t& m, size_t& n) {
  m = n = 0;
  if (v.class_type == MAT_C_EMPTY || v.rank == 0) return true;
  if (v.rank < 0 || !v.dims) return false;
  m = v.dims[0];
  n = 1;
  for (int i = 1; i < v.rank; ++i)
    if (!Multiply(n, v.dims[i], n)) return false;
  size_t count;
  return Multiply(m, n, count);
}

// The bytes that hold the elements: of a complex array, its real parts.
const void* ElementBytes(const matvar_t& v) {
  if (!v.isComplex || !v.data) return v.data;
  return static_cast<const mat_complex_split_t*>(v.data)->Re;
}

// Calls f(index, value) for the first count values of the given storage type,
// as far as the available bytes hold them. False for an unknown type.
template <typename F>
bool ForEachValue(matio_types type, const void* data, size_t bytes, size_t count, F f) {
  auto each = [&](auto tag) {
    using T = decltype(tag);
    const size_t have = std::min(count, bytes / sizeof(T));
    const auto* p = static_cast<const T*>(data);
    for (size_t i = 0; i < have; ++i) f(i, static_cast<double>(p[i]));
    return true;
  };
  if (!data) return true;
  switch (type) {
    case MAT_T_DOUBLE: return each(double{});
    case MAT_T_SINGLE: return each(float{});
    case MAT_T_INT8: return each(int8_t{});
    case MAT_T_UINT8: return each(uint8_t{});
    case MAT_T_INT16: return each(int16_t{});
    case MAT_T_UINT16: return each(uint16_t{});
    case MAT_T_INT32: return each(int32_t{});
    case MAT_T_UINT32:
    case MAT_T_UTF32: return each(uint32_t{});
    case MAT_T_INT64: return each(int64_t{});
    case MAT_T_UINT64: return each(uint64_t{});
    default: return false;
  }
}

// Whether matio's tree of one variable keeps the promises of the accessors:
// shapes whose element count fits, numeric data of the class's type holding
// every element, char data holding every character, and a value for each
// field of each element.
bool Consistent(const matvar_t* root) {
  std::vector<const matvar_t*> pending{root};
  while (!pending.empty()) {
    const matvar_t& v = *pending.back();
    pending.pop_back();
    size_t m, n, count;
    if (!Shape(v, m, n)) return false;
    count = m * n;
    if (IsNumeric(v.class_type)) {
      if (count == 0) continue;
      const size_t size = Mat_SizeOf(StorageOf(v.class_type));
      size_t bytes;
      if (v.data_type != StorageOf(v.class_type) || !ElementBytes(v) || !Multiply(count, size, bytes) ||
          v.nbytes < bytes)
        return false;
    } else if (v.class_type == MAT_C_CHAR) {
      // The codes are made from the stored bytes: the storage must hold them
      // (UTF-8 at least a byte a character), so that they take no more memory
      // than the data read.
      const size_t size = v.data_type == MAT_T_UTF8 ? 1 : Mat_SizeOf(v.data_type);
      size_t bytes;
      if (count > 0 && (!v.data || size == 0 || !Multiply(count, size, bytes) || v.nbytes < bytes)) return false;
    } else if (v.class_type == MAT_C_STRUCT) {
      const size_t nfields = Mat_VarGetNumberOfFields(const_cast<matvar_t*>(&v));
      size_t slots;
      if (nfields > INT_MAX || !Multiply(count, nfields, slots)) return false;
      if (nfields > 0 && !Mat_VarGetStructFieldnames(&v)) return false;
      if (slots == 0) continue;
      // Every field value read from a file is an array, an empty one at
      // least: a missing table or value is a field matio failed to read.
      const auto [table, size] = Children(v);
      if (size != slots) return false;
      for (size_t i = 0; i < slots; ++i) {
        if (!table[i]) return false;
        pending.push_back(table[i]);
      }
    }
  }
  return true;
}

// The char codes of an array, M x N of them whatever matio's storage: 8-bit
// codes widened, UTF-8 decoded (fewer characters than M x N leave zeros),
// 16-bit codes as they are.
void ConvertText(const matvar_t& v, size_t count, std::vector<mxChar>& out) {
  out.assign(count, 0);
  const size_t bytes = v.data ? v.nbytes : 0;
  switch (v.data_type) {
    case MAT_T_UTF8: {
      const std::u16string decoded =
          winport::Utf8ToUtf16(std::string_view(static_cast<const char*>(v.data), bytes));
      std::copy_n(decoded.begin(), std::min(count, decoded.size()), out.begin());
      return;
    }
    case MAT_T_UINT8:
    case MAT_T_INT8: {
      const auto* p = static_cast<const uint8_t*>(v.data);
      for (size_t i = 0; i < std::min(count, bytes); ++i) out[i] = p[i];
      return;
    }
    case MAT_T_UINT16:
    case MAT_T_INT16:
    case MAT_T_UTF16:
      if (bytes) std::memcpy(out.data(), v.data, std::min(count, bytes / 2) * sizeof(mxChar));
      return;
    default:  // codes stored as numbers: those outside 16 bits become U+FFFD
      ForEachValue(v.data_type, v.data, bytes, count, [&](size_t i, double code) {
        out[i] = code >= 0 && code <= 0xFFFF ? static_cast<mxChar>(code) : 0xFFFD;
      });
  }
}

}  // namespace

struct mxArray_tag {
  mxArray_tag(matvar_t* v, bool top);
  ~mxArray_tag() {
    if (owner) FreeVariable(var);
  }
  mxArray_tag(const mxArray_tag&) = delete;
  mxArray_tag& operator=(const mxArray_tag&) = delete;
  // Finds or makes the data pointer (see mxGetData).
  void Resolve() const;

  matvar_t* var;  // checked by Consistent
  bool owner;     // a variable of the file (not a field value): frees matio's tree
  mxClassID classId;
  size_t m = 0;
  size_t n = 0;
  // Made on first use: the data pointer, converted char and logical data, and
  // the views of the field values (element-major, as matio keeps them).
  mutable bool resolved = false;
  mutable void* data = nullptr;
  mutable std::vector<mxChar> text;
  mutable std::vector<uint8_t> flags;
  mutable std::vector<std::unique_ptr<mxArray_tag>> fields;
};

struct MatFile_tag {
  ~MatFile_tag() {
    arrays.clear();
    if (mat) Mat_Close(mat);
  }
  mat_t* mat = nullptr;
  matlab::LayoutCheck layout;  // checks each variable before matio reads it
  bool ended = false;
  std::vector<std::unique_ptr<mxArray_tag>> arrays;
};

mxArray_tag::mxArray_tag(matvar_t* v, bool top) : var(v), owner(top), classId(ClassOf(*v)) {
  Shape(*v, m, n);  // checked by Consistent before any view is made
}

void mxArray_tag::Resolve() const {
  resolved = true;
  const matvar_t& v = *var;
  const size_t count = m * n;
  if (count == 0) return;
  switch (classId) {
    case mxCHAR_CLASS:
      ConvertText(v, count, text);
      data = text.data();
      return;
    case mxLOGICAL_CLASS:
      if (Mat_SizeOf(v.data_type) == 1) {
        data = const_cast<void*>(ElementBytes(v));
      } else {
        flags.assign(count, 0);
        ForEachValue(v.data_type, ElementBytes(v), v.nbytes, count,
                     [&](size_t i, double value) { flags[i] = value != 0; });
        data = flags.data();
      }
      return;
    default:
      if (IsNumeric(v.class_type)) data = const_cast<void*>(ElementBytes(v));
  }
}

extern "C" {

MATFile* matOpen(const char* filename, const char* mode) {
  if (!filename || !mode || std::strcmp(mode, "r") != 0) return nullptr;
  try {
    const std::string path = winport::AnsiToUtf8(filename);
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    auto file = std::make_unique<MatFile_tag>();
    if (!file->layout.Open(filename)) return nullptr;
    InstallQuietLog();
    file->mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    if (!file->mat) return nullptr;
    return file.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

mxArray* matGetNextVariable(MATFile* file, const char** name) {
  if (name) *name = "";
  if (!file || file->ended) return nullptr;
  matvar_t* var = file->layout.Next() ? Mat_VarReadNext(file->mat) : nullptr;
  if (!var || !Consistent(var)) {
    FreeVariable(var);
    file->ended = true;
    return nullptr;
  }
  try {
    file->arrays.push_back(std::make_unique<mxArray_tag>(var, true));
  } catch (const std::bad_alloc&) {
    FreeVariable(var);
    file->ended = true;
    return nullptr;
  }
  mxArray* array = file->arrays.back().get();
  if (name) *name = mxGetName(array);
  return array;
}

int matClose(MATFile* file) {
  if (!file) return -1;
  file->arrays.clear();
  const int result = Mat_Close(std::exchange(file->mat, nullptr)) == 0 ? 0 : -1;
  delete file;
  return result;
}

mxClassID mxGetClassID(const mxArray* array) { return array ? array->classId : mxUNKNOWN_CLASS; }

size_t mxGetM(const mxArray* array) { return array ? array->m : 0; }

size_t mxGetN(const mxArray* array) { return array ? array->n : 0; }

void* mxGetData(const mxArray* array) {
  if (!array) return nullptr;
  if (!array->resolved) {
    try {
      array->Resolve();
    } catch (const std::bad_alloc&) {
      array->resolved = false;
      return nullptr;
    }
  }
  return array->data;
}

const char* mxGetName(const mxArray* array) {
  if (!array || !array->owner || !array->var->name) return "";
  return array->var->name;
}

int mxGetNumberOfFields(const mxArray* array) {
  if (!array || array->classId != mxSTRUCT_CLASS) return 0;
  return static_cast<int>(Mat_VarGetNumberOfFields(array->var));
}

const char* mxGetFieldNameByNumber(const mxArray* array, int n) {
  if (n < 0 || n >= mxGetNumberOfFields(array)) return nullptr;
  const char* fieldName = Mat_VarGetStructFieldnames(array->var)[n];
  return fieldName ? fieldName : "";
}

int mxGetFieldNumber(const mxArray* array, const char* name) {
  if (!name) return -1;
  const int count = mxGetNumberOfFields(array);
  char* const* names = count > 0 ? Mat_VarGetStructFieldnames(array->var) : nullptr;
  for (int i = 0; i < count; ++i)
    if (names[i] && std::strcmp(names[i], name) == 0) return i;
  return -1;
}

mxArray* mxGetFieldByNumber(const mxArray* array, size_t index, int field) {
  const int nfields = mxGetNumberOfFields(array);
  if (field < 0 || field >= nfields) return nullptr;
  const size_t count = array->m * array->n;
  const matvar_t* v = array->var;
  if (index >= count || !v->data) return nullptr;
  const size_t slot = index * static_cast<size_t>(nfields) + static_cast<size_t>(field);
  matvar_t* value = static_cast<matvar_t* const*>(v->data)[slot];
  if (!value) return nullptr;
  try {
    if (array->fields.empty()) array->fields.resize(count * static_cast<size_t>(nfields));
    std::unique_ptr<mxArray_tag>& view = array->fields[slot];
    if (!view) view = std::make_unique<mxArray_tag>(value, false);
    return view->m == 0 || view->n == 0 ? nullptr : view.get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // extern "C"

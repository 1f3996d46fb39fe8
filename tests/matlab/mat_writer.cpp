#include "tests/matlab/mat_writer.h"

#include <stdexcept>

#include "platform/win32/codepage.h"

namespace matwriter {

MatFileWriter::MatFileWriter(const std::string& path, mat_ft version, matio_compression compression)
    : mat_(Mat_CreateVer(path.c_str(), nullptr, version)), compression_(compression) {}

MatFileWriter::~MatFileWriter() { Close(); }

bool MatFileWriter::Write(matvar_t* var) {
  const bool ok = mat_ && var && Mat_VarWrite(mat_, var, compression_) == 0;
  Mat_VarFree(var);
  return ok;
}

bool MatFileWriter::Close() {
  if (!mat_) return false;
  const bool ok = Mat_Close(mat_) == 0;
  mat_ = nullptr;
  return ok;
}

namespace {

matio_types TypeOf(matio_classes cls) {
  switch (cls) {
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
    default: throw std::invalid_argument("no numeric class");
  }
}

size_t Count(const std::vector<size_t>& dims) {
  size_t count = 1;
  for (size_t d : dims) count *= d;
  return count;
}

}  // namespace

template <typename T>
matvar_t* Numbers(const char* name, matio_classes cls, std::vector<size_t> dims, const std::vector<T>& values) {
  if (values.size() != Count(dims) || sizeof(T) != Mat_SizeOfClass(cls))
    throw std::invalid_argument("values do not fit the class and dimensions");
  return Mat_VarCreate(name, cls, TypeOf(cls), static_cast<int>(dims.size()), dims.data(),
                       const_cast<T*>(values.data()), 0);
}

template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<double>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<float>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<int8_t>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<uint8_t>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<int16_t>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<uint16_t>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<int32_t>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<uint32_t>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<int64_t>&);
template matvar_t* Numbers(const char*, matio_classes, std::vector<size_t>, const std::vector<uint64_t>&);

matvar_t* Doubles(const char* name, size_t rows, size_t cols, const std::vector<double>& values) {
  return Numbers(name, MAT_C_DOUBLE, {rows, cols}, values);
}

matvar_t* Empty(const char* name) {
  size_t dims[2] = {0, 0};
  return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, nullptr, 0);
}

matvar_t* Logical(const char* name, size_t rows, size_t cols, const std::vector<uint8_t>& values) {
  if (values.size() != rows * cols) throw std::invalid_argument("values do not fit the dimensions");
  size_t dims[2] = {rows, cols};
  return Mat_VarCreate(name, MAT_C_UINT8, MAT_T_UINT8, 2, dims, const_cast<uint8_t*>(values.data()),
                       MAT_F_LOGICAL);
}

matvar_t* Complex(const char* name, size_t rows, size_t cols, const std::vector<double>& re,
                  const std::vector<double>& im) {
  if (re.size() != rows * cols || im.size() != re.size())
    throw std::invalid_argument("parts do not fit the dimensions");
  size_t dims[2] = {rows, cols};
  mat_complex_split_t parts{const_cast<double*>(re.data()), const_cast<double*>(im.data())};
  return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &parts, MAT_F_COMPLEX);
}

matvar_t* Chars(const char* name, size_t rows, size_t cols, const std::u16string& codes, matio_types storage) {
  if (codes.size() != rows * cols) throw std::invalid_argument("codes do not fit the dimensions");
  size_t dims[2] = {rows, cols};
  std::string bytes;
  switch (storage) {
    case MAT_T_UINT16:
      return Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT16, 2, dims, const_cast<char16_t*>(codes.data()), 0);
    case MAT_T_UINT8:
      for (char16_t c : codes) bytes.push_back(static_cast<char>(c & 0xFF));
      break;
    case MAT_T_UTF8:
      bytes = winport::Utf16ToUtf8(codes);
      break;
    default:
      throw std::invalid_argument("no char storage");
  }
  return Mat_VarCreate(name, MAT_C_CHAR, storage, 2, dims, bytes.data(), 0);
}

matvar_t* Text(const char* name, const std::u16string& codes, matio_types storage) {
  return Chars(name, 1, codes.size(), codes, storage);
}

matvar_t* Struct(const char* name, std::vector<size_t> dims, const std::vector<std::string>& fields) {
  std::vector<const char*> names;
  for (const std::string& f : fields) names.push_back(f.c_str());
  return Mat_VarCreateStruct(name, static_cast<int>(dims.size()), dims.data(), names.data(),
                             static_cast<unsigned>(names.size()));
}

void SetField(matvar_t* structure, const char* field, size_t index, matvar_t* value) {
  // matio keeps the value only for a known field and element; anything else is a slip of the test.
  const unsigned nfields = Mat_VarGetNumberOfFields(structure);
  char* const* names = Mat_VarGetStructFieldnames(structure);
  bool known = false;
  for (unsigned i = 0; i < nfields; ++i) known = known || std::string(names[i]) == field;
  const std::vector<size_t> dims(structure->dims, structure->dims + structure->rank);
  if (!known || index >= Count(dims)) {
    Mat_VarFree(value);
    throw std::invalid_argument("no such field or element");
  }
  matvar_t* old = Mat_VarSetStructFieldByName(structure, field, index, value);
  Mat_VarFree(old);
}

}  // namespace matwriter

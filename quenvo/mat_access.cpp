#include "quenvo/mat_access.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "importcore/support.h"

namespace quenvo {
namespace {

template <typename T>
void Convert(const void* data, size_t first, size_t count, double* out, size_t stride) {
  const T* in = static_cast<const T*>(data) + first;
  if (stride == 1) {
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<double>(in[i]);
  } else {
    for (size_t i = 0; i < count; ++i) out[i * stride] = static_cast<double>(in[i]);
  }
}

}  // namespace

bool IsNumeric(const mxArray* a) {
  const mxClassID c = mxGetClassID(a);
  return c >= mxDOUBLE_CLASS && c <= mxUINT64_CLASS;
}

size_t ElementCount(const mxArray* a) {
  const size_t m = mxGetM(a), n = mxGetN(a);
  // The stand-in holds every element it counts, so the product cannot pass memory.
  return m == 0 || n == 0 ? 0 : m * n;
}

const mxArray* Field(const mxArray* structure, const char* name, size_t index) {
  const int field = mxGetFieldNumber(structure, name);
  return field < 0 ? nullptr : mxGetFieldByNumber(structure, index, field);
}

std::string MxCharToString(const mxArray* a) {
  if (!IsChar(a)) return {};
  const auto* codes = static_cast<const mxChar*>(mxGetData(a));
  if (!codes) return {};
  const size_t n = std::min(mxGetN(a), ElementCount(a));
  std::string text(n, '\0');
  for (size_t i = 0; i < n; ++i) text[i] = static_cast<char>(codes[i] & 0xFF);
  return text;
}

bool ConvertNumbers(const mxArray* a, size_t first, size_t count, double* out, size_t stride) {
  if (!IsNumeric(a)) return false;
  const size_t elements = ElementCount(a);
  if (first > elements || count > elements - first) return false;
  if (count == 0) return true;
  const void* data = mxGetData(a);
  if (!data) return false;
  switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: Convert<double>(data, first, count, out, stride); break;
    case mxSINGLE_CLASS: Convert<float>(data, first, count, out, stride); break;
    case mxINT8_CLASS: Convert<int8_t>(data, first, count, out, stride); break;
    case mxUINT8_CLASS: Convert<uint8_t>(data, first, count, out, stride); break;
    case mxINT16_CLASS: Convert<int16_t>(data, first, count, out, stride); break;
    case mxUINT16_CLASS: Convert<uint16_t>(data, first, count, out, stride); break;
    case mxINT32_CLASS: Convert<int32_t>(data, first, count, out, stride); break;
    case mxUINT32_CLASS: Convert<uint32_t>(data, first, count, out, stride); break;
    case mxINT64_CLASS: Convert<int64_t>(data, first, count, out, stride); break;
    case mxUINT64_CLASS: Convert<uint64_t>(data, first, count, out, stride); break;
    default: return false;
  }
  return true;
}

std::optional<double> FirstNumber(const mxArray* a) {
  double value = 0;
  if (!ConvertNumbers(a, 0, 1, &value)) return std::nullopt;
  return value;
}

std::optional<std::string> IntegerText(const mxArray* a) {
  if (!IsNumeric(a) || ElementCount(a) == 0 || !mxGetData(a)) return std::nullopt;
  // 64-bit integers are printed as they are; a double of that size would round them.
  if (mxGetClassID(a) == mxINT64_CLASS) return std::to_string(*static_cast<const int64_t*>(mxGetData(a)));
  if (mxGetClassID(a) == mxUINT64_CLASS) return std::to_string(*static_cast<const uint64_t*>(mxGetData(a)));
  const std::optional<double> value = FirstNumber(a);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  char text[400];  // the largest double has 309 digits
  std::snprintf(text, sizeof text, "%.0f", std::trunc(*value) + 0.0);
  return std::string(text);
}

const mxArray* FindMatVariable(MatFile& file, const mxArray* start, std::string_view name, int depth) {
  if (depth >= kMaxSearchDepth) return nullptr;
  const std::string wanted(name);
  for (const mxArray* a = start; a; a = file.Next()) {
    if (importcore::EqualNoCase(mxGetName(a), wanted.c_str())) return a;
    if (!IsStruct(a)) continue;
    const int fields = mxGetNumberOfFields(a);
    const size_t elements = mxGetN(a);
    for (int f = 0; f < fields; ++f) {
      if (importcore::EqualNoCase(mxGetFieldNameByNumber(a, f), wanted.c_str())) return mxGetFieldByNumber(a, 0, f);
      for (size_t e = 0; e < elements; ++e) {
        const mxArray* value = mxGetFieldByNumber(a, e, f);
        if (!value) continue;
        if (const mxArray* hit = FindMatVariable(file, value, name, depth + 1)) return hit;
      }
    }
  }
  return nullptr;
}

const mxArray* FindMatPath(MatFile& file, const mxArray* start, std::initializer_list<std::string_view> names) {
  const mxArray* at = start;
  for (std::string_view name : names) {
    at = FindMatVariable(file, at, name);
    if (!at) return nullptr;
  }
  return at;
}

}  // namespace quenvo

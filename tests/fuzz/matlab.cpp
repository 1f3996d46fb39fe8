// Opens arbitrary bytes as a MAT-file through the MATLAB stand-in and walks
// every variable, field and element: class, dimensions, names and every byte
// of the data each array promises, then closes the file.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/matlab/mat.h"
#include "tests/support/fuzz_input.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

size_t ElementSize(mxClassID c) {
  switch (c) {
    case mxLOGICAL_CLASS:
    case mxINT8_CLASS:
    case mxUINT8_CLASS: return 1;
    case mxCHAR_CLASS:
    case mxINT16_CLASS:
    case mxUINT16_CLASS: return 2;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS: return 4;
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS: return 8;
    default: return 0;
  }
}

volatile unsigned g_sink;

struct Walker {
  size_t budget = 200000;  // arrays visited per input

  void Visit(const mxArray* a) {
    if (budget == 0) return;
    --budget;
    const mxClassID c = mxGetClassID(a);
    const size_t m = mxGetM(a), n = mxGetN(a);
    const auto* data = static_cast<const unsigned char*>(mxGetData(a));
    const size_t size = ElementSize(c);
    Check(data == nullptr || (size > 0 && m * n > 0));
    if (data) {
      unsigned sum = 0;
      for (size_t i = 0; i < m * n * size; ++i) sum += data[i];
      g_sink = sum;
    }
    const int fields = mxGetNumberOfFields(a);
    Check(fields >= 0 && (fields == 0 || c == mxSTRUCT_CLASS));
    Check(mxGetFieldNameByNumber(a, fields) == nullptr && mxGetFieldByNumber(a, m * n, 0) == nullptr);
    for (int f = 0; f < fields; ++f) {
      const char* name = mxGetFieldNameByNumber(a, f);
      Check(name != nullptr);
      const int number = mxGetFieldNumber(a, name);
      Check(number >= 0 && number <= f);
      for (size_t e = 0; e < m * n && budget > 0; ++e) {
        const mxArray* value = mxGetFieldByNumber(a, e, f);
        if (!value) continue;
        Check(mxGetName(value)[0] == '\0' && mxGetM(value) > 0 && mxGetN(value) > 0);
        Visit(value);
      }
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (testsupport::IsHdf5MatFile(data, size)) return 0;
  const std::string path = testsupport::WriteFuzzInput("fuzz_matlab", ".mat", data, size);
  if (path.empty()) return 0;

  MATFile* file = matOpen(path.c_str(), "r");
  if (!file) return 0;
  Walker walker;
  for (int i = 0; i < 1000; ++i) {
    const char* name = nullptr;
    const mxArray* a = matGetNextVariable(file, &name);
    if (!a) break;
    Check(name != nullptr && std::strcmp(name, mxGetName(a)) == 0);
    walker.Visit(a);
  }
  matClose(file);  // a damaged 7.3 file may fail to close: -1, nothing to check
  return 0;
}

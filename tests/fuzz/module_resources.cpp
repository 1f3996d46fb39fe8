// Reads arbitrary bytes as a module file's version information: its size,
// the block, and every kind of value VerQueryValueA answers from it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/resource.h"
#include "tests/support/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = testsupport::WriteFuzzInput("fuzz_module_resources", ".so", data, size);
  DWORD handle = 0;
  const DWORD bytes = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (bytes == 0) {
    uint8_t none[64];
    testsupport::FuzzCheck(!GetFileVersionInfoA(path.c_str(), handle, sizeof none, none));
    return 0;
  }
  testsupport::FuzzCheck(bytes <= (2u << 20));  // sized from the section, which is capped
  std::vector<uint8_t> block(bytes);
  testsupport::FuzzCheck(GetFileVersionInfoA(path.c_str(), handle, bytes, block.data()));
  void* value = nullptr;
  UINT length = 0;
  testsupport::FuzzCheck(VerQueryValueA(block.data(), "\\", &value, &length) && length == sizeof(VS_FIXEDFILEINFO));
  testsupport::FuzzCheck(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && length == 4);
  for (const char* name : {"FileVersion", "Comments", "OLESelfRegister", "x"}) {
    for (const char* table : {"040704E4", "040904B0", "000004E4"}) {
      const std::string sub = std::string("\\StringFileInfo\\") + table + "\\" + name;
      if (VerQueryValueA(block.data(), sub.c_str(), &value, &length)) {
        const auto* text = static_cast<const uint8_t*>(value);
        testsupport::FuzzCheck(length >= 1 && text >= block.data() && text + length <= block.data() + block.size() &&
                               text[length - 1] == 0);
      }
    }
  }
  return 0;
}

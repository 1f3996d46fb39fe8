#include "tests/support/fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace testsupport {

namespace {

// Kept until the process ends: the exit handler still reads it.
std::vector<std::string>& CreatedFiles() {
  static auto* files = new std::vector<std::string>;
  return *files;
}

void RemoveCreatedFiles() {
  for (const std::string& path : CreatedFiles()) std::remove(path.c_str());
}

}  // namespace

std::string FuzzInputPath(const std::string& stem, const std::string& extension) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string path = std::string(dir) + "/" + stem + "_" + std::to_string(getpid()) + extension;
  static std::once_flag atExit;
  std::call_once(atExit, [] { std::atexit(RemoveCreatedFiles); });
  for (const std::string& known : CreatedFiles())
    if (known == path) return path;
  CreatedFiles().push_back(path);
  return path;
}

std::string WriteFuzzInput(const std::string& stem, const std::string& extension, const uint8_t* data, size_t size) {
  const std::string path = FuzzInputPath(stem, extension);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

}  // namespace testsupport

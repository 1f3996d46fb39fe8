// One fuzz input as a file, for readers that open a path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

// Writes the input to this process's file `name` (in /dev/shm where it can),
// the same file for every input and removed at exit. Returns its path, or ""
// when it cannot be written.
inline std::string WriteFuzzInput(const uint8_t* data, size_t size, const char* name) {
  static const std::string path = [name] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string p = std::string(dir) + "/fuzz_" + std::to_string(getpid()) + "_" + name;
    std::atexit([] { std::remove(p.c_str()); });
    return p;
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  const bool written = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && written ? path : "";
}

}  // namespace testsupport

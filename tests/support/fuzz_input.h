// For fuzz targets that read files: a temporary file per process (in memory
// where /dev/shm exists), removed at exit, and a check that stops the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// The path of this process's temporary file `<stem>_<pid><extension>`.
std::string FuzzInputPath(const std::string& stem, const std::string& extension);
// Writes the input to that file; returns its path (removed at exit).
std::string WriteFuzzInput(const std::string& stem, const std::string& extension, const uint8_t* data, size_t size);

inline void FuzzCheck(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace testsupport

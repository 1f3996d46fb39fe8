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

// Whether the bytes announce a 7.3 MAT-file: an HDF5 container, read by HDF5's
// own parser. Its faults on malformed containers (allocations sized from
// damaged metadata, leaks) are HDF5's; the MAT-file stand-in guards the ones
// that reach its datasets, and the fuzz targets leave HDF5 alone.
inline bool IsHdf5MatFile(const uint8_t* data, size_t size) {
  if (size < 128) return false;
  const bool little = data[126] == 'I' && data[127] == 'M', big = data[126] == 'M' && data[127] == 'I';
  return (little && data[124] == 0x00 && data[125] == 0x02) || (big && data[124] == 0x02 && data[125] == 0x00);
}

inline void FuzzCheck(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace testsupport

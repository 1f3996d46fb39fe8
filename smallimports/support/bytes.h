// Little-endian numbers from byte images, independent of alignment.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace smallimports {

template <class T>
T LoadLE(const uint8_t* p) {
  uint64_t v = 0;
  for (size_t i = sizeof(T); i-- > 0;) v = (v << 8) | p[i];
  return static_cast<T>(v);
}
inline float LoadF32LE(const uint8_t* p) { return std::bit_cast<float>(LoadLE<uint32_t>(p)); }
inline double LoadF64LE(const uint8_t* p) { return std::bit_cast<double>(LoadLE<uint64_t>(p)); }

}  // namespace smallimports

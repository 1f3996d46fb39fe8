// Little-endian loads and stores of values in byte buffers, independent of
// alignment: the flat data space and the host's option block are laid out
// byte by byte, never by struct layout.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace importcore {

template <typename T>
T LoadLE(const uint8_t* p) {
  static_assert(std::is_trivially_copyable_v<T>);
  static_assert(std::endian::native == std::endian::little, "the stored forms are little-endian");
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void StoreLE(uint8_t* p, T v) {
  static_assert(std::is_trivially_copyable_v<T>);
  static_assert(std::endian::native == std::endian::little, "the stored forms are little-endian");
  std::memcpy(p, &v, sizeof v);
}

}  // namespace importcore

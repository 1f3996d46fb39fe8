// A bounded cursor over bytes in a chosen byte order: every read checks what
// is left (`n <= size - pos`) and fails instead of reading past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ddc {

// Unsigned integer of a given width, for byte swaps of any value type.
template <size_t N> struct UIntOf;
template <> struct UIntOf<1> { using type = uint8_t; };
template <> struct UIntOf<2> { using type = uint16_t; };
template <> struct UIntOf<4> { using type = uint32_t; };
template <> struct UIntOf<8> { using type = uint64_t; };

template <typename U>
inline U ByteSwap(U v) {
  if constexpr (sizeof(U) == 1) return v;
  if constexpr (sizeof(U) == 2) return __builtin_bswap16(v);
  if constexpr (sizeof(U) == 4) return __builtin_bswap32(v);
  if constexpr (sizeof(U) == 8) return __builtin_bswap64(v);
}

// Load of an unaligned value in the given byte order.
template <typename T>
inline T Load(const uint8_t* p, bool big_endian) {
  using U = typename UIntOf<sizeof(T)>::type;
  U bits;
  std::memcpy(&bits, p, sizeof bits);
  if (big_endian) bits = ByteSwap(bits);
  T v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size, bool big_endian)
      : data_(data), size_(size), big_endian_(big_endian) {}

  size_t Pos() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  bool BigEndian() const { return big_endian_; }

  template <typename T>
  bool Read(T& value) {
    if (sizeof(T) > Remaining()) return false;
    value = Load<T>(data_ + pos_, big_endian_);
    pos_ += sizeof(T);
    return true;
  }
  // A view of the next `n` bytes.
  bool Bytes(uint64_t n, std::string_view& out) {
    if (n > Remaining()) return false;
    out = std::string_view(reinterpret_cast<const char*>(data_ + pos_), static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return true;
  }
  bool Skip(uint64_t n) {
    if (n > Remaining()) return false;
    pos_ += static_cast<size_t>(n);
    return true;
  }
  // A TDMS string: u32 byte count, then the bytes.
  bool String(std::string_view& out) {
    uint32_t n = 0;
    return Read(n) && Bytes(n, out);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool big_endian_;
};

}  // namespace ddc

// The option block that the host reads and writes as a whole, by address
// (Parameters and ParSize). Its layout is the host's: 32-bit little-endian
// integers, signed unless said, at fixed offsets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellor {

class ParameterBlock {
 public:
  static constexpr size_t kSize = 62264;
  // Offsets.
  static constexpr size_t kSizeWord = 0;
  static constexpr size_t kShowAll = 4;
  static constexpr size_t kNameMode = 8;  // 0 short name, 1 ASAM long name, 2 display name
  static constexpr size_t kCanNamePattern = 12;
  static constexpr size_t kCanDisplayNamePattern = 268;
  static constexpr size_t kCanAliasPattern = 524;
  static constexpr size_t kPatternSize = 256;
  static constexpr size_t kXMaxFactor = 780;  // double
  static constexpr size_t kXMinFactor = 788;  // double
  static constexpr size_t kMemoryLimit = 796;  // unsigned, bytes
  static constexpr size_t kResetTime = 800;
  static constexpr size_t kFillRange = 804;
  static constexpr size_t kRangeFlags = 808;  // bit 0 overwrite ranges, bit 1 nice range
  static constexpr size_t kWriteRange = 812;
  static constexpr size_t kLockFile = 816;
  static constexpr size_t kIgnoreNames = 820;
  static constexpr size_t kIgnoreNamesSize = 61440;
  static constexpr size_t kIgnoreUnknownScaling = 62260;

  static constexpr int32_t kRangeOverwrite = 1;
  static constexpr int32_t kRangeNice = 2;

  // Zeroed, with the size word 62,264.
  ParameterBlock();

  uint8_t* Data() { return bytes_.data(); }
  const uint8_t* Data() const { return bytes_.data(); }

  int32_t Int(size_t offset) const;
  void SetInt(size_t offset, int32_t value);
  double Double(size_t offset) const;
  void SetDouble(size_t offset, double value);
  uint32_t MemoryLimit() const { return static_cast<uint32_t>(Int(kMemoryLimit)); }
  void SetMemoryLimit(uint32_t bytes) { SetInt(kMemoryLimit, static_cast<int32_t>(bytes)); }
  // A 256-byte pattern field: the text up to its NUL; SetPattern keeps at most 255 characters.
  std::string Pattern(size_t offset) const;
  void SetPattern(size_t offset, std::string_view text);

  // Takes a block that the host hands over by address: copies
  // min(this block's size word, the host's size word) bytes, the size word
  // included, never more than the block holds. A size word above the block's
  // size is kept as the block's size. False (and nothing copied) for a
  // negative host size word.
  bool CopyFromHost(const uint8_t* host);

  // The names of the ignore-name area, up to the first empty name; a name
  // that runs to the area's end ends there.
  std::vector<std::string> UnpackNames() const;
  // Zeroes the area and writes the names, each with its NUL, while the bytes
  // used plus the name's length plus 2 stay within the area; the first name
  // that does not fit ends the packing.
  void PackNames(const std::vector<std::string>& names);

 private:
  alignas(8) std::array<uint8_t, kSize> bytes_{};
};

}  // namespace pellor

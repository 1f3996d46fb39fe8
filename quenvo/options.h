// The module's options: the 17-byte parameter block that the host reads and
// writes by address, and the naming options of "Quenvo_Options.INI".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "quenvo/naming.h"

namespace quenvo {

// Byte-packed, little-endian: int32 size (17), int32 SkipHigh, int32
// SkipLow, int32 MinLevels, char Separator.
class ParameterBlock {
 public:
  static constexpr size_t kSize = 17;
  static constexpr size_t kSizeWord = 0;
  static constexpr size_t kSkipHigh = 4;
  static constexpr size_t kSkipLow = 8;
  static constexpr size_t kMinLevels = 12;
  static constexpr size_t kSeparator = 16;

  // Zeroed, with the size word 17.
  ParameterBlock();

  uint8_t* Data() { return bytes_.data(); }
  int32_t SizeWord() const;
  NamingOptions Naming() const;
  void SetNaming(const NamingOptions& naming);

  // Takes the host's block at `host`: nothing for a null address or a size
  // word below 4, else min(17, its size word) bytes; the own size word stays
  // 17. False when nothing was taken.
  bool CopyFromHost(const uint8_t* host);

 private:
  std::array<uint8_t, kSize> bytes_{};
};

// The options file beside the module.
inline constexpr const char* kOptionsFileName = "Quenvo_Options.INI";

// Section "NamingLevels" of the options file: SkipHigh, SkipLow and MinLevels
// (0 when absent) and the first character of Separator ("/" when absent or empty).
NamingOptions LoadOptions(const std::string& optionsFile);

}  // namespace quenvo

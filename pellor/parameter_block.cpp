#include "pellor/parameter_block.h"

#include <algorithm>
#include <cstring>

#include "importcore/fixed_text.h"
#include "importcore/le.h"

namespace pellor {

using importcore::LoadLE;
using importcore::StoreLE;

ParameterBlock::ParameterBlock() { SetInt(kSizeWord, static_cast<int32_t>(kSize)); }

int32_t ParameterBlock::Int(size_t offset) const { return LoadLE<int32_t>(bytes_.data() + offset); }

void ParameterBlock::SetInt(size_t offset, int32_t value) { StoreLE(bytes_.data() + offset, value); }

double ParameterBlock::Double(size_t offset) const { return LoadLE<double>(bytes_.data() + offset); }

void ParameterBlock::SetDouble(size_t offset, double value) { StoreLE(bytes_.data() + offset, value); }

std::string ParameterBlock::Pattern(size_t offset) const {
  const auto* field = reinterpret_cast<const char*>(bytes_.data() + offset);
  return std::string(importcore::CapText(std::string_view(field, kPatternSize), kPatternSize + 1));
}

void ParameterBlock::SetPattern(size_t offset, std::string_view text) {
  const std::string_view kept = importcore::CapText(text, kPatternSize);
  std::memset(bytes_.data() + offset, 0, kPatternSize);
  std::memcpy(bytes_.data() + offset, kept.data(), kept.size());
}

bool ParameterBlock::CopyFromHost(const uint8_t* host) {
  const int32_t hostSize = LoadLE<int32_t>(host);
  if (hostSize < 0) return false;
  const int32_t ownSize = std::clamp<int32_t>(Int(kSizeWord), 0, static_cast<int32_t>(kSize));
  const size_t count = static_cast<size_t>(std::min(ownSize, hostSize));
  std::memcpy(bytes_.data(), host, count);
  // The host's size word came along; the block never claims more than it holds.
  if (count >= sizeof(int32_t) && Int(kSizeWord) > static_cast<int32_t>(kSize))
    SetInt(kSizeWord, static_cast<int32_t>(kSize));
  return true;
}

std::vector<std::string> ParameterBlock::UnpackNames() const {
  std::vector<std::string> names;
  const auto* area = reinterpret_cast<const char*>(bytes_.data() + kIgnoreNames);
  size_t at = 0;
  while (at < kIgnoreNamesSize && area[at] != '\0') {
    const std::string_view rest(area + at, kIgnoreNamesSize - at);
    const size_t length = std::min(rest.find('\0'), rest.size());
    names.emplace_back(rest.substr(0, length));
    at += length + 1;
  }
  return names;
}

void ParameterBlock::PackNames(const std::vector<std::string>& names) {
  uint8_t* area = bytes_.data() + kIgnoreNames;
  std::memset(area, 0, kIgnoreNamesSize);
  size_t used = 0;
  for (const std::string& name : names) {
    const std::string_view text = importcore::CapText(name, name.size() + 1);
    if (used + text.size() + 2 > kIgnoreNamesSize) break;
    std::memcpy(area + used, text.data(), text.size());
    used += text.size() + 1;
  }
}

}  // namespace pellor

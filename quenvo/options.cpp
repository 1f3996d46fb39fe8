#include "quenvo/options.h"

#include <algorithm>
#include <cstring>

#include "importcore/le.h"
#include "platform/win32/profile.h"

namespace quenvo {

using importcore::LoadLE;
using importcore::StoreLE;

ParameterBlock::ParameterBlock() { StoreLE(bytes_.data() + kSizeWord, static_cast<int32_t>(kSize)); }

int32_t ParameterBlock::SizeWord() const { return LoadLE<int32_t>(bytes_.data() + kSizeWord); }

NamingOptions ParameterBlock::Naming() const {
  NamingOptions naming;
  naming.SkipHigh = LoadLE<int32_t>(bytes_.data() + kSkipHigh);
  naming.SkipLow = LoadLE<int32_t>(bytes_.data() + kSkipLow);
  naming.MinLevels = LoadLE<int32_t>(bytes_.data() + kMinLevels);
  naming.Separator = static_cast<char>(bytes_[kSeparator]);
  return naming;
}

void ParameterBlock::SetNaming(const NamingOptions& naming) {
  StoreLE(bytes_.data() + kSkipHigh, naming.SkipHigh);
  StoreLE(bytes_.data() + kSkipLow, naming.SkipLow);
  StoreLE(bytes_.data() + kMinLevels, naming.MinLevels);
  bytes_[kSeparator] = static_cast<uint8_t>(naming.Separator);
}

bool ParameterBlock::CopyFromHost(const uint8_t* host) {
  if (!host) return false;
  const int32_t hostSize = LoadLE<int32_t>(host);
  if (hostSize < static_cast<int32_t>(sizeof(int32_t))) return false;
  std::memcpy(bytes_.data(), host, std::min(kSize, static_cast<size_t>(hostSize)));
  StoreLE(bytes_.data() + kSizeWord, static_cast<int32_t>(kSize));
  return true;
}

NamingOptions LoadOptions(const std::string& optionsFile) {
  constexpr const char* kSection = "NamingLevels";
  const char* file = optionsFile.c_str();
  NamingOptions naming;
  naming.SkipHigh = static_cast<int32_t>(GetPrivateProfileIntA(kSection, "SkipHigh", 0, file));
  naming.SkipLow = static_cast<int32_t>(GetPrivateProfileIntA(kSection, "SkipLow", 0, file));
  naming.MinLevels = static_cast<int32_t>(GetPrivateProfileIntA(kSection, "MinLevels", 0, file));
  char separator[41] = {};
  GetPrivateProfileStringA(kSection, "Separator", "/", separator, sizeof separator, file);
  naming.Separator = separator[0] ? separator[0] : '/';
  return naming;
}

}  // namespace quenvo

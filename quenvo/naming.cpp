#include "quenvo/naming.h"

#include <algorithm>
#include <vector>

#include "importcore/support.h"
#include "quenvo/records.h"

namespace quenvo {
namespace {

// The longest built name; a longer one is cut to kMaxName - 1 characters.
constexpr size_t kMaxName = 254;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string StripQuotes(std::string_view text) {
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  return std::string(text);
}

std::string BuildSignalName(std::string_view name, const NamingOptions& options) {
  const char separator = options.Separator;
  if (separator == '\0' || name.find(separator) == std::string_view::npos) return std::string(name);

  std::vector<std::string_view> levels;  // levels[0] is the highest
  size_t start = 0;
  for (size_t at = name.find(separator); at != std::string_view::npos; at = name.find(separator, start)) {
    levels.push_back(name.substr(start, at - start));
    start = at + 1;
  }
  const std::string_view leaf = name.substr(start);
  const int64_t k = static_cast<int64_t>(levels.size());

  // Levels hi .. lo - 1 are kept; negative options count as 0.
  int64_t hi = std::clamp<int64_t>(options.SkipHigh, 0, k);
  int64_t lo = k - std::clamp<int64_t>(options.SkipLow, 0, k);
  while (hi > 0 && lo - hi < options.MinLevels) --hi;
  while (lo - hi < options.MinLevels && lo < k) ++lo;

  std::string result = StripQuotes(leaf);
  for (int64_t i = lo - 1; i >= hi; --i) {
    result += '\\';
    const std::string level = StripQuotes(levels[static_cast<size_t>(i)]);
    if (result.size() + level.size() > kMaxName) break;
    result += level;
  }
  if (result.size() > kMaxName) result.resize(kMaxName - 1);
  return result;
}

std::string IdentifierOf(std::string_view builtName) {
  const auto letter = std::find_if(builtName.begin(), builtName.end(), IsLetter);
  std::string name = importcore::CopyTextN(std::string_view(letter, builtName.end()), copy::kName);
  importcore::MakeIdentifier(name);
  return name;
}

}  // namespace quenvo

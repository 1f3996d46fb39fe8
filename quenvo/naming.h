// Signal names of the two record layouts: a path such as Root/Sub/"Leaf"
// becomes the hierarchical name Leaf\Sub\Root, shortened by the naming options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenvo {

// The naming options of the parameter block.
struct NamingOptions {
  int32_t SkipHigh = 0;   // levels left out from the top
  int32_t SkipLow = 0;    // levels left out from the bottom
  int32_t MinLevels = 0;  // levels kept at least, as far as there are
  char Separator = 0;     // 0: names are not split
};

// The text without one leading and then one trailing double quote.
std::string StripQuotes(std::string_view text);

// The name split at the separator: the leaf first, then the levels from the
// lowest up to the highest kept, joined by backslashes; at most 253 characters.
// A name without the separator (or a separator 0) is returned unchanged.
std::string BuildSignalName(std::string_view name, const NamingOptions& options);

// The identifier of a built name: its leading characters that are no letters
// skipped, at most 253 characters, sanitised by MakeIdentifier.
std::string IdentifierOf(std::string_view builtName);

}  // namespace quenvo

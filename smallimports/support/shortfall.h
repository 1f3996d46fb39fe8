// The signals an import could not give every value the file states, for the
// one warning box a module shows after the import: each line a heading and
// the names it applies to.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace smallimports {

class Shortfall {
 public:
  // Names a signal under `heading`; lines keep the order of their first name.
  void Add(std::string_view heading, std::string name);
  bool Empty() const { return lines_.empty(); }
  // The names under a heading, in the order they were added.
  std::vector<std::string> Names(std::string_view heading) const;
  // `intro`, then one line per heading: "heading: a, b, c", at most
  // kListedNames names, then `more` with "#" replaced by the count of the
  // rest ("und # weitere").
  std::string Text(std::string_view intro, std::string_view more) const;

  static constexpr size_t kListedNames = 10;

 private:
  std::vector<std::pair<std::string, std::vector<std::string>>> lines_;
};

// The German headings and text of the modules that speak German.
inline constexpr std::string_view kFewerValues = "Weniger Werte als angegeben";
inline constexpr std::string_view kNoValues = "Keine Werte, ignoriert";
// "Die Datei <path> ist unvollst\xE4ndig." and the shortfall's lines (ANSI).
std::string IncompleteFileText(const std::string& path, const Shortfall& shortfall);

// Shows the text in a box with the caption and a warning icon on the active
// window (as every box of the small modules); nothing when it is empty.
void ShowShortfall(const char* caption, const std::string& text);

}  // namespace smallimports

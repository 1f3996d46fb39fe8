#include "smallimports/support/shortfall.h"

#include <algorithm>

#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"

namespace smallimports {

void Shortfall::Add(std::string_view heading, std::string name) {
  auto line = std::find_if(lines_.begin(), lines_.end(), [&](const auto& l) { return l.first == heading; });
  if (line == lines_.end()) line = lines_.insert(lines_.end(), {std::string(heading), {}});
  line->second.push_back(std::move(name));
}

std::vector<std::string> Shortfall::Names(std::string_view heading) const {
  for (const auto& [h, names] : lines_)
    if (h == heading) return names;
  return {};
}

std::string Shortfall::Text(std::string_view intro, std::string_view more) const {
  std::string text(intro);
  for (const auto& [heading, names] : lines_) {
    text += "\n" + heading + ": ";
    const size_t listed = std::min(names.size(), kListedNames);
    for (size_t i = 0; i < listed; ++i) text += (i ? ", " : "") + names[i];
    if (names.size() > listed) {
      std::string rest(more);
      if (const size_t at = rest.find('#'); at != std::string::npos)
        rest.replace(at, 1, std::to_string(names.size() - listed));
      text += " " + rest;
    }
  }
  return text;
}

std::string IncompleteFileText(const std::string& path, const Shortfall& shortfall) {
  if (shortfall.Empty()) return {};
  return shortfall.Text("Die Datei " + path + winport::Utf8ToAnsi(" ist unvollständig."), "und # weitere");
}

void ShowShortfall(const char* caption, const std::string& text) {
  if (!text.empty()) MessageBoxA(GetActiveWindow(), text.c_str(), caption, MB_OK | MB_ICONWARNING);
}

}  // namespace smallimports

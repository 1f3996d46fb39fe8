#include "tests/support/edas_writer.h"

#include <algorithm>

namespace testsupport::edas {

std::string WriteEdasFile(const EdasFile& f) {
  std::string out = f.magic.substr(0, 4);
  out.resize(8, '\0');
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(f.headerOffset >> (8 * i)));
  out.resize(32, '\0');
  auto put = [&out](uint64_t at, const std::string& bytes) {
    if (out.size() < at + bytes.size()) out.resize(at + bytes.size(), '\0');
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
  };
  put(f.headerOffset, f.header);
  for (const auto& [at, bytes] : f.data) put(at, bytes);
  return out;
}

std::string Lines(const std::vector<std::string>& lines, const std::string& eol) {
  std::string out;
  for (const std::string& line : lines) out += line + eol;
  return out;
}

std::string ChannelSection(const std::vector<std::string>& lines, const std::string& eol) {
  return "beginchannel" + eol + Lines(lines, eol) + "endchannel" + eol;
}

}  // namespace testsupport::edas

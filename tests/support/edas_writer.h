// Writes EDAS/PDAI files for tests: the 32-byte preamble, the text header at
// its offset and data blobs at chosen offsets (zeros between).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport::edas {

struct EdasFile {
  std::string magic = "EDAS";
  uint32_t headerOffset = 32;
  std::string header;  // the header text, lines ended
  std::vector<std::pair<uint64_t, std::string>> data;  // (file offset, bytes)
};
std::string WriteEdasFile(const EdasFile& file);

// Lines joined, each ended by `eol`.
std::string Lines(const std::vector<std::string>& lines, const std::string& eol = "\n");
// A channel section: "beginchannel", the lines, "endchannel".
std::string ChannelSection(const std::vector<std::string>& lines, const std::string& eol = "\n");

}  // namespace testsupport::edas

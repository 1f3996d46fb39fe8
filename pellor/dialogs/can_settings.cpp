#include "pellor/dialogs/can_settings.h"

#include <algorithm>
#include <cstdint>

#include "mdf/format.h"
#include "platform/win32/file.h"
#include "platform/win32/profile.h"

namespace pellor {
namespace {

std::string SectionName(int channel) { return mdf::StrFormat("CAN%d", channel); }

// A profile section's "key=value" entries, however long the section is.
std::vector<std::string> ReadSection(const std::string& section, const std::string& file) {
  // A section is never longer than the file that holds it, plus the list's two
  // NULs; a file that grew meanwhile gets a second, larger try.
  constexpr int64_t kLargest = int64_t{1} << 28;
  int64_t size = std::clamp<int64_t>(winport::FileSizeOf(file) + 2, 5200, kLargest);
  std::vector<char> buffer;
  for (int attempt = 0; attempt < 2; ++attempt, size = std::min(size * 2, kLargest)) {
    buffer.assign(static_cast<size_t>(size), '\0');
    const DWORD n = GetPrivateProfileSectionA(section.c_str(), buffer.data(), static_cast<DWORD>(size), file.c_str());
    if (int64_t{n} + 2 < size) break;  // it fitted (a list cut to size ends at size - 2)
  }
  std::vector<std::string> entries;
  for (size_t at = 0; at < buffer.size() && buffer[at] != '\0';) {
    const size_t end = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(at), buffer.end(), '\0') - buffer.begin();
    entries.emplace_back(buffer.data() + at, end - at);
    at = end + 1;
  }
  return entries;
}

}  // namespace

std::vector<std::string> ReadCanIniSection(int channel, const std::string& settingsPath) {
  std::vector<std::string> paths;
  if (!winport::IsReadableFile(settingsPath)) return paths;
  for (const std::string& entry : ReadSection(SectionName(channel), settingsPath)) {
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) continue;
    std::string path = entry.substr(equals + 1);
    if (!path.empty() && winport::IsReadableFile(path)) paths.push_back(std::move(path));
  }
  return paths;
}

bool WriteCanIniSection(const std::vector<std::string>& paths, int channel, const std::string& settingsPath) {
  const std::string section = SectionName(channel);
  bool ok = WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, settingsPath.c_str()) != FALSE;
  for (size_t k = 0; k < paths.size(); ++k)
    ok = WritePrivateProfileStringA(section.c_str(), mdf::StrFormat("DB%zu", k + 1).c_str(), paths[k].c_str(),
                                    settingsPath.c_str()) != FALSE &&
         ok;
  return ok;
}

}  // namespace pellor

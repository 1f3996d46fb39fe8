#include "smallimports/support/data_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/win32/codepage.h"
#include "smallimports/support/text.h"

namespace smallimports {

bool IsReadableFile(const std::string& path) {
  FileCursor file;
  return file.Open(path);
}

std::optional<std::string> FindFileNoCase(const std::string& folder, const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (IsReadableFile(folder + name)) return folder + name;
  // Paths are ANSI inside the system and UTF-8 for the operating system.
  const std::string dir = folder.empty() ? "." : winport::AnsiToUtf8(folder);
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = winport::Utf8ToAnsi(it->path().filename().string());
    if (EqualNoCase(entry, name) && IsReadableFile(folder + entry)) return folder + entry;
  }
  return std::nullopt;
}

DataSpaceRead StreamedData::Read(uint64_t position, uint8_t* buffer, uint32_t bytes) {
  if (position >= size_) return {};
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(bytes, size_ - position));
  // The file may have been cut since the import: bytes it no longer holds are
  // no values, and the caller's buffer stays as it was where that shows before reading.
  const uint64_t at = offset_ + position;
  const bool complete = file_.IsOpen() && at <= file_.Size() && n <= file_.Size() - at && file_.SeekTo(at) &&
                        file_.ReadSome(buffer, n) == n;
  return {complete ? n : 0, n, complete};
}

}  // namespace smallimports

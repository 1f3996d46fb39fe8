#include "quenvo/file_import.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "importcore/support.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/file.h"

namespace quenvo {
namespace {

constexpr char kMatFileText[] = "MATLAB 5.0 MAT-file";
constexpr size_t kMatFileTextSize = sizeof kMatFileText - 1;

// Whether the file begins with the level-5 header text.
bool HasLevel5Header(const std::string& path) {
  winport::File file;
  if (!file.Open(path, winport::FileAccess::Read, winport::FileShare::Read)) return false;
  char head[kMatFileTextSize];
  return file.ReadExact(head, sizeof head) && std::memcmp(head, kMatFileText, sizeof head) == 0;
}

}  // namespace

LoadStatus FileImport::ImportFile(const std::string& path) {
  ReleaseFile();
  if (!parametersPut_) parameters_.SetNaming(LoadOptions(optionsFile_.empty() ? kOptionsFileName : optionsFile_));
  comments_ = ImportComments();
  imported_ = std::make_shared<ImportedFile>();
  const NamingOptions naming = parameters_.Naming();
  const LoadStatus status = LoadMatFile(path, LoadTarget{*imported_, comments_, naming});
  // A failed load leaves no signals or data behind for the host.
  if (status != LoadStatus::Ok) imported_.reset();
  std::optional<LoadMessage> message = MessageFor(status, path);
  if (imported_) message = ShortfallMessage(*imported_, path);
  if (message) MessageBoxA(GetActiveWindow(), message->text.c_str(), message->caption.c_str(), MB_OK | message->icon);
  return status;
}

void FileImport::ReleaseFile() { imported_.reset(); }

int32_t FileImport::IsValid(const std::string& path) {
  if (!HasLevel5Header(path)) return 0;
  MatFile file(path);
  if (!file.IsOpen()) return 0;
  const mxArray* v = SkipLeadingTexts(file, file.Next(), nullptr);
  if (!v) return 0;
  if (std::strcmp(mxGetName(v), "signale") == 0) return 1;
  if (FindMatPath(file, v, {"signale", "Zeit"})) return 1;
  return FindMatPath(file, v, {"X", "Name"}) ? 1 : 0;
}

void FileImport::Open() {
  ++openCount_;
  position_ = 0;
}

void FileImport::Close() {
  --openCount_;
  position_ = 0;
}

void FileImport::Seek(int64_t offset, int32_t origin) {
  switch (origin) {
    case 0: position_ = offset; break;
    case 1:
      // Saturates rather than wrapping; any position outside the data space reads nothing.
      if (__builtin_add_overflow(position_, offset, &position_))
        position_ = offset < 0 ? INT64_MIN : INT64_MAX;
      break;
    case 2: position_ = static_cast<int64_t>(DataSize()) - offset; break;
    default: break;
  }
}

uint32_t FileImport::Read(uint8_t* buffer, uint32_t bytes) {
  if (!imported_ || !imported_->data || position_ < 0) return 0;
  const uint64_t size = DataSize();
  if (static_cast<uint64_t>(position_) > size) position_ = static_cast<int64_t>(size);
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(bytes, size - static_cast<uint64_t>(position_)));
  if (n) std::memcpy(buffer, imported_->data.data() + position_, n);
  position_ += n;
  return n;
}

int32_t FileImport::SignalCount() const {
  return imported_ ? static_cast<int32_t>(imported_->signals.Count()) : 0;
}

uint32_t FileImport::BlockSize() const { return imported_ ? imported_->BlockSize : kChannelBlockSize; }

uint64_t FileImport::DataSize() const { return imported_ ? imported_->data.size() : 0; }

std::optional<std::string> FileImport::FileComment(int32_t index) const {
  if (index == 0) return comments_.fileComment.str();
  if (index < 1 || index >= kNoOfComments) return std::nullopt;
  const Comment* slot = comments_.table.Slot(static_cast<size_t>(index - 1));
  if (!slot || slot->text.empty()) return std::nullopt;
  return slot->text;
}

std::optional<std::string> FileImport::CommentName(int32_t index) const {
  if (index < 1 || index >= kNoOfComments) return std::nullopt;
  const Comment* slot = comments_.table.Slot(static_cast<size_t>(index - 1));
  if (!slot || slot->name.empty()) return std::nullopt;
  return slot->name;
}

void FileImport::PutParameters(const uint8_t* host) {
  if (parameters_.CopyFromHost(host)) parametersPut_ = true;
}

}  // namespace quenvo

#include "orsand/tdm_import.h"

#include <algorithm>
#include <cstring>

#include "importcore/support.h"

namespace orsand {
namespace {
constexpr size_t kNameWidth = 260;  // the Name text with its NUL
}  // namespace

int32_t TdmImport::IsValid(const std::string& path) {
  name_ = importcore::CopyTextN(path, kNameWidth);
  return DetectTdmFormat(path) != FileKind::Neither ? 1 : 0;
}

bool TdmImport::ImportFile(const std::string& path, const LoadLimits& limits) {
  ReleaseFile();
  name_ = importcore::CopyTextN(path, kNameWidth);
  auto file = std::make_shared<ImportedFile>();
  if (Load(path, *file, name_, limits).result != LoadResult::Imported) return false;
  file_ = std::move(file);
  return true;
}

void TdmImport::ReleaseFile() { file_.reset(); }

void TdmImport::Open() {
  ++openCount_;
  position_ = 0;
}

void TdmImport::Close() {
  --openCount_;
  position_ = 0;
}

void TdmImport::Seek(int32_t offset, int32_t origin) {
  switch (origin) {
    case 0: position_ = offset; break;
    case 1: position_ += offset; break;
    case 2: position_ = int64_t{DataSize()} - offset; break;
    default: break;
  }
}

uint32_t TdmImport::Read(uint8_t* buffer, uint32_t bytes) {
  if (position_ < 0) return 0;
  const uint64_t size = static_cast<uint64_t>(DataSize());
  uint64_t position = std::min(static_cast<uint64_t>(position_), size);
  uint64_t n = std::min<uint64_t>(bytes, size - position);
  uint64_t copied = 0;
  if (const SignalRecord* s = file_ ? file_->SignalAt(position) : nullptr) {
    n = std::min(n, s->endOffset - position);
    std::memcpy(buffer, s->values.get() + (position - s->byteOffset), n);
    copied = n;
  }
  position_ = static_cast<int64_t>(position + n);
  return static_cast<uint32_t>(copied);
}

int32_t TdmImport::SignalCount() const { return file_ ? static_cast<int32_t>(file_->signals.Count()) : 0; }

int32_t TdmImport::NoOfComments() const { return file_ ? static_cast<int32_t>(file_->comments.Count()) + 1 : 1; }

const Comment* TdmImport::Slot(int32_t index) const {
  if (!file_ || index < 1 || index > static_cast<int32_t>(CommentTable::kSlots)) return nullptr;
  return file_->comments.Slot(static_cast<size_t>(index - 1));
}

const std::string* TdmImport::FileComment(int32_t index) const {
  const Comment* c = Slot(index);
  return c && !c->value.empty() ? &c->value : nullptr;
}

const std::string* TdmImport::CommentName(int32_t index) const {
  const Comment* c = Slot(index);
  return c && !c->name.empty() ? &c->name : nullptr;
}

}  // namespace orsand

#include "smallimports/support/com_objects.h"

namespace smallimports {

void DataSpaceCursor::Reset() {
  stream_.reset();
  opens_ = 0;
  position_ = 0;
}

HRESULT DataSpaceCursor::Open() {
  if (stream_ && opens_ == 0 && !stream_->Open()) return E_FAIL;
  ++opens_;
  position_ = 0;
  return S_OK;
}

void DataSpaceCursor::Close() {
  if (opens_ > 0 && --opens_ == 0 && stream_) stream_->Close();
  position_ = 0;
}

void DataSpaceCursor::Seek(LONG lPos, LONG origin, uint32_t dataSize) {
  const auto offset = static_cast<uint32_t>(lPos);
  switch (origin) {
    case 0:
      position_ = offset;
      break;
    case 1:
      position_ += offset;
      break;
    case 2:
      position_ = dataSize - offset;
      break;
    default:
      break;
  }
}

HRESULT DataSpaceCursor::Read(IUnknown** pBuffer, ULONG bytes, const void* data, MemoryRead memory) {
  if (bytes == 0) return S_OK;
  if (!pBuffer || !*pBuffer) return E_POINTER;
  auto* target = *reinterpret_cast<uint8_t**>(pBuffer);
  const DataSpaceRead read = stream_ ? stream_->Read(position_, target, bytes) : memory(data, position_, target, bytes);
  // A read the file can no longer serve fails, and the position stays.
  if (!read.complete) return E_FAIL;
  position_ += read.advance;
  return S_OK;
}

}  // namespace smallimports

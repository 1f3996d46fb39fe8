#include "dravo/objects.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "dravo/mdflib.h"

namespace dravo {

using importcore::Answer;
using importcore::AnswerNew;

namespace {

// The file name as the library's 8-bit text, each character's low byte; none
// when it is too long or holds a character that no byte stands for (above
// U+00FF, or a C1 control, whose byte means another letter in the ANSI code page).
std::optional<std::string> NarrowFileName(BSTR name) {
  const std::u16string_view wide = winport::BstrView(name);
  if (wide.size() > kMaxFileNameChars) return std::nullopt;
  std::string narrow(wide.size(), '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    const char16_t c = wide[i];
    if (c > 0xFF || (c >= 0x80 && c <= 0x9F)) return std::nullopt;
    narrow[i] = static_cast<char>(c);
  }
  return narrow;
}

}  // namespace

// ---- ZPSignal ----

std::shared_ptr<const SignalRecord> CZPSignal::Find(LONG number) const {
  const std::shared_ptr<const ImportData> import = import_.lock();
  if (!import) return nullptr;
  const SignalRecord* record = import->signals.FindByNumber(number);
  return record ? std::shared_ptr<const SignalRecord>(import, record) : nullptr;
}

HRESULT CZPSignal::BitState(LONG val, BSTR* out) {
  if (!out) return E_POINTER;
  if (Find(number_))
    if (const auto named = Find(val)) *out = TextToBstr(named->Name.str());
  return S_OK;
}

// ---- ZPFileImport ----

CZPFileImport::CZPFileImport() : import_(std::make_shared<ImportData>()) {}

HRESULT CZPFileImport::Open() {
  ++opens_;
  position_ = 0;
  return S_OK;
}

HRESULT CZPFileImport::Seek(LONG lPos, LONG origin) {
  const auto offset = static_cast<uint32_t>(lPos);
  switch (origin) {
    case 0: position_ = offset; break;
    case 1: position_ += offset; break;
    case 2: position_ = import_->dataSize - offset; break;
    default: break;
  }
  return S_OK;
}

HRESULT CZPFileImport::Read(IUnknown** pBuffer, ULONG dwBytes) {
  uint8_t* buffer = importcore::HostBuffer(pBuffer);
  if (!buffer) return E_POINTER;
  const uint32_t size = import_->dataSize;
  const uint32_t count = position_ < size ? std::min<uint32_t>(dwBytes, size - position_) : 0;
  if (count) std::memcpy(buffer, import_->data.get() + position_, count);
  position_ += count;
  return S_OK;
}

HRESULT CZPFileImport::Close() {
  if (opens_ > 0) --opens_;
  position_ = 0;
  return S_OK;
}

HRESULT CZPFileImport::ImportFile(BSTR strFileName, BSTR /*strUser*/) {
  ReleaseFile();
  const std::optional<std::string> name = NarrowFileName(strFileName);
  if (!name) return E_FAIL;
  try {
    auto data = std::make_shared<ImportData>();
    if (!ImportMdfFile(*name, factors_, *data)) {
      ReleaseFile();
      return E_FAIL;
    }
    import_ = std::move(data);
  } catch (const std::bad_alloc&) {
    ReleaseFile();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CZPFileImport::ReleaseFile() {
  factors_ = ImportFactors();
  import_ = std::make_shared<ImportData>();
  opens_ = 0;
  position_ = 0;
  return S_OK;
}

HRESULT CZPFileImport::get_nSignals(LONG* n) { return Answer(n, static_cast<LONG>(import_->signals.Count())); }

HRESULT CZPFileImport::get_Signal(LONG idx, IDispatch** signal) {
  return AnswerNew<CZPSignal>(signal, std::weak_ptr<const ImportData>(import_), idx);
}

HRESULT CZPFileImport::get_IsValid(BSTR /*strFileName*/, LONG* valid) {
  if (!valid) return E_POINTER;
  const bool ok = MdfInitLibrary("ZephanorImport") == kMdfOk;
  if (ok) MdfExitLibrary();
  *valid = ok ? 1 : 0;
  return S_OK;
}

HRESULT CZPFileImport::get_FileDate(LONG* date) { return Answer<LONG>(date, import_->fileDate); }
HRESULT CZPFileImport::get_BlockSize(LONG* size) { return Answer(size, static_cast<LONG>(import_->blockSize)); }
HRESULT CZPFileImport::get_DataSize(LONG* size) { return Answer(size, static_cast<LONG>(import_->dataSize)); }
HRESULT CZPFileImport::get_NoOfComments(LONG* n) { return Answer(n, static_cast<LONG>(kCommentSlots)); }

const CommentEntry* CZPFileImport::CommentAt(LONG index) const {
  if (index < 1 || index >= static_cast<LONG>(kCommentSlots)) return nullptr;
  const auto i = static_cast<size_t>(index - 1);
  return i < import_->comments.size() ? &import_->comments[i] : nullptr;
}

HRESULT CZPFileImport::get_FileComment(LONG iIndex, BSTR* text) {
  if (!text) return E_POINTER;
  if (iIndex == 0) {
    *text = TextToBstr(import_->fileComment);
    return S_OK;
  }
  const CommentEntry* entry = CommentAt(iIndex);
  *text = entry && !entry->text.empty() ? TextToBstr(entry->text) : nullptr;
  return S_OK;
}

HRESULT CZPFileImport::get_nFiles(LONG* n) { return Answer<LONG>(n, 1); }

HRESULT CZPFileImport::get_Name(LONG /*iIndex*/, BSTR* name) {
  if (!name) return E_POINTER;
  *name = TextToBstr(import_->name);
  return S_OK;
}

HRESULT CZPFileImport::get_Version(LONG* version) { return Answer<LONG>(version, kModuleVersion); }
HRESULT CZPFileImport::get_nScalars(LONG* n) { return Answer<LONG>(n, 0); }

HRESULT CZPFileImport::get_Scalar(LONG /*idx*/, IDispatch** scalar) { return AnswerNew<CZPScalar>(scalar); }

HRESULT CZPFileImport::get_CommentName(LONG lIndex, BSTR* name) {
  if (!name) return E_POINTER;
  const CommentEntry* entry = CommentAt(lIndex);
  *name = entry && !entry->name.empty() ? TextToBstr(entry->name) : nullptr;
  return S_OK;
}

HRESULT CZPFileImport::get_FileInfo(LONG /*iSubFile*/, LONG* result) { return Answer<LONG>(result, 0); }

}  // namespace dravo

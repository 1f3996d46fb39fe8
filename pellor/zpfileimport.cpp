#include "pellor/zpfileimport.h"

#include "pellor/dialogs/file_info.h"

namespace pellor {
namespace {

// Stores a value into an [out] place, E_POINTER for none.
template <typename T>
HRESULT Answer(T* out, T value) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

HRESULT AnswerText(BSTR* out, const std::optional<std::string>& text) {
  return Answer(out, text ? importcore::TextToBstr(*text) : BSTR{nullptr});
}

// The host's byte buffer behind the address of its pointer; null when either is missing.
uint8_t* HostBuffer(IUnknown** buffer) { return buffer ? *reinterpret_cast<uint8_t**>(buffer) : nullptr; }

}  // namespace

HRESULT CZPFileImport::Open() { return m_import.Open(); }

HRESULT CZPFileImport::Seek(LONG lPos, LONG origin) {
  m_import.Seek(lPos, origin);
  return S_OK;
}

HRESULT CZPFileImport::Read(IUnknown** pBuffer, ULONG dwBytes) {
  uint8_t* buffer = HostBuffer(pBuffer);
  if (!buffer) return E_POINTER;
  return m_import.Read(buffer, dwBytes) ? S_OK : E_FAIL;
}

HRESULT CZPFileImport::ReadEx(IUnknown** pBuffer, ULONG dwBytes, IUnknown** pTimeBuffer, ULONG dwTimeBytes) {
  uint8_t* buffer = HostBuffer(pBuffer);
  if (!buffer) return E_POINTER;
  uint8_t* timeBuffer = HostBuffer(pTimeBuffer);
  if (dwTimeBytes != 0 && !timeBuffer) return E_POINTER;
  return m_import.ReadEx(buffer, dwBytes, timeBuffer, dwTimeBytes) ? S_OK : E_FAIL;
}

HRESULT CZPFileImport::Close() {
  m_import.Close();
  return S_OK;
}

HRESULT CZPFileImport::ImportFile(BSTR strFileName, BSTR strUser) {
  return m_import.ImportFile(winport::AnsiFromBstr(strFileName), winport::AnsiFromBstr(strUser));
}

HRESULT CZPFileImport::ReleaseFile() {
  m_import.ReleaseFile();
  return S_OK;
}

HRESULT CZPFileImport::get_nSignals(LONG* count) { return Answer(count, m_import.m_nSignals); }

HRESULT CZPFileImport::get_Signal(LONG idx, IDispatch** signal) {
  if (!signal) return E_POINTER;
  CZPSignal* object = comserver::New<CZPSignal>(m_import.ListsRef(), idx);
  *signal = object;
  return object ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZPFileImport::get_IsValid(BSTR strFileName, LONG* valid) {
  return Answer(valid, m_import.IsValid(winport::AnsiFromBstr(strFileName)));
}

HRESULT CZPFileImport::get_FileDate(LONG* date) { return Answer(date, m_import.m_fileDate); }

HRESULT CZPFileImport::get_BlockSize(LONG* size) { return Answer(size, LONG{FileImport::kBlockSize}); }

HRESULT CZPFileImport::get_DataSize(LONG* size) {
  return Answer(size, static_cast<LONG>(static_cast<uint32_t>(m_import.m_dataSize)));
}

HRESULT CZPFileImport::get_NoOfComments(LONG* count) { return Answer(count, LONG{FileImport::kNoOfComments}); }

HRESULT CZPFileImport::get_FileComment(LONG iIndex, BSTR* text) { return AnswerText(text, m_import.FileComment(iIndex)); }

HRESULT CZPFileImport::get_nFiles(LONG* count) { return Answer(count, LONG{1}); }

HRESULT CZPFileImport::get_Name(LONG, BSTR* name) { return AnswerText(name, m_import.m_name); }

HRESULT CZPFileImport::get_Version(LONG* version) { return Answer(version, LONG{FileImport::kVersion}); }

HRESULT CZPFileImport::get_nScalars(LONG* count) { return Answer(count, m_import.m_nScalars); }

HRESULT CZPFileImport::get_Scalar(LONG idx, IDispatch** scalar) {
  if (!scalar) return E_POINTER;
  CZPScalar* object = comserver::New<CZPScalar>(m_import.ListsRef(), idx);
  *scalar = object;
  return object ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZPFileImport::get_CommentName(LONG lIndex, BSTR* name) { return AnswerText(name, m_import.CommentName(lIndex)); }

// The information dialog of the current file model, shown modally; the index is not used.
HRESULT CZPFileImport::get_FileInfo(LONG, LONG* result) {
  if (!result) return E_POINTER;
  CFileInfo dialog;
  dialog.SetFile(m_import.m_mdf.get());
  *result = static_cast<LONG>(dialog.DoModal());
  return S_OK;
}

HRESULT CZPFileImport::get_ParSize(LONG* size) { return Answer(size, m_import.ParSize()); }

HRESULT CZPFileImport::get_Parameters(LONG_PTR* address) {
  return Answer(address, reinterpret_cast<LONG_PTR>(m_import.ParameterAddress()));
}

HRESULT CZPFileImport::put_Parameters(LONG_PTR address) {
  return m_import.PutParameters(reinterpret_cast<const uint8_t*>(address));
}

HRESULT CZPFileImport::get_DaffExists(BSTR, BSTR* name) { return Answer(name, BSTR{nullptr}); }

HRESULT CZPFileImport::get_CanDoReadEx(LONG* can) { return Answer(can, m_import.CanDoReadEx()); }

HRESULT CZPFileImport::put_ZpVersion(LONG version) {
  m_import.SetHostVersion(version);
  return S_OK;
}

}  // namespace pellor

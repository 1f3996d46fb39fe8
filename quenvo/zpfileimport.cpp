#include "quenvo/zpfileimport.h"

#include <optional>
#include <string>

namespace quenvo {

using importcore::Answer;
using importcore::AnswerNew;
using importcore::AnswerText;

namespace {

std::string OptionsFileBeside(const std::string& modulePath) {
  const size_t slash = modulePath.find_last_of('/');
  return (slash == std::string::npos ? std::string() : modulePath.substr(0, slash + 1)) + kOptionsFileName;
}

}  // namespace

CZPFileImport::CZPFileImport() { m_import.SetOptionsFile(OptionsFileBeside(comserver::ModulePath())); }

HRESULT CZPFileImport::Open() {
  m_import.Open();
  return S_OK;
}

HRESULT CZPFileImport::Seek(LONG lPos, LONG origin) {
  m_import.Seek(lPos, origin);
  return S_OK;
}

HRESULT CZPFileImport::Read(IUnknown** pBuffer, ULONG dwBytes) {
  uint8_t* buffer = importcore::HostBuffer(pBuffer);
  if (!buffer) return E_POINTER;
  m_import.Read(buffer, dwBytes);
  return S_OK;
}

HRESULT CZPFileImport::Close() {
  m_import.Close();
  return S_OK;
}

HRESULT CZPFileImport::ImportFile(BSTR strFileName, BSTR) {
  return m_import.ImportFile(winport::AnsiFromBstr(strFileName)) == LoadStatus::Ok ? S_OK : E_FAIL;
}

HRESULT CZPFileImport::ReleaseFile() {
  m_import.ReleaseFile();
  return S_OK;
}

HRESULT CZPFileImport::get_nSignals(LONG* count) { return Answer(count, LONG{m_import.SignalCount()}); }

HRESULT CZPFileImport::get_Signal(LONG idx, IDispatch** signal) {
  return AnswerNew<CZPSignal>(signal, m_import.Imported(), idx);
}

HRESULT CZPFileImport::get_IsValid(BSTR strFileName, LONG* valid) {
  return Answer(valid, LONG{FileImport::IsValid(winport::AnsiFromBstr(strFileName))});
}

HRESULT CZPFileImport::get_FileDate(LONG* date) { return Answer(date, LONG{0}); }

HRESULT CZPFileImport::get_BlockSize(LONG* size) { return Answer(size, static_cast<LONG>(m_import.BlockSize())); }

HRESULT CZPFileImport::get_DataSize(LONG* size) { return Answer(size, static_cast<LONG>(m_import.DataSize())); }

HRESULT CZPFileImport::get_NoOfComments(LONG* count) { return Answer(count, LONG{FileImport::kNoOfComments}); }

HRESULT CZPFileImport::get_FileComment(LONG iIndex, BSTR* text) { return AnswerText(text, m_import.FileComment(iIndex)); }

HRESULT CZPFileImport::get_nFiles(LONG* count) { return Answer(count, LONG{1}); }

// The module never fills its name: an empty text.
HRESULT CZPFileImport::get_Name(LONG, BSTR* name) { return AnswerText(name, std::string()); }

HRESULT CZPFileImport::get_Version(LONG* version) { return Answer(version, LONG{FileImport::kVersion}); }

HRESULT CZPFileImport::get_nScalars(LONG* count) { return Answer(count, LONG{0}); }

HRESULT CZPFileImport::get_Scalar(LONG, IDispatch** scalar) { return AnswerNew<CZPScalar>(scalar); }

HRESULT CZPFileImport::get_CommentName(LONG lIndex, BSTR* name) {
  return AnswerText(name, m_import.CommentName(lIndex));
}

HRESULT CZPFileImport::get_FileInfo(LONG, LONG* result) { return Answer(result, LONG{0}); }

HRESULT CZPFileImport::get_ParSize(LONG* size) { return Answer(size, LONG{m_import.Parameters().SizeWord()}); }

HRESULT CZPFileImport::get_Parameters(LONG_PTR* address) {
  return Answer(address, reinterpret_cast<LONG_PTR>(m_import.Parameters().Data()));
}

HRESULT CZPFileImport::put_Parameters(LONG_PTR address) {
  m_import.PutParameters(reinterpret_cast<const uint8_t*>(address));
  return S_OK;
}

}  // namespace quenvo

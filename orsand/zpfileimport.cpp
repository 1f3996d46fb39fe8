#include "orsand/zpfileimport.h"

#include <new>

namespace orsand {

using importcore::Answer;
using importcore::AnswerNew;
using importcore::AnswerText;

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

HRESULT CZPFileImport::ImportFile(BSTR strFileName, BSTR /*strUser*/) {
  try {
    return m_import.ImportFile(winport::AnsiFromBstr(strFileName)) ? S_OK : E_FAIL;
  } catch (const std::bad_alloc&) {
    m_import.ReleaseFile();
    return E_OUTOFMEMORY;
  }
}

HRESULT CZPFileImport::ReleaseFile() {
  m_import.ReleaseFile();
  return S_OK;
}

HRESULT CZPFileImport::get_nSignals(LONG* count) { return Answer<LONG>(count, m_import.SignalCount()); }

HRESULT CZPFileImport::get_Signal(LONG idx, IDispatch** signal) {
  return AnswerNew<CZPSignal>(signal, m_import.Imported(), idx);
}

HRESULT CZPFileImport::get_IsValid(BSTR strFileName, LONG* valid) {
  return Answer<LONG>(valid, m_import.IsValid(winport::AnsiFromBstr(strFileName)));
}

HRESULT CZPFileImport::get_FileDate(LONG* date) { return Answer<LONG>(date, m_import.FileDate()); }
HRESULT CZPFileImport::get_BlockSize(LONG* size) { return Answer<LONG>(size, m_import.BlockSize()); }
HRESULT CZPFileImport::get_DataSize(LONG* size) { return Answer<LONG>(size, m_import.DataSize()); }
HRESULT CZPFileImport::get_NoOfComments(LONG* count) { return Answer<LONG>(count, m_import.NoOfComments()); }

HRESULT CZPFileImport::get_FileComment(LONG iIndex, BSTR* text) {
  return AnswerText(text, m_import.FileComment(iIndex));
}

HRESULT CZPFileImport::get_nFiles(LONG* count) { return Answer<LONG>(count, 1); }

HRESULT CZPFileImport::get_Name(LONG /*iIndex*/, BSTR* name) { return AnswerText(name, &m_import.Name()); }

HRESULT CZPFileImport::get_Version(LONG* version) { return Answer<LONG>(version, TdmImport::kVersion); }
HRESULT CZPFileImport::get_nScalars(LONG* count) { return Answer<LONG>(count, 0); }

HRESULT CZPFileImport::get_Scalar(LONG /*idx*/, IDispatch** scalar) { return AnswerNew<CZPScalar>(scalar); }

HRESULT CZPFileImport::get_CommentName(LONG lIndex, BSTR* name) {
  return AnswerText(name, m_import.CommentName(lIndex));
}

// No information dialog, options or parameter block in this module.
HRESULT CZPFileImport::get_FileInfo(LONG /*iSubFile*/, LONG* result) { return Answer<LONG>(result, 0); }
HRESULT CZPFileImport::get_ParSize(LONG* size) { return Answer<LONG>(size, 0); }
HRESULT CZPFileImport::get_Parameters(LONG_PTR* address) { return Answer<LONG_PTR>(address, 0); }
HRESULT CZPFileImport::put_Parameters(LONG_PTR /*address*/) { return S_OK; }
HRESULT CZPFileImport::get_DaffExists(BSTR /*strFileName*/, BSTR* name) { return name ? S_OK : E_POINTER; }

}  // namespace orsand

// CZPFileImport: the file-import object of the import contract, the COM face
// of FileImport. The host creates one per import, asks it to import a file,
// reads the signal, scalar and comment lists and streams the values.
#pragma once

#include "importcore/contract.h"
#include "importcore/objects.h"
#include "pellor/file_import.h"
#include "pellor/zpsignal.h"
#include "platform/com/server/server.h"

namespace pellor {

inline constexpr comserver::Interface kIZPFileImport{"IZPFileImport", kIID_IZPFileImport,
                                                     importcore::contract::kFileImportMembers};

class CZPFileImport : public comserver::Dispatch<CZPFileImport> {
 public:
  HRESULT Open();
  HRESULT Seek(LONG lPos, LONG origin);
  // pBuffer is the address of the host's byte pointer.
  HRESULT Read(IUnknown** pBuffer, ULONG dwBytes);
  HRESULT Close();
  HRESULT ImportFile(BSTR strFileName, BSTR strUser);
  HRESULT ReleaseFile();
  HRESULT get_nSignals(LONG* count);
  HRESULT get_Signal(LONG idx, IDispatch** signal);
  HRESULT get_IsValid(BSTR strFileName, LONG* valid);
  HRESULT get_FileDate(LONG* date);
  HRESULT get_BlockSize(LONG* size);
  HRESULT get_DataSize(LONG* size);
  HRESULT get_NoOfComments(LONG* count);
  HRESULT get_FileComment(LONG iIndex, BSTR* text);
  HRESULT get_nFiles(LONG* count);
  HRESULT get_Name(LONG iIndex, BSTR* name);
  HRESULT get_Version(LONG* version);
  HRESULT get_nScalars(LONG* count);
  HRESULT get_Scalar(LONG idx, IDispatch** scalar);
  HRESULT get_CommentName(LONG lIndex, BSTR* name);
  HRESULT get_FileInfo(LONG iSubFile, LONG* result);
  HRESULT get_ParSize(LONG* size);
  HRESULT get_Parameters(LONG_PTR* address);
  HRESULT put_Parameters(LONG_PTR address);
  HRESULT get_DaffExists(BSTR strFileName, BSTR* name);
  HRESULT ReadEx(IUnknown** pBuffer, ULONG dwBytes, IUnknown** pTimeBuffer, ULONG dwTimeBytes);
  HRESULT get_CanDoReadEx(LONG* can);
  HRESULT put_ZpVersion(LONG version);

  // The import behind the contract (for the tests and the information dialog).
  FileImport& Import() { return m_import; }

  static constexpr const comserver::Interface& kInterface = kIZPFileImport;
  static constexpr auto kBindings =
      importcore::FileImportBindings<CZPFileImport, importcore::contract::form::kFileImport28>();

 private:
  FileImport m_import;
};

}  // namespace pellor

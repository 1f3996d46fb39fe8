// CZPFileImport: the module's file-import object, the first 24 members of
// the contract over FileImport.
#pragma once

#include "importcore/contract.h"
#include "importcore/objects.h"
#include "platform/com/server/server.h"
#include "quenvo/file_import.h"
#include "quenvo/zpsignal.h"

namespace quenvo {

inline constexpr comserver::Interface kIZPFileImport{"IZPFileImport", kIID_IZPFileImport,
                                                     importcore::contract::kFileImportMembers};

class CZPFileImport : public comserver::Dispatch<CZPFileImport> {
 public:
  // The options file lies beside the module.
  CZPFileImport();

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

  static constexpr const comserver::Interface& kInterface = kIZPFileImport;
  static constexpr auto kBindings =
      importcore::FileImportBindings<CZPFileImport, importcore::contract::form::kFileImport24>();

 private:
  FileImport m_import;
};

}  // namespace quenvo

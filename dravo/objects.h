// The module's COM classes: ZPFileImport, ZPSignal and ZPScalar, the
// 21/46/11-member form of the import contract.
//
// The file-import object holds its import by shared pointer and replaces it
// by an empty one at ReleaseFile; signal objects hold it weakly and look
// their record up at every call, so that one asked after ReleaseFile, after
// the import object's end, or made without one finds no record and leaves
// every result as the caller set it. The module makes no scalars.
#pragma once

#include <memory>

#include "dravo/import_driver.h"
#include "dravo/import_records.h"
#include "dravo/import_text.h"
#include "importcore/contract.h"
#include "importcore/objects.h"
#include "platform/com/server/server.h"

namespace dravo {

inline constexpr size_t kFileImportMembers = importcore::contract::form::kFileImport21;
inline constexpr size_t kSignalMembers = importcore::contract::form::kSignal46;

inline constexpr comserver::Interface kIZPFileImport{"IZPFileImport",
                                                     winport::GuidOf("{B8C0F406-941F-4957-9D22-B8850B26FE96}"),
                                                     importcore::contract::kFileImportMembers};
inline constexpr comserver::Interface kIZPSignal{"IZPSignal", winport::GuidOf("{D04CFC34-17EB-4927-92D1-1070B0BEC44D}"),
                                                 importcore::contract::kSignalMembers};
inline constexpr comserver::Interface kIZPScalar{"IZPScalar", winport::GuidOf("{797AFA1F-E4EB-4B63-B825-0059316195F2}"),
                                                 importcore::contract::kScalarMembers};

// The longest file name ImportFile takes.
inline constexpr size_t kMaxFileNameChars = 559;

class CZPSignal : public comserver::Dispatch<CZPSignal>, public importcore::RecordGetters<CZPSignal, &TextToBstr> {
 public:
  // Made by COM: no import.
  CZPSignal() = default;
  CZPSignal(std::weak_ptr<const ImportData> import, LONG number) : import_(std::move(import)), number_(number) {}

  HRESULT BitState(LONG val, BSTR* out);

  using S = CZPSignal;
  using R = SignalRecord;
  static constexpr const comserver::Interface& kInterface = kIZPSignal;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text<&R::Name>>(),          Bind<&S::Text<&R::Label>>(),         Bind<&S::Long<&R::STyp>>(),
      Bind<&S::Long<&R::DTyp>>(),          Bind<&S::Long<&R::Ignore>>(),        Bind<&S::Long<&R::ValuesPerBlock>>(),
      Bind<&S::Long<&R::BlockOffset>>(),   Bind<&S::Long<&R::Demux>>(),         Bind<&S::Double<&R::XMin>>(),
      Bind<&S::Double<&R::XMax>>(),        Bind<&S::Double<&R::XFactor>>(),     Bind<&S::Double<&R::XOffset>>(),
      Bind<&S::Double<&R::YMin>>(),        Bind<&S::Double<&R::YMax>>(),        Bind<&S::Double<&R::YFactor>>(),
      Bind<&S::Double<&R::YOffset>>(),     Bind<&S::Text<&R::XUnit>>(),         Bind<&S::Text<&R::YUnit>>(),
      Bind<&S::Double<&R::Sweep>>(),       Bind<&S::Long<&R::NoOfValues>>(),    Bind<&S::Long<&R::Block0>>(),
      Bind<&S::Double<&R::NoValue>>(),     Bind<&S::Text<&R::XGrid>>(),         Bind<&S::Text<&R::YGrid>>(),
      Bind<&S::Double<&R::YStep>>(),       Bind<&S::Double<&R::YOrigin>>(),     Bind<&S::Text<&R::YMUnit>>(),
      Bind<&S::Double<&R::tag_DM_PSEC>>(), Bind<&S::Text<&R::tag_DM_DATYP>>(),  Bind<&S::Text<&R::tag_DM_UNIT>>(),
      Bind<&S::Text<&R::tag_DM_SCMNT>>(),  Bind<&S::Text<&R::tag_DM_CMNT>>(),   Bind<&S::Text<&R::tag_GL_SHINT>>(),
      Bind<&S::NoValuesRaw>(),             Bind<&S::Text<&R::Alias>>(),         Bind<&S::Fixed<0>>(),
      Bind<&S::Fixed<1>>(),                Bind<&S::Text<&R::XLink>>(),         Bind<&S::Text<&R::CLink>>(),
      Bind<&S::Fixed<0>>(),                Bind<&S::Text<&R::DisplayName>>(),   Bind<&S::Text<&R::XSignal>>(),
      Bind<&S::BitState>(),                Bind<&S::Double<&R::MinDelta>>(),    Bind<&S::Double<&R::MaxDelta>>(),
      Bind<&S::Long<&R::IsUniDir>>(),
  };
  static_assert(std::size(kBindings) == kSignalMembers);

 private:
  friend importcore::RecordGetters<CZPSignal, &TextToBstr>;
  // The record, looked up at every call; see Find.
  std::shared_ptr<const SignalRecord> Record() const { return Find(number_); }
  // The record, kept alive with its import while the caller holds it; null when there is none.
  std::shared_ptr<const SignalRecord> Find(LONG number) const;

  std::weak_ptr<const ImportData> import_;
  LONG number_ = -1;
};

using CZPScalar = importcore::EmptyScalar<kIZPScalar>;

class CZPFileImport : public comserver::Dispatch<CZPFileImport> {
 public:
  CZPFileImport();

  HRESULT Open();
  HRESULT Seek(LONG lPos, LONG origin);
  HRESULT Read(IUnknown** pBuffer, ULONG dwBytes);
  HRESULT Close();
  HRESULT ImportFile(BSTR strFileName, BSTR strUser);
  HRESULT ReleaseFile();
  HRESULT get_nSignals(LONG* n);
  HRESULT get_Signal(LONG idx, IDispatch** signal);
  HRESULT get_IsValid(BSTR strFileName, LONG* valid);
  HRESULT get_FileDate(LONG* date);
  HRESULT get_BlockSize(LONG* size);
  HRESULT get_DataSize(LONG* size);
  HRESULT get_NoOfComments(LONG* n);
  HRESULT get_FileComment(LONG iIndex, BSTR* text);
  HRESULT get_nFiles(LONG* n);
  HRESULT get_Name(LONG iIndex, BSTR* name);
  HRESULT get_Version(LONG* version);
  HRESULT get_nScalars(LONG* n);
  HRESULT get_Scalar(LONG idx, IDispatch** scalar);
  HRESULT get_CommentName(LONG lIndex, BSTR* name);
  HRESULT get_FileInfo(LONG iSubFile, LONG* result);

  static constexpr const comserver::Interface& kInterface = kIZPFileImport;
  static constexpr auto kBindings = importcore::FileImportBindings<CZPFileImport, kFileImportMembers>();

 private:
  // The comment entry that index i (from 1) of FileComment and CommentName names; null outside 1 to 255.
  const CommentEntry* CommentAt(LONG index) const;

  ImportFactors factors_;
  std::shared_ptr<ImportData> import_;
  int32_t opens_ = 0;
  uint32_t position_ = 0;
};

}  // namespace dravo

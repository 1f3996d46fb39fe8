// The Brevan module: ZPFileImport, ZPSignal and ZPScalar (the 21/46/11 form
// of the import contract) over the Tarvix reader, their registration and the
// type library. The data space is read from the data file at every Read.
#include "smallimports/brevan/tarvix_reader.h"
#include "platform/com/server/class_script.h"
#include "smallimports/support/com_objects.h"

namespace brevan {
namespace {

#define BREVAN_LIBID "{4F45AF41-2653-485A-92C7-5D843CBEE7FD}"
#define CLSID_ZPFILEIMPORT "{803583CD-0C12-4E5E-8A73-F734585B591A}"
#define CLSID_ZPSIGNAL "{4F748028-BDA6-4C51-85B6-E90AB7EF644A}"
#define CLSID_ZPSCALAR "{4777562E-3A60-4D34-B1D0-45F3FC604861}"

namespace contract = smallimports::contract;

constexpr comserver::Interface kIZPFileImport{"IZPFileImport",
                                              winport::GuidOf("{6A513A4E-D35E-4468-8513-5DC84F1725F5}"),
                                              contract::kFileImportMembers};
constexpr comserver::Interface kIZPSignal{"IZPSignal", winport::GuidOf("{30C0E5B7-5AE0-4D0B-A8EC-CC7349582087}"),
                                          contract::kSignalMembers};
constexpr comserver::Interface kIZPScalar{"IZPScalar", winport::GuidOf("{F7715B19-6013-4191-951D-CE967C8355AB}"),
                                          contract::kScalarMembers};

// Version of the import object.
constexpr LONG kVersion = 519;

class CZPSignal : public smallimports::RecordView<CZPSignal, TarvixImport, BrevanSignal, &TarvixImport::signals> {
 public:
  using RecordView::RecordView;

  using S = CZPSignal;
  using R = BrevanSignal;
  static constexpr const comserver::Interface& kInterface = kIZPSignal;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text<&R::Name>>(),          Bind<&S::Text<&R::Label>>(),          Bind<&S::Long<&R::STyp>>(),
      Bind<&S::Long<&R::DTyp>>(),          Bind<&S::Long<&R::Ignore>>(),         Bind<&S::Long<&R::ValuesPerBlock>>(),
      Bind<&S::Long<&R::BlockOffset>>(),   Bind<&S::Long<&R::Demux>>(),          Bind<&S::Double<&R::XMin>>(),
      Bind<&S::Double<&R::XMax>>(),        Bind<&S::Double<&R::XFactor>>(),      Bind<&S::Double<&R::XOffset>>(),
      Bind<&S::Double<&R::YMin>>(),        Bind<&S::Double<&R::YMax>>(),         Bind<&S::Double<&R::YFactor>>(),
      Bind<&S::Double<&R::YOffset>>(),     Bind<&S::Text<&R::XUnit>>(),          Bind<&S::Text<&R::YUnit>>(),
      Bind<&S::Double<&R::Sweep>>(),       Bind<&S::Long<&R::NoOfValues>>(),     Bind<&S::Long<&R::Block0>>(),
      Bind<&S::Double<&R::NoValue>>(),     Bind<&S::Text<&R::XGrid>>(),          Bind<&S::Text<&R::YGrid>>(),
      Bind<&S::Double<&R::YStep>>(),       Bind<&S::Double<&R::YOrigin>>(),      Bind<&S::Text<&R::YMUnit>>(),
      Bind<&S::Double<&R::tag_DM_PSEC>>(), Bind<&S::Text<&R::tag_DM_DATYP>>(),   Bind<&S::Text<&R::tag_DM_UNIT>>(),
      Bind<&S::Text<&R::tag_DM_SCMNT>>(),  Bind<&S::Text<&R::tag_DM_CMNT>>(),    Bind<&S::Text<&R::tag_GL_SHINT>>(),
      Bind<&S::NoValuesRaw>(),             Bind<&S::Text<&R::Alias>>(),          Bind<&S::FixedLong<0>>(),
      Bind<&S::FixedLong<1>>(),            Bind<&S::NullText>(),                 Bind<&S::NullText>(),
      Bind<&S::FixedLong<0>>(),            Bind<&S::Text<&R::DisplayName>>(),    Bind<&S::NullText>(),
      Bind<&S::NullBitState>(),            Bind<&S::Zero>(),                     Bind<&S::Zero>(),
      Bind<&S::FixedLong<0>>(),
  };
  static_assert(std::size(kBindings) == contract::kBrevanSignalMembers);
};

class CZPScalar : public smallimports::RecordView<CZPScalar, TarvixImport, smallimports::ScalarRecord,
                                                  &TarvixImport::scalars> {
 public:
  using RecordView::RecordView;

  using S = CZPScalar;
  using R = smallimports::ScalarRecord;
  static constexpr const comserver::Interface& kInterface = kIZPScalar;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text<&R::Name>>(),      Bind<&S::Text<&R::DisplayName>>(), Bind<&S::Text<&R::Alias>>(),
      Bind<&S::Text<&R::Label>>(),     Bind<&S::Text<&R::Unit>>(),        Bind<&S::Long<&R::STyp>>(),
      Bind<&S::Long<&R::DTyp>>(),      Bind<&S::Long<&R::Ignore>>(),      Bind<&S::FixedLong<1>>(),
      Bind<&S::Double<&R::XOffset>>(), Bind<&S::Double<&R::Value>>(),
  };
  static_assert(std::size(kBindings) == contract::kScalarMemberCount);
};

// What the shared file-import members need of the Tarvix reader. Without a
// data file offered there is no data space (DataSize 0): nothing to copy.
struct Traits {
  using Import = TarvixImport;
  // A data file that ends early imports what it holds, and a box names the
  // channels that got fewer values and the parameters left out.
  static bool Load(const std::string& path, Import& out) {
    if (ParseTarvixHeaderFile(path, out).status != TarvixStatus::Ok) return false;
    smallimports::ShowShortfall("Tarvix Import", smallimports::IncompleteFileText(path, out.shortfall));
    return true;
  }
  static LONG IsValid(const std::string& path) { return IsTarvixHeaderFile(path) ? 1 : 0; }
  static smallimports::DataSpaceRead ReadMemory(const Import&, uint32_t, uint8_t*, uint32_t) { return {}; }
  static std::optional<smallimports::StreamedData> Stream(const Import& data) {
    if (!data.streaming) return std::nullopt;
    return smallimports::StreamedData(data.dataPath, data.dataOffset, data.dataSize);
  }
  // The reader fills no name.
  static std::string_view Title(const Import&) { return {}; }
  static std::string_view Comment(const Import& data) { return data.comment; }
};

class CZPFileImport : public smallimports::FileImportBase<CZPFileImport, Traits, CZPSignal> {
 public:
  // The file comment and one per comment record.
  HRESULT NoOfComments(LONG* n) {
    *n = static_cast<LONG>(Data().comments.Count() + 1);
    return S_OK;
  }
  // 0: the file comment; else the text of the comment with that number, or a null string.
  HRESULT FileComment(LONG iIndex, BSTR* text) {
    if (iIndex == 0) {
      *text = smallimports::TextToBstr(Data().comment);
    } else {
      const CommentRecord* c = Data().comments.FindNodeByIndex(iIndex);
      *text = c ? smallimports::TextToBstr(c->text) : nullptr;
    }
    return S_OK;
  }
  HRESULT Version(LONG* version) {
    *version = kVersion;
    return S_OK;
  }
  HRESULT nScalars(LONG* n) {
    *n = static_cast<LONG>(Data().scalars.Count());
    return S_OK;
  }
  HRESULT Scalar(LONG idx, IDispatch** scalar) { return smallimports::NewObject<CZPScalar>(scalar, Ref(), idx); }
  // The name of the comment with that number; a null string when there is none or it is empty.
  HRESULT CommentName(LONG lIndex, BSTR* name) {
    const CommentRecord* c = Data().comments.FindNodeByIndex(lIndex);
    *name = c && !c->Name.empty() ? smallimports::TextToBstr(c->Name.str()) : nullptr;
    return S_OK;
  }
  HRESULT FileInfo(LONG /*iSubFile*/, LONG* result) {
    *result = 0;
    return S_OK;
  }

  using S = CZPFileImport;
  static constexpr const comserver::Interface& kInterface = kIZPFileImport;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Open>(),         Bind<&S::Seek>(),        Bind<&S::Read>(),      Bind<&S::Close>(),
      Bind<&S::ImportFile>(),   Bind<&S::ReleaseFile>(), Bind<&S::nSignals>(),  Bind<&S::Signal>(),
      Bind<&S::IsValid>(),      Bind<&S::FileDate>(),    Bind<&S::BlockSize>(), Bind<&S::DataSize>(),
      Bind<&S::NoOfComments>(), Bind<&S::FileComment>(), Bind<&S::nFiles>(),    Bind<&S::Name>(),
      Bind<&S::Version>(),      Bind<&S::nScalars>(),    Bind<&S::Scalar>(),    Bind<&S::CommentName>(),
      Bind<&S::FileInfo>(),
  };
  static_assert(std::size(kBindings) == contract::kBrevanFileMembers);
};

constexpr comserver::ClassEntry kClasses[] = {
    comserver::Class<CZPFileImport>("ZPFileImport", winport::GuidOf(CLSID_ZPFILEIMPORT),
                                    COMSERVER_CLASS_SCRIPT("Brevan", "ZPFileImport", CLSID_ZPFILEIMPORT, BREVAN_LIBID)),
    comserver::Class<CZPSignal>("ZPSignal", winport::GuidOf(CLSID_ZPSIGNAL),
                                COMSERVER_CLASS_SCRIPT("Brevan", "ZPSignal", CLSID_ZPSIGNAL, BREVAN_LIBID)),
    comserver::Class<CZPScalar>("ZPScalar", winport::GuidOf(CLSID_ZPSCALAR),
                                COMSERVER_CLASS_SCRIPT("Brevan", "ZPScalar", CLSID_ZPSCALAR, BREVAN_LIBID)),
};

constexpr comserver::TypeLib kTypeLib{"BrevanLib", winport::GuidOf(BREVAN_LIBID), 1, 0, 1031,
                                      "Brevan 1.0 Type Library", kClasses};

}  // namespace
}  // namespace brevan

const comserver::TypeLib& comserver::ThisModule() { return brevan::kTypeLib; }

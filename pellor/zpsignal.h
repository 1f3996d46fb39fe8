// The signal and scalar objects: one per Signal(i) or Scalar(i) call, each
// answering from one record of the import that made it. They hold the
// import's lists weakly: an object made without an import, or asked after
// the import was released or its object ended, finds no record and leaves
// every result as the caller set it.
#pragma once

#include <memory>

#include "importcore/contract.h"
#include "importcore/objects.h"
#include "pellor/records.h"
#include "platform/com/server/server.h"

namespace pellor {

// The interface ids of this module.
inline constexpr IID kIID_IZPFileImport = winport::GuidOf("{1B0EF528-0D11-406D-8AAE-9184E5E00DCB}");
inline constexpr IID kIID_IZPSignal = winport::GuidOf("{8A889C3C-6895-4A82-A8C6-8156BDC366DB}");
inline constexpr IID kIID_IZPScalar = winport::GuidOf("{5BF3BF92-79EB-45EB-AD0C-4D1B5368F385}");

inline constexpr comserver::Interface kIZPSignal{"IZPSignal", kIID_IZPSignal, importcore::contract::kSignalMembers};
inline constexpr comserver::Interface kIZPScalar{"IZPScalar", kIID_IZPScalar, importcore::contract::kScalarMembers};

class CZPSignal : public comserver::Dispatch<CZPSignal>, public importcore::RecordGetters<CZPSignal> {
 public:
  // Made by COM: number -1, no import.
  CZPSignal() = default;
  // Made by Signal(i): the record is looked up once.
  CZPSignal(std::weak_ptr<ImportLists> lists, LONG number);

  // XLabel and YLabel: an empty field leaves the result as it is.
  template <auto Field>
  HRESULT TextIfSet(BSTR* out) {
    if (!out) return E_POINTER;
    if (const SignalRecord* r = Record(); r && !(r->*Field).empty()) *out = importcore::TextToBstr((r->*Field).str());
    return S_OK;
  }
  HRESULT NoValuesRaw(VARIANT* out);
  HRESULT BitState(LONG val, BSTR* out);

  using S = CZPSignal;
  using R = SignalRecord;
  static constexpr const comserver::Interface& kInterface = kIZPSignal;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text<&R::Name>>(),          Bind<&S::Text<&R::Label>>(),           Bind<&S::Long<&R::STyp>>(),
      Bind<&S::Long<&R::DTyp>>(),          Bind<&S::Long<&R::Ignore>>(),          Bind<&S::Long<&R::ValuesPerBlock>>(),
      Bind<&S::Long<&R::BlockOffset>>(),   Bind<&S::Long<&R::Demux>>(),           Bind<&S::Double<&R::XMin>>(),
      Bind<&S::Double<&R::XMax>>(),        Bind<&S::Double<&R::XFactor>>(),       Bind<&S::Double<&R::XOffset>>(),
      Bind<&S::Double<&R::YMin>>(),        Bind<&S::Double<&R::YMax>>(),          Bind<&S::Double<&R::YFactor>>(),
      Bind<&S::Double<&R::YOffset>>(),     Bind<&S::Text<&R::XUnit>>(),           Bind<&S::Text<&R::YUnit>>(),
      Bind<&S::Double<&R::Sweep>>(),       Bind<&S::Long<&R::NoOfValues>>(),      Bind<&S::Long<&R::Block0>>(),
      Bind<&S::Double<&R::NoValue>>(),     Bind<&S::Text<&R::XGrid>>(),           Bind<&S::Text<&R::YGrid>>(),
      Bind<&S::Double<&R::YStep>>(),       Bind<&S::Double<&R::YOrigin>>(),       Bind<&S::Text<&R::YMUnit>>(),
      Bind<&S::Double<&R::tag_DM_PSEC>>(), Bind<&S::Text<&R::tag_DM_DATYP>>(),    Bind<&S::Text<&R::tag_DM_UNIT>>(),
      Bind<&S::Text<&R::tag_DM_SCMNT>>(),  Bind<&S::Text<&R::tag_DM_CMNT>>(),     Bind<&S::Text<&R::tag_GL_SHINT>>(),
      Bind<&S::NoValuesRaw>(),             Bind<&S::Text<&R::Alias>>(),           Bind<&S::Long<&R::BitSize>>(),
      Bind<&S::Fixed<1>>(),                Bind<&S::Text<&R::XLink>>(),           Bind<&S::Text<&R::CLink>>(),
      Bind<&S::Fixed<0>>(),                Bind<&S::Text<&R::DisplayName>>(),     Bind<&S::Text<&R::XSignal>>(),
      Bind<&S::BitState>(),                Bind<&S::Double<&R::MinDelta>>(),      Bind<&S::Double<&R::MaxDelta>>(),
      Bind<&S::Long<&R::IsUniDir>>(),      Bind<&S::Long<&R::HasNoValue>>(),      Bind<&S::TextIfSet<&R::XLabel>>(),
      Bind<&S::TextIfSet<&R::YLabel>>(),   Bind<&S::Double<&R::YDataMin>>(),      Bind<&S::Double<&R::YDataMax>>(),
      Bind<&S::Long<&R::iGroup>>()};

 private:
  friend importcore::RecordGetters<CZPSignal>;
  // The record, while the import that made this object holds it.
  const SignalRecord* Record() const;

  std::weak_ptr<ImportLists> lists_;
  const SignalRecord* record_ = nullptr;
};

class CZPScalar : public comserver::Dispatch<CZPScalar>, public importcore::RecordGetters<CZPScalar> {
 public:
  CZPScalar() = default;
  CZPScalar(std::weak_ptr<ImportLists> lists, LONG number) : lists_(std::move(lists)), number_(number) {}

  HRESULT FileNo(LONG* out);

  using S = CZPScalar;
  using R = ScalarRecord;
  static constexpr const comserver::Interface& kInterface = kIZPScalar;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text<&R::Name>>(),  Bind<&S::Text<&R::DisplayName>>(), Bind<&S::Text<&R::Alias>>(),
      Bind<&S::Text<&R::Label>>(), Bind<&S::Text<&R::Unit>>(),        Bind<&S::Long<&R::STyp>>(),
      Bind<&S::Long<&R::DTyp>>(),  Bind<&S::Long<&R::Ignore>>(),      Bind<&S::FileNo>(),
      Bind<&S::Double<&R::XOffset>>(), Bind<&S::Double<&R::Value>>()};

 private:
  friend importcore::RecordGetters<CZPScalar>;
  // Looked up again at every call.
  const ScalarRecord* Record() const;

  std::weak_ptr<ImportLists> lists_;
  LONG number_ = -1;
};

}  // namespace pellor

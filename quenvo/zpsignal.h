// The signal and scalar objects of the module's contract (46 signal and 11
// scalar properties). A signal object answers from one record of the import
// that made it, which it holds weakly: made without an import, or asked
// after the import was released or replaced, it finds no record and leaves
// every result as the caller set it. The scalar list is always empty.
#pragma once

#include <memory>

#include "importcore/contract.h"
#include "importcore/objects.h"
#include "platform/com/server/server.h"
#include "quenvo/records.h"

namespace quenvo {

// The interface ids of this module.
inline constexpr IID kIID_IZPFileImport = winport::GuidOf("{2E0C4A8B-5D7F-4B3A-9C61-7F4E2B8D1A05}");
inline constexpr IID kIID_IZPSignal = winport::GuidOf("{9B3F6D21-4E8A-4C7B-B2D5-1A6C8E0F3B47}");
inline constexpr IID kIID_IZPScalar = winport::GuidOf("{C7A1E953-2B6D-4F80-8E3C-5D9B7A2F6E18}");

inline constexpr comserver::Interface kIZPSignal{"IZPSignal", kIID_IZPSignal, importcore::contract::kSignalMembers};
inline constexpr comserver::Interface kIZPScalar{"IZPScalar", kIID_IZPScalar, importcore::contract::kScalarMembers};

class CZPSignal : public comserver::Dispatch<CZPSignal>, public importcore::RecordGetters<CZPSignal> {
 public:
  // Made by COM: no import.
  CZPSignal() = default;
  // Made by Signal(i): the record is looked up once.
  CZPSignal(std::weak_ptr<const ImportedFile> file, LONG number);

  HRESULT Zero(double* out) { return Same(out, 0.0); }
  HRESULT EmptyText(BSTR* out);
  HRESULT BitState(LONG /*val*/, BSTR* out) { return Same<BSTR>(out, nullptr); }

  using S = CZPSignal;
  using R = SignalRecord;
  static constexpr const comserver::Interface& kInterface = kIZPSignal;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text<&R::Name>>(),         Bind<&S::Text<&R::Label>>(),         Bind<&S::Long<&R::STyp>>(),
      Bind<&S::Long<&R::DTyp>>(),         Bind<&S::Long<&R::Ignore>>(),        Bind<&S::Long<&R::ValuesPerBlock>>(),
      Bind<&S::Long<&R::BlockOffset>>(),  Bind<&S::Long<&R::Demux>>(),         Bind<&S::Double<&R::XMin>>(),
      Bind<&S::Double<&R::XMax>>(),       Bind<&S::Double<&R::XFactor>>(),     Bind<&S::Double<&R::XOffset>>(),
      Bind<&S::Double<&R::YMin>>(),       Bind<&S::Double<&R::YMax>>(),        Bind<&S::Double<&R::YFactor>>(),
      Bind<&S::Double<&R::YOffset>>(),    Bind<&S::Text<&R::XUnit>>(),         Bind<&S::Text<&R::YUnit>>(),
      Bind<&S::Zero>(),                   Bind<&S::Long<&R::NoOfValues>>(),    Bind<&S::Long<&R::Block0>>(),
      Bind<&S::Zero>(),                   Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::Zero>(),                   Bind<&S::Zero>(),                    Bind<&S::EmptyText>(),
      Bind<&S::Zero>(),                   Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::EmptyText>(),              Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::NoValuesRaw>(),            Bind<&S::EmptyText>(),               Bind<&S::Fixed<0>>(),
      Bind<&S::Fixed<1>>(),               Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::Fixed<0>>(),               Bind<&S::Text<&R::DisplayName>>(),   Bind<&S::EmptyText>(),
      Bind<&S::BitState>(),               Bind<&S::Double<&R::MinDelta>>(),    Bind<&S::Double<&R::MaxDelta>>(),
      Bind<&S::Long<&R::IsUniDir>>()};
  static_assert(std::size(kBindings) == importcore::contract::form::kSignal46);

 private:
  friend importcore::RecordGetters<CZPSignal>;
  // The record, while the import that made this object holds it.
  const SignalRecord* Record() const { return file_.expired() ? nullptr : record_; }

  std::weak_ptr<const ImportedFile> file_;
  const SignalRecord* record_ = nullptr;
};

using CZPScalar = importcore::EmptyScalar<kIZPScalar>;

}  // namespace quenvo

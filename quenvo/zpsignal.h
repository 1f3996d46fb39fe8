// The signal and scalar objects of the module's contract (46 signal and 11
// scalar properties). A signal object answers from one record of the import
// that made it, which it holds weakly: made without an import, or asked
// after the import was released or replaced, it finds no record and leaves
// every result as the caller set it. The scalar list is always empty.
#pragma once

#include <memory>
#include <type_traits>

#include "importcore/contract.h"
#include "importcore/support.h"
#include "platform/com/server/server.h"
#include "quenvo/records.h"

namespace quenvo {

// The interface ids of this module.
inline constexpr IID kIID_IZPFileImport = winport::GuidOf("{2E0C4A8B-5D7F-4B3A-9C61-7F4E2B8D1A05}");
inline constexpr IID kIID_IZPSignal = winport::GuidOf("{9B3F6D21-4E8A-4C7B-B2D5-1A6C8E0F3B47}");
inline constexpr IID kIID_IZPScalar = winport::GuidOf("{C7A1E953-2B6D-4F80-8E3C-5D9B7A2F6E18}");

inline constexpr comserver::Interface kIZPSignal{"IZPSignal", kIID_IZPSignal, importcore::contract::kSignalMembers};
inline constexpr comserver::Interface kIZPScalar{"IZPScalar", kIID_IZPScalar, importcore::contract::kScalarMembers};

namespace detail {
// The contract's type of a record field: doubles, longs for the int32 fields, strings for texts.
template <typename F>
using ResultOf =
    std::conditional_t<std::is_same_v<F, double>, double, std::conditional_t<std::is_same_v<F, int32_t>, LONG, BSTR>>;
template <auto Member>
struct FieldType;
template <typename R, typename F, F R::*Member>
struct FieldType<Member> {
  using type = F;
};
}  // namespace detail

class CZPSignal : public comserver::Dispatch<CZPSignal> {
 public:
  // Binds the object to signal `number` of `file`; the record is looked up once.
  void BindSignal(LONG number, std::weak_ptr<const ImportedFile> file);

  // A field of the record.
  template <auto Member>
  HRESULT Field(detail::ResultOf<typename detail::FieldType<Member>::type>* out) {
    if (!out) return E_POINTER;
    if (const SignalRecord* r = Record()) {
      if constexpr (std::is_same_v<std::remove_pointer_t<decltype(out)>, BSTR>)
        *out = importcore::TextToBstr((r->*Member).str());
      else
        *out = r->*Member;
    }
    return S_OK;
  }
  // Properties that are the same for every signal.
  template <LONG Value>
  HRESULT Fixed(LONG* out) {
    if (!out) return E_POINTER;
    if (Record()) *out = Value;
    return S_OK;
  }
  HRESULT Zero(double* out);
  HRESULT EmptyText(BSTR* out);
  HRESULT NoValuesRaw(VARIANT* out);
  HRESULT BitState(LONG val, BSTR* out);

  using S = CZPSignal;
  using R = SignalRecord;
  static constexpr const comserver::Interface& kInterface = kIZPSignal;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Field<&R::Name>>(),        Bind<&S::Field<&R::Label>>(),        Bind<&S::Field<&R::STyp>>(),
      Bind<&S::Field<&R::DTyp>>(),        Bind<&S::Field<&R::Ignore>>(),       Bind<&S::Field<&R::ValuesPerBlock>>(),
      Bind<&S::Field<&R::BlockOffset>>(), Bind<&S::Field<&R::Demux>>(),        Bind<&S::Field<&R::XMin>>(),
      Bind<&S::Field<&R::XMax>>(),        Bind<&S::Field<&R::XFactor>>(),      Bind<&S::Field<&R::XOffset>>(),
      Bind<&S::Field<&R::YMin>>(),        Bind<&S::Field<&R::YMax>>(),         Bind<&S::Field<&R::YFactor>>(),
      Bind<&S::Field<&R::YOffset>>(),     Bind<&S::Field<&R::XUnit>>(),        Bind<&S::Field<&R::YUnit>>(),
      Bind<&S::Zero>(),                   Bind<&S::Field<&R::NoOfValues>>(),   Bind<&S::Field<&R::Block0>>(),
      Bind<&S::Zero>(),                   Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::Zero>(),                   Bind<&S::Zero>(),                    Bind<&S::EmptyText>(),
      Bind<&S::Zero>(),                   Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::EmptyText>(),              Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::NoValuesRaw>(),            Bind<&S::EmptyText>(),               Bind<&S::Fixed<0>>(),
      Bind<&S::Fixed<1>>(),               Bind<&S::EmptyText>(),               Bind<&S::EmptyText>(),
      Bind<&S::Fixed<0>>(),               Bind<&S::Field<&R::DisplayName>>(),  Bind<&S::EmptyText>(),
      Bind<&S::BitState>(),               Bind<&S::Field<&R::MinDelta>>(),     Bind<&S::Field<&R::MaxDelta>>(),
      Bind<&S::Field<&R::IsUniDir>>()};
  static_assert(std::size(kBindings) == importcore::contract::form::kSignal46);

 private:
  // The record, while the import that made this object holds it.
  const SignalRecord* Record() const { return file_.expired() ? nullptr : record_; }

  std::weak_ptr<const ImportedFile> file_;
  const SignalRecord* record_ = nullptr;
};

// The scalar list is always empty: every property leaves its result as the
// caller set it, except FileNo, which is 1.
class CZPScalar : public comserver::Dispatch<CZPScalar> {
 public:
  HRESULT Text(BSTR* out) { return out ? S_OK : E_POINTER; }
  HRESULT Long(LONG* out) { return out ? S_OK : E_POINTER; }
  HRESULT Double(double* out) { return out ? S_OK : E_POINTER; }
  HRESULT FileNo(LONG* out) {
    if (!out) return E_POINTER;
    *out = 1;
    return S_OK;
  }

  using S = CZPScalar;
  static constexpr const comserver::Interface& kInterface = kIZPScalar;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text>(),   Bind<&S::Text>(), Bind<&S::Text>(),   Bind<&S::Text>(),   Bind<&S::Text>(), Bind<&S::Long>(),
      Bind<&S::Long>(),   Bind<&S::Long>(), Bind<&S::FileNo>(), Bind<&S::Double>(), Bind<&S::Double>()};
  static_assert(std::size(kBindings) == importcore::contract::form::kScalar11);
};

}  // namespace quenvo

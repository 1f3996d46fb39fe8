// The signal and scalar objects of the module's contract (51 signal and 11
// scalar properties). A signal object answers from one record of the import
// that made it, which it holds weakly: made without an import, or asked
// after the import was released or replaced, it finds no record and leaves
// every result as the caller set it. The scalar list is always empty.
#pragma once

#include <memory>
#include <string>
#include <type_traits>

#include "importcore/contract.h"
#include "importcore/support.h"
#include "orsand/records.h"
#include "platform/com/server/server.h"

namespace orsand {

// The interface ids of this module.
inline constexpr IID kIID_IZPFileImport = winport::GuidOf("{D5949BD5-C088-4151-A609-0C2BBBD79D46}");
inline constexpr IID kIID_IZPSignal = winport::GuidOf("{CF069F1E-960D-4CA9-AE6D-E2CDA2C2A6A9}");
inline constexpr IID kIID_IZPScalar = winport::GuidOf("{E84E89D1-B622-4F31-B698-4BED86841182}");

inline constexpr comserver::Interface kIZPSignal{"IZPSignal", kIID_IZPSignal, importcore::contract::kSignalMembers};
inline constexpr comserver::Interface kIZPScalar{"IZPScalar", kIID_IZPScalar, importcore::contract::kScalarMembers};

namespace detail {
// The contract's type of a record field: texts are strings, int32 fields longs.
template <typename F>
using ResultOf = std::conditional_t<std::is_same_v<F, double>, double,
                                    std::conditional_t<std::is_same_v<F, int32_t>, LONG, BSTR>>;
template <auto Member>
struct FieldType;
template <typename R, typename F, F R::*Member>
struct FieldType<Member> {
  using type = F;
};
}  // namespace detail

class CZPSignal : public comserver::Dispatch<CZPSignal> {
 public:
  // Made by COM: no import.
  CZPSignal() = default;
  // Made by Signal(i): the record is looked up once.
  CZPSignal(std::weak_ptr<const ImportedFile> file, LONG number);

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
  // A property with the same answer for every signal.
  template <typename T>
  HRESULT Same(T* out, T value) {
    if (!out) return E_POINTER;
    if (Record()) *out = value;
    return S_OK;
  }
  template <LONG Value>
  HRESULT Fixed(LONG* out) {
    return Same<LONG>(out, Value);
  }
  HRESULT NoString(BSTR* out) { return Same<BSTR>(out, nullptr); }
  HRESULT NoSeconds(double* out) { return Same(out, 0.0); }
  HRESULT NoDataBound(double* out) { return Same(out, 1e308); }
  HRESULT NoStringFor(LONG, BSTR* out) { return NoString(out); }
  HRESULT NoValuesRaw(VARIANT* out);
  HRESULT Untouched(BSTR* out) { return out ? S_OK : E_POINTER; }
  HRESULT XSignal(BSTR* out);

  using S = CZPSignal;
  using R = SignalRecord;
  static constexpr const comserver::Interface& kInterface = kIZPSignal;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Field<&R::Name>>(),            Bind<&S::NoString>(),                   Bind<&S::Field<&R::STyp>>(),
      Bind<&S::Field<&R::DTyp>>(),            Bind<&S::Field<&R::Ignore>>(),          Bind<&S::Field<&R::ValuesPerBlock>>(),
      Bind<&S::Field<&R::BlockOffset>>(),     Bind<&S::Field<&R::Demux>>(),           Bind<&S::Field<&R::XMin>>(),
      Bind<&S::Field<&R::XMax>>(),            Bind<&S::Field<&R::XFactor>>(),         Bind<&S::Field<&R::XOffset>>(),
      Bind<&S::Field<&R::YMin>>(),            Bind<&S::Field<&R::YMax>>(),            Bind<&S::Field<&R::YFactor>>(),
      Bind<&S::Field<&R::YOffset>>(),         Bind<&S::Field<&R::XUnit>>(),           Bind<&S::Field<&R::YUnit>>(),
      Bind<&S::Field<&R::Sweep>>(),           Bind<&S::Field<&R::NoOfValues>>(),      Bind<&S::Field<&R::Block0>>(),
      Bind<&S::Field<&R::NoValue>>(),         Bind<&S::NoString>(),                   Bind<&S::NoString>(),
      Bind<&S::Field<&R::YStep>>(),           Bind<&S::Field<&R::YOrigin>>(),         Bind<&S::NoString>(),
      Bind<&S::NoSeconds>(),                  Bind<&S::NoString>(),                   Bind<&S::NoString>(),
      Bind<&S::NoString>(),                   Bind<&S::NoString>(),                   Bind<&S::NoString>(),
      Bind<&S::NoValuesRaw>(),                Bind<&S::Field<&R::Alias>>(),           Bind<&S::Fixed<0>>(),
      Bind<&S::Fixed<1>>(),                   Bind<&S::NoString>(),                   Bind<&S::NoString>(),
      Bind<&S::Fixed<0>>(),                   Bind<&S::Field<&R::DisplayName>>(),     Bind<&S::XSignal>(),
      Bind<&S::NoStringFor>(),                Bind<&S::Field<&R::MinDelta>>(),        Bind<&S::Field<&R::MaxDelta>>(),
      Bind<&S::Field<&R::IsUniDir>>(),        Bind<&S::Fixed<0>>(),                   Bind<&S::Untouched>(),
      Bind<&S::Untouched>(),                  Bind<&S::NoDataBound>(),                Bind<&S::NoDataBound>()};
  static_assert(std::size(kBindings) == importcore::contract::form::kSignal51);

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
      Bind<&S::Text>(), Bind<&S::Text>(),   Bind<&S::Text>(),   Bind<&S::Text>(),
      Bind<&S::Text>(), Bind<&S::Long>(),   Bind<&S::Long>(),   Bind<&S::Long>(),
      Bind<&S::FileNo>(), Bind<&S::Double>(), Bind<&S::Double>()};
  static_assert(std::size(kBindings) == importcore::contract::form::kScalar11);
};

}  // namespace orsand

// The signal and scalar objects of the module's contract (51 signal and 11
// scalar properties). A signal object answers from one record of the import
// that made it, which it holds weakly: made without an import, or asked
// after the import was released or replaced, it finds no record and leaves
// every result as the caller set it. The scalar list is always empty.
#pragma once

#include <memory>

#include "importcore/contract.h"
#include "importcore/objects.h"
#include "orsand/records.h"
#include "platform/com/server/server.h"

namespace orsand {

// The interface ids of this module.
inline constexpr IID kIID_IZPFileImport = winport::GuidOf("{D5949BD5-C088-4151-A609-0C2BBBD79D46}");
inline constexpr IID kIID_IZPSignal = winport::GuidOf("{CF069F1E-960D-4CA9-AE6D-E2CDA2C2A6A9}");
inline constexpr IID kIID_IZPScalar = winport::GuidOf("{E84E89D1-B622-4F31-B698-4BED86841182}");

inline constexpr comserver::Interface kIZPSignal{"IZPSignal", kIID_IZPSignal, importcore::contract::kSignalMembers};
inline constexpr comserver::Interface kIZPScalar{"IZPScalar", kIID_IZPScalar, importcore::contract::kScalarMembers};

class CZPSignal : public comserver::Dispatch<CZPSignal>, public importcore::RecordGetters<CZPSignal> {
 public:
  // Made by COM: no import.
  CZPSignal() = default;
  // Made by Signal(i): the record is looked up once.
  CZPSignal(std::weak_ptr<const ImportedFile> file, LONG number);

  HRESULT NoString(BSTR* out) { return Same<BSTR>(out, nullptr); }
  HRESULT NoSeconds(double* out) { return Same(out, 0.0); }
  HRESULT NoDataBound(double* out) { return Same(out, 1e308); }
  HRESULT NoStringFor(LONG, BSTR* out) { return NoString(out); }
  HRESULT Untouched(BSTR* out) { return out ? S_OK : E_POINTER; }
  HRESULT XSignal(BSTR* out);

  using S = CZPSignal;
  using R = SignalRecord;
  static constexpr const comserver::Interface& kInterface = kIZPSignal;
  static constexpr comserver::Binding kBindings[] = {
      Bind<&S::Text<&R::Name>>(),          Bind<&S::NoString>(),                Bind<&S::Long<&R::STyp>>(),
      Bind<&S::Long<&R::DTyp>>(),          Bind<&S::Long<&R::Ignore>>(),        Bind<&S::Long<&R::ValuesPerBlock>>(),
      Bind<&S::Long<&R::BlockOffset>>(),   Bind<&S::Long<&R::Demux>>(),         Bind<&S::Double<&R::XMin>>(),
      Bind<&S::Double<&R::XMax>>(),        Bind<&S::Double<&R::XFactor>>(),     Bind<&S::Double<&R::XOffset>>(),
      Bind<&S::Double<&R::YMin>>(),        Bind<&S::Double<&R::YMax>>(),        Bind<&S::Double<&R::YFactor>>(),
      Bind<&S::Double<&R::YOffset>>(),     Bind<&S::Text<&R::XUnit>>(),         Bind<&S::Text<&R::YUnit>>(),
      Bind<&S::Double<&R::Sweep>>(),       Bind<&S::Long<&R::NoOfValues>>(),    Bind<&S::Long<&R::Block0>>(),
      Bind<&S::Double<&R::NoValue>>(),     Bind<&S::NoString>(),                Bind<&S::NoString>(),
      Bind<&S::Double<&R::YStep>>(),       Bind<&S::Double<&R::YOrigin>>(),     Bind<&S::NoString>(),
      Bind<&S::NoSeconds>(),               Bind<&S::NoString>(),                Bind<&S::NoString>(),
      Bind<&S::NoString>(),                Bind<&S::NoString>(),                Bind<&S::NoString>(),
      Bind<&S::NoValuesRaw>(),             Bind<&S::Text<&R::Alias>>(),         Bind<&S::Fixed<0>>(),
      Bind<&S::Fixed<1>>(),                Bind<&S::NoString>(),                Bind<&S::NoString>(),
      Bind<&S::Fixed<0>>(),                Bind<&S::Text<&R::DisplayName>>(),   Bind<&S::XSignal>(),
      Bind<&S::NoStringFor>(),             Bind<&S::Double<&R::MinDelta>>(),    Bind<&S::Double<&R::MaxDelta>>(),
      Bind<&S::Long<&R::IsUniDir>>(),      Bind<&S::Fixed<0>>(),                Bind<&S::Untouched>(),
      Bind<&S::Untouched>(),               Bind<&S::NoDataBound>(),             Bind<&S::NoDataBound>()};
  static_assert(std::size(kBindings) == importcore::contract::form::kSignal51);

 private:
  friend importcore::RecordGetters<CZPSignal>;
  // The record, while the import that made this object holds it.
  const SignalRecord* Record() const { return file_.expired() ? nullptr : record_; }

  std::weak_ptr<const ImportedFile> file_;
  const SignalRecord* record_ = nullptr;
};

using CZPScalar = importcore::EmptyScalar<kIZPScalar>;

}  // namespace orsand

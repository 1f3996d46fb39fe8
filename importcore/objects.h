// What the modules' COM objects of the contract share: answers into [out]
// places, new objects handed to the host, the getters of an object that
// answers from one record of an import, and the scalar object of a module
// that makes no scalars.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "importcore/contract.h"
#include "importcore/support.h"
#include "platform/com/server/server.h"

namespace importcore {

// --- answers --------------------------------------------------------------------

// Stores a value into an [out] place; E_POINTER for none.
template <typename T>
HRESULT Answer(T* out, T value) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

// A text into an [out] place, or a null string for none.
HRESULT AnswerText(BSTR* out, const std::string* text);
inline HRESULT AnswerText(BSTR* out, const std::optional<std::string>& text) {
  return AnswerText(out, text ? &*text : nullptr);
}

// A new object of class T with one reference into an [out] place; E_POINTER
// for none, E_OUTOFMEMORY (and a null object) when memory runs out.
template <class T, class... A>
HRESULT AnswerNew(IDispatch** out, A&&... args) {
  if (!out) return E_POINTER;
  T* object = comserver::New<T>(std::forward<A>(args)...);
  *out = object;
  return object ? S_OK : E_OUTOFMEMORY;
}

// The host's byte buffer behind the address of its pointer (Read's pBuffer);
// null when either is missing.
inline uint8_t* HostBuffer(IUnknown** buffer) { return buffer ? *reinterpret_cast<uint8_t**>(buffer) : nullptr; }

// --- the file-import object's bindings ----------------------------------------

// The bindings of file-import class S to the first Count members of the
// contract (one of its forms of 21, 24, 25 or 28 members), under the members'
// C++ names: Open, Seek, Read, Close, ImportFile, ReleaseFile, get_nSignals,
// get_Signal, ..., get_DaffExists, ReadEx, get_CanDoReadEx, put_ZpVersion.
template <class S, size_t Count>
constexpr std::array<comserver::Binding, Count> FileImportBindings() {
  using comserver::Bind;
  namespace form = contract::form;
  static_assert(Count == form::kFileImport21 || Count == form::kFileImport24 || Count == form::kFileImport25 ||
                Count == form::kFileImport28);
  std::array<comserver::Binding, Count> bindings{};
  size_t i = 0;
  for (const comserver::Binding& b :
       {Bind<S, &S::Open>(),             Bind<S, &S::Seek>(),            Bind<S, &S::Read>(),
        Bind<S, &S::Close>(),            Bind<S, &S::ImportFile>(),      Bind<S, &S::ReleaseFile>(),
        Bind<S, &S::get_nSignals>(),     Bind<S, &S::get_Signal>(),      Bind<S, &S::get_IsValid>(),
        Bind<S, &S::get_FileDate>(),     Bind<S, &S::get_BlockSize>(),   Bind<S, &S::get_DataSize>(),
        Bind<S, &S::get_NoOfComments>(), Bind<S, &S::get_FileComment>(), Bind<S, &S::get_nFiles>(),
        Bind<S, &S::get_Name>(),         Bind<S, &S::get_Version>(),     Bind<S, &S::get_nScalars>(),
        Bind<S, &S::get_Scalar>(),       Bind<S, &S::get_CommentName>(), Bind<S, &S::get_FileInfo>()})
    bindings[i++] = b;
  if constexpr (Count >= form::kFileImport24)
    for (const comserver::Binding& b :
         {Bind<S, &S::get_ParSize>(), Bind<S, &S::get_Parameters>(), Bind<S, &S::put_Parameters>()})
      bindings[i++] = b;
  if constexpr (Count >= form::kFileImport25) bindings[i++] = Bind<S, &S::get_DaffExists>();
  if constexpr (Count >= form::kFileImport28)
    for (const comserver::Binding& b :
         {Bind<S, &S::ReadEx>(), Bind<S, &S::get_CanDoReadEx>(), Bind<S, &S::put_ZpVersion>()})
      bindings[i++] = b;
  return bindings;
}

// --- getters over a record ------------------------------------------------------

// The getters of a signal or scalar object that answers from one record of
// an import, bound in its member table as Text<&R::Name>, Long<&R::STyp>,
// Fixed<1> and so on. Derived::Record() gives the record (a plain or shared
// pointer), null when there is none: made without an import, an unknown
// number, or asked after the import was released or ended. Without a record
// every getter leaves its result as the caller set it; a null result is
// E_POINTER. Texts become COM strings through ToBstr.
template <class Derived, BSTR (*ToBstr)(std::string_view) = &TextToBstr>
class RecordGetters {
 public:
  template <auto Field>
  HRESULT Text(BSTR* out) {
    if (!out) return E_POINTER;
    if (const auto r = Self().Record()) *out = ToBstr(((*r).*Field).str());
    return S_OK;
  }
  template <auto Field>
  HRESULT Long(LONG* out) {
    if (!out) return E_POINTER;
    if (const auto r = Self().Record()) *out = static_cast<LONG>((*r).*Field);
    return S_OK;
  }
  template <auto Field>
  HRESULT Double(double* out) {
    if (!out) return E_POINTER;
    if (const auto r = Self().Record()) *out = (*r).*Field;
    return S_OK;
  }
  // A property with the same answer for every record.
  template <typename T>
  HRESULT Same(T* out, T value) {
    if (!out) return E_POINTER;
    if (Self().Record()) *out = value;
    return S_OK;
  }
  template <LONG Value>
  HRESULT Fixed(LONG* out) {
    return Same<LONG>(out, Value);
  }
  // NoValuesRaw: an empty variant.
  HRESULT NoValuesRaw(VARIANT* out) {
    if (!out) return E_POINTER;
    if (Self().Record()) VariantInit(out);
    return S_OK;
  }

 private:
  const Derived& Self() const { return static_cast<const Derived&>(*this); }
};

// --- the empty scalar object ----------------------------------------------------

// The scalar object of a module whose scalar list is always empty, under the
// module's interface: every property leaves its result as the caller set it,
// except FileNo, which is 1.
template <const comserver::Interface& Itf>
class EmptyScalar : public comserver::Dispatch<EmptyScalar<Itf>> {
 public:
  HRESULT Text(BSTR* out) { return out ? S_OK : E_POINTER; }
  HRESULT Long(LONG* out) { return out ? S_OK : E_POINTER; }
  HRESULT Double(double* out) { return out ? S_OK : E_POINTER; }
  HRESULT FileNo(LONG* out) { return Answer<LONG>(out, 1); }

  using S = EmptyScalar;
  static constexpr const comserver::Interface& kInterface = Itf;
  static constexpr comserver::Binding kBindings[] = {
      S::template Bind<&S::Text>(),   S::template Bind<&S::Text>(),   S::template Bind<&S::Text>(),
      S::template Bind<&S::Text>(),   S::template Bind<&S::Text>(),   S::template Bind<&S::Long>(),
      S::template Bind<&S::Long>(),   S::template Bind<&S::Long>(),   S::template Bind<&S::FileNo>(),
      S::template Bind<&S::Double>(), S::template Bind<&S::Double>(),
  };
  static_assert(std::size(kBindings) == contract::form::kScalar11);
};

}  // namespace importcore

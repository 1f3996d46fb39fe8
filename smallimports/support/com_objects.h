// What the small modules' COM objects share: the flat data space as Open,
// Seek, Read and Close serve it, the signal and scalar objects' view of a
// record, the file-import members of all four modules, and the older
// contract's classes, which Filmor, Hestor and Jorvel instantiate with a
// traits class of their own.
//
// An import's records live in one object that the file-import object holds
// by shared pointer and replaces by an empty one at ReleaseFile; signal
// objects hold it weakly, so that a signal asked after ReleaseFile or after
// its import object's end finds no record, as for an unknown number, and
// touches nothing freed.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/server/server.h"
#include "smallimports/support/com_text.h"
#include "smallimports/support/contract.h"
#include "smallimports/support/data_file.h"
#include "smallimports/support/data_space.h"
#include "smallimports/support/records.h"

namespace smallimports {

// The read position in a data space of 32-bit size, the nesting of Open and
// Close, and, in file mode, the file the data are read from at every Read.
class DataSpaceCursor {
 public:
  using MemoryRead = DataSpaceRead (*)(const void* data, uint32_t position, uint8_t* buffer, uint32_t bytes);

  // File mode from now on: Read serves the data from `stream`, which the
  // first Open opens and the last Close closes.
  void StreamFrom(StreamedData stream) { stream_.emplace(std::move(stream)); }
  // The constructed state: no file, position 0, not open.
  void Reset();

  // Opens the file on the first Open in file mode (E_FAIL, count unchanged,
  // when it cannot be opened); the position goes to the data space's start.
  HRESULT Open();
  // The count goes down (never below 0) and the position to the start; in
  // file mode the last Close closes the file.
  void Close();
  // Origin 0: lPos; 1: position + lPos; 2: dataSize - lPos; any other origin
  // leaves the position. Positions count modulo 2^32, so a negative lPos
  // moves back from the current position or lies past every data space.
  void Seek(LONG lPos, LONG origin, uint32_t dataSize);
  // Copies from the position into the byte pointer at pBuffer: from the file
  // in file mode, else through `memory`. A position outside the data space
  // copies nothing; the position moves as the read says. E_FAIL, the
  // position unchanged, when the read is not complete: in file mode while the
  // file is not open, or when it no longer holds the bytes.
  HRESULT Read(IUnknown** pBuffer, ULONG bytes, const void* data, MemoryRead memory);

  uint32_t Position() const { return position_; }
  int32_t OpenCount() const { return opens_; }

 private:
  std::optional<StreamedData> stream_;
  int32_t opens_ = 0;
  uint32_t position_ = 0;
};

// The base of an object that answers from one record of a list of an
// import: each getter looks the record up by number at every call; without
// one (an unknown number, a released or ended import) the result stays as
// the caller set it. Every getter returns S_OK.
template <class Derived, class Import, class Record, RecordList<Record> Import::*List>
class RecordView : public comserver::Dispatch<Derived> {
 public:
  RecordView() = default;
  RecordView(std::weak_ptr<const Import> import, LONG number) : import_(std::move(import)), number_(number) {}

  template <auto Field>
  HRESULT Text(BSTR* out) {
    if (const auto r = Find()) *out = TextToBstr((r.get()->*Field).str());
    return S_OK;
  }
  template <auto Field>
  HRESULT Long(LONG* out) {
    if (const auto r = Find()) *out = static_cast<LONG>(r.get()->*Field);
    return S_OK;
  }
  template <auto Field>
  HRESULT Double(double* out) {
    if (const auto r = Find()) *out = r.get()->*Field;
    return S_OK;
  }
  template <LONG Value>
  HRESULT FixedLong(LONG* out) {
    if (Find()) *out = Value;
    return S_OK;
  }
  HRESULT Zero(double* out) {
    if (Find()) *out = 0.0;
    return S_OK;
  }
  // A null string.
  HRESULT NullText(BSTR* out) {
    if (Find()) *out = nullptr;
    return S_OK;
  }
  HRESULT NullBitState(LONG, BSTR* out) { return NullText(out); }
  // The result as the caller set it, record or not.
  HRESULT Untouched(BSTR*) { return S_OK; }
  // An empty variant.
  HRESULT NoValuesRaw(VARIANT* out) {
    if (Find()) out->vt = VT_EMPTY;
    return S_OK;
  }

 protected:
  // The record, kept alive with its import for as long as the caller holds it.
  std::shared_ptr<const Record> Find() const {
    const std::shared_ptr<const Import> import = import_.lock();
    if (!import) return nullptr;
    const Record* record = ((*import).*List).FindNodeByIndex(number_);
    return record ? std::shared_ptr<const Record>(import, record) : nullptr;
  }

 private:
  std::weak_ptr<const Import> import_;
  LONG number_ = -1;
};

// The import a file-import object holds: an empty one after construction and
// ReleaseFile, replaced by the reader's at every ImportFile.
template <class Import>
class ImportHolder {
 public:
  ImportHolder() : data_(std::make_shared<Import>()) {}
  const Import& Data() const { return *data_; }
  std::weak_ptr<const Import> Ref() const { return data_; }
  // An empty import; the one before ends (its signal objects find nothing).
  void Clear() { data_ = std::make_shared<Import>(); }
  void Set(std::shared_ptr<Import> data) { data_ = std::move(data); }

 private:
  std::shared_ptr<Import> data_;
};

// A new object for the host with one reference, or E_OUTOFMEMORY.
template <class T, class... A>
HRESULT NewObject(IDispatch** out, A&&... args) {
  T* object = comserver::New<T>(std::forward<A>(args)...);
  if (!object) return E_OUTOFMEMORY;
  *out = object;
  return S_OK;
}

// The file-import object's members that every small module shares (the first
// 16 of the contract), over the import a traits class reads:
//   using Import = ...;   // signals, blockSize, dataSize, fileDate
//   static bool Load(const std::string& path, Import& out);  // the reader, boxes included
//   static LONG IsValid(const std::string& path);
//   static DataSpaceRead ReadMemory(const Import&, uint32_t position, uint8_t* buffer, uint32_t bytes);
//   static std::optional<StreamedData> Stream(const Import&);   // file mode, or none
//   static std::string_view Title(const Import&);                // Name(i)
//   static std::string_view Comment(const Import&);              // FileComment(0)
// `SignalObject` is the class Signal(idx) hands out.
template <class Derived, class Traits, class SignalObject>
class FileImportBase : public comserver::Dispatch<Derived> {
  using Import = typename Traits::Import;

 public:
  HRESULT Open() { return cursor_.Open(); }
  HRESULT Seek(LONG lPos, LONG origin) {
    cursor_.Seek(lPos, origin, import_.Data().dataSize);
    return S_OK;
  }
  HRESULT Read(IUnknown** pBuffer, ULONG dwBytes) {
    return cursor_.Read(pBuffer, dwBytes, &import_.Data(), [](const void* data, uint32_t p, uint8_t* b, uint32_t n) {
      return Traits::ReadMemory(*static_cast<const Import*>(data), p, b, n);
    });
  }
  HRESULT Close() {
    cursor_.Close();
    return S_OK;
  }
  // A loaded object is released first; a failed import leaves it empty.
  HRESULT ImportFile(BSTR strFileName, BSTR /*strUser*/) {
    ReleaseFile();
    try {
      auto data = std::make_shared<Import>();
      if (!Traits::Load(WideToAnsi(strFileName), *data)) return E_FAIL;
      if (std::optional<StreamedData> stream = Traits::Stream(*data)) cursor_.StreamFrom(std::move(*stream));
      import_.Set(std::move(data));
    } catch (const std::bad_alloc&) {
      ReleaseFile();
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  // Back to the constructed state.
  HRESULT ReleaseFile() {
    cursor_.Reset();
    import_.Clear();
    return S_OK;
  }
  HRESULT nSignals(LONG* n) {
    *n = static_cast<LONG>(import_.Data().signals.Count());
    return S_OK;
  }
  HRESULT Signal(LONG idx, IDispatch** signal) { return NewObject<SignalObject>(signal, import_.Ref(), idx); }
  HRESULT IsValid(BSTR strFileName, LONG* valid) {
    *valid = Traits::IsValid(WideToAnsi(strFileName));
    return S_OK;
  }
  HRESULT FileDate(LONG* date) {
    *date = static_cast<LONG>(import_.Data().fileDate);
    return S_OK;
  }
  HRESULT BlockSize(LONG* size) {
    *size = import_.Data().blockSize;
    return S_OK;
  }
  HRESULT DataSize(LONG* size) {
    *size = static_cast<LONG>(import_.Data().dataSize);
    return S_OK;
  }
  HRESULT NoOfComments(LONG* n) {
    *n = 1;
    return S_OK;
  }
  // 0: the file comment; any other index a null string.
  HRESULT FileComment(LONG iIndex, BSTR* text) {
    *text = iIndex == 0 ? TextToBstr(Traits::Comment(import_.Data())) : nullptr;
    return S_OK;
  }
  HRESULT nFiles(LONG* n) {
    *n = 1;
    return S_OK;
  }
  HRESULT Name(LONG /*iIndex*/, BSTR* name) {
    *name = TextToBstr(Traits::Title(import_.Data()));
    return S_OK;
  }

 protected:
  const Import& Data() const { return import_.Data(); }
  std::weak_ptr<const Import> Ref() const { return import_.Ref(); }

 private:
  ImportHolder<Import> import_;
  DataSpaceCursor cursor_;
};

// --- the older contract: IFileImport and IISignal -----------------------------
//
// A module's traits give, beside those of FileImportBase:
//   using Signal = ...;   // the signal record
//   static const comserver::Interface& kFileInterface, kSignalInterface;
//   static LONG BitSize(const Signal&);

template <class Traits>
class OlderSignal
    : public RecordView<OlderSignal<Traits>, typename Traits::Import, typename Traits::Signal, &Traits::Import::signals> {
  using View = RecordView<OlderSignal, typename Traits::Import, typename Traits::Signal, &Traits::Import::signals>;

 public:
  OlderSignal() = default;
  OlderSignal(std::weak_ptr<const typename Traits::Import> import, LONG number) : View(std::move(import), number) {}

  HRESULT BitSize(LONG* out) {
    if (const auto r = this->Find()) *out = Traits::BitSize(*r);
    return S_OK;
  }

  using S = OlderSignal;
  using R = typename Traits::Signal;
  static constexpr const comserver::Interface& kInterface = Traits::kSignalInterface;
  static constexpr comserver::Binding kBindings[] = {
      S::template Bind<&S::template Text<&R::Name>>(),           S::template Bind<&S::template Text<&R::Label>>(),
      S::template Bind<&S::template Long<&R::STyp>>(),           S::template Bind<&S::template Long<&R::DTyp>>(),
      S::template Bind<&S::template Long<&R::Ignore>>(),         S::template Bind<&S::template Long<&R::ValuesPerBlock>>(),
      S::template Bind<&S::template Long<&R::BlockOffset>>(),    S::template Bind<&S::template Long<&R::Demux>>(),
      S::template Bind<&S::template Double<&R::XMin>>(),         S::template Bind<&S::template Double<&R::XMax>>(),
      S::template Bind<&S::template Double<&R::XFactor>>(),      S::template Bind<&S::template Double<&R::XOffset>>(),
      S::template Bind<&S::template Double<&R::YMin>>(),         S::template Bind<&S::template Double<&R::YMax>>(),
      S::template Bind<&S::template Double<&R::YFactor>>(),      S::template Bind<&S::template Double<&R::YOffset>>(),
      S::template Bind<&S::template Text<&R::XUnit>>(),          S::template Bind<&S::template Text<&R::YUnit>>(),
      S::template Bind<&S::template Double<&R::Sweep>>(),        S::template Bind<&S::template Long<&R::NoOfValues>>(),
      S::template Bind<&S::template Long<&R::Block0>>(),         S::template Bind<&S::template Double<&R::NoValue>>(),
      S::template Bind<&S::template Text<&R::XGrid>>(),          S::template Bind<&S::template Text<&R::YGrid>>(),
      S::template Bind<&S::template Double<&R::YStep>>(),        S::template Bind<&S::template Double<&R::YOrigin>>(),
      S::template Bind<&S::template Text<&R::YMUnit>>(),         S::template Bind<&S::template Double<&R::tag_DM_PSEC>>(),
      S::template Bind<&S::template Text<&R::tag_DM_DATYP>>(),   S::template Bind<&S::template Text<&R::tag_DM_UNIT>>(),
      S::template Bind<&S::template Text<&R::tag_DM_SCMNT>>(),   S::template Bind<&S::template Text<&R::tag_DM_CMNT>>(),
      S::template Bind<&S::template Text<&R::tag_GL_SHINT>>(),   S::template Bind<&S::NoValuesRaw>(),
      S::template Bind<&S::template Text<&R::Alias>>(),          S::template Bind<&S::BitSize>(),
      S::template Bind<&S::template FixedLong<1>>(),             S::template Bind<&S::Untouched>(),
      S::template Bind<&S::Untouched>(),                         S::template Bind<&S::template FixedLong<0>>(),
  };
  static_assert(std::size(kBindings) == contract::kOlderSignalMembers);
};

// IFileImport: the 16 shared members.
template <class Traits>
class OlderFileImport : public FileImportBase<OlderFileImport<Traits>, Traits, OlderSignal<Traits>> {
 public:
  using S = OlderFileImport;
  static constexpr const comserver::Interface& kInterface = Traits::kFileInterface;
  static constexpr comserver::Binding kBindings[] = {
      S::template Bind<&S::Open>(),         S::template Bind<&S::Seek>(),        S::template Bind<&S::Read>(),
      S::template Bind<&S::Close>(),        S::template Bind<&S::ImportFile>(),  S::template Bind<&S::ReleaseFile>(),
      S::template Bind<&S::nSignals>(),     S::template Bind<&S::Signal>(),      S::template Bind<&S::IsValid>(),
      S::template Bind<&S::FileDate>(),     S::template Bind<&S::BlockSize>(),   S::template Bind<&S::DataSize>(),
      S::template Bind<&S::NoOfComments>(), S::template Bind<&S::FileComment>(), S::template Bind<&S::nFiles>(),
      S::template Bind<&S::Name>(),
  };
  static_assert(std::size(kBindings) == contract::kOlderFileMembers);
};

}  // namespace smallimports

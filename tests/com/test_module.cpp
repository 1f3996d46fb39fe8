// The test modules' classes; see test_module.h.
#include "tests/com/test_module.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "importcore/contract.h"
#include "platform/com/server/class_script.h"
#include "platform/com/server/server.h"
#include "platform/ui/dialog.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/registry.h"

#ifdef COMTEST_WITH_MDF
#include "mdf/formula.h"
#endif

using namespace comserver;

namespace comtest {
namespace {

#if defined(COMTEST_VARIANT_B)
constexpr const Ids& kIds = kB;
#define COMTEST_NAME "ComTestB"
#define COMTEST_LIBID "{4D831844-794E-424B-9768-B08FF774C74F}"
#define COMTEST_PROBE_CLSID "{5A5E9305-788E-4F65-A669-1CAF380F28A6}"
#define COMTEST_IMPORT_CLSID "{FD12E39F-B3FD-4D3D-AD80-720B52843831}"
#define COMTEST_SIGNAL_CLSID "{28DDF741-3037-4182-B260-5CC23A2DAF20}"
#define COMTEST_SCALAR_CLSID "{26013A09-6B84-4510-BF0B-F275B2F17BBC}"
constexpr size_t kFileMemberCount = importcore::contract::form::kFileImport16;
constexpr size_t kSignalMemberCount = importcore::contract::form::kSignal40;
#else
constexpr const Ids& kIds = kA;
#define COMTEST_NAME "ComTestA"
#define COMTEST_LIBID "{8C213840-FAB9-4CBB-B11B-E4ACA6B8CF4D}"
#define COMTEST_PROBE_CLSID "{540F0F2C-7A0E-4D56-94EB-9FF76C63C8C0}"
#define COMTEST_IMPORT_CLSID "{833A073E-EA94-4031-BAF1-1C73DE21E40C}"
#define COMTEST_SIGNAL_CLSID "{07C9405F-9826-4816-A62B-57468BCB6B7F}"
#define COMTEST_SCALAR_CLSID "{F2D3176A-8FD5-43B7-987C-33D59F4B4F0E}"
constexpr size_t kFileMemberCount = importcore::contract::form::kFileImport28;
constexpr size_t kSignalMemberCount = importcore::contract::form::kSignal52;
#endif

// A class's registration script, as the module's resources would hold it.
#define COMTEST_SCRIPT(CLASS, CLSID) COMSERVER_CLASS_SCRIPT(COMTEST_NAME, CLASS, CLSID, COMTEST_LIBID)

// --- Probe --------------------------------------------------------------------

LONG moduleCounter = 0;  // one per module: two modules in a process count apart

constexpr Member kProbeMembers[] = {
    Method("Bump", 1, {}, VT_I4),
    Get("Count", 2, VT_I4),
    Method("Echo", 3,
           {{"s", VT_I2}, {"l", VT_I4}, {"ul", VT_UI4}, {"ll", VT_I8}, {"ull", VT_UI8}, {"d", VT_R8},
            {"text", VT_BSTR}},
           VT_BSTR),
    Get("Text", 4, VT_BSTR),
    Put("Text", 4, VT_BSTR),
    Get("Item", 5, VT_DISPATCH, {{"idx", VT_I4}}),
    Method("Fill", 6, {{"pBuffer", VT_BYREF | VT_UNKNOWN}, {"dwBytes", VT_UI4}}),
    Method("Swap", 7, {{"value", VT_BYREF | VT_I4}, {"text", VT_BYREF | VT_BSTR}}),
    Get("Address", 8, VT_I8),
    Put("Address", 8, VT_I8),
    Method("Throw", 9).Help("throws a C++ exception"),
    Method("Fail", 10, {{"hr", VT_I4}}),
    Get("Nothing", 11, VT_VARIANT),
    Method("Same", 12, {{"object", VT_UNKNOWN}}, VT_UNKNOWN),
    Method("Twice", 13, {{"d", VT_R8}}, VT_R8),
};
constexpr Interface kIProbe{"IProbe", kIds.probeIid, kProbeMembers};

class CProbe : public Dispatch<CProbe, IProbe> {
 public:
  HRESULT Bump(LONG* count) override {
    *count = ++moduleCounter;
    return S_OK;
  }
  HRESULT get_Count(LONG* count) override {
    *count = moduleCounter;
    return S_OK;
  }
  HRESULT Echo(SHORT s, LONG l, ULONG ul, LONGLONG ll, ULONGLONG ull, double d, BSTR text, BSTR* echo) override {
    char numbers[200];
    std::snprintf(numbers, sizeof numbers, "%d %d %u %lld %llu %g ", s, l, ul, static_cast<long long>(ll),
                  static_cast<unsigned long long>(ull), d);
    *echo = winport::BstrFromAnsi(numbers + winport::AnsiFromBstr(text));
    return S_OK;
  }
  HRESULT get_Text(BSTR* text) override {
    *text = winport::BstrFromAnsi(text_);
    return S_OK;
  }
  HRESULT put_Text(BSTR text) override {
    text_ = winport::AnsiFromBstr(text);
    return S_OK;
  }
  HRESULT get_Item(LONG idx, IDispatch** item) override {
    if (idx <= 0) return S_OK;
    CProbe* probe = New<CProbe>();
    if (!probe) return E_OUTOFMEMORY;
    probe->text_ = "item " + std::to_string(idx);
    *item = probe;
    return S_OK;
  }
  HRESULT Fill(IUnknown** buffer, ULONG bytes) override {
    auto* target = *reinterpret_cast<BYTE**>(buffer);
    for (ULONG i = 0; i < bytes; ++i) target[i] = static_cast<BYTE>(i);
    return S_OK;
  }
  HRESULT Swap(LONG* value, BSTR* text) override {
    ++*value;
    std::string s = winport::AnsiFromBstr(*text);
    std::reverse(s.begin(), s.end());
    SysFreeString(*text);
    *text = winport::BstrFromAnsi(s);
    return S_OK;
  }
  HRESULT get_Address(LONGLONG* address) override {
    *address = address_;
    return S_OK;
  }
  HRESULT put_Address(LONGLONG address) override {
    address_ = address;
    return S_OK;
  }
  HRESULT Throw() override { throw std::runtime_error("probe failure"); }
  HRESULT Fail(LONG hr) override { return hr; }
  HRESULT get_Nothing(VARIANT*) override { return S_OK; }
  HRESULT Same(IUnknown* object, IUnknown** same) override {
    if (object) object->AddRef();
    *same = object;
    return S_OK;
  }
  HRESULT Twice(double d, double* twice) override {
#ifdef COMTEST_WITH_MDF
    // Built with the MDF library linked in, to show that its symbols stay hidden.
    char formula[] = "2*X";
    return mdf::EvaluateFormula(d, formula, twice) == mdf::kFormulaOk ? S_OK : E_FAIL;
#else
    *twice = 2 * d;
    return S_OK;
#endif
  }

  static constexpr const Interface& kInterface = kIProbe;
  static constexpr Binding kBindings[] = {
      Bind<&IProbe::Bump>(),        Bind<&IProbe::get_Count>(), Bind<&IProbe::Echo>(),
      Bind<&IProbe::get_Text>(),    Bind<&IProbe::put_Text>(),  Bind<&IProbe::get_Item>(),
      Bind<&IProbe::Fill>(),        Bind<&IProbe::Swap>(),      Bind<&IProbe::get_Address>(),
      Bind<&IProbe::put_Address>(), Bind<&IProbe::Throw>(),     Bind<&IProbe::Fail>(),
      Bind<&IProbe::get_Nothing>(), Bind<&IProbe::Same>(),      Bind<&IProbe::Twice>()};

 private:
  std::string text_;
  LONGLONG address_ = 0;
};

// --- the fake import: its data set ---------------------------------------------

constexpr LONG kBlockSize = 1024;
constexpr LONG kDataSize = 4 * kBlockSize;

struct SignalData {
  const char* name;
  const char* label;
  LONG styp, dtyp, ignore, valuesPerBlock, blockOffset, demux;
  double xmin, xmax, xfactor, xoffset, ymin, ymax, yfactor, yoffset;
  const char* xunit;
  const char* yunit;
  LONG noOfValues, block0;
  double noValue;
  const char* alias;
  LONG bitSize;
  const char* displayName;
  const char* xsignal;
  LONG hasNoValue;
  double ydataMin, ydataMax;
  LONG iGroup;
  std::vector<std::pair<std::string, LONG>> valueTexts;
};

// Texts are Windows-1252: \xD6 is O umlaut, \xE4 a umlaut.
const SignalData kSignals[] = {
    {"Zeit", "Zeitkanal", 6, 13, 1, 128, 0, 8, 0, 2, 0, 0, 0, 2, 1, 0, "s", "s", 5, 0, 1e308, "t", 0, "Zeit", "", 0,
     0, 2, 1, {}},
    {"Druck", "Druck vorne", 0, 19, 0, 512, 0, 2, 0, 2, 0, 0, 92, 107.5, 0.5, 100, "s", "bar", 5, 1, -16, "p",
     4 * 256 + 3, "\xD6ldruck", "Zeit", 1, 99.5, 107.5, 1, {{"niedrig", 0}, {"hoch", 1}}},
    {"Rampe", "", 3, 7, 0, 4, 4, 2, 10, 11.25, 0.25, 10, -3, 2, 1, 0, "s", "V", 6, 2, 1e308, "", 0, "Rampe", "", 0,
     -3, 2, 2, {}},
};

// With the user text "nodata": a fourth signal whose values no block holds.
const SignalData kNoDataSignal = {"Leer", "", 0, 7, 0, 0, 0, 2, 0, 2, 0, 0, 0, 1, 1, 0, "s", "", 3, 0, 1e308, "", 0,
                                  "Leer", "", 0, 0, 1, 3, {}};

// The flat data space of the three signals.
std::vector<BYTE> MakeDataSpace() {
  std::vector<BYTE> space(kDataSize, 0xEE);
  const double times[] = {0.0, 0.5, 1.0, 1.5, 2.0};
  std::memcpy(space.data(), times, sizeof times);
  // 5-bit fields at bit 3, with bits set below and above them that the host must cut away.
  const int fields[] = {3, -1, 15, -16, 0};
  for (int k = 0; k < 5; ++k) {
    const uint16_t word = static_cast<uint16_t>(((fields[k] & 0x1F) << 3) | 0x8005);
    std::memcpy(&space[kBlockSize + 2 * k], &word, 2);
  }
  // Four values per block from byte 4 of blocks 2 and 3.
  for (int k = 0; k < 6; ++k) {
    const int16_t value = static_cast<int16_t>(k - 3);
    std::memcpy(&space[(2 + k / 4) * kBlockSize + 4 + (k % 4) * 2], &value, 2);
  }
  return space;
}

std::string VariablesKey(LONG hostVersion) {
  return hostVersion < 1792 ? "Software\\Zephanor\\6.0\\Variables" : "Software\\Zephanor\\7.0\\Variables";
}

void WriteVariable(LONG hostVersion, const char* name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, VariablesKey(hostVersion).c_str(), &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

std::string ReadVariable(LONG hostVersion, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, VariablesKey(hostVersion).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return {};
  char value[256];
  DWORD size = sizeof value, type = 0;
  std::string text;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
      type == REG_SZ && size > 0)
    text.assign(value, size - 1);
  RegCloseKey(key);
  return text;
}

// --- the fake import: the import contract's tables ---

using importcore::contract::kFileImportMembers;
using importcore::contract::kScalarMembers;
using importcore::contract::kSignalMembers;

constexpr Interface kIFileImport{"IZPFileImport", kIds.importIid, kFileImportMembers};
constexpr Interface kISignal{"IZPSignal", kIds.signalIid, kSignalMembers};
constexpr Interface kIScalar{"IZPScalar", kIds.scalarIid, kScalarMembers};

class CFakeImport;

// A signal object: refers to one record of the import; a number naming no
// record leaves every result as the caller set it.
class CFakeSignal : public Dispatch<CFakeSignal> {
 public:
  CFakeSignal() = default;
  CFakeSignal(const SignalData* data, bool showAll) : data_(data), showAll_(showAll) {}

  template <const char* SignalData::*F>
  HRESULT Text(BSTR* out) {
    if (data_) *out = winport::BstrFromAnsi(data_->*F);
    return S_OK;
  }
  template <LONG SignalData::*F>
  HRESULT Long(LONG* out) {
    if (data_) *out = data_->*F;
    return S_OK;
  }
  template <double SignalData::*F>
  HRESULT Double(double* out) {
    if (data_) *out = data_->*F;
    return S_OK;
  }
  HRESULT Ignore(LONG* out) {
    if (data_) *out = showAll_ && data_->styp == 6 ? 0 : data_->ignore;
    return S_OK;
  }
  HRESULT Empty(BSTR* out) {
    if (data_) *out = winport::BstrFromAnsi("");
    return S_OK;
  }
  HRESULT Zero(double* out) {
    if (data_) *out = 0;
    return S_OK;
  }
  HRESULT One(LONG* out) {
    if (data_) *out = 1;
    return S_OK;
  }
  HRESULT None(LONG* out) {
    if (data_) *out = 0;
    return S_OK;
  }
  HRESULT NoValuesRaw(VARIANT*) { return S_OK; }
  HRESULT Untouched(BSTR*) { return S_OK; }  // XLabel and YLabel: empty fields leave the result alone
  HRESULT BitState(LONG val, BSTR* out) {
    if (!data_) return S_OK;
    if (val < 0)
      *out = winport::BstrFromAnsi(std::to_string(data_->valueTexts.size()));
    else if (static_cast<size_t>(val) < data_->valueTexts.size())
      *out = winport::BstrFromAnsi(data_->valueTexts[val].first + "|" + std::to_string(data_->valueTexts[val].second));
    return S_OK;
  }

  using S = CFakeSignal;
  using D = SignalData;
  static constexpr const Interface& kInterface = kISignal;
  static constexpr Binding kAllBindings[] = {
      Bind<&S::Text<&D::name>>(),       Bind<&S::Text<&D::label>>(),       Bind<&S::Long<&D::styp>>(),
      Bind<&S::Long<&D::dtyp>>(),       Bind<&S::Ignore>(),                Bind<&S::Long<&D::valuesPerBlock>>(),
      Bind<&S::Long<&D::blockOffset>>(), Bind<&S::Long<&D::demux>>(),      Bind<&S::Double<&D::xmin>>(),
      Bind<&S::Double<&D::xmax>>(),     Bind<&S::Double<&D::xfactor>>(),   Bind<&S::Double<&D::xoffset>>(),
      Bind<&S::Double<&D::ymin>>(),     Bind<&S::Double<&D::ymax>>(),      Bind<&S::Double<&D::yfactor>>(),
      Bind<&S::Double<&D::yoffset>>(),  Bind<&S::Text<&D::xunit>>(),       Bind<&S::Text<&D::yunit>>(),
      Bind<&S::Zero>(),                 Bind<&S::Long<&D::noOfValues>>(),  Bind<&S::Long<&D::block0>>(),
      Bind<&S::Double<&D::noValue>>(),  Bind<&S::Empty>(),                 Bind<&S::Empty>(),
      Bind<&S::Zero>(),                 Bind<&S::Zero>(),                  Bind<&S::Empty>(),
      Bind<&S::Zero>(),                 Bind<&S::Empty>(),                 Bind<&S::Empty>(),
      Bind<&S::Empty>(),                Bind<&S::Empty>(),                 Bind<&S::Empty>(),
      Bind<&S::NoValuesRaw>(),          Bind<&S::Text<&D::alias>>(),       Bind<&S::Long<&D::bitSize>>(),
      Bind<&S::One>(),                  Bind<&S::Empty>(),                 Bind<&S::Empty>(),
      Bind<&S::None>(),                 Bind<&S::Text<&D::displayName>>(), Bind<&S::Text<&D::xsignal>>(),
      Bind<&S::BitState>(),             Bind<&S::Zero>(),                  Bind<&S::Zero>(),
      Bind<&S::None>(),                 Bind<&S::Long<&D::hasNoValue>>(),  Bind<&S::Untouched>(),
      Bind<&S::Untouched>(),            Bind<&S::Double<&D::ydataMin>>(),  Bind<&S::Double<&D::ydataMax>>(),
      Bind<&S::Long<&D::iGroup>>()};
  static constexpr std::span<const Binding> kBindings{kAllBindings, kSignalMemberCount};

 private:
  const SignalData* data_ = nullptr;
  bool showAll_ = false;
};

struct ScalarData {
  const char* name;
  const char* displayName;
  const char* alias;
  const char* label;
  const char* unit;
  LONG styp, dtyp, ignore, fileNo;
  double xoffset, value;
};
const ScalarData kScalar{"Gain", "Verst\xE4rkung", "k", "", "V/V", 0, 13, 0, 1, 0, 2.5};

class CFakeScalar : public Dispatch<CFakeScalar> {
 public:
  CFakeScalar() = default;
  explicit CFakeScalar(const ScalarData* data) : data_(data) {}

  template <const char* ScalarData::*F>
  HRESULT Text(BSTR* out) {
    if (data_) *out = winport::BstrFromAnsi(data_->*F);
    return S_OK;
  }
  template <LONG ScalarData::*F>
  HRESULT Long(LONG* out) {
    if (data_) *out = data_->*F;
    return S_OK;
  }
  template <double ScalarData::*F>
  HRESULT Double(double* out) {
    if (data_) *out = data_->*F;
    return S_OK;
  }

  using S = CFakeScalar;
  using D = ScalarData;
  static constexpr const Interface& kInterface = kIScalar;
  static constexpr Binding kBindings[] = {
      Bind<&S::Text<&D::name>>(),      Bind<&S::Text<&D::displayName>>(), Bind<&S::Text<&D::alias>>(),
      Bind<&S::Text<&D::label>>(),     Bind<&S::Text<&D::unit>>(),        Bind<&S::Long<&D::styp>>(),
      Bind<&S::Long<&D::dtyp>>(),      Bind<&S::Long<&D::ignore>>(),      Bind<&S::Long<&D::fileNo>>(),
      Bind<&S::Double<&D::xoffset>>(), Bind<&S::Double<&D::value>>()};

 private:
  const ScalarData* data_ = nullptr;
};

// The progress window that an import shows when the user text asks for it.
winport::ui::DialogTemplate ProgressTemplate() {
  winport::ui::DialogTemplate t;
  t.id = 206;
  t.caption = "Import";
  t.cx = 186;
  t.cy = 60;
  t.controls = {winport::ui::LText(202, "Gruppe", 7, 7, 172, 8),
                winport::ui::Control(205, "", winport::ui::kProgressClass, WS_VISIBLE | WS_BORDER, 7, 17, 172, 10),
                winport::ui::PushButton(IDCANCEL, "Abbrechen", 68, 40, 50, 14)};
  return t;
}

class CFakeImport : public Dispatch<CFakeImport> {
 public:
  HRESULT Open() {
    position_ = 0;
    ++opens_;
    return S_OK;
  }
  HRESULT Seek(LONG lPos, LONG origin) {
    const auto pos = static_cast<uint32_t>(lPos);
    if (origin == 0) position_ = pos;
    if (origin == 1) position_ += pos;
    if (origin == 2) position_ = static_cast<uint64_t>(kDataSize) - pos;
    return S_OK;
  }
  HRESULT Read(IUnknown** pBuffer, ULONG dwBytes) {
    const uint64_t n = Copy(*reinterpret_cast<BYTE**>(pBuffer), dwBytes);
    position_ += n;
    return S_OK;
  }
  HRESULT Close() {
    if (opens_ > 0) --opens_;
    position_ = 0;
    return S_OK;
  }
  HRESULT ImportFile(BSTR strFileName, BSTR strUser) {
    ReleaseFile();
    const std::string path = winport::AnsiFromBstr(strFileName);
    const std::string user = winport::AnsiFromBstr(strUser);
    char magic[4] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    const bool valid = file && std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "FAKE", 4) == 0;
    if (file) std::fclose(file);
    if (!valid) {
      WriteVariable(hostVersion_, "ERRNO", "2");
      WriteVariable(hostVersion_, "ERRMSG", "not a FAKE file: " + path);
      return E_FAIL;
    }
    if (user == "ask" && MessageBoxA(nullptr, "Import fortsetzen?", COMTEST_NAME, MB_YESNO | MB_ICONQUESTION) != IDYES) {
      WriteVariable(hostVersion_, "ERRNO", "3");
      WriteVariable(hostVersion_, "ERRMSG", "cancelled by the user");
      return E_FAIL;
    }
    if (user == "progress") ShowProgress();
    const size_t slash = path.find_last_of('/');
    name_ = path.substr(slash == std::string::npos ? 0 : slash + 1);
    comments_.assign(256, {});
    comments_[1] = {"Pr\xFC" "fer", "Hr. M\xFCller"};
    if (!user.empty()) comments_[2] = {"Benutzer", user};
    const std::string note = ReadVariable(hostVersion_, "FAKE_NOTE");
    if (!note.empty()) comments_[3] = {"Notiz", note};
    data_ = MakeDataSpace();
    noData_ = user == "nodata";
    imported_ = true;
    return S_OK;
  }
  HRESULT ReleaseFile() {
    imported_ = false;
    data_.clear();
    comments_.clear();
    name_.clear();
    return S_OK;
  }
  HRESULT nSignals(LONG* n) {
    *n = imported_ ? static_cast<LONG>(std::size(kSignals) + (noData_ ? 1 : 0)) : 0;
    return S_OK;
  }
  HRESULT Signal(LONG idx, IDispatch** signal) {
    const bool known = imported_ && idx >= 1 && static_cast<size_t>(idx) <= std::size(kSignals);
    const bool empty = imported_ && noData_ && static_cast<size_t>(idx) == std::size(kSignals) + 1;
    *signal = New<CFakeSignal>(known ? &kSignals[idx - 1] : empty ? &kNoDataSignal : nullptr, ShowAll());
    return *signal ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT IsValid(BSTR strFileName, LONG* valid) {
    char magic[4] = {};
    FILE* file = std::fopen(winport::AnsiFromBstr(strFileName).c_str(), "rb");
    *valid = file && std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "FAKE", 4) == 0;
    if (file) std::fclose(file);
    return S_OK;
  }
  HRESULT FileDate(LONG* date) {
    *date = imported_ ? 1700000000 : 0;
    return S_OK;
  }
  HRESULT BlockSize(LONG* size) {
    *size = kBlockSize;
    return S_OK;
  }
  HRESULT DataSize(LONG* size) {
    *size = imported_ ? kDataSize : 0;
    return S_OK;
  }
  HRESULT NoOfComments(LONG* n) {
    *n = 256;
    return S_OK;
  }
  HRESULT FileComment(LONG index, BSTR* text) {
    if (index == 0) *text = winport::BstrFromAnsi("");
    if (index > 0 && static_cast<size_t>(index) < comments_.size() && !comments_[index].second.empty())
      *text = winport::BstrFromAnsi(comments_[index].second);
    return S_OK;
  }
  HRESULT nFiles(LONG* n) {
    *n = 1;
    return S_OK;
  }
  HRESULT Name(LONG, BSTR* name) {
    *name = winport::BstrFromAnsi(name_);
    return S_OK;
  }
  HRESULT Version(LONG* version) {
    *version = 1144;
    return S_OK;
  }
  HRESULT nScalars(LONG* n) {
    *n = imported_ ? 1 : 0;
    return S_OK;
  }
  HRESULT Scalar(LONG idx, IDispatch** scalar) {
    *scalar = New<CFakeScalar>(imported_ && idx == 1 ? &kScalar : nullptr);
    return *scalar ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT CommentName(LONG index, BSTR* name) {
    if (index > 0 && static_cast<size_t>(index) < comments_.size() && !comments_[index].first.empty())
      *name = winport::BstrFromAnsi(comments_[index].first);
    return S_OK;
  }
  HRESULT FileInfo(LONG, LONG* result) {
    *result = IDOK;
    return S_OK;
  }
  HRESULT ParSize(LONG* size) {
    std::memcpy(size, parameters_, 4);
    return S_OK;
  }
  HRESULT get_Parameters(LONGLONG* address) {
    *address = reinterpret_cast<LONGLONG>(parameters_);
    return S_OK;
  }
  HRESULT put_Parameters(LONGLONG address) {
    const auto* host = reinterpret_cast<const BYTE*>(address);
    if (!host) return E_POINTER;
    uint32_t size = 0;
    std::memcpy(&size, host, 4);
    std::memcpy(parameters_, host, std::min<uint32_t>(size, sizeof parameters_));
    return S_OK;
  }
  HRESULT DaffExists(BSTR, BSTR*) { return S_OK; }
  HRESULT ReadEx(IUnknown** pBuffer, ULONG dwBytes, IUnknown** pTimeBuffer, ULONG dwTimeBytes) {
    const uint64_t start = position_;
    const uint64_t n = Copy(*reinterpret_cast<BYTE**>(pBuffer), dwBytes);
    position_ += n;
    if (data_.empty()) return S_OK;
    // Time values for a signal over a time signal, from its first sample on.
    const SignalData& time = kSignals[0];
    for (const SignalData& s : kSignals) {
      const uint64_t first = static_cast<uint64_t>(s.block0) * kBlockSize + s.blockOffset;
      const uint64_t end = first + static_cast<uint64_t>(s.noOfValues) * s.demux;
      if (*s.xsignal == '\0' || start < first || start >= end) continue;
      const uint64_t sample = (start - first) / s.demux;
      const uint64_t count = std::min<uint64_t>(dwTimeBytes / 8, time.noOfValues - sample);
      std::memcpy(*reinterpret_cast<BYTE**>(pTimeBuffer), data_.data() + sample * 8, count * 8);
    }
    return S_OK;
  }
  HRESULT CanDoReadEx(LONG* can) {
    *can = 1;
    return S_OK;
  }
  HRESULT ZpVersion(LONG version) {
    hostVersion_ = version;
    return S_OK;
  }

  using S = CFakeImport;
  static constexpr const Interface& kInterface = kIFileImport;
  static constexpr Binding kAllBindings[] = {
      Bind<&S::Open>(),          Bind<&S::Seek>(),           Bind<&S::Read>(),           Bind<&S::Close>(),
      Bind<&S::ImportFile>(),    Bind<&S::ReleaseFile>(),    Bind<&S::nSignals>(),       Bind<&S::Signal>(),
      Bind<&S::IsValid>(),       Bind<&S::FileDate>(),       Bind<&S::BlockSize>(),      Bind<&S::DataSize>(),
      Bind<&S::NoOfComments>(),  Bind<&S::FileComment>(),    Bind<&S::nFiles>(),         Bind<&S::Name>(),
      Bind<&S::Version>(),       Bind<&S::nScalars>(),       Bind<&S::Scalar>(),         Bind<&S::CommentName>(),
      Bind<&S::FileInfo>(),      Bind<&S::ParSize>(),        Bind<&S::get_Parameters>(), Bind<&S::put_Parameters>(),
      Bind<&S::DaffExists>(),    Bind<&S::ReadEx>(),         Bind<&S::CanDoReadEx>(),    Bind<&S::ZpVersion>()};
  static constexpr std::span<const Binding> kBindings{kAllBindings, kFileMemberCount};

 private:
  bool ShowAll() const {
    int32_t showAll = 0;
    std::memcpy(&showAll, parameters_ + 4, 4);
    return showAll == 1;
  }

  // Copies from the data space at the read position; the count copied.
  uint64_t Copy(BYTE* target, ULONG bytes) const {
    const uint64_t size = data_.size();
    const uint64_t pos = std::min(position_, size);
    const uint64_t n = std::min<uint64_t>(bytes, size - pos);
    if (n > 0) std::memcpy(target, data_.data() + pos, n);
    return n;
  }

  void ShowProgress() {
    CDialog progress(ProgressTemplate());
    progress.Create();
    for (int step = 0; step <= 100; step += 25) {
      progress.SetDlgItemText(202, "Gruppe " + std::to_string(step / 25 + 1));
      progress.SetPos(205, step);
    }
    progress.DestroyWindow();
  }

  std::vector<BYTE> data_;
  uint64_t position_ = 0;
  int opens_ = 0;
  bool imported_ = false;
  bool noData_ = false;
  LONG hostVersion_ = 1536;
  std::string name_;
  std::vector<std::pair<std::string, std::string>> comments_;  // slot -> name, text
  BYTE parameters_[16] = {16, 0, 0, 0};
};

constexpr ClassEntry kClasses[] = {
    Class<CProbe>("Probe", kIds.probeClsid, COMTEST_SCRIPT("Probe", COMTEST_PROBE_CLSID)),
    Class<CFakeImport>("FakeImport", kIds.importClsid, COMTEST_SCRIPT("FakeImport", COMTEST_IMPORT_CLSID)),
    Class<CFakeSignal>("FakeSignal", kIds.signalClsid, COMTEST_SCRIPT("FakeSignal", COMTEST_SIGNAL_CLSID)),
    Class<CFakeScalar>("FakeScalar", kIds.scalarClsid, COMTEST_SCRIPT("FakeScalar", COMTEST_SCALAR_CLSID)),
};
constexpr TypeLib kTypeLib{COMTEST_NAME "Lib", kIds.libid, 1, 0, 0, COMTEST_NAME " 1.0 Type Library", kClasses};

}  // namespace
}  // namespace comtest

const TypeLib& comserver::ThisModule() { return comtest::kTypeLib; }

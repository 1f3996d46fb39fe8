// The contract objects through IDispatch: their type information against the
// contract as the host knows it, the signal and scalar answers, and
// the file-import object's members with their failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "importcore/le.h"
#include "importcore/support.h"
#include "pellor/options.h"
#include "pellor/zpfileimport.h"
#include "pellor/zpsignal.h"
#include "platform/ui/headless.h"
#include "tests/com/com_test_util.h"
#include "tests/support/host_variables.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/pellor_driver.h"

namespace pellor {
namespace {

using comtest::Call;
using comtest::I4;
using comtest::I8;
using comtest::Ref;
using comtest::Str;

// ---------------------------------------------------------------- the contract, transcribed

struct ContractMember {
  const char* name;
  DISPID id;
  INVOKEKIND kind;
  VARTYPE result;  // VT_VOID for methods and puts
  std::vector<VARTYPE> params;
};

constexpr INVOKEKIND M = INVOKE_FUNC, G = INVOKE_PROPERTYGET, P = INVOKE_PROPERTYPUT;
constexpr VARTYPE kBuffer = VT_BYREF | VT_UNKNOWN;

const std::vector<ContractMember> kFileImportContract = {
    {"Open", 1, M, VT_VOID, {}},
    {"Seek", 2, M, VT_VOID, {VT_I4, VT_I4}},
    {"Read", 3, M, VT_VOID, {kBuffer, VT_UI4}},
    {"Close", 4, M, VT_VOID, {}},
    {"ImportFile", 5, M, VT_VOID, {VT_BSTR, VT_BSTR}},
    {"ReleaseFile", 6, M, VT_VOID, {}},
    {"nSignals", 7, G, VT_I4, {}},
    {"Signal", 8, G, VT_DISPATCH, {VT_I4}},
    {"IsValid", 9, G, VT_I4, {VT_BSTR}},
    {"FileDate", 0xb, G, VT_I4, {}},
    {"BlockSize", 0xc, G, VT_I4, {}},
    {"DataSize", 0xd, G, VT_I4, {}},
    {"NoOfComments", 0xf, G, VT_I4, {}},
    {"FileComment", 0x10, G, VT_BSTR, {VT_I4}},
    {"nFiles", 0x11, G, VT_I4, {}},
    {"Name", 0x12, G, VT_BSTR, {VT_I4}},
    {"Version", 0x13, G, VT_I4, {}},
    {"nScalars", 0x14, G, VT_I4, {}},
    {"Scalar", 0x15, G, VT_DISPATCH, {VT_I4}},
    {"CommentName", 0x16, G, VT_BSTR, {VT_I4}},
    {"FileInfo", 0x17, G, VT_I4, {VT_I4}},
    {"ParSize", 0x18, G, VT_I4, {}},
    {"Parameters", 0x19, G, VT_I8, {}},
    {"Parameters", 0x19, P, VT_VOID, {VT_I8}},
    {"DaffExists", 0x1a, G, VT_BSTR, {VT_BSTR}},
    {"ReadEx", 0x1b, M, VT_VOID, {kBuffer, VT_UI4, kBuffer, VT_UI4}},
    {"CanDoReadEx", 0x1c, G, VT_I4, {}},
    {"ZpVersion", 0x1d, P, VT_VOID, {VT_I4}},
};

// The signal's 52 properties in order, dispatch ids 1 to 0x34: name and type
// (S string, L long, D double, V variant); BitState takes a long.
const std::vector<std::pair<const char*, char>> kSignalContract = {
    {"Name", 'S'},         {"Label", 'S'},        {"STyp", 'L'},         {"DTyp", 'L'},        {"Ignore", 'L'},
    {"ValuesPerBlock", 'L'}, {"BlockOffset", 'L'}, {"Demux", 'L'},        {"XMin", 'D'},        {"XMax", 'D'},
    {"XFactor", 'D'},      {"XOffset", 'D'},      {"YMin", 'D'},         {"YMax", 'D'},        {"YFactor", 'D'},
    {"YOffset", 'D'},      {"XUnit", 'S'},        {"YUnit", 'S'},        {"Sweep", 'D'},       {"NoOfValues", 'L'},
    {"Block0", 'L'},       {"NoValue", 'D'},      {"XGrid", 'S'},        {"YGrid", 'S'},       {"YStep", 'D'},
    {"YOrigin", 'D'},      {"YMUnit", 'S'},       {"tag_DM_PSEC", 'D'},  {"tag_DM_DATYP", 'S'}, {"tag_DM_UNIT", 'S'},
    {"tag_DM_SCMNT", 'S'}, {"tag_DM_CMNT", 'S'},  {"tag_GL_SHINT", 'S'}, {"NoValuesRaw", 'V'}, {"Alias", 'S'},
    {"BitSize", 'L'},      {"FileNo", 'L'},       {"XLink", 'S'},        {"CLink", 'S'},       {"LineStyle", 'L'},
    {"DisplayName", 'S'},  {"XSignal", 'S'},      {"BitState", 'S'},     {"MinDelta", 'D'},    {"MaxDelta", 'D'},
    {"IsUniDir", 'L'},     {"HasNoValue", 'L'},   {"XLabel", 'S'},       {"YLabel", 'S'},      {"YDataMin", 'D'},
    {"YDataMax", 'D'},     {"iGroup", 'L'},
};

const std::vector<std::pair<const char*, char>> kScalarContract = {
    {"Name", 'S'}, {"DisplayName", 'S'}, {"Alias", 'S'},  {"Label", 'S'},   {"Unit", 'S'},  {"STyp", 'L'},
    {"DTyp", 'L'}, {"Ignore", 'L'},      {"FileNo", 'L'}, {"XOffset", 'D'}, {"Value", 'D'},
};

std::vector<ContractMember> Properties(const std::vector<std::pair<const char*, char>>& list) {
  std::vector<ContractMember> out;
  DISPID id = 1;
  for (const auto& [name, type] : list) {
    const VARTYPE vt = type == 'S' ? VT_BSTR : type == 'L' ? VT_I4 : type == 'D' ? VT_R8 : VT_VARIANT;
    out.push_back({name, id++, G, vt, std::string(name) == "BitState" ? std::vector<VARTYPE>{VT_I4} : std::vector<VARTYPE>{}});
  }
  return out;
}

void ExpectContract(IDispatch* object, const IID& iid, const std::vector<ContractMember>& contract) {
  ITypeInfo* info = nullptr;
  ASSERT_EQ(object->GetTypeInfo(0, 0, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(attr->guid == iid);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  ASSERT_EQ(attr->cFuncs, contract.size());
  info->ReleaseTypeAttr(attr);
  for (size_t i = 0; i < contract.size(); ++i) {
    const ContractMember& c = contract[i];
    SCOPED_TRACE(c.name);
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(static_cast<UINT>(i), &f), S_OK);
    EXPECT_EQ(f->memid, c.id);
    EXPECT_EQ(f->invkind, c.kind);
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, c.result);
    ASSERT_EQ(static_cast<size_t>(f->cParams), c.params.size());
    for (size_t p = 0; p < c.params.size(); ++p) {
      const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
      // A by-reference type is a pointer to the type.
      const VARTYPE vt = t.vt == VT_PTR ? static_cast<VARTYPE>(t.lptdesc->vt | VT_BYREF) : t.vt;
      EXPECT_EQ(vt, c.params[p]) << "parameter " << p;
    }
    info->ReleaseFuncDesc(f);
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(c.id, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(winport::AnsiFromBstr(name), c.name);
    EXPECT_EQ(winport::AnsiFromBstr(doc), std::string(c.kind == M ? "method " : "property ") + c.name);
    SysFreeString(name);
    SysFreeString(doc);
  }
  info->Release();
}

TEST(Contract, TheThreeInterfacesAsTheirTypeInformationDescribesThem) {
  IDispatch* file = comserver::New<CZPFileImport>();
  IDispatch* signal = comserver::New<CZPSignal>();
  IDispatch* scalar = comserver::New<CZPScalar>();
  ExpectContract(file, kIID_IZPFileImport, kFileImportContract);
  ExpectContract(signal, kIID_IZPSignal, Properties(kSignalContract));
  ExpectContract(scalar, kIID_IZPScalar, Properties(kScalarContract));
  file->Release();
  signal->Release();
  scalar->Release();
}

// ---------------------------------------------------------------- one import through IDispatch

class ObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    importcore::SetDefaultVariablesKey();
    testsupport::BuildFile(testsupport::SimpleFileDef(1, 2, 20)).writer.Save(Path());
    file_ = comserver::New<CZPFileImport>();
  }
  void TearDown() override {
    if (file_) file_->Release();
    importcore::SetDefaultVariablesKey();
  }
  std::string Path() const { return vars_.Dir().File("file.mdf"); }
  // Imports through the test driver, which adds value texts and a scalar.
  void Import() {
    testsupport::PellorDriverOptions options;
    options.after = [](FileImport& import) {
      SignalRecord& s = *import.Lists().signals.Nth(1);
      s.valueTexts = {{10, "aus"}, {11, "ein"}, {-2, "defekt"}};
      s.YLabel = "Drehzahl";
      s.Label = "Kommentar \xE4";
      auto scalar = std::make_unique<ScalarRecord>();
      scalar->keep = 1;
      scalar->Name = "Gain";
      scalar->Unit = "abcdefghijklmnopqrstuvwxy";  // 25 characters
      scalar->Value = 2.5;
      scalar->DTyp = 13;
      import.Lists().scalars.Append(std::move(scalar));
      import.Lists().scalars.Renumber();
      import.m_nScalars = 1;
    };
    testsupport::ScopedPellorDriver driver(options);
    ASSERT_EQ(Call(file_, 5, DISPATCH_METHOD, {Str(Path()), Str("")}).hr, S_OK);
  }
  IDispatch* Object(DISPID which, LONG idx) {
    comtest::Outcome o = Call(file_, which, DISPATCH_PROPERTYGET, {I4(idx)});
    EXPECT_EQ(o.hr, S_OK);
    EXPECT_EQ(o.result.vt, VT_DISPATCH);
    return o.result.pdispVal;
  }
  static std::string Text(IDispatch* object, DISPID id, std::vector<VARIANT> args = {}) {
    comtest::Outcome o = Call(object, id, DISPATCH_PROPERTYGET, std::move(args));
    EXPECT_EQ(o.hr, S_OK);
    const std::string text = winport::AnsiFromBstr(o.result.bstrVal);
    VariantClear(&o.result);
    return text;
  }
  static LONG Long(IDispatch* object, DISPID id) {
    comtest::Outcome o = Call(object, id, DISPATCH_PROPERTYGET);
    EXPECT_EQ(o.hr, S_OK);
    return o.result.lVal;
  }

  testsupport::HostVariables vars_;
  IDispatch* file_ = nullptr;
};

TEST_F(ObjectsTest, SignalAnswersFromItsRecord) {
  Import();
  EXPECT_EQ(Long(file_, 7), 3);  // nSignals
  IDispatch* time = Object(8, 1);
  IDispatch* sig = Object(8, 2);
  EXPECT_EQ(Text(time, 0x1), "time@1");
  EXPECT_EQ(Text(sig, 0x1), "sig1_1");
  EXPECT_EQ(Text(sig, 0x2), "Kommentar \xE4");
  EXPECT_EQ(Long(sig, 0x4), 6);      // DTyp: UINT16
  EXPECT_EQ(Long(sig, 0x8), 2);      // Demux
  EXPECT_EQ(Long(sig, 0x14), 20);    // NoOfValues
  EXPECT_EQ(Long(sig, 0x15), 1);     // Block0: behind the time signal's 160 bytes
  EXPECT_EQ(Long(sig, 0x25), 1);     // FileNo
  EXPECT_EQ(Long(sig, 0x28), 0);     // LineStyle
  EXPECT_EQ(Text(sig, 0x2a), "time@1");  // XSignal
  EXPECT_EQ(Text(sig, 0x31), "Drehzahl");
  comtest::Outcome raw = Call(sig, 0x22, DISPATCH_PROPERTYGET);
  EXPECT_EQ(raw.hr, S_OK);
  EXPECT_EQ(raw.result.vt, VT_EMPTY);
  // BitState: the count for a negative value, else "text|value" of the entry numbered from 0.
  EXPECT_EQ(Text(sig, 0x2b, {I4(-1)}), "3");
  EXPECT_EQ(Text(sig, 0x2b, {I4(0)}), "aus|10");
  EXPECT_EQ(Text(sig, 0x2b, {I4(2)}), "defekt|-2");
  // Results that the object leaves as the caller set them.
  auto* direct = static_cast<CZPSignal*>(sig);
  BSTR kept = SysAllocString(u"caller");
  EXPECT_EQ(direct->BitState(3, &kept), S_OK);
  EXPECT_EQ(winport::AnsiFromBstr(kept), "caller");
  EXPECT_EQ(direct->TextIfSet<&SignalRecord::XLabel>(&kept), S_OK);  // empty X label
  EXPECT_EQ(winport::AnsiFromBstr(kept), "caller");
  SysFreeString(kept);
  time->Release();
  sig->Release();
}

TEST_F(ObjectsTest, ObjectsWithoutARecordLeaveEveryResultAlone) {
  Import();
  IDispatch* zero = Object(8, 0);
  IDispatch* past = Object(8, 4);
  IDispatch* alive = Object(8, 2);
  IDispatch* scalar = Object(0x15, 1);
  IDispatch* made = comserver::New<CZPSignal>();  // made by COM, without an import
  auto leavesAlone = [](IDispatch* object, const char* what) {
    auto* s = static_cast<CZPSignal*>(object);
    LONG l = 77;
    double d = 7.5;
    BSTR b = nullptr;
    VARIANT v = I4(5);
    EXPECT_EQ(s->Long<&SignalRecord::DTyp>(&l), S_OK);
    EXPECT_EQ(s->Fixed<1>(&l), S_OK);
    EXPECT_EQ(s->Double<&SignalRecord::YMax>(&d), S_OK);
    EXPECT_EQ(s->Text<&SignalRecord::Name>(&b), S_OK);
    EXPECT_EQ(s->BitState(-1, &b), S_OK);
    EXPECT_EQ(s->NoValuesRaw(&v), S_OK);
    EXPECT_EQ(l, 77) << what;
    EXPECT_EQ(d, 7.5) << what;
    EXPECT_EQ(b, nullptr) << what;
    EXPECT_EQ(v.vt, VT_I4) << what;
  };
  leavesAlone(zero, "Signal(0)");
  leavesAlone(past, "Signal(4)");
  leavesAlone(made, "made by COM");
  EXPECT_EQ(Text(alive, 0x1), "sig1_1");
  EXPECT_EQ(Text(scalar, 5), "abcdefghijklmnopqrs");  // a unit keeps 19 characters
  EXPECT_EQ(Long(scalar, 9), 1);
  // Released: the objects find nothing, and touch nothing that was freed.
  EXPECT_EQ(Call(file_, 6, DISPATCH_METHOD).hr, S_OK);
  leavesAlone(alive, "after ReleaseFile");
  double value = 3.25;
  EXPECT_EQ(static_cast<CZPScalar*>(scalar)->Double<&ScalarRecord::Value>(&value), S_OK);
  EXPECT_EQ(value, 3.25);
  // The import object's end likewise.
  Import();
  IDispatch* again = Object(8, 2);
  file_->Release();
  file_ = nullptr;
  leavesAlone(again, "after the import object's end");
  for (IDispatch* o : {zero, past, alive, scalar, made, again}) o->Release();
}

TEST_F(ObjectsTest, FileImportAnswers) {
  EXPECT_EQ(Call(file_, 1, DISPATCH_METHOD).hr, E_FAIL);  // Open without an import
  EXPECT_EQ(Call(file_, 5, DISPATCH_METHOD, {Str(Path() + ".missing"), Str("ZSP")}).hr, E_FAIL);
  Import();
  EXPECT_EQ(Long(file_, 0xc), 1024);
  EXPECT_EQ(Long(file_, 0xd), 3 * 1024);  // time 160 bytes, two signals of 40: one block each
  EXPECT_EQ(Long(file_, 0xf), 256);
  EXPECT_EQ(Long(file_, 0x11), 1);
  EXPECT_EQ(Long(file_, 0x13), 1144);
  EXPECT_EQ(Long(file_, 0x14), 1);
  EXPECT_EQ(Long(file_, 0x1c), 1);
  EXPECT_EQ(Text(file_, 0x12, {I4(99)}), "file.mdf");
  comtest::Outcome valid = Call(file_, 9, DISPATCH_PROPERTYGET, {Str(Path())});
  EXPECT_EQ(valid.result.lVal, 1);
  {
    // FileInfo shows the information dialog of the file and answers its result.
    winport::ui::ScriptedAnswers script;
    script.Dialog("Information (MDF-Filter v4.120, Original-Datentypen)", IDOK);
    comtest::Outcome info = Call(file_, 0x17, DISPATCH_PROPERTYGET, {I4(7)});
    EXPECT_EQ(info.hr, S_OK);
    EXPECT_EQ(info.result.lVal, IDOK);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
  comtest::Outcome daff = Call(file_, 0x1a, DISPATCH_PROPERTYGET, {Str(Path())});
  EXPECT_EQ(daff.hr, S_OK);
  EXPECT_EQ(daff.result.bstrVal, nullptr);
  EXPECT_EQ(Text(file_, 0x10, {I4(0)}), "");
  comtest::Outcome none = Call(file_, 0x10, DISPATCH_PROPERTYGET, {I4(256)});
  EXPECT_EQ(none.result.bstrVal, nullptr);

  // Read and ReadEx need the address of a buffer pointer that is set.
  uint8_t bytes[16];
  uint8_t* buffer = bytes;
  uint8_t* nothing = nullptr;
  const struct {
    void* pBuffer;
    HRESULT hr;
  } reads[] = {{&buffer, S_OK}, {&nothing, E_POINTER}, {nullptr, E_POINTER}};
  for (const auto& r : reads) {
    EXPECT_EQ(Call(file_, 3, DISPATCH_METHOD, {Ref(VT_UNKNOWN, r.pBuffer), I4(16)}).hr, r.hr);
    EXPECT_EQ(Call(file_, 0x1b, DISPATCH_METHOD, {Ref(VT_UNKNOWN, r.pBuffer), I4(16), Ref(VT_UNKNOWN, &buffer), I4(0)}).hr,
              r.hr);
  }
  EXPECT_EQ(Call(file_, 0x1b, DISPATCH_METHOD, {Ref(VT_UNKNOWN, &buffer), I4(16), Ref(VT_UNKNOWN, &nothing), I4(8)}).hr,
            E_POINTER);

  // ZpVersion selects the module's Variables key.
  const struct {
    LONG version;
    const char* key;
  } versions[] = {{1791, importcore::kVariablesKey6}, {1792, importcore::kVariablesKey7}};
  for (const auto& v : versions) {
    EXPECT_EQ(Call(file_, 0x1d, DISPATCH_PROPERTYPUT, {I4(v.version)}).hr, S_OK);
    EXPECT_STREQ(importcore::CurrentVariablesKey(), v.key);
  }
}

TEST_F(ObjectsTest, ParametersPutCopiesTheSmallerBlock) {
  const struct {
    int32_t hostSize;  // the size word of the host's block; INT32_MIN: no block at all
    HRESULT hr;
    LONG parSize;
    size_t copied;  // bytes of the host's block in the object's after the put
  } cases[] = {
      {16, S_OK, 16, 16},          {62264, S_OK, 62264, 62264}, {70000, S_OK, 62264, 62264},
      {0, S_OK, 62264, 0},         {-1, E_INVALIDARG, 62264, 0}, {INT32_MIN, E_POINTER, 62264, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hostSize);
    IDispatch* object = comserver::New<CZPFileImport>();
    std::vector<uint8_t> host(70000, 0x5A);
    importcore::StoreLE(host.data(), c.hostSize);
    const LONGLONG address = c.hostSize == INT32_MIN ? 0 : reinterpret_cast<LONGLONG>(host.data());
    EXPECT_EQ(Call(object, 0x19, DISPATCH_PROPERTYPUT, {I8(address)}).hr, c.hr);
    EXPECT_EQ(Long(object, 0x18), c.parSize);
    comtest::Outcome where = Call(object, 0x19, DISPATCH_PROPERTYGET);
    ASSERT_EQ(where.result.vt, VT_I8);
    const auto* block = reinterpret_cast<const uint8_t*>(where.result.llVal);
    EXPECT_EQ(block, static_cast<CZPFileImport*>(object)->Import().ParameterAddress());
    size_t same = 4;
    while (same < ParameterBlock::kSize && block[same] == 0x5A) ++same;
    EXPECT_EQ(same, std::max<size_t>(c.copied, 4)) << "host bytes in the block";
    object->Release();
  }
}

}  // namespace
}  // namespace pellor

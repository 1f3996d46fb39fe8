// Table-driven IDispatch, the type descriptions and the class factory of the
// server framework, through the Probe and FakeImport classes of ComTestA.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/codepage.h"
#include "tests/com/com_test_util.h"
#include "tests/com/test_module.h"

namespace comtest {
namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    probe = module.Create(kA.probeClsid);
    ASSERT_NE(probe, nullptr);
  }
  void TearDown() override {
    if (probe) probe->Release();
    EXPECT_EQ(module.CanUnload(), S_OK);  // every object of the test is gone
  }

  DISPID IdOf(const std::u16string& name) {
    OLECHAR* names[] = {const_cast<OLECHAR*>(name.c_str())};
    DISPID id = 0;
    EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << winport::Utf16ToUtf8(name);
    return id;
  }

  LoadedModule module{COMTEST_A_PATH};
  IDispatch* probe = nullptr;
};

TEST_F(DispatchTest, NamesCompareWithoutCaseAndNameParameters) {
  EXPECT_EQ(IdOf(u"bUmP"), 1);
  EXPECT_EQ(IdOf(u"TEXT"), 4);

  std::u16string echo = u"echo", text = u"Text", d = u"D", missing = u"nope";
  OLECHAR* names[] = {echo.data(), text.data(), d.data()};
  DISPID ids[3] = {};
  ASSERT_EQ(probe->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], 6);  // the parameter's place
  EXPECT_EQ(ids[2], 5);

  names[1] = missing.data();
  EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);

  names[0] = missing.data();
  EXPECT_EQ(probe->GetIDsOfNames(IID_NULL, names, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(probe->GetIDsOfNames(IID_IDispatch, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, FlagsChooseTheMember) {
  struct FlagCase {
    DISPID id;
    WORD flags;
    HRESULT hr;
  };
  const FlagCase cases[] = {
      {2, DISPATCH_PROPERTYGET, S_OK},                             // Count
      {2, DISPATCH_METHOD | DISPATCH_PROPERTYGET, S_OK},           // as a script calls it
      {2, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},                 // a get is no method
      {1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, S_OK},           // Bump
      {1, DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND},            // a method is no get
      {2, 0, DISP_E_MEMBERNOTFOUND},                               // no flags
      {99, DISPATCH_METHOD | DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND},  // unknown id
  };
  for (const FlagCase& c : cases) {
    Outcome out = Call(probe, c.id, c.flags);
    EXPECT_EQ(out.hr, c.hr) << "dispid " << c.id << " flags " << c.flags;
    if (SUCCEEDED(out.hr)) {
      EXPECT_EQ(out.result.vt, VT_I4);
    }
  }
  // Count has no put.
  EXPECT_EQ(Call(probe, 2, DISPATCH_PROPERTYPUT, {I4(1)}).hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchTest, ArgumentsArriveInOrderAndConvertTheirWidths) {
  VARIANT ull = I8(5);
  ull.vt = VT_UI8;
  VARIANT ul = I8(4000000000);  // an I8 within the range of the UI4 parameter
  Outcome out = Call(probe, 3, DISPATCH_METHOD, {I4(-2), I8(70000), ul, I4(-4), ull, R8(6.5), Str("x\xC3\xA4")});
  ASSERT_EQ(out.hr, S_OK);
  ASSERT_EQ(out.result.vt, VT_BSTR);
  EXPECT_EQ(winport::Utf8FromBstr(out.result.bstrVal), "-2 70000 4000000000 -4 5 6.5 x\xC3\xA4");
  VariantClear(&out.result);

  // An integer for a double; a reference read through for a value.
  LONG three = 3;
  out = Call(probe, 13, DISPATCH_METHOD, {Ref(VT_I4, &three)});
  ASSERT_EQ(out.hr, S_OK);
  EXPECT_EQ(out.result.vt, VT_R8);
  EXPECT_EQ(out.result.dblVal, 6.0);
}

TEST_F(DispatchTest, BadArgumentsAreNamedByTheirPlace) {
  struct ArgCase {
    std::string name;
    std::vector<VARIANT> args;  // Echo's seven arguments, in order
    HRESULT hr;
    UINT argErr;  // place in rgvarg, which is reversed
  };
  auto echoArgs = [](size_t replace, VARIANT with) {
    std::vector<VARIANT> args = {I4(1), I4(2), I4(3), I4(4), I4(5), R8(6), Str("t")};
    VariantClear(&args[replace]);
    args[replace] = with;
    return args;
  };
  std::vector<ArgCase> cases;
  cases.push_back({"text for ul", echoArgs(2, Str("3")), DISP_E_TYPEMISMATCH, 4});
  cases.push_back({"short overflow", echoArgs(0, I4(70000)), DISP_E_OVERFLOW, 6});
  cases.push_back({"negative for ul", echoArgs(2, I4(-1)), DISP_E_OVERFLOW, 4});
  cases.push_back({"double for long", echoArgs(1, R8(2)), DISP_E_TYPEMISMATCH, 5});
  cases.push_back({"number for text", echoArgs(6, I4(7)), DISP_E_TYPEMISMATCH, 0});
  cases.push_back({"null reference", echoArgs(1, Ref(VT_I4, nullptr)), E_POINTER, 5});
  for (ArgCase& c : cases) {
    Outcome out = Call(probe, 3, DISPATCH_METHOD, std::move(c.args));
    EXPECT_EQ(out.hr, c.hr) << c.name;
    EXPECT_EQ(out.argErr, c.argErr) << c.name;
  }
  std::vector<VARIANT> six = {I4(1), I4(2), I4(3), I4(4), I4(5), R8(6)};
  EXPECT_EQ(Call(probe, 3, DISPATCH_METHOD, six).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(probe, 1, DISPATCH_METHOD, {I4(1)}).hr, DISP_E_BADPARAMCOUNT);

  // Named arguments other than a put's value.
  VARIANT arg = R8(1);
  DISPID named = 0;
  DISPPARAMS params{&arg, &named, 1, 1};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(probe->Invoke(13, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), DISP_E_NONAMEDARGS);
  EXPECT_EQ(probe->Invoke(13, IID_IDispatch, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(probe->Invoke(13, IID_NULL, 0, DISPATCH_METHOD, nullptr, &result, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(DispatchTest, PutNeedsItsNamedValue) {
  VARIANT value = Str("hello");
  DISPPARAMS unnamed{&value, nullptr, 1, 0};
  EXPECT_EQ(probe->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
            DISP_E_PARAMNOTFOUND);
  VariantClear(&value);

  ASSERT_EQ(Call(probe, 4, DISPATCH_PROPERTYPUT, {Str("hello")}).hr, S_OK);
  Outcome out = Call(probe, 4, DISPATCH_PROPERTYGET);
  ASSERT_EQ(out.hr, S_OK);
  EXPECT_EQ(winport::Utf8FromBstr(out.result.bstrVal), "hello");
  VariantClear(&out.result);

  ASSERT_EQ(Call(probe, 8, DISPATCH_PROPERTYPUT, {I8(0x123456789AB)}).hr, S_OK);
  out = Call(probe, 8, DISPATCH_PROPERTYGET);
  EXPECT_EQ(out.result.vt, VT_I8);
  EXPECT_EQ(out.result.llVal, 0x123456789AB);
}

TEST_F(DispatchTest, FailuresAndExceptionsReachTheCaller) {
  Outcome out = Call(probe, 9, DISPATCH_METHOD);
  EXPECT_EQ(out.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(out.source, "IProbe");
  EXPECT_EQ(out.description, "Throw: probe failure");
  EXPECT_EQ(out.scode, E_FAIL);

  out = Call(probe, 10, DISPATCH_METHOD, {I4(E_ABORT)});
  EXPECT_EQ(out.hr, E_ABORT);
  EXPECT_EQ(out.result.vt, VT_EMPTY);
}

TEST_F(DispatchTest, ResultsStartAsTheirTypesZero) {
  Outcome out = Call(probe, 5, DISPATCH_PROPERTYGET, {I4(0)});  // Item(0) sets nothing
  ASSERT_EQ(out.hr, S_OK);
  EXPECT_EQ(out.result.vt, VT_DISPATCH);
  EXPECT_EQ(out.result.pdispVal, nullptr);

  out = Call(probe, 11, DISPATCH_PROPERTYGET);  // Nothing: a variant left empty
  EXPECT_EQ(out.result.vt, VT_EMPTY);

  out = Call(probe, 4, DISPATCH_PROPERTYGET);  // Text, never set: an empty string
  EXPECT_EQ(out.result.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(out.result.bstrVal), 0u);
  VariantClear(&out.result);

  out = Call(probe, 5, DISPATCH_PROPERTYGET, {I4(7)});  // an object with its own reference
  ASSERT_EQ(out.result.vt, VT_DISPATCH);
  Outcome text = Call(out.result.pdispVal, 4, DISPATCH_PROPERTYGET);
  EXPECT_EQ(winport::Utf8FromBstr(text.result.bstrVal), "item 7");
  VariantClear(&text.result);
  VariantClear(&out.result);
}

TEST_F(DispatchTest, ByReferenceArgumentsReachTheCallersVariables) {
  BYTE buffer[8] = {};
  BYTE* pointer = buffer;
  ASSERT_EQ(Call(probe, 6, DISPATCH_METHOD, {Ref(VT_UNKNOWN, &pointer), I4(5)}).hr, S_OK);
  EXPECT_EQ(std::memcmp(buffer, "\0\1\2\3\4\0\0\0", 8), 0);
  // The buffer pointer passed by value, or no pointer at all, is refused.
  Outcome out = Call(probe, 6, DISPATCH_METHOD, {I8(reinterpret_cast<LONGLONG>(pointer)), I4(5)});
  EXPECT_EQ(out.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(out.argErr, 1u);
  EXPECT_EQ(Call(probe, 6, DISPATCH_METHOD, {Ref(VT_UNKNOWN, nullptr), I4(5)}).hr, E_POINTER);

  LONG value = 41;
  BSTR text = winport::BstrFromUtf8("abc");
  ASSERT_EQ(Call(probe, 7, DISPATCH_METHOD, {Ref(VT_I4, &value), Ref(VT_BSTR, &text)}).hr, S_OK);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(winport::Utf8FromBstr(text), "cba");
  SysFreeString(text);

  // Interfaces in and out.
  out = Call(probe, 12, DISPATCH_METHOD, {[&] {
                VARIANT v = I4(0);
                v.vt = VT_DISPATCH;  // an IDispatch serves where an IUnknown is asked
                v.pdispVal = probe;
                probe->AddRef();     // the variant's own reference, which Call clears
                return v;
              }()});
  ASSERT_EQ(out.hr, S_OK);
  EXPECT_EQ(out.result.vt, VT_UNKNOWN);
  EXPECT_EQ(out.result.punkVal, static_cast<IUnknown*>(probe));
  VariantClear(&out.result);
}

TEST_F(DispatchTest, TheDualInterfaceCallsTheSameObject) {
  IProbe* dual = nullptr;
  ASSERT_EQ(probe->QueryInterface(kA.probeIid, reinterpret_cast<void**>(&dual)), S_OK);
  LONG first = 0, second = 0;
  ASSERT_EQ(dual->Bump(&first), S_OK);
  Outcome out = Call(probe, 1, DISPATCH_METHOD);
  second = out.result.lVal;
  EXPECT_EQ(second, first + 1);
  dual->Release();
  void* other = nullptr;
  EXPECT_EQ(probe->QueryInterface(kB.probeIid, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

TEST_F(DispatchTest, TypeInfoDescribesTheMembers) {
  ITypeInfo* info = nullptr;
  EXPECT_EQ(probe->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  ASSERT_EQ(probe->GetTypeInfo(0, 0, &info), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, kA.probeIid);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 15);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  info->ReleaseTypeAttr(attr);

  FUNCDESC* fill = nullptr;
  ASSERT_EQ(info->GetFuncDesc(6, &fill), S_OK);
  EXPECT_EQ(fill->memid, 6);
  EXPECT_EQ(fill->invkind, INVOKE_FUNC);
  ASSERT_EQ(fill->cParams, 2);
  EXPECT_EQ(fill->lprgelemdescParam[0].tdesc.vt, VT_PTR);
  EXPECT_EQ(fill->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_UNKNOWN);
  EXPECT_EQ(fill->lprgelemdescParam[1].tdesc.vt, VT_UI4);
  EXPECT_EQ(fill->elemdescFunc.tdesc.vt, VT_VOID);
  info->ReleaseFuncDesc(fill);

  FUNCDESC* put = nullptr;
  ASSERT_EQ(info->GetFuncDesc(4, &put), S_OK);
  EXPECT_EQ(put->invkind, INVOKE_PROPERTYPUT);
  EXPECT_EQ(put->cParams, 1);
  EXPECT_EQ(put->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
  info->ReleaseFuncDesc(put);
  EXPECT_EQ(info->GetFuncDesc(15, &put), TYPE_E_ELEMENTNOTFOUND);

  BSTR names[4] = {};
  UINT count = 0;
  ASSERT_EQ(info->GetNames(5, names, 4, &count), S_OK);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(winport::Utf8FromBstr(names[0]), "Item");
  EXPECT_EQ(winport::Utf8FromBstr(names[1]), "idx");
  for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);

  winport::Bstr name, doc;
  ASSERT_EQ(info->GetDocumentation(1, name.Receive(), doc.Receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(doc.Utf8(), "method Bump");
  ASSERT_EQ(info->GetDocumentation(4, nullptr, doc.Receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(doc.Utf8(), "property Text");
  ASSERT_EQ(info->GetDocumentation(9, nullptr, doc.Receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(doc.Utf8(), "throws a C++ exception");
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.Receive(), doc.Receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.Utf8(), "IProbe");
  EXPECT_EQ(doc.Utf8(), "IProbe Interface");

  ITypeLib* lib = nullptr;
  UINT index = 99;
  ASSERT_EQ(info->GetContainingTypeLib(&lib, &index), S_OK);
  EXPECT_EQ(index, 1u);  // after the Probe class
  EXPECT_EQ(lib->GetTypeInfoCount(), 8u);
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
  EXPECT_EQ(libAttr->guid, kA.libid);
  lib->ReleaseTLibAttr(libAttr);
  ASSERT_EQ(lib->GetDocumentation(-1, name.Receive(), doc.Receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.Utf8(), "ComTestALib");
  EXPECT_EQ(doc.Utf8(), "ComTestA 1.0 Type Library");
  ASSERT_EQ(lib->GetDocumentation(2, name.Receive(), doc.Receive(), nullptr, nullptr), S_OK);
  EXPECT_EQ(doc.Utf8(), "FakeImport Class");
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(kA.importClsid, &coclass), S_OK);
  HREFTYPE ref = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
  ITypeInfo* itf = nullptr;
  ASSERT_EQ(coclass->GetRefTypeInfo(ref, &itf), S_OK);
  ASSERT_EQ(itf->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, kA.importIid);
  EXPECT_EQ(attr->cFuncs, 28);
  itf->ReleaseTypeAttr(attr);
  itf->Release();
  coclass->Release();
  lib->Release();
  // The description keeps the module loaded until it is released.
  EXPECT_EQ(module.CanUnload(), S_FALSE);
  info->Release();
}

TEST_F(DispatchTest, FactoryAggregatesAndLocks) {
  // An outer object that counts its references.
  struct Outer : IUnknown {
    HRESULT QueryInterface(REFIID, void** object) override {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
  } outer;

  IClassFactory* factory = module.Factory(kA.probeClsid);
  ASSERT_NE(factory, nullptr);
  void* object = nullptr;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // an interface of the inner object counts on the outer one
  dispatch->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(Call(dispatch, 13, DISPATCH_METHOD, {R8(1.5)}).result.dblVal, 3.0);
  inner->Release();
  factory->Release();
}

TEST(FactoryTest, UnknownClassesAndInterfaces) {
  LoadedModule module(COMTEST_A_PATH);
  EXPECT_EQ(module.GetClassObjectResult(kB.probeClsid, IID_IClassFactory), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(module.GetClassObjectResult(kA.probeClsid, IID_IDispatch), E_NOINTERFACE);
  EXPECT_EQ(module.CanUnload(), S_OK);

  IClassFactory* factory = module.Factory(kA.probeClsid);
  EXPECT_EQ(module.CanUnload(), S_FALSE);  // a factory held keeps the module
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);  // an unlock without a lock frees nothing
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(module.CanUnload(), S_FALSE);  // the lock outlives the factory
  factory = module.Factory(kA.probeClsid);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(module.CanUnload(), S_OK);
}

}  // namespace
}  // namespace comtest

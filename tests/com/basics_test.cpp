// GUID texts, BSTRs and variants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/com/automation.h"
#include "platform/com/bstr.h"
#include "platform/com/guid.h"
#include "platform/com/variant.h"

using winport::Bstr;

namespace {

struct GuidCase {
  std::string text;
  bool valid;
};

class GuidTextTest : public ::testing::TestWithParam<GuidCase> {};

TEST_P(GuidTextTest, ParsesOnlyTheBracedForm) {
  const GuidCase& c = GetParam();
  const std::u16string wide(c.text.begin(), c.text.end());
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromString(wide.c_str(), &clsid), c.valid ? S_OK : CO_E_CLASSSTRING) << c.text;
  EXPECT_EQ(winport::ParseGuid(c.text).has_value(), c.valid) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuidTextTest,
    ::testing::Values(GuidCase{"{89D51140-8C28-4108-BD69-8F5810376B43}", true},
                      GuidCase{"{89d51140-8c28-4108-bd69-8f5810376b43}", true},
                      GuidCase{"{00000000-0000-0000-0000-000000000000}", true},
                      GuidCase{"89D51140-8C28-4108-BD69-8F5810376B43", false},     // no braces
                      GuidCase{"{89D51140-8C28-4108-BD69-8F5810376B43", false},    // no closing brace
                      GuidCase{"{89D51140-8C28-4108-BD69-8F5810376B4}", false},    // a digit short
                      GuidCase{"{89D51140-8C28-4108-BD69-8F5810376B433}", false},  // a digit more
                      GuidCase{"{89D51140-8C284108-BD69-8F5810376B43-}", false},   // hyphen misplaced
                      GuidCase{"{89D5114G-8C28-4108-BD69-8F5810376B43}", false},   // not hex
                      GuidCase{" {89D51140-8C28-4108-BD69-8F5810376B43}", false},  // blank
                      GuidCase{"", false}));

TEST(GuidTest, FormatsUpperCaseAndRoundTrips) {
  constexpr GUID g = winport::GuidOf("{89d51140-8c28-4108-bd69-8f5810376b43}");
  static_assert(g.Data1 == 0x89D51140u && g.Data2 == 0x8C28 && g.Data3 == 0x4108 && g.Data4[0] == 0xBD &&
                g.Data4[7] == 0x43);
  EXPECT_EQ(winport::FormatGuid(g), "{89D51140-8C28-4108-BD69-8F5810376B43}");
  OLECHAR buffer[39];
  ASSERT_EQ(StringFromGUID2(g, buffer, 39), 39);
  CLSID back{};
  ASSERT_EQ(CLSIDFromString(buffer, &back), S_OK);
  EXPECT_EQ(back, g);
  EXPECT_EQ(StringFromGUID2(g, buffer, 38), 0);  // no room for the NUL
  EXPECT_EQ(winport::FormatGuid(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
}

TEST(BstrTest, KeepsEmbeddedNulsAndItsLength) {
  const char16_t text[] = {u'a', 0, u'b'};
  Bstr s(SysAllocStringLen(text, 3));
  ASSERT_NE(s.Get(), nullptr);
  EXPECT_EQ(SysStringLen(s.Get()), 3u);
  EXPECT_EQ(SysStringByteLen(s.Get()), 6u);
  EXPECT_EQ(winport::BstrView(s.Get()), std::u16string_view(text, 3));
  EXPECT_EQ(s.Get()[3], 0);  // terminated after its length
  EXPECT_EQ(s.Ansi(), std::string("a\0b", 3));

  Bstr odd(SysAllocStringByteLen("abc", 3));
  EXPECT_EQ(SysStringByteLen(odd.Get()), 3u);
  EXPECT_EQ(SysStringLen(odd.Get()), 1u);
}

TEST(BstrTest, NullReadsAsEmpty) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  EXPECT_EQ(winport::AnsiFromBstr(nullptr), "");
  EXPECT_EQ(winport::Utf8FromBstr(nullptr), "");
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);
  Bstr empty(SysAllocStringLen(nullptr, 0));
  ASSERT_NE(empty.Get(), nullptr);  // an empty string is not a null one
  EXPECT_EQ(SysStringLen(empty.Get()), 0u);
}

TEST(BstrTest, EveryAnsiByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  Bstr s = Bstr::FromAnsi(all);
  ASSERT_EQ(SysStringLen(s.Get()), 256u);
  EXPECT_EQ(s.Get()[0x80], u'\u20AC');  // the euro sign
  EXPECT_EQ(s.Get()[0xE4], u'\u00E4');
  EXPECT_EQ(s.Ansi(), all);
  EXPECT_EQ(Bstr::FromUtf8(s.Utf8()).Ansi(), all);
  // A character outside Windows-1252 becomes '?'.
  EXPECT_EQ(Bstr::FromUtf8("\xE2\x88\x9A").Ansi(), "?");
}

TEST(BstrTest, ReAllocReplacesTheString) {
  BSTR s = SysAllocString(u"first");
  ASSERT_TRUE(SysReAllocString(&s, u"second one"));
  EXPECT_EQ(winport::BstrView(s), u"second one");
  ASSERT_TRUE(SysReAllocStringLen(&s, u"xyz", 2));
  EXPECT_EQ(winport::BstrView(s), u"xy");
  SysFreeString(s);
}

// A reference-counted object for the variant tests.
class Counted : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  ULONG refs = 1;
};

VARIANT Make(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

TEST(VariantTest, ClearFreesWhatItOwnsAndNothingByReference) {
  Counted object;
  VARIANT v = Make(VT_DISPATCH);
  v.pdispVal = &object;
  object.AddRef();
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(object.refs, 1u);

  IUnknown* pointer = &object;
  v = Make(VT_BYREF | VT_UNKNOWN);
  v.ppunkVal = &pointer;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(object.refs, 1u);  // a reference is never released

  v = Make(VT_BSTR);
  v.bstrVal = SysAllocString(u"text");  // freed by the clear; the sanitizer build sees a leak otherwise
  EXPECT_EQ(VariantClear(&v), S_OK);

  v = Make(VT_VARIANT);
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
}

TEST(VariantTest, CopyDuplicatesStringsAndCountsReferences) {
  Counted object;
  VARIANT src = Make(VT_UNKNOWN);
  src.punkVal = &object;
  VARIANT dest = Make(VT_BSTR);
  dest.bstrVal = SysAllocString(u"old");  // cleared by the copy
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_EQ(dest.punkVal, &object);
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&dest);
  EXPECT_EQ(object.refs, 1u);

  src = Make(VT_BSTR);
  src.bstrVal = SysAllocString(u"abc");
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_NE(dest.bstrVal, src.bstrVal);
  EXPECT_EQ(winport::BstrView(dest.bstrVal), u"abc");
  VariantClear(&dest);
  VariantClear(&src);

  LONG value = 7;
  src = Make(VT_BYREF | VT_I4);
  src.plVal = &value;
  ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
  EXPECT_EQ(dest.plVal, &value);  // the reference, not the value

  src = Make(VT_VARIANT);
  dest = Make(VT_I4);
  EXPECT_EQ(VariantCopy(&dest, &src), DISP_E_BADVARTYPE);
  EXPECT_EQ(dest.vt, VT_I4);  // left as it was
}

struct ChangeCase {
  std::string name;
  VARIANT src;
  VARTYPE to;
  HRESULT hr;
  std::string text;  // the result as VT_BSTR text, when it succeeded
};

VARIANT I4(LONG v) { VARIANT r = Make(VT_I4); r.lVal = v; return r; }
VARIANT UI4(ULONG v) { VARIANT r = Make(VT_UI4); r.ulVal = v; return r; }
VARIANT I8(LONGLONG v) { VARIANT r = Make(VT_I8); r.llVal = v; return r; }
VARIANT UI8(ULONGLONG v) { VARIANT r = Make(VT_UI8); r.ullVal = v; return r; }
VARIANT R8(double v) { VARIANT r = Make(VT_R8); r.dblVal = v; return r; }
VARIANT I2(SHORT v) { VARIANT r = Make(VT_I2); r.iVal = v; return r; }

std::string AsText(const VARIANT& v) {
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) return "?";
  std::string s = winport::Utf8FromBstr(text.bstrVal);
  VariantClear(&text);
  return s;
}

TEST(VariantTest, ChangeTypeTable) {
  const ChangeCase cases[] = {
      {"i4 to i2", I4(-32768), VT_I2, S_OK, "-32768"},
      {"i4 to i2 overflow", I4(32768), VT_I2, DISP_E_OVERFLOW, ""},
      {"negative to ui4", I4(-1), VT_UI4, DISP_E_OVERFLOW, ""},
      {"ui4 to i4 overflow", UI4(0x80000000u), VT_I4, DISP_E_OVERFLOW, ""},
      {"ui4 to i8", UI4(0xFFFFFFFFu), VT_I8, S_OK, "4294967295"},
      {"ui8 max to i8", UI8(~0ull), VT_I8, DISP_E_OVERFLOW, ""},
      {"i8 min to ui8", I8(INT64_MIN), VT_UI8, DISP_E_OVERFLOW, ""},
      {"ui8 max stays", UI8(~0ull), VT_UI8, S_OK, "18446744073709551615"},
      {"r8 half to even down", R8(2.5), VT_I4, S_OK, "2"},
      {"r8 half to even up", R8(3.5), VT_I4, S_OK, "4"},
      {"r8 negative half", R8(-2.5), VT_I2, S_OK, "-2"},
      {"r8 nan to i4", R8(std::nan("")), VT_I4, DISP_E_OVERFLOW, ""},
      {"r8 too large for i4", R8(3e9), VT_I4, DISP_E_OVERFLOW, ""},
      {"i2 to r8", I2(-7), VT_R8, S_OK, "-7"},
      {"r8 to text round-trips", R8(0.1), VT_BSTR, S_OK, "0.1"},
      {"r8 1e308 to text", R8(1e308), VT_BSTR, S_OK, "1e+308"},
      {"empty to i4", Make(VT_EMPTY), VT_I4, S_OK, "0"},
      {"empty to text", Make(VT_EMPTY), VT_BSTR, S_OK, ""},
      {"empty to dispatch", Make(VT_EMPTY), VT_DISPATCH, DISP_E_TYPEMISMATCH, ""},
      {"to byref", I4(1), VT_BYREF | VT_I4, DISP_E_BADVARTYPE, ""},
      {"to unsupported", I4(1), VT_VARIANT, DISP_E_BADVARTYPE, ""},
  };
  for (const ChangeCase& c : cases) {
    VARIANT out = I4(12345);
    const HRESULT hr = VariantChangeType(&out, &c.src, 0, c.to);
    EXPECT_EQ(hr, c.hr) << c.name;
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(out.vt, c.to) << c.name;
      EXPECT_EQ(AsText(out), c.text) << c.name;
      VariantClear(&out);
    } else {
      EXPECT_EQ(out.vt, VT_I4) << c.name;  // unchanged on failure
      EXPECT_EQ(out.lVal, 12345) << c.name;
    }
  }
}

TEST(VariantTest, ChangeTypeParsesTextAndFollowsReferences) {
  struct TextCase {
    std::u16string text;
    VARTYPE to;
    HRESULT hr;
    std::string result;
  };
  const TextCase cases[] = {
      {u" 42 ", VT_I4, S_OK, "42"},      {u"-0.5", VT_R8, S_OK, "-0.5"},   {u"1e3", VT_I2, S_OK, "1000"},
      {u"70000", VT_I2, DISP_E_OVERFLOW, ""}, {u"12abc", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {u"", VT_R8, DISP_E_TYPEMISMATCH, ""},  {u"\u00E4", VT_I4, DISP_E_TYPEMISMATCH, ""},
      {u"18446744073709551615", VT_UI8, S_OK, "18446744073709551615"},
  };
  for (const TextCase& c : cases) {
    VARIANT src = Make(VT_BSTR);
    src.bstrVal = winport::BstrFromUtf16(c.text);
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeType(&out, &src, 0, c.to), c.hr) << winport::Utf8FromBstr(src.bstrVal);
    if (SUCCEEDED(c.hr)) {
      EXPECT_EQ(AsText(out), c.result);
    }
    VariantClear(&out);
    VariantClear(&src);
  }

  // In place, through a reference.
  double value = 2.75;
  VARIANT v = Make(VT_BYREF | VT_R8);
  v.pdblVal = &value;
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(winport::Utf8FromBstr(v.bstrVal), "2.75");
  VariantClear(&v);
}

TEST(VariantTest, InterfacesConvertByQueryInterface) {
  Counted object;
  VARIANT src = Make(VT_DISPATCH);
  src.pdispVal = &object;
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &src, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(out.vt, VT_UNKNOWN);
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&out);
  EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(object.refs, 1u);
}

TEST(VariantTest, NamesTypes) {
  EXPECT_EQ(winport::VarTypeName(VT_BYREF | VT_UNKNOWN), "VT_BYREF|VT_UNKNOWN");
  EXPECT_EQ(winport::VarTypeName(VT_I8), "VT_I8");
  EXPECT_EQ(winport::HResultName(DISP_E_TYPEMISMATCH), "DISP_E_TYPEMISMATCH");
  EXPECT_EQ(winport::DescribeHResult(E_FAIL), "E_FAIL (0x80004005)");
  EXPECT_EQ(winport::HResultName(static_cast<HRESULT>(0x80041234u)), "HRESULT");
}

// Slots of the interfaces, as the Itanium C++ ABI encodes a pointer to a
// virtual member function: 1 + the slot's byte offset in the vtable.
template <typename F>
size_t SlotOf(F member) {
  struct Raw {
    uintptr_t ptr;
    ptrdiff_t adj;
  };
  static_assert(sizeof(F) == sizeof(Raw));
  Raw raw;
  std::memcpy(&raw, &member, sizeof raw);
  return (raw.ptr - 1) / sizeof(void*);
}

TEST(InterfaceTest, SlotsInWindowsOrder) {
  EXPECT_EQ(SlotOf(&IUnknown::QueryInterface), 0u);
  EXPECT_EQ(SlotOf(&IUnknown::Release), 2u);
  EXPECT_EQ(SlotOf(&IClassFactory::CreateInstance), 3u);
  EXPECT_EQ(SlotOf(&IClassFactory::LockServer), 4u);
  EXPECT_EQ(SlotOf(&IDispatch::GetTypeInfoCount), 3u);
  EXPECT_EQ(SlotOf(&IDispatch::GetIDsOfNames), 5u);
  EXPECT_EQ(SlotOf(&IDispatch::Invoke), 6u);
  EXPECT_EQ(SlotOf(&ITypeInfo::GetTypeAttr), 3u);
  EXPECT_EQ(SlotOf(&ITypeInfo::GetFuncDesc), 5u);
  EXPECT_EQ(SlotOf(&ITypeInfo::GetDocumentation), 12u);
  EXPECT_EQ(SlotOf(&ITypeInfo::ReleaseVarDesc), 21u);
  EXPECT_EQ(SlotOf(&ITypeLib::GetLibAttr), 7u);
  EXPECT_EQ(SlotOf(&ITypeLib::ReleaseTLibAttr), 12u);
}

}  // namespace

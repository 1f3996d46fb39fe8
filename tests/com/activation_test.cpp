// Registration of the test modules and activation by ProgID and CLSID.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/win32/codepage.h"
#include "tests/com/com_test_util.h"
#include "tests/com/test_module.h"
#include "tests/support/temp_dir.h"

namespace comtest {
namespace {

// Runs an export of a module loaded for the call.
HRESULT RunExport(const char* path, const char* name) {
  HMODULE module = LoadLibraryA(path);
  EXPECT_NE(module, nullptr) << winport::LastLoadError();
  if (!module) return E_FAIL;
  auto function = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, name));
  const HRESULT hr = function ? function() : E_FAIL;
  FreeLibrary(module);
  return hr;
}

bool IsLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

void SetDefault(const std::string& path, const std::string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS);
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

class ActivationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winport::SetRegistryPath(dir.File("registry"));
    ASSERT_EQ(RunExport(COMTEST_A_PATH, "DllRegisterServer"), S_OK);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    winport::SetRegistryPath("");
  }

  static HRESULT ClassOf(const std::u16string& progId, CLSID& clsid) { return CLSIDFromProgID(progId.c_str(), &clsid); }

  testsupport::TempDir dir;
};

TEST_F(ActivationTest, RegistrationWritesClassesProgIdsAndTypeLibrary) {
  const std::string clsid = winport::FormatGuid(kA.importClsid);
  char real[4096];
  ASSERT_NE(realpath(COMTEST_A_PATH, real), nullptr);
  EXPECT_EQ(RegistryTree(HKEY_CLASSES_ROOT, "CLSID\\" + clsid),
            "  @ = \"FakeImport Class\"\n"
            "  InprocServer32\n"
            "    @ = \"" + std::string(real) + "\"\n"
            "    ThreadingModel = \"Apartment\"\n"
            "  ProgID\n"
            "    @ = \"ComTestA.FakeImport.1\"\n"
            "  Programmable\n"
            "  TypeLib\n"
            "    @ = \"{8C213840-FAB9-4CBB-B11B-E4ACA6B8CF4D}\"\n"
            "  VersionIndependentProgID\n"
            "    @ = \"ComTestA.FakeImport\"\n");
  const std::string folder = std::string(real).substr(0, std::string(real).find_last_of('/'));
  EXPECT_EQ(RegistryTree(HKEY_CLASSES_ROOT, "TypeLib\\" + winport::FormatGuid(kA.libid)),
            "  1.0\n"
            "    @ = \"ComTestA 1.0 Type Library\"\n"
            "    0\n"
            "      win64\n"
            "        @ = \"" + std::string(real) + "\"\n"
            "    FLAGS\n"
            "      @ = \"0\"\n"
            "    HELPDIR\n"
            "      @ = \"" + folder + "\"\n");
  EXPECT_EQ(RegistryTree(HKEY_CLASSES_ROOT, "Interface\\" + winport::FormatGuid(kA.importIid)),
            "  @ = \"IZPFileImport\"\n"
            "  ProxyStubClsid\n"
            "    @ = \"{00020424-0000-0000-C000-000000000046}\"\n"
            "  ProxyStubClsid32\n"
            "    @ = \"{00020424-0000-0000-C000-000000000046}\"\n"
            "  TypeLib\n"
            "    @ = \"{8C213840-FAB9-4CBB-B11B-E4ACA6B8CF4D}\"\n"
            "    Version = \"1.0\"\n");

  // Unregistering takes all of it away but the CLSID root key.
  ASSERT_EQ(RunExport(COMTEST_A_PATH, "DllUnregisterServer"), S_OK);
  EXPECT_EQ(RegistryTree(HKEY_CLASSES_ROOT, ""), "  CLSID\n  Interface\n  TypeLib\n");
  EXPECT_EQ(RunExport(COMTEST_A_PATH, "DllUnregisterServer"), S_OK);  // twice is no failure
}

TEST_F(ActivationTest, ProgIdsResolveThroughCurVer) {
  CLSID clsid{};
  ASSERT_EQ(ClassOf(u"ComTestA.Probe", clsid), S_OK) << winport::LastActivationError();
  EXPECT_EQ(clsid, kA.probeClsid);
  ASSERT_EQ(ClassOf(u"comtesta.probe.1", clsid), S_OK);  // names compare without case
  EXPECT_EQ(clsid, kA.probeClsid);

  // CurVer wins over the ProgID's own CLSID.
  SetDefault("Other.Probe\\CLSID", winport::FormatGuid(kB.probeClsid));
  SetDefault("Other.Probe\\CurVer", "ComTestA.Probe.1");
  ASSERT_EQ(ClassOf(u"Other.Probe", clsid), S_OK);
  EXPECT_EQ(clsid, kA.probeClsid);

  struct BadProgId {
    std::u16string progId;
    std::string detail;
  };
  SetDefault("Loop.A\\CurVer", "Loop.B");
  SetDefault("Loop.B\\CurVer", "Loop.A");
  SetDefault("Dangling\\CurVer", "Nowhere");
  SetDefault("NoClass\\Something", "x");
  SetDefault("Malformed\\CLSID", "{not a guid}");
  const BadProgId cases[] = {
      {u"Missing.Probe", "ProgID \"Missing.Probe\" is not registered"},
      {u"Loop.A", "the CurVer keys of ProgID \"Loop.A\" form a loop"},
      {u"Dangling", "ProgID \"Nowhere\" is not registered"},
      {u"NoClass", "ProgID \"NoClass\" has no CLSID"},
      {u"Malformed", "ProgID \"Malformed\" has the malformed CLSID \"{not a guid}\""},
      {u"", "\"\" is no ProgID"},
      {u"CLSID\\{x}", "\"CLSID\\{x}\" is no ProgID"},
  };
  for (const BadProgId& c : cases) {
    EXPECT_EQ(ClassOf(c.progId, clsid), CO_E_CLASSSTRING) << c.detail;
    EXPECT_EQ(winport::LastActivationError(), c.detail);
  }
}

TEST_F(ActivationTest, ClassObjectFailuresSayWhy) {
  const std::string unknown = "{00000000-1111-2222-3333-444444444444}";
  const std::string text = dir.File("not-a-library.so");
  testsupport::WriteFileBytes(text, "this is no shared library");
  const std::string winport = winport::ModulePathOf(reinterpret_cast<const void*>(&SysAllocString));
  struct ServerCase {
    std::string name;
    std::string server;  // InprocServer32; empty: no such key
    HRESULT hr;
    std::string detail;  // the start of LastActivationError
  };
  const ServerCase cases[] = {
      {"no InprocServer32", "", REGDB_E_CLASSNOTREG, "class " + unknown + " has no InprocServer32"},
      {"missing file", dir.File("libGone.so"), CO_E_DLLNOTFOUND, dir.File("libGone.so") + ": cannot open"},
      {"not a library", text, CO_E_ERRORINDLL, text + ": "},
      {"no DllGetClassObject", winport, CO_E_ERRORINDLL, winport + " does not export DllGetClassObject"},
      {"class the module lacks", COMTEST_A_PATH, CLASS_E_CLASSNOTAVAILABLE, "DllGetClassObject of "},
  };
  for (const ServerCase& c : cases) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + unknown).c_str());
    SetDefault("CLSID\\" + unknown, "Test");
    if (!c.server.empty()) SetDefault("CLSID\\" + unknown + "\\InprocServer32", c.server);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(*winport::ParseGuid(unknown), nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              c.hr)
        << c.name;
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(winport::LastActivationError().rfind(c.detail, 0), 0u) << c.name << ": " << winport::LastActivationError();
  }
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kB.probeClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kA.probeClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
}

TEST_F(ActivationTest, ModuleUnloadsOnlyAfterItsLastObject) {
  ASSERT_FALSE(IsLoaded(COMTEST_A_PATH));
  IDispatch* first = nullptr;
  IDispatch* second = nullptr;
  ASSERT_EQ(CoCreateInstance(kA.probeClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&first)),
            S_OK);
  ASSERT_EQ(CoCreateInstance(kA.importClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&second)),
            S_OK);
  EXPECT_TRUE(IsLoaded(COMTEST_A_PATH));
  first->Release();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLoaded(COMTEST_A_PATH));
  second->Release();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsLoaded(COMTEST_A_PATH));
}

TEST_F(ActivationTest, TwoModulesKeepTheirOwnState) {
  ASSERT_EQ(RunExport(COMTEST_B_PATH, "DllRegisterServer"), S_OK);
  CLSID a{}, b{};
  ASSERT_EQ(ClassOf(u"ComTestA.Probe", a), S_OK);
  ASSERT_EQ(ClassOf(u"ComTestB.Probe", b), S_OK);
  IDispatch* probeA = nullptr;
  IDispatch* probeB = nullptr;
  ASSERT_EQ(CoCreateInstance(a, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&probeA)), S_OK);
  ASSERT_EQ(CoCreateInstance(b, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&probeB)), S_OK);
  for (int i = 0; i < 3; ++i) Call(probeA, 1, DISPATCH_METHOD);
  EXPECT_EQ(Call(probeB, 1, DISPATCH_METHOD).result.lVal, 1);
  EXPECT_EQ(Call(probeA, 2, DISPATCH_PROPERTYGET).result.lVal, 3);
  probeA->Release();
  probeB->Release();
}

}  // namespace
}  // namespace comtest

// Registration scripts: parsing, registering and unregistering.
#include <gtest/gtest.h>

#include "platform/com/registrar.h"
#include "tests/com/com_test_util.h"
#include "tests/support/temp_dir.h"

namespace comtest {
namespace {

constexpr const char* kScript = R"(
HKCR
{
  Demo.Class.1 = s 'Demo Class'
  {
    CLSID = s '{11111111-2222-3333-4444-555555555555}'
  }
  NoRemove CLSID
  {
    ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Demo Class'
    {
      ForceRemove 'Programmable'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
      'it''s quoted' = s '100%% sure'
      Count = d '0x10'
    }
  }
}
HKEY_CURRENT_USER
{
  Software
  {
    val Flag = d '7'
  }
}
)";

const winport::Replacements kModule = {{"MODULE", "/opt/demo/lib'Demo.so"}};

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override { winport::SetRegistryPath(dir.File("registry")); }
  void TearDown() override { winport::SetRegistryPath(""); }

  std::string Classes() { return RegistryTree(HKEY_CLASSES_ROOT, ""); }
  std::string User() { return RegistryTree(HKEY_CURRENT_USER, ""); }
  HRESULT Run(const char* script, bool doRegister) {
    return winport::UpdateRegistryFromScript(script, kModule, doRegister, &error);
  }

  testsupport::TempDir dir;
  std::string error;
};

TEST_F(RegistrarTest, RegisterWritesTheTree) {
  ASSERT_EQ(Run(kScript, true), S_OK) << error;
  EXPECT_EQ(Classes(),
            "  CLSID\n"
            "    {11111111-2222-3333-4444-555555555555}\n"
            "      @ = \"Demo Class\"\n"
            "      Count\n"
            "        @ = 16\n"
            "      InprocServer32\n"
            "        @ = \"/opt/demo/lib'Demo.so\"\n"
            "        ThreadingModel = \"Apartment\"\n"
            "      it's quoted\n"
            "        @ = \"100% sure\"\n"
            "      Programmable\n"
            "  Demo.Class.1\n"
            "    @ = \"Demo Class\"\n"
            "    CLSID\n"
            "      @ = \"{11111111-2222-3333-4444-555555555555}\"\n");
  EXPECT_EQ(User(), "  Software\n    Flag = 7\n");
  // Registering twice changes nothing.
  const std::string once = Classes();
  ASSERT_EQ(Run(kScript, true), S_OK) << error;
  EXPECT_EQ(Classes(), once);
}

TEST_F(RegistrarTest, UnregisterKeepsNoRemoveAndForeignKeys) {
  ASSERT_EQ(Run(kScript, true), S_OK) << error;
  // Keys of others: beside the script's keys, and inside a plain one of them.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "CLSID\\{99999999-2222-3333-4444-555555555555}", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Other", &key), ERROR_SUCCESS);
  RegCloseKey(key);

  ASSERT_EQ(Run(kScript, false), S_OK) << error;
  EXPECT_EQ(Classes(), "  CLSID\n    {99999999-2222-3333-4444-555555555555}\n");
  EXPECT_EQ(User(), "  Software\n    Other\n");  // the script's value is gone, the key stays for Other
  // Unregistering what is not there is no failure.
  EXPECT_EQ(Run(kScript, false), S_OK) << error;

  // A NoRemove key stays even when empty; plain keys go once empty.
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{99999999-2222-3333-4444-555555555555}"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Other"), ERROR_SUCCESS);
  ASSERT_EQ(Run(kScript, true), S_OK) << error;
  ASSERT_EQ(Run(kScript, false), S_OK) << error;
  EXPECT_EQ(Classes(), "  CLSID\n");
  EXPECT_EQ(User(), "");
}

TEST_F(RegistrarTest, ForceRemoveClearsStaleSubkeys) {
  ASSERT_EQ(Run(kScript, true), S_OK) << error;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale\\Deeper", &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Demo.Class.1\\Kept", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(Run(kScript, true), S_OK) << error;
  const std::string tree = Classes();
  EXPECT_EQ(tree.find("Stale"), std::string::npos) << tree;
  EXPECT_NE(tree.find("Kept"), std::string::npos) << tree;  // a plain key keeps what others put in it
  ASSERT_EQ(Run(kScript, false), S_OK) << error;
  EXPECT_EQ(Classes(), "  CLSID\n  Demo.Class.1\n    Kept\n");
}

TEST_F(RegistrarTest, ScriptsThatDoNotParseWriteNothing) {
  struct BadScript {
    const char* script;
    const char* message;  // the start of the error text
  };
  const BadScript cases[] = {
      {"HKCR { A = s 'x' { B = s 'y' }", "line 1: expected '}'"},
      {"HKLM { A }", "line 1: root key HKLM is not available"},
      {"HKCR { A = s 'x' }\nHKCR\n{\n  B = s 'unterminated }\n}", "line 4: unterminated quoted text"},
      {"HKCR { A = s '%NOPE%' }", "line 1: no replacement for %NOPE%"},
      {"HKCR { A = s '50% off' }", "line 1: unmatched '%'"},
      {"HKCR { A = x 'y' }", "line 1: expected the value type s or d"},
      {"HKCR { A = d 'many' }", "line 1: 'many' is not a 32-bit number"},
      {"HKCR { A = d '4294967296' }", "line 1: '4294967296' is not a 32-bit number"},
      {"HKCR { val A = s 'x' }", "line 1: a value belongs inside a key's block"},
      {"HKCR { A { val = s 'x' } }", "line 1: expected a value name"},
      {"HKCR { A { val B s 'x' } }", "line 1: expected '=' after the value name"},
      {"HKCR { '' }", "line 1: key name '' is empty"},
      {"HKCR { 'A\\B' }", "line 1: key name 'A\\B' is empty or holds a backslash"},
      {"HKCR { = s 'x' }", "line 1: expected a key name"},
      {"{ }", "line 1: expected a root key"},
      {"HKCR A", "line 1: expected '{' after the root key"},
  };
  for (const BadScript& c : cases) {
    error.clear();
    EXPECT_EQ(Run(c.script, true), E_INVALIDARG) << c.script;
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.script << " gave " << error;
    EXPECT_EQ(Classes(), "") << c.script;
  }
  // Nesting is bounded.
  std::string deep = "HKCR {";
  for (int i = 0; i < 100; ++i) deep += " K {";
  deep += std::string(101, '}');
  EXPECT_EQ(Run(deep.c_str(), true), E_INVALIDARG);
  EXPECT_EQ(error, "line 1: keys nested too deeply");
  EXPECT_EQ(Classes(), "");
}

TEST_F(RegistrarTest, KeywordsIgnoreCaseAndQuotedNamesAreNames) {
  ASSERT_EQ(Run("hkcr { noremove 'NoRemove' { VAL 'val' = S 'x' } }", true), S_OK) << error;
  EXPECT_EQ(Classes(), "  NoRemove\n    val = \"x\"\n");
  ASSERT_EQ(Run("hkcr { noremove 'NoRemove' { VAL 'val' = S 'x' } }", false), S_OK) << error;
  EXPECT_EQ(Classes(), "  NoRemove\n");
}

}  // namespace
}  // namespace comtest

// The built module through the host: registration with zphost against a
// golden dump of the registry (tests/data/pellor; PELLOR_UPDATE_GOLDEN=1
// writes it anew), activation by ProgID through CurVer, unregistration, an
// import and one that fails cleanly, and unloading.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "host/cli.h"
#include "platform/com/activation.h"
#include "platform/win32/registry.h"
#include "tests/com/com_test_util.h"
#include "tests/support/host_harness.h"
#include "tests/support/mdf_writer.h"

namespace {

constexpr const char* kClsidFileImport = "{89D51140-8C28-4108-BD69-8F5810376B43}";

struct Outcome {
  int code = 0;
  std::string out, err;
};

Outcome Zphost(std::vector<std::string> args) {
  std::ostringstream out, err;
  Outcome r;
  r.code = host::RunCli(args, out, err, host::CliEnvironment{false, false});
  r.out = out.str();
  r.err = err.str();
  return r;
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// What registering wrote: the ProgIDs, the class keys and the type library,
// the module's path written as %MODULE%.
std::string RegistryDump() {
  const char* keys[] = {"Pellor.ZPFileImport.1", "Pellor.ZPFileImport", "Pellor.ZPSignal.1", "Pellor.ZPSignal",
                        "Pellor.ZPScalar.1", "Pellor.ZPScalar", "CLSID\\{89D51140-8C28-4108-BD69-8F5810376B43}",
                        "CLSID\\{964FA24A-0CF4-40A2-8CAD-D5335B7178C0}", "CLSID\\{E3AF31BE-E7BD-4AD1-AB64-B499A0FC8018}",
                        "TypeLib\\{59A186DF-83F3-4B59-9DAE-C31B3F2880F5}"};
  std::string out;
  for (const char* key : keys) out += std::string(key) + "\n" + comtest::RegistryTree(HKEY_CLASSES_ROOT, key);
  const std::string path = PELLOR_PATH;
  const std::string folder = path.substr(0, path.find_last_of('/'));
  for (const auto& [text, name] : {std::pair{path, "%MODULE%"}, std::pair{folder, "%MODULEDIR%"}})
    for (size_t at; (at = out.find(text)) != std::string::npos;) out.replace(at, text.size(), name);
  return out;
}

class ModuleTest : public ::testing::Test {
 protected:
  testsupport::HostHarness host_;
};

TEST_F(ModuleTest, RegistersThroughZphost) {
  const Outcome r = Zphost({"register", PELLOR_PATH});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string dump = RegistryDump();
  const std::string golden = std::string(TEST_DATA_DIR) + "/pellor/registry.txt";
  if (std::getenv("PELLOR_UPDATE_GOLDEN")) testsupport::WriteFileBytes(golden, dump);
  EXPECT_EQ(dump, testsupport::ReadFileBytes(golden)) << "differs from " << golden;

  // The version-independent ProgID finds the class through its CurVer.
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Pellor.ZPFileImport", &clsid), S_OK);
  EXPECT_TRUE(clsid == winport::GuidOf(kClsidFileImport));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Pellor.ZPFileImport\\CurVer", 0, KEY_READ, &key), ERROR_SUCCESS);
  char curVer[64];
  DWORD size = sizeof curVer;
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(curVer), &size), ERROR_SUCCESS);
  EXPECT_STREQ(curVer, "Pellor.ZPFileImport.1");
  RegCloseKey(key);

  // Created by ProgID, the object answers.
  IDispatch* object = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object)),
            S_OK);
  comtest::Outcome version = comtest::Call(object, 0x13, DISPATCH_PROPERTYGET);
  EXPECT_EQ(version.result.lVal, 1144);
  comtest::Outcome parSize = comtest::Call(object, 0x18, DISPATCH_PROPERTYGET);
  EXPECT_EQ(parSize.result.lVal, 62264);
  object->Release();
  CoFreeUnusedLibraries();

  ASSERT_EQ(Zphost({"unregister", PELLOR_PATH}).code, 0);
  for (const char* gone : {"Pellor.ZPFileImport", "Pellor.ZPFileImport.1", "Pellor.ZPSignal", "Pellor.ZPScalar.1",
                           "CLSID\\{89D51140-8C28-4108-BD69-8F5810376B43}", "TypeLib\\{59A186DF-83F3-4B59-9DAE-C31B3F2880F5}"})
    EXPECT_FALSE(KeyExists(gone)) << gone;
  EXPECT_TRUE(KeyExists("CLSID"));
}

TEST_F(ModuleTest, ImportsThroughZphost) {
  host_.Register(PELLOR_PATH);
  const std::string file = host_.Dir().File("run.mdf");
  testsupport::BuildFile(testsupport::SimpleFileDef(1, 2, 10)).writer.Save(file);
  const Outcome valid = Zphost({"valid", "Pellor.ZPFileImport", file});
  EXPECT_EQ(valid.code, 0) << valid.err;
  EXPECT_EQ(valid.out, "1\n");
  const Outcome imported = Zphost({"import", "--user", "ZSP", "Pellor.ZPFileImport", file});
  EXPECT_EQ(imported.code, 0) << imported.out << imported.err;
  EXPECT_NE(imported.out.find("signals: 3\n"), std::string::npos) << imported.out;
  const std::string other = host_.Dir().File("other.mdf");
  testsupport::WriteFileBytes(other, "MDF     but nothing more");
  const Outcome failed = Zphost({"import", "--user", "ZSP", "Pellor.ZPFileImport", other});
  EXPECT_EQ(failed.code, 1) << failed.out << failed.err;  // the module failed
  EXPECT_NE(failed.err.find("ImportFile"), std::string::npos) << failed.err;
}

// Records cut from the file after the import: the host's read fails rather
// than receiving values the file no longer holds.
TEST_F(ModuleTest, AReadOfRecordsCutAfterTheImportFails) {
  host_.Register(PELLOR_PATH);
  testsupport::BuiltFile built = testsupport::BuildFile(testsupport::SimpleFileDef(1, 2, 10));
  const std::string path = host_.Dir().File("cut.mdf");
  built.writer.Save(path);
  testsupport::ImportOptions quiet;
  quiet.user = "ZSP";
  const testsupport::ImportResult r = host_.Import("Pellor.ZPFileImport", path, quiet);
  ASSERT_EQ(r.signals.size(), 3u);
  ASSERT_EQ(truncate(path.c_str(), built.groups[0].data + 5 * built.groups[0].recordSize), 0);
  for (const bool readEx : {false, true}) {
    SCOPED_TRACE(readEx);
    EXPECT_THROW(host_.Samples(host::TextOf(r.signals[2], "Name"), {.chunk = 65536, .readEx = readEx}), host::CallError);
  }
}

// The module's boxes, its own and those of the file model inside it, carry its name.
TEST_F(ModuleTest, ItsMessageBoxesAreCaptionedWithItsName) {
  host_.Register(PELLOR_PATH);
  testsupport::BuiltFile unsorted = testsupport::BuildFile(testsupport::SimpleFileDef(1, 2, 10));
  unsorted.writer.PatchU16(unsorted.groups[0].dg + testsupport::dg::kCgCount, 2);
  testsupport::BuiltFile cut = testsupport::BuildFile(testsupport::SimpleFileDef(1, 2, 10));
  cut.writer.Truncate(cut.groups[0].data + 5 * cut.groups[0].recordSize);
  const struct {
    const testsupport::BuiltFile& file;
    const char* text;
  } cases[] = {{unsorted, "Die Datei ist unsortiert.\nBitte sortieren Sie zunächst."}, {cut, "Read unvollständig!"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = host_.Dir().File("box.mdf");
    c.file.writer.Save(path);
    testsupport::ImportResult result;
    host_.TryImport("Pellor.ZPFileImport", path, {}, &result);
    const std::vector<host::BoxRecord> boxes = host_.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].text, c.text);
    EXPECT_EQ(boxes[0].caption, "Pellor");
  }
}

TEST_F(ModuleTest, StaysLoadedWhileASignalObjectLives) {
  comtest::LoadedModule module(PELLOR_PATH);
  IDispatch* file = module.Create(winport::GuidOf(kClsidFileImport));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(module.CanUnload(), S_FALSE);
  comtest::Outcome signal = comtest::Call(file, 8, DISPATCH_PROPERTYGET, {comtest::I4(1)});
  ASSERT_EQ(signal.result.vt, VT_DISPATCH);
  file->Release();
  EXPECT_EQ(module.CanUnload(), S_FALSE);  // the signal object holds the module
  // Its import is gone: it answers as for a missing record.
  comtest::Outcome name = comtest::Call(signal.result.pdispVal, 1, DISPATCH_PROPERTYGET);
  EXPECT_EQ(name.hr, S_OK);
  EXPECT_EQ(name.result.bstrVal, nullptr);
  signal.result.pdispVal->Release();
  EXPECT_EQ(module.CanUnload(), S_OK);
}

}  // namespace

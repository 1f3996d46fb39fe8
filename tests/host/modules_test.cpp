// The import modules as the host sees them: Pellor's 64-bit integer channels
// decoded by their BitSize, and the version information and string table
// each module carries (or not).
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/session.h"
#include "platform/win32/module.h"
#include "platform/win32/resource.h"
#include "tests/support/host_harness.h"
#include "tests/support/mdf_writer.h"

namespace {

using namespace testsupport;

// A 40-bit signed channel at bit 64 and a 32-bit unsigned one at bit 107 whose
// 8-byte words hold each other's bits and those of a byte channel behind: the
// host must cut each field out of its word.
TEST(ModulesTest, PellorWideIntegersAreCutByBitSize) {
  const std::vector<int64_t> s40 = {-1, 0, -549755813888, 549755813887, 12345};
  const std::vector<uint64_t> u32 = {0, 4294967295u, 0x80000001u, 7, 123456789};
  GroupDef g;
  g.records = 5;
  g.autoLayout = false;
  g.recordSize = 24;  // room for the 8-byte words of both
  ChannelDef time;
  time.cn = {.channelType = 1, .name = "time", .startBit = 0, .bits = 64, .dataType = dt::kDouble};
  time.value = [](uint32_t r) { return r * 0.5; };
  ChannelDef a;
  a.cn = {.name = "s40", .startBit = 64, .bits = 40, .dataType = dt::kInt};
  a.value = [&](uint32_t r) { return static_cast<double>(s40[r]); };
  ChannelDef b;
  b.cn = {.name = "u32", .startBit = 107, .bits = 32, .dataType = dt::kUInt};
  b.value = [&](uint32_t r) { return static_cast<double>(u32[r]); };
  ChannelDef c;
  c.cn = {.name = "n", .startBit = 144, .bits = 8, .dataType = dt::kUInt};
  c.value = [](uint32_t) { return 0xA5; };
  g.channels = {time, a, b, c};
  FileDef def;
  def.groups.push_back(g);
  HostHarness host;
  const std::string path = host.Dir().File("wide.mdf");
  BuildFile(def).writer.Save(path);
  host.Register(PELLOR_MODULE);
  ImportOptions options;
  options.user = "ZSP";
  host.Import("Pellor.ZPFileImport", path, options);
  const std::optional<double> n = 0xA5;
  std::vector<std::optional<double>> expected40, expected32;
  for (const int64_t v : s40) expected40.push_back(static_cast<double>(v));
  for (const uint64_t v : u32) expected32.push_back(static_cast<double>(v));
  EXPECT_EQ(host.Samples("s40").values, expected40);
  EXPECT_EQ(host.Samples("u32").values, expected32);
  EXPECT_EQ(host.Samples("n").values, std::vector<std::optional<double>>(5, n));
}

struct ModuleCase {
  const char* name;
  const char* path;
  std::optional<std::string> fileVersion;
};
const ModuleCase kModules[] = {
    {"Pellor", PELLOR_MODULE, "4.0.120.0"}, {"Dravo", DRAVO_MODULE, std::nullopt},
    {"Quenvo", QUENVO_MODULE, std::nullopt}, {"Orsand", ORSAND_MODULE, std::nullopt},
    {"Filmor", FILMOR_MODULE, std::nullopt}, {"Brevan", BREVAN_MODULE, std::nullopt},
    {"Hestor", HESTOR_MODULE, std::nullopt}, {"Jorvel", JORVEL_MODULE, std::nullopt},
};

TEST(ModulesTest, EachModuleCarriesItsOwnVersionInformation) {
  for (const ModuleCase& m : kModules) {
    const std::optional<host::ModuleVersion> v = host::VersionOf(m.path);
    ASSERT_EQ(v.has_value(), m.fileVersion.has_value()) << m.name;
    if (!v) continue;
    EXPECT_EQ(v->fileVersion, *m.fileVersion) << m.name;
  }
  // Quenvo has a string table but no version resource.
  EXPECT_EQ(GetFileVersionInfoSizeA(QUENVO_MODULE, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  const std::optional<host::ModuleVersion> pellor = host::VersionOf(PELLOR_MODULE);
  ASSERT_TRUE(pellor);
  EXPECT_EQ(pellor->productVersion, "4.0.120.0");
  EXPECT_EQ(pellor->language, 0x0407);
  EXPECT_EQ(pellor->codePage, 1252);
  const std::vector<std::pair<std::string, std::string>> strings = {
      {"Comments", "Zephanor Importfilter f\xC3\xBCr MDF- und CAN-Log-Dateien"},
      {"FileDescription", "Pellor Module"},
      {"FileVersion", "4.0.120.0"},
      {"InternalName", "Pellor"},
      {"OLESelfRegister", ""},
      {"OriginalFilename", "Pellor.DLL"},
      {"ProductName", "Pellor Module"},
      {"ProductVersion", "4.0.120.0"},
  };
  EXPECT_EQ(pellor->strings, strings);

  // The import object's Version is the same version: major x 256 + build.
  HostHarness host;
  host.Register(PELLOR_MODULE);
  host::Session session("Pellor.ZPFileImport");
  EXPECT_EQ(session.File().Get("Version"), host::Value(int64_t{4 * 256 + 120}));
}

TEST(ModulesTest, StringTables) {
  const struct {
    const char* path;
    UINT id;
    std::string text;
  } cases[] = {
      {PELLOR_MODULE, 100, "Pellor"},
      {QUENVO_MODULE, 201, "Cannot open MatLab file"},
      {QUENVO_MODULE, 202, "The type of the object is unexpected"},
      {QUENVO_MODULE, 203, "Not enough memory to open MatLab file"},
      {QUENVO_MODULE, 200, ""},
      {HESTOR_MODULE, 100, ""},
  };
  for (const auto& c : cases) {
    HMODULE module = LoadLibraryA(c.path);
    ASSERT_NE(module, nullptr) << winport::LastLoadError();
    char buffer[256];
    EXPECT_EQ(LoadStringA(module, c.id, buffer, sizeof buffer), static_cast<int>(c.text.size())) << c.path;
    EXPECT_EQ(std::string(buffer), c.text) << c.path << " " << c.id;
    FreeLibrary(module);
  }
}

}  // namespace

// The entry points' conventions: exports, statuses and their texts, property
// access by size and type, handles, arguments and paths.
#include <dlfcn.h>

#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "tests/ddc/ddc_helpers.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

using namespace ddctest;
using namespace testsupport::tdms;

namespace {

class Api : public ::testing::Test {
 protected:
  void SetUp() override {
    Segment s;
    s.objects = {NoData("/", {String("Projekt", "P"), Time("datetime", FromUnix(1709280930))}),
                 WithData(Path("G", "A"), kF64, 2,
                          {I32("Kanal", -70000), Bool("Aktiv", true), F64("Gain", 0.5),
                           String("unit_string", "bar")})};
    s.raw = RawData().Values<double>({1, 2}).Bytes();
    path_ = dir_.File("f.tdms");
    testsupport::WriteFileBytes(path_, Encode({s}));
  }
  testsupport::TempDir dir_;
  std::string path_;
};

// The V-forms through an argument list of their own.
template <typename H>
int CallSetV(int (*set)(H, const char*, va_list), H h, const char* name, ...) {
  va_list args;
  va_start(args, name);
  const int s = set(h, name, args);
  va_end(args);
  return s;
}
template <typename H>
int CallCreateV(int (*create)(H, const char*, DDCDataType, va_list), H h, const char* name,
                DDCDataType type, ...) {
  va_list args;
  va_start(args, type);
  const int s = create(h, name, type, args);
  va_end(args);
  return s;
}

}  // namespace

TEST(Exports, TheLibraryResolvesAllSixtySixEntryPointsByName) {
  void* library = dlopen(DDC_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  std::vector<std::string> names;
#define DDC_NAME(name) names.push_back(#name);
  DDC_ENTRY_POINTS(DDC_NAME)
#undef DDC_NAME
  EXPECT_EQ(names.size(), 66u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 66u);
  for (const std::string& name : names) EXPECT_NE(dlsym(library, name.c_str()), nullptr) << name;
  EXPECT_EQ(dlsym(library, "LoadTdms"), nullptr);
  dlclose(library);
}

TEST(Statuses, EveryStatusHasItsOwnText) {
  const int statuses[] = {DDC_ErrOutOfMemory,   DDC_ErrInvalidArgument, DDC_ErrLibraryNotLoaded,
                          DDC_ErrFileNotFound,  DDC_ErrWrongFileKind,   DDC_ErrDamaged,
                          DDC_ErrPropertyAbsent, DDC_ErrTypeMismatch,   DDC_ErrRange,
                          DDC_ErrNotSupported,  DDC_ErrReadFailed};
  std::set<std::string> texts;
  for (int s : statuses) {
    const std::string text = DDC_GetLibraryErrorDescription(s);
    EXPECT_NE(text, "Unknown error") << s;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), std::size(statuses));
  EXPECT_EQ(DDC_ErrOutOfMemory, -6201);
  EXPECT_STREQ(DDC_GetLibraryErrorDescription(-6204),
               "Error occurred when loading the DIAdem library DLL (nilibddc.dll)");
  EXPECT_STREQ(DDC_GetLibraryErrorDescription(-1), "Unknown error");
}

TEST_F(Api, OperationsThatCreateChangeOrQueryAreNotSupported) {
  OpenedFile file(path_, "TDMs");
  ASSERT_EQ(file.Status(), 0);
  DDCFileHandle f = file.Get();
  DDCChannelGroupHandle g = file.Groups().at(0);
  DDCChannelHandle c = Channels(g).at(0);
  DDCFileHandle created = nullptr;
  DDCChannelGroupHandle new_group = nullptr;
  DDCChannelHandle new_channel = nullptr;
  unsigned int u[1] = {1};
  double d[1] = {0};
  int exists = 0;
  size_t n = 0;
  DDCChannelGroupHandle* groups = nullptr;
  DDCChannelHandle* channels = nullptr;
  const int results[] = {
      DDC_CreateFile(dir_.File("new.tdms").c_str(), "TDMs", "n", "d", "t", "a", &created),
      DDC_AddChannelGroup(f, "n", "d", &new_group),
      DDC_AddChannel(g, DDC_TypeDouble, "n", "d", "u", &new_channel),
      DDC_SaveFile(f),
      DDC_RemoveChannelGroup(g),
      DDC_RemoveChannel(c),
      DDC_CloseChannelGroup(g),
      DDC_CloseChannel(c),
      DDC_OpenFile(path_.c_str(), "TDMs", &created),
      DDC_SetDataValues(c, d, 1),
      DDC_AppendDataValues(c, d, 1),
      DDC_ReplaceDataValues(c, 0, d, 1),
      DDC_SetDataValuesTimestampComponents(c, u, u, u, u, u, u, d, 1),
      DDC_AppendDataValuesTimestampComponents(c, u, u, u, u, u, u, d, 1),
      DDC_ReplaceDataValuesTimestampComponents(c, 0, u, u, u, u, u, u, d, 1),
      DDC_QueryChannelGroups(f, "x", &groups, &n),
      DDC_QueryChannels(f, "x", &channels, &n),
      DDC_MergeChannelGroupQueryResults(&g, 1, &g, 1, 0, &groups, &n),
      DDC_MergeChannelQueryResults(&c, 1, &c, 1, 0, &channels, &n),
      DDC_ExecuteChannelGroupQueryExpression(f, "x", &groups, &n),
      DDC_ExecuteChannelQueryExpression(f, "x", &channels, &n),
      DDC_SetFilePropertyTimestampComponents(f, "p", 2024, 1, 1, 0, 0, 0, 0),
      CallSetV(DDC_SetFilePropertyV, f, "p", 1.0),
      DDC_CreateFilePropertyTimestampComponents(f, "p", 2024, 1, 1, 0, 0, 0, 0),
      CallCreateV(DDC_CreateFilePropertyV, f, "p", DDC_TypeDouble, 1.0),
      DDC_FilePropertyExists(f, "name", &exists),
      DDC_SetChannelGroupPropertyTimestampComponents(g, "p", 2024, 1, 1, 0, 0, 0, 0),
      CallSetV(DDC_SetChannelGroupPropertyV, g, "p", 1.0),
      DDC_CreateChannelGroupPropertyTimestampComponents(g, "p", 2024, 1, 1, 0, 0, 0, 0),
      CallCreateV(DDC_CreateChannelGroupPropertyV, g, "p", DDC_TypeDouble, 1.0),
      DDC_GetChannelGroupPropertyTimestampComponents(g, "p", u, u, u, u, u, u, d, u),
      DDC_ChannelGroupPropertyExists(g, "name", &exists),
      DDC_SetChannelPropertyTimestampComponents(c, "p", 2024, 1, 1, 0, 0, 0, 0),
      CallSetV(DDC_SetChannelPropertyV, c, "p", 1.0),
      DDC_CreateChannelPropertyTimestampComponents(c, "p", 2024, 1, 1, 0, 0, 0, 0),
      CallCreateV(DDC_CreateChannelPropertyV, c, "p", DDC_TypeDouble, 1.0),
      DDC_ChannelPropertyExists(c, "name", &exists),
  };
  EXPECT_EQ(std::size(results), 37u);
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], DDC_ErrNotSupported) << i;
  EXPECT_EQ(created, nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("new.tdms")));
}

TEST_F(Api, PropertiesReadByTheirSize) {
  OpenedFile file(path_, "TDMs");
  ASSERT_EQ(file.Status(), 0);
  DDCChannelHandle c = Channels(file.Groups().at(0)).at(0);
  EXPECT_EQ(Type(c, "Kanal"), DDC_TypeInt32);
  EXPECT_EQ(Type(c, "Aktiv"), DDC_TypeBoolean);
  EXPECT_EQ(Type(c, "unit_string"), DDC_TypeString);
  EXPECT_EQ(Type(file.Get(), "datetime"), DDC_TypeTimestamp);
  EXPECT_EQ(Type(c, "nothing"), std::nullopt);

  // Size 8 gives a double; the own size the value itself.
  EXPECT_EQ(Number(c, "Kanal"), -70000);
  EXPECT_EQ(Number(c, "Aktiv"), 1);
  int32_t i32 = 0;
  EXPECT_EQ(DDC_GetChannelProperty(c, "Kanal", &i32, sizeof i32), 0);
  EXPECT_EQ(i32, -70000);
  uint8_t flag = 0;
  EXPECT_EQ(DDC_GetChannelProperty(c, "Aktiv", &flag, 1), 0);
  EXPECT_EQ(flag, 1);
  int16_t i16 = 0;
  EXPECT_EQ(DDC_GetChannelProperty(c, "Kanal", &i16, sizeof i16), DDC_ErrTypeMismatch);

  // Texts: length without the terminator, length + 1 bytes filled.
  unsigned int length = 0;
  EXPECT_EQ(DDC_GetChannelStringPropertyLength(c, "unit_string", &length), 0);
  EXPECT_EQ(length, 3u);
  char text[8];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(DDC_GetChannelProperty(c, "unit_string", text, length + 1), 0);
  EXPECT_STREQ(text, "bar");
  EXPECT_EQ(text[4], 'x');
  EXPECT_EQ(DDC_GetChannelProperty(c, "unit_string", text, 3), DDC_ErrRange);
  EXPECT_STREQ(text, "ba");
  double number = 0;
  EXPECT_EQ(DDC_GetChannelStringPropertyLength(c, "Gain", &length), DDC_ErrTypeMismatch);
  EXPECT_EQ(DDC_GetFileProperty(file.Get(), "datetime", &number, sizeof number), DDC_ErrTypeMismatch);
  EXPECT_EQ(DDC_GetChannelPropertyTimestampComponents(c, "Gain", nullptr, nullptr, nullptr, nullptr,
                                                      nullptr, nullptr, nullptr, nullptr),
            DDC_ErrTypeMismatch);
  EXPECT_EQ(DDC_GetChannelProperty(c, "nothing", &number, sizeof number), DDC_ErrPropertyAbsent);
  EXPECT_EQ(DDC_GetChannelStringPropertyLength(c, "nothing", &length), DDC_ErrPropertyAbsent);
  EXPECT_EQ(DDC_GetFilePropertyTimestampComponents(file.Get(), "nothing", nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr),
            DDC_ErrPropertyAbsent);
  // Names are compared exactly.
  EXPECT_EQ(DDC_GetChannelStringPropertyLength(c, "UNIT_STRING", &length), DDC_ErrPropertyAbsent);
}

TEST_F(Api, ListsFillTheSlotsAskedFor) {
  OpenedFile file(path_, "TDMs");
  ASSERT_EQ(file.Status(), 0);
  char* names[8];
  std::fill(std::begin(names), std::end(names), reinterpret_cast<char*>(1));
  ASSERT_EQ(DDC_GetFilePropertyNames(file.Get(), names, 8), 0);
  EXPECT_STREQ(names[5], "Projekt");
  EXPECT_EQ(names[6], nullptr);
  EXPECT_EQ(names[7], nullptr);
  for (char* n : names) DDC_FreeMemory(n);
  ASSERT_EQ(DDC_GetFilePropertyNames(file.Get(), names, 1), 0);
  EXPECT_STREQ(names[0], "name");
  DDC_FreeMemory(names[0]);
  DDCChannelGroupHandle groups[3] = {};
  ASSERT_EQ(DDC_GetChannelGroups(file.Get(), groups, 3), 0);
  EXPECT_NE(groups[0], nullptr);
  EXPECT_EQ(groups[1], nullptr);
}

TEST_F(Api, UnknownStaleOrMismatchedHandlesGiveAStatus) {
  DDCFileHandle file = nullptr;
  ASSERT_EQ(DDC_OpenFileEx(path_.c_str(), "tdms", 1, &file), 0);
  DDCChannelGroupHandle group = nullptr;
  ASSERT_EQ(DDC_GetChannelGroups(file, &group, 1), 0);
  DDCChannelHandle channel = nullptr;
  ASSERT_EQ(DDC_GetChannels(group, &channel, 1), 0);
  unsigned int n = 0;
  uint64_t count = 0;
  // A group handle where a channel is expected.
  EXPECT_EQ(DDC_GetNumDataValues(reinterpret_cast<DDCChannelHandle>(group), &count), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_GetNumChannels(reinterpret_cast<DDCChannelGroupHandle>(file), &n), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_GetNumChannelGroups(nullptr, &n), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_GetNumChannelGroups(file, nullptr), DDC_ErrInvalidArgument);
  DDC_CloseFile(file);
  DDC_CloseFile(file);  // a second close is ignored
  DDC_CloseFile(nullptr);
  EXPECT_EQ(DDC_GetNumChannelGroups(file, &n), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_GetNumDataValues(channel, &count), DDC_ErrInvalidArgument);
  double v = 0;
  EXPECT_EQ(DDC_GetDataValues(channel, 0, 1, &v), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_GetChannelProperty(channel, "name", &v, sizeof v), DDC_ErrInvalidArgument);
}

TEST_F(Api, OpenArguments) {
  DDCFileHandle file = reinterpret_cast<DDCFileHandle>(1);
  EXPECT_EQ(DDC_OpenFileEx(path_.c_str(), "TDMs", 0, &file), DDC_ErrNotSupported);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(DDC_OpenFileEx(path_.c_str(), "MDF", 1, &file), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_OpenFileEx(nullptr, "TDMs", 1, &file), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_OpenFileEx(path_.c_str(), "TDMs", 1, nullptr), DDC_ErrInvalidArgument);
  EXPECT_EQ(DDC_OpenFileEx(dir_.File("missing.tdms").c_str(), "TDMs", 1, &file), DDC_ErrFileNotFound);
  EXPECT_EQ(DDC_OpenFileEx(dir_.Path().c_str(), "TDMs", 1, &file), DDC_ErrFileNotFound);
  EXPECT_EQ(file, nullptr);
}

TEST_F(Api, PathsComeInWindows1252AndReachTheSystemInUtf8) {
  const std::string utf8 = dir_.File("Pr\xC3\xBC" "fstand.tdms");
  testsupport::WriteFileBytes(utf8, testsupport::ReadFileBytes(path_));
  const std::string ansi = dir_.Path() + "/Pr\xFC" "fstand.tdms";
  OpenedFile file(ansi, "TDMs");
  ASSERT_EQ(file.Status(), 0);
  EXPECT_EQ(Name(file.Get()), "Pr\xFC" "fstand");
}

// The file-import object's streaming: Seek, Read and ReadEx over signals that
// the test driver lays out, checked against values decoded here from what
// the fixture writer stored.
#include "pellor/file_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

#include "importcore/host_types.h"
#include "importcore/le.h"
#include "importcore/support.h"
#include "mdf/blocks.h"
#include "mdf/composition.h"
#include "mdf/mdf.h"
#include "pellor/options.h"
#include "tests/support/host_variables.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/pellor_driver.h"
#include "tests/support/temp_dir.h"

namespace pellor {
namespace {

using namespace testsupport;

PellorDriverOptions After(std::function<void(FileImport&)> after) {
  PellorDriverOptions o;
  o.after = std::move(after);
  return o;
}
PellorDriverOptions Result(int result, bool fail = false) {
  PellorDriverOptions o;
  o.result = result;
  o.fail = fail;
  return o;
}

std::string Le(uint64_t v, size_t n) { return LeBytes(v, n); }
std::string F32(float f) { return std::string(reinterpret_cast<const char*>(&f), 4); }
std::string F64(double d) { return std::string(reinterpret_cast<const char*>(&d), 8); }

// One channel per host value type: how the writer stores it, and the bytes
// that the host must receive for record r.
struct TypedChannel {
  const char* name;
  uint16_t dataType;
  uint16_t bits;
  uint16_t startBit;
  int32_t dtyp;
  std::function<double(uint32_t)> value;
  std::function<std::string(uint32_t)> expect;
  std::optional<CcSpec> cc = std::nullopt;
};

int64_t Signed(uint32_t r, uint64_t span) { return static_cast<int64_t>(r % span) - static_cast<int64_t>(span / 2); }

const std::vector<TypedChannel>& TypedChannels() {
  static const std::vector<TypedChannel> channels = {
      {"u8", dt::kUInt, 8, 64, 4, [](uint32_t r) { return r % 256; }, [](uint32_t r) { return Le(r % 256, 1); }},
      {"s8", dt::kInt, 8, 72, 5, [](uint32_t r) { return Signed(r, 256); },
       [](uint32_t r) { return Le(static_cast<uint64_t>(Signed(r, 256)), 1); }},
      {"u16", dt::kUInt, 16, 80, 6, [](uint32_t r) { return (r * 7) % 65536; },
       [](uint32_t r) { return Le((r * 7) % 65536, 2); }},
      {"s16", dt::kInt, 16, 96, 7, [](uint32_t r) { return Signed(r * 13, 65536); },
       [](uint32_t r) { return Le(static_cast<uint64_t>(Signed(r * 13, 65536)), 2); }},
      {"u32", dt::kUInt, 32, 112, 8, [](uint32_t r) { return (uint64_t{r} * 100003) % 4294967296u; },
       [](uint32_t r) { return Le((uint64_t{r} * 100003) % 4294967296u, 4); }},
      {"s32", dt::kInt, 32, 144, 9, [](uint32_t r) { return Signed(r * 100003u, 4294967296u); },
       [](uint32_t r) { return Le(static_cast<uint64_t>(Signed(r * 100003u, 4294967296u)), 4); }},
      {"f32", dt::kFloat, 32, 176, 11, [](uint32_t r) { return r * 0.25; },
       [](uint32_t r) { return F32(static_cast<float>(r * 0.25)); }},
      {"f64", dt::kDouble, 64, 208, 13, [](uint32_t r) { return r * 0.001; },
       [](uint32_t r) { return F64(r * 0.001); }},
      // Bit fields arrive as their container's bytes, not shifted: the host extracts them.
      {"u5", dt::kUInt, 5, 275, 16, [](uint32_t r) { return r % 32; }, [](uint32_t r) { return Le((r % 32) << 3, 1); }},
      {"s5", dt::kInt, 5, 280, 17, [](uint32_t r) { return Signed(r, 32); },
       [](uint32_t r) { return Le(static_cast<uint64_t>(Signed(r, 32)) & 0x1F, 1); }},
      {"u12", dt::kUInt, 12, 290, 18, [](uint32_t r) { return r % 4096; },
       [](uint32_t r) { return Le((r % 4096) << 2, 2); }},
      {"s12", dt::kInt, 12, 304, 19, [](uint32_t r) { return Signed(r, 4096); },
       [](uint32_t r) { return Le(static_cast<uint64_t>(Signed(r, 4096)) & 0xFFF, 2); }},
      {"u24", dt::kUInt, 24, 320, 30, [](uint32_t r) { return (r * 97) % 16777216; },
       [](uint32_t r) { return Le((r * 97) % 16777216, 4); }},
      {"s20", dt::kInt, 20, 344, 31, [](uint32_t r) { return Signed(r, 1 << 20); },
       [](uint32_t r) { return Le(static_cast<uint64_t>(Signed(r, 1 << 20)) & 0xFFFFF, 4); }},
      {"u40", dt::kUInt, 40, 368, 32, [](uint32_t r) { return uint64_t{r} * 1000003; },
       [](uint32_t r) { return Le(uint64_t{r} * 1000003, 8); }},
      {"s48", dt::kInt, 48, 408, 33, [](uint32_t r) { return static_cast<double>(int64_t{r} * 1000003 - (int64_t{1} << 40)); },
       [](uint32_t r) { return Le(static_cast<uint64_t>(int64_t{r} * 1000003 - (int64_t{1} << 40)) & 0xFFFFFFFFFFFFull, 8); }},
      {"mot16", dt::kUIntMotorola, 16, 456, 6, [](uint32_t r) { return (r * 3) % 65536; },
       [](uint32_t r) { return Le((r * 3) % 65536, 2); }},
      // A formula conversion delivers physical doubles.
      {"formula", dt::kUInt, 16, 472, 13, [](uint32_t r) { return r % 1000; },
       [](uint32_t r) { return F64((r % 1000) * 2.0 + 1.0); }, CcFormula("X*2+1")},
      // A float at a bit shift arrives shifted into place.
      {"f32bit3", dt::kFloat, 32, 491, 11, [](uint32_t r) { return r * 0.5; },
       [](uint32_t r) { return F32(static_cast<float>(r * 0.5)); }},
  };
  return channels;
}

// The time channel: milliseconds with a linear conversion to seconds.
constexpr double kTimeFactor = 0.001, kTimeOffset = 0.5;
double TimeRaw(uint32_t r) { return r * 10.0; }
double TimeOf(uint32_t r) { return TimeRaw(r) * kTimeFactor + kTimeOffset; }

FileDef TypedFileDef(uint32_t records) {
  FileDef def;
  def.id.programId = "TESTPROG";
  GroupDef group;
  group.records = records;
  group.autoLayout = false;
  ChannelDef time;
  time.cn = CnSpec{.channelType = 1, .name = "time", .startBit = 0, .bits = 32, .dataType = dt::kUInt};
  time.cc = CcLinear(kTimeFactor, kTimeOffset, "s");
  time.value = TimeRaw;
  group.channels.push_back(time);
  for (const TypedChannel& t : TypedChannels()) {
    ChannelDef ch;
    ch.cn = CnSpec{.name = t.name, .startBit = t.startBit, .bits = t.bits, .dataType = t.dataType};
    ch.cc = t.cc;
    ch.value = t.value;
    group.channels.push_back(ch);
  }
  def.groups.push_back(group);
  return def;
}

// The bytes [offset, offset + n) of a channel's values as the host must get them.
std::string ExpectedWindow(const TypedChannel& t, uint64_t offset, uint64_t n) {
  const uint32_t size = importcore::DTypSize(t.dtyp);
  std::string out;
  for (uint64_t r = offset / size; out.size() < n + offset % size; ++r) out += t.expect(static_cast<uint32_t>(r));
  return out.substr(offset % size, n);
}

// Where two byte strings first differ, for short failure messages; -1 when equal.
int64_t FirstDifference(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<int64_t>(i);
  return a.size() == b.size() ? -1 : static_cast<int64_t>(n);
}

// Records enough that no cache fits a limit of one unit (1,232,896 bytes): 160,000 x 8 bytes.
constexpr uint32_t kRecords = 160000;

class TypedReadTest : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    BuildFile(TypedFileDef(kRecords)).writer.Save(dir_->File("typed.mdf"));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    importcore::SetDefaultVariablesKey();
    if (GetParam()) vars_.Set("MDF_MEMORYLIMIT", "1");  // every read goes to the file
    ASSERT_EQ(import_.ImportFile(dir_->File("typed.mdf"), ""), S_OK);
    ASSERT_EQ(import_.Open(), S_OK);
  }
  const SignalRecord& Signal(const char* name) {
    for (const SignalRecord& r : import_.Lists().signals)
      if (r.Name == name) return r;
    ADD_FAILURE() << "no signal " << name;
    return *import_.Lists().signals.First();
  }
  std::string ReadAt(uint64_t position, uint32_t bytes) {
    import_.Seek(static_cast<int32_t>(position), 0);
    std::string buffer(bytes, '\xEE');
    import_.Read(reinterpret_cast<uint8_t*>(buffer.data()), bytes);
    return buffer;
  }

  static TempDir* dir_;
  HostVariables vars_;
  ScopedPellorDriver driver_;
  FileImport import_;
};
TempDir* TypedReadTest::dir_ = nullptr;

TEST_P(TypedReadTest, EveryHostTypeReadsItsStoredValues) {
  const bool fromFile = GetParam();
  // Windows of a signal's bytes, in samples plus bytes: its start, unaligned
  // pieces, more than one step of 65,536 samples from the file, the last
  // bytes, and more than it holds.
  const struct {
    const char* what;
    int64_t samples, extra;  // where it starts; negative samples count from the end
    int64_t bytesInSamples, bytes;
  } cases[] = {
      {"first value", 0, 0, 1, 0},       {"unaligned piece", 0, 3, 2, 5},  {"over two read steps", 0, 3, 65537, 1},
      {"last values", -5, 0, 5, 0},      {"past its end", -3, 1, 0, 4096}, {"middle", 80000, 1, 3, 2},
  };
  for (const TypedChannel& t : TypedChannels()) {
    SCOPED_TRACE(t.name);
    const SignalRecord& s = Signal(t.name);
    ASSERT_EQ(s.DTyp, t.dtyp);
    const int64_t size = importcore::DTypSize(t.dtyp);
    const uint64_t length = s.rangeEnd - s.rangeStart;
    ASSERT_EQ(length, uint64_t{kRecords} * size);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      const uint64_t offset = static_cast<uint64_t>((c.samples < 0 ? kRecords + c.samples : c.samples) * size + c.extra);
      const uint32_t bytes = static_cast<uint32_t>(c.bytesInSamples * size + c.bytes);
      const uint64_t delivered = std::min<uint64_t>(bytes, length - offset);
      const std::string got = ReadAt(s.rangeStart + offset, bytes);
      EXPECT_EQ(import_.m_position, s.rangeStart + offset + delivered);  // advanced by what was delivered
      EXPECT_EQ(FirstDifference(got.substr(0, delivered), ExpectedWindow(t, offset, delivered)), -1);
      EXPECT_EQ(FirstDifference(got.substr(delivered), std::string(bytes - delivered, '\xEE')), -1)
          << "written behind the signal's end";
    }
    EXPECT_EQ(s.cache.valid, !fromFile);
  }
  if (fromFile) {
    EXPECT_EQ(import_.m_cachedBytes, 0u);
  }
}

TEST_P(TypedReadTest, AWholeSignalInOneRead) {
  const TypedChannel& t = TypedChannels()[10];  // u12
  const SignalRecord& s = Signal(t.name);
  const uint64_t length = s.rangeEnd - s.rangeStart;
  EXPECT_EQ(FirstDifference(ReadAt(s.rangeStart, static_cast<uint32_t>(length)), ExpectedWindow(t, 0, length)), -1);
}

TEST_P(TypedReadTest, ReadExDeliversTheTimesOfTheSameSamples) {
  const SignalRecord& s = Signal("u16");
  ASSERT_NE(s.timeRecord, nullptr);
  if (!GetParam()) {
    // A cached time signal: its raw values are converted through its conversion.
    const SignalRecord& time = *s.timeRecord;
    ReadAt(time.rangeStart, 4);
    ASSERT_TRUE(time.cache.valid);
  }
  const struct {
    uint32_t firstSample, valueBytes, timeBytes;
    uint32_t times;  // time values written
  } cases[] = {
      {0, 20, 80, 10},         // as many as values
      {100, 20, 24, 3},        // no more than the time buffer holds
      {kRecords - 2, 64, 800, 2},  // no more than the signal has
      {7, 1, 80, 0},           // no whole value, no time
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.firstSample);
    import_.Seek(static_cast<int32_t>(s.rangeStart + uint64_t{c.firstSample} * 2), 0);
    std::string values(c.valueBytes, '\0');
    std::vector<double> times(c.timeBytes / 8 + 4, -7.0);
    import_.ReadEx(reinterpret_cast<uint8_t*>(values.data()), c.valueBytes, reinterpret_cast<uint8_t*>(times.data()),
                   c.timeBytes);
    for (uint32_t i = 0; i < times.size(); ++i) {
      if (i < c.times) {
        EXPECT_NEAR(times[i], TimeOf(c.firstSample + i), 1e-9) << i;
      } else {
        EXPECT_EQ(times[i], -7.0) << "written past the times delivered: " << i;
      }
    }
    const uint64_t delivered = std::min<uint64_t>(c.valueBytes, (kRecords - c.firstSample) * 2);
    EXPECT_EQ(FirstDifference(values.substr(0, delivered),
                              ExpectedWindow(TypedChannels()[2], uint64_t{c.firstSample} * 2, delivered)),
              -1);
  }
}

INSTANTIATE_TEST_SUITE_P(CachesAndFile, TypedReadTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "FromFile" : "Cached"; });

// ---------------------------------------------------------------- finding the signal of a position

TEST(PositionIndex, FindsTheFirstSignalInListOrderThatHoldsAPosition) {
  const struct {
    const char* what;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;  // in list order
    std::vector<std::pair<uint64_t, int>> lookups;      // position, index in the list (-1: none)
  } cases[] = {
      {"laid out in order", {{0, 1000}, {1024, 1030}, {2048, 4096}},
       {{0, 0}, {999, 0}, {1000, -1}, {1024, 1}, {1029, 1}, {1030, -1}, {4095, 2}, {4096, -1}}},
      {"groups in reverse order", {{2048, 3000}, {0, 100}, {1024, 2000}}, {{50, 1}, {1500, 2}, {2500, 0}, {3000, -1}}},
      {"empty ranges hold nothing", {{0, 0}, {0, 10}}, {{0, 1}, {10, -1}}},
      {"overlapping: the first in list order", {{1024, 2048}, {0, 4096}}, {{10, 1}, {1500, 0}, {3000, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SignalList list;
    for (const auto& [start, end] : c.ranges) {
      auto r = std::make_unique<SignalRecord>();
      r->rangeStart = start;
      r->rangeEnd = end;
      list.Append(std::move(r));
    }
    PositionIndex index;
    index.Build(list);
    for (const auto& [position, expected] : c.lookups)
      EXPECT_EQ(index.Find(position), expected < 0 ? nullptr : list.Nth(static_cast<size_t>(expected))) << position;
  }
}

// ---------------------------------------------------------------- a small file

class FileImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    importcore::SetDefaultVariablesKey();
    ClearWarnings();
  }
  std::string Write(const FileDef& def, const std::string& name = "small.mdf") {
    const std::string path = vars_.Dir().File(name);
    BuildFile(def).writer.Save(path);
    return path;
  }
  HostVariables vars_;
};

TEST_F(FileImportTest, SeekCountsInTheThirtyTwoBitSpace) {
  ScopedPellorDriver driver;
  FileImport import;
  ASSERT_EQ(import.ImportFile(Write(SimpleFileDef(1, 2, 600)), ""), S_OK);
  ASSERT_EQ(import.m_dataSize, 9u * 1024);  // time 4,800 bytes in 5 blocks, two signals of 1,200 in 2 each
  const struct {
    uint64_t before;
    int32_t pos, origin;
    uint64_t after;
  } cases[] = {
      {7, 100, 2, 9 * 1024 - 100}, {7, 5, 7, 7},  {7, 5, 0, 5},       {7, 10, 1, 17},
      {17, -10, 1, 7},                 {7, -8, 1, 0xFFFFFFFFu}, {0, -1, 0, 0xFFFFFFFFu},
      {0, 20000, 2, (9 * 1024 - 20000) & 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    import.m_position = c.before;
    import.Seek(c.pos, c.origin);
    EXPECT_EQ(import.m_position, c.after) << c.before << " " << c.pos << " " << c.origin;
  }
  // A read at a position past the data space copies nothing.
  import.Seek(-1, 0);
  uint8_t byte = 0x55;
  import.Read(&byte, 1);
  EXPECT_EQ(byte, 0x55);
}

TEST_F(FileImportTest, OpenAndCloseNest) {
  FileImport import;
  EXPECT_EQ(import.Open(), E_FAIL);  // no import
  EXPECT_EQ(import.m_openCount, 0);
  import.Close();  // at 0: nothing
  EXPECT_EQ(import.m_openCount, 0);
  ScopedPellorDriver driver;
  ASSERT_EQ(import.ImportFile(Write(SimpleFileDef(1, 1, 10)), ""), S_OK);
  ASSERT_EQ(import.Open(), S_OK);
  ASSERT_EQ(import.Open(), S_OK);
  EXPECT_TRUE(import.m_mdf->IsOpen());
  import.Close();
  EXPECT_TRUE(import.m_mdf->IsOpen());
  import.Close();
  EXPECT_FALSE(import.m_mdf->IsOpen());
  import.Close();
  EXPECT_EQ(import.m_openCount, 0);
}

TEST_F(FileImportTest, IsValidNeedsEightMatchingBytes) {
  const struct {
    std::string bytes;
    int32_t valid;
  } cases[] = {{"MDF     3.30", 1}, {"mdf     ", 1}, {"MDF4    ", 0}, {"MDF    ", 0}, {"", 0}};
  FileImport import;
  for (const auto& c : cases) {
    const std::string path = vars_.Dir().File("id.bin");
    WriteFileBytes(path, c.bytes);
    EXPECT_EQ(import.IsValid(path), c.valid) << "'" << c.bytes << "'";
  }
  EXPECT_EQ(import.IsValid(vars_.Dir().File("missing.mdf")), 0);
}

TEST_F(FileImportTest, AFailedImportKeepsNothing) {
  const std::string path = Write(SimpleFileDef(1, 1, 10));
  FileImport import;
  EXPECT_EQ(import.ImportFile(path + ".missing", ""), E_FAIL);
  EXPECT_FALSE(import.HasImport());
  {
    ScopedPellorDriver driver(Result(0));
    EXPECT_EQ(import.ImportFile(path, ""), E_FAIL);
    EXPECT_FALSE(import.HasImport());
    EXPECT_TRUE(import.Lists().signals.Empty());
    EXPECT_EQ(import.m_dataSize, 0u);
    EXPECT_FALSE(vars_.Get("ERRNO"));
  }
  {
    ScopedPellorDriver driver(Result(1, true));
    EXPECT_EQ(import.ImportFile(path, ""), E_FAIL);
    EXPECT_EQ(vars_.Get("ERRNO"), "1");
    EXPECT_FALSE(import.HasImport());
  }
}

TEST_F(FileImportTest, AnotherImportReleasesTheFirst) {
  ScopedPellorDriver driver;
  FileImport import;
  const std::string path = Write(SimpleFileDef(1, 2, 100));
  ASSERT_EQ(import.ImportFile(path, ""), S_OK);
  const std::weak_ptr<ImportLists> first = import.ListsRef();
  uint8_t buffer[8];
  import.Read(buffer, 8);  // makes the time signal's cache
  EXPECT_GT(import.m_cachedBytes, 0u);
  ASSERT_EQ(import.ImportFile(path, ""), S_OK);
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(import.m_cachedBytes, 0u);
  EXPECT_EQ(import.Lists().signals.Count(), 3u);
  import.ReleaseFile();
  EXPECT_FALSE(import.HasImport());
  EXPECT_TRUE(import.Lists().signals.Empty());
}

TEST_F(FileImportTest, EachImportStartsWithoutWarnings) {
  AddWarning(warn::kFactorZero, "from the import before");
  ScopedPellorDriver driver;
  FileImport import;
  ASSERT_EQ(import.ImportFile(Write(SimpleFileDef(1, 1, 10)), ""), S_OK);
  EXPECT_FALSE(HasWarningText());
  EXPECT_EQ(WarningFlags(), 0u);
}

// A signal whose sample width is not its DTyp's has no values to deliver: the
// read fails and leaves the host's buffer as it was.
TEST_F(FileImportTest, ASignalWithoutValuesOfItsTypeFailsItsRead) {
  ScopedPellorDriver driver;
  FileImport import;
  ASSERT_EQ(import.ImportFile(Write(SimpleFileDef(1, 2, 100)), ""), S_OK);
  SignalRecord& a = *import.Lists().signals.Nth(1);
  a.Demux = 3;
  uint8_t bytes[4] = {0x55, 0x55, 0x55, 0x55};
  import.Seek(static_cast<int32_t>(a.rangeStart), 0);
  EXPECT_FALSE(import.Read(bytes, sizeof bytes));
  EXPECT_EQ(bytes[0], 0x55);
  EXPECT_EQ(bytes[3], 0x55);
}

TEST_F(FileImportTest, FreeingACacheMakesRoomForTheNext) {
  ScopedPellorDriver driver;
  FileImport import;
  ASSERT_EQ(import.ImportFile(Write(SimpleFileDef(1, 2, 1000)), ""), S_OK);
  SignalRecord& a = *import.Lists().signals.Nth(1);
  SignalRecord& b = *import.Lists().signals.Nth(2);
  // Room for one cache of 1,000 values: 8,000 bytes of limit plus the 2,000 of one cache.
  import.m_params.SetMemoryLimit(8001 + 2000);
  uint8_t byte;
  import.Seek(static_cast<int32_t>(a.rangeStart), 0);
  import.Read(&byte, 1);
  ASSERT_TRUE(a.cache.valid);
  EXPECT_EQ(import.m_cachedBytes, 2000u);
  import.FreeCache(a);
  EXPECT_EQ(import.m_cachedBytes, 0u);
  import.Seek(static_cast<int32_t>(b.rangeStart), 0);
  import.Read(&byte, 1);
  EXPECT_TRUE(b.cache.valid);
}

TEST_F(FileImportTest, ParametersPutRebuildTheIgnoreListAtEveryImport) {
  ScopedPellorDriver driver;
  FileImport import;
  ParameterBlock host;
  host.PackNames({"sig1_1", "Other"});
  ASSERT_EQ(import.PutParameters(host.Data()), S_OK);
  const std::string path = Write(SimpleFileDef(1, 1, 10));
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(import.ImportFile(path, ""), S_OK);
    EXPECT_TRUE(import.IsIgnoredName("sig1_1"));
    EXPECT_TRUE(import.IsIgnoredName("Other_long"));
    EXPECT_FALSE(import.IsIgnoredName("other"));
    import.ReleaseFile();
    EXPECT_FALSE(import.IsIgnoredName("sig1_1"));
  }
  EXPECT_EQ(import.PutParameters(nullptr), E_POINTER);
}

TEST_F(FileImportTest, CommentSlotsReachTheHostFromOneTo255) {
  FileImport import;
  import.MakeComment("Projekt Alpha   ", 1, "Project");
  import.MakeComment(std::string(40, 'c'), 2, "Long");
  import.MakeComment("", 3, "Empty");
  import.MakeComment("hidden", 256, "Last");
  import.MakeComment("nowhere", 257, "Past");
  EXPECT_EQ(import.FileComment(0), "");
  EXPECT_EQ(import.FileComment(1), "Projekt Alpha");
  EXPECT_EQ(import.FileComment(2), std::string(31, 'c'));
  EXPECT_EQ(import.FileComment(3), std::nullopt);
  EXPECT_EQ(import.FileComment(256), std::nullopt);
  EXPECT_EQ(import.FileComment(-1), std::nullopt);
  EXPECT_EQ(import.CommentName(1), "Project");
  EXPECT_EQ(import.CommentName(3), "Empty");
  EXPECT_EQ(import.CommentName(0), std::nullopt);
  EXPECT_EQ(import.CommentName(256), std::nullopt);
  EXPECT_EQ(import.CommentName(4), std::nullopt);
}

TEST_F(FileImportTest, InMemoryReadsStayWithinTheValues) {
  ScopedPellorDriver driver(After([](FileImport& import) {
    import.m_inMemory = true;
    import.m_memoryValues.assign(100, 0x42);
  }));
  FileImport import;
  ASSERT_EQ(import.ImportFile(Write(SimpleFileDef(1, 1, 10)), ""), S_OK);
  EXPECT_EQ(import.CanDoReadEx(), 0);
  std::vector<uint8_t> buffer(4096, 0);
  import.Seek(2, 0);  // read from 0, the position rounded down to 4
  import.Read(buffer.data(), 4096);
  EXPECT_EQ(import.m_position, import.m_dataSize);
  EXPECT_EQ(buffer[99], 0x42);
  EXPECT_EQ(buffer[100], 0);  // the values end there
}

// ---------------------------------------------------------------- NoValues of KESTRAVO files

// A KESTRAVO file whose double time channel is invalid (1e308) at records 2 and 5,
// and whose channel "sig" (UINT16, linear 2x + 10) carries the NoValue 100.
FileDef KestravoDef() {
  FileDef def;
  def.id.programId = "KESTRAVO";
  GroupDef group;
  group.records = 8;
  group.comment = "NoValue\tJa\tsig\t100";
  ChannelDef time;
  time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble};
  time.value = [](uint32_t r) { return r == 2 || r == 5 ? 1e308 : r * 0.1; };
  group.channels.push_back(time);
  ChannelDef sig;
  sig.cn = CnSpec{.name = "sig", .bits = 16, .dataType = dt::kUInt};
  sig.cc = CcLinear(2, 10);
  sig.value = [](uint32_t r) { return 1000 + r; };
  group.channels.push_back(sig);
  ChannelDef phys;
  phys.cn = CnSpec{.name = "phys", .bits = 16, .dataType = dt::kUInt};
  phys.cc = CcFormula("X+1");
  phys.value = [](uint32_t r) { return r; };
  group.channels.push_back(phys);
  def.groups.push_back(group);
  return def;
}

TEST_F(FileImportTest, KestravoNoValuesMarkTheRecordsOfInvalidTimes) {
  const struct {
    const char* what;
    bool fromFile;
    bool timeFirst;
  } cases[] = {{"cached", false, false}, {"cached, time read first", false, true}, {"from the file", true, false}};
  const std::string path = Write(KestravoDef());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedPellorDriver driver(After([](FileImport& import) {
      for (SignalRecord& r : import.Lists().signals)
        if (r.Name == "phys") {
          r.HasNoValue = 1;
          r.NoValue = 5.5;
        }
    }));
    FileImport import;
    ASSERT_EQ(import.ImportFile(path, ""), S_OK);
    if (c.fromFile) import.m_params.SetMemoryLimit(0);
    const SignalRecord& time = *import.Lists().signals.Nth(0);
    const SignalRecord& sig = *import.Lists().signals.Nth(1);
    const SignalRecord& phys = *import.Lists().signals.Nth(2);
    ASSERT_EQ(sig.HasNoValue, 1);
    ASSERT_EQ(sig.NoValue, 100.0);
    uint8_t scratch[64];
    if (c.timeFirst) {
      import.Seek(static_cast<int32_t>(time.rangeStart), 0);
      import.Read(scratch, 64);
    }
    uint16_t raw[8];
    import.Seek(static_cast<int32_t>(sig.rangeStart), 0);
    import.Read(reinterpret_cast<uint8_t*>(raw), sizeof raw);
    for (uint32_t r = 0; r < 8; ++r)
      EXPECT_EQ(raw[r], r == 2 || r == 5 ? 45 : 1000 + r) << r;  // (100 - 10) / 2 where the time was invalid
    double values[8];
    import.Seek(static_cast<int32_t>(phys.rangeStart), 0);
    import.Read(reinterpret_cast<uint8_t*>(values), sizeof values);
    for (uint32_t r = 0; r < 8; ++r) EXPECT_EQ(values[r], r == 2 || r == 5 ? 5.5 : r + 1.0) << r;  // physical as it is
  }
}

TEST_F(FileImportTest, KestravoMarksStayWithinTheSignal) {
  ScopedPellorDriver driver(After([](FileImport& import) {
    SignalRecord& sig = *import.Lists().signals.Nth(1);
    sig.NoOfValues = 4;  // fewer values than the group has records: index 5 lies past them
    sig.rangeEnd = sig.rangeStart + 8;
  }));
  FileImport import;
  ASSERT_EQ(import.ImportFile(Write(KestravoDef()), ""), S_OK);
  const SignalRecord& sig = *import.Lists().signals.Nth(1);
  uint16_t raw[4];
  import.Seek(static_cast<int32_t>(sig.rangeStart), 0);
  import.Read(reinterpret_cast<uint8_t*>(raw), sizeof raw);
  EXPECT_EQ(sig.cache.bytes.size(), 8u);
  EXPECT_EQ(raw[2], 45);
  EXPECT_EQ(raw[3], 1003);
}

// A time channel whose conversion is no linear one delivers physical doubles;
// ReadEx must not convert them a second time.
TEST_F(FileImportTest, APhysicalTimeCacheIsNotConvertedAgain) {
  FileDef def;
  def.id.programId = "TESTPROG";
  GroupDef group;
  group.records = 50;
  ChannelDef time;
  time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 32, .dataType = dt::kUInt};
  time.cc = CcFormula("X/1000");
  time.value = [](uint32_t r) { return r * 20.0; };
  group.channels.push_back(time);
  ChannelDef sig;
  sig.cn = CnSpec{.name = "sig", .bits = 8, .dataType = dt::kUInt};
  sig.value = [](uint32_t r) { return r; };
  group.channels.push_back(sig);
  def.groups.push_back(group);
  const std::string path = Write(def);
  for (const bool cached : {true, false}) {
    ScopedPellorDriver driver;
    FileImport import;
    ASSERT_EQ(import.ImportFile(path, ""), S_OK);
    const SignalRecord& t = *import.Lists().signals.Nth(0);
    const SignalRecord& s = *import.Lists().signals.Nth(1);
    ASSERT_EQ(t.DTyp, 13);
    uint8_t scratch[8];
    if (cached) {
      import.Seek(static_cast<int32_t>(t.rangeStart), 0);
      import.Read(scratch, 8);
      ASSERT_TRUE(t.cache.valid);
    } else {
      import.m_params.SetMemoryLimit(0);
    }
    uint8_t values[4];
    double times[4];
    import.Seek(static_cast<int32_t>(s.rangeStart + 10), 0);
    import.ReadEx(values, 4, reinterpret_cast<uint8_t*>(times), sizeof times);
    for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(times[i], (10 + i) * 0.02) << (cached ? "cached " : "file ") << i;
  }
}

// Composed signals: doubles from the composition's array. A read advances the
// position and never copies past the array, whatever the record says.
TEST_F(FileImportTest, ComposedReadsAdvanceAndStayWithinTheComposedValues) {
  PellorDriverOptions options;
  options.compose = true;
  ScopedPellorDriver driver(options);
  FileImport import;
  ASSERT_EQ(import.ImportFile(Write(SimpleFileDef(1, 1, 30)), ""), S_OK);
  EXPECT_EQ(import.CanDoReadEx(), 0);
  ASSERT_EQ(import.Lists().signals.Count(), 2u);
  SignalRecord& time = *import.Lists().signals.Nth(0);
  SignalRecord& value = *import.Lists().signals.Nth(1);
  ASSERT_EQ(value.NoOfValues, 30u);
  std::vector<double> got(40, -1);
  import.Seek(static_cast<int32_t>(value.rangeStart), 0);
  import.Read(reinterpret_cast<uint8_t*>(got.data()), 40 * 8);  // cut at the signal's end
  EXPECT_EQ(import.m_position, value.rangeStart + 30 * 8);
  for (uint32_t r = 0; r < 30; ++r) EXPECT_EQ(got[r], r) << r;
  EXPECT_EQ(got[30], -1);
  std::vector<double> times(4, -1);
  import.Seek(static_cast<int32_t>(time.rangeStart + 8), 0);
  import.ReadEx(reinterpret_cast<uint8_t*>(times.data()), 16, reinterpret_cast<uint8_t*>(got.data()), 16);
  EXPECT_NEAR(times[0], 0.01, 1e-12);
  EXPECT_NEAR(times[1], 0.02, 1e-12);
  EXPECT_EQ(times[2], -1);
  EXPECT_EQ(import.m_position, time.rangeStart + 24);  // ReadEx advances as Read does
  // A record whose index lies near the array's end gets what the array holds.
  const size_t composed = import.m_mdf->GetDataComposition()->GetComposedData().size();
  value.composedIndex = static_cast<int32_t>(composed - 2);
  std::fill(got.begin(), got.end(), -1);
  import.Seek(static_cast<int32_t>(value.rangeStart), 0);
  import.Read(reinterpret_cast<uint8_t*>(got.data()), 30 * 8);
  EXPECT_EQ(got[2], -1);
  EXPECT_EQ(import.m_position, value.rangeStart + 30 * 8);
}

}  // namespace
}  // namespace pellor

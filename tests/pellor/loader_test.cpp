// The data-group loader: what it finds out about a group's time channel and
// the ranges of its channels, the same for every chunk size; when the file
// settles the group without reading; what it writes into the file; how its
// workers end when reading or memory fails; and the value caches it fills.
#include "pellor/loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "importcore/host_types.h"
#include "importcore/le.h"
#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "pellor/file_import.h"
#include "pellor/host_type.h"
#include "pellor/ranges.h"
#include "platform/ui/headless.h"
#include "platform/win32/file.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/pellor_driver.h"
#include "tests/support/temp_dir.h"

namespace pellor {
namespace {

using namespace testsupport;
using importcore::LoadLE;
using mdf::CCNBlock;
using mdf::TimeInfoRecord;

constexpr uint32_t kRecords = 60;

// ---------------------------------------------------------------- fixtures

// One group: a double time channel whose stamp of record r is time(r), and
// data channels of several kinds (a linear conversion, a signed 12-bit
// field, floats that are sometimes not numbers, a NoValue marker).
FileDef GroupFile(std::function<double(uint32_t)> time, uint32_t records = kRecords, uint16_t recordIds = 0,
                  const std::string& programId = "TESTPROG") {
  FileDef def;
  def.id.programId = programId;
  GroupDef g;
  g.records = records;
  g.recordIds = recordIds;
  g.comment = "NoValue\tJa\tnv8\t255";
  ChannelDef t;
  t.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble};
  t.value = std::move(time);
  ChannelDef u16;
  u16.cn = CnSpec{.name = "u16", .bits = 16, .dataType = dt::kUInt};
  u16.cc = CcLinear(0.5, -10, "V");
  u16.value = [](uint32_t r) { return (r * 3779) % 65536; };
  ChannelDef s12;
  s12.cn = CnSpec{.name = "s12", .bits = 12, .dataType = dt::kInt};
  s12.value = [](uint32_t r) { return static_cast<double>(static_cast<int>(r * 67 % 4096) - 2048); };
  ChannelDef f32;
  f32.cn = CnSpec{.name = "f32", .bits = 32, .dataType = dt::kFloat};
  f32.value = [](uint32_t r) { return r % 17 == 5 ? NAN : r == 9 ? INFINITY : r * 0.25 - 3; };
  ChannelDef nv8;
  nv8.cn = CnSpec{.name = "nv8", .bits = 8, .dataType = dt::kUInt};
  nv8.value = [](uint32_t r) { return r % 10 == 3 ? 255.0 : static_cast<double>(r); };
  g.channels = {t, u16, s12, f32, nv8};
  def.groups.push_back(g);
  return def;
}

// A file on disk, imported again and again: each Open is a new import.
struct Import {
  TempDir dir;
  std::string path;
  std::unique_ptr<FileImport> import;
  std::unique_ptr<mdf::CMdf> mdf;
  winport::File stream;
  std::unique_ptr<DataGroupLoader> loader;

  explicit Import(const std::string& bytes) : path(dir.File("f.mdf")) { WriteFileBytes(path, bytes); }

  // `tune` sets the loader's settings before a load.
  void Open(std::function<void(LoaderSettings&)> tune = {}) {
    loader.reset();
    stream.Close();
    import = std::make_unique<FileImport>();
    import->m_params.SetMemoryLimit(1u << 30);
    mdf = std::make_unique<mdf::CMdf>();
    mdf->SetShowMessages(false);
    mdf->SetReaderVersion(FileImport::kVersion);
    ASSERT_EQ(mdf->Open(path), 1) << mdf->GetLastError();
    ASSERT_TRUE(stream.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite));
    loader = std::make_unique<DataGroupLoader>(*import, *mdf, stream);
    loader->Settings().rule = {1.01, 0.99, 0};
    if (tune) tune(loader->Settings());
  }
  mdf::CDGBlock& Group(int k = 0) {
    mdf::CDGBlock* dg = mdf->GetFirstDG();
    for (int i = 0; i < k; ++i) dg = dg->GetNext();
    return *dg;
  }
};

// Everything a load finds out, compared bit for bit across chunk sizes.
struct Loaded {
  int flags = 0;
  int32_t errors = 0;
  uint32_t firstError = 0;
  TimeInfoRecord record;
  std::vector<uint64_t> running;  // per channel: raw and physical range, state, NoValue flag
  std::vector<double> times;      // the stamps handed to the time signal
  LoadReport report;
  SignalRecord time;

  double Fac() const { return record.Fac(); }
};

uint64_t Bits(double v) { return std::bit_cast<uint64_t>(v); }

Loaded Load(Import& f, int group = 0, std::span<SignalRecord* const> caches = {}) {
  Loaded out;
  mdf::CDGBlock& dg = f.Group(group);
  out.time.NoOfValues = dg.GetFirstCG()->GetNumberOfRecords();
  CCNBlock* tcn = dg.GetFirstCG()->GetFirstCN();
  if (tcn->IsNoValueSet()) {
    out.time.HasNoValue = 1;
    out.time.NoValue = tcn->GetNoValue();
  }
  out.flags = f.loader->ReadDataGroup(dg, out.time, group + 1, out.record, nullptr, out.errors, out.firstError, caches);
  out.report = f.loader->LastReport();
  for (CCNBlock* cn = tcn; cn; cn = cn->GetNext())
    out.running.insert(out.running.end(),
                       {Bits(cn->GetRunningMinRaw()), Bits(cn->GetRunningMaxRaw()), Bits(cn->GetMinPhys()),
                        Bits(cn->GetMaxPhys()), cn->GetRangeState(), cn->IsNoValueSet() ? 1u : 0u});
  if (out.time.cache.valid)
    for (size_t i = 0; i < out.time.cache.bytes.size() / 8; ++i)
      out.times.push_back(std::bit_cast<double>(LoadLE<uint64_t>(out.time.cache.bytes.data() + 8 * i)));
  return out;
}

void ExpectSame(const Loaded& a, const Loaded& b) {
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.errors, b.errors);
  EXPECT_EQ(a.firstError, b.firstError);
  EXPECT_EQ(0, std::memcmp(a.record.bytes, b.record.bytes, TimeInfoRecord::kSize)) << "the 80-byte record";
  EXPECT_EQ(a.running, b.running) << "running fields";
  ASSERT_EQ(a.times.size(), b.times.size());
  for (size_t i = 0; i < a.times.size(); ++i) ASSERT_EQ(Bits(a.times[i]), Bits(b.times[i])) << "stamp " << i;
  EXPECT_EQ(a.time.HasNoValue, b.time.HasNoValue);
  EXPECT_EQ(a.report.records, b.report.records);
}

// Loads the first group at chunk caps 1, 7, n - 1, n and from memory;
// checks that all agree and returns the load from memory.
Loaded LoadAtEveryCap(const std::string& bytes, uint32_t n) {
  Import f(bytes);
  std::vector<Loaded> loads;
  for (uint32_t cap : {1u, 7u, n - 1, n, 0u}) {
    SCOPED_TRACE("chunk cap " + std::to_string(cap));
    f.Open([cap](LoaderSettings& s) { s.chunkRecords = cap; });
    loads.push_back(Load(f));
    EXPECT_TRUE(loads.back().report.readRecords);
    if (loads.size() > 1) ExpectSame(loads.front(), loads.back());
  }
  EXPECT_GT(loads[0].report.chunks, loads[4].report.chunks);
  return loads.back();
}

// ---------------------------------------------------------------- results across chunk sizes

TEST(DataGroupLoader, ResultsAreTheSameForEveryChunkSize) {
  const double kNo = 1e308;
  struct Case {
    const char* name;
    std::function<double(uint32_t)> time;
    int flags;
    int32_t errors;
    uint32_t firstError;
    uint16_t recordIds = 0;
    bool truncate = false;
  };
  const Case cases[] = {
      {"equidistant", [](uint32_t r) { return r * 0.01; }, kGroupEquidistant, 0, 0},
      {"jitter within the factors", [](uint32_t r) { return r * 0.01 + (r % 2) * 2e-5; }, kGroupEquidistant, 0, 0},
      {"jitter beyond them", [](uint32_t r) { return r * 0.01 + (r % 2) * 5e-4; }, 0, 0, 0},
      // Steps that do not rise do not count among the steps: the others are even.
      {"a repeated stamp", [](uint32_t r) { return (r < 30 ? r : r - 1) * 0.01; }, 3, 1, 30},
      {"a restart", [](uint32_t r) { return r < 40 ? r * 0.1 : (r - 40) * 0.1 + 0.05; }, 3, 1, 40},
      {"a backward jump", [](uint32_t r) { return r == 50 ? 3.0 : r * 0.1; }, kGroupTimeErrors, 1, 50},
      {"stamps that are no number", [](uint32_t r) { return r == 20 || r == 21 ? NAN : r * 0.01; }, kGroupTimeErrors,
       2, 20},
      {"NoValue stamps first, amid and last",
       [=](uint32_t r) { return r < 3 || r == 20 || r >= 57 ? kNo : r * 0.01; }, 0, 0, 0},
      {"one record id", [](uint32_t r) { return r * 0.01; }, kGroupEquidistant, 0, 0, 1},
      {"two record ids", [](uint32_t r) { return r * 0.01; }, kGroupEquidistant, 0, 0, 2},
      {"a truncated file", [](uint32_t r) { return r * 0.01; }, kGroupEquidistant, 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BuiltFile built = BuildFile(GroupFile(c.time, kRecords, c.recordIds));
    uint32_t n = kRecords;
    if (c.truncate) {
      // One and a half records short.
      const uint32_t length = built.groups[0].recordSize;
      built.writer.Truncate(built.writer.Size() - length * 3 / 2);
      n = kRecords - 2;
    }
    const Loaded l = LoadAtEveryCap(built.writer.Bytes(), n);
    EXPECT_EQ(l.flags, c.flags);
    EXPECT_EQ(l.errors, c.errors);
    EXPECT_EQ(l.firstError, c.firstError);
    EXPECT_EQ(l.report.records, n);
    EXPECT_EQ(l.record.Key(), 0);
    // The data channels: NaN and infinity left out, the NoValue 255 seen and kept.
    EXPECT_EQ(l.running[3 * 6 + 0], Bits(-3.0)) << "f32 minimum";
    EXPECT_EQ(l.running[4 * 6 + 4], CCNBlock::kRangeSet | CCNBlock::kNoValueSeen) << "nv8 state";
    EXPECT_EQ(l.running[4 * 6 + 5], 1u) << "nv8 keeps its NoValue";
    EXPECT_EQ(l.running[2 * 6 + 5], 0u) << "s12 has none";
  }
}

TEST(DataGroupLoader, MeasuresTheTimeAxis) {
  const Loaded even = LoadAtEveryCap(BuildFile(GroupFile([](uint32_t r) { return r * 0.01; })).writer.Bytes(), kRecords);
  EXPECT_EQ(even.record.Min(), 0);
  EXPECT_EQ(even.record.Ofs(), 0);
  EXPECT_EQ(even.record.Max(), 0.59);
  EXPECT_NEAR(even.Fac(), 0.01, 1e-15);
  EXPECT_EQ(even.record.Flags(), kGroupEquidistant);
  ASSERT_EQ(even.times.size(), kRecords) << "handed over within the memory limit";
  EXPECT_EQ(even.times[59], 0.59);
  EXPECT_EQ(even.time.HasNoValue, 0) << "no NoValue stamps: the time signal has none";

  // Leading NoValue stamps do not lower the count of samples, later ones do:
  // 60 records, 4 later NoValue stamps, valid stamps 0.03 .. 0.56.
  const Loaded gaps = LoadAtEveryCap(
      BuildFile(GroupFile([](uint32_t r) { return r < 3 || r == 20 || r >= 57 ? 1e308 : r * 0.01; })).writer.Bytes(),
      kRecords);
  EXPECT_EQ(gaps.record.Min(), 0.03);
  EXPECT_EQ(gaps.record.Max(), 0.56);
  EXPECT_NEAR(gaps.Fac(), 0.53 / 55, 1e-15);
  EXPECT_EQ(gaps.time.HasNoValue, 1) << "NoValue stamps keep the time signal's NoValue";
  EXPECT_EQ(gaps.times[0], 1e308);
}

TEST(DataGroupLoader, AGroupWithoutRecordsInTheFileHasNoValidStamps) {
  BuiltFile built = BuildFile(GroupFile([](uint32_t r) { return r * 0.01; }));
  built.writer.Truncate(built.groups[0].data);  // every record cut off
  Import f(built.writer.Bytes());
  f.Open();
  const Loaded l = Load(f);
  EXPECT_EQ(l.report.records, 0u);
  EXPECT_EQ(l.flags, kGroupEquidistant) << "steps of 1.0 by default, all equal";
  EXPECT_EQ(l.record.Fac(), 1.0);
  EXPECT_EQ(l.record.Min(), 0);
  EXPECT_EQ(l.errors, 0);
  EXPECT_EQ(l.running[6 + 4], 0u) << "a data channel without values has no range";
}

TEST(DataGroupLoader, KestravoNoValueStampOpeningAChunk) {
  SKIP_WITHOUT_CORPUS();
  const std::string bytes = ReadFileBytes(CorpusFile("mdf/gen_novalue_kestravo_v300.dat"));
  Import f(bytes);
  std::vector<Loaded> loads;
  // Chunks of 5 records: the NoValue stamp of record 5 opens the second chunk.
  for (uint32_t cap : {1u, 5u, 7u, 11u, 12u, 0u}) {
    SCOPED_TRACE("chunk cap " + std::to_string(cap));
    f.Open([cap](LoaderSettings& s) { s.chunkRecords = cap; });
    loads.push_back(Load(f));
    if (loads.size() > 1) ExpectSame(loads.front(), loads.back());
  }
  const Loaded& l = loads.back();
  // Stamps 0.0 .. 1.1 in steps of 0.1 with the one at record 5 missing.
  EXPECT_EQ(l.flags, 0);
  EXPECT_EQ(l.errors, 0);
  EXPECT_EQ(l.record.Min(), 0.0);
  EXPECT_EQ(l.record.Max(), 1.1);
  EXPECT_NEAR(l.Fac(), 1.1 / 10, 1e-15);
  EXPECT_NEAR(l.record.MaxD(), 0.2, 1e-12);
  EXPECT_TRUE(l.times.empty()) << "KESTRAVO stamps are not handed over";
  EXPECT_EQ(l.time.HasNoValue, 1);
}

// ---------------------------------------------------------------- what the file settles

uint16_t RangeValidInFile(const std::string& bytes, uint32_t cn) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[cn + cn::kRangeValid]) |
                               static_cast<uint8_t>(bytes[cn + cn::kRangeValid + 1]) << 8);
}

struct Descriptor {
  int32_t key = 0;
  double min = 0, max = 0.59, fac = 0.01, minD = 0.01, maxD = 0.01;
  int32_t flag = 1;
};

// The equidistant group with the time channel's range-valid word `w` (and a
// raw range), a time-information block holding `descriptors` (none: no
// program block at all), written by `programId`.
BuiltFile MarkedFile(uint16_t w, std::optional<std::vector<Descriptor>> descriptors,
                     std::optional<CcSpec> timeConversion = std::nullopt) {
  FileDef def = GroupFile([](uint32_t r) { return r * 0.01; });
  CnSpec& t = def.groups[0].channels[0].cn;
  t.rangeValid = w;
  t.minRaw = 0;
  t.maxRaw = 0.59;
  def.groups[0].channels[0].cc = std::move(timeConversion);
  if (descriptors) {
    std::vector<std::string> records;
    for (const Descriptor& d : *descriptors)
      records.push_back(TimeInfoRecordBytes({d.key, d.min, d.max, d.fac, d.min, d.minD, d.maxD, d.flag, ""}));
    def.programData = TimeInfoData(records);
  }
  return BuildFile(def);
}

TEST(DataGroupLoader, TheFileSettlesAGroupOnlyWithAnErrorFreeRecord) {
  const uint16_t complete = 0xAAB3;  // complete and equidistant
  CcSpec millis = CcLinear(1, 0, "s");
  millis.rangeValid = 1;
  millis.minPhys = 0;
  millis.maxPhys = 99;  // not the range the marker claims
  // With MDF_WRITERANGE: whether the time channel's range fields and the
  // cache change; the data channels' ranges are written whenever the records are read.
  struct Case {
    const char* name;
    uint16_t w;
    std::optional<std::vector<Descriptor>> descriptors;
    std::function<void(LoaderSettings&)> tune;
    int result;
    bool read, timeWritten, cacheWritten;
    bool forcesReading = false;
    std::optional<CcSpec> timeConversion = std::nullopt;
  };
  const Case cases[] = {
      {"marker and an equidistant record", complete, std::vector{Descriptor{}}, {}, kGroupEquidistant, false, false,
       false},
      {"the record has time errors: read, so that a repair has the stamps", complete,
       std::vector{Descriptor{.flag = 3}}, {}, kGroupEquidistant, true, true, true},
      {"no record for the group: read, and no room to add one", complete, std::vector{Descriptor{.key = 4}}, {},
       kGroupEquidistant, true, false, false},
      {"a record with uneven steps", complete, std::vector{Descriptor{.minD = 0.005, .maxD = 0.02, .flag = 0}}, {}, 0,
       false, false, false},
      {"MDF_RESETTIME 2 takes the record as it is", complete, std::vector{Descriptor{.flag = 2}},
       [](LoaderSettings& s) { s.rule.resetTime = 2; }, kGroupEquidistant, false, false, false},
      {"no marker: the record alone", 0, std::vector{Descriptor{}}, {}, kGroupEquidistant, false, false, false},
      {"no marker, a record with time errors", 0, std::vector{Descriptor{.flag = 3}}, {}, kGroupEquidistant, true,
       true, true},
      {"a perfect grid passes the factors: the record is corrected", 0, std::vector{Descriptor{.flag = 0}},
       [](LoaderSettings& s) { s.rule.xMaxFactor = s.rule.xMinFactor = 1.0; }, kGroupEquidistant, false, false,
       true},
      {"steps right at the factors", 0, std::vector{Descriptor{.fac = 1, .minD = 0.99, .maxD = 1.01, .flag = 0}}, {},
       kGroupEquidistant, false, false, true},
      {"an old marker makes every group read", 0xAAA3, std::vector{Descriptor{}}, {}, kGroupEquidistant, true, false,
       false, true},
      {"no cache in the file: one is made", complete, std::nullopt, {}, kGroupEquidistant, true, true, true, true},
      {"overwrite ignores what is stored", complete, std::vector{Descriptor{}},
       [](LoaderSettings& s) { s.rangeFlags = 1; }, kGroupEquidistant, true, false, false},
      {"a conversion range that contradicts the marker", complete, std::vector{Descriptor{}}, {}, kGroupEquidistant,
       true, false, false, false, millis},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BuiltFile built = MarkedFile(c.w, c.descriptors, c.timeConversion);
    const std::string before = built.writer.Bytes();
    for (const bool write : {false, true}) {
      SCOPED_TRACE(write ? "MDF_WRITERANGE" : "no write-back");
      Import f(before);
      f.Open([&](LoaderSettings& s) {
        if (c.tune) c.tune(s);
        s.writeRange = write;
      });
      const Loaded l = Load(f);
      EXPECT_EQ(l.flags, c.result);
      EXPECT_EQ(l.report.readRecords, c.read);
      EXPECT_EQ(f.loader->ForcesReading(), c.forcesReading);
      EXPECT_EQ(l.record.Key(), 0);
      EXPECT_EQ(l.errors, 0);
      if (!c.read && c.w == complete && c.result == kGroupEquidistant) {
        // From the marker: the stored raw range, the mean step over the values.
        EXPECT_EQ(l.record.Max(), 0.59);
        EXPECT_NEAR(l.Fac(), 0.01, 1e-15);
      }
      if (!c.read && c.result == 0) {
        EXPECT_EQ(l.record.MinD(), 0.005) << "the stored record";
        EXPECT_NEAR(l.Fac(), 0.59 / 59, 1e-15) << "with its mean step recomputed";
      }
      const std::string after = ReadFileBytes(f.path);
      if (!write) {
        EXPECT_EQ(after, before) << "nothing written";
        continue;
      }
      const uint32_t timeCn = built.groups[0].cn[0];
      EXPECT_EQ(after.substr(timeCn + cn::kRangeValid, 26) != before.substr(timeCn + cn::kRangeValid, 26),
                c.timeWritten);
      const uint32_t prLength = built.program ? static_cast<uint8_t>(before[built.program + 2]) |
                                                    static_cast<uint8_t>(before[built.program + 3]) << 8
                                              : 0;
      const bool cacheChanged = after.size() != before.size() ||
                                after.substr(built.program, prLength) != before.substr(built.program, prLength);
      EXPECT_EQ(cacheChanged, c.cacheWritten);
      EXPECT_EQ(RangeValidInFile(after, built.groups[0].cn[1]), c.read ? 0xAAB0 : 0) << "a data channel";
    }
  }
}

// ---------------------------------------------------------------- write-back

// Byte ranges a load may change: each channel's range fields and its
// conversion's range fields, the header's program-block link, and what it
// appends.
struct Allowed {
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
  uint32_t appendFrom = 0;
  bool Contains(uint32_t at) const {
    if (at >= appendFrom) return true;
    for (const auto& [from, to] : ranges)
      if (at >= from && at < to) return true;
    return false;
  }
};

Allowed AllowedOf(const BuiltFile& built, uint32_t size) {
  Allowed a;
  a.appendFrom = size;
  a.ranges.push_back({built.hd + hd::kProgram, built.hd + hd::kProgram + 4});
  for (const BuiltGroup& g : built.groups) {
    for (uint32_t cn : g.cn) a.ranges.push_back({cn + cn::kRangeValid, cn + cn::kLongName});
    for (uint32_t cc : g.cc)
      if (cc) a.ranges.push_back({cc + cc::kRangeValid, cc + cc::kUnit});
  }
  return a;
}

void ExpectOnlyAllowedChanges(const std::string& before, const std::string& after, const Allowed& allowed) {
  ASSERT_GE(after.size(), before.size());
  for (uint32_t i = 0; i < before.size(); ++i)
    if (before[i] != after[i]) {
      ASSERT_TRUE(allowed.Contains(i)) << "byte " << i << " changed";
    }
}

int64_t ModifiedNs(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

auto WriteRanges = [](LoaderSettings& s) { s.writeRange = true; };

TEST(DataGroupLoaderWriteBack, ChangesOnlyRangesAndTheCacheAndTheNextImportSkipsReading) {
  FileDef def = GroupFile([](uint32_t r) { return r * 0.01; });
  def.groups[0].channels[0].cc = CcLinear(1e-3, 0, "s");  // the time channel counts milliseconds
  def.groups[0].channels[0].value = [](uint32_t r) { return r * 10.0; };
  const BuiltFile built = BuildFile(def);
  const std::string before = built.writer.Bytes();
  Import f(before);
  std::filesystem::last_write_time(f.path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
  const int64_t modified = ModifiedNs(f.path);
  f.Open(WriteRanges);
  const Loaded first = Load(f);
  ASSERT_EQ(first.flags, kGroupEquidistant);
  EXPECT_TRUE(first.report.descriptorStored);
  EXPECT_EQ(first.record.Unit(), "s");
  EXPECT_NEAR(first.Fac(), 0.01, 1e-15) << "the mean step in seconds";
  const std::string after = ReadFileBytes(f.path);
  ExpectOnlyAllowedChanges(before, after, AllowedOf(built, static_cast<uint32_t>(before.size())));
  EXPECT_GT(after.size(), before.size()) << "the cache block is appended";
  EXPECT_EQ(ModifiedNs(f.path), modified) << "the file's times are kept";
  const uint32_t timeCn = built.groups[0].cn[0];
  EXPECT_EQ(RangeValidInFile(after, timeCn), 0xAAB3) << "complete and equidistant, no NoValue";
  EXPECT_EQ(RangeValidInFile(after, built.groups[0].cn[4]), 0xAAB8) << "a data channel with a NoValue";
  EXPECT_EQ(RangeValidInFile(after, built.groups[0].cn[1]), 0xAAB0);

  // The next import takes everything from the file.
  f.Open(WriteRanges);
  const Loaded second = Load(f);
  EXPECT_FALSE(second.report.readRecords);
  EXPECT_EQ(second.flags, first.flags);
  EXPECT_EQ(second.record.Min(), first.record.Min());
  EXPECT_EQ(second.record.Max(), first.record.Max());
  EXPECT_NEAR(second.Fac(), first.Fac(), 1e-15);
  EXPECT_EQ(ReadFileBytes(f.path), after) << "nothing more written";
}

TEST(DataGroupLoaderWriteBack, ARefusedWriteChangesNothingAndTheResultsStay) {
  const std::string bytes = BuildFile(GroupFile([](uint32_t r) { return r * 0.01; })).writer.Bytes();
  Import writable(bytes);
  writable.Open(WriteRanges);
  const Loaded reference = Load(writable);

  Import f(bytes);
  // Another opening that denies writers (read-only for every user, root included).
  winport::File lock;
  ASSERT_TRUE(lock.Open(f.path, winport::FileAccess::Read, winport::FileShare::Read));
  f.Open(WriteRanges);
  const Loaded l = Load(f);
  EXPECT_EQ(ReadFileBytes(f.path), bytes);
  EXPECT_FALSE(l.report.descriptorStored);
  EXPECT_EQ(l.flags, reference.flags);
  EXPECT_EQ(0, std::memcmp(l.record.bytes, reference.record.bytes, TimeInfoRecord::kSize));
  EXPECT_EQ(l.running, reference.running);
}

TEST(DataGroupLoaderWriteBack, AForeignProgramBlockStaysAndTheTimeMarkerIsNotWritten) {
  FileDef def = GroupFile([](uint32_t r) { return r * 0.01; });
  def.programData = std::string("FOREIGN PROGRAM DATA\0\1\2", 23);
  const BuiltFile built = BuildFile(def);
  Import f(built.writer.Bytes());
  f.Open(WriteRanges);
  const Loaded l = Load(f);
  EXPECT_TRUE(l.report.readRecords);
  EXPECT_FALSE(l.report.descriptorStored);
  const std::string after = ReadFileBytes(f.path);
  EXPECT_EQ(after.size(), built.writer.Size());
  EXPECT_EQ(after.substr(built.program, 27), built.writer.Bytes().substr(built.program, 27));
  EXPECT_EQ(RangeValidInFile(after, built.groups[0].cn[0]), 0) << "no marker without a stored record";
  EXPECT_EQ(RangeValidInFile(after, built.groups[0].cn[1]), 0xAAB0) << "data channels keep theirs";
}

TEST(DataGroupLoaderWriteBack, AConversionSeveralChannelsShareIsNeverWritten) {
  FileDef def = GroupFile([](uint32_t r) { return r * 0.01; });
  def.groups[0].channels[0].cc = CcLinear(1, 0, "s");
  BuiltFile built = BuildFile(def);
  // The data channel u16 links the time channel's conversion.
  const uint32_t shared = built.groups[0].cc[0];
  built.writer.SetLink(built.groups[0].cn[1], cn::kConversion, shared);
  const std::string before = built.writer.Bytes();
  Import f(before);
  f.Open(WriteRanges);
  const Loaded l = Load(f);
  ASSERT_TRUE(l.report.descriptorStored);
  const std::string after = ReadFileBytes(f.path);
  EXPECT_EQ(after.substr(shared, cc::kParams), before.substr(shared, cc::kParams));
  EXPECT_EQ(RangeValidInFile(after, built.groups[0].cn[0]), 0xAAB3);
  // The next import does not take the unwritten conversion range for a contradiction.
  f.Open(WriteRanges);
  EXPECT_FALSE(Load(f).report.readRecords);
}

TEST(DataGroupLoaderWriteBack, CacheKeysDoNotShiftWithTheGroupsLoaded) {
  FileDef def = GroupFile([](uint32_t r) { return r * 0.01; });
  def.groups.push_back(GroupFile([](uint32_t r) { return r * 0.5; }).groups[0]);
  Import f(BuildFile(def).writer.Bytes());
  // The first import loads only the second group.
  f.Open(WriteRanges);
  const Loaded second = Load(f, 1);
  ASSERT_TRUE(second.report.descriptorStored);
  EXPECT_EQ(second.record.Key(), 1);
  // The next loads both: the first group has no record yet and is read; the
  // second finds its own.
  f.Open(WriteRanges);
  const Loaded one = Load(f, 0);
  EXPECT_TRUE(one.report.readRecords);
  EXPECT_NEAR(one.Fac(), 0.01, 1e-15);
  const Loaded two = Load(f, 1);
  EXPECT_FALSE(two.report.readRecords);
  EXPECT_NEAR(two.Fac(), 0.5, 1e-15);
}

// ---------------------------------------------------------------- failures

TEST(DataGroupLoaderFailures, AShortReadOfAWorkerStopsAtTheLastWholeRecord) {
  const BuiltFile built = BuildFile(GroupFile([](uint32_t r) { return r * 0.01; }));
  const uint32_t length = built.groups[0].recordSize;
  for (const bool messages : {false, true}) {
    SCOPED_TRACE(messages ? "with messages" : "without");
    Import f(built.writer.Bytes());
    f.Open([](LoaderSettings& s) { s.chunkRecords = 7; });
    f.mdf->SetShowMessages(messages);
    // The file loses 25.5 records after it was opened: the fifth chunk comes short.
    std::filesystem::resize_file(f.path, built.writer.Size() - length * 51 / 2);
    winport::ui::ScriptedAnswers script;
    if (messages) script.Box("Read unvollst\xE4ndig!");
    const Loaded l = Load(f);
    EXPECT_TRUE(script.Ok()) << script.Report();
    EXPECT_TRUE(l.report.shortRead);
    EXPECT_EQ(l.report.records, kRecords - 26);
    EXPECT_EQ(l.flags, kGroupEquidistant);
    EXPECT_EQ(l.record.Max(), (kRecords - 27) * 0.01);
  }
}

TEST(DataGroupLoaderFailures, WorkersEndWhenMemoryFails) {
  const std::string bytes = BuildFile(GroupFile([](uint32_t r) { return r * 0.01; })).writer.Bytes();
  Import f(bytes);
  f.Open([](LoaderSettings& s) { s.chunkRecords = 7; });
  const Loaded reference = Load(f);

  // Without memory for the whole group's stamps the scan goes on chunk by chunk.
  f.Open([](LoaderSettings& s) { s.chunkRecords = 7, s.failAllocations = kAllocTimeValues; });
  const Loaded partial = Load(f);
  EXPECT_EQ(partial.flags, reference.flags);
  EXPECT_EQ(0, std::memcmp(partial.record.bytes, reference.record.bytes, TimeInfoRecord::kSize));
  EXPECT_TRUE(partial.times.empty());

  for (const uint32_t fail : {kAllocTimeValues | kAllocChunkTimes, kAllocGroupBuffer}) {
    SCOPED_TRACE(fail);
    f.Open([fail](LoaderSettings& s) { s.chunkRecords = 7, s.failAllocations = fail; });
    const Loaded l = Load(f);
    EXPECT_EQ(l.flags, 0);
    EXPECT_EQ(l.report.records, 0u);
  }
  // The loader is usable afterwards.
  f.Open([](LoaderSettings& s) { s.chunkRecords = 7; });
  EXPECT_EQ(Load(f).flags, reference.flags);
}

// ---------------------------------------------------------------- value caches and FindMinMax

// Imports a file through the test driver, then fills the value caches of a
// group's data signals with the loader and compares them with what Read
// makes of the same signals.
TEST(DataGroupLoaderCaches, FilledCachesHoldWhatReadDelivers) {
  FileDef def = GroupFile([](uint32_t r) { return r * 0.01; }, 300);
  GroupDef& g = def.groups[0];
  auto add = [&](const char* name, uint16_t type, uint16_t bits, std::optional<CcSpec> cc = std::nullopt) {
    ChannelDef c;
    c.cn = CnSpec{.name = name, .bits = bits, .dataType = type};
    c.cc = std::move(cc);
    c.value = [bits](uint32_t r) { return std::fmod(r * 2654435761.0, std::ldexp(1.0, std::min<int>(bits, 40))); };
    g.channels.push_back(c);
  };
  add("mot16", dt::kUIntMotorola, 16);
  add("u24", dt::kUInt, 24);
  add("u40", dt::kUInt, 40);
  add("d64", dt::kDouble, 64);
  add("formula", dt::kUInt, 16, CcFormula("X*2"));
  TempDir dir;
  const std::string path = dir.File("c.mdf");
  WriteFileBytes(path, BuildFile(def).writer.Bytes());

  ScopedPellorDriver driver;
  FileImport import;
  ASSERT_EQ(import.ImportFile(path, ""), S_OK);
  import.m_params.SetMemoryLimit(1u << 30);
  std::vector<SignalRecord*> data;
  SignalRecord* time = nullptr;
  for (size_t i = 0; i < import.Lists().signals.Count(); ++i) {
    SignalRecord* r = import.Lists().signals.Nth(i);
    if (r->isTime)
      time = r;
    else
      data.push_back(r);
  }
  ASSERT_NE(time, nullptr);
  ASSERT_EQ(data.size(), 9u);

  winport::File stream;
  ASSERT_TRUE(stream.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite));
  DataGroupLoader loader(import, *import.m_mdf, stream);
  loader.Settings().chunkRecords = 64;
  TimeInfoRecord record;
  int32_t errors = 0;
  uint32_t first = 0;
  ASSERT_EQ(loader.ReadDataGroup(*data[0]->dataGroup, *time, 1, record, nullptr, errors, first, data),
            kGroupEquidistant);

  for (SignalRecord* r : data) {
    if (DeliversPhysical(*r)) {
      EXPECT_FALSE(r->cache.valid) << r->Name.str() << ": converted values are left to Read";
    }
  }
  ASSERT_EQ(import.Open(), S_OK);
  for (SignalRecord* r : data) {
    SCOPED_TRACE(r->Name.str());
    if (DeliversPhysical(*r)) continue;
    ASSERT_TRUE(r->cache.valid);
    EXPECT_EQ(r->cache.type, r->DTyp);
    const std::vector<uint8_t> filled(r->cache.bytes.begin(), r->cache.bytes.end());
    const uint64_t cached = import.m_cachedBytes;
    import.FreeCache(*r);
    EXPECT_EQ(import.m_cachedBytes, cached - filled.size()) << "counted as Read counts it";
    std::vector<uint8_t> read(filled.size());
    import.Seek(static_cast<int32_t>(r->rangeStart), 0);
    import.Read(read.data(), static_cast<uint32_t>(read.size()));
    EXPECT_EQ(filled, read);
  }
  import.Close();
}

TEST(DataGroupLoaderFindMinMax, RangesTheValuesAndKeepsThemWhenReadWouldDeliverThem) {
  FileDef def = GroupFile([](uint32_t r) { return r * 0.01; });
  ChannelDef d;
  d.cn = CnSpec{.name = "d64", .bits = 64, .dataType = dt::kDouble};
  d.cc = CcLinear(2, 1);
  d.value = [](uint32_t r) { return r == 7 ? 1000 : r == 8 ? NAN : r * 0.5 - 4; };
  def.groups[0].channels.push_back(d);
  Import f(BuildFile(def).writer.Bytes());
  for (uint32_t cap : {7u, 0u}) {
    SCOPED_TRACE(cap);
    f.Open([cap](LoaderSettings& s) { s.chunkRecords = cap, s.writeRange = true; });
    CCNBlock* cn = f.Group().GetFirstCG()->GetFirstCN();
    while (cn->GetSignalName() != "d64") cn = cn->GetNext();
    SignalRecord r;
    r.channel = cn;
    r.DTyp = importcore::dtyp::kFloat64;
    r.Demux = 8;
    r.NoOfValues = kRecords;
    r.HasNoValue = 1;
    r.NoValue = 2001;  // physical: the raw 1000 through the conversion
    r.axisValues = 1;
    r.YFactor = 1;
    f.loader->FindMinMax(*cn, r, f.Group().GetFirstCG()->GetFirstCN(), f.Group(), nullptr);
    // Raw values -4 .. 25.5, NaN and the NoValue 1000 left out; converted 2x + 1.
    EXPECT_EQ(r.YMin, -7);
    EXPECT_EQ(r.YMax, 52);
    EXPECT_EQ(r.YDataMin, -7) << "not widened";
    EXPECT_EQ(r.YDataMax, 52);
    EXPECT_EQ(r.cache.valid, cap == 0) << "kept only when one chunk holds every value";
    EXPECT_EQ(cn->IsRangeValid(), 0xAAB0);
    EXPECT_EQ(cn->GetMinRaw(), -4) << "the unwidened raw range is written back";
    EXPECT_EQ(cn->GetMaxRaw(), 25.5);
  }
}

}  // namespace
}  // namespace pellor

// Program block rows of every kind, and the time-information cache written,
// read, corrected and deleted on copies of files, byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "platform/win32/file.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/opened_mdf.h"
#include "tests/support/temp_dir.h"

using namespace std::string_literals;
using testsupport::LeBytes;
using testsupport::MdfWriter;
using Rows = std::vector<std::pair<std::string, std::string>>;
namespace ts = testsupport;

namespace {

constexpr uint32_t kHdPos = 64;
constexpr uint32_t kPrLinkAt = kHdPos + ts::hd::kProgram;

using Opened = ts::OpenedMdf;

// Times far in the past, set after the open so that its reads cannot touch them.
constexpr timespec kOldAccess{1000000000, 123456789};
constexpr timespec kOldWrite{1100000000, 987654321};

void SetOldTimes(const std::string& path) {
  const timespec ts[2] = {kOldAccess, kOldWrite};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

// Checked before the file's bytes are read, since reading may change the access time.
void ExpectOldTimes(const std::string& path) {
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, kOldAccess.tv_sec);
  EXPECT_EQ(st.st_atim.tv_nsec, kOldAccess.tv_nsec);
  EXPECT_EQ(st.st_mtim.tv_sec, kOldWrite.tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, kOldWrite.tv_nsec);
}

Rows Display(mdf::CMdfBase& block) {
  mdf::CMemoryList list;
  block.Display(list);
  Rows rows;
  for (int i = 0; i < list.GetItemCount(); ++i)
    rows.emplace_back(list.GetItemText(i, 0), list.GetItemText(i, 1));
  return rows;
}

// Rows after the first `skip` ones.
Rows Tail(const Rows& rows, size_t skip) { return Rows(rows.begin() + std::min(skip, rows.size()), rows.end()); }

std::string Hex(const std::string& bytes) {
  std::string s;
  for (unsigned char c : bytes) s += mdf::StrFormat("%02x ", c);
  return s;
}

mdf::TimeInfoRecord Record(const std::string& bytes) {
  mdf::TimeInfoRecord r;
  std::memcpy(r.bytes, bytes.data(), mdf::TimeInfoRecord::kSize);
  return r;
}

std::string RecordBytes(int32_t key, double max = 0, int32_t flag = 0) {
  return ts::TimeInfoRecordBytes({.key = key, .min = 0, .max = max, .fac = 0.01, .ofs = 0,
                                  .minD = 0.01, .maxD = 0.01, .flag = flag, .unit = "s"});
}

// A whole program block: head and data.
std::string PrBlock(const std::string& data) { return "PR" + LeBytes(4 + data.size(), 2) + data; }

std::string WithLink(std::string bytes, uint32_t link) {
  bytes.replace(kPrLinkAt, 4, LeBytes(link, 4));
  return bytes;
}

// A file with one data group written by `programId`; with `prData`, its
// program block before the data group (in the middle) or after everything (at the end).
enum class PrPlace { None, Middle, End };
struct Built {
  std::string bytes;
  uint32_t pr = 0;
};
Built MakeFile(const std::string& programId, PrPlace place = PrPlace::None,
               const std::string& prData = "") {
  ts::FileDef def = ts::SimpleFileDef(1, 2, 4, programId);
  if (place == PrPlace::Middle) def.programData = prData;
  ts::BuiltFile f = ts::BuildFile(def);
  if (place == PrPlace::End) {
    const uint32_t pos = f.writer.AddPr(prData);
    f.writer.SetLink(f.hd, ts::hd::kProgram, pos);
    f.program = pos;
  }
  return {f.writer.Bytes(), f.program};
}

const ts::SpecialJob kJob = {
    .scalars = {{"Lambda", "-", 0.98}},
    .curves = {{"KL", "Nm", {1, 2}, {10, 20}}},
    .maps = {{"KF", "bar", 2, 1, {1.5, 2.5}, {0, 1}, {7}}},
    .faults = {{3, 4, "DTC", "P0100", std::string("\x01\x02", 2)}},
    .jobs = {{7, 2, "Job7", "Reset", std::string("\x01\xAB", 2)}},
};

const Rows kJobRows = {
    {"Skalare", "N = 1"},
    {"Lambda", "0.980000000000000 [-]"},
    {"Kennlinien", "N = 1"},
    {"KL", "{1.00,10.00|2.00,20.00} [Nm]"},
    {"Kennfelder", "N = 1"},
    {"KF", "{1.50|2.50} [bar]"},
    {"Fehlerspeicher", "N = 1"},
    {"DTC", "[3,4,P0100] = {01,02}"},
    {"Allgemeine Jobs", "N = 1"},
    {"Job7", "(Job 7: Typ = 2, Reset) = {01,AB}"},
};

// ---------------------------------------------------------------- rows

TEST(ProgramBlockRows, TimeStampDescriptorsShowVersionAndRecords) {
  const std::string data = ts::TimeInfoData({RecordBytes(0, 9.5, 1), RecordBytes(1, 2)});
  const Built f = MakeFile("TESTPROG", PrPlace::Middle, data);
  Opened o(f.bytes);
  ASSERT_EQ(o.result, 1);
  const Rows expected = {
      {"File Pos.", mdf::StrFormat("%u, 0x%X", f.pr, f.pr)},
      {"Block length", mdf::StrFormat("%zu, 0x%zX", 4 + data.size(), 4 + data.size())},
      {"Data", "Zephanor time-stamp descriptors"},
      {"Version", "Version  3.00"},
      {"time grp 0", "Min=0  Max=9.5 Fac=0.01 Ofs=0 MinD=0.01 MaxD=0.01 flag=1"},
      {"time grp 1", "Min=0  Max=2 Fac=0.01 Ofs=0 MinD=0.01 MaxD=0.01 flag=0"},
  };
  EXPECT_EQ(Display(*o.mdf.GetPrgBlock()), expected);
}

TEST(ProgramBlockRows, SpecialJobDataShowsEveryKindOfEntry) {
  Opened o(MakeFile("TESTPROG", PrPlace::Middle, ts::SpecialJobData(kJob)).bytes);
  ASSERT_EQ(o.result, 1);
  const Rows rows = Display(*o.mdf.GetPrgBlock());
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[2], (std::pair<std::string, std::string>{"Data", ""}));
  EXPECT_EQ(Tail(rows, 3), kJobRows);
}

TEST(ProgramBlockRows, LongFaultEntriesGoOnInRowsOfFortyBytes) {
  std::string bytes45, bytes40;
  for (int i = 0; i < 45; ++i) bytes45 += static_cast<char>(i);
  bytes40 = bytes45.substr(0, 40);
  const ts::SpecialJob job = {.faults = {{1, 2, "long", "T", bytes45}, {5, 6, "exact", "U", bytes40}}};
  Opened o(MakeFile("TESTPROG", PrPlace::Middle, ts::SpecialJobData(job)).bytes);
  ASSERT_EQ(o.result, 1);
  std::string first = "[1,2,T] = {", exact = "[5,6,U] = {";
  for (int i = 0; i < 40; ++i) {
    first += mdf::StrFormat("%02X,", i);
    exact += mdf::StrFormat(i < 39 ? "%02X," : "%02X}", i);
  }
  const Rows expected = {
      {"Skalare", "N = 0"},      {"Kennlinien", "N = 0"},
      {"Kennfelder", "N = 0"},   {"Fehlerspeicher", "N = 2"},
      {"long", first},           {"    ", "    28,29,2A,2B,2C}"},
      {"exact", exact},          {"Allgemeine Jobs", "N = 0"},
  };
  EXPECT_EQ(Tail(Display(*o.mdf.GetPrgBlock()), 3), expected);
}

TEST(ProgramBlockRows, SpecialJobRowsStopAtTheFirstEntryBeyondTheBlock) {
  const std::string twoScalars =
      ts::SpecialJobData({.scalars = {{"a", "V", 1}, {"b", "V", 2}}});
  const size_t secondEnd = 20 + 2 * 373;
  struct Case {
    const char* what;
    std::string data;
    uint16_t length;  // head length field
    Rows rows;
  };
  const Case cases[] = {
      {"second scalar cut short", twoScalars.substr(0, secondEnd - 1),
       static_cast<uint16_t>(4 + secondEnd - 1),
       {{"Skalare", "N = 2"}, {"a", "1.000000000000000 [V]"}}},
      {"curve count missing", twoScalars.substr(0, secondEnd), static_cast<uint16_t>(4 + secondEnd),
       {{"Skalare", "N = 2"}, {"a", "1.000000000000000 [V]"}, {"b", "2.000000000000000 [V]"}}},
      {"block length 19", twoScalars.substr(0, 15), 19, {}},
      // A length of 20 counts from the block's start: the count at data offset 18 is not in the block.
      {"block length 20", twoScalars.substr(0, 16), 20, {}},
      {"curve larger than the block",
       ts::SpecialJobData({.curves = {{"KL", "Nm", {1, 2, 3}, {4, 5, 6}}}}).substr(0, 20 + 2 + 367 + 40),
       static_cast<uint16_t>(4 + 20 + 2 + 367 + 40),
       {{"Skalare", "N = 0"}, {"Kennlinien", "N = 1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MdfWriter w;
    w.AddHd(ts::HdSpec{.program = 64 + 208});
    w.AddPrWithLength(c.data, c.length);
    Opened o(w.Bytes());
    ASSERT_EQ(o.result, 1);
    ASSERT_TRUE(o.mdf.GetPrgBlock()->IsSpecialJobData());
    EXPECT_EQ(Tail(Display(*o.mdf.GetPrgBlock()), 3), c.rows);
  }
}

TEST(ProgramBlockRows, NuvestoDataIsTakenApartForImportAndDumpedForTheViewer) {
  const std::string nv = ts::NuvestoData("Nuvesto 4.0 Test", {{"Pruefstand", "P3"}, {"Fahrer", "B"}});
  std::string marked = nv;  // the 4 bytes before the text length not NUL
  marked.replace(68, 4, "\x01\x02\x03\x04");
  std::string badLength = nv;
  badLength.replace(72, 4, LeBytes(0x7FFFFFFF, 4));
  const Rows pairs = {{"ID", "Nuvesto 4.0 Test"}, {"Pruefstand", "P3"}, {"Fahrer", "B"}};
  struct Case {
    const char* what;
    std::string data;
    Rows rows;
  };
  const Case cases[] = {
      {"4 NUL bytes before the length", nv, pairs},
      {"4 other bytes before the length", marked, pairs},
      {"length beyond the data", badLength, {{"ID", "Nuvesto 4.0 Test"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = MakeFile("TESTPROG", PrPlace::Middle, c.data).bytes;
    Opened imp(file);
    ASSERT_TRUE(imp.mdf.GetPrgBlock()->IsNuvesto());
    const Rows rows = Display(*imp.mdf.GetPrgBlock());
    EXPECT_EQ(rows[2], (std::pair<std::string, std::string>{"Data", ""}));
    EXPECT_EQ(Tail(rows, 3), c.rows);

    Opened viewer(file, mdf::MdfProfile::Viewer);
    const Rows dump = Display(*viewer.mdf.GetPrgBlock());
    ASSERT_EQ(dump.size(), 3u);
    EXPECT_EQ(dump[2].second, Hex(c.data));
  }
}

TEST(ProgramBlockRows, OtherDataShowAsAHexDump) {
  Opened o(MakeFile("TESTPROG", PrPlace::Middle, "ab\x00\xFF"s).bytes);
  const Rows rows = Display(*o.mdf.GetPrgBlock());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2], (std::pair<std::string, std::string>{"Data", "61 62 00 ff "}));

  // A signature that lies beyond the block's length does not count.
  MdfWriter w;
  w.AddHd(ts::HdSpec{.program = 64 + 208});
  w.AddPrWithLength("\x01\x02\x03\x04Nuvesto 4.0"s, 8);
  Opened cut(w.Bytes());
  ASSERT_EQ(cut.result, 1);
  EXPECT_FALSE(cut.mdf.GetPrgBlock()->IsNuvesto());
  EXPECT_EQ(Tail(Display(*cut.mdf.GetPrgBlock()), 2), (Rows{{"Data", "01 02 03 04 "}}));
}

// Length 0xFFFF: the UINT32 after the head gives the length when a known
// signature follows it. The data then begin with that UINT32, so special-job
// data behind the escape are not recognised as such and show as a dump.
TEST(ProgramBlockRows, EscapeLengthTakesTheLengthAfterTheHead) {
  ts::SpecialJob many;
  for (int i = 0; i < 200; ++i) many.scalars.push_back({"s" + std::to_string(i), "V", 1.0 * i});
  const std::string sj = ts::SpecialJobData(many);  // longer than a 16-bit length allows
  const std::string escapedSj = LeBytes(8 + sj.size(), 4) + sj;
  const std::string nv = ts::NuvestoData("Nuvesto 4.0", {{"a", "1"}});
  struct Case {
    const char* what;
    std::string data;
    bool hasData;
    uint32_t blockLength;
  };
  const Case cases[] = {
      {"special-job data", escapedSj, true, static_cast<uint32_t>(4 + escapedSj.size())},
      {"Nuvesto data", nv, true, static_cast<uint32_t>(4 + nv.size())},
      {"length beyond the file", LeBytes(1 << 20, 4) + sj, false, 1u << 20},
      {"no signature: the head's length, beyond the file", "\x10\0\0\0abc"s, false, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MdfWriter w;
    w.AddHd(ts::HdSpec{.program = 64 + 208});
    w.AddPrWithLength(c.data, ts::pr::kEscapeLength);
    Opened o(w.Bytes());
    ASSERT_EQ(o.result, 1);
    const mdf::CPrgBlock& pr = *o.mdf.GetPrgBlock();
    EXPECT_EQ(pr.GetBlockLength(), c.blockLength);
    EXPECT_EQ(pr.HasData(), c.hasData);
    if (c.hasData) {
      EXPECT_EQ(pr.GetData().size(), c.data.size());
    }
    EXPECT_FALSE(pr.IsSpecialJobData());
  }
  MdfWriter w;
  w.AddHd(ts::HdSpec{.program = 64 + 208});
  w.AddPrWithLength(escapedSj, ts::pr::kEscapeLength);
  Opened o(w.Bytes());
  EXPECT_FALSE(o.mdf.IsPrWritable());
  const Rows rows = Display(*o.mdf.GetPrgBlock());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].second, mdf::StrFormat("%zu, 0x%zX", 4 + escapedSj.size(), 4 + escapedSj.size()));
  EXPECT_EQ(rows[2].second, Hex(escapedSj));
}

// ---------------------------------------------------------------- cache

TEST(TimeInfoCache, ThreeGroupsMakeOneBlockAtTheEndOfAFileWithoutOne) {
  const std::string original = MakeFile("TESTPROG").bytes;
  const std::string r0 = RecordBytes(0, 1), r1 = RecordBytes(1, 2), r2 = RecordBytes(2, 3);
  {
    Opened o(original);
    ASSERT_TRUE(o.mdf.IsPrWritable());
    SetOldTimes(o.path);
    for (const std::string& r : {r0, r1, r2}) EXPECT_EQ(o.mdf.WriteTimeInfo(Record(r)), 1);
    ExpectOldTimes(o.path);
    const std::string block = PrBlock(ts::TimeInfoData({r0, r1, r2}));
    ASSERT_EQ(block.size(), 290u);
    EXPECT_EQ(Hex(o.Bytes()), Hex(WithLink(original, original.size()) + block));
    // The block object holds what was written.
    EXPECT_EQ(o.mdf.GetPrgBlock()->GetFilePos(), static_cast<int64_t>(original.size()));
    EXPECT_EQ(o.mdf.GetPrgBlock()->GetDataLength(), 290u);
    EXPECT_EQ(o.mdf.GetHeaderBlock()->GetPrLink(), original.size());

    // Read back by a second opening.
    mdf::CMdf again;
    again.SetReaderVersion(mdf::CMdf::kViewerReaderVersion);
    ASSERT_EQ(again.Open(o.path), 1);
    EXPECT_TRUE(again.IsTimeInfoValid());
    EXPECT_FALSE(again.IsPrWritable());
    mdf::TimeInfoRecord out;
    ASSERT_EQ(again.ReadTimeInfo(out, 1), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.bytes), 80), r1);
    out.bytes[3] = 9;
    EXPECT_EQ(again.ReadTimeInfo(out, 7), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.bytes), 80), std::string(80, '\0'));
    EXPECT_EQ(again.ReadTimeInfo(out, -1), 0);
    EXPECT_EQ(again.WriteTimeInfo(Record(r0)), 0);  // read from the cache, never written to
  }
}

// The same file object opening a second file forgets what it wrote into the
// first one and what the first one held.
TEST(TimeInfoCache, OpeningAnotherFileStartsAnew) {
  ts::FileDef commented = ts::SimpleFileDef(1, 2, 4, "TESTPROG");
  commented.fileComment = "first file";
  const std::string first = ts::BuildFile(commented).writer.Bytes();
  const std::string second = MakeFile("TESTPROG").bytes;
  const std::string r0 = RecordBytes(0, 1), r1 = RecordBytes(1, 2);
  Opened o(first);
  ASSERT_NE(o.mdf.GetTextBlock(), nullptr);
  ASSERT_EQ(o.mdf.WriteTimeInfo(Record(r0)), 1);

  const std::string path = o.dir.File("second.mdf");
  ts::WriteFileBytes(path, second);
  ASSERT_EQ(o.mdf.Open(path), 1);
  EXPECT_EQ(o.mdf.GetTextBlock(), nullptr);
  ASSERT_TRUE(o.mdf.IsPrWritable());
  EXPECT_EQ(o.mdf.WriteTimeInfo(Record(r1)), 1);
  EXPECT_EQ(Hex(ts::ReadFileBytes(path)),
            Hex(WithLink(second, second.size()) + PrBlock(ts::TimeInfoData({r1}))));
}

TEST(TimeInfoCache, KestravoFileKeepsItsSpecialJobBlockAndPointsAtIt) {
  const std::string sj = ts::SpecialJobData({.scalars = {{"Lambda", "-", 0.98}}});
  const Built f = MakeFile("KESTRAVO", PrPlace::Middle, sj);
  const std::string r0 = RecordBytes(0, 1), r1 = RecordBytes(1, 2);
  Opened o(f.bytes);
  ASSERT_TRUE(o.mdf.IsPrWritable());
  EXPECT_EQ(o.mdf.GetOldPrDataPosition(), f.pr + 4);
  SetOldTimes(o.path);
  EXPECT_EQ(o.mdf.WriteTimeInfo(Record(r0)), 1);
  EXPECT_EQ(o.mdf.WriteTimeInfo(Record(r1)), 1);
  ExpectOldTimes(o.path);
  const std::string header = ts::TimeInfoHeaderRecordBytes(static_cast<int32_t>(4 + sj.size()),
                                                           static_cast<int32_t>(f.pr + 4));
  const std::string block = PrBlock(ts::TimeInfoData({header, r0, r1}));
  EXPECT_EQ(block.size(), 290u);
  EXPECT_EQ(Hex(o.Bytes()), Hex(WithLink(f.bytes, f.bytes.size()) + block));
  EXPECT_EQ(o.mdf.GetOldPrDataSize(), static_cast<int64_t>(4 + sj.size()));

  // A later opening reads the cache and shows the old special-job data after the records.
  Opened again(o.Bytes());
  ASSERT_TRUE(again.mdf.IsTimeInfoValid());
  EXPECT_EQ(again.mdf.GetOldPrDataPosition(), f.pr + 4);
  EXPECT_EQ(again.mdf.GetOldPrDataSize(), static_cast<int64_t>(4 + sj.size()));
  const Rows rows = Display(*again.mdf.GetPrgBlock());
  const Rows tail = {{"Data", "SpecialJobData"},
                     {"Skalare", "N = 1"},
                     {"Lambda", "0.980000000000000 [-]"},
                     {"Kennlinien", "N = 0"},
                     {"Kennfelder", "N = 0"},
                     {"Fehlerspeicher", "N = 0"},
                     {"Allgemeine Jobs", "N = 0"}};
  ASSERT_EQ(rows.size(), 4 + 3 + tail.size());
  EXPECT_EQ(rows[4].first, "time grp -1");
  EXPECT_EQ(Tail(rows, 7), tail);
}

TEST(TimeInfoCache, OldDataOutsideTheFileShowNothing) {
  struct Case {
    const char* what;
    int32_t size, position;
  };
  const Case cases[] = {{"position beyond the file", 100, 1 << 30},
                        {"negative size", -5, 300},
                        {"negative position", 100, -300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Opened o(MakeFile("KESTRAVO", PrPlace::Middle,
                      ts::TimeInfoData({ts::TimeInfoHeaderRecordBytes(c.size, c.position)}))
                 .bytes);
    ASSERT_TRUE(o.mdf.IsTimeInfoValid());
    EXPECT_EQ(Display(*o.mdf.GetPrgBlock()).size(), 5u);
  }
}

// Where the first record's block goes: at the end of the file, or in place of
// a foreign cache block that ends it. Nothing else is ever written over.
TEST(TimeInfoCache, NewBlockNeverOverwritesAnotherBlock) {
  std::string foreign = "Zephanor time-stamp descriptors"s + '\0' + "old format";
  foreign += std::string(300, 'x');  // longer than the new block
  const std::string sj = ts::SpecialJobData({.scalars = {{"a", "V", 1}}});
  const std::string r0 = RecordBytes(0, 1);
  const std::string block = PrBlock(ts::TimeInfoData({r0}));
  struct Case {
    const char* what;
    PrPlace place;
    std::string data;
    bool inPlace;
  };
  const Case cases[] = {
      {"foreign block at the end", PrPlace::End, foreign, true},
      {"foreign block in the middle", PrPlace::Middle, foreign, false},
      {"special-job block at the end", PrPlace::End, sj, false},
      {"special-job block in the middle", PrPlace::Middle, sj, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Built f = MakeFile("TESTPROG", c.place, c.data);
    Opened o(f.bytes);
    ASSERT_TRUE(o.mdf.IsPrWritable());
    SetOldTimes(o.path);
    ASSERT_EQ(o.mdf.WriteTimeInfo(Record(r0)), 1);
    ExpectOldTimes(o.path);
    const std::string expected = c.inPlace ? f.bytes.substr(0, f.pr) + block
                                           : WithLink(f.bytes, f.bytes.size()) + block;
    EXPECT_EQ(Hex(o.Bytes()), Hex(expected));
  }
}

TEST(TimeInfoCache, RecordsStopBeforeTheBlockLengthPasses16Bits) {
  const std::string original = MakeFile("TESTPROG").bytes;
  Opened o(original);
  const int fit = (0xFFFF - 50) / 80;  // 818
  for (int i = 0; i < fit; ++i) ASSERT_EQ(o.mdf.WriteTimeInfo(Record(RecordBytes(i))), 1) << i;
  const std::string full = o.Bytes();
  EXPECT_EQ(o.mdf.WriteTimeInfo(Record(RecordBytes(fit))), 0);
  EXPECT_EQ(o.Bytes(), full);
  EXPECT_EQ(full.size(), original.size() + 50 + 80 * fit);
  EXPECT_EQ(full.substr(original.size(), 4), "PR" + LeBytes(50 + 80 * fit, 2));
}

TEST(TimeInfoCache, RecordsAreAppendedOnlyWhileTheBlockEndsTheFile) {
  Opened o(MakeFile("TESTPROG").bytes);
  ASSERT_EQ(o.mdf.WriteTimeInfo(Record(RecordBytes(0))), 1);
  const std::string grown = o.Bytes() + "other data";
  ts::WriteFileBytes(o.path, grown);
  EXPECT_EQ(o.mdf.WriteTimeInfo(Record(RecordBytes(1))), 0);
  EXPECT_EQ(o.Bytes(), grown);
}

TEST(TimeInfoCache, PositionBeyondThe32BitLinkIsRefused) {
  // A foreign cache block in the middle of a file of more than 4 GiB (sparse).
  const Built f = MakeFile("TESTPROG", PrPlace::Middle,
                           "Zephanor time-stamp descriptors"s + '\0' + "old");
  ts::TempDir dir;
  const std::string path = dir.File("big.mdf");
  ts::WriteFileBytes(path, f.bytes);
  const int64_t big = 0x100000000LL + 16;
  {
    winport::File file;
    ASSERT_TRUE(file.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::None));
    ASSERT_TRUE(file.Truncate(big));
  }
  mdf::CMdf m;
  m.SetShowMessages(false);
  ASSERT_EQ(m.Open(path), 1);
  ASSERT_TRUE(m.IsPrWritable());
  EXPECT_EQ(m.WriteTimeInfo(Record(RecordBytes(0))), 0);
  winport::File file;
  ASSERT_TRUE(file.Open(path, winport::FileAccess::Read, winport::FileShare::Read));
  EXPECT_EQ(file.Size(), big);
  std::string head(f.bytes.size(), '\0');
  ASSERT_TRUE(file.ReadExact(head.data(), head.size()));
  EXPECT_EQ(head, f.bytes);
}

TEST(TimeInfoCache, ReadTimeInfoTakesOnlyWholeRecordsOfTheBlock) {
  // A block of one record and 40 bytes more, which begin like a record with key 9.
  const std::string data = ts::TimeInfoData({RecordBytes(0)}) + LeBytes(9, 4) + std::string(36, '\0');
  Opened o(MakeFile("TESTPROG", PrPlace::Middle, data).bytes);
  ASSERT_TRUE(o.mdf.IsTimeInfoValid());
  mdf::TimeInfoRecord out;
  EXPECT_EQ(o.mdf.ReadTimeInfo(out, 0), 1);
  EXPECT_EQ(o.mdf.ReadTimeInfo(out, 9), 0);
}

TEST(TimeInfoCache, CorrectOverwritesOneRecordInPlace) {
  const std::string data = ts::TimeInfoData({RecordBytes(0, 1), RecordBytes(1, 2), RecordBytes(2, 3)});
  const Built f = MakeFile("TESTPROG", PrPlace::Middle, data);
  const std::string changed = RecordBytes(1, 42, 3);
  {
    Opened o(f.bytes);
    ASSERT_TRUE(o.mdf.IsTimeInfoValid());
    SetOldTimes(o.path);
    EXPECT_EQ(o.mdf.CorrectTimeInfo(Record(changed), 1), 1);
    ExpectOldTimes(o.path);
    std::string expected = f.bytes;
    expected.replace(f.pr + 50 + 80, 80, changed);
    EXPECT_EQ(Hex(o.Bytes()), Hex(expected));

    EXPECT_EQ(o.mdf.CorrectTimeInfo(Record(RecordBytes(5, 1)), 5), 1);  // no such key
    EXPECT_EQ(o.Bytes(), expected);

    // The records end before the block does: the file was cut since the open.
    ts::WriteFileBytes(o.path, expected.substr(0, f.pr + 50 + 100));
    EXPECT_EQ(o.mdf.CorrectTimeInfo(Record(changed), 2), 0);
  }
  Opened old(f.bytes, mdf::MdfProfile::Import, 0x0200);  // a reader older than the cache
  EXPECT_EQ(old.mdf.CorrectTimeInfo(Record(changed), 1), 0);
  EXPECT_EQ(old.Bytes(), f.bytes);
}

TEST(TimeInfoCache, DeleteTimeInfoCutsTheFileOnlyAtItsEnd) {
  const std::string foreign = "Zephanor time-stamp descriptors"s + '\0' + "old";
  const std::string sj = ts::SpecialJobData({});
  struct Case {
    const char* what;
    PrPlace place;
    std::string data;
    bool truncated, unlinked;
  };
  const Case cases[] = {
      {"foreign block at the end", PrPlace::End, foreign, true, true},
      {"foreign block in the middle", PrPlace::Middle, foreign, false, true},
      {"special-job block at the end", PrPlace::End, sj, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Built f = MakeFile("TESTPROG", c.place, c.data);
    Opened o(f.bytes);
    ASSERT_TRUE(o.mdf.IsPrWritable());
    SetOldTimes(o.path);
    EXPECT_EQ(o.mdf.DeleteTimeInfo(), 1);
    ExpectOldTimes(o.path);
    std::string expected = c.unlinked ? WithLink(f.bytes, 0) : f.bytes;
    if (c.truncated) expected.resize(f.pr);
    EXPECT_EQ(Hex(o.Bytes()), Hex(expected));
    if (c.unlinked) {
      EXPECT_EQ(o.mdf.GetHeaderBlock()->GetPrLink(), 0u);
      EXPECT_FALSE(o.mdf.GetPrgBlock()->HasData());
      EXPECT_EQ(o.mdf.GetPrgBlock()->GetFilePos(), static_cast<int64_t>(expected.size()));
    }
  }

  // Not writable: the file stays as it is.
  const Built own = MakeFile("TESTPROG", PrPlace::End, ts::TimeInfoData({RecordBytes(0)}));
  Opened o(own.bytes);
  ASSERT_FALSE(o.mdf.IsPrWritable());
  EXPECT_EQ(o.mdf.DeleteTimeInfo(), 0);
  EXPECT_EQ(o.Bytes(), own.bytes);
}

TEST(TimeInfoCache, DeletingWhatWasWrittenRestoresTheFileAndStartsAnew) {
  const std::string original = MakeFile("TESTPROG").bytes;
  Opened o(original);
  ASSERT_EQ(o.mdf.WriteTimeInfo(Record(RecordBytes(0))), 1);
  ASSERT_EQ(o.mdf.WriteTimeInfo(Record(RecordBytes(1))), 1);
  SetOldTimes(o.path);
  EXPECT_EQ(o.mdf.DeleteTimeInfo(), 1);
  ExpectOldTimes(o.path);
  EXPECT_EQ(o.Bytes(), original);
  // The next record creates a new block.
  EXPECT_EQ(o.mdf.WriteTimeInfo(Record(RecordBytes(2))), 1);
  EXPECT_EQ(Hex(o.Bytes()),
            Hex(WithLink(original, original.size()) + PrBlock(ts::TimeInfoData({RecordBytes(2)}))));
}

TEST(TimeInfoCache, DeletePRBlockUnlinksAndCutsOnlyAtTheEnd) {
  const std::string own = ts::TimeInfoData({RecordBytes(0)});
  struct Case {
    const char* what;
    std::string programId;
    PrPlace place;
    std::string data;
    bool unlinked, truncated;
  };
  const Case cases[] = {
      {"own block at the end", "TESTPROG", PrPlace::End, own, true, true},
      {"own block in the middle", "TESTPROG", PrPlace::Middle, own, true, false},
      {"KESTRAVO block with old data", "KESTRAVO", PrPlace::End,
       ts::TimeInfoData({ts::TimeInfoHeaderRecordBytes(20, 300)}), false, false},
      {"foreign block", "TESTPROG", PrPlace::End,
       "Zephanor time-stamp descriptors"s + '\0' + "old", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Built f = MakeFile(c.programId, c.place, c.data);
    Opened o(f.bytes);
    SetOldTimes(o.path);
    o.mdf.DeletePRBlock();
    ExpectOldTimes(o.path);
    std::string expected = c.unlinked ? WithLink(f.bytes, 0) : f.bytes;
    if (c.truncated) expected.resize(f.pr);
    EXPECT_EQ(Hex(o.Bytes()), Hex(expected));
    EXPECT_EQ(o.mdf.GetPrgBlock()->HasData(), !c.unlinked);
    EXPECT_EQ(o.mdf.GetHeaderBlock()->GetPrLink(), f.pr);  // memory keeps the link
  }
}

}  // namespace

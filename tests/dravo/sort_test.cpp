// Sorting an unsorted file into a copy with one data group per channel group.
#include <sys/stat.h>

#include <filesystem>

#include "dravo/filelayer.h"
#include "dravo/library.h"
#include "dravo/replace.h"
#include "tests/dravo/dravo_files.h"
#include "tests/dravo/sort_files.h"

using namespace dravo;
using namespace dravotest;

namespace {

class Sort : public LibraryTest {
 protected:
  std::string SaveUnsorted(const UnsortedDef& def, const std::string& name = "unsorted.mdf") {
    const std::string path = dir.File(name);
    BuildUnsortedFile(def).writer.Save(path);
    return path;
  }
  // Sorts the file that `def` describes and checks the copy's areas and values.
  void ExpectSortsToItsValues(const UnsortedDef& def) {
    const std::string source = SaveUnsorted(def);
    const std::string copy = dir.File("sorted.mdf");
    ASSERT_EQ(MdfSortFile(source, copy), kMdfOk);
    GroupValues values;
    ExpectCopyHoldsRecords(ReadFileBytes(source), copy, &values);
    EXPECT_EQ(values, BuiltValues(def));
  }
};

TEST_F(Sort, CopiesEveryBlockAndRelinksItIntoTheCopy) {
  for (uint16_t ids : {1, 2}) {
    SCOPED_TRACE("record ids " + std::to_string(ids));
    const UnsortedDef def = RichFile(ids, 7 + ids);
    const std::string source = SaveUnsorted(def);
    const std::string copy = dir.File("sorted.mdf");
    ASSERT_EQ(MdfSortFile(source, copy), kMdfOk);

    const std::string s = ReadFileBytes(source), c = ReadFileBytes(copy);
    EXPECT_EQ(CheckLinks(c), std::vector<std::string>());
    GroupValues values;
    ExpectCopyHoldsRecords(s, copy, &values);
    EXPECT_EQ(values, BuiltValues(def));

    const FileBytes src{s}, cp{c};
    // Header: comment, and the escaped PR whole.
    EXPECT_EQ(cp.Text(cp.U32(64 + hd::kComment)), def.fileComment);
    const uint32_t pr = cp.U32(64 + hd::kProgram);
    EXPECT_EQ(c.substr(pr, 70000), s.substr(src.U32(64 + hd::kProgram), 70000));
    EXPECT_EQ(cp.U16(64 + hd::kDgCount), 3u);

    // Per group: DGs in reverse order, channels reversed, texts kept, TR copied, no sample reduction.
    const std::vector<uint32_t> sourceCgs = src.Cgs(src.Dgs()[0]);
    const std::vector<uint32_t> dgs = cp.Dgs();
    ASSERT_EQ(dgs.size(), 3u);
    for (size_t j = 0; j < 3; ++j) {
      const uint32_t cgAt = cp.Cgs(dgs[j])[0], sourceCg = sourceCgs[2 - j];
      EXPECT_EQ(cp.Text(cp.U32(cgAt + cg::kComment)), src.Text(src.U32(sourceCg + cg::kComment)));
      EXPECT_EQ(cp.U32(cgAt + 26), 0u);
      const uint32_t tr = cp.U32(dgs[j] + dg::kTrigger);
      EXPECT_EQ(c.substr(tr + 8, 2 + 24 * 2), s.substr(src.U32(src.Dgs()[0] + dg::kTrigger) + 8, 2 + 24 * 2));
      EXPECT_EQ(cp.Text(cp.U32(tr + 4)), "Trigger am Start");
      const std::vector<uint32_t> cns = cp.Cns(cgAt), sourceCns = src.Cns(sourceCg);
      ASSERT_EQ(cns.size(), sourceCns.size());
      for (size_t k = 0; k < cns.size(); ++k) {
        const uint32_t a = cns[k], b = sourceCns[cns.size() - 1 - k];
        EXPECT_EQ(cp.Name(a), src.Name(b));
        for (uint32_t field : {cn::kComment, cn::kLongName, cn::kDisplayName})
          EXPECT_EQ(cp.Text(cp.U32(a + field)), src.Text(src.U32(b + field))) << cp.Name(a) << " +" << field;
        const uint32_t cc = cp.U32(a + cn::kConversion);
        if (cc != 0 && cp.U16(cc + cc::kType) == 12) {
          for (uint32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(cp.Text(cp.U32(cc + cc::RangeTextLink(i))),
                      src.Text(src.U32(src.U32(b + cn::kConversion) + cc::RangeTextLink(i))));
          }
        }
      }
    }
    // The CD of "speed" names torque (group 2) and a (group 3) in the copy, and 0 for the channel there is not.
    const std::vector<uint32_t> engine = cp.Cns(cp.Cgs(dgs[2])[0]);
    const uint32_t cd = cp.U32(engine[1] + cn::kDependency);
    ASSERT_NE(cd, 0u);
    const uint32_t torque = cp.Cns(cp.Cgs(dgs[1])[0])[0], a = cp.Cns(cp.Cgs(dgs[0])[0])[2];
    EXPECT_EQ(cp.Name(torque), "torque");
    EXPECT_EQ(cp.Name(a), "a");
    const std::vector<uint32_t> expected = {dgs[1], cp.Cgs(dgs[1])[0], torque, dgs[0], cp.Cgs(dgs[0])[0], a, 0, 0, 0};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(cp.U32(cd + 8 + 4 * i), expected[i]) << "reference " << i;
  }
}

// A DG with CGs A (id 1, 10-byte records) and B (id 2, 6-byte records), records A B A.
TEST_F(Sort, GivesEachChannelGroupItsOwnAreaAndReversesTheChains) {
  UnsortedDef def;
  def.groups = {Group(1, 2, {Ch("a1", 16, dt::kUInt, [](uint32_t r) { return 100 + r; }),
                             Ch("a2", 16, dt::kUInt, [](uint32_t r) { return 200 + r; }),
                             Ch("a3", 16, dt::kUInt, [](uint32_t r) { return 300 + r; })}),
                Group(2, 1, {Ch("b", 16, dt::kUInt, [](uint32_t) { return 7; })})};
  def.groups[0].recordSize = 10;
  def.groups[1].recordSize = 6;
  def.order = {0, 1, 0};
  const std::string source = SaveUnsorted(def);
  EXPECT_EQ(MdfNeedsSorting(source), kMdfMustSort);
  const std::string copy = dir.File("sorted.mdf");
  ASSERT_EQ(MdfSortFile(source, copy), kMdfOk);
  const std::string c = ReadFileBytes(copy);
  const FileBytes cp{c};
  const std::vector<uint32_t> dgs = cp.Dgs();
  ASSERT_EQ(dgs.size(), 2u);
  const uint32_t b = cp.Cgs(dgs[0])[0], a = cp.Cgs(dgs[1])[0];
  EXPECT_EQ(cp.U16(b + cg::kRecordSize), 6u);
  EXPECT_EQ(cp.U16(a + cg::kRecordSize), 10u);
  EXPECT_EQ(c.substr(cp.U32(dgs[1] + dg::kData), 20), BuildUnsortedFile(def).records[0]);
  EXPECT_EQ(c.substr(cp.U32(dgs[0] + dg::kData), 6), BuildUnsortedFile(def).records[1]);
  std::vector<std::string> names;
  for (uint32_t cn : cp.Cns(a)) names.push_back(cp.Name(cn));
  EXPECT_EQ(names, (std::vector<std::string>{"a3", "a2", "a1"}));
  EXPECT_EQ(MdfNeedsSorting(copy), kMdfOk);
}

TEST_F(Sort, ASortedFileGivesFiveAndNoDestination) {
  BuiltFile sorted = BuildFile(SimpleFileDef(2, 2, 5));
  const std::string source = dir.File("sorted.mdf");
  sorted.writer.Save(source);
  EXPECT_EQ(MdfNeedsSorting(source), kMdfOk);
  EXPECT_EQ(MdfSortFile(source, dir.File("copy.mdf")), kMdfNothingToSort);
  EXPECT_FALSE(std::filesystem::exists(dir.File("copy.mdf")));
}

// The copy keeps the float format; one that the library cannot read is refused.
TEST_F(Sort, RefusesAFloatFormatTheLibraryDoesNotRead) {
  UnsortedDef def = RichFile(1, 2);
  def.id.floatFormat = 3;
  const std::string source = SaveUnsorted(def);
  script.Box(ErrorBox(kMdfErrFloatFormat));
  EXPECT_EQ(MdfSortFile(source, dir.File("copy.mdf")), kMdfErrFloatFormat);
  EXPECT_FALSE(std::filesystem::exists(dir.File("copy.mdf")));
}

// Records that cannot be placed in areas sized from the counts end the sort
// with -2004 and one box, before a record lands in another group's area.
TEST_F(Sort, RefusesRecordsThatDoNotMatchTheirGroups) {
  struct Case {
    const char* name;
    std::function<void(UnsortedDef&)> def;
    std::function<void(BuiltUnsorted&)> damage;
  };
  const auto none = [](BuiltUnsorted&) {};
  const Case cases[] = {
      {"unknown id", [](UnsortedDef&) {}, [](BuiltUnsorted& b) { b.writer.PatchU8(b.data, 9); }},
      // Counts A 1 and B 2 for the records A B A: the second A is one too many.
      {"record beyond its group's count", [](UnsortedDef&) {},
       [](BuiltUnsorted& b) {
         b.writer.PatchU32(b.groups[0].cg + cg::kRecordCount, 1);
         b.writer.PatchU32(b.groups[1].cg + cg::kRecordCount, 2);
       }},
      {"several groups without ids", [](UnsortedDef& d) { d.recordIds = 0; }, none},
      {"three ids", [](UnsortedDef& d) { d.recordIds = 3; }, none},
      {"trailing id unlike the leading one", [](UnsortedDef& d) { d.recordIds = 2; },
       [](BuiltUnsorted& b) { b.writer.PatchU8(b.data + 3, 2); }},
      {"data link 0 with records", [](UnsortedDef&) {}, [](BuiltUnsorted& b) { b.writer.SetLink(b.dg, dg::kData, 0); }},
      {"data past the end of the file", [](UnsortedDef&) {},
       [](BuiltUnsorted& b) { b.writer.Truncate(b.writer.Size() - 1); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    // A (id 1, 2-byte records, 2 of them) and B (id 2, 3-byte records, 1), records A B A.
    UnsortedDef def;
    def.groups = {Group(1, 2, {Ch("a", 16, dt::kUInt, [](uint32_t r) { return r; })}),
                  Group(2, 1, {Ch("b", 24, dt::kUInt, [](uint32_t) { return 5; })})};
    def.order = {0, 1, 0};
    k.def(def);
    BuiltUnsorted built = BuildUnsortedFile(def);
    k.damage(built);
    const std::string source = dir.File("bad.mdf");
    built.writer.Save(source);
    ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
    script.Box(ErrorBox(kMdfErrFileFormat));
    EXPECT_EQ(MdfSortFile(source, dir.File("copy.mdf")), kMdfErrFileFormat);
    EXPECT_TRUE(script.Ok()) << script.Report();
  }
}

// Groups of record size 0 get an empty area; their ids are skipped.
TEST_F(Sort, ARecordSizeOfZeroGivesAnEmptyArea) {
  UnsortedDef def;
  def.groups = {Group(1, 5, {Ch("x", 16, dt::kUInt, [](uint32_t r) { return 40 + r; })}), Group(2, 4, {})};
  def.groups[1].recordSize = 0;
  def.order = ShuffledOrder(def.groups, 3);
  ExpectSortsToItsValues(def);
}

// However the budget is split, the copy is the same: here records larger
// than a share are written one by one beside groups that are buffered.
TEST_F(Sort, RecordsLargerThanTheirShareLandInTheirAreas) {
  UnsortedDef def;
  for (uint16_t g = 1; g <= 12; ++g) {
    def.groups.push_back(Group(g, 9, {Ch("v" + std::to_string(g), 32, dt::kUInt, [g](uint32_t r) { return g * 1000 + r; })}));
    def.groups.back().recordSize = 60000;
  }
  def.groups.push_back(Group(20, 3000, {Ch("small", 16, dt::kUInt, [](uint32_t r) { return r; })}));
  def.order = ShuffledOrder(def.groups, 11);
  ExpectSortsToItsValues(def);
}

// Each of 40,000 groups gets its own copy of a 64 KB TR and its comment: the
// copy would pass 4 GiB, which 32-bit links cannot address. Nothing is written.
TEST_F(Sort, RefusesACopyBeyondFourGibibytesBeforeWritingAnything) {
  MdfWriter w(IdSpec{});
  const uint32_t hdAt = w.AddHd(HdSpec{});
  const uint32_t dgAt = w.AddDg(DgSpec{.cgCount = 0, .recordIds = 1});
  w.SetLink(hdAt, hd::kFirstDg, dgAt);
  const uint16_t triggers = 2700;  // 34 + 24 * 2700 = 64,834 bytes
  const uint32_t trAt = w.AddBytes("TR" + LeBytes(34 + 24 * triggers, 2) + std::string(30 + 24 * triggers, '\0'));
  w.PatchU16(trAt + 8, triggers);
  w.SetLink(trAt, 4, w.AddTx(std::string(65000, 'x')));
  w.SetLink(dgAt, dg::kTrigger, trAt);
  uint32_t previous = 0;
  for (uint16_t g = 0; g < 40000; ++g) {
    const uint32_t cgAt = w.AddCg(CgSpec{.recordId = 1});
    w.SetLink(previous ? previous : dgAt, previous ? cg::kNext : dg::kFirstCg, cgAt);
    previous = cgAt;
  }
  const std::string source = dir.File("big.mdf");
  w.Save(source);
  script.Box(ErrorBox(kMdfErrFileFormat));
  EXPECT_EQ(MdfSortFile(source, dir.File("copy.mdf")), kMdfErrFileFormat);
  EXPECT_FALSE(std::filesystem::exists(dir.File("copy.mdf")));
}

// The verifier finds a copy that is not its source's.
TEST_F(Sort, VerificationFindsAnyDifference) {
  const UnsortedDef def = RichFile(1, 5);
  const std::string source = SaveUnsorted(def);
  const std::string copy = dir.File("sorted.mdf");
  ASSERT_EQ(MdfSortFile(source, copy), kMdfOk);
  EXPECT_EQ(VerifySortedCopy(source, copy), kMdfOk);
  const std::string good = ReadFileBytes(copy);
  const FileBytes cp{good};
  const uint32_t lastDg = cp.Dgs()[2];
  const uint32_t area = cp.U32(lastDg + dg::kData);
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
  };
  const Case cases[] = {
      {"a byte of an area", [&](std::string& f) { f[area + 5] ^= 1; }},
      {"a record count", [&](std::string& f) { f[cp.Cgs(lastDg)[0] + cg::kRecordCount] -= 1; }},
      {"a record size", [&](std::string& f) { f[cp.Cgs(lastDg)[0] + cg::kRecordSize] += 1; }},
      {"a channel fewer", [&](std::string& f) {
         const uint32_t cgAt = cp.Cgs(lastDg)[0];
         f.replace(cgAt + cg::kFirstCn, 4, LeBytes(cp.Cns(cgAt)[1], 4));
       }},
      {"a data group missing", [&](std::string& f) { f.replace(64 + hd::kFirstDg, 4, LeBytes(cp.Dgs()[1], 4)); }},
      {"not sorted: the source itself", [&](std::string& f) { f = ReadFileBytes(source); }},
      {"truncated", [&](std::string& f) { f.resize(area + 3); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::string damaged = good;
    k.damage(damaged);
    WriteFileBytes(copy, damaged);
    ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
    const QuietReports quiet;  // the statuses tell; the boxes are the library's usual ones
    EXPECT_EQ(VerifySortedCopy(source, copy), kMdfErrWrite);
  }
}

}  // namespace

namespace {

// The marker of an escaped PR lies beyond the read buffer that holds the
// block's head: a failed read of it fails the open instead of reading the
// block from the start of the file.
TEST_F(Sort, AFailedReadOfAnEscapedProgramMarkerFailsTheRead) {
  MdfWriter w(IdSpec{});
  const uint32_t hdAt = w.AddHd(HdSpec{});
  const uint32_t pr = (1u << 20) - 4;
  w.AddBytes(std::string(pr - w.Size(), '\0'));
  w.SetLink(hdAt, hd::kProgram, w.AddPrWithLength(EscapedProgramData(70000), pr::kEscapeLength));
  const std::string path = Save(BuiltMdf{std::move(w)});
  int reads = 0;
  MdfSetFileFaultHook([&reads](MdfFileOp op) { return op == MdfFileOp::Read && ++reads == 2; });
  script.Box(ErrorBox(kMdfErrRead));
  MdfFileRecord* file = nullptr;
  EXPECT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenRead), kMdfErrRead);
  MdfSetFileFaultHook(nullptr);
  EXPECT_EQ(reads, 2);
}

}  // namespace

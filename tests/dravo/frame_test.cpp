// The entry frame, the recorded error, use levels and the status texts.
#include <cstdlib>

#include "tests/dravo/dravo_files.h"

using namespace dravo;
using namespace dravotest;

namespace {

std::vector<std::string> RecordsOf(int count) {
  std::vector<std::string> records;
  for (int r = 0; r < count; ++r) records.push_back(Record(2).PutUInt(0, 16, 100 + r).Bytes());
  return records;
}

class Frame : public LibraryTest {
 protected:
  std::string SmallFile(const std::string& name, int records = 2) {
    return Save(OneGroup({{Channel("x", 0, 16, 0)}}, 2, RecordsOf(records)), name);
  }
};

TEST_F(Frame, ANestedOneEndsTheWholeCallWithOne) {
  // A group without records: positioning on record 0 answers 1, so the open
  // ends with 1, hands out no group and keeps no group record.
  const std::string empty = SmallFile("empty.mdf", 0);
  MdfFileRecord* file = OpenRead(empty);
  MdfGroupRecord* group = nullptr;
  EXPECT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfNoRecord);
  EXPECT_EQ(group, nullptr);
  EXPECT_EQ(CurrentLibraryCounts().groups, 0u);
  // Counting every channel opens each group and ends with the first failure's status.
  uint32_t total = 7;
  EXPECT_EQ(MdfCountAllChannels(&total, file), kMdfNoRecord);
  EXPECT_EQ(total, 7u);
  // Positive answers are not recorded: the library goes on.
  EXPECT_EQ(MdfCheckInitialized(), kMdfOk);
  EXPECT_EQ(MdfClose(file), kMdfOk);

  MdfFileRecord* full = OpenRead(SmallFile("full.mdf", 3));
  EXPECT_EQ(MdfCountAllChannels(&total, full), kMdfOk);
  EXPECT_EQ(total, 1u);
  MdfClose(full);
}

TEST_F(Frame, ARecordedErrorIsReturnedByEveryEntryWithoutABox) {
  const std::string good = SmallFile("good.mdf");
  MdfFileRecord* before = OpenRead(good);
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, before, 1, kMdfOpenRead), kMdfOk);
  MdfChannelRecord* channel = nullptr;
  ASSERT_EQ(MdfOpenChannel(&channel, group, 1), kMdfOk);

  // A file shorter than its 64-byte header: one box, -2001 recorded.
  script.Box(ErrorBox(kMdfErrRead));
  MdfFileRecord* file = reinterpret_cast<MdfFileRecord*>(1);
  EXPECT_EQ(MdfOpen(&file, SaveBytes("MDF     3.30", "short.mdf"), nullptr, kMdfOpenRead), kMdfErrRead);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(MdfCheckInitialized(), kMdfErrRead);
  EXPECT_EQ(MdfGetLastErrorText(), "could not read file \n");

  // Every later entry returns it at once, without a box.
  EXPECT_EQ(MdfOpen(&file, good, nullptr, kMdfOpenRead), kMdfErrRead);
  double value = 0;
  EXPECT_EQ(MdfGetValue(&value, channel), kMdfErrRead);
  uint16_t count = 0;
  EXPECT_EQ(MdfGetGroupCount(&count, before), kMdfErrRead);
  EXPECT_EQ(MdfSeekRecord(group, 0, 0), kMdfErrRead);
  EXPECT_EQ(MdfOpenChannel(&channel, group, 1), kMdfErrRead);
  // Close entries still release what they close.
  EXPECT_EQ(MdfCloseChannel(channel), kMdfErrRead);
  EXPECT_EQ(CurrentLibraryCounts().channels, 0u);
  EXPECT_EQ(MdfCloseGroup(group), kMdfErrRead);
  EXPECT_EQ(MdfClose(before), kMdfErrRead);
  EXPECT_EQ(CurrentLibraryCounts().files, 0u);

  // MdfInitLibrary starts afresh.
  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  EXPECT_EQ(MdfCheckInitialized(), kMdfOk);
  EXPECT_EQ(MdfGetLastErrorText(), "");
  MdfFileRecord* again = OpenRead(good);
  EXPECT_EQ(ReadAll(again, 1, 1), (std::vector<double>{100, 101}));
  MdfClose(again);
}

TEST_F(Frame, ExitAndInitFreeEverythingStillOpen) {
  for (auto finish : {+[] { return MdfExitLibrary(); }, +[] { return MdfInitLibrary(nullptr); }}) {
    ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
    for (const char* name : {"a.mdf", "b.mdf"}) {
      MdfFileRecord* file = OpenRead(SmallFile(name));
      MdfGroupRecord* group = nullptr;
      ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
      MdfChannelRecord* channel = nullptr;
      ASSERT_EQ(MdfOpenChannel(&channel, group, 1), kMdfOk);
    }
    const LibraryCounts open = CurrentLibraryCounts();
    EXPECT_EQ(open.files, 2u);
    EXPECT_EQ(open.groups, 2u);
    EXPECT_EQ(open.channels, 2u);
    EXPECT_GT(open.blocks, 0u);
    EXPECT_EQ(finish(), kMdfOk);
    const LibraryCounts left = CurrentLibraryCounts();
    EXPECT_EQ(left.files + left.groups + left.channels + left.blocks, 0u);
  }
}

TEST_F(Frame, ReleaseAtLevelThreeKeepsLevelsOneAndTwo) {
  MdfFileRecord* a = OpenRead(SmallFile("a.mdf"));
  ASSERT_EQ(MdfRetain(), kMdfOk);
  MdfFileRecord* b = OpenRead(SmallFile("b.mdf", 3));
  ASSERT_EQ(MdfRetain(), kMdfOk);
  EXPECT_EQ(MdfGetUseCount(), 3);
  OpenRead(SmallFile("c.mdf"));
  EXPECT_EQ(CurrentLibraryCounts().files, 3u);

  EXPECT_EQ(MdfRelease(), kMdfOk);
  EXPECT_EQ(MdfGetUseCount(), 2);
  EXPECT_EQ(CurrentLibraryCounts().files, 2u);
  EXPECT_EQ(ReadAll(a, 1, 1), (std::vector<double>{100, 101}));
  EXPECT_EQ(ReadAll(b, 1, 1), (std::vector<double>{100, 101, 102}));

  EXPECT_EQ(MdfRelease(), kMdfOk);
  EXPECT_EQ(CurrentLibraryCounts().files, 1u);
  EXPECT_EQ(MdfRelease(), kMdfOk);
  EXPECT_EQ(MdfGetUseCount(), 0);
  EXPECT_EQ(CurrentLibraryCounts().files, 0u);
  EXPECT_EQ(MdfRelease(), kMdfOk);  // count 0: nothing
  EXPECT_EQ(MdfRetain(), kMdfOk);   // count 0: initialises
  EXPECT_EQ(MdfGetUseCount(), 1);
}

TEST_F(Frame, TheProgramIdentifierKeepsEightCharacters) {
  ASSERT_EQ(MdfInitLibrary("ZephanorImport"), kMdfOk);
  EXPECT_EQ(MdfGetProgramId(), "Zephanor");
  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  EXPECT_EQ(MdfGetProgramId(), std::string("DEDAZA\0\0", 8));
}

TEST_F(Frame, StatusTextsAndReports) {
  EXPECT_STREQ(MdfGetErrorText(0), "");
  EXPECT_EQ(MdfGetErrorText(kMdfMustSort), nullptr);
  EXPECT_EQ(MdfGetErrorText(kMdfNoRecord), nullptr);
  EXPECT_STREQ(MdfGetErrorText(kMdfErrFileFormat), "file format");
  EXPECT_STREQ(MdfGetErrorText(kMdfErrGroupCreate), "simulanous groups creates are not allowed");
  EXPECT_STREQ(MdfGetErrorText(kMdfNotATable), "illegal formula type, not a table");
  // A warning is shown, but not recorded; a status without text shows the detail alone.
  script.Box(ErrorBox(kMdfMustSort, "needs sorting")).Box(ErrorBox(kMdfGroupNotFound, "(n=3)"));
  EXPECT_EQ(script.Log().size(), 0u);
  EXPECT_EQ(MdfReportError(kMdfMustSort, "needs sorting"), kMdfMustSort);
  EXPECT_EQ(MdfReportError(kMdfGroupNotFound, "(n=3)"), kMdfGroupNotFound);
  EXPECT_EQ(script.Log().at(0).text, "needs sorting \n");
  EXPECT_EQ(MdfCheckInitialized(), kMdfOk);
}

TEST(FrameLock, AnInternalErrorLocksTheLibraryForGood) {
  EXPECT_EXIT(
      {
        winport::ui::ScriptedAnswers script;
        // The report, then one box for the lock at each entry that meets it.
        script.Box(ErrorBox(kMdfErrFatal, "Internal Error 1-table-7\n"))
            .Box("Further use of Library prohibited!\n")
            .Box("Further use of Library prohibited!\n")
            .Box("Further use of Library prohibited!\n");
        MdfInitLibrary(nullptr);
        const bool locked = MdfInternalError("table", 7) == kMdfErrFatal && MdfExitLibrary() == kMdfErrFatal &&
                            MdfInitLibrary(nullptr) == kMdfErrFatal;
        std::exit(locked && script.Ok() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace

// Opening files, groups and channels; damaged files; creating and modifying files.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "dravo/internal.h"
#include "tests/dravo/dravo_files.h"

using namespace dravo;
using namespace dravotest;

namespace {

std::string U16Records(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += LeBytes(static_cast<uint16_t>(v), 2);
  return s;
}

// One channel "x" (UINT16 at bit 0) in a group of 2-byte records.
CgDef Group16(uint32_t records, uint16_t recordId = 0) {
  return CgDef{.recordId = recordId, .recordSize = 2, .records = records, .channels = {{Channel("x", 0, 16, 0)}}};
}

class Open : public LibraryTest {};

TEST_F(Open, GroupsAreNumberedAcrossDataGroupsByTheirChains) {
  // Three DGs holding 1, 2 and 1 channel groups. The middle DG's CG-count
  // field says 1: the chain counts, not the field.
  const CgDef a = Group16(2, 1), b = Group16(1, 2);
  BuiltMdf built = BuildMdf({DgDef{.groups = {Group16(2)}, .data = U16Records({1, 2})},
                             DgDef{.recordIds = 1, .groups = {a, b}, .data = "\x01" + U16Records({21}) + "\x02" +
                                                                             U16Records({31}) + "\x01" + U16Records({22})},
                             DgDef{.groups = {Group16(1)}, .data = U16Records({4})}});
  built.writer.PatchU16(built.dgs[1] + dg::kCgCount, 1);
  MdfFileRecord* file = OpenRead(Save(built));
  uint16_t count = 0;
  EXPECT_EQ(MdfGetGroupCount(&count, file), kMdfOk);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(MdfIsUnsorted(file), kMdfMustSort);  // no box
  EXPECT_EQ(ReadAll(file, 1, 1), (std::vector<double>{1, 2}));
  EXPECT_EQ(ReadAll(file, 2, 1), (std::vector<double>{21, 22}));
  EXPECT_EQ(ReadAll(file, 3, 1), (std::vector<double>{31}));
  EXPECT_EQ(ReadAll(file, 4, 1), (std::vector<double>{4}));

  // A number past the count is refused before anything is walked; 0 walks the chains.
  script.Box(ErrorBox(kMdfGroupNotFound)).Box(ErrorBox(kMdfGroupNotFound, "(n=0)"));
  MdfGroupRecord* group = nullptr;
  EXPECT_EQ(MdfOpenGroup(&group, file, 5, kMdfOpenRead), kMdfGroupNotFound);
  EXPECT_EQ(MdfOpenGroup(&group, file, 0, kMdfOpenRead), kMdfGroupNotFound);
  EXPECT_EQ(group, nullptr);
  MdfClose(file);

  MdfFileRecord* sorted = OpenRead(Save(BuildMdf({DgDef{.groups = {Group16(1)}, .data = U16Records({9})}}), "s.mdf"));
  EXPECT_EQ(MdfIsUnsorted(sorted), kMdfOk);
  MdfClose(sorted);
}

TEST_F(Open, SeekingInInterleavedRecordsWalksFromTheStartWhenGoingBack) {
  // Records A B A B A with record ids 1 and 2 (B's records are 4 bytes).
  const CgDef a = Group16(3, 1);
  const CgDef b{.recordId = 2, .recordSize = 4, .records = 2, .channels = {{Channel("y", 16, 16, 0)}}};
  std::string data;
  for (int r = 0; r < 3; ++r) {
    data += "\x01" + U16Records({10 + r});
    if (r < 2) data += "\x02" + U16Records({0, 20 + r});
  }
  MdfFileRecord* file = OpenRead(Save(BuildMdf({DgDef{.recordIds = 1, .groups = {a, b}, .data = data}})));
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
  MdfChannelRecord* x = nullptr;
  ASSERT_EQ(MdfOpenChannel(&x, group, 1), kMdfOk);
  for (int target : {2, 1, 0, 2}) {
    ASSERT_EQ(MdfSeekRecord(group, target, 0), kMdfOk);
    double v = 0;
    ASSERT_EQ(MdfGetValue(&v, x), kMdfOk);
    EXPECT_EQ(v, 10 + target);
  }
  // Neither a step before record 0 nor a record past the last moves the group.
  ASSERT_EQ(MdfSeekRecord(group, 0, 0), kMdfOk);
  EXPECT_EQ(MdfSeekRecord(group, -1, kMdfSeekRelative), kMdfNoRecord);
  EXPECT_EQ(MdfSeekRecord(group, 3, 0), kMdfNoRecord);
  EXPECT_EQ(MdfSeekRecord(group, -5, 0), kMdfNoRecord);
  uint32_t number = 9;
  EXPECT_EQ(MdfGetRecordNumber(&number, group), kMdfOk);
  EXPECT_EQ(number, 0u);
  EXPECT_EQ(ReadAll(file, 2, 1), (std::vector<double>{20, 21}));
  MdfClose(file);
}

TEST_F(Open, HeaderFieldsAndComment) {
  const std::string plain = Save(BuildMdf({DgDef{.groups = {Group16(1)}, .data = U16Records({1})}}), "plain.mdf");
  std::string comment = "untouched";
  MdfFileRecord* file = nullptr;
  ASSERT_EQ(MdfOpen(&file, plain, &comment, kMdfOpenRead), kMdfOk);
  EXPECT_EQ(comment, "untouched");
  MdfHeaderInfo info;
  ASSERT_EQ(MdfGetHeaderInfo(file, &info), kMdfOk);
  EXPECT_EQ(info.comment, "");
  EXPECT_EQ(info.date, "10:12:2024");
  EXPECT_EQ(info.time, "09:30:00");
  MdfClose(file);

  const std::string commented =
      Save(BuildMdf({DgDef{.groups = {Group16(1)}, .data = U16Records({1})}}, {}, "line 1\r\nline 2"), "c.mdf");
  ASSERT_EQ(MdfOpen(&file, commented, &comment, kMdfOpenRead), kMdfOk);
  EXPECT_EQ(comment, "line 1\r\nline 2");
  std::string fromHeader;
  EXPECT_EQ(MdfGetHeaderComment(file, &fromHeader), kMdfOk);
  EXPECT_EQ(fromHeader, comment);
  MdfClose(file);
}

TEST_F(Open, ClosingAFileOpenedForReadingWritesNothing) {
  const std::string path = Save(BuildMdf({DgDef{.groups = {Group16(2)}, .data = U16Records({1, 2})}}));
  const std::string before = ReadFileBytes(path);
  struct stat st{};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  MdfFileRecord* file = OpenRead(path);
  EXPECT_EQ(ReadAll(file, 1, 1), (std::vector<double>{1, 2}));
  EXPECT_EQ(MdfClose(file), kMdfOk);
  EXPECT_EQ(MdfClose(nullptr), kMdfOk);
  struct stat after{};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(after.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_mtim.tv_sec, st.st_mtim.tv_sec);
}

// The 8 bytes of a VAX double whose sign-and-exponent word is `word0`, the rest 0.
std::string VaxG(uint16_t word0) { return LeBytes(word0, 8); }

TEST_F(Open, VaxDoublesOfTheBlocksAreConvertedOnce) {
  struct Case {
    uint16_t format;
    uint16_t one, two, three;  // first words of 1.0, 2.0, 3.0
  } cases[] = {{1, 0x4010, 0x4020, 0x4028}, {2, 0x4080, 0x4100, 0x4140}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
    // Two channels share one linear CC (offset 2.0, factor 3.0): it is converted once.
    const CcSpec cc = CcLinear(std::bit_cast<double>(uint64_t{c.three}), std::bit_cast<double>(uint64_t{c.two}));
    ChannelSpec x{Channel("x", 0, 16, 0)}, y{Channel("y", 0, 16, 0)};
    x.cn.minRaw = std::bit_cast<double>(uint64_t{c.one});
    BuiltMdf built = BuildMdf({DgDef{.groups = {CgDef{.recordSize = 2, .records = 1, .channels = {x, y}}},
                                     .data = U16Records({4})}},
                              IdSpec{.floatFormat = c.format});
    const uint32_t shared = built.writer.AddCc(cc);
    built.writer.SetLink(built.cns[0], cn::kConversion, shared);
    built.writer.SetLink(built.cns[1], cn::kConversion, shared);
    // A trigger block with one entry of three doubles.
    const uint32_t tr = built.writer.AddBytes(std::string("TR") + LeBytes(34, 2) + LeBytes(0, 4) + LeBytes(1, 2) +
                                              VaxG(c.one) + VaxG(c.two) + VaxG(c.three));
    built.writer.SetLink(built.dgs[0], dg::kTrigger, tr);
    const std::string path = Save(built);

    MdfFileRecord* file = OpenRead(path);
    EXPECT_EQ(ReadAll(file, 1, 1), std::vector<double>{14});
    EXPECT_EQ(ReadAll(file, 1, 2), std::vector<double>{14});
    MdfBlock* dg = nullptr;
    MdfBlock* trigger = nullptr;
    ASSERT_EQ(MdfResolveLink(*file->hd, layout::hd::kFirstDg, &dg), kMdfOk);
    ASSERT_EQ(MdfResolveLink(*dg, layout::dg::kTrigger, &trigger), kMdfOk);
    EXPECT_EQ(trigger->F64(layout::tr::kEntries), 1.0);
    EXPECT_EQ(trigger->F64(layout::tr::kEntries + 16), 3.0);
    MdfBlock* cg = nullptr;
    MdfBlock* cn = nullptr;
    ASSERT_EQ(MdfResolveLink(*dg, layout::dg::kFirstCg, &cg), kMdfOk);
    ASSERT_EQ(MdfResolveLink(*cg, layout::cg::kFirstCn, &cn), kMdfOk);
    EXPECT_EQ(cn->F64(layout::cn::kMin), 1.0);
    MdfClose(file);

    // Such a file cannot be modified.
    script.Box(ErrorBox(kMdfErrFloatFormat));
    EXPECT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenModify), kMdfErrFloatFormat);
  }
}

struct Damage {
  const char* what;
  std::function<void(BuiltMdf&)> damage;
  MdfStatus status;
  bool atGroup = false;  // the open succeeds; opening group 1 fails
};

TEST_F(Open, DamagedFilesGiveOneBoxAndAStatus) {
  // Base: one DG with one CG of two channels, each with a linear CC, two records.
  auto base = [] {
    ChannelSpec a{Channel("a", 0, 16, 0), CcLinear(1, 0)}, b{Channel("b", 16, 16, 0), CcLinear(2, 0)};
    return BuildMdf({DgDef{.groups = {CgDef{.recordSize = 4, .records = 2, .channels = {a, b}}},
                           .data = U16Records({1, 2, 3, 4})}});
  };
  auto size = [](uint32_t block, uint16_t v) { return [=](BuiltMdf& f) { f.writer.PatchU16(block + head::kLength, v); }; };
  const BuiltMdf shape = base();
  const uint32_t hd = shape.hd, dg = shape.dgs[0], cg = shape.cgs[0], cn1 = shape.cns[0], cn2 = shape.cns[1],
                 cc1 = shape.ccs[0];
  const Damage cases[] = {
      {"DG chain cycle", [=](BuiltMdf& f) { f.writer.SetLink(dg, dg::kNext, dg); }, kMdfErrFileFormat},
      {"CG chain cycle", [=](BuiltMdf& f) { f.writer.SetLink(cg, cg::kNext, cg); }, kMdfErrFileFormat},
      {"CN chain cycle", [=](BuiltMdf& f) { f.writer.SetLink(cn2, cn::kNext, cn1); }, kMdfErrFileFormat},
      {"CN size 0", size(cn1, 0), kMdfErrFileFormat},
      {"CN size 1", size(cn1, 1), kMdfErrFileFormat},
      {"CN size 2", size(cn1, 2), kMdfErrFileFormat},
      {"CC size 3", size(cc1, 3), kMdfErrFileFormat},
      {"a 30-byte CN", size(cn1, 30), kMdfErrFileFormat},
      {"a CN where a CG belongs", [=](BuiltMdf& f) { f.writer.SetLink(dg, dg::kFirstCg, cn1); }, kMdfErrFileFormat},
      {"an unknown block where the HD belongs", [=](BuiltMdf& f) { f.writer.PatchBytes(hd, "XX"); }, kMdfErrFileFormat},
      {"header not MDF", [](BuiltMdf& f) { f.writer.PatchBytes(0, "MDX"); }, kMdfErrFileFormat},
      {"header byte 32 set", [](BuiltMdf& f) { f.writer.PatchU8(32, 1); }, kMdfErrFileFormat},
      {"float format 3", [](BuiltMdf& f) { f.writer.PatchU16(id::kFloatFormat, 3); }, kMdfErrFloatFormat},
      {"CC count 65535 in a 46-byte CC",
       [=](BuiltMdf& f) {
         CcSpec table = CcTable({}, true);
         table.size = 65535;
         f.writer.SetLink(cn1, cn::kConversion, f.writer.AddCc(table));
       },
       kMdfErrFileFormat},
      {"TR count past its block",
       [=](BuiltMdf& f) {
         f.writer.SetLink(dg, dg::kTrigger,
                          f.writer.AddBytes("TR" + LeBytes(34, 2) + LeBytes(0, 4) + LeBytes(5, 2) + std::string(24, '\0')));
       },
       kMdfErrFileFormat},
      {"a link past the file's end", [=](BuiltMdf& f) { f.writer.SetLink(cn1, cn::kComment, 0x7FFFFFF0); }, kMdfErrRead},
      {"a file cut inside a block", [=](BuiltMdf& f) { f.writer.Truncate(cn2 + 100); }, kMdfErrRead},
      {"a record id of no group",
       [=](BuiltMdf& f) {
         f.writer.PatchU16(dg + dg::kRecordIds, 1);
         f.writer.PatchU16(cg + cg::kRecordId, 1);
         f.writer.PatchU8(f.writer.Size() - 8, 9);
       },
       kMdfErrFileFormat, true},
      {"three record ids", [=](BuiltMdf& f) { f.writer.PatchU16(dg + dg::kRecordIds, 3); }, kMdfErrFileFormat, true},
      {"data past the file's end", [=](BuiltMdf& f) { f.writer.Truncate(f.writer.Size() - 6); }, kMdfErrRead, true},
      {"a record longer than the file", [=](BuiltMdf& f) { f.writer.PatchU16(cg + cg::kRecordSize, 60000); },
       kMdfErrRead, true},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
    BuiltMdf built = base();
    c.damage(built);
    const std::string path = Save(built);
    const size_t boxes = script.Log().size();
    script.Box(ErrorBox(c.status));
    MdfFileRecord* file = nullptr;
    const MdfStatus opened = MdfOpen(&file, path, nullptr, kMdfOpenRead);
    if (c.atGroup) {
      ASSERT_EQ(opened, kMdfOk);
      MdfGroupRecord* group = nullptr;
      EXPECT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), c.status);
    } else {
      EXPECT_EQ(opened, c.status);
      EXPECT_EQ(file, nullptr);
    }
    EXPECT_EQ(script.Log().size(), boxes + 1);
    EXPECT_EQ(MdfCheckInitialized(), c.status);
  }
}

TEST_F(Open, AFileOfFourGibibytesOrMoreIsRefused) {
  const std::string path = Save(BuildMdf({DgDef{.groups = {Group16(1)}, .data = U16Records({1})}}));
  ASSERT_EQ(truncate(path.c_str(), int64_t{1} << 32), 0);
  script.Box(ErrorBox(kMdfErrFileFormat));
  MdfFileRecord* file = nullptr;
  EXPECT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenRead), kMdfErrFileFormat);
  // One byte less is addressable.
  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  ASSERT_EQ(truncate(path.c_str(), (int64_t{1} << 32) - 1), 0);
  file = OpenRead(path);
  EXPECT_EQ(ReadAll(file, 1, 1), std::vector<double>{1});
  MdfClose(file);
}

TEST_F(Open, ChannelsByNumberTypeAndName) {
  ChannelSpec time{Channel("Zeit", 0, 16, 0, kChannelTypeTime), CcLinear(0.5, 0, "s")};
  ChannelSpec speed{Channel("Speed", 16, 16, 0), std::nullopt, "vehicle speed"};
  speed.cn.description = "how fast";
  const std::string path =
      Save(BuildMdf({DgDef{.groups = {CgDef{.recordSize = 4, .records = 1, .channels = {time, speed}}},
                           .data = U16Records({8, 3})}}));
  MdfFileRecord* file = OpenRead(path);
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
  uint16_t count = 0;
  EXPECT_EQ(MdfGetChannelCount(&count, group), kMdfOk);
  EXPECT_EQ(count, 2);

  MdfChannelRecord* channel = nullptr;
  script.Box(ErrorBox(kMdfChannelNotFound)).Box(ErrorBox(kMdfChannelNotFound));
  EXPECT_EQ(MdfOpenChannel(&channel, group, 0), kMdfChannelNotFound);
  EXPECT_EQ(MdfOpenChannel(&channel, group, 3), kMdfChannelNotFound);

  ASSERT_EQ(MdfOpenTimeChannel(&channel, group), kMdfOk);
  MdfChannelInfo info;
  ASSERT_EQ(MdfGetChannelInfo(channel, &info), kMdfOk);
  EXPECT_EQ(info.name, "Zeit");
  EXPECT_EQ(info.channelType, kChannelTypeTime);
  uint16_t type = 0;
  std::string unit;
  std::span<const uint8_t> parameters;
  ASSERT_EQ(MdfGetConversion(channel, &type, &unit, &parameters), kMdfOk);
  EXPECT_EQ(type, kConvLinear);
  EXPECT_EQ(unit, "s");
  ASSERT_GE(parameters.size(), 16u);
  EXPECT_EQ(LoadF64(parameters.data() + 8), 0.5);

  MdfChannelRecord* byName = nullptr;
  ASSERT_EQ(MdfOpenChannelByName(&byName, group, "SPEED"), kMdfOk);
  EXPECT_EQ(MdfGetChannelName(byName, &info.name), kMdfOk);
  EXPECT_EQ(info.name, "Speed");
  EXPECT_EQ(MdfGetChannelDescription(byName, &info.description), kMdfOk);
  EXPECT_EQ(info.description, "how fast");
  EXPECT_EQ(MdfGetChannelComment(byName, &info.comment), kMdfOk);
  EXPECT_EQ(info.comment, "vehicle speed");
  EXPECT_EQ(MdfGetConversion(byName, &type, &unit, &parameters), kMdfNoFormula);  // no box
  EXPECT_EQ(MdfOpenChannelByName(&byName, group, "Zeit"), kMdfNameNotFound);   // a time channel; no box
  EXPECT_EQ(MdfOpenChannelByType(&byName, group, kChannelTypeTime), kMdfOk);

  MdfChannelRecord* first = nullptr;
  EXPECT_EQ(MdfFirstChannel(group, &first), kMdfOk);
  EXPECT_EQ(first, channel);
  int open = 1;
  while (MdfNextChannel(&first) == kMdfOk) ++open;
  EXPECT_EQ(open, 3);
  EXPECT_EQ(first, nullptr);

  script.Box(ErrorBox(kMdfUnknownFormulaType, "(id=9)"));
  EXPECT_EQ(MdfSetConversion(byName, 9, "x", {}), kMdfUnknownFormulaType);
  MdfClose(file);

  // A group without a time channel.
  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  file = OpenRead(Save(BuildMdf({DgDef{.groups = {Group16(1)}, .data = U16Records({1})}}), "notime.mdf"));
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
  script.Box(ErrorBox(kMdfTimeChannelNotFound));
  EXPECT_EQ(MdfOpenTimeChannel(&channel, group), kMdfTimeChannelNotFound);
}

TEST_F(Open, ANewFileStartsWithTheLibrarysHeader) {
  ASSERT_EQ(MdfInitLibrary("ZephanorImport"), kMdfOk);
  const std::string path = dir.File("new.mdf");
  WriteFileBytes(path, "old content that goes");
  MdfFileRecord* file = nullptr;
  ASSERT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenCreate), kMdfOk);
  ASSERT_EQ(MdfClose(file), kMdfOk);
  const std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 64u + 164u);
  EXPECT_EQ(bytes.substr(0, 24), "MDF     2.00    Zephanor");
  EXPECT_EQ(bytes.substr(28, 2), LeBytes(200, 2));
  EXPECT_EQ(bytes.substr(64, 4), "HD" + LeBytes(164, 2));
  EXPECT_EQ(bytes.substr(64 + 36, 12), std::string("REV-Azozuri\0", 12));
  ASSERT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenRead), kMdfOk);
  uint16_t groups = 1;
  EXPECT_EQ(MdfGetGroupCount(&groups, file), kMdfOk);
  EXPECT_EQ(groups, 0);
  MdfClose(file);
}

TEST_F(Open, AGroupWrittenByTheLibraryReadsBack) {
  const std::string path = dir.File("made.mdf");
  MdfFileRecord* file = nullptr;
  ASSERT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenCreate), kMdfOk);
  ASSERT_EQ(MdfSetHeaderInfo(file, "01:02:2003", "04:05:06", "made here", "me", "lab", "proj", "subj"), kMdfOk);
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, file, 0, kMdfOpenCreate), kMdfOk);
  MdfGroupRecord* second = nullptr;
  script.Box(ErrorBox(kMdfErrGroupCreate));
  EXPECT_EQ(MdfOpenGroup(&second, file, 0, kMdfOpenCreate), kMdfErrGroupCreate);
  // The refusal is recorded: start again.
  MdfExitLibrary();
  ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
  ASSERT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenCreate), kMdfOk);
  ASSERT_EQ(MdfSetHeaderInfo(file, "01:02:2003", "04:05:06", "made here", "me", "lab", "proj", "subj"), kMdfOk);
  ASSERT_EQ(MdfOpenGroup(&group, file, 0, kMdfOpenCreate), kMdfOk);

  MdfChannelRecord* time = nullptr;
  MdfChannelRecord* level = nullptr;
  MdfChannelRecord* flag = nullptr;
  ASSERT_EQ(MdfCreateChannel(&time, group, kChannelTypeTime, 0, kDataTypeDouble, "time"), kMdfOk);
  ASSERT_EQ(MdfCreateChannel(&level, group, 0, 12, kDataTypeSigned, "level"), kMdfOk);
  ASSERT_EQ(MdfCreateChannel(&flag, group, 0, 1, kDataTypeUnsigned, "flag"), kMdfOk);
  ASSERT_EQ(MdfSetLinearConversion(level, "bar", 1.0, 0.5), kMdfOk);
  ASSERT_EQ(MdfSetChannelInfo(level, nullptr, "pressure", "a comment"), kMdfOk);
  for (int r = 0; r < 4; ++r) {
    ASSERT_EQ(MdfWriteChannelValue(time, 0.25 * r), kMdfOk);
    ASSERT_EQ(MdfWriteValue(level, -3.0 + r), kMdfOk);  // raw = (value - 1) / 0.5
    ASSERT_EQ(MdfWriteRawValue(flag, r % 2), kMdfOk);
  }
  ASSERT_EQ(MdfCloseGroup(group), kMdfOk);
  ASSERT_EQ(MdfClose(file), kMdfOk);

  std::string comment;
  ASSERT_EQ(MdfOpen(&file, path, &comment, kMdfOpenRead), kMdfOk);
  EXPECT_EQ(comment, "made here");
  MdfHeaderInfo info;
  ASSERT_EQ(MdfGetHeaderInfo(file, &info), kMdfOk);
  EXPECT_EQ(info.date, "01:02:2003");
  EXPECT_EQ(info.subject, "subj");
  EXPECT_EQ(ReadAll(file, 1, 1), (std::vector<double>{0, 0.25, 0.5, 0.75}));
  EXPECT_EQ(ReadAll(file, 1, 2), (std::vector<double>{-3, -2, -1, 0}));
  EXPECT_EQ(ReadAll(file, 1, 3), (std::vector<double>{0, 1, 0, 1}));
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
  ASSERT_EQ(MdfOpenChannel(&level, group, 2), kMdfOk);
  MdfChannelInfo channel;
  ASSERT_EQ(MdfGetChannelInfo(level, &channel), kMdfOk);
  EXPECT_EQ(channel.description, "pressure");
  EXPECT_EQ(channel.comment, "a comment");
  EXPECT_EQ(channel.bits, 12);
  MdfClose(file);
}

TEST_F(Open, AGroupOpenedForModifyingWritesValuesBack) {
  const std::string path = Save(BuildMdf({DgDef{.groups = {Group16(3)}, .data = U16Records({1, 2, 3})}}));
  MdfFileRecord* file = nullptr;
  ASSERT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenModify), kMdfOk);
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenModify), kMdfOk);
  MdfChannelRecord* x = nullptr;
  ASSERT_EQ(MdfOpenChannel(&x, group, 1), kMdfOk);
  for (int r = 0; r < 3; ++r) ASSERT_EQ(MdfWriteRawValue(x, 40 + r), kMdfOk);
  ASSERT_EQ(MdfClose(file), kMdfOk);
  file = OpenRead(path);
  EXPECT_EQ(ReadAll(file, 1, 1), (std::vector<double>{40, 41, 42}));
  MdfClose(file);

  // A file opened for reading refuses groups for modifying.
  script.Box(ErrorBox(kMdfErrGroupMode));
  file = OpenRead(path);
  EXPECT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenModify), kMdfErrGroupMode);
}

}  // namespace

namespace {

TEST_F(Open, NeedsSortingClosesTheFileAndReleasesItsLevelWhateverTheAnswer) {
  const std::string sorted = Save(BuildMdf({DgDef{.groups = {Group16(1)}, .data = U16Records({1})}}), "sorted.mdf");
  const std::string unsorted = Save(
      BuildMdf({DgDef{.recordIds = 1, .groups = {Group16(1, 1), Group16(1, 2)}, .data = "\x01\x05\x00\x02\x06\x00"}}),
      "unsorted.mdf");
  MdfFileRecord* kept = OpenRead(sorted);
  EXPECT_EQ(MdfNeedsSorting(unsorted), kMdfMustSort);
  EXPECT_EQ(MdfNeedsSorting(sorted), kMdfOk);
  script.Box(ErrorBox(kMdfCannotOpenFile, dir.File("missing.mdf")));
  EXPECT_EQ(MdfNeedsSorting(dir.File("missing.mdf")), kMdfCannotOpenFile);
  EXPECT_EQ(MdfGetUseCount(), 1);
  EXPECT_EQ(CurrentLibraryCounts().files, 1u);
  EXPECT_EQ(ReadAll(kept, 1, 1), std::vector<double>{1});
  MdfClose(kept);
  // With the library ended, it starts and ends it on its own.
  MdfExitLibrary();
  EXPECT_EQ(MdfNeedsSorting(unsorted), kMdfMustSort);
  EXPECT_EQ(MdfGetUseCount(), 0);
  EXPECT_EQ(CurrentLibraryCounts().blocks, 0u);
}

}  // namespace

namespace {

TEST_F(Open, AnEscapedProgramBlockIsReadWhole) {
  // Special-job data of 70 KB behind the escape, and small Nuvesto data as the file's last block.
  SjJob job{.number = 1, .type = 2, .label = "job", .text = "text", .bytes = std::string(70000, 'j')};
  const std::string big = SpecialJobData(SpecialJob{.jobs = {job}});
  const std::string small = NuvestoData("Nuvesto 4.0", {{"a", "1"}});
  for (const std::string& data : {LeBytes(4 + 4 + big.size(), 4) + big, small}) {
    SCOPED_TRACE(data.size());
    ASSERT_EQ(MdfInitLibrary(nullptr), kMdfOk);
    BuiltMdf built = BuildMdf({DgDef{.groups = {Group16(1)}, .data = U16Records({7})}});
    built.writer.SetLink(built.hd, hd::kProgram, built.writer.AddPrWithLength(data, pr::kEscapeLength));
    MdfFileRecord* file = OpenRead(Save(built));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file, 1, 1), std::vector<double>{7});
    MdfBlock* pr = nullptr;
    ASSERT_EQ(MdfResolveLink(*file->hd, layout::hd::kProgram, &pr), kMdfOk);
    ASSERT_NE(pr, nullptr);
    EXPECT_EQ(pr->Size(), LoadU32(reinterpret_cast<const uint8_t*>(data.data())));
    MdfClose(file);
  }
}

}  // namespace

namespace {

TEST_F(Open, ACopiedChannelTakesTheSourcesTypesTextsAndConversion) {
  const std::string path = dir.File("copy.mdf");
  MdfFileRecord* file = nullptr;
  ASSERT_EQ(MdfOpen(&file, path, nullptr, kMdfOpenCreate), kMdfOk);
  MdfGroupRecord* group = nullptr;
  ASSERT_EQ(MdfOpenGroup(&group, file, 0, kMdfOpenCreate), kMdfOk);
  MdfChannelRecord* source = nullptr;
  MdfChannelRecord* copy = nullptr;
  ASSERT_EQ(MdfCreateChannel(&source, group, 0, 16, kDataTypeUnsigned, "speed"), kMdfOk);
  ASSERT_EQ(MdfSetLinearConversion(source, "km/h", 0, 2), kMdfOk);
  ASSERT_EQ(MdfSetChannelInfo(source, nullptr, "how fast", "measured"), kMdfOk);
  ASSERT_EQ(MdfCopyChannel(&copy, group, source), kMdfOk);
  for (int r = 0; r < 2; ++r) {
    ASSERT_EQ(MdfWriteValue(source, 10.0 * (r + 1)), kMdfOk);
    ASSERT_EQ(MdfWriteValue(copy, 100.0 * (r + 1)), kMdfOk);
  }
  ASSERT_EQ(MdfClose(file), kMdfOk);

  file = OpenRead(path);
  EXPECT_EQ(ReadAll(file, 1, 1), (std::vector<double>{10, 20}));
  EXPECT_EQ(ReadAll(file, 1, 2), (std::vector<double>{100, 200}));
  ASSERT_EQ(MdfOpenGroup(&group, file, 1, kMdfOpenRead), kMdfOk);
  ASSERT_EQ(MdfOpenChannel(&copy, group, 2), kMdfOk);
  MdfChannelInfo info;
  ASSERT_EQ(MdfGetChannelInfo(copy, &info), kMdfOk);
  EXPECT_EQ(info.name, "speed");
  EXPECT_EQ(info.description, "how fast");
  EXPECT_EQ(info.comment, "measured");
  EXPECT_EQ(info.bits, 16);
  uint16_t type = 0;
  std::string unit;
  ASSERT_EQ(MdfGetConversion(copy, &type, &unit, nullptr), kMdfOk);
  EXPECT_EQ(type, kConvLinear);
  EXPECT_EQ(unit, "km/h");
  MdfClose(file);
}

}  // namespace

#include <gtest/gtest.h>
#include <pthread.h>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "mdf/format.h"
#include "mdf/prgblock.h"
#include "platform/ui/headless.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/file.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/opened_mdf.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;

namespace {

using Opened = OpenedMdf;

std::vector<CCNBlock*> Channels(const CMdf& mdf, int dgIndex = 1) {
  CDGBlock* dg = mdf.GetFirstDG();
  while (dg && dg->GetIndex() != dgIndex) dg = dg->GetNext();
  std::vector<CCNBlock*> out;
  if (!dg || !dg->GetFirstCG()) return out;
  for (CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext()) out.push_back(cn);
  return out;
}

// True when another opening can take the file for writing, i.e. the reader let go of it.
bool FileReleased(const std::string& path) {
  winport::File f;
  return f.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::None);
}

TEST(MdfOpen, ReadsTheBlockTreeOfAWellFormedFile) {
  FileDef def = SimpleFileDef(2, 3, 10, "TESTPROG");
  def.hd.author = "Tester";
  def.fileComment = "file comment";
  def.groups[0].comment = "group comment";
  def.groups[1].channels[1].cc = CcLinear(0.5, -10, "km/h");
  def.groups[1].channels[1].longName = "a long name";
  Opened o(BuildFile(def).writer.Bytes());
  ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
  EXPECT_FALSE(o.mdf.IsOpen());
  EXPECT_EQ(o.mdf.GetIDBlock()->GetProgramId(), "TESTPROG");
  EXPECT_EQ(o.mdf.GetHeaderBlock()->GetAuthor(), "Tester");
  ASSERT_NE(o.mdf.GetTextBlock(), nullptr);
  EXPECT_EQ(o.mdf.GetTextBlock()->GetText(), "file comment");
  EXPECT_FALSE(o.mdf.IsKestravo());

  CDGBlock* dg1 = o.mdf.GetFirstDG();
  ASSERT_NE(dg1, nullptr);
  CDGBlock* dg2 = dg1->GetNext();
  ASSERT_NE(dg2, nullptr);
  EXPECT_EQ(dg2->GetNext(), nullptr);
  EXPECT_EQ(dg2->GetIndex(), 2);
  EXPECT_EQ(dg2->GetPrev(), dg1);
  ASSERT_NE(dg1->GetFirstCG()->GetComment(), nullptr);
  EXPECT_EQ(dg1->GetFirstCG()->GetComment()->GetText(), "group comment");
  EXPECT_EQ(dg1->GetFirstCG()->GetNumberOfRecords(), 10u);
  ASSERT_NE(dg1->GetDataBlock(), nullptr);

  const auto cns = Channels(o.mdf, 2);
  ASSERT_EQ(cns.size(), 4u);
  EXPECT_EQ(cns[0]->GetSignalName(), "time");
  EXPECT_EQ(dg2->GetTimeChannel(), cns[0]);
  EXPECT_EQ(cns[2]->GetSignalName(), "sig2_2");
  EXPECT_EQ(cns[2]->GetIndex(), 3);
  EXPECT_EQ(cns[1]->GetAsamName(), "a long name");
  EXPECT_EQ(cns[2]->GetAsamName(), "");
  ASSERT_NE(cns[1]->GetConversion(), nullptr);
  EXPECT_EQ(cns[1]->GetConversion()->GetUnit(), "km/h");
  // A time channel without a NoValue entry gets the default marker.
  EXPECT_TRUE(cns[0]->IsNoValueSet());
  EXPECT_EQ(cns[0]->GetNoValue(), 1e308);
  EXPECT_TRUE(FileReleased(o.path));
}

TEST(MdfOpen, RefusesWhatIsNotAnMdfFile) {
  const std::string good = BuildFile(SimpleFileDef(1, 1, 1)).writer.Bytes();
  std::string wrongId = good;
  wrongId.replace(0, 8, "MDF4    ");
  for (const std::string& bytes : {wrongId, good.substr(0, 63), std::string()}) {
    Opened o(bytes);
    EXPECT_EQ(o.result, 0);
    EXPECT_FALSE(o.mdf.IsOpen());
    EXPECT_TRUE(FileReleased(o.path));
  }
  CMdf missing;
  EXPECT_EQ(missing.Open("/nonexistent/dir/file.mdf"), 0);
}

TEST(MdfOpen, FileWithoutDataGroupsOpensEmpty) {
  MdfWriter w;
  w.AddHd(HdSpec{});
  Opened o(w.Bytes());
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(o.mdf.GetFirstDG(), nullptr);
  EXPECT_TRUE(o.mdf.IsPrWritable());
  ASSERT_NE(o.mdf.GetPrgBlock(), nullptr);
  EXPECT_EQ(o.mdf.GetPrgBlock()->GetFilePos(), static_cast<int64_t>(w.Size()));
}

TEST(MdfOpen, DataGroupChainEndsAtALinkPastTheFileButFailsOnAShortBlock) {
  BuiltFile f = BuildFile(SimpleFileDef(1, 1, 4));
  f.writer.PatchU16(f.hd + hd::kDgCount, 2);
  {
    MdfWriter w = f.writer;
    w.SetLink(f.groups[0].dg, dg::kNext, w.Size() + 1000);
    Opened o(w.Bytes());
    EXPECT_EQ(o.result, 1) << o.mdf.GetLastError();
    EXPECT_EQ(o.mdf.GetFirstDG()->GetNextLink(), 0u);
  }
  {
    MdfWriter w = f.writer;
    w.SetLink(f.groups[0].dg, dg::kNext, w.Size() - 10);  // inside the file, block cut short
    Opened o(w.Bytes());
    EXPECT_EQ(o.result, 0);
    EXPECT_FALSE(o.mdf.IsOpen());
  }
}

TEST(MdfOpen, UnsortedFileIsRefusedWithAMessageOnlyWhenMessagesAreOn) {
  BuiltFile f = BuildFile(SimpleFileDef(1, 1, 4));
  f.writer.PatchU16(f.groups[0].dg + dg::kCgCount, 2);
  {
    winport::ui::ScriptedAnswers none;  // messages off: no box at all
    Opened o(f.writer.Bytes());
    EXPECT_EQ(o.result, 0);
    EXPECT_FALSE(o.mdf.IsOpen());
    EXPECT_TRUE(FileReleased(o.path));
  }
  winport::ui::ScriptedAnswers script;
  winport::ui::ExpectedDialog unsorted;
  unsorted.text = Ansi("Die Datei ist unsortiert.\nBitte sortieren Sie zunächst.");
  unsorted.type = MB_OK | MB_ICONERROR;
  script.Box(unsorted);
  TempDir dir;
  f.writer.Save(dir.File("u.mdf"));
  CMdf mdf;
  EXPECT_EQ(mdf.Open(dir.File("u.mdf")), 0);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

// Links that point back into a chain end the open with a failure instead of
// looping; a link back to a block of the same chain is named as a loop.
TEST(MdfOpen, CyclesInChainsFailTheOpen) {
  struct Case {
    const char* what;
    std::string (*damage)(BuiltFile&);  // a part of the error
  };
  const Case cases[] = {
      {"channel links to itself",
       [](BuiltFile& f) {
         f.writer.SetLink(f.groups[0].cn[1], cn::kNext, f.groups[0].cn[1]);
         return StrFormat("the CN chain at %u loops back to %u", f.groups[0].cn[1], f.groups[0].cn[1]);
       }},
      {"channel links back to the first",
       [](BuiltFile& f) {
         f.writer.SetLink(f.groups[0].cn[2], cn::kNext, f.groups[0].cn[0]);
         return StrFormat("the CN chain at %u loops back to %u", f.groups[0].cn[2], f.groups[0].cn[0]);
       }},
      {"data group links to itself",
       [](BuiltFile& f) {
         f.writer.SetLink(f.groups[1].dg, dg::kNext, f.groups[1].dg);
         return StrFormat("the DG chain at %u loops back to %u", f.groups[1].dg, f.groups[1].dg);
       }},
      {"data group links back to the first",
       [](BuiltFile& f) {
         f.writer.SetLink(f.groups[1].dg, dg::kNext, f.groups[0].dg);
         return StrFormat("the DG chain at %u loops back to %u", f.groups[1].dg, f.groups[0].dg);
       }},
      {"channel group links to itself",
       [](BuiltFile& f) {
         f.writer.SetLink(f.groups[0].cg, cg::kNext, f.groups[0].cg);
         return StrFormat("the CG chain at %u loops back to %u", f.groups[0].cg, f.groups[0].cg);
       }},
      {"second group's channels are the first group's",
       [](BuiltFile& f) {
         f.writer.SetLink(f.groups[1].cg, cg::kFirstCn, f.groups[0].cn[0]);
         return StrFormat("the channel block at %u is linked twice", f.groups[0].cn[0]);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuiltFile f = BuildFile(SimpleFileDef(2, 2, 3));
    const std::string expected = c.damage(f);
    Opened o(f.writer.Bytes());
    EXPECT_EQ(o.result, 0);
    EXPECT_NE(o.mdf.GetLastError().find(expected), std::string::npos) << o.mdf.GetLastError();
    EXPECT_FALSE(o.mdf.IsOpen());
    EXPECT_TRUE(FileReleased(o.path));
  }
}

// Chains are followed to a next link of 0: counts lower than the chains
// refuse nothing, and higher ones add nothing.
TEST(MdfOpen, ChainsAreFollowedWhateverTheCountsSay) {
  for (const uint16_t count : {uint16_t{1}, uint16_t{9}}) {
    SCOPED_TRACE(count);
    BuiltFile f = BuildFile(SimpleFileDef(2, 2, 3));
    f.writer.PatchU16(f.hd + hd::kDgCount, count);
    f.writer.PatchU16(f.groups[0].cg + cg::kCnCount, count);
    f.writer.PatchU16(f.groups[1].dg + dg::kCgCount, 0);
    Opened o(f.writer.Bytes());
    ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
    ASSERT_NE(o.mdf.GetFirstDG()->GetNext(), nullptr);
    EXPECT_EQ(o.mdf.GetFirstDG()->GetNext()->GetNext(), nullptr);
    EXPECT_NE(o.mdf.GetFirstDG()->GetNext()->GetFirstCG(), nullptr);
    EXPECT_EQ(Channels(o.mdf, 1).size() + Channels(o.mdf, 2).size(), 6u);
  }
  // Two channel groups linked from one data group are an unsorted file, whatever its count.
  BuiltFile f = BuildFile(SimpleFileDef(2, 2, 3));
  f.writer.SetLink(f.groups[0].cg, cg::kNext, f.groups[1].cg);
  f.writer.SetLink(f.groups[0].dg, dg::kNext, 0);
  Opened o(f.writer.Bytes());
  EXPECT_EQ(o.result, 0);
  EXPECT_NE(o.mdf.GetLastError().find("unsorted"), std::string::npos) << o.mdf.GetLastError();
}

TEST(MdfOpen, ChannelBlockLengthsAboveAndBelowTheFixedSize) {
  FileDef def = SimpleFileDef(1, 2, 3);
  BuiltFile f = BuildFile(def);
  MdfWriter w = f.writer;
  w.PatchU16(f.groups[0].cn[1] + head::kLength, 300);  // longer: known fields only
  // The older layout ends before the long-name link: the fields after it stay 0.
  w.PatchU16(f.groups[0].cn[2] + head::kLength, 218);
  w.PatchU32(f.groups[0].cn[2] + cn::kDisplayName, 0xFFFFFFF0u);
  w.PatchU16(f.groups[0].cn[2] + cn::kByteOffset, 3);
  Opened o(w.Bytes());
  ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
  const auto cns = Channels(o.mdf);
  EXPECT_EQ(cns[1]->GetBlockLength(), 228u);
  EXPECT_EQ(cns[1]->GetNumberOfBits(), 16);
  EXPECT_EQ(cns[2]->GetBlockLength(), 218u);
  EXPECT_EQ(cns[2]->GetNumberOfBits(), 16);
  EXPECT_EQ(cns[2]->GetDisplayNameLink(), 0u);
  EXPECT_EQ(cns[2]->GetAdditionalByteOffset(), 0);
}

TEST(MdfOpen, FloatOfMoreThan32BitsReadsAsDouble) {
  FileDef def = SimpleFileDef(1, 2, 1);
  def.groups[0].channels[1].cn.dataType = dt::kFloat;
  def.groups[0].channels[1].cn.bits = 64;
  def.groups[0].channels[2].cn.dataType = dt::kFloat;
  def.groups[0].channels[2].cn.bits = 32;
  Opened o(BuildFile(def).writer.Bytes());
  ASSERT_EQ(o.result, 1);
  const auto cns = Channels(o.mdf);
  EXPECT_EQ(cns[1]->GetDataType(), 3);
  EXPECT_EQ(cns[2]->GetDataType(), 2);
}

TEST(MdfOpen, TextBlocksWithHeadLengthBelowFourAreEmpty) {
  FileDef def = SimpleFileDef(1, 1, 1);
  def.fileComment = "comment";
  for (uint16_t length : {0, 3}) {
    BuiltFile f = BuildFile(def);
    f.writer.PatchU16(f.comment + head::kLength, length);
    Opened o(f.writer.Bytes());
    ASSERT_EQ(o.result, 1);
    ASSERT_NE(o.mdf.GetTextBlock(), nullptr);
    EXPECT_EQ(o.mdf.GetTextBlock()->GetText(), "");
    EXPECT_EQ(o.mdf.GetTextBlock()->GetBlockLength(), 0u);
  }
}

TEST(MdfOpen, RangeValidChannelConvertsItsLimits) {
  FileDef def = SimpleFileDef(1, 1, 1);
  ChannelDef& ch = def.groups[0].channels[1];
  ch.cn.rangeValid = 1;
  ch.cn.minRaw = 10;
  ch.cn.maxRaw = 30;
  ch.cc = CcLinear(2, 1);
  Opened o(BuildFile(def).writer.Bytes());
  ASSERT_EQ(o.result, 1);
  const auto cns = Channels(o.mdf);
  EXPECT_EQ(cns[1]->GetMinPhys(), 21);
  EXPECT_EQ(cns[1]->GetMaxPhys(), 61);
}

struct PrCase {
  const char* what;
  std::string data;
  uint16_t readerVersion;
  bool timeInfoValid, prWritable, foreign;
};

TEST(MdfOpen, ProgramBlockDecidesWhetherTimeInformationIsValidOrWritable) {
  const std::string plain = TimeInfoData({});
  std::string foreign = "Zephanor time-stamp descriptors";
  foreign += std::string(1, '\0') + "something else";
  const PrCase cases[] = {
      {"own block, reader 4.74", plain, 1098, true, false, false},
      {"own block, reader 2.0", plain, 0x0200, false, false, false},
      {"block without version", foreign, 1098, false, true, true},
      {"special-job data", SpecialJobData({}), 1098, false, true, false},
      {"other data", "abcdef", 1098, false, false, false},
  };
  for (const PrCase& c : cases) {
    SCOPED_TRACE(c.what);
    FileDef def = SimpleFileDef(1, 1, 1);
    def.programData = c.data;
    BuiltFile f = BuildFile(def);
    Opened o(f.writer.Bytes(), MdfProfile::Import, c.readerVersion);
    ASSERT_EQ(o.result, 1);
    EXPECT_EQ(o.mdf.IsTimeInfoValid(), c.timeInfoValid);
    EXPECT_EQ(o.mdf.IsPrWritable(), c.prWritable);
    EXPECT_EQ(o.mdf.IsForeignPr(), c.foreign);
    if (c.timeInfoValid) {
      EXPECT_EQ(o.mdf.GetPrPosition(), f.program);
    }
  }
}

TEST(MdfOpen, OldProgramDataPositionComesFromTheHeaderRecord) {
  FileDef def = SimpleFileDef(1, 1, 1);
  def.programData = TimeInfoData({TimeInfoHeaderRecordBytes(321, 4567)});
  Opened o(BuildFile(def).writer.Bytes());
  ASSERT_EQ(o.result, 1);
  EXPECT_TRUE(o.mdf.IsTimeInfoValid());
  EXPECT_EQ(o.mdf.GetOldPrDataPosition(), 4567);
  EXPECT_EQ(o.mdf.GetOldPrDataSize(), 321);
}

TEST(MdfOpen, LargeFileWithoutProgramBlockIsNotPrWritable) {
  MdfWriter w;
  w.AddHd(HdSpec{});
  TempDir dir;
  const std::string path = dir.File("big.mdf");
  WriteFileBytes(path, w.Bytes());
  {
    winport::File f;
    ASSERT_TRUE(f.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::None));
    ASSERT_TRUE(f.Truncate(CMdf::kPrWritableLimit));  // sparse
  }
  CMdf mdf;
  ASSERT_EQ(mdf.Open(path), 1);
  EXPECT_FALSE(mdf.IsPrWritable());
  {
    winport::File f;
    ASSERT_TRUE(f.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::None));
    ASSERT_TRUE(f.Truncate(CMdf::kPrWritableLimit - 1));
  }
  CMdf smaller;
  ASSERT_EQ(smaller.Open(path), 1);
  EXPECT_TRUE(smaller.IsPrWritable());
}

TEST(MdfOpen, ComposingAFileThatCannotBeComposedFails) {
  // A KESTRAVO group with records but no time channel.
  FileDef def = SimpleFileDef(1, 2, 3, "KESTRAVO");
  def.groups[0].channels[0].cn.channelType = 0;
  TempDir dir;
  const std::string path = dir.File("k.mdf");
  BuildFile(def).writer.Save(path);
  CMdf mdf;
  mdf.SetShowMessages(false);
  mdf.SetCompose(true);
  EXPECT_EQ(mdf.Open(path), 0);
  EXPECT_FALSE(mdf.IsOpen());
  EXPECT_TRUE(FileReleased(path));
}

TEST(StripParenSuffix, CutsTheParenthesisedSuffix) {
  const std::pair<std::string, std::string> cases[] = {
      {"Speed (CAN1)", "Speed"}, {"Speed(CAN1)", "Speed"}, {"Speed", "Speed"},
      {"(CAN1)", ""},            {"a (b) (c)", "a (b)"},   {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(StripParenSuffix(in), out) << in;
}

TEST(MdfDisplay, FileSizeIsGroupedWithPoints) {
  // A ten-digit size gets only two points, after its fourth and seventh
  // digits; sizes above 4 GiB are shown whole.
  const std::pair<uint64_t, std::string> cases[] = {{999, "999 Bytes"},
                                                    {1000, "1.000 Bytes"},
                                                    {1234567, "1.234.567 Bytes"},
                                                    {1234567890, "1234.567.890 Bytes"},
                                                    {5000000123ull, "5000.000.123 Bytes"}};
  for (const auto& [size, text] : cases) {
    MdfWriter w;
    w.AddHd(HdSpec{});
    TempDir dir;
    const std::string path = dir.File("f.mdf");
    w.Save(path);
    {
      winport::File f;  // sparse up to the size
      ASSERT_TRUE(f.Open(path, winport::FileAccess::ReadWrite, winport::FileShare::None));
      ASSERT_TRUE(f.Truncate(static_cast<int64_t>(size)));
    }
    CMdf mdf;
    ASSERT_EQ(mdf.Open(path), 1);
    CMemoryList list;
    mdf.Display(list);
    ASSERT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(0, 0), "Pathname");
    EXPECT_EQ(list.GetItemText(0, 1), path);
    EXPECT_EQ(list.GetItemText(1, 0), "File size");
    EXPECT_EQ(list.GetItemText(1, 1), text);
  }
}

TEST(MdfCreate, WritesIdentificationAndHeader) {
  TempDir dir;
  const std::string path = dir.File("new.mdf");
  {
    CMdf mdf;
    ASSERT_EQ(mdf.Create(path, "ABC", 330), 1);
    EXPECT_TRUE(mdf.IsOpen());
  }
  const std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 64u + 208u);
  EXPECT_EQ(bytes.substr(0, 8), "MDF     ");
  EXPECT_EQ(bytes.substr(8, 8), "3.30    ");
  EXPECT_EQ(bytes.substr(16, 8), "     ABC");
  EXPECT_EQ(static_cast<uint8_t>(bytes[28]) | (static_cast<uint8_t>(bytes[29]) << 8), 330);
  EXPECT_EQ(bytes.substr(64, 2), "HD");
  EXPECT_EQ(static_cast<uint8_t>(bytes[66]), 208);
  CMdf reopened;
  EXPECT_EQ(reopened.Open(path), 1);
}

// Deleting the tree of a file with a very long channel chain must not recurse
// once per block: it runs here on a thread with a small stack.
TEST(MdfOpen, DeletingALongChainDoesNotRecurse) {
  FileDef def = SimpleFileDef(1, 0, 0);
  for (int i = 0; i < 60000; ++i) {
    ChannelDef ch;
    ch.cn = CnSpec{.name = "c", .bits = 8, .dataType = dt::kUInt};
    def.groups[0].channels.push_back(ch);
  }
  def.groups[0].autoLayout = false;
  def.groups[0].recordSize = 1;
  TempDir dir;
  const std::string path = dir.File("long.mdf");
  BuildFile(def).writer.Save(path);

  struct Job {
    std::string path;
    int result = -1;
    size_t channels = 0;
  } job{path};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* p) -> void* {
                  auto* j = static_cast<Job*>(p);
                  auto mdf = std::make_unique<CMdf>();
                  j->result = mdf->Open(j->path);
                  j->channels = Channels(*mdf).size();
                  mdf.reset();
                  return nullptr;
                },
                &job),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(job.result, 1);
  EXPECT_EQ(job.channels, 60001u);
}

}  // namespace

namespace {

// Many channels linking one long comment would hold a copy each: the open
// stops once the texts add up to far more than the file.
TEST(MdfOpen, TextsSharedByManyBlocksAreBounded) {
  FileDef def = SimpleFileDef(1, 0, 1);
  for (int i = 0; i < 4000; ++i) {
    ChannelDef ch;
    ch.cn = CnSpec{.name = "c", .bits = 8, .dataType = dt::kUInt};
    def.groups[0].channels.push_back(ch);
  }
  def.groups[0].autoLayout = false;
  def.groups[0].recordSize = 1;
  BuiltFile f = BuildFile(def);
  const uint32_t text = f.writer.AddTx(std::string(65000, 'x'));
  for (uint32_t cn : f.groups[0].cn) {
    f.writer.SetLink(cn, cn::kComment, text);
    f.writer.SetLink(cn, cn::kLongName, text);
    f.writer.SetLink(cn, cn::kDisplayName, text);
  }
  Opened o(f.writer.Bytes());  // about 1 MB of file asking for 780 MB of texts
  EXPECT_EQ(o.result, 0);
  EXPECT_NE(o.mdf.GetLastError().find("texts"), std::string::npos) << o.mdf.GetLastError();

  // A few channels sharing one comment open as usual.
  BuiltFile g = BuildFile(SimpleFileDef(1, 3, 2));
  const uint32_t shared = g.writer.AddTx("shared comment");
  for (uint32_t cn : g.groups[0].cn) g.writer.SetLink(cn, cn::kComment, shared);
  Opened ok(g.writer.Bytes());
  ASSERT_EQ(ok.result, 1) << ok.mdf.GetLastError();
  EXPECT_EQ(Channels(ok.mdf)[2]->GetComment()->GetText(), "shared comment");
}

}  // namespace

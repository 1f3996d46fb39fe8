// Damaged files: every damage of the table fails the open with an error that
// names the block's kind and its file position, instead of giving values that
// look right and are not.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "platform/ui/headless.h"
#include "platform/ui/messagebox.h"
#include "mdf/format.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;

namespace {

// A file with every kind of block: a file comment, a program block, and two
// groups whose first data channel has a conversion, an extension and a
// comment; the second group's records begin with their identifier.
BuiltFile DamageBase() {
  FileDef def = SimpleFileDef(2, 2, 5, "TESTPROG");
  def.fileComment = "file comment";
  def.programData = "program data";
  for (GroupDef& g : def.groups) {
    g.channels[1].cc = CcLinear(2, 1, "V");
    g.channels[1].ce = CeIdent(0, "ident");
    g.channels[1].comment = "channel comment";
  }
  def.groups[1].recordIds = 1;
  def.groups[1].recordId = 7;
  return BuildFile(def);
}

uint32_t LinkAt(const MdfWriter& w, uint32_t pos) {
  const std::string& b = w.Bytes();
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[pos + i]);
  return v;
}

// Appends a channel at the end of the file behind the first group's last one.
uint32_t AppendChannel(BuiltFile& f, CnSpec spec) {
  const uint32_t added = f.writer.AddCn(spec);
  f.writer.SetLink(f.groups[0].cn.back(), cn::kNext, added);
  f.writer.PatchU16(f.groups[0].cg + cg::kCnCount, static_cast<uint16_t>(f.groups[0].cn.size() + 1));
  return added;
}

// Appends a conversion block at the end of the file, linked from the first group's data channel.
uint32_t AppendConversion(BuiltFile& f, const CcSpec& spec) {
  const uint32_t added = f.writer.AddCc(spec);
  f.writer.SetLink(f.groups[0].cn[1], cn::kConversion, added);
  return added;
}

std::string At(const char* kind, uint32_t pos) { return StrFormat("the %s block at %u ", kind, pos); }

struct DamageCase {
  const char* what;
  // Damages the file; returns a part of the error the open must give.
  std::function<std::string(BuiltFile&)> damage;
};

const DamageCase kDamages[] = {
    // A link to a block of another kind.
    {"header of another kind",
     [](BuiltFile& f) {
       f.writer.PatchBytes(f.hd, "XY");
       return At("HD", f.hd) + "has the identifier \"XY\"";
     }},
    {"file comment linking a channel group",
     [](BuiltFile& f) {
       f.writer.SetLink(f.hd, hd::kComment, f.groups[0].cg);
       return At("TX", f.groups[0].cg) + "has the identifier \"CG\"";
     }},
    {"program block linking a data group",
     [](BuiltFile& f) {
       f.writer.SetLink(f.hd, hd::kProgram, f.groups[0].dg);
       return At("PR", f.groups[0].dg) + "has the identifier \"DG\"";
     }},
    {"first data group linking a channel group",
     [](BuiltFile& f) {
       f.writer.SetLink(f.hd, hd::kFirstDg, f.groups[0].cg);
       return At("DG", f.groups[0].cg) + "has the identifier \"CG\"";
     }},
    {"channel group linking a channel",
     [](BuiltFile& f) {
       f.writer.SetLink(f.groups[1].dg, dg::kFirstCg, f.groups[1].cn[0]);
       return At("CG", f.groups[1].cn[0]) + "has the identifier \"CN\"";
     }},
    {"first channel linking a conversion",
     [](BuiltFile& f) {
       f.writer.SetLink(f.groups[0].cg, cg::kFirstCn, f.groups[0].cc[1]);
       return At("CN", f.groups[0].cc[1]) + "has the identifier \"CC\"";
     }},
    {"conversion taken from a channel block",
     [](BuiltFile& f) {
       f.writer.SetLink(f.groups[1].cn[1], cn::kConversion, f.groups[1].cn[0]);
       return At("CC", f.groups[1].cn[0]) + "has the identifier \"CN\"";
     }},
    {"extension linking a text",
     [](BuiltFile& f) {
       const uint32_t text = LinkAt(f.writer, f.groups[0].cn[1] + cn::kComment);
       f.writer.SetLink(f.groups[0].cn[1], cn::kExtension, text);
       return At("CE", text) + "has the identifier \"TX\"";
     }},
    {"channel comment linking zeros",
     [](BuiltFile& f) {
       const uint32_t zeros = f.writer.AddBytes(std::string(16, '\0'));
       f.writer.SetLink(f.groups[0].cn[1], cn::kComment, zeros);
       return At("TX", zeros) + "has the identifier 0x0000";
     }},
    // A declared length below the block's fixed part.
    {"header of 100 bytes",
     [](BuiltFile& f) {
       f.writer.PatchU16(f.hd + head::kLength, 100);
       return At("HD", f.hd) + "is 100 bytes long, shorter than its fixed part of 164 bytes";
     }},
    {"data group of 2 bytes",
     [](BuiltFile& f) {
       f.writer.PatchU16(f.groups[1].dg + head::kLength, 2);
       return At("DG", f.groups[1].dg) + "is 4 bytes long";
     }},
    {"channel group of 20 bytes",
     [](BuiltFile& f) {
       f.writer.PatchU16(f.groups[0].cg + head::kLength, 20);
       return At("CG", f.groups[0].cg) + "is 20 bytes long";
     }},
    {"channel of 2 bytes",
     [](BuiltFile& f) {
       f.writer.PatchU16(f.groups[0].cn[2] + head::kLength, 2);
       return At("CN", f.groups[0].cn[2]) + "is 4 bytes long, shorter than its fixed part of 218 bytes";
     }},
    {"channel of 200 bytes, too short for its range fields",
     [](BuiltFile& f) {
       f.writer.PatchU16(f.groups[0].cn[1] + head::kLength, 200);
       return At("CN", f.groups[0].cn[1]) + "is 200 bytes long";
     }},
    {"conversion of 16 bytes",
     [](BuiltFile& f) {
       f.writer.PatchU16(f.groups[0].cc[1] + head::kLength, 16);
       return At("CC", f.groups[0].cc[1]) + "is 16 bytes long, shorter than its fixed part of 46 bytes";
     }},
    {"extension of 3 bytes",
     [](BuiltFile& f) {
       f.writer.PatchU16(f.groups[1].ce[1] + head::kLength, 3);
       return At("CE", f.groups[1].ce[1]) + "is 4 bytes long";
     }},
    // Conversion tables and parameters beyond the block's length.
    {"interpolation table claiming 65535 pairs in 78 bytes",
     [](BuiltFile& f) {
       const uint32_t cc = AppendConversion(f, CcTable({{0, 0}, {10, 100}}, true));
       f.writer.Truncate(cc + 78);  // nothing but the block after it, whatever the count
       f.writer.PatchU16(cc + cc::kSize, 65535);
       return At("CC", cc) + "is 78 bytes long, too short for its 65535 table entries";
     }},
    {"lookup table claiming 3 pairs in a block of 2",
     [](BuiltFile& f) {
       const uint32_t cc = AppendConversion(f, CcTable({{0, 0}, {10, 100}}, false));
       f.writer.AddTx("whatever follows");
       f.writer.PatchU16(cc + cc::kSize, 3);
       return At("CC", cc) + "is 78 bytes long, too short for its 3 table entries";
     }},
    {"text table claiming more entries than its block holds",
     [](BuiltFile& f) {
       const uint32_t cc = AppendConversion(f, CcTextTable({{1, "one"}, {2, "two"}}));
       f.writer.AddTx("whatever follows");
       f.writer.PatchU16(cc + cc::kSize, 3);
       return At("CC", cc) + "is 126 bytes long, too short for its 3 table entries";
     }},
    {"linear conversion without its parameters",
     [](BuiltFile& f) {
       CcSpec cc = CcLinear(2, 1);
       cc.blockLength = 46;
       const uint32_t pos = AppendConversion(f, cc);
       return At("CC", pos) + "is 46 bytes long, too short for its 2 parameters";
     }},
    {"rational conversion with five of its six parameters",
     [](BuiltFile& f) {
       CcSpec cc = CcRational({1, 2, 3, 4, 5, 6});
       cc.blockLength = 46 + 40;
       const uint32_t pos = AppendConversion(f, cc);
       return At("CC", pos) + "is 86 bytes long, too short for its 6 parameters";
     }},
    {"text-range table without its default range",
     [](BuiltFile& f) {
       CcSpec cc = CcTextRange(std::nullopt, {});
       cc.blockLength = 50;
       const uint32_t pos = AppendConversion(f, cc);
       return At("CC", pos) + "is 50 bytes long, too short for its default range";
     }},
    {"text-range table whose range text links a channel",
     [](BuiltFile& f) {
       const uint32_t cc = AppendConversion(f, CcTextRange(std::nullopt, {CcRange{1, 5, "a"}, CcRange{6, 9, "b"}}));
       f.writer.SetLink(cc, cc::RangeTextLink(2), f.groups[0].cn[0]);
       return At("TX", f.groups[0].cn[0]) + "has the identifier \"CN\"";
     }},
    // Blocks that the file ends inside, and links past its end.
    {"channel cut by the end of the file",
     [](BuiltFile& f) {
       const uint32_t cn = AppendChannel(f, CnSpec{.name = "cut"});
       f.writer.Truncate(cn + 100);
       return At("CN", cn) + "ends past the end of the file";
     }},
    {"channel longer than the rest of the file",
     [](BuiltFile& f) {
       const uint32_t cn = AppendChannel(f, CnSpec{.name = "long", .blockLength = 300});
       f.writer.Truncate(cn + 250);
       return At("CN", cn) + "ends past the end of the file";
     }},
    {"next channel past the end of the file",
     [](BuiltFile& f) {
       const uint32_t past = f.writer.Size() + 1000;
       f.writer.SetLink(f.groups[0].cn.back(), cn::kNext, past);
       f.writer.PatchU16(f.groups[0].cg + cg::kCnCount, 4);
       return At("CN", past) + "lies past the end of the file";
     }},
    {"first channel group past the end of the file",
     [](BuiltFile& f) {
       const uint32_t past = f.writer.Size() + 2;
       f.writer.SetLink(f.groups[1].dg, dg::kFirstCg, past);
       return At("CG", past) + "lies past the end of the file";
     }},
    {"conversion past the end of the file",
     [](BuiltFile& f) {
       const uint32_t past = f.writer.Size() + 1000;
       f.writer.SetLink(f.groups[0].cn[1], cn::kConversion, past);
       return At("CC", past) + "lies past the end of the file";
     }},
    {"conversion cut by the end of the file before its type",
     [](BuiltFile& f) {
       const uint32_t cut = f.writer.AddBytes("CC" + LeBytes(62, 2) + std::string(20, '\0'));
       f.writer.SetLink(f.groups[0].cn[1], cn::kConversion, cut);
       return At("CC", cut) + "ends past the end of the file";
     }},
    {"default text of a conversion past the end of the file",
     [](BuiltFile& f) {
       const uint32_t cc = AppendConversion(f, CcTextRange("x", {CcRange{1, 1, "y"}}));
       const uint32_t past = f.writer.Size() + 100;
       f.writer.PatchU32(cc + cc::RangeTextLink(0), past);
       return At("TX", past) + "lies past the end of the file";
     }},
    {"text cut by the end of the file",
     [](BuiltFile& f) {
       const uint32_t text = f.writer.AddTx(std::string(100, 'x'));
       f.writer.SetLink(f.groups[0].cn[2], cn::kComment, text);
       f.writer.Truncate(text + 50);
       return At("TX", text) + "ends past the end of the file";
     }},
    // Records that do not begin with their channel group's identifier.
    {"first record without its identifier",
     [](BuiltFile& f) {
       f.writer.PatchU8(f.groups[1].data, 8);
       return At("DG", f.groups[1].dg) +
              StrFormat("has records without their channel group's record identifier 7: record 0 (at %u) begins with 8",
                        f.groups[1].data);
     }},
    {"last whole record without its identifier",
     [](BuiltFile& f) {
       const uint32_t length = f.groups[1].recordSize + 1u;
       f.writer.PatchU8(f.groups[1].data + 4 * length, 3);
       return StrFormat("record 4 (at %u) begins with 3", f.groups[1].data + 4 * length);
     }},
};

TEST(DamagedFile, EveryDamageFailsTheOpenAndSaysWhatAndWhere) {
  {
    TempDir dir;
    DamageBase().writer.Save(dir.File("intact.mdf"));
    CMdf intact;
    intact.SetShowMessages(false);
    ASSERT_EQ(intact.Open(dir.File("intact.mdf")), 1) << intact.GetLastError();
  }
  for (const DamageCase& c : kDamages) {
    SCOPED_TRACE(c.what);
    BuiltFile f = DamageBase();
    const std::string expected = c.damage(f);
    TempDir dir;
    const std::string path = dir.File("damaged.mdf");
    f.writer.Save(path);
    CMdf mdf;
    mdf.SetShowMessages(false);
    EXPECT_EQ(mdf.Open(path), 0);
    EXPECT_FALSE(mdf.IsOpen());
    EXPECT_NE(mdf.GetLastError().find(expected), std::string::npos)
        << "error: " << mdf.GetLastError() << "\nexpected a part: " << expected;
  }
}

// Records without their identifier are damage, not an unsorted file: sorting
// cannot mend them, so no box asks for it, even with messages on.
TEST(DamagedFile, RecordsWithoutTheirIdentifierAreNoUnsortedFile) {
  BuiltFile f = DamageBase();
  f.writer.PatchU8(f.groups[1].data, 8);
  TempDir dir;
  f.writer.Save(dir.File("u.mdf"));
  winport::ui::ScriptedAnswers script;  // no box expected
  CMdf mdf;
  EXPECT_EQ(mdf.Open(dir.File("u.mdf")), 0);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(mdf.GetLastError().find("unsorted"), std::string::npos) << mdf.GetLastError();
}

// A file that ends inside the records is no damage of its structure: the
// whole records are checked, and the rest is left to the readers.
TEST(DamagedFile, RecordsCutByTheEndOfTheFileAreCheckedUpToTheLastWholeOne) {
  BuiltFile f = DamageBase();
  const uint32_t length = f.groups[1].recordSize + 1u;
  f.writer.Truncate(f.groups[1].data + 3 * length + 2);
  TempDir dir;
  f.writer.Save(dir.File("cut.mdf"));
  CMdf mdf;
  mdf.SetShowMessages(false);
  EXPECT_EQ(mdf.Open(dir.File("cut.mdf")), 1) << mdf.GetLastError();
  f.writer.PatchU8(f.groups[1].data + 2 * length, 9);
  f.writer.Save(dir.File("cut.mdf"));
  EXPECT_EQ(mdf.Open(dir.File("cut.mdf")), 0);
  EXPECT_NE(mdf.GetLastError().find("record 2 (at"), std::string::npos) << mdf.GetLastError();
}

// A group that counts more records than its data area holds, another group's
// blocks behind them: its records are checked up to the last whole one of its
// data area, not within the blocks behind it.
TEST(DamagedFile, RecordsShortOfTheirCountAreCheckedWithinTheirDataArea) {
  FileDef def = SimpleFileDef(2, 1, 5, "TESTPROG");
  def.groups[0].recordIds = 1;
  BuiltFile f = BuildFile(def);
  f.writer.PatchU32(f.groups[0].cg + cg::kRecordCount, 8);
  TempDir dir;
  f.writer.Save(dir.File("short.mdf"));
  CMdf mdf;
  mdf.SetShowMessages(false);
  ASSERT_EQ(mdf.Open(dir.File("short.mdf")), 1) << mdf.GetLastError();
  EXPECT_EQ(mdf.GetFirstDG()->GetDataBlock()->GetRecordsInFile(), 5u);
  EXPECT_TRUE(mdf.HasShortDataArea());
  // The last whole record of the data area is checked still.
  const uint32_t length = f.groups[0].recordSize + 1u;
  f.writer.PatchU8(f.groups[0].data + 4 * length, 9);
  f.writer.Save(dir.File("short.mdf"));
  EXPECT_EQ(mdf.Open(dir.File("short.mdf")), 0);
  EXPECT_NE(mdf.GetLastError().find("record 4 (at"), std::string::npos) << mdf.GetLastError();
}

}  // namespace

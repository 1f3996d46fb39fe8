#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mdf/ccblock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "platform/win32/file.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/opened_mdf.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

// The rows a block writes, label and value.
Rows RowsOf(CMdfBase& block) {
  CMemoryList list;
  block.Display(list);
  Rows rows;
  for (int r = 0; r < list.GetItemCount(); ++r)
    rows.emplace_back(list.GetItemText(r, 0), list.GetItemText(r, 1));
  return rows;
}

std::vector<std::string> Labels(const Rows& rows) {
  std::vector<std::string> out;
  for (const auto& row : rows) out.push_back(row.first);
  return out;
}

std::string ValueOf(const Rows& rows, const std::string& label) {
  for (const auto& row : rows)
    if (row.first == label) return row.second;
  ADD_FAILURE() << "no row " << label;
  return {};
}

// "decimal, 0xHEX" of a 32-bit value, decimal signed or unsigned.
std::string DecHexText(uint32_t v, bool isSigned = false) {
  std::ostringstream s;
  if (isSigned)
    s << static_cast<int32_t>(v);
  else
    s << v;
  s << ", 0x" << std::hex << std::uppercase << v;
  return s.str();
}
std::string LinkText(uint32_t v) { return DecHexText(v, true); }

uint32_t U32At(const std::string& bytes, uint32_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + static_cast<uint32_t>(i)]);
  return v;
}

struct Opened : OpenedMdf {
  explicit Opened(const std::string& bytes, MdfProfile profile = MdfProfile::Import) : OpenedMdf(bytes, profile) {}
  CCGBlock& Cg() { return *mdf.GetFirstDG()->GetFirstCG(); }
  CCNBlock& Cn(int i) {
    CCNBlock* cn = Cg().GetFirstCN();
    for (int k = 0; k < i; ++k) cn = cn->GetNext();
    return *cn;
  }
};

// Sets the time zone for the scope and puts the previous one back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (previous_)
      setenv("TZ", previous_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> previous_;
};

TEST(InfoColumns, AListGetsPropertyAndContentsOnceAndKeepsThemAfterwards) {
  MdfWriter w;
  w.AddHd(HdSpec{});
  Opened o(w.Bytes());
  ASSERT_EQ(o.result, 1);
  CMemoryList list;
  for (const char* title : {"a", "b", "c"}) list.InsertColumn(9, title, ColumnFormat::Right, 10);
  o.mdf.GetIDBlock()->Display(list);
  ASSERT_EQ(list.GetColumnCount(), 2);
  EXPECT_EQ(list.GetColumnTitle(0), "Property");
  EXPECT_EQ(list.GetColumnTitle(1), "Contents");
  EXPECT_EQ(list.GetColumnWidth(0), 100);
  EXPECT_EQ(list.GetColumnWidth(1), 300);

  // A width the user changed stays; the rows are replaced, not added.
  list.SetColumnWidth(1, 55);
  const int rows = list.GetItemCount();
  o.mdf.GetIDBlock()->Display(list);
  EXPECT_EQ(list.GetColumnWidth(1), 55);
  EXPECT_EQ(list.GetItemCount(), rows);
}

TEST(IdRows, IdentifiersByteOrderFloatFormatAndVersion) {
  struct Case {
    IdSpec id;
    Rows rows;
  } cases[] = {
      {IdSpec{},
       {{"File Pos.", "0, 0x0"}, {"Block length", "64, 0x40"}, {"File ID", "MDF     "},
        {"Format ID", "3.30    "}, {"Program ID", "KESTRAVO"}, {"Byte order", "Intel"},
        {"FP format", "IEEE 754"}, {"Version", "330"}}},
      {IdSpec{.formatId = "3.00", .programId = "TESTPROG", .byteOrder = 1, .floatFormat = 2,
              .version = 300},
       {{"File Pos.", "0, 0x0"}, {"Block length", "64, 0x40"}, {"File ID", "MDF     "},
        {"Format ID", "3.00"}, {"Program ID", "TESTPROG"}, {"Byte order", "Motorola"},
        {"FP format", "unknown"}, {"Version", "300"}}},
  };
  // The ID block is read alone: a file whose floating-point format is not
  // IEEE 754 does not open (see the next test).
  for (const Case& c : cases) {
    MdfWriter w(c.id);
    w.AddHd(HdSpec{});
    TempDir dir;
    WriteFileBytes(dir.File("f.mdf"), w.Bytes());
    winport::File file;
    ASSERT_TRUE(file.Open(dir.File("f.mdf"), winport::FileAccess::Read, winport::FileShare::Read));
    CIDBlock id;
    ASSERT_TRUE(id.Read(file));
    EXPECT_EQ(RowsOf(id), c.rows) << c.id.programId;
  }
}

// Conversion parameters, ranges and sampling rates are stored in the ID
// block's floating-point format; read as IEEE 754, a VAX format gives values
// that are not the file's, so such a file is refused with its format named.
TEST(IdRows, AFileWhoseRealNumbersAreNotIeeeDoesNotOpen) {
  const struct {
    uint16_t format;
    const char* named;
  } cases[] = {{1, "VAX G_floating floating-point format (1)"},
               {2, "VAX D_floating floating-point format (2)"},
               {7, "unknown floating-point format (7)"}};
  for (const auto& c : cases) {
    MdfWriter w(IdSpec{.floatFormat = c.format});
    w.AddHd(HdSpec{});
    Opened o(w.Bytes());
    EXPECT_EQ(o.result, 0) << c.format;
    EXPECT_NE(o.mdf.GetLastError().find(c.named), std::string::npos) << o.mdf.GetLastError();
  }
  MdfWriter w(IdSpec{});
  w.AddHd(HdSpec{});
  EXPECT_EQ(Opened(w.Bytes()).result, 1);
}

constexpr uint64_t kStart = 1733823000ULL;  // 2024-12-10 09:30:00 UTC

FileDef HeaderFile() {
  FileDef def = SimpleFileDef(1, 1, 1);
  def.hd.author = "A. Author";
  def.hd.organisation = "Org";
  def.hd.project = "Proj";
  def.hd.subject = "Subj";
  def.hd.startTimeNs = kStart * 1000000000ULL + 5000;
  def.hd.utcOffsetHours = -1;
  def.hd.timeQuality = 2;
  def.hd.timerId = "Local PC Reference Time";
  def.fileComment = "comment";
  def.programData = std::string("some program data");
  return def;
}

TEST(HeaderRows, EveryFieldInBothProfiles) {
  ScopedTimeZone utc("UTC");
  const BuiltFile built = BuildFile(HeaderFile());
  // The whole seconds minus the UTC offset (-1 h) in local time; the
  // nanoseconds with nine digits, in the viewer with "%06lu".
  const std::pair<MdfProfile, std::string> profiles[] = {
      {MdfProfile::Import, "10. 12. 2024  10:30:00,000005000"},
      {MdfProfile::Viewer, "10. 12. 2024  10:30:00,005000"},
  };
  for (const auto& [profile, start] : profiles) {
    Opened o(built.writer.Bytes(), profile);
    ASSERT_EQ(o.result, 1);
    const Rows expected = {
        {"File Pos.", "64, 0x40"},
        {"Block length", "208, 0xD0"},
        {"Identifier", "HD"},
        {"Date", "10:12:2024"},
        {"Time", "09:30:00"},
        {"Author", "A. Author"},
        {"Organisation", "Org"},
        {"Project", "Proj"},
        {"Subject", "Subj"},
        {"Local Time Start", start},
        {"Time Offset (h)", "65535"},
        {"Timer Quality Class", "2"},
        {"Timer ID", "Local PC Reference Time"},
        {"No. of data grps", "1"},
        {"Offset DGBlock", LinkText(built.groups[0].dg)},
        {"Offset TXBlock", LinkText(built.comment)},
        {"Offset PRBlock", LinkText(built.program)},
    };
    EXPECT_EQ(RowsOf(*o.mdf.GetHeaderBlock()), expected);
  }
}

TEST(HeaderRows, StartTimeIsShownInTheLocalTimeZone) {
  ScopedTimeZone east("UTC-2");  // two hours ahead of UTC
  FileDef def = HeaderFile();
  def.hd.utcOffsetHours = 0;
  def.hd.startTimeNs = kStart * 1000000000ULL + 123456789;
  Opened o(BuildFile(def).writer.Bytes());
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(ValueOf(RowsOf(*o.mdf.GetHeaderBlock()), "Local Time Start"),
            "10. 12. 2024  11:30:00,123456789");
}

TEST(HeaderRows, StartTimeRowsOnlyWithATimeStampThatHasALocalTime) {
  ScopedTimeZone utc("UTC");
  const std::vector<std::string> base = {"File Pos.", "Block length", "Identifier", "Date",
                                         "Time", "Author", "Organisation", "Project", "Subject"};
  const std::vector<std::string> tail = {"No. of data grps", "Offset DGBlock", "Offset TXBlock",
                                         "Offset PRBlock"};
  const std::vector<std::string> timer = {"Time Offset (h)", "Timer Quality Class", "Timer ID"};
  auto join = [](std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  struct Case {
    const char* what;
    uint64_t stamp;
    int16_t utcOffset;
    std::vector<std::string> labels;
  } cases[] = {
      {"no time stamp", 0, -1, join({base, tail})},
      // 1 s after 1970 minus a UTC offset of 2 h lies before 1970: no local time.
      {"before 1970", 1000000000ULL, 2, join({base, timer, tail})},
      {"1970 itself", 1000000000ULL, 0, join({base, {"Local Time Start"}, timer, tail})},
  };
  for (const Case& c : cases) {
    FileDef def = HeaderFile();
    def.hd.startTimeNs = c.stamp;
    def.hd.utcOffsetHours = c.utcOffset;
    Opened o(BuildFile(def).writer.Bytes());
    ASSERT_EQ(o.result, 1);
    const Rows rows = RowsOf(*o.mdf.GetHeaderBlock());
    EXPECT_EQ(Labels(rows), c.labels) << c.what;
  }
}

TEST(HeaderRows, LinksAboveTwoGigabytesShowAsNegativeDecimals) {
  MdfWriter w;
  const uint32_t hd = w.AddHd(HdSpec{});
  w.SetLink(hd, hd::kProgram, 0xFFFFFFF0u);
  Opened o(w.Bytes());
  ASSERT_EQ(o.result, 1);
  EXPECT_EQ(ValueOf(RowsOf(*o.mdf.GetHeaderBlock()), "Offset PRBlock"), "-16, 0xFFFFFFF0");
}

// A text block's rows: its size and length, then the text cut into rows.
TEST(TextRows, LinesAreCutAtBreaksAndAfter255Characters) {
  const std::string a(255, 'a'), b(255, 'b'), c(90, 'c'), x255(255, 'x');
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> rows;
  } cases[] = {
      {"600 characters without a break", a + b + c, {a, b, c}},
      {"a run of CR and LF ends one line; TAB shows as ':'", "line 1\r\n\r\nline\t2\n",
       {"line 1", "line:2"}},
      {"a leading break ends an empty line", "\n\rx", {"", "x"}},
      {"a line of exactly 255 characters", x255 + "\r\ny", {x255, "y"}},
      {"256 characters", x255 + "x", {x255, "x"}},
  };
  FileDef def = SimpleFileDef(1, static_cast<uint32_t>(std::size(cases)), 1);
  for (size_t i = 0; i < std::size(cases); ++i) def.groups[0].channels[i + 1].comment = cases[i].text;
  Opened o(BuildFile(def).writer.Bytes());
  ASSERT_EQ(o.result, 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    CTextBlock& tx = *o.Cn(static_cast<int>(i) + 1).GetComment();
    const Rows rows = RowsOf(tx);
    ASSERT_EQ(rows.size(), 3 + cases[i].rows.size());
    EXPECT_EQ(rows[0], Rows::value_type("File Pos.", DecHexText(static_cast<uint32_t>(tx.GetFilePos()))));
    const uint32_t size = static_cast<uint32_t>(cases[i].text.size()) + 1;  // the text and its NUL
    EXPECT_EQ(rows[1], Rows::value_type("Block length", DecHexText(size)));
    EXPECT_EQ(rows[2], Rows::value_type("Text length", std::to_string(cases[i].text.size())));
    for (size_t r = 0; r < cases[i].rows.size(); ++r)
      EXPECT_EQ(rows[3 + r], Rows::value_type(r == 0 ? "Text" : " ", cases[i].rows[r])) << r;
    EXPECT_EQ(tx.GetText(), cases[i].text);  // the stored text keeps its TAB
  }
}

TEST(DataGroupRows, LinksCountsAndTheRecordIdKind) {
  const std::pair<uint16_t, std::string> kinds[] = {
      {0, "data records without record ID"},
      {1, "record ID (UINT8) before each data record"},
      {2, "record ID (UINT8) before and after each data record"},
      {3, ""},
  };
  for (const auto& [ids, text] : kinds) {
    FileDef def = SimpleFileDef(2, 1, 2);
    def.groups[0].recordIds = std::min<uint16_t>(ids, 2);  // records that begin with their id
    BuiltFile built = BuildFile(def);
    const BuiltGroup& g = built.groups[0];
    built.writer.PatchU16(g.dg + dg::kRecordIds, ids);
    if (ids > 2) built.writer.PatchU32(g.cg + cg::kRecordCount, 0);  // no records to lay out
    Opened o(built.writer.Bytes());
    ASSERT_EQ(o.result, 1);
    const Rows expected = {
        {"File Pos.", DecHexText(g.dg)},
        {"Block length", "28, 0x1C"},
        {"No. of channel grps", "1"},
        {"Offset DGBlock", LinkText(built.groups[1].dg)},
        {"Offset CGBlock", LinkText(g.cg)},
        {"Offset Data", LinkText(g.data)},
        {"Record IDs", text},
    };
    EXPECT_EQ(RowsOf(*o.mdf.GetFirstDG()), expected) << ids;
  }
}

TEST(ChannelGroupRows, LinksCountsAndAnUnsignedRecordCount) {
  FileDef def = SimpleFileDef(1, 2, 5);
  def.groups[0].comment = "group note";
  def.groups[0].recordIds = 1;
  def.groups[0].recordId = 7;
  BuiltFile built = BuildFile(def);
  const BuiltGroup& g = built.groups[0];
  built.writer.PatchU32(g.cg + cg::kRecordCount, 3000000000u);
  Opened o(built.writer.Bytes());
  ASSERT_EQ(o.result, 1);
  const Rows expected = {
      {"File Pos.", DecHexText(g.cg)},
      {"Block length", "26, 0x1A"},
      {"Offset CGBlock", "0, 0x0"},
      {"No. of channels", "3"},
      {"Offset CNBlock", LinkText(g.cn[0])},
      {"Offset TXBlock", LinkText(U32At(built.writer.Bytes(), g.cg + cg::kComment))},
      {"Record ID", "7"},
      {"Record size", std::to_string(g.recordSize)},
      {"No. of records", "3000000000"},
  };
  EXPECT_EQ(RowsOf(o.Cg()), expected);
}

TEST(ChannelRows, EveryFieldInBothProfiles) {
  FileDef def = SimpleFileDef(1, 0, 1);
  ChannelDef ch;
  ch.cn = CnSpec{.name = "speed", .description = "vehicle speed", .startBit = 64, .bits = 16,
                 .dataType = dt::kInt, .rangeValid = 1, .minRaw = -1.5, .maxRaw = 1e308,
                 .sampleRate = 0.01, .byteOffset = 3};
  ch.cc = CcLinear(2, 1);
  ch.ce = CeIdent(0, "x");
  ch.comment = "c";
  def.groups[0].channels.push_back(ch);
  def.groups[0].autoLayout = false;
  const BuiltFile built = BuildFile(def);
  const BuiltGroup& g = built.groups[0];
  const std::string& bytes = built.writer.Bytes();

  const std::pair<MdfProfile, const char*> profiles[] = {{MdfProfile::Import, "yes (0x1)"},
                                                         {MdfProfile::Viewer, "yes"}};
  for (const auto& [profile, range] : profiles) {
    Opened o(bytes, profile);
    ASSERT_EQ(o.result, 1);
    Rows rows = RowsOf(o.Cn(1));
    ASSERT_EQ(rows.size(), 17u);
    // 1e308 printed in full: 309 digits and 15 decimals, longer than any fixed buffer.
    const std::string max = rows[15].second;
    EXPECT_EQ(max.size(), 325u);
    EXPECT_EQ(max.substr(0, 20), "10000000000000000109");
    EXPECT_EQ(max.substr(309), ".000000000000000");
    const Rows expected = {
        {"File Pos.", DecHexText(g.cn[1])},
        {"Block length", "228, 0xE4"},
        {"Offset CNBlock", "0, 0x0"},
        {"Offset CCBlock", LinkText(g.cc[1])},
        {"Offset TXBlock", LinkText(U32At(bytes, g.cn[1] + cn::kComment))},
        {"Offset CEBlock", LinkText(g.ce[1])},
        {"Name", "speed"},
        {"Label", "vehicle speed"},
        {"Type", "Data channel"},
        {"First bit", "64"},
        {"No. of bits", "16"},
        {"Byte offset", "3"},
        {"Data type", Ansi("signed integer (two’s complement)")},
        {"Implementation range", range},
        {"Range: Minimum", "-1.500000000000000"},
        {"Range: Maximum", max},
        {"Sampling rate", "0.010000000000000 [s]"},
    };
    EXPECT_EQ(rows, expected);

    // The time channel before it: its type, the link to the next channel, no range.
    const Rows time = RowsOf(o.Cn(0));
    EXPECT_EQ(ValueOf(time, "Type"), "Time channel");
    EXPECT_EQ(ValueOf(time, "Offset CNBlock"), LinkText(g.cn[1]));
    EXPECT_EQ(ValueOf(time, "Implementation range"),
              profile == MdfProfile::Import ? "no (0x0)" : "no");
  }
}

TEST(ChannelRows, DataTypeNames) {
  const std::string twos = Ansi("two’s complement");
  const std::pair<uint16_t, std::string> types[] = {
      {0, "unsigned integer"},
      {1, "signed integer (" + twos + ")"},
      {2, "IEEE 754 floating-point format"},
      {3, "IEEE 754 floating-point format"},
      {4, "unknown (4)"},
      {7, "String (NULL terminated)"},
      {8, "Byte Array"},
      {9, "unsigned integer (Motorola)"},
      {10, "signed integer (" + twos + ", Motorola)"},
      {11, "IEEE 754 floating-point format (Motorola)"},
      {12, "IEEE 754 floating-point format (Motorola)"},
      {13, "unsigned integer"},
      {14, "signed integer (" + twos + ")"},
      {15, "unknown (15)"},
      {16, "unknown (16)"},
      {65535, "unknown (65535)"},
  };
  FileDef def = SimpleFileDef(1, 0, 1);
  for (const auto& [type, name] : types) {
    ChannelDef ch;
    ch.cn = CnSpec{.name = "c", .bits = static_cast<uint16_t>(type == 3 || type == 12 ? 64 : 32),
                   .dataType = type};
    def.groups[0].channels.push_back(ch);
  }
  Opened o(BuildFile(def).writer.Bytes());
  ASSERT_EQ(o.result, 1);
  for (size_t i = 0; i < std::size(types); ++i)
    EXPECT_EQ(ValueOf(RowsOf(o.Cn(static_cast<int>(i) + 1)), "Data type"), types[i].second)
        << types[i].first;
}

// The extension's kind decides its "Type" text and rows.
TEST(ExtensionRows, EveryKind) {
  const std::string desc80(80, 'd'), id32(32, 'k');
  // A module block whose texts fill their fields and whose last bytes are not NUL.
  CeSpec fullModule = CeModule(2, 9, 0x1000, desc80, id32);
  fullModule.body += "ZZZZ";
  struct Case {
    CeSpec ce;
    Rows rows;  // after "File Pos."
  } cases[] = {
      {CeIdent(0, "ident text"), {{"Type", "Allgemein"}, {"Ident.", "ident text"}}},
      {CeIdent(16, "bus"), {{"Type", "VABUS"}, {"Ident.", "bus"}}},
      {CeIdent(17, "van"), {{"Type", "VVAN"}, {"Ident.", "van"}}},
      // A text without a declared width ends with the 128 bytes kept.
      {CeIdent(0, std::string(200, 'i')), {{"Type", "Allgemein"}, {"Ident.", std::string(122, 'i')}}},
      {CeFactor(1, 3, 0.5, -2.25, 7),
       {{"Type", "AIM-Block"}, {"Channel", "3"}, {"Factor", "0.500000"}, {"Offset", "-2.250000"},
        {"Modul no.", "7"}}},
      {CeFactor(14, 65535, 1, 0, 1),
       {{"Type", "VADI-Block"}, {"Channel", "65535"}, {"Factor", "1.000000"}, {"Offset", "0.000000"},
        {"Modul no.", "1"}}},
      {CeMessage(3, 2, 0x123, "msg", "sender", 10),
       {{"Type", "CANIM"}, {"Modul no.", "2"}, {"ID", "291 (dec)"}, {"Message", "msg"},
        {"Sender", "sender"}, {"Datenreduktionsquotient", "10 (dec)"}}},
      {CeMessage(15, 1, 5, "m", "s", 0),
       {{"Type", "VCAN"}, {"Modul no.", "1"}, {"ID", "5 (dec)"}, {"Message", "m"}, {"Sender", "s"},
        {"Datenreduktionsquotient", "0 (dec)"}}},
      {CeSource(4, "COM1", 1, 0xAB),
       {{"Type", "V24"}, {"Datenquelle", "COM1"}, {"Port no.", "1 (dec)"}, {"Addr.", "0xAB"}}},
      {CeSource(5, "a", 2, 0xFFFF),
       {{"Type", "LA1"}, {"Datenquelle", "a"}, {"Port no.", "2 (dec)"}, {"Addr.", "0xFFFF"}}},
      {CeSource(8, "", 0, 0), {{"Type", "LA2"}, {"Datenquelle", ""}, {"Port no.", "0 (dec)"}, {"Addr.", "0x0"}}},
      {CeSource(10, "t", 0, 1), {{"Type", "Thermo-Scan"}, {"Datenquelle", "t"}, {"Port no.", "0 (dec)"}, {"Addr.", "0x1"}}},
      {CeSource(11, "s", 0, 2), {{"Type", "AD-Scan"}, {"Datenquelle", "s"}, {"Port no.", "0 (dec)"}, {"Addr.", "0x2"}}},
      // The identification fills its 32 bytes; the kind (0x4141, "AA") follows it.
      {CeAcquisition(4, 0xDEADBEEF, "acquisition", id32, 0x4141, 6),
       {{"Type", "ACAN"}, {"Modul no.", "4"}, {"Addr.", "0xDEADBEEF"}, {"Beschreibung", "acquisition"},
        {"Kennung", id32}, {"Datenreduktionsquotient", "6"}, {"Erfassungsart", "16705"}}},
      {CeCan(0x18FF0001, 0xFFFFFFFF, "EngineData", "ECU1"),
       {{"Type", "VECTOR CAN"}, {"ID", "0x18FF0001"}, {"Channel", "-1"}, {"Message", "EngineData"},
        {"Sender", "ECU1"}}},
      {CeModule(2, 9, 0x1000, "dim", "ecu"),
       {{"Type", "DIM"}, {"Modul no.", "9"}, {"Addr.", "0x1000"}, {"Beschreibung", "dim"}, {"Kennung", "ecu"}}},
      {fullModule,
       {{"Type", "DIM"}, {"Modul no.", "9"}, {"Addr.", "0x1000"}, {"Beschreibung", desc80}, {"Kennung", id32}}},
      {CeModule(7, 1, 2, "e", "f"),
       {{"Type", "ETK"}, {"Modul no.", "1"}, {"Addr.", "0x2"}, {"Beschreibung", "e"}, {"Kennung", "f"}}},
      {CeModule(9, 1, 2, "e", "f"),
       {{"Type", "DIM2"}, {"Modul no.", "1"}, {"Addr.", "0x2"}, {"Beschreibung", "e"}, {"Kennung", "f"}}},
      {CeModule(12, 1, 2, "e", "f"),
       {{"Type", "VPSI1"}, {"Modul no.", "1"}, {"Addr.", "0x2"}, {"Beschreibung", "e"}, {"Kennung", "f"}}},
      {CeModule(13, 1, 2, "e", "f"),
       {{"Type", "VPSI2"}, {"Modul no.", "1"}, {"Addr.", "0x2"}, {"Beschreibung", "e"}, {"Kennung", "f"}}},
      {CeModule(18, 1, 2, "e", "f"),
       {{"Type", "SSC"}, {"Modul no.", "1"}, {"Addr.", "0x2"}, {"Beschreibung", "e"}, {"Kennung", "f"}}},
      {CeSpec{.type = 20, .body = "abc"}, {{"Type", "Unbekannt: 20"}}},
      {CeSpec{.type = 65535}, {{"Type", "Unbekannt: 65535"}}},
  };
  FileDef def = SimpleFileDef(1, 0, 1);
  for (const Case& c : cases) {
    ChannelDef ch;
    ch.cn = CnSpec{.name = "c", .bits = 8};
    ch.ce = c.ce;
    def.groups[0].channels.push_back(ch);
  }
  const BuiltFile built = BuildFile(def);
  Opened o(built.writer.Bytes());
  ASSERT_EQ(o.result, 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    Rows expected = cases[i].rows;
    expected.insert(expected.begin(), {"File Pos.", DecHexText(built.groups[0].ce[i + 1])});
    EXPECT_EQ(RowsOf(*o.Cn(static_cast<int>(i) + 1).GetExtension()), expected)
        << "case " << i << ", type " << cases[i].ce.type;
  }
}

// The conversion's rows: seven common ones, then those of its type.
TEST(ConversionRows, CommonRowsAndThoseOfEachType) {
  CcSpec linear = CcLinear(0.5, -10, "km/h");
  linear.rangeValid = 1;
  linear.maxPhys = 100;
  struct Case {
    CcSpec cc;
    std::string type;    // the "Type" row
    std::string count;   // "No. of parameters"
    Rows rows;           // after the common rows
  } cases[] = {
      {linear, "0: parametric, linear", "2", {{"Faktor", "0.5"}, {"Offset", "-10"}}},
      {CcTable({{0, 0}, {10, 100}}, true), "1: tabular with interpolation", "2",
       {{"Input -> Output 0", "0.000000000000000 -> 0.000000000000000"},
        {"Input -> Output 1", "10.000000000000000 -> 100.000000000000000"}}},
      {CcTable({{0, 0}, {10, 100}}, false), "2: tabular", "2", {}},
      {CcPolynomial({1, 2, 3, 4, 5, 6}), "6: polynomial function", "6",
       {{"Parameter 0", "1.000000000000000"}, {"Parameter 1", "2.000000000000000"},
        {"Parameter 2", "3.000000000000000"}, {"Parameter 3", "4.000000000000000"},
        {"Parameter 4", "5.000000000000000"}, {"Parameter 5", "6.000000000000000"},
        {"Parameter 6", "0.000000000000000"}}},
      {CcFormula("X*2"), "10: ASAM-MCD2 Text formula", "0", {{"Formula", "X*2"}}},
      {CcTextTable({{1, "EIN"}, {0, "AUS"}}), "11: ASAM-MCD2 Text Table, (COMPU_VTAB)", "2",
       {{"Input -> Output 0", "1.000000000000000 -> EIN"},
        {"Input -> Output 1", "0.000000000000000 -> AUS"}}},
      {CcTextRange("{LINEAR_CONV} 0.5*{X}+3", {CcRange{255, 255, Ansi("Signal ungültig")}}),
       "0: parametric, linear", "2",
       {{"ermitt. Faktor", "0.5"}, {"ermitt. Offset", "3"}, {"Default", "{LINEAR_CONV} 0.5*{X}+3"},
        {"Min / Max 1", "255.000000000000000 / 255.000000000000000  -> " + Ansi("Signal ungültig")}}},
      {CcDate(1234, 30, 9, 10, 12, 24), "132: Date (Based on 7 Byte Date data structure)", "0",
       {{"Date", "10. 12. 24  09:30:01,234"}}},
      {CcIdentity(2), "65535: 1:1 conversion formula (Int = Phys)", "2", {}},
  };
  FileDef def = SimpleFileDef(1, 0, 1);
  for (const Case& c : cases) {
    ChannelDef ch;
    ch.cn = CnSpec{.name = "c", .bits = 16};
    ch.cc = c.cc;
    def.groups[0].channels.push_back(ch);
  }
  const BuiltFile built = BuildFile(def);
  Opened o(built.writer.Bytes());
  ASSERT_EQ(o.result, 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const bool valid = c.cc.rangeValid != 0;
    Rows expected = {
        {"File Pos.", DecHexText(built.groups[0].cc[i + 1])},
        {"Unit", c.cc.unit},
        {"Implementation range", valid ? "yes" : "no"},
        {"Range: Minimum", "0.000000000000000"},
        {"Range: Maximum", valid ? "100.000000000000000" : "0.000000000000000"},
        {"Type", c.type},
        {"No. of parameters", c.count},
    };
    expected.insert(expected.end(), c.rows.begin(), c.rows.end());
    EXPECT_EQ(RowsOf(*o.Cn(static_cast<int>(i) + 1).GetConversion()), expected) << c.type;
  }
}

}  // namespace

// The FILMOR reader: every signal field and sample buffer the module serves,
// the same document through both schema forms, the block layout, reads of the
// data space, and each way a file can be refused.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/headless.h"
#include "smallimports/filmor/filmor_import.h"
#include "tests/smallimports/module_host.h"
#include "tests/support/filmor_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fw = testsupport::filmor;
using filmor::DocumentStatus;
using filmor::FilmorStatus;
using filmor::SchemaStatus;
using filmor::ValueError;
using fw::AllColumns;
using fw::Channel;
using fw::ColumnBytes;
using fw::ColumnDef;
using fw::DoubleBytes;
using fw::kColumnCount;
using fw::kColumns;
using fw::kRecords;
using fw::kSignalCount;
using fw::LE;
using fw::TwoGroups;

// The value the signal of column c stores for record r.
std::string ExpectedValue(size_t c, int r) {
  switch (c) {
    case 14: return DoubleBytes(static_cast<double>(-3 + int64_t{r} * 1000000007));
    case 15: return DoubleBytes(static_cast<double>(int64_t{r} * 10 - 20) * 0.2 + 0.1);
    case 16: return DoubleBytes((1.5 * r - 2) * 3 + 4);
    case 17: return DoubleBytes(0.25 * r);
    default: return ColumnBytes(c, r).substr(0, kColumns[c].valueSize);
  }
}

class FilmorTest : public ::testing::Test {
 protected:
  std::string Write(const fw::Document& doc, const fw::Layout& layout = {}, const std::string& name = "all_columns.flm") {
    const std::string path = dir_.File(name);
    testsupport::WriteFileBytes(path, fw::WriteFilmorFile(doc, layout));
    return path;
  }
  filmor::FilmorResult Read(const fw::Document& doc, const fw::Layout& layout = {}) {
    return filmor::ReadFilmorFile(Write(doc, layout), import_);
  }

  testsupport::TempDir dir_;
  filmor::FilmorImport import_;
};

TEST_F(FilmorTest, AllColumnsFillEverySignalField) {
  const filmor::FilmorResult result = Read(AllColumns());
  ASSERT_EQ(result.status, FilmorStatus::Ok) << filmor::FilmorResultText(result);
  EXPECT_EQ(result.document.status, DocumentStatus::Ok) << filmor::DocumentResultText(result.document);
  EXPECT_EQ(import_.name, "all_columns");
  EXPECT_EQ(import_.comment, "Group comment");
  EXPECT_EQ(import_.blockSize, 4096);
  EXPECT_EQ(import_.fileDate, 0);
  ASSERT_EQ(import_.signals.Count(), kSignalCount);
  EXPECT_EQ(import_.dataSize, 4096u * kSignalCount);
  // A column of type 1 (no conversion) and one narrower than its values make no signal.
  EXPECT_EQ(import_.shortfall.Names("Column type without a conversion, left out"), std::vector<std::string>{"ch18"});
  EXPECT_EQ(import_.shortfall.Names("Column narrower than its values, left out"), std::vector<std::string>{"ch21"});

  int32_t number = 0;
  for (size_t c = 0; c < kColumnCount; ++c) {
    if (!fw::MakesSignal(c)) continue;
    const filmor::FilmorSignal& s = import_.signals[static_cast<size_t>(number)];
    ++number;
    SCOPED_TRACE("column " + std::to_string(c));
    const ColumnDef& def = kColumns[c];
    EXPECT_EQ(s.number, number);
    const std::string name = c == 0 ? "S1st_value" : c == kColumnCount - 1 ? "S" : "ch" + std::to_string(c);
    EXPECT_EQ(s.Name.str(), name);
    EXPECT_EQ(s.Label.str(), c == 0 ? "first" : "");
    EXPECT_EQ(s.Alias.str(), "");
    EXPECT_EQ(s.XUnit.str(), "sec");
    EXPECT_EQ(s.YUnit.str(), c == 3 ? "bar" : c == 15 ? "N" : "");
    EXPECT_EQ(s.STyp, 0);
    EXPECT_EQ(s.DTyp, def.dtyp);
    EXPECT_EQ(s.valueSize, def.valueSize);
    EXPECT_EQ(s.stride, def.width.value_or(2));
    EXPECT_EQ(s.Demux, def.valueSize);
    EXPECT_EQ(s.ValuesPerBlock, 4096 / def.valueSize);
    EXPECT_EQ(s.BlockOffset, 0);
    EXPECT_EQ(s.NoOfValues, kRecords);
    EXPECT_EQ(s.storedValues, kRecords);
    EXPECT_EQ(s.Block0, number - 1);
    EXPECT_EQ(s.rangeStart, 4096u * (number - 1));
    EXPECT_EQ(s.rangeEnd, s.rangeStart + kRecords * def.valueSize);
    EXPECT_DOUBLE_EQ(s.XMin, 0);
    EXPECT_DOUBLE_EQ(s.XOffset, 0);
    EXPECT_DOUBLE_EQ(s.XFactor, 0.0005);  // mantissa -2, exponent 3: the period of 2000 per second
    EXPECT_DOUBLE_EQ(s.XMax, 4 * 0.0005);
    EXPECT_DOUBLE_EQ(s.YMin, c == 3 ? -5 : 0);
    EXPECT_DOUBLE_EQ(s.YMax, c == 3 ? 5 : 0);
    // Scaled by the points (M 0.1) and the raw scaling (2, 1); doubles are stored scaled.
    EXPECT_DOUBLE_EQ(s.YFactor, c == 3 ? 0.2 : 1.0);
    EXPECT_DOUBLE_EQ(s.YOffset, c == 3 ? 0.1 : 0.0);
    EXPECT_EQ(s.NoValue, 0);
    std::string expected;
    for (int r = 0; r < kRecords; ++r) expected += ExpectedValue(c, r);
    EXPECT_EQ(std::string(s.samples.begin(), s.samples.end()), expected);
  }
}

// The comparable content of an import: every field but the name.
std::string Describe(const filmor::FilmorImport& im) {
  std::string out = im.comment + "|" + std::to_string(im.dataSize) + "|" + std::to_string(im.blockSize) + "\n";
  for (const filmor::FilmorSignal& s : im.signals) {
    char line[512];
    std::snprintf(line, sizeof line, "%d %s %s %s %s %d %d %d %d %d %d %d %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n",
                  s.number, s.Name.str().c_str(), s.Label.str().c_str(), s.XUnit.str().c_str(),
                  s.YUnit.str().c_str(), s.DTyp, s.valueSize, s.stride, s.NoOfValues, s.Block0,
                  s.ValuesPerBlock, s.storedValues, s.XFactor, s.XMax, s.YMin, s.YMax, s.YFactor, s.YOffset,
                  static_cast<double>(s.rangeStart), static_cast<double>(s.rangeEnd));
    out += line + std::string(s.samples.begin(), s.samples.end()) + "\n";
  }
  return out;
}

TEST_F(FilmorTest, SchemaFormsGiveTheSameResult) {
  ASSERT_EQ(Read(AllColumns()).status, FilmorStatus::Ok);
  const std::string plain = Describe(import_);
  fw::Layout forms;
  forms.form = fw::SchemaForm::OwnTypes;
  const filmor::FilmorResult result = Read(AllColumns(), forms);
  ASSERT_EQ(result.status, FilmorStatus::Ok) << filmor::FilmorResultText(result);
  EXPECT_EQ(result.document.status, DocumentStatus::Ok) << filmor::DocumentResultText(result.document);
  EXPECT_EQ(Describe(import_), plain);
}

TEST_F(FilmorTest, TwoGroupsTakeABlockEach) {
  ASSERT_EQ(Read(TwoGroups()).status, FilmorStatus::Ok);
  ASSERT_EQ(import_.signals.Count(), 2u);
  EXPECT_EQ(import_.dataSize, 8192u);
  EXPECT_EQ(import_.comment, "second");
  const auto& a = import_.signals[0];
  const auto& b = import_.signals[1];
  EXPECT_EQ(a.Block0, 0);
  EXPECT_EQ(b.Block0, 1);
  EXPECT_EQ(b.rangeStart, 4096u);
  EXPECT_DOUBLE_EQ(a.YFactor, 2);
  EXPECT_DOUBLE_EQ(a.YOffset, 1);
  EXPECT_DOUBLE_EQ(b.YFactor, 1);
  EXPECT_DOUBLE_EQ(b.YOffset, 0);
  EXPECT_DOUBLE_EQ(a.XFactor, 0.01);
  EXPECT_DOUBLE_EQ(b.XFactor, 0);  // no interval
}

TEST_F(FilmorTest, DataSpaceReads) {
  ASSERT_EQ(Read(TwoGroups()).status, FilmorStatus::Ok);
  struct Case {
    uint32_t position, bytes, copied, advance;
    std::string data;  // the request's bytes of the buffer: what was copied, 0xEE where nothing lies
  };
  auto values = [](int from, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += LE(static_cast<uint64_t>(from + i), 2);
    return s;
  };
  const auto untouched = [](size_t n) { return std::string(n, '\xEE'); };
  const Case cases[] = {
      {0, 20, 20, 20, values(100, 10)},
      {10, 100, 10, 100, values(105, 5) + untouched(90)},
      {19, 4, 1, 4, std::string(1, '\0') + untouched(3)},  // odd offset: stops at the buffer's end
      {20, 50, 0, 50, untouched(50)},                       // padding after the last value
      {16, 4080, 4, 4080, values(108, 2) + untouched(4076)},  // to the end of the padding
      {4095, 10, 9, 10, untouched(1) + values(200, 5).substr(0, 9)},  // from the padding into the next signal
      {4096, 4, 4, 4, values(200, 2)},
      {4097, 3, 3, 3, values(200, 2).substr(1)},
      {10, 8192, 30, 8182, values(105, 5) + untouched(4076) + values(200, 10) + untouched(4076)},  // both signals
      {8190, 10, 0, 2, untouched(2)},  // cut to the data space
      {8192, 10, 0, 0, ""},
      {0xFFFFFFF0u, 10, 0, 0, ""},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buffer(8200, 0xEE);
    const smallimports::DataSpaceRead r = filmor::ReadFilmorDataSpace(import_, c.position, buffer.data(), c.bytes);
    EXPECT_EQ(r.copied, c.copied) << c.position;
    EXPECT_EQ(r.advance, c.advance) << c.position;
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + r.advance), c.data) << c.position;
    EXPECT_EQ(buffer[r.advance], 0xEE) << c.position;
  }
}

TEST_F(FilmorTest, ZeroWidthColumnsOnlyImportWithNoSignals) {
  fw::Document doc;
  fw::GroupSpec g;
  g.recordCount = 3;
  g.channels.push_back(Channel("x"));
  g.channels[0].width = 0;
  doc.groups.push_back(g);
  ASSERT_EQ(Read(doc).status, FilmorStatus::Ok);
  EXPECT_EQ(import_.signals.Count(), 0u);
  EXPECT_EQ(import_.dataSize, 0u);
  EXPECT_EQ(import_.comment, "FILMOR imported file");
}

// Record counts are bounded by the group's bytes, and those by the file; a
// box names the signals that got fewer records than their group states.
TEST_F(FilmorTest, RecordCountsAreBoundedByTheData) {
  smalltest::ModuleHost host(smalltest::kFilmorModule);
  struct Case {
    const char* what;
    std::function<void(fw::Document&, fw::Layout&)> change;
    int values;  // of each signal; 0: no data
  };
  const std::string records = AllColumns().groups[0].records;
  const size_t recordLength = records.size() / kRecords;
  const size_t recordsEnd = fw::WriteFilmorFile(AllColumns()).find(records) + records.size();
  const Case cases[] = {
      {"negative count", [](fw::Document& d, fw::Layout&) { d.groups[0].recordCount = -5; }, 0},
      {"oversized count", [](fw::Document& d, fw::Layout&) { d.groups[0].recordCount = 0x7FFFFFFF; }, kRecords},
      {"no count", [](fw::Document& d, fw::Layout&) { d.groups[0].recordCount.reset(); }, 0},
      {"fewer bytes than records",
       [&](fw::Document& d, fw::Layout&) { d.groups[0].records.resize(3 * recordLength + 7); }, 3},
      {"file cut inside the records", [&](fw::Document&, fw::Layout& l) { l.truncateTo = recordsEnd - 3 * recordLength + 1; }, 2},
  };
  for (const Case& c : cases) {
    fw::Document doc = AllColumns();
    fw::Layout layout;
    c.change(doc, layout);
    const filmor::FilmorResult result = Read(doc, layout);
    if (c.values == 0) {
      EXPECT_EQ(result.status, FilmorStatus::NoData) << c.what;
      continue;
    }
    ASSERT_EQ(result.status, FilmorStatus::Ok) << c.what;
    for (const auto& s : import_.signals) {
      EXPECT_EQ(s.NoOfValues, c.values) << c.what;
      EXPECT_EQ(s.samples.size(), static_cast<size_t>(c.values * s.valueSize)) << c.what;
    }
    EXPECT_EQ(import_.signals[0].samples[0], static_cast<uint8_t>(ColumnBytes(0, 0)[0])) << c.what;
    EXPECT_EQ(import_.shortfall.Names("Fewer values than stated").size(), kSignalCount) << c.what;

    const testsupport::ImportResult r = host.Import("Filmor.FileImport", dir_.File("all_columns.flm"));
    EXPECT_EQ(host::NumberOf(r.signals[0], "NoOfValues"), c.values) << c.what;
    EXPECT_EQ(host.Samples("1").bytes, std::string(import_.signals[0].samples.begin(), import_.signals[0].samples.end()))
        << c.what;
    ASSERT_EQ(r.boxes.size(), 1u) << c.what;
    EXPECT_NE(r.boxes[0].text.find("\nFewer values than stated: S1st_value, ch1, ch2, "), std::string::npos)
        << r.boxes[0].text;
  }
}

std::string Nested(int levels) {
  std::string node;
  for (int i = 0; i < levels; ++i) node += fw::Varint(1) + fw::Varint(1);  // an ordered record of one member
  return node + fw::Varint(48);
}

struct Rejection {
  const char* what;
  std::function<void(fw::Document&, fw::Layout&)> change;
  DocumentStatus status;
  SchemaStatus schema = SchemaStatus::Ok;
  ValueError value = ValueError::None;
};

TEST_F(FilmorTest, RejectionsLeaveNoData) {
  const std::string text = fw::Varint(2) + fw::Varint(30);
  const size_t fileSize = fw::WriteFilmorFile(AllColumns()).size();
  const Rejection cases[] = {
      {"magic", [](fw::Document&, fw::Layout& l) { l.magic = 0x03F15478; }, DocumentStatus::BadMagic},
      {"checksum +1", [](fw::Document&, fw::Layout& l) { l.checksumDelta = 1; }, DocumentStatus::BadSchema,
       SchemaStatus::BadChecksum},
      {"checksum -1", [](fw::Document&, fw::Layout& l) { l.checksumDelta = -1; }, DocumentStatus::BadSchema,
       SchemaStatus::BadChecksum},
      {"schema of 2 bytes", [](fw::Document&, fw::Layout& l) { l.schemaOverride = std::string(2, '\0'); },
       DocumentStatus::BadSchema, SchemaStatus::TooShort},
      {"bytes left over", [](fw::Document&, fw::Layout& l) { l.schemaTail = fw::Varint(48); },
       DocumentStatus::BadSchema, SchemaStatus::LeftOver},
      {"self reference", [](fw::Document&, fw::Layout& l) { l.extraOwnTypes = {fw::Varint(fw::kFirstOwnCode)}; },
       DocumentStatus::BadSchema, SchemaStatus::BadReference},
      {"forward reference",
       [](fw::Document&, fw::Layout& l) { l.extraOwnTypes = {fw::Varint(fw::kFirstOwnCode + 1), fw::Varint(48)}; },
       DocumentStatus::BadSchema, SchemaStatus::BadReference},
      {"own types form: forward reference",
       [](fw::Document&, fw::Layout& l) {
         l.form = fw::SchemaForm::OwnTypes;
         l.extraOwnTypes = {fw::Varint(fw::kOwnTypesFirstCode + fw::kOwnTypesCount + 1), fw::Varint(48)};
       },
       DocumentStatus::BadSchema, SchemaStatus::BadReference},
      {"array of arrays", [](fw::Document&, fw::Layout& l) { l.rootMember2Node = fw::Varint(2) + fw::Varint(2) + fw::Varint(48); },
       DocumentStatus::BadSchema, SchemaStatus::BadNode},
      {"unlisted code", [](fw::Document&, fw::Layout& l) { l.rootMember2Node = fw::Varint(22); },
       DocumentStatus::BadSchema, SchemaStatus::BadNode},
      {"set of two dimensions",
       [](fw::Document&, fw::Layout& l) {
         l.rootMember2Node = fw::Varint(4) + fw::Varint(1) + fw::Varint(1) + fw::Varint(8) + fw::Varint(1) +
                             fw::Varint(1) + fw::Varint(48);
       },
       DocumentStatus::BadSchema, SchemaStatus::BadNode},
      {"falling tags",
       [](fw::Document&, fw::Layout& l) {
         l.rootMember2Node = fw::Varint(8) + fw::Varint(2) + fw::Varint(3) + fw::Varint(48) + fw::Varint(2) + fw::Varint(48);
       },
       DocumentStatus::BadSchema, SchemaStatus::BadNode},
      {"200 levels", [](fw::Document&, fw::Layout& l) { l.rootMember2Node = Nested(200); }, DocumentStatus::BadSchema,
       SchemaStatus::TooDeep},
      {"65 levels", [](fw::Document&, fw::Layout& l) { l.rootMember2Node = Nested(63); }, DocumentStatus::BadSchema,
       SchemaStatus::TooDeep},
      {"version 2.0.1", [](fw::Document& d, fw::Layout&) { d.version = {2, 0, 1, 0}; }, DocumentStatus::BadVersion},
      {"version 1.0.0", [](fw::Document& d, fw::Layout&) { d.version = {1, 0, 0, 0}; }, DocumentStatus::BadVersion},
      {"FILMOX", [](fw::Document& d, fw::Layout&) { d.headerText = "FILMOX"; }, DocumentStatus::BadHeaderText},
      {"group without information", [](fw::Document& d, fw::Layout&) { d.groups[0].withInformation = false; },
       DocumentStatus::GroupWithoutInformation},
      {"group without member 2", [](fw::Document& d, fw::Layout&) { d.groups[0].withChannels = false; },
       DocumentStatus::GroupWithoutChannels},
      {"group without member 3", [](fw::Document& d, fw::Layout&) { d.groups[0].withData = false; },
       DocumentStatus::GroupWithoutData},
      {"no groups", [](fw::Document& d, fw::Layout&) { d.groups.clear(); }, DocumentStatus::Ok},
      {"cut inside the channels", [&](fw::Document&, fw::Layout& l) { l.truncateTo = fileSize / 4; },
       DocumentStatus::BadValue, SchemaStatus::Ok, ValueError::Truncated},
      {"cut inside the schema", [](fw::Document&, fw::Layout& l) { l.truncateTo = 40; }, DocumentStatus::SchemaTruncated},
      {"empty file", [](fw::Document&, fw::Layout& l) { l.truncateTo = 0; }, DocumentStatus::BadMagic},
      {"2^32 x 2^32 zero-byte elements",
       [](fw::Document&, fw::Layout& l) {
         l.extraOwnTypes = {fw::Varint(29)};
         l.rootMember2Node = fw::Varint(4) + fw::Varint(0) + fw::Varint(0) + fw::Varint(fw::kFirstOwnCode);
         l.rootMember2Value = fw::Varint(0xFFFFFFFE, 7) + fw::Varint(0xFFFFFFFE, 7);
       },
       DocumentStatus::BadValue, SchemaStatus::Ok, ValueError::TooManySteps},
      {"count beyond 64 bits",
       [](fw::Document&, fw::Layout& l) {
         l.rootMember2Node = fw::Varint(5) + fw::Varint(3) + fw::Varint(0) + fw::Varint(0) + fw::Varint(0) + fw::Varint(29);
         l.rootMember2Value = fw::Varint(0xFFFFFFFE, 7) + fw::Varint(0xFFFFFFFE, 7) + fw::Varint(0xFFFFFFFE, 7);
       },
       DocumentStatus::BadValue, SchemaStatus::Ok, ValueError::CountOverflow},
  };
  smalltest::ModuleHost host(smalltest::kFilmorModule);
  for (const Rejection& c : cases) {
    fw::Document doc = AllColumns();
    fw::Layout layout;
    c.change(doc, layout);
    const filmor::FilmorResult result = Read(doc, layout);
    EXPECT_EQ(result.status, FilmorStatus::NoData) << c.what;
    EXPECT_EQ(result.document.status, c.status) << c.what << ": " << filmor::DocumentResultText(result.document);
    EXPECT_EQ(result.document.schema, c.schema) << c.what;
    EXPECT_EQ(result.document.value, c.value) << c.what;
    EXPECT_EQ(import_.signals.Count(), 0u) << c.what;
    // Through the module: E_FAIL after the box.
    const std::string path = dir_.File("all_columns.flm");
    const std::optional<host::Failure> failure = host.TryImport("Filmor.FileImport", path);
    ASSERT_TRUE(failure) << c.what;
    EXPECT_EQ(failure->hr, E_FAIL) << c.what;
    const auto boxes = host.Boxes();
    ASSERT_EQ(boxes.size(), 1u) << c.what;
    EXPECT_EQ(boxes[0].text, "File " + path + " has no data!") << c.what;
  }
}

TEST_F(FilmorTest, NestingUpToSixtyFourLevelsIsRead) {
  fw::Layout layout;
  layout.rootMember2Node = Nested(62);  // root, 62 records and the byte: 64 levels
  layout.rootMember2Value = std::string(1, '\x07');
  const filmor::FilmorResult result = Read(AllColumns(), layout);
  ASSERT_EQ(result.status, FilmorStatus::Ok) << filmor::FilmorResultText(result);
  EXPECT_EQ(import_.signals.Count(), kSignalCount);
}

TEST_F(FilmorTest, FaultsAfterAGoodGroupKeepIt) {
  const std::string choiceValue = fw::Varint(22) + fw::Varint(1) + std::string(1, '\0');
  struct Case {
    const char* what;
    std::string extra;
    ValueError error;
  } cases[] = {
      {"error 4: unknown tag", fw::Varint(30) + std::string(1, '\0'), ValueError::UnknownTag},
      {"error 6: choice form", choiceValue, ValueError::Unreadable},
  };
  for (const Case& c : cases) {
    fw::Document doc = AllColumns();
    fw::GroupSpec second = doc.groups[0];
    second.extraInformation = c.extra;
    doc.groups.push_back(second);
    const filmor::FilmorResult result = Read(doc);
    ASSERT_EQ(result.status, FilmorStatus::Ok) << c.what;
    EXPECT_EQ(result.document.status, DocumentStatus::BadValue) << c.what;
    EXPECT_EQ(result.document.value, c.error) << c.what;
    EXPECT_GT(result.document.offset, 0u) << c.what;
    EXPECT_EQ(import_.signals.Count(), kSignalCount) << c.what;
  }
  // A file that ends inside the second group.
  fw::Document doc = AllColumns();
  doc.groups.push_back(doc.groups[0]);
  fw::Layout layout;
  const std::string whole = fw::WriteFilmorFile(doc);
  layout.truncateTo = whole.find("ch10", whole.find(doc.groups[0].records));
  const filmor::FilmorResult result = Read(doc, layout);
  ASSERT_EQ(result.status, FilmorStatus::Ok);
  EXPECT_EQ(result.document.value, ValueError::Truncated);
  EXPECT_EQ(import_.signals.Count(), kSignalCount);
}

TEST_F(FilmorTest, StoppingPlaceIsReported) {
  fw::Layout layout;
  layout.checksumDelta = 1;
  const std::string bytes = fw::WriteFilmorFile(AllColumns(), layout);
  const filmor::FilmorResult result = Read(AllColumns(), layout);
  // The checksum's two bytes end the schema, whose length follows the magic.
  size_t schemaStart = 4;
  const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 16);
  const uint32_t schemaLength = filmor::ReadVarUInt(head, schemaStart);
  EXPECT_EQ(result.document.offset, schemaStart + schemaLength - 2);
  EXPECT_NE(filmor::DocumentResultText(result.document).find("checksum"), std::string::npos);
}

TEST_F(FilmorTest, VarintForms) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t value;
    size_t end;
  } cases[] = {
      {{0x05}, 5, 1},
      {{0xFE}, 254, 1},
      {{0xFF, 0x05, 0x00}, 5, 3},
      {{0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12}, 0x12345678, 7},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 7},
      {{0xFF, 0x01}, 0, 2},  // past the end: 0, at the end
      {{}, 0, 0},
  };
  for (const Case& c : cases) {
    size_t pos = 0;
    EXPECT_EQ(filmor::ReadVarUInt(c.bytes, pos), c.value);
    EXPECT_EQ(pos, c.end);
  }
}

TEST_F(FilmorTest, ImportShowsNoDataBox) {
  fw::Layout layout;
  layout.checksumDelta = 1;
  const std::string path = Write(AllColumns(), layout, "bad.flm");
  winport::ui::ScriptedAnswers script;
  winport::ui::ExpectedDialog box;
  box.text = "File " + path + " has no data!";
  box.caption = "File Import Error";
  box.type = MB_OK | MB_ICONERROR;
  script.Box(box);
  EXPECT_FALSE(filmor::ImportFilmorFile(path, import_));
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(import_.signals.Count(), 0u);

  // A file that imports with columns left out names them in a warning.
  const std::string all = Write(AllColumns());
  winport::ui::ScriptedAnswers warned;
  box.text = "File " + all + " is incomplete.\nColumn type without a conversion, left out: ch18"
             "\nColumn narrower than its values, left out: ch21";
  box.type = MB_OK | MB_ICONWARNING;
  warned.Box(box);
  EXPECT_TRUE(filmor::ImportFilmorFile(all, import_));
  EXPECT_TRUE(warned.Ok()) << warned.Report();
  EXPECT_EQ(import_.signals.Count(), kSignalCount);
}

TEST_F(FilmorTest, MissingFileAndFolderHaveNoData) {
  EXPECT_EQ(filmor::ReadFilmorFile(dir_.File("absent.flm"), import_).document.status, DocumentStatus::OpenFailed);
  EXPECT_EQ(filmor::ReadFilmorFile(dir_.Path(), import_).status, FilmorStatus::NoData);
}

// The module delivers what the reader read: every field of every signal, the
// file's properties and comment, and each signal's bytes as the host streams them.
TEST_F(FilmorTest, ImportsThroughTheHost) {
  smalltest::ModuleHost host(smalltest::kFilmorModule);
  const std::pair<const char*, fw::Document> fixtures[] = {{"all_columns.flm", AllColumns()},
                                                           {"two_groups.flm", TwoGroups()}};
  for (const auto& [name, doc] : fixtures) {
    SCOPED_TRACE(name);
    const std::string path = Write(doc, {}, name);
    ASSERT_EQ(filmor::ReadFilmorFile(path, import_).status, FilmorStatus::Ok);
    const testsupport::ImportResult r = host.Import("Filmor.FileImport", path);
    EXPECT_EQ(host::TextOf(r.file, "Name"), std::string(name).substr(0, std::string(name).find('.')));
    EXPECT_EQ(host::NumberOf(r.file, "IsValid"), 1);
    EXPECT_EQ(host::NumberOf(r.file, "FileDate"), 0);
    EXPECT_EQ(host::NumberOf(r.file, "BlockSize"), 4096);
    EXPECT_EQ(host::NumberOf(r.file, "DataSize"), import_.dataSize);
    EXPECT_EQ(host::NumberOf(r.file, "NoOfComments"), 1);
    EXPECT_EQ(host::NumberOf(r.file, "nFiles"), 1);
    ASSERT_EQ(r.comments.size(), 1u);
    EXPECT_EQ(r.comments[0].index, 0);
    EXPECT_EQ(r.comments[0].text, import_.comment);
    ASSERT_EQ(r.signals.size(), import_.signals.Count());
    for (size_t i = 0; i < r.signals.size(); ++i) {
      const filmor::FilmorSignal& s = import_.signals[i];
      smalltest::ExpectDelivered(r.signals[i], s);
      EXPECT_EQ(host.Samples(std::to_string(i + 1)).bytes, std::string(s.samples.begin(), s.samples.end())) << i;
    }
    // All columns: one box names the two that make no signal.
    EXPECT_EQ(r.boxes.size(), import_.shortfall.Empty() ? 0u : 1u);
  }
}

}  // namespace

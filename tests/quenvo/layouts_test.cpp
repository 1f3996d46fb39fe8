// The three layouts through the host stand-in, on files written by libmatio:
// how each is recognised, what it makes of odd classes, short arrays and
// missing fields, the limits of the data space, and the messages of a
// failed import.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/win32/codepage.h"
#include "tests/quenvo/quenvo_host.h"

namespace {

using namespace quenvotest;
using matwriter::Numbers;
using testsupport::ImportResult;

// The file comment as the host lists it ("" when it is empty).
std::string FileComment(const ImportResult& r) {
  return !r.comments.empty() && r.comments[0].index == 0 ? r.comments[0].text : "";
}

class Layouts : public testing::Test {
 protected:
  // Writes the variables into a file of the test's folder and returns its path.
  std::string Write(const std::vector<matvar_t*>& variables, matio_compression compression = MAT_COMPRESSION_NONE) {
    const std::string path = host.Dir().File("f" + std::to_string(++files) + ".mat");
    WriteMat(path, variables, compression);
    return path;
  }
  // The import's failure; fails the test when it succeeds.
  host::Failure MustFail(const std::string& path) {
    const std::optional<host::Failure> failure = host.TryImport(path);
    if (!failure) {
      ADD_FAILURE() << "the import succeeded";
      return host::Failure(host::Exit::Ok, "", std::nullopt, "");
    }
    return *failure;
  }
  // The one box of the last import, as "caption: text".
  std::string OnlyBox() {
    const std::vector<host::BoxRecord> boxes = host.Boxes();
    if (boxes.size() != 1) return std::to_string(boxes.size()) + " boxes";
    return boxes[0].caption + ": " + boxes[0].text;
  }

  ModuleHost host;
  int files = 0;
};

// --- the channel struct ---

TEST_F(Layouts, DatenOfEveryNumericClassConvertsByItsClassOthersCountAsNone) {
  const double big = 18446744073709549568.0;  // 2^64 - 2048, exact in both
  const std::string path = Write({ChannelStruct(
      "signale",
      {
          {"d", Numbers<double>(nullptr, MAT_C_DOUBLE, {1, 2}, {-1.5, 2.25})},
          {"s", Numbers<float>(nullptr, MAT_C_SINGLE, {2, 1}, {0.5f, -3.75f})},
          {"i8", Numbers<int8_t>(nullptr, MAT_C_INT8, {1, 2}, {-128, 127})},
          {"u8", Numbers<uint8_t>(nullptr, MAT_C_UINT8, {1, 2}, {0, 255})},
          {"i16", Numbers<int16_t>(nullptr, MAT_C_INT16, {1, 2}, {-32768, 32767})},
          {"u16", Numbers<uint16_t>(nullptr, MAT_C_UINT16, {1, 2}, {0, 65535})},
          {"i32", Numbers<int32_t>(nullptr, MAT_C_INT32, {1, 2}, {INT32_MIN, INT32_MAX})},
          {"u32", Numbers<uint32_t>(nullptr, MAT_C_UINT32, {1, 2}, {0, UINT32_MAX})},
          {"i64", Numbers<int64_t>(nullptr, MAT_C_INT64, {1, 2}, {INT64_MIN, -1})},
          {"u64", Numbers<uint64_t>(nullptr, MAT_C_UINT64, {1, 2}, {static_cast<uint64_t>(big), 1})},
          {"logical", matwriter::Logical(nullptr, 1, 2, {1, 0})},
          {"text", Text(nullptr, "12")},
      })});
  const ImportResult r = host.MustImport(path);
  const struct {
    const char* name;
    std::vector<double> values;
  } kExpected[] = {
      {"d", {-1.5, 2.25}},         {"s", {0.5, -3.75}},          {"i8", {-128, 127}},
      {"u8", {0, 255}},            {"i16", {-32768, 32767}},     {"u16", {0, 65535}},
      {"i32", {INT32_MIN, INT32_MAX}}, {"u32", {0, 4294967295.0}}, {"i64", {-9223372036854775808.0, -1}},
      {"u64", {big, 1}},
  };
  ASSERT_EQ(r.signals.size(), std::size(kExpected));
  for (size_t i = 0; i < r.signals.size(); ++i) {
    SCOPED_TRACE(kExpected[i].name);
    EXPECT_EQ(Text(r.signals[i], "Name"), kExpected[i].name);
    EXPECT_EQ(host.Values(i + 1), kExpected[i].values);
    EXPECT_EQ(Number(r.signals[i], "YMin"), std::min(kExpected[i].values[0], kExpected[i].values[1]));
    EXPECT_EQ(Number(r.signals[i], "YMax"), std::max(kExpected[i].values[0], kExpected[i].values[1]));
    EXPECT_EQ(Number(r.signals[i], "Block0"), static_cast<double>(i));
  }
}

TEST_F(Layouts, ChannelBlocksTextsAndScaling) {
  std::vector<double> many(129);
  for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<double>(i) * 0.5;
  const std::string path = Write({ChannelStruct(
      "signale", {
                     {"lang", Row(nullptr, many), "Lange Reihe", "bar"},
                     {"kurz", Row(nullptr, {7}), "-", "-"},
                     {"ohne", nullptr, "keine Daten", "V"},
                     {"zahl", Row(nullptr, {1, 2}), std::nullopt, std::nullopt,
                      {{"beschreibung", Scalar(nullptr, 5)}, {"einheit", Row(nullptr, {1, 2})}}},
                     {"Gross", Row(nullptr, {3}), std::nullopt, std::nullopt,
                      {{"BESCHREIBUNG", Text(nullptr, "grosse Namen")}, {"Einheit", Text(nullptr, "A")}}},
                 })});
  const ImportResult r = host.MustImport(path);
  ASSERT_EQ(r.signals.size(), 4u);
  // 129 values take two blocks: the next channel starts two blocks later.
  EXPECT_EQ(Number(r.signals[0], "Block0"), 0);
  EXPECT_EQ(Number(r.signals[1], "Block0"), 2);
  EXPECT_EQ(Number(r.signals[2], "Block0"), 3);
  EXPECT_EQ(Number(r.signals[3], "Block0"), 4);
  EXPECT_EQ(Number(r.file, "DataSize"), 5 * 1024);
  EXPECT_EQ(host.Values(1), many);
  EXPECT_EQ(Text(r.signals[0], "Label"), "Lange Reihe");
  EXPECT_EQ(Text(r.signals[0], "YUnit"), "bar");
  // "-" and texts of other classes leave the label and unit empty.
  for (size_t i : {1, 2}) {
    EXPECT_EQ(Text(r.signals[i], "Label"), "");
    EXPECT_EQ(Text(r.signals[i], "YUnit"), "");
  }
  EXPECT_EQ(Text(r.signals[3], "Label"), "grosse Namen");
  EXPECT_EQ(Text(r.signals[3], "YUnit"), "A");
  // A host that scales by YFactor and YOffset sees the values as stored.
  for (const host::PropertyList& p : r.signals) {
    EXPECT_EQ(Number(p, "YFactor"), 1.0);
    EXPECT_EQ(Number(p, "YOffset"), 0.0);
  }
}

TEST_F(Layouts, TimeChannelAxisAndEquidistance) {
  const struct {
    const char* field;
    std::vector<double> t;
    int uniDir;
    double minDelta, maxDelta;
  } kCases[] = {
      {"ZEIT", {1.0, 1.01, 1.02, 1.03005}, 1, 0.01, 0.01005},
      {"time", {0.0, 0.01, 0.0202}, 0, 0.01, 0.0102},
      {"Zeit", {4.0}, 1, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.field);
    const std::string path = Write({ChannelStruct("signale", {{"v", Row(nullptr, {1, 2})},
                                                              {c.field, Row(nullptr, c.t)},
                                                              {"w", Row(nullptr, {3})}})});
    const ImportResult r = host.MustImport(path);
    ASSERT_EQ(r.signals.size(), 3u);
    const host::PropertyList& t = r.signals[1];
    const double n = static_cast<double>(c.t.size());
    EXPECT_EQ(Number(t, "IsUniDir"), c.uniDir);
    EXPECT_NEAR(Number(t, "MinDelta"), c.minDelta, 1e-12);
    EXPECT_NEAR(Number(t, "MaxDelta"), c.maxDelta, 1e-12);
    for (const host::PropertyList& p : r.signals) {
      EXPECT_EQ(Number(p, "XMin"), c.t.front());
      EXPECT_EQ(Number(p, "XOffset"), c.t.front());
      EXPECT_EQ(Number(p, "XMax"), c.t.back());
      EXPECT_NEAR(Number(p, "XFactor"), (c.t.back() - c.t.front()) / std::max(n - 1, 1.0), 1e-12);
      EXPECT_EQ(Text(p, "XUnit"), "s");
    }
    EXPECT_EQ(Number(r.signals[0], "IsUniDir"), 0);
  }
  // Without a time channel the axis stays empty.
  const ImportResult r = host.MustImport(Write({ChannelStruct("signale", {{"v", Row(nullptr, {1, 2})}})}));
  EXPECT_EQ(Number(r.signals[0], "XFactor"), 0);
  EXPECT_EQ(Text(r.signals[0], "XUnit"), "");
}

TEST_F(Layouts, RecognitionOfTheChannelStruct) {
  const auto channels = [] { return ChannelStruct("signale", {{"a", Row(nullptr, {1})}, {"b", Row(nullptr, {2})}}); };
  const auto named = [](const char* name) {
    matvar_t* s = ChannelStruct(name, {{"a", Row(nullptr, {1})}, {"b", Row(nullptr, {2})}});
    return s;
  };
  const struct {
    const char* what;
    std::vector<matvar_t*> variables;
    size_t signals;
    const char* comment;
    int isValid;  // the exact name "signale", or a "Zeit" found in the channel struct
  } kCases[] = {
      {"after the leading texts", {Text("ZEITSTEMPEL", "heute"), Text("kommentar", "Lauf 3"), channels()}, 2, "Lauf 3", 1},
      {"without them", {channels()}, 2, "", 1},
      {"another case, found by the search", {named("Signale")}, 2, "", 0},
      {"in a later variable", {Scalar("zahl", 1), channels()}, 2, "", 0},
      {"inside a struct", {StructOf("messung", {{"info", Text(nullptr, "x")}, {"signale", named(nullptr)}})}, 2, "", 0},
      {"with a time channel, in a later variable",
       {Scalar("zahl", 1), ChannelStruct("signale", {{"a", Row(nullptr, {1})}, {"b", Row(nullptr, {2})},
                                                     {"ZEIT", Row(nullptr, {0})}})},
       3, "", 1},
      {"none: the variable at hand, no layout", {Scalar("zahl", 1)}, 0, "", 0},
      {"none: its fields hold no daten", {StructOf("s", {{"a", Scalar(nullptr, 1)}})}, 0, "", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const ImportResult r = host.MustImport(Write(c.variables));
    EXPECT_EQ(r.signals.size(), c.signals);
    EXPECT_EQ(Number(r.file, "IsValid"), c.isValid);
    if (c.signals) {
      EXPECT_EQ(Text(r.signals[1], "Name"), "b");
    } else {
      EXPECT_EQ(Number(r.file, "DataSize"), 0);
    }
    EXPECT_EQ(FileComment(r), c.comment);
    EXPECT_TRUE(r.boxes.empty());
  }
}

// The search for "signale" looks 31 structs deep into a variable, no deeper.
TEST_F(Layouts, TheSearchIsBoundedInDepth) {
  for (const int depth : {31, 32}) {
    SCOPED_TRACE(depth);
    matvar_t* inner = StructOf(nullptr, {{"signale", ChannelStruct(nullptr, {{"a", Row(nullptr, {1, 2})}})}});
    for (int level = 1; level < depth; ++level) inner = StructOf(nullptr, {{"n", inner}});
    const ImportResult r = host.MustImport(Write({StructOf("tief", {{"n", inner}})}));
    EXPECT_EQ(r.signals.size(), depth == 31 ? 1u : 0u);
  }
}

// --- failures of the import ---

TEST_F(Layouts, FailedImportsAndTheirMessages) {
  const std::string notMat = host.Dir().File("text.mat");
  testsupport::WriteFileBytes(notMat, "MATLAB 5.0 MAT-file, but nothing after it");
  const std::string noVariable = Write({});
  const std::string onlyTexts = Write({Text("ZEITSTEMPEL", "heute"), Text("KOMMENTAR", "nichts")});
  const struct {
    std::string path;
    std::string box;  // empty: none
  } kCases[] = {
      {notMat, "Quenvo: Error opening file " + notMat},
      {host.Dir().File("missing.mat"), "Quenvo: Error opening file " + host.Dir().File("missing.mat")},
      {noVariable, ""},
      {onlyTexts, "Quenvo: Die Datei " + onlyTexts + " hat eine ungültige Struktur"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    const host::Failure failure = MustFail(c.path);
    EXPECT_EQ(failure.hr, E_FAIL);
    EXPECT_EQ(c.box.empty() ? "0 boxes" : c.box, OnlyBox());
  }
}

// --- X/Y ---

TEST_F(Layouts, XYNamesUnitsAndShortColumns) {
  const std::string path = Write({XYStruct("mess", std::nullopt, Row(nullptr, {0, 0.5, 1.0, 1.5}),
                                           {{"Top/Mid/\"Leaf\"", Row(nullptr, {1, 2, 3, 4}), "V"},
                                            {std::nullopt, Numbers<int16_t>(nullptr, MAT_C_INT16, {1, 2}, {-5, 6}), ""},
                                            {"1/2x", Numbers<uint32_t>(nullptr, MAT_C_UINT32, {1, 6}, {1, 2, 3, 4, 5, 6}),
                                             std::nullopt}})});
  const ImportResult r = host.MustImport(path);
  ASSERT_EQ(r.signals.size(), 4u);
  // The X channel without a char "Name" is "Time" and has no label.
  EXPECT_EQ(Text(r.signals[0], "Name"), "Time");
  EXPECT_EQ(Text(r.signals[0], "Label"), "");
  EXPECT_EQ(Text(r.signals[0], "DisplayName"), "");
  EXPECT_EQ(host.Values(1), (std::vector<double>{0, 0.5, 1.0, 1.5}));
  EXPECT_EQ(Text(r.signals[1], "Name"), "Leaf_Mid_Top");
  EXPECT_EQ(Text(r.signals[1], "Label"), "Leaf\\Mid\\Top");
  EXPECT_EQ(Text(r.signals[1], "YUnit"), "V");
  // A Y without a char "Name" has an empty name; a shorter Y has its own values
  // only, and a box names it; a longer one gives n values.
  EXPECT_EQ(Text(r.signals[2], "Name"), "");
  EXPECT_EQ(host.Values(3), (std::vector<double>{-5, 6}));
  EXPECT_EQ(Number(r.signals[2], "NoOfValues"), 2);
  EXPECT_EQ(Number(r.signals[2], "XMax"), 0.5);
  EXPECT_EQ(OnlyBox(), "Quenvo: Die Datei " + path + " ist unvollständig.\nWeniger Werte als X: Y(2)");
  // The name skips the built name's leading characters that are no letters.
  EXPECT_EQ(Text(r.signals[3], "Name"), "x_1");
  EXPECT_EQ(Text(r.signals[3], "Label"), "2x\\1");
  EXPECT_EQ(host.Values(4), (std::vector<double>{1, 2, 3, 4}));
  for (const host::PropertyList& p : r.signals) {
    EXPECT_EQ(Number(p, "XFactor"), 0.5);
    if (&p != &r.signals[2]) {
      EXPECT_EQ(Number(p, "XMax"), 1.5);
    }
  }
}

TEST_F(Layouts, XYWithOneXValueHasNoStep) {
  const ImportResult r =
      host.MustImport(Write({XYStruct("mess", "Zeit", Row(nullptr, {2.5}), {{"y", Row(nullptr, {7}), "m"}})}));
  ASSERT_EQ(r.signals.size(), 2u);
  EXPECT_EQ(Text(r.signals[0], "Name"), "Zeit");
  EXPECT_EQ(Text(r.signals[0], "Label"), "Zeit");
  for (const host::PropertyList& p : r.signals) {
    EXPECT_EQ(Number(p, "XFactor"), 0);
    EXPECT_EQ(Number(p, "XMax"), 0);
    EXPECT_EQ(Number(p, "NoOfValues"), 1);
  }
  EXPECT_EQ(host.Values(2), std::vector<double>{7});
}

TEST_F(Layouts, XYViolationsGiveTheirMessageCodes) {
  const auto x = [] { return Row(nullptr, {0, 1}); };
  const auto y = [] { return std::vector<YDef>{{"a", Row(nullptr, {1, 2}), "V"}}; };
  // Records of 4096 doubles, 2^16 + 1 of them, pass 2 GiB.
  const std::vector<double> xs((size_t{1} << 16) + 1, 1.0);
  const std::vector<YDef> manyY(4095);
  const struct {
    const char* what;
    matvar_t* variable;
    const char* box;
  } kCases[] = {
      {"Y Data of class int64", XYStruct("m", "t", x(), {{"a", Numbers<int64_t>(nullptr, MAT_C_INT64, {1, 2}, {1, 2})}}),
       "The type of the object is unexpected"},
      {"Y without Data", XYStruct("m", "t", x(), {{"a", nullptr, "V"}}), "The type of the object is unexpected"},
      {"X Data of class single",
       XYStruct("m", "t", Numbers<float>(nullptr, MAT_C_SINGLE, {1, 2}, {0, 1}), y()),
       "The type of the object is unexpected"},
      {"the X found deeper, not in the variable",
       StructOf("m", {{"inner", StructOf(nullptr, {{"X", Scalar(nullptr, 1)}})}}), "The type of the object is unexpected"},
      {"X without Y", StructOf("m", {{"X", StructOf(nullptr, {{"Name", Text(nullptr, "t")}, {"Data", x()}})}}),
       "The type of the object is unexpected"},
      {"beyond the data space", XYStruct("m", "t", Row(nullptr, xs), manyY), "Not enough memory to open MatLab file"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const host::Failure failure = MustFail(Write({c.variable}, MAT_COMPRESSION_ZLIB));
    EXPECT_EQ(failure.hr, E_FAIL);
    EXPECT_EQ(OnlyBox(), std::string("MatLab Import: ") + c.box);
  }
}

// --- the test bench ---

struct MessDef {
  MessDef(std::optional<std::string> name, matvar_t* werte = nullptr, matvar_t* ta = nullptr,
          matvar_t* capture = nullptr, std::optional<std::string> einheit = std::nullopt,
          std::optional<std::string> beschreibung = std::nullopt)
      : name(std::move(name)), werte(werte), ta(ta), capture(capture), einheit(std::move(einheit)),
        beschreibung(std::move(beschreibung)) {}
  std::optional<std::string> name;
  matvar_t* werte = nullptr;
  matvar_t* ta = nullptr;
  matvar_t* capture = nullptr;
  std::optional<std::string> einheit, beschreibung;
};

// "Messdaten": a 1 x d struct array of the channels.
matvar_t* Messdaten(const std::vector<MessDef>& channels) {
  matvar_t* m = matwriter::Struct(nullptr, {1, channels.size()},
                                  {"Name", "Beschreibung", "Werte", "Einheit", "Ta", "Capture"});
  for (size_t g = 0; g < channels.size(); ++g) {
    const MessDef& c = channels[g];
    if (c.name) matwriter::SetField(m, "Name", g, Text(nullptr, *c.name));
    if (c.beschreibung) matwriter::SetField(m, "Beschreibung", g, Text(nullptr, *c.beschreibung));
    if (c.werte) matwriter::SetField(m, "Werte", g, c.werte);
    if (c.einheit) matwriter::SetField(m, "Einheit", g, Text(nullptr, *c.einheit));
    if (c.ta) matwriter::SetField(m, "Ta", g, c.ta);
    if (c.capture) matwriter::SetField(m, "Capture", g, c.capture);
  }
  return m;
}

// "CaptureInfo": a 1 x k struct array whose "Capture" structs hold each "SamplingPeriod".
matvar_t* CaptureInfo(const std::vector<matvar_t*>& periods) {
  matvar_t* info = matwriter::Struct(nullptr, {1, periods.size()}, {"Capture"});
  for (size_t j = 0; j < periods.size(); ++j)
    matwriter::SetField(info, "Capture", j, StructOf(nullptr, {{"SamplingPeriod", periods[j]}}));
  return info;
}

matvar_t* Column(const std::vector<double>& values) { return matwriter::Doubles(nullptr, values.size(), 1, values); }

TEST_F(Layouts, ErgebnisTimeStepTaAndCapturePeriods) {
  const auto periods = [] {
    return CaptureInfo({Scalar(nullptr, 0.1), Numbers<float>(nullptr, MAT_C_SINGLE, {1, 1}, {0.25f}),
                        Numbers<int16_t>(nullptr, MAT_C_INT16, {1, 1}, {3})});
  };
  const auto int16 = [](int16_t v) { return Numbers<int16_t>(nullptr, MAT_C_INT16, {1, 1}, {v}); };
  const struct {
    const char* what;
    std::vector<MessDef> channels;
    std::vector<double> xFactors;
  } kCases[] = {
      {"the smallest Ta wins over the time channel's step",
       {{"ZEIT", Column({0, 0.5, 1.0})}, {"a", Column({1, 2}), Scalar(nullptr, 0.02)}, {"b", Column({1}), Scalar(nullptr, 0.01)}},
       {0.01, 0.01, 0.01}},
      {"the time channel's step",
       {{"zeit", Column({0, 0.5, 1.0})}, {"a", Column({1, 2}), nullptr, int16(1)}},
       {0.5, 0.5}},
      {"a time channel of one value has no step: the Capture index selects the period",
       {{"ZEIT", Column({3})},
        {"a", Column({1}), nullptr, int16(1)},
        {"b", Column({1}), nullptr, int16(2)},
        {"c", Column({1}), nullptr, Numbers<uint8_t>(nullptr, MAT_C_UINT8, {1, 1}, {0})},
        {"d", Column({1})}},
       {0.1, 0.25, 3, 0.1, 0.1}},
      {"an index outside the periods read selects period 0",
       {{"a", Column({1}), nullptr, int16(-1)},
        {"b", Column({1}), nullptr, Scalar(nullptr, 1e300)},
        {"c", Column({1}), nullptr, Scalar(nullptr, std::nan(""))},
        {"d", Column({1}), nullptr, Scalar(nullptr, 1.9)},
        {"e", Column({1}), nullptr, Text(nullptr, "1")}},
       {0.1, 0.1, 0.1, 0.25, 0.1}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string path =
        Write({StructOf("Ergebnis", {{"CaptureInfo", periods()}, {"Messdaten", Messdaten(c.channels)}})});
    const ImportResult r = host.MustImport(path);
    ASSERT_EQ(r.signals.size(), c.xFactors.size());
    for (size_t g = 0; g < r.signals.size(); ++g) {
      EXPECT_EQ(Number(r.signals[g], "XFactor"), c.xFactors[g]) << g;
      EXPECT_EQ(Number(r.signals[g], "XMax"), (Number(r.signals[g], "NoOfValues") - 1) * c.xFactors[g]) << g;
    }
  }
}

TEST_F(Layouts, ErgebnisRecordsNamesAndValues) {
  const double big = 18446744073709549568.0;
  const std::string path = Write({StructOf(
      "ergebnis",  // any case
      {{"Messdaten",
        Messdaten({{"Achse/Kraft", Column({1, 2, 3}), nullptr, nullptr, "kN", "Kraft oben"},
                   {std::nullopt, Numbers<uint64_t>(nullptr, MAT_C_UINT64, {2, 1}, {static_cast<uint64_t>(big), 7})},
                   {"Text", Text(nullptr, "abc")}})}})});
  const ImportResult r = host.MustImport(path);
  ASSERT_EQ(r.signals.size(), 3u);
  EXPECT_EQ(Number(r.file, "BlockSize"), 24);
  EXPECT_EQ(Number(r.file, "DataSize"), 72);
  EXPECT_EQ(Text(r.signals[0], "Name"), "Kraft_Achse");
  EXPECT_EQ(Text(r.signals[0], "DisplayName"), "Kraft\\Achse");
  EXPECT_EQ(Text(r.signals[0], "Label"), "Kraft oben");
  EXPECT_EQ(Text(r.signals[0], "YUnit"), "kN");
  EXPECT_EQ(host.Values(1), (std::vector<double>{1, 2, 3}));
  // Without a name the name is empty; uint64 values convert unsigned.
  EXPECT_EQ(Text(r.signals[1], "Name"), "");
  EXPECT_EQ(host.Values(2), (std::vector<double>{big, 7}));
  // "Werte" of another class gives no values.
  EXPECT_EQ(Number(r.signals[2], "NoOfValues"), 0);
  // Periods default to 1.
  EXPECT_EQ(Number(r.signals[0], "XFactor"), 1.0);
  EXPECT_EQ(r.comments.size(), 0u);  // no Kommentar: an empty file comment; T1 and T2 without text
}

TEST_F(Layouts, ErgebnisCommentsFromInfo) {
  const auto withInfo = [](matvar_t* info) {
    std::vector<std::pair<std::string, matvar_t*>> fields{{"Messdaten", Messdaten({{"a", Column({1})}})},
                                                          {"Pruefstand", Text(nullptr, "PS 1")},
                                                          {"Kommentar", Text(nullptr, "lang")}};
    if (info) fields.emplace_back("Info", info);
    return StructOf("Ergebnis", fields);
  };
  const auto oem = [](const char* utf8) { return winport::AnsiToUtf8(winport::AnsiToOem(winport::Utf8ToAnsi(utf8))); };
  const struct {
    const char* what;
    matvar_t* info;
    std::vector<std::pair<std::string, std::string>> comments;  // slot 1 on: name and text ("" for none)
  } kCases[] = {
      {"full",
       StructOf(nullptr, {{"Einspannung", StructOf(nullptr, {{"Nummer", Numbers<int64_t>(nullptr, MAT_C_INT64, {1, 1},
                                                                                          {INT64_MAX})},
                                                             {"Beschreibung", Text(nullptr, "oben")}})},
                          {"Pruefmodus", StructOf(nullptr, {{"Nummer", Scalar(nullptr, -2.75)},
                                                            {"Beschreibung", Text(nullptr, "Dauer")}})},
                          {"Versuch", Text(nullptr, "V1")}}),
       {{"T1", oem("Einspannung (9223372036854775807): oben")},
        {"T2", oem("Prüfmodus (-2): Dauer")},
        {"T3", oem("Versuch: V1")}}},
      {"numbers of no class or too large for an integer",
       StructOf(nullptr, {{"Einspannung", StructOf(nullptr, {{"Nummer", Scalar(nullptr, 1e30)}})},
                          {"Pruefmodus", StructOf(nullptr, {{"Nummer", Text(nullptr, "7")},
                                                            {"Beschreibung", Text(nullptr, "frei")}})}}),
       {{"T1", oem("Einspannung (1000000000000000019884624838656): ")}, {"T2", oem("frei")}}},
      {"an empty Info", StructOf(nullptr, {{"x", Scalar(nullptr, 1)}}), {{"T1", oem("Einspannung (): ")}, {"T2", ""}}},
      {"no Info", nullptr, {{"T1", ""}, {"T2", ""}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const ImportResult r = host.MustImport(Write({withInfo(c.info)}));
    ASSERT_FALSE(r.comments.empty());
    EXPECT_EQ(r.comments[0].text, oem("Prüfstand: PS 1\nKommentar: lang"));
    // The host lists the comments with a text; T1 and T2 are stored even when empty.
    std::vector<std::pair<std::string, std::string>> listed;
    for (size_t i = 1; i < r.comments.size(); ++i)
      listed.emplace_back(r.comments[i].name.value_or("(none)"), r.comments[i].text);
    std::vector<std::pair<std::string, std::string>> expected;
    for (const auto& [name, text] : c.comments)
      if (!text.empty()) expected.emplace_back(name, text);
    EXPECT_EQ(listed, expected);
  }
}

TEST_F(Layouts, ErgebnisViolationsGiveTheirMessageCodes) {
  // 4096 channels of up to 2^16 + 1 values pass 2 GiB.
  matvar_t* wide = matwriter::Struct(nullptr, {1, 4096}, {"Werte"});
  matwriter::SetField(wide, "Werte", 0, Column(std::vector<double>((size_t{1} << 16) + 1, 1.0)));
  const struct {
    const char* what;
    matvar_t* variable;
    const char* box;
  } kCases[] = {
      {"Ergebnis is no struct", Scalar("Ergebnis", 1), "The type of the object is unexpected"},
      {"Messdaten is no struct", StructOf("Ergebnis", {{"Messdaten", Scalar(nullptr, 1)}}),
       "The type of the object is unexpected"},
      {"Werte of element 1 is not double",
       StructOf("Ergebnis", {{"Messdaten", Messdaten({{"a", Numbers<float>(nullptr, MAT_C_SINGLE, {1, 1}, {1})}})}}),
       "The type of the object is unexpected"},
      {"a channel without Werte", StructOf("Ergebnis", {{"Messdaten", Messdaten({{"a", Column({1})}, {"b"}})}}),
       "The type of the object is unexpected"},
      {"beyond the data space", StructOf("Ergebnis", {{"Messdaten", wide}}),
       "Not enough memory to open MatLab file"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const host::Failure failure = MustFail(Write({c.variable}, MAT_COMPRESSION_ZLIB));
    EXPECT_EQ(failure.hr, E_FAIL);
    EXPECT_EQ(OnlyBox(), std::string("MatLab Import: ") + c.box);
  }
}

}  // namespace

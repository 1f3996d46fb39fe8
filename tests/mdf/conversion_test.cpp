#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Opens a file with one channel per conversion and keeps it for the tests.
class ConversionFile {
 public:
  explicit ConversionFile(const std::vector<CcSpec>& ccs) {
    FileDef def = SimpleFileDef(1, 0, 1);
    for (const CcSpec& cc : ccs) {
      ChannelDef ch;
      ch.cn = CnSpec{.name = "c", .bits = 16, .dataType = dt::kUInt};
      ch.cc = cc;
      def.groups[0].channels.push_back(ch);
    }
    path_ = dir_.File("cc.mdf");
    BuildFile(def).writer.Save(path_);
    mdf_.SetShowMessages(false);
    opened_ = mdf_.Open(path_);
  }
  bool Opened() const { return opened_ == 1; }
  // The conversion of channel i (0 = first converted channel).
  const CCCBlock* Cc(size_t i) const {
    const CCNBlock* cn = mdf_.GetFirstDG()->GetFirstCG()->GetFirstCN()->GetNext();
    for (size_t k = 0; k < i; ++k) cn = cn->GetNext();
    return cn->GetConversion();
  }
  const CCNBlock* Cn(size_t i) const {
    const CCNBlock* cn = mdf_.GetFirstDG()->GetFirstCG()->GetFirstCN()->GetNext();
    for (size_t k = 0; k < i; ++k) cn = cn->GetNext();
    return cn;
  }

 private:
  TempDir dir_;
  std::string path_;
  CMdf mdf_;
  int opened_ = 0;
};

struct ConvCase {
  const char* what;
  CcSpec cc;
  double x;
  double expected;  // NaN: the result is NaN
};

TEST(ApplyConversion, EveryTypeAndTheEndRulesOfTables) {
  const auto table = std::vector<std::pair<double, double>>{{0, 0}, {10, 100}, {20, 400}};
  // Expected values computed by hand from the formulas of each type.
  const ConvCase cases[] = {
      {"linear", CcLinear(0.5, -10), 40, 10},
      {"interpolated, on an entry", CcTable(table, true), 10, 100},
      {"interpolated, between", CcTable(table, true), 15, 250},
      {"interpolated, below", CcTable(table, true), -5, 0},
      {"interpolated, above", CcTable(table, true), 25, 400},
      {"interpolated, NaN takes the first", CcTable(table, true), kNaN, 0},
      {"lookup, between", CcTable(table, false), 15, 100},
      {"lookup, on an entry", CcTable(table, false), 10, 100},
      {"lookup, just below the last", CcTable(table, false), 19.99, 100},
      {"lookup, above", CcTable(table, false), 99, 400},
      // (P2 - P4*d) / (P3*d - P1), d = x - P5 - P6: (10 - (-2)*3) / (0.5*3 - (-100)) = 16 / 101.5
      {"polynomial", CcPolynomial({-100, 10, 0.5, -2, 1, 1}), 5, 16.0 / 101.5},
      // P4 = 0: exp(((x - P7) * P6 - P3) / P1) / P2 = exp((4*1 - 0)/100)/2
      {"exponential, P4 = 0", CcExponential({100, 2, 0, 0, 0, 1, 0}), 4, std::exp(0.04) / 2},
      // P1 = 0: exp((P3 / (x - P7) - P6) / P4) / P5 = exp((6/(4-1) - 1)/2)/3
      {"exponential, P1 = 0", CcExponential({0, 0, 6, 2, 3, 1, 1}), 4, std::exp(0.5) / 3},
      {"exponential, both set", CcExponential({1, 1, 1, 1, 1, 1, 1}), 4, 0},
      // ln(((x - P7) * P6 - P3) / P1) / P2 = ln((10*1 + 1)/1)/1
      {"logarithmic, P4 = 0", CcLogarithmic({1, 1, -1, 0, 0, 1, 0}), 10, std::log(11.0)},
      {"logarithmic, P1 = 0", CcLogarithmic({0, 0, 6, 2, 3, 1, 1}), 4, std::log(0.5) / 3},
      {"logarithmic, both set", CcLogarithmic({1, 1, 1, 1, 1, 1, 1}), 4, 0},
      // (P1 x^2 + P2 x + P3) / (P4 x^2 + P5 x + P6) = (9 + 0 + 0) / (0 + 3 + 1)
      {"rational", CcRational({1, 0, 0, 0, 1, 1}), 3, 9.0 / 4},
      {"text table passes the value", CcTextTable({{0, "OFF"}, {1, "ON"}}), 1, 1},
      {"date passes the value", CcDate(1500, 30, 12, 14, 5, 26), 7, 7},
      {"identity size 0", CcIdentity(0), 42, 42},
      {"identity size 2", CcIdentity(2), 42, 42},
      {"unknown type", CcOther(3, std::string(16, '\x01')), 42, 42},
      {"interpolated, empty table", CcTable({}, true), 42, 42},
      {"lookup, empty table", CcTable({}, false), 42, 42},
  };
  std::vector<CcSpec> specs;
  for (const ConvCase& c : cases) specs.push_back(c.cc);
  ConversionFile file(specs);
  ASSERT_TRUE(file.Opened());
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    const double got = ApplyConversion(file.Cc(i), cases[i].x);
    EXPECT_DOUBLE_EQ(got, cases[i].expected);
  }
  EXPECT_EQ(ApplyConversion(nullptr, 3.5), 3.5);
}

TEST(ApplyConversion, TextFormulaTypeTenIsTrimmedAndEvaluated) {
  ConversionFile file({CcFormula("X/4+1.5   "), CcFormula("sqrt(x)*2,5"), CcFormula("X/"),
                       CcFormula("")});
  ASSERT_TRUE(file.Opened());
  EXPECT_STREQ(file.Cc(0)->GetFormula(), "X/4+1.5");
  EXPECT_EQ(file.Cc(0)->GetType(), 10);
  EXPECT_DOUBLE_EQ(ApplyConversion(file.Cc(0), 10), 4.0);
  EXPECT_DOUBLE_EQ(ApplyConversion(file.Cc(0), -6), 0.0);
  // Lower case and a decimal comma are read as upper case and a point.
  EXPECT_DOUBLE_EQ(ApplyConversion(file.Cc(1), 16), 10.0);
  // A formula that does not evaluate gives 0.
  EXPECT_EQ(ApplyConversion(file.Cc(2), 3), 0.0);
  EXPECT_EQ(ApplyConversion(file.Cc(3), 3), 0.0);
}

TEST(InverseLinear, FactorZeroAndOtherTypes) {
  ConversionFile file({CcLinear(2, 1), CcLinear(0, 5), CcTable({{0, 0}, {1, 1}}, true)});
  ASSERT_TRUE(file.Opened());
  EXPECT_EQ(InverseLinear(file.Cc(0), 7), 3);
  EXPECT_EQ(InverseLinear(file.Cc(1), 7), 1e308);
  EXPECT_EQ(InverseLinear(file.Cc(2), 7), 7);
  EXPECT_EQ(InverseLinear(nullptr, 7), 7);
}

// Text-range tables resolve into a linear conversion, a text table or stay a range table.
TEST(TextRangeTable, ResolvesAsTheDefaultTextAndRangesSay) {
  const std::string invalid = Ansi("Signal ungültig");
  const std::string invalidMixed = Ansi("sIGNAL UNGüLTIG");
  const std::vector<CcSpec> specs = {
      CcTextRange("{LINEAR_CONV \"0.5*{X}+3\"}", {CcRange{255, 255, invalidMixed}}),  // 0
      CcTextRange(std::nullopt, {CcRange{255, 255, invalid}}),                         // 1
      CcTextRange("Default", {CcRange{0, 9, "low"}}),                                 // 2
      CcTextRange("AUS", {CcRange{1, 1, "EIN"}}),                                      // 3
      CcTextRange(std::nullopt, {CcRange{1.7, 2, "a"}, CcRange{3, 4, std::nullopt},
                                 CcRange{5.2, 6, "b"}}),                               // 4
      CcTextRange(std::nullopt, {}),                                                   // 5
      CcTextRange("{LINEAR_CONV \"", {CcRange{1, 1, "x"}}),                            // 6
      CcTextRange("{linear_conv", {CcRange{1, 1, "x"}}),                               // 7
      CcTextRange("{LINEAR_CONV \"2.5", {CcRange{1, 1, "x"}}),                         // 8
  };
  ConversionFile file(specs);
  ASSERT_TRUE(file.Opened());

  const CCCBlock* lin = file.Cc(0);
  EXPECT_EQ(lin->GetFileType(), 12);
  EXPECT_EQ(lin->GetType(), 0);
  EXPECT_EQ(lin->GetParams()[1], 0.5);
  EXPECT_EQ(lin->GetParams()[0], 3);
  EXPECT_EQ(lin->GetParams()[3], 1e308);
  EXPECT_EQ(lin->GetParams()[4], 255);
  EXPECT_EQ(ApplyConversion(lin, 10), 8);
  EXPECT_TRUE(file.Cn(0)->IsNoValueSet());
  EXPECT_EQ(file.Cn(0)->GetNoValue(), 255 * 0.5 + 3);

  const CCCBlock* ident = file.Cc(1);
  EXPECT_EQ(ident->GetType(), 0);
  EXPECT_EQ(ident->GetParams()[1], 1);
  EXPECT_EQ(ident->GetParams()[0], 0);
  EXPECT_EQ(ident->GetParams()[4], 255);
  EXPECT_EQ(file.Cn(1)->GetNoValue(), 255);

  EXPECT_EQ(file.Cc(2)->GetType(), 12);
  ASSERT_EQ(file.Cc(2)->GetRangeTexts().size(), 1u);
  EXPECT_EQ(file.Cc(2)->GetRangeTexts()[0], "low");

  const CCCBlock* onoff = file.Cc(3);
  EXPECT_EQ(onoff->GetType(), 11);
  ASSERT_EQ(onoff->GetTextTable().size(), 2u);
  EXPECT_EQ(onoff->GetSize(), 2);
  EXPECT_EQ(onoff->GetTextTable()[0].value, 0);
  EXPECT_STREQ(onoff->GetTextTable()[0].text.data(), "AUS");
  EXPECT_EQ(onoff->GetTextTable()[1].value, 1);
  EXPECT_STREQ(onoff->GetTextTable()[1].text.data(), "EIN");

  // Case B: ranges with texts fill the table in order, lower values truncated.
  const CCCBlock* caseB = file.Cc(4);
  EXPECT_EQ(caseB->GetType(), 11);
  ASSERT_EQ(caseB->GetTextTable().size(), 3u);
  EXPECT_EQ(caseB->GetTextTable()[0].value, 1);
  EXPECT_STREQ(caseB->GetTextTable()[0].text.data(), "a");
  EXPECT_EQ(caseB->GetTextTable()[1].value, 5);
  EXPECT_STREQ(caseB->GetTextTable()[1].text.data(), "b");
  EXPECT_STREQ(caseB->GetTextTable()[2].text.data(), "");

  // No ranges at all: an empty table, which converts as no conversion.
  EXPECT_EQ(file.Cc(5)->GetTextTable().size(), 0u);
  EXPECT_EQ(ApplyConversion(file.Cc(5), 9), 9);

  // A marker text too short to hold numbers, or holding only the factor, keeps
  // factor 1 and offset 0 where nothing was read.
  for (size_t i : {6, 7}) {
    EXPECT_EQ(file.Cc(i)->GetType(), 0) << i;
    EXPECT_EQ(file.Cc(i)->GetParams()[1], 1) << i;
    EXPECT_EQ(file.Cc(i)->GetParams()[0], 0) << i;
  }
  EXPECT_EQ(file.Cc(8)->GetParams()[1], 2.5);
  EXPECT_EQ(file.Cc(8)->GetParams()[0], 0);
}

TEST(ConversionBlock, CloneCopiesEveryTable) {
  ConversionFile file({CcTextRange("AUS", {CcRange{1, 1, "EIN"}}), CcFormula("X*2")});
  ASSERT_TRUE(file.Opened());
  for (size_t i : {0, 1}) {
    auto copy = file.Cc(i)->Clone();
    EXPECT_EQ(copy->GetType(), file.Cc(i)->GetType());
    EXPECT_EQ(copy->GetTextTable().size(), file.Cc(i)->GetTextTable().size());
    EXPECT_STREQ(copy->GetFormula(), file.Cc(i)->GetFormula());
    if (i == 1) {
      EXPECT_NE(copy->GetFormula(), file.Cc(i)->GetFormula());  // its own copy
    }
    EXPECT_EQ(copy->GetDefaultText(), file.Cc(i)->GetDefaultText());
  }
}

TEST(ConversionBlock, DateTextFromTheSevenBytes) {
  ConversionFile file({CcDate(1500, 30, 12, 14, 5, 26)});
  ASSERT_TRUE(file.Opened());
  EXPECT_EQ(file.Cc(0)->FormatDate(), "14. 05. 26  12:30:01,500");
}

}  // namespace

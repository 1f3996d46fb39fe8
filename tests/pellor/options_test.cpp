#include "pellor/options.h"

#include <gtest/gtest.h>

#include <optional>

#include "importcore/support.h"
#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"
#include "tests/support/host_variables.h"
#include "tests/support/temp_dir.h"

namespace pellor {
namespace {

using testsupport::HostVariables;

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    importcore::SetDefaultVariablesKey();
    ClearWarnings();
  }
  void TearDown() override {
    importcore::SetDefaultVariablesKey();
    ClearWarnings();
  }
  std::string WriteIni(const std::string& text) {
    const std::string path = vars_.Dir().File("MDFOptions.INI");
    testsupport::WriteFileBytes(path, text);
    return path;
  }
  HostVariables vars_;
};

TEST(OptionsFilePath, LiesBesideTheModule) {
  EXPECT_EQ(OptionsFilePath("/opt/zp/libPellor.so"), "/opt/zp/MDFOptions.INI");
  EXPECT_EQ(OptionsFilePath("libPellor.so"), "MDFOptions.INI");
}

TEST_F(OptionsTest, LoadOptionsReadsTheOptionsFile) {
  const struct {
    const char* what;
    std::string ini;
    std::optional<std::string> displayName;  // host variable MDF_DISPLAYNAME
    std::vector<std::string> ignore;
    int32_t nameMode, showAll, lockFile;
    std::string canName, canDisplay, canAlias;
  } cases[] = {
      {"no file", "", std::nullopt, {}, 0, 0, 0, "", "", ""},
      {"ignore names stop at the first gap", "[Ignore]\nName1=Sig_A\nName3=Sig_C\n", std::nullopt, {"Sig_A"}, 0, 0, 0,
       "", "", ""},
      {"all keys", "[Ignore]\nName1=a\nName2=b\n[Name]\nUseASAM=1\n[Time]\nShowAll=1\n[Options]\nLockFile=1\n"
       "[CAN]\nFormatName=%s_%d\nFormatDisplayName=D\nFormatAlias=A\n",
       std::nullopt, {"a", "b"}, 1, 1, 1, "%s_%d", "D", "A"},
      {"the host's display-name variable wins", "[Name]\nUseASAM=1\n", "3", {}, 2, 0, 0, "", "", ""},
      {"display name 0 selects the short name", "[Name]\nUseASAM=1\n", "0", {}, -1, 0, 0, "", "", ""},
      {"a pattern is cut to 255 characters", "[CAN]\nFormatName=" + std::string(259, 'p') + "\n", std::nullopt, {},
       0, 0, 0, std::string(255, 'p'), "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vars_.Remove("MDF_DISPLAYNAME");
    if (c.displayName) vars_.Set("MDF_DISPLAYNAME", *c.displayName);
    ParameterBlock block;
    block.SetPattern(ParameterBlock::kCanAliasPattern, "");
    std::vector<std::string> ignore;
    LoadOptions(c.ini.empty() ? vars_.Dir().File("none.ini") : WriteIni(c.ini), block, ignore);
    EXPECT_EQ(ignore, c.ignore);
    EXPECT_EQ(block.UnpackNames(), c.ignore);
    EXPECT_EQ(block.Int(ParameterBlock::kNameMode), c.nameMode);
    EXPECT_EQ(block.Int(ParameterBlock::kShowAll), c.showAll);
    EXPECT_EQ(block.Int(ParameterBlock::kLockFile), c.lockFile);
    EXPECT_EQ(block.Pattern(ParameterBlock::kCanNamePattern), c.canName);
    EXPECT_EQ(block.Pattern(ParameterBlock::kCanDisplayNamePattern), c.canDisplay);
    EXPECT_EQ(block.Pattern(ParameterBlock::kCanAliasPattern), c.canAlias);
  }
}

TEST_F(OptionsTest, AnEmptyPatternKeepsTheBlocksOwn) {
  ParameterBlock block;
  block.SetPattern(ParameterBlock::kCanNamePattern, "kept");
  std::vector<std::string> ignore;
  LoadOptions(WriteIni("[CAN]\nFormatName=\n"), block, ignore);
  EXPECT_EQ(block.Pattern(ParameterBlock::kCanNamePattern), "kept");
}

TEST_F(OptionsTest, OptionVariablesFillTheBlock) {
  const struct {
    std::vector<std::pair<std::string, std::string>> vars;
    uint32_t memoryLimit;
    double xMax, xMin;
    int32_t rangeFlags, fillRange, writeRange, resetTime, ignoreUnknown;
  } cases[] = {
      {{}, 315621376u, 1.01, 0.99, 0, 0, 0, 0, 0},
      {{{"MDF_MEMORYLIMIT", "1"}}, 1232896u, 1.01, 0.99, 0, 0, 0, 0, 0},
      {{{"MDF_MEMORYLIMIT", "0"}}, 315621376u, 1.01, 0.99, 0, 0, 0, 0, 0},
      {{{"MDF_MEMORYLIMIT", "4000"}}, 0xFFFFFFFFu, 1.01, 0.99, 0, 0, 0, 0, 0},  // saturated, not wrapped
      {{{"MDF_MEMORYLIMIT", "-3"}}, 315621376u, 1.01, 0.99, 0, 0, 0, 0, 0},
      {{{"MDF_XMAXFACTOR", "1.5"}, {"MDF_XMINFACTOR", "0.5"}}, 315621376u, 1.5, 0.5, 0, 0, 0, 0, 0},
      {{{"MDF_XMAXFACTOR", "0"}}, 315621376u, 1.01, 0.99, 0, 0, 0, 0, 0},
      {{{"MDF_OVERWRITERANGE", "1"}, {"MDF_NICERANGE", "7"}}, 315621376u, 1.01, 0.99, 3, 0, 0, 0, 0},
      {{{"MDF_NICERANGE", "1"}}, 315621376u, 1.01, 0.99, 2, 0, 0, 0, 0},
      {{{"MDF_FILLRANGE", "1"}, {"MDF_WRITERANGE", "1"}, {"MDF_RESETTIME", "1"}, {"MDF_IGNOREUNKNOWNSCALING", "1"}},
       315621376u, 1.01, 0.99, 0, 1, 1, 1, 1},
  };
  const char* all[] = {"MDF_MEMORYLIMIT", "MDF_XMAXFACTOR", "MDF_XMINFACTOR", "MDF_OVERWRITERANGE", "MDF_NICERANGE",
                       "MDF_FILLRANGE", "MDF_WRITERANGE", "MDF_RESETTIME", "MDF_IGNOREUNKNOWNSCALING"};
  for (const auto& c : cases) {
    for (const char* name : all) vars_.Remove(name);
    std::string what;
    for (const auto& [name, value] : c.vars) {
      vars_.Set(name, value);
      what += name + "=" + value + " ";
    }
    SCOPED_TRACE(what);
    ParameterBlock block;
    ReadOptionVariables(block);
    EXPECT_EQ(block.MemoryLimit(), c.memoryLimit);
    EXPECT_DOUBLE_EQ(block.Double(ParameterBlock::kXMaxFactor), c.xMax);
    EXPECT_DOUBLE_EQ(block.Double(ParameterBlock::kXMinFactor), c.xMin);
    EXPECT_EQ(block.Int(ParameterBlock::kRangeFlags), c.rangeFlags);
    EXPECT_EQ(block.Int(ParameterBlock::kFillRange), c.fillRange);
    EXPECT_EQ(block.Int(ParameterBlock::kWriteRange), c.writeRange);
    EXPECT_EQ(block.Int(ParameterBlock::kResetTime), c.resetTime);
    EXPECT_EQ(block.Int(ParameterBlock::kIgnoreUnknownScaling), c.ignoreUnknown);
  }
}

TEST_F(OptionsTest, LoadNamesStopAtTheFirstMissingOne) {
  const struct {
    std::optional<std::string> count;
    std::vector<std::pair<int, std::string>> names;
    std::vector<std::string> expected;
  } cases[] = {
      {std::nullopt, {{1, "a"}}, {}},
      {"2", {{1, "Speed"}, {2, "Rpm"}}, {"Speed", "Rpm"}},
      {"2", {{1, "Speed"}}, {"Speed", ""}},  // the empty name matches every signal
      {"2000000000", {{1, "x"}}, {"x", ""}},  // a huge count ends at the first gap
      {"-1", {{1, "x"}}, {}},
  };
  for (const auto& c : cases) {
    vars_.Remove("MDF_SIGNALS2LOAD");
    for (int i = 1; i <= 2; ++i) vars_.Remove("MDF_LOADSIGNAL" + std::to_string(i));
    if (c.count) vars_.Set("MDF_SIGNALS2LOAD", *c.count);
    for (const auto& [i, name] : c.names) vars_.Set("MDF_LOADSIGNAL" + std::to_string(i), name);
    std::vector<std::string> list = {"kept"};  // the list of an object is kept across imports
    ReadLoadNames(list);
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(list, expected) << c.count.value_or("none");
  }
}

TEST_F(OptionsTest, WriteVariableWritesIntoTheCurrentKey) {
  EXPECT_EQ(WriteVariable("ERRNO", "1"), 0);
  EXPECT_EQ(vars_.Get("ERRNO"), "1");
  importcore::SelectVariablesKey(1792);
  WriteVariable("ERRNO", "2");
  EXPECT_EQ(vars_.Get("ERRNO", HostVariables::kKey7), "2");
  EXPECT_EQ(vars_.Get("ERRNO"), "1");
}

TEST_F(OptionsTest, WarningsCollectTextsBehindLineFeeds) {
  EXPECT_FALSE(HasWarningText());
  SetWarningFlag(warn::kDataSpaceFull);
  EXPECT_FALSE(HasWarningText());
  AddWarning(warn::kFactorZero, "one");
  AddWarning(warn::kNoValueZero, "two");
  EXPECT_EQ(WarningText(), "one\ntwo");
  EXPECT_EQ(WarningFlags(), warn::kDataSpaceFull | warn::kFactorZero | warn::kNoValueZero);
  ClearWarnings();
  EXPECT_EQ(WarningFlags(), 0u);
  EXPECT_FALSE(HasWarningText());
}

TEST_F(OptionsTest, ReportImportErrorsByFlagSet) {
  const std::string noValueBox = winport::Utf8ToAnsi(
      "Für einige Signale wird der NoValue nicht unterstützt, NoValues werden als 0-Werte angezeigt!\n\n");
  const std::string scalingBox = "Signale ausgeblendet wegen unsicherer Skalierungsvorschrift!\n\n";
  const std::string spaceBox =
      winport::Utf8ToAnsi("Signale am Ende der Datei wurden wegen Datenüberlaufs (> 4 GB) ausgeblendet!\n\n");
  const struct {
    uint32_t flags;
    std::optional<std::string> text;  // with a flag
    std::optional<std::string> errno_, errmsg;  // in "ZSP" mode
    std::vector<std::string> boxes;               // otherwise
    std::vector<std::string> unflagged = {};       // texts added without a flag
  } cases[] = {
      {0, std::nullopt, std::nullopt, std::nullopt, {}},
      {0x01, "T", "1", "Zeitfehler", {"T"}},
      {0x02, "N", "2", "NoValue=0.0", {noValueBox + "N", "N"}},
      {0x03, "T\nN", "3", "Zeitfehler/NoValue=0.0", {noValueBox + "T\nN", "T\nN"}},
      {0x04, std::nullopt, "4", "Signale ausgeblendet", {spaceBox}},
      {0x09, "T\nF", "9", "Umrechnungsfaktor = 0.0", {"T\nF"}},
      {0x10, std::nullopt, "16", "Signale ausgeblendet wegen unsicherer Skalierungsvorschrift", {scalingBox}},
      {0x20, std::nullopt, "32", "Signale angetroffen mit unsicherer Skalierungsvorschrift", {scalingBox}},
      {0x36, "N", "54", "Signale angetroffen mit unsicherer Skalierungsvorschrift",
       {noValueBox + "N", scalingBox + "N", spaceBox + "N", "N"}},
      // Warnings without a flag of their own: their texts, below the summary.
      {0, std::nullopt, "64", "only text", {"only text"}, {"only text"}},
      {0x08, "F", "72", "Umrechnungsfaktor = 0.0\nW1\nW2", {"F\nW1\nW2"}, {"W1", "W2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    for (const bool zsp : {true, false}) {
      vars_.Remove("ERRNO");
      vars_.Remove("ERRMSG");
      ClearWarnings();
      SetWarningFlag(c.flags);
      // The text with the case's lowest flag, then those without a flag.
      if (c.text) AddWarning(c.flags & (~c.flags + 1), *c.text);
      for (const std::string& text : c.unflagged) AddWarning(0, text);
      winport::ui::ScriptedAnswers script;
      if (!zsp)
        for (const std::string& box : c.boxes) {
          winport::ui::ExpectedDialog expected;
          expected.text = box;
          expected.caption = "Pellor";
          expected.type = MB_OK | MB_ICONHAND;
          script.Box(expected);
        }
      ReportImportErrors(zsp ? "ZSP" : "");
      EXPECT_TRUE(script.Ok()) << script.Report();
      EXPECT_FALSE(HasWarningText());  // freed by the report
      EXPECT_EQ(vars_.Get("ERRNO"), zsp ? c.errno_ : std::nullopt);
      EXPECT_EQ(vars_.Get("ERRMSG"), zsp ? c.errmsg : std::nullopt);
    }
  }
}

}  // namespace
}  // namespace pellor

// The CAN-frame log of the corpus through the host stand-in: whether the
// import asks before it converts the frames into CAN signals, by the user
// text, the host variable WARNINGLEVEL and the answer; and the conversion
// through a settings file that the user text names.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "host/value.h"
#include "pellor/canlog.h"
#include "pellor/dialogs/can_settings.h"
#include "platform/ui/messagebox.h"
#include "tests/support/corpus.h"
#include "tests/support/host_harness.h"

namespace {

using host::TextOf;
using testsupport::HostHarness;

constexpr const char* kLog = "mdf/gen_canlog_v330.mdf";
constexpr size_t kCanSignals = 34;  // the signals the databases make of the log's frames
constexpr size_t kChannels = 15;    // the log's own channels, imported as an MDF file

class DriverCanLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::CorpusPresent()) GTEST_SKIP() << "corpus folder " << testsupport::CorpusDir() << " absent";
    host_.Register(PELLOR_PATH);
    // The default settings file lies in the folder of temporary files: this
    // test's own, for this test only (the folder goes with the test).
    if (const char* temp = std::getenv("TEMP")) savedTemp_ = temp;
    setenv("TEMP", host_.Dir().File("").c_str(), 1);
    const std::string dbc = testsupport::CorpusFile("dbc/");
    for (const std::string& file : {settings_, pellor::CanSettingsPath()}) {
      pellor::WriteCanIniSection({dbc + "gen_canlog_ch1.dbc"}, 1, file);
      pellor::WriteCanIniSection({dbc + "gen_canlog_ch2a.dbc", dbc + "gen_canlog_ch2b.dbc"}, 2, file);
    }
  }

  void TearDown() override {
    if (savedTemp_)
      setenv("TEMP", savedTemp_->c_str(), 1);
    else
      unsetenv("TEMP");
  }

  HostHarness host_;
  std::string settings_ = host_.Dir().File("can.ini");
  std::optional<std::string> savedTemp_;
};

bool Asked(const testsupport::ImportResult& r) {
  for (const host::BoxRecord& box : r.boxes)
    if (!box.dialog && box.text.find("CAN-LOG-Datei") != std::string::npos) return true;
  return false;
}

TEST_F(DriverCanLogTest, AsksUnlessTheUserTextOrWarningLevelDecides) {
  const struct {
    const char* name;
    std::string user;
    std::optional<std::string> warningLevel;
    std::vector<int> answers;
    bool asked;
    size_t signals;
  } cases[] = {
      {"settings file, Yes", settings_, std::nullopt, {IDYES}, true, kCanSignals},
      {"settings file, No", settings_, std::nullopt, {IDNO}, true, kChannels},
      {"settings file, WARNINGLEVEL 1", settings_, "1", {}, false, kCanSignals},
      {"settings file, WARNINGLEVEL 0", settings_, "0", {IDNO}, true, kChannels},
      {"ZSP", "ZSP", std::nullopt, {}, false, kChannels},
      {"ZSP, WARNINGLEVEL 2", "ZSP", "2", {}, false, kCanSignals},
      {"ImportCAN", "ImportCAN", std::nullopt, {IDOK}, false, kCanSignals},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ImportOptions options;
    options.user = c.user;
    options.answers = c.answers;
    if (c.warningLevel) options.vars.push_back({"WARNINGLEVEL", *c.warningLevel});
    const testsupport::ImportResult r = host_.Import("Pellor.ZPFileImport", testsupport::CorpusFile(kLog), options);
    EXPECT_EQ(Asked(r), c.asked);
    EXPECT_EQ(r.signals.size(), c.signals);
    if (c.signals == kCanSignals) {
      EXPECT_EQ(TextOf(r.signals[1], "Name"), "EngineSpeed");
      EXPECT_EQ(host_.Samples("EngineSpeed").values.size(), host::NumberOf(r.signals[1], "NoOfValues"));
    } else {
      EXPECT_EQ(TextOf(r.signals[0], "Name"), "msgTime@1");  // the time channel leads
    }
  }
}

}  // namespace

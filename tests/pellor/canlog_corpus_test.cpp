// The CAN-frame log of the corpus, imported through a settings file that names
// the databases its oracle names, against what canmatrix decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/support/pellor_canlog_driver.h"
#include "tests/support/corpus.h"

namespace pellor {
namespace {

using namespace canlogtest;
using nlohmann::json;

// A summary of values as the oracle writes it: count, first and last five, min, max.
void ExpectSummary(const std::vector<double>& values, const json& summary, double tolerance) {
  ASSERT_EQ(values.size(), summary["count"].get<size_t>());
  const std::vector<double> first = summary["first"].get<std::vector<double>>();
  const std::vector<double> last = summary["last"].get<std::vector<double>>();
  for (size_t i = 0; i < first.size(); ++i) EXPECT_NEAR(values[i], first[i], tolerance) << "first " << i;
  for (size_t i = 0; i < last.size(); ++i)
    EXPECT_NEAR(values[values.size() - last.size() + i], last[i], tolerance) << "last " << i;
  EXPECT_NEAR(*std::min_element(values.begin(), values.end()), summary["min"].get<double>(), tolerance);
  EXPECT_NEAR(*std::max_element(values.begin(), values.end()), summary["max"].get<double>(), tolerance);
}

class CanLogCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::CorpusPresent()) GTEST_SKIP() << "corpus folder " << testsupport::CorpusDir() << " absent";
    oracle = testsupport::LoadOracle(kLog);
    const std::string dbc = testsupport::CorpusFile("dbc/");
    WriteSettings(settings, {{1, {dbc + "gen_canlog_ch1.dbc"}},
                             {2, {dbc + "gen_canlog_ch2a.dbc", dbc + "gen_canlog_ch2b.dbc"}}});
    ScopedCanLogDriver driver;
    ASSERT_EQ(import.ImportFile(testsupport::CorpusFile(kLog), settings), S_OK);
  }

  static constexpr const char* kLog = "mdf/gen_canlog_v330.mdf";
  testsupport::HostVariables host;
  std::string settings = host.Dir().File("can.ini");
  json oracle;
  FileImport import;
};

TEST_F(CanLogCorpusTest, SignalsComeInPairOrderWithTheirTimeSignalFirst) {
  // Pairs in the order of their first frame make time@1 ...; the list runs by
  // channel, id (unsigned: the extended one last), time signal, signals, multiplexor.
  const std::vector<std::string> expected = {
      "time@2", "EngineSpeed", "EngineTemp", "Throttle", "Flag_A", "Flag_B", "Gear", "Torque",
      "time@1", "BrakePressure", "WheelSpeedFL", "YawRate", "Counter", "BrakeState",
      "time@4", "SigA", "SigB", "SigC", "Alive", "MuxSel",
      "time@5", "FloatValue", "Counter32",
      "time@3", "WheelBasedSpeed", "CruiseActive",
      "time@6", "OilPressure", "OilLevel",
      "time@8", "StatusA", "StatusB",
      "time@7", "ExtraBits"};
  EXPECT_EQ(SignalNames(import), expected);
  EXPECT_EQ(import.m_nSignals, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(import.CanDoReadEx(), 0);  // served from memory
}

TEST_F(CanLogCorpusTest, ValuesAndTimesMatchTheOracle) {
  for (const json& e : oracle["ids"]) {
    if (e["message"].is_null()) continue;  // 0x555: in no database, no signals
    SCOPED_TRACE(e["message"].get<std::string>());
    const uint32_t frames = e["frames"].get<uint32_t>();
    // Each signal's X signal is its pair's time signal.
    const SignalRecord* first = FindSignal(import, e["signals"][0]["name"].get<std::string>());
    ASSERT_NE(first, nullptr);
    const SignalRecord* time = first->timeRecord;
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->NoOfValues, frames);
    EXPECT_EQ(time->DTyp, 13);
    ExpectSummary(ReadValues(import, *time), e["time"], 0.0);
    EXPECT_EQ(time->XMin, e["time"]["min"].get<double>());
    EXPECT_EQ(time->XMax, e["time"]["max"].get<double>());

    const SignalRecord* muxSel = nullptr;
    for (const json& s : e["signals"])
      if (s.value("multiplexor", false)) muxSel = FindSignal(import, s["name"].get<std::string>());
    for (const json& s : e["signals"]) {
      const std::string name = s["name"].get<std::string>();
      SCOPED_TRACE(name);
      const SignalRecord* r = FindSignal(import, name);
      ASSERT_NE(r, nullptr);
      EXPECT_EQ(r->NoOfValues, frames);
      EXPECT_EQ(r->YFactor, s["factor"].get<double>());
      EXPECT_EQ(r->YOffset, s["offset"].get<double>());
      EXPECT_EQ(r->YUnit.str(), s["unit"].get<std::string>());
      EXPECT_EQ(r->timeRecord, time);
      const std::vector<double> values = ReadValues(import, *r);
      ASSERT_EQ(values.size(), frames);
      std::vector<size_t> taken;  // the frames whose values the oracle lists
      if (s.contains("mux_value")) {
        ASSERT_NE(muxSel, nullptr);
        const std::vector<double> sel = ReadValues(import, *muxSel);
        for (size_t i = 0; i < frames; ++i)
          if (sel[i] == s["mux_value"].get<double>()) taken.push_back(i);
        ASSERT_FALSE(taken.empty());
        // Elsewhere the value holds; before its first frame it is that frame's value.
        for (size_t i = 0; i < frames; ++i) {
          if (std::find(taken.begin(), taken.end(), i) != taken.end()) continue;
          EXPECT_EQ(values[i], i < taken.front() ? values[taken.front()] : values[i - 1]) << "frame " << i;
        }
      } else {
        for (size_t i = 0; i < frames; ++i) taken.push_back(i);
      }
      std::vector<double> raw, phys;
      for (size_t i : taken) {
        raw.push_back(values[i]);
        phys.push_back(values[i] * r->YFactor + r->YOffset);
      }
      ExpectSummary(raw, s["raw"], 0.0);
      ExpectSummary(phys, s["phys"], 1e-9);
    }
  }
}

TEST_F(CanLogCorpusTest, TypesFollowWhatAFloatHolds) {
  // Counter32 has 32 bits and goes to doubles; a 32-bit float stays one.
  EXPECT_EQ(FindSignal(import, "Counter32")->DTyp, 13);
  EXPECT_EQ(FindSignal(import, "Counter32")->Demux, 8);
  EXPECT_EQ(FindSignal(import, "FloatValue")->DTyp, 11);
  EXPECT_EQ(FindSignal(import, "EngineSpeed")->ValuesPerBlock, 256);
  // Channel 2's id 0x120 comes from the first database that has it.
  EXPECT_NE(FindSignal(import, "StatusA"), nullptr);
  EXPECT_EQ(FindSignal(import, "WordB"), nullptr);
  // Value texts make a digital signal.
  const SignalRecord* gear = FindSignal(import, "Gear");
  ASSERT_EQ(gear->valueTexts.size(), 5u);
  EXPECT_EQ(gear->valueTexts[4].value, 15);
  EXPECT_EQ(gear->valueTexts[4].text, "Invalid");
  EXPECT_EQ(gear->STyp, styp::kDigital);
  EXPECT_EQ(FindSignal(import, "EngineSpeed")->Label.str(), "crank shaft speed");
  // Signals of up to 4 bits are digital too.
  EXPECT_EQ(FindSignal(import, "Flag_A")->STyp, styp::kDigital);
  EXPECT_EQ(FindSignal(import, "EngineSpeed")->STyp, styp::kSignal);
}

}  // namespace
}  // namespace pellor

// The MDF import end to end through the host stand-in, on the files of the
// corpus: each imports in "ZSP" mode, and every signal's samples as the host
// reads them (bit fields cut by BitSize, scaled by YFactor and YOffset) equal
// what the independent reader of the oracle decoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/failure.h"
#include "host/value.h"
#include "importcore/support.h"
#include "mdf/format.h"
#include "tests/support/corpus.h"
#include "tests/support/host_harness.h"
#include "tests/support/temp_dir.h"

namespace {

using host::NumberOf;
using host::TextOf;
using nlohmann::json;
using testsupport::HostHarness;

constexpr const char* kProgId = "Pellor.ZPFileImport";

std::string Identifier(std::string name) {
  importcore::MakeIdentifier(name);
  return name;
}

double Number(const json& v) {
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    return s == "nan" ? NAN : s == "inf" ? INFINITY : s == "-inf" ? -INFINITY : std::stod(s);
  }
  return v.get<double>();
}

bool Near(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b || std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

// Values against the oracle's summary: count, first and last five, min,
// max. A gap stands for the signal's NoValue, which the oracle lists as a value.
void ExpectSummary(const std::vector<std::optional<double>>& samples, const json& summary,
                   const host::PropertyList& signal) {
  ASSERT_EQ(samples.size(), summary["count"].get<size_t>());
  std::vector<double> values;
  for (const std::optional<double>& v : samples) {
    ASSERT_TRUE(v.has_value() || NumberOf(signal, "HasNoValue") == 1) << "a gap without a NoValue";
    values.push_back(v.value_or(NumberOf(signal, "NoValue")));
  }
  if (values.empty()) return;
  const json& first = summary["first"];
  const json& last = summary["last"];
  for (size_t i = 0; i < first.size(); ++i)
    EXPECT_PRED2(Near, values[i], Number(first[i])) << "sample " << i;
  for (size_t i = 0; i < last.size(); ++i)
    EXPECT_PRED2(Near, values[values.size() - last.size() + i], Number(last[i])) << "from the end " << i;
  EXPECT_PRED2(Near, *std::min_element(values.begin(), values.end()), Number(summary["min"]));
  EXPECT_PRED2(Near, *std::max_element(values.begin(), values.end()), Number(summary["max"]));
}

class DriverCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::CorpusPresent()) GTEST_SKIP() << "corpus folder " << testsupport::CorpusDir() << " absent";
    host_.Register(PELLOR_PATH);
  }

  // In "ZSP" mode, with these host variables.
  testsupport::ImportResult Import(const std::string& file,
                                   std::vector<std::pair<std::string, std::string>> vars = {}) {
    testsupport::ImportOptions options;
    options.user = "ZSP";
    options.vars = std::move(vars);
    return host_.Import(kProgId, testsupport::CorpusFile(file), options);
  }
  // The number (from 1) of the signal of this name in the loaded group.
  std::optional<size_t> Find(const testsupport::ImportResult& r, const std::string& name, int group) const {
    for (size_t i = 0; i < r.signals.size(); ++i)
      if (TextOf(r.signals[i], "Name") == name && NumberOf(r.signals[i], "iGroup") == group) return i + 1;
    return std::nullopt;
  }

  HostHarness host_;
};

// Files of the corpus generator: per channel group with records (loaded in
// that order), each channel's physical values. Texts and byte arrays have no
// numbers: they are left out, each with a warning that reaches the host.
TEST_F(DriverCorpusTest, GeneratedFilesDeliverTheOraclesValues) {
  for (const char* file : {"mdf/gen_groups_v310.mdf", "mdf/gen_conversions_v330.mdf", "mdf/gen_bitfields_v320.mdf",
                           "mdf/gen_recordids_v330.mdf", "mdf/gen_motorola_default_v310.mdf"}) {
    SCOPED_TRACE(file);
    const json oracle = testsupport::LoadOracle(file);
    const testsupport::ImportResult r = Import(file);
    EXPECT_TRUE(r.boxes.empty());
    int group = 0;
    size_t checked = 0, channels = 0;
    std::vector<std::string> leftOut;
    for (const json& g : oracle["groups"]) {
      if (g["records"].get<uint32_t>() == 0) continue;
      ++group;
      for (const json& c : g["channels"]) {
        const std::string name = c["name"].get<std::string>();
        SCOPED_TRACE(name);
        const int dataType = c["data_type"].get<int>();
        const bool time = c["channel_type"].get<int>() == 1;
        const std::optional<size_t> index =
            Find(r, Identifier(name) + (time ? "@" + std::to_string(group) : ""), group);
        if (dataType == 7 || dataType == 8) {
          EXPECT_FALSE(index) << "a channel without numbers was imported";
          leftOut.push_back(mdf::StrFormat("Warnung für Signal %s: Datentyp %d mit %d Bit hat keine Zahlenwerte",
                                           name.c_str(), dataType, c["bits"].get<int>()));
          continue;
        }
        ++channels;
        ASSERT_TRUE(index) << "not imported";
        ExpectSummary(host_.Samples(std::to_string(*index)).values, c["phys"], r.signals[*index - 1]);
        ++checked;
      }
    }
    if (leftOut.empty()) {
      EXPECT_FALSE(r.errnoValue) << *r.errnoValue << " " << r.errmsg.value_or("");
    } else {
      EXPECT_EQ(r.errnoValue.value_or(""), "64");
      const std::string message = r.errmsg.value_or("");
      for (const std::string& warning : leftOut)
        EXPECT_NE(message.find(warning), std::string::npos) << warning << "\nin: " << message;
    }
    // Every signal is one of the oracle's channels: nothing more came.
    EXPECT_EQ(r.signals.size(), channels);
    EXPECT_GT(checked, 0u);
  }
}

// Files of other writers: mdfreader's physical values per channel.
TEST_F(DriverCorpusTest, OtherWritersFilesDeliverTheOraclesValues) {
  for (const char* file : {"mdf/test_meas_3.00.mdf", "mdf/test_meas_3.20.mdf", "mdf/mdfreader_written_v330.mdf"}) {
    SCOPED_TRACE(file);
    const json oracle = testsupport::LoadOracle(file);
    const testsupport::ImportResult r = Import(file);
    EXPECT_FALSE(r.errnoValue) << *r.errnoValue;
    ASSERT_EQ(r.signals.size(), oracle["channels"].size());
    for (const json& c : oracle["channels"]) {
      const std::string name = c["name"].get<std::string>();
      SCOPED_TRACE(name);
      const bool time = c["master"] == c["name"];
      const std::optional<size_t> index = Find(r, Identifier(name) + (time ? "@1" : ""), 1);
      ASSERT_TRUE(index);
      ExpectSummary(host_.Samples(std::to_string(*index)).values, c, r.signals[*index - 1]);
    }
  }
}

TEST_F(DriverCorpusTest, TextTablesAreDigitalWithTheirTexts) {
  const testsupport::ImportResult r = Import("mdf/gen_conversions_v330.mdf");
  const std::optional<size_t> vtab = Find(r, "vtab", 1);
  ASSERT_TRUE(vtab);
  const host::PropertyList& s = r.signals[*vtab - 1];
  EXPECT_EQ(NumberOf(s, "STyp"), 4);
  const host::Value* texts = host::Find(s, "BitState");
  ASSERT_NE(texts, nullptr);
  EXPECT_EQ(std::get<host::TextList>(*texts), (host::TextList{"OFF|0", "ON|1", "ERROR|2", "SNA|255"}));
  EXPECT_EQ(NumberOf(s, "YMin"), 0);
  EXPECT_EQ(NumberOf(s, "YMax"), 255);
}

TEST_F(DriverCorpusTest, GroupsNamesAndSourceTexts) {
  const std::string file = "mdf/gen_groups_v310.mdf";
  // The fourth group has no records: no signals of it.
  const testsupport::ImportResult plain = Import(file);
  std::vector<std::string> names;
  for (const host::PropertyList& s : plain.signals) names.push_back(TextOf(s, "Name"));
  EXPECT_EQ(names, (std::vector<std::string>{"time@1", "speed_1", "temp_1", "time@2", "speed_2", "temp_2", "time@3",
                                             "speed_3", "temp_3"}));
  EXPECT_EQ(TextOf(plain.signals[1], "Label"), "vehicle speed, group 1\nsecond comment line");
  // The display name follows the name mode (MDF_DISPLAYNAME - 1): the ASAM
  // name from 10 characters on, the display name "Speed G1" is too short;
  // the extension's source text follows: a DIM module's ECU, a CAN message and sender.
  const struct {
    const char* mode;
    const char* speed;
  } cases[] = {{"1", "speed_1\\ECU0"}, {"2", "Vehicle.Speed.Group1.Measured\\ECU0"},
               {"3", "Vehicle.Speed.Group1.Measured\\ECU0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const testsupport::ImportResult r = Import(file, {{"MDF_DISPLAYNAME", c.mode}});
    EXPECT_EQ(TextOf(r.signals[1], "DisplayName"), c.speed);
    EXPECT_EQ(TextOf(r.signals[1], "Name"), "speed_1");
    EXPECT_EQ(TextOf(r.signals[2], "DisplayName"), "temp_1\\Msg_0\\Node0");
  }
}

TEST_F(DriverCorpusTest, KestravoNoValues) {
  const std::string file = "mdf/gen_novalue_kestravo_v300.dat";
  const testsupport::ImportResult r = Import(file);
  EXPECT_FALSE(r.errnoValue) << r.errmsg.value_or("");
  const auto at = [&](const std::string& name, int group) {
    const std::optional<size_t> i = Find(r, name, group);
    EXPECT_TRUE(i) << name;
    return i.value_or(1);
  };
  const host::PropertyList& nMot = r.signals[at("n_mot", 1) - 1];
  EXPECT_EQ(NumberOf(nMot, "NoValue"), 3000);
  EXPECT_EQ(NumberOf(nMot, "HasNoValue"), 1);
  const host::PropertyList& oel = r.signals[at("T_oel", 1) - 1];
  EXPECT_EQ(NumberOf(oel, "NoValue"), 1e308);  // given as "1.#QNAN"
  EXPECT_EQ(NumberOf(oel, "HasNoValue"), 1);
  // Record 3 holds n_mot's NoValue; record 5's time stamp is invalid, which
  // blanks every signal of the group there.
  const testsupport::SampleSet samples = host_.Samples(std::to_string(at("n_mot", 1)));
  ASSERT_EQ(samples.values.size(), 12u);
  for (size_t i = 0; i < samples.values.size(); ++i)
    EXPECT_EQ(samples.values[i].has_value(), i != 3 && i != 5) << "record " << i;
  EXPECT_EQ(samples.values[4], 1400);
  // The group with the invalid stamp has a time signal that is not equidistant.
  EXPECT_EQ(NumberOf(r.signals[at("time@1", 1) - 1], "Ignore"), 2);
  EXPECT_EQ(NumberOf(r.signals[at("time@2", 2) - 1], "Ignore"), 1);
}

TEST_F(DriverCorpusTest, UnsortedFileFailsWithoutABox) {
  try {
    Import("mdf/gen_unsorted_v300.mdf");
    ADD_FAILURE() << "an unsorted file was imported";
  } catch (const host::Failure&) {
  }
  EXPECT_TRUE(host_.Boxes().empty());
}

TEST_F(DriverCorpusTest, EveryMdfFileImports) {
  // The Motorola default byte order of the ID block is not one the record
  // decoder follows (types 0 to 3 are Intel): that file imports, with values
  // the oracle does not have.
  for (const char* file : {"mdf/gen_motorola_default_v310.mdf", "mdf/gen_canlog_v330.mdf"}) {
    SCOPED_TRACE(file);
    const testsupport::ImportResult r = Import(file);
    EXPECT_FALSE(r.signals.empty());
    EXPECT_TRUE(r.boxes.empty());
  }
}

}  // namespace

// NoValue markers from channel-group comments, the raw NoValue, the channels'
// theoretical ranges and the write-back of measured ranges into the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "mdf/ccblock.h"
#include "mdf/mdf.h"
#include "platform/win32/file.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/temp_dir.h"

using namespace std::string_literals;
namespace ts = testsupport;

namespace {

uint64_t Bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

std::string Le64(double d) { return ts::LeBytes(Bits(d), 8); }

constexpr uint64_t kQNaNMarker = 0x7FFFFFFF00000000ULL;  // what "1.#QNAN" stands for
constexpr uint64_t kHexNaN = 0x7FF8000000000000ULL;      // the token 0x000000000000F87F
constexpr uint64_t k3000 = 0x40A7700000000000ULL;        // the token 0x000000000070A740

// A file with a time channel and one data channel per name set; the group
// comment is `comment`. Keeps the file object open for the test.
class ChannelFile {
 public:
  struct Names {
    std::string shortName, longName = "", displayName = "";
  };
  ChannelFile(const std::vector<ts::ChannelDef>& channels, const std::string& comment,
              const std::string& programId = "TESTPROG",
              mdf::MdfProfile profile = mdf::MdfProfile::Import)
      : mdf_(profile) {
    ts::FileDef def = ts::SimpleFileDef(1, 0, 2, programId);
    def.groups[0].comment = comment;
    for (const ts::ChannelDef& c : channels) def.groups[0].channels.push_back(c);
    built_ = ts::BuildFile(def);
    Save(built_.writer.Bytes());
  }
  explicit ChannelFile(const std::string& bytes) { Save(bytes); }

  static ts::ChannelDef Channel(const Names& n, uint16_t dataType = ts::dt::kUInt, uint16_t bits = 16) {
    ts::ChannelDef c;
    c.cn = ts::CnSpec{.name = n.shortName, .bits = bits, .dataType = dataType};
    c.longName = n.longName;
    c.displayName = n.displayName;
    return c;
  }

  bool Opened() const { return opened_ == 1; }
  // Channel i of the first group; 0 is the time channel.
  mdf::CCNBlock* Cn(size_t i) const {
    mdf::CCNBlock* cn = mdf_.GetFirstDG()->GetFirstCG()->GetFirstCN();
    for (size_t k = 0; k < i && cn; ++k) cn = cn->GetNext();
    return cn;
  }
  const ts::BuiltFile& Built() const { return built_; }
  const std::string& Path() const { return path_; }

 private:
  void Save(const std::string& bytes) {
    path_ = dir_.File("nv.mdf");
    ts::WriteFileBytes(path_, bytes);
    mdf_.SetShowMessages(false);
    opened_ = mdf_.Open(path_);
  }

  ts::TempDir dir_;
  std::string path_;
  mdf::CMdf mdf_;
  ts::BuiltFile built_;
  int opened_ = 0;
};

// ---------------------------------------------------------------- comment lines

struct NoValueCase {
  const char* what;
  std::string comment;
  std::vector<ChannelFile::Names> names;
  std::vector<std::optional<uint64_t>> expected;  // per data channel: NoValue bits, or none set
  std::string programId = "TESTPROG";
  mdf::MdfProfile profile = mdf::MdfProfile::Import;
};

TEST(NoValueComment, EntriesSetTheMarkersOfTheChannelsTheyName) {
  const std::string entry3000 = "NoValue\tJa\tn_mot\t3000\t0x000000000070A740";
  const std::vector<NoValueCase> cases = {
      {"decimal and hex token", entry3000, {{"n_mot"}}, {k3000}},
      {"the hex token wins over the decimal", "NoValue\tJa\tn_mot\t1\t0x000000000070A740",
       {{"n_mot"}}, {k3000}},
      {"decimal only", "NoValue\tJa\tn_mot\t-2.5", {{"n_mot"}}, {Bits(-2.5)}},
      {"unit suffix cut within the last six characters", entry3000, {{"n_mot (V)"}}, {k3000}},
      {"suffix that starts earlier is kept", entry3000, {{"n_mot (1/min)"}}, {std::nullopt}},
      {"longer name without prefix rule", entry3000, {{"n_mot_filtered"}}, {std::nullopt}},
      {"prefix rule of D2T_Merg", entry3000, {{"n_mot_filtered"}}, {k3000}, "D2T_Merg"},
      {"prefix rule of MORPHEE2", entry3000, {{"n_mot_filtered"}}, {k3000}, "MORPHEE2"},
      {"no prefix rule in the viewer", entry3000, {{"n_mot_filtered"}}, {std::nullopt}, "D2T_Merg",
       mdf::MdfProfile::Viewer},
      {"first match wins", entry3000, {{"n_mot_a"}, {"n_mot_b"}}, {k3000, std::nullopt}, "D2T_Merg"},
      {"long name", entry3000, {{"x", "n_mot"}}, {k3000}},
      {"display name", entry3000, {{"x", "y", "n_mot (V)"}}, {k3000}},
      {"1.#QNAN ignores the hex token", "NoValue\tJa\tT_oel\t1.#QNAN\t0x000000000000F87F",
       {{"T_oel"}}, {kQNaNMarker}},
      {"the viewer reads 1.#QNAN as a number and takes the hex token",
       "NoValue\tJa\tT_oel\t1.#QNAN\t0x000000000000F87F", {{"T_oel"}}, {kHexNaN}, "TESTPROG",
       mdf::MdfProfile::Viewer},
      {"15 hex digits are not used", "NoValue\tJa\tn_mot\t7\t0x000000000070A74", {{"n_mot"}},
       {Bits(7)}},
      {"17 hex digits are not used", "NoValue\tJa\tn_mot\t7\t0x000000000070A7400", {{"n_mot"}},
       {Bits(7)}},
      {"CR LF line ends", "NoValue\tJa\tn_mot\t7\t0x000000000070A740\r\nNoValue\tJa\tb\t1.#QNAN\r\n",
       {{"n_mot"}, {"b"}}, {k3000, kQNaNMarker}},
      {"a token not starting with 0x begins the next entry", "NoValue\tJa\ta\t5\nNoValue\tJa\tb\t6",
       {{"a"}, {"b"}}, {Bits(5), Bits(6)}},
      {"second token not Ja", "NoValue\tNein\ta\t5\nNoValue\tJa\tb\t6", {{"a"}, {"b"}},
       {std::nullopt, Bits(6)}},
      {"name no channel has", "NoValue\tJa\tzz\t5", {{"a"}}, {std::nullopt}},
      {"entry without a value", "text\nNoValue\tJa\ta", {{"a"}}, {std::nullopt}},
  };
  for (const NoValueCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ts::ChannelDef> channels;
    for (const ChannelFile::Names& n : c.names) channels.push_back(ChannelFile::Channel(n));
    ChannelFile f(channels, c.comment, c.programId, c.profile);
    ASSERT_TRUE(f.Opened());
    for (size_t i = 0; i < c.expected.size(); ++i) {
      SCOPED_TRACE(c.names[i].shortName);
      const mdf::CCNBlock* cn = f.Cn(i + 1);
      ASSERT_NE(cn, nullptr);
      EXPECT_EQ(cn->IsNoValueSet(), c.expected[i].has_value());
      if (c.expected[i]) {
        EXPECT_EQ(Bits(cn->GetNoValue()), *c.expected[i]) << cn->GetNoValue();
      }
    }
    // The time channel keeps its default marker.
    EXPECT_TRUE(f.Cn(0)->IsNoValueSet());
    EXPECT_EQ(f.Cn(0)->GetNoValue(), 1e308);
  }
}

// ---------------------------------------------------------------- raw NoValue

TEST(NoValueRaw, IsTheValueWithoutConversionAndRoundedForEveryIntegerType) {
  struct Case {
    const char* what;
    uint16_t dataType;
    bool linear;  // 0.5 * raw - 10
    double value, raw;
  };
  const Case cases[] = {
      {"unsigned, no conversion", ts::dt::kUInt, false, 2.3, 2},
      {"signed, no conversion", ts::dt::kInt, false, -2.6, -3},
      {"double, no conversion", ts::dt::kDouble, false, 2.3, 2.3},
      {"Motorola unsigned", ts::dt::kUIntMotorola, true, 1.3, 23},
      {"Motorola signed", ts::dt::kIntMotorola, true, 1.3, 23},
      {"Intel unsigned", ts::dt::kUIntIntel, true, 1.3, 23},
      {"Intel signed", ts::dt::kIntIntel, true, -20.2, -20},
      {"float", ts::dt::kFloat, true, 1.3, 22.6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ts::ChannelDef ch = ChannelFile::Channel({"c"}, c.dataType, c.dataType == ts::dt::kFloat ? 32 : 16);
    if (c.linear) ch.cc = ts::CcLinear(0.5, -10);
    ChannelFile f({ch}, "");
    ASSERT_TRUE(f.Opened());
    mdf::CCNBlock* cn = f.Cn(1);
    cn->SetNoValue(c.value);
    EXPECT_TRUE(cn->IsNoValueSet());
    EXPECT_EQ(cn->GetNoValue(), c.value);
    EXPECT_NEAR(cn->GetRawNoValue(), c.raw, 1e-9);
  }
  // The default marker of a time channel without conversion is the raw value
  // too, so that a raw 0 does not count as no value.
  ChannelFile f({}, "");
  EXPECT_EQ(f.Cn(0)->GetRawNoValue(), 1e308);
}

// ---------------------------------------------------------------- ranges

TEST(PhysicalRange, FollowsBitsDataTypeAndConversion) {
  struct Case {
    const char* what;
    uint16_t dataType, bits;
    std::optional<ts::CcSpec> cc;
    double min, max;
  };
  const Case cases[] = {
      {"16-bit signed", ts::dt::kInt, 16, std::nullopt, -32768, 32767},
      {"8-bit unsigned, 0.5 x - 10", ts::dt::kUInt, 8, ts::CcLinear(0.5, -10), -10, 117.5},
      {"32-bit Motorola unsigned", ts::dt::kUIntMotorola, 32, std::nullopt, 0, 4294967295.0},
      {"48-bit Intel unsigned", ts::dt::kUIntIntel, 48, std::nullopt, 0, std::ldexp(1.0, 48) - 1},
      {"40-bit Motorola signed", ts::dt::kIntMotorola, 40, std::nullopt, -std::ldexp(1.0, 39),
       std::ldexp(1.0, 39) - 1},
      {"64-bit unsigned", ts::dt::kUInt, 64, std::nullopt, 0, std::ldexp(1.0, 64)},
      {"64-bit signed", ts::dt::kInt, 64, std::nullopt, -std::ldexp(1.0, 63), std::ldexp(1.0, 63)},
      {"0-bit signed", ts::dt::kInt, 0, std::nullopt, 0, 0},
      {"falling conversion", ts::dt::kUInt, 8, ts::CcLinear(-1, 0), -255, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ts::ChannelDef ch = ChannelFile::Channel({"c"}, c.dataType, c.bits);
    ch.cc = c.cc;
    ChannelFile f({ch}, "");
    ASSERT_TRUE(f.Opened());
    double max = 0;
    EXPECT_EQ(f.Cn(1)->GetPhysicalRange(max), c.min);
    EXPECT_EQ(max, c.max);
  }
}

// ---------------------------------------------------------------- write-back

void SetOldTimes(const std::string& path) {
  const timespec t[2] = {{1000000000, 5}, {1100000000, 7}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

void ExpectOldTimes(const std::string& path) {
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 5);
  EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 7);
}

// Sets a measured range in the channel and its conversion.
void SetRange(mdf::CCNBlock* cn) {
  cn->SetRangeValid(0xAAB1);
  cn->SetMinRaw(1.5);
  cn->SetMaxRaw(99);
  cn->SetSamplingRate(0.01);
  if (mdf::CCCBlock* cc = cn->GetConversion()) {
    uint8_t* head = cc->Head();
    mdf::StoreU16(head + mdf::CCCBlock::kRangeValid, 1);
    mdf::StoreF64(head + mdf::CCCBlock::kMinPhys, -9.25);
    mdf::StoreF64(head + mdf::CCCBlock::kMaxPhys, 39.5);
  }
}

TEST(RangeWriteBack, ChangesExactlyTheRangeFieldsOfChannelAndConversion) {
  ts::ChannelDef ch = ChannelFile::Channel({"c"});
  ch.cc = ts::CcLinear(0.5, -10, "km/h");
  ChannelFile f({ch}, "");
  ASSERT_TRUE(f.Opened());
  const std::string before = ts::ReadFileBytes(f.Path());
  mdf::CCNBlock* cn = f.Cn(1);
  SetRange(cn);
  SetOldTimes(f.Path());
  EXPECT_EQ(cn->WriteRangeToFile(f.Path()), 1);
  ExpectOldTimes(f.Path());

  std::string expected = before;
  const uint32_t cnPos = f.Built().groups[0].cn[1], ccPos = f.Built().groups[0].cc[1];
  expected.replace(cnPos + ts::cn::kRangeValid, 26,
                   ts::LeBytes(0xAAB1, 2) + Le64(1.5) + Le64(99) + Le64(0.01));
  expected.replace(ccPos + ts::cc::kRangeValid, 18, ts::LeBytes(1, 2) + Le64(-9.25) + Le64(39.5));
  const std::string after = ts::ReadFileBytes(f.Path());
  ASSERT_EQ(after.size(), before.size());
  size_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
  EXPECT_GT(changed, 0u);
  EXPECT_EQ(after, expected);
}

// Channel and conversion blocks too short for their range fields, or cut by
// the end of the file, are damage that fails the open (see the table of
// damaged inputs); nothing is written into a file that is not there.
TEST(RangeWriteBack, AMissingFileIsNotCreated) {
  ChannelFile f({ChannelFile::Channel({"c"})}, "");
  EXPECT_EQ(f.Cn(1)->WriteRangeToFile(f.Path() + ".missing"), 0);
  EXPECT_FALSE(winport::FileExists(f.Path() + ".missing"));
}

// ---------------------------------------------------------------- corpus

// The oracle gives each group's comment and channel names; every NoValue line
// names a channel by its short name (the notes say that no other match applies).
TEST(NoValueCorpus, KestravoFileWithNoValueLines) {
  SKIP_WITHOUT_CORPUS();
  const std::string name = "mdf/gen_novalue_kestravo_v300.dat";
  const nlohmann::json oracle = ts::LoadOracle(name);
  for (mdf::MdfProfile profile : {mdf::MdfProfile::Import, mdf::MdfProfile::Viewer}) {
    SCOPED_TRACE(profile == mdf::MdfProfile::Import ? "import" : "viewer");
    mdf::CMdf file(profile);
    file.SetShowMessages(false);
    ASSERT_EQ(file.Open(ts::CorpusFile(name)), 1);
    const mdf::CDGBlock* dg = file.GetFirstDG();
    for (const nlohmann::json& group : oracle["groups"]) {
      ASSERT_NE(dg, nullptr);
      SCOPED_TRACE("data group " + std::to_string(group["data_group"].get<int>()));
      // name -> (decimal token, hex token) of the group's NoValue lines
      std::map<std::string, std::pair<std::string, std::string>> lines;
      std::istringstream comment(group["comment"].get<std::string>());
      for (std::string line; std::getline(comment, line);) {
        std::vector<std::string> tokens;
        std::istringstream fields(line);
        for (std::string t; std::getline(fields, t, '\t');) tokens.push_back(t);
        if (tokens.size() == 5 && tokens[0] == "NoValue" && tokens[1] == "Ja")
          lines[tokens[2]] = {tokens[3], tokens[4]};
      }
      ASSERT_EQ(lines.size(), 2u);

      const mdf::CCNBlock* cn = dg->GetFirstCG()->GetFirstCN();
      for (const nlohmann::json& ch : group["channels"]) {
        ASSERT_NE(cn, nullptr);
        const std::string cnName = ch["name"].get<std::string>();
        SCOPED_TRACE(cnName);
        ASSERT_EQ(cn->GetSignalName(), cnName);
        const auto line = lines.find(cnName);
        if (ch["channel_type"].get<int>() == 1) {
          EXPECT_EQ(cn->GetNoValue(), 1e308);
        } else if (line == lines.end()) {
          EXPECT_FALSE(cn->IsNoValueSet());
        } else if (line->second.first == "1.#QNAN") {
          // The import knows the marker; the viewer reads a number and then the hex token.
          EXPECT_EQ(Bits(cn->GetNoValue()), profile == mdf::MdfProfile::Import ? kQNaNMarker : kHexNaN);
        } else {
          EXPECT_EQ(cn->GetNoValue(), std::stod(line->second.first));
          EXPECT_EQ(cn->GetRawNoValue(), std::stod(line->second.first));  // factor 1, offset 0
        }
        cn = cn->GetNext();
      }
      dg = dg->GetNext();
    }
  }
}

}  // namespace

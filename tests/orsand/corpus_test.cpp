// Every TDMS and TDM file of the corpus imported as the module does, against
// the oracle an independent reader wrote: the signals in order, their counts,
// streamed values and ranges, the comments, the name and the file date (in
// two time zones: the date is an instant, whatever the local time).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orsand/tdm_import.h"
#include "platform/win32/codepage.h"
#include "tests/support/corpus.h"
#include "tests/support/time_zone.h"

namespace {

using nlohmann::json;

struct CorpusFile {
  const char* path;
  const char* name;  // the file's "name"
  int32_t fileDate;
};

const CorpusFile kFiles[] = {
    {"tdms/nptdms_groups.tdms", "Pruefstandslauf 12", 1709280930},
    {"tdms/big_endian.tdms", "Example Time Domain Data", 0},
    {"tdms/Digital_Input.tdms", "Digital_Input", 1341878304},  // its "DateTime" comes after "datetime"
    {"tdm/gen_groups.tdm", "gen_groups", 1709280930},
    {"tdm/SineData.tdm", "SineData.TDM", 1210094412},
    {"tdm/tdm_loader_sample0001.tdm", "Untitled", 0},
};

struct ExpectedSignal {
  std::string displayName;
  const json* channel;
  bool timestamp;
};

// The oracle's channels that carry numbers or timestamps, in file order; texts are dropped.
std::vector<ExpectedSignal> ExpectedSignals(const json& oracle) {
  std::vector<ExpectedSignal> out;
  const bool tdms = oracle["format"] == "TDMS";
  for (const json& g : oracle["groups"])
    for (const json& c : g["channels"]) {
      const bool text = tdms ? c["kind"] == "string" : c["datatype"] == "DT_STRING";
      if (text) continue;
      out.push_back({winport::Utf8ToAnsi(c["name"].get<std::string>() + "\\" + g["name"].get<std::string>()), &c,
                     tdms && c["kind"] == "timestamp"});
    }
  return out;
}

bool IsNumber(const std::string& text) {
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0';
}

// Text properties that the comment table must hold (name, value), in
// Windows-1252. The TDM oracle gives every attribute as text: those that read
// as numbers are left out, as numeric attributes are no comments.
std::vector<std::pair<std::string, std::string>> ExpectedComments(const json& oracle) {
  std::vector<std::pair<std::string, std::string>> out;
  const bool tdm = oracle["format"] == "TDM";
  auto add = [&](const json& properties, bool channel) {
    for (const auto& [name, value] : properties.items()) {
      if (!value.is_string() || value.get<std::string>().empty()) continue;
      if (tdm && IsNumber(value.get<std::string>())) continue;
      if (channel && (name.starts_with("wf_") || name == "monotony" || name == "unit_string" ||
                      name == "description"))
        continue;
      out.emplace_back(winport::Utf8ToAnsi(name), winport::Utf8ToAnsi(value.get<std::string>()));
    }
  };
  if (oracle["format"] == "TDMS") {
    add(oracle["file_properties"], false);
    for (const json& g : oracle["groups"]) {
      add(g["properties"], false);
      for (const json& c : g["channels"]) add(c["properties"], true);
    }
  } else {
    json root = oracle["root"];
    root.erase("datetime");
    add(root, false);
    for (const json& g : oracle["groups"]) {
      add(json{{"description", g["description"]}}, false);
      add(g["attributes"], false);
      for (const json& c : g["channels"]) add(c["attributes"], true);
    }
  }
  return out;
}

// Values of one stored type as doubles.
std::vector<double> Decode(const std::string& bytes, int32_t dtyp) {
  std::vector<double> out;
  auto each = [&](auto zero) {
    using T = decltype(zero);
    for (size_t at = 0; at + sizeof(T) <= bytes.size(); at += sizeof(T)) {
      T v;
      std::memcpy(&v, bytes.data() + at, sizeof v);
      out.push_back(static_cast<double>(v));
    }
  };
  switch (dtyp) {
    case 4: each(uint8_t{}); break;
    case 5: each(int8_t{}); break;
    case 6: each(uint16_t{}); break;
    case 7: each(int16_t{}); break;
    case 8: each(uint32_t{}); break;
    case 9: each(int32_t{}); break;
    case 11: each(float{}); break;
    case 13: each(double{}); break;
    case 32: each(uint64_t{}); break;
    case 33: each(int64_t{}); break;
    default: ADD_FAILURE() << "type " << dtyp;
  }
  return out;
}

// `n` bytes of the data space from `offset`, as Read delivers them in reads of at most 4096 bytes.
std::string Stream(orsand::TdmImport& import, uint64_t offset, uint64_t n) {
  std::string out;
  import.Seek(static_cast<int32_t>(offset), 0);
  std::vector<uint8_t> buffer(4096);
  while (out.size() < n) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), n - out.size()));
    const uint32_t got = import.Read(buffer.data(), want);
    if (got == 0) break;
    out.append(reinterpret_cast<const char*>(buffer.data()), got);
  }
  return out;
}

void ExpectSeries(const std::vector<double>& values, const json& oracle, double tolerance, const std::string& what) {
  const json& first = oracle["first"];
  const json& last = oracle["last"];
  ASSERT_GE(values.size(), first.size()) << what;
  for (size_t i = 0; i < first.size(); ++i) EXPECT_NEAR(values[i], first[i].get<double>(), tolerance) << what << " #" << i;
  for (size_t i = 0; i < last.size(); ++i)
    EXPECT_NEAR(values[values.size() - last.size() + i], last[i].get<double>(), tolerance) << what << " last #" << i;
}

class Corpus : public ::testing::TestWithParam<const char*> {
 protected:
  static void SetUpTestSuite() { setenv("WINPORT_DLL_PATH", DDC_DIR, 0); }
};

TEST_P(Corpus, EveryFileImportsAsItsOracleReads) {
  SKIP_WITHOUT_CORPUS();
  testsupport::ScopedTimeZone tz(GetParam());
  for (const CorpusFile& f : kFiles) {
    SCOPED_TRACE(f.path);
    const json oracle = testsupport::LoadOracle(f.path);
    orsand::TdmImport import;
    ASSERT_TRUE(import.ImportFile(testsupport::CorpusFile(f.path)));
    EXPECT_EQ(import.Name(), f.name);
    EXPECT_EQ(import.FileDate(), f.fileDate);

    const std::vector<ExpectedSignal> expected = ExpectedSignals(oracle);
    const auto file = import.Imported();
    ASSERT_EQ(file->signals.Count(), expected.size());
    import.Open();
    for (size_t i = 0; i < expected.size(); ++i) {
      const orsand::SignalRecord& s = *file->signals.Nth(i);
      const json& c = *expected[i].channel;
      SCOPED_TRACE(expected[i].displayName);
      EXPECT_EQ(s.number, static_cast<int32_t>(i + 1));
      EXPECT_EQ(s.DisplayName, expected[i].displayName);
      EXPECT_EQ(s.NoOfValues, c["count"].get<int32_t>());
      const std::string bytes = Stream(import, s.byteOffset, static_cast<uint64_t>(s.NoOfValues) * s.Demux);
      ASSERT_EQ(bytes.size(), static_cast<size_t>(s.NoOfValues) * s.Demux);
      const std::vector<double> values = Decode(bytes, s.DTyp);
      if (expected[i].timestamp) {
        EXPECT_EQ(s.DTyp, 13);
        ExpectSeries(values, c["unix_seconds"], 1e-6, "seconds");
      } else {
        ExpectSeries(values, c["values"], 0, "values");
        EXPECT_EQ(s.YMin, c["values"]["min"].get<double>());
        EXPECT_EQ(s.YMax, c["values"]["max"].get<double>());
      }
    }
    import.Close();

    for (const auto& [name, value] : ExpectedComments(oracle)) {
      bool found = false;
      for (int32_t k = 1; k < import.NoOfComments() && !found; ++k)
        found = import.CommentName(k) && *import.CommentName(k) == name && import.FileComment(k) &&
                *import.FileComment(k) == value;
      EXPECT_TRUE(found) << "comment " << name << " = " << value;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(TimeZones, Corpus, ::testing::Values("UTC", "Europe/Berlin"));

}  // namespace

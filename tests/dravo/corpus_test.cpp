// The corpus of files written by other programs, read through the library.
#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>

#include "tests/dravo/dravo_files.h"
#include "tests/support/corpus.h"

using namespace dravo;
using namespace dravotest;
using nlohmann::json;

namespace {

double Number(const json& v) {
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    if (s == "nan") return std::nan("");
    if (s == "inf") return HUGE_VAL;
    if (s == "-inf") return -HUGE_VAL;
  }
  return v.get<double>();
}

bool Same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (a == b) return true;
  return std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b));
}

// The oracle's summary (count, first five, last five, min, max) with each
// value mapped through `expect`, against the values read.
template <class Expect>
void ExpectSummary(const std::vector<double>& got, const json& summary, Expect&& expect) {
  ASSERT_EQ(got.size(), summary["count"].get<size_t>());
  const json& first = summary["first"];
  const json& last = summary["last"];
  for (size_t i = 0; i < first.size(); ++i)
    EXPECT_TRUE(Same(got[i], expect(Number(first[i]), i))) << "value " << i << ": " << got[i];
  for (size_t i = 0; i < last.size(); ++i) {
    const size_t k = got.size() - last.size() + i;
    EXPECT_TRUE(Same(got[k], expect(Number(last[i]), k))) << "value " << k << ": " << got[k];
  }
}

// Values whose big-endian bytes were read in Intel order.
double Swapped(double v, int type, int bits) {
  if (type == 2 || type == 3) {
    if (bits == 32) return std::bit_cast<float>(__builtin_bswap32(std::bit_cast<uint32_t>(static_cast<float>(v))));
    return std::bit_cast<double>(__builtin_bswap64(std::bit_cast<uint64_t>(v)));
  }
  const uint64_t swapped = __builtin_bswap64(static_cast<uint64_t>(static_cast<int64_t>(v))) >> (64 - bits);
  if (type == 1 && ((swapped >> (bits - 1)) & 1)) return static_cast<double>(static_cast<int64_t>(swapped | (~0ull << bits)));
  return static_cast<double>(swapped);
}

// The library's conversions where they differ from the formulas the oracle used.
double ByTheLibrary(const json& conversion, double x) {
  const int type = conversion["type"].get<int>();
  if (type == 2) {
    // The nearer entry, a tie going to the lower one (the oracle takes the entry at or below).
    const json& pairs = conversion["pairs"];
    if (x <= Number(pairs.front()[0])) return Number(pairs.front()[1]);
    if (x >= Number(pairs.back()[0])) return Number(pairs.back()[1]);
    for (size_t i = 0; i + 1 < pairs.size(); ++i) {
      const double x0 = Number(pairs[i][0]), x1 = Number(pairs[i + 1][0]);
      if (x == x1) return Number(pairs[i + 1][1]);
      if (x > x0 && x < x1) return x1 - x < x - x0 ? Number(pairs[i + 1][1]) : Number(pairs[i][1]);
    }
    return Number(pairs.front()[1]);
  }
  std::vector<double> p;
  for (const json& v : conversion["p"]) p.push_back(Number(v));
  // Type 7 takes the logarithm and type 8 the exponential (the oracle: the other way round).
  if (p[3] == 0) {
    const double inner = ((x - p[6]) * p[5] - p[2]) / p[0];
    return (type == 7 ? std::log(inner) : std::exp(inner)) / p[1];
  }
  const double inner = (p[2] / (x - p[6]) - p[5]) / p[3];
  return (type == 7 ? std::log(inner) : std::exp(inner)) / p[4];
}

class Corpus : public LibraryTest {
 protected:
  // Every value of every channel of every group; each group's channels are
  // read to the end and must give one value per record.
  void ReadEverything(MdfFileRecord* file) {
    uint16_t groups = 0;
    ASSERT_EQ(MdfGetGroupCount(&groups, file), kMdfOk);
    for (uint16_t g = 1; g <= groups; ++g) {
      MdfGroupRecord* group = nullptr;
      const MdfStatus opened = MdfOpenGroup(&group, file, g, kMdfOpenRead);
      if (opened == kMdfNoRecord) continue;  // a group without records does not open
      ASSERT_EQ(opened, kMdfOk);
      uint16_t channels = 0;
      uint32_t records = 0;
      ASSERT_EQ(MdfGetChannelCount(&channels, group), kMdfOk);
      ASSERT_EQ(MdfGetRecordCount(&records, group), kMdfOk);
      MdfCloseGroup(group);
      for (uint16_t c = 1; c <= channels; ++c) EXPECT_EQ(ReadAll(file, g, c).size(), records);
    }
  }
};

TEST_F(Corpus, EveryFileOpensAndEveryValueReads) {
  SKIP_WITHOUT_CORPUS();
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusFile("mdf"))) {
    const std::string path = entry.path().string();
    if (entry.path().extension() == ".json") continue;
    SCOPED_TRACE(path);
    ++files;
    MdfFileRecord* file = OpenRead(path);
    ASSERT_NE(file, nullptr);
    ReadEverything(file);
    EXPECT_EQ(MdfClose(file), kMdfOk);
  }
  EXPECT_GE(files, 11);
}

// The generated files against their oracles' physical values, where the
// library's rules and the oracle's agree; the named cases follow the library.
TEST_F(Corpus, GeneratedFilesReadAsTheirOraclesSayWhereTheRulesAgree) {
  SKIP_WITHOUT_CORPUS();
  for (const char* rel : {"mdf/gen_bitfields_v320.mdf", "mdf/gen_conversions_v330.mdf", "mdf/gen_groups_v310.mdf",
                          "mdf/gen_motorola_default_v310.mdf", "mdf/gen_novalue_kestravo_v300.dat",
                          "mdf/gen_recordids_v330.mdf", "mdf/gen_unsorted_v300.mdf"}) {
    SCOPED_TRACE(rel);
    const json oracle = testsupport::LoadOracle(rel);
    MdfFileRecord* file = OpenRead(CorpusFile(rel));
    ASSERT_NE(file, nullptr);
    const bool motorola = oracle["id"].value("byte_order", 0) == 1;
    // Groups are numbered along the DG chain, each DG's CGs in turn.
    std::vector<json> groups(oracle["groups"].begin(), oracle["groups"].end());
    std::sort(groups.begin(), groups.end(), [](const json& a, const json& b) {
      return std::pair(a["data_group"].get<int>(), a["channel_group"].get<int>()) <
             std::pair(b["data_group"].get<int>(), b["channel_group"].get<int>());
    });
    for (size_t gi = 0; gi < groups.size(); ++gi) {
      const json& g = groups[gi];
      if (g["records"].get<int>() == 0) continue;
      const auto number = static_cast<uint16_t>(gi + 1);
      const json& channels = g["channels"];
      const json* time = nullptr;
      for (const json& c : channels)
        if (c["name"] == "time") time = &c;
      for (size_t ci = 0; ci < channels.size(); ++ci) {
        const json& c = channels[ci];
        const std::string name = c["name"].get<std::string>();
        SCOPED_TRACE(name);
        const std::vector<double> got = ReadAll(file, number, static_cast<uint16_t>(ci + 1));
        const int type = c["data_type"].get<int>();
        const json& conversion = c["conversion"];
        const int conv = conversion.is_null() ? -1 : conversion["type"].get<int>();
        if (motorola) {
          // The byte-order field is not consulted: data types 0 to 3 read as Intel.
          ExpectSummary(got, c["raw"], [&](double v, size_t) { return Swapped(v, type, c["bits"].get<int>()); });
        } else if (type >= 7) {
          // Data types 8 and above give 0; a string channel gives the seconds of a pause comment, 0 for other texts.
          EXPECT_EQ(got.size(), c["raw"]["count"].get<size_t>());
          EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](double v) { return v == 0.0; }));
        } else if (c.value("add_byte_offset", 0) != 0) {
          // The additional byte offset is not applied: the 16 bits at bit 8 belong to the 32-bit time stamp.
          ASSERT_NE(time, nullptr);
          const std::vector<double> stamps = ReadAll(file, number, 1);
          ExpectSummary(got, c["raw"], [&](double, size_t i) {
            return static_cast<double>((static_cast<uint64_t>(stamps[i] / 0.001 + 0.5) >> 8) & 0xFFFF);
          });
        } else if (conv == 2 || conv == 7 || conv == 8) {
          ExpectSummary(got, c["raw"], [&](double v, size_t) { return ByTheLibrary(conversion, v); });
        } else if (conv == 12) {
          // Range-to-text tables give the raw value (for {LINEAR_CONV} too).
          ExpectSummary(got, c["raw"], [](double v, size_t) { return v; });
        } else {
          ExpectSummary(got, c["phys"], [](double v, size_t) { return v; });
        }
      }
    }
    MdfClose(file);
  }
}

}  // namespace

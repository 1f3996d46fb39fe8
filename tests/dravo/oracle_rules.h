// What Dravo's MDF library reads for a channel of a generated corpus file,
// from the file's oracle: the physical values wherever the library's
// conversions and the oracle's formulas agree, the named conversions where
// they differ, and no numbers for texts and byte arrays.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/corpus.h"

namespace dravotest {

using nlohmann::json;

using testsupport::OracleNumber;
using testsupport::SameValue;

// The library's conversions where they differ from the formulas the oracle used.
inline double ByTheLibrary(const json& conversion, double x) {
  const int type = conversion["type"].get<int>();
  if (type == 2) {
    // The nearer entry, a tie going to the lower one (the oracle takes the entry at or below).
    const json& pairs = conversion["pairs"];
    if (x <= OracleNumber(pairs.front()[0])) return OracleNumber(pairs.front()[1]);
    if (x >= OracleNumber(pairs.back()[0])) return OracleNumber(pairs.back()[1]);
    for (size_t i = 0; i + 1 < pairs.size(); ++i) {
      const double x0 = OracleNumber(pairs[i][0]), x1 = OracleNumber(pairs[i + 1][0]);
      if (x == x1) return OracleNumber(pairs[i + 1][1]);
      if (x > x0 && x < x1) return x1 - x < x - x0 ? OracleNumber(pairs[i + 1][1]) : OracleNumber(pairs[i][1]);
    }
    return OracleNumber(pairs.front()[1]);
  }
  std::vector<double> p;
  for (const json& v : conversion["p"]) p.push_back(OracleNumber(v));
  // Type 7 takes the logarithm and type 8 the exponential (the oracle: the other way round).
  if (p[3] == 0) {
    const double inner = ((x - p[6]) * p[5] - p[2]) / p[0];
    return (type == 7 ? std::log(inner) : std::exp(inner)) / p[1];
  }
  const double inner = (p[2] / (x - p[6]) - p[5]) / p[3];
  return (type == 7 ? std::log(inner) : std::exp(inner)) / p[4];
}

// Which of the oracle's summaries ("raw" or "phys") the library's values
// follow, mapped how; or none, for a channel whose data type gives no number.
struct OracleRule {
  std::string summary = "phys";
  std::function<double(double v, size_t i)> map = [](double v, size_t) { return v; };
  bool noNumbers = false;
};

// The rule for channel `c`.
inline OracleRule RuleFor(const json& c) {
  OracleRule rule;
  const int type = c["data_type"].get<int>();
  const json& conversion = c["conversion"];
  const int conv = conversion.is_null() ? -1 : conversion["type"].get<int>();
  if (type == 7 || type == 8) {
    // Texts that are no pause comments and byte arrays.
    rule.noNumbers = true;
  } else if (conv == 2 || conv == 7 || conv == 8) {
    rule.summary = "raw";
    rule.map = [conversion](double v, size_t) { return ByTheLibrary(conversion, v); };
  } else if (conv == 12) {
    // Range-to-text tables give the raw value (for {LINEAR_CONV} too).
    rule.summary = "raw";
  }
  return rule;
}

// The oracle's summary (count, first five, last five) with each value mapped
// through `expect`, against the values read; `same` compares one value.
template <class Expect, class Compare = bool (*)(double, double)>
void ExpectSummary(const std::vector<double>& got, const json& summary, Expect&& expect,
                   Compare same = [](double a, double b) { return SameValue(a, b); }) {
  ASSERT_EQ(got.size(), summary["count"].get<size_t>());
  const json& first = summary["first"];
  const json& last = summary["last"];
  for (size_t i = 0; i < first.size(); ++i)
    EXPECT_TRUE(same(got[i], expect(OracleNumber(first[i]), i))) << "value " << i << ": " << got[i];
  for (size_t i = 0; i < last.size(); ++i) {
    const size_t k = got.size() - last.size() + i;
    EXPECT_TRUE(same(got[k], expect(OracleNumber(last[i]), k))) << "value " << k << ": " << got[k];
  }
}

// Oracle groups in the library's numbering: along the DG chain, each DG's CGs in turn.
inline std::vector<json> GroupsInFileOrder(const json& oracle) {
  std::vector<json> groups(oracle["groups"].begin(), oracle["groups"].end());
  std::sort(groups.begin(), groups.end(), [](const json& a, const json& b) {
    return std::pair(a["data_group"].get<int>(), a["channel_group"].get<int>()) <
           std::pair(b["data_group"].get<int>(), b["channel_group"].get<int>());
  });
  return groups;
}

}  // namespace dravotest

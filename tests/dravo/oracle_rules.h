// What Dravo's MDF library reads for a channel of a generated corpus file,
// from the file's oracle: the physical values wherever the library's rules
// and the oracle's formulas agree, and the named cases where they differ.
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

// Values whose big-endian bytes were read in Intel order.
inline double Swapped(double v, int type, int bits) {
  if (type == 2 || type == 3) {
    if (bits == 32) return std::bit_cast<float>(__builtin_bswap32(std::bit_cast<uint32_t>(static_cast<float>(v))));
    return std::bit_cast<double>(__builtin_bswap64(std::bit_cast<uint64_t>(v)));
  }
  const uint64_t swapped = __builtin_bswap64(static_cast<uint64_t>(static_cast<int64_t>(v))) >> (64 - bits);
  if (type == 1 && ((swapped >> (bits - 1)) & 1))
    return static_cast<double>(static_cast<int64_t>(swapped | (~0ull << bits)));
  return static_cast<double>(swapped);
}

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
// follow, mapped how; or all zeros.
struct OracleRule {
  std::string summary = "phys";
  std::function<double(double v, size_t i)> map = [](double v, size_t) { return v; };
  bool zeros = false;
};

// The rule for channel `c` of a file whose ID block names Motorola order or
// not; `stamp(i)` is the group's first channel's (the time's) value i.
inline OracleRule RuleFor(const json& c, bool motorola, std::function<double(size_t)> stamp) {
  OracleRule rule;
  const int type = c["data_type"].get<int>();
  const json& conversion = c["conversion"];
  const int conv = conversion.is_null() ? -1 : conversion["type"].get<int>();
  if (motorola) {
    // The byte-order field is not consulted: data types 0 to 3 read as Intel.
    const int bits = c["bits"].get<int>();
    rule.summary = "raw";
    rule.map = [type, bits](double v, size_t) { return Swapped(v, type, bits); };
  } else if (type >= 7) {
    // Data types 8 and above give 0; a string channel gives the seconds of a pause comment, 0 for other texts.
    rule.summary = "raw";
    rule.zeros = true;
  } else if (c.value("add_byte_offset", 0) != 0) {
    // The additional byte offset is not applied: the 16 bits at bit 8 belong to the 32-bit time stamp.
    rule.summary = "raw";
    rule.map = [stamp](double, size_t i) {
      return static_cast<double>((static_cast<uint64_t>(stamp(i) / 0.001 + 0.5) >> 8) & 0xFFFF);
    };
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

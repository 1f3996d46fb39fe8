// Access to the corpus of files written by other programs, each with a JSON
// oracle beside it. Tests skip where the corpus is absent.
#pragma once

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

namespace testsupport {

inline std::string CorpusDir() {
#ifdef CORPUS_DIR
  return CORPUS_DIR;
#else
  return "../shared/corpus";
#endif
}

inline std::string CorpusFile(const std::string& relative) { return CorpusDir() + "/" + relative; }

inline bool CorpusPresent() { return std::filesystem::is_directory(CorpusDir()); }

inline nlohmann::json LoadOracle(const std::string& relative) {
  std::ifstream in(CorpusFile(relative) + ".json");
  return nlohmann::json::parse(in);
}

// A value of an oracle: a number, or the text "nan", "inf" or "-inf".
inline double OracleNumber(const nlohmann::json& v) {
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    if (s == "nan") return std::nan("");
    if (s == "inf") return HUGE_VAL;
    if (s == "-inf") return -HUGE_VAL;
  }
  return v.get<double>();
}

// Whether a value read matches the oracle's: NaN matches only NaN; unless
// `exact`, to 1e-12 of the larger, as the oracle's writer may evaluate a
// conversion in another order.
inline bool SameValue(double got, double expected, bool exact = false) {
  if (std::isnan(got) || std::isnan(expected)) return std::isnan(got) && std::isnan(expected);
  if (exact || got == expected) return got == expected;
  return std::fabs(got - expected) <= 1e-12 * std::max(std::fabs(got), std::fabs(expected));
}

}  // namespace testsupport

#define SKIP_WITHOUT_CORPUS()                                                   \
  do {                                                                          \
    if (!testsupport::CorpusPresent())                                          \
      GTEST_SKIP() << "corpus folder " << testsupport::CorpusDir() << " absent"; \
  } while (0)

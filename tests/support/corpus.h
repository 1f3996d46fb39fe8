// Access to the corpus of files written by other programs, each with a JSON
// oracle beside it. Tests skip where the corpus is absent.
#pragma once

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

}  // namespace testsupport

#define SKIP_WITHOUT_CORPUS()                                                   \
  do {                                                                          \
    if (!testsupport::CorpusPresent())                                          \
      GTEST_SKIP() << "corpus folder " << testsupport::CorpusDir() << " absent"; \
  } while (0)

// The corpus of TDMS and TDM files and what their oracles say the module
// must deliver: the signals (channels with numbers or timestamps, in file
// order), the comments and the values, for the tests of the import and of
// the module through the host.
#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/corpus.h"

namespace orsandtest {

using nlohmann::json;

struct CorpusFile {
  const char* path;
  const char* name;  // the file's "name"
  int32_t fileDate;
};

inline constexpr CorpusFile kCorpusFiles[] = {
    {"tdms/nptdms_groups.tdms", "Pruefstandslauf 12", 1709280930},
    {"tdms/big_endian.tdms", "Example Time Domain Data", 0},
    {"tdms/Digital_Input.tdms", "Digital_Input", 1341878304},  // its "DateTime" comes after "datetime"
    {"tdms/gen_daqmx_linear.tdms", "DAQmx linear", 0},
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
inline std::vector<ExpectedSignal> ExpectedSignals(const json& oracle) {
  std::vector<ExpectedSignal> out;
  const bool tdms = oracle["format"] == "TDMS";
  for (const json& g : oracle["groups"])
    for (const json& c : g["channels"]) {
      const bool text = tdms ? c["kind"] == "string" : c["datatype"] == "DT_STRING";
      if (text) continue;
      out.push_back({c["name"].get<std::string>() + "\\" + g["name"].get<std::string>(), &c,
                     tdms && c["kind"] == "timestamp"});
    }
  return out;
}

inline bool IsNumber(const std::string& text) {
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0';
}

// Text properties that the comment table must hold (name, value), in UTF-8. The TDM oracle gives every attribute as text: those that read
// as numbers are left out, as numeric attributes are no comments.
inline std::vector<std::pair<std::string, std::string>> ExpectedComments(const json& oracle) {
  std::vector<std::pair<std::string, std::string>> out;
  const bool tdm = oracle["format"] == "TDM";
  auto add = [&](const json& properties, bool channel) {
    for (const auto& [name, value] : properties.items()) {
      if (!value.is_string() || value.get<std::string>().empty()) continue;
      if (tdm && IsNumber(value.get<std::string>())) continue;
      if (channel && (name.starts_with("wf_") || name == "monotony" || name == "unit_string" ||
                      name == "description"))
        continue;
      out.emplace_back(name, value.get<std::string>());
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

inline void ExpectSeries(const std::vector<double>& values, const json& oracle, double tolerance, const std::string& what) {
  const json& first = oracle["first"];
  const json& last = oracle["last"];
  ASSERT_GE(values.size(), first.size()) << what;
  for (size_t i = 0; i < first.size(); ++i) EXPECT_NEAR(values[i], first[i].get<double>(), tolerance) << what << " #" << i;
  for (size_t i = 0; i < last.size(); ++i)
    EXPECT_NEAR(values[values.size() - last.size() + i], last[i].get<double>(), tolerance) << what << " last #" << i;
}


}  // namespace orsandtest

// Every DBC file of the corpus read into a database and compared field by
// field with what an independent reader (canmatrix) made of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pellor/candb/candb.h"
#include "platform/win32/codepage.h"
#include "tests/support/corpus.h"

namespace {

using nlohmann::json;
using pellor::CanMsg;
using pellor::CanSig;
using pellor::CDbBase;

// Where this reader and the oracle's differ by design, per file.
struct KnownDifferences {
  // Messages that this reader keeps and the oracle's drops: a 29-bit id
  // written without the extended-frame bit.
  std::vector<std::string> extraMessages = {};
  // Signals that both leave out (an indicator "m" without a value); checked absent.
  std::vector<std::string> leftOutSignals = {};
  // The nodes as the file's BU_ line lists them, where the oracle's list
  // differs beyond added nodes (it drops unused ones and orders them its own way).
  std::vector<std::string> nodes = {};
};

const std::map<std::string, KnownDifferences>& Differences() {
  static const std::map<std::string, KnownDifferences> table = {
      {"fca_giorgio.dbc", {.extraMessages = {"CAM_UNKNOWN_6"}}},
      {"vw_pq.dbc", {.leftOutSignals = {"MO2_Mp_Code"}}},
      {"tesla_can.dbc",
       {.nodes = {"NEO", "MCU", "GTW", "EPAS", "DI", "ESP", "SBW", "STW", "APP", "DAS", "XXX"}}},
  };
  return table;
}

// The names that the file's "BU_:" statement lists (the names on its line and
// on the following lines that begin with a blank), found without the reader.
std::set<std::string> ListedNodes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::set<std::string> names;
  std::string line;
  bool inList = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("BU_:", 0) == 0) {
      inList = true;
      line.erase(0, 4);
    } else if (!inList || line.empty() || (line[0] != ' ' && line[0] != '\t')) {
      inList = false;
      continue;
    }
    std::istringstream words(line);
    for (std::string w; words >> w;) names.insert(w);
  }
  return names;
}

// The value ranges of the file's "SG_MUL_VAL_" lines, found without the
// reader, by (message id, signal name): the multiplexor and its ranges.
std::map<std::pair<uint32_t, std::string>, std::pair<std::string, std::vector<pellor::CanMuxRange>>> MuxLines(
    const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::map<std::pair<uint32_t, std::string>, std::pair<std::string, std::vector<pellor::CanMuxRange>>> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("SG_MUL_VAL_ ", 0) != 0) continue;
    for (char& c : line)
      if (c == ',' || c == ';' || c == '-' || c == '\r') c = ' ';
    std::istringstream words(line.substr(12));
    uint32_t id = 0;
    std::string signal, multiplexor;
    words >> id >> signal >> multiplexor;
    auto& [name, ranges] = lines[{id, signal}];
    name = multiplexor;
    for (uint64_t lo, hi; words >> lo >> hi;) ranges.push_back({lo, hi});
  }
  return lines;
}

// An oracle text (decoded) as this system holds texts: Windows-1252 bytes.
std::string Ansi(const json& text) { return text.is_null() ? std::string() : winport::Utf8ToAnsi(text.get<std::string>()); }

// Line breaks within a DBC string become CR LF in the database.
std::string WithLf(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

void CompareSignal(const CanSig& sig, const json& want, const std::set<std::string>& listed) {
  SCOPED_TRACE("signal " + sig.Name());
  const json& written = want["as_written"];
  const int s = written["dbc_start_bit"], n = written["length"];
  ASSERT_EQ(sig.Length(), n);
  if (written["byte_order"] == 1) {
    EXPECT_EQ(sig.StartBit(), s);
    EXPECT_FALSE(sig.IsMotorola());
  } else if (s % 8 + 1 >= n) {
    EXPECT_EQ(sig.StartBit(), s - n + 1);
    EXPECT_FALSE(sig.IsMotorola());
  } else {
    EXPECT_EQ(sig.StartBit(), (s & ~7) + want["lsb_start_bit"].get<int>() % 8);
    EXPECT_TRUE(sig.IsMotorola());
  }
  EXPECT_EQ(sig.IsSigned(), want["signed"].get<bool>());
  EXPECT_EQ(sig.IsFloat(), want["float"].get<bool>());
  EXPECT_EQ(sig.Factor(), want["factor"].get<double>());
  EXPECT_EQ(sig.Offset(), want["offset"].get<double>());
  EXPECT_EQ(sig.Min(), want["min"].get<double>());
  EXPECT_EQ(sig.Max(), want["max"].get<double>());
  EXPECT_EQ(sig.Unit(), Ansi(want["unit"]));
  EXPECT_EQ(WithLf(sig.Comment()), Ansi(want["comment"]));

  EXPECT_EQ(sig.IsMultiplexor(), want.value("multiplexor", false));
  EXPECT_EQ(sig.IsMultiplexed(), want.contains("mux_value"));
  EXPECT_EQ(sig.MuxValue(), want.value("mux_value", 0));

  std::vector<std::string> receivers, wantReceivers;
  for (const auto& node : sig.Receivers()) receivers.push_back(node.Name());
  for (const auto& name : want["receivers"])
    if (listed.contains(name)) wantReceivers.push_back(name);
  EXPECT_EQ(receivers, wantReceivers);

  std::map<std::string, std::string> values, wantValues;
  for (const auto& v : sig.Values()) values[std::to_string(v.Value())] = v.Text();
  if (want.contains("values")) {
    for (const auto& [key, text] : want["values"].items()) wantValues[key] = Ansi(text);
  }
  EXPECT_EQ(values, wantValues);
}

void CompareMessage(const CanMsg& msg, const json& want, const std::set<std::string>& listed) {
  SCOPED_TRACE("message " + msg.Name());
  const uint32_t id = static_cast<uint32_t>(msg.Id());
  EXPECT_EQ(id, want["dbc_id"].get<uint32_t>());
  EXPECT_EQ((id & 0x80000000u) != 0, want["extended"].get<bool>());
  EXPECT_EQ(id & 0x7FFFFFFFu, want["id"].get<uint32_t>());
  EXPECT_EQ(msg.Dlc(), want["dlc"].get<int>());
  const json& tx = want["transmitters"];
  EXPECT_EQ(msg.Transmitter(), tx.empty() ? "Vector__XXX" : tx[0].get<std::string>());
  EXPECT_EQ(msg.TransmitterNode() != nullptr, listed.contains(msg.Transmitter()));
  EXPECT_EQ(WithLf(msg.Comment()), Ansi(want["comment"]));

  // The oracle orders signals by their least significant bit; find them by name.
  std::map<std::string, const CanSig*> byName;
  for (const auto& sig : msg.Signals()) byName[sig.Name()] = &sig;
  EXPECT_EQ(byName.size(), want["signals"].size());
  for (const json& w : want["signals"]) {
    const auto found = byName.find(w["name"]);
    if (found == byName.end()) {
      ADD_FAILURE() << "signal " << w["name"] << " missing";
      continue;
    }
    CompareSignal(*found->second, w, listed);
  }
  EXPECT_TRUE(std::is_sorted(msg.Signals().begin(), msg.Signals().end(),
                             [](const CanSig& a, const CanSig& b) { return a.StartBit() < b.StartBit(); }));
}

TEST(CorpusDbc, EveryFileMatchesItsOracle) {
  SKIP_WITHOUT_CORPUS();
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(testsupport::CorpusFile("dbc")))
    if (entry.path().extension() == ".dbc") files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());

  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string path = testsupport::CorpusFile("dbc/" + file);
    const json oracle = testsupport::LoadOracle("dbc/" + file);
    const auto known = Differences().contains(file) ? Differences().at(file) : KnownDifferences{};
    const std::set<std::string> listed = ListedNodes(path);

    CDbBase db;
    ASSERT_TRUE(db.ReadDbcFile(path)) << "line " << db.LastError().line << ": " << db.LastError().reason;
    EXPECT_EQ(db.FileName(), path);

    std::vector<std::string> nodes, wantNodes = known.nodes;
    for (const auto& node : db.Nodes()) nodes.push_back(node.Name());
    if (wantNodes.empty())
      for (const auto& name : oracle["nodes"])
        if (listed.contains(name)) wantNodes.push_back(name);
    EXPECT_EQ(nodes, wantNodes);

    // Messages in byte order of their names, as the oracle lists them.
    std::vector<const CanMsg*> messages;
    for (const auto& msg : db.Messages()) {
      const bool extra = std::find(known.extraMessages.begin(), known.extraMessages.end(), msg.Name()) !=
                         known.extraMessages.end();
      if (!extra) messages.push_back(&msg);
    }
    EXPECT_EQ(db.Messages().Count(), messages.size() + known.extraMessages.size());
    ASSERT_EQ(messages.size(), oracle["messages"].size());
    for (size_t i = 0; i < messages.size(); ++i) {
      ASSERT_EQ(messages[i]->Name(), oracle["messages"][i]["name"]);
      CompareMessage(*messages[i], oracle["messages"][i], listed);
    }
    for (const std::string& name : known.leftOutSignals) {
      bool listed = false;
      for (const auto& msg : db.Messages()) {
        EXPECT_EQ(msg.FindSignal(name), nullptr) << name;
        for (const auto& out : msg.LeftOutSignals()) listed = listed || out.name == name;
      }
      EXPECT_TRUE(listed) << name << " is not named as left out";
    }
    // The multiplexor values that the oracle does not hold, against the file's lines.
    for (const auto& [key, line] : MuxLines(path)) {
      SCOPED_TRACE("SG_MUL_VAL_ of " + key.second);
      const CanSig* sig = db.FindSignalById(static_cast<int32_t>(key.first), key.second);
      ASSERT_NE(sig, nullptr);
      EXPECT_EQ(sig->MuxSwitch(), line.first);
      EXPECT_TRUE(sig->MuxRanges() == line.second);
    }
  }
}

}  // namespace

// MAT-files written by other programs, imported through the host stand-in:
// the five files in a known layout against their oracle's signals, and what
// IsValid and ImportFile make of the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/win32/codepage.h"
#include "tests/quenvo/quenvo_host.h"
#include "tests/support/corpus.h"

namespace {

using nlohmann::json;
using quenvotest::ModuleHost;
using quenvotest::Number;
using quenvotest::Text;

// The oracle's summary of a value series: count, first five, last five, min, max.
void ExpectSummary(const std::vector<double>& values, const json& summary) {
  ASSERT_EQ(values.size(), summary["count"].get<size_t>());
  const std::vector<double> first = summary["first"], last = summary["last"];
  EXPECT_EQ(std::vector<double>(values.begin(), values.begin() + static_cast<ptrdiff_t>(first.size())), first);
  EXPECT_EQ(std::vector<double>(values.end() - static_cast<ptrdiff_t>(last.size()), values.end()), last);
  if (!values.empty()) {
    EXPECT_EQ(*std::min_element(values.begin(), values.end()), summary["min"].get<double>());
    EXPECT_EQ(*std::max_element(values.begin(), values.end()), summary["max"].get<double>());
  }
}

std::string Utf8(const std::string& ansi) { return winport::AnsiToUtf8(ansi); }
// A text as the module stores it in the OEM code page, as the host then reads it.
std::string OemAsRead(const std::string& utf8) { return Utf8(winport::AnsiToOem(winport::Utf8ToAnsi(utf8))); }

std::optional<std::string> CommentText(const testsupport::ImportResult& r, int64_t index) {
  for (const host::Comment& c : r.comments)
    if (c.index == index) return c.text;
  return std::nullopt;
}
std::optional<std::string> CommentName(const testsupport::ImportResult& r, int64_t index) {
  for (const host::Comment& c : r.comments)
    if (c.index == index) return c.name;
  return std::nullopt;
}

class ChannelStructCorpus : public testing::TestWithParam<const char*> {};

TEST_P(ChannelStructCorpus, ChannelsInWholeBlocksWithTheTimeAxisOfTheTimeChannel) {
  SKIP_WITHOUT_CORPUS();
  const std::string file = std::string("mat/") + GetParam();
  const json oracle = testsupport::LoadOracle(file);
  ModuleHost host;
  const testsupport::ImportResult r = host.MustImport(testsupport::CorpusFile(file));

  std::vector<json> channels;
  for (const json& s : oracle["signals"])
    if (s["has_daten"].get<bool>()) channels.push_back(s);
  ASSERT_EQ(r.signals.size(), channels.size());
  EXPECT_EQ(Number(r.file, "BlockSize"), 1024);

  // The time channel's axis, which every other channel takes over.
  const auto time = std::find_if(channels.begin(), channels.end(), [](const json& c) { return c["time_channel"]; });
  ASSERT_NE(time, channels.end());
  const json& tv = (*time)["values"];
  const double t0 = tv["first"][0], tn = tv["last"].back();
  const double count = tv["count"];

  uint32_t block = 0;
  for (size_t i = 0; i < channels.size(); ++i) {
    const json& c = channels[i];
    const host::PropertyList& p = r.signals[i];
    const std::string field = c["field"];
    SCOPED_TRACE(field);
    EXPECT_EQ(Text(p, "Name"), field);
    EXPECT_EQ(Text(p, "DisplayName"), field);
    const std::string description = c["description"], unit = c["unit"];
    EXPECT_EQ(Text(p, "Label"), description == "-" ? "" : description);
    EXPECT_EQ(Text(p, "YUnit"), unit == "-" ? "" : unit);
    const uint32_t n = c["values"]["count"];
    EXPECT_EQ(Number(p, "STyp"), 5);
    EXPECT_EQ(Number(p, "DTyp"), 13);
    EXPECT_EQ(Number(p, "NoOfValues"), n);
    EXPECT_EQ(Number(p, "Block0"), block);
    EXPECT_EQ(Number(p, "ValuesPerBlock"), 128);
    EXPECT_EQ(Number(p, "BlockOffset"), 0);
    EXPECT_EQ(Number(p, "Demux"), 8);
    block += (n * 8 + 1023) / 1024;
    EXPECT_EQ(Number(p, "YMin"), c["values"]["min"].get<double>());
    EXPECT_EQ(Number(p, "YMax"), c["values"]["max"].get<double>());
    EXPECT_EQ(Number(p, "YFactor"), 1.0);
    EXPECT_EQ(Number(p, "YOffset"), 0.0);
    EXPECT_EQ(Number(p, "XMin"), t0);
    EXPECT_EQ(Number(p, "XOffset"), t0);
    EXPECT_EQ(Number(p, "XMax"), tn);
    EXPECT_NEAR(Number(p, "XFactor"), (tn - t0) / (count - 1), 1e-12);
    EXPECT_EQ(Text(p, "XUnit"), "s");
    EXPECT_EQ(Number(p, "IsUniDir"), c["time_channel"] ? 1 : 0);
    ExpectSummary(host.Values(i + 1), c["values"]);
  }
  EXPECT_EQ(Number(r.file, "DataSize"), block * 1024.0);

  std::string comment;
  for (const json& v : oracle["variables"])
    if (v["name"] == "KOMMENTAR") comment = v["text"];
  EXPECT_EQ(CommentText(r, 0), comment);
  EXPECT_EQ(r.comments.size(), 1u);
  EXPECT_TRUE(r.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, ChannelStructCorpus, testing::Values("scipy_signale.mat", "octave_signale_v7.mat"));

// The built names of the Y channels: the leaf first, quotes stripped, levels joined by backslashes.
struct XYFile {
  const char* file;
  std::vector<std::string> builtNames;
  std::vector<std::string> names;
};

void PrintTo(const XYFile& f, std::ostream* os) { *os << f.file; }

class XYCorpus : public testing::TestWithParam<XYFile> {};

TEST_P(XYCorpus, RecordsOfTheXValueAndEveryYChannel) {
  SKIP_WITHOUT_CORPUS();
  const XYFile& f = GetParam();
  const std::string file = std::string("mat/") + f.file;
  const json oracle = testsupport::LoadOracle(file)["signals"];
  ModuleHost host;
  const testsupport::ImportResult r = host.MustImport(testsupport::CorpusFile(file));

  const json& ys = oracle["y"];
  ASSERT_EQ(r.signals.size(), ys.size() + 1);
  const double n = oracle["x"]["count"];
  const double blockSize = 8.0 * static_cast<double>(ys.size() + 1);
  EXPECT_EQ(Number(r.file, "BlockSize"), blockSize);
  EXPECT_EQ(Number(r.file, "DataSize"), blockSize * n);
  const double step = oracle["x"]["first"][1].get<double>() - oracle["x"]["first"][0].get<double>();

  for (size_t i = 0; i < r.signals.size(); ++i) {
    const host::PropertyList& p = r.signals[i];
    SCOPED_TRACE(Text(p, "Name"));
    EXPECT_EQ(Number(p, "BlockOffset"), 8.0 * static_cast<double>(i));
    EXPECT_EQ(Number(p, "Demux"), blockSize);
    EXPECT_EQ(Number(p, "ValuesPerBlock"), 1);
    EXPECT_EQ(Number(p, "Block0"), 0);
    EXPECT_EQ(Number(p, "STyp"), 0);
    EXPECT_EQ(Number(p, "DTyp"), 13);
    EXPECT_EQ(Number(p, "NoOfValues"), n);
    EXPECT_EQ(Number(p, "XFactor"), step);
    EXPECT_EQ(Number(p, "XMax"), (n - 1) * step);
    EXPECT_EQ(Text(p, "XUnit"), "s");
    EXPECT_EQ(Number(p, "YFactor"), 1.0);
    EXPECT_EQ(Number(p, "YOffset"), 0.0);
    if (i == 0) {
      EXPECT_EQ(Text(p, "Name"), oracle["x_name"].get<std::string>());
      EXPECT_EQ(Text(p, "Label"), oracle["x_name"].get<std::string>());
      ExpectSummary(host.Values(1), oracle["x"]);
      continue;
    }
    const json& y = ys[i - 1];
    EXPECT_EQ(Text(p, "Label"), f.builtNames[i - 1]);
    EXPECT_EQ(Text(p, "DisplayName"), f.builtNames[i - 1]);
    EXPECT_EQ(Text(p, "Name"), f.names[i - 1]);
    EXPECT_EQ(Text(p, "YUnit"), y["unit"].get<std::string>());
    ExpectSummary(host.Values(i + 1), y["values"]);
  }
  EXPECT_TRUE(r.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, XYCorpus,
    testing::Values(XYFile{"scipy_xy.mat",
                           {"Speed\\Engine\\Model Root", "Torque\\Engine\\Model Root", "Accel\\Body\\Vehicle\\Model Root",
                            "Flag\\Model Root"},
                           {"Speed_Engine_Model_Root", "Torque_Engine_Model_Root", "Accel_Body_Vehicle_Model_Root",
                            "Flag_Model_Root"}},
                    XYFile{"octave_xy_v6.mat",
                           {"A\\Sub\\Root", "B\\Root", "C\\Deep\\Sub\\Root"},
                           {"A_Sub_Root", "B_Root", "C_Deep_Sub_Root"}}));

TEST(ErgebnisCorpus, RecordsOfEveryChannelWithTheFileCommentAndNamedCommentsInCodePage850) {
  SKIP_WITHOUT_CORPUS();
  const json oracle = testsupport::LoadOracle("mat/scipy_ergebnis.mat")["signals"];
  ModuleHost host;
  const testsupport::ImportResult r = host.MustImport(testsupport::CorpusFile("mat/scipy_ergebnis.mat"));

  const json& channels = oracle["channels"];
  ASSERT_EQ(r.signals.size(), channels.size());
  size_t longest = 0;
  for (const json& c : channels) longest = std::max(longest, c["rows"].get<size_t>());
  const double blockSize = 8.0 * static_cast<double>(channels.size());
  EXPECT_EQ(Number(r.file, "BlockSize"), blockSize);
  EXPECT_EQ(Number(r.file, "DataSize"), blockSize * static_cast<double>(longest));

  const struct {
    const char* displayName;
    const char* name;
  } kNames[] = {{"ZEIT", "ZEIT"}, {"Kraft\\Pruefling", "Kraft_Pruefling"}, {"Weg\\Pruefling", "Weg_Pruefling"}};
  for (size_t g = 0; g < channels.size(); ++g) {
    const json& c = channels[g];
    const host::PropertyList& p = r.signals[g];
    SCOPED_TRACE(c["name"].get<std::string>());
    EXPECT_EQ(Text(p, "DisplayName"), kNames[g].displayName);
    EXPECT_EQ(Text(p, "Name"), kNames[g].name);
    EXPECT_EQ(Text(p, "Label"), c["description"].get<std::string>());
    EXPECT_EQ(Text(p, "YUnit"), c["unit"].get<std::string>());
    EXPECT_EQ(Number(p, "BlockOffset"), 8.0 * static_cast<double>(g));
    EXPECT_EQ(Number(p, "Demux"), blockSize);
    EXPECT_EQ(Number(p, "ValuesPerBlock"), 1);
    const double rows = c["rows"];
    EXPECT_EQ(Number(p, "NoOfValues"), rows);
    // The time channel's step, 0.01, holds for every channel (Capture 1 would select 0.02).
    EXPECT_EQ(Number(p, "XFactor"), 0.01);
    EXPECT_EQ(Number(p, "XMax"), (rows - 1) * 0.01);
    EXPECT_EQ(Text(p, "XUnit"), "s");
    EXPECT_EQ(Number(p, "YFactor"), 1.0);
    ExpectSummary(host.Values(g + 1), c["values"]);
  }

  const std::string stand = oracle["pruefstand"], kommentar = oracle["kommentar"];
  const std::string fileComment = OemAsRead("Prüfstand: " + stand + "\nKommentar: " + kommentar);
  EXPECT_EQ(CommentText(r, 0), fileComment);
  // Code page 850: the ü of "Prüfstand" is 0x81.
  EXPECT_EQ(winport::AnsiToOem(winport::Utf8ToAnsi("ü")), "\x81");
  EXPECT_EQ(CommentName(r, 1), "T1");
  EXPECT_EQ(CommentText(r, 1), OemAsRead("Einspannung (3): Einspannung oben"));
  EXPECT_EQ(CommentName(r, 2), "T2");
  EXPECT_EQ(CommentText(r, 2), OemAsRead("Prüfmodus (2): Dauerlauf"));
  EXPECT_EQ(CommentName(r, 3), "T3");
  EXPECT_EQ(CommentText(r, 3), OemAsRead("Versuch: V-042"));
  EXPECT_EQ(r.comments.size(), 4u);
  EXPECT_TRUE(r.boxes.empty());
}

// The files in no known layout: IsValid, and the import's outcome.
struct Outcome {
  const char* file;
  int64_t isValid;
  bool imports;
  size_t signals;
};

TEST(OtherCorpusFiles, IsValidAndImportOutcome) {
  SKIP_WITHOUT_CORPUS();
  const Outcome kOutcomes[] = {
      {"scipy_big_endian.mat", 0, true, 0},
      {"scipy_testdouble_7.4_GLNX86.mat", 0, true, 0},
      {"scipy_testhdf5_7.4_GLNX86.mat", 0, true, 0},
      {"scipy_testmatrix_4.2c_SOL2.mat", 0, true, 0},
      {"scipy_testmulti_7.4_GLNX86.mat", 0, true, 0},
      {"scipy_teststring_6.1_SOL2.mat", 0, true, 0},
      {"scipy_teststruct_7.4_GLNX86.mat", 0, true, 0},
      {"scipy_teststructarr_6.5.1_GLNX86.mat", 0, true, 0},
      // The layouts: the test-bench layout is not recognised by IsValid.
      {"scipy_signale.mat", 1, true, 5},
      {"octave_signale_v7.mat", 1, true, 4},
      {"scipy_xy.mat", 1, true, 5},
      {"octave_xy_v6.mat", 1, true, 4},
      {"scipy_ergebnis.mat", 0, true, 3},
  };
  ModuleHost host;
  for (const Outcome& o : kOutcomes) {
    SCOPED_TRACE(o.file);
    const std::string path = testsupport::CorpusFile(std::string("mat/") + o.file);
    testsupport::ImportResult r;
    const std::optional<host::Failure> failure = host.TryImport(path, {}, &r);
    EXPECT_EQ(!failure, o.imports) << (failure ? failure->what() : "");
    if (failure) continue;
    EXPECT_EQ(Number(r.file, "IsValid"), o.isValid);
    EXPECT_EQ(r.signals.size(), o.signals);
    EXPECT_TRUE(r.boxes.empty());
  }
}

}  // namespace

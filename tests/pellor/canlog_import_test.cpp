// The CAN-log import of logs made here: multiplexed messages, extended ids,
// bad input, the ways to the databases (dialog, default and given settings
// file) and the options that change the signals.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "mdf/blocks.h"
#include "mdf/ccblock.h"
#include "mdf/format.h"
#include "pellor/dialogs/resource.h"
#include "platform/ui/headless.h"
#include "platform/win32/codepage.h"
#include "platform/win32/file.h"
#include "tests/support/pellor_canlog_driver.h"

namespace pellor {
namespace {

using namespace canlogtest;
using namespace testsupport;
using winport::ui::ScriptedAnswers;

constexpr const char* kDbc = R"(VERSION ""

BU_: ECU

BO_ 100 Engine: 8 ECU
 SG_ Speed : 0|16@1+ (0.5,0) [0|100] "km/h" ECU
 SG_ Wide : 16|40@1- (1,0) [0|0] "" ECU

BO_ 150 Far: 8 ECU
 SG_ Near : 0|8@1+ (1,0) [0|0] "" ECU
 SG_ Past : 60|8@1+ (1,0) [0|0] "" ECU

BO_ 200 Mux: 8 ECU
 SG_ Sel M : 0|8@1+ (1,0) [0|0] "" ECU
 SG_ A m1 : 8|8@1+ (2,1) [0|0] "" ECU
 SG_ B m2 : 8|16@1- (1,0) [0|0] "" ECU
 SG_ Plain : 56|8@1+ (1,0) [0|0] "" ECU

BO_ 2566844672 Ext: 8 ECU
 SG_ E : 0|8@1+ (1,0) [0|0] "" ECU

BO_ 419430145 ExtWithoutBit: 8 ECU
 SG_ F : 0|8@1+ (1,0) [0|0] "" ECU
)";

const std::string kPastWarning = winport::Utf8ToAnsi(
    "Warnung für Signal Past (Far): liegt nicht ganz in den 8 Datenbytes, das Signal wird ausgelassen.");

CanLogFrame Frame(double time, uint32_t id, std::array<uint8_t, 8> data, uint32_t channel = 1) {
  CanLogFrame f;
  f.time = time;
  f.id = id;
  f.data = data;
  f.channel = channel;
  return f;
}

class CanLogImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(dbc, kDbc);
    WriteSettings(settings, {{1, {dbc}}});
  }

  std::string WriteLog(const std::vector<CanLogFrame>& frames, const std::string& writer = "CANlog",
                       std::optional<CcSpec> timeConversion = std::nullopt) {
    BuildFile(CanLogFileDef(frames, writer, std::move(timeConversion))).writer.Save(log);
    return log;
  }
  // Imports the log with the user text; the result of ImportFile.
  HRESULT Import(const std::string& user) {
    ScopedCanLogDriver driver;
    return import.ImportFile(log, user);
  }
  std::vector<double> Values(const std::string& name) {
    const SignalRecord* r = FindSignal(import, name);
    return r ? ReadValues(import, *r) : std::vector<double>();
  }

  HostVariables host;
  std::string dbc = host.Dir().File("can.dbc");
  std::string settings = host.Dir().File("settings.ini");
  std::string log = host.Dir().File("log.mdf");
  FileImport import;
};

TEST_F(CanLogImportTest, MultiplexedSignalsHoldBetweenTheirFramesAndPlainOnesDecodeInEach) {
  WriteLog({Frame(0.0, 200, {2, 0xFE, 0xFF, 0, 0, 0, 0, 10}), Frame(0.1, 200, {1, 7, 0, 0, 0, 0, 0, 11}),
            Frame(0.2, 200, {1, 9, 0, 0, 0, 0, 0, 12}), Frame(0.3, 200, {2, 5, 0, 0, 0, 0, 0, 13}),
            Frame(0.4, 200, {3, 1, 0, 0, 0, 0, 0, 14})});
  ScriptedAnswers script;
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(SignalNames(import), (std::vector<std::string>{"time@1", "A", "B", "Plain", "Sel"}));
  // A (m1) takes its first value back to the start; B (m2) holds from frame 0.
  EXPECT_EQ(Values("A"), (std::vector<double>{7, 7, 9, 9, 9}));
  EXPECT_EQ(Values("B"), (std::vector<double>{-2, -2, -2, 5, 5}));
  EXPECT_EQ(Values("Plain"), (std::vector<double>{10, 11, 12, 13, 14}));
  EXPECT_EQ(Values("Sel"), (std::vector<double>{2, 1, 1, 2, 3}));
  // Multiplexed signals range over their scaled values.
  const SignalRecord* a = FindSignal(import, "A");
  EXPECT_EQ(a->YMin, 15.0);
  EXPECT_EQ(a->YMax, 19.0);
  EXPECT_EQ(FindSignal(import, "B")->YMin, -2.0);
  EXPECT_EQ(FindSignal(import, "B")->YMax, 5.0);
  // An equidistant axis: the signals need no X signal, the time signal keeps its values.
  EXPECT_EQ(a->XSignal.str(), "");
  EXPECT_DOUBLE_EQ(a->XFactor, 0.1);
  const SignalRecord* time = FindSignal(import, "time@1");
  EXPECT_EQ(time->STyp, styp::kTime);
  EXPECT_EQ(time->Ignore, ignore::kHiddenFaultyTime);
  EXPECT_EQ(time->IsUniDir, 1);
  EXPECT_EQ(time->YMin, 0.0);
  EXPECT_EQ(time->YMax, 0.4);
  EXPECT_EQ(time->XOffset, 0.0);
}

// Extended multiplexing: a cascade (MuxA selects MuxB, which selects Deep),
// value ranges, a second top-level multiplexor, m<k>M without SG_MUL_VAL_
// lines, and what cannot be resolved.
constexpr const char* kExtendedMuxDbc = R"(VERSION ""

BU_: ECU

BO_ 300 Cascade: 8 ECU
 SG_ MuxA M : 0|4@1+ (1,0) [0|0] "" ECU
 SG_ MuxB m2M : 4|4@1+ (1,0) [0|0] "" ECU
 SG_ Deep m0 : 8|8@1+ (1,0) [0|0] "" ECU
 SG_ Ranged m1 : 16|8@1+ (0.5,0) [0|0] "" ECU
 SG_ Direct m3 : 24|8@1+ (1,0) [0|0] "" ECU
 SG_ Second M : 32|4@1+ (1,0) [0|0] "" ECU
 SG_ BySecond m1 : 40|8@1+ (1,0) [0|0] "" ECU
 SG_ Plain : 56|8@1+ (1,0) [0|0] "" ECU

BO_ 310 Nested: 8 ECU
 SG_ Top M : 0|4@1+ (1,0) [0|0] "" ECU
 SG_ Sub m1M : 4|4@1+ (1,0) [0|0] "" ECU
 SG_ Leaf m0 : 8|8@1+ (1,0) [0|0] "" ECU
 SG_ Never m7 : 16|8@1+ (1,0) [0|0] "" ECU

BO_ 320 Broken: 8 ECU
 SG_ Sel M : 0|8@1+ (1,0) [0|0] "" ECU
 SG_ Loop1 m1M : 8|4@1+ (1,0) [0|0] "" ECU
 SG_ Loop2 m1M : 12|4@1+ (1,0) [0|0] "" ECU
 SG_ Orphan m1 : 16|8@1+ (1,0) [0|0] "" ECU
 SG_ Bare m : 24|8@1+ (1,0) [0|0] "" ECU
 SG_ Child m0 : 32|8@1+ (1,0) [0|0] "" ECU
 SG_ Fine m1 : 40|8@1+ (1,0) [0|0] "" ECU
 SG_ Past m1M : 60|8@1+ (1,0) [0|0] "" ECU
 SG_ UnderPast m1 : 48|8@1+ (1,0) [0|0] "" ECU

SG_MUL_VAL_ 300 MuxB MuxA 2-2;
SG_MUL_VAL_ 300 Deep MuxB 0-0;
SG_MUL_VAL_ 300 Ranged MuxA 1-1, 3-3, 5-6;
SG_MUL_VAL_ 300 BySecond Second 1-1;
SG_MUL_VAL_ 320 Loop1 Loop2 1-1;
SG_MUL_VAL_ 320 Loop2 Loop1 1-1;
SG_MUL_VAL_ 320 Orphan Gone 1-1;
SG_MUL_VAL_ 320 Child Loop1 0-0;
SG_MUL_VAL_ 320 UnderPast Past 1-1;
)";

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // their shadow memory takes the address space
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The bytes of address space the process holds now.
uint64_t AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

std::string LeftOutWarning(const char* signal, const char* why) {
  return winport::Utf8ToAnsi(std::string("Warnung für Signal ") + signal + why + ", das Signal wird ausgelassen.");
}

TEST_F(CanLogImportTest, MultiplexedSignalsArePresentWhereTheirWholeChainMatches) {
  WriteFileBytes(dbc, kExtendedMuxDbc);
  // Cascade: byte 0 MuxA (low nibble) and MuxB (high), Deep, Ranged, Direct,
  // Second, BySecond, -, Plain. Nested: byte 0 Top and Sub, Leaf, Never.
  struct Row {
    uint8_t muxA, muxB, deep, ranged, second, bySecond;
  };
  const Row rows[] = {{2, 0, 10, 20, 0, 30}, {0, 0, 11, 21, 1, 31}, {3, 0, 12, 22, 1, 32}, {2, 1, 13, 23, 0, 33},
                      {5, 0, 14, 24, 0, 34}, {2, 0, 15, 25, 1, 35}, {6, 0, 16, 26, 0, 36}, {1, 2, 17, 27, 0, 37}};
  std::vector<CanLogFrame> frames;
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    frames.push_back(Frame(0.1 * static_cast<double>(i), 300,
                           {static_cast<uint8_t>(r.muxA | r.muxB << 4), r.deep, r.ranged, 99, r.second, r.bySecond,
                            0, static_cast<uint8_t>(100 + i)}));
  }
  for (const auto& [top, sub, leaf] : std::vector<std::array<uint8_t, 3>>{{1, 5, 40}, {0, 6, 41}, {1, 7, 42}, {0, 8, 43}})
    frames.push_back(Frame(1.0 + 0.1 * static_cast<double>(frames.size()), 310,
                           {static_cast<uint8_t>(top | sub << 4), leaf, 77}));
  WriteLog(frames);

  ScriptedAnswers script;
  // Direct (m3) could belong to MuxA or Second; Never (Top = 7) is in no frame.
  script.Box(LeftOutWarning("Direct (Cascade)", ": die Botschaft hat mehrere Multiplexoren, keine SG_MUL_VAL_-Zeile "
                                                "nennt einen") +
             "\n" + winport::Utf8ToAnsi("Warnung für Signal Never: in keinem Telegramm vorhanden, das Signal wird "
                                        "ausgelassen."));
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();

  // Present: the frames whose chain matches; elsewhere the value before, and
  // before the first such frame that frame's value.
  const struct {
    const char* name;
    std::vector<double> values;
  } table[] = {
      {"MuxA", {2, 0, 3, 2, 5, 2, 6, 1}},            // in every frame
      {"Second", {0, 1, 1, 0, 0, 1, 0, 0}},          // in every frame
      {"MuxB", {0, 0, 0, 1, 1, 0, 0, 0}},            // MuxA = 2: frames 0, 3, 5
      {"Deep", {10, 10, 10, 10, 10, 15, 15, 15}},    // MuxA = 2 and MuxB = 0: frames 0, 5 (not 1: MuxA 0)
      {"Ranged", {22, 22, 22, 22, 24, 24, 26, 27}},  // MuxA 1, 3, 5 or 6: frames 2, 4, 6, 7
      {"BySecond", {31, 31, 32, 32, 32, 35, 35, 35}},  // Second = 1: frames 1, 2, 5
      {"Plain", {100, 101, 102, 103, 104, 105, 106, 107}},
      {"Top", {1, 0, 1, 0}},
      {"Sub", {5, 5, 7, 7}},     // m1M without SG_MUL_VAL_: Top = 1
      {"Leaf", {41, 41, 41, 43}},  // m0 without SG_MUL_VAL_: Top = 0, whatever Sub holds
  };
  for (const auto& row : table) EXPECT_EQ(Values(row.name), row.values) << row.name;
  EXPECT_EQ(FindSignal(import, "Direct"), nullptr);
  // Ranges over the scaled values where present.
  EXPECT_EQ(FindSignal(import, "Ranged")->YMin, 11.0);
  EXPECT_EQ(FindSignal(import, "Ranged")->YMax, 13.5);
  EXPECT_EQ(FindSignal(import, "Deep")->YMin, 10.0);
  EXPECT_EQ(FindSignal(import, "Deep")->YMax, 15.0);
  // Never holds nothing to show.
  const SignalRecord* never = FindSignal(import, "Never");
  ASSERT_NE(never, nullptr);
  EXPECT_EQ(never->Ignore, ignore::kHidden);
  EXPECT_EQ(never->NoOfValues, 0u);
  EXPECT_EQ(never->rangeEnd, never->rangeStart);
}

TEST_F(CanLogImportTest, MultiplexingThatCannotBeResolvedLeavesItsSignalsOutWithAWarning) {
  WriteFileBytes(dbc, kExtendedMuxDbc);
  WriteLog({Frame(0, 320, {1, 0x11, 5, 6, 7, 8, 9, 10}), Frame(0.1, 320, {1, 0x11, 5, 6, 7, 9, 9, 10})});
  ScriptedAnswers script;
  script.Box(LeftOutWarning("Bare (Broken)", ": Multiplex-Kennung m ist unbekannt") + "\n" +
             LeftOutWarning("Loop1 (Broken)", ": Multiplexor Loop2 wählt sich über andere selbst") + "\n" +
             LeftOutWarning("Loop2 (Broken)", ": Multiplexor Loop1 wählt sich über andere selbst") + "\n" +
             LeftOutWarning("Orphan (Broken)", ": Multiplexor Gone fehlt in der Botschaft oder wird ausgelassen") +
             "\n" + LeftOutWarning("Child (Broken)", ": Multiplexor Loop1 ist nicht auflösbar") + "\n" +
             LeftOutWarning("UnderPast (Broken)", ": Multiplexor Past fehlt in der Botschaft oder wird ausgelassen") +
             "\n" + LeftOutWarning("Past (Broken)", ": liegt nicht ganz in den 8 Datenbytes"));
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(SignalNames(import), (std::vector<std::string>{"time@1", "Fine", "Sel"}));
  EXPECT_EQ(Values("Fine"), (std::vector<double>{8, 9}));
}

// A database may give a message very many multiplexors: their values are
// decoded in shorter slices of frames, not in memory that grows with them.
TEST_F(CanLogImportTest, ManyMultiplexorsDecodeInBoundedMemory) {
  constexpr int kMultiplexors = 20000;
  std::string text = "VERSION \"\"\n\nBU_: ECU\n\nBO_ 400 Many: 8 ECU\n";
  for (int i = 0; i < kMultiplexors; ++i) text += " SG_ Sel" + std::to_string(i) + " M : 0|8@1+ (1,0) [0|0] \"\" ECU\n";
  text += " SG_ S m1 : 8|8@1+ (1,0) [0|0] \"\" ECU\n\nSG_MUL_VAL_ 400 S Sel" + std::to_string(kMultiplexors - 1) + " 1-1;\n";
  WriteFileBytes(dbc, text);
  // Frame i selects S when i is odd; S holds its value between.
  std::vector<CanLogFrame> frames;
  std::vector<double> expected;
  for (int i = 0; i < 150; ++i) {
    frames.push_back(Frame(0.01 * i, 400, {static_cast<uint8_t>(i % 2), static_cast<uint8_t>(i), 0, 0, 0, 0, 0, 0}));
    expected.push_back(i == 0 ? 1 : i % 2 ? i : i - 1);
  }
  WriteLog(frames);
  // Without sanitizers, room for the import but not for 10000 frames' values of every multiplexor (1.6 GB).
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  const bool limited = !kSanitized;
  if (limited) {
    rlimit limit = saved;
    limit.rlim_cur = AddressSpaceInUse() + (uint64_t{768} << 20);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &limit), 0);
  }
  ScriptedAnswers script;
  const HRESULT hr = Import(settings);
  if (limited) ::setrlimit(RLIMIT_AS, &saved);
  ASSERT_EQ(hr, S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(Values("S"), expected);
  EXPECT_EQ(Values("Sel" + std::to_string(kMultiplexors - 1)).size(), frames.size());
}

TEST_F(CanLogImportTest, WideIntegersAndSignalsPastTheFrame) {
  WriteLog({Frame(1.0, 100, {0x10, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}),
            Frame(1.5, 100, {0x20, 0x00, 0x01, 0x00, 0x00, 0x00, 0x80, 0x00}),
            Frame(1.7, 100, {0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}), Frame(1.8, 150, {4})});
  ScriptedAnswers script;
  script.Box(kPastWarning);
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(SignalNames(import), (std::vector<std::string>{"time@1", "Speed", "Wide", "time@2", "Near"}));
  EXPECT_EQ(Values("Speed"), (std::vector<double>{16, 32, 48}));
  // 40 signed bits: -1, then -2^39 + 1; held as doubles.
  EXPECT_EQ(Values("Wide"), (std::vector<double>{-1, -549755813887.0, 0}));
  EXPECT_EQ(FindSignal(import, "Wide")->DTyp, 13);
  // Steps of 0.5 and 0.2: the signals keep their X signal.
  EXPECT_EQ(FindSignal(import, "Speed")->XSignal.str(), "time@1");
  EXPECT_EQ(FindSignal(import, "Speed")->XMin, 1.0);
  EXPECT_EQ(FindSignal(import, "Speed")->XMax, 1.7);
}

TEST_F(CanLogImportTest, ExtendedIdsMatchWithOrWithoutBit31) {
  // The log writes the first id without bit 31, the database the second one so.
  WriteLog({Frame(0, 0x18FEF100, {5}), Frame(0, 0x80000000u | 0x18FFFF01u, {6}), Frame(0, 0x80000100u, {7})});
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_EQ(SignalNames(import), (std::vector<std::string>{"time@1", "E", "time@2", "F"}));
  EXPECT_EQ(Values("E"), (std::vector<double>{5}));
  EXPECT_EQ(Values("F"), (std::vector<double>{6}));
}

TEST_F(CanLogImportTest, FramesOfChannelsOutsideTheRangeAreLeftOutWithAWarning) {
  WriteLog({Frame(0, 100, {1}, 150), Frame(0.1, 100, {2}), Frame(0.2, 100, {3}, 255), Frame(0.3, 100, {4})});
  ScriptedAnswers script;
  script.Box(winport::Utf8ToAnsi("2 CAN-Telegramme mit einer Kanalnummer außerhalb 0-99 wurden übergangen."));
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(Values("Speed"), (std::vector<double>{2, 4}));
}

TEST_F(CanLogImportTest, RecordsMissingFromTheFileAreNotRead) {
  BuiltFile built = BuildFile(CanLogFileDef({Frame(0, 100, {1}), Frame(1, 100, {2}), Frame(2, 100, {3})}));
  built.writer.PatchU32(built.groups[0].cg + cg::kRecordCount, 1000000);  // far more than the file holds
  built.writer.Truncate(built.writer.Size() - 3);                          // and the last record cut short
  built.writer.Save(log);
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_EQ(Values("Speed"), (std::vector<double>{1, 2}));
}

TEST_F(CanLogImportTest, TheDriversStreamIsReadFromTheRecordsOn) {
  WriteLog({Frame(0, 100, {1}), Frame(1, 100, {2})});
  import.m_mdf = std::make_unique<mdf::CMdf>(mdf::MdfProfile::Import);
  ASSERT_TRUE(import.m_mdf->Open(log));
  winport::File stream;
  ASSERT_TRUE(stream.Open(log, winport::FileAccess::Read, winport::FileShare::ReadWrite));
  ASSERT_TRUE(stream.Seek(5));
  ASSERT_TRUE(ImportCanLog(import, &stream, settings));
  EXPECT_TRUE(stream.IsOpen());  // the caller's to close
  EXPECT_TRUE(import.HasImport());
  EXPECT_EQ(Values("Speed"), (std::vector<double>{1, 2}));
}

TEST_F(CanLogImportTest, EqualTimeStampsStayApart) {
  WriteLog({Frame(3.0, 100, {}), Frame(3.0, 100, {}), Frame(3.0, 100, {})});
  ASSERT_EQ(Import(settings), S_OK);
  const std::vector<double> t = Values("time@1");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_LT(t[0], t[1]);
  EXPECT_LT(t[1], t[2]);
}

TEST_F(CanLogImportTest, NuvestoLogsScaleTheirTimesByAFurtherTenth) {
  WriteLog({Frame(100, 100, {}), Frame(200, 100, {}), Frame(400, 100, {})}, "Nuvesto4", CcLinear(0.01, 2.0));
  ASSERT_EQ(Import(settings), S_OK);
  const std::vector<double> t = Values("time@1");
  ASSERT_EQ(t.size(), 3u);
  EXPECT_DOUBLE_EQ(t[0], 2.1);
  EXPECT_DOUBLE_EQ(t[2], 2.4);
  // The file model's conversion is what the file says.
  const mdf::CCNBlock* cn = import.m_mdf->GetFirstDG()->GetFirstCG()->GetFirstCN();
  while (cn->GetSignalName() != "msgTime") cn = cn->GetNext();
  EXPECT_EQ(cn->GetConversion()->GetParams()[1], 0.01);
  // Another writer's times stay as converted.
  import.ReleaseFile();
  WriteLog({Frame(100, 100, {}), Frame(200, 100, {})}, "CANlog", CcLinear(0.01, 2.0));
  ASSERT_EQ(Import(settings), S_OK);
  EXPECT_DOUBLE_EQ(Values("time@1")[1], 4.0);
}

TEST_F(CanLogImportTest, OptionsShapeTheSignals) {
  WriteLog({Frame(10.25, 100, {1}), Frame(10.5, 100, {2}), Frame(10.2000004, 200, {1}), Frame(10.4, 200, {2})});
  import.m_params.SetInt(ParameterBlock::kShowAll, 1);
  import.m_params.SetPattern(ParameterBlock::kCanNamePattern, "CAN<CAN>.<MSG>.<NAME>");
  import.m_params.SetPattern(ParameterBlock::kCanAliasPattern, "<IDh>");
  import.m_params.SetInt(ParameterBlock::kResetTime, 1);
  import.m_params.SetInt(ParameterBlock::kRangeFlags, ParameterBlock::kRangeOverwrite);
  import.m_parametersSet = true;  // the host's block stands: no options file, no variables
  ASSERT_EQ(Import(settings), S_OK);
  const SignalRecord* speed = FindSignal(import, "CAN1_Engine_Speed");
  ASSERT_NE(speed, nullptr) << ::testing::PrintToString(SignalNames(import));
  EXPECT_EQ(speed->DisplayName.str(), "Speed");
  EXPECT_EQ(speed->Alias.str(), "64");
  EXPECT_EQ(speed->YMin, 0.0);
  EXPECT_EQ(speed->YMax, 0.0);
  // The earliest time, 10.2000004 of id 200, rounded to 10.2, becomes the origin.
  const SignalRecord* t1 = FindSignal(import, "time@1");
  const SignalRecord* t2 = FindSignal(import, "time@2");
  EXPECT_EQ(t1->Ignore, ignore::kShown);
  EXPECT_NEAR(t2->YMin, 0.0, 5e-7);
  EXPECT_NEAR(Values("time@2")[0] * t2->YFactor + t2->YOffset, 0.0, 5e-7);
  EXPECT_NEAR(t1->XMin, 0.05, 1e-12);
  EXPECT_NEAR(speed->XMin, 0.05, 1e-12);
  EXPECT_NEAR(t1->YOffset, -10.2, 1e-12);
}

// --- Where the databases come from ------------------------------------------------

class CanLogSettingsTest : public CanLogImportTest {
 protected:
  void SetUp() override {
    CanLogImportTest::SetUp();
    for (const char* name : {"TEMP", "TMP", "TMPDIR"})
      if (const char* v = std::getenv(name)) saved.emplace_back(name, v);
    unsetenv("TMP");
    unsetenv("TMPDIR");
    setenv("TEMP", host.Dir().Path().c_str(), 1);
    WriteLog({Frame(0, 100, {1}), Frame(0, 200, {1}), Frame(0, 200, {2}), Frame(0, 300, {1}, 4)});
  }
  void TearDown() override {
    for (const char* name : {"TEMP", "TMP", "TMPDIR"}) unsetenv(name);
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
  }
  std::string DefaultSettings() const { return host.Dir().File(kCanSettingsFileName); }
  std::vector<std::pair<std::string, std::string>> saved;
};

TEST_F(CanLogSettingsTest, TheDefaultSettingsFileLiesInTheFirstFolderNamed) {
  EXPECT_EQ(CanSettingsPath(), host.Dir().File("MDFCANImport.INI"));
  unsetenv("TEMP");
  setenv("TMP", "/tmp/b/", 1);
  setenv("TMPDIR", "/tmp/c", 1);
  EXPECT_EQ(CanSettingsPath(), "/tmp/b/MDFCANImport.INI");
  unsetenv("TMP");
  EXPECT_EQ(CanSettingsPath(), "/tmp/c/MDFCANImport.INI");
  unsetenv("TMPDIR");
  host.Set("WORKDIR", "/work/dir");
  EXPECT_EQ(CanSettingsPath(), "/work/dir/MDFCANImport.INI");
  host.Remove("WORKDIR");
  EXPECT_EQ(CanSettingsPath(), "/tmp/MDFCANImport.INI");
}

TEST_F(CanLogSettingsTest, ZspReadsTheDefaultSettingsWithoutADialog) {
  WriteSettings(DefaultSettings(), {{1, {dbc}}});
  WriteLog({Frame(0, 100, {1}), Frame(0, 150, {1}), Frame(0, 100, {1}, 150)});
  ScriptedAnswers script;  // no dialog, no box: the warnings go to the host
  ASSERT_EQ(Import("ZSP"), S_OK);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_NE(FindSignal(import, "Speed"), nullptr);
  // Warnings without a flag of their own, each with its text.
  EXPECT_EQ(host.Get("ERRNO"), "64");
  const std::string message = host.Get("ERRMSG").value_or("");
  EXPECT_NE(message.find("1 CAN-Telegramme mit einer Kanalnummer"), std::string::npos) << message;
  EXPECT_NE(message.find("\nWarnung f\xFCr Signal Past (Far)"), std::string::npos) << message;
}

TEST_F(CanLogSettingsTest, ZspFailuresGoToTheHost) {
  ScriptedAnswers script;
  EXPECT_EQ(Import("ZSP"), E_FAIL);  // no settings: no database, no signal
  EXPECT_EQ(host.Get("ERRNO"), "1");
  EXPECT_EQ(host.Get("ERRMSG"), "Keine CAN-Signale gefunden!");
  const std::string bad = host.Dir().File("bad.dbc");
  WriteFileBytes(bad, "VERSION \"\"\nnonsense\n");
  WriteSettings(DefaultSettings(), {{1, {dbc}}, {4, {bad}}});
  EXPECT_EQ(Import("ZSP"), E_FAIL);
  EXPECT_EQ(host.Get("ERRMSG"), "CAN-DB " + bad + " fehlerhaft");
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_FALSE(import.HasImport());
}

TEST_F(CanLogSettingsTest, ErrorsOutsideZspAreShown) {
  const std::string bad = host.Dir().File("bad.dbc");
  WriteFileBytes(bad, "VERSION \"\"\nnonsense\n");
  WriteSettings(settings, {{4, {bad}}});
  ScriptedAnswers script;
  script.Box("CAN-DB " + bad + " fehlerhaft");
  script.Box("Keine CAN-Signale gefunden!");
  EXPECT_EQ(Import(settings), E_FAIL);
  EXPECT_EQ(Import(host.Dir().File("none.ini")), E_FAIL);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(host.Get("ERRNO"), std::nullopt);
}

TEST_F(CanLogSettingsTest, TheDialogShowsTheChannelsAndItsChoiceIsKept) {
  for (const std::string user : {"", "ImportCAN", "MDF2"}) {
    SCOPED_TRACE(user);
    std::remove(DefaultSettings().c_str());
    WriteSettings(DefaultSettings(), {{1, {dbc}}, {7, {dbc}}});
    ScriptedAnswers script;
    winport::ui::ExpectedDialog e;
    e.text = "CAN Database";
    e.dialogId = IDD_CAN_DATABASE;
    // Channel 1 shows its database; channel 4's list is empty, and gets the same one.
    e.actions = {winport::ui::DialogAction::Call([path = dbc](CDialog& dlg) {
                   EXPECT_EQ(dlg.GetCount(IDC_CAN_TABS), 2);
                   EXPECT_EQ(dlg.GetItemText(IDC_CAN_TABS, 0), "CAN 1 (2)");
                   EXPECT_EQ(dlg.GetItemText(IDC_CAN_TABS, 1), "CAN 4 (1)");
                   EXPECT_EQ(dlg.GetItemText(IDC_CAN_DATABASES, 0), path);
                 }),
                 winport::ui::DialogAction::Select(IDC_CAN_TABS, 1), winport::ui::DialogAction::Press(IDC_CAN_ADD)};
    script.Dialog(e);
    script.FileDialog(dbc);
    ASSERT_EQ(Import(user), S_OK);
    EXPECT_TRUE(script.Ok()) << script.Report();
    EXPECT_EQ(SignalNames(import).size(), 8u);
    // The settings file holds the choice, channel 7 of another log no more.
    EXPECT_EQ(ReadCanIniSection(1, DefaultSettings()), std::vector<std::string>{dbc});
    EXPECT_EQ(ReadCanIniSection(4, DefaultSettings()), std::vector<std::string>{dbc});
    EXPECT_TRUE(ReadCanIniSection(7, DefaultSettings()).empty());
    import.ReleaseFile();
  }
}

TEST_F(CanLogSettingsTest, ACancelledDialogEndsTheImportQuietly) {
  WriteSettings(DefaultSettings(), {{1, {dbc}}});
  ScriptedAnswers script;
  script.Dialog("CAN Database", IDCANCEL);
  EXPECT_EQ(Import(""), E_FAIL);
  EXPECT_TRUE(script.Ok()) << script.Report();
  EXPECT_EQ(ReadCanIniSection(1, DefaultSettings()), std::vector<std::string>{dbc});  // untouched
}

}  // namespace
}  // namespace pellor

// The Tarvix reader: a header with every record kind and its data file, the
// time-base estimate, the search for a missing data file, and the refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/headless.h"
#include "smallimports/brevan/tarvix_reader.h"
#include "smallimports/support/data_file.h"
#include "tests/smallimports/module_host.h"
#include "tests/support/tarvix_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/time_zone.h"

namespace {

namespace tw = testsupport::tarvix;
using brevan::TarvixStatus;

// Value sizes of the type codes 1 to 16.
constexpr int kValueSize[17] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 1, 2, 4, 4, 4, 1};
constexpr int kDTyp[17] = {0, 5, 4, 7, 6, 9, 8, 33, 32, 11, 13, 4, 6, 8, 8, 8, 4};
constexpr int kRecordSize = 58;  // the sum of the value sizes
constexpr int kRecords = 10;
constexpr uint32_t kDataOffset = 16;

std::string DataRecord(int k) {
  std::string r;
  for (int i = 0; i < kRecordSize; ++i) r.push_back(static_cast<char>(k * 13 + i * 7 + 1));
  return r;
}

std::string FullHeader() {
  std::string h = tw::HeadBytes({.recordSize = kRecordSize, .channels = 16});
  for (uint32_t code = 1; code <= 16; ++code) {
    tw::Channel c;
    c.id = code;
    c.name = code == 1 ? "1 bad-name" : "ch" + std::to_string(code);
    c.label = code == 2 ? "short | Display" : code == 3 ? "plain" : "lab" + std::to_string(code);
    c.unit = "V";
    c.typeCode = code;
    c.factor = code;
    c.offset = -static_cast<double>(code);
    h += tw::ChannelRecord(c);
    if (code == 2) h += tw::LongLabelRecord(2, 1, '\'', "xxxxxxxxLongLabel='Very long label' rest");
    if (code == 3) h += tw::LongLabelRecord(99, 1, '\'', "xxxxxxxxLongLabel='not this'");
    if (code == 16) h += tw::LongLabelRecord(16, 1, '\'', "----LongLabel:\"Sixteen\"");
  }
  h += tw::DataFileRecord("C:\\daten\\FULL.DTA", kDataOffset);
  h += tw::SamplingRecord(kRecords, 500);
  h += tw::TextRecord(0, 16, "4711") + tw::TextRecord(1, 16, "Meier") + tw::TextRecord(2, 16, "Bremsversuch") +
       tw::TextRecord(7, 16, "frei") + tw::TextRecord(0, 3, "skipped subtype");
  const std::pair<uint32_t, std::string> params[] = {
      {1, tw::LE(static_cast<uint8_t>(-5), 1)},  {2, tw::LE(200, 1)},
      {3, tw::LE(static_cast<uint16_t>(-300), 2)}, {4, tw::LE(60000, 2)},
      {0x105, tw::LE(static_cast<uint32_t>(-70000), 4)}, {6, tw::LE(4000000000u, 4)},
      {7, tw::LE(static_cast<uint64_t>(-5000000000000), 8)}, {8, tw::LE(static_cast<uint64_t>(-7), 8)},
      {9, tw::LE(std::bit_cast<uint32_t>(1.5f), 4)}, {10, tw::F64(2.25)},
      {11, tw::LE(7, 1)},   {12, tw::LE(0x1234, 2) + std::string(10, '\x7F')},
      {13, tw::LE(123456, 4)}, {14, tw::LE(9, 4)},
  };
  int number = 1;
  for (const auto& [code, value] : params)
    h += tw::ParameterRecord(number++, "P" + std::to_string(code), "label", "bar", code, value);
  h += tw::ParameterRecord(11, "Pruefer", "", "", 241, "Schulz");
  h += tw::ParameterRecord(12, "", "", "", 241, "ohne Namen");
  h += tw::RemarkRecord(std::string(600, 'k'));
  h += tw::Record(77, "unknown record body");
  h += tw::EndRecord() + "trailing bytes that are never read";
  return h;
}

class TarvixTest : public ::testing::Test {
 protected:
  std::string WriteHeader(const std::string& bytes, const std::string& name = "full.hdr") {
    testsupport::WriteFileBytes(dir_.File(name), bytes);
    return dir_.File(name);
  }
  void WriteData(const std::string& name, int records, uint32_t offset = kDataOffset) {
    std::string data(offset, 'D');
    for (int k = 0; k < records; ++k) data += DataRecord(k);
    testsupport::WriteFileBytes(dir_.File(name), data);
  }
  // The bytes of a signal's values as the host streams them.
  std::string Streamed(const brevan::BrevanSignal& s) {
    smallimports::StreamedData data(import_.dataPath, import_.dataOffset, import_.dataSize);
    EXPECT_TRUE(data.Open());
    std::string out;
    const int perRecord = std::max(1, s.ValuesPerBlock);
    for (int i = 0; i < s.NoOfValues; ++i) {
      uint8_t buffer[8];
      const uint64_t at = static_cast<uint64_t>(i / perRecord) * static_cast<uint64_t>(import_.blockSize) +
                          static_cast<uint64_t>(s.BlockOffset) + static_cast<uint64_t>(i % perRecord) * s.Demux;
      const auto r = data.Read(at, buffer, static_cast<uint32_t>(s.valueSize));
      out.append(reinterpret_cast<const char*>(buffer), r.copied);
    }
    return out;
  }

  testsupport::TempDir dir_;
  brevan::TarvixImport import_;
};

TEST_F(TarvixTest, FullHeaderWithEveryRecord) {
  testsupport::ScopedTimeZone utc("UTC0");
  WriteData("full.dta", kRecords);
  const brevan::TarvixResult result = brevan::ParseTarvixHeaderFile(WriteHeader(FullHeader()), import_);
  ASSERT_EQ(result.status, TarvixStatus::Ok) << brevan::TarvixResultText(result);
  EXPECT_EQ(import_.fileDate, 1072260000);  // 24.12.2003 10:00:00
  EXPECT_EQ(import_.dataPath, dir_.File("full.dta"));
  EXPECT_EQ(import_.dataOffset, kDataOffset);
  EXPECT_TRUE(import_.streaming);
  EXPECT_EQ(import_.blockSize, kRecordSize);
  EXPECT_EQ(import_.dataSize, static_cast<uint32_t>(kRecordSize * kRecords));

  ASSERT_EQ(import_.signals.Count(), 16u);
  int blockOffset = 0;
  for (uint32_t code = 1; code <= 16; ++code) {
    const brevan::BrevanSignal& s = import_.signals[code - 1];
    SCOPED_TRACE(code);
    EXPECT_EQ(s.number, static_cast<int32_t>(code));
    EXPECT_EQ(s.DTyp, kDTyp[code]);
    EXPECT_EQ(s.Ignore, code == 16 ? 1 : 0);
    EXPECT_EQ(s.valueSize, kValueSize[code]);
    EXPECT_DOUBLE_EQ(s.YFactor, code);
    EXPECT_DOUBLE_EQ(s.YOffset, -static_cast<double>(code));
    EXPECT_EQ(s.YUnit.str(), "V");
    EXPECT_EQ(s.ValuesPerBlock, 1);
    EXPECT_EQ(s.NoOfValues, kRecords);
    EXPECT_DOUBLE_EQ(s.XFactor, 0.002);
    EXPECT_DOUBLE_EQ(s.XMax, 9 * 0.002);
    EXPECT_EQ(s.XUnit.str(), "s");
    EXPECT_EQ(s.BlockOffset, blockOffset);
    EXPECT_EQ(s.Demux, kRecordSize);
    std::string expected;
    for (int k = 0; k < kRecords; ++k) expected += DataRecord(k).substr(blockOffset, kValueSize[code]);
    EXPECT_EQ(Streamed(s), expected);
    blockOffset += kValueSize[code];
  }
  const auto& first = import_.signals[0];
  EXPECT_EQ(first.Name.str(), "1_bad_name");
  EXPECT_EQ(first.DisplayName.str(), "1 bad-name");
  EXPECT_EQ(first.Label.str(), "lab1");
  const auto& second = import_.signals[1];
  EXPECT_EQ(second.Label.str(), "Very long label");
  EXPECT_EQ(second.DisplayName.str(), "short");
  const auto& third = import_.signals[2];
  EXPECT_EQ(third.Label.str(), "plain");
  EXPECT_EQ(third.DisplayName.str(), "ch3");
  EXPECT_EQ(import_.signals[15].Label.str(), "Sixteen");
  EXPECT_EQ(import_.signals[15].DisplayName.str(), "lab16");

  const std::pair<const char*, double> scalars[] = {
      {"P1", -5}, {"P2", 200}, {"P3", -300}, {"P4", 60000}, {"P261", -70000}, {"P6", 4000000000.0},
      {"P7", -5000000000000.0}, {"P8", -7}, {"P9", 1.5}, {"P10", 2.25}, {"P11", 7},
      {"P12", 0x1234}, {"P13", 123456},
  };
  ASSERT_EQ(import_.scalars.Count(), std::size(scalars));
  for (size_t i = 0; i < std::size(scalars); ++i) {
    const smallimports::ScalarRecord& p = import_.scalars[i];
    EXPECT_EQ(p.number, static_cast<int32_t>(i + 1));
    EXPECT_EQ(p.Name.str(), scalars[i].first);
    EXPECT_EQ(p.Label.str(), "label");
    EXPECT_EQ(p.Unit.str(), "bar");
    EXPECT_DOUBLE_EQ(p.Value, scalars[i].second) << p.Name.str();
  }
  EXPECT_EQ(import_.scalars[4].DTyp, 9);  // the low byte of 0x105
  EXPECT_EQ(import_.scalars[7].DTyp, 32);  // P8: told as host type 32, its value read signed

  const std::pair<const char*, std::string> comments[] = {
      {"V_Nr", "4711"}, {"Bearbeiter", "Meier"}, {"Versuchsbeschreibung", "Bremsversuch"}, {"Text7", "frei"},
      {"Pruefer", "Schulz"}, {"Text12", "ohne Namen"}, {"Kommentar", std::string(254, 'k')},
      {"Kommentar", std::string(254, 'k')}, {"Kommentar", std::string(92, 'k')},
  };
  ASSERT_EQ(import_.comments.Count(), std::size(comments));
  for (size_t i = 0; i < std::size(comments); ++i) {
    EXPECT_EQ(import_.comments[i].number, static_cast<int32_t>(i + 1));
    EXPECT_EQ(import_.comments[i].Name.str(), comments[i].first);
    EXPECT_EQ(import_.comments[i].text, comments[i].second);
  }
  EXPECT_EQ(import_.comment, "4711\nMeier\nBremsversuch\nfrei\nSchulz\nohne Namen");
}

TEST_F(TarvixTest, TypeCodes) {
  EXPECT_EQ(brevan::TarvixDTyp(0), 0);
  EXPECT_EQ(brevan::TarvixDTyp(16), 0);
  EXPECT_EQ(brevan::TarvixDTyp(0x1003), 0);
  EXPECT_EQ(brevan::RawToDouble(0xFF, 1), -1);
  EXPECT_EQ(brevan::RawToDouble(~uint64_t{0}, 8), -1);  // signed, whatever host type it is told
  EXPECT_EQ(brevan::RawToDouble(~uint64_t{0}, 7), -1);
  EXPECT_EQ(brevan::RawToDouble(5, 14), std::nullopt);  // no conversion: no value
  EXPECT_EQ(brevan::MakeDataFilePath("/a.b/run.hdr"), "/a.b/run.dta");
  EXPECT_EQ(brevan::MakeDataFilePath("/a.b/run"), "/a.b/run.dta");
}

// Channels without a sampling record take their time axis from the data file.
class TimeBaseTest : public TarvixTest {
 protected:
  std::string Header(int recordSize, const char* baseName = "Zeitbasis") {
    std::string h = tw::HeadBytes({.recordSize = recordSize, .channels = 2});
    h += tw::ChannelRecord({.id = 1, .name = baseName, .label = "", .unit = "s", .typeCode = 10});
    h += tw::ChannelRecord({.id = 2, .name = "Kraft", .label = "", .unit = "N", .typeCode = 3});
    return h + tw::EndRecord();
  }
  void WriteTimes(const std::function<double(int)>& time, int records) {
    std::string data;
    for (int k = 0; k < records; ++k) data += tw::F64(time(k)) + tw::LE(static_cast<uint16_t>(k), 2);
    testsupport::WriteFileBytes(dir_.File("tb.dta"), data);
  }
};

TEST_F(TimeBaseTest, IntervalFromTheZeitbasisChannel) {
  WriteTimes([](int k) { return k <= 8 ? 0.0 : (k - 8) * 0.01; }, 20);
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(Header(10), "tb.hdr"), import_).status, TarvixStatus::Ok);
  ASSERT_EQ(import_.signals.Count(), 2u);
  for (const auto& s : import_.signals) {
    EXPECT_DOUBLE_EQ(s.XFactor, 0.01);
    EXPECT_EQ(s.NoOfValues, 20);
    EXPECT_EQ(s.Demux, 10);
    EXPECT_DOUBLE_EQ(s.XMax, 19 * 0.01);
  }
  EXPECT_EQ(import_.signals[1].BlockOffset, 8);
  EXPECT_EQ(import_.dataOffset, 0u);
  EXPECT_EQ(import_.dataSize, 200u);
  EXPECT_EQ(Streamed(import_.signals[1]).substr(0, 4), tw::LE(0, 2) + tw::LE(1, 2));
}

TEST_F(TimeBaseTest, SeveralValuesPerRecord) {
  std::string h = tw::HeadBytes({.recordSize = 12, .channels = 2});
  h += tw::ChannelRecord({.id = 1, .name = "Zeitbasis", .label = "", .unit = "s", .typeCode = 10});
  h += tw::ChannelRecord({.id = 2, .name = "Kraft", .label = "", .unit = "N", .typeCode = 3, .valuesPerRecord = 2});
  std::string data, expected;
  for (int k = 0; k < 10; ++k) {
    const std::string pair = tw::LE(static_cast<uint16_t>(2 * k), 2) + tw::LE(static_cast<uint16_t>(2 * k + 1), 2);
    data += tw::F64(k * 0.5) + pair;
    expected += pair;
  }
  testsupport::WriteFileBytes(dir_.File("tb.dta"), data);
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(h + tw::EndRecord(), "tb.hdr"), import_).status,
            TarvixStatus::Ok);
  const auto& kraft = import_.signals[1];
  EXPECT_EQ(kraft.BlockOffset, 8);
  EXPECT_EQ(kraft.NoOfValues, 20);
  EXPECT_EQ(Streamed(kraft), expected);
  EXPECT_EQ(import_.signals[0].NoOfValues, 10);
}

TEST_F(TimeBaseTest, ConstantOrAbsentTimeBaseGivesOne) {
  WriteTimes([](int) { return 3.0; }, 1001);
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(Header(10), "tb.hdr"), import_).status, TarvixStatus::Ok);
  EXPECT_DOUBLE_EQ(import_.signals[0].XFactor, 1.0);
  EXPECT_EQ(import_.signals[0].NoOfValues, 1001);
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(Header(10, "Zeit"), "tb.hdr"), import_).status, TarvixStatus::Ok);
  EXPECT_DOUBLE_EQ(import_.signals[0].XFactor, 1.0);
}

TEST_F(TimeBaseTest, ValueSizesOtherThanTheRecordGiveNoTimeBase) {
  WriteTimes([](int k) { return k * 0.5; }, 20);
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(Header(12), "tb.hdr"), import_).status, TarvixStatus::Ok);
  EXPECT_EQ(import_.signals[0].NoOfValues, 0);
  EXPECT_EQ(import_.dataSize, 0u);
}

TEST_F(TarvixTest, SamplingAndLayoutVariants) {
  WriteData("s.dta", 4, 0);
  auto header = [](tw::Head head, uint32_t firstCode, double rate) {
    head.recordSize = 4;
    head.channels = 2;
    std::string h = tw::HeadBytes(head);
    h += tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = firstCode});
    h += tw::ChannelRecord({.id = 2, .name = "b", .label = "", .unit = "", .typeCode = 4});
    return h + tw::DataFileRecord("s.dta", 0) + tw::SamplingRecord(4, rate) + tw::EndRecord();
  };
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(header({}, 3, 0), "s.hdr"), import_).status, TarvixStatus::Ok);
  EXPECT_DOUBLE_EQ(import_.signals[0].XFactor, 1.0);  // rate 0
  EXPECT_EQ(import_.dataSize, 16u);
  // Layout flag 1, or bit 0x1000 of the first channel's code: no data are offered, the signals stay.
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(header({.layoutFlag = 1}, 3, 100), "s.hdr"), import_).status,
            TarvixStatus::Ok);
  EXPECT_EQ(import_.dataSize, 0u);
  EXPECT_FALSE(import_.streaming);
  EXPECT_EQ(import_.signals.Count(), 2u);
  EXPECT_EQ(import_.signals[1].BlockOffset, 0);  // not laid out
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(header({}, 0x1003, 100), "s.hdr"), import_).status,
            TarvixStatus::Ok);
  EXPECT_EQ(import_.dataSize, 0u);
  EXPECT_EQ(import_.signals.Count(), 2u);
}

// A record holds each channel's values in turn: one int16 of "a", n int32 of
// "b", n int16 of "c", then 2 bytes of padding. The host gets every value
// once, in record order, from a data space of whole records.
TEST_F(TarvixTest, SeveralValuesPerRecordAsTheRecordHoldsThem) {
  constexpr int kRecordsHere = 4;
  smalltest::ModuleHost host(smalltest::kBrevanModule);
  for (const uint32_t n : {2u, 3u}) {
    SCOPED_TRACE(n);
    const int recordSize = static_cast<int>(2 + 6 * n + 2);
    std::string h = tw::HeadBytes({.recordSize = recordSize, .channels = 3});
    h += tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
    h += tw::ChannelRecord({.id = 2, .name = "b", .label = "", .unit = "", .typeCode = 5, .valuesPerRecord = n});
    h += tw::ChannelRecord({.id = 3, .name = "c", .label = "", .unit = "", .typeCode = 3, .valuesPerRecord = n});
    h += tw::DataFileRecord("n.dta", 0) + tw::SamplingRecord(kRecordsHere, 10) + tw::EndRecord();
    std::string data;
    std::vector<std::optional<double>> a, b, c;
    for (int k = 0; k < kRecordsHere; ++k) {
      a.push_back(-k);
      data += tw::LE(static_cast<uint16_t>(-k), 2);
      for (uint32_t i = 0; i < n; ++i) {
        b.push_back(100000.0 * k + i);
        data += tw::LE(100000u * k + i, 4);
      }
      for (uint32_t i = 0; i < n; ++i) {
        c.push_back(-100.0 * k - i);
        data += tw::LE(static_cast<uint16_t>(-100 * k - static_cast<int>(i)), 2);
      }
      data += "PP";
    }
    testsupport::WriteFileBytes(dir_.File("n.dta"), data);
    const std::string header = WriteHeader(h, "n.hdr");
    ASSERT_EQ(brevan::ParseTarvixHeaderFile(header, import_).status, TarvixStatus::Ok);
    EXPECT_EQ(import_.signals[1].BlockOffset, 2);
    EXPECT_EQ(import_.signals[2].BlockOffset, static_cast<int32_t>(2 + 4 * n));
    EXPECT_EQ(import_.signals[2].NoOfValues, static_cast<int32_t>(n * kRecordsHere));
    EXPECT_EQ(import_.dataSize, static_cast<uint32_t>(recordSize * kRecordsHere));

    const testsupport::ImportResult r = host.Import("Brevan.ZPFileImport", header);
    EXPECT_EQ(host::NumberOf(r.file, "BlockSize"), recordSize);
    EXPECT_EQ(host.Samples("a").values, a);
    EXPECT_EQ(host.Samples("b").values, b);
    EXPECT_EQ(host.Samples("c").values, c);
  }
}

TEST_F(TarvixTest, MissingDataFile) {
  std::string h = tw::HeadBytes({.recordSize = 2, .channels = 1});
  h += tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  h += tw::DataFileRecord("D:\\mess\\other.dta", 0) + tw::SamplingRecord(3, 1) + tw::EndRecord();
  const std::string header = WriteHeader(h, "m.hdr");
  const std::string question =
      "Die Datendatei D:\\mess\\other.dta kann nicht lokalisiert werden.\nWollen Sie eine andere verwenden?";
  const std::string chosen = dir_.File("chosen.bin");
  testsupport::WriteFileBytes(chosen, "xxxxxx");
  struct Case {
    const char* what;
    int answer;
    std::optional<std::optional<std::string>> dialog;  // none: no dialog expected
    TarvixStatus status;
  } cases[] = {
      {"No", IDNO, std::nullopt, TarvixStatus::DataFileRefused},
      {"Cancel", IDCANCEL, std::nullopt, TarvixStatus::DataFileRefused},
      {"Yes, file chosen", IDYES, std::optional<std::string>(chosen), TarvixStatus::Ok},
      {"Yes, dialog cancelled", IDYES, std::optional<std::string>(), TarvixStatus::DataFileRefused},
  };
  for (const Case& c : cases) {
    winport::ui::ScriptedAnswers script;
    winport::ui::ExpectedDialog box;
    box.text = question;
    box.caption = "Tarvix Import";
    box.type = MB_YESNOCANCEL | MB_ICONQUESTION;
    box.answer = c.answer;
    script.Box(box);
    if (c.dialog) script.FileDialog(*c.dialog);
    EXPECT_EQ(brevan::ParseTarvixHeaderFile(header, import_).status, c.status) << c.what;
    EXPECT_TRUE(script.Ok()) << c.what << ": " << script.Report();
    if (c.status == TarvixStatus::Ok) {
      EXPECT_EQ(import_.dataPath, chosen);
      const auto log = script.Log();
      ASSERT_EQ(log.size(), 2u);
      EXPECT_EQ(log[1].caption, "Datendatei \xF6" "ffnen");
      EXPECT_EQ(log[1].filter, "Tarvix-Datendateien (*.dta)|*.dta||");
    }
  }
  // The same through the module: the host answers the question and the file dialog.
  smalltest::ModuleHost host(smalltest::kBrevanModule);
  struct HostCase {
    const char* what;
    int answer;
    std::vector<std::optional<std::string>> dialogs;
    bool imported;
  } hostCases[] = {
      {"No", IDNO, {}, false},
      {"Cancel", IDCANCEL, {}, false},
      {"Yes, file chosen", IDYES, {chosen}, true},
      {"Yes, dialog cancelled", IDYES, {std::nullopt}, false},
  };
  for (const HostCase& c : hostCases) {
    testsupport::ImportResult r;
    const std::optional<host::Failure> failure =
        host.TryImport("Brevan.ZPFileImport", header, {.user = "", .vars = {}, .zpVersion = {}, .parameters = {},
                                                       .answers = {c.answer}, .fileDialogs = c.dialogs},
                       &r);
    EXPECT_EQ(!failure, c.imported) << c.what;
    EXPECT_EQ(failure ? failure->hr : S_OK, c.imported ? S_OK : E_FAIL) << c.what;
    const auto boxes = host.Boxes();
    ASSERT_EQ(boxes.size(), 1u) << c.what;
    EXPECT_EQ(boxes[0].text, question) << c.what;
    if (c.imported) {
      EXPECT_EQ(host::NumberOf(r.file, "DataSize"), 6);
      EXPECT_EQ(host.Samples("a").bytes, "xxxxxx");
    }
  }

  // Found without asking: under the record's file name, then beside the header in other case.
  testsupport::WriteFileBytes(dir_.File("other.dta"), "12345678");
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(header, import_).status, TarvixStatus::Ok);
  EXPECT_EQ(import_.dataPath, dir_.File("other.dta"));
  testsupport::WriteFileBytes(dir_.File("m.DTA"), "12345678");
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(header, import_).status, TarvixStatus::Ok);
  EXPECT_EQ(import_.dataPath, dir_.File("m.DTA"));
  const testsupport::ImportResult r = host.Import("Brevan.ZPFileImport", header);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(host.Samples("a").bytes, "123456");
}

// A data file that ends before the records the sampling states: each channel
// keeps the values that lie in the file, one box names the channels cut, and
// the data space ends with the file.
TEST_F(TarvixTest, ShortDataFileGivesEachChannelTheValuesItHolds) {
  const std::string header = WriteHeader(FullHeader());
  const std::string dta = dir_.File("full.dta");
  const std::string intro = "Die Datei " + header + " ist unvollständig.\n";
  const std::string tenNames = "1_bad_name, ch2, ch3, ch4, ch5, ch6, ch7, ch8, ch9, ch10";
  struct Case {
    const char* what;
    size_t bytes;         // of the data file after D
    int32_t first, last;  // values of channels 1 to 5 (bytes 0 to 9 of a record) and of the others
    std::string box;
  } cases[] = {
      {"three whole records", 3 * kRecordSize, 3, 3, "Weniger Werte als angegeben: " + tenNames + " und 6 weitere"},
      {"and 10 bytes of the fourth", 3 * kRecordSize + 10, 4, 3,
       "Weniger Werte als angegeben: " + tenNames + " und 6 weitere"},
      {"nothing after D", 0, 0, 0, "Keine Werte, ignoriert: " + tenNames + " und 6 weitere"},
  };
  smalltest::ModuleHost host(smalltest::kBrevanModule);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string data(kDataOffset, 'D');
    for (int k = 0; k < kRecords; ++k) data += DataRecord(k);
    testsupport::WriteFileBytes(dta, data.substr(0, kDataOffset + c.bytes));
    ASSERT_EQ(brevan::ParseTarvixHeaderFile(header, import_).status, TarvixStatus::Ok);
    EXPECT_EQ(import_.dataSize, c.bytes);
    const testsupport::ImportResult r = host.Import("Brevan.ZPFileImport", header);
    ASSERT_EQ(r.signals.size(), 16u);
    for (size_t i = 0; i < r.signals.size(); ++i) {
      const int32_t values = i < 5 ? c.first : c.last;
      EXPECT_EQ(host::NumberOf(r.signals[i], "NoOfValues"), values) << i;
      EXPECT_EQ(host::NumberOf(r.signals[i], "Ignore"), values == 0 || i + 1 == 16 ? 1 : 0) << i;  // code 16: no type
      EXPECT_EQ(host::NumberOf(r.signals[i], "XMax"), (values - 1) * 0.002) << i;
      const std::string streamed = host.Samples(std::to_string(i + 1)).bytes;
      EXPECT_EQ(streamed, Streamed(import_.signals[i])) << i;
      EXPECT_EQ(streamed.size(), static_cast<size_t>(values * kValueSize[i + 1])) << i;
    }
    if (c.last > 0) {
      EXPECT_EQ(host.Samples("ch3").bytes.substr(0, 6),
                DataRecord(0).substr(2, 2) + DataRecord(1).substr(2, 2) + DataRecord(2).substr(2, 2));
    }
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, "Tarvix Import");
    EXPECT_EQ(r.boxes[0].text, intro + c.box);
  }
  // Cut after the import: a read of what the file no longer holds fails.
  WriteData("full.dta", kRecords);
  host.Import("Brevan.ZPFileImport", header);
  testsupport::WriteFileBytes(dta, std::string(kDataOffset, 'D') + DataRecord(0));
  EXPECT_THROW(host.Samples("ch3"), host::CallError);
}

// Channels whose values pass the end of their record (the value sizes add up
// to more than R) would read the next record's bytes: they are ignored, and
// the box says why.
TEST_F(TarvixTest, ChannelsBeyondTheRecordAreIgnored) {
  std::string h = tw::HeadBytes({.recordSize = 4, .channels = 3});
  h += tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  h += tw::ChannelRecord({.id = 2, .name = "b", .label = "", .unit = "", .typeCode = 4});
  h += tw::ChannelRecord({.id = 3, .name = "c", .label = "", .unit = "", .typeCode = 3});
  h += tw::DataFileRecord("r.dta", 0) + tw::SamplingRecord(3, 10) + tw::EndRecord();
  testsupport::WriteFileBytes(dir_.File("r.dta"), tw::LE(0x00010002, 4) + tw::LE(0x00030004, 4) + tw::LE(0x00050006, 4));
  const std::string header = WriteHeader(h, "r.hdr");
  smalltest::ModuleHost host(smalltest::kBrevanModule);
  const testsupport::ImportResult r = host.Import("Brevan.ZPFileImport", header);
  ASSERT_EQ(r.signals.size(), 3u);
  EXPECT_EQ(host.Samples("a").values, (std::vector<std::optional<double>>{2, 4, 6}));
  EXPECT_EQ(host.Samples("b").values, (std::vector<std::optional<double>>{1, 3, 5}));
  EXPECT_EQ(host::NumberOf(r.signals[2], "NoOfValues"), 0);
  EXPECT_EQ(host::NumberOf(r.signals[2], "Ignore"), 1);
  EXPECT_TRUE(host.Samples("c").values.empty());
  EXPECT_EQ(host::NumberOf(r.file, "DataSize"), 12);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].text,
            "Die Datei " + header + " ist unvollständig.\nAußerhalb des Datensatzes von 4 Bytes, ignoriert: c");
}

// A parameter whose value is shorter than its type has no value of it: it is
// left out, and the box names it.
TEST_F(TarvixTest, ParametersShorterThanTheirTypeAreLeftOut) {
  std::string h = tw::HeadBytes({.recordSize = 2, .channels = 1});
  h += tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  h += tw::DataFileRecord("p.dta", 0) + tw::SamplingRecord(1, 1);
  h += tw::ParameterRecord(1, "Kurz", "", "", 3, tw::LE(0xFF, 1));  // an int16 in one byte
  h += tw::ParameterRecord(2, "Voll", "", "", 3, tw::LE(0xFFFE, 2));
  h += tw::EndRecord();
  testsupport::WriteFileBytes(dir_.File("p.dta"), "ab");
  const std::string header = WriteHeader(h, "p.hdr");
  smalltest::ModuleHost host(smalltest::kBrevanModule);
  const testsupport::ImportResult r = host.Import("Brevan.ZPFileImport", header);
  ASSERT_EQ(r.scalars.size(), 1u);
  EXPECT_EQ(host::TextOf(r.scalars[0], "Name"), "Voll");
  EXPECT_EQ(host::NumberOf(r.scalars[0], "Value"), -2);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].text,
            "Die Datei " + header + " ist unvollständig.\nParameter mit unvollständigem Wert, ausgelassen: Kurz");
}

TEST_F(TarvixTest, RecordWalkIsBoundedByEachLength) {
  auto base = [] {
    std::string h = tw::HeadBytes({.recordSize = 2, .channels = 1});
    return h + tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  };
  // A text longer than its record is cut to the record; the next record is still read.
  std::string h = base() + tw::Record(90, tw::LE(0, 32) + tw::LE(500, 4) + "short") + tw::RemarkRecord("next");
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(h, "w.hdr"), import_).status, TarvixStatus::Ok);
  ASSERT_EQ(import_.comments.Count(), 2u);
  EXPECT_EQ(import_.comments[0].text, "short");
  EXPECT_EQ(import_.comments[1].text, "next");
  // A length below 12 ends the walk.
  h = base() + tw::Record(90, tw::LE(0, 32) + tw::LE(4, 4) + "gone", 5) + tw::RemarkRecord("never");
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(h, "w.hdr"), import_).status, TarvixStatus::Ok);
  EXPECT_EQ(import_.comments.Count(), 0u);
}

TEST_F(TarvixTest, Refusals) {
  const std::string channel = tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  auto head = [](int channels, int recordSize = 2) { return tw::HeadBytes({.recordSize = recordSize, .channels = channels}); };
  struct Case {
    const char* what;
    std::string bytes;
    TarvixStatus status;
  } cases[] = {
      {"short head", head(1).substr(0, 50), TarvixStatus::ShortHead},
      {"C 0", head(0) + channel, TarvixStatus::BadChannelCount},
      {"C 10^9", head(1000000000) + channel, TarvixStatus::BadChannelCount},
      {"C beyond the file", head(2) + channel, TarvixStatus::BadChannelCount},
      {"R 0", head(1, 0) + channel, TarvixStatus::BadRecordSize},
      {"short channel record", head(1) + channel.substr(0, 4) + tw::LE(100, 4) + channel.substr(8, 200) + "pad",
       TarvixStatus::ShortChannelRecord},
      {"channel record cut by the file", head(2) + channel + tw::Record(100, std::string(288, 'c')).substr(0, 250),
       TarvixStatus::ShortChannelRecord},
      {"short long-label record", head(1) + channel + tw::Record(200, "12345678") + std::string(200, 'x'),
       TarvixStatus::ShortLongLabel},
      {"L 5 where a channel is due", head(1) + tw::Record(100, std::string(196, 'c'), 5), TarvixStatus::ShortChannelRecord},
      {"sampling record where a channel is due", head(1) + tw::SamplingRecord(3, 1) + channel,
       TarvixStatus::NotAChannelRecord},
  };
  smalltest::ModuleHost host(smalltest::kBrevanModule);
  for (const Case& c : cases) {
    const std::string path = WriteHeader(c.bytes, "bad.hdr");
    const brevan::TarvixResult result = brevan::ParseTarvixHeaderFile(path, import_);
    EXPECT_EQ(result.status, c.status) << c.what << ": " << brevan::TarvixResultText(result);
    EXPECT_EQ(import_.signals.Count(), 0u) << c.what;
    // Through the module: E_FAIL, no question.
    const std::optional<host::Failure> failure = host.TryImport("Brevan.ZPFileImport", path);
    ASSERT_TRUE(failure) << c.what;
    EXPECT_EQ(failure->hr, E_FAIL) << c.what;
    EXPECT_TRUE(host.Boxes().empty()) << c.what;
  }
  // A long-label record where a channel is due is taken, matching or not.
  const std::string taken = head(1) + tw::LongLabelRecord(7, 1, '\'', "LongLabel 'x'") + channel + tw::EndRecord();
  EXPECT_EQ(brevan::ParseTarvixHeaderFile(WriteHeader(taken, "ll.hdr"), import_).status, TarvixStatus::Ok);
  EXPECT_EQ(brevan::ParseTarvixHeaderFile(dir_.File("absent.hdr"), import_).status, TarvixStatus::OpenFailed);
}

TEST_F(TarvixTest, Validity) {
  const std::string channel = tw::ChannelRecord({.id = 1, .name = "a", .label = "", .unit = "", .typeCode = 3});
  const std::string good = tw::HeadBytes({.recordSize = 2, .channels = 1}) + channel;
  EXPECT_TRUE(brevan::IsTarvixHeaderFile(WriteHeader(good, "v.hdr")));
  // Valid without a data file, and without any dialog.
  EXPECT_TRUE(brevan::IsTarvixHeaderFile(WriteHeader(good + tw::DataFileRecord("nowhere.dta", 0), "v.hdr")));
  EXPECT_FALSE(brevan::IsTarvixHeaderFile(WriteHeader(good.substr(0, 71), "v.hdr")));
  EXPECT_FALSE(brevan::IsTarvixHeaderFile(
      WriteHeader(tw::HeadBytes({.recordSize = 2, .channels = 1}) + tw::Record(2, std::string(196, 'x')), "v.hdr")));
  EXPECT_FALSE(brevan::IsTarvixHeaderFile(dir_.File("absent.hdr")));
}

// The module delivers what the reader read: file properties, every signal
// with its display name, the scalars, the comments with their names, and each
// signal's values streamed from the data file.
TEST_F(TarvixTest, ImportsThroughTheHost) {
  testsupport::ScopedTimeZone utc("UTC0");
  WriteData("full.dta", kRecords);
  const std::string header = WriteHeader(FullHeader());
  ASSERT_EQ(brevan::ParseTarvixHeaderFile(header, import_).status, TarvixStatus::Ok);
  smalltest::ModuleHost host(smalltest::kBrevanModule);
  const testsupport::ImportResult r = host.Import("Brevan.ZPFileImport", header);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(host::NumberOf(r.file, "FileDate"), 1072260000);
  EXPECT_EQ(host::NumberOf(r.file, "Version"), 519);
  EXPECT_EQ(host::NumberOf(r.file, "BlockSize"), kRecordSize);
  EXPECT_EQ(host::NumberOf(r.file, "DataSize"), kRecordSize * kRecords);
  EXPECT_EQ(host::NumberOf(r.file, "NoOfComments"), 10);
  EXPECT_EQ(host::NumberOf(r.file, "nFiles"), 1);
  EXPECT_EQ(host::NumberOf(r.file, "IsValid"), 1);
  EXPECT_EQ(host::TextOf(r.file, "Name"), "");

  ASSERT_EQ(r.comments.size(), 10u);
  EXPECT_EQ(r.comments[0].index, 0);
  EXPECT_FALSE(r.comments[0].name);
  EXPECT_EQ(r.comments[0].text, import_.comment);
  for (size_t i = 1; i < r.comments.size(); ++i) {
    EXPECT_EQ(r.comments[i].index, static_cast<int64_t>(i));
    EXPECT_EQ(r.comments[i].name.value_or("(null)"), import_.comments[i - 1].Name.str());
    EXPECT_EQ(r.comments[i].text, import_.comments[i - 1].text);
  }

  ASSERT_EQ(r.signals.size(), 16u);
  for (size_t i = 0; i < r.signals.size(); ++i) {
    const brevan::BrevanSignal& s = import_.signals[i];
    const host::PropertyList& p = r.signals[i];
    smalltest::ExpectDelivered(p, s);
    EXPECT_EQ(host::TextOf(p, "DisplayName"), s.DisplayName.str()) << i;
    EXPECT_TRUE(smalltest::IsNull(p, "XSignal")) << i;
    EXPECT_TRUE(smalltest::IsNull(p, "BitState")) << i;
    EXPECT_EQ(host::NumberOf(p, "MinDelta", -1), 0) << i;
    EXPECT_EQ(host::NumberOf(p, "MaxDelta", -1), 0) << i;
    EXPECT_EQ(host::NumberOf(p, "IsUniDir", -1), 0) << i;
    EXPECT_EQ(p.size(), 46u);
    EXPECT_EQ(host.Samples(std::to_string(i + 1)).bytes, Streamed(s)) << i;
  }

  ASSERT_EQ(r.scalars.size(), import_.scalars.Count());
  for (size_t i = 0; i < r.scalars.size(); ++i) {
    const smallimports::ScalarRecord& s = import_.scalars[i];
    const host::PropertyList& p = r.scalars[i];
    EXPECT_EQ(host::TextOf(p, "Name"), s.Name.str()) << i;
    EXPECT_EQ(host::TextOf(p, "DisplayName"), s.DisplayName.str()) << i;
    EXPECT_EQ(host::TextOf(p, "Alias"), s.Alias.str()) << i;
    EXPECT_EQ(host::TextOf(p, "Label"), s.Label.str()) << i;
    EXPECT_EQ(host::TextOf(p, "Unit"), s.Unit.str()) << i;
    EXPECT_EQ(host::NumberOf(p, "STyp", -1), s.STyp) << i;
    EXPECT_EQ(host::NumberOf(p, "DTyp", -1), s.DTyp) << i;
    EXPECT_EQ(host::NumberOf(p, "Ignore", -1), s.Ignore) << i;
    EXPECT_EQ(host::NumberOf(p, "FileNo", -1), 1) << i;
    EXPECT_EQ(host::NumberOf(p, "XOffset", -1), s.XOffset) << i;
    EXPECT_EQ(host::NumberOf(p, "Value", -1), s.Value) << i;
  }
}

}  // namespace

// The EDAS/PDAI reader: each data form (interleaved org 0, 1 and 2, block form
// with org 0 and 2), every header and channel keyword, the streamed form of
// large data, validity and the file-error boxes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/headless.h"
#include "smallimports/hestor/edas_reader.h"
#include "smallimports/support/data_file.h"
#include "tests/smallimports/module_host.h"
#include "tests/support/edas_writer.h"
#include "tests/support/host_objects.h"
#include "tests/support/temp_dir.h"
#include "tests/support/time_zone.h"

namespace {

namespace ew = testsupport::edas;
using hestor::HestorStatus;

std::string I16(int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string F32(float v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}
std::string F64(double v) {
  std::string s(8, '\0');
  std::memcpy(s.data(), &v, 8);
  return s;
}

constexpr uint64_t kFirst = 4096;
constexpr uint64_t kSecond = 65536;

// Two channels of 1000 values, int16 k and real k / 2, in organisation `org`.
std::string TwoChannels(const std::string& org, uint64_t second = kSecond) {
  return ew::Lines({"typ:int16", "org:" + org, "frames:1000", "clk:0.001", "endheader"}) +
         ew::ChannelSection({"name:Kraft", "channel_offset:" + std::to_string(kFirst)}) +
         ew::ChannelSection({"name:Druck", "typ:real", "channel_offset:" + std::to_string(second)});
}

// The file offsets the reading rule of interleaved organisation `org` (2 and
// above) visits for a channel: value k alone, or a run of org records when
// k + 1 is a multiple of org.
std::vector<uint64_t> RulePositions(uint64_t start, int values, int size, int recordSize, int org) {
  std::vector<uint64_t> at;
  for (int k = 0; k < values; ++k) {
    at.push_back(start);
    start += (k == 0 || (k + 1) % org != 0) ? size : recordSize * org;
  }
  return at;
}

// The expected interleaved data space: records of int16 k and float k / 2.
std::string Interleaved(int values) {
  std::string s;
  for (int k = 0; k < values; ++k) s += I16(k) + F32(k / 2.0f);
  return s;
}

class EdasTest : public ::testing::Test {
 protected:
  HestorStatus Read(const ew::EdasFile& file, const std::string& name = "test.eda") {
    path_ = dir_.File(name);
    testsupport::WriteFileBytes(path_, ew::WriteEdasFile(file));
    return hestor::ParseHestorFile(path_, import_).status;
  }
  std::string Samples() const { return std::string(import_.samples.begin(), import_.samples.end()); }

  // The file just read, imported through the module: the host receives each
  // signal as read and streams the bytes of the reader's data space.
  void ExpectHostDelivers() {
    if (!host_) host_.emplace(smalltest::kHestorModule);
    const testsupport::ImportResult r = host_->Import("Hestor.FileImport", path_);
    EXPECT_TRUE(r.boxes.empty());
    EXPECT_EQ(host::NumberOf(r.file, "FileDate"), import_.fileDate);
    EXPECT_EQ(host::NumberOf(r.file, "BlockSize"), import_.blockSize);
    EXPECT_EQ(host::NumberOf(r.file, "DataSize"), import_.dataSize);
    EXPECT_EQ(host::NumberOf(r.file, "IsValid"), 1);
    EXPECT_EQ(host::TextOf(r.file, "Name"), "");
    EXPECT_TRUE(r.comments.empty());
    ASSERT_EQ(r.signals.size(), import_.signals.Count());
    for (size_t i = 0; i < r.signals.size(); ++i) {
      smalltest::ExpectDelivered(r.signals[i], import_.signals[i], hestor::BitSize(import_.signals[i]));
      if (import_.signals[i].NoOfValues == 0) continue;
      EXPECT_EQ(host_->Samples(std::to_string(i + 1)).bytes,
                smalltest::ExpectedSamples(r.signals[i], import_.blockSize, Samples()))
          << i;
    }
  }

  testsupport::TempDir dir_;
  std::optional<smalltest::ModuleHost> host_;
  std::string path_;
  hestor::HestorImport import_;
};

TEST_F(EdasTest, InterleavedOrganisationOneIsOneRead) {
  ew::EdasFile f;
  f.header = TwoChannels("block1");
  f.data = {{kFirst, Interleaved(1000)}};
  ASSERT_EQ(Read(f), HestorStatus::Ok);
  ASSERT_EQ(import_.signals.Count(), 2u);
  const auto& a = import_.signals[0];
  const auto& b = import_.signals[1];
  EXPECT_EQ(a.DTyp, 7);
  EXPECT_EQ(b.DTyp, 11);
  EXPECT_EQ(a.BlockOffset, 0);
  EXPECT_EQ(b.BlockOffset, 2);
  EXPECT_EQ(a.Demux, 6);
  EXPECT_EQ(b.Demux, 6);
  EXPECT_EQ(a.ValuesPerBlock, 1);
  EXPECT_EQ(a.NoOfValues, 1000);
  EXPECT_DOUBLE_EQ(a.XFactor, 0.001);
  EXPECT_DOUBLE_EQ(a.XMax, 0.999);
  EXPECT_EQ(import_.blockSize, 6);
  EXPECT_EQ(import_.dataSize, 6000u);
  EXPECT_FALSE(import_.streaming);
  EXPECT_EQ(Samples(), Interleaved(1000));
  EXPECT_EQ(import_.path, path_);
  ExpectHostDelivers();
}

TEST_F(EdasTest, InterleavedOrganisationsZeroAndTwo) {
  std::string first, second;
  for (int k = 0; k < 1000; ++k) {
    first += I16(k);
    second += F32(k / 2.0f);
  }
  ew::EdasFile org0;
  org0.header = TwoChannels("linear");
  org0.data = {{kFirst, first}, {kSecond, second}};
  ASSERT_EQ(Read(org0), HestorStatus::Ok);
  EXPECT_EQ(Samples(), Interleaved(1000));
  ExpectHostDelivers();

  ew::EdasFile org2;
  org2.header = TwoChannels("block2");
  const auto at0 = RulePositions(kFirst, 1000, 2, 6, 2);
  const auto at1 = RulePositions(kSecond, 1000, 4, 6, 2);
  for (int k = 0; k < 1000; ++k) org2.data.push_back({at0[k], I16(k)});
  for (int k = 0; k < 1000; ++k) org2.data.push_back({at1[k], F32(k / 2.0f)});
  ASSERT_EQ(Read(org2), HestorStatus::Ok);
  EXPECT_EQ(Samples(), Interleaved(1000));
  ExpectHostDelivers();
}

TEST_F(EdasTest, BlockFormConvertsToFloats) {
  const std::string header = ew::Lines({"typ:int16", "frames:1000", "endheader"}) +
                             ew::ChannelSection({"name:a", "channel_offset:" + std::to_string(kFirst)}) +
                             ew::ChannelSection({"name:b", "typ:real64", "frames:1200",
                                                 "channel_offset:" + std::to_string(kSecond)});
  std::string expected(10240, '\0');
  for (int k = 0; k < 1000; ++k) expected.replace(4 * k, 4, F32(static_cast<float>(k - 500)));
  for (int k = 0; k < 1200; ++k) expected.replace(4096 + 4 * k, 4, F32(static_cast<float>(k * 0.25)));
  for (const int org : {0, 2}) {
    SCOPED_TRACE(org);
    ew::EdasFile f;
    f.header = (org == 0 ? ew::Lines({"org:linear"}) : ew::Lines({"org:block2"})) + header;
    // After value k (k > 0, a multiple of org) the rule skips (channels - 1) * 2 * org bytes.
    for (int c = 0; c < 2; ++c) {
      uint64_t at = c == 0 ? kFirst : kSecond;
      const int size = c == 0 ? 2 : 8;
      for (int k = 0; k < (c == 0 ? 1000 : 1200); ++k) {
        f.data.push_back({at, c == 0 ? I16(k - 500) : F64(k * 0.25)});
        at += size;
        if (org != 0 && k != 0 && k % org == 0) at += 1 * 2 * org;
      }
    }
    ASSERT_EQ(Read(f), HestorStatus::Ok);
    ASSERT_EQ(import_.signals.Count(), 2u);
    EXPECT_EQ(import_.signals[0].Block0, 0);
    EXPECT_EQ(import_.signals[1].Block0, 2);
    for (const auto& s : import_.signals) {
      EXPECT_EQ(s.DTyp, 11);
      EXPECT_EQ(s.Demux, 4);
      EXPECT_EQ(s.ValuesPerBlock, 512);
      EXPECT_EQ(s.BlockOffset, 0);
    }
    EXPECT_EQ(import_.blockSize, 2048);
    EXPECT_EQ(import_.dataSize, 10240u);
    EXPECT_EQ(Samples(), expected);
    ExpectHostDelivers();
  }
}

// A digital channel holds 16-bit words of states: the host shows each word
// whole (BitSize 3840: 16 bits from bit 0), in the interleaved form as a bit
// field and in the block form as the float of the word.
TEST_F(EdasTest, DigitalChannelsDeliverWholeWords) {
  const int words[] = {0, 65535, 15855, 1, 32768};
  std::string bits;
  for (const int w : words) bits += I16(w);
  struct Case {
    const char* what;
    std::string header;
    int32_t dtyp, bitSize;
  } cases[] = {
      {"interleaved", ew::Lines({"typ:digital", "org:block1", "frames:5", "endheader"}) +
                          ew::ChannelSection({"name:Bits", "channel_offset:4096"}),
       18, 3840},
      {"block form", ew::Lines({"typ:digital", "frames:5", "endheader"}) +
                         ew::ChannelSection({"name:Bits", "channel_offset:4096"}) +
                         ew::ChannelSection({"name:Other", "typ:int16", "frames:2", "channel_offset:8192"}),
       11, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ew::EdasFile f;
    f.header = c.header;
    f.data = {{4096, bits}, {8192, I16(7) + I16(8)}};
    ASSERT_EQ(Read(f), HestorStatus::Ok);
    EXPECT_EQ(import_.signals[0].DTyp, c.dtyp);
    EXPECT_EQ(hestor::BitSize(import_.signals[0]), c.bitSize);
    ExpectHostDelivers();
    const testsupport::SampleSet samples = host_->Samples("Bits");
    ASSERT_EQ(samples.values.size(), std::size(words));
    for (size_t k = 0; k < std::size(words); ++k) EXPECT_EQ(samples.values[k], words[k]) << k;
  }
}

TEST_F(EdasTest, KeywordsAndTypes) {
  testsupport::ScopedTimeZone utc("UTC0");
  const char* types[] = {"int16", "int32", "int8", "uint16", "uint32", "uint8", "real", "real64", "digital"};
  const int dtyps[] = {7, 9, 5, 6, 8, 4, 11, 13, 18};
  const int sizes[] = {2, 4, 1, 2, 4, 1, 4, 8, 2};
  const std::string longName = "1" + std::string(39, 'n');
  for (const std::string eol : {"\n", "\r\n"}) {
    SCOPED_TRACE(eol.size());
    std::string header = ew::Lines({"typ:uint8", "frames:4", "clk:0.5", "org:linear", "starttime:1/2/99 10:20:30",
                                    "ignored:x", "endheader"}, eol);
    header += ew::ChannelSection({"name:" + longName, "unit:\xB0" "C", "$Pol.:A", "$Pol.:B", "$Pol.:C",
                                  "ampli:3", "offset:4", "Minscale:-10", "Maxscale:10", "channel_offset:4096"}, eol);
    header += ew::ChannelSection({"name:Defaults", "channel_offset:4096", "ampli:3", "offset:4"}, eol);
    header += ew::ChannelSection({"name:Own", "clk:0.25", "frames:4", "typ:int8", "channel_offset:4096"}, eol);
    header += ew::ChannelSection({"name:Unknown", "typ:float", "channel_offset:4096"}, eol);
    for (int t = 0; t < 9; ++t)
      header += ew::ChannelSection({std::string("name:") + types[t], std::string("typ:") + types[t], "channel_offset:4096"}, eol);
    ew::EdasFile f;
    f.header = header;
    f.data = {{4096, std::string(4096, '\x11')}};
    ASSERT_EQ(Read(f), HestorStatus::Ok);
    EXPECT_EQ(import_.fileDate, 917864430);  // 1 February 1999, 10:20:30
    ASSERT_EQ(import_.signals.Count(), 13u);  // "Unknown" keeps the header's type
    const auto& first = import_.signals[0];
    EXPECT_EQ(first.Label.str(), longName + "\r\nA\r\nB\r\nC");
    EXPECT_EQ(first.Name.str(), "S1" + std::string(29, 'n'));
    EXPECT_EQ(first.YUnit.str(), "\xF8" "C");  // the OEM degree sign
    EXPECT_DOUBLE_EQ(first.YMin, -10);
    EXPECT_DOUBLE_EQ(first.YMax, 10);
    EXPECT_DOUBLE_EQ(first.YFactor, 20.0 / 65536);
    EXPECT_DOUBLE_EQ(first.YOffset, 0);
    EXPECT_EQ(first.DTyp, 4);
    EXPECT_EQ(first.NoOfValues, 4);
    EXPECT_DOUBLE_EQ(first.XFactor, 0.5);
    EXPECT_DOUBLE_EQ(first.XMax, 1.5);
    EXPECT_EQ(first.XUnit.str(), "s");
    EXPECT_EQ(hestor::BitSize(first), 0);
    const auto& defaults = import_.signals[1];
    EXPECT_DOUBLE_EQ(defaults.YFactor, 3);
    EXPECT_DOUBLE_EQ(defaults.YOffset, 4);
    const auto& own = import_.signals[2];
    EXPECT_EQ(own.DTyp, 5);
    EXPECT_DOUBLE_EQ(own.XFactor, 0.25);
    EXPECT_EQ(import_.signals[3].DTyp, 4);
    for (int t = 0; t < 9; ++t) {
      const auto& s = import_.signals[4 + t];
      EXPECT_EQ(s.number, 5 + t);
      EXPECT_EQ(s.DTyp, dtyps[t]) << types[t];
      EXPECT_EQ(s.valueSize, sizes[t]) << types[t];
    }
    ExpectHostDelivers();
  }
}

TEST_F(EdasTest, StartTimeForms) {
  struct Case {
    const char* value;
    const char* tz;
    int64_t expected;
  } cases[] = {
      {"1/2/99 10:20:30", "UTC0", 917864430},
      {"1.2.2004 10:20:30", "UTC0", 1075630830},
      {"1.2.2004 10:20:30", "CET-1CEST,M3.5.0,M10.5.0/3", 1075630830 - 3600},
      {"1.7.2004 10:00:00", "CET-1CEST,M3.5.0,M10.5.0/3", 1088676000 - 7200},  // summer time
      {"1.2.2004", "UTC0", 0},
      {"1.13.2004 10:00:00", "UTC0", 0},
  };
  for (const Case& c : cases) {
    testsupport::ScopedTimeZone tz(c.tz);
    ew::EdasFile f;
    f.header = ew::Lines({std::string("starttime:") + c.value, "typ:uint8", "frames:1", "endheader"}) +
               ew::ChannelSection({"name:x", "channel_offset:32"});
    ASSERT_EQ(Read(f), HestorStatus::Ok) << c.value;
    EXPECT_EQ(import_.fileDate, c.expected) << c.value << " " << c.tz;
  }
}

TEST_F(EdasTest, LongLinesAreCutNotSplit) {
  ew::EdasFile f;
  f.header = ew::Lines({"typ:uint8", "frames:2", "endheader", "beginchannel",
                        "name:" + std::string(300, 'x') + "endchannel", "channel_offset:32", "endchannel"});
  ASSERT_EQ(Read(f), HestorStatus::Ok);
  ASSERT_EQ(import_.signals.Count(), 1u);
  EXPECT_EQ(import_.signals[0].Label.size(), 254u - 5);
  EXPECT_EQ(import_.signals[0].channelOffset, 32);
}

TEST_F(EdasTest, LargeInterleavedDataAreStreamed) {
  // One uint8 channel at offset 1000: from 256,000,001 bytes on the data stay in the file.
  for (const uint64_t frames : {uint64_t{256000000}, uint64_t{256000001}}) {
    SCOPED_TRACE(frames);
    ew::EdasFile f;
    f.header = ew::Lines({"typ:uint8", "org:block1", "frames:" + std::to_string(frames), "endheader"}) +
               ew::ChannelSection({"name:big", "channel_offset:1000"});
    f.data = {{1000, "\x01\x02\x03"}};
    const std::string path = dir_.File("big.eda");
    testsupport::WriteFileBytes(path, ew::WriteEdasFile(f));
    std::filesystem::resize_file(path, 1000 + frames);  // sparse
    ASSERT_EQ(hestor::ParseHestorFile(path, import_).status, HestorStatus::Ok);
    EXPECT_EQ(import_.dataSize, frames);
    if (frames == 256000000) {
      EXPECT_FALSE(import_.streaming);
      ASSERT_EQ(import_.samples.size(), frames);
      EXPECT_EQ(import_.samples[2], 3);
      continue;
    }
    EXPECT_TRUE(import_.streaming);
    EXPECT_TRUE(import_.samples.empty());
    EXPECT_EQ(import_.dataOffset, 1000u);
    smallimports::StreamedData data(path, import_.dataOffset, import_.dataSize);
    ASSERT_TRUE(data.Open());
    uint8_t buffer[8];
    auto r = data.Read(0, buffer, 3);
    EXPECT_EQ(r.copied, 3u);
    EXPECT_EQ(std::string(buffer, buffer + 3), "\x01\x02\x03");
    r = data.Read(frames - 2, buffer, 8);  // more than the data size holds
    EXPECT_EQ(r.copied, 2u);
    EXPECT_EQ(data.Read(frames, buffer, 8).copied, 0u);
  }
}

TEST_F(EdasTest, ChannelsWithoutValues) {
  for (const char* org : {"linear", "block1", "block2"}) {
    ew::EdasFile f;
    f.header = ew::Lines({"typ:int16", std::string("org:") + org, "frames:0", "endheader"}) +
               ew::ChannelSection({"name:a", "channel_offset:32"}) + ew::ChannelSection({"name:b", "channel_offset:32"});
    ASSERT_EQ(Read(f), HestorStatus::Ok) << org;
    EXPECT_EQ(import_.signals.Count(), 2u);
    EXPECT_EQ(import_.dataSize, 0u);
  }
}

TEST_F(EdasTest, MemoryReadsAreCut) {
  ew::EdasFile f;
  f.header = TwoChannels("block1");
  f.data = {{kFirst, Interleaved(1000)}};
  ASSERT_EQ(Read(f), HestorStatus::Ok);
  uint8_t buffer[16];
  EXPECT_EQ(hestor::ReadHestorMemory(import_, 5990, buffer, 16).copied, 10u);
  EXPECT_EQ(hestor::ReadHestorMemory(import_, 6000, buffer, 16).copied, 0u);
}

TEST_F(EdasTest, Validity) {
  struct Case {
    const char* magic;
    uint32_t offset;
    size_t length;
    bool valid;
  } cases[] = {
      {"edas", 0, 64, false}, {"edas", 32, 64, true}, {"PDAI", 40, 64, true},
      {"pdai", 100, 128, true},  {"EDAX", 32, 64, false}, {"EDAS", 32, 31, false},
  };
  // The module's IsValid answers the same.
  smalltest::ModuleHost host(smalltest::kHestorModule);
  host::Session file("Hestor.FileImport");
  for (const Case& c : cases) {
    ew::EdasFile f;
    f.magic = c.magic;
    f.headerOffset = c.offset;
    f.header = "x";
    std::string bytes = ew::WriteEdasFile(f);
    bytes.resize(c.length, ' ');
    testsupport::WriteFileBytes(dir_.File("v.eda"), bytes);
    EXPECT_EQ(hestor::IsHestorFile(dir_.File("v.eda")), c.valid) << c.magic << " " << c.offset << " " << c.length;
    EXPECT_EQ(file.IsValid(dir_.File("v.eda")), c.valid ? 1 : 0) << c.magic << " " << c.offset << " " << c.length;
  }
  EXPECT_FALSE(hestor::IsHestorFile(dir_.File("absent.eda")));
  EXPECT_EQ(file.IsValid(dir_.File("absent.eda")), 0);
}

TEST_F(EdasTest, Failures) {
  const std::string head = ew::Lines({"typ:int16", "org:linear", "frames:10", "endheader"});
  struct Case {
    const char* what;
    std::string header;
    HestorStatus status;
    std::string box;  // expected file-error box, if any
  } cases[] = {
      {"no endheader", ew::Lines({"typ:int16", "frames:10"}) + ew::ChannelSection({"name:x"}), HestorStatus::NoChannels, ""},
      {"no channel", head, HestorStatus::NoChannels, ""},
      {"no known type", ew::Lines({"frames:10", "endheader"}) + ew::ChannelSection({"name:x"}), HestorStatus::NoChannels, ""},
      {"offset past the end", head + ew::ChannelSection({"name:x", "channel_offset:5000"}), HestorStatus::ReadFailed,
       "Dateifehler in Funktion fread( 20 ) bei 5000"},
      // The position is where the reading of the text stopped: the end of this file.
      {"negative offset", head + ew::ChannelSection({"name:x", "channel_offset:-5"}), HestorStatus::SeekFailed,
       "Dateifehler in Funktion fseek( -5 ) bei 210"},
      {"frames 10^9", ew::Lines({"typ:int16", "org:linear", "frames:1000000000", "endheader"}) +
                          ew::ChannelSection({"name:x", "channel_offset:40"}),
       HestorStatus::ReadFailed, "Dateifehler in Funktion fread( 2000000000 ) bei 40"},
      // Data that would stay in the file must lie in it all the same; nothing is read or allocated.
      {"streamed frames 10^9", ew::Lines({"typ:int16", "org:block1", "frames:1000000000", "endheader"}) +
                                   ew::ChannelSection({"name:x", "channel_offset:40"}),
       HestorStatus::ReadFailed, "Dateifehler in Funktion fread( 2000000000 ) bei 40"},
      {"block form past the end", head + ew::ChannelSection({"name:x"}) +
                                      ew::ChannelSection({"name:y", "frames:11", "channel_offset:200"}),
       HestorStatus::ReadFailed, "Dateifehler in Funktion fread( 22 ) bei 200"},
  };
  for (const Case& c : cases) {
    ew::EdasFile f;
    f.header = c.header;
    f.data = {{200, std::string(10, 'd')}};
    winport::ui::ScriptedAnswers script;
    if (!c.box.empty()) {
      winport::ui::ExpectedDialog box;
      box.text = c.box;
      box.caption = "Fehler bei Import";
      box.type = MB_OK;
      script.Box(box);
    }
    EXPECT_EQ(Read(f), c.status) << c.what;
    EXPECT_TRUE(script.Ok()) << c.what << ": " << script.Report();
    EXPECT_TRUE(import_.samples.empty()) << c.what;
  }
  // Through the module: the same boxes, then E_FAIL.
  smalltest::ModuleHost host(smalltest::kHestorModule);
  for (const Case& c : cases) {
    ew::EdasFile f;
    f.header = c.header;
    f.data = {{200, std::string(10, 'd')}};
    path_ = dir_.File("test.eda");
    testsupport::WriteFileBytes(path_, ew::WriteEdasFile(f));
    const std::optional<host::Failure> failure = host.TryImport("Hestor.FileImport", path_);
    ASSERT_TRUE(failure) << c.what;
    EXPECT_EQ(failure->hr, E_FAIL) << c.what;
    const auto boxes = host.Boxes();
    ASSERT_EQ(boxes.size(), c.box.empty() ? 0u : 1u) << c.what;
    if (!c.box.empty()) {
      EXPECT_EQ(boxes[0].text, c.box) << c.what;
    }
  }
  // A preamble shorter than 32 bytes.
  testsupport::WriteFileBytes(dir_.File("short.eda"), "EDAS");
  EXPECT_EQ(hestor::ParseHestorFile(dir_.File("short.eda"), import_).status, HestorStatus::ShortPreamble);
}

// One uint8 channel at offset 1000 (D) of `frames` values: from 256,000,001
// bytes on the object reads them from the file at every Read (file mode).
class HestorObjectTest : public EdasTest {
 protected:
  HestorObjectTest() : registered_(smalltest::kHestorModule) {}
  std::string WriteBig(uint64_t frames) {
    ew::EdasFile f;
    f.header = ew::Lines({"typ:uint8", "org:block1", "frames:" + std::to_string(frames), "endheader"}) +
               ew::ChannelSection({"name:big", "channel_offset:1000"});
    f.data = {{1000, "\x01\x02\x03"}, {1000 + frames - 2, "\x07\x08"}};
    const std::string path = dir_.File("big.eda");
    testsupport::WriteFileBytes(path, ew::WriteEdasFile(f));  // sparse between
    return path;
  }

  smalltest::ModuleHost registered_;
};

TEST_F(HestorObjectTest, LoadedBelowTheLimitAndStreamedFromIt) {
  for (const uint64_t frames : {uint64_t{256000000}, uint64_t{256000001}}) {
    SCOPED_TRACE(frames);
    host::Object file = testsupport::Create("Hestor.FileImport");
    file.Call("ImportFile", {WriteBig(frames), std::string()});
    EXPECT_EQ(static_cast<uint32_t>(smalltest::Long(file, "DataSize")), frames);
    EXPECT_EQ(smalltest::Long(file, "BlockSize"), 1);
    file.Call("Open");
    EXPECT_EQ(smalltest::ReadBytes(file, 3), "\x01\x02\x03");
    smalltest::Seek(file, 2, 2);
    EXPECT_EQ(smalltest::ReadBytes(file, 4), "\x07\x08\xEE\xEE");
    file.Call("Close");
  }
}

TEST_F(HestorObjectTest, FileModeReadsFromD) {
  const uint64_t frames = 256000001;
  const std::string path = WriteBig(frames);
  host::Object file = testsupport::Create("Hestor.FileImport");
  file.Call("ImportFile", {path, std::string()});
  // Close without Open leaves the count at 0: the next Open opens the file.
  file.Call("Close");
  file.Call("Close");
  file.Call("Open");
  EXPECT_EQ(smalltest::ReadBytes(file, 3), "\x01\x02\x03");  // before any Seek: from D
  EXPECT_EQ(smalltest::ReadBytes(file, 2), std::string(2, '\0'));
  struct Step {
    const char* what;
    int64_t position, origin;
    uint32_t bytes;
    std::string data;
  } steps[] = {
      {"origin 0", 0, 0, 2, "\x01\x02"},
      {"origin 1", 0, 1, 1, "\x03"},
      {"back", -2, 1, 1, "\x02"},
      {"origin 3 keeps", 9, 3, 1, "\x03"},
      {"origin 2", 2, 2, 3, "\x07\x08\xEE"},  // more than the data size holds
      {"at the end", 0, 2, 2, "\xEE\xEE"},
      {"negative", -1, 0, 2, "\xEE\xEE"},
      {"beyond", static_cast<int64_t>(frames) + 5, 0, 2, "\xEE\xEE"},
  };
  for (const Step& s : steps) {
    smalltest::Seek(file, s.position, s.origin);
    EXPECT_EQ(smalltest::ReadBytes(file, s.bytes), s.data) << s.what;
  }
  // Opens nest: the file stays open until the last Close.
  file.Call("Open");
  file.Call("Close");
  EXPECT_EQ(smalltest::ReadBytes(file, 2), "\x01\x02");
  file.Call("Close");
  // Closed: there is no file to read from, so the read fails.
  std::string buffer(2, '\xEE');
  auto* pointer = reinterpret_cast<uint8_t*>(buffer.data());
  EXPECT_THROW(file.Call("Read", {host::BufferRef{&pointer}, int64_t{2}}), host::CallError);
  EXPECT_EQ(buffer, "\xEE\xEE");
  // A file cut after the import: a read of what it lacks fails rather than
  // delivering what the file no longer holds; what it still holds reads.
  std::filesystem::resize_file(path, 1002);
  file.Call("Open");
  EXPECT_THROW(file.Call("Read", {host::BufferRef{&pointer}, int64_t{3}}), host::CallError);
  EXPECT_EQ(buffer, "\xEE\xEE");
  EXPECT_EQ(smalltest::ReadBytes(file, 2), "\x01\x02");
  file.Call("Close");
}

TEST_F(HestorObjectTest, ReimportAfterReleaseFile) {
  ew::EdasFile f;
  f.header = TwoChannels("block1");
  f.data = {{kFirst, Interleaved(1000)}};
  const std::string path = dir_.File("two.eda");
  testsupport::WriteFileBytes(path, ew::WriteEdasFile(f));
  host::Object file = testsupport::Create("Hestor.FileImport");
  file.Call("ImportFile", {path, std::string()});
  host::Object signal = file.GetObject("Signal", {int64_t{2}});
  EXPECT_EQ(signal.Get("Name"), host::Value(std::string("Druck")));
  file.Call("ReleaseFile");
  EXPECT_EQ(smalltest::Long(file, "nSignals"), 0);
  EXPECT_TRUE(smalltest::IsNull(signal.Get("Name")));
  EXPECT_EQ(smalltest::Long(signal, "Demux"), 0);
  file.Call("ImportFile", {path, std::string()});
  EXPECT_EQ(smalltest::Long(file, "nSignals"), 2);
  EXPECT_EQ(smalltest::Long(file, "DataSize"), 6000);
  EXPECT_TRUE(smalltest::IsNull(signal.Get("Name")));  // it belonged to the import released
  EXPECT_EQ(file.GetObject("Signal", {int64_t{2}}).Get("Name"), host::Value(std::string("Druck")));
  file.Call("Open");
  smalltest::Seek(file, 6, 0);
  EXPECT_EQ(smalltest::ReadBytes(file, 6), Interleaved(2).substr(6));
  file.Call("Close");
}

}  // namespace

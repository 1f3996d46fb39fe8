// The RPC III reader: the corpus files against their oracles, generated files
// for every group layout, the header keywords and each refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "smallimports/jorvel/rpc_reader.h"
#include "tests/smallimports/module_host.h"
#include "tests/support/corpus.h"
#include "tests/support/rpc_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/time_zone.h"

namespace {

namespace rw = testsupport::rpc;
using jorvel::RpcStatus;

// Fixes the time zone for the test and puts the old one back.

// The values of one channel, read from the data space as the host reads it.
std::vector<int16_t> ChannelValues(const jorvel::RpcImport& im, size_t channel) {
  std::vector<uint8_t> space(im.dataSize);
  const smallimports::DataSpaceRead r = jorvel::ReadRpcDataSpace(im, 0, space.data(), im.dataSize);
  EXPECT_EQ(r.copied, im.dataSize);
  const jorvel::JorvelSignal& s = im.signals[channel];
  std::vector<int16_t> values;
  for (int32_t i = 0; i < s.NoOfValues; ++i) {
    const size_t at = static_cast<size_t>(i) * s.Demux + s.BlockOffset;
    values.push_back(static_cast<int16_t>(space[at] | (space[at + 1] << 8)));
  }
  return values;
}

// The values of a signal as the host streams them through the module.
std::vector<int16_t> HostValues(smalltest::ModuleHost& host, size_t channel) {
  const std::string bytes = host.Samples(std::to_string(channel + 1)).bytes;
  std::vector<int16_t> values;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    values.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  return values;
}

std::vector<int16_t> Ramp(int from, size_t count, int step = 1) {
  std::vector<int16_t> v;
  for (size_t i = 0; i < count; ++i) v.push_back(static_cast<int16_t>(from + static_cast<int>(i) * step));
  return v;
}

class RpcTest : public ::testing::Test {
 protected:
  jorvel::RpcResult ReadBytes(const std::string& bytes, const std::string& name = "test.rsp") {
    const std::string path = dir_.File(name);
    testsupport::WriteFileBytes(path, bytes);
    return jorvel::ParseRpcFile(path, import_);
  }
  jorvel::RpcResult Read(const rw::RpcSpec& spec) { return ReadBytes(rw::WriteRpcFile(spec)); }

  static rw::RpcSpec TwoChannels(int64_t p, int64_t g, int64_t f) {
    rw::RpcSpec spec;
    spec.pointsPerFrame = p;
    spec.pointsPerGroup = g;
    spec.frames = f;
    const size_t v = static_cast<size_t>(p * f);
    spec.channels = {{"Force X", "kN", "0.5", Ramp(1, v)}, {"Force Z", "mm", "2.0E-03", Ramp(-1000, v, -3)}};
    return spec;
  }

  testsupport::TempDir dir_;
  jorvel::RpcImport import_;
};

TEST_F(RpcTest, CorpusFilesMatchTheirOracles) {
  SKIP_WITHOUT_CORPUS();
  testsupport::ScopedTimeZone utc("UTC0");
  smalltest::ModuleHost host(smalltest::kJorvelModule);
  for (const char* file : {"rpc/gen_rpc_groups.rsp", "rpc/ncode_belgium_road.rsp", "rpc/ncode_test1.rsp"}) {
    SCOPED_TRACE(file);
    const nlohmann::json oracle = testsupport::LoadOracle(file);
    const jorvel::RpcResult result = jorvel::ParseRpcFile(testsupport::CorpusFile(file), import_);
    ASSERT_EQ(result.status, RpcStatus::Ok) << jorvel::RpcResultText(result);
    const auto& layout = oracle["layout"];
    const uint64_t channels = layout["channels"];
    ASSERT_EQ(import_.signals.Count(), channels);
    EXPECT_EQ(import_.layout.pointsPerFrame, layout["pts_per_frame"].get<uint64_t>());
    EXPECT_EQ(import_.layout.pointsPerGroup, layout["pts_per_group"].get<uint64_t>());
    EXPECT_EQ(import_.layout.frames, layout["frames"].get<uint64_t>());
    EXPECT_EQ(import_.layout.values, layout["values_per_channel"].get<uint64_t>());
    EXPECT_EQ(import_.layout.groups, layout["groups"].get<uint64_t>());
    EXPECT_EQ(import_.layout.lastGroupValues, layout["last_group_values"].get<uint64_t>());
    EXPECT_EQ(import_.layout.dataOffset, layout["data_offset"].get<uint64_t>());
    EXPECT_EQ(import_.bigEndian, layout["big_endian"].get<bool>());
    EXPECT_EQ(import_.blockSize, static_cast<int32_t>(channels * 2));
    EXPECT_EQ(import_.dataSize, channels * 2 * layout["values_per_channel"].get<uint64_t>());
    const std::string date = layout["date"];
    // Only the "dd.mm.yyyy hh:mm:ss" form gives a date; nCode's "hh:mm:ss dd-MON-yy" gives none.
    EXPECT_EQ(import_.fileDate, date == "24.12.2003 10:00:00" ? 1072260000 : 0);
    const double deltaT = std::strtod(layout["delta_t"].get<std::string>().c_str(), nullptr);
    for (size_t k = 0; k < channels; ++k) {
      const auto& expected = oracle["channels"][k];
      const jorvel::JorvelSignal& s = import_.signals[k];
      SCOPED_TRACE(expected["desc"].get<std::string>());
      EXPECT_EQ(s.Label.str(), expected["desc"].get<std::string>());
      std::string name = expected["desc"];
      smallimports::MakeIdentifier(name, smallimports::IdentifierRule::Jorvel, 254);
      EXPECT_EQ(s.Name.str(), name);
      EXPECT_EQ(s.YUnit.str(), expected["units"].get<std::string>());
      EXPECT_DOUBLE_EQ(s.YFactor, expected["scale"].get<double>());
      EXPECT_DOUBLE_EQ(s.XFactor, deltaT);
      EXPECT_EQ(s.XUnit.str(), "s");
      EXPECT_EQ(s.DTyp, 7);
      EXPECT_EQ(s.BlockOffset, static_cast<int32_t>(k * 2));
      EXPECT_EQ(s.Demux, static_cast<int32_t>(channels * 2));
      EXPECT_EQ(s.ValuesPerBlock, 1);

      const std::vector<int16_t> raw = ChannelValues(import_, k);
      const auto& summary = expected["raw"];
      ASSERT_EQ(raw.size(), summary["count"].get<size_t>());
      for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(raw[i], summary["first"][i].get<int>()) << i;
        EXPECT_EQ(raw[raw.size() - 5 + i], summary["last"][i].get<int>()) << i;
      }
      EXPECT_EQ(*std::min_element(raw.begin(), raw.end()), summary["min"].get<int>());
      EXPECT_EQ(*std::max_element(raw.begin(), raw.end()), summary["max"].get<int>());
      const auto& phys = expected["phys"];
      EXPECT_NEAR(raw.front() * s.YFactor, phys["first"][0].get<double>(), 1e-9);
      EXPECT_NEAR(*std::min_element(raw.begin(), raw.end()) * s.YFactor, phys["min"].get<double>(), 1e-9);
      EXPECT_NEAR(*std::max_element(raw.begin(), raw.end()) * s.YFactor, phys["max"].get<double>(), 1e-9);
    }

    // The same file through the module: each signal as read, its samples and their physical values.
    const testsupport::ImportResult r = host.Import("Jorvel.FileImport", testsupport::CorpusFile(file));
    EXPECT_EQ(host::NumberOf(r.file, "FileDate"), import_.fileDate);
    EXPECT_EQ(host::NumberOf(r.file, "DataSize"), import_.dataSize);
    EXPECT_EQ(host::NumberOf(r.file, "BlockSize"), import_.blockSize);
    EXPECT_EQ(host::TextOf(r.file, "Name"), import_.name);
    EXPECT_TRUE(r.comments.empty());
    ASSERT_EQ(r.signals.size(), channels);
    for (size_t k = 0; k < channels; ++k) {
      smalltest::ExpectDelivered(r.signals[k], import_.signals[k]);
      const testsupport::SampleSet samples = host.Samples(std::to_string(k + 1));
      const std::vector<int16_t> raw = ChannelValues(import_, k);
      ASSERT_EQ(samples.bytes.size(), raw.size() * 2);
      ASSERT_EQ(samples.values.size(), raw.size());
      const auto& phys = oracle["channels"][k]["phys"];
      for (size_t i = 0; i < raw.size(); ++i) {
        const auto value = static_cast<int16_t>(static_cast<uint8_t>(samples.bytes[2 * i]) |
                                                (static_cast<uint8_t>(samples.bytes[2 * i + 1]) << 8));
        ASSERT_EQ(value, raw[i]) << k << " " << i;
      }
      EXPECT_NEAR(samples.values.front().value_or(-1e300), phys["first"][0].get<double>(), 1e-9);
      EXPECT_NEAR(samples.times.back().value_or(-1e300), static_cast<double>(raw.size() - 1) * deltaT, 1e-9);
    }
  }
}

TEST_F(RpcTest, TwoChannelsInThreeGroups) {
  // P 1024, G 1024, F 3: V 3072, D 3, data size 12288, block size 4.
  const rw::RpcSpec spec = TwoChannels(1024, 1024, 3);
  ASSERT_EQ(Read(spec).status, RpcStatus::Ok);
  EXPECT_EQ(import_.name, "test");
  EXPECT_EQ(import_.path, dir_.File("test.rsp"));
  EXPECT_EQ(import_.layout.values, 3072u);
  EXPECT_EQ(import_.layout.groups, 3u);
  EXPECT_EQ(import_.dataSize, 12288u);
  EXPECT_EQ(import_.blockSize, 4);
  ASSERT_EQ(import_.signals.Count(), 2u);
  const jorvel::JorvelSignal& z = import_.signals[1];
  EXPECT_EQ(z.number, 2);
  EXPECT_EQ(import_.signals[0].BlockOffset, 0);
  EXPECT_EQ(z.BlockOffset, 2);
  EXPECT_EQ(z.Label.str(), "Force Z");
  EXPECT_EQ(z.Name.str(), "Force_Z");
  EXPECT_EQ(z.YUnit.str(), "mm");
  EXPECT_DOUBLE_EQ(z.YFactor, 0.002);
  EXPECT_DOUBLE_EQ(z.XFactor, 0.001);
  EXPECT_EQ(z.NoOfValues, 3072);
  EXPECT_EQ(z.XMin, 0);
  EXPECT_EQ(ChannelValues(import_, 0), spec.channels[0].values);
  EXPECT_EQ(ChannelValues(import_, 1), spec.channels[1].values);
}

TEST_F(RpcTest, GroupLayouts) {
  struct Case {
    const char* what;
    int64_t p, g, f;
    bool big, padded;
    uint64_t groups, lastValues;
  } cases[] = {
      {"G a multiple of P", 4, 8, 3, false, true, 2, 4},
      {"big-endian", 4, 8, 3, true, true, 2, 4},
      {"G below P", 8, 4, 3, false, true, 6, 4},
      {"G no multiple of P", 4, 5, 3, false, true, 3, 2},
      {"unpadded last group", 4, 5, 3, false, false, 3, 2},
      {"unpadded, big-endian", 4, 6, 5, true, false, 4, 2},
      {"one group", 3, 100, 1, false, true, 1, 3},
  };
  smalltest::ModuleHost host(smalltest::kJorvelModule);
  for (const Case& c : cases) {
    rw::RpcSpec spec = TwoChannels(c.p, c.g, c.f);
    if (c.big) spec.format = "binary_ieee_big_end";
    spec.padLastGroup = c.padded;
    // The writer's byte order follows the exact keyword; write big-endian data, then name it in lower case.
    rw::RpcSpec written = spec;
    written.format = c.big ? "BINARY_IEEE_BIG_END" : spec.format;
    std::vector<rw::Record> records = rw::RpcRecords(spec);
    const jorvel::RpcResult result = ReadBytes(rw::RpcHeader(records) + rw::RpcData(written));
    ASSERT_EQ(result.status, RpcStatus::Ok) << c.what;
    EXPECT_EQ(import_.bigEndian, c.big) << c.what;
    EXPECT_EQ(import_.layout.groups, c.groups) << c.what;
    EXPECT_EQ(import_.layout.lastGroupValues, c.lastValues) << c.what;
    EXPECT_EQ(ChannelValues(import_, 0), spec.channels[0].values) << c.what;
    EXPECT_EQ(ChannelValues(import_, 1), spec.channels[1].values) << c.what;
    host.Import("Jorvel.FileImport", dir_.File("test.rsp"));
    EXPECT_EQ(HostValues(host, 0), spec.channels[0].values) << c.what;
    EXPECT_EQ(HostValues(host, 1), spec.channels[1].values) << c.what;
  }
}

// A file cut inside its samples: each channel takes the values the file
// holds whole (padding of the last group is no value), one box names the
// channels that got fewer, and the host never receives a value the file lacks.
TEST_F(RpcTest, CutFileGivesEachChannelTheValuesItHolds) {
  const rw::RpcSpec spec = TwoChannels(4, 8, 3);  // 12 values a channel, groups of 8 points, the last one padded
  const std::string bytes = rw::WriteRpcFile(spec);
  const size_t header = bytes.size() - rw::RpcData(spec).size();
  struct Case {
    const char* what;
    size_t dataBytes;
    int32_t first, second;  // values the channels keep
    std::string box;        // the lines after the first; empty: no box
  } cases[] = {
      {"in the second channel's third value", 16 + 5, 8, 2, "\nWeniger Werte als angegeben: Force_X, Force_Z"},
      {"in the first channel", 10, 5, 0,
       "\nWeniger Werte als angegeben: Force_X\nKeine Werte, ignoriert: Force_Z"},
      {"in the last group", 32 + 16 + 4, 12, 10, "\nWeniger Werte als angegeben: Force_Z"},
      {"in the last group's padding", 64 - 1, 12, 12, ""},
  };
  smalltest::ModuleHost host(smalltest::kJorvelModule);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(ReadBytes(bytes.substr(0, header + c.dataBytes)).status, RpcStatus::Ok);
    EXPECT_EQ(import_.signals[0].NoOfValues, c.first);
    EXPECT_EQ(import_.signals[1].NoOfValues, c.second);
    EXPECT_EQ(import_.signals[1].Ignore, c.second == 0 ? 1 : 0);
    EXPECT_EQ(import_.dataSize, static_cast<uint32_t>(4 * c.first));

    const testsupport::ImportResult r = host.Import("Jorvel.FileImport", dir_.File("test.rsp"));
    EXPECT_EQ(host::NumberOf(r.file, "DataSize"), 4 * c.first);
    for (size_t k = 0; k < 2; ++k) {
      const std::vector<int16_t>& all = spec.channels[k].values;
      const size_t n = static_cast<size_t>(k == 0 ? c.first : c.second);
      EXPECT_EQ(host::NumberOf(r.signals[k], "NoOfValues"), static_cast<double>(n));
      EXPECT_EQ(HostValues(host, k), std::vector<int16_t>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)));
    }
    if (c.box.empty()) {
      EXPECT_TRUE(r.boxes.empty());
      continue;
    }
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, "Jorvel");
    EXPECT_EQ(r.boxes[0].text, "Die Datei " + dir_.File("test.rsp") + " ist unvollständig." + c.box);
  }
}

TEST_F(RpcTest, HeaderKeywords) {
  rw::RpcSpec spec = TwoChannels(4, 8, 1);
  spec.channels[0].units = std::string(60, 'u');
  spec.channels[0].desc = "  1st  channel ";
  spec.deltaT.reset();
  spec.extraRecords = {{"UNITS.CHAN_3", "none"}, {"DESC.CHAN_0", "none"}, {"SCALE.CHAN_2x", "4"}};
  std::vector<rw::Record> records = rw::RpcRecords(spec);
  // A channel key before CHANNELS has no effect.
  records.insert(records.begin() + 2, {"DESC.CHAN_1", "early"});
  records[1].second = std::to_string((records.size() + 3) / 4);
  ASSERT_EQ(ReadBytes(rw::RpcHeader(records) + rw::RpcData(spec)).status, RpcStatus::Ok);
  const jorvel::JorvelSignal& first = import_.signals[0];
  EXPECT_EQ(first.YUnit.str(), std::string(39, 'u'));
  EXPECT_EQ(first.Label.str(), "  1st  channel");
  EXPECT_EQ(first.Name.str(), "S1st__channel");
  EXPECT_DOUBLE_EQ(first.XFactor, 1.0);  // no DELTA_T
  EXPECT_DOUBLE_EQ(import_.signals[1].YFactor, 4.0);
}

TEST_F(RpcTest, ChannelWithoutScaleKeepsRawValues) {
  rw::RpcSpec spec = TwoChannels(4, 8, 1);
  std::vector<rw::Record> records = rw::RpcRecords(spec);
  records.erase(std::remove_if(records.begin(), records.end(), [](const rw::Record& r) { return r.first == "SCALE.CHAN_1"; }),
                records.end());
  ASSERT_EQ(ReadBytes(rw::RpcHeader(records) + rw::RpcData(spec)).status, RpcStatus::Ok);
  EXPECT_DOUBLE_EQ(import_.signals[0].YFactor, 1.0);
}

TEST_F(RpcTest, Dates) {
  struct Case {
    const char* text;
    const char* tz;
    int64_t expected;
  } cases[] = {
      {"24.12.2003 10:00:00", "UTC0", 1072260000},
      {"24.12.2003 10:00:00", "CET-1CEST,M3.5.0,M10.5.0/3", 1072256400},
      {"24.6.2003 10:00:00", "CET-1CEST,M3.5.0,M10.5.0/3", 1056441600},  // summer time
      {"24.12.99 10:00:00", "UTC0", 946029600},
      {"24.12.2003  10:00:00", "UTC0", 1072260000},
      {"08:35:35 25-MAR-22", "UTC0", 0},
      {"24.12.2003", "UTC0", 0},
      {"", "UTC0", 0},
  };
  for (const Case& c : cases) {
    testsupport::ScopedTimeZone tz(c.tz);
    EXPECT_EQ(jorvel::ParseRpcDate(c.text), c.expected) << c.text << " " << c.tz;
  }
}

TEST_F(RpcTest, DataSpaceReadsAreCut) {
  ASSERT_EQ(Read(TwoChannels(4, 8, 3)).status, RpcStatus::Ok);
  ASSERT_EQ(import_.dataSize, 48u);
  uint8_t buffer[64];
  smallimports::DataSpaceRead r = jorvel::ReadRpcDataSpace(import_, 40, buffer, 64);
  EXPECT_EQ(r.copied, 8u);
  EXPECT_EQ(r.advance, 8u);
  r = jorvel::ReadRpcDataSpace(import_, 48, buffer, 4);
  EXPECT_EQ(r.copied, 0u);
  EXPECT_EQ(r.advance, 0u);
  // An odd start: the high byte of channel 1's first value, then channel 2's.
  r = jorvel::ReadRpcDataSpace(import_, 1, buffer, 3);
  ASSERT_EQ(r.copied, 3u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(static_cast<int16_t>(buffer[1] | (buffer[2] << 8)), -1000);
}

TEST_F(RpcTest, Refusals) {
  using Edit = std::function<void(std::vector<rw::Record>&)>;
  auto set = [](const char* key, std::string value) {
    return [key, value](std::vector<rw::Record>& r) {
      for (auto& rec : r)
        if (rec.first == key) rec.second = value;
    };
  };
  auto drop = [](const char* key) {
    return [key](std::vector<rw::Record>& r) {
      r.erase(std::remove_if(r.begin(), r.end(), [key](const rw::Record& x) { return x.first == key; }), r.end());
    };
  };
  struct Case {
    const char* what;
    Edit edit;
    RpcStatus status;
    std::optional<int64_t> headerBlocks = std::nullopt;
  } cases[] = {
      {"FORMAT not first", [](std::vector<rw::Record>& r) { std::swap(r[0], r[2]); }, RpcStatus::NotFormat},
      {"ascii", set("FORMAT", "ascii"), RpcStatus::AsciiFormat},
      {"FLOATING_POINT", set("DATA_TYPE", "FLOATING_POINT"), RpcStatus::FloatingPoint},
      {"no NUM_HEADER_BLOCKS second", [](std::vector<rw::Record>& r) { std::swap(r[1], r[2]); }, RpcStatus::NoHeaderBlocks},
      {"NUM_HEADER_BLOCKS 0", set("NUM_HEADER_BLOCKS", "0"), RpcStatus::BadHeaderBlocks},
      {"short header", set("NUM_HEADER_BLOCKS", "1000"), RpcStatus::ShortHeader},
      {"header of 10^18 blocks", set("NUM_HEADER_BLOCKS", "1000000000000000000"), RpcStatus::ShortHeader},
      {"PTS_PER_GROUP 0", set("PTS_PER_GROUP", "0"), RpcStatus::BadLayout},
      {"PTS_PER_FRAME absent", drop("PTS_PER_FRAME"), RpcStatus::BadLayout},
      {"FRAMES negative", set("FRAMES", "-3"), RpcStatus::BadLayout},
      {"CHANNELS 0", set("CHANNELS", "0"), RpcStatus::BadChannels},
      {"CHANNELS 10^9", set("CHANNELS", "1000000000"), RpcStatus::BadChannels},
      {"CHANNELS absent", drop("CHANNELS"), RpcStatus::BadChannels},
      {"data space of 8 GiB", [&](std::vector<rw::Record>& r) { set("FRAMES", "1073741824")(r); }, RpcStatus::DataSpaceTooLarge},
  };
  const rw::RpcSpec spec = TwoChannels(4, 8, 3);
  smalltest::ModuleHost host(smalltest::kJorvelModule);
  for (const Case& c : cases) {
    std::vector<rw::Record> records = rw::RpcRecords(spec);
    c.edit(records);
    const jorvel::RpcResult result = ReadBytes(rw::RpcHeader(records, c.headerBlocks) + rw::RpcData(spec));
    EXPECT_EQ(result.status, c.status) << c.what << ": " << jorvel::RpcResultText(result);
    EXPECT_EQ(import_.signals.Count(), 0u) << c.what;
    EXPECT_EQ(import_.dataSize, 0u) << c.what;
    // Through the module: E_FAIL and no box.
    const std::optional<host::Failure> failure = host.TryImport("Jorvel.FileImport", dir_.File("test.rsp"));
    ASSERT_TRUE(failure) << c.what;
    EXPECT_EQ(failure->hr, E_FAIL) << c.what;
    EXPECT_TRUE(host.Boxes().empty()) << c.what;
  }
  // A header that ends before its 4n records: the file stops inside them.
  const std::string bytes = rw::WriteRpcFile(spec);
  EXPECT_EQ(ReadBytes(bytes.substr(0, 300)).status, RpcStatus::ShortHeader);
  EXPECT_EQ(ReadBytes("").status, RpcStatus::NotFormat);
  EXPECT_EQ(jorvel::ParseRpcFile(dir_.File("absent.rsp"), import_).status, RpcStatus::OpenFailed);
}

}  // namespace

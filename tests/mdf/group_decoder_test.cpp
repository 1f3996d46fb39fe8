// The group decoder: every channel of a group decoded in one pass gives what
// DecodeValues gives channel by channel, in arrays, through a sink and from
// the file, on fixtures and on every corpus file.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <map>
#include <random>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "platform/win32/file.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_writer.h"
#include "tests/support/opened_mdf.h"
#include "tests/support/temp_dir.h"

using namespace mdf;
using namespace testsupport;

namespace {

using Opened = OpenedMdf;

CDataBlock& DataOf(const CDGBlock* dg) { return *dg->GetDataBlock(); }

std::vector<CCNBlock*> ChannelsOf(const CDGBlock* dg) {
  std::vector<CCNBlock*> out;
  for (CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext()) out.push_back(cn);
  return out;
}

// The group's records as they lie in the file (whole records only).
std::vector<uint8_t> RecordsOf(const std::string& path, const CDGBlock* dg) {
  const CDataBlock& data = DataOf(dg);
  const std::string bytes = ReadFileBytes(path);
  const uint64_t length = data.GetRecordLength();
  const uint64_t link = dg->GetDataLink();
  const uint64_t whole = link < bytes.size() && length ? (bytes.size() - link) / length : 0;
  const uint64_t n = std::min<uint64_t>(whole, data.GetNumberOfRecords());
  return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(link),
                              bytes.begin() + static_cast<ptrdiff_t>(link + n * length));
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) return false;
  return true;
}

// DecodeValues of one channel over a range, cut to what it decodes.
std::vector<double> PerChannel(CDataBlock& data, CCNBlock* cn, std::span<const uint8_t> records, uint32_t first,
                               uint32_t count, bool convert, uint32_t bufferFirst = 0) {
  std::vector<double> out(count);
  out.resize(data.DecodeValues(cn, records, out, first, count, convert, bufferFirst));
  return out;
}

// Collects what a sink receives, checking that each channel's slices follow each other.
class CollectingSink : public CGroupDecoder::Sink {
 public:
  explicit CollectingSink(size_t channels) : values(channels), slices(0) {}
  void Values(size_t channel, uint32_t first, std::span<const double> v) override {
    EXPECT_EQ(first, values[channel].size()) << "channel " << channel;
    values[channel].insert(values[channel].end(), v.begin(), v.end());
    ++slices;
  }
  std::vector<std::vector<double>> values;
  size_t slices;
};

// Compares the group decoder (arrays, sink) with DecodeValues over one range.
void ExpectGroupMatchesPerChannel(CDataBlock& data, const std::vector<CCNBlock*>& channels,
                                  std::span<const uint8_t> records, uint32_t first, uint32_t count, bool convert,
                                  uint32_t bufferFirst = 0) {
  CGroupDecoder decoder(data, channels, {convert, true});
  std::vector<std::vector<double>> arrays(channels.size(), std::vector<double>(count, -7.0));
  std::vector<std::span<double>> outputs(arrays.begin(), arrays.end());
  const uint32_t n = decoder.Decode(records, outputs, first, count, bufferFirst);
  CollectingSink sink(channels.size());
  EXPECT_EQ(decoder.Decode(records, sink, first, count, bufferFirst), n);
  for (size_t k = 0; k < channels.size(); ++k) {
    SCOPED_TRACE(channels[k]->GetSignalName());
    const std::vector<double> expected = PerChannel(data, channels[k], records, first, count, convert, bufferFirst);
    EXPECT_EQ(decoder.Delivers(k), data.DeliversValues(channels[k]));
    if (!decoder.Delivers(k)) {
      EXPECT_TRUE(expected.empty());
      EXPECT_TRUE(sink.values[k].empty());
      continue;
    }
    ASSERT_EQ(expected.size(), n);
    arrays[k].resize(n);
    EXPECT_TRUE(SameBits(arrays[k], expected)) << "arrays";
    EXPECT_TRUE(SameBits(sink.values[k], expected)) << "sink";
  }
}

ChannelDef At(const std::string& name, uint16_t type, uint16_t bits, uint16_t startBit,
              std::optional<CcSpec> cc = std::nullopt) {
  ChannelDef c;
  c.cn = CnSpec{.name = name, .startBit = startBit, .bits = bits, .dataType = type};
  c.cc = std::move(cc);
  return c;
}

// A group of every kind of channel in 56-byte records of random bytes, enough
// of them for several slices.
std::string MixedGroupFile(uint16_t recordIds, uint32_t records) {
  FileDef def;
  def.id.programId = "TESTPROG";
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = 56;
  g.recordIds = recordIds;
  g.records = records;
  ChannelDef time = At("time", dt::kDouble, 64, 0);
  time.cn.channelType = 1;
  g.channels = {
      time,
      At("u12", dt::kUInt, 12, 68),
      At("i12", dt::kInt, 12, 84),
      At("m24", dt::kUIntMotorola, 24, 96),
      At("mi16_shift4", dt::kIntMotorola, 16, 124),
      At("f32_linear", dt::kFloat, 32, 144, CcLinear(0.5, -3)),
      At("f64_motorola", dt::kDoubleMotorola, 64, 176),
      At("u8_table", dt::kUInt, 8, 240, CcTable({{0, 0}, {100, 50}, {255, 1000}}, true)),
      At("i32_formula", dt::kInt, 32, 248, CcFormula("X*2+1")),
      At("u40", dt::kUInt, 40, 280),
      At("bit", dt::kUInt, 1, 320),
      At("t17", 17, 16, 328),
      At("text", 7, 32, 344),
      At("u64_shift3", dt::kUInt, 61, 379),
      At("i16_polynomial", dt::kInt, 16, 416, CcPolynomial({1, 2, 3, 4, 5, 6})),
      At("outside", dt::kUInt, 32, 432),
  };
  def.groups.push_back(g);
  BuiltFile built = BuildFile(def);
  std::mt19937 random(recordIds + 1);
  std::string data;
  for (uint32_t r = 0; r < records; ++r) {
    std::string body(56, '\0');
    for (char& c : body) c = static_cast<char>(random());
    data += StoredRecord(body, 1, recordIds);
  }
  built.writer.PatchBytes(built.groups[0].data, data);
  return built.writer.Bytes();
}

TEST(GroupDecoder, EveryKindOfChannelDecodesAsDecodeValuesDoes) {
  for (uint16_t ids : {0, 1, 2}) {
    SCOPED_TRACE(ids);
    Opened o(MixedGroupFile(ids, 12000));
    ASSERT_EQ(o.result, 1) << o.mdf.GetLastError();
    const CDGBlock* dg = o.mdf.GetFirstDG();
    CDataBlock& data = DataOf(dg);
    const std::vector<CCNBlock*> channels = ChannelsOf(dg);
    const std::vector<uint8_t> records = RecordsOf(o.path, dg);
    ASSERT_EQ(records.size(), size_t{12000} * (56 + ids));
    ASSERT_GT(records.size(), 2 * CGroupDecoder::kSliceBytes);
    for (bool convert : {false, true}) {
      SCOPED_TRACE(convert);
      ExpectGroupMatchesPerChannel(data, channels, records, 0, 12000, convert);
      // A range inside a buffer that starts at record 50 of the group.
      const std::span<const uint8_t> from50 = std::span(records).subspan(size_t{50} * (56 + ids));
      ExpectGroupMatchesPerChannel(data, channels, from50, 100, 7000, convert, 50);
      // Ranges cut at the buffer's end and at the group's record count.
      ExpectGroupMatchesPerChannel(data, channels, from50, 11900, 500, convert, 50);
      ExpectGroupMatchesPerChannel(data, channels, records, 12000, 5, convert);
    }

    // From the file, in one pass: as DecodeValues over the whole range.
    std::vector<std::vector<double>> arrays(channels.size(), std::vector<double>(12000));
    std::vector<std::span<double>> outputs(arrays.begin(), arrays.end());
    ASSERT_EQ(data.ReadGroupValues(channels, outputs, 0, 12000), 12000u);
    for (size_t k = 0; k < channels.size(); ++k) {
      SCOPED_TRACE(channels[k]->GetSignalName());
      const std::vector<double> expected = PerChannel(data, channels[k], records, 0, 12000, true);
      if (expected.empty()) continue;  // delivers nothing
      EXPECT_TRUE(SameBits(arrays[k], expected));
    }
  }
}

TEST(GroupDecoder, OutputsCutTheRangeAndMustMatchTheChannels) {
  Opened o(MixedGroupFile(0, 100));
  ASSERT_EQ(o.result, 1);
  const CDGBlock* dg = o.mdf.GetFirstDG();
  const std::vector<CCNBlock*> channels = ChannelsOf(dg);
  const std::vector<uint8_t> records = RecordsOf(o.path, dg);
  CGroupDecoder decoder(DataOf(dg), channels);
  std::vector<std::vector<double>> arrays(channels.size(), std::vector<double>(100));
  arrays[3].resize(40);
  arrays.back().clear();  // the channel outside its record needs no room
  std::vector<std::span<double>> outputs(arrays.begin(), arrays.end());
  EXPECT_EQ(decoder.Decode(records, outputs, 0, 100), 40u);
  outputs.pop_back();
  EXPECT_EQ(decoder.Decode(records, outputs, 0, 100), 0u);
}

// A KESTRAVO time channel whose NoValue stamps lie before the first two
// neighbouring valid stamps (which only a later slice holds), on a slice's
// first record and on the first record of the range.
TEST(GroupDecoder, TimeNoValuesAreReplacedOverTheWholeRangeAsDecodeValuesDoes) {
  constexpr uint32_t kRecords = 20000;
  std::vector<double> times(kRecords);
  for (uint32_t i = 0; i < kRecords; ++i) times[i] = i * 0.01;
  for (uint32_t i = 0; i < 9000; i += 2) times[i] = 1e308;  // no valid pair before record 9001
  for (uint32_t i : {12288u, 12289u, 16383u}) times[i] = 1e308;
  FileDef def;
  def.id.programId = "KESTRAVO";
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = 64;  // 4096 records per slice
  g.records = kRecords;
  ChannelDef time = At("time", dt::kDouble, 64, 0);
  time.cn.channelType = 1;
  time.value = [&times](uint32_t r) { return times[r]; };
  ChannelDef other = At("value", dt::kUInt, 16, 64);
  other.value = [](uint32_t r) { return r % 1000; };
  g.channels = {time, other};
  def.groups.push_back(g);
  const std::string bytes = BuildFile(def).writer.Bytes();

  for (uint32_t first : {0u, 1u, 4095u}) {
    SCOPED_TRACE(first);
    // Each reader on a file of its own, as each fills the channel's replaced-sample list.
    Opened single(bytes), grouped(bytes), sunk(bytes);
    ASSERT_EQ(single.result, 1);
    const std::vector<uint8_t> records = RecordsOf(single.path, single.mdf.GetFirstDG());
    CCNBlock* singleTime = ChannelsOf(single.mdf.GetFirstDG())[0];
    ASSERT_TRUE(singleTime->IsNoValueSet());
    const std::vector<double> expected =
        PerChannel(DataOf(single.mdf.GetFirstDG()), singleTime, records, first, kRecords, true);
    ASSERT_EQ(expected.size(), kRecords - first);
    EXPECT_NE(expected[9000 - first], 1e308);

    const std::vector<CCNBlock*> channels = ChannelsOf(grouped.mdf.GetFirstDG());
    CGroupDecoder decoder(DataOf(grouped.mdf.GetFirstDG()), channels);
    std::vector<double> t(kRecords), v(kRecords);
    const std::span<double> outputs[] = {t, v};
    ASSERT_EQ(decoder.Decode(records, outputs, first, kRecords), kRecords - first);
    t.resize(kRecords - first);
    EXPECT_TRUE(SameBits(t, expected));
    EXPECT_EQ(channels[0]->ReplacedSamples(), singleTime->ReplacedSamples());

    const std::vector<CCNBlock*> sunkChannels = ChannelsOf(sunk.mdf.GetFirstDG());
    CGroupDecoder sinkDecoder(DataOf(sunk.mdf.GetFirstDG()), sunkChannels);
    CollectingSink sink(2);
    ASSERT_EQ(sinkDecoder.Decode(records, sink, first, kRecords), kRecords - first);
    EXPECT_TRUE(SameBits(sink.values[0], expected));
    EXPECT_EQ(sunkChannels[0]->ReplacedSamples(), singleTime->ReplacedSamples());
  }
}

// Every file of the corpus that opens: all channels of each group at once.
TEST(GroupDecoder, CorpusFilesDecodeAsDecodeValuesDoes) {
  SKIP_WITHOUT_CORPUS();
  size_t groups = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusFile("mdf"))) {
    const std::string path = entry.path().string();
    if (entry.path().extension() == ".json") continue;
    SCOPED_TRACE(path);
    CMdf mdf;
    mdf.SetShowMessages(false);
    if (!mdf.Open(path)) continue;  // an unsorted file
    for (CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext()) {
      if (!dg->GetDataBlock() || !dg->GetFirstCG()) continue;
      const std::vector<uint8_t> records = RecordsOf(path, dg);
      const uint32_t n = DataOf(dg).GetNumberOfRecords();
      for (bool convert : {false, true}) ExpectGroupMatchesPerChannel(DataOf(dg), ChannelsOf(dg), records, 0, n, convert);
      ++groups;
    }
  }
  EXPECT_GT(groups, 10u);
}

}  // namespace

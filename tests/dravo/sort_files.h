// Fixtures and checks shared by the tests of sorting and of replacing a file
// by its sorted copy.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unsorted_mdf.h"

namespace dravotest {

using namespace testsupport;

// Little-endian fields, texts and chains of a file held in memory; 0 or ""
// outside the file.
struct FileBytes {
  const std::string& f;
  uint32_t U16(uint64_t at) const {
    return at + 2 <= f.size() ? static_cast<uint8_t>(f[at]) | (static_cast<uint8_t>(f[at + 1]) << 8) : 0;
  }
  uint32_t U32(uint64_t at) const { return at + 4 <= f.size() ? U16(at) | (U16(at + 2) << 16) : 0; }
  // The text of the TX block a link names, "" for none.
  std::string Text(uint32_t link) const {
    if (link == 0 || link + 4 > f.size()) return "";
    const std::string body = f.substr(link + 4, U16(link + 2) - 4);
    return body.substr(0, body.find('\0'));
  }
  // The blocks along a chain.
  std::vector<uint32_t> Chain(uint32_t first, uint32_t next) const {
    std::vector<uint32_t> out;
    std::set<uint32_t> seen;
    for (uint32_t at = first; at != 0 && seen.insert(at).second && at < f.size(); at = U32(at + next))
      out.push_back(at);
    return out;
  }
  std::vector<uint32_t> Dgs() const { return Chain(U32(64 + hd::kFirstDg), dg::kNext); }
  std::vector<uint32_t> Cgs(uint32_t dgAt) const { return Chain(U32(dgAt + dg::kFirstCg), cg::kNext); }
  std::vector<uint32_t> Cns(uint32_t cgAt) const { return Chain(U32(cgAt + cg::kFirstCn), cn::kNext); }
  std::string Name(uint32_t cnAt) const {
    const std::string name = f.substr(cnAt + cn::kName, 32);
    return name.substr(0, name.find('\0'));
  }
};

inline ChannelDef Ch(const std::string& name, uint16_t bits, uint16_t dataType, std::function<double(uint32_t)> value,
                     uint16_t channelType = 0) {
  ChannelDef c;
  c.cn.name = name;
  c.cn.bits = bits;
  c.cn.dataType = dataType;
  c.cn.channelType = channelType;
  c.value = std::move(value);
  return c;
}

inline GroupDef Group(uint16_t recordId, uint32_t records, std::vector<ChannelDef> channels) {
  GroupDef g;
  g.recordId = recordId;
  g.records = records;
  g.channels = std::move(channels);
  return g;
}

// The groups of each record in an irregular order drawn from `seed`.
inline std::vector<size_t> ShuffledOrder(const std::vector<GroupDef>& groups, uint32_t seed) {
  std::vector<size_t> order;
  for (size_t g = 0; g < groups.size(); ++g) order.insert(order.end(), groups[g].records, g);
  std::shuffle(order.begin(), order.end(), std::mt19937(seed));
  return order;
}

// A file with everything the sort must carry over: an HD comment, an escaped
// 70 KB PR, a TR with comment, 30-byte CGs with sample-reduction links, long
// and display names, comments, an extension, a text-range conversion with
// texts, and a CD naming channels of other groups and one that does not exist.
inline UnsortedDef RichFile(uint16_t recordIds, uint32_t seed) {
  UnsortedDef d;
  d.recordIds = recordIds;
  d.fileComment = "Pr\xFC" "fstand 4\r\nLauf 17";
  d.programData = EscapedProgramData(70000);
  d.escapedProgram = true;
  d.triggerComment = "Trigger am Start";
  d.triggers = 2;
  d.sampleReduction = true;

  ChannelDef speed = Ch("speed", 16, dt::kUInt, [](uint32_t r) { return (r * 37) % 65536; });
  speed.cc = CcLinear(0.5, -10, "km/h");
  speed.comment = "vehicle speed";
  speed.longName = "Vehicle.Speed.Measured";
  speed.displayName = "Speed";
  speed.ce = CeCan(0x123, 1, "Msg", "ECU");
  ChannelDef gear = Ch("gear", 8, dt::kUInt, [](uint32_t r) { return r % 4; });
  gear.cc = CcTextRange("neutral", {{1, 1, "first"}, {2, 2, "second"}, {3, 3, std::nullopt}});
  ChannelDef torque = Ch("torque", 32, dt::kInt, [](uint32_t r) { return -1000.0 * r + 7; });
  torque.displayName = "Torque";
  std::vector<GroupDef> groups = {
      Group(1, 23, {Ch("t1", 64, dt::kDouble, [](uint32_t r) { return r * 0.01; }, 1), speed, gear}),
      Group(2, 11, {Ch("t2", 32, dt::kFloat, [](uint32_t r) { return r * 0.25; }, 1), torque}),
      Group(3, 17,
            {Ch("a", 8, dt::kUInt, [](uint32_t r) { return r % 200; }),
             Ch("b", 16, dt::kInt, [](uint32_t r) { return -static_cast<double>(r); }),
             Ch("c", 8, dt::kUInt, [](uint32_t r) { return 255 - r; })}),
  };
  groups[0].comment = "engine";
  groups[2].comment = "abc";
  d.order = ShuffledOrder(groups, seed);
  d.groups = std::move(groups);
  d.dependencies = {{0, 1, {{1, 1}, {2, 0}, {7, 7}}}};
  return d;
}

// Values of each source group's channels (source order), as the mdf/ reader
// decodes them from a sorted copy.
using GroupValues = std::vector<std::vector<std::vector<double>>>;

// Checks each copy group against the source group its reverse order names:
// equal geometry, no ids, and an area equal to that group's records found by
// an independent walk of the source; and that the mdf/ reader of the copy
// and CDataBlock::DecodeValues over the walked records give the same values
// (raw), which are returned in `values`.
inline void ExpectCopyHoldsRecords(const std::string& sourceBytes, const std::string& copyPath, GroupValues* values) {
  values->clear();
  const std::string copyBytes = ReadFileBytes(copyPath);
  std::string error;
  const std::vector<WalkedGroup> source = WalkRecordsById(sourceBytes, &error);
  ASSERT_TRUE(error.empty()) << error;
  const std::vector<WalkedGroup> copy = WalkRecordsById(copyBytes, &error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_EQ(copy.size(), source.size());
  const size_t n = source.size();
  const FileBytes c{copyBytes};
  const std::vector<uint32_t> dgs = c.Dgs();
  ASSERT_EQ(dgs.size(), n);
  for (size_t j = 0; j < n; ++j) {
    SCOPED_TRACE("copy group " + std::to_string(j));
    const WalkedGroup& s = source[n - 1 - j];
    EXPECT_EQ(copy[j].dataGroup, j);
    EXPECT_EQ(copy[j].recordId, 0);
    EXPECT_EQ(c.U16(dgs[j] + dg::kRecordIds), 0u);
    EXPECT_EQ(c.U16(dgs[j] + dg::kCgCount), 1u);
    EXPECT_EQ(copy[j].recordSize, s.recordSize);
    EXPECT_EQ(copy[j].recordCount, s.recordCount);
    EXPECT_TRUE(copy[j].records == s.records) << "the area differs from the source's records";
  }

  mdf::CMdf reader;
  reader.SetShowMessages(false);
  ASSERT_EQ(reader.Open(copyPath), 1) << reader.GetLastError();
  values->resize(n);
  size_t j = 0;
  for (mdf::CDGBlock* dg = reader.GetFirstDG(); dg; dg = dg->GetNext(), ++j) {
    ASSERT_LT(j, n);
    const WalkedGroup& s = source[n - 1 - j];
    mdf::CDataBlock* data = dg->GetDataBlock();
    ASSERT_NE(data, nullptr);
    const uint32_t records = data->GetNumberOfRecords();
    ASSERT_EQ(records, s.recordCount);
    std::vector<mdf::CCNBlock*> channels;
    for (mdf::CCNBlock* cn = dg->GetFirstCG()->GetFirstCN(); cn; cn = cn->GetNext()) channels.push_back(cn);
    std::reverse(channels.begin(), channels.end());  // source order
    for (mdf::CCNBlock* cn : channels) {
      SCOPED_TRACE("copy group " + std::to_string(j) + " channel " + cn->GetSignalName());
      std::vector<double> read(records), decoded(records);
      ASSERT_EQ(data->GetDoubleContent(cn, read, 0, records, false), records);
      const auto bytes = std::span(reinterpret_cast<const uint8_t*>(s.records.data()), s.records.size());
      ASSERT_EQ(data->DecodeValues(cn, bytes, decoded, 0, records, false), records);
      EXPECT_EQ(read, decoded);
      (*values)[n - 1 - j].push_back(std::move(read));
    }
  }
  EXPECT_EQ(j, n);
}

// The raw values the builder put into each group's channels.
inline GroupValues BuiltValues(const UnsortedDef& def) {
  GroupValues out;
  for (const GroupDef& g : def.groups) {
    out.emplace_back();
    for (const ChannelDef& c : g.channels) {
      std::vector<double> v;
      for (uint32_t r = 0; r < g.records; ++r) v.push_back(c.value(r));
      out.back().push_back(std::move(v));
    }
  }
  return out;
}

}  // namespace dravotest

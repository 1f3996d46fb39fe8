#include "tests/support/filmor_fixtures.h"

#include <bit>
#include <iterator>

namespace testsupport::filmor {

std::string LE(uint64_t v, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
  return s;
}
std::string DoubleBytes(double d) { return LE(std::bit_cast<uint64_t>(d), 8); }

// The bytes of column c in record r.
std::string ColumnBytes(size_t c, int r) {
  const size_t width = kColumns[c].width.value_or(2);
  switch (c) {
    case 14: return LE(static_cast<uint64_t>(-3 + int64_t{r} * 1000000007), 8);
    case 15: return LE(static_cast<uint64_t>(int64_t{r} * 10 - 20), 8);
    case 16: return DoubleBytes(1.5 * r - 2);
    case 17: return DoubleBytes(0.25 * r) + "\xAB\xCD";
    case 18: return "\x55\x55";
    default: {
      std::string s;
      for (size_t k = 0; k < width; ++k) s.push_back(static_cast<char>((r * 37 + c * 11 + k * 3 + 1) & 0xFF));
      return s;
    }
  }
}

Document AllColumns() {
  Document doc;
  doc.rootSkippedMembers = true;
  GroupSpec g;
  g.comment = "Group comment";
  g.interval = std::make_pair(-2.0, int16_t{3});
  g.recordCount = kRecords;
  g.skippedMembers = true;
  for (size_t c = 0; c < kColumnCount; ++c) {
    ChannelSpec ch;
    if (c != kColumnCount - 1) ch.name = "ch" + std::to_string(c);
    ch.type = kColumns[c].type;
    ch.width = kColumns[c].width;
    g.channels.push_back(ch);
  }
  g.channels[0].name = "1st value";
  g.channels[0].label = "first";
  for (size_t c : {size_t{3}, size_t{15}}) {
    g.channels[c].points = {0, 0, 10, 100};
    g.channels[c].rawScaling = {2, 1};
    g.channels[c].skippedMembers = true;
  }
  g.channels[3].unit.emplace("bar");
  g.channels[3].range = {-5, 5};
  g.channels[15].unit.emplace("N");
  g.channels[16].points = {1, 2, 1, 3};  // coinciding physical points: no scaling from them
  g.channels[16].rawScaling = {3, 4};
  for (int r = 0; r < kRecords; ++r)
    for (size_t c = 0; c < kColumnCount; ++c) g.records += ColumnBytes(c, r);
  doc.groups.push_back(g);
  return doc;
}

ChannelSpec Channel(const std::string& name) {
  ChannelSpec c;
  c.name = name;
  return c;
}

Document TwoGroups() {
  Document doc;
  GroupSpec a;
  a.recordCount = 10;
  a.interval = std::make_pair(0.01, int16_t{0});
  a.channels.push_back(Channel("a"));
  a.channels[0].rawScaling = {2, 1};
  for (int r = 0; r < 10; ++r) a.records += LE(static_cast<uint64_t>(100 + r), 2);
  GroupSpec empty;
  empty.recordCount = 0;
  empty.comment = "never shown";
  empty.channels.push_back(Channel("none"));
  GroupSpec b;
  b.recordCount = 10;
  b.unscaled = true;  // the raw scaling below is ignored
  b.comment = "second";
  b.channels.push_back(Channel("b"));
  b.channels[0].points = {3, 1, 3, 2};
  b.channels[0].rawScaling = {5, 5};
  for (int r = 0; r < 10; ++r) b.records += LE(static_cast<uint64_t>(200 + r), 2);
  doc.groups = {a, empty, b};
  return doc;
}

}  // namespace testsupport::filmor

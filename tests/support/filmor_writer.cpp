#include "tests/support/filmor_writer.h"

#include <cstring>

namespace testsupport::filmor {

namespace {

std::string V(uint64_t value) { return Varint(value); }

void PutLE(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
void PutDouble(std::string& out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutLE(out, bits, 8);
}
std::string Text(const std::string& text, int countWidth = 0) { return Varint(text.size(), countWidth) + text; }

// Type nodes shared by both forms.
const std::string kText = V(2) + V(30);
const std::string kChoice = V(12) + V(1) + V(1) + V(48);
const std::string kTwoU32 = V(3) + V(2) + V(52);
std::string Doubles(uint64_t n) { return V(3) + V(n) + V(33); }

std::string TaggedSet(uint32_t code, const std::vector<std::pair<uint32_t, std::string>>& members) {
  std::string out = V(code) + V(members.size());
  for (const auto& [tag, node] : members) out += (code < 16 ? V(tag) : std::string()) + node;
  return out;
}

std::string PlainSchemaNodes(const Layout& layout) {
  const std::string byte = V(48), i32 = V(53);
  const std::string info = TaggedSet(8, {{1, kText},  {2, kText},   {3, kText},   {4, kText},   {5, kText},
                                         {6, V(51)},  {7, byte},    {8, V(34)},   {9, byte},    {10, i32},
                                         {11, i32},   {12, i32},    {13, byte},   {14, byte},   {15, kText},
                                         {16, kTwoU32}, {17, kTwoU32}, {18, byte}, {19, V(46)}, {20, V(46)},
                                         {21, V(46)}, {22, kChoice}});
  const std::string channel = TaggedSet(8, {{1, kText}, {2, kText}, {3, Doubles(4)}, {4, kText}, {5, Doubles(2)},
                                            {6, Doubles(4)}, {7, kText}, {8, i32}, {9, Doubles(2)}, {10, byte},
                                            {11, byte}, {12, i32}, {13, byte}, {14, Doubles(2)}});
  const std::string group =
      TaggedSet(8, {{1, info}, {2, V(2) + channel}, {3, kText}});
  const std::string header = TaggedSet(8, {{1, kText}, {2, V(3) + V(4) + V(48)}});
  const std::string root = TaggedSet(
      8, {{1, header}, {2, layout.rootMember2Node.value_or(kText)}, {3, V(2) + group}, {4, kText}});
  std::string nodes;
  if (layout.extraOwnTypes.empty()) {
    nodes = V(0);
  } else {
    nodes = V(kFirstOwnCode) + V(layout.extraOwnTypes.size());
    for (const std::string& t : layout.extraOwnTypes) nodes += t;
  }
  return nodes + root;
}

std::string OwnTypesSchemaNodes(const Layout& layout) {
  const uint32_t f = kOwnTypesFirstCode;
  const uint32_t text = f, dbl = f + 1, byte = f + 2, i32 = f + 3, version = f + 4, points = f + 5,
                 pair = f + 6, quad = f + 7, channel = f + 8, info = f + 9, group = f + 10, header = f + 11;
  std::vector<std::string> types = {
      V(2) + V(30),                                      // text: count in the data
      V(33),                                             // double
      V(48),                                             // byte
      V(53),                                             // 32-bit integer
      V(3) + V(4) + V(48),                               // version: one dimension
      V(1) + V(4) + V(dbl) + V(dbl) + V(dbl) + V(dbl),   // four doubles as an ordered record
      V(4) + V(1) + V(2) + V(33),                        // two doubles in two dimensions
      V(5) + V(3) + V(1) + V(2) + V(2) + V(33),          // four doubles in three dimensions
      TaggedSet(16, {{1, V(text)}, {2, V(text)}, {3, V(points)}, {4, V(text)}, {5, V(pair)}, {6, V(quad)},
                     {7, V(text)}, {8, V(i32)}, {9, V(pair)}, {10, V(byte)}, {11, V(byte)}, {12, V(i32)},
                     {13, V(byte)}, {14, V(pair)}}),
      TaggedSet(8, {{1, V(text)},  {2, V(text)},   {3, V(text)},   {4, V(text)},  {5, V(text)},  {6, V(51)},
                    {7, V(byte)},  {8, V(34)},     {9, V(byte)},   {10, V(i32)},  {11, V(50)},   {12, V(i32)},
                    {13, V(byte)}, {14, V(byte)},  {15, V(text)},  {16, kTwoU32}, {17, kTwoU32}, {18, V(byte)},
                    {19, V(46)},   {20, V(46)},    {21, V(46)},    {22, kChoice}}),
      TaggedSet(8, {{1, V(info)}, {2, V(2) + V(channel)}, {3, V(text)}}),
      TaggedSet(16, {{1, V(text)}, {2, V(version)}}),
  };
  std::string nodes = Varint(f, 3) + V(types.size() + layout.extraOwnTypes.size());
  for (const std::string& t : types) nodes += t;
  for (const std::string& t : layout.extraOwnTypes) nodes += t;
  return nodes + TaggedSet(8, {{1, V(header)},
                               {2, layout.rootMember2Node.value_or(V(text))},
                               {3, V(2) + V(group)},
                               {4, V(text)}});
}

std::string ChannelValue(const ChannelSpec& c) {
  std::string out;
  auto doubles = [&](uint32_t tag, const double* v, int n) {
    out += V(tag);
    for (int i = 0; i < n; ++i) PutDouble(out, v[i]);
  };
  if (c.name) out += V(1) + Text(*c.name);
  if (c.label) out += V(2) + Text(*c.label);
  if (c.points) doubles(3, c.points->data(), 4);
  if (c.unit) out += V(4) + Text(*c.unit);
  if (c.range) doubles(5, c.range->data(), 2);
  if (c.skippedMembers) {
    const double six[4] = {9, 9, 9, 9};
    doubles(6, six, 4);
    out += V(7) + Text("seven");
    out += V(8);
    PutLE(out, 0xDEADBEEF, 4);
  }
  if (c.rawScaling) doubles(9, c.rawScaling->data(), 2);
  if (c.type) out += V(10) + std::string(1, static_cast<char>(*c.type));
  if (c.width) out += V(11) + std::string(1, static_cast<char>(*c.width));
  if (c.skippedMembers) {
    out += V(12);
    PutLE(out, 12, 4);
    out += V(13) + std::string(1, '\x0D');
    const double fourteen[2] = {14, 14};
    doubles(14, fourteen, 2);
  }
  return out + V(0);
}

std::string InformationValue(const GroupSpec& g, SchemaForm form) {
  std::string out;
  if (g.skippedMembers) out += V(1) + Text("source");
  if (g.comment) out += V(2) + Text(*g.comment);
  if (g.skippedMembers) {
    out += V(3) + Text("three") + V(4) + Text("four") + V(5) + Text("five") + V(6);
    PutLE(out, 0xFFFE, 2);
  }
  if (g.unscaled) out += V(7) + std::string(1, '\x01');
  if (g.interval) {
    out += V(8);
    PutDouble(out, g.interval->first);
    PutLE(out, static_cast<uint16_t>(g.interval->second), 2);
  }
  if (g.skippedMembers) {
    out += V(9) + std::string(1, '\x09') + V(10);
    PutLE(out, 10, 4);
  }
  if (g.recordCount) {
    out += V(11);
    PutLE(out, static_cast<uint64_t>(*g.recordCount), form == SchemaForm::Plain ? 4 : 2);
  }
  if (g.skippedMembers) {
    out += V(12);
    PutLE(out, 12, 4);
    out += V(13) + std::string(1, '\x0D') + V(14) + std::string(1, '\x0E') + V(15) + Text("fifteen");
    out += V(16);
    PutLE(out, 0x1600000016, 8);
    out += V(17);
    PutLE(out, 0x1700000017, 8);
    out += V(18) + std::string(1, '\x12');
    for (uint32_t tag = 19; tag <= 21; ++tag) {
      out += V(tag);
      PutLE(out, tag, 8);
    }
  }
  return out + g.extraInformation + V(0);
}

std::string GroupValue(const GroupSpec& g, SchemaForm form) {
  const bool own = form == SchemaForm::OwnTypes;
  std::string out;
  if (g.withInformation) out += V(1) + InformationValue(g, form);
  if (g.withChannels) {
    out += V(2) + Varint(g.channels.size(), own ? 3 : 0);
    for (const ChannelSpec& c : g.channels) out += ChannelValue(c);
  }
  if (g.withData) out += V(3) + Varint(g.records.size(), own ? 7 : 0) + g.records;
  return out + V(0);
}

std::string DocumentValue(const Document& d, const Layout& layout) {
  std::string out;
  if (d.header) {
    out += V(1) + V(1) + Text(d.headerText) + V(2);
    out.append(reinterpret_cast<const char*>(d.version.data()), 4);
    out += V(0);
  }
  if (layout.rootMember2Value)
    out += V(2) + *layout.rootMember2Value;
  else if (d.rootSkippedMembers)
    out += V(2) + Text("second member");
  if (!d.groups.empty()) {
    out += V(3) + V(d.groups.size());
    for (const GroupSpec& g : d.groups) out += GroupValue(g, layout.form);
  }
  if (d.rootSkippedMembers) out += V(4) + Text("fourth member");
  return out + V(0);
}

}  // namespace

std::string Varint(uint64_t value, int width) {
  if (width == 0) width = value < 0xFF ? 1 : value < 0xFFFF ? 3 : 7;
  std::string out;
  if (width == 1) {
    out.push_back(static_cast<char>(value));
  } else if (width == 3) {
    out.push_back('\xFF');
    PutLE(out, value, 2);
  } else {
    out.append("\xFF\xFF\xFF");
    PutLE(out, value, 4);
  }
  return out;
}

std::string WithChecksum(const std::string& nodes, int delta) {
  uint16_t sum = 0;
  for (char c : nodes) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
  std::string out = nodes;
  PutLE(out, static_cast<uint16_t>(sum + delta), 2);
  return out;
}

uint32_t FirstOwnCode(const Layout& layout) {
  return layout.form == SchemaForm::OwnTypes ? kOwnTypesFirstCode : kFirstOwnCode;
}

std::string WriteFilmorFile(const Document& document, const Layout& layout) {
  std::string schema = layout.schemaOverride.value_or("");
  if (!layout.schemaOverride) {
    const std::string nodes =
        layout.form == SchemaForm::Plain ? PlainSchemaNodes(layout) : OwnTypesSchemaNodes(layout);
    schema = WithChecksum(nodes + layout.schemaTail, layout.checksumDelta);
  }
  std::string file;
  PutLE(file, layout.magic, 4);
  file += Varint(schema.size(), layout.form == SchemaForm::OwnTypes ? 7 : 0);
  file += schema;
  file += DocumentValue(document, layout);
  if (layout.truncateTo && *layout.truncateTo < file.size()) file.resize(*layout.truncateTo);
  return file;
}

}  // namespace testsupport::filmor

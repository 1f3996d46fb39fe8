#include "tests/support/canlog_writer.h"

#include <cstring>
#include <memory>

namespace testsupport {
namespace {

ChannelDef Channel(const std::string& name, uint16_t startBit, uint16_t bits, uint16_t type = dt::kUInt) {
  ChannelDef c;
  c.cn = CnSpec{.name = name, .startBit = startBit, .bits = bits, .dataType = type};
  return c;
}

}  // namespace

GroupDef CanLogGroup(std::optional<CcSpec> timeConversion) {
  GroupDef g;
  g.autoLayout = false;
  g.recordSize = kCanLogRecordSize;
  g.channels = {Channel("type", 0, 8), Channel("can", 8, 8), Channel("id", 16, 32), Channel("dir", 48, 8),
                Channel("rtr", 56, 8), Channel("dlc", 64, 8)};
  for (uint16_t k = 0; k < 8; ++k)
    g.channels.push_back(Channel("msg[" + std::to_string(k) + "]", static_cast<uint16_t>(72 + 8 * k), 8));
  ChannelDef time = Channel("msgTime", 136, 64, dt::kDouble);
  time.cn.channelType = 1;
  time.cc = std::move(timeConversion);
  g.channels.push_back(time);
  return g;
}

FileDef CanLogFileDef(const std::vector<CanLogFrame>& frames, const std::string& programId,
                      std::optional<CcSpec> timeConversion) {
  FileDef def;
  def.id.programId = programId;
  GroupDef g = CanLogGroup(std::move(timeConversion));
  g.records = static_cast<uint32_t>(frames.size());
  auto shared = std::make_shared<std::vector<CanLogFrame>>(frames);
  auto at = [shared](uint32_t r) -> const CanLogFrame& { return (*shared)[r]; };
  g.channels[0].value = [](uint32_t) { return 1.0; };
  g.channels[1].value = [at](uint32_t r) { return at(r).channel; };
  g.channels[2].value = [at](uint32_t r) { return at(r).id; };
  g.channels[3].value = g.channels[4].value = [](uint32_t) { return 0.0; };
  g.channels[5].value = [at](uint32_t r) { return at(r).dlc; };
  for (size_t k = 0; k < 8; ++k) g.channels[6 + k].value = [at, k](uint32_t r) { return at(r).data[k]; };
  g.channels[14].value = [at](uint32_t r) { return at(r).time; };
  def.groups.push_back(std::move(g));
  return def;
}

void PutCanLogRecord(uint8_t* record, const CanLogFrame& frame) {
  record[0] = 1;
  record[1] = static_cast<uint8_t>(frame.channel);
  std::memcpy(record + 2, &frame.id, 4);
  record[6] = record[7] = 0;
  record[8] = frame.dlc;
  std::memcpy(record + 9, frame.data.data(), 8);
  std::memcpy(record + 17, &frame.time, 8);
}

}  // namespace testsupport

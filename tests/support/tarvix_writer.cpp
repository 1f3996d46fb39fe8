#include "tests/support/tarvix_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace testsupport::tarvix {

namespace {

// A fixed text field of `width` bytes.
std::string Field(const std::string& text, size_t width) {
  std::string out(width, '\0');
  std::memcpy(out.data(), text.data(), std::min(width, text.size()));
  return out;
}

}  // namespace

std::string LE(uint64_t value, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; ++i) out.push_back(i < 8 ? static_cast<char>(value >> (8 * i)) : '\0');
  return out;
}
std::string F64(double value) { return LE(std::bit_cast<uint64_t>(value), 8); }

std::string HeadBytes(const Head& h) {
  std::string out(32, 'H');
  for (int32_t v : {h.layoutFlag, h.dataFileMode, h.recordSize, h.channels, h.day, h.month, h.year, h.hour, h.minute,
                    h.second})
    out += LE(static_cast<uint32_t>(v), 4);
  return out;
}

std::string Record(uint32_t type, const std::string& body, std::optional<uint32_t> length) {
  return LE(type, 4) + LE(length.value_or(static_cast<uint32_t>(12 + body.size())), 4) + LE(0xCAFE, 4) + body;
}

std::string EndRecord() { return LE(0, 4) + LE(0, 4) + LE(0, 4); }

std::string ChannelRecord(const Channel& c) {
  std::string body = LE(c.id, 4) + Field(c.name, 64) + Field(c.label, 64) + Field(c.unit, 32) + LE(c.typeCode, 4) +
                     LE(0xFFFF, 4) + F64(c.factor) + F64(c.offset) + LE(0, 4) + LE(c.valuesPerRecord, 4);
  return Record(100, body);
}

std::string LongLabelRecord(uint32_t channelId, uint32_t flag, char closing, const std::string& text) {
  return Record(200, LE(channelId, 4) + LE(flag, 4) + LE(static_cast<uint8_t>(closing), 4) + LE(0, 4) + text);
}

std::string DataFileRecord(const std::string& fileName, uint32_t dataOffset) {
  return Record(1, LE(0, 8) + Field(fileName, 128) + LE(dataOffset, 4));
}

std::string SamplingRecord(int32_t records, double rate) {
  return Record(2, LE(0, 8) + LE(static_cast<uint32_t>(records), 4) + LE(0, 12) + F64(rate) + LE(0, 12));
}

std::string TextRecord(int32_t kind, uint32_t subtype, const std::string& text) {
  return Record(80, LE(static_cast<uint32_t>(kind), 4) + LE(0, 16) + LE(subtype, 4) + LE(text.size(), 4) + text);
}

std::string ParameterRecord(int32_t number, const std::string& name, const std::string& label, const std::string& unit,
                            uint32_t typeCode, const std::string& value) {
  return Record(81, LE(static_cast<uint32_t>(number), 4) + LE(0, 12) + Field(name, 16) + Field(label, 32) +
                        Field(unit, 16) + LE(typeCode, 4) + LE(value.size(), 4) + value);
}

std::string RemarkRecord(const std::string& text) { return Record(90, LE(0, 32) + LE(text.size(), 4) + text); }

}  // namespace testsupport::tarvix

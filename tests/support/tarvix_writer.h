// Writes Tarvix header files for tests: the 72-byte head and records of a
// 12-byte head (type, length with the head, a spare word) and a body.
// Nothing is checked, so damaged files are as easy to write as good ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace testsupport::tarvix {

struct Head {
  int32_t layoutFlag = 0;
  int32_t dataFileMode = 1;
  int32_t recordSize = 0;
  int32_t channels = 0;
  int32_t day = 24, month = 12, year = 2003, hour = 10, minute = 0, second = 0;
};
std::string HeadBytes(const Head& head);

// A record: its head and body; the length is 12 + the body's unless given.
std::string Record(uint32_t type, const std::string& body, std::optional<uint32_t> length = std::nullopt);
// The record that ends the walk (length 0).
std::string EndRecord();

struct Channel {
  uint32_t id = 0;
  std::string name, label, unit;
  uint32_t typeCode = 3;
  double factor = 1, offset = 0;
  uint32_t valuesPerRecord = 1;
};
std::string ChannelRecord(const Channel& channel);
std::string LongLabelRecord(uint32_t channelId, uint32_t flag, char closing, const std::string& text);
std::string DataFileRecord(const std::string& fileName, uint32_t dataOffset);
std::string SamplingRecord(int32_t records, double rate);
std::string TextRecord(int32_t kind, uint32_t subtype, const std::string& text);
std::string ParameterRecord(int32_t number, const std::string& name, const std::string& label, const std::string& unit,
                            uint32_t typeCode, const std::string& value);
std::string RemarkRecord(const std::string& text);

// Little-endian bytes of a number (bytes past the eighth are zero) and of a double.
std::string LE(uint64_t value, size_t bytes);
std::string F64(double value);

}  // namespace testsupport::tarvix

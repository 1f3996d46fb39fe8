// Files of one group whose channels cover the layouts a channel can have:
// each data type in files of either byte order, each with bit counts,
// bit positions and additional byte offsets of its own. Every channel's
// expected values are the numbers the file was written with, or none where
// the data type, the bit count or the place gives the reader no number.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dravo/records.h"
#include "tests/dravo/dravo_files.h"

namespace dravotest {

struct LayoutChannel {
  CnSpec cn{};
  bool motorola = false;  // the bytes as written
  dravo::MdfValueProblem problem = dravo::MdfValueProblem::None;
  std::vector<double> values{};  // per record; NaN: a record without a number
};

struct LayoutFile {
  BuiltMdf built{};
  std::vector<LayoutChannel> channels{};
  uint32_t records = 0;
};

namespace layoutdetail {

// A channel's place: 16 bytes of the record each, the field starting at byte
// 16 k + the additional byte offset, so that a reader that drops the offset
// reads other bytes.
constexpr uint32_t kSlotBytes = 16;
constexpr uint32_t kRecords = 4;

inline bool IsInteger(uint16_t t) { return t == 0 || t == 1 || (t >= 9 && t <= 10) || (t >= 13 && t <= 14); }
inline bool IsSigned(uint16_t t) { return t == 1 || t == 10 || t == 14; }
inline bool IsIeee(uint16_t t) { return t == 2 || t == 3 || t == 11 || t == 12 || t == 15 || t == 16; }

inline std::vector<uint16_t> WidthsOf(uint16_t type) {
  if (IsInteger(type)) return {1, 3, 8, 12, 16, 24, 31, 32, 40, 57, 63, 64, 0, 65};
  if (IsIeee(type)) return {32, 64, 16, 24};
  if (type == 4) return {32, 64};
  if (type == 5 || type == 6) return {64, 32};
  if (type == 7) return {64};
  return {32};
}

// VAX values as stored (16-bit words, low byte first, the sign-and-exponent
// word first), read as one little-endian number, with the IEEE value each is.
struct VaxValue {
  uint64_t stored;
  double value;
};
inline std::vector<VaxValue> VaxValuesOf(uint16_t type) {
  if (type == 4) return {{0x00004080, 1.0}, {0x0000C040, -0.75}, {0, 0.0}, {0x00014080, 1.0 + std::ldexp(1.0, -23)}};
  if (type == 5)
    return {{0x4010, 1.0}, {0xC008, -0.75}, {0, 0.0}, {0x0001000000004010, 1.0 + std::ldexp(1.0, -52)}};
  return {{0x4080, 1.0}, {0xC040, -0.75}, {0, 0.0}, {0x0008000000004080, 1.0 + std::ldexp(1.0, -52)}};
}

// The raw bits written into record r of an integer field and the number they stand for.
inline std::pair<uint64_t, double> IntegerOf(uint16_t type, uint16_t bits, uint32_t r) {
  const uint64_t mask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
  const uint64_t patterns[kRecords] = {mask, uint64_t{1} << (bits - 1), 0x5A3C96E1F00F1235ull & mask, 1};
  const uint64_t raw = patterns[r];
  if (!IsSigned(type)) return {raw, static_cast<double>(raw)};
  const bool negative = (raw >> (bits - 1)) & 1;
  const int64_t v = negative ? static_cast<int64_t>(raw | ~mask) : static_cast<int64_t>(raw);
  return {raw, static_cast<double>(v)};
}

}  // namespace layoutdetail

// Every layout of `dataType` in a file whose ID block names `byteOrder`
// (0 Intel, 1 Motorola), and two channels whose fields pass the record's end.
inline LayoutFile BuildLayoutFile(uint16_t byteOrder, uint16_t dataType) {
  using namespace layoutdetail;
  using dravo::MdfValueProblem;
  LayoutFile f;
  f.records = kRecords;
  const bool motorola = (dataType >= 9 && dataType <= 12) || (dataType <= 3 && byteOrder != 0);
  const ByteOrder order = motorola ? ByteOrder::Motorola : ByteOrder::Intel;
  const std::vector<uint16_t> widths = WidthsOf(dataType);
  for (uint16_t bits : widths)
    for (uint16_t position : {0, 3, 7})
      for (uint16_t offset : {0, 3}) {
        LayoutChannel c;
        const uint32_t slot = static_cast<uint32_t>(f.channels.size());
        c.cn = Channel("t" + std::to_string(dataType) + "_b" + std::to_string(bits) + "_p" + std::to_string(position) +
                           "_o" + std::to_string(offset),
                       static_cast<uint16_t>(slot * kSlotBytes * 8 + position), bits, dataType);
        c.cn.byteOffset = offset;
        c.motorola = motorola;
        const bool readableType = IsInteger(dataType) || IsIeee(dataType) || (dataType >= 4 && dataType <= 7);
        const bool readableBits = IsInteger(dataType) ? bits >= 1 && bits <= 64
                                  : IsIeee(dataType)  ? bits == 32 || bits == 64
                                  : dataType == 4     ? bits == 32
                                  : dataType <= 6     ? bits == 64
                                                      : true;
        c.problem = !readableType ? MdfValueProblem::DataType
                    : !readableBits ? MdfValueProblem::BitCount
                                    : MdfValueProblem::None;
        f.channels.push_back(c);
      }
  // Past the record's end: a field whose last byte is the first byte after
  // it, and one that the additional byte offset moves beyond it.
  const uint16_t fitting = IsInteger(dataType) ? 16 : widths.front();
  const uint32_t fieldBytes = (fitting + 7u) / 8u;
  const uint32_t end = static_cast<uint32_t>(f.channels.size()) * kSlotBytes + fieldBytes;
  for (int past = 0; past < 2; ++past) {
    LayoutChannel c;
    const uint32_t startByte = end - fieldBytes + (past == 0 ? 1 : 0);
    c.cn = Channel("t" + std::to_string(dataType) + "_past" + std::to_string(past),
                   static_cast<uint16_t>(startByte * 8), fitting, dataType);
    if (past == 1) c.cn.byteOffset = 2;
    c.motorola = motorola;
    c.problem = (dataType == 8 || dataType > 16) ? MdfValueProblem::DataType
                : dataType == 7                  ? MdfValueProblem::None
                                                 : MdfValueProblem::OutsideRecord;
    f.channels.push_back(c);
  }

  std::vector<Record> records(kRecords, Record(end));
  for (LayoutChannel& c : f.channels) {
    const bool fits = uint32_t{c.cn.startBit} / 8 + c.cn.byteOffset + (c.cn.startBit % 8 + c.cn.bits + 7) / 8 <= end;
    for (uint32_t r = 0; r < kRecords; ++r) {
      Record& rec = records[r];
      double value = std::nan("");
      if (IsInteger(dataType) && c.cn.bits >= 1 && c.cn.bits <= 64) {
        const auto [raw, v] = IntegerOf(dataType, c.cn.bits, r);
        if (fits) rec.PutUInt(c.cn.startBit, c.cn.bits, raw, order, c.cn.byteOffset);
        value = v;
      } else if (IsIeee(dataType) && c.cn.bits == 32) {
        const float values[kRecords] = {-1.5f, 3.0e38f, std::ldexp(1.0f, -126), 0.1f};
        if (fits) rec.PutF32(c.cn.startBit, values[r], order, c.cn.byteOffset);
        value = values[r];
      } else if (IsIeee(dataType) && c.cn.bits == 64) {
        const double values[kRecords] = {-1.5, 1e300, 5e-324, 0.1};
        if (fits) rec.PutF64(c.cn.startBit, values[r], order, c.cn.byteOffset);
        value = values[r];
      } else if (dataType >= 4 && dataType <= 6 && c.problem != MdfValueProblem::BitCount) {
        const VaxValue v = VaxValuesOf(dataType)[r];
        if (fits) rec.PutUInt(c.cn.startBit, c.cn.bits, v.stored, ByteOrder::Intel, c.cn.byteOffset);
        value = v.value;
      } else if (dataType == 7) {
        rec.PutText(c.cn.startBit, 8, "abc", c.cn.byteOffset);  // a text, but no pause comment
      } else if (c.cn.bits >= 1 && c.cn.bits <= 64 && fits) {
        rec.PutUInt(c.cn.startBit, c.cn.bits, 0xA5A5A5A5A5A5A5A5ull, order, c.cn.byteOffset);
      }
      c.values.push_back(value);
    }
  }
  std::vector<std::string> stored;
  for (Record& rec : records) stored.push_back(rec.Bytes().substr(0, end));
  std::vector<ChannelSpec> specs;
  for (const LayoutChannel& c : f.channels) specs.push_back(ChannelSpec{c.cn});
  std::string data;
  for (const std::string& s : stored) data += s;
  CgDef g{.recordSize = static_cast<uint16_t>(end), .records = kRecords, .channels = std::move(specs)};
  f.built = BuildMdf({DgDef{.groups = {g}, .data = data}}, IdSpec{.byteOrder = byteOrder});
  return f;
}

// The data types of the layout files: 0 to 16, and two beyond.
inline std::vector<uint16_t> LayoutDataTypes() {
  std::vector<uint16_t> types;
  for (uint16_t t = 0; t <= 16; ++t) types.push_back(t);
  types.push_back(17);
  types.push_back(255);
  return types;
}

}  // namespace dravotest

// The FILMOR document: magic, schema, header and channel groups.
//
// File: magic 0x03F15477 (little-endian), varint schema length L, L schema
// bytes, then the document value, a tagged set: member 1 the header (text
// "FILMOR", version), member 3 the channel groups; others are skipped. A group
// holds member 1 its information, member 2 its channels and member 3 its
// records (a byte count B and B bytes, one column per channel).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "smallimports/filmor/filmor_schema.h"
#include "smallimports/filmor/filmor_value.h"
#include "smallimports/support/file_cursor.h"

namespace filmor {

inline constexpr uint32_t kFileMagic = 0x03F15477;
inline constexpr char kHeaderText[] = "FILMOR";

// A 64-bit mantissa and a power-of-ten exponent (10 bytes in the file).
struct ScaledNumber {
  double mantissa = 0;
  int16_t exponent = 0;
};
// m >= 0: m * 10^(e - shift); m < 0 states a rate: 1 / (-m * 10^(e + shift)).
double ScaledNumberValue(const ScaledNumber& number, int shift = 0);

// Column type codes of a channel (member 10).
inline constexpr uint8_t kDefaultColumnType = 4;
inline constexpr uint8_t kDefaultColumnWidth = 2;

// The members of a channel that the import uses, with their defaults.
struct ChannelRecord {
  std::string name;       // 1
  std::string label;      // 2
  double points[4] = {0, 0, 1, 1};  // 3: physical p1, raw r1, physical p2, raw r2
  std::string unit;       // 4
  double range[2] = {0, 0};         // 5: YMin, YMax
  double rawScaling[2] = {1, 0};    // 9: factor, offset
  uint8_t type = kDefaultColumnType;    // 10
  uint8_t width = kDefaultColumnWidth;  // 11: bytes in the record, 0 for none
};

// The group information members that the import uses, and where the group's
// records lie.
struct ChannelGroupRecord {
  std::string comment;          // 2
  bool unscaled = false;        // 7: the channels' raw scaling is ignored
  ScaledNumber interval;        // 8: sample interval in seconds
  int32_t recordCount = 0;      // 11
  std::vector<ChannelRecord> channels;
  uint64_t dataPosition = 0;    // file offset of the first record byte
  uint64_t dataBytes = 0;       // B as the file states it
};

enum class DocumentStatus {
  Ok,
  OpenFailed,
  BadMagic,
  SchemaTruncated,  // the schema runs past the end of the file
  BadSchema,        // see DocumentResult::schema
  BadRoot,          // the root is no tagged set without dimensions
  BadHeaderText,
  BadVersion,
  GroupWithoutInformation,
  GroupWithoutChannels,
  GroupWithoutData,
  BadValue,         // see DocumentResult::value
};

// What the reading of a document came to and the file offset where it stopped.
struct DocumentResult {
  DocumentStatus status = DocumentStatus::Ok;
  SchemaStatus schema = SchemaStatus::Ok;
  ValueError value = ValueError::None;
  uint64_t offset = 0;
};
std::string DocumentResultText(const DocumentResult& result);

// Reads magic, schema, header and every channel group. Groups read before a
// failure stay in the list.
DocumentResult ReadFilmorDocument(smallimports::FileCursor& file, std::vector<ChannelGroupRecord>& groups);

}  // namespace filmor

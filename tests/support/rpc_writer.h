// Writes RPC III time-history files for tests: 128-byte header records padded
// to whole 512-byte blocks, then 16-bit samples in groups of PTS_PER_GROUP
// points per channel.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport::rpc {

using Record = std::pair<std::string, std::string>;  // keyword, value

struct RpcChannel {
  std::string desc;
  std::string units;
  std::string scale = "1.0";
  std::vector<int16_t> values;  // PTS_PER_FRAME * FRAMES of them
};

struct RpcSpec {
  std::string format = "BINARY";
  int64_t pointsPerFrame = 4;
  int64_t pointsPerGroup = 8;
  int64_t frames = 3;
  std::optional<std::string> deltaT = "1.000000E-03";
  std::optional<std::string> date = "24.12.2003 10:00:00";
  std::vector<RpcChannel> channels;
  bool padLastGroup = true;          // write a partial last group at full size
  std::vector<Record> extraRecords;  // after the standard ones
};

// FORMAT, NUM_HEADER_BLOCKS (enough blocks for all records), CHANNELS, the
// layout, DELTA_T, DATE, DATA_TYPE, INT_FULL_SCALE, each channel's DESC,
// UNITS, SCALE and LOWER_LIMIT, then the extra records.
std::vector<Record> RpcRecords(const RpcSpec& spec);
// The header: the records, then empty records up to `headerBlocks` blocks
// (none: as many as the records need).
std::string RpcHeader(const std::vector<Record>& records, std::optional<int64_t> headerBlocks = std::nullopt);
// The samples, group by group and channel by channel.
std::string RpcData(const RpcSpec& spec);
std::string WriteRpcFile(const RpcSpec& spec);

}  // namespace testsupport::rpc

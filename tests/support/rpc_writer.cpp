#include "tests/support/rpc_writer.h"

#include <algorithm>
#include <cstring>

namespace testsupport::rpc {

namespace {
constexpr size_t kRecordBytes = 128;
constexpr size_t kBlockBytes = 512;
}  // namespace

std::vector<Record> RpcRecords(const RpcSpec& spec) {
  std::vector<Record> records = {
      {"FORMAT", spec.format},
      {"NUM_HEADER_BLOCKS", ""},
      {"CHANNELS", std::to_string(spec.channels.size())},
      {"PTS_PER_FRAME", std::to_string(spec.pointsPerFrame)},
      {"PTS_PER_GROUP", std::to_string(spec.pointsPerGroup)},
      {"FRAMES", std::to_string(spec.frames)},
  };
  if (spec.deltaT) records.push_back({"DELTA_T", *spec.deltaT});
  if (spec.date) records.push_back({"DATE", *spec.date});
  records.push_back({"DATA_TYPE", "SHORT_INTEGER"});
  records.push_back({"INT_FULL_SCALE", "32752"});
  for (size_t k = 0; k < spec.channels.size(); ++k) {
    const std::string n = std::to_string(k + 1);
    records.push_back({"DESC.CHAN_" + n, spec.channels[k].desc});
    records.push_back({"UNITS.CHAN_" + n, spec.channels[k].units});
    records.push_back({"SCALE.CHAN_" + n, spec.channels[k].scale});
    records.push_back({"LOWER_LIMIT.CHAN_" + n, "-1.0"});
  }
  records.insert(records.end(), spec.extraRecords.begin(), spec.extraRecords.end());
  records[1].second = std::to_string((records.size() + 3) / 4);
  return records;
}

std::string RpcHeader(const std::vector<Record>& records, std::optional<int64_t> headerBlocks) {
  std::string out;
  for (const auto& [keyword, value] : records) {
    std::string record(kRecordBytes, '\0');
    std::memcpy(record.data(), keyword.data(), std::min<size_t>(keyword.size(), 32));
    std::memcpy(record.data() + 32, value.data(), std::min<size_t>(value.size(), 96));
    out += record;
  }
  const size_t blocks = headerBlocks ? static_cast<size_t>(*headerBlocks) : (out.size() + kBlockBytes - 1) / kBlockBytes;
  if (out.size() < blocks * kBlockBytes) out.resize(blocks * kBlockBytes, '\0');
  return out;
}

std::string RpcData(const RpcSpec& spec) {
  const bool big = spec.format == "BINARY_IEEE_BIG_END";
  const size_t values = static_cast<size_t>(spec.pointsPerFrame * spec.frames);
  const size_t g = static_cast<size_t>(spec.pointsPerGroup);
  std::string out;
  for (size_t start = 0; start < values; start += g) {
    const size_t inGroup = std::min(g, values - start);
    const size_t written = spec.padLastGroup ? g : inGroup;
    for (const RpcChannel& c : spec.channels) {
      for (size_t i = 0; i < written; ++i) {
        const uint16_t v = i < inGroup && start + i < c.values.size() ? static_cast<uint16_t>(c.values[start + i]) : 0;
        out.push_back(static_cast<char>(big ? v >> 8 : v & 0xFF));
        out.push_back(static_cast<char>(big ? v & 0xFF : v >> 8));
      }
    }
  }
  return out;
}

std::string WriteRpcFile(const RpcSpec& spec) { return RpcHeader(RpcRecords(spec)) + RpcData(spec); }

}  // namespace testsupport::rpc

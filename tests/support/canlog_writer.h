// CAN-frame logs stored in MDF, as CAN loggers write them: one data group
// with one channel group of 15 channels in 25-byte records: type (8 bits),
// can (8), id (32), dir, rtr, dlc (8 each), msg[0] .. msg[7] (8 each) and
// msgTime (a double, the time channel).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/mdf_writer.h"

namespace testsupport {

struct CanLogFrame {
  double time = 0;       // msgTime as stored (raw)
  uint32_t channel = 1;  // can
  uint32_t id = 0;       // as logged: an extended id may carry bit 31
  uint8_t dlc = 8;
  std::array<uint8_t, 8> data{};
};

inline constexpr uint16_t kCanLogRecordSize = 25;

// The log's channel group without records; msgTime gets `timeConversion` when given.
GroupDef CanLogGroup(std::optional<CcSpec> timeConversion = std::nullopt);
// A whole log of the frames, written by `programId`.
FileDef CanLogFileDef(const std::vector<CanLogFrame>& frames, const std::string& programId = "CANlog",
                      std::optional<CcSpec> timeConversion = std::nullopt);
// The frame as one record of the log (kCanLogRecordSize bytes).
void PutCanLogRecord(uint8_t* record, const CanLogFrame& frame);

}  // namespace testsupport

// Timestamps: the 16-byte TDMS form, ISO 8601 texts of TDM files, and the
// calendar components (UTC) that callers receive.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ddc/model.h"

namespace ddc {

struct TimeComponents {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  double fraction = 0;  // seconds, in [0, 1)
  unsigned weekday = 0;  // 0 Sunday .. 6 Saturday
};

// The 16 stored bytes: little-endian the fraction first, big-endian the seconds first.
Timestamp DecodeTimestamp(const uint8_t* bytes, bool big_endian);

// The instant in UTC; DDC_ErrRange when its year cannot be represented.
Status ToUtcComponents(const Timestamp& t, TimeComponents& out);

// "YYYY-MM-DD[THH:MM[:SS[.fraction]]][Z|+hh:mm|-hh:mm]", any number of
// fraction digits; without a zone the time is UTC. False for other texts.
bool ParseIsoTimestamp(std::string_view text, Timestamp& out);

}  // namespace ddc

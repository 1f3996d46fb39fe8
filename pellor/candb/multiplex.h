// Which multiplexor decides whether a signal of a message is present in a
// frame, worked out once per message from the signals' indicators and their
// "SG_MUL_VAL_" lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pellor/candb/candb.h"

namespace pellor {

// Why a multiplexed signal's presence cannot be decided.
enum class MuxFault {
  kNone,
  kNoMultiplexor,    // the message has no multiplexor that is not itself multiplexed
  kAmbiguous,        // it has several, and no "SG_MUL_VAL_" line names one
  kMissing,          // the multiplexor named is not in the message, or is left out
  kNotAMultiplexor,  // the signal named is no multiplexor
  kConflict,         // the signal's lines name more than one multiplexor
  kCycle,            // the multiplexors select each other in a circle
  kUnresolved,       // its multiplexor's own presence cannot be decided
};

struct MuxLink {
  // The multiplexor's index in the message's signal list; -1 for a signal
  // that is present in every frame.
  int32_t multiplexor = -1;
  // The multiplexor's raw values for which the signal is present.
  std::vector<CanMuxRange> ranges;
  // Multiplexors on the way to one that is present in every frame: 0 for a
  // signal present in every frame, 1 under such a multiplexor, and so on.
  int32_t depth = 0;
  MuxFault fault = MuxFault::kNone;
  // The multiplexor named, for a warning about a fault.
  std::string multiplexorName;
};

// The link of each signal of `message`, by its index in Signals(). Signals
// marked in `leftOut` (one entry per signal; the caller drops them) get no
// link, and what they would multiplex cannot be resolved (kMissing).
std::vector<MuxLink> ResolveMultiplexing(const CanMsg& message, const std::vector<bool>& leftOut);

}  // namespace pellor

#include "pellor/candb/multiplex.h"

#include <unordered_map>

namespace pellor {

namespace {

bool IsTopLevel(const CanSig& sig) { return sig.IsMultiplexor() && !sig.IsMultiplexed(); }

// What a message's signals are, for linking them.
struct MessageIndex {
  std::unordered_map<const CanSig*, int32_t> indexOf;
  int32_t topLevel = -1;  // the multiplexor that is not multiplexed itself, when there is one
  int32_t topLevelCount = 0;
};

// Each multiplexed signal's own multiplexor and values, without looking further up.
void LinkToMultiplexor(const CanMsg& message, const std::vector<bool>& leftOut, const MessageIndex& index, int32_t i,
                       MuxLink& link) {
  const CanSig& sig = message.Signals()[static_cast<size_t>(i)];
  if (sig.HasMuxConflict()) {
    link.fault = MuxFault::kConflict;
    return;
  }
  int32_t j = -1;
  if (!sig.MuxSwitch().empty()) {
    link.multiplexorName = sig.MuxSwitch();
    const CanSig* named = message.FindSignal(sig.MuxSwitch());
    if (!named) {
      link.fault = MuxFault::kMissing;
      return;
    }
    j = index.indexOf.at(named);
    link.ranges = sig.MuxRanges();
  } else {
    if (index.topLevelCount == 0) {
      link.fault = MuxFault::kNoMultiplexor;
      return;
    }
    if (index.topLevelCount > 1) {
      link.fault = MuxFault::kAmbiguous;
      return;
    }
    j = index.topLevel;
    link.multiplexorName = message.Signals()[static_cast<size_t>(j)].Name();
    const uint64_t k = static_cast<uint32_t>(sig.MuxValue());
    link.ranges = {{k, k}};
  }
  if (leftOut[static_cast<size_t>(j)]) {
    link.fault = MuxFault::kMissing;
  } else if (j == i) {
    link.fault = MuxFault::kCycle;
  } else if (!message.Signals()[static_cast<size_t>(j)].IsMultiplexor()) {
    link.fault = MuxFault::kNotAMultiplexor;
  } else {
    link.multiplexor = j;
  }
}

}  // namespace

std::vector<MuxLink> ResolveMultiplexing(const CanMsg& message, const std::vector<bool>& leftOut) {
  const auto& signals = message.Signals();
  const auto n = static_cast<int32_t>(signals.Count());
  std::vector<MuxLink> links(static_cast<size_t>(n));
  MessageIndex index;
  for (int32_t i = 0; i < n; ++i) {
    const CanSig& sig = signals[static_cast<size_t>(i)];
    index.indexOf.emplace(&sig, i);
    if (IsTopLevel(sig) && index.topLevelCount++ == 0) index.topLevel = i;
  }

  // Signals whose depth is settled: those present in every frame at once.
  std::vector<bool> settled(static_cast<size_t>(n), false);
  for (int32_t i = 0; i < n; ++i) {
    const auto at = static_cast<size_t>(i);
    if (leftOut[at] || !signals[at].IsMultiplexed())
      settled[at] = true;
    else
      LinkToMultiplexor(message, leftOut, index, i, links[at]);
  }

  // Up each chain to a settled signal, a fault or a signal met before on the
  // same walk (a cycle); then the depths, or the fault, back down the chain.
  std::vector<int32_t> walk(static_cast<size_t>(n), -1);  // the walk that passed the signal
  for (int32_t start = 0; start < n; ++start) {
    std::vector<int32_t> path;
    int32_t at = start;
    while (!settled[static_cast<size_t>(at)] && links[static_cast<size_t>(at)].fault == MuxFault::kNone &&
           walk[static_cast<size_t>(at)] != start) {
      walk[static_cast<size_t>(at)] = start;
      path.push_back(at);
      at = links[static_cast<size_t>(at)].multiplexor;
    }
    const MuxLink& end = links[static_cast<size_t>(at)];
    if (walk[static_cast<size_t>(at)] == start) {
      // The signals from `at` on select each other; those before it lead into the circle.
      bool onCycle = false;
      for (int32_t k : path) {
        onCycle = onCycle || k == at;
        links[static_cast<size_t>(k)].fault = onCycle ? MuxFault::kCycle : MuxFault::kUnresolved;
      }
    } else if (settled[static_cast<size_t>(at)] && end.fault == MuxFault::kNone) {
      int32_t depth = end.depth;
      for (auto k = path.rbegin(); k != path.rend(); ++k) links[static_cast<size_t>(*k)].depth = ++depth;
    } else {
      for (int32_t k : path) links[static_cast<size_t>(k)].fault = MuxFault::kUnresolved;
    }
    for (int32_t k : path) settled[static_cast<size_t>(k)] = true;
  }
  return links;
}

}  // namespace pellor

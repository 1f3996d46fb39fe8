// Reads arbitrary bytes as a DBC file and walks the database it made, checking
// what every reader of the model relies on: layouts in range, messages in
// order of name, signals in order of start bit, lookups that find what is
// there, and multiplexor chains that end at a signal present in every frame.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pellor/candb/candb.h"
#include "pellor/candb/multiplex.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string TempPath() {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/fuzz_dbc_" + std::to_string(getpid()) + ".dbc";
}

struct CountingTree : pellor::ITreeControl {
  Item next = 0;
  Item InsertItem(std::string_view, Item) override { return ++next; }
};

void Walk(const pellor::CDbBase& db) {
  for (const pellor::CanNode& node : db.Nodes()) {
    Check(db.FindNode(node.Name()) != nullptr);
    for (const pellor::CanMsg& msg : node.Messages()) Check(msg.TransmitterNode() == &node);
  }
  const pellor::CanMsg* previous = nullptr;
  for (const pellor::CanMsg& msg : db.Messages()) {
    Check(!previous || !(msg.Name() < previous->Name()));
    previous = &msg;
    const pellor::CanMsg* first = db.FindMessageById(msg.Id());
    Check(first != nullptr && first->Id() == msg.Id());
    int32_t lastStart = -1;
    for (const pellor::CanSig& sig : msg.Signals()) {
      Check(sig.Length() >= 1 && sig.Length() <= 64);
      Check(sig.StartBit() >= 0 && sig.StartBit() <= 511);
      Check(sig.StartBit() >= lastStart);
      lastStart = sig.StartBit();
      Check(msg.FindSignal(sig.Name()) != nullptr);
      for (const pellor::CanNode& receiver : sig.Receivers()) Check(db.FindNode(receiver.Name()) != nullptr);
    }
  }
  CountingTree tree;
  db.FillTree(tree, 0);
}

// Every resolved link points to a multiplexor one level up; every other
// multiplexed signal carries a fault.
void CheckMultiplexing(const pellor::CDbBase& db) {
  for (const pellor::CanMsg& msg : db.Messages()) {
    const auto& signals = msg.Signals();
    std::vector<bool> leftOut(signals.Count());
    for (size_t i = 0; i < leftOut.size(); ++i) leftOut[i] = i % 7 == 3;  // as fields the import cannot read
    const std::vector<pellor::MuxLink> links = pellor::ResolveMultiplexing(msg, leftOut);
    Check(links.size() == signals.Count());
    for (size_t i = 0; i < links.size(); ++i) {
      const pellor::MuxLink& link = links[i];
      if (leftOut[i] || !signals[i].IsMultiplexed()) {
        Check(link.multiplexor < 0 && link.depth == 0 && link.fault == pellor::MuxFault::kNone);
        continue;
      }
      if (link.fault != pellor::MuxFault::kNone) continue;
      Check(link.multiplexor >= 0 && static_cast<size_t>(link.multiplexor) < links.size());
      const auto up = static_cast<size_t>(link.multiplexor);
      Check(!leftOut[up] && signals[up].IsMultiplexor() && links[up].fault == pellor::MuxFault::kNone);
      Check(link.depth == links[up].depth + 1 && !link.ranges.empty());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = TempPath();
  static const bool cleanup = [] {
    std::atexit([] { unlink(path.c_str()); });
    return true;
  }();
  (void)cleanup;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  pellor::CDbBase db;
  db.ReadDbcFile(path);
  Walk(db);  // also after a failed read: what was read stays and must hold together
  CheckMultiplexing(db);
  return 0;
}

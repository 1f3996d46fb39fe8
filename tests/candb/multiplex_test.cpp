// Who multiplexes whom in a message: the links that ResolveMultiplexing makes
// of indicators and SG_MUL_VAL_ lines, over small databases.
#include "pellor/candb/multiplex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using namespace pellor;

// What a signal's link should be: its multiplexor ("" for none), the ranges
// as "lo-hi,lo-hi", the depth and the fault.
struct Want {
  std::string signal;
  std::string multiplexor;
  std::string ranges;
  int32_t depth;
  MuxFault fault = MuxFault::kNone;
};

struct Case {
  const char* name;
  std::string sg;                    // the message's SG_ lines and what follows
  std::vector<std::string> leftOut;  // signals the caller drops
  std::vector<Want> want;
};

std::string Ranges(const std::vector<CanMuxRange>& ranges) {
  std::string out;
  for (const CanMuxRange& r : ranges) out += (out.empty() ? "" : ",") + std::to_string(r.lo) + "-" + std::to_string(r.hi);
  return out;
}

// An 8-bit Intel signal with an indicator ("" for none) at byte `byte`.
std::string Sg(const std::string& name, const std::string& indicator, int byte) {
  return " SG_ " + name + (indicator.empty() ? "" : " " + indicator) + " : " + std::to_string(8 * byte) +
         "|8@1+ (1,0) [0|0] \"\" X\n";
}

TEST(ResolveMultiplexing, Cases) {
  const Case cases[] = {
      {"simple multiplexing",
       Sg("Sel", "M", 0) + Sg("A", "m1", 1) + Sg("B", "m2", 2) + Sg("P", "", 3),
       {},
       {{"Sel", "", "", 0}, {"A", "Sel", "1-1", 1}, {"B", "Sel", "2-2", 1}, {"P", "", "", 0}}},
      {"cascaded multiplexing by SG_MUL_VAL_",
       Sg("MUX_A", "M", 0) + Sg("MUX_B", "m2M", 1) + Sg("S", "m0", 2) + Sg("T", "m2", 3) +
           "\nSG_MUL_VAL_ 1 MUX_B MUX_A 2-2;\nSG_MUL_VAL_ 1 S MUX_B 0-0;\nSG_MUL_VAL_ 1 T MUX_A 2-2;\n",
       {},
       {{"MUX_A", "", "", 0}, {"MUX_B", "MUX_A", "2-2", 1}, {"S", "MUX_B", "0-0", 2}, {"T", "MUX_A", "2-2", 1}}},
      {"value ranges replace the indicator's value",
       Sg("Sel", "M", 0) + Sg("A", "m1", 1) + Sg("B", "m2", 2) + "\nSG_MUL_VAL_ 1 A Sel 1-1, 3-3;\nSG_MUL_VAL_ 1 B Sel 2-5;\n",
       {},
       {{"A", "Sel", "1-1,3-3", 1}, {"B", "Sel", "2-5", 1}}},
      {"two top-level multiplexors, named",
       Sg("A", "M", 0) + Sg("B", "M", 1) + Sg("X", "m1", 2) + Sg("Y", "m0", 3) +
           "\nSG_MUL_VAL_ 1 X B 1-1;\nSG_MUL_VAL_ 1 Y A 0-0;\n",
       {},
       {{"X", "B", "1-1", 1}, {"Y", "A", "0-0", 1}}},
      {"two top-level multiplexors, none named", Sg("A", "M", 0) + Sg("B", "M", 1) + Sg("X", "m1", 2), {},
       {{"X", "", "", 0, MuxFault::kAmbiguous}}},
      {"m<k>M without SG_MUL_VAL_: the one top-level multiplexor selects all",
       Sg("A", "M", 0) + Sg("B", "m1M", 1) + Sg("C", "m2", 2), {},
       {{"B", "A", "1-1", 1}, {"C", "A", "2-2", 1}}},
      {"no multiplexor at all", Sg("C", "m2", 0) + Sg("P", "", 1), {},
       {{"C", "", "", 0, MuxFault::kNoMultiplexor}, {"P", "", "", 0}}},
      {"only multiplexed multiplexors", Sg("B", "m1M", 0) + Sg("C", "m2", 1), {},
       {{"B", "", "", 0, MuxFault::kNoMultiplexor}, {"C", "", "", 0, MuxFault::kNoMultiplexor}}},
      {"a multiplexor that the message lacks, and a signal that is none",
       Sg("Sel", "M", 0) + Sg("A", "m1", 1) + Sg("B", "m1", 2) + Sg("P", "", 3) +
           "\nSG_MUL_VAL_ 1 A Gone 1-1;\nSG_MUL_VAL_ 1 B P 1-1;\n",
       {},
       {{"A", "", "", 0, MuxFault::kMissing}, {"B", "", "", 0, MuxFault::kNotAMultiplexor}}},
      {"a cycle, a signal hanging on it, and a signal naming itself",
       Sg("A", "M", 0) + Sg("B", "m1M", 1) + Sg("C", "m1M", 2) + Sg("D", "m0", 3) + Sg("E", "m0M", 4) +
           "\nSG_MUL_VAL_ 1 B C 1-1;\nSG_MUL_VAL_ 1 C B 1-1;\nSG_MUL_VAL_ 1 D C 0-0;\nSG_MUL_VAL_ 1 E E 0-0;\n",
       {},
       {{"A", "", "", 0},
        {"B", "", "", 0, MuxFault::kCycle},
        {"C", "", "", 0, MuxFault::kCycle},
        {"D", "", "", 0, MuxFault::kUnresolved},
        {"E", "", "", 0, MuxFault::kCycle}}},
      {"a multiplexor the caller drops takes its chain with it",
       Sg("A", "M", 0) + Sg("B", "m1M", 1) + Sg("C", "m0", 2) + "\nSG_MUL_VAL_ 1 C B 0-0;\n", {"B"},
       {{"B", "", "", 0}, {"C", "", "", 0, MuxFault::kMissing}}},
      {"a dropped top-level multiplexor", Sg("A", "M", 0) + Sg("B", "m1M", 1) + Sg("C", "m0", 2) +
                                              "\nSG_MUL_VAL_ 1 C B 0-0;\n",
       {"A"},
       {{"B", "", "", 0, MuxFault::kMissing}, {"C", "", "", 0, MuxFault::kUnresolved}}},
      {"lines naming two multiplexors",
       Sg("A", "M", 0) + Sg("B", "M", 1) + Sg("X", "m1", 2) + "\nSG_MUL_VAL_ 1 X A 1-1;\nSG_MUL_VAL_ 1 X B 1-1;\n", {},
       {{"X", "", "", 0, MuxFault::kConflict}}},
      {"a four-deep cascade, written bottom up",
       Sg("D", "m3", 0) + Sg("C", "m2M", 1) + Sg("B", "m1M", 2) + Sg("A", "M", 3) +
           "\nSG_MUL_VAL_ 1 D C 3-3;\nSG_MUL_VAL_ 1 C B 2-2;\nSG_MUL_VAL_ 1 B A 1-1;\n",
       {},
       {{"A", "", "", 0}, {"B", "A", "1-1", 1}, {"C", "B", "2-2", 2}, {"D", "C", "3-3", 3}}},
  };
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("mux.dbc");
    testsupport::WriteFileBytes(path, "BO_ 1 M: 8 X\n" + c.sg);
    CDbBase db;
    ASSERT_TRUE(db.ReadDbcFile(path)) << db.LastError().reason;
    const CanMsg& message = db.Messages()[0];
    std::vector<bool> leftOut(message.Signals().Count());
    for (size_t i = 0; i < leftOut.size(); ++i)
      for (const std::string& name : c.leftOut) leftOut[i] = leftOut[i] || message.Signals()[i].Name() == name;
    const std::vector<MuxLink> links = ResolveMultiplexing(message, leftOut);
    ASSERT_EQ(links.size(), message.Signals().Count());
    for (const Want& w : c.want) {
      SCOPED_TRACE(w.signal);
      size_t i = 0;
      while (i < links.size() && message.Signals()[i].Name() != w.signal) ++i;
      ASSERT_LT(i, links.size());
      const MuxLink& link = links[i];
      EXPECT_EQ(link.fault, w.fault);
      if (w.fault != MuxFault::kNone) continue;
      EXPECT_EQ(link.multiplexor < 0 ? "" : message.Signals()[static_cast<size_t>(link.multiplexor)].Name(),
                w.multiplexor);
      EXPECT_EQ(Ranges(link.ranges), w.ranges);
      EXPECT_EQ(link.depth, w.depth);
    }
  }
}

}  // namespace

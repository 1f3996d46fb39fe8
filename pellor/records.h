// The records behind the signal and scalar objects: one per signal and one
// per scalar of an import, kept in numbered record lists. Field names follow
// the contract's properties; texts are capped at the contract's widths.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "importcore/fixed_text.h"
#include "importcore/host_types.h"
#include "importcore/record_list.h"
#include "mdf/value_array.h"

namespace mdf {
class CDGBlock;
class CCGBlock;
class CCNBlock;
}  // namespace mdf

namespace pellor {

using importcore::FixedText;
namespace width = importcore::width;

// Signal kinds (STyp) that this module writes.
namespace styp {
inline constexpr int32_t kSignal = 0;      // an ordinary signal over a time signal
inline constexpr int32_t kEquidistant = 3;  // its group's time signal could not be repaired
inline constexpr int32_t kDigital = 4;     // one-bit channels and value-text signals
inline constexpr int32_t kTime = 6;
}  // namespace styp

// Visibility (Ignore).
namespace ignore {
inline constexpr int32_t kShown = 0;
inline constexpr int32_t kHidden = 1;
inline constexpr int32_t kHiddenFaultyTime = 2;
}  // namespace ignore

// Type flags of a signal record.
inline constexpr uint32_t kConvertedToDouble = 1;  // values are delivered converted, as doubles

// One entry of a signal's value-text list; its number is its position, from 0.
struct ValueText {
  int32_t value = 0;
  std::string text;
};

// A signal's values held in memory: made by Read on a signal's first read (or
// by the loader), in the code `type`; `physical` when they are converted
// already. `counted` is what it added to the import's cached bytes, taken off
// again when it is freed.
struct ValueCache {
  // Not cleared when sized: whoever sizes it fills it.
  std::vector<uint8_t, mdf::LargeAllocator<uint8_t>> bytes;
  int32_t type = 0;
  bool valid = false;
  bool physical = false;
  uint64_t counted = 0;
};

struct SignalRecord : importcore::ListHeader {
  FixedText<width::kName> Name, Alias, DisplayName;
  std::vector<ValueText> valueTexts;
  FixedText<width::kLabel> Label;
  ValueCache cache;
  int32_t STyp = 0, DTyp = 0, BitSize = 0, Ignore = 0, ValuesPerBlock = 0, BlockOffset = 0, Demux = 0;
  double XMin = 0, XMax = 0, XFactor = 0, XOffset = 0;
  FixedText<width::kXUnit> XUnit;
  double YMin = 0, YMax = 0, YFactor = 0, YOffset = 0;
  FixedText<width::kYUnit> YUnit;
  int32_t axisValues = 0;  // 1 for time signals: handed to the data block when values are read converted
  double YDataMin = 0, YDataMax = 0, MinDelta = 0, MaxDelta = 0;
  int32_t IsUniDir = 0;
  double Sweep = 0;
  uint32_t NoOfValues = 0, Block0 = 0;
  FixedText<width::kName> XGrid, YGrid;
  double YStep = 0, YOrigin = 0;
  FixedText<width::kYUnit> YMUnit;
  double NoValue = 0;
  int32_t HasNoValue = 0;
  int32_t noValueSubstituted = 0;  // the channel's own invalid value was replaced by 1e308
  double tag_DM_PSEC = 0;
  FixedText<width::kLabel> tag_DM_DATYP, tag_DM_UNIT, tag_DM_SCMNT, tag_DM_CMNT, tag_GL_SHINT;
  FixedText<width::kName> XLink, CLink, XSignal, XLabel, YLabel;
  SignalRecord* timeRecord = nullptr;  // the signal's time signal; null for time signals
  // The signal's bytes in the flat data space: [rangeStart, rangeEnd).
  uint64_t rangeStart = 0, rangeEnd = 0;
  int32_t composedIndex = 0;  // first value in the file model's composed array
  mdf::CDGBlock* dataGroup = nullptr;
  mdf::CCGBlock* channelGroup = nullptr;
  mdf::CCNBlock* channel = nullptr;
  int32_t isTime = 0;
  int32_t iGroup = 0;
  uint32_t typeFlags = 0;
};

struct ScalarRecord : importcore::ListHeader {
  FixedText<width::kName> Name, DisplayName, Alias;
  FixedText<width::kLabel> Label;
  double Value = 0;
  FixedText<width::kScalarUnit> Unit;
  double XOffset = 0;
  int32_t STyp = 0, DTyp = 0, Ignore = 0;
};

// Values of these codes are read as doubles, whatever the channel stores.
inline bool ReadsDoubles(const SignalRecord& r) {
  return r.DTyp == importcore::dtyp::kFloat64 || r.DTyp == importcore::dtyp::kFloat64Alt;
}
// Doubles read converted: signals whose type flags say so, with the record's axis-values flag.
inline bool ReadsConverted(const SignalRecord& r) { return (r.typeFlags & kConvertedToDouble) != 0 && r.axisValues != 0; }
// Whether Read delivers the signal's values as physical (converted) doubles.
inline bool DeliversPhysical(const SignalRecord& r) { return ReadsDoubles(r) && ReadsConverted(r); }

using SignalList = importcore::RecordList<SignalRecord>;
using ScalarList = importcore::RecordList<ScalarRecord>;

// The lists of one import. Signal and scalar objects hold them weakly, so
// that an object asked after the import was released finds no record.
struct ImportLists {
  SignalList signals;
  ScalarList scalars;
};

}  // namespace pellor

// What an import of the Dravo module leaves for the host: the signal records
// in list order, one data block in which every signal's values lie in whole
// 512-byte blocks, the file comment and the table of named comments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dravo/data_block.h"
#include "importcore/fixed_text.h"
#include "importcore/record_list.h"

namespace dravo {

using importcore::FixedText;

inline constexpr uint32_t kImportBlockSize = 512;
inline constexpr int32_t kModuleVersion = 520;
inline constexpr double kNoValue = 1e308;
// The host reaches comment entries 0 to 254 as FileComment(1) to FileComment(255);
// the table holds 256.
inline constexpr size_t kCommentSlots = 256;
inline constexpr double kDefaultXMaxFactor = 2.0;
inline constexpr double kDefaultXMinFactor = 0.1;

// Host value types the module delivers.
inline constexpr int32_t kDTypUInt32 = 8;
inline constexpr int32_t kDTypInt32 = 9;
inline constexpr int32_t kDTypFloat = 11;
inline constexpr int32_t kDTypDouble = 13;
// Signal kinds.
inline constexpr int32_t kSTypSignal = 0;
inline constexpr int32_t kSTypDigital = 4;

// One channel's signal, with the field order and text widths of the signal object.
struct SignalRecord : importcore::ListHeader {
  FixedText<64> Name, Alias;
  FixedText<72> DisplayName;
  FixedText<256> Label;
  int32_t STyp = kSTypSignal, DTyp = kDTypFloat, Ignore = 0;
  int32_t ValuesPerBlock = kImportBlockSize / 4, BlockOffset = 0, Demux = 4;
  double XMin = 0, XMax = 0, XFactor = 0, XOffset = 0;
  FixedText<64> XUnit;
  double YMin = 0, YMax = 0, YFactor = 1.0, YOffset = 0;
  FixedText<64> YUnit;
  double MinDelta = 0, MaxDelta = 0, IsUniDir = 0;
  double Sweep = 0;
  uint32_t NoOfValues = 0, Block0 = 0;
  FixedText<64> XGrid, YGrid;
  double YStep = 0, YOrigin = 0;
  FixedText<64> YMUnit;
  double NoValue = kNoValue;
  double tag_DM_PSEC = 0;
  FixedText<256> tag_DM_DATYP, tag_DM_UNIT, tag_DM_SCMNT, tag_DM_CMNT, tag_GL_SHINT;
  FixedText<64> XLink, CLink, XSignal;
  // Set on a time signal whose values did not rise: they are repaired after conversion.
  bool timeCorrection = false;

  // Where the signal came from: the group's and the channel's number (from 1),
  // and the name as an identifier before the group's suffix.
  uint16_t group = 0, channel = 0;
  std::string identifier;

  // Bytes of one value in the data block.
  uint32_t ValueBytes() const { return static_cast<uint32_t>(Demux); }
};

struct CommentEntry {
  std::string text;
  std::string name;
};

struct ImportData {
  importcore::RecordList<SignalRecord> signals;
  DataBlock data;
  uint32_t dataSize = 0;
  uint32_t blockSize = 0;  // 512 after an import
  int32_t fileDate = 0;
  std::string name;                    // the file's base name, at most 63 characters
  std::string fileComment;             // at most 28 characters
  std::vector<CommentEntry> comments;  // at most kCommentSlots

  // The first byte of a signal's values.
  uint8_t* Values(const SignalRecord& s) const { return data.get() + uint64_t{s.Block0} * kImportBlockSize; }
};

}  // namespace dravo

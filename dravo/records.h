// The records behind the library's handles: an open file, an open channel
// group with its current record, and an open channel with what reading its
// values needs, worked out once when it is opened.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dravo/blocks.h"
#include "dravo/filelayer.h"

namespace dravo {

struct MdfGroupRecord;
struct MdfChannelRecord;

// Open modes of files and groups.
constexpr uint16_t kMdfOpenRead = 0;
constexpr uint16_t kMdfOpenModify = 1;
constexpr uint16_t kMdfOpenCreate = 2;

struct MdfFileRecord {
  uint32_t level = 0;
  std::string name;  // at most 128 characters
  std::unique_ptr<MdfFileHandle> handle;
  uint16_t mode = kMdfOpenRead;
  size_t groupCount = 0;  // channel groups along the DG chain, at most 65,535
  MdfBlock* id = nullptr;
  MdfBlock* hd = nullptr;
  std::vector<std::unique_ptr<MdfGroupRecord>> groups;  // in opening order
};

// How a channel's raw bits become a number, chosen once per channel.
enum class ValueKind : uint8_t {
  Unsigned,  // data types 0, 9, 13
  Signed,    // data types 1, 10, 14, sign-extended
  Float,     // data types 2, 3, 11, 12, 15, 16 of 32 bits: an IEEE single
  Double,    // the same types of 64 bits: an IEEE double
  VaxF,      // data type 4 of 32 bits
  VaxG,      // data type 5 of 64 bits
  VaxD,      // data type 6 of 64 bits
  Pause,     // data type 7: the pause time parsed from the record's text
  None,      // a layout the library cannot decode (MdfValueProblem says why)
};

// Why a channel's values cannot be read.
enum class MdfValueProblem : uint8_t {
  None,
  DataType,       // a data type without numbers: 8 (bytes) and above 16
  BitCount,       // a bit count the data type cannot have (a float not of 32 or 64 bits, 0 or over 64 bits)
  OutsideRecord,  // the field does not lie wholly in the record
};

struct ValuePlan;
// Reads a field's number from a record: one per kind and byte layout, chosen once per channel.
using FieldReader = double (*)(const ValuePlan& v, const uint8_t* record);

struct ValuePlan {
  ValueKind kind = ValueKind::None;
  FieldReader read = nullptr;  // null for Pause and None
  MdfValueProblem problem = MdfValueProblem::DataType;
  bool motorola = false;     // the field's bytes stand most significant first
  bool bitsReadable = false; // a field of 1 to 64 bits inside the record: its raw bits can be read and written
  uint32_t byteOffset = 0;   // start bit / 8 + the additional byte offset
  uint32_t bitPosition = 0;  // start bit mod 8
  uint32_t bits = 0;
  uint32_t bytes = 0;        // bytes the field spans (1 to 9)
  uint64_t mask = 0;
};

// How a number becomes a physical value, chosen once per channel.
struct ConversionPlan {
  uint16_t type = kConvIdentity;
  bool identity = true;
  std::array<double, 7> p{};       // P1 to P7, zero where the block holds none
  const uint8_t* table = nullptr;  // types 1 and 2: the pairs inside the CC image
  size_t pairs = 0;                // bounded by the image
  std::array<char, layout::cc::kFormulaChars + 1> formula{};  // type 10, edited in place by the evaluator
};

struct MdfChannelRecord {
  MdfGroupRecord* group = nullptr;
  MdfBlock* cn = nullptr;
  MdfBlock* cc = nullptr;  // null without CC
  // Counters are 0 whenever their epoch differs from the group's: loading a
  // record resets every counter of the group at once.
  uint32_t readCounter = 0;
  uint64_t readEpoch = 0;
  uint32_t writeCounter = 0;
  uint64_t writeEpoch = 0;
  ValuePlan value;
  ConversionPlan conversion;
};

struct MdfGroupRecord {
  MdfFileRecord* file = nullptr;
  uint16_t mode = kMdfOpenRead;
  uint16_t number = 0;
  MdfBlock* dg = nullptr;
  MdfBlock* cg = nullptr;
  MdfBlock* timeCn = nullptr;
  MdfBlock* timeCc = nullptr;
  std::vector<MdfBlock*> cns;  // the CG's CN chain; its length is the channel count
  size_t dgGroups = 0;         // channel groups in the DG's CG chain
  uint16_t recordIds = 0;      // the DG's record-id count (0, 1 or 2)
  // Bytes each record id spans in the data (the record, and the trailing id
  // with two ids); -1 for an id of no channel group in the DG. The first CG
  // in the chain with an id wins.
  std::array<int32_t, 256> idLength{};
  // Current record: position (at its leading id byte), number, and its bytes:
  // the leading id, the record, the trailing id and 8 zero bytes.
  size_t recordSize = 0;
  uint32_t recordPosition = 0;
  uint32_t recordNumber = 0;
  std::vector<uint8_t> buffer;
  uint64_t loadEpoch = 1;   // raised by every load: resets read and write counters
  uint64_t writeEpoch = 1;  // raised by every load and write: resets write counters
  bool writesPending = false;  // a channel wrote since the write counters were last reset
  std::vector<std::unique_ptr<MdfChannelRecord>> channels;  // open channels, in opening order

  uint8_t* Record() { return buffer.data() + 1; }
  const uint8_t* Record() const { return buffer.data() + 1; }
  uint32_t RecordCount() const { return cg->U32(layout::cg::kRecordCount); }
  uint32_t DataLink() const { return dg->U32(layout::dg::kData); }
};

}  // namespace dravo

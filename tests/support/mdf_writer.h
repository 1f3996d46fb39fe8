// Writes MDF 3.x files for tests, block by block.
//
// MdfWriter appends blocks (or puts them at chosen positions) into a byte
// string and returns each block's offset, so that links can be given at once
// or patched in later. Nothing is checked: the writer writes what it is told,
// which is how tests make damaged files (bad links, cycles, short block
// lengths, truncated data). BuildFile() covers the common case of a complete,
// valid file with a few data groups and records.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Field offsets from the start of each block, and the blocks' fixed sizes.
namespace id {
inline constexpr uint32_t kFileId = 0;       // char[8]
inline constexpr uint32_t kFormatId = 8;     // char[8]
inline constexpr uint32_t kProgramId = 16;   // char[8]
inline constexpr uint32_t kByteOrder = 24;   // UINT16
inline constexpr uint32_t kFloatFormat = 26; // UINT16
inline constexpr uint32_t kVersion = 28;     // UINT16
inline constexpr uint32_t kSize = 64;
}  // namespace id

// Every block but ID begins with a 2-character identifier and a UINT16 length.
namespace head {
inline constexpr uint32_t kIdent = 0;
inline constexpr uint32_t kLength = 2;
inline constexpr uint32_t kSize = 4;
}  // namespace head

namespace hd {
inline constexpr uint32_t kFirstDg = 4;
inline constexpr uint32_t kComment = 8;
inline constexpr uint32_t kProgram = 12;
inline constexpr uint32_t kDgCount = 16;       // UINT16
inline constexpr uint32_t kDate = 18;          // char[10]
inline constexpr uint32_t kTime = 28;          // char[8]
inline constexpr uint32_t kAuthor = 36;        // char[32]
inline constexpr uint32_t kOrganisation = 68;  // char[32]
inline constexpr uint32_t kProject = 100;      // char[32]
inline constexpr uint32_t kSubject = 132;      // char[32]
inline constexpr uint32_t kStartTime = 164;    // UINT64 ns since 1970
inline constexpr uint32_t kUtcOffset = 172;    // INT16 hours
inline constexpr uint32_t kTimeQuality = 174;  // UINT16
inline constexpr uint32_t kTimerId = 176;      // char[32]
inline constexpr uint32_t kSize = 208;
}  // namespace hd

namespace tx {
inline constexpr uint32_t kText = 4;
}  // namespace tx

namespace pr {
inline constexpr uint32_t kData = 4;
inline constexpr uint16_t kEscapeLength = 0xFFFF;
}  // namespace pr

namespace dg {
inline constexpr uint32_t kNext = 4;
inline constexpr uint32_t kFirstCg = 8;
inline constexpr uint32_t kTrigger = 12;
inline constexpr uint32_t kData = 16;
inline constexpr uint32_t kCgCount = 20;    // UINT16
inline constexpr uint32_t kRecordIds = 22;  // UINT16
inline constexpr uint32_t kReserved = 24;   // UINT32
inline constexpr uint32_t kSize = 28;
}  // namespace dg

namespace cg {
inline constexpr uint32_t kNext = 4;
inline constexpr uint32_t kFirstCn = 8;
inline constexpr uint32_t kComment = 12;
inline constexpr uint32_t kRecordId = 16;     // UINT16
inline constexpr uint32_t kCnCount = 18;      // UINT16
inline constexpr uint32_t kRecordSize = 20;   // UINT16
inline constexpr uint32_t kRecordCount = 22;  // UINT32
inline constexpr uint32_t kSize = 26;
}  // namespace cg

namespace cn {
inline constexpr uint32_t kNext = 4;
inline constexpr uint32_t kConversion = 8;
inline constexpr uint32_t kExtension = 12;
inline constexpr uint32_t kDependency = 16;
inline constexpr uint32_t kComment = 20;
inline constexpr uint32_t kChannelType = 24;   // UINT16: 0 data, 1 time
inline constexpr uint32_t kName = 26;          // char[32]
inline constexpr uint32_t kDescription = 58;   // char[128]
inline constexpr uint32_t kStartBit = 186;     // UINT16
inline constexpr uint32_t kBits = 188;         // UINT16
inline constexpr uint32_t kDataType = 190;     // UINT16
inline constexpr uint32_t kRangeValid = 192;   // UINT16
inline constexpr uint32_t kMinRaw = 194;       // REAL
inline constexpr uint32_t kMaxRaw = 202;       // REAL
inline constexpr uint32_t kSampleRate = 210;   // REAL, seconds
inline constexpr uint32_t kLongName = 218;     // LINK TX
inline constexpr uint32_t kDisplayName = 222;  // LINK TX
inline constexpr uint32_t kByteOffset = 226;   // UINT16 additional byte offset
inline constexpr uint32_t kSize = 228;
}  // namespace cn

namespace cc {
inline constexpr uint32_t kRangeValid = 4;  // UINT16
inline constexpr uint32_t kMinPhys = 6;     // REAL
inline constexpr uint32_t kMaxPhys = 14;    // REAL
inline constexpr uint32_t kUnit = 22;       // char[20]
inline constexpr uint32_t kType = 42;       // UINT16
inline constexpr uint32_t kSize = 44;       // UINT16 parameter or entry count
inline constexpr uint32_t kParams = 46;
inline constexpr uint32_t kFormulaSize = 256;     // type 10: char[256]
inline constexpr uint32_t kTextEntrySize = 40;    // type 11: REAL, char[32]
inline constexpr uint32_t kRangeEntrySize = 20;   // type 12: REAL, REAL, LINK
// Offset of the text link of entry i of a text-range table (entry 0 is the default range).
constexpr uint32_t RangeTextLink(uint32_t i) { return kParams + i * kRangeEntrySize + 16; }
}  // namespace cc

namespace ce {
inline constexpr uint32_t kType = 4;  // UINT16
inline constexpr uint32_t kBody = 6;
inline constexpr uint32_t kMaxKept = 128;
}  // namespace ce

// Data types of a channel (CN data type field).
namespace dt {
inline constexpr uint16_t kUInt = 0, kInt = 1, kFloat = 2, kDouble = 3;
inline constexpr uint16_t kText = 7, kBytes = 8;
inline constexpr uint16_t kUIntMotorola = 9, kIntMotorola = 10;
inline constexpr uint16_t kFloatMotorola = 11, kDoubleMotorola = 12;
inline constexpr uint16_t kUIntIntel = 13, kIntIntel = 14, kFloatIntel = 15, kDoubleIntel = 16;
}  // namespace dt

// Block placement: kAppend puts the block at the current end of the file.
inline constexpr uint32_t kAppend = 0xFFFFFFFFu;

// blockLength in a spec is the value of the head's length field; 0 means the
// block's natural length. The whole image is written even when the length is
// shorter; a longer length pads the block with zeros.
struct IdSpec {
  std::string fileId = "MDF     ";
  std::string formatId = "3.30    ";
  std::string programId = "KESTRAVO";
  uint16_t byteOrder = 0;
  uint16_t floatFormat = 0;
  uint16_t version = 330;
};

struct HdSpec {
  uint32_t firstDg = 0, comment = 0, program = 0;
  uint16_t dgCount = 0;
  std::string date = "10:12:2024";
  std::string time = "09:30:00";
  std::string author{}, organisation{}, project{}, subject{};
  uint64_t startTimeNs = 0;
  int16_t utcOffsetHours = 0;
  uint16_t timeQuality = 0;
  std::string timerId{};
  uint16_t blockLength = 0;
};

struct DgSpec {
  uint32_t next = 0, firstCg = 0, trigger = 0, data = 0;
  uint16_t cgCount = 1;
  uint16_t recordIds = 0;  // 0, 1 (id before each record) or 2 (before and after)
  uint32_t reserved = 0;
  uint16_t blockLength = 0;
};

struct CgSpec {
  uint32_t next = 0, firstCn = 0, comment = 0;
  uint16_t recordId = 0;
  uint16_t cnCount = 0;
  uint16_t recordSize = 0;  // bytes, record ids excluded
  uint32_t recordCount = 0;
  uint16_t blockLength = 0;
};

struct CnSpec {
  uint32_t next = 0, conversion = 0, extension = 0, dependency = 0, comment = 0;
  uint16_t channelType = 0;  // 0 data, 1 time
  std::string name{};         // written into char[32], cut to 32 bytes
  std::string description{};  // char[128]
  uint16_t startBit = 0;
  uint16_t bits = 16;
  uint16_t dataType = dt::kUInt;
  uint16_t rangeValid = 0;
  double minRaw = 0, maxRaw = 0;
  double sampleRate = 0;
  uint32_t longName = 0, displayName = 0;
  uint16_t byteOffset = 0;  // additional byte offset
  uint16_t blockLength = 0;
};

// One entry of a text-range table. With `text` set the writer adds a TX block
// for it and links it; otherwise `textLink` is written as given.
struct CcRange {
  double lower = 0, upper = 0;
  std::optional<std::string> text{};
  uint32_t textLink = 0;
};

// A conversion block. Which members are written depends on `type`:
//   0, 6, 7, 8, 9, 65535: params (REALs in file order)
//   1, 2: pairs (raw, physical)
//   10: formula (char[256])
//   11: textTable (REAL, char[32])
//   12: ranges (entry 0 is the default range)
//   132, 133 and any other type: raw (bytes as given)
// `size` defaults to the count the type implies.
struct CcSpec {
  uint16_t rangeValid = 0;
  double minPhys = 0, maxPhys = 0;
  std::string unit{};
  uint16_t type = 65535;
  std::optional<uint16_t> size{};
  std::vector<double> params{};
  std::vector<std::pair<double, double>> pairs{};
  std::string formula{};
  std::vector<std::pair<double, std::string>> textTable{};
  std::vector<CcRange> ranges{};
  std::string raw{};
  uint16_t blockLength = 0;
};

CcSpec CcLinear(double factor, double offset, const std::string& unit = "");
CcSpec CcTable(std::vector<std::pair<double, double>> pairs, bool interpolate, const std::string& unit = "");
CcSpec CcPolynomial(std::vector<double> p1to6, const std::string& unit = "");    // type 6
CcSpec CcExponential(std::vector<double> p1to7, const std::string& unit = "");   // type 7
CcSpec CcLogarithmic(std::vector<double> p1to7, const std::string& unit = "");   // type 8
CcSpec CcRational(std::vector<double> p1to6, const std::string& unit = "");      // type 9
CcSpec CcFormula(const std::string& formula, const std::string& unit = "");      // type 10
CcSpec CcTextTable(std::vector<std::pair<double, std::string>> entries);         // type 11
// Type 12: the default range (0, 0) with the default text (no text: link 0), then the ranges.
CcSpec CcTextRange(std::optional<std::string> defaultText, std::vector<CcRange> ranges);
// Type 132: 7 bytes; type 133: 6 bytes.
CcSpec CcDate(uint16_t ms, uint8_t minute, uint8_t hour, uint8_t day, uint8_t month, uint8_t year);
CcSpec CcTime(uint16_t ms, uint8_t minute, uint8_t hour, uint8_t day);
CcSpec CcIdentity(uint16_t size = 0);  // type 65535
CcSpec CcOther(uint16_t type, std::string rawParams = "");

// A channel extension: its type and the bytes from offset 6 on.
struct CeSpec {
  uint16_t type = 0;
  std::string body{};
  uint16_t blockLength = 0;  // 0: 6 + body size
};

CeSpec CeModule(uint16_t type, uint16_t module, uint32_t address, const std::string& description,
                const std::string& ecuId);  // types 2, 7, 9, 12, 13, 18
CeSpec CeCan(uint32_t canId, uint32_t canChannel, const std::string& message,
             const std::string& sender);  // type 19
CeSpec CeFactor(uint16_t type, uint16_t channel, double factor, double offset,
                uint16_t module);  // types 1, 14
CeSpec CeMessage(uint16_t type, uint16_t module, uint16_t identifier, const std::string& message,
                 const std::string& sender, uint16_t quotient);  // types 3, 15
CeSpec CeSource(uint16_t type, const std::string& source, uint16_t port,
                uint16_t address);  // types 4, 5, 8, 10, 11
CeSpec CeAcquisition(uint16_t module, uint32_t address, const std::string& description,
                     const std::string& identification, uint16_t kind,
                     uint16_t quotient);  // type 6
CeSpec CeIdent(uint16_t type, const std::string& text);  // types 0, 16, 17

// Program block contents.
struct TimeInfoRecord {
  int32_t key = 0;
  double min = 0, max = 0, fac = 0, ofs = 0, minD = 0, maxD = 0;
  int32_t flag = 0;
  std::string unit{};  // char[24]
};
std::string TimeInfoRecordBytes(const TimeInfoRecord& r);  // 80 bytes
// The header record: key -1, old PR data size at 4, old PR data position at 52.
std::string TimeInfoHeaderRecordBytes(int32_t oldSize, int32_t oldPosition);
// "Zephanor time-stamp descriptors" (char[32]), the version text (char[14]), then the records.
std::string TimeInfoData(const std::vector<std::string>& records,
                         const std::string& version = "Version  3.00");

struct SjScalar { std::string name{}, unit{}; double value = 0; };
struct SjCurve { std::string name{}, unit{}; std::vector<double> x{}, y{}; };
struct SjMap { std::string name{}, unit{}; uint16_t nx = 0, ny = 0; std::vector<double> values{}, xs{}, ys{}; };
struct SjFault { uint16_t a = 0, b = 0; std::string label{}, text{}, bytes{}; };
struct SjJob { uint16_t number = 0, type = 0; std::string label{}, text{}, bytes{}; };
struct SpecialJob {
  std::vector<SjScalar> scalars{};
  std::vector<SjCurve> curves{};
  std::vector<SjMap> maps{};
  std::vector<SjFault> faults{};
  std::vector<SjJob> jobs{};
};
std::string SpecialJobData(const SpecialJob& sj);
// 4 bytes (UINT32 block length), the identification text with its NUL padded to
// 64 bytes, 4 zero bytes, INT32 text length and the text "name, value\n...;".
std::string NuvestoData(const std::string& identification,
                        const std::vector<std::pair<std::string, std::string>>& lines);

// `value` as n little-endian bytes, for hand-made blocks and data.
std::string LeBytes(uint64_t value, size_t n);

enum class ByteOrder { Intel, Motorola };

// One record's bytes (record ids excluded). Values are or-ed into place, so
// fields may share bytes. Bytes beyond the record size grow the record.
class Record {
 public:
  explicit Record(uint32_t size = 0) : bytes_(size, '\0') {}
  // An integer of `bits` bits (1..64) at `startBit`, plus `byteOffset` whole bytes.
  // Motorola: the field's bytes are reversed, as the readers undo it.
  Record& PutUInt(uint32_t startBit, uint32_t bits, uint64_t value,
                  ByteOrder order = ByteOrder::Intel, uint32_t byteOffset = 0);
  Record& PutInt(uint32_t startBit, uint32_t bits, int64_t value,
                 ByteOrder order = ByteOrder::Intel, uint32_t byteOffset = 0);
  Record& PutF32(uint32_t startBit, float value, ByteOrder order = ByteOrder::Intel,
                 uint32_t byteOffset = 0);
  Record& PutF64(uint32_t startBit, double value, ByteOrder order = ByteOrder::Intel,
                 uint32_t byteOffset = 0);
  // Text in `width` bytes (NUL-padded, cut at width) at byte startBit / 8.
  Record& PutText(uint32_t startBit, uint32_t width, const std::string& text,
                  uint32_t byteOffset = 0);
  // A value in the channel's place and data type; integers are rounded.
  // Text channels take Put(cn, text).
  Record& Put(const CnSpec& cn, double value);
  Record& Put(const CnSpec& cn, const std::string& text);
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// The record as stored in a data group with `idCount` record ids (0, 1, 2):
// the id byte before the record, and for 2 also after it.
std::string StoredRecord(const std::string& body, uint8_t recordId, uint16_t idCount);

class MdfWriter {
 public:
  // Writes the ID block at offset 0.
  explicit MdfWriter(const IdSpec& id = {});

  // Each Add* writes one block at `at` (kAppend: the end of the file; a
  // position past the end pads with zeros) and returns its offset.
  uint32_t AddHd(const HdSpec& s, uint32_t at = kAppend);
  uint32_t AddTx(const std::string& text, uint32_t at = kAppend);  // length 4 + text + NUL
  uint32_t AddPr(const std::string& data, uint32_t at = kAppend);  // length 4 + data
  // Any length field, e.g. pr::kEscapeLength before data that begin with their UINT32 length.
  uint32_t AddPrWithLength(const std::string& data, uint16_t blockLength, uint32_t at = kAppend);
  uint32_t AddDg(const DgSpec& s, uint32_t at = kAppend);
  uint32_t AddCg(const CgSpec& s, uint32_t at = kAppend);
  uint32_t AddCn(const CnSpec& s, uint32_t at = kAppend);
  // Range texts of a type-12 table are appended after the CC and linked.
  uint32_t AddCc(const CcSpec& s, uint32_t at = kAppend);
  uint32_t AddCe(const CeSpec& s, uint32_t at = kAppend);
  // Any bytes (records, foreign blocks).
  uint32_t AddBytes(const std::string& bytes, uint32_t at = kAppend);

  // Link fields are UINT32 at block + field.
  void SetLink(uint32_t block, uint32_t field, uint32_t target) { PatchU32(block + field, target); }
  void PatchU8(uint32_t at, uint8_t v);
  void PatchU16(uint32_t at, uint16_t v);
  void PatchU32(uint32_t at, uint32_t v);
  void PatchU64(uint32_t at, uint64_t v);
  void PatchF64(uint32_t at, double v);
  void PatchBytes(uint32_t at, const std::string& bytes);

  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }
  void Truncate(uint32_t size) { bytes_.resize(size); }
  const std::string& Bytes() const { return bytes_; }
  void Save(const std::string& path) const;

 private:
  uint32_t Place(uint32_t at, const std::string& block);
  std::string bytes_;
};

// ---- A whole file in one call ----

struct ChannelDef {
  CnSpec cn{};  // links are filled in by BuildFile
  std::optional<CcSpec> cc{};
  std::optional<CeSpec> ce{};
  std::string comment{}, longName{}, displayName{};  // empty: no TX
  // Raw value of record r (conversions are not inverted).
  std::function<double(uint32_t)> value{};
  std::function<std::string(uint32_t)> text{};  // for text channels
};

struct GroupDef {
  std::vector<ChannelDef> channels{};
  uint32_t records = 0;
  uint16_t recordIds = 0;
  uint16_t recordId = 1;
  std::string comment{};
  // Put each channel at the next free byte (its startBit is ignored);
  // otherwise start bits are kept as given.
  bool autoLayout = true;
  uint16_t recordSize = 0;  // 0: up to the end of the last field
};

struct FileDef {
  IdSpec id{};
  HdSpec hd{};  // links and data-group count are filled in
  std::string fileComment{};
  std::optional<std::string> programData{};
  std::vector<GroupDef> groups{};
};

// Offsets of what BuildFile wrote, for later patching.
struct BuiltGroup {
  uint32_t dg = 0, cg = 0, data = 0;
  std::vector<uint32_t> cn{}, cc{}, ce{};  // cc/ce: 0 where none
  uint16_t recordSize = 0;
};
struct BuiltFile {
  MdfWriter writer{};
  uint32_t hd = 0, comment = 0, program = 0;
  std::vector<BuiltGroup> groups{};
};

// The group's channels with their start bits as BuildFile places them, and
// its record size.
std::vector<CnSpec> LayOutChannels(const GroupDef& g, uint16_t* recordSize);
struct BuiltGroup;
// Writes the channels `cns` of `g` (as LayOutChannels gives them) as the CN
// chain of the CG at b->cg, each with its CC, CE and texts, and notes their
// offsets in `b`.
void AddChannels(MdfWriter& w, const GroupDef& g, const std::vector<CnSpec>& cns, BuiltGroup* b);

// Order: ID, HD, file comment, PR, then per group DG, CG, its comment, each CN
// with its CC, CE and texts, and the group's records.
BuiltFile BuildFile(const FileDef& def);

// `groups` groups, each with a time channel "time" (double seconds, step 0.01)
// and `channels` data channels "sig<g>_<c>" (g, c from 1; UINT16, value
// (r * c) mod 65536 in record r), `records` records each, no conversions,
// written by `programId`. Change what a test needs before BuildFile.
FileDef SimpleFileDef(uint32_t groups, uint32_t channels, uint32_t records,
                      const std::string& programId = "KESTRAVO");

}  // namespace testsupport

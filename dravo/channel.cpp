// Channels: opening them, reading their values record by record, converting
// them, and writing channels and values.
#include <algorithm>
#include <bit>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "dravo/internal.h"
#include "dravo/library.h"
#include "dravo/mdflib.h"
#include "dravo/text.h"
#include "dravo/vaxfloat.h"
#include "mdf/formula.h"

namespace dravo {

namespace {

// The text of a string channel stands at this byte of the record, whatever its start bit.
constexpr uint32_t kPauseTextOffset = 8;

uint64_t FieldMask(uint32_t bits) { return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1; }

// ---- Reading the raw bits ----

// The 8 bytes at p, the first one most significant.
inline uint64_t LoadBigEndian64(const uint8_t* p) { return __builtin_bswap64(LoadU64(p)); }

// The field's bits, in its byte order; only for a field with readable bits.
// The record buffer holds 9 bytes from any byte of the record on, so the
// loads may pass the field: what lies beyond it is shifted or masked off.
// Nine: the field spans 9 bytes (a bit position and more than 56 bits).
template <bool Motorola, bool Nine>
inline uint64_t FieldBits(const ValuePlan& v, const uint8_t* record) {
  const uint8_t* p = record + v.byteOffset;
  uint64_t raw;
  if constexpr (!Motorola) {
    raw = LoadU64(p) >> v.bitPosition;
    if constexpr (Nine) raw |= uint64_t{p[8]} << (64 - v.bitPosition);
  } else if constexpr (!Nine) {
    // The field's bytes as one number, the first byte highest, then the bit position from its lowest bit.
    raw = (LoadBigEndian64(p) >> (64 - 8 * v.bytes)) >> v.bitPosition;
  } else {
    raw = (LoadBigEndian64(p) << (8 - v.bitPosition)) | (p[8] >> v.bitPosition);
  }
  return raw & v.mask;
}

uint64_t RawBits(const ValuePlan& v, const uint8_t* record) {
  const bool nine = v.bytes > 8;
  if (v.motorola) return nine ? FieldBits<true, true>(v, record) : FieldBits<true, false>(v, record);
  return nine ? FieldBits<false, true>(v, record) : FieldBits<false, false>(v, record);
}

// A field's number by its kind, one function per kind and byte layout.
template <ValueKind Kind, bool Motorola, bool Nine>
double ReadField(const ValuePlan& v, const uint8_t* record) {
  const uint64_t raw = FieldBits<Motorola, Nine>(v, record);
  if constexpr (Kind == ValueKind::Unsigned) {
    return static_cast<double>(raw);
  } else if constexpr (Kind == ValueKind::Signed) {
    const unsigned unused = 64 - v.bits;
    return static_cast<double>(static_cast<int64_t>(raw << unused) >> unused);
  } else if constexpr (Kind == ValueKind::Float) {
    return std::bit_cast<float>(static_cast<uint32_t>(raw));
  } else if constexpr (Kind == ValueKind::Double) {
    return std::bit_cast<double>(raw);
  } else if constexpr (Kind == ValueKind::VaxF) {
    return std::bit_cast<float>(mdf::vax::FToIeee(static_cast<uint32_t>(raw)));
  } else if constexpr (Kind == ValueKind::VaxG) {
    return std::bit_cast<double>(mdf::vax::GToIeee(raw));
  } else {
    return std::bit_cast<double>(mdf::vax::DToIeee(raw));
  }
}

template <ValueKind Kind>
FieldReader PickReader(bool motorola, bool nine) {
  if (motorola) return nine ? &ReadField<Kind, true, true> : &ReadField<Kind, true, false>;
  return nine ? &ReadField<Kind, false, true> : &ReadField<Kind, false, false>;
}

FieldReader ReaderOf(const ValuePlan& v) {
  const bool nine = v.bytes > 8;
  switch (v.kind) {
    case ValueKind::Unsigned: return PickReader<ValueKind::Unsigned>(v.motorola, nine);
    case ValueKind::Signed: return PickReader<ValueKind::Signed>(v.motorola, nine);
    case ValueKind::Float: return PickReader<ValueKind::Float>(v.motorola, nine);
    case ValueKind::Double: return PickReader<ValueKind::Double>(v.motorola, nine);
    case ValueKind::VaxF: return PickReader<ValueKind::VaxF>(false, nine);
    case ValueKind::VaxG: return PickReader<ValueKind::VaxG>(false, nine);
    case ValueKind::VaxD: return PickReader<ValueKind::VaxD>(false, nine);
    default: return nullptr;
  }
}

// A minimal scanner for the pause comments: a blank in the format matches any
// run of blanks (none included), "%d" an optionally signed decimal that fits
// 32 bits, anything else itself. Returns the fields converted.
int ScanFields(std::string_view text, std::string_view format, int* fields) {
  size_t t = 0;
  int converted = 0;
  auto skipBlanks = [&] {
    while (t < text.size() && std::isspace(static_cast<unsigned char>(text[t]))) ++t;
  };
  for (size_t f = 0; f < format.size(); ++f) {
    const char c = format[f];
    if (std::isspace(static_cast<unsigned char>(c))) {
      skipBlanks();
    } else if (c == '%' && f + 1 < format.size() && format[f + 1] == 'd') {
      ++f;
      skipBlanks();
      bool negative = false;
      if (t < text.size() && (text[t] == '+' || text[t] == '-')) negative = text[t++] == '-';
      const size_t first = t;
      int64_t value = 0;
      while (t < text.size() && text[t] >= '0' && text[t] <= '9') {
        value = value * 10 + (text[t++] - '0');
        if (value > int64_t{INT_MAX} + 1) return converted;
      }
      if (t == first) return converted;
      value = negative ? -value : value;
      if (value > INT_MAX) return converted;
      fields[converted++] = static_cast<int>(value);
    } else {
      if (t >= text.size() || text[t] != c) return converted;
      ++t;
    }
  }
  return converted;
}

// The seconds of a pause comment at byte 8 of the record; false when the
// text there is none, or names no month of the year.
bool PauseSeconds(const uint8_t* record, size_t recordSize, uint32_t* seconds) {
  if (recordSize <= kPauseTextOffset) return false;
  const auto* begin = reinterpret_cast<const char*>(record + kPauseTextOffset);
  const std::string_view text(begin, strnlen(begin, recordSize - kPauseTextOffset));
  int f[7] = {};
  const int* date = f;
  if (text.starts_with("PauseNo:")) {
    if (ScanFields(text, "PauseNo: %d\r\nDate: %d.%d.%d   Time: %d:%d:%d\r\n", f) != 7) return false;
    date = f + 1;
  } else if (ScanFields(text, "PauseEnd\r\nDate: %d.%d.%d   Time: %d:%d:%d\r\n", f) != 6) {
    return false;
  }
  if (date[1] < 1 || date[1] > 12) return false;
  *seconds = MdfDateTimeToSeconds(date[0], date[1], date[2], date[3], date[4], date[5]);
  return true;
}

// The raw value as an unsigned 32-bit number: the field's lowest 32 bits, or
// for data type 7 the pause time (0 for a text that is no pause comment).
uint32_t RawValue(const MdfChannelRecord& channel) {
  const MdfGroupRecord& group = *channel.group;
  if (channel.value.kind == ValueKind::Pause) {
    uint32_t seconds = 0;
    return PauseSeconds(group.Record(), group.recordSize, &seconds) ? seconds : 0;
  }
  return static_cast<uint32_t>(RawBits(channel.value, group.Record()));
}

constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();

// The channel's number before conversion; NaN for a record without one (a
// text that is no pause comment). Only for a channel whose values can be read.
inline double ChannelValue(const MdfChannelRecord& channel) {
  const ValuePlan& v = channel.value;
  const MdfGroupRecord& group = *channel.group;
  if (v.read) return v.read(v, group.Record());
  uint32_t seconds = 0;
  return PauseSeconds(group.Record(), group.recordSize, &seconds) ? seconds : kNoNumber;
}

// ---- Conversions ----

double TableLookup(const ConversionPlan& c, double x) {
  const size_t n = c.pairs;
  if (n == 0) return x;
  auto xi = [&](size_t i) { return LoadF64(c.table + i * layout::cc::kPairSize); };
  auto yi = [&](size_t i) { return LoadF64(c.table + i * layout::cc::kPairSize + 8); };
  if (x <= xi(0)) return yi(0);
  if (x >= xi(n - 1)) return yi(n - 1);
  size_t lo = 0, hi = n - 1;
  while (hi - lo > 1) {
    const size_t mid = (lo + hi) / 2;
    const double xm = xi(mid);
    if (x < xm) hi = mid;
    else if (x == xm) return yi(mid);
    else lo = mid;
  }
  if (c.type == kConvTableInterp) return yi(lo) + (x - xi(lo)) * (yi(hi) - yi(lo)) / (xi(hi) - xi(lo));
  return xi(hi) - x < x - xi(lo) ? yi(hi) : yi(lo);
}

double Convert(ConversionPlan& c, double x) {
  if (c.identity) return x;
  const auto& p = c.p;  // p[0] is P1
  switch (c.type) {
    case kConvLinear: return x * p[1] + p[0];
    case kConvTableInterp:
    case kConvTable: return TableLookup(c, x);
    case kConvPolynomial: return (p[1] - p[3] * (x - p[4])) / (p[2] * (x - p[4]) - p[0]);
    case kConvExponential:
      if (p[3] == 0) return std::log(((x - p[6]) * p[5] - p[2]) / p[0]) / p[1];
      if (p[0] == 0) return std::log((p[2] / (x - p[6]) - p[5]) / p[3]) / p[4];
      return x;
    case kConvLogarithmic:
      if (p[3] == 0) return std::exp(((x - p[6]) * p[5] - p[2]) / p[0]) / p[1];
      if (p[0] == 0) return std::exp((p[2] / (x - p[6]) - p[5]) / p[3]) / p[4];
      return x;
    case kConvRational: return (p[0] * x * x + p[1] * x + p[2]) / (p[3] * x * x + p[4] * x + p[5]);
    case kConvFormula: {
      double result = 0.0;
      mdf::EvaluateFormula(x, std::span<char>(c.formula), &result);
      return result;
    }
    default: return x;
  }
}

// The raw value that the conversion maps to `y`; 0 where it has none.
double InverseTable(const ConversionPlan& c, double y) {
  for (size_t i = 0; i < c.pairs; ++i) {
    const double x0 = LoadF64(c.table + i * layout::cc::kPairSize), y0 = LoadF64(c.table + i * layout::cc::kPairSize + 8);
    if (y == y0) return x0;
    if (i + 1 == c.pairs) break;
    const double x1 = LoadF64(c.table + (i + 1) * layout::cc::kPairSize);
    const double y1 = LoadF64(c.table + (i + 1) * layout::cc::kPairSize + 8);
    if ((y - y0) * (y - y1) >= 0) continue;  // not between them
    if (c.type == kConvTableInterp) return x0 + (y - y0) * (x1 - x0) / (y1 - y0);
    return std::fabs(y1 - y) < std::fabs(y - y0) ? x1 : x0;
  }
  return 0.0;
}

double Divide(double a, double b) { return b == 0 ? 0.0 : a / b; }

double InverseConvert(const MdfChannelRecord& channel, double y) {
  if (!channel.cc) return y;
  const ConversionPlan& c = channel.conversion;
  const auto& p = c.p;
  switch (c.type) {
    case kConvLinear: return Divide(y - p[0], p[1]);
    case kConvTableInterp:
    case kConvTable: return InverseTable(c, y);
    case kConvPolynomial: return Divide(p[1] + y * p[0], y * p[2] + p[3]) + p[4];
    case kConvExponential:
      if (p[3] == 0) return Divide(std::exp(y * p[1]) * p[0] + p[2], p[5]) + p[6];
      if (p[0] == 0) return Divide(p[2], std::exp(y * p[4]) * p[3] + p[5]) + p[6];
      return 0.0;
    case kConvLogarithmic:
      if (p[3] == 0) return Divide(std::log(y * p[1]) * p[0] + p[2], p[5]) + p[6];
      if (p[0] == 0) return Divide(p[2], std::log(y * p[4]) * p[3] + p[5]) + p[6];
      return 0.0;
    case kConvTextTable:
    case kConvIdentity: return y;
    default: return 0.0;
  }
}

// ---- Writing the raw bits ----

// Puts `raw` into the field's bits, in its byte order; only for a field with
// readable bits.
void PutBits(const ValuePlan& v, uint8_t* record, uint64_t raw) {
  uint8_t* p = record + v.byteOffset;
  unsigned __int128 word = 0;
  for (uint32_t i = 0; i < v.bytes; ++i)
    word |= static_cast<unsigned __int128>(p[v.motorola ? v.bytes - 1 - i : i]) << (8 * i);
  const unsigned __int128 mask = static_cast<unsigned __int128>(v.mask) << v.bitPosition;
  word = (word & ~mask) | ((static_cast<unsigned __int128>(raw & v.mask) << v.bitPosition) & mask);
  for (uint32_t i = 0; i < v.bytes; ++i) p[v.motorola ? v.bytes - 1 - i : i] = static_cast<uint8_t>(word >> (8 * i));
}

// Truncates toward zero into the range of a 64-bit integer; NaN gives 0.
int64_t Truncate(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775807.0) return INT64_MAX;
  if (value <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(value);
}

// Whether SetChannelValue can store a number in the channel's field.
bool ValueWritable(const ValuePlan& v) {
  switch (v.kind) {
    case ValueKind::Unsigned:
    case ValueKind::Signed:
    case ValueKind::Float:
    case ValueKind::Double:
    case ValueKind::VaxF: return true;
    default: return false;
  }
}

void SetChannelValue(MdfChannelRecord& channel, double value) {
  const ValuePlan& v = channel.value;
  uint8_t* record = channel.group->Record();
  switch (v.kind) {
    case ValueKind::Unsigned:
    case ValueKind::Signed: PutBits(v, record, static_cast<uint64_t>(Truncate(value))); break;
    case ValueKind::Float: PutBits(v, record, std::bit_cast<uint32_t>(static_cast<float>(value))); break;
    case ValueKind::VaxF: PutBits(v, record, mdf::vax::IeeeToF(std::bit_cast<uint32_t>(static_cast<float>(value)))); break;
    case ValueKind::Double: PutBits(v, record, std::bit_cast<uint64_t>(value)); break;
    default: break;
  }
}

// ---- Reading and writing move the group ----

uint32_t ReadCount(const MdfChannelRecord& c) { return c.readEpoch == c.group->loadEpoch ? c.readCounter : 0; }
uint32_t WriteCount(const MdfChannelRecord& c) { return c.writeEpoch == c.group->writeEpoch ? c.writeCounter : 0; }

MdfStatus AdvanceRead(MdfChannelRecord& channel) {
  MdfGroupRecord& group = *channel.group;
  const uint32_t count = ReadCount(channel);
  if (count != 0) {
    if (group.mode == kMdfOpenModify && group.writesPending)
      if (MdfStatus s = WriteRecord(group)) return s;
    if (MdfStatus s = SeekRecord(group, 1, kMdfSeekRelative)) return s;
  }
  channel.readCounter = ReadCount(channel) + 1;
  channel.readEpoch = group.loadEpoch;
  return kMdfOk;
}

// Writes the group's current record when a value of the channel is pending:
// appended behind the last record of a new group, else written back in place
// and, when `moveOn`, the group goes one record on. Closing a channel only
// writes, so that a write to the last record does not end in "no record".
MdfStatus CommitWrite(MdfChannelRecord& channel, bool moveOn) {
  if (WriteCount(channel) == 0) return kMdfOk;
  MdfGroupRecord& group = *channel.group;
  if (group.mode == kMdfOpenCreate && group.recordNumber == group.RecordCount()) {
    if (MdfStatus s = AppendRecord(group)) return s;
    const uint64_t position = uint64_t{group.recordPosition} + group.recordSize + group.recordIds;
    if (position > kMdfMaxPosition) return MdfReportError(kMdfErrFileFormat);
    ++group.recordNumber;
    group.recordPosition = static_cast<uint32_t>(position);
    return kMdfOk;
  }
  if (MdfStatus s = WriteRecord(group)) return s;
  return moveOn ? SeekRecord(group, 1, kMdfSeekRelative) : kMdfOk;
}

MdfStatus AdvanceWrite(MdfChannelRecord& channel) {
  if (MdfStatus s = CommitWrite(channel, true)) return s;
  MdfGroupRecord& group = *channel.group;
  channel.writeCounter = WriteCount(channel) + 1;
  channel.writeEpoch = group.writeEpoch;
  group.writesPending = true;
  return kMdfOk;
}

// ---- Opening ----

// Data types 0 to 3 take the byte order of the file's ID block (0 Intel,
// any other value Motorola), 9 to 12 are Motorola and 13 to 16 Intel. The
// field starts at start bit / 8 plus the additional byte offset.
void PlanValue(MdfChannelRecord& channel) {
  const MdfBlock& cn = *channel.cn;
  const MdfGroupRecord& group = *channel.group;
  ValuePlan& v = channel.value;
  v = ValuePlan{};
  const uint32_t startBit = cn.U16(layout::cn::kStartBit);
  const uint32_t bits = cn.U16(layout::cn::kBits);
  const uint16_t type = cn.U16(layout::cn::kDataType);
  const bool fileMotorola = group.file && group.file->id && group.file->id->U16(layout::id::kByteOrder) != 0;
  v.byteOffset = startBit / 8 + cn.U16(layout::cn::kByteOffset);
  v.bitPosition = startBit % 8;
  v.bits = bits;
  v.motorola = (type >= kDataTypeUnsignedMotorola && type <= kDataTypeDoubleMotorola) ||
               (type <= kDataTypeDouble && fileMotorola);
  const bool integerBits = bits >= 1 && bits <= 64;
  ValueKind kind = ValueKind::None;
  v.problem = MdfValueProblem::BitCount;
  switch (type) {
    case kDataTypeUnsigned:
    case kDataTypeUnsignedMotorola:
    case kDataTypeUnsignedIntel:
      if (integerBits) kind = ValueKind::Unsigned;
      break;
    case kDataTypeSigned:
    case kDataTypeSignedMotorola:
    case kDataTypeSignedIntel:
      if (integerBits) kind = ValueKind::Signed;
      break;
    case kDataTypeFloat:
    case kDataTypeDouble:
    case kDataTypeFloatMotorola:
    case kDataTypeDoubleMotorola:
    case kDataTypeFloatIntel:
    case kDataTypeDoubleIntel:
      if (bits == 32) kind = ValueKind::Float;
      if (bits == 64) kind = ValueKind::Double;
      break;
    case kDataTypeVaxF:
      if (bits == 32) kind = ValueKind::VaxF;
      break;
    case kDataTypeVaxG:
      if (bits == 64) kind = ValueKind::VaxG;
      break;
    case kDataTypeVaxD:
      if (bits == 64) kind = ValueKind::VaxD;
      break;
    case kDataTypeString: kind = ValueKind::Pause; break;
    default: v.problem = MdfValueProblem::DataType; break;
  }
  if (integerBits) {
    v.mask = FieldMask(bits);
    v.bytes = (v.bitPosition + bits + 7) / 8;
    const size_t recordSize = group.recordSize;
    v.bitsReadable = v.byteOffset < recordSize && v.bytes <= recordSize - v.byteOffset;
  }
  // A pause comment is read from the record's text, wherever the field is.
  if (kind != ValueKind::None && kind != ValueKind::Pause && !v.bitsReadable) {
    kind = ValueKind::None;
    v.problem = MdfValueProblem::OutsideRecord;
  }
  v.kind = kind;
  if (kind != ValueKind::None) v.problem = MdfValueProblem::None;
  v.read = ReaderOf(v);
}

void PlanConversion(MdfChannelRecord& channel) {
  ConversionPlan& c = channel.conversion;
  c = ConversionPlan{};
  if (!channel.cc) return;
  const MdfBlock& cc = *channel.cc;
  using namespace layout::cc;
  c.type = cc.U16(kType);
  const uint32_t size = cc.Size();
  for (uint32_t i = 0; i < c.p.size(); ++i) {
    const uint32_t offset = kParams + 8 * i;
    c.p[i] = offset + 8 <= size ? cc.F64(offset) : 0.0;
  }
  switch (c.type) {
    case kConvLinear:
    case kConvPolynomial:
    case kConvExponential:
    case kConvLogarithmic:
    case kConvRational: c.identity = false; break;
    case kConvTableInterp:
    case kConvTable:
      c.identity = false;
      c.table = cc.Data() + kParams;
      c.pairs = std::min<size_t>(cc.U16(kCount), size > kParams ? (size - kParams) / kPairSize : 0);
      break;
    case kConvFormula: {
      c.identity = false;
      const size_t available = cc.image.size() > kParams ? cc.image.size() - kParams : 0;
      const size_t n = strnlen(reinterpret_cast<const char*>(cc.Data() + kParams), std::min<size_t>(kFormulaChars, available));
      std::memcpy(c.formula.data(), cc.Data() + kParams, n);
      break;
    }
    default: break;
  }
}

MdfStatus OpenChannelRecord(MdfChannelRecord** out, MdfGroupRecord& group, MdfBlock& cn) {
  auto channel = std::make_unique<MdfChannelRecord>();
  channel->group = &group;
  channel->cn = &cn;
  if (MdfStatus s = MdfResolveLink(cn, layout::cn::kConversion, &channel->cc)) return s;
  if (channel->cc && channel->cc->kind != BlockKind::Cc) channel->cc = nullptr;
  PlanChannel(*channel);
  *out = channel.get();
  group.channels.push_back(std::move(channel));
  return kMdfOk;
}

// The first CN of the group for which `match` holds, opened.
template <class Match>
MdfStatus OpenFirst(MdfChannelRecord** out, MdfGroupRecord& group, Match&& match, MdfStatus missing) {
  for (MdfBlock* cn : group.cns)
    if (match(*cn)) return OpenChannelRecord(out, group, *cn);
  return missing;
}

std::string ChannelName(const MdfBlock& cn) { return cn.Text(layout::cn::kName, layout::cn::kNameChars); }

MdfStatus ChannelComment(const MdfChannelRecord& channel, std::string* text) {
  MdfBlock* tx = nullptr;
  if (MdfStatus s = MdfResolveLink(*channel.cn, layout::cn::kComment, &tx)) return s;
  *text = tx ? tx->BodyText() : std::string();
  return kMdfOk;
}

MdfStatus SetComment(MdfBlock& block, uint32_t field, const std::string& text) {
  MdfBlock* tx = nullptr;
  if (!text.empty())
    if (MdfStatus s = MdfCreateTextBlock(&tx, text.size(), text)) return s;
  return MdfSetLink(block, field, 0, tx);
}

MdfStatus SetChannelInfo(MdfChannelRecord& channel, const char* name, const char* description, const char* comment) {
  MdfBlock& cn = *channel.cn;
  if (name) cn.SetText(layout::cn::kName, layout::cn::kNameChars, name);
  if (description) cn.SetText(layout::cn::kDescription, layout::cn::kDescriptionChars, description);
  return comment ? SetComment(cn, layout::cn::kComment, comment) : kMdfOk;
}

// A new CN at the end of the group's chain, with its field behind the others.
MdfStatus CreateChannel(MdfChannelRecord** out, MdfGroupRecord& group, uint16_t channelType, uint16_t bits,
                        uint16_t dataType, const std::string& name) {
  if (dataType == kDataTypeFloat || dataType == kDataTypeVaxF) bits = 32;
  if (dataType == kDataTypeDouble || dataType == kDataTypeVaxD || dataType == kDataTypeVaxG) bits = 64;
  size_t startBit = 0;
  for (const MdfBlock* other : group.cns)
    startBit = std::max<size_t>(startBit, size_t{other->U16(layout::cn::kStartBit)} + other->U16(layout::cn::kBits));
  if (startBit % 8 != 0 && startBit % 8 + bits > 8) startBit = (startBit + 7) / 8 * 8;
  const size_t recordSize = std::max<size_t>(group.cg->U16(layout::cg::kRecordSize), (startBit + bits + 7) / 8);
  const size_t channels = size_t{group.cg->U16(layout::cg::kCnCount)} + 1;
  if (startBit > 0xFFFF || recordSize > 0xFFFF || channels > 0xFFFF || group.cns.size() >= 0xFFFF)
    return MdfReportError(kMdfErrFileFormat);
  MdfBlock* cn = nullptr;
  if (MdfStatus s = MdfCreateBlock(BlockKind::Cn, &cn)) return s;
  using namespace layout::cn;
  cn->SetU16(kChannelType, channelType);
  cn->SetU16(kStartBit, static_cast<uint16_t>(startBit));
  cn->SetU16(kBits, bits);
  cn->SetU16(kDataType, dataType);
  cn->SetText(kName, kNameChars, name);
  MdfBlock& previous = group.cns.empty() ? *group.cg : *group.cns.back();
  if (MdfStatus s = MdfSetLink(previous, group.cns.empty() ? layout::cg::kFirstCn : kNext, 0, cn)) return s;
  group.cns.push_back(cn);
  group.cg->SetU16(layout::cg::kRecordSize, static_cast<uint16_t>(recordSize));
  group.cg->SetU16(layout::cg::kCnCount, static_cast<uint16_t>(channels));
  if (channelType == kChannelTypeTime) {
    group.timeCn = cn;
    group.timeCc = nullptr;
  }
  MakeRecordBuffer(group);
  for (auto& open : group.channels) PlanChannel(*open);
  MdfChannelRecord* channel = nullptr;
  if (MdfStatus s = OpenChannelRecord(&channel, group, *cn)) return s;
  channel->readCounter = 1;
  channel->readEpoch = group.loadEpoch;
  *out = channel;
  return kMdfOk;
}

// Links a new CC block of that type to the channel.
MdfStatus SetConversion(MdfChannelRecord& channel, uint16_t type, const std::string& unit,
                        std::span<const double> parameters) {
  size_t count = 0;
  switch (type) {
    case kConvLinear: count = 2; break;
    case kConvPolynomial: count = 6; break;
    case kConvExponential:
    case kConvLogarithmic: count = 7; break;
    default: {
      char detail[32];
      std::snprintf(detail, sizeof detail, "(id=%d)", type);
      return MdfReportError(kMdfUnknownFormulaType, detail);
    }
  }
  MdfBlock* cc = nullptr;
  if (MdfStatus s = MdfCreateConversionBlock(&cc, type, static_cast<uint16_t>(count))) return s;
  if (MdfStatus s = MdfSetLink(*channel.cn, layout::cn::kConversion, 0, cc)) return s;
  channel.cc = cc;
  cc->SetU16(layout::cc::kRangeValid, 0);
  cc->SetF64(layout::cc::kMinPhys, 0.0);
  cc->SetF64(layout::cc::kMaxPhys, 0.0);
  cc->SetText(layout::cc::kUnit, layout::cc::kUnitChars, unit);
  for (size_t i = 0; i < count; ++i)
    cc->SetF64(static_cast<uint32_t>(layout::cc::kParams + 8 * i), i < parameters.size() ? parameters[i] : 0.0);
  PlanConversion(channel);
  return kMdfOk;
}

}  // namespace

void PlanChannel(MdfChannelRecord& channel) {
  PlanValue(channel);
  PlanConversion(channel);
}

uint32_t MdfDateTimeToSeconds(int day, int month, int year, int hour, int minute, int second) {
  static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  // 28800: the zone offset the library never changes; 315532800: 1970 to 1980.
  int64_t seconds = 28800 + int64_t{315532800};
  const int64_t y = int64_t{year} - 1980;
  const int64_t blocks = y >= 0 ? y / 4 : -((-y + 3) / 4);
  const int64_t inBlock = y - blocks * 4;
  seconds += blocks * 126230400 + inBlock * 31536000 + (inBlock != 0 ? 86400 : 0);
  int64_t days = int64_t{day} - 1;
  for (int m = 0; m < month - 1; ++m) days += kMonthDays[m];
  int64_t hours = days * 24 + hour;
  if (hours >= 2834 && hours < 7106) hours -= 1;  // daylight saving, always applied
  if (month > 2 && year % 4 == 0) hours += 24;
  seconds += hours * 3600 + int64_t{minute} * 60 + second;
  return static_cast<uint32_t>(static_cast<uint64_t>(seconds));
}

MdfStatus CloseChannel(MdfChannelRecord* channel) {
  if (Lib().recordedError == 0)
    if (MdfStatus s = CommitWrite(*channel, false)) return s;
  auto& channels = channel->group->channels;
  std::erase_if(channels, [channel](const auto& c) { return c.get() == channel; });
  return kMdfOk;
}

MdfStatus MdfOpenChannel(MdfChannelRecord** channel, MdfGroupRecord* group, uint16_t number) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    if (number == 0 || number > group->cns.size()) return MdfReportError(kMdfChannelNotFound);
    MdfChannelRecord* opened = nullptr;
    const MdfStatus s = OpenChannelRecord(&opened, *group, *group->cns[number - 1]);
    if (s == kMdfOk && channel) *channel = opened;
    return s;
  });
}

MdfStatus MdfOpenTimeChannel(MdfChannelRecord** channel, MdfGroupRecord* group) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    MdfChannelRecord* opened = nullptr;
    const MdfStatus s = OpenFirst(
        &opened, *group, [](const MdfBlock& cn) { return cn.U16(layout::cn::kChannelType) == kChannelTypeTime; },
        kMdfTimeChannelNotFound);
    if (s == kMdfTimeChannelNotFound) return MdfReportError(s);
    if (s == kMdfOk && channel) *channel = opened;
    return s;
  });
}

MdfStatus MdfOpenChannelByType(MdfChannelRecord** channel, MdfGroupRecord* group, uint16_t channelType) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    MdfChannelRecord* opened = nullptr;
    const MdfStatus s = OpenFirst(
        &opened, *group, [&](const MdfBlock& cn) { return cn.U16(layout::cn::kChannelType) == channelType; },
        kMdfChannelNotFound);
    if (s == kMdfChannelNotFound) return MdfReportError(s);
    if (s == kMdfOk && channel) *channel = opened;
    return s;
  });
}

MdfStatus MdfOpenChannelByName(MdfChannelRecord** channel, MdfGroupRecord* group, const std::string& name) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    MdfStatus s = kMdfNameNotFound;
    MdfChannelRecord* opened = nullptr;
    for (bool ignoreCase : {false, true}) {
      s = OpenFirst(
          &opened, *group,
          [&](const MdfBlock& cn) {
            return cn.U16(layout::cn::kChannelType) != kChannelTypeTime &&
                   MdfCompare(ChannelName(cn), name, layout::cn::kNameChars, ignoreCase) == 0;
          },
          kMdfNameNotFound);
      if (s != kMdfNameNotFound) break;
    }
    if (s == kMdfOk && channel) *channel = opened;
    return s;
  });
}

MdfStatus MdfCloseChannel(MdfChannelRecord* channel) {
  return RunEntry(EntryKind::Closing, [channel] { return channel ? CloseChannel(channel) : kMdfOk; });
}

MdfStatus MdfGetChannelInfo(MdfChannelRecord* channel, MdfChannelInfo* info) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (!info) return kMdfOk;
    const MdfBlock& cn = *channel->cn;
    MdfChannelInfo result;
    result.channelType = cn.U16(layout::cn::kChannelType);
    result.bits = cn.U16(layout::cn::kBits);
    result.dataType = cn.U16(layout::cn::kDataType);
    result.name = ChannelName(cn);
    result.description = cn.Text(layout::cn::kDescription, layout::cn::kDescriptionChars);
    if (MdfStatus s = ChannelComment(*channel, &result.comment)) return s;
    *info = std::move(result);
    return kMdfOk;
  });
}

namespace {

template <class T>
MdfStatus InfoField(MdfChannelRecord* channel, T* out, T MdfChannelInfo::*member) {
  MdfChannelInfo info;
  const MdfStatus s = MdfGetChannelInfo(channel, &info);
  if (s == kMdfOk && out) *out = std::move(info.*member);
  return s;
}

}  // namespace

MdfStatus MdfGetChannelType(MdfChannelRecord* c, uint16_t* v) { return InfoField(c, v, &MdfChannelInfo::channelType); }
MdfStatus MdfGetChannelBits(MdfChannelRecord* c, uint16_t* v) { return InfoField(c, v, &MdfChannelInfo::bits); }
MdfStatus MdfGetChannelDataType(MdfChannelRecord* c, uint16_t* v) { return InfoField(c, v, &MdfChannelInfo::dataType); }
MdfStatus MdfGetChannelName(MdfChannelRecord* c, std::string* v) { return InfoField(c, v, &MdfChannelInfo::name); }
MdfStatus MdfGetChannelDescription(MdfChannelRecord* c, std::string* v) {
  return InfoField(c, v, &MdfChannelInfo::description);
}
MdfStatus MdfGetChannelComment(MdfChannelRecord* c, std::string* v) { return InfoField(c, v, &MdfChannelInfo::comment); }

MdfStatus MdfGetValue(double* value, MdfChannelRecord* channel) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (channel->value.kind == ValueKind::None) return kMdfErrValueType;
    if (MdfStatus s = AdvanceRead(*channel)) return s;
    const double v = Convert(channel->conversion, ChannelValue(*channel));
    if (value) *value = v;
    return kMdfOk;
  });
}

MdfStatus MdfGetValues(double* values, MdfChannelRecord* const* channels, size_t count) {
  return RunEntry(EntryKind::Checked, [&] {
    for (size_t i = 0; i < count; ++i) {
      MdfChannelRecord* channel = channels[i];
      if (!channel) return kMdfErrChannelHandle;
      if (channel->value.kind == ValueKind::None) return kMdfErrValueType;
      if (MdfStatus s = AdvanceRead(*channel)) return s;
      values[i] = Convert(channel->conversion, ChannelValue(*channel));
    }
    return kMdfOk;
  });
}

MdfStatus MdfCheckChannelValues(MdfChannelRecord* channel, MdfValueProblem* problem) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (problem) *problem = channel->value.problem;
    return channel->value.kind == ValueKind::None ? kMdfErrValueType : kMdfOk;
  });
}

MdfStatus MdfReadRawValue(uint32_t* raw, MdfChannelRecord* channel) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (!channel->value.bitsReadable && channel->value.kind != ValueKind::Pause) return kMdfErrValueType;
    if (MdfStatus s = AdvanceRead(*channel)) return s;
    if (raw) *raw = RawValue(*channel);
    return kMdfOk;
  });
}

MdfStatus MdfReadChannelValue(double* value, MdfChannelRecord* channel) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (channel->value.kind == ValueKind::None) return kMdfErrValueType;
    if (MdfStatus s = AdvanceRead(*channel)) return s;
    if (value) *value = ChannelValue(*channel);
    return kMdfOk;
  });
}

MdfStatus MdfFirstChannel(MdfGroupRecord* group, MdfChannelRecord** channel) {
  return RunEntry(EntryKind::Checked, [&] {
    if (channel) *channel = nullptr;
    if (!group || group->channels.empty()) return kMdfNoFurtherChannel;
    if (channel) *channel = group->channels.front().get();
    return kMdfOk;
  });
}

MdfStatus MdfNextChannel(MdfChannelRecord** channel) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel || !*channel) return kMdfNoFurtherChannel;
    const auto& channels = (*channel)->group->channels;
    const auto it = std::find_if(channels.begin(), channels.end(), [&](const auto& c) { return c.get() == *channel; });
    if (it == channels.end() || std::next(it) == channels.end()) {
      *channel = nullptr;
      return kMdfNoFurtherChannel;
    }
    *channel = std::next(it)->get();
    return kMdfOk;
  });
}

MdfStatus MdfCreateChannel(MdfChannelRecord** channel, MdfGroupRecord* group, uint16_t channelType, uint16_t bits,
                           uint16_t dataType, const std::string& name) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    MdfChannelRecord* created = nullptr;
    const MdfStatus s = CreateChannel(&created, *group, channelType, bits, dataType, name);
    if (s == kMdfOk && channel) *channel = created;
    return s;
  });
}

MdfStatus MdfCopyChannel(MdfChannelRecord** channel, MdfGroupRecord* group, MdfChannelRecord* source) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!group) return kMdfErrGroupHandle;
    if (!source) return kMdfErrChannelHandle;
    const MdfBlock& from = *source->cn;
    MdfChannelRecord* created = nullptr;
    if (MdfStatus s = CreateChannel(&created, *group, from.U16(layout::cn::kChannelType), from.U16(layout::cn::kBits),
                                    from.U16(layout::cn::kDataType), ChannelName(from)))
      return s;
    std::string comment;
    if (MdfStatus s = ChannelComment(*source, &comment)) return s;
    const std::string description = from.Text(layout::cn::kDescription, layout::cn::kDescriptionChars);
    if (MdfStatus s = SetChannelInfo(*created, nullptr, description.c_str(), comment.c_str())) return s;
    for (uint32_t field : {layout::cn::kConversion, layout::cn::kExtension}) {
      MdfBlock* original = nullptr;
      if (MdfStatus s = MdfResolveLink(*source->cn, field, &original)) return s;
      if (!original) continue;
      MdfBlock* copy = nullptr;
      if (MdfStatus s = MdfCloneBlock(&copy, *original)) return s;
      if (MdfStatus s = MdfSetLink(*created->cn, field, 0, copy)) return s;
      if (field == layout::cn::kConversion) created->cc = copy;
    }
    PlanConversion(*created);
    if (channel) *channel = created;
    return kMdfOk;
  });
}

MdfStatus MdfSetChannelInfo(MdfChannelRecord* channel, const char* name, const char* description,
                            const char* comment) {
  return RunEntry(EntryKind::Checked, [&] {
    return channel ? SetChannelInfo(*channel, name, description, comment) : kMdfErrChannelHandle;
  });
}

MdfStatus MdfSetChannelName(MdfChannelRecord* c, const char* v) { return MdfSetChannelInfo(c, v, nullptr, nullptr); }
MdfStatus MdfSetChannelDescription(MdfChannelRecord* c, const char* v) {
  return MdfSetChannelInfo(c, nullptr, v, nullptr);
}
MdfStatus MdfSetChannelComment(MdfChannelRecord* c, const char* v) { return MdfSetChannelInfo(c, nullptr, nullptr, v); }

MdfStatus MdfWriteRawValue(MdfChannelRecord* channel, uint32_t raw) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (!channel->value.bitsReadable) return kMdfErrValueType;
    if (MdfStatus s = AdvanceWrite(*channel)) return s;
    PutBits(channel->value, channel->group->Record(), raw);
    return kMdfOk;
  });
}

MdfStatus MdfWriteChannelValue(MdfChannelRecord* channel, double value) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (!ValueWritable(channel->value)) return kMdfErrValueType;
    if (MdfStatus s = AdvanceWrite(*channel)) return s;
    SetChannelValue(*channel, value);
    return kMdfOk;
  });
}

MdfStatus MdfWriteValue(MdfChannelRecord* channel, double value) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    if (!ValueWritable(channel->value)) return kMdfErrValueType;
    if (MdfStatus s = AdvanceWrite(*channel)) return s;
    SetChannelValue(*channel, InverseConvert(*channel, value));
    return kMdfOk;
  });
}

MdfStatus MdfGetConversion(MdfChannelRecord* channel, uint16_t* type, std::string* unit,
                           std::span<const uint8_t>* parameters) {
  return RunEntry(EntryKind::Checked, [&] {
    if (!channel) return kMdfErrChannelHandle;
    MdfBlock* cc = nullptr;
    if (MdfStatus s = MdfResolveLink(*channel->cn, layout::cn::kConversion, &cc)) return s;
    if (!cc || cc->kind != BlockKind::Cc) return kMdfNoFormula;
    if (type) *type = cc->U16(layout::cc::kType);
    if (unit) *unit = cc->Text(layout::cc::kUnit, layout::cc::kUnitChars);
    if (parameters) {
      const size_t end = std::max<size_t>(cc->Size(), layout::cc::kParams);
      *parameters = std::span<const uint8_t>(cc->Data() + layout::cc::kParams, end - layout::cc::kParams);
    }
    return kMdfOk;
  });
}

MdfStatus MdfSetConversion(MdfChannelRecord* channel, uint16_t type, const std::string& unit,
                           std::span<const double> parameters) {
  return RunEntry(EntryKind::Checked, [&] {
    return channel ? SetConversion(*channel, type, unit, parameters) : kMdfErrChannelHandle;
  });
}

MdfStatus MdfSetLinearConversion(MdfChannelRecord* channel, const std::string& unit, double p1, double p2) {
  const double p[] = {p1, p2};
  return MdfSetConversion(channel, kConvLinear, unit, p);
}
MdfStatus MdfSetPolynomialConversion(MdfChannelRecord* channel, const std::string& unit, std::span<const double, 6> p) {
  return MdfSetConversion(channel, kConvPolynomial, unit, p);
}
MdfStatus MdfSetExponentialConversion(MdfChannelRecord* channel, const std::string& unit,
                                      std::span<const double, 7> p) {
  return MdfSetConversion(channel, kConvExponential, unit, p);
}
MdfStatus MdfSetLogarithmicConversion(MdfChannelRecord* channel, const std::string& unit,
                                      std::span<const double, 7> p) {
  return MdfSetConversion(channel, kConvLogarithmic, unit, p);
}

}  // namespace dravo

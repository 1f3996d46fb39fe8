#include "tests/support/mdf_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace {

// A block image of fixed size with little-endian field writers.
class Image {
 public:
  explicit Image(size_t size) : b_(size, '\0') {}
  Image& U8(size_t at, uint8_t v) { return Raw(at, std::string(1, static_cast<char>(v))); }
  Image& U16(size_t at, uint16_t v) { return Le(at, v, 2); }
  Image& I16(size_t at, int16_t v) { return Le(at, static_cast<uint16_t>(v), 2); }
  Image& U32(size_t at, uint32_t v) { return Le(at, v, 4); }
  Image& I32(size_t at, int32_t v) { return Le(at, static_cast<uint32_t>(v), 4); }
  Image& U64(size_t at, uint64_t v) { return Le(at, v, 8); }
  Image& F64(size_t at, double v) { return Le(at, std::bit_cast<uint64_t>(v), 8); }
  // A character field: the text cut to `width`, the rest zero.
  Image& Chars(size_t at, const std::string& text, size_t width) {
    return Raw(at, text.substr(0, std::min(text.size(), width)));
  }
  // A NUL-terminated text within `room` bytes.
  Image& CStr(size_t at, const std::string& text, size_t room) {
    return room ? Chars(at, text, room - 1) : *this;
  }
  Image& Raw(size_t at, const std::string& bytes) {
    if (at + bytes.size() > b_.size()) b_.resize(at + bytes.size(), '\0');
    std::copy(bytes.begin(), bytes.end(), b_.begin() + static_cast<std::ptrdiff_t>(at));
    return *this;
  }
  Image& Head(const char* ident, uint16_t length) {
    return Raw(0, std::string(ident, 2)).U16(head::kLength, length);
  }
  // Grows the image to at least `size` bytes.
  Image& Pad(size_t size) {
    if (b_.size() < size) b_.resize(size, '\0');
    return *this;
  }
  const std::string& Str() const { return b_; }

 private:
  Image& Le(size_t at, uint64_t v, int n) {
    std::string s(static_cast<size_t>(n), '\0');
    for (int i = 0; i < n; ++i) s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return Raw(at, s);
  }
  std::string b_;
};

std::string Le16(uint16_t v) { return Image(2).U16(0, v).Str(); }
std::string Le32(uint32_t v) { return Image(4).U32(0, v).Str(); }
std::string Le64(double v) { return Image(8).F64(0, v).Str(); }

// A fixed block: its image padded to the block length when that is larger.
std::string Block(Image img, uint16_t blockLength) { return img.Pad(blockLength).Str(); }

uint16_t LengthOr(uint16_t given, size_t natural) {
  return given ? given : static_cast<uint16_t>(natural);
}

CcSpec CcParams(uint16_t type, std::vector<double> p, const std::string& unit) {
  CcSpec s;
  s.type = type;
  s.params = std::move(p);
  s.unit = unit;
  return s;
}

}  // namespace

std::string LeBytes(uint64_t value, size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n && i < 8; ++i) s[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return s;
}

// ---- Conversions ----

CcSpec CcLinear(double factor, double offset, const std::string& unit) {
  return CcParams(0, {offset, factor}, unit);
}
CcSpec CcTable(std::vector<std::pair<double, double>> pairs, bool interpolate,
               const std::string& unit) {
  CcSpec s;
  s.type = interpolate ? 1 : 2;
  s.pairs = std::move(pairs);
  s.unit = unit;
  return s;
}
CcSpec CcPolynomial(std::vector<double> p, const std::string& unit) { return CcParams(6, std::move(p), unit); }
CcSpec CcExponential(std::vector<double> p, const std::string& unit) { return CcParams(7, std::move(p), unit); }
CcSpec CcLogarithmic(std::vector<double> p, const std::string& unit) { return CcParams(8, std::move(p), unit); }
CcSpec CcRational(std::vector<double> p, const std::string& unit) { return CcParams(9, std::move(p), unit); }
CcSpec CcFormula(const std::string& formula, const std::string& unit) {
  CcSpec s;
  s.type = 10;
  s.formula = formula;
  s.unit = unit;
  return s;
}
CcSpec CcTextTable(std::vector<std::pair<double, std::string>> entries) {
  CcSpec s;
  s.type = 11;
  s.textTable = std::move(entries);
  return s;
}
CcSpec CcTextRange(std::optional<std::string> defaultText, std::vector<CcRange> ranges) {
  CcSpec s;
  s.type = 12;
  s.ranges.push_back(CcRange{0, 0, std::move(defaultText), 0});
  s.ranges.insert(s.ranges.end(), ranges.begin(), ranges.end());
  return s;
}
CcSpec CcDate(uint16_t ms, uint8_t minute, uint8_t hour, uint8_t day, uint8_t month, uint8_t year) {
  Image img(7);
  img.U16(0, ms).U8(2, minute).U8(3, hour).U8(4, day).U8(5, month).U8(6, year);
  return CcOther(132, img.Str());
}
CcSpec CcTime(uint16_t ms, uint8_t minute, uint8_t hour, uint8_t day) {
  Image img(6);
  img.U16(0, ms).U8(2, minute).U8(3, hour).U8(4, day);
  return CcOther(133, img.Str());
}
CcSpec CcIdentity(uint16_t size) {
  CcSpec s;
  s.type = 65535;
  s.size = size;
  return s;
}
CcSpec CcOther(uint16_t type, std::string rawParams) {
  CcSpec s;
  s.type = type;
  s.raw = std::move(rawParams);
  return s;
}

// ---- Channel extensions ----

namespace {
CeSpec Ce(uint16_t type, const Image& img) {
  return CeSpec{type, img.Str().substr(ce::kBody), 0};
}
}  // namespace

CeSpec CeModule(uint16_t type, uint16_t module, uint32_t address, const std::string& description,
                const std::string& ecuId) {
  Image img(124);
  img.U16(6, module).U32(8, address).Chars(12, description, 80).Chars(92, ecuId, 32);
  return Ce(type, img);
}
CeSpec CeCan(uint32_t canId, uint32_t canChannel, const std::string& message,
             const std::string& sender) {
  Image img(86);
  img.U32(6, canId).U32(10, canChannel).Chars(14, message, 36).Chars(50, sender, 36);
  return Ce(19, img);
}
CeSpec CeFactor(uint16_t type, uint16_t channel, double factor, double offset, uint16_t module) {
  Image img(26);
  img.U16(6, channel).F64(8, factor).F64(16, offset).U16(24, module);
  return Ce(type, img);
}
CeSpec CeMessage(uint16_t type, uint16_t module, uint16_t identifier, const std::string& message,
                 const std::string& sender, uint16_t quotient) {
  Image img(64);
  img.U16(6, module).U16(8, identifier).CStr(10, message, 20).CStr(30, sender, 32).U16(62, quotient);
  return Ce(type, img);
}
CeSpec CeSource(uint16_t type, const std::string& source, uint16_t port, uint16_t address) {
  Image img(42);
  img.CStr(6, source, 32).U16(38, port).U16(40, address);
  return Ce(type, img);
}
CeSpec CeAcquisition(uint16_t module, uint32_t address, const std::string& description,
                     const std::string& identification, uint16_t kind, uint16_t quotient) {
  Image img(128);
  img.U16(6, module).U32(8, address).Chars(12, description, 80).Chars(92, identification, 32)
      .U16(124, kind).U16(126, quotient);
  return Ce(6, img);
}
CeSpec CeIdent(uint16_t type, const std::string& text) {
  Image img(6 + text.size() + 1);
  img.Raw(6, text);
  return Ce(type, img);
}

// ---- Program block contents ----

std::string TimeInfoRecordBytes(const TimeInfoRecord& r) {
  Image img(80);
  img.I32(0, r.key).F64(4, r.min).F64(12, r.max).F64(20, r.fac).F64(28, r.ofs)
      .F64(36, r.minD).F64(44, r.maxD).I32(52, r.flag).CStr(56, r.unit, 24);
  return img.Str();
}

std::string TimeInfoHeaderRecordBytes(int32_t oldSize, int32_t oldPosition) {
  return Image(80).I32(0, -1).I32(4, oldSize).I32(52, oldPosition).Str();
}

std::string TimeInfoData(const std::vector<std::string>& records, const std::string& version) {
  Image img(46);
  img.CStr(0, "Zephanor time-stamp descriptors", 32).CStr(32, version, 14);
  std::string data = img.Str();
  for (const std::string& r : records) data += r;
  return data;
}

std::string SpecialJobData(const SpecialJob& sj) {
  std::string d = Image(18).CStr(0, "SpecialJobData", 16).Str();
  d += Le16(static_cast<uint16_t>(sj.scalars.size()));
  for (const SjScalar& s : sj.scalars) {
    d += Image(373).CStr(14, s.name, 200).CStr(214, s.unit, 151).F64(365, s.value).Str();
  }
  d += Le16(static_cast<uint16_t>(sj.curves.size()));
  for (const SjCurve& c : sj.curves) {
    const uint16_t n = static_cast<uint16_t>(8 * c.x.size());
    Image img(367);
    img.CStr(14, c.name, 200).CStr(214, c.unit, 151).U16(365, n);
    std::string e = img.Str();
    for (double x : c.x) e += Le64(x);
    for (double y : c.y) e += Le64(y);
    d += e;
  }
  d += Le16(static_cast<uint16_t>(sj.maps.size()));
  for (const SjMap& m : sj.maps) {
    Image img(369);
    img.CStr(14, m.name, 200).CStr(214, m.unit, 151).U16(365, m.nx).U16(367, m.ny);
    std::string e = img.Str();
    for (double v : m.values) e += Le64(v);
    for (double v : m.xs) e += Le64(v);
    for (double v : m.ys) e += Le64(v);
    d += e;
  }
  d += Le16(static_cast<uint16_t>(sj.faults.size()));
  for (const SjFault& f : sj.faults) {
    Image img(367);
    img.U16(0, f.a).U16(4, f.b).CStr(14, f.label, 250).CStr(264, f.text, 101)
        .U16(365, static_cast<uint16_t>(f.bytes.size()));
    d += img.Str() + f.bytes;
  }
  d += Le16(static_cast<uint16_t>(sj.jobs.size()));
  for (const SjJob& j : sj.jobs) {
    Image img(388);
    img.U16(0, j.number).U16(4, j.type).CStr(14, j.label, 250).CStr(264, j.text, 122)
        .U16(386, static_cast<uint16_t>(j.bytes.size()));
    d += img.Str() + j.bytes;
  }
  return d;
}

std::string NuvestoData(const std::string& identification,
                        const std::vector<std::pair<std::string, std::string>>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += '\n';
    text += lines[i].first + ", " + lines[i].second;
  }
  text += ';';
  Image img(4 + 64 + 4 + 4);
  img.CStr(4, identification, 64).I32(72, static_cast<int32_t>(text.size()));
  img.Raw(76, text);
  img.U32(0, static_cast<uint32_t>(4 + img.Str().size()));
  return img.Str();
}

// ---- Records ----

Record& Record::PutUInt(uint32_t startBit, uint32_t bits, uint64_t value, ByteOrder order,
                        uint32_t byteOffset) {
  const uint32_t first = startBit / 8 + byteOffset;
  const uint32_t shift = startBit & 7;
  const uint32_t n = (shift + bits + 7) / 8;
  if (bytes_.size() < first + n) bytes_.resize(first + n, '\0');
  // Bit k of the field goes to bit shift + k of a little-endian frame of n
  // bytes; a Motorola frame is stored with its bytes reversed.
  for (uint32_t k = 0; k < bits && k < 64; ++k) {
    if (!((value >> k) & 1)) continue;
    const uint32_t pos = shift + k;
    const uint32_t frameByte = pos / 8;
    const uint32_t at = first + (order == ByteOrder::Intel ? frameByte : n - 1 - frameByte);
    bytes_[at] = static_cast<char>(static_cast<uint8_t>(bytes_[at]) | (1u << (pos % 8)));
  }
  return *this;
}

Record& Record::PutInt(uint32_t startBit, uint32_t bits, int64_t value, ByteOrder order,
                       uint32_t byteOffset) {
  return PutUInt(startBit, bits, static_cast<uint64_t>(value), order, byteOffset);
}

Record& Record::PutF32(uint32_t startBit, float value, ByteOrder order, uint32_t byteOffset) {
  return PutUInt(startBit, 32, std::bit_cast<uint32_t>(value), order, byteOffset);
}

Record& Record::PutF64(uint32_t startBit, double value, ByteOrder order, uint32_t byteOffset) {
  return PutUInt(startBit, 64, std::bit_cast<uint64_t>(value), order, byteOffset);
}

Record& Record::PutText(uint32_t startBit, uint32_t width, const std::string& text,
                        uint32_t byteOffset) {
  const uint32_t first = startBit / 8 + byteOffset;
  if (bytes_.size() < first + width) bytes_.resize(first + width, '\0');
  std::fill_n(bytes_.begin() + first, width, '\0');
  std::copy_n(text.begin(), std::min<size_t>(text.size(), width), bytes_.begin() + first);
  return *this;
}

Record& Record::Put(const CnSpec& cn, double value) {
  const uint16_t t = cn.dataType;
  const bool motorola = t >= dt::kUIntMotorola && t <= dt::kDoubleMotorola;
  const ByteOrder order = motorola ? ByteOrder::Motorola : ByteOrder::Intel;
  const bool isFloat = t == dt::kFloat || t == dt::kDouble || t == dt::kFloatMotorola ||
                       t == dt::kDoubleMotorola || t == dt::kFloatIntel || t == dt::kDoubleIntel;
  const bool isSigned = t == dt::kInt || t == dt::kIntMotorola || t == dt::kIntIntel;
  const bool isUnsigned = t == dt::kUInt || t == dt::kUIntMotorola || t == dt::kUIntIntel;
  if (isFloat) {
    if (cn.bits == 32) return PutF32(cn.startBit, static_cast<float>(value), order, cn.byteOffset);
    return PutF64(cn.startBit, value, order, cn.byteOffset);
  }
  const double r = std::round(value);
  if (isSigned || (isUnsigned && r < 0)) {
    return PutInt(cn.startBit, cn.bits, static_cast<int64_t>(r), order, cn.byteOffset);
  }
  if (isUnsigned) {
    const uint64_t u = r >= 18446744073709551615.0 ? ~0ull : static_cast<uint64_t>(r);
    return PutUInt(cn.startBit, cn.bits, u, order, cn.byteOffset);
  }
  return *this;  // text, byte arrays and the VAX types take no number
}

Record& Record::Put(const CnSpec& cn, const std::string& text) {
  return PutText(cn.startBit, (cn.bits + 7u) / 8u, text, cn.byteOffset);
}

std::string StoredRecord(const std::string& body, uint8_t recordId, uint16_t idCount) {
  const std::string id(1, static_cast<char>(recordId));
  if (idCount == 0) return body;
  if (idCount == 1) return id + body;
  return id + body + id;
}

// ---- Writer ----

MdfWriter::MdfWriter(const IdSpec& s) {
  Image img(id::kSize);
  img.Chars(id::kFileId, s.fileId, 8).Chars(id::kFormatId, s.formatId, 8)
      .Chars(id::kProgramId, s.programId, 8).U16(id::kByteOrder, s.byteOrder)
      .U16(id::kFloatFormat, s.floatFormat).U16(id::kVersion, s.version);
  Place(0, img.Str());
}

uint32_t MdfWriter::Place(uint32_t at, const std::string& block) {
  if (at == kAppend) at = Size();
  if (at + block.size() > bytes_.size()) bytes_.resize(at + block.size(), '\0');
  std::copy(block.begin(), block.end(), bytes_.begin() + at);
  return at;
}

uint32_t MdfWriter::AddHd(const HdSpec& s, uint32_t at) {
  const uint16_t len = LengthOr(s.blockLength, hd::kSize);
  Image img(hd::kSize);
  img.Head("HD", len).U32(hd::kFirstDg, s.firstDg).U32(hd::kComment, s.comment)
      .U32(hd::kProgram, s.program).U16(hd::kDgCount, s.dgCount).Chars(hd::kDate, s.date, 10)
      .Chars(hd::kTime, s.time, 8).Chars(hd::kAuthor, s.author, 32)
      .Chars(hd::kOrganisation, s.organisation, 32).Chars(hd::kProject, s.project, 32)
      .Chars(hd::kSubject, s.subject, 32).U64(hd::kStartTime, s.startTimeNs)
      .I16(hd::kUtcOffset, s.utcOffsetHours).U16(hd::kTimeQuality, s.timeQuality)
      .Chars(hd::kTimerId, s.timerId, 32);
  return Place(at, Block(img, len));
}

uint32_t MdfWriter::AddTx(const std::string& text, uint32_t at) {
  Image img(tx::kText + text.size() + 1);
  img.Head("TX", static_cast<uint16_t>(tx::kText + text.size() + 1)).Raw(tx::kText, text);
  return Place(at, img.Str());
}

uint32_t MdfWriter::AddPr(const std::string& data, uint32_t at) {
  return AddPrWithLength(data, static_cast<uint16_t>(pr::kData + data.size()), at);
}

uint32_t MdfWriter::AddPrWithLength(const std::string& data, uint16_t blockLength, uint32_t at) {
  Image img(pr::kData);
  img.Head("PR", blockLength).Raw(pr::kData, data);
  return Place(at, img.Str());
}

uint32_t MdfWriter::AddDg(const DgSpec& s, uint32_t at) {
  const uint16_t len = LengthOr(s.blockLength, dg::kSize);
  Image img(dg::kSize);
  img.Head("DG", len).U32(dg::kNext, s.next).U32(dg::kFirstCg, s.firstCg)
      .U32(dg::kTrigger, s.trigger).U32(dg::kData, s.data).U16(dg::kCgCount, s.cgCount)
      .U16(dg::kRecordIds, s.recordIds).U32(dg::kReserved, s.reserved);
  return Place(at, Block(img, len));
}

uint32_t MdfWriter::AddCg(const CgSpec& s, uint32_t at) {
  const uint16_t len = LengthOr(s.blockLength, cg::kSize);
  Image img(cg::kSize);
  img.Head("CG", len).U32(cg::kNext, s.next).U32(cg::kFirstCn, s.firstCn)
      .U32(cg::kComment, s.comment).U16(cg::kRecordId, s.recordId).U16(cg::kCnCount, s.cnCount)
      .U16(cg::kRecordSize, s.recordSize).U32(cg::kRecordCount, s.recordCount);
  return Place(at, Block(img, len));
}

uint32_t MdfWriter::AddCn(const CnSpec& s, uint32_t at) {
  const uint16_t len = LengthOr(s.blockLength, cn::kSize);
  Image img(cn::kSize);
  img.Head("CN", len).U32(cn::kNext, s.next).U32(cn::kConversion, s.conversion)
      .U32(cn::kExtension, s.extension).U32(cn::kDependency, s.dependency)
      .U32(cn::kComment, s.comment).U16(cn::kChannelType, s.channelType)
      .Chars(cn::kName, s.name, 32).Chars(cn::kDescription, s.description, 128)
      .U16(cn::kStartBit, s.startBit).U16(cn::kBits, s.bits).U16(cn::kDataType, s.dataType)
      .U16(cn::kRangeValid, s.rangeValid).F64(cn::kMinRaw, s.minRaw).F64(cn::kMaxRaw, s.maxRaw)
      .F64(cn::kSampleRate, s.sampleRate).U32(cn::kLongName, s.longName)
      .U32(cn::kDisplayName, s.displayName).U16(cn::kByteOffset, s.byteOffset);
  return Place(at, Block(img, len));
}

uint32_t MdfWriter::AddCc(const CcSpec& s, uint32_t at) {
  std::string p;  // the parameter area
  size_t count = 0;
  switch (s.type) {
    case 0: case 6: case 7: case 8: case 9: case 65535:
      for (double v : s.params) p += Le64(v);
      count = s.type == 65535 ? 0 : s.params.size();
      break;
    case 1: case 2:
      for (const auto& [raw, phys] : s.pairs) p += Le64(raw) + Le64(phys);
      count = s.pairs.size();
      break;
    case 10:
      p = Image(cc::kFormulaSize).Chars(0, s.formula, cc::kFormulaSize).Str();
      break;
    case 11:
      for (const auto& [value, text] : s.textTable) {
        p += Image(cc::kTextEntrySize).F64(0, value).Chars(8, text, 32).Str();
      }
      count = s.textTable.size();
      break;
    case 12:
      for (const CcRange& r : s.ranges) p += Le64(r.lower) + Le64(r.upper) + Le32(r.textLink);
      count = s.ranges.size();
      break;
    default:
      p = s.raw;
  }
  const uint16_t len = LengthOr(s.blockLength, cc::kParams + p.size());
  Image img(cc::kParams);
  img.Head("CC", len).U16(cc::kRangeValid, s.rangeValid).F64(cc::kMinPhys, s.minPhys)
      .F64(cc::kMaxPhys, s.maxPhys).Chars(cc::kUnit, s.unit, 20).U16(cc::kType, s.type)
      .U16(cc::kSize, s.size.value_or(static_cast<uint16_t>(count))).Raw(cc::kParams, p);
  const uint32_t pos = Place(at, Block(img, len));
  if (s.type == 12) {
    for (size_t i = 0; i < s.ranges.size(); ++i) {
      if (s.ranges[i].text) {
        SetLink(pos, cc::RangeTextLink(static_cast<uint32_t>(i)), AddTx(*s.ranges[i].text));
      }
    }
  }
  return pos;
}

uint32_t MdfWriter::AddCe(const CeSpec& s, uint32_t at) {
  const uint16_t len = LengthOr(s.blockLength, ce::kBody + s.body.size());
  Image img(ce::kBody);
  img.Head("CE", len).U16(ce::kType, s.type).Raw(ce::kBody, s.body);
  return Place(at, Block(img, len));
}

uint32_t MdfWriter::AddBytes(const std::string& bytes, uint32_t at) { return Place(at, bytes); }

void MdfWriter::PatchU8(uint32_t at, uint8_t v) { Place(at, Image(1).U8(0, v).Str()); }
void MdfWriter::PatchU16(uint32_t at, uint16_t v) { Place(at, Le16(v)); }
void MdfWriter::PatchU32(uint32_t at, uint32_t v) { Place(at, Le32(v)); }
void MdfWriter::PatchU64(uint32_t at, uint64_t v) { Place(at, Image(8).U64(0, v).Str()); }
void MdfWriter::PatchF64(uint32_t at, double v) { Place(at, Le64(v)); }
void MdfWriter::PatchBytes(uint32_t at, const std::string& bytes) { Place(at, bytes); }

void MdfWriter::Save(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// ---- Whole files ----

std::vector<CnSpec> LayOutChannels(const GroupDef& g, uint16_t* recordSize) {
  std::vector<CnSpec> cns;
  uint32_t nextByte = 0;
  uint32_t endByte = 0;
  for (const ChannelDef& c : g.channels) {
    CnSpec s = c.cn;
    if (g.autoLayout) {
      s.startBit = static_cast<uint16_t>(nextByte * 8);
      nextByte += (s.bits + 7u) / 8u;
    }
    endByte = std::max<uint32_t>(endByte, (s.startBit + s.bits + 7u) / 8u + s.byteOffset);
    cns.push_back(s);
  }
  *recordSize = g.recordSize ? g.recordSize : static_cast<uint16_t>(endByte);
  return cns;
}

void AddChannels(MdfWriter& w, const GroupDef& g, const std::vector<CnSpec>& cns, BuiltGroup* b) {
  // Adds a TX block for a non-empty text and links it from block + field.
  auto textLink = [&w](uint32_t block, uint32_t field, const std::string& text) {
    if (!text.empty()) w.SetLink(block, field, w.AddTx(text));
  };
  for (size_t i = 0; i < cns.size(); ++i) {
    const ChannelDef& c = g.channels[i];
    CnSpec s = cns[i];
    s.next = s.conversion = s.extension = s.comment = s.longName = s.displayName = 0;
    const uint32_t cnPos = w.AddCn(s);
    w.SetLink(b->cn.empty() ? b->cg : b->cn.back(), b->cn.empty() ? cg::kFirstCn : cn::kNext, cnPos);
    b->cn.push_back(cnPos);
    b->cc.push_back(c.cc ? w.AddCc(*c.cc) : 0);
    b->ce.push_back(c.ce ? w.AddCe(*c.ce) : 0);
    w.SetLink(cnPos, cn::kConversion, b->cc.back());
    w.SetLink(cnPos, cn::kExtension, b->ce.back());
    textLink(cnPos, cn::kComment, c.comment);
    textLink(cnPos, cn::kLongName, c.longName);
    textLink(cnPos, cn::kDisplayName, c.displayName);
  }
}

BuiltFile BuildFile(const FileDef& def) {
  BuiltFile f{MdfWriter(def.id), 0, 0, 0, {}};
  MdfWriter& w = f.writer;
  HdSpec hdSpec = def.hd;
  hdSpec.firstDg = hdSpec.comment = hdSpec.program = 0;
  hdSpec.dgCount = static_cast<uint16_t>(def.groups.size());
  f.hd = w.AddHd(hdSpec);
  if (!def.fileComment.empty()) {
    f.comment = w.AddTx(def.fileComment);
    w.SetLink(f.hd, hd::kComment, f.comment);
  }
  if (def.programData) {
    f.program = w.AddPr(*def.programData);
    w.SetLink(f.hd, hd::kProgram, f.program);
  }
  // Adds a TX block for a non-empty text and links it from block + field.
  auto textLink = [&w](uint32_t block, uint32_t field, const std::string& text) {
    if (!text.empty()) w.SetLink(block, field, w.AddTx(text));
  };

  uint32_t prevDg = 0;
  for (const GroupDef& g : def.groups) {
    BuiltGroup b;
    const std::vector<CnSpec> cns = LayOutChannels(g, &b.recordSize);

    b.dg = w.AddDg(DgSpec{.cgCount = 1, .recordIds = g.recordIds});
    w.SetLink(prevDg ? prevDg : f.hd, prevDg ? dg::kNext : hd::kFirstDg, b.dg);
    prevDg = b.dg;
    b.cg = w.AddCg(CgSpec{.recordId = g.recordId,
                          .cnCount = static_cast<uint16_t>(g.channels.size()),
                          .recordSize = b.recordSize,
                          .recordCount = g.records});
    w.SetLink(b.dg, dg::kFirstCg, b.cg);
    textLink(b.cg, cg::kComment, g.comment);

    AddChannels(w, g, cns, &b);

    if (g.records) {
      std::string data;
      data.reserve(static_cast<size_t>(g.records) * (b.recordSize + g.recordIds));
      for (uint32_t r = 0; r < g.records; ++r) {
        Record rec(b.recordSize);
        for (size_t i = 0; i < cns.size(); ++i) {
          const ChannelDef& c = g.channels[i];
          if (c.text) {
            rec.Put(cns[i], c.text(r));
          } else if (c.value) {
            rec.Put(cns[i], c.value(r));
          }
        }
        std::string body = rec.Bytes();
        body.resize(b.recordSize, '\0');
        data += StoredRecord(body, static_cast<uint8_t>(g.recordId), g.recordIds);
      }
      b.data = w.AddBytes(data);
      w.SetLink(b.dg, dg::kData, b.data);
    }
    f.groups.push_back(std::move(b));
  }
  return f;
}

FileDef SimpleFileDef(uint32_t groups, uint32_t channels, uint32_t records,
                      const std::string& programId) {
  FileDef def;
  def.id.programId = programId;
  for (uint32_t g = 1; g <= groups; ++g) {
    GroupDef group;
    group.records = records;
    ChannelDef time;
    time.cn = CnSpec{.channelType = 1, .name = "time", .bits = 64, .dataType = dt::kDouble,
                     .sampleRate = 0.01};
    time.value = [](uint32_t r) { return r * 0.01; };
    group.channels.push_back(time);
    for (uint32_t c = 1; c <= channels; ++c) {
      ChannelDef ch;
      ch.cn = CnSpec{.name = "sig" + std::to_string(g) + "_" + std::to_string(c), .bits = 16,
                     .dataType = dt::kUInt};
      ch.value = [c](uint32_t r) { return static_cast<double>((uint64_t{r} * c) % 65536); };
      group.channels.push_back(ch);
    }
    def.groups.push_back(std::move(group));
  }
  return def;
}

}  // namespace testsupport

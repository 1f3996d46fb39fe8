#include "smallimports/hestor/edas_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>

#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "smallimports/support/bytes.h"
#include "smallimports/support/file_cursor.h"
#include "smallimports/support/system.h"
#include "smallimports/support/text.h"

namespace hestor {

namespace {

constexpr size_t kHeaderOffsetField = 8;

// Host value types of the type names.
constexpr int32_t kDTypFloat = 11;
// A digital channel's values are 16-bit words of 16 states: the host cuts all
// 16 bits from each (BitSize 3840), not one.
constexpr int32_t kDTypDigital = 18;
constexpr int32_t kDigitalBits = 16;

struct TypeInfo {
  const char* name;
  int32_t dtyp;
  int32_t size;
};
constexpr TypeInfo kTypes[] = {
    {"int16", 7, 2}, {"int32", 9, 4}, {"int8", 5, 1},   {"uint16", 6, 2},  {"uint32", 8, 4},
    {"uint8", 4, 1}, {"real", 11, 4}, {"real64", 13, 8}, {"digital", 18, 2},
};
const TypeInfo* TypeByName(std::string_view name) {
  for (const TypeInfo& t : kTypes)
    if (name == t.name) return &t;
  return nullptr;
}

// Reads the text header line by line, through a buffer: each line without its
// end ("\n", and a "\r" before it), at most kMaxLineChars characters of it.
class LineReader {
 public:
  explicit LineReader(smallimports::FileCursor& file) : file_(file), pos_(file.Tell()) {}
  bool Next(std::string& line) {
    line.clear();
    start_ = pos_;
    if (!Fill()) return false;
    bool cr = false;
    while (Fill()) {
      const char c = static_cast<char>(buffer_[next_++]);
      ++pos_;
      if (c == '\n') break;
      if (cr && line.size() < kMaxLineChars) line.push_back('\r');
      cr = c == '\r';
      if (!cr && line.size() < kMaxLineChars) line.push_back(c);
    }
    return true;
  }
  uint64_t LineStart() const { return start_; }
  // Where the reading stands: after the last line read.
  uint64_t Position() const { return pos_; }

 private:
  bool Fill() {
    if (next_ < filled_) return true;
    next_ = 0;
    filled_ = file_.SeekTo(pos_) ? file_.ReadSome(buffer_, sizeof buffer_) : 0;
    return filled_ > 0;
  }

  smallimports::FileCursor& file_;
  uint64_t pos_;
  uint64_t start_ = 0;
  uint8_t buffer_[65536];
  size_t next_ = 0, filled_ = 0;
};

// A line split at its first ":" into keyword and value; the value ends at the
// next ":" unless the whole rest is asked for.
struct Line {
  std::string_view keyword;
  std::string_view value;
  std::string_view rest;
};
Line Split(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return {text, {}, {}};
  const std::string_view rest = text.substr(colon + 1);
  return {text.substr(0, colon), rest.substr(0, rest.find(':')), rest};
}
bool Is(std::string_view keyword, std::string_view name) { return smallimports::EqualNoCase(keyword, name); }

// The header section's defaults.
struct HeaderDefaults {
  const TypeInfo* type = nullptr;
  int64_t org = 0;
  int64_t frames = 0;
  double clk = 0;
};

int64_t ParseStartTime(std::string_view value) {
  int n[6];
  if (!smallimports::ScanDateTime(value, value.find('/') != std::string_view::npos ? '/' : '.', n)) return 0;
  return StartTimeToTimeValue(n[2] < 100 ? n[2] + 1900 : n[2], n[1], n[0], n[3], n[4], n[5]);
}

void ReadHeaderSection(LineReader& lines, HeaderDefaults& defaults, int64_t& fileDate) {
  std::string text;
  while (lines.Next(text)) {
    const Line line = Split(text);
    if (Is(line.keyword, "endheader")) return;
    if (Is(line.keyword, "typ")) {
      if (const TypeInfo* t = TypeByName(line.value)) defaults.type = t;
    } else if (Is(line.keyword, "org")) {
      defaults.org = line.value == "linear" ? 0 : line.value.size() > 5 ? smallimports::ParseInteger(line.value.substr(5)) : 0;
    } else if (Is(line.keyword, "frames")) {
      defaults.frames = smallimports::ParseInteger(line.value);
    } else if (Is(line.keyword, "clk")) {
      defaults.clk = smallimports::ParseReal(line.value);
    } else if (Is(line.keyword, "starttime")) {
      fileDate = ParseStartTime(line.rest);
    }
  }
}

// One channel section, after its "beginchannel" line.
struct ChannelSection {
  HestorSignal signal;
  const TypeInfo* type = nullptr;
  int64_t values = 0;
};

void ReadChannelSection(LineReader& lines, const HeaderDefaults& defaults, ChannelSection& section) {
  HestorSignal& s = section.signal;
  s.XFactor = defaults.clk;
  s.YFactor = 1;
  s.XUnit = "s";
  section.type = defaults.type;
  section.values = defaults.frames;
  std::string text;
  while (lines.Next(text)) {
    const Line line = Split(text);
    const std::string_view v = line.value;
    if (Is(line.keyword, "endchannel")) break;
    if (Is(line.keyword, "channel_offset")) {
      s.channelOffset = smallimports::ParseInteger(v);
    } else if (Is(line.keyword, "typ")) {
      if (const TypeInfo* t = TypeByName(v)) section.type = t;
    } else if (Is(line.keyword, "name")) {
      s.Label = v;
      s.Name.Assign(v, kMaxNameChars);
      smallimports::MakeIdentifier(s.Name, smallimports::IdentifierRule::Hestor);
    } else if (Is(line.keyword, "unit")) {
      s.YUnit.Assign(winport::AnsiToOem(v), kMaxUnitChars);
    } else if (Is(line.keyword, "$Pol.")) {
      s.Label = s.Label.str() + "\r\n" + std::string(v);  // cut to the field
    } else if (Is(line.keyword, "ampli")) {
      s.YFactor = smallimports::ParseReal(v);
    } else if (Is(line.keyword, "offset")) {
      s.YOffset = smallimports::ParseReal(v);
    } else if (Is(line.keyword, "clk")) {
      s.XFactor = smallimports::ParseReal(v);
    } else if (Is(line.keyword, "frames")) {
      section.values = smallimports::ParseInteger(v);
    } else if (Is(line.keyword, "Minscale")) {
      s.YMin = smallimports::ParseReal(v);
    } else if (Is(line.keyword, "Maxscale")) {
      s.YMax = smallimports::ParseReal(v);
    }
  }
  if (s.YMin != 0 || s.YMax != 0) {
    s.YFactor = (s.YMax - s.YMin) / 65536;
    s.YOffset = s.YMin + (s.YMax - s.YMin) / 2;
  }
  section.values = std::max<int64_t>(0, section.values);
  s.XMax = static_cast<double>(section.values - 1) * s.XFactor;
}

// The file error box; the value and, where known, the file position.
void ReportFileError(const char* function, int64_t value, std::optional<uint64_t> position) {
  std::string text = std::string("Dateifehler in Funktion ") + function + "( " + std::to_string(value) + " )";
  if (position) text += " bei " + std::to_string(*position);
  MessageBoxA(GetActiveWindow(), text.c_str(), "Fehler bei Import", MB_OK);
}

uint64_t Add(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
uint64_t Mul(uint64_t a, uint64_t b) { return smallimports::CheckedMul(a, b).value_or(UINT64_MAX); }

class Loader {
 public:
  // `textEnd`: where the reading of the text stopped, the file position that
  // a failed seek reports.
  Loader(smallimports::FileCursor& file, HestorImport& out, int64_t org, uint64_t textEnd)
      : file_(file), out_(out), org_(org), position_(textEnd) {}

  HestorResult Load() {
    const int64_t first = out_.signals[0].NoOfValues;
    bool same = true;
    for (const HestorSignal& s : out_.signals) same = same && s.NoOfValues == first;
    return same ? LoadInterleaved() : LoadBlocks();
  }

 private:
  HestorResult Fail(HestorStatus status, uint64_t offset) { return {status, offset}; }

  // A channel offset before the file's start fails with the "fseek" box.
  bool CheckOffset(const HestorSignal& s) {
    if (s.channelOffset >= 0) return true;
    ReportFileError("fseek", s.channelOffset, position_);
    return false;
  }
  // Values that end past the file fail with the "fread" box.
  bool CheckEnd(const HestorSignal& s, uint64_t end) {
    const uint64_t offset = static_cast<uint64_t>(s.channelOffset);
    if (end <= file_.Size()) return true;
    ReportFileError("fread", static_cast<int64_t>(std::min<uint64_t>(end - offset, INT64_MAX)), offset);
    return false;
  }

  // A read that came short although the file's size held it (the file
  // changed meanwhile): the "fread" box, and no sample block is left.
  HestorResult ReadFailed(uint64_t bytes, uint64_t offset) {
    ReportFileError("fread", static_cast<int64_t>(bytes), offset);
    out_.samples.clear();
    return Fail(HestorStatus::ReadFailed, offset);
  }

  HestorResult LoadInterleaved() {
    uint64_t recordSize = 0;
    for (HestorSignal& s : out_.signals) {
      s.BlockOffset = static_cast<int32_t>(recordSize);
      s.ValuesPerBlock = 1;
      recordSize += static_cast<uint64_t>(s.valueSize);
    }
    const uint64_t values = static_cast<uint64_t>(out_.signals[0].NoOfValues);
    const uint64_t dataSize = Mul(values, recordSize);
    if (dataSize >= smallimports::kMaxDataSpace) return Fail(HestorStatus::DataSpaceTooLarge, 0);
    for (HestorSignal& s : out_.signals) s.Demux = static_cast<int32_t>(recordSize);
    out_.blockSize = static_cast<int32_t>(recordSize);
    out_.dataSize = static_cast<uint32_t>(dataSize);
    const HestorSignal& head = out_.signals[0];
    if (org_ == 1) {
      if (!CheckOffset(head)) return Fail(HestorStatus::SeekFailed, position_);
      const uint64_t offset = static_cast<uint64_t>(head.channelOffset);
      // Streamed data too must lie in the file: none of them is read now.
      if (!CheckEnd(head, Add(offset, dataSize))) return Fail(HestorStatus::ReadFailed, offset);
      if (dataSize >= kStreamFromBytes) {
        out_.streaming = true;
        out_.dataOffset = offset;
        return {HestorStatus::Ok, offset};
      }
      out_.samples.resize(dataSize);
      if (!file_.SeekTo(offset) || !file_.Read(out_.samples.data(), dataSize)) return ReadFailed(dataSize, offset);
      return {HestorStatus::Ok, offset + dataSize};
    }
    // Organisation 0: each channel's values follow each other; 2 and above:
    // value k is read alone unless k + 1 is a multiple of org, when a run of
    // org records is read for it.
    const uint64_t run = Mul(recordSize, static_cast<uint64_t>(org_));
    for (const HestorSignal& s : out_.signals) {
      if (!CheckOffset(s)) return Fail(HestorStatus::SeekFailed, position_);
      const uint64_t runs = org_ >= 2 && values > 0 ? (values - 1) / static_cast<uint64_t>(org_) : 0;
      const uint64_t last = Add(static_cast<uint64_t>(s.channelOffset),
                                Add(Mul(values > 0 ? values - 1 - runs : 0, static_cast<uint64_t>(s.valueSize)), Mul(runs, run)));
      if (values > 0 && !CheckEnd(s, Add(last, static_cast<uint64_t>(s.valueSize))))
        return Fail(HestorStatus::ReadFailed, static_cast<uint64_t>(s.channelOffset));
    }
    out_.samples.assign(dataSize, 0);
    if (values == 0) return {HestorStatus::Ok, file_.Tell()};
    smallimports::PumpMessages();
    for (const HestorSignal& s : out_.signals) {
      const size_t size = static_cast<size_t>(s.valueSize);
      uint64_t pos = static_cast<uint64_t>(s.channelOffset);
      uint8_t* dst = out_.samples.data() + s.BlockOffset;
      for (uint64_t k = 0; k < values; ++k, dst += recordSize) {
        if (!file_.SeekTo(pos) || !file_.Read(dst, size)) return ReadFailed(size, pos);
        const bool alone = org_ < 2 || k == 0 || (k + 1) % static_cast<uint64_t>(org_) != 0;
        pos += alone ? size : run;
      }
    }
    return {HestorStatus::Ok, file_.Tell()};
  }

  // Channels of different lengths: each converted to floats, in blocks of 512.
  HestorResult LoadBlocks() {
    uint64_t blocks = 0;
    for (HestorSignal& s : out_.signals) {
      s.ValuesPerBlock = kValuesPerBlock;
      s.Block0 = static_cast<int32_t>(std::min<uint64_t>(blocks, INT32_MAX));
      s.BlockOffset = 0;
      blocks += (static_cast<uint64_t>(s.NoOfValues) + kValuesPerBlock - 1) / kValuesPerBlock;
    }
    const uint64_t dataSize = Mul(blocks, kBlockBytes);
    if (dataSize >= smallimports::kMaxDataSpace) return Fail(HestorStatus::DataSpaceTooLarge, 0);
    const uint64_t count = out_.signals.Count();
    const uint64_t skip = Mul(Mul(count - 1, static_cast<uint64_t>(out_.signals[0].valueSize)), static_cast<uint64_t>(std::max<int64_t>(org_, 0)));
    for (const HestorSignal& s : out_.signals) {
      const uint64_t values = static_cast<uint64_t>(s.NoOfValues);
      if (values == 0 || !Converts(s.DTyp)) continue;
      if (!CheckOffset(s)) return Fail(HestorStatus::SeekFailed, position_);
      const uint64_t skips = org_ > 0 && values >= 2 ? (values - 2) / static_cast<uint64_t>(org_) : 0;
      const uint64_t last = Add(static_cast<uint64_t>(s.channelOffset),
                                Add(Mul(values - 1, static_cast<uint64_t>(s.valueSize)), Mul(skips, skip)));
      if (!CheckEnd(s, Add(last, static_cast<uint64_t>(s.valueSize))))
        return Fail(HestorStatus::ReadFailed, static_cast<uint64_t>(s.channelOffset));
    }
    out_.blockSize = kBlockBytes;
    out_.dataSize = static_cast<uint32_t>(dataSize);
    out_.samples.assign(dataSize, 0);
    for (HestorSignal& s : out_.signals) {
      const uint64_t values = static_cast<uint64_t>(s.NoOfValues);
      if (values > 0 && Converts(s.DTyp)) {
        uint64_t pos = static_cast<uint64_t>(s.channelOffset);
        uint8_t* dst = out_.samples.data() + static_cast<uint64_t>(s.Block0) * kBlockBytes;
        for (uint64_t k = 0; k < values; ++k, dst += 4) {
          uint8_t raw[8] = {};
          if (!file_.SeekTo(pos) || !file_.Read(raw, static_cast<uint64_t>(s.valueSize)))
            return ReadFailed(static_cast<uint64_t>(s.valueSize), pos);
          const float value = ToFloat(raw, s.DTyp);
          std::memcpy(dst, &value, 4);
          pos += static_cast<uint64_t>(s.valueSize);
          if (org_ > 0 && k != 0 && k % static_cast<uint64_t>(org_) == 0) pos = Add(pos, skip);
        }
      }
      s.Demux = 4;
      s.DTyp = kDTypFloat;
      s.bitCount = 0;  // a float, no bit field
      s.firstBit = 0;
    }
    return {HestorStatus::Ok, file_.Tell()};
  }

  static bool Converts(int32_t dtyp) {
    switch (dtyp) {
      case 4: case 5: case 6: case 18: case 7: case 8: case 9: case 11: case 13: return true;
      default: return false;
    }
  }
  static float ToFloat(const uint8_t* raw, int32_t dtyp) {
    using smallimports::LoadLE;
    switch (dtyp) {
      case 4: return raw[0];
      case 5: return static_cast<int8_t>(raw[0]);
      case 6: case 18: return LoadLE<uint16_t>(raw);
      case 7: return LoadLE<int16_t>(raw);
      case 8: return static_cast<float>(LoadLE<uint32_t>(raw));
      case 9: return static_cast<float>(LoadLE<int32_t>(raw));
      case 11: return smallimports::LoadF32LE(raw);
      case 13: return static_cast<float>(smallimports::LoadF64LE(raw));
      default: return 0;
    }
  }

  smallimports::FileCursor& file_;
  HestorImport& out_;
  int64_t org_;
  uint64_t position_;
};

}  // namespace

int32_t BitSize(const HestorSignal& signal) {
  return signal.bitCount == 0 ? 0 : (signal.bitCount - 1) * 256 + signal.firstBit;
}

int64_t StartTimeToTimeValue(int year, int month, int day, int hour, int minute, int second) {
  if (month < 1 || month > 12) return 0;
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int64_t y = year;
  // Leap days of the years from 1970 to the year before, every fourth year counted.
  auto floorDiv4 = [](int64_t v) { return v >= 0 ? v / 4 : -((-v + 3) / 4); };
  int64_t days = (y - 1970) * 365 + (floorDiv4(y - 1) - floorDiv4(1969)) + kDaysBefore[month - 1] +
                 (month > 2 && y % 4 == 0 ? 1 : 0) + (day - 1);
  tzset();
  int64_t seconds = days * 86400 + int64_t{hour} * 3600 + int64_t{minute} * 60 + second + timezone;
  const int64_t hourIndex = 24 * (int64_t{kDaysBefore[month - 1]} + day) + hour;
  if (daylight && hourIndex >= 2858 && hourIndex <= 7129) seconds -= 3600;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(seconds)));
}

std::string HestorResultText(const HestorResult& result) {
  const char* text = "?";
  switch (result.status) {
    case HestorStatus::Ok: text = "imported"; break;
    case HestorStatus::OpenFailed: text = "file cannot be opened"; break;
    case HestorStatus::ShortPreamble: text = "preamble shorter than 32 bytes"; break;
    case HestorStatus::NoChannels: text = "no channel section"; break;
    case HestorStatus::SeekFailed: text = "channel offset before the file"; break;
    case HestorStatus::ReadFailed: text = "channel values beyond the end of the file"; break;
    case HestorStatus::DataSpaceTooLarge: text = "data space of 4 GiB or more"; break;
    case HestorStatus::OutOfMemory: text = "not enough memory for the samples"; break;
  }
  return std::string(text) + " at offset " + std::to_string(result.offset);
}

bool IsHestorFile(const std::string& path) {
  smallimports::FileCursor file;
  uint8_t b[kPreambleBytes];
  if (!file.Open(path) || !file.Read(b, sizeof b)) return false;
  const std::string_view magic(reinterpret_cast<const char*>(b), 4);
  return (smallimports::EqualNoCase(magic, "EDAS") || smallimports::EqualNoCase(magic, "PDAI")) &&
         smallimports::LoadLE<uint32_t>(b + kHeaderOffsetField) != 0;
}

HestorResult ParseHestorFile(const std::string& path, HestorImport& out) {
  out = HestorImport();
  smallimports::FileCursor file;
  if (!file.Open(path)) return {HestorStatus::OpenFailed, 0};
  uint8_t preamble[kPreambleBytes];
  if (!file.Read(preamble, sizeof preamble)) return {HestorStatus::ShortPreamble, 0};
  out.path = path;
  file.SeekTo(std::min<uint64_t>(smallimports::LoadLE<uint32_t>(preamble + kHeaderOffsetField), file.Size()));

  LineReader lines(file);
  HeaderDefaults defaults;
  ReadHeaderSection(lines, defaults, out.fileDate);
  std::string text;
  try {
    while (lines.Next(text) && Is(Split(text).keyword, "beginchannel")) {
      ChannelSection section;
      ReadChannelSection(lines, defaults, section);
      if (!section.type) continue;  // a channel of no known type makes no signal
      if (section.values > INT32_MAX) return {HestorStatus::DataSpaceTooLarge, lines.LineStart()};
      HestorSignal& s = out.signals.AppendNew();
      const int32_t number = s.number;
      s = std::move(section.signal);
      s.number = number;
      s.DTyp = section.type->dtyp;
      if (s.DTyp == kDTypDigital) s.bitCount = kDigitalBits;
      s.valueSize = section.type->size;
      s.Demux = s.valueSize;
      s.NoOfValues = static_cast<int32_t>(section.values);
    }
    if (out.signals.Empty()) return {HestorStatus::NoChannels, lines.LineStart()};
    return Loader(file, out, defaults.org, lines.Position()).Load();
  } catch (const std::bad_alloc&) {
    out.samples.clear();
    return {HestorStatus::OutOfMemory, 0};
  }
}

smallimports::DataSpaceRead ReadHestorMemory(const HestorImport& data, uint32_t position, uint8_t* buffer,
                                             uint32_t bytes) {
  if (position >= data.samples.size()) return {};
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(bytes, data.samples.size() - position));
  std::memcpy(buffer, data.samples.data() + position, n);
  return {n, n};
}

}  // namespace hestor

#include "smallimports/jorvel/rpc_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "smallimports/support/file_cursor.h"
#include "smallimports/support/system.h"
#include "smallimports/support/text.h"

namespace jorvel {

namespace {

// Prefixes of the per-channel keywords, followed by the channel number.
constexpr std::string_view kDescKey = "DESC.CHAN_";
constexpr std::string_view kScaleKey = "SCALE.CHAN_";
constexpr std::string_view kUnitsKey = "UNITS.CHAN_";

struct HeaderRecord {
  std::string keyword;
  std::string value;
};

// A text field of a record: up to its first NUL, trailing blanks dropped.
std::string FieldText(const char* field, size_t width) {
  std::string text(smallimports::CutText(std::string_view(field, width), width));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool ReadHeaderRecord(smallimports::FileCursor& file, HeaderRecord& record) {
  char bytes[kRecordBytes];
  if (!file.Read(bytes, sizeof bytes)) return false;
  record.keyword = FieldText(bytes, kKeywordBytes);
  record.value = FieldText(bytes + kKeywordBytes, kRecordBytes - kKeywordBytes);
  return true;
}

bool IsKey(const HeaderRecord& record, std::string_view key) { return smallimports::EqualNoCase(record.keyword, key); }

// The channel a per-channel keyword names, or none when it names no record yet.
JorvelSignal* ChannelOf(const HeaderRecord& record, std::string_view prefix, RpcImport& out) {
  if (record.keyword.size() < prefix.size() ||
      !smallimports::EqualPrefixNoCase(record.keyword, prefix, prefix.size()))
    return nullptr;
  return out.signals.FindNodeByIndex(smallimports::ParseInteger(std::string_view(record.keyword).substr(prefix.size())));
}

// The numbers of the header that the layout needs, as the file states them.
struct HeaderNumbers {
  int64_t pointsPerFrame = 0;
  int64_t pointsPerGroup = 0;
  int64_t frames = 0;
  double deltaT = 0;
};

RpcResult Fail(RpcImport& out, RpcStatus status, uint64_t offset) {
  out = RpcImport();
  return {status, offset};
}

// Applies one header record from the third on.
RpcStatus ApplyRecord(const HeaderRecord& r, uint64_t sampleBytes, RpcImport& out, HeaderNumbers& numbers) {
  if (IsKey(r, "DATA_TYPE")) {
    if (smallimports::EqualNoCase(r.value, "FLOATING_POINT")) return RpcStatus::FloatingPoint;
  } else if (IsKey(r, "CHANNELS")) {
    const int64_t count = smallimports::ParseInteger(r.value);
    if (count < 1 || static_cast<uint64_t>(count) > sampleBytes / 2 - out.signals.Count())
      return RpcStatus::BadChannels;
    for (int64_t i = 0; i < count; ++i) out.signals.AppendNew().YFactor = 1.0;
  } else if (IsKey(r, "DATE")) {
    out.fileDate = ParseRpcDate(r.value);
  } else if (IsKey(r, "DELTA_T")) {
    numbers.deltaT = smallimports::ParseReal(r.value);
  } else if (IsKey(r, "FRAMES")) {
    numbers.frames = smallimports::ParseInteger(r.value);
  } else if (IsKey(r, "PTS_PER_FRAME")) {
    numbers.pointsPerFrame = smallimports::ParseInteger(r.value);
  } else if (IsKey(r, "PTS_PER_GROUP")) {
    numbers.pointsPerGroup = smallimports::ParseInteger(r.value);
  } else if (JorvelSignal* s = ChannelOf(r, kDescKey, out)) {
    s->Label = r.value;
    s->Name.Assign(r.value, kDescNameChars);
    smallimports::MakeIdentifier(s->Name, smallimports::IdentifierRule::Jorvel);
  } else if (JorvelSignal* s = ChannelOf(r, kScaleKey, out)) {
    s->YFactor = smallimports::ParseReal(r.value);
  } else if (JorvelSignal* s = ChannelOf(r, kUnitsKey, out)) {
    s->YUnit = r.value;  // cut to the field's 39 characters
  }
  // LOWER_LIMIT.CHAN_k, INT_FULL_SCALE and every other keyword store nothing.
  return RpcStatus::Ok;
}

// Points per channel and groups from P, G and F; false when one is below 1.
bool MakeLayout(const HeaderNumbers& n, uint64_t channels, uint64_t dataOffset, uint64_t sampleBytes,
                RpcLayout& layout) {
  if (n.pointsPerFrame < 1 || n.pointsPerGroup < 1 || n.frames < 1) return false;
  layout.channels = channels;
  layout.pointsPerFrame = static_cast<uint64_t>(n.pointsPerFrame);
  layout.pointsPerGroup = static_cast<uint64_t>(n.pointsPerGroup);
  layout.frames = static_cast<uint64_t>(n.frames);
  // P and F are below 2^63 each; V beyond 64 bits is beyond any data space.
  layout.values = smallimports::CheckedMul(layout.pointsPerFrame, layout.frames).value_or(UINT64_MAX);
  const uint64_t g = layout.pointsPerGroup;
  layout.groups = layout.values / g + (layout.values % g != 0);
  layout.lastGroupValues = layout.values - (layout.groups - 1) * g;
  // Every group steps G points per channel, also a partial last one that the
  // writer padded; a file ending exactly after the unpadded last group is read so.
  layout.lastGroupStep = g;
  layout.dataOffset = dataOffset;
  if (layout.lastGroupValues < g) {
    const auto full = smallimports::CheckedMul((layout.groups - 1) * g + layout.lastGroupValues, channels * 2);
    if (full && *full == sampleBytes) layout.lastGroupStep = layout.lastGroupValues;
  }
  return true;
}

// Bytes of the layout in the file: full groups, then the last one.
uint64_t LayoutBytes(const RpcLayout& layout) {
  const uint64_t points = (layout.groups - 1) * layout.pointsPerGroup + layout.lastGroupStep;
  return smallimports::CheckedMul(points, layout.channels * 2).value_or(UINT64_MAX);
}

// Cuts each channel's NoOfValues to the values the stored bytes hold, and
// the data space to the records that hold any (the first channel's).
void TakeHeldValues(RpcImport& out, uint64_t stored) {
  for (JorvelSignal& s : out.signals) {
    const uint64_t held = HeldValues(out.layout, stored, static_cast<uint64_t>(s.number - 1));
    if (held >= out.layout.values) continue;
    s.NoOfValues = static_cast<int32_t>(held);
    if (held == 0) s.Ignore = 1;
    out.shortfall.Add(held == 0 ? smallimports::kNoValues : smallimports::kFewerValues, s.Name.str());
  }
  out.dataSize = static_cast<uint32_t>(out.blockSize) * static_cast<uint32_t>(out.signals[0].NoOfValues);
}

}  // namespace

uint64_t HeldValues(const RpcLayout& layout, uint64_t stored, uint64_t k) {
  const uint64_t g = layout.pointsPerGroup;
  const uint64_t groupBytes = smallimports::CheckedMul(g, layout.channels * 2).value_or(UINT64_MAX);
  // The group the bytes end in; the groups before it are whole.
  const uint64_t group = std::min(stored / groupBytes, layout.groups - 1);
  const bool last = group == layout.groups - 1;
  const uint64_t step = last ? layout.lastGroupStep : g;
  const uint64_t count = last ? layout.lastGroupValues : g;
  const uint64_t points = (stored - group * groupBytes) / 2;  // whole values of that group
  const uint64_t before = smallimports::CheckedMul(k, step).value_or(UINT64_MAX);
  const uint64_t inGroup = points > before ? std::min(count, points - before) : 0;
  return group * g + inGroup;
}

int64_t ParseRpcDate(std::string_view text) {
  int n[6];
  if (!smallimports::ScanDateTime(text, '.', n)) return 0;
  return smallimports::LocalTimeValue(n[2] > 100 ? n[2] : n[2] + 1900, n[1], n[0], n[3], n[4], n[5]);
}

void RpcSamples::Assign(const RpcLayout& layout, std::vector<uint8_t> bytes) {
  layout_ = layout;
  bytes_ = std::move(bytes);
}

void RpcSamples::Copy(uint64_t position, uint8_t* dst, uint32_t count) const {
  const uint64_t c = layout_.channels;
  const uint64_t g = layout_.pointsPerGroup;
  if (c == 0 || g == 0) {
    std::memset(dst, 0, count);
    return;
  }
  const uint64_t end = position + count;
  uint64_t b = position;
  while (b < end) {
    // The point that holds byte b, and where its group lies in the file.
    const uint64_t point = b / (2 * c);
    const uint64_t group = point / g;
    const uint64_t step = group == layout_.groups - 1 ? layout_.lastGroupStep : g;
    const uint64_t base = group * g * c * 2 + (point % g) * 2;
    const uint64_t pointEnd = std::min(end, (point + 1) * 2 * c);
    uint64_t channel = (b - point * 2 * c) / 2;
    if (b & 1) {  // the second byte of a value
      const uint64_t offset = base + channel * step * 2 + 1;
      *dst++ = offset < bytes_.size() ? bytes_[offset] : 0;
      ++b;
      ++channel;
    }
    for (; b + 1 < pointEnd; b += 2, ++channel, dst += 2) {
      const uint64_t offset = base + channel * step * 2;
      if (offset + 1 < bytes_.size()) {
        std::memcpy(dst, bytes_.data() + offset, 2);
      } else {
        dst[0] = dst[1] = 0;
      }
    }
    if (b < pointEnd) {  // the first byte of a value at the request's end
      const uint64_t offset = base + channel * step * 2;
      *dst++ = offset < bytes_.size() ? bytes_[offset] : 0;
      ++b;
    }
  }
}

std::string RpcResultText(const RpcResult& result) {
  const char* text = "?";
  switch (result.status) {
    case RpcStatus::Ok: text = "imported"; break;
    case RpcStatus::OpenFailed: text = "file cannot be opened"; break;
    case RpcStatus::NotFormat: text = "first record is not FORMAT"; break;
    case RpcStatus::AsciiFormat: text = "ASCII data are not read"; break;
    case RpcStatus::NoHeaderBlocks: text = "second record is not NUM_HEADER_BLOCKS"; break;
    case RpcStatus::BadHeaderBlocks: text = "NUM_HEADER_BLOCKS below 1"; break;
    case RpcStatus::ShortHeader: text = "file ends inside the header"; break;
    case RpcStatus::FloatingPoint: text = "floating-point data are not read"; break;
    case RpcStatus::BadChannels: text = "CHANNELS absent, below 1 or beyond the sample bytes"; break;
    case RpcStatus::BadLayout: text = "PTS_PER_FRAME, PTS_PER_GROUP or FRAMES absent or below 1"; break;
    case RpcStatus::DataSpaceTooLarge: text = "data space of 4 GiB or more"; break;
    case RpcStatus::OutOfMemory: text = "not enough memory for the samples"; break;
  }
  return std::string(text) + " at offset " + std::to_string(result.offset);
}

RpcResult ParseRpcFile(const std::string& path, RpcImport& out) {
  out = RpcImport();
  smallimports::FileCursor file;
  if (!file.Open(path)) return Fail(out, RpcStatus::OpenFailed, 0);

  HeaderRecord record;
  if (!ReadHeaderRecord(file, record) || !IsKey(record, "FORMAT")) return Fail(out, RpcStatus::NotFormat, 0);
  if (smallimports::EqualNoCase(record.value, "ASCII")) return Fail(out, RpcStatus::AsciiFormat, 0);
  const bool bigEndian = smallimports::EqualNoCase(record.value, "BINARY_IEEE_BIG_END");
  if (!ReadHeaderRecord(file, record) || !IsKey(record, "NUM_HEADER_BLOCKS"))
    return Fail(out, RpcStatus::NoHeaderBlocks, kRecordBytes);
  const int64_t blocks = smallimports::ParseInteger(record.value);
  if (blocks < 1) return Fail(out, RpcStatus::BadHeaderBlocks, kRecordBytes);
  const auto headerBytes = smallimports::CheckedMul(static_cast<uint64_t>(blocks), kHeaderBlockBytes);
  if (!headerBytes || *headerBytes > file.Size()) return Fail(out, RpcStatus::ShortHeader, kRecordBytes);
  const uint64_t sampleBytes = file.Size() - *headerBytes;

  out.path = path;
  out.name = smallimports::FileTitle(path, kMaxNameChars);
  out.bigEndian = bigEndian;
  HeaderNumbers numbers;
  const uint64_t records = static_cast<uint64_t>(blocks) * kRecordsPerBlock;
  for (uint64_t i = 2; i < records; ++i) {
    const uint64_t offset = file.Tell();
    if (!ReadHeaderRecord(file, record)) return Fail(out, RpcStatus::ShortHeader, offset);
    const RpcStatus status = ApplyRecord(record, sampleBytes, out, numbers);
    if (status != RpcStatus::Ok) return Fail(out, status, offset);
  }
  const uint64_t channels = out.signals.Count();
  if (channels == 0) return Fail(out, RpcStatus::BadChannels, *headerBytes);
  if (!MakeLayout(numbers, channels, *headerBytes, sampleBytes, out.layout))
    return Fail(out, RpcStatus::BadLayout, *headerBytes);
  const auto dataSize = smallimports::CheckedMul(out.layout.values, channels * 2);
  if (!dataSize || *dataSize >= smallimports::kMaxDataSpace)
    return Fail(out, RpcStatus::DataSpaceTooLarge, *headerBytes);

  const double deltaT = numbers.deltaT == 0 ? 1.0 : numbers.deltaT;
  for (JorvelSignal& s : out.signals) {
    s.XFactor = deltaT;
    s.XUnit = kTimeUnit;
    s.XMin = 0;
    s.DTyp = kDTypInt16;
    s.ValuesPerBlock = 1;
    s.NoOfValues = static_cast<int32_t>(out.layout.values);
    s.BlockOffset = (s.number - 1) * 2;
    s.Demux = static_cast<int32_t>(channels * 2);
  }
  out.blockSize = static_cast<int32_t>(channels * 2);
  out.dataSize = static_cast<uint32_t>(*dataSize);

  // The samples the file holds (whole values only), little-endian.
  try {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min(sampleBytes, LayoutBytes(out.layout)) & ~uint64_t{1}));
    if (!file.SeekTo(*headerBytes)) return Fail(out, RpcStatus::ShortHeader, *headerBytes);
    bytes.resize(file.ReadSome(bytes.data(), bytes.size()) & ~size_t{1});
    if (bigEndian)  // each 16-bit value's two bytes exchanged
      for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    const uint64_t stored = bytes.size();
    out.samples.Assign(out.layout, std::move(bytes));
    TakeHeldValues(out, stored);
  } catch (const std::bad_alloc&) {
    return Fail(out, RpcStatus::OutOfMemory, *headerBytes);
  }
  return {RpcStatus::Ok, file.Tell()};
}

smallimports::DataSpaceRead ReadRpcDataSpace(const RpcImport& data, uint32_t position, uint8_t* buffer,
                                             uint32_t bytes) {
  if (position >= data.dataSize) return {};
  const uint32_t n = std::min(bytes, data.dataSize - position);
  data.samples.Copy(position, buffer, n);
  return {n, n};
}

}  // namespace jorvel

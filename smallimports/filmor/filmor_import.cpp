#include "smallimports/filmor/filmor_import.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>

#include "platform/ui/messagebox.h"
#include "smallimports/support/text.h"

namespace filmor {

namespace {

// The lines of the box that names the signals an import could not give
// every value the file states.
constexpr std::string_view kFewerValues = "Fewer values than stated";
constexpr std::string_view kNoValues = "No values, ignored";
constexpr std::string_view kUnknownColumnType = "Column type without a conversion, left out";
constexpr std::string_view kNarrowColumn = "Column narrower than its values, left out";

// The name a channel's signal gets.
std::string IdentifierOf(const std::string& channelName) {
  decltype(FilmorSignal::Name) name;
  name.Assign(channelName, kMaxNameChars);
  smallimports::MakeIdentifier(name, smallimports::IdentifierRule::Filmor);
  return name.str();
}

constexpr char kCaption[] = "File Import Error";

// How a column type is stored: host value type and value size.
struct ColumnKind {
  int32_t dtyp;
  int32_t valueSize;
};
constexpr int32_t kDTypDouble = 13;

ColumnKind ColumnKindOf(uint8_t type) {
  switch (type) {
    case 2: case 16: return {4, 1};
    case 3: case 17: return {5, 1};
    case 4: case 18: return {6, 2};
    case 5: case 19: return {7, 2};
    case 6: case 20: return {8, 4};
    case 7: case 21: return {9, 4};
    case 32: case 48: return {11, 4};
    default: return {kDTypDouble, 8};
  }
}

// How a column that is stored as a double reads: only these types have a
// conversion; a column of another type makes no signal.
enum class Converter { None, Int64, Float64 };
Converter ConverterOf(uint8_t type) {
  switch (type) {
    case 8: case 9: return Converter::Int64;
    case 33: case 34: return Converter::Float64;
    default: return Converter::None;
  }
}

// Physical = raw * factor + offset, from the raw scaling (member 9, unless the
// group says its values are unscaled) and the two scaling points (member 3).
struct Scaling {
  double factor = 1;
  double offset = 0;
};
Scaling ChannelScaling(const ChannelRecord& channel, bool unscaled) {
  const double factor = unscaled ? 1.0 : channel.rawScaling[0];
  const double offset = unscaled ? 0.0 : channel.rawScaling[1];
  const double p1 = channel.points[0], r1 = channel.points[1], p2 = channel.points[2], r2 = channel.points[3];
  double m = 1, n = 0;
  if (r1 != r2 && p1 != p2) {
    m = (p2 - p1) / (r2 - r1);
    n = p1 - r1 * m;
  }
  return {factor * m, n + m * offset};
}

// One column to load into a signal.
struct Column {
  FilmorSignal* signal;
  uint64_t offset;  // within the record
  uint8_t type;
  Scaling scaling;  // applied to converted values
};

// A group with records, as the loading needs it.
struct GroupPlan {
  uint64_t dataPosition;
  uint64_t records;  // those the file holds
  uint64_t recordLength;
  std::vector<Column> columns;
  uint64_t stated;  // the group's record count
};

uint64_t RecordLength(const ChannelGroupRecord& group) {
  uint64_t length = 0;
  for (const ChannelRecord& c : group.channels) length += c.width;
  return length;
}

// The records to read: the stated count (negative is none), no more than the
// group's bytes hold, and those bytes cut to the file.
uint64_t RecordsToRead(const ChannelGroupRecord& group, uint64_t length, uint64_t fileSize) {
  uint64_t records = group.recordCount > 0 ? static_cast<uint64_t>(group.recordCount) : 0;
  if (length == 0) return records;
  const uint64_t available = group.dataPosition <= fileSize ? fileSize - group.dataPosition : 0;
  return std::min(records, std::min(group.dataBytes, available) / length);
}

void AppendComment(std::string& comment, const std::string& text) {
  if (text.empty() || comment.size() + text.size() >= kMaxCommentChars) return;
  if (!comment.empty()) comment += '\n';
  comment += text;
}

FilmorSignal& AddSignal(FilmorImport& out, const ChannelRecord& channel, uint64_t records, double interval,
                        const Scaling& scaling, uint64_t block0) {
  const ColumnKind kind = ColumnKindOf(channel.type);
  FilmorSignal& s = out.signals.AppendNew();
  s.Name.Assign(channel.name, kMaxNameChars);
  s.Label.Assign(channel.label, kMaxNameChars);
  s.XUnit = kTimeUnit;
  s.STyp = 0;
  s.DTyp = kind.dtyp;
  s.valueSize = kind.valueSize;
  s.stride = channel.width;
  s.NoOfValues = static_cast<int32_t>(records);
  s.ValuesPerBlock = kBlockSize / kind.valueSize;
  s.Block0 = static_cast<int32_t>(block0);
  s.Demux = kind.valueSize;
  s.XMin = 0;
  s.XOffset = 0;
  s.XFactor = interval;
  s.XMax = static_cast<double>(records - 1) * interval;
  s.YMin = channel.range[0];
  s.YMax = channel.range[1];
  if (!channel.unit.empty()) s.YUnit.Assign(channel.unit, kMaxUnitChars);
  // Values stored as doubles are scaled already.
  s.YFactor = kind.dtyp == kDTypDouble ? 1.0 : scaling.factor;
  s.YOffset = kind.dtyp == kDTypDouble ? 0.0 : scaling.offset;
  return s;
}

// A signal's values cut to the first `values` (its blocks stay).
void CutValues(FilmorSignal& s, uint64_t values) {
  s.NoOfValues = static_cast<int32_t>(values);
  if (values == 0) s.Ignore = 1;
  s.XMax = (static_cast<double>(values) - 1) * s.XFactor;
  s.samples.resize(static_cast<size_t>(values) * static_cast<size_t>(s.valueSize));
  s.rangeEnd = s.rangeStart + s.samples.size();
}

// Copies `Bytes` bytes of each record's column to consecutive values of `size` bytes.
template <size_t Bytes>
void CopyFixed(uint8_t* dst, size_t size, const uint8_t* src, uint64_t length, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i, dst += size, src += length) std::memcpy(dst, src, Bytes);
}

// Copies a column as it stands: its first value-size bytes (a column is at
// least as wide as its value).
void CopyColumn(const Column& c, const uint8_t* records, uint64_t count, uint64_t length, uint64_t first) {
  FilmorSignal& s = *c.signal;
  const size_t size = static_cast<size_t>(s.valueSize);
  uint8_t* dst = s.samples.data() + first * size;
  const uint8_t* src = records + c.offset;
  switch (size) {
    case 1: return CopyFixed<1>(dst, size, src, length, count);
    case 2: return CopyFixed<2>(dst, size, src, length, count);
    default: return CopyFixed<4>(dst, size, src, length, count);  // the widest value copied as it stands
  }
}

// Converts a column's first 8 bytes to a scaled double.
template <Converter kConverter>
void ConvertColumn(const Column& c, const uint8_t* records, uint64_t count, uint64_t length, uint64_t first) {
  FilmorSignal& s = *c.signal;
  uint8_t* dst = s.samples.data() + first * sizeof(double);
  const uint8_t* src = records + c.offset;
  for (uint64_t i = 0; i < count; ++i, dst += sizeof(double), src += length) {
    uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | src[b];
    const double value = kConverter == Converter::Int64 ? static_cast<double>(static_cast<int64_t>(bits))
                                                        : std::bit_cast<double>(bits);
    const uint64_t scaled = std::bit_cast<uint64_t>(value * c.scaling.factor + c.scaling.offset);
    for (int b = 0; b < 8; ++b) dst[b] = static_cast<uint8_t>(scaled >> (8 * b));
  }
}

void LoadColumn(const Column& c, const uint8_t* records, uint64_t count, uint64_t length, uint64_t first) {
  if (c.signal->DTyp != kDTypDouble) return CopyColumn(c, records, count, length, first);
  switch (ConverterOf(c.type)) {
    case Converter::Int64: return ConvertColumn<Converter::Int64>(c, records, count, length, first);
    case Converter::Float64: return ConvertColumn<Converter::Float64>(c, records, count, length, first);
    case Converter::None: return;  // makes no signal
  }
}

// Why a column with a width makes no signal, or none when it makes one.
std::optional<std::string_view> UnreadableColumn(const ChannelRecord& channel) {
  const ColumnKind kind = ColumnKindOf(channel.type);
  if (kind.dtyp == kDTypDouble && ConverterOf(channel.type) == Converter::None) return kUnknownColumnType;
  if (channel.width < kind.valueSize) return kNarrowColumn;
  return std::nullopt;
}

// Reads each group's records in slices and hands every slice to all the
// group's columns, so the records are read once. A read that comes short
// (the file changed since its size was taken) ends the group there: its
// signals keep the whole records read, and the shortfall names them.
void LoadSamples(smallimports::FileCursor& file, const std::vector<GroupPlan>& plans, smallimports::Shortfall& shortfall) {
  constexpr uint64_t kSliceBytes = 1 << 20;
  std::vector<uint8_t> slice;
  for (const GroupPlan& plan : plans) {
    if (plan.columns.empty()) continue;
    const uint64_t perSlice = std::max<uint64_t>(1, kSliceBytes / plan.recordLength);
    slice.resize(static_cast<size_t>(std::min(perSlice, plan.records) * plan.recordLength));
    uint64_t done = 0;
    if (file.SeekTo(plan.dataPosition)) {
      while (done < plan.records) {
        const uint64_t count = std::min(perSlice, plan.records - done);
        const uint64_t got = file.ReadSome(slice.data(), static_cast<size_t>(count * plan.recordLength)) / plan.recordLength;
        for (const Column& c : plan.columns) LoadColumn(c, slice.data(), got, plan.recordLength, done);
        done += got;
        if (got < count) break;
      }
    }
    for (const Column& c : plan.columns) {
      FilmorSignal& s = *c.signal;
      s.storedValues = static_cast<int32_t>(done);
      if (done < plan.records) CutValues(s, done);
      if (done < plan.stated) shortfall.Add(done == 0 ? kNoValues : kFewerValues, s.Name.str());
    }
  }
}

}  // namespace

std::string FilmorResultText(const FilmorResult& result) {
  const std::string document = DocumentResultText(result.document);
  switch (result.status) {
    case FilmorStatus::Ok: return "imported; " + document;
    case FilmorStatus::NoData: return "no group has records; " + document;
    case FilmorStatus::DataSpaceTooLarge: return "data space of 4 GiB or more";
    case FilmorStatus::OutOfMemory: return "not enough memory for the samples";
  }
  return "?";
}

FilmorResult ReadFilmorFile(const std::string& path, FilmorImport& out) {
  out = FilmorImport();
  FilmorResult result;
  smallimports::FileCursor file;
  std::vector<ChannelGroupRecord> groups;
  if (file.Open(path))
    result.document = ReadFilmorDocument(file, groups);
  else
    result.document.status = DocumentStatus::OpenFailed;

  out.name = smallimports::FileTitle(path, kMaxNameChars);
  out.blockSize = kBlockSize;
  std::vector<GroupPlan> plans;
  uint64_t blocks = 0;
  for (const ChannelGroupRecord& group : groups) {
    const uint64_t length = RecordLength(group);
    const uint64_t records = RecordsToRead(group, length, file.Size());
    if (records == 0) continue;
    AppendComment(out.comment, group.comment);
    const double interval = ScaledNumberValue(group.interval);
    GroupPlan& plan = plans.emplace_back(GroupPlan{group.dataPosition, records, length, {}, static_cast<uint64_t>(group.recordCount)});
    uint64_t offset = 0;
    for (const ChannelRecord& channel : group.channels) {
      const uint64_t columnOffset = offset;
      offset += channel.width;
      if (channel.width == 0) continue;
      if (const std::optional<std::string_view> why = UnreadableColumn(channel)) {
        out.shortfall.Add(*why, IdentifierOf(channel.name));
        continue;
      }
      const Scaling scaling = ChannelScaling(channel, group.unscaled);
      FilmorSignal& s = AddSignal(out, channel, records, interval, scaling, blocks);
      plan.columns.push_back({&s, columnOffset, channel.type, scaling});
      blocks += (static_cast<uint64_t>(s.valueSize) * records + kBlockSize - 1) / kBlockSize;
      if (blocks >= smallimports::kMaxDataSpace / kBlockSize) {
        out = FilmorImport();
        result.status = FilmorStatus::DataSpaceTooLarge;
        return result;
      }
    }
  }
  if (plans.empty()) {
    out = FilmorImport();
    result.status = FilmorStatus::NoData;
    return result;
  }

  for (FilmorSignal& s : out.signals) {
    smallimports::MakeIdentifier(s.Name, smallimports::IdentifierRule::Filmor);
    s.storedValues = 0;
    s.NoValue = 0;
  }
  out.dataSize = static_cast<uint32_t>(blocks * kBlockSize);
  if (out.comment.empty()) out.comment = kDefaultComment;
  try {
    for (FilmorSignal& s : out.signals) {
      const uint64_t bytes = static_cast<uint64_t>(s.NoOfValues) * static_cast<uint64_t>(s.valueSize);
      s.samples.assign(static_cast<size_t>(bytes), 0);
      s.rangeStart = static_cast<uint64_t>(s.Block0) * kBlockSize;
      s.rangeEnd = s.rangeStart + bytes;
    }
    LoadSamples(file, plans, out.shortfall);
  } catch (const std::bad_alloc&) {
    out = FilmorImport();
    result.status = FilmorStatus::OutOfMemory;
  }
  return result;
}

bool ImportFilmorFile(const std::string& path, FilmorImport& out) {
  const FilmorResult result = ReadFilmorFile(path, out);
  if (result.status == FilmorStatus::Ok) {
    if (!out.shortfall.Empty())
      smallimports::ShowShortfall(kCaption, out.shortfall.Text("File " + path + " is incomplete.", "and # more"));
    return true;
  }
  std::string text;
  switch (result.status) {
    case FilmorStatus::NoData: text = "File " + path + " has no data!"; break;
    case FilmorStatus::DataSpaceTooLarge: text = "File " + path + " is too large!"; break;
    default: text = "File " + path + ": not enough memory!"; break;
  }
  MessageBoxA(GetActiveWindow(), text.c_str(), kCaption, MB_OK | MB_ICONERROR);
  return false;
}

smallimports::DataSpaceRead ReadFilmorDataSpace(const FilmorImport& data, uint32_t position, uint8_t* buffer, uint32_t bytes) {
  if (position >= data.dataSize) return {};
  const uint32_t n = std::min(bytes, data.dataSize - position);
  const uint64_t end = uint64_t{position} + n;
  // The last signal starting at or before the position; signals lie in rising order.
  size_t lo = 0, hi = data.signals.Count();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (data.signals[mid].rangeStart <= position)
      lo = mid + 1;
    else
      hi = mid;
  }
  // Every signal's bytes within the request, also of the signals after the
  // first: a read that spans a signal's end delivers the next one's values
  // too; the padding between them is left as it is.
  uint32_t copied = 0;
  for (size_t i = lo > 0 ? lo - 1 : 0; i < data.signals.Count() && data.signals[i].rangeStart < end; ++i) {
    const FilmorSignal& s = data.signals[i];
    const uint64_t from = std::max<uint64_t>(position, s.rangeStart);
    const uint64_t to = std::min<uint64_t>(end, s.rangeEnd);
    if (from >= to) continue;
    std::memcpy(buffer + (from - position), s.samples.data() + (from - s.rangeStart), to - from);
    copied += static_cast<uint32_t>(to - from);
  }
  return {copied, n};
}

}  // namespace filmor

#include "orsand/reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <new>
#include <string_view>
#include <tuple>
#include <vector>

#include "importcore/host_types.h"
#include "importcore/support.h"
#include "orsand/ddc_loader.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "platform/win32/file.h"

namespace orsand {
namespace {

constexpr size_t kImportNameWidth = 260;  // the import's Name text with its NUL
constexpr size_t kTimestampChunk = 4096;  // timestamp values read per call
constexpr size_t kScanSliceBytes = 256 << 10;  // values read and scanned at a time
constexpr const char* kNotTdmMessage = "Die Datei ist weder TDM- noch TDMs-Format.";
constexpr const char* kErrorReadingFile = "Error reading file: ";
constexpr const char* kChannelsLeftOut = "Channels left out:";
constexpr const char* kNoPhysicalValues = "No channel of the file can be imported:";
constexpr size_t kLeftOutLines = 32;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsWithNoCase(a, b); }

// The file name part of a path and its extension (from the last '.', with the dot).
std::pair<std::string_view, std::string_view> SplitFileName(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = file.find_last_of('.');
  if (dot == std::string_view::npos) return {file, {}};
  return {file.substr(0, dot), file.substr(dot)};
}

// --- properties of files, groups and channels, through one set of calls per kind ---

template <typename H>
struct PropertyCalls;
#define ORSAND_PROPERTY_CALLS(Handle, Kind)                                 \
  template <>                                                               \
  struct PropertyCalls<Handle> {                                            \
    static constexpr auto Count = DDC_GetNum##Kind##Properties;             \
    static constexpr auto Names = DDC_Get##Kind##PropertyNames;             \
    static constexpr auto Type = DDC_Get##Kind##PropertyType;               \
    static constexpr auto Length = DDC_Get##Kind##StringPropertyLength;     \
    static constexpr auto Get = DDC_Get##Kind##Property;                    \
    [[maybe_unused]] static constexpr auto Stamp = DDC_Get##Kind##PropertyTimestampComponents; \
  };
ORSAND_PROPERTY_CALLS(DDCFileHandle, File)
ORSAND_PROPERTY_CALLS(DDCChannelGroupHandle, ChannelGroup)
ORSAND_PROPERTY_CALLS(DDCChannelHandle, Channel)
#undef ORSAND_PROPERTY_CALLS

// A text property: its length, then length + 1 bytes with the terminator.
template <typename H>
int ReadText(H object, const char* name, std::string& text) {
  unsigned int length = 0;
  if (const int status = PropertyCalls<H>::Length(object, name, &length); status < 0) return status;
  std::string buffer(size_t{length} + 1, '\0');
  if (const int status = PropertyCalls<H>::Get(object, name, buffer.data(), buffer.size()); status < 0) return status;
  buffer.resize(strnlen(buffer.data(), length));
  text = std::move(buffer);
  return 0;
}

template <typename H>
DDCDataType PropertyType(H object, const char* name) {
  DDCDataType type = DDC_TypeUnsupported;
  if (PropertyCalls<H>::Type(object, name, &type) < 0) return DDC_TypeUnsupported;
  return type;
}

// A number property as a double. A text property would fill the buffer with
// its characters, so only a property of a number type is read.
template <typename H>
int ReadDouble(H object, const char* name, double& value) {
  const DDCDataType type = PropertyType(object, name);
  if (type == DDC_TypeUnsupported || type == DDC_TypeString || type == DDC_TypeTimestamp) return DDC_ErrTypeMismatch;
  return PropertyCalls<H>::Get(object, name, &value, sizeof value);
}

// Every property name of the object; none when the library cannot list them.
template <typename H>
std::vector<std::string> PropertyNames(H object) {
  unsigned int count = 0;
  if (PropertyCalls<H>::Count(object, &count) < 0 || count == 0) return {};
  std::vector<char*> names(count, nullptr);
  const int status = PropertyCalls<H>::Names(object, names.data(), names.size());
  std::vector<std::string> out;
  out.reserve(count);
  for (char* name : names) {
    if (status >= 0 && name) out.emplace_back(name);
    DDC_FreeMemory(name);
  }
  return out;
}

// A timestamp property as seconds: the parts (UTC) plus the fraction.
template <typename H>
int ReadStamp(H object, const char* name, double& seconds, time_t* whole = nullptr) {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, weekDay = 0;
  double fraction = 0;
  const int status =
      PropertyCalls<H>::Stamp(object, name, &year, &month, &day, &hour, &minute, &second, &fraction, &weekDay);
  if (status < 0) return status;
  const time_t t = MakeTimeFromParts(year, month, day, hour, minute, second);
  if (whole) *whole = t;
  seconds = static_cast<double>(t) + fraction;
  return 0;
}

// --- value scan ---

// Range, smallest and largest step and strict rise of a channel's values,
// taken in one pass over the values as they are read, slice by slice.
class ValueScan {
 public:
  // Scans `n` values of type T that follow those scanned so far.
  template <typename T>
  static void Add(ValueScan& scan, const uint8_t* values, size_t n) {
    if (n == 0) return;
    size_t i = 0;
    if (scan.seen_ == 0) {
      scan.previous_ = scan.yMin_ = scan.yMax_ = ValueAt<T>(values, 0);
      i = 1;
    }
    double previous = scan.previous_, yMin = scan.yMin_, yMax = scan.yMax_;
    double minDelta = scan.minDelta_, maxDelta = scan.maxDelta_;
    bool rising = scan.rising_;
    if (scan.seen_ + i == 1 && i < n) {
      // The first step sets both step bounds.
      const double v = ValueAt<T>(values, i);
      minDelta = maxDelta = v - previous;
      rising = rising && v - previous > 0;
      if (v < yMin)
        yMin = v;
      else if (v > yMax)
        yMax = v;
      previous = v;
      ++i;
    }
    for (; i < n; ++i) {
      const double v = ValueAt<T>(values, i);
      const double d = v - previous;
      if (d > maxDelta)
        maxDelta = d;
      else if (d < minDelta)
        minDelta = d;
      rising = rising && !(d <= 0);
      if (v < yMin)
        yMin = v;
      else if (v > yMax)
        yMax = v;
      previous = v;
    }
    scan.previous_ = previous, scan.yMin_ = yMin, scan.yMax_ = yMax;
    scan.minDelta_ = minDelta, scan.maxDelta_ = maxDelta, scan.rising_ = rising;
    scan.seen_ += n;
  }

  // Begins with the record's steps and rise (kept when there is a single value).
  explicit ValueScan(const SignalRecord& r) : minDelta_(r.MinDelta), maxDelta_(r.MaxDelta), rising_(r.IsUniDir != 0) {}

  // The scan replaces the record's range, steps and rise.
  void Finish(SignalRecord& r) const {
    if (seen_ == 0) return;
    r.YMin = yMin_;
    r.YMax = yMax_;
    r.MinDelta = minDelta_;
    r.MaxDelta = maxDelta_;
    r.IsUniDir = rising_ ? 1 : 0;
  }

  using Step = void (*)(ValueScan&, const uint8_t*, size_t);
  // The scan step for a library data type code; null for a code without numbers.
  static Step StepFor(int32_t code) {
    switch (code) {
      case DDC_TypeInt8: return &Add<int8_t>;
      case DDC_TypeInt16: return &Add<int16_t>;
      case DDC_TypeInt32: return &Add<int32_t>;
      case DDC_TypeInt64: return &Add<int64_t>;
      case DDC_TypeUInt8: return &Add<uint8_t>;
      case DDC_TypeUInt16: return &Add<uint16_t>;
      case DDC_TypeUInt32: return &Add<uint32_t>;
      case DDC_TypeUInt64: return &Add<uint64_t>;
      case DDC_TypeFloat:
      case DDC_TypeFloatWithUnit: return &Add<float>;
      case DDC_TypeDouble:
      case DDC_TypeDoubleWithUnit: return &Add<double>;
      default: return nullptr;
    }
  }

 private:
  template <typename T>
  static double ValueAt(const uint8_t* values, size_t i) {
    T v;
    std::memcpy(&v, values + i * sizeof(T), sizeof(T));
    return static_cast<double>(v);
  }

  size_t seen_ = 0;
  double previous_ = 0, yMin_ = 0, yMax_ = 0;
  double minDelta_, maxDelta_;
  bool rising_;
};

// --- the reader ---

class Reader {
 public:
  Reader(ImportedFile& file, const LoadLimits& limits) : file_(file), limits_(limits) {}

  // The file's name, properties, groups and channels, then the drop of the
  // channels without values. The first negative status ends the reading.
  // Channels whose values the library cannot deliver are told in `leftOut`.
  int Read(DDCFileHandle handle, std::string& name, std::vector<std::string>& leftOut) {
    leftOut_ = &leftOut;
    std::string stored;
    if (const int status = ReadText(handle, "name", stored); status < 0) return status;
    if (!stored.empty()) name = importcore::CopyTextN(stored, kImportNameWidth);
    ReadFileProperties(handle);
    if (const int status = ReadChannelGroups(handle); status < 0) return status;
    DropChannelsWithoutValues();
    return 0;
  }

 private:
  // Text properties become comments; a timestamp property the file date (the last one wins).
  void ReadFileProperties(DDCFileHandle handle) {
    for (const std::string& property : PropertyNames(handle)) {
      const DDCDataType type = PropertyType(handle, property.c_str());
      if (type == DDC_TypeString) {
        std::string text;
        if (ReadText(handle, property.c_str(), text) >= 0) file_.comments.Add(property, std::move(text));
      } else if (type == DDC_TypeTimestamp) {
        double seconds = 0;
        time_t whole = -1;
        // The host's file date is a 32-bit calendar time from 1970 on: an
        // instant outside it, like a failed conversion, gives 0.
        if (ReadStamp(handle, property.c_str(), seconds, &whole) >= 0)
          file_.FileDate = whole > 0 && whole <= INT32_MAX ? static_cast<int32_t>(whole) : 0;
      }
    }
  }

  int ReadChannelGroups(DDCFileHandle handle) {
    unsigned int count = 0;
    if (const int status = DDC_GetNumChannelGroups(handle, &count); status < 0) return status;
    std::vector<DDCChannelGroupHandle> groups(count, nullptr);
    if (const int status = DDC_GetChannelGroups(handle, groups.data(), groups.size()); status < 0) return status;
    for (size_t i = 0; i < groups.size(); ++i) {
      std::string groupName;
      if (const int status = ReadText(groups[i], "name", groupName); status < 0) return status;
      for (const std::string& property : PropertyNames(groups[i])) {
        if (EqualNoCase(property, "name") || PropertyType(groups[i], property.c_str()) != DDC_TypeString) continue;
        std::string text;
        if (ReadText(groups[i], property.c_str(), text) >= 0) file_.comments.Add(property, std::move(text));
      }
      const int status = ReadGroupChannels(groups[i], static_cast<int32_t>(i + 1), groupName);
      if (status < 0) return status;
    }
    return 0;
  }

  struct Member {
    SignalRecord* record;
    DDCChannelHandle handle;
  };

  int ReadGroupChannels(DDCChannelGroupHandle group, int32_t groupNumber, const std::string& groupName) {
    unsigned int count = 0;
    if (const int status = DDC_GetNumChannels(group, &count); status < 0) return status;
    std::vector<DDCChannelHandle> channels(count, nullptr);
    if (const int status = DDC_GetChannels(group, channels.data(), channels.size()); status < 0) return status;

    std::vector<Member> members;
    members.reserve(channels.size());
    SignalRecord* timeChannel = nullptr;
    for (size_t c = 0; c < channels.size(); ++c) {
      auto created = std::make_unique<SignalRecord>();
      created->group = groupNumber;
      created->number = static_cast<int32_t>(file_.signals.Count() + 1);
      SignalRecord& record = file_.signals.Append(std::move(created));
      members.push_back({&record, channels[c]});
      const int status = DescribeChannel(record, channels[c], groupName, c == 0, timeChannel);
      if (status < 0) return status;
    }
    for (const Member& m : members)
      if (const int status = ReadValues(*m.record, m.handle); status < 0) return status;
    if (timeChannel && timeChannel->NoOfValues > 1) GiveTimeAxis(*timeChannel, members);
    return 0;
  }

  // First pass over a channel: names, time channel, type, unit, time axis and
  // range properties, count and place in the data space, further properties.
  int DescribeChannel(SignalRecord& r, DDCChannelHandle channel, const std::string& groupName, bool first,
                      SignalRecord*& timeChannel) {
    std::string name;
    if (const int status = ReadText(channel, "name", name); status < 0) return status;
    std::string identifier(name.substr(0, kTextWidth - 1));
    MakeIdentifier(identifier);
    r.Name = identifier;
    r.DisplayName = name + "\\" + groupName;

    if (StartsWithNoCase(r.Name, "ZEIT")) {
      timeChannel = &r;
      r.isTime = 1;
    } else if (timeChannel) {
      r.xLink = timeChannel;
    }

    DDCDataType type = DDC_TypeUnsupported;
    if (const int status = DDC_GetDataType(channel, &type); status < 0) {
      // Values the library cannot deliver as they are meant (an unsupported
      // or broken scaling) are left out, and the user is told why.
      type = DDC_TypeUnsupported;
      const char* why = DDC_GetLibraryErrorDescription(status);
      leftOut_->push_back(std::string(r.DisplayName.str()) + ": " + (why ? why : ""));
    }
    r.ddcType = type;
    if (type == DDC_TypeChannelTimestamp) {
      r.DTyp = importcore::dtyp::kFloat64;
      r.valueSize = sizeof(double);
    } else {
      std::tie(r.DTyp, r.valueSize) = MapDdcDataType(type);
    }

    std::string unit;
    if (ReadText(channel, "unit_string", unit) >= 0) r.YUnit = unit;

    r.YFactor = 1.0;
    r.XFactor = 1.0;
    double value = 0;
    if (ReadDouble(channel, "wf_increment", value) >= 0) r.XFactor = value == 0 ? 1.0 : value;
    const bool startOffset = ReadDouble(channel, "wf_start_offset", value) >= 0;
    if (startOffset) r.XOffset = r.XMin = value;

    if (type == DDC_TypeChannelTimestamp) {
      if (ReadStamp(channel, "minimum", value) >= 0) r.YMin = r.XMin = value;
      if (ReadStamp(channel, "maximum", value) >= 0) r.YMax = r.XMax = value;
    } else {
      if (ReadDouble(channel, "minimum", value) >= 0) r.YMin = value;
      if (ReadDouble(channel, "maximum", value) >= 0) r.YMax = value;
    }
    if (r.XUnit.empty()) r.XUnit = "s";

    uint64_t count = 0;
    if (const int status = DDC_GetNumDataValues(channel, &count); status < 0) return status;
    if (r.valueSize > 0) {
      if (count > INT32_MAX) return kDdcOutOfMemory;
      r.NoOfValues = static_cast<int32_t>(count);
      if (const int status = LayOut(r); status < 0) return status;
    }
    if (startOffset) r.XMax = static_cast<double>(count) * r.XFactor + r.XOffset;

    ReadChannelProperties(r, channel);

    if (first && r.IsUniDir && !r.isTime) {
      std::string upper(r.Name.str());
      for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (upper.find("ZEIT") != std::string::npos || upper.find("TIME") != std::string::npos) {
        timeChannel = &r;
        r.isTime = 1;
      }
    }
    return 0;
  }

  // The channel's whole blocks in the data space, behind those handed out so far.
  int LayOut(SignalRecord& r) {
    const uint64_t bytes = static_cast<uint64_t>(r.NoOfValues) * static_cast<uint64_t>(r.valueSize);
    const uint64_t blocks = (bytes + kBlockSize - 1) / kBlockSize;
    const uint64_t dataSize = (file_.blocks + blocks) * kBlockSize;
    if (dataSize > limits_.maxDataSpace) return kDdcOutOfMemory;
    r.Block0 = static_cast<int32_t>(file_.blocks);
    r.byteOffset = file_.blocks * kBlockSize;
    r.endOffset = r.byteOffset + bytes;
    r.Demux = r.valueSize;
    r.ValuesPerBlock = static_cast<int32_t>(kBlockSize) / r.valueSize;
    r.BlockOffset = 0;
    file_.blocks += blocks;
    file_.DataSize = dataSize;
    return 0;
  }

  // Text properties beyond the leading ones: monotony, the time axis unit and comments.
  void ReadChannelProperties(SignalRecord& r, DDCChannelHandle channel) {
    for (const std::string& property : PropertyNames(channel)) {
      if (EqualNoCase(property, "name") || EqualNoCase(property, "description") ||
          EqualNoCase(property, "unit_string") || EqualNoCase(property, "maximum") ||
          EqualNoCase(property, "minimum") || PropertyType(channel, property.c_str()) != DDC_TypeString)
        continue;
      std::string text;
      if (ReadText(channel, property.c_str(), text) < 0) continue;
      if (EqualNoCase(property, "monotony")) {
        if (EqualNoCase(text, "increasing")) r.IsUniDir = 1;
      } else if (property == "wf_xunit_string") {
        if (!text.empty()) r.XUnit = text;
      } else if (!property.starts_with("wf_") && !file_.comments.Contains(property, text)) {
        file_.comments.Add(property, std::move(text));
      }
    }
  }

  // Second pass: the values into the channel's buffer, with their scan.
  int ReadValues(SignalRecord& r, DDCChannelHandle channel) {
    if (r.valueSize == 0) {
      r.NoOfValues = 0;
      return 0;
    }
    if (r.ddcType == DDC_TypeChannelTimestamp) r.isTime = 1;
    if (r.NoOfValues == 0) return 0;
    const size_t count = static_cast<size_t>(r.NoOfValues);
    r.values = ValueBuffer::Allocate(count * static_cast<size_t>(r.valueSize));
    if (!r.values) return kDdcOutOfMemory;
    if (r.ddcType == DDC_TypeChannelTimestamp) return ReadTimestamps(r, channel);
    // Read and scanned slice by slice, so that the scan finds each slice in the cache.
    const size_t size = static_cast<size_t>(r.valueSize);
    const size_t slice = std::max<size_t>(1, kScanSliceBytes / size);
    if (count > 1) r.IsUniDir = 1;
    ValueScan scan(r);
    const ValueScan::Step step = ValueScan::StepFor(r.ddcType);
    for (size_t first = 0; first < count; first += slice) {
      const size_t n = std::min(slice, count - first);
      uint8_t* at = r.values.get() + first * size;
      if (const int status = DDC_GetDataValues(channel, first, n, at); status < 0) return status;
      if (step) step(scan, at, n);
    }
    scan.Finish(r);
    return 0;
  }

  // Timestamps as seconds (their UTC parts, plus the fraction); no scan.
  int ReadTimestamps(SignalRecord& r, DDCChannelHandle channel) {
    const size_t count = static_cast<size_t>(r.NoOfValues);
    const size_t chunk = std::min(count, kTimestampChunk);
    std::vector<unsigned> year(chunk), month(chunk), day(chunk), hour(chunk), minute(chunk), second(chunk);
    std::vector<double> fraction(chunk);
    for (size_t first = 0; first < count; first += chunk) {
      const size_t n = std::min(chunk, count - first);
      const int status = DDC_GetDataValuesTimestampComponents(channel, first, n, year.data(), month.data(), day.data(),
                                                              hour.data(), minute.data(), second.data(),
                                                              fraction.data(), nullptr);
      if (status < 0) return status;
      for (size_t i = 0; i < n; ++i) {
        const double seconds =
            static_cast<double>(MakeTimeFromParts(year[i], month[i], day[i], hour[i], minute[i], second[i])) +
            fraction[i];
        std::memcpy(r.values.get() + (first + i) * sizeof(double), &seconds, sizeof seconds);
      }
    }
    return 0;
  }

  // The group's time channel T gives every channel without the time mark its
  // time axis; when T's steps are even, they need no link to it.
  static void GiveTimeAxis(SignalRecord& t, const std::vector<Member>& members) {
    t.XMin = t.XOffset = t.YMin;
    t.XMax = t.YMax;
    t.XFactor = (t.XMax - t.XMin) / static_cast<double>(t.NoOfValues - 1);
    const bool equidistant = t.XFactor <= t.MaxDelta && t.MaxDelta < 1.01 * t.XFactor &&
                             0.99 * t.XFactor < t.MinDelta && t.MinDelta <= t.XFactor;
    for (const Member& m : members) {
      SignalRecord& r = *m.record;
      if (r.isTime) continue;
      r.XMin = t.XMin;
      r.XOffset = t.XOffset;
      r.XMax = t.XMax;
      r.XFactor = t.XFactor;
      if (equidistant) r.xLink = nullptr;
    }
  }

  // Channels without values go; so do the links to them. The rest are numbered from 1.
  void DropChannelsWithoutValues() {
    for (SignalRecord& r : file_.signals) r.keep = r.NoOfValues != 0 ? 1 : 0;
    for (SignalRecord& r : file_.signals)
      if (r.xLink && !r.xLink->keep) r.xLink = nullptr;
    file_.signals.DropUnused();
    file_.signals.Renumber();
  }

  ImportedFile& file_;
  const LoadLimits& limits_;
  std::vector<std::string>* leftOut_ = nullptr;
};

void ShowError(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), kMessageCaption, MB_OK | MB_ICONERROR);
}

// The channels left out, one line each: at most kLeftOutLines, then how many more.
std::string LeftOutText(const char* heading, const std::vector<std::string>& leftOut) {
  std::string text = heading;
  for (size_t i = 0; i < leftOut.size() && i < kLeftOutLines; ++i) text += "\n" + leftOut[i];
  if (leftOut.size() > kLeftOutLines) text += "\n(" + std::to_string(leftOut.size() - kLeftOutLines) + " more)";
  return text;
}

}  // namespace

FileKind DetectTdmFormat(const std::string& path) {
  const std::string_view extension = SplitFileName(path).second;
  if (EqualNoCase(extension, ".TDM")) return FileKind::Tdm;
  if (EqualNoCase(extension, ".TDMS")) return FileKind::Tdms;
  // Only a regular file is read: a pipe or a device could block.
  struct stat info {};
  if (stat(winport::AnsiToUtf8(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return FileKind::Neither;
  winport::File file;
  char tag[4] = {};
  if (!file.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite) || !file.ReadExact(tag, sizeof tag))
    return FileKind::Neither;
  const std::string_view lead(tag, sizeof tag);
  return lead == "TDSm" || EqualNoCase(lead, "TDMS") ? FileKind::Tdms : FileKind::Neither;
}

std::pair<int32_t, int32_t> MapDdcDataType(int32_t code) {
  using namespace importcore::dtyp;
  switch (code) {
    case DDC_TypeInt8: return {kInt8, 1};
    case DDC_TypeInt16: return {kInt16, 2};
    case DDC_TypeInt32: return {kInt32, 4};
    case DDC_TypeInt64: return {kInt64, 8};
    case DDC_TypeUInt8: return {kUInt8, 1};
    case DDC_TypeUInt16: return {kUInt16, 2};
    case DDC_TypeUInt32: return {kUInt32, 4};
    case DDC_TypeUInt64: return {kUInt64, 8};
    case DDC_TypeFloat:
    case DDC_TypeFloatWithUnit: return {kFloat32, 4};
    case DDC_TypeDouble:
    case DDC_TypeDoubleWithUnit: return {kFloat64, 8};
    default: return {0, 0};
  }
}

time_t MakeTimeFromParts(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                         unsigned second) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return -1;
  // Days since 1970-01-01 of the proleptic Gregorian date.
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = era * 146097 + doe - 719468;
  return static_cast<time_t>(days * 86400 + hour * 3600 + minute * 60 + second);
}

void MakeIdentifier(std::string& text) {
  importcore::MakeIdentifier(text);
  if (!text.empty() && text[0] == '$') text.insert(text.begin(), 'S');
  if (text.size() > kTextWidth - 1) text.resize(kTextWidth - 1);
}

LoadOutcome Load(const std::string& path, ImportedFile& file, std::string& name, const LoadLimits& limits) {
  const FileKind kind = DetectTdmFormat(path);
  if (kind == FileKind::Neither) {
    ShowError(kNotTdmMessage);
    return {LoadResult::NotTdm, 0};
  }
  DDCFileHandle handle = nullptr;
  std::vector<std::string> leftOut;
  int status = DDC_OpenFileEx(path.c_str(), kind == FileKind::Tdm ? "TDM" : "TDMs", 1, &handle);
  if (status >= 0) {
    name = importcore::CopyTextN(SplitFileName(path).first, kImportNameWidth);
    try {
      status = Reader(file, limits).Read(handle, name, leftOut);
    } catch (const std::bad_alloc&) {
      status = kDdcOutOfMemory;
    }
    DDC_CloseFile(handle);
  }
  if (status < 0) {
    const char* description = DDC_GetLibraryErrorDescription(status);
    ShowError(std::string(kErrorReadingFile) + (description ? description : ""));
    return {LoadResult::LibraryError, status};
  }
  if (file.signals.Empty()) {
    if (leftOut.empty()) return {LoadResult::NoChannels, 0};
    ShowError(LeftOutText(kNoPhysicalValues, leftOut));
    return {LoadResult::LeftOut, 0};
  }
  if (!leftOut.empty())
    MessageBoxA(nullptr, LeftOutText(kChannelsLeftOut, leftOut).c_str(), kMessageCaption, MB_OK | MB_ICONWARNING);
  return {LoadResult::Imported, 0};
}

}  // namespace orsand

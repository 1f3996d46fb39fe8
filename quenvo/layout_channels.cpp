// The channel-struct layout: a struct whose fields are the channels, each a
// struct with "daten", "beschreibung" and "einheit". Every channel's values
// lie as doubles from the start of its own blocks of 1024 bytes.
#include <algorithm>
#include <memory>
#include <vector>

#include "importcore/support.h"
#include "quenvo/mat_loader.h"

namespace quenvo {
namespace {

constexpr uint32_t kValuesPerBlock = kChannelBlockSize / sizeof(double);
// Values converted at a time, then scanned for the range while in the cache.
constexpr size_t kSlice = 8192;

struct Channel {
  SignalRecord* record;
  const mxArray* values;
};

// A channel's description or unit: the text, unless it is "-".
bool TakeText(const mxArray* value, std::string& out) {
  std::string text = MxCharToString(value);
  if (text == "-") return false;
  out = std::move(text);
  return true;
}

// A channel record from the fields of `value`; none when it holds no numeric "daten".
std::unique_ptr<SignalRecord> ReadChannel(const char* fieldName, const mxArray* value, const mxArray** values) {
  auto record = std::make_unique<SignalRecord>();
  record->isTime = importcore::EqualNoCase(fieldName, "ZEIT") || importcore::EqualNoCase(fieldName, "TIME");
  std::string name = importcore::CopyTextN(fieldName ? fieldName : "", copy::kName);
  record->DisplayName = name;
  importcore::MakeIdentifier(name);
  record->Name = name;

  *values = nullptr;
  const int fields = mxGetNumberOfFields(value);
  for (int f = 0; f < fields; ++f) {
    const char* own = mxGetFieldNameByNumber(value, f);
    const mxArray* v = mxGetFieldByNumber(value, 0, f);
    std::string text;
    if (importcore::EqualNoCase(own, "daten")) {
      if (IsNumeric(v) && ElementCount(v) > 0) *values = v;
    } else if (importcore::EqualNoCase(own, "beschreibung")) {
      if (TakeText(v, text)) record->Label = importcore::CopyTextN(text, copy::kChannelLabel);
    } else if (importcore::EqualNoCase(own, "einheit")) {
      if (TakeText(v, text)) record->YUnit = importcore::CopyTextN(text, copy::kName);
    }
  }
  if (!*values) return nullptr;
  return record;
}

// Converts the channel's values into its blocks and takes their range.
void StoreValues(const Channel& channel, double* out) {
  SignalRecord& r = *channel.record;
  const size_t n = static_cast<size_t>(r.NoOfValues);
  for (size_t first = 0; first < n; first += kSlice) {
    const size_t count = std::min(kSlice, n - first);
    double* slice = out + first;
    ConvertNumbers(channel.values, first, count, slice);
    size_t i = 0;
    if (first == 0) r.YMin = r.YMax = slice[i++];
    for (; i < count; ++i) {
      if (slice[i] < r.YMin)
        r.YMin = slice[i];
      else if (slice[i] > r.YMax)
        r.YMax = slice[i];
    }
  }
}

}  // namespace

LoadStatus LoadChannelStruct(MatFile& file, const mxArray* channels, LoadTarget target) {
  ImportedFile& data = target.data;
  std::vector<Channel> loaded;
  uint64_t blocks = 0;
  const int fields = mxGetNumberOfFields(channels);
  for (int f = 0; f < fields; ++f) {
    const mxArray* value = mxGetFieldByNumber(channels, 0, f);
    if (!value) continue;
    const mxArray* values = nullptr;
    std::unique_ptr<SignalRecord> record = ReadChannel(mxGetFieldNameByNumber(channels, f), value, &values);
    if (!record) continue;
    const uint64_t n = ElementCount(values);
    const uint64_t taken = (n * sizeof(double) + kChannelBlockSize - 1) / kChannelBlockSize;
    if (n > kMaxDataSize || taken > kMaxDataSize / kChannelBlockSize - blocks) {
      file.Close();
      return LoadStatus::OutOfMemory;
    }
    record->NoOfValues = static_cast<int32_t>(n);
    record->Block0 = static_cast<int32_t>(blocks);
    blocks += taken;
    record->STyp = styp::kChannelBlocks;
    record->ValuesPerBlock = kValuesPerBlock;
    record->BlockOffset = 0;
    record->Demux = sizeof(double);
    loaded.push_back({&data.signals.Append(std::move(record)), values});
  }
  data.signals.Renumber();

  if (!data.data.Allocate(blocks * kChannelBlockSize)) {
    file.Close();
    return LoadStatus::OutOfMemory;
  }
  for (const Channel& c : loaded) StoreValues(c, data.data.doubles() + uint64_t{kValuesPerBlock} * c.record->Block0);

  const auto time = std::find_if(loaded.begin(), loaded.end(), [](const Channel& c) { return c.record->isTime; });
  if (time != loaded.end()) {
    SignalRecord& t = *time->record;
    AnalyseTimeAxis(t, data.data.doubles() + uint64_t{kValuesPerBlock} * t.Block0, static_cast<size_t>(t.NoOfValues));
    for (const Channel& c : loaded) {
      if (c.record == &t) continue;
      c.record->XMin = t.XMin;
      c.record->XMax = t.XMax;
      c.record->XFactor = t.XFactor;
      c.record->XOffset = t.XOffset;
      c.record->XUnit = t.XUnit;
    }
  }
  if (file.Close() != 0) return LoadStatus::CloseFailed;
  return LoadStatus::Ok;
}

}  // namespace quenvo

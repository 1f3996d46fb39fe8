#include "dravo/import_driver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "dravo/import_text.h"
#include "dravo/mdflib.h"
#include "dravo/progress.h"
#include "dravo/records.h"
#include "dravo/replace.h"
#include "dravo/time_channel.h"
#include "importcore/pause_axes.h"
#include "importcore/support.h"
#include "platform/ui/messagebox.h"

namespace dravo {

namespace {

constexpr const char* kProgramId = "ZephanorImport";
constexpr const char* kFosBegin = "<FOS begin>";
constexpr size_t kNameChars = 63;  // Name, XSignal, CLink
constexpr size_t kDisplayNameChars = 71;
constexpr size_t kLabelChars = 254;
constexpr size_t kUnitChars = 19;
constexpr size_t kFileCommentChars = 28;
constexpr size_t kHeaderFieldChars = 31;
constexpr size_t kCommentLineChars = 240;
constexpr uint64_t kMaxDataSize = 0xFFFFFFFFu;
// How often long loops pump the host's messages and step their window.
constexpr auto kPumpInterval = std::chrono::milliseconds(20);

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string TrimmedRight(std::string text) {
  importcore::TrimRight(text);
  if (text == " ") text.clear();
  return text;
}

// Says when a long loop, asking after each chunk of its work, should pump
// messages and step its window: at the first call, then every kPumpInterval.
class Throttle {
 public:
  bool Due() {
    const auto now = std::chrono::steady_clock::now();
    if (started_ && now - last_ < kPumpInterval) return false;
    started_ = true;
    last_ = now;
    return true;
  }

 private:
  bool started_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// The channel's number (from 1) in its group's CN chain.
uint16_t ChannelNumber(const MdfGroupRecord& group, const MdfChannelRecord& channel) {
  const auto it = std::find(group.cns.begin(), group.cns.end(), channel.cn);
  return static_cast<uint16_t>(it - group.cns.begin() + 1);
}

// The records of the group that the file holds whole: the CG's count, cut
// where the data area ends with the file. A record of no bytes holds nothing.
uint32_t WholeRecords(const MdfGroupRecord& group, uint32_t count) {
  const uint64_t length = group.file->handle->OpenedLength();
  const uint64_t start = group.DataLink();
  const uint64_t stride = uint64_t{group.recordSize} + group.recordIds;
  if (stride == 0 || start >= length) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(count, (length - start) / stride));
}

// How a signal's values are stored in the data block, chosen once per channel.
enum class StoreKind : uint8_t { Float, Double, UInt32, Int32 };

StoreKind KindOf(int32_t dtyp) {
  switch (dtyp) {
    case kDTypDouble: return StoreKind::Double;
    case kDTypUInt32: return StoreKind::UInt32;
    case kDTypInt32: return StoreKind::Int32;
    default: return StoreKind::Float;
  }
}

// The range of a signal's finite values, their smallest and largest step,
// and whether every step rises, taken as the values come.
class RangeTracker {
 public:
  void Add(double v) {
    if (!std::isfinite(v)) {
      rising_ = false;
      return;
    }
    if (any_) {
      const double d = v - last_;
      minDelta_ = std::min(minDelta_, d);
      maxDelta_ = std::max(maxDelta_, d);
      rising_ = rising_ && d > 0;
    } else {
      min_ = max_ = v;
    }
    if (v < min_)
      min_ = v;
    else if (v > max_)
      max_ = v;
    deltas_ = any_;
    any_ = true;
    last_ = v;
  }
  // YMin, YMax, MinDelta, MaxDelta and IsUniDir; 0 where there were no values or steps.
  void Finish(SignalRecord& s) const {
    s.YMin = any_ ? min_ : 0;
    s.YMax = any_ ? max_ : 0;
    s.MinDelta = deltas_ ? minDelta_ : 0;
    s.MaxDelta = deltas_ ? maxDelta_ : 0;
    s.IsUniDir = rising_ ? 1.0 : 0.0;
  }

 private:
  double min_ = 0, max_ = 0, last_ = 0;
  double minDelta_ = std::numeric_limits<double>::infinity(), maxDelta_ = -std::numeric_limits<double>::infinity();
  bool any_ = false, deltas_ = false, rising_ = true;
};

// One channel of a group being converted: its values go from the record-major
// scratch rows to the signal's place in the data block, the type chosen once per chunk.
struct ConvertChannel {
  MdfChannelRecord* handle = nullptr;
  SignalRecord* signal = nullptr;
  uint8_t* values = nullptr;
  StoreKind kind = StoreKind::Float;
  RangeTracker range;

  template <class T, class Make>
  void StoreColumn(const double* column, size_t stride, uint64_t first, size_t n, Make make) {
    T* out = reinterpret_cast<T*>(values) + first;
    for (size_t i = 0; i < n; ++i) {
      const double v = column[i * stride];
      const T stored = make(v);
      std::memcpy(out + i, &stored, sizeof stored);
      range.Add(v);
    }
  }
  // Records first .. first + n - 1, whose values stand in column `column` of rows of `stride` values.
  void Take(const double* column, size_t stride, uint64_t first, size_t n) {
    switch (kind) {
      case StoreKind::Float:
        StoreColumn<float>(column, stride, first, n, [](double v) { return static_cast<float>(v); });
        break;
      case StoreKind::Double: StoreColumn<double>(column, stride, first, n, [](double v) { return v; }); break;
      case StoreKind::UInt32: StoreColumn<uint32_t>(column, stride, first, n, SaturateUInt32); break;
      case StoreKind::Int32: StoreColumn<int32_t>(column, stride, first, n, SaturateInt32); break;
    }
  }
};

// Values read ahead of storing them: a chunk of records times the group's channels.
constexpr size_t kScratchValues = 16384;
// Time values read in one library call.
constexpr size_t kScanChunk = 4096;

// The text that names why a channel's values cannot be read, for the import message (Windows-1252).
std::string ProblemText(MdfValueProblem problem, const MdfChannelInfo& info) {
  switch (problem) {
    case MdfValueProblem::DataType: return "Datentyp " + std::to_string(info.dataType);
    case MdfValueProblem::BitCount:
      return "Datentyp " + std::to_string(info.dataType) + " mit " + std::to_string(info.bits) + " Bit";
    case MdfValueProblem::OutsideRecord: return "au\xDF" "erhalb des Datensatzes";
    case MdfValueProblem::None: break;
  }
  return "Text ohne Pausenkommentar";
}

// What pass 0 found of a group's time channel.
struct TimeAxis {
  uint16_t channel = 0;  // 0: none
  std::string name;      // identifier with suffix; empty when the steps are regular (no XSignal links)
  std::string unit;
  double step = 1.0, first = 0, last = 0;
  uint32_t flags = 0;
};

class Importer {
 public:
  Importer(const std::string& file, ImportFactors& factors, ImportData& out)
      : path_(file), factors_(factors), out_(out) {}

  bool Run();

 private:
  bool SortIfNeeded();
  void ReadHeader(const std::string& comment);
  void AddComment(std::string text, std::string name);
  void AddCommentLines(const std::string& comment);

  // A group opened for a pass: kMdfOk, a positive status for a group to skip,
  // or a negative one (shown) that ends the import.
  MdfStatus OpenGroup(uint16_t n, MdfGroupRecord** group, uint32_t* records, uint16_t* channels);
  bool BuildGroupSignals(uint16_t n, MdfGroupRecord* group, uint32_t records, uint16_t channels);
  bool ScanTimeChannel(uint16_t n, MdfChannelRecord* time, uint32_t records, TimeScan& scan);
  // Whether every record of a string channel holds a pause comment, read from the group's first record on.
  bool HoldsPauseComments(MdfGroupRecord* group, MdfChannelRecord* channel, uint32_t records, bool* all);
  bool AddSignal(uint16_t n, uint16_t c, MdfGroupRecord* group, const TimeAxis& time, uint32_t records,
                 std::string& colorName);
  bool ConvertGroup(uint16_t n, MdfGroupRecord* group, uint32_t records, uint16_t channels);
  void RepairTimeSignal(SignalRecord& time);
  void PostPass();
  // The identifier with the group's suffix "@<n>" in a file of several groups.
  std::string Suffixed(const std::string& identifier, uint16_t n) const;
  // The failure of a library call inside a pass: its box when the library showed none.
  bool Fail(MdfStatus status);

  std::string path_;
  ImportFactors& factors_;
  ImportData& out_;
  MdfFileRecord* file_ = nullptr;
  uint16_t groupCount_ = 0;
  bool stopped_ = false;
  uint64_t dataSize_ = 0;
  uint32_t blockCounter_ = 0;
  std::string message_;                                   // group reports, shown at the end of a completed import
  std::vector<std::vector<SignalRecord*>> groupSignals_;  // by group number: its signals by channel number - 1
                                                          // (null for a channel left out)
  std::vector<std::string> leftOut_;  // the group's channels whose values cannot be read, with the reason
};

// Ends the library on every way out of an import.
struct LibraryScope {
  ~LibraryScope() { MdfExitLibrary(); }
};

bool Importer::Fail(MdfStatus status) {
  // A reported error is recorded, and the library has shown it.
  if (status > 0 || MdfCheckInitialized() == kMdfOk) ShowImportError(status);
  stopped_ = true;
  return false;
}

// An unsorted file is replaced by its sorted copy, which the library then
// reads afresh. Any answer but "sorted" and "unsorted" is the status of a
// file that did not open, which the library has reported: opening it again
// would only report it twice.
bool Importer::SortIfNeeded() {
  const MdfStatus answer = MdfNeedsSorting(path_);
  if (answer == kMdfOk) return true;
  if (answer != kMdfMustSort) return false;
  if (!ReplaceBySortedCopy(path_)) return false;
  return ShowImportError(MdfInitLibrary(kProgramId));
}

void Importer::AddComment(std::string text, std::string name) {
  if (out_.comments.size() >= kCommentSlots) return;
  out_.comments.push_back(CommentEntry{std::move(text), std::move(name)});
}

void Importer::ReadHeader(const std::string& comment) {
  MdfHeaderInfo info;
  if (MdfGetHeaderInfo(file_, &info) != kMdfOk) info = MdfHeaderInfo();
  const std::string& headerComment = info.comment;
  if (!headerComment.empty() && !StartsWith(headerComment, kFosBegin))
    out_.fileComment = TrimmedRight(headerComment.substr(0, kFileCommentChars));
  const std::pair<const char*, const std::string*> fields[] = {
      {"Name", &info.author},     {"Abteilung", &info.organisation},
      {"Projekt", &info.project}, {"Subjekt", &info.subject},
      {"Datum", &info.date},      {"Zeit", &info.time},
  };
  for (const auto& [name, field] : fields) AddComment(TrimmedRight(*field).substr(0, kHeaderFieldChars), name);
  AddCommentLines(comment);
}

// Every line of the header comment that holds more than blanks and does not
// begin with "<FOS begin>" becomes the entry "Text<k>".
void Importer::AddCommentLines(const std::string& comment) {
  int count = 0;
  size_t pos = 0;
  while (pos < comment.size() && out_.comments.size() < kCommentSlots) {
    const size_t end = std::min(comment.find_first_of("\r\n", pos), comment.size());
    const std::string_view line = std::string_view(comment).substr(pos, end - pos);
    pos = comment.find_first_not_of("\r\n", end);
    if (pos == std::string::npos) pos = comment.size();
    if (StartsWith(line, kFosBegin) || line.find_first_not_of(' ') == std::string_view::npos) continue;
    std::string text = TrimmedRight(std::string(line.substr(0, kCommentLineChars)));
    text = WrapCommentLines(text, importcore::ReadVariableInt("MDF_CHARSPERLINE"));
    AddComment(std::move(text), "Text" + std::to_string(++count));
  }
}

std::string Importer::Suffixed(const std::string& identifier, uint16_t n) const {
  if (groupCount_ <= 1) return identifier;
  std::string suffixed = identifier + "@" + std::to_string(n);
  return suffixed.size() < kNameChars ? suffixed : identifier;
}

MdfStatus Importer::OpenGroup(uint16_t n, MdfGroupRecord** group, uint32_t* records, uint16_t* channels) {
  const MdfStatus opened = MdfOpenGroup(group, file_, n, kMdfOpenRead);
  if (opened != kMdfOk) return opened;
  uint32_t count = 0;
  MdfStatus s = MdfGetRecordCount(&count, *group);
  if (s == kMdfOk) s = MdfGetChannelCount(channels, *group);
  if (s == kMdfOk) s = MdfSeekRecord(*group, 0, 0);
  if (s != kMdfOk) {
    MdfCloseGroup(*group);
    return s;
  }
  *records = WholeRecords(**group, count);
  if (*records == 0) {
    MdfCloseGroup(*group);
    return kMdfNoRecord;
  }
  importcore::PumpMessages();
  return kMdfOk;
}

bool Importer::ScanTimeChannel(uint16_t n, MdfChannelRecord* time, uint32_t records, TimeScan& scan) {
  ProgressRecord progress;
  CreateProgressWindow(records, "Time Gruppe " + std::to_string(n), progress, kModuleVersion);
  // The channel read once per record, a chunk of records per library call.
  const std::vector<MdfChannelRecord*> handles(std::min<size_t>(records, kScanChunk), time);
  std::vector<double> values(handles.size());
  Throttle throttle;
  bool ok = true;
  for (uint64_t i = 0; i < records && ok;) {
    if (i > 0 && throttle.Due()) {
      StepProgress(i, progress);
      importcore::PumpMessages();
      if (ProgressCancelled()) {
        stopped_ = true;
        ok = false;
        break;
      }
    }
    // The first value alone, so that the window is stepped before the rest.
    const size_t count = i == 0 ? 1 : static_cast<size_t>(std::min<uint64_t>(handles.size(), records - i));
    if (const MdfStatus s = MdfGetValues(values.data(), handles.data(), count)) {
      ok = Fail(s);
      break;
    }
    for (size_t k = 0; k < count; ++k) scan.Add(values[k]);
    i += count;
  }
  DestroyProgressWindow(progress);
  return ok;
}

bool Importer::BuildGroupSignals(uint16_t n, MdfGroupRecord* group, uint32_t records, uint16_t channels) {
  TimeAxis time;
  MdfChannelRecord* timeChannel = nullptr;
  MdfStatus opened = MdfOpenTimeChannel(&timeChannel, group);
  if (opened < 0) return Fail(opened);
  if (opened == kMdfOk) {
    // A time channel without numbers gives no axis: the group counts its records.
    uint16_t type = 0;
    if (MdfCheckChannelValues(timeChannel, nullptr) != kMdfOk ||
        MdfGetChannelDataType(timeChannel, &type) != kMdfOk || type == kDataTypeString) {
      MdfCloseChannel(timeChannel);
      opened = kMdfTimeChannelNotFound;
    }
  }
  if (opened == kMdfOk) {
    time.channel = ChannelNumber(*group, *timeChannel);
    std::string name;
    MdfGetChannelName(timeChannel, &name);
    if (!name.empty()) {
      name.resize(std::min<size_t>(name.size(), layout::cn::kNameChars));
      MakeIdentifier(name);
      time.name = Suffixed(name, n);
    }
    TimeScan scan;
    if (!ScanTimeChannel(n, timeChannel, records, scan)) {
      MdfCloseChannel(timeChannel);
      return false;
    }
    time.flags = scan.Flags(factors_.xMax, factors_.xMin);
    time.first = scan.First();
    time.last = scan.Last();
    time.step = scan.MeanStep();
    if (time.flags & kTimeRegular) {
      time.step = records > 1 ? (time.last - time.first) / static_cast<double>(records - 1) : 0.0;
      time.name.clear();
    }
    uint16_t type = 0;
    std::span<const uint8_t> parameters;
    if (MdfGetConversion(timeChannel, &type, &time.unit, &parameters) != kMdfOk) time.unit.clear();
    time.unit = time.unit.substr(0, kUnitChars);
    MdfCloseChannel(timeChannel);
    if (time.flags & kTimeErrors) {
      if (!message_.empty()) message_ += '\n';
      message_ += std::to_string(scan.Errors()) + " Fehler im Zeitkanal bei Gruppe " + std::to_string(n) +
                  ", Index = " + std::to_string(scan.FirstErrorIndex()) +
                  "\nDer Fehler wird evtl. durch Interpolation behoben.\nBetroffen sind folgende Signale:\n";
      for (uint16_t c = 1; c <= channels; ++c) {
        std::string name =
            c <= group->cns.size() ? group->cns[c - 1]->Text(layout::cn::kName, layout::cn::kNameChars) : std::string();
        message_ += name;
        if (c == channels) {
          message_ += '\n';
        } else {
          message_ += ", ";
          if (c >= 5 && (c - 5) % 4 == 0) message_ += '\n';
        }
      }
    }
  } else {
    time.step = 1.0;
    time.first = 0;
    time.last = static_cast<double>(records) - 1;
  }
  if (time.step == 0 || time.last == 0) {
    time.first = 0;
    time.last = static_cast<double>(records) - 1;
    time.step = 1.0;
  }

  groupSignals_[n].assign(channels, nullptr);
  leftOut_.clear();
  std::string colorName;
  for (uint16_t c = 1; c <= channels; ++c)
    if (!AddSignal(n, c, group, time, records, colorName)) return false;
  if (!leftOut_.empty()) {
    if (!message_.empty()) message_ += '\n';
    message_ += "Gruppe " + std::to_string(n) +
                ": Folgende Kan\xE4le k\xF6nnen nicht gelesen werden und fehlen im Import:\n";
    for (size_t i = 0; i < leftOut_.size(); ++i) message_ += (i ? ", " : "") + leftOut_[i];
    message_ += '\n';
  }
  return true;
}

bool Importer::HoldsPauseComments(MdfGroupRecord* group, MdfChannelRecord* channel, uint32_t records, bool* all) {
  *all = false;
  if (const MdfStatus s = MdfSeekRecord(group, 0, 0)) return Fail(s);
  const std::vector<MdfChannelRecord*> handles(std::min<size_t>(records, kScanChunk), channel);
  std::vector<double> values(handles.size());
  for (uint64_t i = 0; i < records;) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(handles.size(), records - i));
    if (const MdfStatus s = MdfGetValues(values.data(), handles.data(), count)) return Fail(s);
    for (size_t k = 0; k < count; ++k)
      if (std::isnan(values[k])) return true;
    i += count;
  }
  *all = true;
  return true;
}

bool Importer::AddSignal(uint16_t n, uint16_t c, MdfGroupRecord* group, const TimeAxis& time, uint32_t records,
                         std::string& colorName) {
  MdfChannelRecord* channel = nullptr;
  if (const MdfStatus s = MdfOpenChannel(&channel, group, c)) return Fail(s);
  MdfChannelInfo info;
  if (const MdfStatus s = MdfGetChannelInfo(channel, &info)) {
    MdfCloseChannel(channel);
    return Fail(s);
  }
  // A channel whose values the file does not give is left out and named in the import message.
  MdfValueProblem problem = MdfValueProblem::None;
  const MdfStatus checked = MdfCheckChannelValues(channel, &problem);
  if (checked != kMdfOk && checked != kMdfErrValueType) {
    MdfCloseChannel(channel);
    return Fail(checked);
  }
  bool readable = checked == kMdfOk;
  if (readable && info.dataType == kDataTypeString && !HoldsPauseComments(group, channel, records, &readable)) {
    MdfCloseChannel(channel);
    return false;
  }
  if (!readable) {
    leftOut_.push_back(info.name.substr(0, layout::cn::kNameChars) + " (" + ProblemText(problem, info) + ")");
    MdfCloseChannel(channel);
    return true;
  }
  const bool isTime = c == time.channel;
  auto record = std::make_unique<SignalRecord>();
  SignalRecord& s = *record;
  s.group = n;
  s.channel = c;
  std::string name = info.name.substr(0, layout::cn::kNameChars);
  if (name == "$PAUSE_COMMENTS" || StartsWith(name, "$EVENT")) {
    name.erase(0, 1);
    s.DTyp = kDTypUInt32;
  }
  s.DisplayName = name.substr(0, kDisplayNameChars);
  MakeIdentifier(name);
  s.identifier = name;
  s.Name = Suffixed(name, n);
  if (isTime) {
    s.DTyp = kDTypDouble;
    s.Demux = 8;
    s.ValuesPerBlock = kImportBlockSize / 8;
    s.YMin = time.first;
    s.YMax = time.last;
    s.Ignore = (time.flags & kTimeRegular) ? 1 : 2;
    s.timeCorrection = (time.flags & kTimeErrors) != 0;
  }
  const MdfBlock& cn = *channel->cn;
  const double rate = cn.F64(layout::cn::kSampleRate);
  if (rate != 0 && cn.U16(layout::cn::kRangeValid) == 1) {
    s.XMin = cn.F64(layout::cn::kMin);
    s.XMax = cn.F64(layout::cn::kMax);
    s.XFactor = rate;
    s.XOffset = 0;
  } else if (!time.name.empty() && !isTime) {
    s.XSignal = time.name;
  }
  if (info.bits == 1) s.STyp = kSTypDigital;
  if (StartsWith(s.Name.str(), "Color")) {
    colorName = s.Name.str();
    if (!isTime) s.DTyp = kDTypInt32;
  } else if (!colorName.empty()) {
    s.CLink = colorName;
  }
  uint16_t type = 0;
  std::string unit;
  std::span<const uint8_t> parameters;
  if (MdfGetConversion(channel, &type, &unit, &parameters) == kMdfOk) s.YUnit = unit.substr(0, kUnitChars);
  const std::string description = info.description.substr(0, layout::cn::kDescriptionChars);
  s.Label = (description.empty() ? info.comment : description).substr(0, kLabelChars);
  s.NoOfValues = records;
  const uint64_t blocks = (uint64_t{records} * s.ValueBytes() + kImportBlockSize - 1) / kImportBlockSize;
  dataSize_ += blocks * kImportBlockSize;
  MdfCloseChannel(channel);
  if (dataSize_ > kMaxDataSize) {
    ShowImportError(kMdfErrOutOfMemory);
    stopped_ = true;
    return false;
  }
  s.Block0 = blockCounter_;
  blockCounter_ += static_cast<uint32_t>(blocks);
  if (s.XMax == 0) {
    s.XFactor = time.step;
    s.XOffset = time.first;
    s.XMin = time.first;
    s.XMax = time.last;
  }
  s.XUnit = time.unit;
  groupSignals_[n][c - 1] = &out_.signals.Append(std::move(record));
  return true;
}

bool Importer::ConvertGroup(uint16_t n, MdfGroupRecord* group, uint32_t records, uint16_t channels) {
  if (groupSignals_[n].size() != channels) return Fail(kMdfErrFileFormat);
  // The group's signals, in channel order; the channels left out are not read.
  std::vector<ConvertChannel> conv;
  for (uint16_t c = 0; c < channels; ++c) {
    if (!groupSignals_[n][c]) continue;
    ConvertChannel& cc = conv.emplace_back();
    cc.signal = groupSignals_[n][c];
    if (const MdfStatus s = MdfOpenChannel(&cc.handle, group, static_cast<uint16_t>(c + 1))) {
      conv.pop_back();
      for (ConvertChannel& open : conv) MdfCloseChannel(open.handle);
      return Fail(s);
    }
    cc.values = out_.Values(*cc.signal);
    cc.kind = KindOf(cc.signal->DTyp);
  }
  if (conv.empty()) return true;
  const size_t width = conv.size();
  ProgressRecord progress;
  CreateProgressWindow(uint64_t{records} * width,
                       "Umwandlung der Gruppe " + std::to_string(n) + " von " + std::to_string(groupCount_), progress,
                       kModuleVersion);
  std::vector<MdfChannelRecord*> handles(width);
  for (size_t c = 0; c < width; ++c) handles[c] = conv[c].handle;
  const size_t chunk = std::max<size_t>(1, kScratchValues / width);
  std::vector<double> scratch(chunk * width);
  Throttle throttle;
  bool ok = true;
  for (uint64_t first = 0; first < records && ok;) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(chunk, records - first));
    // Each channel once per record, in channel order: the library moves the group on at the first.
    for (size_t i = 0; i < count && ok; ++i)
      if (const MdfStatus s = MdfGetValues(scratch.data() + i * width, handles.data(), width)) ok = Fail(s);
    if (!ok) break;
    for (size_t c = 0; c < width; ++c) conv[c].Take(scratch.data() + c, width, first, count);
    first += count;
    if (throttle.Due()) {
      StepProgress(first * width, progress);
      importcore::PumpMessages();
      if (ProgressCancelled()) {
        stopped_ = true;
        ok = false;
      }
    }
  }
  DestroyProgressWindow(progress);
  for (ConvertChannel& cc : conv) MdfCloseChannel(cc.handle);
  if (!ok) return false;
  for (ConvertChannel& cc : conv) cc.range.Finish(*cc.signal);
  for (ConvertChannel& cc : conv)
    if (cc.signal->timeCorrection) RepairTimeSignal(*cc.signal);
  return true;
}

// Repairs a time signal's values; when that fails, the signal and every
// signal of its group that it was the X axis of get an index axis.
void Importer::RepairTimeSignal(SignalRecord& time) {
  auto* x = reinterpret_cast<double*>(out_.Values(time));
  std::span<double> values(x, time.NoOfValues);
  const bool repaired = RepairTimeValues(values);
  RangeTracker range;
  for (const double v : values) range.Add(v);
  range.Finish(time);
  if (repaired) return;
  message_ += "\nFehler bei Zeitkorrekturen: ";
  message_ += time.Name.str();
  const auto indexAxis = [](SignalRecord& s) {
    s.XUnit = "";
    s.XFactor = 1.0;
    s.XOffset = 0;
    s.XMin = 0;
    s.XMax = static_cast<double>(s.NoOfValues) - 1;
  };
  time.Ignore = 0;
  indexAxis(time);
  for (SignalRecord* s : groupSignals_[time.group]) {
    if (!s || s == &time || !importcore::EqualNoCase(s->XSignal.c_str(), time.Name.c_str())) continue;
    s->XSignal = "";
    indexAxis(*s);
  }
}

void Importer::PostPass() {
  for (SignalRecord& s : out_.signals)
    if (s.identifier == "EVENT") s.Ignore = 1;
  importcore::ChainPauseAxes(out_.signals,
                             [](const SignalRecord& s) { return StartsWith(s.Name.str(), "PAUSE_COMMENTS"); });
}

bool Importer::Run() {
  const MdfStatus init = MdfInitLibrary(kProgramId);
  const LibraryScope library;
  if (!ShowImportError(init)) return false;
  if (const double v = importcore::ReadVariableDouble("MDF_XMAXFACTOR"); v != 0) factors_.xMax = v;
  if (const double v = importcore::ReadVariableDouble("MDF_XMINFACTOR"); v != 0) factors_.xMin = v;
  out_.name = BaseName(path_);
  if (!SortIfNeeded()) return false;

  std::string comment;
  if (MdfOpen(&file_, path_, &comment, kMdfOpenRead) != kMdfOk) return false;
  ReadHeader(comment);
  out_.blockSize = kImportBlockSize;
  out_.fileDate = 0;
  if (const MdfStatus s = MdfGetGroupCount(&groupCount_, file_)) return Fail(s);
  groupSignals_.assign(size_t{groupCount_} + 1, {});

  for (int pass = 0; pass < 2 && !stopped_; ++pass) {
    for (uint16_t n = groupCount_; n >= 1 && !stopped_; --n) {
      MdfGroupRecord* group = nullptr;
      uint32_t records = 0;
      uint16_t channels = 0;
      const MdfStatus opened = OpenGroup(n, &group, &records, &channels);
      if (opened < 0) return Fail(opened);
      if (opened > 0) continue;
      const bool ok =
          pass == 0 ? BuildGroupSignals(n, group, records, channels) : ConvertGroup(n, group, records, channels);
      MdfCloseGroup(group);
      if (!ok) return false;
    }
    if (pass == 0 && !stopped_) {
      out_.data = DataBlock::Allocate(dataSize_);
      if (!out_.data) {
        ShowImportError(kMdfErrOutOfMemory);
        return false;
      }
      out_.dataSize = static_cast<uint32_t>(dataSize_);
      out_.signals.Renumber();
    }
  }
  MdfClose(file_);
  file_ = nullptr;
  importcore::PumpMessages();
  if (stopped_) return false;
  PostPass();
  if (!message_.empty()) MessageBoxA(nullptr, message_.c_str(), "MDF-Import", MB_OK | MB_ICONSTOP);
  return true;
}

}  // namespace

std::string BaseName(const std::string& file) {
  const size_t slash = file.find_last_of("/\\");
  std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.erase(dot);
  return base.substr(0, kNameChars);
}

uint32_t SaturateUInt32(double v) {
  if (!(v > 0)) return 0;
  if (v >= 4294967295.0) return UINT32_MAX;
  return static_cast<uint32_t>(v);
}

int32_t SaturateInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v <= -2147483648.0) return INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(v);
}

bool ImportMdfFile(const std::string& file, ImportFactors& factors, ImportData& out) {
  try {
    return Importer(file, factors, out).Run();
  } catch (const std::bad_alloc&) {
    ShowImportError(kMdfErrOutOfMemory);
    return false;
  }
}

}  // namespace dravo

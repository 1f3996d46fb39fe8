#include "smallimports/brevan/tarvix_reader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <optional>
#include <vector>

#include "platform/ui/filedialog.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "smallimports/support/bytes.h"
#include "smallimports/support/data_file.h"
#include "smallimports/support/file_cursor.h"
#include "smallimports/support/system.h"
#include "smallimports/support/text.h"

namespace brevan {

namespace {

using smallimports::LoadF64LE;
using smallimports::LoadLE;

// Head fields.
constexpr size_t kLayoutFlag = 32;
constexpr size_t kDataFileMode = 36;
constexpr size_t kRecordSize = 40;
constexpr size_t kChannelCount = 44;
constexpr size_t kDay = 48;
constexpr size_t kMonth = 52;
constexpr size_t kYear = 56;
constexpr size_t kHour = 60;
constexpr size_t kMinute = 64;
constexpr size_t kSecond = 68;
constexpr int32_t kSeparateDataFile = 1;

// Channel record body fields.
constexpr size_t kChannelId = 0;
constexpr size_t kChannelName = 4;
constexpr size_t kChannelLabel = 68;
constexpr size_t kChannelUnit = 132;
constexpr size_t kChannelType = 164;
constexpr size_t kChannelFactor = 172;
constexpr size_t kChannelOffset = 180;
constexpr size_t kChannelValues = 192;
constexpr size_t kNameBytes = 64;
constexpr size_t kUnitBytes = 32;

// Long-label record body: channel identifier, 1, closing character, text from 16 on.
constexpr size_t kLongLabelFixed = 12;
constexpr size_t kLongLabelText = 16;

// Further records: type, fixed body bytes, fields.
constexpr uint32_t kDataFileRecord = 1;
constexpr size_t kDataFileBody = 140;
constexpr size_t kDataFileName = 8;
constexpr size_t kDataFileOffset = 136;
constexpr uint32_t kSamplingRecord = 2;
constexpr size_t kSamplingBody = 44;
constexpr size_t kSamplingCount = 8;
constexpr size_t kSamplingRate = 24;
constexpr uint32_t kTextRecord = 80;
constexpr size_t kTextBody = 28;
constexpr size_t kTextKind = 0;
constexpr size_t kTextSubtype = 20;
constexpr size_t kTextLength = 24;
constexpr uint32_t kCommentSubtype = 16;
constexpr uint32_t kParameterRecord = 81;
constexpr size_t kParameterBody = 88;
constexpr size_t kParameterNumber = 0;
constexpr size_t kParameterName = 16;
constexpr size_t kParameterLabel = 32;
constexpr size_t kParameterUnit = 64;
constexpr size_t kParameterType = 80;
constexpr size_t kParameterLength = 84;
constexpr uint32_t kParameterCommentType = 241;
constexpr uint32_t kRemarkRecord = 90;
constexpr size_t kRemarkBody = 36;
constexpr size_t kRemarkLength = 32;

constexpr const char* kLabelSeparator = " | ";
constexpr const char* kTimeBaseName = "Zeitbasis";
constexpr uint64_t kFirstTimeBaseRecord = 5;

struct Head {
  int32_t layoutFlag = 0;
  int32_t dataFileMode = 0;
  int64_t recordSize = 0;
  int64_t channels = 0;
  int64_t fileDate = 0;
};

int32_t ValueSizeOf(uint32_t code) {
  switch (code) {
    case 3: case 4: case 12: return 2;
    case 5: case 6: case 13: case 9: case 14: case 15: return 4;
    case 7: case 8: case 10: return 8;
    default: return 1;
  }
}

std::string FieldText(const std::vector<uint8_t>& body, size_t offset, size_t width) {
  if (offset >= body.size()) return {};
  width = std::min(width, body.size() - offset);
  return std::string(smallimports::CutText(std::string_view(reinterpret_cast<const char*>(body.data() + offset), width), width));
}

bool ReadHead(smallimports::FileCursor& file, Head& head) {
  uint8_t b[kHeadBytes];
  if (!file.Read(b, sizeof b)) return false;
  head.layoutFlag = LoadLE<int32_t>(b + kLayoutFlag);
  head.dataFileMode = LoadLE<int32_t>(b + kDataFileMode);
  head.recordSize = LoadLE<int32_t>(b + kRecordSize);
  head.channels = LoadLE<int32_t>(b + kChannelCount);
  head.fileDate = smallimports::LocalTimeValue(LoadLE<int32_t>(b + kYear), LoadLE<int32_t>(b + kMonth),
                                               LoadLE<int32_t>(b + kDay), LoadLE<int32_t>(b + kHour),
                                               LoadLE<int32_t>(b + kMinute), LoadLE<int32_t>(b + kSecond));
  return true;
}

// A channel record takes its head and body.
bool ChannelCountFits(const Head& head, uint64_t fileSize) {
  return head.channels >= 1 &&
         static_cast<uint64_t>(head.channels) <= (fileSize - kHeadBytes) / (kRecordHeadBytes + kChannelBodyBytes);
}

struct RecordHead {
  uint64_t start = 0;
  uint32_t type = 0;
  uint64_t length = 0;  // with the head
};

// The next record head; none at the end of the walk (fewer than 12 bytes
// left, or a length below 12).
std::optional<RecordHead> NextRecord(smallimports::FileCursor& file) {
  RecordHead r;
  r.start = file.Tell();
  uint8_t b[kRecordHeadBytes];
  if (!file.Read(b, sizeof b)) return std::nullopt;
  r.type = LoadLE<uint32_t>(b);
  r.length = LoadLE<uint32_t>(b + 4);
  if (r.length < kRecordHeadBytes) return std::nullopt;
  return r;
}

// The body of a record, at most `limit` bytes of it; the cursor then stands at
// the record's end. False when the record runs past the end of the file.
bool ReadBody(smallimports::FileCursor& file, const RecordHead& r, uint64_t limit, std::vector<uint8_t>& body) {
  const uint64_t bodyBytes = r.length - kRecordHeadBytes;
  if (bodyBytes > file.Size() - r.start - kRecordHeadBytes) return false;
  body.resize(static_cast<size_t>(std::min(bodyBytes, limit)));
  if (!file.Read(body.data(), body.size())) return false;
  return file.SeekTo(r.start + r.length);
}

// The long label of a matching long-label record: after "LongLabel", the text
// between the next closing character (or double quote) and the one after it.
std::optional<std::string> LongLabel(const std::vector<uint8_t>& body, uint32_t channelId) {
  if (LoadLE<uint32_t>(body.data()) != channelId || LoadLE<uint32_t>(body.data() + 4) != 1) return std::nullopt;
  const char closing = static_cast<char>(body[8]);
  const std::string text = FieldText(body, kLongLabelText, body.size());
  const size_t match = text.find("LongLabel");
  if (match == std::string::npos) return std::nullopt;
  auto isEnd = [&](char c) { return c == closing || c == '"'; };
  const auto open = std::find_if(text.begin() + match, text.end(), isEnd);
  if (open == text.end()) return std::nullopt;
  const auto close = std::find_if(open + 1, text.end(), isEnd);
  if (close == text.end() || close == open + 1) return std::nullopt;
  return std::string(open + 1, close);
}

void ApplyLongLabel(BrevanSignal& s, const std::string& longLabel) {
  s.DisplayName.Assign(s.Label.str(), 64);
  s.Label.Assign(longLabel, 254);
}

void AddChannel(TarvixImport& out, const std::vector<uint8_t>& body) {
  BrevanSignal& s = out.signals.AppendNew();
  const std::string name = FieldText(body, kChannelName, kNameBytes);
  s.DisplayName = name;
  s.Name = smallimports::SanitizeName64(name);
  s.YUnit = FieldText(body, kChannelUnit, kUnitBytes);
  const std::string label = FieldText(body, kChannelLabel, kNameBytes);
  const size_t separator = label.find(kLabelSeparator);
  if (separator == std::string::npos) {
    s.Label = label;
  } else {
    s.Label = label.substr(0, separator);
    s.DisplayName = label.substr(separator + 3);
  }
  s.YFactor = LoadF64LE(body.data() + kChannelFactor);
  s.YOffset = LoadF64LE(body.data() + kChannelOffset);
  s.typeCode = LoadLE<int32_t>(body.data() + kChannelType);
  const auto code = static_cast<uint32_t>(s.typeCode);
  s.DTyp = TarvixDTyp(code);
  if (s.DTyp == 0) {
    s.DTyp = 4;
    s.Ignore = 1;
  }
  s.valueSize = ValueSizeOf(code);
  s.ValuesPerBlock = LoadLE<int32_t>(body.data() + kChannelValues);
}

void AddComment(TarvixImport& out, const std::string& name, std::string_view text) {
  text = smallimports::CutText(text, text.size());
  for (size_t at = 0; at < text.size(); at += kMaxCommentPiece) {
    CommentRecord& c = out.comments.AppendNew();
    c.Name = name;
    c.text = std::string(text.substr(at, kMaxCommentPiece));
  }
}

// The text of a record: T bytes after its fixed body, no more than the record holds.
std::string_view TrailingText(const std::vector<uint8_t>& body, size_t fixed, uint64_t length) {
  const uint64_t n = std::min<uint64_t>(length, body.size() - fixed);
  return std::string_view(reinterpret_cast<const char*>(body.data() + fixed), static_cast<size_t>(n));
}

std::string Numbered(const char* form, long number) {
  char text[32];
  std::snprintf(text, sizeof text, form, number);
  return text;
}

// The data file: beside the header under the header's name with ".dta", else
// under the record's file name; else the user is asked for one.
std::optional<std::string> LocateDataFile(const std::string& headerPath, const std::string& recordName) {
  const std::string folder(smallimports::FolderOf(headerPath));
  if (auto found = smallimports::FindFileNoCase(folder, std::string(smallimports::FileNameOf(MakeDataFilePath(headerPath)))))
    return found;
  if (auto found = smallimports::FindFileNoCase(folder, std::string(smallimports::FileNameOf(recordName))))
    return found;
  const std::string question = winport::Utf8ToAnsi("Die Datendatei ") + recordName +
                               winport::Utf8ToAnsi(" kann nicht lokalisiert werden.\nWollen Sie eine andere verwenden?");
  if (MessageBoxA(GetActiveWindow(), question.c_str(), "Tarvix Import", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
    return std::nullopt;
  char file[260] = "";
  const std::string title = winport::Utf8ToAnsi("Datendatei öffnen");
  static const char kFilter[] = "Tarvix-Datendateien (*.dta)\0*.dta\0";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&ofn)) return std::nullopt;
  return std::string(file);
}

class TarvixReader {
 public:
  TarvixReader(const std::string& path, TarvixImport& out) : path_(path), out_(out) {}

  TarvixResult Read() {
    if (!file_.Open(path_)) return Fail(TarvixStatus::OpenFailed);
    if (!ReadHead(file_, head_)) return Fail(TarvixStatus::ShortHead);
    out_.fileDate = head_.fileDate;
    if (!ChannelCountFits(head_, file_.Size())) return Fail(TarvixStatus::BadChannelCount);
    if (head_.recordSize < 1) return Fail(TarvixStatus::BadRecordSize);
    outsideRecord_ = winport::Utf8ToAnsi("Außerhalb des Datensatzes von ") + std::to_string(head_.recordSize) +
                     " Bytes, ignoriert";
    if (!ReadChannels()) return Fail(status_);
    if (!ReadFurtherRecords()) return Fail(status_);
    if (!EstimateTimeBase()) return Fail(status_);
    MakeComment();
    if (!OfferData()) return Fail(status_);
    out_.scalars.Renumber();
    return {TarvixStatus::Ok, file_.Tell()};
  }

 private:
  TarvixResult Fail(TarvixStatus status) {
    out_ = TarvixImport();
    return {status, offset_};
  }
  bool Stop(TarvixStatus status) {
    status_ = status;
    return false;
  }

  // C channel records, each possibly followed by its long-label record; a
  // long-label record where a channel record is due is taken (applied when it
  // matches the channel before), any other record fails.
  bool ReadChannels() {
    std::vector<uint8_t> body;
    for (int64_t read = 0; read < head_.channels;) {
      offset_ = file_.Tell();
      const std::optional<RecordHead> r = NextRecord(file_);
      if (!r) return Stop(TarvixStatus::ShortChannelRecord);
      if (r->type == kLongLabelRecord) {
        if (!ReadLongLabel(*r)) return false;
        continue;
      }
      if (r->type != kChannelRecord) return Stop(TarvixStatus::NotAChannelRecord);
      if (r->length - kRecordHeadBytes < kChannelBodyBytes || !ReadBody(file_, *r, kChannelBodyBytes, body))
        return Stop(TarvixStatus::ShortChannelRecord);
      AddChannel(out_, body);
      lastChannelId_ = LoadLE<uint32_t>(body.data() + kChannelId);
      ++read;
    }
    // The last channel's long-label record.
    offset_ = file_.Tell();
    const std::optional<RecordHead> next = NextRecord(file_);
    if (next && next->type == kLongLabelRecord) return ReadLongLabel(*next);
    file_.SeekTo(offset_);
    return true;
  }

  bool ReadLongLabel(const RecordHead& r) {
    std::vector<uint8_t> body;
    if (r.length - kRecordHeadBytes < kLongLabelFixed || !ReadBody(file_, r, r.length, body))
      return Stop(TarvixStatus::ShortLongLabel);
    if (out_.signals.Empty()) return true;
    if (const auto label = LongLabel(body, lastChannelId_)) ApplyLongLabel(out_.signals.Back(), *label);
    return true;
  }

  bool ReadFurtherRecords() {
    std::vector<uint8_t> body;
    for (;;) {
      offset_ = file_.Tell();
      const std::optional<RecordHead> r = NextRecord(file_);
      if (!r) return true;
      // A record running past the end of the file ends the walk; records of
      // other types are stepped over unread.
      const bool known = r->type == kDataFileRecord || r->type == kSamplingRecord || r->type == kTextRecord ||
                         r->type == kParameterRecord || r->type == kRemarkRecord;
      if (!ReadBody(file_, *r, known ? r->length : 0, body)) return true;
      foundFurtherRecord_ = true;
      switch (r->type) {
        case kDataFileRecord:
          if (body.size() >= kDataFileBody && !LocateData(body)) return false;
          break;
        case kSamplingRecord:
          if (body.size() >= kSamplingBody && !ApplySampling(body)) return false;
          break;
        case kTextRecord:
          if (body.size() >= kTextBody && LoadLE<uint32_t>(body.data() + kTextSubtype) == kCommentSubtype) {
            const int32_t kind = LoadLE<int32_t>(body.data() + kTextKind);
            const char* names[] = {"V_Nr", "Bearbeiter", "Versuchsbeschreibung"};
            AddComment(out_, kind >= 0 && kind <= 2 ? names[kind] : Numbered("Text%ld", kind),
                       TrailingText(body, kTextBody, LoadLE<uint32_t>(body.data() + kTextLength)));
          }
          break;
        case kParameterRecord:
          if (body.size() >= kParameterBody) ApplyParameter(body);
          break;
        case kRemarkRecord:
          if (body.size() >= kRemarkBody)
            AddComment(out_, "Kommentar", TrailingText(body, kRemarkBody, LoadLE<uint32_t>(body.data() + kRemarkLength)));
          break;
        default:
          break;
      }
    }
  }

  bool LocateData(const std::vector<uint8_t>& body) {
    const std::string recordName = FieldText(body, kDataFileName, kDataFileOffset - kDataFileName);
    const std::optional<std::string> dataPath = LocateDataFile(path_, recordName);
    if (!dataPath) return Stop(TarvixStatus::DataFileRefused);
    out_.dataPath = *dataPath;
    out_.dataOffset = LoadLE<uint32_t>(body.data() + kDataFileOffset);
    return true;
  }

  bool ApplySampling(const std::vector<uint8_t>& body) {
    const int64_t count = std::max<int32_t>(0, LoadLE<int32_t>(body.data() + kSamplingCount));
    const double rate = LoadF64LE(body.data() + kSamplingRate);
    const double interval = rate == 0 ? 1.0 : 1.0 / rate;
    records_ = static_cast<uint64_t>(count);
    for (BrevanSignal& s : out_.signals) {
      const int64_t values = ValuesPerRecord(s) * count;
      if (values > INT32_MAX) return Stop(TarvixStatus::DataSpaceTooLarge);
      SetTimeAxis(s, values, interval);
    }
    return head_.layoutFlag != 0 || LayOutRecord();
  }

  static int64_t ValuesPerRecord(const BrevanSignal& s) { return std::max(0, s.ValuesPerBlock); }

  // A data record holds each channel's values in turn, all values of one
  // channel side by side: a channel starts behind all values of the channels
  // before it, and its values in one record lie one value size apart (the
  // record size apart when it has one value per record).
  bool LayOutRecord() {
    int64_t blockOffset = 0;
    for (BrevanSignal& s : out_.signals) {
      if (blockOffset > INT32_MAX) return Stop(TarvixStatus::DataSpaceTooLarge);
      s.BlockOffset = static_cast<int32_t>(blockOffset);
      s.Demux = ValuesPerRecord(s) > 1 ? s.valueSize : static_cast<int32_t>(head_.recordSize);
      blockOffset += ValuesPerRecord(s) * s.valueSize;
    }
    recordBytes_ = blockOffset;
    return true;
  }

  static void SetTimeAxis(BrevanSignal& s, int64_t values, double interval) {
    s.NoOfValues = static_cast<int32_t>(values);
    s.XFactor = interval;
    s.XMin = 0;
    s.XMax = static_cast<double>(values - 1) * interval;
    s.XUnit = "s";
  }

  void ApplyParameter(const std::vector<uint8_t>& body) {
    const uint32_t code = LoadLE<uint32_t>(body.data() + kParameterType);
    const std::string_view value = TrailingText(body, kParameterBody, LoadLE<uint32_t>(body.data() + kParameterLength));
    if (code == kParameterCommentType) {
      std::string name = FieldText(body, kParameterName, 16);
      if (name.empty()) name = Numbered("Text%ld", LoadLE<int32_t>(body.data() + kParameterNumber));
      AddComment(out_, name, value);
      return;
    }
    const uint32_t low = code & 0xFF;
    if (low < 1 || low > 13) return;
    // A value shorter than its type is no value of it: the parameter is left out.
    const std::string name = FieldText(body, kParameterName, 16);
    if (value.size() < static_cast<size_t>(ValueSizeOf(low))) {
      out_.shortfall.Add(shortParameter_, name);
      return;
    }
    uint8_t raw[8] = {};
    std::copy_n(value.begin(), std::min<size_t>(value.size(), 8), raw);
    const std::optional<double> number = RawToDouble(LoadLE<uint64_t>(raw), low);
    if (!number) return;
    smallimports::ScalarRecord& p = out_.scalars.AppendNew();
    p.Name = name;
    p.Label = FieldText(body, kParameterLabel, 32);
    p.Unit = FieldText(body, kParameterUnit, 16);
    p.DTyp = TarvixDTyp(low);
    p.Value = *number;
  }

  // Without a sampling record that gave values, a data file of records of
  // exactly the channels' values gives the time axis: the interval is
  // the step of a "Zeitbasis" channel where it first moves, else 1.
  bool EstimateTimeBase() {
    if (out_.signals.Empty()) return true;
    if (foundFurtherRecord_ && out_.signals[0].NoOfValues != 0) return true;
    if (head_.dataFileMode != kSeparateDataFile) return true;
    const auto dataPath = smallimports::FindFileNoCase(std::string(smallimports::FolderOf(path_)),
                                                       std::string(smallimports::FileNameOf(MakeDataFilePath(path_))));
    smallimports::FileCursor data;
    if (!dataPath || !data.Open(*dataPath)) return true;
    out_.dataPath = *dataPath;
    out_.dataOffset = 0;
    if (!LayOutRecord()) return false;
    if (recordBytes_ != head_.recordSize) return true;
    const uint64_t r = static_cast<uint64_t>(head_.recordSize);
    records_ = data.Size() / r;
    if (records_ > INT32_MAX) return Stop(TarvixStatus::DataSpaceTooLarge);
    double interval = 1;
    if (const BrevanSignal* base = out_.signals.FindNodeByName(kTimeBaseName);
        base && static_cast<uint64_t>(base->BlockOffset) + 8 <= r) {
      auto value = [&](uint64_t record) {
        uint8_t b[8] = {};
        data.SeekTo(record * r + static_cast<uint64_t>(base->BlockOffset));
        data.Read(b, 8);
        return LoadF64LE(b);
      };
      for (uint64_t a = kFirstTimeBaseRecord; a + 2 < records_; a += 2) {
        const double t1 = value(a + 1);
        if (value(a) != t1) {
          interval = value(a + 2) - t1;
          break;
        }
      }
    }
    for (BrevanSignal& s : out_.signals) {
      const int64_t values = ValuesPerRecord(s) * static_cast<int64_t>(records_);
      if (values > INT32_MAX) return Stop(TarvixStatus::DataSpaceTooLarge);
      SetTimeAxis(s, values, interval);
    }
    return true;
  }

  void MakeComment() {
    for (const CommentRecord& c : out_.comments) {
      if (out_.comment.size() + c.text.size() + 2 >= kMaxCommentChars) break;
      if (!out_.comment.empty()) out_.comment += '\n';
      out_.comment += c.text;
    }
  }

  // The data space: streamed from the data file when the layout allows it;
  // it reaches the last byte any signal's positions reach. Only values that
  // lie within their record and within the data file count.
  bool OfferData() {
    if (out_.signals.Empty() || out_.dataPath.empty() || head_.layoutFlag != 0 ||
        (static_cast<uint32_t>(out_.signals[0].typeCode) & kNoStreamingBit) != 0)
      return true;
    const uint64_t r = static_cast<uint64_t>(head_.recordSize);
    smallimports::FileCursor data;
    const uint64_t fileSize = data.Open(out_.dataPath) ? data.Size() : 0;
    const uint64_t available = fileSize > out_.dataOffset ? fileSize - out_.dataOffset : 0;
    uint64_t size = std::min(records_ * r, available);
    uint64_t sum = 0;
    for (BrevanSignal& s : out_.signals) {
      if (s.NoOfValues <= 0) continue;
      TakeHeldValues(s, available);
      if (s.NoOfValues <= 0) continue;
      const uint64_t n = static_cast<uint64_t>(s.NoOfValues);
      sum += n * static_cast<uint64_t>(s.valueSize);
      const uint64_t perRecord = static_cast<uint64_t>(std::max<int64_t>(1, ValuesPerRecord(s)));
      const uint64_t last = (n - 1) / perRecord * r + static_cast<uint64_t>(std::max(0, s.BlockOffset)) +
                            (n - 1) % perRecord * static_cast<uint64_t>(std::max(0, s.Demux)) +
                            static_cast<uint64_t>(s.valueSize);
      size = std::max({size, sum, last});
    }
    if (size >= smallimports::kMaxDataSpace) return Stop(TarvixStatus::DataSpaceTooLarge);
    out_.streaming = true;
    out_.blockSize = static_cast<int32_t>(r);
    out_.dataSize = static_cast<uint32_t>(size);
    return true;
  }

  // Cuts a signal's values to those that lie within their record of R bytes
  // and within the `available` bytes of the data file from D on; a signal
  // left without values is ignored. The shortfall names each one cut.
  void TakeHeldValues(BrevanSignal& s, uint64_t available) {
    const uint64_t r = static_cast<uint64_t>(head_.recordSize);
    const uint64_t perRecord = static_cast<uint64_t>(std::max<int64_t>(1, ValuesPerRecord(s)));
    const uint64_t size = static_cast<uint64_t>(s.valueSize);
    const uint64_t offset = static_cast<uint64_t>(std::max(0, s.BlockOffset));
    const uint64_t stride = perRecord > 1 ? size : r;  // from one value to the next in a record
    uint64_t held = 0;
    std::string_view heading = smallimports::kFewerValues;
    if (offset + (perRecord - 1) * stride + size > r) {
      heading = outsideRecord_;
    } else {
      // Whole records, then the values of the record the file ends in.
      const uint64_t rest = available % r;
      const uint64_t inRest = rest >= offset + size ? std::min(perRecord, (rest - offset - size) / stride + 1) : 0;
      held = available / r * perRecord + inRest;
    }
    if (held >= static_cast<uint64_t>(s.NoOfValues)) return;
    SetTimeAxis(s, static_cast<int64_t>(held), s.XFactor);
    if (held == 0) {
      s.Ignore = 1;
      if (heading == smallimports::kFewerValues) heading = smallimports::kNoValues;
    }
    out_.shortfall.Add(heading, s.Name.str());
  }

  const std::string& path_;
  TarvixImport& out_;
  smallimports::FileCursor file_;
  Head head_;
  TarvixStatus status_ = TarvixStatus::Ok;
  uint64_t offset_ = 0;
  uint64_t records_ = 0;  // data records the sampling or the data file states
  int64_t recordBytes_ = 0;  // the bytes the channels' values take in a record, as laid out
  bool foundFurtherRecord_ = false;
  uint32_t lastChannelId_ = 0;
  // The shortfall's heading of channels whose values pass their record's end.
  std::string outsideRecord_;
  const std::string shortParameter_ = winport::Utf8ToAnsi("Parameter mit unvollständigem Wert, ausgelassen");
};

}  // namespace

int32_t TarvixDTyp(uint32_t code) {
  switch (code) {
    case 1: return 5;
    case 2: case 11: return 4;
    case 3: return 7;
    case 4: case 12: return 6;
    case 5: return 9;
    case 6: case 13: case 14: case 15: return 8;
    case 7: return 33;
    case 8: return 32;
    case 9: return 11;
    case 10: return 13;
    default: return 0;
  }
}

std::optional<double> RawToDouble(uint64_t raw, uint32_t code) {
  switch (code) {
    case 1: return static_cast<int8_t>(raw);
    case 2: case 11: return static_cast<uint8_t>(raw);
    case 3: return static_cast<int16_t>(raw);
    case 4: case 12: return static_cast<uint16_t>(raw);
    case 5: return static_cast<int32_t>(raw);
    case 6: case 13: return static_cast<uint32_t>(raw);
    case 7: return static_cast<double>(static_cast<int64_t>(raw));
    case 8: return static_cast<double>(static_cast<int64_t>(raw));  // signed, whatever host type it is told
    case 9: return std::bit_cast<float>(static_cast<uint32_t>(raw));
    case 10: return std::bit_cast<double>(raw);
    default: return std::nullopt;
  }
}

std::string MakeDataFilePath(const std::string& headerPath) {
  const std::string_view name = smallimports::FileNameOf(headerPath);
  const size_t dot = name.find_last_of('.');
  const size_t stem = headerPath.size() - name.size() + (dot == std::string_view::npos ? name.size() : dot);
  return headerPath.substr(0, stem) + ".dta";
}

std::string TarvixResultText(const TarvixResult& result) {
  const char* text = "?";
  switch (result.status) {
    case TarvixStatus::Ok: text = "imported"; break;
    case TarvixStatus::OpenFailed: text = "header file cannot be opened"; break;
    case TarvixStatus::ShortHead: text = "head shorter than 72 bytes"; break;
    case TarvixStatus::BadChannelCount: text = "channel count below 1 or beyond the file"; break;
    case TarvixStatus::BadRecordSize: text = "data record size below 1"; break;
    case TarvixStatus::ShortChannelRecord: text = "channel record short or missing"; break;
    case TarvixStatus::NotAChannelRecord: text = "another record where a channel record is due"; break;
    case TarvixStatus::ShortLongLabel: text = "long-label record short"; break;
    case TarvixStatus::DataFileRefused: text = "data file missing"; break;
    case TarvixStatus::DataSpaceTooLarge: text = "data space of 4 GiB or more"; break;
    case TarvixStatus::OutOfMemory: text = "not enough memory"; break;
  }
  return std::string(text) + " at offset " + std::to_string(result.offset);
}

TarvixResult ParseTarvixHeaderFile(const std::string& path, TarvixImport& out) {
  out = TarvixImport();
  try {
    return TarvixReader(path, out).Read();
  } catch (const std::bad_alloc&) {
    out = TarvixImport();
    return {TarvixStatus::OutOfMemory, 0};
  }
}

bool IsTarvixHeaderFile(const std::string& path) {
  smallimports::FileCursor file;
  Head head;
  if (!file.Open(path) || !ReadHead(file, head) || !ChannelCountFits(head, file.Size())) return false;
  const std::optional<RecordHead> first = NextRecord(file);
  return first && first->type == kChannelRecord;
}

}  // namespace brevan

// Recognising the layout of a MAT-file, and what the loaders share.
#include "quenvo/mat_loader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "importcore/support.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "quenvo/layout_common.h"

namespace quenvo {

const mxArray* SkipLeadingTexts(MatFile& file, const mxArray* first, std::string* comment) {
  const mxArray* v = first;
  if (IsChar(v) && importcore::EqualNoCase(mxGetName(v), "ZEITSTEMPEL")) v = file.Next();
  if (IsChar(v) && importcore::EqualNoCase(mxGetName(v), "KOMMENTAR")) {
    if (comment) *comment = MxCharToString(v);
    v = file.Next();
  }
  return v;
}

LoadStatus LoadMatFile(const std::string& path, LoadTarget target) {
  target.data.data = DataBlock();
  target.data.BlockSize = kChannelBlockSize;

  MatFile file(path);
  if (!file.IsOpen()) return LoadStatus::OpenFailed;
  const mxArray* v = file.Next();
  if (!v) return LoadStatus::NoVariable;
  if (importcore::EqualNoCase(mxGetName(v), "ERGEBNIS")) {
    file.Close();
    return LoadErgebnisLayout(path, target);
  }

  std::string comment;
  v = SkipLeadingTexts(file, v, &comment);
  if (!comment.empty()) target.comments.fileComment = importcore::CopyTextN(comment, copy::kName);
  if (!v) {
    file.Close();
    return LoadStatus::InvalidStructure;
  }

  const mxArray* channels = std::strcmp(mxGetName(v), "signale") == 0 ? v : FindMatPath(file, v, {"signale"});
  if (!channels && FindMatPath(file, v, {"X"})) return LoadXYLayout(file, v, target);
  try {
    return LoadChannelStruct(file, channels ? channels : v, target);
  } catch (const std::bad_alloc&) {
    file.Close();
    return LoadStatus::OutOfMemory;
  }
}

bool AnalyseTimeAxis(SignalRecord& record, const double* t, size_t n) {
  record.XMin = record.XOffset = t[0];
  double sum = 0;
  for (size_t i = 1; i < n; ++i) {
    const double d = t[i] - t[i - 1];
    if (i == 1) {
      record.MinDelta = record.MaxDelta = d;
    } else if (d < record.MinDelta) {
      record.MinDelta = d;
    } else if (d > record.MaxDelta) {
      record.MaxDelta = d;
    }
    sum += d;
  }
  record.XMax = t[n - 1];
  record.XFactor = sum / static_cast<double>(std::max<size_t>(n - 1, 1));
  record.XUnit = SecondsUnit();
  if (record.MaxDelta - record.MinDelta <= 0.0001) {
    record.IsUniDir = 1;
    return true;
  }
  return false;
}

void FillRecords(double* block, size_t recordDoubles, std::span<const Column> columns) {
  constexpr size_t kTileDoubles = size_t{1} << 15;  // 256 KiB of records per tile
  size_t rows = 0;
  for (const Column& c : columns) rows = std::max(rows, c.count);
  const size_t tile = std::max<size_t>(1, kTileDoubles / recordDoubles);
  for (size_t first = 0; first < rows; first += tile) {
    for (const Column& c : columns) {
      if (first >= c.count) continue;
      const size_t count = std::min(tile, c.count - first);
      ConvertNumbers(c.values, first, count, block + first * recordDoubles + c.offset, recordDoubles);
    }
  }
}

void AllocateRecords(DataBlock& block, size_t recordDoubles, size_t records) {
  constexpr uint64_t kMaxDoubles = kMaxDataSize / sizeof(double);
  if (records != 0 && recordDoubles > kMaxDoubles / records) Fail(LoadStatus::NotEnoughMemory);
  if (!block.Allocate(uint64_t{recordDoubles} * records * sizeof(double))) Fail(LoadStatus::NotEnoughMemory);
}

std::optional<LoadMessage> MessageFor(LoadStatus status, const std::string& path) {
  const auto own = [&](const char* utf8Format) {
    std::string text = winport::Utf8ToAnsi(utf8Format);
    text.replace(text.find("%s"), 2, path);
    return LoadMessage{"Quenvo", text, MB_ICONEXCLAMATION};
  };
  const auto matlab = [](const char* text) { return LoadMessage{"MatLab Import", text, MB_ICONERROR}; };
  switch (status) {
    case LoadStatus::OpenFailed: return own("Error opening file %s");
    case LoadStatus::CloseFailed: return own("Error closing file %s");
    case LoadStatus::InvalidStructure: return own("Die Datei %s hat eine ungültige Struktur");
    case LoadStatus::CannotOpen: return matlab("Cannot open MatLab file");
    case LoadStatus::UnexpectedType: return matlab("The type of the object is unexpected");
    case LoadStatus::NotEnoughMemory: return matlab("Not enough memory to open MatLab file");
    case LoadStatus::UnknownError: return matlab("Unknown error");
    case LoadStatus::Ok:
    case LoadStatus::NoVariable:
    case LoadStatus::OutOfMemory: break;
  }
  return std::nullopt;
}

std::optional<LoadMessage> ShortfallMessage(const ImportedFile& data, const std::string& path) {
  if (data.shortChannels.Empty()) return std::nullopt;
  return LoadMessage{"Quenvo", smallimports::IncompleteFileText(path, data.shortChannels), MB_ICONEXCLAMATION};
}

}  // namespace quenvo

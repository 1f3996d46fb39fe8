// The test-bench layout: a first variable "Ergebnis", a struct with
// "CaptureInfo" (sampling periods), "Messdaten" (a 1 x d struct array of
// channels), "Pruefstand", "Kommentar" and "Info". The data space is one
// record of d doubles per sample; the texts become the file comment and the
// named comments T1 to T3, in the OEM code page.
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "importcore/support.h"
#include "platform/win32/codepage.h"
#include "quenvo/layout_common.h"

namespace quenvo {
namespace {

constexpr size_t kMaxPeriods = 10;
// The smallest "Ta" starts here: below it, a "Ta" was found.
constexpr double kNoTa = 1e308;

struct SamplingPeriods {
  std::array<double, kMaxPeriods> period;
  size_t count = 0;
};

// The sampling period of each "Capture" of "CaptureInfo", up to the first that has none.
SamplingPeriods ReadSamplingPeriods(const mxArray* ergebnis) {
  SamplingPeriods periods;
  periods.period.fill(1.0);
  const mxArray* info = Field(ergebnis, "CaptureInfo");
  for (size_t j = 0; info && j < kMaxPeriods; ++j) {
    const std::optional<double> period = FirstNumber(Field(Field(info, "Capture", j), "SamplingPeriod"));
    if (!period) break;
    periods.period[j] = *period;
    ++periods.count;
  }
  return periods;
}

// The period that a channel's "Capture" index selects: period 0 unless the
// index, truncated, lies within the periods read.
double CapturePeriod(const mxArray* capture, const SamplingPeriods& periods) {
  const std::optional<double> index = FirstNumber(capture);
  if (index) {
    const double k = std::trunc(*index);
    if (k >= 0 && k < static_cast<double>(periods.count)) return periods.period[static_cast<size_t>(k)];
  }
  return periods.period[0];
}

std::string Oem(const std::string& ansi) { return winport::AnsiToOem(ansi); }
std::string Ansi(const char* utf8) { return winport::Utf8ToAnsi(utf8); }

// "Prüfstand: <Pruefstand>\nKommentar: <Kommentar>"; none without "Kommentar".
std::optional<std::string> FileComment(const mxArray* ergebnis) {
  std::string text = Ansi("Prüfstand: ");
  if (const mxArray* stand = Field(ergebnis, "Pruefstand")) text += MxCharToString(stand) + "\n";
  text += "Kommentar: ";
  const mxArray* comment = Field(ergebnis, "Kommentar");
  if (!comment) return std::nullopt;
  text += MxCharToString(comment);
  return importcore::CopyTextN(Oem(text), copy::kName);
}

void AddNamedComments(const mxArray* ergebnis, CommentTable& table) {
  const mxArray* info = Field(ergebnis, "Info");
  const mxArray* clamping = Field(info, "Einspannung");
  const mxArray* mode = Field(info, "Pruefmodus");

  std::string t1;
  if (info) t1 = "Einspannung (" + IntegerText(Field(clamping, "Nummer")).value_or("") + "): ";
  t1 += MxCharToString(Field(clamping, "Beschreibung"));
  table.Add("T1", Oem(t1));

  std::string t2;
  if (const std::optional<std::string> number = IntegerText(Field(mode, "Nummer")))
    t2 = Ansi("Prüfmodus (") + *number + "): ";
  t2 += MxCharToString(Field(mode, "Beschreibung"));
  table.Add("T2", Oem(t2));

  if (const mxArray* trial = Field(info, "Versuch")) table.Add("T3", Oem("Versuch: " + MxCharToString(trial)));
}

}  // namespace

LoadStatus LoadErgebnisLayout(const std::string& path, LoadTarget target) {
  MatFile file(path);
  if (!file.IsOpen()) return LoadStatus::CannotOpen;
  return RunRecordLayout(file, [&] {
    ImportedFile& data = target.data;
    const mxArray* ergebnis = file.Next();
    if (!IsStruct(ergebnis) || !importcore::EqualNoCase(mxGetName(ergebnis), "Ergebnis"))
      Fail(LoadStatus::UnexpectedType);
    const SamplingPeriods periods = ReadSamplingPeriods(ergebnis);

    const mxArray* channels = Field(ergebnis, "Messdaten");
    if (!IsStruct(channels)) Fail(LoadStatus::UnexpectedType);
    const size_t d = mxGetN(channels);
    if (!IsDouble(Field(channels, "Werte"))) Fail(LoadStatus::UnexpectedType);
    size_t longest = 0;
    for (size_t g = 0; g < d; ++g) longest = std::max(longest, mxGetM(Field(channels, "Werte", g)));
    AllocateRecords(data.data, d, longest);
    data.BlockSize = static_cast<uint32_t>(d * sizeof(double));

    std::vector<Column> columns;
    double timeStep = 0;
    double smallestTa = kNoTa;
    for (size_t g = 0; g < d; ++g) {
      SignalRecord& r = data.signals.Append(std::make_unique<SignalRecord>());
      if (const mxArray* name = Field(channels, "Name", g); IsChar(name)) {
        const std::string built = BuildSignalName(MxCharToString(name), target.naming);
        r.Label = importcore::CopyTextN(built, copy::kName);
        r.DisplayName = importcore::CopyTextN(built, copy::kName);
        r.Name = IdentifierOf(built);
      }
      if (const mxArray* description = Field(channels, "Beschreibung", g); IsChar(description))
        r.Label = MxCharToString(description);
      r.BlockOffset = static_cast<int32_t>(g * sizeof(double));

      const mxArray* values = Field(channels, "Werte", g);
      if (!values) Fail(LoadStatus::UnexpectedType);
      if (IsNumeric(values)) {
        const size_t rows = std::min(mxGetM(values), ElementCount(values));
        r.NoOfValues = static_cast<int32_t>(rows);
        columns.push_back({values, rows, g});
        if (double firstTwo[2]; importcore::EqualNoCase(r.Name.c_str(), "ZEIT") && rows >= 2 &&
                                ConvertNumbers(values, 0, 2, firstTwo))
          timeStep = firstTwo[1] - firstTwo[0];
      }
      if (const std::string unit = MxCharToString(Field(channels, "Einheit", g)); !unit.empty()) r.YUnit = unit;
      if (const mxArray* ta = Field(channels, "Ta", g); IsDouble(ta)) {
        r.XFactor = *FirstNumber(ta);
        smallestTa = std::min(smallestTa, r.XFactor);
      }
      if (const mxArray* capture = Field(channels, "Capture", g); r.XFactor == 0 && capture)
        r.XFactor = CapturePeriod(capture, periods);
    }
    FillRecords(data.data.doubles(), d, columns);

    for (SignalRecord& r : data.signals) {
      r.DTyp = kDTypDouble;
      r.ValuesPerBlock = 1;
      if (timeStep != 0)
        r.XFactor = timeStep;
      else if (r.XFactor == 0)
        r.XFactor = periods.period[0];
      r.Demux = static_cast<int32_t>(data.BlockSize);
      if (smallestTa < kNoTa) r.XFactor = smallestTa;
      r.XMax = (static_cast<double>(r.NoOfValues) - 1) * r.XFactor;
      r.XUnit = SecondsUnit();
      r.YFactor = 1.0;
      r.YOffset = 0;
    }
    data.signals.Renumber();

    if (const std::optional<std::string> comment = FileComment(ergebnis)) target.comments.fileComment = *comment;
    AddNamedComments(ergebnis, target.comments.table);
    file.Close();
    return LoadStatus::Ok;
  });
}

}  // namespace quenvo

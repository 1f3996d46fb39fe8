// The X/Y layout: a struct holding a struct "X" (fields "Name", "Data") and a
// 1 x nY struct array "Y" (fields "Name", "Data", "Unit"). The data space is
// one record per X sample: the X value, then Y(1) ... Y(nY). A Y shorter than
// X has as many values as it holds.
#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "importcore/support.h"
#include "quenvo/layout_common.h"

namespace quenvo {
namespace {

// The heading under which the warning names Y channels shorter than X.
constexpr std::string_view kFewerValuesThanX = "Weniger Werte als X";

// Y "Data" may be double, single or an integer of up to 32 bits.
bool IsYDataClass(const mxArray* a) {
  const mxClassID c = mxGetClassID(a);
  return c >= mxDOUBLE_CLASS && c <= mxUINT32_CLASS;
}

// The X channel, first of the records: named by its char "Name", else "Time".
std::unique_ptr<SignalRecord> XRecord(const mxArray* name) {
  auto record = std::make_unique<SignalRecord>();
  if (IsChar(name)) {
    const std::string text = MxCharToString(name);
    std::string identifier = importcore::CopyTextN(text, copy::kName);
    importcore::MakeIdentifier(identifier);
    record->Name = identifier;
    record->Label = importcore::CopyTextN(text, copy::kXLabel);
  } else {
    record->Name = "Time";
  }
  return record;
}

std::unique_ptr<SignalRecord> YRecord(const mxArray* name, const mxArray* unit, const NamingOptions& naming) {
  auto record = std::make_unique<SignalRecord>();
  if (IsChar(name)) {
    const std::string built = BuildSignalName(MxCharToString(name), naming);
    record->Label = importcore::CopyTextN(built, copy::kName);
    record->DisplayName = importcore::CopyTextN(built, copy::kName);
    record->Name = IdentifierOf(built);
  }
  if (const std::string text = MxCharToString(unit); !text.empty()) record->YUnit = importcore::CopyTextN(text, copy::kName);
  return record;
}

}  // namespace

LoadStatus LoadXYLayout(MatFile& file, const mxArray* v, LoadTarget target) {
  return RunRecordLayout(file, [&] {
    ImportedFile& data = target.data;
    const mxArray* x = Field(v, "X");
    if (!IsStruct(x)) Fail(LoadStatus::UnexpectedType);
    const mxArray* xData = Field(x, "Data");
    if (!IsDouble(xData)) Fail(LoadStatus::UnexpectedType);
    const size_t n = std::min(mxGetN(xData), ElementCount(xData));
    double step = 0;
    if (double firstTwo[2]; n >= 2 && ConvertNumbers(xData, 0, 2, firstTwo)) step = firstTwo[1] - firstTwo[0];

    const mxArray* y = Field(v, "Y");
    if (!IsStruct(y)) Fail(LoadStatus::UnexpectedType);
    const size_t nY = mxGetN(y);
    const size_t recordDoubles = nY + 1;
    AllocateRecords(data.data, recordDoubles, n);
    data.BlockSize = static_cast<uint32_t>(recordDoubles * sizeof(double));

    std::vector<Column> columns{{xData, n, 0}};
    data.signals.Append(XRecord(Field(x, "Name"))).NoOfValues = static_cast<int32_t>(n);
    for (size_t i = 0; i < nY; ++i) {
      std::unique_ptr<SignalRecord> record = YRecord(Field(y, "Name", i), Field(y, "Unit", i), target.naming);
      record->BlockOffset = static_cast<int32_t>((i + 1) * sizeof(double));
      const mxArray* values = Field(y, "Data", i);
      if (!IsYDataClass(values)) Fail(LoadStatus::UnexpectedType);
      // A shorter Y has only its own values: the rest of its column is no value of it.
      const size_t count = std::min(n, ElementCount(values));
      record->NoOfValues = static_cast<int32_t>(count);
      if (count < n)
        data.shortChannels.Add(kFewerValuesThanX,
                               record->Name.empty() ? "Y(" + std::to_string(i + 1) + ")" : record->Name.str());
      columns.push_back({values, count, i + 1});
      data.signals.Append(std::move(record));
    }
    FillRecords(data.data.doubles(), recordDoubles, columns);

    for (SignalRecord& r : data.signals) {
      r.DTyp = kDTypDouble;
      r.ValuesPerBlock = 1;
      r.XFactor = step;
      r.Demux = static_cast<int32_t>(data.BlockSize);
      r.XMax = (static_cast<double>(r.NoOfValues) - 1) * step;
      r.XUnit = SecondsUnit();
      r.YFactor = 1.0;
      r.YOffset = 0;
    }
    data.signals.Renumber();
    file.Close();
    return LoadStatus::Ok;
  });
}

}  // namespace quenvo

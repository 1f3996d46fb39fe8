// The data block as a grid: its columns, and the text of each cell as the
// viewer's data list and the comma-separated export show it.
#include <bit>
#include <cstring>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/decode_kernels.h"
#include "mdf/record_types.h"
#include "mdf/format.h"

namespace mdf {

using namespace detail;

namespace {

// Whether a decoded value is the channel's NoValue; a NoValue given as
// "1.#QNAN" matches its two bit patterns.
bool IsNoValue(const CCNBlock& cn, double v) {
  if (!cn.IsNoValueSet()) return false;
  constexpr uint64_t kQuietNaN = 0x7FFFFFFF00000000ull;  // NoValue given as "1.#QNAN"
  if (std::bit_cast<uint64_t>(cn.GetNoValue()) == kQuietNaN) {
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    return bits == kQuietNaN || bits == kQuietNaN + 1;
  }
  return v == cn.GetNoValue();
}

}  // namespace

void CDataBlock::Display(IListControl& list) {
  list.SetRedraw(false);
  list.DeleteAllItems();
  for (int n = list.GetColumnCount(); n > 0; --n) list.DeleteColumn(0);
  list.InsertColumn(0, "Index", ColumnFormat::Left, 50);
  list.SetColumnTitle(0, "Index");
  int column = 1;
  if (const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr)
    for (const CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext())
      list.InsertColumn(column++, cn->GetSignalName(), ColumnFormat::Right, 80);
  // One placeholder row; the grid's rows come from GetCellText.
  list.InsertItem(0, "nix");
  list.SetRedraw(true);
  LoadRecord(0);
}

namespace {

// Texts and byte arrays are shown from the record's bytes, not as numbers.
bool ShownFromBytes(const CCNBlock& cn) { return cn.GetDataType() == 7 || cn.GetDataType() == 8; }

}  // namespace

std::string CDataBlock::GetCellText(uint32_t record, int column) {
  if (column == 0) return StrFormat("%u", record);
  const CCGBlock* cg = m_pDG ? m_pDG->GetFirstCG() : nullptr;
  if (column < 0 || !cg) return {};
  CCNBlock* cn = cg->GetFirstCN();
  for (int k = 1; cn && k < column; ++k) cn = cn->GetNext();
  if (!cn) return {};
  const bool fromBytes = ShownFromBytes(*cn);
  if (fromBytes ? !LiesWithinRecord(cn) : !DeliversValues(cn)) return {};
  if (m_recordIndex != record && !LoadRecord(record)) return {};
  // One value, decoded as DecodeValues does, without touching the replaced-sample list.
  double v = 0;
  if (!fromBytes) RunDecoder(MakeDecoder(*cn, Layout(), true), m_record.data(), 1, &v);
  return FormatCell(*cn, v, m_record.data());
}

std::string CDataBlock::FormatCell(const CCNBlock& cn, double v, const uint8_t* record) const {
  if (ShownFromBytes(cn)) {
    if (!LiesWithinRecord(&cn)) return {};
    const Placement at = PlaceChannel(cn, m_pDG->GetNumberOfRecordIds());
    const size_t bytes = (at.bits + 7) / 8;
    // A text up to its first NUL, within its bytes; a byte array with a date
    // conversion as the date its 7 bytes hold; any other as its bytes in hexadecimal.
    if (cn.GetDataType() == 7) return FixedText(record + at.firstByte, bytes);
    const CCCBlock* cc = cn.GetConversion();
    if (cc && cc->GetType() == CCCBlock::kDate && bytes >= 7) return CCCBlock::FormatDate(record + at.firstByte);
    std::string hex;
    for (size_t i = 0; i < bytes; ++i) hex += StrFormat(i == 0 ? "%02X" : " %02X", record[at.firstByte + i]);
    return hex;
  }
  if (!DeliversValues(&cn)) return {};
  const CCCBlock* cc = cn.GetConversion();
  const int type = cc ? cc->GetType() : 0;
  if (cc && type > CCCBlock::kFormula && type != CCCBlock::kIdentity) {
    switch (type) {
      case CCCBlock::kTextTable: {
        if (cc->IsRangeTextTable()) {
          const std::string* text = cc->RangeTextOf(v);
          return text ? *text : StrFormat("%.15lg", v);
        }
        const auto& table = cc->GetTextTable();
        if (table.empty()) return StrFormat("%.15lg", v);
        auto text = [](const CCCBlock::TextTableEntry& e) {
          return std::string(e.text.data(), strnlen(e.text.data(), CCCBlock::kTextTableTextSize));
        };
        if (v > table.back().value) return text(table.back());
        if (v < table.front().value) return text(table.front());
        for (const auto& e : table)
          if (e.value == v) return text(e);
        return {};
      }
      case CCCBlock::kTextRange:
      case CCCBlock::kTime:
        return StrFormat("%.15lg", v);
      case CCCBlock::kDate:
        return cc->FormatDate();
      default:
        return {};
    }
  }
  const std::string text = StrFormat("%.15lg", v);
  return IsNoValue(cn, v) ? "! " + text : text;
}

}  // namespace mdf

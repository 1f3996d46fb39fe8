#include "mdf/rows.h"

#include "mdf/format.h"

namespace mdf {

void ResetInfoColumns(IListControl& list) {
  if (list.GetColumnCount() == 2 && list.GetColumnTitle(0) == "Property" &&
      list.GetColumnTitle(1) == "Contents")
    return;
  while (list.GetColumnCount() > 0) list.DeleteColumn(0);
  list.InsertColumn(0, "Property", ColumnFormat::Left, 100);
  list.InsertColumn(1, "Contents", ColumnFormat::Left, 300);
}

std::string DecHex(uint32_t value) { return StrFormat("%u, 0x%X", value, value); }

std::string SignedDecHex(uint32_t value) {
  return StrFormat("%d, 0x%X", static_cast<int32_t>(value), value);
}

}  // namespace mdf

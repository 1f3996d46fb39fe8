#include "mdf/list_control.h"

#include <algorithm>

namespace mdf {

int CMemoryList::InsertItem(int row, const std::string& text) {
  row = std::clamp(row, 0, GetItemCount());
  rows_.insert(rows_.begin() + row, std::vector<std::string>{text});
  return row;
}

bool CMemoryList::SetItemText(int row, int column, const std::string& text) {
  if (row < 0 || row >= GetItemCount() || column < 0) return false;
  auto& cells = rows_[static_cast<size_t>(row)];
  if (cells.size() <= static_cast<size_t>(column)) cells.resize(static_cast<size_t>(column) + 1);
  cells[static_cast<size_t>(column)] = text;
  return true;
}

std::string CMemoryList::GetItemText(int row, int column) const {
  if (row < 0 || row >= GetItemCount() || column < 0) return {};
  const auto& cells = rows_[static_cast<size_t>(row)];
  return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : std::string();
}

int CMemoryList::InsertColumn(int column, const std::string& title, ColumnFormat format, int width) {
  column = std::clamp(column, 0, GetColumnCount());
  columns_.insert(columns_.begin() + column, Column{title, format, width});
  return column;
}

bool CMemoryList::DeleteColumn(int column) {
  if (column < 0 || column >= GetColumnCount()) return false;
  columns_.erase(columns_.begin() + column);
  for (auto& cells : rows_)
    if (static_cast<size_t>(column) < cells.size()) cells.erase(cells.begin() + column);
  return true;
}

bool CMemoryList::SetColumnTitle(int column, const std::string& title) {
  if (column < 0 || column >= GetColumnCount()) return false;
  columns_[static_cast<size_t>(column)].title = title;
  return true;
}

std::string CMemoryList::GetColumnTitle(int column) const {
  if (column < 0 || column >= GetColumnCount()) return {};
  return columns_[static_cast<size_t>(column)].title;
}

bool CMemoryList::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= GetColumnCount()) return false;
  if (width == kAutoSize) {
    // Fit the widest cell, about 6 pixels per character plus margins.
    size_t widest = columns_[static_cast<size_t>(column)].title.size();
    for (const auto& cells : rows_)
      if (static_cast<size_t>(column) < cells.size())
        widest = std::max(widest, cells[static_cast<size_t>(column)].size());
    width = static_cast<int>(std::min<size_t>(widest, 5000)) * 6 + 12;
  }
  columns_[static_cast<size_t>(column)].width = width;
  return true;
}

int CMemoryList::GetColumnWidth(int column) const {
  if (column < 0 || column >= GetColumnCount()) return 0;
  return columns_[static_cast<size_t>(column)].width;
}

ColumnFormat CMemoryList::GetColumnFormat(int column) const {
  if (column < 0 || column >= GetColumnCount()) return ColumnFormat::Left;
  return columns_[static_cast<size_t>(column)].format;
}

void AddRow(IListControl& list, const std::string& label, const std::string& value) {
  const int row = list.InsertItem(list.GetItemCount(), label);
  list.SetItemText(row, 1, value);
}

void CopyHeaderColumns(IListControl& visible, const IListControl& hidden) {
  while (visible.GetColumnCount() > hidden.GetColumnCount()) visible.DeleteColumn(visible.GetColumnCount() - 1);
  while (visible.GetColumnCount() < hidden.GetColumnCount())
    visible.InsertColumn(visible.GetColumnCount(), "        ", ColumnFormat::Left, 0);
  for (int i = 0; i < hidden.GetColumnCount(); ++i) {
    visible.SetColumnWidth(i, hidden.GetColumnWidth(i));
    visible.SetColumnTitle(i, hidden.GetColumnTitle(i).substr(0, 64));
  }
}

}  // namespace mdf

#include "viewer/virtual_list.h"

#include <algorithm>

#include "platform/ui/qt/qt_backend.h"

using mdf::ColumnFormat;
using winport::ui::FromAnsi;

Qt::Alignment AlignmentOf(ColumnFormat format) {
  switch (format) {
    case ColumnFormat::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnFormat::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

CVirtualList::CVirtualList(QObject* parent) : QAbstractTableModel(parent) {}

void CVirtualList::SetItemCount(int count) {
  count = std::max(count, 0);
  if (count > m_count) {
    beginInsertRows(QModelIndex(), m_count, count - 1);
    m_count = count;
    endInsertRows();
  } else if (count < m_count) {
    beginRemoveRows(QModelIndex(), count, m_count - 1);
    m_count = count;
    endRemoveRows();
  }
}

void CVirtualList::Invalidate() {
  if (m_count > 0 && !m_columns.empty())
    emit dataChanged(index(0, 0), index(m_count - 1, GetColumnCount() - 1), {Qt::DisplayRole});
}

int CVirtualList::InsertItem(int row, const std::string&) {
  row = std::clamp(row, 0, m_count);
  SetItemCount(m_count + 1);
  return row;
}

bool CVirtualList::SetItemText(int, int, const std::string&) { return false; }

std::string CVirtualList::GetItemText(int row, int column) const {
  if (row < 0 || row >= m_count || column < 0 || column >= GetColumnCount() || !m_source) return {};
  ++m_requests;
  return m_source(row, column);
}

int CVirtualList::InsertColumn(int column, const std::string& title, ColumnFormat format, int width) {
  column = std::clamp(column, 0, GetColumnCount());
  beginInsertColumns(QModelIndex(), column, column);
  m_columns.insert(m_columns.begin() + column, Column{title, format, std::max(width, 0)});
  endInsertColumns();
  emit columnWidthChanged(column, m_columns[static_cast<size_t>(column)].width);
  return column;
}

bool CVirtualList::DeleteColumn(int column) {
  if (column < 0 || column >= GetColumnCount()) return false;
  beginRemoveColumns(QModelIndex(), column, column);
  m_columns.erase(m_columns.begin() + column);
  endRemoveColumns();
  return true;
}

bool CVirtualList::SetColumnTitle(int column, const std::string& title) {
  if (column < 0 || column >= GetColumnCount()) return false;
  m_columns[static_cast<size_t>(column)].title = title;
  emit headerDataChanged(Qt::Horizontal, column, column);
  return true;
}

std::string CVirtualList::GetColumnTitle(int column) const {
  if (column < 0 || column >= GetColumnCount()) return {};
  return m_columns[static_cast<size_t>(column)].title;
}

bool CVirtualList::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= GetColumnCount()) return false;
  if (width == kAutoSize) width = 8 * static_cast<int>(std::min<size_t>(GetColumnTitle(column).size(), 200)) + 16;
  width = std::max(width, 0);
  if (m_columns[static_cast<size_t>(column)].width == width) return true;
  m_columns[static_cast<size_t>(column)].width = width;
  emit columnWidthChanged(column, width);
  return true;
}

int CVirtualList::GetColumnWidth(int column) const {
  if (column < 0 || column >= GetColumnCount()) return 0;
  return m_columns[static_cast<size_t>(column)].width;
}

ColumnFormat CVirtualList::GetColumnFormat(int column) const {
  if (column < 0 || column >= GetColumnCount()) return ColumnFormat::Left;
  return m_columns[static_cast<size_t>(column)].format;
}

int CVirtualList::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_count; }

int CVirtualList::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : GetColumnCount(); }

QVariant CVirtualList::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) return FromAnsi(GetItemText(index.row(), index.column()));
  if (role == Qt::TextAlignmentRole) return static_cast<int>(AlignmentOf(GetColumnFormat(index.column())));
  return {};
}

QVariant CVirtualList::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= GetColumnCount()) return {};
  if (role == Qt::DisplayRole) return FromAnsi(GetColumnTitle(section));
  if (role == Qt::TextAlignmentRole) return static_cast<int>(AlignmentOf(GetColumnFormat(section)));
  return {};
}

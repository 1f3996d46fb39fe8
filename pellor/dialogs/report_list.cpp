#include "pellor/dialogs/report_list.h"

#include <algorithm>

int CReportList::InsertItem(int row, const std::string&) {
  const int count = m_list.GetItemCount();
  m_list.SetItemCount(count + 1);
  return std::clamp(row, 0, count);
}

int CReportList::InsertColumn(int column, const std::string& title, mdf::ColumnFormat format, int width) {
  const int fmt = format == mdf::ColumnFormat::Right ? LVCFMT_RIGHT
                  : format == mdf::ColumnFormat::Center ? LVCFMT_CENTER
                                                        : LVCFMT_LEFT;
  return m_list.InsertColumn(column, title, fmt, std::max(width, 0));
}

bool CReportList::SetColumnWidth(int column, int width) {
  return m_list.SetColumnWidth(column, width == kAutoSize ? LVSCW_AUTOSIZE : width) != FALSE;
}

mdf::ColumnFormat CReportList::GetColumnFormat(int column) const {
  switch (m_list.GetColumnFormat(column) & 0x3) {
    case LVCFMT_RIGHT: return mdf::ColumnFormat::Right;
    case LVCFMT_CENTER: return mdf::ColumnFormat::Center;
    default: return mdf::ColumnFormat::Left;
  }
}

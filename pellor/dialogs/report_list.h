// A dialog's report list with owner data as the list that blocks write into:
// the record grid's columns go to the control, its rows are only counted, and
// every text comes from the dialog when the list asks for it.
#pragma once

#include <string>

#include "mdf/list_control.h"
#include "platform/ui/commctrl.h"

class CReportList : public mdf::IListControl {
 public:
  explicit CReportList(CListCtrl& list) : m_list(list) {}

  void DeleteAllItems() override { m_list.SetItemCount(0); }
  int GetItemCount() const override { return m_list.GetItemCount(); }
  // Counts one more row; its texts are the owner's.
  int InsertItem(int row, const std::string& text) override;
  bool SetItemText(int, int, const std::string&) override { return false; }
  std::string GetItemText(int row, int column) const override { return m_list.GetItemText(row, column); }

  int GetColumnCount() const override { return m_list.GetColumnCount(); }
  int InsertColumn(int column, const std::string& title, mdf::ColumnFormat format, int width) override;
  bool DeleteColumn(int column) override { return m_list.DeleteColumn(column) != FALSE; }
  bool SetColumnTitle(int column, const std::string& title) override {
    return m_list.SetColumnText(column, title) != FALSE;
  }
  std::string GetColumnTitle(int column) const override { return m_list.GetColumnText(column); }
  bool SetColumnWidth(int column, int width) override;
  int GetColumnWidth(int column) const override { return m_list.GetColumnWidth(column); }
  mdf::ColumnFormat GetColumnFormat(int column) const override;

 private:
  CListCtrl& m_list;
};

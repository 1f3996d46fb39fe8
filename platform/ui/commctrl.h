// The framework's tree view and report list objects. Each is bound to a
// control of a shown dialog (SubclassDlgItem or DDX_Control) and works on that
// control's state, which the backend draws; a derived class takes the
// control's notifications in OnChildNotify.
#pragma once

#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"

class CTreeCtrl : public CControl {
 public:
  // Items; nullptr where there is none (or while not bound).
  HTREEITEM InsertItem(const std::string& text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
  HTREEITEM InsertItem(const std::string& text, LPARAM data, HTREEITEM parent, HTREEITEM after = TVI_LAST);
  BOOL DeleteAllItems();
  UINT GetCount() const;
  HTREEITEM GetRootItem() const;
  HTREEITEM GetChildItem(HTREEITEM item) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
  HTREEITEM GetParentItem(HTREEITEM item) const;
  BOOL ItemHasChildren(HTREEITEM item) const { return GetChildItem(item) != nullptr; }
  std::string GetItemText(HTREEITEM item) const;
  BOOL SetItemText(HTREEITEM item, const std::string& text);
  DWORD_PTR GetItemData(HTREEITEM item) const;
  BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
  // TVIS_EXPANDED and TVIS_SELECTED, masked.
  UINT GetItemState(HTREEITEM item, UINT mask) const;

  // Selects an item (nullptr: none) and sends TVN_SELCHANGED when the selection changes.
  BOOL SelectItem(HTREEITEM item);
  HTREEITEM GetSelectedItem() const;
  BOOL Expand(HTREEITEM item, UINT code);
  // Expands the item's ancestors and scrolls it into view.
  BOOL EnsureVisible(HTREEITEM item);
  // The item at a point of the control's client area; `flags` gets
  // TVHT_ONITEMLABEL or TVHT_NOWHERE.
  HTREEITEM HitTest(POINT point, UINT* flags = nullptr) const;
  // An item's row in the control's client area; FALSE when it is not shown.
  BOOL GetItemRect(HTREEITEM item, RECT* rect, BOOL textOnly) const;
};

class CListCtrl : public CControl {
 public:
  DWORD SetExtendedStyle(DWORD style);
  DWORD GetExtendedStyle() const;

  // Columns; InsertColumn returns the new column's index (-1 when not bound).
  int InsertColumn(int column, const std::string& heading, int format = LVCFMT_LEFT, int width = -1);
  BOOL DeleteColumn(int column);
  int GetColumnCount() const;
  std::string GetColumnText(int column) const;
  BOOL SetColumnText(int column, const std::string& heading);
  int GetColumnFormat(int column) const;
  // A width, or LVSCW_AUTOSIZE / LVSCW_AUTOSIZE_USEHEADER: the width of the
  // heading (and of the cells shown, for LVSCW_AUTOSIZE) plus a margin.
  BOOL SetColumnWidth(int column, int width);
  int GetColumnWidth(int column) const;

  // Rows: the list holds none of its own; it asks its owner for each text.
  BOOL SetItemCount(int count);
  int GetItemCount() const;
  BOOL DeleteAllItems() { return SetItemCount(0); }
  // The text of a cell as the list asks its owner for it (LVN_GETDISPINFO),
  // in a buffer of 260 characters; empty outside the rows and columns.
  std::string GetItemText(int row, int column) const;
  // Every cell is to be asked for again.
  void Invalidate();
  BOOL SetRedraw(BOOL) { return TRUE; }

  // -1 for none.
  BOOL SetSelectionMark(int row);
  int GetSelectionMark() const;
  // Scrolls by cx pixels to the right and cy pixels down (whole rows).
  BOOL Scroll(SIZE size);
  BOOL EnsureVisible(int row, BOOL partialOk);
  int GetTopIndex() const;
  int GetScrollX() const;
  int GetCountPerPage() const;
};

namespace winport::ui {

// What the user's input does to a tree or list, for backends and scripts.
// Selects an item (nullptr: none) and sends TVN_SELCHANGED with `action` when the selection changes.
void SelectTreeItem(CDialog& dialog, int id, HTREEITEM item, UINT action);
// Expands the item's ancestors and scrolls it into view.
void ShowTreeItem(CDialog& dialog, int id, HTREEITEM item);
// The item at a point of the tree's client area; nullptr when none.
HTREEITEM TreeItemAt(const CDialog& dialog, int id, POINT point);
// A cell's text as the list asks its owner for it (LVN_GETDISPINFO); empty outside the rows and columns.
std::string ListItemText(CDialog& dialog, int id, int row, int column);

}  // namespace winport::ui

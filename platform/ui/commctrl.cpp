#include "platform/ui/commctrl.h"

#include <algorithm>
#include <cstring>


using winport::ui::ControlChange;
using winport::ui::ControlState;

namespace winport::ui {

void SelectTreeItem(CDialog& dialog, int id, HTREEITEM item, UINT action) {
  ControlState* s = dialog.FindControl(id);
  if (!s || (item && !s->tree.Valid(item))) return;
  const HTREEITEM old = s->tree.Selected();
  if (old == item) return;
  s->tree.SetSelected(item);
  dialog.ControlUpdated(s, ControlChange::TreeSelection, reinterpret_cast<intptr_t>(item));
  NMTREEVIEW nm{};
  nm.hdr.code = TVN_SELCHANGED;
  nm.action = action;
  nm.itemOld.mask = nm.itemNew.mask = TVIF_PARAM;
  nm.itemOld.hItem = old;
  nm.itemOld.lParam = s->tree.Data(old);
  nm.itemNew.hItem = item;
  nm.itemNew.lParam = s->tree.Data(item);
  dialog.SendNotify(id, &nm.hdr);
}

void ShowTreeItem(CDialog& dialog, int id, HTREEITEM item) {
  ControlState* s = dialog.FindControl(id);
  if (!s || !s->tree.Valid(item)) return;
  for (HTREEITEM p = s->tree.Parent(item); p; p = s->tree.Parent(p))
    if (!s->tree.Expanded(p)) {
      s->tree.SetExpanded(p, true);
      dialog.ControlUpdated(s, ControlChange::TreeItem, reinterpret_cast<intptr_t>(p));
    }
  const int row = s->tree.RowOf(item);
  RECT client{};
  ::GetClientRect(s->hwnd, &client);
  const int perPage = std::max(1, static_cast<int>(client.bottom) / TreeModel::kRowHeight);
  if (row < s->tree.top)
    s->tree.top = row;
  else if (row >= s->tree.top + perPage)
    s->tree.top = row - perPage + 1;
  dialog.ControlUpdated(s, ControlChange::TreeScrolled, reinterpret_cast<intptr_t>(item));
}

HTREEITEM TreeItemAt(const CDialog& dialog, int id, POINT point) {
  const ControlState* s = dialog.FindControl(id);
  if (!s) return nullptr;
  HTREEITEM hit = nullptr;
  if (dialog.View() && dialog.View()->TreeHitTest(static_cast<size_t>(s - dialog.Controls().data()), point, hit))
    return hit;
  RECT client{};
  ::GetClientRect(s->hwnd, &client);
  if (point.x < 0 || point.y < 0 || point.x >= client.right || point.y >= client.bottom) return nullptr;
  const std::vector<HTREEITEM> rows = s->tree.VisibleItems();
  const size_t row = static_cast<size_t>(s->tree.top) + static_cast<size_t>(point.y / TreeModel::kRowHeight);
  return row < rows.size() ? rows[row] : nullptr;
}

std::string ListItemText(CDialog& dialog, int id, int row, int column) {
  const ControlState* s = dialog.FindControl(id);
  if (!s || row < 0 || row >= s->list.itemCount || column < 0 ||
      static_cast<size_t>(column) >= s->list.columns.size())
    return {};
  char buffer[260] = {};
  NMLVDISPINFO info{};
  info.hdr.code = LVN_GETDISPINFO;
  info.item.mask = LVIF_TEXT;
  info.item.iItem = row;
  info.item.iSubItem = column;
  info.item.pszText = buffer;
  info.item.cchTextMax = static_cast<int>(sizeof buffer);
  dialog.SendNotify(id, &info.hdr);
  // The owner may point pszText at a text of its own instead of copying.
  const char* text = info.item.pszText ? info.item.pszText : "";
  return std::string(text, strnlen(text, info.item.pszText == buffer ? sizeof buffer : 65536));
}

}  // namespace winport::ui

// ---- CTreeCtrl ----

HTREEITEM CTreeCtrl::InsertItem(const std::string& text, HTREEITEM parent, HTREEITEM after) {
  return InsertItem(text, 0, parent, after);
}

HTREEITEM CTreeCtrl::InsertItem(const std::string& text, LPARAM data, HTREEITEM parent, HTREEITEM after) {
  ControlState* s = State();
  if (!s) return nullptr;
  const HTREEITEM item = s->tree.Insert(text, data, parent, after);
  if (item) Updated(ControlChange::TreeInserted, reinterpret_cast<intptr_t>(item));
  return item;
}

BOOL CTreeCtrl::DeleteAllItems() {
  ControlState* s = State();
  if (!s) return FALSE;
  s->tree.Clear();
  Updated(ControlChange::TreeCleared);
  return TRUE;
}

UINT CTreeCtrl::GetCount() const {
  const ControlState* s = State();
  return s ? static_cast<UINT>(s->tree.Count()) : 0;
}

HTREEITEM CTreeCtrl::GetRootItem() const {
  const ControlState* s = State();
  return s ? s->tree.Root() : nullptr;
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM item) const {
  const ControlState* s = State();
  return s ? s->tree.Child(item) : nullptr;
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
  const ControlState* s = State();
  return s ? s->tree.Next(item) : nullptr;
}

HTREEITEM CTreeCtrl::GetPrevSiblingItem(HTREEITEM item) const {
  const ControlState* s = State();
  return s ? s->tree.Previous(item) : nullptr;
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM item) const {
  const ControlState* s = State();
  return s ? s->tree.Parent(item) : nullptr;
}

std::string CTreeCtrl::GetItemText(HTREEITEM item) const {
  const ControlState* s = State();
  return s ? s->tree.Text(item) : std::string();
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, const std::string& text) {
  ControlState* s = State();
  if (!s || !s->tree.SetText(item, text)) return FALSE;
  Updated(ControlChange::TreeItem, reinterpret_cast<intptr_t>(item));
  return TRUE;
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
  const ControlState* s = State();
  return s ? static_cast<DWORD_PTR>(s->tree.Data(item)) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
  ControlState* s = State();
  return s && s->tree.SetData(item, static_cast<LPARAM>(data)) ? TRUE : FALSE;
}

UINT CTreeCtrl::GetItemState(HTREEITEM item, UINT mask) const {
  const ControlState* s = State();
  if (!s || !s->tree.Valid(item)) return 0;
  UINT state = 0;
  if (s->tree.Expanded(item)) state |= TVIS_EXPANDED;
  if (s->tree.Selected() == item) state |= TVIS_SELECTED;
  return state & mask;
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item) {
  ControlState* s = State();
  if (!s || (item && !s->tree.Valid(item))) return FALSE;
  winport::ui::SelectTreeItem(*GetParent(), GetDlgCtrlID(), item, TVC_UNKNOWN);
  return TRUE;
}

HTREEITEM CTreeCtrl::GetSelectedItem() const {
  const ControlState* s = State();
  return s ? s->tree.Selected() : nullptr;
}

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) {
  ControlState* s = State();
  if (!s || !s->tree.Valid(item)) return FALSE;
  bool expanded = s->tree.Expanded(item);
  switch (code & 0x3) {
    case TVE_COLLAPSE: expanded = false; break;
    case TVE_EXPAND: expanded = true; break;
    case TVE_TOGGLE: expanded = !expanded; break;
    default: return FALSE;
  }
  s->tree.SetExpanded(item, expanded);
  Updated(ControlChange::TreeItem, reinterpret_cast<intptr_t>(item));
  return TRUE;
}

BOOL CTreeCtrl::EnsureVisible(HTREEITEM item) {
  ControlState* s = State();
  if (!s || !s->tree.Valid(item)) return FALSE;
  winport::ui::ShowTreeItem(*GetParent(), GetDlgCtrlID(), item);
  return TRUE;
}

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const {
  const HTREEITEM item = GetParent() ? winport::ui::TreeItemAt(*GetParent(), GetDlgCtrlID(), point) : nullptr;
  if (flags) *flags = item ? TVHT_ONITEMLABEL : TVHT_NOWHERE;
  return item;
}

BOOL CTreeCtrl::GetItemRect(HTREEITEM item, RECT* rect, BOOL) const {
  const ControlState* s = State();
  if (!s || !rect) return FALSE;
  const int row = s->tree.RowOf(item) - s->tree.top;
  RECT client{};
  ::GetClientRect(s->hwnd, &client);
  if (row < 0 || (row + 1) * winport::ui::TreeModel::kRowHeight > client.bottom) return FALSE;
  *rect = RECT{0, row * winport::ui::TreeModel::kRowHeight, client.right,
               (row + 1) * winport::ui::TreeModel::kRowHeight};
  return TRUE;
}

// ---- CListCtrl ----

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
  ControlState* s = State();
  if (!s) return 0;
  const DWORD old = s->list.extendedStyle;
  s->list.extendedStyle = style;
  Updated(ControlChange::ListColumns);
  return old;
}

DWORD CListCtrl::GetExtendedStyle() const {
  const ControlState* s = State();
  return s ? s->list.extendedStyle : 0;
}

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width) {
  ControlState* s = State();
  if (!s || column < 0) return -1;
  column = std::min(column, static_cast<int>(s->list.columns.size()));
  s->list.columns.insert(s->list.columns.begin() + column, winport::ui::ListColumn{heading, format, 0});
  Updated(ControlChange::ListColumns);
  SetColumnWidth(column, width < 0 ? LVSCW_AUTOSIZE_USEHEADER : width);
  return column;
}

BOOL CListCtrl::DeleteColumn(int column) {
  ControlState* s = State();
  if (!s || column < 0 || static_cast<size_t>(column) >= s->list.columns.size()) return FALSE;
  s->list.columns.erase(s->list.columns.begin() + column);
  Updated(ControlChange::ListColumns);
  return TRUE;
}

int CListCtrl::GetColumnCount() const {
  const ControlState* s = State();
  return s ? static_cast<int>(s->list.columns.size()) : 0;
}

std::string CListCtrl::GetColumnText(int column) const {
  const ControlState* s = State();
  if (!s || column < 0 || static_cast<size_t>(column) >= s->list.columns.size()) return {};
  return s->list.columns[static_cast<size_t>(column)].title;
}

BOOL CListCtrl::SetColumnText(int column, const std::string& heading) {
  ControlState* s = State();
  if (!s || column < 0 || static_cast<size_t>(column) >= s->list.columns.size()) return FALSE;
  s->list.columns[static_cast<size_t>(column)].title = heading;
  Updated(ControlChange::ListColumns);
  return TRUE;
}

int CListCtrl::GetColumnFormat(int column) const {
  const ControlState* s = State();
  if (!s || column < 0 || static_cast<size_t>(column) >= s->list.columns.size()) return LVCFMT_LEFT;
  return s->list.columns[static_cast<size_t>(column)].format;
}

BOOL CListCtrl::SetColumnWidth(int column, int width) {
  ControlState* s = State();
  if (!s || column < 0 || static_cast<size_t>(column) >= s->list.columns.size()) return FALSE;
  if (width < 0) {
    // The widest of the heading and, for LVSCW_AUTOSIZE, the cells shown, plus a margin.
    CDialog& dialog = *GetParent();
    const size_t index = static_cast<size_t>(s - dialog.Controls().data());
    auto measure = [&](const std::string& text) {
      const int w = dialog.View() ? dialog.View()->TextWidth(index, text) : -1;
      return w >= 0 ? w : static_cast<int>(std::min<size_t>(text.size(), 4096)) * dialog.Units().x;
    };
    int widest = measure(s->list.columns[static_cast<size_t>(column)].title);
    if (width == LVSCW_AUTOSIZE) {
      const int last = std::min(s->list.itemCount, GetTopIndex() + GetCountPerPage() + 1);
      for (int row = GetTopIndex(); row < last; ++row) widest = std::max(widest, measure(GetItemText(row, column)));
    }
    width = widest + 12;
    s = State();  // the owner's answers may have changed the list
    if (!s || static_cast<size_t>(column) >= s->list.columns.size()) return FALSE;
  }
  s->list.columns[static_cast<size_t>(column)].width = width;
  Updated(ControlChange::ListColumnWidth, column);
  return TRUE;
}

int CListCtrl::GetColumnWidth(int column) const {
  const ControlState* s = State();
  if (!s || column < 0 || static_cast<size_t>(column) >= s->list.columns.size()) return 0;
  return s->list.columns[static_cast<size_t>(column)].width;
}

BOOL CListCtrl::SetItemCount(int count) {
  ControlState* s = State();
  if (!s) return FALSE;
  s->list.itemCount = std::max(count, 0);
  if (s->list.selected >= s->list.itemCount) s->list.selected = -1;
  s->list.topIndex = std::clamp(s->list.topIndex, 0, std::max(0, s->list.itemCount - 1));
  Updated(ControlChange::ListCount);
  return TRUE;
}

int CListCtrl::GetItemCount() const {
  const ControlState* s = State();
  return s ? s->list.itemCount : 0;
}

std::string CListCtrl::GetItemText(int row, int column) const {
  return GetParent() ? winport::ui::ListItemText(*GetParent(), GetDlgCtrlID(), row, column) : std::string();
}

void CListCtrl::Invalidate() { Updated(ControlChange::ListRedraw); }

BOOL CListCtrl::SetSelectionMark(int row) {
  ControlState* s = State();
  if (!s || row < -1 || row >= s->list.itemCount) return FALSE;
  s->list.selected = row;
  Updated(ControlChange::ListSelection);
  return TRUE;
}

int CListCtrl::GetSelectionMark() const {
  const ControlState* s = State();
  return s ? s->list.selected : -1;
}

BOOL CListCtrl::Scroll(SIZE size) {
  ControlState* s = State();
  if (!s) return FALSE;
  RECT client{};
  ::GetClientRect(s->hwnd, &client);
  int total = 0;
  for (const winport::ui::ListColumn& c : s->list.columns) total += std::max(c.width, 0);
  const int64_t x = int64_t{s->list.scrollX} + size.cx;
  s->list.scrollX = static_cast<int>(std::clamp<int64_t>(x, 0, std::max(0, total - static_cast<int>(client.right))));
  const int64_t top = int64_t{s->list.topIndex} + size.cy / winport::ui::ListModel::kRowHeight;
  s->list.topIndex =
      static_cast<int>(std::clamp<int64_t>(top, 0, std::max(0, s->list.itemCount - GetCountPerPage())));
  Updated(ControlChange::ListScrolled);
  return TRUE;
}

BOOL CListCtrl::EnsureVisible(int row, BOOL) {
  ControlState* s = State();
  if (!s || row < 0 || row >= s->list.itemCount) return FALSE;
  const int perPage = std::max(1, GetCountPerPage());
  if (row < s->list.topIndex)
    s->list.topIndex = row;
  else if (row >= s->list.topIndex + perPage)
    s->list.topIndex = row - perPage + 1;
  Updated(ControlChange::ListScrolled);
  return TRUE;
}

int CListCtrl::GetTopIndex() const {
  const ControlState* s = State();
  return s ? s->list.topIndex : 0;
}

int CListCtrl::GetScrollX() const {
  const ControlState* s = State();
  return s ? s->list.scrollX : 0;
}

int CListCtrl::GetCountPerPage() const {
  const ControlState* s = State();
  if (!s) return 0;
  RECT client{};
  ::GetClientRect(s->hwnd, &client);
  // One row goes to the header.
  return std::max(0, static_cast<int>(client.bottom) / winport::ui::ListModel::kRowHeight - 1);
}

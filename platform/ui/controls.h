// The state of the common controls that dialogs hold (tree view, report list
// with owner data) and the notification records they send, as Win32 has them.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/window.h"

struct _TREEITEM;
using HTREEITEM = _TREEITEM*;

// Where InsertItem puts an item.
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x10000));
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFE));

// Tree view styles.
constexpr DWORD TVS_HASBUTTONS = 0x0001;
constexpr DWORD TVS_HASLINES = 0x0002;
constexpr DWORD TVS_LINESATROOT = 0x0004;
constexpr DWORD TVS_DISABLEDRAGDROP = 0x0010;
constexpr DWORD TVS_SHOWSELALWAYS = 0x0020;
// Item states, Expand codes, HitTest results, selection-change causes.
constexpr UINT TVIS_SELECTED = 0x0002;
constexpr UINT TVIS_EXPANDED = 0x0020;
constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
constexpr UINT TVE_TOGGLE = 0x0003;
constexpr UINT TVHT_NOWHERE = 0x0001;
constexpr UINT TVHT_ONITEMLABEL = 0x0004;
constexpr UINT TVC_UNKNOWN = 0x0000;
constexpr UINT TVC_BYMOUSE = 0x0001;
constexpr UINT TVIF_TEXT = 0x0001;
constexpr UINT TVIF_PARAM = 0x0004;
constexpr UINT TVIF_STATE = 0x0008;

// List view styles.
constexpr DWORD LVS_REPORT = 0x0001;
constexpr DWORD LVS_SINGLESEL = 0x0004;
constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
constexpr DWORD LVS_OWNERDATA = 0x1000;
constexpr DWORD LVS_NOSORTHEADER = 0x8000;
constexpr DWORD LVS_EX_GRIDLINES = 0x0001;
constexpr DWORD LVS_EX_FULLROWSELECT = 0x0020;
constexpr DWORD LVS_EX_ONECLICKACTIVATE = 0x0040;
// Column formats and automatic widths.
constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;
constexpr int LVSCW_AUTOSIZE = -1;
constexpr int LVSCW_AUTOSIZE_USEHEADER = -2;
constexpr UINT LVIF_TEXT = 0x0001;

// Notification codes of WM_NOTIFY.
constexpr UINT NM_CLICK = static_cast<UINT>(-2);
constexpr UINT NM_DBLCLK = static_cast<UINT>(-3);
constexpr UINT NM_RCLICK = static_cast<UINT>(-5);
constexpr UINT LVN_COLUMNCLICK = static_cast<UINT>(-108);
constexpr UINT LVN_GETDISPINFOA = static_cast<UINT>(-150);
constexpr UINT LVN_GETDISPINFO = LVN_GETDISPINFOA;
constexpr UINT TVN_SELCHANGEDA = static_cast<UINT>(-402);
constexpr UINT TVN_SELCHANGED = TVN_SELCHANGEDA;

struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};

struct TVITEMA {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  char* pszText;
  int cchTextMax;
  LPARAM lParam;
};
using TVITEM = TVITEMA;

struct NMTREEVIEWA {
  NMHDR hdr;
  UINT action;
  TVITEMA itemOld;
  TVITEMA itemNew;
  POINT ptDrag;
};
using NMTREEVIEW = NMTREEVIEWA;

struct LVITEMA {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  char* pszText;  // the receiver copies the text here, NUL-ended, cut to cchTextMax
  int cchTextMax;
  LPARAM lParam;
};
using LVITEM = LVITEMA;

struct NMLVDISPINFOA {
  NMHDR hdr;
  LVITEMA item;
};
using NMLVDISPINFO = NMLVDISPINFOA;

struct NMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
};

namespace winport::ui {

inline constexpr const char* kTreeViewClass = "SysTreeView32";
inline constexpr const char* kListViewClass = "SysListView32";

// The items of a tree view: text, data, place and whether expanded. A handle
// stays valid until the items are deleted. The layout that hit tests use when
// no backend draws the tree: one row of kRowHeight pixels per visible item
// (every ancestor expanded), in depth-first order, from row `top` on.
class TreeModel {
 public:
  static constexpr int kRowHeight = 16;

  HTREEITEM Insert(const std::string& text, LPARAM data, HTREEITEM parent, HTREEITEM after);
  void Clear();
  bool Valid(HTREEITEM item) const;
  size_t Count() const { return nodes_.size(); }

  HTREEITEM Root() const { return Handle(firstRoot_); }
  HTREEITEM Child(HTREEITEM item) const;
  HTREEITEM Next(HTREEITEM item) const;
  HTREEITEM Previous(HTREEITEM item) const;
  HTREEITEM Parent(HTREEITEM item) const;

  std::string Text(HTREEITEM item) const;
  bool SetText(HTREEITEM item, const std::string& text);
  LPARAM Data(HTREEITEM item) const;
  bool SetData(HTREEITEM item, LPARAM data);
  bool Expanded(HTREEITEM item) const;
  bool SetExpanded(HTREEITEM item, bool expanded);

  HTREEITEM Selected() const { return Handle(selected_); }
  void SetSelected(HTREEITEM item) { selected_ = Index(item); }

  // The item reached by following these labels from a top-level item; nullptr when none.
  HTREEITEM Find(const std::vector<std::string>& labels) const;
  // The items shown, top to bottom, and an item's row among them (-1: hidden).
  std::vector<HTREEITEM> VisibleItems() const;
  int RowOf(HTREEITEM item) const;
  int top = 0;  // the first row shown

 private:
  struct Node {
    std::string text;
    LPARAM data = 0;
    int parent = -1, first = -1, last = -1, next = -1, previous = -1;
    bool expanded = false;
  };
  static HTREEITEM Handle(int index) {
    return index < 0 ? nullptr : reinterpret_cast<HTREEITEM>(static_cast<uintptr_t>(index) + 1);
  }
  int Index(HTREEITEM item) const;

  std::vector<Node> nodes_;
  int firstRoot_ = -1, lastRoot_ = -1;
  int selected_ = -1;
};

struct ListColumn {
  std::string title;  // ANSI
  int format = LVCFMT_LEFT;
  int width = 0;
};

// A report list with owner data: it holds columns, an item count, a selection
// and a scroll position; the texts come from its owner (LVN_GETDISPINFO).
struct ListModel {
  static constexpr int kRowHeight = 16;
  std::vector<ListColumn> columns;
  int itemCount = 0;
  int selected = -1;
  int topIndex = 0;  // the first row shown
  int scrollX = 0;   // pixels scrolled to the right
  DWORD extendedStyle = 0;
};

}  // namespace winport::ui

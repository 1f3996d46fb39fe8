// A dialog with a tree, a report list whose cells read "r<row>c<column>" and
// a number field, for the tests of the dialog layer's controls.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/commctrl.h"

namespace platformtest {

using namespace winport::ui;

constexpr int kTree = 401, kList = 402, kValue = 403;

// A tree that takes its own selection changes, as a reflected handler does.
class OwnTree : public CTreeCtrl {
 public:
  BOOL OnChildNotify(UINT code, NMHDR* header, LRESULT* result) override {
    if (code != TVN_SELCHANGED) return FALSE;
    const auto* change = reinterpret_cast<NMTREEVIEW*>(header);
    changes.push_back({change->itemOld.hItem, change->itemNew.hItem, change->action});
    *result = 0;
    return TRUE;
  }
  struct Change {
    HTREEITEM from, to;
    UINT action;
  };
  std::vector<Change> changes;
};

// A tree, a report list whose cells read "r<row>c<column>", and a number field.
class ControlsDialog : public CDialog {
 public:
  static DialogTemplate Resource() {
    DialogTemplate t;
    t.id = 400;
    t.caption = "Controls";
    t.cx = 300;
    t.cy = 200;
    t.style |= WS_THICKFRAME;
    t.controls = {Control(kTree, "", kTreeViewClass, WS_VISIBLE | TVS_HASBUTTONS, 7, 7, 100, 160),
                  Control(kList, "", kListViewClass, WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 110, 7, 183, 160),
                  EditText(kValue, 7, 176, 60, 12), DefPushButton(IDOK, "OK", 243, 176, 50, 14)};
    return t;
  }
  ControlsDialog() : CDialog(Resource()) {}

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    root = tree.InsertItem("root", 1, TVI_ROOT);
    a = tree.InsertItem("a", 2, root);
    b = tree.InsertItem("b", 3, root);
    a1 = tree.InsertItem("a1", 4, a);
    list.InsertColumn(0, "Index", LVCFMT_LEFT, 50);
    list.InsertColumn(1, "Speed", LVCFMT_RIGHT, 80);
    list.SetItemCount(1000);
    if (init) init(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kTree, tree);
    DDX_Control(dx, kList, list);
    DDX_Text(dx, kValue, value);
  }
  using CDialog::OnNotify;
  BOOL OnNotify(int id, NMHDR* header, LRESULT* result) override {
    notified.push_back(header->code);
    if (header->code == LVN_GETDISPINFO) {
      ++asked;
      LVITEM& item = reinterpret_cast<NMLVDISPINFO*>(header)->item;
      const std::string text = cellText ? cellText : "r" + std::to_string(item.iItem) + "c" + std::to_string(item.iSubItem);
      snprintf(item.pszText, static_cast<size_t>(item.cchTextMax), "%s", text.c_str());
      return TRUE;
    }
    if (header->code == LVN_COLUMNCLICK) clicked.push_back(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
    if (header->code == NM_RCLICK) {
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(tree.GetSafeHwnd(), &p);
      rightClicked.push_back(tree.HitTest(p));
    }
    return CDialog::OnNotify(id, header, result);
  }
  BOOL OnCommand(int id, UINT code) override {
    commands.push_back(id);
    return CDialog::OnCommand(id, code);
  }
  void OnSize(UINT, int cx, int cy) override { sizes.push_back({cx, cy}); }

  OwnTree tree;
  CListCtrl list;
  HTREEITEM root = nullptr, a = nullptr, b = nullptr, a1 = nullptr;
  double value = 0.1;
  const char* cellText = nullptr;
  std::function<void(ControlsDialog&)> init;
  long asked = 0;  // cell texts asked for
  std::vector<UINT> notified;
  std::vector<int> clicked, commands;
  std::vector<HTREEITEM> rightClicked;
  std::vector<SIZE> sizes;
};

}  // namespace platformtest

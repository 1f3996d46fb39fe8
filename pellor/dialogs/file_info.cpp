#include "pellor/dialogs/file_info.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "mdf/block_tree.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/messages.h"
#include "mdf/prgblock.h"
#include "pellor/dialogs/resource.h"
#include "platform/ui/menu.h"
#include "platform/ui/messagebox.h"

using namespace winport::ui;

namespace {

constexpr size_t kMatchLength = 256;  // characters of an item's text that a search compares

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

void ResetColumns(mdf::IListControl& list) {
  list.SetRedraw(false);
  while (list.GetColumnCount() > 0) list.DeleteColumn(0);
  list.InsertColumn(0, "Property", mdf::ColumnFormat::Left, 100);
  list.InsertColumn(1, "Contents", mdf::ColumnFormat::Left, 300);
  list.SetRedraw(true);
}

mdf::CMdfBase* BlockOf(const CTreeCtrl& tree, HTREEITEM item) {
  return reinterpret_cast<mdf::CMdfBase*>(tree.GetItemData(item));
}

}  // namespace

// ---- CInfoTree ----

CFileInfo* CInfoTree::Owner() const { return static_cast<CFileInfo*>(GetParent()); }

BOOL CInfoTree::OnChildNotify(UINT code, NMHDR* header, LRESULT* result) {
  if (code == TVN_SELCHANGED) {
    OnSelchanged(*reinterpret_cast<NMTREEVIEW*>(header));
    *result = 0;
    return TRUE;
  }
  if (code == NM_RCLICK) {
    OnRightClick();
    *result = 0;
    return TRUE;
  }
  return FALSE;
}

void CInfoTree::OnSelchanged(const NMTREEVIEW& change) {
  if (auto* block = reinterpret_cast<mdf::CMdfBase*>(change.itemNew.lParam); block && Owner())
    Owner()->ShowBlock(block);
}

void CInfoTree::OnRightClick() {
  if (!Owner()) return;
  // The item under the cursor; the selection when the click hit none.
  POINT point;
  GetCursorPos(&point);
  ScreenToClient(GetSafeHwnd(), &point);
  HTREEITEM item = HitTest(point);
  if (!item) item = GetSelectedItem();
  if (item) Owner()->OnRightClick(item);
}

bool CInfoTree::MatchText(HTREEITEM item, const std::string& text) const {
  std::string label = GetItemText(item).substr(0, kMatchLength);
  std::string wanted = text;
  if (!m_matchCase) {
    label = UpperAscii(std::move(label));
    wanted = UpperAscii(std::move(wanted));
  }
  return m_wholeText ? label == wanted : label.find(wanted) != std::string::npos;
}

HTREEITEM CInfoTree::Search(HTREEITEM start, const std::string& text) {
  if (!start) return nullptr;
  // Depth-first from the start's first child; the walk ends when it climbs back to the start.
  HTREEITEM item = GetChildItem(start);
  for (UINT steps = 0; item && steps <= GetCount(); ++steps) {
    if (MatchText(item, text) && ++m_hits > m_skip) return item;
    if (HTREEITEM child = GetChildItem(item)) {
      item = child;
      continue;
    }
    while (item && item != start && !GetNextSiblingItem(item)) item = GetParentItem(item);
    item = item && item != start ? GetNextSiblingItem(item) : nullptr;
  }
  return nullptr;
}

// ---- CFindDlg ----

CFindDlg::CFindDlg(HWND parent) : CDialog(Resource(), parent) {}

DialogTemplate CFindDlg::Resource() {
  DialogTemplate t;
  t.id = IDD_FIND;
  t.caption = "Text Suchen";
  t.cx = 226;
  t.cy = 62;
  t.style |= DS_CENTER;
  t.controls = {
      LText(IDC_STATIC, "Suchtext", 7, 9, 36, 8),
      EditText(IDC_FIND_TEXT, 46, 7, 116, 12, ES_AUTOHSCROLL),
      CheckBox(IDC_FIND_MATCH_CASE, mdf::Ansi("Groß-Kleinschreibung unterscheiden"), 7, 26, 155, 10),
      CheckBox(IDC_FIND_WHOLE_TEXT, "Nur ganze Worte vergleichen", 7, 40, 155, 10),
      DefPushButton(IDOK, "&OK", 169, 7, 50, 14),
      PushButton(IDCANCEL, "&Abbrechen", 169, 24, 50, 14),
  };
  return t;
}

void CFindDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Check(dx, IDC_FIND_MATCH_CASE, m_matchCase);
  DDX_Text(dx, IDC_FIND_TEXT, m_text);
  DDX_Check(dx, IDC_FIND_WHOLE_TEXT, m_wholeText);
}

// ---- CFileInfo ----

CFileInfo::CFileInfo() : CDialog(Resource(), nullptr) {}

CFileInfo::~CFileInfo() { CloseStream(); }

DialogTemplate CFileInfo::Resource() {
  DialogTemplate t;
  t.id = IDD_FILE_INFO;
  t.caption = "Information";
  t.cx = 472;
  t.cy = 321;
  t.style |= WS_THICKFRAME;
  t.controls = {
      Control(IDC_INFO_TREE, "", kTreeViewClass,
              WS_VISIBLE | WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                  TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP,
              7, 7, 135, 289),
      Control(IDC_INFO_LIST, "", kListViewClass,
              WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA,
              145, 7, 320, 289),
      PushButton(IDC_INFO_FIND, "&Finden...", 7, 300, 50, 14),
      PushButton(IDC_INFO_FIND_NEXT, "&Weitersuchen", 62, 300, 55, 14),
      PushButton(IDC_INFO_EXPORT, "E&xport...", 145, 300, 50, 14, WS_DISABLED),
      DefPushButton(IDOK, "&OK", 415, 300, 50, 14),
  };
  return t;
}

void CFileInfo::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_INFO_TREE, m_tree);
  DDX_Control(dx, IDC_INFO_LIST, m_list);
}

BOOL CFileInfo::OnInitDialog() {
  CDialog::OnInitDialog();
  // 90 % of the screen, 5 % from its top-left corner.
  const int width = GetSystemMetrics(SM_CXFULLSCREEN);
  const int height = GetSystemMetrics(SM_CYFULLSCREEN);
  MoveWindow(width / 20, height / 20, width - width / 10, height - height / 10);

  m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT |
                          LVS_EX_ONECLICKACTIVATE);
  if (m_list.GetColumnCount() == 0) {
    ResetColumns(m_visible);
    m_list.SetItemCount(50);
  }
  ResetColumns(m_hidden);

  if (!m_pFile) {
    EndDialog(IDCANCEL);
    return FALSE;
  }
  BuildTree();
  const uint16_t version = m_pFile->GetReaderVersion();
  SetWindowText(mdf::StrFormat("Information (MDF-Filter v%d.%02d, Original-Datentypen)", version >> 8, version & 0xFF));
  return TRUE;
}

void CFileInfo::BuildTree() {
  const HTREEITEM root = m_tree.InsertItem(mdf::FileTitle(m_pFile->GetPath()),
                                           reinterpret_cast<LPARAM>(static_cast<mdf::CMdfBase*>(m_pFile)), TVI_ROOT);
  // Depth-first, with an explicit stack of (item, parent) to insert.
  struct Pending {
    const mdf::BlockTreeItem* item;
    HTREEITEM parent;
  };
  const std::vector<mdf::BlockTreeItem> items = mdf::BlockTreeItems(*m_pFile, {.storageGroupLabels = true});
  std::vector<Pending> stack;
  for (auto it = items.rbegin(); it != items.rend(); ++it) stack.push_back({&*it, root});
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    const HTREEITEM added = m_tree.InsertItem(p.item->label, reinterpret_cast<LPARAM>(p.item->block), p.parent);
    for (auto it = p.item->children.rbegin(); it != p.item->children.rend(); ++it) stack.push_back({&*it, added});
  }
  m_tree.Expand(root, TVE_EXPAND);
}

BOOL CFileInfo::OnCommand(int id, UINT code) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_INFO_FIND: OnFind(); return TRUE;
      case IDC_INFO_FIND_NEXT: OnFindNext(); return TRUE;
      case IDC_INFO_EXPORT: OnExport(); return TRUE;
      default: break;
    }
  }
  return CDialog::OnCommand(id, code);
}

BOOL CFileInfo::OnNotify(int id, NMHDR* header, LRESULT* result) {
  if (id == IDC_INFO_LIST && header->code == LVN_GETDISPINFO) {
    OnGetDispInfo(*reinterpret_cast<NMLVDISPINFO*>(header));
    *result = 0;
    return TRUE;
  }
  if (id == IDC_INFO_LIST && header->code == LVN_COLUMNCLICK) {
    const auto& click = *reinterpret_cast<NMLISTVIEW*>(header);
    if (click.iItem == -1) OnColumnClick(click.iSubItem);
    *result = 0;
    return TRUE;
  }
  return CDialog::OnNotify(id, header, result);
}

void CFileInfo::OnSize(UINT type, int cx, int cy) {
  CDialog::OnSize(type, cx, cy);
  if (cx == 0 || cy == 0) return;
  const RECT ok = GetDlgItemRect(IDOK);
  const int buttonHeight = ok.bottom - ok.top;
  const int paneHeight = std::max(0, cy - buttonHeight - 2 * kMargin);
  const int listLeft = cx / 3 + 2 * kMargin;
  MoveDlgItem(IDC_INFO_TREE, RECT{kMargin, kMargin, kMargin + cx / 3, kMargin + paneHeight});
  MoveDlgItem(IDC_INFO_LIST, RECT{listLeft, kMargin, std::max(listLeft, cx - kMargin), kMargin + paneHeight});
  // The buttons in the band below the panes, centred in it.
  const int top = cy - buttonHeight - kMargin / 2;
  auto place = [&](int id, int left) {
    const RECT r = GetDlgItemRect(id);
    MoveDlgItem(id, RECT{left, top, left + (r.right - r.left), top + buttonHeight});
    return left + (r.right - r.left);
  };
  place(IDC_INFO_FIND_NEXT, place(IDC_INFO_FIND, kMargin) + kMargin);
  place(IDC_INFO_EXPORT, listLeft);
  place(IDOK, cx - kMargin - (ok.right - ok.left));
}

void CFileInfo::CloseStream() {
  if (m_streamOpened && m_pFile) m_pFile->CloseFile();
  m_streamOpened = false;
}

void CFileInfo::LeaveDataMode() {
  m_toggle = 0;
  m_cache.Reset(0, 0);
  CloseStream();
  ResetColumns(m_hidden);
  ResetColumns(m_visible);
  m_list.SetItemCount(50);
  m_dataMode = 0;
  m_pDataBlock = nullptr;
  EnableDlgItem(IDC_INFO_EXPORT, FALSE);
}

void CFileInfo::ShowBlock(mdf::CMdfBase* block) {
  if (!block) return;
  if (auto* data = dynamic_cast<mdf::CDataBlock*>(block)) {
    m_toggle = 0;  // the grid's columns come anew, all shown
    const mdf::CCGBlock* cg = data->GetDataGroup() ? data->GetDataGroup()->GetFirstCG() : nullptr;
    m_channels = 0;
    for (const mdf::CCNBlock* cn = cg ? cg->GetFirstCN() : nullptr; cn; cn = cn->GetNext()) ++m_channels;
    const uint32_t records = data->GetNumberOfRecords();
    m_cache.Reset(records, m_channels);
    if (!m_streamOpened && m_pFile && !m_pFile->IsOpen()) m_streamOpened = m_pFile->OpenForReading();
    m_dataMode = 1;
    m_pDataBlock = data;
    data->Display(m_visible);
    m_list.SetItemCount(static_cast<int>(std::min<uint32_t>(records, INT_MAX)));
    EnableDlgItem(IDC_INFO_EXPORT, TRUE);
  } else {
    if (m_dataMode) LeaveDataMode();
    block->Display(m_hidden);
    m_list.SetItemCount(m_hidden.GetItemCount());
    mdf::CopyHeaderColumns(m_visible, m_hidden);
  }
  m_list.Invalidate();
}

void CFileInfo::OnGetDispInfo(NMLVDISPINFO& info) {
  LVITEM& item = info.item;
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  std::string text;
  if (m_dataMode && m_pDataBlock) {
    const auto record = static_cast<uint32_t>(item.iItem);
    const auto column = static_cast<uint32_t>(item.iSubItem);
    if (item.iItem < 0 || item.iSubItem < 0 || column > m_channels) {
      // nothing for a column past the channels
    } else if (column == 0) {
      text = mdf::StrFormat("%u", record);
    } else if (const std::optional<std::string_view> cached = m_cache.Find(record, column)) {
      text = *cached;
    } else {
      text = m_pDataBlock->GetCellText(record, static_cast<int>(column));
      m_cache.Put(record, column, text);
    }
  } else if (item.iItem >= 0 && item.iItem < m_hidden.GetItemCount()) {
    text = m_hidden.GetItemText(item.iItem, item.iSubItem);
  }
  const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
  std::memcpy(item.pszText, text.data(), n);
  item.pszText[n] = '\0';
}

void CFileInfo::OnColumnClick(int column) {
  if (column <= 1) return;
  m_list.Scroll(SIZE{-(1 << 30), 0});
  for (int c = 2; c < m_list.GetColumnCount(); ++c)
    if (c != column) m_list.SetColumnWidth(c, m_toggle == 0 ? 0 : LVSCW_AUTOSIZE_USEHEADER);
  m_toggle ^= 1;
}

void CFileInfo::OnRightClick(HTREEITEM item) {
  if (m_dataMode) return;
  mdf::CMdfBase* block = BlockOf(m_tree, item);
  if (auto* cn = dynamic_cast<mdf::CCNBlock*>(block)) {
    // The grid shows the channels of the group's first channel group only.
    const HTREEITEM cgItem = m_tree.GetParentItem(item);
    auto* cg = dynamic_cast<mdf::CCGBlock*>(BlockOf(m_tree, cgItem));
    auto* dg = dynamic_cast<mdf::CDGBlock*>(BlockOf(m_tree, m_tree.GetParentItem(cgItem)));
    if (!cg || !dg || dg->GetFirstCG() != cg || !dg->GetDataBlock()) return;
    int column = 1;
    for (const mdf::CCNBlock* c = cg->GetFirstCN(); c && c != cn; c = c->GetNext()) ++column;
    ShowBlock(dg->GetDataBlock());
    OnColumnClick(column);
    return;
  }
  if (dynamic_cast<mdf::CPrgBlock*>(block)) {
    POINT at;
    GetCursorPos(&at);
    CMenu menu;
    menu.CreatePopupMenu();
    menu.AppendMenu(MF_STRING, ID_PR_DELETE, mdf::Ansi("PR-Block löschen"));
    if (menu.TrackPopupMenu(TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, GetSafeHwnd()) == ID_PR_DELETE) {
      m_pFile->DeletePRBlock();
      // The rows shown may be the program block's: show what is left of it.
      if (mdf::CMdfBase* shown = BlockOf(m_tree, m_tree.GetSelectedItem()); shown == block) ShowBlock(block);
    }
  }
}

void CFileInfo::OnExport() {
  if (m_dataMode && m_pDataBlock) m_pDataBlock->ExportCsv();
}

void CFileInfo::OnFind() {
  CFindDlg dialog(GetSafeHwnd());
  dialog.m_text = m_searchText;
  dialog.m_matchCase = m_tree.m_matchCase;
  dialog.m_wholeText = m_tree.m_wholeText;
  m_tree.m_hits = 0;
  m_tree.m_skip = 0;
  if (dialog.DoModal() != IDOK) return;
  m_searchText = dialog.m_text;
  m_tree.m_matchCase = dialog.m_matchCase;
  m_tree.m_wholeText = dialog.m_wholeText;
  m_hStart = m_tree.GetRootItem();
  Search();
}

void CFileInfo::OnFindNext() {
  if (m_searchText.empty()) {
    OnFind();
    return;
  }
  m_tree.m_hits = 0;
  Search();
}

void CFileInfo::Search() {
  const HTREEITEM found = m_tree.Search(m_hStart, m_searchText);
  if (!found) {
    mdf::ShowMessageBox("Der angegebene Text wurde nicht gefunden.", MB_ICONINFORMATION);
    return;
  }
  ++m_tree.m_skip;
  m_tree.EnsureVisible(found);
  m_tree.SelectItem(found);
}

int ShowFileInfo(mdf::CMdf* file) {
  if (!file) return 1;
  CFileInfo dialog;
  dialog.SetFile(file);
  dialog.DoModal();
  return 1;
}

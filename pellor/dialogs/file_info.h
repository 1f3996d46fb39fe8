// The information dialog of an opened MDF file: the tree of its blocks on the
// left; on the right the selected block's properties or, for "Data", the grid
// of the group's decoded records. The tree can be searched, a group exported
// as comma-separated text, and the program block deleted from the file.
#pragma once

#include <cstdint>
#include <string>

#include "mdf/list_control.h"
#include "pellor/dialogs/cell_cache.h"
#include "pellor/dialogs/report_list.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/dialog.h"

namespace mdf {
class CDataBlock;
class CMdf;
class CMdfBase;
}  // namespace mdf

class CFileInfo;

// The block tree: its selection shows a block, a right click acts on the item under the cursor.
class CInfoTree : public CTreeCtrl {
 public:
  BOOL OnChildNotify(UINT code, NMHDR* header, LRESULT* result) override;
  void OnSelchanged(const NMTREEVIEW& change);
  void OnRightClick();

  // Whether an item's text (its first 256 characters) matches the search
  // text: equal with the whole-text flag, containing it otherwise; ASCII
  // letters compare without case unless the match-case flag is set.
  bool MatchText(HTREEITEM item, const std::string& text) const;
  // The next match below `start` in depth-first order (an item, its children,
  // its next sibling; `start` itself not compared): each match counts a hit,
  // and the first whose count exceeds the hits to skip is the one. nullptr when none.
  HTREEITEM Search(HTREEITEM start, const std::string& text);

  int m_matchCase = 0;
  int m_wholeText = 0;
  int m_hits = 0;
  int m_skip = 0;

 private:
  CFileInfo* Owner() const;
};

// Find's question: the text and the two flags.
class CFindDlg : public CDialog {
 public:
  explicit CFindDlg(HWND parent = nullptr);
  static winport::ui::DialogTemplate Resource();
  void DoDataExchange(CDataExchange* dx) override;

  int m_matchCase = 0;
  std::string m_text;
  int m_wholeText = 0;
};

class CFileInfo : public CDialog {
 public:
  CFileInfo();
  ~CFileInfo() override;
  static winport::ui::DialogTemplate Resource();

  // The file shown (not owned).
  void SetFile(mdf::CMdf* file) { m_pFile = file; }

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(int id, UINT code) override;
  BOOL OnNotify(int id, NMHDR* header, LRESULT* result) override;
  void OnSize(UINT type, int cx, int cy) override;

  void OnFind();
  void OnFindNext();
  void OnExport();
  void OnGetDispInfo(NMLVDISPINFO& info);
  // A click on a column's header: the grid shows only the record index, the
  // first channel and this column, or (the next time) all columns again.
  void OnColumnClick(int column);
  // Shows a block on the right: its properties, or the grid of a data block.
  void ShowBlock(mdf::CMdfBase* block);
  // A right click on a tree item: a channel of a group's first channel group
  // shows the group's records with only its column kept; the program block
  // offers to delete itself.
  void OnRightClick(HTREEITEM item);

  bool InDataMode() const { return m_dataMode != 0; }
  mdf::CDataBlock* GetShownDataBlock() const { return m_dataMode ? m_pDataBlock : nullptr; }
  const CCellCache& GetCellCache() const { return m_cache; }
  const mdf::CMemoryList& GetHiddenList() const { return m_hidden; }
  CInfoTree& GetTree() { return m_tree; }
  CListCtrl& GetList() { return m_list; }

  // The width of the margins and gaps of the layout, in pixels.
  static constexpr int kMargin = 8;

 private:
  using CDialog::OnNotify;
  void BuildTree();
  void LeaveDataMode();
  void Search();
  // The data mode's file stream: open while a grid is shown, so that rows do not open the file each.
  void CloseStream();

  CInfoTree m_tree;
  CListCtrl m_list;
  mdf::CMdf* m_pFile = nullptr;
  HTREEITEM m_hStart = nullptr;
  std::string m_searchText;
  mdf::CMemoryList m_hidden;
  CReportList m_visible{m_list};
  int m_toggle = 0;
  int m_dataMode = 0;
  mdf::CDataBlock* m_pDataBlock = nullptr;
  CCellCache m_cache;
  uint32_t m_channels = 0;
  bool m_streamOpened = false;
};

// Shows the information dialog for a file modally; nothing without a file. Returns 1.
int ShowFileInfo(mdf::CMdf* file);

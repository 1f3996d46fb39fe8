// The right pane: a report list with owner data that shows either the rows a
// block wrote into the hidden list ("Property", "Contents"; always 50 rows) or,
// while the tree shows a data block, the grid of its records.
#pragma once

#include <string>

#include "mdf/list_control.h"
#include "viewer/list_view.h"

class CSkoviaDoc;
class CLeftView;

class CSkoviaView : public CListView {
  Q_OBJECT

 public:
  static constexpr int kPropertyRows = 50;

  explicit CSkoviaView(CSkoviaDoc* document, QWidget* parent = nullptr);

  // After a document was opened or made: styles, columns, the hidden list.
  void OnInitialUpdate();
  // The text of a cell the list asks for (ANSI).
  std::string OnGetdispinfo(int row, int column);

  mdf::IListControl& GetVisibleList() const;
  mdf::CMemoryList& GetHiddenList() { return m_hiddenList; }

 private:
  CLeftView* LeftView() const;

  CSkoviaDoc* m_pDocument;
  bool m_hiddenCreated = false;
  mdf::CMemoryList m_hiddenList;  // never shown: blocks write their rows here
};

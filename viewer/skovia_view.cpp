#include "viewer/skovia_view.h"

#include "mdf/datablock.h"
#include "viewer/left_view.h"
#include "viewer/skovia_doc.h"
#include "viewer/virtual_list.h"

CSkoviaView::CSkoviaView(CSkoviaDoc* document, QWidget* parent) : CListView(parent), m_pDocument(document) {
  GetList().SetTextSource([this](int row, int column) { return OnGetdispinfo(row, column); });
}

void CSkoviaView::OnInitialUpdate() {
  // Grid lines; rows are selected whole, one at a time, and stay shown without the focus.
  SetGridLines(true);
  CVirtualList& visible = GetList();
  if (visible.GetColumnCount() == 0) {
    visible.InsertColumn(0, "Property", mdf::ColumnFormat::Left, 100);
    visible.InsertColumn(1, "Contents", mdf::ColumnFormat::Left, 300);
    visible.SetItemCount(kPropertyRows);
  }
  if (!m_hiddenCreated) {
    m_hiddenList.InsertColumn(0, "Property", mdf::ColumnFormat::Left, 100);
    m_hiddenList.InsertColumn(1, "Contents", mdf::ColumnFormat::Left, 300);
    m_hiddenCreated = true;
  }
}

CLeftView* CSkoviaView::LeftView() const {
  for (QWidget* view : m_pDocument->GetViews())
    if (auto* left = qobject_cast<CLeftView*>(view)) return left;
  return nullptr;
}

std::string CSkoviaView::OnGetdispinfo(int row, int column) {
  const CLeftView* left = LeftView();
  if (mdf::CDataBlock* data = left ? left->GetShownDataBlock() : nullptr)
    return data->GetCellText(static_cast<uint32_t>(row), column);
  if (row < m_hiddenList.GetItemCount()) return m_hiddenList.GetItemText(row, column);
  return {};
}

mdf::IListControl& CSkoviaView::GetVisibleList() const { return GetList(); }

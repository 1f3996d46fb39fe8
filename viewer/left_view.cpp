#include "viewer/left_view.h"

#include <algorithm>
#include <climits>

#include <QHeaderView>
#include <QSignalBlocker>

#include "mdf/block_tree.h"
#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "mdf/rows.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/win32/codepage.h"
#include "viewer/main_frame.h"
#include "viewer/skovia_doc.h"
#include "viewer/skovia_view.h"
#include "viewer/virtual_list.h"

using mdf::CMdfBase;
using winport::ui::FromAnsi;

namespace {

constexpr int kBlockRole = Qt::UserRole;

}  // namespace

CLeftView::CLeftView(CSkoviaDoc* document, uint16_t readerVersion, QWidget* parent)
    : QTreeWidget(parent), m_pDocument(document), m_readerVersion(readerVersion) {
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) { OnSelchanged(current); });
}

CLeftView::~CLeftView() {
  // The right pane must not draw from the file object's blocks once it is gone.
  m_bDataBlock = false;
  m_pDataBlock = nullptr;
  const QSignalBlocker block(this);
  clear();
}

void CLeftView::OnInitialUpdate() {
  m_pRightView = nullptr;
  for (QWidget* view : m_pDocument->GetViews())
    if (auto* right = qobject_cast<CSkoviaView*>(view)) {
      m_pRightView = right;
      break;
    }
  // Buttons, lines and lines at the root.
  setRootIsDecorated(true);
  setItemsExpandable(true);
  BuildBlockTree();
}

mdf::CMdfBase* CLeftView::BlockOf(const QTreeWidgetItem* item) {
  if (!item) return nullptr;
  return reinterpret_cast<CMdfBase*>(item->data(0, kBlockRole).value<quintptr>());
}

QTreeWidgetItem* CLeftView::AddItem(QTreeWidgetItem* parent, const std::string& label, CMdfBase* block) {
  auto* item = new QTreeWidgetItem(parent, QStringList{FromAnsi(label)});
  item->setData(0, kBlockRole, QVariant::fromValue(reinterpret_cast<quintptr>(block)));
  return item;
}

void CLeftView::BuildBlockTree() {
  const std::string path = m_pDocument->GetPathName();
  if (path.empty()) return;
  if (m_pMdf) {
    // Nothing may keep pointing into the old file's blocks or show their rows.
    ResetLists();
    {
      const QSignalBlocker block(this);
      clear();
    }
    m_pMdf.reset();
  }

  auto* root = new QTreeWidgetItem(this, QStringList{FromAnsi(mdf::FileTitle(path))});
  m_pMdf = std::make_unique<mdf::CMdf>(mdf::MdfProfile::Viewer);
  m_pMdf->SetReaderVersion(m_readerVersion);
  auto* frame = qobject_cast<CMainFrame*>(window());
  if (!m_pMdf->Open(path)) {
    AfxMessageBox(winport::Utf8ToAnsi("Datei ist ungültig!"), MB_ICONERROR);
    // What is damaged and where.
    if (frame) frame->SetMessageText(m_pMdf->GetLastError());
    return;
  }
  if (frame) frame->SetMessageText("Bereit");
  mdf::CMdf& mdf = *m_pMdf;
  root->setData(0, kBlockRole, QVariant::fromValue(reinterpret_cast<quintptr>(static_cast<CMdfBase*>(&mdf))));
  AddBlockItems(root);
  // The root is selected, so that the right pane shows its rows whichever
  // way the file was opened.
  if (currentItem() == root)
    OnSelchanged(root);
  else
    setCurrentItem(root);
}

void CLeftView::AddBlockItems(QTreeWidgetItem* root) {
  mdf::CMdf& mdf = *m_pMdf;

  for (const mdf::BlockTreeItem& item : mdf::BlockTreeItems(mdf)) AddItems(root, item);
}

void CLeftView::AddItems(QTreeWidgetItem* parent, const mdf::BlockTreeItem& item) {
  QTreeWidgetItem* added = AddItem(parent, item.label, item.block);
  for (const mdf::BlockTreeItem& child : item.children) AddItems(added, child);
}

void CLeftView::ResetLists() {
  m_bDataBlock = false;
  m_pDataBlock = nullptr;
  if (!m_pRightView) return;
  mdf::CMemoryList& hidden = m_pRightView->GetHiddenList();
  mdf::IListControl& visible = m_pRightView->GetVisibleList();
  for (mdf::IListControl* list : {static_cast<mdf::IListControl*>(&hidden), &visible}) {
    list->SetRedraw(false);
    while (list->GetColumnCount() > 0) list->DeleteColumn(0);
    list->InsertColumn(0, "Property", mdf::ColumnFormat::Left, 100);
    list->InsertColumn(1, "Contents", mdf::ColumnFormat::Left, 300);
    list->SetRedraw(true);
  }
  hidden.DeleteAllItems();
  m_pRightView->GetList().SetItemCount(CSkoviaView::kPropertyRows);
  m_pRightView->ShowFromTop();
  m_pRightView->GetList().Invalidate();
}

void CLeftView::OnSelchanged(QTreeWidgetItem* item) {
  CMdfBase* block = BlockOf(item);
  if (!block || !m_pRightView) return;
  CVirtualList& visible = m_pRightView->GetList();
  if (auto* data = dynamic_cast<mdf::CDataBlock*>(block)) {
    m_bDataBlock = true;
    m_pDataBlock = data;
    // The records the file holds, not empty rows up to the channel group's count.
    const uint32_t records = data->GetRecordsInFile();
    visible.SetItemCount(static_cast<int>(std::min<uint32_t>(records, INT_MAX)));
  } else if (m_bDataBlock) {
    ResetLists();
  }
  block->Display(m_pRightView->GetHiddenList());
  CopyHeaderColumns(visible, m_pRightView->GetHiddenList());
  // Another block's list starts at its first row, with no row selected.
  m_pRightView->ShowFromTop();
  visible.Invalidate();
}

uint16_t CLeftView::GetReaderVersion() const { return m_pMdf ? m_pMdf->GetReaderVersion() : 0; }

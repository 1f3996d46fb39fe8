#include "viewer/left_view.h"

#include <algorithm>
#include <climits>

#include <QHeaderView>
#include <QSignalBlocker>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "mdf/rows.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/win32/codepage.h"
#include "viewer/skovia_doc.h"
#include "viewer/skovia_view.h"
#include "viewer/virtual_list.h"

using mdf::CMdfBase;
using winport::ui::FromAnsi;

namespace {

constexpr int kBlockRole = Qt::UserRole;

// The file name without folder and extension.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

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

  auto* root = new QTreeWidgetItem(this, QStringList{FromAnsi(BaseName(path))});
  m_pMdf = std::make_unique<mdf::CMdf>(mdf::MdfProfile::Viewer);
  m_pMdf->SetReaderVersion(m_readerVersion);
  if (!m_pMdf->Open(path)) {
    AfxMessageBox(winport::Utf8ToAnsi("Datei ist ungültig!"), MB_ICONERROR);
    return;
  }
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

  if (mdf.GetIDBlock()) AddItem(root, "ID Block", mdf.GetIDBlock());
  mdf::CHeaderBlock* header = mdf.GetHeaderBlock();
  if (!header) return;
  AddItem(root, "Header", header);
  if (mdf.GetTextBlock()) AddItem(root, "Text block", mdf.GetTextBlock());
  // Without a link the file object keeps an empty program block only for writing one later.
  if (mdf.GetPrgBlock() && header->GetPrLink() != 0) AddItem(root, "Program specific", mdf.GetPrgBlock());
  for (mdf::CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext()) {
    QTreeWidgetItem* dgItem = AddItem(root, mdf::StrFormat("Data group %d", dg->GetIndex()), dg);
    for (mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      QTreeWidgetItem* cgItem = AddItem(dgItem, mdf::StrFormat("Channel group %d", cg->GetIndex()), cg);
      if (cg->GetComment()) AddItem(cgItem, "Comment", cg->GetComment());
      for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
        QTreeWidgetItem* cnItem = AddItem(cgItem, cn->GetSignalName(), cn);
        if (cn->GetComment()) AddItem(cnItem, "Comment", cn->GetComment());
        if (cn->GetLongName()) AddItem(cnItem, "ASAM name", cn->GetLongName());
        if (cn->GetDisplayNameBlock()) AddItem(cnItem, "Display name", cn->GetDisplayNameBlock());
        if (cn->GetConversion()) AddItem(cnItem, "Conversion", cn->GetConversion());
        if (cn->GetExtension()) AddItem(cnItem, "Kanalspezifischer Block", cn->GetExtension());
      }
    }
    if (dg->GetDataBlock()) AddItem(dgItem, "Data", dg->GetDataBlock());
  }
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
    const uint32_t records = data->GetNumberOfRecords();
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

void CopyHeaderColumns(mdf::IListControl& visible, const mdf::IListControl& hidden) {
  while (visible.GetColumnCount() > hidden.GetColumnCount()) visible.DeleteColumn(visible.GetColumnCount() - 1);
  while (visible.GetColumnCount() < hidden.GetColumnCount())
    visible.InsertColumn(visible.GetColumnCount(), "t", mdf::ColumnFormat::Left, 0);
  for (int i = 0; i < hidden.GetColumnCount(); ++i) {
    visible.SetColumnWidth(i, hidden.GetColumnWidth(i));
    visible.SetColumnTitle(i, hidden.GetColumnTitle(i).substr(0, 64));
  }
}

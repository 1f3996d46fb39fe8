// The left pane: the opened MDF file as a tree of its blocks. Selecting a
// block lets it write its rows into the right pane's hidden list, which the
// right pane shows; selecting "Data" turns the right pane into the grid of the
// group's records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QTreeWidget>

#include "mdf/list_control.h"

namespace mdf {
struct BlockTreeItem;
class CDataBlock;
class CMdf;
class CMdfBase;
}  // namespace mdf

class CSkoviaDoc;
class CSkoviaView;

class CLeftView : public QTreeWidget {
  Q_OBJECT

 public:
  // Every file object made here gets `readerVersion`.
  CLeftView(CSkoviaDoc* document, uint16_t readerVersion, QWidget* parent = nullptr);
  ~CLeftView() override;

  // After a document was opened or made: finds the right view and builds the tree.
  void OnInitialUpdate();
  void BuildBlockTree();
  // The tree's selection moved to `item`.
  void OnSelchanged(QTreeWidgetItem* item);
  // The reader version word of the held file object; 0 when there is none.
  uint16_t GetReaderVersion() const;

  // The data block the right pane shows as a grid; nullptr when it shows rows.
  mdf::CDataBlock* GetShownDataBlock() const { return m_bDataBlock ? m_pDataBlock : nullptr; }
  mdf::CMdf* GetMdf() const { return m_pMdf.get(); }
  CSkoviaView* GetRightView() const { return m_pRightView; }
  // The block an item stands for; nullptr for none.
  static mdf::CMdfBase* BlockOf(const QTreeWidgetItem* item);

 private:
  // Both lists back to "Property" and "Contents" with 50 empty rows.
  void ResetLists();
  // The items of the opened file's blocks under the root.
  void AddBlockItems(QTreeWidgetItem* root);
  QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const std::string& label, mdf::CMdfBase* block);
  // An item and, below it, its children.
  void AddItems(QTreeWidgetItem* parent, const mdf::BlockTreeItem& item);

  CSkoviaDoc* m_pDocument;
  uint16_t m_readerVersion;
  CSkoviaView* m_pRightView = nullptr;
  std::unique_ptr<mdf::CMdf> m_pMdf;
  bool m_bDataBlock = false;
  mdf::CDataBlock* m_pDataBlock = nullptr;
};

using mdf::CopyHeaderColumns;

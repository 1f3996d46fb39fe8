// The visible list of the right pane as a report list with owner data: it
// keeps its header columns and an item count only, and asks for each cell's
// text when the cell is drawn. As a model it feeds the list view; as an
// IListControl it takes the columns that blocks and the tree view give it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QAbstractTableModel>

#include "mdf/list_control.h"

class CVirtualList : public QAbstractTableModel, public mdf::IListControl {
  Q_OBJECT

 public:
  // The text (ANSI) of a cell; rows below the item count only.
  using TextSource = std::function<std::string(int row, int column)>;

  explicit CVirtualList(QObject* parent = nullptr);
  void SetTextSource(TextSource source) { m_source = std::move(source); }

  // The number of rows; the list holds no row of its own. Changing it keeps
  // the cells already drawn (they are asked again only after Invalidate).
  void SetItemCount(int count);
  // Every cell is asked for again when next drawn.
  void Invalidate();
  // Cell texts asked for so far.
  long long CellRequests() const { return m_requests; }

  // IListControl. Rows cannot be inserted or set in an owner-data list: the
  // item operations change the count only, and texts come from the source.
  void DeleteAllItems() override { SetItemCount(0); }
  int GetItemCount() const override { return m_count; }
  int InsertItem(int row, const std::string& text) override;
  bool SetItemText(int row, int column, const std::string& text) override;
  std::string GetItemText(int row, int column) const override;
  int GetColumnCount() const override { return static_cast<int>(m_columns.size()); }
  int InsertColumn(int column, const std::string& title, mdf::ColumnFormat format, int width) override;
  bool DeleteColumn(int column) override;
  bool SetColumnTitle(int column, const std::string& title) override;
  std::string GetColumnTitle(int column) const override;
  bool SetColumnWidth(int column, int width) override;
  int GetColumnWidth(int column) const override;
  mdf::ColumnFormat GetColumnFormat(int column) const override;

  // QAbstractTableModel.
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 signals:
  void columnWidthChanged(int column, int width);

 private:
  struct Column {
    std::string title;
    mdf::ColumnFormat format;
    int width;
  };
  std::vector<Column> m_columns;
  int m_count = 0;
  TextSource m_source;
  mutable long long m_requests = 0;
};

// Qt's alignment of a column format.
Qt::Alignment AlignmentOf(mdf::ColumnFormat format);

// A report list over an owner-data list (CVirtualList): a header with the
// list's columns and a grid of rows that draws only the rows and columns in
// sight, asking the list for those cells' texts. Its size does not grow with
// the number of rows, so a list of millions of rows costs what a page costs.
// One row can be selected (the whole row shows it, also without the focus).
#pragma once

#include <QAbstractScrollArea>

class CVirtualList;
class QHeaderView;

class CListView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // The styles of a list control; only the report style shows the header and every column.
  enum class ListStyle { Icon, SmallIcon, List, Report };

  explicit CListView(QWidget* parent = nullptr);
  ~CListView() override;

  CVirtualList& GetList() const { return *m_list; }
  QHeaderView* Header() const { return m_header; }

  ListStyle GetListStyle() const { return m_style; }
  void SetListStyle(ListStyle style);
  void SetGridLines(bool on);

  // The selected row, -1 when none.
  int GetCurrentRow() const { return m_current; }
  void SetCurrentRow(int row);
  // The first row in sight and how many rows fit.
  int GetTopRow() const;
  int RowsPerPage() const;
  int RowHeight() const { return m_rowHeight; }
  void EnsureVisible(int row);
  // No row selected, and the first row and column in sight: how a list that
  // shows other contents starts.
  void ShowFromTop();

 signals:
  void currentRowChanged(int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateGeometries();
  void UpdateScrollBars();
  void RowsChanged();

  CVirtualList* m_list;
  QHeaderView* m_header;
  ListStyle m_style = ListStyle::Report;
  bool m_gridLines = false;
  int m_rowHeight = 16;
  int m_current = -1;
};

#include "viewer/list_view.h"

#include <algorithm>

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "viewer/virtual_list.h"

CListView::CListView(QWidget* parent)
    : QAbstractScrollArea(parent), m_list(new CVirtualList(this)), m_header(new QHeaderView(Qt::Horizontal, this)) {
  m_header->setModel(m_list);
  m_header->setSectionsClickable(false);
  m_header->setSectionsMovable(false);
  m_header->setHighlightSections(false);
  m_header->setStretchLastSection(false);
  m_header->setMinimumSectionSize(0);
  m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_header->setSectionResizeMode(QHeaderView::Interactive);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_rowHeight = fontMetrics().height() + 4;

  connect(m_list, &CVirtualList::columnWidthChanged, this, [this](int column, int width) {
    if (column < m_header->count()) m_header->resizeSection(column, width);
  });
  connect(m_header, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
    m_list->SetColumnWidth(column, width);
    UpdateScrollBars();
    viewport()->update();
  });
  connect(m_list, &QAbstractItemModel::rowsInserted, this, &CListView::RowsChanged);
  connect(m_list, &QAbstractItemModel::rowsRemoved, this, &CListView::RowsChanged);
  connect(m_list, &QAbstractItemModel::modelReset, this, &CListView::RowsChanged);
  connect(m_list, &QAbstractItemModel::columnsInserted, this, [this] {
    UpdateScrollBars();
    viewport()->update();
  });
  connect(m_list, &QAbstractItemModel::columnsRemoved, this, [this] {
    UpdateScrollBars();
    viewport()->update();
  });
  connect(m_list, &QAbstractItemModel::dataChanged, viewport(), qOverload<>(&QWidget::update));
  UpdateGeometries();
}

CListView::~CListView() = default;

void CListView::SetListStyle(ListStyle style) {
  m_style = style;
  UpdateGeometries();
  viewport()->update();
}

void CListView::SetGridLines(bool on) {
  m_gridLines = on;
  viewport()->update();
}

void CListView::SetCurrentRow(int row) {
  if (row < -1 || row >= m_list->GetItemCount()) row = -1;
  if (row == m_current) return;
  m_current = row;
  if (row >= 0) EnsureVisible(row);
  viewport()->update();
  emit currentRowChanged(row);
}

int CListView::GetTopRow() const { return verticalScrollBar()->value(); }

int CListView::RowsPerPage() const { return std::max(1, viewport()->height() / m_rowHeight); }

void CListView::EnsureVisible(int row) {
  QScrollBar* bar = verticalScrollBar();
  if (row < bar->value())
    bar->setValue(row);
  else if (row >= bar->value() + RowsPerPage())
    bar->setValue(row - RowsPerPage() + 1);
}

void CListView::ShowFromTop() {
  SetCurrentRow(-1);
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
}

void CListView::RowsChanged() {
  if (m_current >= m_list->GetItemCount()) {
    m_current = -1;
    emit currentRowChanged(-1);
  }
  UpdateScrollBars();
  viewport()->update();
}

void CListView::UpdateGeometries() {
  const bool header = m_style == ListStyle::Report;
  m_header->setVisible(header);
  const int height = header ? m_header->sizeHint().height() : 0;
  setViewportMargins(0, height, 0, 0);
  const QRect vg = viewport()->geometry();
  m_header->setGeometry(vg.left(), vg.top() - height, vg.width(), height);
  UpdateScrollBars();
}

void CListView::UpdateScrollBars() {
  const int rows = m_list->GetItemCount();
  QScrollBar* v = verticalScrollBar();
  v->setPageStep(RowsPerPage());
  v->setSingleStep(1);
  v->setRange(0, std::max(0, rows - RowsPerPage()));
  QScrollBar* h = horizontalScrollBar();
  const int width = m_style == ListStyle::Report ? m_header->length() : viewport()->width();
  h->setPageStep(viewport()->width());
  h->setSingleStep(20);
  h->setRange(0, std::max(0, width - viewport()->width()));
}

void CListView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateGeometries();
}

void CListView::scrollContentsBy(int, int) {
  m_header->setOffset(horizontalScrollBar()->value());
  viewport()->update();
}

void CListView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    m_rowHeight = fontMetrics().height() + 4;
    UpdateGeometries();
  }
  QAbstractScrollArea::changeEvent(event);
}

void CListView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QPalette& pal = palette();
  painter.fillRect(viewport()->rect(), pal.brush(QPalette::Base));
  const int rows = m_list->GetItemCount();
  const int columns = m_style == ListStyle::Report ? m_list->GetColumnCount() : std::min(1, m_list->GetColumnCount());
  const int top = GetTopRow();
  const int last = std::min(rows - 1, top + viewport()->height() / m_rowHeight);
  const int xOffset = horizontalScrollBar()->value();
  const int width = viewport()->width();
  const QColor grid = pal.color(QPalette::Mid);
  for (int row = top; row <= last; ++row) {
    const int y = (row - top) * m_rowHeight;
    const bool selected = row == m_current;
    if (selected) {
      // The selection shows also without the focus.
      painter.fillRect(QRect(0, y, width, m_rowHeight),
                       pal.brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
    }
    painter.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    for (int column = 0; column < columns; ++column) {
      const int x = m_style == ListStyle::Report ? m_header->sectionPosition(column) - xOffset : 0;
      const int w = m_style == ListStyle::Report ? m_header->sectionSize(column) : width;
      if (w <= 0 || x >= width || x + w <= 0) continue;
      const QRect cell(x + 4, y, w - 8, m_rowHeight);
      const QString text = m_list->data(m_list->index(row, column)).toString();
      if (!text.isEmpty())
        painter.drawText(cell, static_cast<int>(AlignmentOf(m_list->GetColumnFormat(column))),
                         painter.fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, cell.width())));
    }
  }
  if (m_gridLines && m_style == ListStyle::Report) {
    painter.setPen(grid);
    const int height = viewport()->height();
    for (int column = 0; column < columns; ++column) {
      const int x = m_header->sectionPosition(column) + m_header->sectionSize(column) - xOffset - 1;
      if (x >= 0 && x < width) painter.drawLine(x, 0, x, height);
    }
    for (int y = m_rowHeight - 1; y < height; y += m_rowHeight) painter.drawLine(0, y, width, y);
  }
}

void CListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const int row = GetTopRow() + event->position().toPoint().y() / m_rowHeight;
    if (row < m_list->GetItemCount()) SetCurrentRow(row);
  }
  QAbstractScrollArea::mousePressEvent(event);
}

void CListView::keyPressEvent(QKeyEvent* event) {
  const int rows = m_list->GetItemCount();
  if (rows == 0) return QAbstractScrollArea::keyPressEvent(event);
  const long long current = m_current < 0 ? GetTopRow() : m_current;
  long long next;
  switch (event->key()) {
    case Qt::Key_Up: next = current - 1; break;
    case Qt::Key_Down: next = m_current < 0 ? current : current + 1; break;
    case Qt::Key_PageUp: next = current - RowsPerPage(); break;
    case Qt::Key_PageDown: next = current + RowsPerPage(); break;
    case Qt::Key_Home: next = 0; break;
    case Qt::Key_End: next = rows - 1; break;
    default: return QAbstractScrollArea::keyPressEvent(event);
  }
  SetCurrentRow(static_cast<int>(std::clamp<long long>(next, 0, rows - 1)));
}

// Dialogs from resource tables drawn with Qt: one widget per control, placed
// in dialog units scaled by the dialog font's base units, as Windows places them.
#include <algorithm>
#include <functional>
#include <unordered_map>

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTreeWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QThread>
#include <QWindow>

#include "platform/ui/commctrl.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/win32/codepage.h"

namespace winport::ui {
namespace {

enum class Kind { PushButton, OwnerDrawn, CheckBox, RadioButton, GroupBox, Label, Frame, LineEdit, TextEdit, List,
                  Combo, Progress, Tabs, Tree, Report, Other };

Kind KindOf(const ControlTemplate& c) {
  const std::string& cls = c.className;
  if (EqualsNoCase(cls, kButtonClass)) {
    switch (c.style & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case 0x5:  // BS_3STATE
      case 0x6:  // BS_AUTO3STATE
        return Kind::CheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: return Kind::RadioButton;
      case BS_GROUPBOX: return Kind::GroupBox;
      case BS_OWNERDRAW: return Kind::OwnerDrawn;
      default: return Kind::PushButton;
    }
  }
  if (EqualsNoCase(cls, kStaticClass)) {
    switch (c.style & SS_TYPEMASK) {
      case SS_BLACKFRAME:
      case SS_GRAYFRAME:
      case SS_WHITEFRAME:
      case SS_ETCHEDFRAME: return Kind::Frame;
      default: return Kind::Label;
    }
  }
  if (EqualsNoCase(cls, kEditClass)) return (c.style & ES_MULTILINE) ? Kind::TextEdit : Kind::LineEdit;
  if (EqualsNoCase(cls, kListBoxClass)) return Kind::List;
  if (EqualsNoCase(cls, kComboBoxClass)) return Kind::Combo;
  if (EqualsNoCase(cls, kProgressClass)) return Kind::Progress;
  if (EqualsNoCase(cls, kTabControlClass)) return Kind::Tabs;
  if (EqualsNoCase(cls, kTreeViewClass)) return Kind::Tree;
  if (EqualsNoCase(cls, kListViewClass)) return Kind::Report;
  return Kind::Other;
}

constexpr int kHandleRole = Qt::UserRole;

HTREEITEM HandleOfItem(const QTreeWidgetItem* item) {
  return item ? reinterpret_cast<HTREEITEM>(item->data(0, kHandleRole).value<quintptr>()) : nullptr;
}

Qt::Alignment ColumnAlignment(int format) {
  switch (format & 0x3) {
    case LVCFMT_RIGHT: return Qt::AlignRight | Qt::AlignVCenter;
    case LVCFMT_CENTER: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// A report list with owner data as a table model: it holds nothing and asks
// the dialog for each cell it draws (LVN_GETDISPINFO).
class OwnerDataModel : public QAbstractTableModel {
 public:
  OwnerDataModel(CDialog* dialog, size_t index, QObject* parent)
      : QAbstractTableModel(parent), dialog_(dialog), index_(index) {}

  void Detach() {
    beginResetModel();
    dialog_ = nullptr;
    endResetModel();
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

  int rowCount(const QModelIndex& parent) const override {
    const ListModel* l = List();
    return parent.isValid() || !l ? 0 : l->itemCount;
  }
  int columnCount(const QModelIndex& parent) const override {
    const ListModel* l = List();
    return parent.isValid() || !l ? 0 : static_cast<int>(l->columns.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    const ListModel* l = List();
    if (!l || !index.isValid() || static_cast<size_t>(index.column()) >= l->columns.size()) return {};
    if (role == Qt::TextAlignmentRole)
      return static_cast<int>(ColumnAlignment(l->columns[static_cast<size_t>(index.column())].format));
    if (role != Qt::DisplayRole) return {};
    const int id = dialog_->Controls()[index_].control->id;
    return FromAnsi(ListItemText(*dialog_, id, index.row(), index.column()));
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    const ListModel* l = List();
    if (!l || orientation != Qt::Horizontal || section < 0 || static_cast<size_t>(section) >= l->columns.size())
      return {};
    if (role == Qt::DisplayRole) return FromAnsi(l->columns[static_cast<size_t>(section)].title);
    if (role == Qt::TextAlignmentRole)
      return static_cast<int>(ColumnAlignment(l->columns[static_cast<size_t>(section)].format));
    return {};
  }

 private:
  const ListModel* List() const {
    return dialog_ && index_ < dialog_->Controls().size() ? &dialog_->Controls()[index_].list : nullptr;
  }
  CDialog* dialog_;
  size_t index_;
};

// A static's text without its mnemonic marks: "&x" shows x, "&&" one '&'.
QString StaticText(const ControlTemplate& c, const std::string& text) {
  QString s = FromAnsi(text).remove(u'\r');
  if (c.style & SS_NOPREFIX) return s;
  QString out;
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'&' && i + 1 < s.size()) ++i;
    out += s[i];
  }
  return out;
}

// Multi-line edits hold "\r\n" line ends on Windows, Qt's text "\n".
QString MultiLineText(const std::string& text) { return FromAnsi(text).remove(u'\r'); }
std::string MultiLineAnsi(const QString& text) {
  QString s = text;
  s.replace(u'\n', QStringLiteral("\r\n"));
  return ToAnsi(s);
}

Qt::Alignment AlignmentOf(DWORD style) {
  switch (style & 0x3) {
    case SS_CENTER: return Qt::AlignHCenter | Qt::AlignTop;
    case SS_RIGHT: return Qt::AlignRight | Qt::AlignTop;
    default: return Qt::AlignLeft | Qt::AlignTop;
  }
}

QColor ColourOf(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// A device context's surface on a widget being painted.
class PainterSurface : public Surface {
 public:
  explicit PainterSurface(QWidget& widget) : painter_(&widget), metrics_(widget.font()) {}
  void Fill(const RECT& r, COLORREF colour) override {
    painter_.fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), ColourOf(colour));
  }
  SIZE TextExtent(const std::string& text) override {
    return SIZE{metrics_.horizontalAdvance(FromAnsi(text)), metrics_.height()};
  }
  void Text(int x, int y, const RECT* clip, COLORREF colour, const std::string& text) override {
    painter_.save();
    if (clip) painter_.setClipRect(QRect(clip->left, clip->top, clip->right - clip->left, clip->bottom - clip->top));
    painter_.setPen(ColourOf(colour));
    painter_.drawText(x, y + metrics_.ascent(), FromAnsi(text));
    painter_.restore();
  }

 private:
  QPainter painter_;
  QFontMetrics metrics_;
};

// An owner-drawn button: its dialog paints it (WM_DRAWITEM) and a click is its BN_CLICKED.
class OwnerDrawnButton : public QWidget {
 public:
  OwnerDrawnButton(std::function<CDialog*()> dialog, size_t index, QWidget* parent)
      : QWidget(parent), dialog_(std::move(dialog)), index_(index) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    if (CDialog* d = dialog_()) {
      PainterSurface surface(*this);
      PaintOwnerDrawn(*d, index_, surface);
    }
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    CDialog* d = dialog_();
    if (d && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
      d->SendCommand(d->Controls()[index_].control->id, BN_CLICKED);
  }

 private:
  std::function<CDialog*()> dialog_;
  size_t index_;
};

class QtDialogWindow : public QDialog, public DialogView {
 public:
  QtDialogWindow(CDialog& dialog, QWidget* parent) : QDialog(parent), dialog_(&dialog) {
    setObjectName(QStringLiteral("dialog%1").arg(dialog.Template().id));
  }

  ~QtDialogWindow() override {
    // Taken away from outside (its parent went): the dialog loses its window.
    destroying_ = true;
    if (CDialog* d = std::exchange(dialog_, nullptr)) {
      Unbind(*d);
      d->DestroyWindow();
    }
  }

  // Makes the widgets of the dialog's controls; BeginWindow has made their states.
  void Build() {
    const DialogTemplate& t = dialog_->Template();
    const QFont font = DialogFont(t);
    setFont(font);
    setWindowTitle(FromAnsi(dialog_->GetWindowText()));
    const RECT place = StoredWindowRect(dialog_->GetSafeHwnd());
    const QSize client(place.right - place.left, place.bottom - place.top);
    if (t.style & WS_THICKFRAME)
      resize(client);
    else
      setFixedSize(client);
    std::vector<ControlState>& controls = dialog_->Controls();
    widgets_.assign(controls.size(), nullptr);
    for (size_t i = 0; i < controls.size(); ++i) {
      QWidget* w = Make(i);
      const ControlTemplate& c = *controls[i].control;
      const RECT r = StoredWindowRect(controls[i].hwnd);
      int height = r.bottom - r.top;
      if (KindOf(c) == Kind::Combo) height = w->sizeHint().height();  // the template's height holds the drop list
      w->setGeometry(r.left, r.top, r.right - r.left, height);
      w->setObjectName(QStringLiteral("control%1").arg(c.id));
      w->setProperty("controlId", c.id);
      widgets_[i] = w;
      Apply(i);
      if (KindOf(c) == Kind::GroupBox || KindOf(c) == Kind::Frame) w->lower();
    }
    create();  // the platform window, whose input is posted (eventFilter)
    if (windowHandle()) windowHandle()->installEventFilter(this);
    BindWindow(dialog_->GetSafeHwnd(), this);
    for (size_t i = 0; i < controls.size(); ++i) BindWindow(controls[i].hwnd, widgets_[i]);
  }

  void ControlChanged(size_t index) override {
    if (index < widgets_.size() && widgets_[index]) Apply(index);
  }

  void ControlInvalidated(size_t index) override {
    if (index < widgets_.size() && widgets_[index]) widgets_[index]->update();
  }

  void ControlDetail(size_t index, ControlChange change, intptr_t arg) override {
    if (!dialog_ || index >= widgets_.size() || !widgets_[index]) return;
    const ControlState& st = dialog_->Controls()[index];
    if (auto* tree = qobject_cast<QTreeWidget*>(widgets_[index]))
      TreeDetail(index, *tree, st.tree, change, reinterpret_cast<HTREEITEM>(arg));
    else if (auto* table = qobject_cast<QTableView*>(widgets_[index]))
      ListDetail(*table, st.list, change, static_cast<int>(arg));
  }

  bool TreeHitTest(size_t index, POINT point, HTREEITEM& hit) override {
    auto* tree = index < widgets_.size() ? qobject_cast<QTreeWidget*>(widgets_[index]) : nullptr;
    if (!tree) return false;
    const QPoint at = tree->viewport()->mapFrom(tree, QPoint(point.x, point.y));
    hit = tree->viewport()->rect().contains(at) ? HandleOfItem(tree->itemAt(at)) : nullptr;
    return true;
  }

  int TextWidth(size_t index, const std::string& text) override {
    if (index >= widgets_.size() || !widgets_[index]) return -1;
    return QFontMetrics(widgets_[index]->font()).horizontalAdvance(FromAnsi(text));
  }

  void CaptionChanged() override {
    if (dialog_) setWindowTitle(FromAnsi(dialog_->GetWindowText()));
  }

  void Close() override {
    CDialog* d = std::exchange(dialog_, nullptr);
    if (!d) return;
    Unbind(*d);
    if (destroying_) return;
    if (d->IsModeless()) {
      hide();
      deleteLater();
    } else {
      done(static_cast<int>(d->GetResult()));
    }
  }

  // Escape and the close box: the dialog's IDCANCEL, as on Windows.
  void reject() override {
    if (dialog_) dialog_->SendCommand(IDCANCEL, BN_CLICKED);
  }
  void accept() override {
    if (dialog_) dialog_->SendCommand(IDOK, BN_CLICKED);
  }

 protected:
  // The window's place and size, kept where GetWindowRect finds them; a new
  // size is the dialog's WM_SIZE.
  void moveEvent(QMoveEvent* event) override {
    QDialog::moveEvent(event);
    Store();
  }
  void resizeEvent(QResizeEvent* event) override {
    QDialog::resizeEvent(event);
    Store();
  }

  // Key presses and clicks on the window are also posted to the message queue,
  // where progress loops poll them (PeekMessageA): a key for the control with
  // the focus, a click for the control under the mouse. They are taken where
  // the window receives them, so that each counts once however far Qt hands
  // it on among the widgets.
  bool eventFilter(QObject* watched, QEvent* event) override {
    // A right click on a tree: NM_RCLICK with the cursor where it was; the selection stays.
    if (dialog_ && event->type() == QEvent::MouseButtonPress && watched != windowHandle()) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      for (size_t i = 0; i < widgets_.size(); ++i) {
        auto* tree = qobject_cast<QTreeWidget*>(widgets_[i]);
        if (!tree || watched != tree->viewport() || mouse->button() != Qt::RightButton) continue;
        const QPoint global = tree->viewport()->mapToGlobal(mouse->position().toPoint());
        SetCursorPosition(POINT{global.x(), global.y()});
        NMHDR header{nullptr, 0, NM_RCLICK};
        dialog_->SendNotify(IdOf(i), &header);
        return true;
      }
    }
    if (dialog_ && watched == windowHandle()) {
      if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (const int vk = VirtualKeyOf(key->key()))
          PostMessageA(HandleOf(focusWidget()), WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
      } else if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
          PostMessageA(HandleOf(childAt(mouse->position().toPoint())), WM_LBUTTONDOWN, 0, 0);
      }
    }
    return QDialog::eventFilter(watched, event);
  }

 private:
  void Store() {
    if (!dialog_ || !dialog_->HasWindow()) return;
    const QRect g = geometry();
    if (StoreWindowRect(dialog_->GetSafeHwnd(), RECT{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()}))
      SendMessageA(dialog_->GetSafeHwnd(), WM_SIZE, SIZE_RESTORED,
                   MAKELPARAM(static_cast<WORD>(g.width()), static_cast<WORD>(g.height())));
  }

  int IdOf(size_t index) const { return dialog_->Controls()[index].control->id; }

  // Shows a change of the tree's items; signals are blocked, so that only the user's input notifies.
  void TreeDetail(size_t index, QTreeWidget& tree, const TreeModel& model, ControlChange change, HTREEITEM item) {
    const QSignalBlocker block(&tree);
    auto& items = treeItems_[index];
    auto find = [&](HTREEITEM h) -> QTreeWidgetItem* {
      const auto it = items.find(h);
      return it == items.end() ? nullptr : it->second;
    };
    switch (change) {
      case ControlChange::TreeInserted: {
        QTreeWidgetItem* parent = find(model.Parent(item));
        int position = 0;
        for (HTREEITEM p = model.Previous(item); p; p = model.Previous(p)) ++position;
        auto* q = new QTreeWidgetItem(QStringList{FromAnsi(model.Text(item))});
        q->setData(0, kHandleRole, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
        if (parent)
          parent->insertChild(position, q);
        else
          tree.insertTopLevelItem(position, q);
        items[item] = q;
        break;
      }
      case ControlChange::TreeCleared:
        tree.clear();
        items.clear();
        break;
      case ControlChange::TreeItem:
        if (QTreeWidgetItem* q = find(item)) {
          q->setText(0, FromAnsi(model.Text(item)));
          q->setExpanded(model.Expanded(item));
        }
        break;
      case ControlChange::TreeSelection:
        if (QTreeWidgetItem* q = find(model.Selected()))
          tree.setCurrentItem(q);
        else
          tree.clearSelection();
        break;
      case ControlChange::TreeScrolled:
        if (QTreeWidgetItem* q = find(item)) tree.scrollToItem(q);
        break;
      default: break;
    }
  }

  void ListDetail(QTableView& table, const ListModel& list, ControlChange change, int column) {
    auto* model = static_cast<OwnerDataModel*>(table.model());
    const QSignalBlocker block(table.horizontalHeader());
    switch (change) {
      case ControlChange::ListColumns:
      case ControlChange::ListCount:
        model->Reset();
        ApplyList(table, list);
        break;
      case ControlChange::ListColumnWidth:
        if (column >= 0 && static_cast<size_t>(column) < list.columns.size())
          table.setColumnWidth(column, list.columns[static_cast<size_t>(column)].width);
        break;
      case ControlChange::ListRedraw: table.viewport()->update(); break;
      case ControlChange::ListSelection:
        if (list.selected >= 0)
          table.selectRow(list.selected);
        else
          table.clearSelection();
        break;
      case ControlChange::ListScrolled:
        table.horizontalScrollBar()->setValue(list.scrollX);
        table.verticalScrollBar()->setValue(list.topIndex);
        break;
      default: break;
    }
  }

  // The list's styles, header and widths as its state has them.
  void ApplyList(QTableView& table, const ListModel& list) {
    table.setShowGrid((list.extendedStyle & LVS_EX_GRIDLINES) != 0);
    for (size_t c = 0; c < list.columns.size(); ++c)
      table.setColumnWidth(static_cast<int>(c), list.columns[c].width);
    table.horizontalScrollBar()->setValue(list.scrollX);
    table.verticalScrollBar()->setValue(list.topIndex);
  }

  // The handle of the control that `w` is (or lies in); the dialog's own otherwise.
  HWND HandleOf(const QWidget* w) const {
    for (; w && w != this; w = w->parentWidget())
      for (size_t i = 0; i < widgets_.size(); ++i)
        if (widgets_[i] == w) return dialog_->Controls()[i].hwnd;
    return dialog_->GetSafeHwnd();
  }

  void Unbind(CDialog& d) {
    UnbindWindow(d.GetSafeHwnd());
    for (const ControlState& c : d.Controls()) UnbindWindow(c.hwnd);
    // The lists' models must not ask a dialog that is gone.
    for (QWidget* w : widgets_)
      if (auto* table = qobject_cast<QTableView*>(w)) static_cast<OwnerDataModel*>(table->model())->Detach();
  }

  ControlState* State(size_t index) { return dialog_ ? &dialog_->Controls()[index] : nullptr; }

  QWidget* Make(size_t index) {
    const ControlState& s = dialog_->Controls()[index];
    const ControlTemplate& c = *s.control;
    const int id = c.id;
    switch (KindOf(c)) {
      case Kind::PushButton: {
        auto* b = new QPushButton(this);
        b->setDefault((c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        connect(b, &QPushButton::clicked, this, [this, id] {
          if (dialog_) dialog_->SendCommand(id, BN_CLICKED);
        });
        return b;
      }
      case Kind::OwnerDrawn: return new OwnerDrawnButton([this] { return dialog_; }, index, this);
      case Kind::CheckBox:
      case Kind::RadioButton: {
        QAbstractButton* b = KindOf(c) == Kind::CheckBox ? static_cast<QAbstractButton*>(new QCheckBox(this))
                                                        : new QRadioButton(this);
        b->setCheckable(true);
        b->setAutoExclusive(false);
        connect(b, &QAbstractButton::clicked, this, [this, index, id] { Clicked(index, id); });
        return b;
      }
      case Kind::GroupBox: return new QGroupBox(this);
      case Kind::Label: {
        auto* l = new QLabel(this);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(AlignmentOf(c.style));
        l->setWordWrap((c.style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP);
        if (c.style & SS_SUNKEN) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return l;
      }
      case Kind::Frame: {
        auto* f = new QFrame(this);
        f->setFrameStyle(((c.style & SS_TYPEMASK) == SS_ETCHEDFRAME ? QFrame::Box : QFrame::Panel) |
                         QFrame::Sunken);
        return f;
      }
      case Kind::LineEdit: {
        auto* e = new QLineEdit(this);
        e->setAlignment(AlignmentOf(c.style) & Qt::AlignHorizontal_Mask);
        e->setReadOnly((c.style & ES_READONLY) != 0);
        connect(e, &QLineEdit::textEdited, this, [this, index, id](const QString& text) {
          if (ControlState* st = State(index)) {
            st->text = ToAnsi(text);
            dialog_->SendCommand(id, EN_CHANGE);
          }
        });
        return e;
      }
      case Kind::TextEdit: {
        auto* e = new QPlainTextEdit(this);
        e->setReadOnly((c.style & ES_READONLY) != 0);
        e->setVerticalScrollBarPolicy((c.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        connect(e, &QPlainTextEdit::textChanged, this, [this, e, index, id] {
          if (ControlState* st = State(index)) {
            st->text = MultiLineAnsi(e->toPlainText());
            dialog_->SendCommand(id, EN_CHANGE);
          }
        });
        return e;
      }
      case Kind::List: {
        auto* l = new QListWidget(this);
        l->setVerticalScrollBarPolicy((c.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        connect(l, &QListWidget::currentRowChanged, this, [this, index, id](int row) {
          if (ControlState* st = State(index)) {
            st->selection = row;
            if (st->control->style & LBS_NOTIFY) dialog_->SendCommand(id, LBN_SELCHANGE);
          }
        });
        connect(l, &QListWidget::itemDoubleClicked, this, [this, index, id] {
          if (ControlState* st = State(index); st && (st->control->style & LBS_NOTIFY))
            dialog_->SendCommand(id, LBN_DBLCLK);
        });
        return l;
      }
      case Kind::Combo: {
        auto* b = new QComboBox(this);
        b->setEditable((c.style & 0x3) == CBS_DROPDOWN);
        connect(b, &QComboBox::activated, this, [this, index, id](int row) {
          if (ControlState* st = State(index)) {
            st->selection = row;
            dialog_->SendCommand(id, CBN_SELCHANGE);
          }
        });
        return b;
      }
      case Kind::Progress: {
        auto* p = new QProgressBar(this);
        p->setTextVisible(false);
        return p;
      }
      case Kind::Tabs: {
        auto* t = new QTabBar(this);
        t->setExpanding(false);
        connect(t, &QTabBar::currentChanged, this, [this, index, id](int tab) {
          if (ControlState* st = State(index)) {
            st->selection = tab;
            dialog_->SendNotify(id, TCN_SELCHANGE);
          }
        });
        return t;
      }
      case Kind::Tree: {
        auto* t = new QTreeWidget(this);
        t->setHeaderHidden(true);
        t->setColumnCount(1);
        t->setSelectionMode(QAbstractItemView::SingleSelection);
        t->setRootIsDecorated((c.style & TVS_LINESATROOT) != 0);
        t->setUniformRowHeights(true);
        connect(t, &QTreeWidget::currentItemChanged, this, [this, id](QTreeWidgetItem* current) {
          if (dialog_) SelectTreeItem(*dialog_, id, HandleOfItem(current), TVC_BYMOUSE);
        });
        connect(t, &QTreeWidget::itemExpanded, this, [this, index](QTreeWidgetItem* item) {
          if (ControlState* st = State(index)) st->tree.SetExpanded(HandleOfItem(item), true);
        });
        connect(t, &QTreeWidget::itemCollapsed, this, [this, index](QTreeWidgetItem* item) {
          if (ControlState* st = State(index)) st->tree.SetExpanded(HandleOfItem(item), false);
        });
        t->viewport()->installEventFilter(this);
        return t;
      }
      case Kind::Report: {
        auto* v = new QTableView(this);
        v->setModel(new OwnerDataModel(dialog_, index, v));
        v->verticalHeader()->hide();
        v->horizontalHeader()->setMinimumSectionSize(0);
        v->horizontalHeader()->setStretchLastSection(false);
        v->horizontalHeader()->setSectionsClickable((c.style & LVS_NOSORTHEADER) == 0);
        v->horizontalHeader()->setHighlightSections(false);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setSelectionMode((c.style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                       : QAbstractItemView::ExtendedSelection);
        v->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
        v->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        v->setWordWrap(false);
        v->verticalHeader()->setDefaultSectionSize(ListModel::kRowHeight + 2);
        connect(v->horizontalHeader(), &QHeaderView::sectionClicked, this, [this, id](int column) {
          if (!dialog_) return;
          NMLISTVIEW nm{};
          nm.hdr.code = LVN_COLUMNCLICK;
          nm.iItem = -1;
          nm.iSubItem = column;
          dialog_->SendNotify(id, &nm.hdr);
        });
        connect(v->horizontalHeader(), &QHeaderView::sectionResized, this, [this, index](int column, int, int width) {
          ControlState* st = State(index);
          if (st && column >= 0 && static_cast<size_t>(column) < st->list.columns.size())
            st->list.columns[static_cast<size_t>(column)].width = width;
        });
        connect(v->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this, index](int x) {
          if (ControlState* st = State(index)) st->list.scrollX = x;
        });
        connect(v->verticalScrollBar(), &QScrollBar::valueChanged, this, [this, index](int top) {
          if (ControlState* st = State(index)) st->list.topIndex = top;
        });
        connect(v->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this, index](const QModelIndex& current) {
                  if (ControlState* st = State(index)) st->list.selected = current.isValid() ? current.row() : -1;
                });
        return v;
      }
      case Kind::Other: break;
    }
    // A class this backend does not draw: its place stays visible as a frame.
    auto* f = new QFrame(this);
    f->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    return f;
  }

  // A check box or radio button clicked by the user. Automatic ones change
  // their state (a radio button clears the others of its group); the others
  // leave that to the dialog's code.
  void Clicked(size_t index, int id) {
    ControlState* st = State(index);
    if (!st) return;
    const DWORD type = st->control->style & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX || type == 0x6)
      st->checked = st->checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    if (type == BS_AUTORADIOBUTTON) {
      std::vector<ControlState>& all = dialog_->Controls();
      size_t first = index;
      while (first > 0 && !(all[first].control->style & WS_GROUP)) --first;
      for (size_t i = first; i < all.size() && (i == first || !(all[i].control->style & WS_GROUP)); ++i)
        if (KindOf(*all[i].control) == Kind::RadioButton && i != index && all[i].checked) {
          all[i].checked = BST_UNCHECKED;
          Apply(i);
        }
      st->checked = BST_CHECKED;
    }
    Apply(index);
    dialog_->SendCommand(id, BN_CLICKED);
  }

  // Shows a control's state; programmatic changes send no notifications.
  void Apply(size_t index) {
    const ControlState* st = State(index);
    QWidget* w = widgets_[index];
    if (!st || !w) return;
    const QSignalBlocker block(w);
    w->setEnabled(st->enabled);
    w->setVisible(st->visible);
    switch (KindOf(*st->control)) {
      case Kind::PushButton: static_cast<QPushButton*>(w)->setText(FromAnsi(st->text)); break;
      case Kind::CheckBox:
      case Kind::RadioButton: {
        auto* b = static_cast<QAbstractButton*>(w);
        b->setText(FromAnsi(st->text));
        b->setChecked(st->checked == BST_CHECKED);
        break;
      }
      case Kind::GroupBox: static_cast<QGroupBox*>(w)->setTitle(StaticText(*st->control, st->text)); break;
      case Kind::Label: static_cast<QLabel*>(w)->setText(StaticText(*st->control, st->text)); break;
      case Kind::LineEdit: {
        auto* e = static_cast<QLineEdit*>(w);
        if (ToAnsi(e->text()) != st->text) e->setText(FromAnsi(st->text));
        break;
      }
      case Kind::TextEdit: {
        auto* e = static_cast<QPlainTextEdit*>(w);
        if (MultiLineAnsi(e->toPlainText()) != st->text) e->setPlainText(MultiLineText(st->text));
        break;
      }
      case Kind::List: {
        auto* l = static_cast<QListWidget*>(w);
        l->clear();
        for (const std::string& item : st->items) l->addItem(FromAnsi(item));
        l->setCurrentRow(st->selection);
        break;
      }
      case Kind::Combo: {
        auto* b = static_cast<QComboBox*>(w);
        b->clear();
        for (const std::string& item : st->items) b->addItem(FromAnsi(item));
        b->setCurrentIndex(st->selection);
        if (b->isEditable() && st->selection < 0) b->setEditText(FromAnsi(st->text));
        break;
      }
      case Kind::Progress: {
        auto* p = static_cast<QProgressBar*>(w);
        p->setRange(st->rangeMin, std::max(st->rangeMin, st->rangeMax));
        p->setValue(std::clamp(st->position, p->minimum(), p->maximum()));
        break;
      }
      case Kind::Tabs: {
        auto* t = static_cast<QTabBar*>(w);
        while (t->count() > 0) t->removeTab(0);
        for (const std::string& item : st->items) t->addTab(FromAnsi(item));
        if (st->selection >= 0) t->setCurrentIndex(st->selection);
        break;
      }
      case Kind::Report: ApplyList(*static_cast<QTableView*>(w), st->list); break;
      case Kind::Tree:  // its items change through ControlDetail only
      case Kind::OwnerDrawn:  // its dialog paints it
      case Kind::Frame:
      case Kind::Other: break;
    }
  }

  CDialog* dialog_;
  std::vector<QWidget*> widgets_;
  std::unordered_map<size_t, std::unordered_map<HTREEITEM, QTreeWidgetItem*>> treeItems_;
  bool destroying_ = false;
};

bool CanDraw() {
  QCoreApplication* app = QCoreApplication::instance();
  return qobject_cast<QApplication*>(app) && QThread::currentThread() == app->thread();
}

QWidget* ParentOf(const CDialog& dialog) {
  if (QWidget* w = WidgetOf(dialog.GetParentHwnd())) return w;
  return QApplication::activeWindow();
}

}  // namespace

INT_PTR QtBackend::RunModalDialog(CDialog& dialog) {
  if (!CanDraw()) return -1;
  QPointer<QtDialogWindow> window = new QtDialogWindow(dialog, ParentOf(dialog));
  window->setModal(true);
  dialog.BeginWindow(window, false);
  window->Build();
  dialog.InitDialog();
  if (!dialog.IsEnded() && window) window->exec();
  if (!dialog.IsEnded()) dialog.EndDialog(IDCANCEL);  // the window went without an answer
  const INT_PTR result = dialog.GetResult();
  dialog.EndWindow();
  delete window.data();
  return result;
}

bool QtBackend::ShowModelessDialog(CDialog& dialog) {
  if (!CanDraw()) return false;
  auto* window = new QtDialogWindow(dialog, ParentOf(dialog));
  dialog.BeginWindow(window, true);
  window->Build();
  dialog.InitDialog();
  if (dialog.HasWindow()) window->show();
  return true;
}

}  // namespace winport::ui

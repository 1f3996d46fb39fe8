#include "viewer/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "platform/ui/qt/qt_backend.h"
#include "platform/win32/codepage.h"
#include "viewer/left_view.h"
#include "viewer/resource.h"
#include "viewer/skovia_app.h"
#include "viewer/skovia_doc.h"
#include "viewer/skovia_view.h"

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The toolbar's button images, 16 x 15 pixels.
QIcon ToolbarIcon(int id) {
  QPixmap pixmap(16, 15);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QPen outline(Qt::black);
  auto page = [&](int x, int y, int w, int h) {
    QPolygon poly({{x, y}, {x + w - 4, y}, {x + w - 1, y + 3}, {x + w - 1, y + h - 1}, {x, y + h - 1}});
    p.setPen(outline);
    p.setBrush(Qt::white);
    p.drawPolygon(poly);
    p.drawLine(x + w - 4, y, x + w - 4, y + 3);
    p.drawLine(x + w - 4, y + 3, x + w - 1, y + 3);
  };
  switch (id) {
    case ID_FILE_NEW: page(3, 0, 10, 14); break;
    case ID_FILE_OPEN:
      p.setPen(outline);
      p.setBrush(QColor(240, 200, 60));
      p.drawRect(1, 4, 12, 9);
      p.drawRect(1, 2, 5, 2);
      p.setBrush(QColor(255, 230, 120));
      p.drawPolygon(QPolygon({{3, 7}, {15, 7}, {13, 13}, {1, 13}}));
      break;
    case ID_FILE_SAVE:
      p.setPen(outline);
      p.setBrush(QColor(40, 80, 170));
      p.drawRect(1, 1, 13, 13);
      p.setBrush(Qt::white);
      p.drawRect(4, 1, 7, 5);
      p.setBrush(QColor(190, 190, 190));
      p.drawRect(4, 9, 7, 5);
      break;
    case ID_EDIT_CUT:
      p.setPen(QPen(QColor(30, 30, 30), 1));
      p.drawLine(5, 0, 9, 9);
      p.drawLine(10, 0, 6, 9);
      p.setPen(QPen(QColor(20, 40, 160), 1));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(2, 9, 4, 4);
      p.drawEllipse(9, 9, 4, 4);
      break;
    case ID_EDIT_COPY:
      page(1, 0, 9, 11);
      page(6, 4, 9, 11);
      break;
    case ID_EDIT_PASTE:
      p.setPen(outline);
      p.setBrush(QColor(160, 110, 50));
      p.drawRect(1, 2, 10, 12);
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(4, 0, 4, 3);
      page(6, 5, 9, 10);
      break;
    case ID_FILE_PRINT:
      p.setPen(outline);
      p.setBrush(Qt::white);
      p.drawRect(4, 0, 8, 6);
      p.setBrush(QColor(180, 180, 180));
      p.drawRect(1, 6, 14, 6);
      p.setBrush(QColor(60, 160, 60));
      p.drawRect(12, 8, 1, 1);
      break;
    case ID_APP_ABOUT: {
      QFont f = p.font();
      f.setBold(true);
      f.setPixelSize(14);
      p.setFont(f);
      p.setPen(QColor(20, 60, 180));
      p.drawText(QRect(0, 0, 16, 15), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    default: break;
  }
  return QIcon(pixmap);
}

// A tooltip from a menu text: no mnemonic, no "...", no key.
QString TipOf(const QString& menuText) {
  QString tip = menuText.section(u'\t', 0, 0);
  tip.remove(u'&');
  if (tip.endsWith(QStringLiteral("..."))) tip.chop(3);
  return tip;
}

}  // namespace

CMainFrame::CMainFrame(CSkoviaApp* app, CSkoviaDoc* document)
    : m_pApp(app), m_pDocument(document), m_hWnd(winport::ui::CreateWindowHandle(nullptr)) {
  setObjectName(QStringLiteral("CMainFrame"));
  winport::ui::BindWindow(m_hWnd, this);
  resize(900, 600);
}

CMainFrame::~CMainFrame() {
  qApp->removeEventFilter(this);
  winport::ui::UnbindWindow(m_hWnd);
  if (GetActiveWindow() == m_hWnd) SetActiveWindow(nullptr);
  winport::ui::DestroyWindowHandle(m_hWnd);
  // The panes go first: the tree view frees the file object the list draws from.
  delete m_wndSplitter;
}

QAction* CMainFrame::AddCommand(int id, const char* text, const char* shortcut) {
  auto* action = new QAction(Text(text), this);
  if (shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
  action->setToolTip(TipOf(action->text()));
  m_commands[id] = action;
  return action;
}

QAction* CMainFrame::Command(int id) const {
  const auto it = m_commands.find(id);
  return it == m_commands.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
  // Menu 128. The keys show as the German system writes them; the shortcuts are Qt's.
  QAction* fileNew = AddCommand(ID_FILE_NEW, "&Neu\tStrg+N", "Ctrl+N");
  QAction* fileOpen = AddCommand(ID_FILE_OPEN, "Ö&ffnen...\tStrg+O", "Ctrl+O");
  QAction* fileSave = AddCommand(ID_FILE_SAVE, "S&peichern\tStrg+S", "Ctrl+S");
  QAction* fileSaveAs = AddCommand(ID_FILE_SAVE_AS, "Speichern &unter...");
  QAction* filePrint = AddCommand(ID_FILE_PRINT, "&Drucken...\tStrg+P", "Ctrl+P");
  QAction* filePreview = AddCommand(ID_FILE_PRINT_PREVIEW, "Sei&tenansicht");
  QAction* printSetup = AddCommand(ID_FILE_PRINT_SETUP, "Drucker&einrichtung...");
  QAction* exit = AddCommand(ID_APP_EXIT, "&Beenden");
  QAction* undo = AddCommand(ID_EDIT_UNDO, "&Rückgängig\tStrg+Z", "Ctrl+Z");
  QAction* cut = AddCommand(ID_EDIT_CUT, "&Ausschneiden\tStrg+X", "Ctrl+X");
  QAction* copy = AddCommand(ID_EDIT_COPY, "&Kopieren\tStrg+C", "Ctrl+C");
  QAction* paste = AddCommand(ID_EDIT_PASTE, "E&infügen\tStrg+V", "Ctrl+V");
  QAction* toolbar = AddCommand(ID_VIEW_TOOLBAR, "&Symbolleiste");
  QAction* statusBar = AddCommand(ID_VIEW_STATUS_BAR, "S&tatusleiste");
  QAction* about = AddCommand(ID_APP_ABOUT, "Inf&o über Skovia...");

  // The file is only read: nothing saves it, and there is nothing to edit or print.
  for (QAction* a : {fileSave, fileSaveAs, filePrint, filePreview, printSetup, undo, cut, copy, paste})
    a->setEnabled(false);

  m_fileMenu = menuBar()->addMenu(Text("&Datei"));
  m_fileMenu->addActions({fileNew, fileOpen, fileSave, fileSaveAs});
  m_fileMenu->addSeparator();
  m_fileMenu->addActions({filePrint, filePreview, printSetup});
  m_fileMenu->addSeparator();
  m_recentPlaceholder = m_fileMenu->addAction(Text("Letzte Datei"));
  m_recentPlaceholder->setEnabled(false);
  m_fileMenu->addSeparator();
  m_fileMenu->addAction(exit);

  QMenu* edit = menuBar()->addMenu(Text("&Bearbeiten"));
  edit->addAction(undo);
  edit->addSeparator();
  edit->addActions({cut, copy, paste});

  QMenu* view = menuBar()->addMenu(Text("&Ansicht"));
  toolbar->setCheckable(true);
  statusBar->setCheckable(true);
  view->addActions({toolbar, statusBar});

  menuBar()->addMenu(Text("&?"))->addAction(about);

  // Accelerators without a menu item: the next and the previous pane.
  QAction* nextPane = AddCommand(ID_NEXT_PANE, "", "F6");
  QAction* prevPane = AddCommand(ID_PREV_PANE, "", "Shift+F6");
  addActions({nextPane, prevPane});

  connect(fileNew, &QAction::triggered, this, [this] { m_pApp->OnFileNew(); });
  connect(fileOpen, &QAction::triggered, this, [this] { m_pApp->OnFileOpen(); });
  connect(exit, &QAction::triggered, this, &QWidget::close);
  connect(about, &QAction::triggered, this, [this] { m_pApp->OnAppAbout(); });
  // With two panes the next and the previous one are the other one.
  connect(nextPane, &QAction::triggered, this, &CMainFrame::ActivateOtherPane);
  connect(prevPane, &QAction::triggered, this, &CMainFrame::ActivateOtherPane);
}

bool CMainFrame::OnCreate() {
  CreateMenus();

  m_wndToolBar = new QToolBar(this);
  m_wndToolBar->setObjectName(QStringLiteral("toolbar128"));
  m_wndToolBar->setIconSize(QSize(16, 15));
  m_wndToolBar->setMovable(true);
  m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
  for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0,
                 ID_FILE_PRINT, ID_APP_ABOUT}) {
    if (id == 0) {
      m_wndToolBar->addSeparator();
      continue;
    }
    QAction* a = Command(id);
    a->setIcon(ToolbarIcon(id));
    m_wndToolBar->addAction(a);
  }
  addToolBar(Qt::TopToolBarArea, m_wndToolBar);

  m_wndStatusBar = new QStatusBar(this);
  m_message = new QLabel(QStringLiteral("Bereit"), m_wndStatusBar);
  m_wndStatusBar->addWidget(m_message, 1);
  const char* names[3] = {"UF", "NUM", "RF"};
  for (int i = 0; i < 3; ++i) {
    m_indicators[i] = new QLabel(QString::fromLatin1(names[i]), m_wndStatusBar);
    m_indicators[i]->setAlignment(Qt::AlignCenter);
    m_indicators[i]->setMinimumWidth(m_indicators[i]->fontMetrics().horizontalAdvance(QStringLiteral("NUM")) + 12);
    m_indicators[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_wndStatusBar->addPermanentWidget(m_indicators[i]);
  }
  setStatusBar(m_wndStatusBar);
  UpdateIndicators();
  qApp->installEventFilter(this);

  QAction* toolbar = Command(ID_VIEW_TOOLBAR);
  QAction* status = Command(ID_VIEW_STATUS_BAR);
  toolbar->setChecked(true);
  status->setChecked(true);
  connect(toolbar, &QAction::toggled, m_wndToolBar, &QWidget::setVisible);
  connect(status, &QAction::toggled, m_wndStatusBar, &QWidget::setVisible);
  connect(m_wndToolBar, &QToolBar::visibilityChanged, toolbar, &QAction::setChecked);
  return true;
}

bool CMainFrame::OnCreateClient() {
  m_wndSplitter = new QSplitter(Qt::Horizontal, this);
  auto* left = new CLeftView(m_pDocument, m_pApp->GetReaderVersion(), m_wndSplitter);
  auto* right = new CSkoviaView(m_pDocument, m_wndSplitter);
  if (m_wndSplitter->count() != 2) {
    delete m_wndSplitter;
    m_wndSplitter = nullptr;
    return false;
  }
  left->resize(200, 200);
  right->resize(100, 100);
  m_wndSplitter->setStretchFactor(0, 0);
  m_wndSplitter->setStretchFactor(1, 1);
  m_wndSplitter->setSizes({200, std::max(100, width() - 200)});
  m_pDocument->AddView(left);
  m_pDocument->AddView(right);
  setCentralWidget(m_wndSplitter);
  return true;
}

void CMainFrame::SetMessageText(const std::string& text) {
  if (m_message) m_message->setText(winport::ui::FromAnsi(text));
}

std::string CMainFrame::GetMessageText() const {
  return m_message ? winport::ui::ToAnsi(m_message->text()) : std::string();
}

CLeftView* CMainFrame::GetLeftPane() const {
  return m_wndSplitter ? qobject_cast<CLeftView*>(m_wndSplitter->widget(0)) : nullptr;
}

CSkoviaView* CMainFrame::GetRightPane() const {
  return m_wndSplitter ? qobject_cast<CSkoviaView*>(m_wndSplitter->widget(1)) : nullptr;
}

void CMainFrame::InitialUpdateFrame() {
  // The right pane first: the tree selects its root and shows the root's
  // rows in the right pane as it is built.
  if (CSkoviaView* right = GetRightPane()) right->OnInitialUpdate();
  if (CLeftView* left = GetLeftPane()) left->OnInitialUpdate();
  OnUpdateFrameTitle();
}

void CMainFrame::OnUpdateFrameTitle() {
  setWindowTitle(winport::ui::FromAnsi(m_pDocument->GetTitle()) + QStringLiteral(" - Skovia"));
}

void CMainFrame::UpdateRecentFileMenu() {
  if (!m_fileMenu) return;
  for (QAction* a : m_recentActions) {
    m_fileMenu->removeAction(a);
    delete a;
  }
  m_recentActions.clear();
  CRecentFileList& list = m_pApp->GetRecentFileList();
  m_recentPlaceholder->setVisible(list.GetSize() == 0);
  for (int i = 0; i < list.GetSize(); ++i) {
    auto* a = new QAction(winport::ui::FromAnsi(list.GetDisplayName(i)), this);
    connect(a, &QAction::triggered, this, [this, i] { m_pApp->OnOpenRecentFile(i); });
    m_fileMenu->insertAction(m_recentPlaceholder, a);
    m_recentActions.push_back(a);
  }
}

void CMainFrame::OnViewStyle(int id) {
  CSkoviaView* view = GetRightPane();
  if (!view) return;
  switch (id) {
    case ID_VIEW_SMALLICON: view->SetListStyle(CListView::ListStyle::SmallIcon); break;
    case ID_VIEW_LARGEICON: view->SetListStyle(CListView::ListStyle::Icon); break;
    case ID_VIEW_LIST: view->SetListStyle(CListView::ListStyle::List); break;
    case ID_VIEW_DETAILS: view->SetListStyle(CListView::ListStyle::Report); break;
    case ID_VIEW_LINEUP: break;  // icons stand in rows already: there is no grid to snap to
    default: break;
  }
}

void CMainFrame::OnUpdateViewStyles(int id, bool& enabled, bool& checked) const {
  const CSkoviaView* view = GetRightPane();
  enabled = view != nullptr;
  checked = false;
  if (!view) return;
  const CListView::ListStyle style = view->GetListStyle();
  switch (id) {
    case ID_VIEW_SMALLICON: checked = style == CListView::ListStyle::SmallIcon; break;
    case ID_VIEW_LARGEICON: checked = style == CListView::ListStyle::Icon; break;
    case ID_VIEW_LIST: checked = style == CListView::ListStyle::List; break;
    case ID_VIEW_DETAILS: checked = style == CListView::ListStyle::Report; break;
    case ID_VIEW_LINEUP:
      enabled = style == CListView::ListStyle::Icon || style == CListView::ListStyle::SmallIcon;
      break;
    default: enabled = false; break;
  }
}

void CMainFrame::ActivateOtherPane() {
  QWidget* panes[2] = {GetLeftPane(), GetRightPane()};
  if (!panes[0] || !panes[1]) return;
  const bool inLeft = panes[0]->hasFocus() || panes[0]->isAncestorOf(focusWidget());
  panes[inLeft ? 1 : 0]->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
  // Every file dropped opens in turn, as the framework does; the last one stays.
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(winport::ui::ToAnsi(url.toLocalFile()));
  if (paths.empty()) return;
  event->acceptProposedAction();
  activateWindow();
  // Opened once the drop is over, so that no message box runs inside the drag.
  QMetaObject::invokeMethod(
      this,
      [this, paths] {
        for (const std::string& path : paths) m_pApp->OpenDocumentFile(path);
      },
      Qt::QueuedConnection);
}

void CMainFrame::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange) {
    if (isActiveWindow())
      SetActiveWindow(m_hWnd);
    else if (GetActiveWindow() == m_hWnd)
      SetActiveWindow(nullptr);
  }
  QMainWindow::changeEvent(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  // A key press goes to the focus widget first and then up to its parents: count it once.
  QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
  if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->isAutoRepeat() && watched == first &&
      first->window() == this) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const int lock = key == Qt::Key_CapsLock ? 0 : key == Qt::Key_NumLock ? 1 : key == Qt::Key_ScrollLock ? 2 : -1;
    if (lock >= 0) {
      m_locks[lock] = !m_locks[lock];
      UpdateIndicators();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::UpdateIndicators() {
  for (int i = 0; i < 3; ++i)
    if (m_indicators[i]) m_indicators[i]->setEnabled(m_locks[i]);
}

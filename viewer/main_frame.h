// The main frame: menu, toolbar and status bar around a splitter of one row
// and two panes, the block tree (left) and the property or data list (right).
#pragma once

#include <map>
#include <string>
#include <vector>

#include <QMainWindow>

#include "platform/ui/window.h"

class CLeftView;
class CSkoviaApp;
class CSkoviaDoc;
class CSkoviaView;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStatusBar;
class QToolBar;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  CMainFrame(CSkoviaApp* app, CSkoviaDoc* document);
  ~CMainFrame() override;

  // The menu, the flat toolbar docked at the top and the status bar with its
  // message pane and the key indicators; false when one cannot be made.
  bool OnCreate();
  // The splitter: a CLeftView of 200 x 200 and a CSkoviaView of 100 x 100;
  // false (and no splitter) when a pane cannot be made.
  bool OnCreateClient();
  CLeftView* GetLeftPane() const;
  CSkoviaView* GetRightPane() const;

  // After the document was opened or made: the views' initial update and the title.
  void InitialUpdateFrame();
  void OnUpdateFrameTitle();
  void UpdateRecentFileMenu();

  // The right list's style commands (ID_VIEW_SMALLICON to ID_VIEW_LINEUP).
  void OnViewStyle(int id);
  // Whether such a command is available now and whether its item is checked.
  void OnUpdateViewStyles(int id, bool& enabled, bool& checked) const;

  // The action of a menu or toolbar command; nullptr for none.
  QAction* Command(int id) const;
  HWND GetSafeHwnd() const { return m_hWnd; }
  QStatusBar* GetStatusBar() const { return m_wndStatusBar; }
  // The status bar's message pane: an ANSI text ("Bereit" when idle).
  void SetMessageText(const std::string& text);
  std::string GetMessageText() const;
  QToolBar* GetToolBar() const { return m_wndToolBar; }
  // The indicator panes "UF", "NUM", "RF".
  QLabel* Indicator(int index) const { return m_indicators[index]; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* AddCommand(int id, const char* text, const char* shortcut = nullptr);
  void CreateMenus();
  void ActivateOtherPane();
  void UpdateIndicators();

  CSkoviaApp* m_pApp;
  CSkoviaDoc* m_pDocument;
  HWND m_hWnd;
  QSplitter* m_wndSplitter = nullptr;
  QStatusBar* m_wndStatusBar = nullptr;
  QToolBar* m_wndToolBar = nullptr;
  std::map<int, QAction*> m_commands;
  QMenu* m_fileMenu = nullptr;
  QAction* m_recentPlaceholder = nullptr;
  std::vector<QAction*> m_recentActions;
  QLabel* m_message = nullptr;
  QLabel* m_indicators[3] = {};
  bool m_locks[3] = {};  // caps, num and scroll lock as seen from their key presses
};

// The viewer application: its start, the document template (one document,
// the main frame and its two views), opening files and the About box.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QStringList>

#include "viewer/recent_files.h"

class CMainFrame;
class CSkoviaDoc;

class CSkoviaApp {
 public:
  CSkoviaApp();
  ~CSkoviaApp();
  CSkoviaApp(const CSkoviaApp&) = delete;
  CSkoviaApp& operator=(const CSkoviaApp&) = delete;

  // Starts the program with its command line (without the program name): the
  // settings, the frame and views, a new document or the file named, the main
  // window shown and open for dropped files. False ends the program.
  bool InitInstance(const QStringList& arguments);

  // Opens a file (ANSI path) as the menu, the recent-file list, the command
  // line and a drop do; the document, or nullptr when it could not be read.
  CSkoviaDoc* OpenDocumentFile(const std::string& path);
  void OnFileNew();
  void OnFileOpen();
  void OnOpenRecentFile(int index);
  void OnAppAbout();

  CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }
  CSkoviaDoc* GetDocument() const { return m_pDocument.get(); }
  CRecentFileList& GetRecentFileList() { return m_recentFiles; }
  uint16_t GetReaderVersion() const { return m_readerVersion; }

 private:
  bool CreateDocumentTemplate();
  void AddToRecentFileList(const std::string& path);

  uint16_t m_readerVersion;
  CRecentFileList m_recentFiles;
  std::unique_ptr<CSkoviaDoc> m_pDocument;
  std::unique_ptr<CMainFrame> m_pMainWnd;
};

// The open dialog's filter, from the document template: the file type, then all files.
std::string DocumentFilter();

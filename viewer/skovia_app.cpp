#include "viewer/skovia_app.h"

#include "mdf/mdf.h"
#include "platform/ui/filedialog.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/win32/codepage.h"
#include "viewer/about_dlg.h"
#include "viewer/main_frame.h"
#include "viewer/resource.h"
#include "viewer/skovia_doc.h"

namespace {

// Field n of the document template string.
std::string TemplateField(int n) {
  std::string s = kDocumentTemplate;
  for (int i = 0; i < n; ++i) {
    const size_t nl = s.find('\n');
    if (nl == std::string::npos) return {};
    s.erase(0, nl + 1);
  }
  return s.substr(0, s.find('\n'));
}

std::string RecentFileSection() {
  return std::string("Software\\") + kRegistryKey + "\\" + kAppTitle + "\\Recent File List";
}

}  // namespace

std::string DocumentFilter() {
  // The filter extension ".dat;*.mdf" reads as the patterns "*.dat;*.mdf".
  return TemplateField(3) + "|*" + TemplateField(4) + "|" + winport::Utf8ToAnsi("Alle Dateien (*.*)") + "|*.*||";
}

CSkoviaApp::CSkoviaApp()
    : m_readerVersion(mdf::CMdf::kViewerReaderVersion), m_recentFiles(RecentFileSection(), kRecentFileCount) {}

CSkoviaApp::~CSkoviaApp() = default;

bool CSkoviaApp::InitInstance(const QStringList& arguments) {
  // Message boxes carry the application's title.
  winport::ui::SetApplicationName(kAppTitle);
  m_recentFiles.ReadList();
  if (!CreateDocumentTemplate()) return false;

  // The command line: the first argument that is not an option names the file to open.
  std::string file;
  for (const QString& arg : arguments)
    if (!arg.startsWith(u'-')) {
      file = winport::ui::ToAnsi(arg);
      break;
    }
  if (file.empty())
    OnFileNew();
  else if (!OpenDocumentFile(file))
    return false;

  m_pMainWnd->show();
  m_pMainWnd->setAcceptDrops(true);
  return true;
}

bool CSkoviaApp::CreateDocumentTemplate() {
  m_pDocument = std::make_unique<CSkoviaDoc>();
  m_pMainWnd = std::make_unique<CMainFrame>(this, m_pDocument.get());
  if (!m_pMainWnd->OnCreate() || !m_pMainWnd->OnCreateClient()) {
    m_pMainWnd.reset();
    return false;
  }
  m_pMainWnd->UpdateRecentFileMenu();
  return true;
}

CSkoviaDoc* CSkoviaApp::OpenDocumentFile(const std::string& name) {
  if (!m_pDocument || !m_pMainWnd) return nullptr;
  // The document, the tree and the recent-file list keep the absolute path.
  const std::string path = FullPath(name);
  // The file shown already is not read again.
  if (!path.empty() && path == m_pDocument->GetPathName()) {
    m_pMainWnd->activateWindow();
    return m_pDocument.get();
  }
  if (!m_pDocument->OnOpenDocument(path)) return nullptr;
  AddToRecentFileList(m_pDocument->GetPathName());
  m_pMainWnd->InitialUpdateFrame();
  return m_pDocument.get();
}

void CSkoviaApp::AddToRecentFileList(const std::string& path) {
  m_recentFiles.Add(path);
  m_recentFiles.WriteList();
  m_pMainWnd->UpdateRecentFileMenu();
}

void CSkoviaApp::OnFileNew() {
  if (!m_pDocument || !m_pMainWnd) return;
  m_pDocument->OnNewDocument();
  m_pMainWnd->InitialUpdateFrame();
}

void CSkoviaApp::OnFileOpen() {
  if (!m_pMainWnd) return;
  const std::string filter = DocumentFilter();
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, filter.c_str(),
                     m_pMainWnd->GetSafeHwnd());
  if (dialog.DoModal() == IDOK) OpenDocumentFile(dialog.GetPathName());
}

void CSkoviaApp::OnOpenRecentFile(int index) {
  if (index < 0 || index >= m_recentFiles.GetSize()) return;
  const std::string path = m_recentFiles[index];
  if (!OpenDocumentFile(path)) {
    // A file that cannot be read any more leaves the list.
    m_recentFiles.Remove(index);
    m_recentFiles.WriteList();
    m_pMainWnd->UpdateRecentFileMenu();
  }
}

void CSkoviaApp::OnAppAbout() {
  CAboutDlg about(m_pMainWnd ? m_pMainWnd->GetLeftPane() : nullptr, m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr);
  about.DoModal();
}

#include "viewer/skovia_doc.h"

#include <filesystem>
#include <system_error>

#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "platform/win32/file.h"

std::string FullPath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(winport::AnsiToUtf8(path), error);
  if (error) return path;
  return winport::Utf8ToAnsi(full.lexically_normal().string());
}

bool CSkoviaDoc::OnNewDocument() {
  m_strPathName.clear();
  m_strTitle = "Unbenannt";
  return true;
}

bool CSkoviaDoc::OnOpenDocument(const std::string& path) {
  winport::File file;
  if (!file.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite)) {
    AfxMessageBox(winport::Utf8ToAnsi("Fehler beim Öffnen des Dokuments."), MB_ICONEXCLAMATION);
    return false;
  }
  SetPathName(path);
  return true;
}

void CSkoviaDoc::SetPathName(const std::string& path) {
  m_strPathName = FullPath(path);
  const size_t slash = m_strPathName.find_last_of('/');
  m_strTitle = slash == std::string::npos ? m_strPathName : m_strPathName.substr(slash + 1);
}

void CSkoviaDoc::AddView(QWidget* view) { m_views.emplace_back(view); }

std::vector<QWidget*> CSkoviaDoc::GetViews() const {
  std::vector<QWidget*> views;
  for (const QPointer<QWidget>& v : m_views)
    if (v) views.push_back(v.data());
  return views;
}

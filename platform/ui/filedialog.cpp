#include "platform/ui/filedialog.h"

#include <cstring>

#include "platform/ui/backend.h"
#include "platform/ui/messagebox.h"

namespace winport::ui {
namespace {

size_t NameStart(const std::string& path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? 0 : sep + 1;
}

// A Win32 filter ("a\0b\0c\0d\0\0") in the framework's form ("a|b|c|d||").
std::string FrameworkFilter(const char* filter) {
  std::string out;
  if (!filter) return out;
  // Bounded: a list without its closing NUL pair ends at 64 KiB.
  for (size_t i = 0; i < 65536 && *filter; ++i) {
    out += filter;
    out += '|';
    filter += std::strlen(filter) + 1;
  }
  return out.empty() ? out : out + '|';
}

BOOL RunWin32Dialog(OPENFILENAMEA* ofn, bool save) {
  if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) return FALSE;
  FileDialogRequest request;
  request.owner = ofn->hwndOwner;
  request.save = save;
  request.title = ofn->lpstrTitle ? ofn->lpstrTitle : "";
  request.filter = FrameworkFilter(ofn->lpstrFilter);
  request.defaultExt = ofn->lpstrDefExt ? ofn->lpstrDefExt : "";
  request.initialName = std::string(ofn->lpstrFile, strnlen(ofn->lpstrFile, ofn->nMaxFile));
  request.initialDir = ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "";
  request.flags = ofn->Flags;
  const std::optional<std::string> path = RunFileDialog(request);
  if (!path || path->size() + 1 > ofn->nMaxFile) return FALSE;
  std::memcpy(ofn->lpstrFile, path->c_str(), path->size() + 1);
  return TRUE;
}

}  // namespace

std::optional<std::string> RunFileDialog(const FileDialogRequest& request) {
  std::optional<std::string> path = CurrentBackend().FileDialog(request);
  if (path && path->empty()) return std::nullopt;
  if (path && !request.defaultExt.empty() &&
      path->find('.', NameStart(*path)) == std::string::npos)
    *path += "." + request.defaultExt;
  return path;
}

}  // namespace winport::ui

BOOL GetSaveFileNameA(OPENFILENAMEA* ofn) { return winport::ui::RunWin32Dialog(ofn, true); }
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) { return winport::ui::RunWin32Dialog(ofn, false); }

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                         const char* filter, HWND parent)
    : open_(openFileDialog != FALSE),
      defaultExt_(defaultExt ? defaultExt : ""),
      fileName_(fileName ? fileName : ""),
      filter_(filter ? filter : ""),
      flags_(flags),
      parent_(parent) {}

int CFileDialog::DoModal() {
  winport::ui::FileDialogRequest request;
  request.owner = parent_;
  request.save = !open_;
  request.filter = filter_;
  request.defaultExt = defaultExt_;
  request.initialName = fileName_;
  request.initialDir = initialDir_;
  request.flags = flags_;
  const std::optional<std::string> path = winport::ui::RunFileDialog(request);
  path_ = path.value_or("");
  return path ? IDOK : IDCANCEL;
}

std::string CFileDialog::GetFileName() const { return path_.substr(winport::ui::NameStart(path_)); }

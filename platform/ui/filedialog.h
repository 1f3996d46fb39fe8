// The common file dialogs, as the Win32 structure and as the framework's class.
#pragma once

#include <optional>
#include <string>

#include "platform/ui/window.h"

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

// The fields of the Win32 structure that the dialogs use.
struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  const char* lpstrFilter;  // pairs of description and pattern, each NUL-ended, a second NUL at the end
  DWORD nFilterIndex;
  char* lpstrFile;  // in: the initial file name; out: the chosen path
  DWORD nMaxFile;
  const char* lpstrInitialDir;
  const char* lpstrTitle;
  DWORD Flags;
  const char* lpstrDefExt;
};

// FALSE when the user cancels or the path does not fit lpstrFile.
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn);
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);

// The framework's file dialog; the filter is "description|pattern|...||".
class CFileDialog {
 public:
  CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr, const char* fileName = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
              HWND parent = nullptr);
  // The folder the dialog opens in (empty: the backend's choice).
  void SetInitialDir(const std::string& folder) { initialDir_ = folder; }
  // IDOK when a path was chosen, IDCANCEL otherwise.
  int DoModal();
  std::string GetPathName() const { return path_; }
  // The chosen path's last part.
  std::string GetFileName() const;

 private:
  bool open_;
  std::string defaultExt_, fileName_, filter_, initialDir_;
  DWORD flags_;
  HWND parent_;
  std::string path_;
};

namespace winport::ui {

struct FileDialogRequest {
  HWND owner = nullptr;
  bool save = true;
  std::string title;
  std::string filter;  // in the framework's form, "description|pattern|...||"
  std::string defaultExt;
  std::string initialName;
  std::string initialDir;
  DWORD flags = 0;
};

// Runs a file dialog; the chosen path, with the default extension appended
// when its file name has none, or nothing when cancelled.
std::optional<std::string> RunFileDialog(const FileDialogRequest& request);

}  // namespace winport::ui

#include "pellor/dialogs/can_dlg.h"

#include "mdf/format.h"
#include "pellor/dialogs/can_settings.h"
#include "pellor/dialogs/resource.h"
#include "platform/ui/filedialog.h"
#include "platform/win32/file.h"

using namespace winport::ui;

namespace {

constexpr const char* kDatabaseFilter = "CAN DBs (*.dbc)|*.dbc||";
constexpr const char* kSettingsFilter = "Status-Dateien (*.ini)|*.ini||";

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

CCANDlg::CCANDlg(const std::array<int32_t, kCanChannels>& idCounts,
                 std::vector<std::vector<std::string>>& databases, HWND parent)
    : CDialog(Resource(), parent), m_idCounts(idCounts), m_databases(databases) {}

DialogTemplate CCANDlg::Resource() {
  DialogTemplate t;
  t.id = IDD_CAN_DATABASE;
  t.caption = "CAN Database";
  t.cx = 349;
  t.cy = 181;
  t.controls = {
      DefPushButton(IDOK, "&OK", 235, 160, 50, 14),
      PushButton(IDCANCEL, "&Abbrechen", 292, 160, 50, 14),
      GroupBox(IDC_STATIC, "CAN Bus Information", 7, 7, 335, 125),
      Control(IDC_CAN_TABS, "Tab1", kTabControlClass, WS_VISIBLE | WS_TABSTOP, 13, 21, 271, 12),
      ListBox(IDC_CAN_DATABASES, 13, 34, 272, 91, LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP),
      PushButton(IDC_CAN_ADD, "&Neu...", 292, 33, 44, 14),
      PushButton(IDC_CAN_DELETE, mdf::Ansi("&Löschen"), 292, 52, 44, 14),
      GroupBox(IDC_STATIC, "Diese Einstellungen laden/speichern", 8, 140, 147, 33),
      PushButton(IDC_CAN_LOAD, "Laden...", 18, 153, 50, 14),
      PushButton(IDC_CAN_SAVE, "Speichern...", 91, 153, 50, 14),
  };
  return t;
}

BOOL CCANDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_tabChannels.clear();
  for (int channel = 0; channel < kCanChannels; ++channel)
    if (m_idCounts[static_cast<size_t>(channel)] != 0) {
      m_tabChannels.push_back(channel);
      AddString(IDC_CAN_TABS, mdf::StrFormat("CAN %d (%d)", channel, m_idCounts[static_cast<size_t>(channel)]));
    }
  // One path list per tab, so that list n always belongs to tab n.
  if (m_databases.size() < m_tabChannels.size()) m_databases.resize(m_tabChannels.size());
  SetCurSel(IDC_CAN_TABS, 0);
  m_shownTab = 0;
  ShowChannelDatabases(0);
  SetCurSel(IDC_CAN_DATABASES, 0);
  return TRUE;
}

BOOL CCANDlg::OnCommand(int id, UINT code) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_CAN_ADD: OnAddDatabase(); return TRUE;
      case IDC_CAN_DELETE: OnDeleteDatabase(); return TRUE;
      case IDC_CAN_LOAD: OnLoadStatus(); return TRUE;
      case IDC_CAN_SAVE: OnSaveStatus(); return TRUE;
      default: break;
    }
  }
  return CDialog::OnCommand(id, code);
}

BOOL CCANDlg::OnNotify(int id, UINT code) {
  if (id == IDC_CAN_TABS && code == TCN_SELCHANGE) {
    OnSelchangeTab();
    return TRUE;
  }
  return CDialog::OnNotify(id, code);
}

void CCANDlg::ShowChannelDatabases(int tab) {
  ResetContent(IDC_CAN_DATABASES);
  if (tab < 0 || static_cast<size_t>(tab) >= m_tabChannels.size()) return;
  for (const std::string& path : m_databases[static_cast<size_t>(tab)]) AddString(IDC_CAN_DATABASES, path);
}

void CCANDlg::TakeOverListBox() {
  if (m_shownTab < 0 || static_cast<size_t>(m_shownTab) >= m_tabChannels.size()) return;
  std::vector<std::string>& paths = m_databases[static_cast<size_t>(m_shownTab)];
  paths.clear();
  for (int i = 0; i < GetCount(IDC_CAN_DATABASES); ++i) paths.push_back(GetItemText(IDC_CAN_DATABASES, i));
}

void CCANDlg::OnSelchangeTab() {
  TakeOverListBox();
  m_shownTab = GetCurSel(IDC_CAN_TABS);
  ShowChannelDatabases(m_shownTab);
}

void CCANDlg::OnOK() {
  TakeOverListBox();
  CDialog::OnOK();
}

std::string CCANDlg::ChooseFile(bool open, const char* defaultExt, const char* filter) {
  CFileDialog dialog(open ? TRUE : FALSE, defaultExt, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter,
                     GetSafeHwnd());
  dialog.SetInitialDir(m_lastDirectory);
  if (dialog.DoModal() != IDOK || dialog.GetPathName().empty()) return {};
  const std::string path = dialog.GetPathName();
  if (const std::string folder = FolderOf(path); !folder.empty()) m_lastDirectory = folder;
  return path;
}

void CCANDlg::OnAddDatabase() {
  const std::string path = ChooseFile(true, "dbc", kDatabaseFilter);
  if (!path.empty()) AddString(IDC_CAN_DATABASES, path);
}

void CCANDlg::OnDeleteDatabase() {
  const int selected = GetCurSel(IDC_CAN_DATABASES);
  if (selected >= 0) DeleteString(IDC_CAN_DATABASES, selected);
}

void CCANDlg::OnSaveStatus() {
  TakeOverListBox();
  const std::string file = ChooseFile(false, "ini", kSettingsFilter);
  if (file.empty()) return;
  for (size_t tab = 0; tab < m_tabChannels.size(); ++tab)
    pellor::WriteCanIniSection(m_databases[tab], m_tabChannels[tab], file);
}

void CCANDlg::OnLoadStatus() {
  const std::string file = ChooseFile(true, "ini", kSettingsFilter);
  if (file.empty() || !winport::IsReadableFile(file)) return;
  SetCurSel(IDC_CAN_TABS, 0);
  ResetContent(IDC_CAN_DATABASES);
  for (size_t tab = 0; tab < m_tabChannels.size(); ++tab)
    m_databases[tab] = pellor::ReadCanIniSection(m_tabChannels[tab], file);
  // The list box shows tab 0 now, and later take-overs must go to tab 0's list.
  m_shownTab = 0;
  ShowChannelDatabases(0);
}

// The choice of CAN databases per CAN channel before a CAN-frame log is
// decoded: one tab per CAN channel that occurs in the log, each with the list
// of its database (DBC) paths; the lists can be saved to and loaded from a
// settings file (sections "CAN%d", keys "DB%d" from 1).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"

inline constexpr int kCanChannels = 100;

class CCANDlg : public CDialog {
 public:
  // `idCounts`: the message ids seen per CAN channel (0-99); a channel with a
  // count takes part. `databases`: the caller's path lists, one per taking-part
  // channel in ascending order (the n-th for tab n); the dialog adds an empty
  // list for each tab the caller gave none, and on OK the lists hold the
  // user's choice.
  CCANDlg(const std::array<int32_t, kCanChannels>& idCounts, std::vector<std::vector<std::string>>& databases,
          HWND parent = nullptr);

  static winport::ui::DialogTemplate Resource();

  BOOL OnInitDialog() override;
  BOOL OnCommand(int id, UINT code) override;
  BOOL OnNotify(int id, UINT code) override;
  void OnOK() override;

  void OnAddDatabase();
  void OnDeleteDatabase();
  void OnLoadStatus();
  void OnSaveStatus();
  void OnSelchangeTab();
  // Fills the list box with the paths of a tab.
  void ShowChannelDatabases(int tab);

  int GetShownTab() const { return m_shownTab; }
  // The folder in which the last file dialog ended; the next one opens there.
  const std::string& GetLastDirectory() const { return m_lastDirectory; }

 private:
  using CDialog::OnNotify;
  // The shown tab's list takes the list box's paths, in list order.
  void TakeOverListBox();
  // Runs a file dialog in the last directory; the chosen path (its folder
  // becomes the last directory), or empty when none was chosen.
  std::string ChooseFile(bool open, const char* defaultExt, const char* filter);

  const std::array<int32_t, kCanChannels>& m_idCounts;
  int m_shownTab = 0;
  std::vector<std::vector<std::string>>& m_databases;
  std::vector<int> m_tabChannels;  // the CAN channel of each tab
  std::string m_lastDirectory;
};

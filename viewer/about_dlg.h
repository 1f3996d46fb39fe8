// The About box: dialog 100 with the version line of the file model in use.
#pragma once

#include <string>

#include "platform/ui/dialog.h"

class CLeftView;

class CAboutDlg : public CDialog {
 public:
  // The dialog resource: static 1000 with the version line and an OK button.
  static winport::ui::DialogTemplate Resource();

  // `leftPane` gives the reader version; none reads as no file opened yet.
  explicit CAboutDlg(const CLeftView* leftPane, HWND parent = nullptr);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  std::string m_strVersion;  // bound to control 1000

 private:
  const CLeftView* m_pLeftPane;
};

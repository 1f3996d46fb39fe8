#include "viewer/about_dlg.h"

#include "mdf/format.h"
#include "platform/win32/codepage.h"
#include "viewer/left_view.h"
#include "viewer/resource.h"

using namespace winport::ui;

DialogTemplate CAboutDlg::Resource() {
  DialogTemplate t;
  t.id = IDD_ABOUTBOX;
  t.caption = winport::Utf8ToAnsi("Info über Skovia");
  t.cx = 235;
  t.cy = 55;
  t.controls = {LText(IDC_VERSION, "Skovia Version 4.60", 40, 10, 119, 8, SS_NOPREFIX),
                DefPushButton(IDOK, "OK", 178, 7, 50, 14, WS_GROUP)};
  return t;
}

CAboutDlg::CAboutDlg(const CLeftView* leftPane, HWND parent) : CDialog(Resource(), parent), m_pLeftPane(leftPane) {}

BOOL CAboutDlg::OnInitDialog() {
  const unsigned version = m_pLeftPane ? m_pLeftPane->GetReaderVersion() : 0;
  if (version != 0)
    m_strVersion = mdf::StrFormat("Skovia Version %u.%u", version >> 8, version & 0xFF);
  else
    m_strVersion = "Skovia Version ??";
  return CDialog::OnInitDialog();  // puts the text into control 1000
}

void CAboutDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_VERSION, m_strVersion);
}

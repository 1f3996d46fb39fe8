#include "pellor/progress.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "pellor/options.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"
#include "platform/win32/system.h"

namespace pellor {
namespace {

using namespace winport::ui;

bool g_aborted = false;
std::string g_versionText;

std::string GroupLine(int32_t group, int32_t groups) {
  return "Gruppe " + std::to_string(group) + " von " + std::to_string(groups);
}

// Places a dialog at a screen position. A dialog's window lies below its
// parent's, whose client coordinates MoveWindow takes.
void PlaceOnScreen(CDialog& dialog, int x, int y, int width, int height) {
  POINT at{x, y};
  if (const HWND parent = GetParent(dialog.GetSafeHwnd())) ScreenToClient(parent, &at);
  dialog.MoveWindow(at.x, at.y, width, height);
}

// The tick of an update; 0 is kept for "not initialised".
uint32_t Now() { return std::max<uint32_t>(GetTickCount(), 1); }

DialogTemplate ProgressTemplate() {
  DialogTemplate t;
  t.id = CIOZustand::kDialogId;
  t.caption = "MDF-Import";
  t.cx = 186;
  t.cy = 98;
  t.controls = {
      LText(CIOZustand::kGroupText, "Gruppe", 7, 7, 172, 8),
      Control(CIOZustand::kGroupBar, "", kProgressClass, WS_VISIBLE | WS_BORDER, 7, 17, 172, 10),
      LText(CIOZustand::kSignalText, "Signal", 7, 33, 172, 8),
      Control(CIOZustand::kSignalBar, "", kProgressClass, WS_VISIBLE | WS_BORDER, 7, 43, 172, 10),
      CText(CIOZustand::kVersionText, "Version", 7, 62, 172, 8),
      PushButton(IDCANCEL, "Abbrechen", 69, 77, 50, 14),
  };
  return t;
}

DialogTemplate EditFrqTemplate() {
  DialogTemplate t;
  t.id = CEditFrq::kDialogId;
  t.caption = "Abtastfrequenz";
  t.cx = 255;
  t.cy = 124;
  t.controls = {
      LText(IDC_STATIC,
            winport::Utf8ToAnsi("Das Zeitsignal der aktuellen Gruppe ist fehlerhaft. Es wird die folgende Abtastrate "
                                "vorgeschlagen (die Sie aber ändern können, falls Sie über weitergehende "
                                "Informationen verfügen). Betroffen sind die Signale:"),
            7, 7, 179, 36),
      EditText(CEditFrq::kSignalList, 7, 44, 241, 49, ES_MULTILINE | WS_DISABLED | WS_VSCROLL),
      LText(IDC_STATIC, "Abtastrate [s]", 7, 98, 42, 8),
      EditText(CEditFrq::kPeriod, 56, 97, 139, 12, ES_AUTOHSCROLL),
      DefPushButton(IDOK, "&OK", 198, 7, 50, 14),
      PushButton(IDCANCEL, "&Abbrechen", 198, 24, 50, 14),
  };
  return t;
}

}  // namespace

// ---------------------------------------------------------------- the progress window

CIOZustand::CIOZustand() : CDialog(ProgressTemplate()) {}

BOOL CIOZustand::OnInitDialog() {
  CDialog::OnInitDialog();
  RECT r{};
  GetWindowRect(&r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (GetSystemMetrics(SM_CMONITORS) == 1) {
    PlaceOnScreen(*this, (GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2,
                  (GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2, width, height);
  } else if (RECT p{}; GetParentHwnd() && ::GetWindowRect(GetParentHwnd(), &p)) {
    PlaceOnScreen(*this, p.left + (p.right - p.left - width) / 2, p.top + (p.bottom - p.top - height) / 2, width,
                  height);
  }
  if (ProgressRecord* record = m_pRecord) {
    record->interval = 0;
    record->totalItems = 0;
    record->currentItem = 1;
    record->currentGroup = 1;
    SetDlgItemText(kGroupText, GroupLine(1, record->groups));
    SetRange(kGroupBar, 0, record->groups);
    record->lastUpdate = Now();
  }
  SetPos(kGroupBar, 0);
  SetRange(kSignalBar, 0, 100);
  SetPos(kSignalBar, 0);
  SetDlgItemText(kVersionText, g_versionText);
  return TRUE;
}

void CIOZustand::OnCancel() {
  SetProgressAborted(true);
  DestroyWindow();
}

namespace {
// The module's progress window. Made again for each window opened, so that
// a window opened without a parent has none.
std::unique_ptr<CIOZustand> g_window = std::make_unique<CIOZustand>();
}  // namespace

CIOZustand& ProgressWindow() { return *g_window; }

bool ProgressAborted() { return g_aborted; }
void SetProgressAborted(bool aborted) { g_aborted = aborted; }

void ProgressOpen(int32_t groups, const std::string& title, ProgressRecord& record, int32_t version) {
  record = ProgressRecord();
  record.interval = 100;
  if (!title.empty()) record.title = title;
  record.version = version;
  // "Version %d.%02d" of major and build.
  std::string minor = std::to_string(version % 256);
  if (minor.size() < 2) minor.insert(0, 1, '0');
  g_versionText = "Version ";
  g_versionText.append(std::to_string(version / 256)).append(".").append(minor);
  record.groups = groups;
  record.totalItems = 0;
  record.groupShare = groups != 0 ? 1.0 / groups : 0.0;
  record.whole = 1.0;
  if (g_window->HasWindow()) g_window->DestroyWindow();
  g_window = std::make_unique<CIOZustand>();
  g_window->m_pRecord = &record;
  g_window->Create(GetActiveWindow());
}

void ProgressSetSignal(uint32_t items, const std::string& text, ProgressRecord& record) {
  const std::string line = text.compare(0, 9, "Reading..") == 0
                               ? text + " (" + FormatByteSize(items) + ")"
                               : "Signal " + text + " (N = " + FormatGroupedNumber(items) + ")";
  CIOZustand& window = ProgressWindow();
  window.SetDlgItemText(CIOZustand::kSignalText, line);
  record.totalItems = items;
  window.SetPos(CIOZustand::kSignalBar, 0);
}

void ProgressStep(uint32_t value, ProgressRecord& record, bool signalMode) {
  CIOZustand& window = ProgressWindow();
  // One message of the window, taken and not dispatched: the caller pumps the rest.
  if (const HWND hwnd = window.GetSafeHwnd()) {
    MSG msg;
    if (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
      const bool escape = (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) && msg.wParam == VK_ESCAPE;
      const bool cancelClicked = msg.message == WM_LBUTTONDOWN && msg.hwnd == window.GetDlgItem(IDCANCEL);
      if (escape || cancelClicked) SetProgressAborted(true);
    }
  }
  if (record.lastUpdate == 0) return;
  const uint32_t now = Now();
  if (signalMode) {
    if (now - record.lastUpdate > static_cast<uint32_t>(record.interval)) {
      record.currentItem = value;
      const uint64_t percent = record.totalItems ? uint64_t{value} * 100 / record.totalItems : 0;
      window.SetPos(CIOZustand::kSignalBar, static_cast<int>(std::min<uint64_t>(percent, 100)));
    }
  } else {
    record.currentGroup = static_cast<int32_t>(value);
    window.SetDlgItemText(CIOZustand::kGroupText, GroupLine(record.currentGroup, record.groups));
    window.SetPos(CIOZustand::kGroupBar, record.currentGroup);
    window.SetPos(CIOZustand::kSignalBar, 0);
  }
  record.lastUpdate = now;
}

void ProgressClose(ProgressRecord& record) {
  if (record.lastUpdate == 0) return;
  CIOZustand& window = ProgressWindow();
  if (const HWND hwnd = window.GetSafeHwnd()) SendMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
}

std::string FormatByteSize(uint64_t bytes) {
  if (bytes >= (uint64_t{1} << 30)) return std::to_string(bytes >> 30) + " GB";
  if (bytes >= (uint64_t{1} << 20)) return std::to_string(bytes >> 20) + " MB";
  if (bytes >= 1024) return std::to_string(bytes >> 10) + " KB";
  return std::to_string(bytes) + " Bytes";
}

std::string FormatGroupedNumber(uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  return out;
}

// ---------------------------------------------------------------- the sampling-period dialog

CEditFrq::CEditFrq(HWND parent) : CDialog(EditFrqTemplate(), parent) { SetBoxCaption(kModuleName); }

void CEditFrq::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  if (!dx->m_bSaveAndValidate) {
    DDX_Text(dx, kPeriod, m_period);
  } else {
    double period = m_period;
    DDX_Text(dx, kPeriod, period);
    if (dx->Failed()) return;
    if (!std::isfinite(period) || period <= 0) {
      MessageBoxA(GetSafeHwnd(), winport::Utf8ToAnsi("Bitte geben Sie eine Abtastrate größer als 0 ein.").c_str(),
                  kModuleName, MB_OK | MB_ICONEXCLAMATION);
      dx->Fail();
      return;
    }
    m_period = period;
  }
  DDX_Text(dx, kSignalList, m_signals);
}

BOOL CEditFrq::OnInitDialog() {
  CDialog::OnInitDialog();
  // Moved down by its own height, so that it does not cover the progress window.
  RECT r{};
  GetWindowRect(&r);
  OffsetRect(&r, 0, r.bottom - r.top);
  PlaceOnScreen(*this, r.left, r.top, r.right - r.left, r.bottom - r.top);
  return TRUE;
}

}  // namespace pellor

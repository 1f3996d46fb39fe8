#include "dravo/progress.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/system.h"

namespace dravo {

namespace {

using namespace winport::ui;

bool g_cancelled = false;
int g_lastPercent = 0;
ProgressRecord* g_newest = nullptr;

constexpr uint64_t kLongTotal = 10000;
constexpr uint32_t kLongInterval = 500, kShortInterval = 100;

// The tick of an update; 0 is kept for "not initialised".
uint32_t Now() { return std::max<uint32_t>(GetTickCount(), 1); }

std::string Bounded(const std::string& text) { return text.substr(0, kMaxProgressText); }

DialogTemplate ProgressTemplate() {
  DialogTemplate t;
  t.id = 0;  // "IOZUST" is named, not numbered
  t.caption = "";
  t.cx = 196;
  t.cy = 60;
  t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT;
  t.controls = {
      Control(IDC_STATIC, "", kStaticClass, WS_VISIBLE | SS_BLACKFRAME | SS_SUNKEN, 9, 11, 179, 16),
      Control(kProgressBar, "", kButtonClass, WS_VISIBLE | BS_OWNERDRAW, 10, 12, 176, 13),
      CText(kProgressCount, "Text", 13, 30, 170, 8),
      CText(kProgressVersion, "Version", 10, 2, 177, 8),
      PushButton(kProgressCancel, "Abbrechen", 75, 44, 50, 14),
  };
  return t;
}

// Places a dialog at a screen position; a dialog with an owner lies below it,
// and MoveWindow takes the owner's client coordinates.
void PlaceOnScreen(CDialog& dialog, int x, int y, int width, int height) {
  POINT at{x, y};
  if (const HWND parent = GetParent(dialog.GetSafeHwnd())) ScreenToClient(parent, &at);
  dialog.MoveWindow(at.x, at.y, width, height);
}

int32_t ClientWidth(const CDialog& dialog, int id) {
  const RECT r = dialog.GetDlgItemRect(id);
  return r.right - r.left;
}

}  // namespace

ProgressRecord::ProgressRecord() = default;

ProgressRecord::~ProgressRecord() {
  if (g_newest == this) g_newest = nullptr;
}

BarDrawing DrawBar(uint32_t position, int32_t barWidth, int32_t clientWidth) {
  BarDrawing d;
  d.percent = barWidth > 0 ? static_cast<int>(uint64_t{position} * 100 / static_cast<uint32_t>(barWidth)) : 0;
  d.label = std::to_string(d.percent) + "%";
  d.filled =
      static_cast<int32_t>(std::clamp<int64_t>(int64_t{clientWidth} * d.percent / 100, 0, std::max(clientWidth, 0)));
  return d;
}

int LastDrawnPercent() { return g_lastPercent; }

bool ProgressCancelled() { return g_cancelled; }

CProgressDialog* CurrentProgressWindow() {
  return g_newest && g_newest->dialog && g_newest->dialog->HasWindow() ? g_newest->dialog.get() : nullptr;
}

CProgressDialog::CProgressDialog(ProgressRecord& record) : CDialog(ProgressTemplate()), m_record(record) {}

CProgressDialog::~CProgressDialog() {
  DestroyWindow();
  DeleteObject(m_barBrush);
  DeleteObject(m_backgroundBrush);
}

BOOL CProgressDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  RECT r{};
  GetWindowRect(&r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  PlaceOnScreen(*this, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width,
                height);
  ProgressRecord& rec = m_record;
  rec.window = GetSafeHwnd();
  DeleteObject(m_barBrush);
  DeleteObject(m_backgroundBrush);
  m_barBrush = CreateSolidBrush(kProgressBlue);
  m_backgroundBrush = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  rec.barWidth = ClientWidth(*this, kProgressBar);
  rec.position = 0;
  SetWindowText(rec.text);
  rec.text = Bounded("N = " + std::to_string(rec.total));
  rec.pixelsPerStep = static_cast<double>(rec.barWidth) / static_cast<double>(std::max<uint64_t>(rec.total, 1));
  rec.lastTick = Now();
  SetDlgItemText(kProgressCount, rec.text);
  char version[32];
  std::snprintf(version, sizeof version, "Version %u.%02u", rec.version / 256, rec.version % 256);
  SetDlgItemText(kProgressVersion, version);
  return TRUE;
}

BOOL CProgressDialog::OnCommand(int id, UINT code) {
  if (id == kProgressCancel && code == BN_CLICKED) {
    g_cancelled = true;
    return TRUE;
  }
  return CDialog::OnCommand(id, code);
}

// Closing the window (Esc in a drawn dialog) cancels; the importer destroys it.
void CProgressDialog::OnCancel() { g_cancelled = true; }

BOOL CProgressDialog::OnDrawItem(int id, DRAWITEMSTRUCT* item) {
  if (id != kProgressBar || !(item->itemAction & ODA_DRAWENTIRE) || !m_barBrush) return FALSE;
  const RECT& r = item->rcItem;
  const int width = r.right - r.left, height = r.bottom - r.top;
  const BarDrawing bar = DrawBar(m_record.position, m_record.barWidth, width);
  const RECT filled{r.left, r.top, r.left + bar.filled, r.bottom};
  const RECT rest{r.left + bar.filled, r.top, r.right, r.bottom};
  HDC dc = item->hDC;
  FillRect(dc, &filled, m_barBrush);
  FillRect(dc, &rest, m_backgroundBrush);
  const int length = static_cast<int>(bar.label.size());
  SIZE extent{0, 0};
  GetTextExtentPoint32A(dc, bar.label.c_str(), length, &extent);
  const int x = r.left + (extent.cx < width ? (width - extent.cx) / 2 : 0);
  const int y = r.top + (extent.cy < height ? (height - extent.cy) / 2 : 0);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOW));
  ExtTextOutA(dc, x, y, ETO_CLIPPED, &filled, bar.label.c_str(), static_cast<UINT>(length), nullptr);
  SetTextColor(dc, kProgressBlue);
  ExtTextOutA(dc, x, y, ETO_CLIPPED, &rest, bar.label.c_str(), static_cast<UINT>(length), nullptr);
  return TRUE;
}

void CreateProgressWindow(uint64_t total, const std::string& text, ProgressRecord& record, uint32_t version) {
  g_cancelled = false;
  DestroyProgressWindow(record);
  record.total = total;
  record.lastTick = 0;
  record.interval = total > kLongTotal ? kLongInterval : kShortInterval;
  record.pixelsPerStep = 0;
  record.barWidth = 0;
  record.position = 0;
  record.text = Bounded(text);
  record.version = version;
  record.window = nullptr;
  record.dialog = std::make_unique<CProgressDialog>(record);
  g_newest = &record;
  record.dialog->Create(GetActiveWindow());
}

void SetProgressText(const std::string& text, ProgressRecord& record) {
  record.position = 0;
  record.text.clear();
  if (!text.empty()) record.text = Bounded(text);
  if (record.dialog && record.dialog->HasWindow()) record.dialog->SetWindowText(record.text);
}

void StepProgress(uint64_t step, ProgressRecord& record) {
  CProgressDialog* dialog = record.dialog.get();
  if (!dialog || !dialog->HasWindow()) return;
  // One message of the window or its controls, taken and not dispatched.
  MSG msg;
  if (PeekMessageA(&msg, dialog->GetSafeHwnd(), 0, 0, PM_REMOVE)) {
    const bool escape = (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) && msg.wParam == VK_ESCAPE;
    const bool cancelClicked = msg.message == WM_LBUTTONDOWN && msg.hwnd == dialog->GetDlgItem(kProgressCancel);
    if (escape || cancelClicked) g_cancelled = true;
  }
  const uint32_t now = Now();
  if (record.lastTick == 0 || now - record.lastTick <= record.interval) return;
  const double position = static_cast<double>(step) * record.pixelsPerStep;
  record.position = position >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(position);
  const int percent = record.barWidth > 0
                          ? static_cast<int>(uint64_t{record.position} * 100 / static_cast<uint32_t>(record.barWidth))
                          : g_lastPercent;
  if (percent != g_lastPercent) InvalidateRect(dialog->GetDlgItem(kProgressBar), nullptr, FALSE);
  g_lastPercent = percent;
  record.lastTick = now;
}

void DestroyProgressWindow(ProgressRecord& record) {
  if (record.dialog && record.dialog->HasWindow()) record.dialog->DestroyWindow();
  record.dialog.reset();
  record.window = nullptr;
  if (g_newest == &record) g_newest = nullptr;
}

}  // namespace dravo

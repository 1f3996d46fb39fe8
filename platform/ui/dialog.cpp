#include "platform/ui/dialog.h"

#include <climits>
#include <cstdlib>

#include "platform/ui/backend.h"
#include "platform/ui/messagebox.h"

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const int64_t half = std::llabs(static_cast<int64_t>(c)) / 2;
  const int64_t result = ((product < 0) != (c < 0)) ? (product - half) / c : (product + half) / c;
  if (result > INT_MAX || result < INT_MIN) return -1;
  return static_cast<int>(result);
}

namespace winport::ui {
namespace {

ControlTemplate Make(int id, const std::string& text, const char* className, DWORD style, int x, int y, int cx,
                     int cy) {
  ControlTemplate c;
  c.id = id;
  c.className = className;
  c.text = text;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  c.style = WS_CHILD | WS_VISIBLE | style;
  return c;
}

}  // namespace

ControlTemplate LText(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, text, kStaticClass, SS_LEFT | WS_GROUP | style, x, y, cx, cy);
}
ControlTemplate CText(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, text, kStaticClass, SS_CENTER | WS_GROUP | style, x, y, cx, cy);
}
ControlTemplate RText(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, text, kStaticClass, SS_RIGHT | WS_GROUP | style, x, y, cx, cy);
}
ControlTemplate PushButton(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, text, kButtonClass, BS_PUSHBUTTON | WS_TABSTOP | style, x, y, cx, cy);
}
ControlTemplate DefPushButton(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, text, kButtonClass, BS_DEFPUSHBUTTON | WS_TABSTOP | style, x, y, cx, cy);
}
ControlTemplate CheckBox(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, text, kButtonClass, BS_AUTOCHECKBOX | WS_TABSTOP | style, x, y, cx, cy);
}
ControlTemplate GroupBox(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, text, kButtonClass, BS_GROUPBOX | style, x, y, cx, cy);
}
ControlTemplate EditText(int id, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, "", kEditClass, ES_LEFT | WS_BORDER | WS_TABSTOP | style, x, y, cx, cy);
}
ControlTemplate ListBox(int id, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, "", kListBoxClass, LBS_NOTIFY | WS_BORDER | style, x, y, cx, cy);
}
ControlTemplate ComboBox(int id, int x, int y, int cx, int cy, DWORD style) {
  return Make(id, "", kComboBoxClass, style, x, y, cx, cy);
}
ControlTemplate Control(int id, const std::string& text, const std::string& className, DWORD style, int x, int y,
                        int cx, int cy) {
  ControlTemplate c = Make(id, text, "", 0, x, y, cx, cy);
  c.className = className;
  c.style = WS_CHILD | style;
  return c;
}

int AverageCharWidth(int widthOf52Letters) { return (widthOf52Letters / 26 + 1) / 2; }

RECT MapDialogUnits(const RECT& units, int baseX, int baseY) {
  return RECT{MulDiv(units.left, baseX, 4), MulDiv(units.top, baseY, 8), MulDiv(units.right, baseX, 4),
              MulDiv(units.bottom, baseY, 8)};
}

RECT PlaceControl(int x, int y, int cx, int cy, int baseX, int baseY) {
  const LONG left = MulDiv(x, baseX, 4), top = MulDiv(y, baseY, 8);
  return RECT{left, top, left + MulDiv(cx, baseX, 4), top + MulDiv(cy, baseY, 8)};
}

}  // namespace winport::ui

using winport::ui::ControlState;

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
  if (dx->m_bSaveAndValidate)
    value = dx->m_pDlgWnd->GetDlgItemText(id);
  else
    dx->m_pDlgWnd->SetDlgItemText(id, value);
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  if (dx->m_bSaveAndValidate)
    value = static_cast<int>(dx->m_pDlgWnd->IsDlgButtonChecked(id));
  else
    dx->m_pDlgWnd->CheckDlgButton(id, static_cast<UINT>(value));
}

CDialog::CDialog(winport::ui::DialogTemplate dialog, HWND parent) : m_template(std::move(dialog)), m_parent(parent) {}

CDialog::~CDialog() { DestroyWindow(); }

INT_PTR CDialog::DoModal() {
  if (HasWindow()) return -1;
  return winport::ui::CurrentBackend().RunModalDialog(*this);
}

BOOL CDialog::Create(HWND parent) {
  if (HasWindow()) return FALSE;
  if (parent) m_parent = parent;
  return winport::ui::CurrentBackend().ShowModelessDialog(*this) ? TRUE : FALSE;
}

BOOL CDialog::DestroyWindow() {
  if (!HasWindow()) return FALSE;
  if (!m_ended) {
    m_ended = true;
    m_result = IDCANCEL;
  }
  if (m_view) m_view->Close();
  EndWindow();
  return TRUE;
}

void CDialog::EndDialog(int result) {
  if (!HasWindow() || m_ended) return;
  m_ended = true;
  m_result = result;
  if (m_modeless) {
    DestroyWindow();
    return;
  }
  if (m_view) m_view->Close();
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(int id, UINT code) {
  if (code != BN_CLICKED) return FALSE;
  if (id == IDOK) {
    OnOK();
    return TRUE;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

BOOL CDialog::OnNotify(int, UINT) { return FALSE; }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return dx.Failed() ? FALSE : TRUE;
}

ControlState* CDialog::FindControl(int id) {
  for (ControlState& c : m_controls)
    if (c.control->id == id) return &c;
  return nullptr;
}

const ControlState* CDialog::FindControl(int id) const {
  for (const ControlState& c : m_controls)
    if (c.control->id == id) return &c;
  return nullptr;
}

void CDialog::Changed(const ControlState* state) {
  if (m_view && state) m_view->ControlChanged(static_cast<size_t>(state - m_controls.data()));
}

void CDialog::SetDlgItemText(int id, const std::string& text) {
  if (ControlState* c = FindControl(id)) {
    c->text = text;
    Changed(c);
  }
}

std::string CDialog::GetDlgItemText(int id) const {
  const ControlState* c = FindControl(id);
  return c ? c->text : std::string();
}

void CDialog::CheckDlgButton(int id, UINT check) {
  if (ControlState* c = FindControl(id)) {
    c->checked = check;
    Changed(c);
  }
}

UINT CDialog::IsDlgButtonChecked(int id) const {
  const ControlState* c = FindControl(id);
  return c ? c->checked : BST_UNCHECKED;
}

void CDialog::EnableDlgItem(int id, BOOL enable) {
  if (ControlState* c = FindControl(id)) {
    c->enabled = enable != FALSE;
    Changed(c);
  }
}

BOOL CDialog::IsDlgItemEnabled(int id) const {
  const ControlState* c = FindControl(id);
  return c && c->enabled ? TRUE : FALSE;
}

void CDialog::ShowDlgItem(int id, BOOL show) {
  if (ControlState* c = FindControl(id)) {
    c->visible = show != FALSE;
    Changed(c);
  }
}

HWND CDialog::GetDlgItem(int id) const {
  const ControlState* c = FindControl(id);
  return c ? c->hwnd : nullptr;
}

int CDialog::AddString(int id, const std::string& text) {
  ControlState* c = FindControl(id);
  if (!c) return -1;
  c->items.push_back(text);
  Changed(c);
  return static_cast<int>(c->items.size()) - 1;
}

void CDialog::DeleteString(int id, int index) {
  ControlState* c = FindControl(id);
  if (!c || index < 0 || static_cast<size_t>(index) >= c->items.size()) return;
  c->items.erase(c->items.begin() + index);
  if (c->selection == index)
    c->selection = -1;
  else if (c->selection > index)
    --c->selection;
  Changed(c);
}

void CDialog::ResetContent(int id) {
  if (ControlState* c = FindControl(id)) {
    c->items.clear();
    c->selection = -1;
    Changed(c);
  }
}

int CDialog::GetCount(int id) const {
  const ControlState* c = FindControl(id);
  return c ? static_cast<int>(c->items.size()) : 0;
}

std::string CDialog::GetItemText(int id, int index) const {
  const ControlState* c = FindControl(id);
  if (!c || index < 0 || static_cast<size_t>(index) >= c->items.size()) return {};
  return c->items[static_cast<size_t>(index)];
}

void CDialog::SetCurSel(int id, int index) {
  ControlState* c = FindControl(id);
  if (!c || index < -1 || (index >= 0 && static_cast<size_t>(index) >= c->items.size())) return;
  c->selection = index;
  Changed(c);
}

int CDialog::GetCurSel(int id) const {
  const ControlState* c = FindControl(id);
  return c ? c->selection : -1;
}

void CDialog::SetRange(int id, int low, int high) {
  if (ControlState* c = FindControl(id)) {
    c->rangeMin = low;
    c->rangeMax = high;
    Changed(c);
  }
}

void CDialog::SetPos(int id, int position) {
  if (ControlState* c = FindControl(id)) {
    c->position = position;
    Changed(c);
  }
}

int CDialog::GetPos(int id) const {
  const ControlState* c = FindControl(id);
  return c ? c->position : 0;
}

void CDialog::SetWindowText(const std::string& caption) {
  m_caption = caption;
  if (m_view) m_view->CaptionChanged();
}

void CDialog::BeginWindow(winport::ui::DialogView* view, bool modeless) {
  m_modeless = modeless;
  m_ended = false;
  m_result = -1;
  m_caption = m_template.caption;
  m_hWnd = winport::ui::CreateWindowHandle(IsWindow(m_parent) ? m_parent : nullptr);
  m_controls.clear();
  m_controls.reserve(m_template.controls.size());
  for (const winport::ui::ControlTemplate& t : m_template.controls) {
    ControlState c;
    c.control = &t;
    c.hwnd = winport::ui::CreateWindowHandle(m_hWnd);
    c.text = t.text;
    c.enabled = (t.style & WS_DISABLED) == 0;
    c.visible = (t.style & WS_VISIBLE) != 0;
    m_controls.push_back(std::move(c));
  }
  m_view = view;
}

BOOL CDialog::InitDialog() { return OnInitDialog(); }

void CDialog::EndWindow() {
  if (!m_hWnd) return;
  m_view = nullptr;
  winport::ui::DestroyWindowHandle(m_hWnd);
  m_hWnd = nullptr;
  for (ControlState& c : m_controls) c.hwnd = nullptr;
}

void CDialog::SendCommand(int id, UINT code) {
  if (!HasWindow() || m_ended) return;
  OnCommand(id, code);
}

void CDialog::SendNotify(int id, UINT code) {
  if (!HasWindow() || m_ended) return;
  OnNotify(id, code);
}

#include "platform/ui/dialog.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>

#include "platform/ui/backend.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"

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

void DDX_Text(CDataExchange* dx, int id, double& value) {
  if (!dx->m_bSaveAndValidate) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    dx->m_pDlgWnd->SetDlgItemText(id, std::string(buffer, r.ptr));
    return;
  }
  const std::string text = dx->m_pDlgWnd->GetDlgItemText(id);
  size_t begin = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  double parsed = 0;
  bool ok = begin != std::string::npos;
  if (ok && text[begin] == '+') ++begin;
  if (ok && begin <= end) {
    const auto r = std::from_chars(text.data() + begin, text.data() + end + 1, parsed);
    ok = r.ec == std::errc() && r.ptr == text.data() + end + 1;
  } else {
    ok = false;
  }
  if (ok) {
    value = parsed;
    return;
  }
  const std::string& caption = dx->m_pDlgWnd->BoxCaption();
  MessageBoxA(dx->m_pDlgWnd->GetSafeHwnd(), "Bitte geben Sie eine Zahl ein.",
              caption.empty() ? winport::ui::ApplicationName().c_str() : caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
  dx->Fail();
}

void DDX_Control(CDataExchange* dx, int id, CControl& control) {
  if (control.GetParent() != dx->m_pDlgWnd || control.GetDlgCtrlID() != id) control.SubclassDlgItem(id, dx->m_pDlgWnd);
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

BOOL CDialog::OnNotify(int id, NMHDR* header, LRESULT*) { return OnNotify(id, header->code); }

BOOL CDialog::OnNotify(int, UINT) { return FALSE; }

void CDialog::OnSize(UINT, int, int) {}

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

RECT CDialog::GetDlgItemRect(int id) const {
  const ControlState* c = FindControl(id);
  return c && c->hwnd ? winport::ui::StoredWindowRect(c->hwnd) : RECT{0, 0, 0, 0};
}

void CDialog::MoveDlgItem(int id, const RECT& r) {
  if (const ControlState* c = FindControl(id); c && c->hwnd)
    ::MoveWindow(c->hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
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
  const HWND parent = IsWindow(m_parent) ? m_parent : nullptr;
  m_hWnd = winport::ui::CreateWindowHandle(parent);
  m_units = winport::ui::CurrentBackend().DialogUnits(m_template);
  // The dialog's place: centred on the screen (DS_CENTER) or at the template's
  // place from the owner's corner (the screen's without one).
  const RECT size = winport::ui::PlaceControl(0, 0, m_template.cx, m_template.cy, m_units.x, m_units.y);
  RECT place = winport::ui::PlaceControl(m_template.x, m_template.y, m_template.cx, m_template.cy, m_units.x,
                                         m_units.y);
  if (m_template.style & DS_CENTER) {
    place.left = (GetSystemMetrics(SM_CXFULLSCREEN) - size.right) / 2;
    place.top = (GetSystemMetrics(SM_CYFULLSCREEN) - size.bottom) / 2;
  } else if (RECT owner; parent && ::GetWindowRect(parent, &owner)) {
    OffsetRect(&place, owner.left, owner.top);
  }
  place.right = place.left + size.right;
  place.bottom = place.top + size.bottom;
  winport::ui::StoreWindowRect(m_hWnd, place);
  winport::ui::SetWindowHandler(m_hWnd, this);
  m_controls.clear();
  m_controls.reserve(m_template.controls.size());
  for (const winport::ui::ControlTemplate& t : m_template.controls) {
    ControlState c;
    c.control = &t;
    c.hwnd = winport::ui::CreateWindowHandle(m_hWnd);
    c.text = t.text;
    c.enabled = (t.style & WS_DISABLED) == 0;
    c.visible = (t.style & WS_VISIBLE) != 0;
    winport::ui::StoreWindowRect(c.hwnd, winport::ui::PlaceControl(t.x, t.y, t.cx, t.cy, m_units.x, m_units.y));
    m_controls.push_back(std::move(c));
  }
  m_view = view;
}

BOOL CDialog::InitDialog() { return OnInitDialog(); }

void CDialog::EndWindow() {
  if (!m_hWnd) return;
  m_view = nullptr;
  for (auto& [id, control] : m_bound) control->m_pParent = nullptr;
  m_bound.clear();
  winport::ui::DestroyWindowHandle(m_hWnd);
  m_hWnd = nullptr;
  for (ControlState& c : m_controls) c.hwnd = nullptr;
}

void CDialog::SendCommand(int id, UINT code) {
  if (!HasWindow() || m_ended) return;
  OnCommand(id, code);
}

void CDialog::SendNotify(int id, UINT code) {
  NMHDR header{nullptr, 0, code};
  SendNotify(id, &header);
}

LRESULT CDialog::SendNotify(int id, NMHDR* header) {
  if (!HasWindow() || m_ended || !header) return 0;
  header->hwndFrom = GetDlgItem(id);
  header->idFrom = static_cast<UINT_PTR>(id);
  LRESULT result = 0;
  if (CControl* control = BoundControl(id); control && control->OnChildNotify(header->code, header, &result))
    return result;
  OnNotify(id, header, &result);
  return result;
}

LRESULT CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: SendCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      return header ? SendNotify(static_cast<int>(header->idFrom), header) : 0;
    }
    case WM_SIZE:
      if (HasWindow()) OnSize(static_cast<UINT>(wParam), LOWORD(static_cast<UINT_PTR>(lParam)),
                              HIWORD(static_cast<UINT_PTR>(lParam)));
      return 0;
    case WM_CLOSE: SendCommand(IDCANCEL, BN_CLICKED); return 0;
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      return HasWindow() && item ? OnDrawItem(static_cast<int>(wParam), item) : FALSE;
    }
    default: return 0;
  }
}

BOOL CDialog::OnDrawItem(int, DRAWITEMSTRUCT*) { return FALSE; }

bool CDialog::ChildInvalidated(HWND child) {
  for (size_t i = 0; i < m_controls.size(); ++i) {
    if (m_controls[i].hwnd != child) continue;
    if (m_view) m_view->ControlInvalidated(i);
    return true;
  }
  return false;
}

namespace winport::ui {

bool IsOwnerDrawn(const ControlTemplate& control) {
  return EqualsNoCase(control.className, kButtonClass) && (control.style & BS_TYPEMASK) == BS_OWNERDRAW;
}

void PaintOwnerDrawn(CDialog& dialog, size_t index, Surface& surface) {
  if (!dialog.HasWindow() || index >= dialog.Controls().size()) return;
  const ControlState& control = dialog.Controls()[index];
  PaintContext context(surface);
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = static_cast<UINT>(control.control->id);
  item.itemAction = ODA_DRAWENTIRE;
  item.hwndItem = control.hwnd;
  item.hDC = context.Handle();
  GetClientRect(control.hwnd, &item.rcItem);
  dialog.HandleMessage(WM_DRAWITEM, static_cast<WPARAM>(control.control->id), reinterpret_cast<LPARAM>(&item));
}

}  // namespace winport::ui

CControl* CDialog::BoundControl(int id) const {
  for (const auto& [boundId, control] : m_bound)
    if (boundId == id) return control;
  return nullptr;
}

void CDialog::ControlUpdated(const ControlState* state, winport::ui::ControlChange change, intptr_t arg) {
  if (m_view && state) m_view->ControlDetail(static_cast<size_t>(state - m_controls.data()), change, arg);
}

BOOL CDialog::GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
BOOL CDialog::GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
BOOL CDialog::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
  return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}
BOOL CDialog::MoveWindow(const RECT& r, BOOL repaint) {
  return MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
}

CControl::~CControl() { UnsubclassWindow(); }

BOOL CControl::SubclassDlgItem(int id, CDialog* parent) {
  UnsubclassWindow();
  if (!parent || !parent->HasWindow() || !parent->FindControl(id) || parent->BoundControl(id)) return FALSE;
  m_pParent = parent;
  m_id = id;
  parent->m_bound.emplace_back(id, this);
  return TRUE;
}

void CControl::UnsubclassWindow() {
  if (m_pParent) std::erase_if(m_pParent->m_bound, [this](const auto& b) { return b.second == this; });
  m_pParent = nullptr;
}

HWND CControl::GetSafeHwnd() const { return m_pParent ? m_pParent->GetDlgItem(m_id) : nullptr; }

DWORD CControl::GetStyle() const {
  const ControlState* s = State();
  return s ? s->control->style : 0;
}

BOOL CControl::OnChildNotify(UINT, NMHDR*, LRESULT*) { return FALSE; }

ControlState* CControl::State() const { return m_pParent ? m_pParent->FindControl(m_id) : nullptr; }

void CControl::Updated(winport::ui::ControlChange change, intptr_t arg) const {
  if (m_pParent) m_pParent->ControlUpdated(State(), change, arg);
}

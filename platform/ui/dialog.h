// Dialogs drawn from resource tables.
//
// A DialogTemplate is a dialog resource: caption, size and controls, each
// placed in dialog units (horizontally a quarter of the dialog font's average
// character width, vertically an eighth of its height). CDialog is the
// framework's dialog class: a program derives from it, binds members to
// controls in DoDataExchange and handles OnInitDialog, OnOK, OnCancel and the
// commands of its controls. The installed backend shows the dialog: the Qt
// backend draws it, the headless backend records it and answers from a test's
// script (see headless.h).
//
// While the dialog is shown, CDialog keeps the state of every control (text,
// check, items, selection, range); the program's calls change that state and
// tell the backend, and the backend writes what the user does back into it.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/gdi.h"
#include "platform/ui/messagebox.h"  // the result ids IDOK, IDCANCEL, ...
#include "platform/ui/window.h"

// Window styles.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
// Dialog styles.
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_CENTER = 0x0800;
// Button styles.
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_OWNERDRAW = 0xB;
constexpr DWORD BS_TYPEMASK = 0xF;
// Static styles.
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD SS_BLACKFRAME = 0x7;
constexpr DWORD SS_GRAYFRAME = 0x8;
constexpr DWORD SS_WHITEFRAME = 0x9;
constexpr DWORD SS_LEFTNOWORDWRAP = 0xC;
constexpr DWORD SS_ETCHEDFRAME = 0x12;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_NOPREFIX = 0x80;
constexpr DWORD SS_SUNKEN = 0x1000;
// Edit styles.
constexpr DWORD ES_LEFT = 0x0;
constexpr DWORD ES_CENTER = 0x1;
constexpr DWORD ES_RIGHT = 0x2;
constexpr DWORD ES_MULTILINE = 0x4;
constexpr DWORD ES_AUTOVSCROLL = 0x40;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD ES_READONLY = 0x800;
constexpr DWORD ES_WANTRETURN = 0x1000;
// List box and combo box styles.
constexpr DWORD LBS_NOTIFY = 0x1;
constexpr DWORD LBS_SORT = 0x2;
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x100;
constexpr DWORD CBS_DROPDOWN = 0x2;
constexpr DWORD CBS_DROPDOWNLIST = 0x3;

// Notification codes of WM_COMMAND (its high word) and of WM_NOTIFY.
constexpr UINT BN_CLICKED = 0;
constexpr UINT LBN_SELCHANGE = 1;
constexpr UINT LBN_DBLCLK = 2;
constexpr UINT CBN_SELCHANGE = 1;
constexpr UINT EN_CHANGE = 0x0300;
constexpr UINT TCN_SELCHANGE = static_cast<UINT>(-551);

// WM_DRAWITEM: the owner-drawn control's id in wParam, its DRAWITEMSTRUCT in lParam.
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODA_DRAWENTIRE = 0x0001;

struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;  // the control's client area
  UINT_PTR itemData;
};

// Check states.
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// The id of controls that no code addresses.
constexpr int IDC_STATIC = -1;

// Windows' rounding multiply-divide: a * b / c rounded half away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

namespace winport::ui {

// Control classes of dialog resources.
inline constexpr const char* kButtonClass = "BUTTON";
inline constexpr const char* kStaticClass = "STATIC";
inline constexpr const char* kEditClass = "EDIT";
inline constexpr const char* kListBoxClass = "LISTBOX";
inline constexpr const char* kComboBoxClass = "COMBOBOX";
inline constexpr const char* kProgressClass = "msctls_progress32";
inline constexpr const char* kTabControlClass = "SysTabControl32";

// One control of a dialog resource; the rectangle in dialog units.
struct ControlTemplate {
  int id = IDC_STATIC;
  std::string className;
  std::string text;  // ANSI
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = WS_CHILD | WS_VISIBLE;
};

// A dialog resource; the size is the client area's, in dialog units.
struct DialogTemplate {
  int id = 0;
  std::string caption;  // ANSI
  int x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  std::string fontName = "MS Sans Serif";
  int pointSize = 8;
  std::vector<ControlTemplate> controls;
};

// A dialog font's base units: its average character width and its height in pixels.
struct BaseUnits {
  int x;
  int y;
};

// The resource statements that make controls, with the styles the resource
// compiler gives them (visible child windows; buttons and edits take the tab
// stop). `style` is added to those.
ControlTemplate LText(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate CText(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate RText(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate PushButton(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate DefPushButton(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate CheckBox(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate GroupBox(int id, const std::string& text, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate EditText(int id, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate ListBox(int id, int x, int y, int cx, int cy, DWORD style = 0);
ControlTemplate ComboBox(int id, int x, int y, int cx, int cy, DWORD style = 0);
// A control of any class with exactly the style given (plus WS_CHILD).
ControlTemplate Control(int id, const std::string& text, const std::string& className, DWORD style, int x, int y,
                        int cx, int cy);

// The dialog font's average character width, as Windows measures it, from the
// width in pixels of the 52 letters A-Z and a-z.
int AverageCharWidth(int widthOf52Letters);
// Dialog units to pixels as MapDialogRect does: x * baseX / 4 and y * baseY / 8,
// each coordinate rounded as MulDiv does.
RECT MapDialogUnits(const RECT& units, int baseX, int baseY);
// Where the dialog manager puts a control of the given place and size: the
// position and the size are each converted on their own (so the right edge is
// left + MulDiv(cx, baseX, 4)).
RECT PlaceControl(int x, int y, int cx, int cy, int baseX, int baseY);

// A control's state while its dialog is shown.
struct ControlState {
  const ControlTemplate* control = nullptr;
  HWND hwnd = nullptr;
  std::string text;  // window text (ANSI)
  bool enabled = true;
  bool visible = true;
  UINT checked = BST_UNCHECKED;
  std::vector<std::string> items;  // list box, combo box and tab control entries
  int selection = -1;
  int rangeMin = 0, rangeMax = 100, position = 0;  // progress bar
  TreeModel tree;                                  // tree view
  ListModel list;                                  // report list
};

// What changed in a tree view or a report list; `arg` of ControlDetail names
// the item (a HTREEITEM) or the column where one is concerned.
enum class ControlChange {
  TreeInserted,   // arg: the new item
  TreeCleared,    // every item deleted
  TreeItem,       // arg: the item whose text, data or expansion changed
  TreeSelection,  // the selected item
  TreeScrolled,   // arg: the item to bring into view
  ListColumns,    // columns inserted, deleted or retitled
  ListColumnWidth,  // arg: the column
  ListCount,      // the item count
  ListRedraw,     // every cell is to be asked for again
  ListSelection,
  ListScrolled,
};

// What a backend shows for a dialog: the dialog tells it what its code changed.
class DialogView {
 public:
  virtual ~DialogView() = default;
  virtual void ControlChanged(size_t index) = 0;
  // A finer change of a tree or list; by default the whole control is shown again.
  virtual void ControlDetail(size_t index, ControlChange, intptr_t) { ControlChanged(index); }
  // The tree item at a point of the control's client area, as drawn; false
  // when the backend draws no tree (the model's own layout answers then).
  virtual bool TreeHitTest(size_t, POINT, HTREEITEM&) { return false; }
  // An owner-drawn control is to be painted again (InvalidateRect); a backend
  // that paints it calls PaintOwnerDrawn, now or at its next paint.
  virtual void ControlInvalidated(size_t) {}
  // A text's width in pixels in the control's font; -1 when the backend draws
  // no text (an estimate from the dialog units is taken then).
  virtual int TextWidth(size_t, const std::string&) { return -1; }
  virtual void CaptionChanged() = 0;
  // The dialog ended (EndDialog) or its window is destroyed: the backend ends
  // the modal run, or takes a modeless window away. It calls nothing of the
  // dialog from then on.
  virtual void Close() = 0;
};

}  // namespace winport::ui

class CDialog;

namespace winport::ui {

// Paints an owner-drawn control of a shown dialog on `surface`: the dialog
// receives WM_DRAWITEM (ODA_DRAWENTIRE) with a device context over it and
// the control's client rectangle.
void PaintOwnerDrawn(CDialog& dialog, size_t index, Surface& surface);
// Whether the control is one its dialog paints (an owner-drawn button).
bool IsOwnerDrawn(const ControlTemplate& control);

}  // namespace winport::ui

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
  // Marks the exchange as failed (a field that does not validate).
  void Fail() { m_failed = true; }
  bool Failed() const { return m_failed; }

  BOOL m_bSaveAndValidate;  // TRUE: controls -> members
  CDialog* m_pDlgWnd;

 private:
  bool m_failed = false;
};

class CControl;

void DDX_Text(CDataExchange* dx, int id, std::string& value);
// A number: shown as "%.15g"; taken back from a text that is a number (blanks
// around it allowed), otherwise the box "Bitte geben Sie eine Zahl ein." and
// the exchange fails, so the dialog stays open.
void DDX_Text(CDataExchange* dx, int id, double& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
// Binds a control object to the control with this id (once).
void DDX_Control(CDataExchange* dx, int id, CControl& control);

class CDialog : public winport::ui::WindowHandler {
 public:
  explicit CDialog(winport::ui::DialogTemplate dialog, HWND parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Shows the dialog modally; the result given to EndDialog, -1 when it cannot be shown.
  virtual INT_PTR DoModal();
  // Shows the dialog without waiting; it stays until DestroyWindow (or EndDialog).
  BOOL Create(HWND parent = nullptr);
  BOOL DestroyWindow();
  void EndDialog(int result);

  // Base: UpdateData(FALSE); TRUE.
  virtual BOOL OnInitDialog();
  // Base: UpdateData(TRUE) and, when it succeeds, EndDialog(IDOK).
  virtual void OnOK();
  // Base: EndDialog(IDCANCEL).
  virtual void OnCancel();
  // A control's command. Base: IDOK goes to OnOK, IDCANCEL to OnCancel (TRUE);
  // anything else is not handled (FALSE).
  virtual BOOL OnCommand(int id, UINT code);
  // A common control's notification that no control object took (see
  // CControl); `result` is what the sender receives. Base: OnNotify(id, code).
  virtual BOOL OnNotify(int id, NMHDR* header, LRESULT* result);
  // Base: not handled.
  virtual BOOL OnNotify(int id, UINT code);
  // WM_SIZE: the dialog's new client size. Base: nothing.
  virtual void OnSize(UINT type, int cx, int cy);
  // WM_DRAWITEM of an owner-drawn control. Base: not handled (FALSE).
  virtual BOOL OnDrawItem(int id, DRAWITEMSTRUCT* item);
  virtual void DoDataExchange(CDataExchange* dx);
  // FALSE: members -> controls; TRUE: controls -> members. FALSE when a field fails.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  // Controls (no effect for an id that the dialog lacks or while it is not shown).
  void SetDlgItemText(int id, const std::string& text);
  std::string GetDlgItemText(int id) const;
  void CheckDlgButton(int id, UINT check);
  UINT IsDlgButtonChecked(int id) const;
  void EnableDlgItem(int id, BOOL enable);
  BOOL IsDlgItemEnabled(int id) const;
  void ShowDlgItem(int id, BOOL show);
  HWND GetDlgItem(int id) const;
  // A control's rectangle in the dialog's client coordinates; empty for an unknown id.
  RECT GetDlgItemRect(int id) const;
  // Places a control (the dialog's client coordinates); no effect for an unknown id.
  void MoveDlgItem(int id, const RECT& rect);
  // List box, combo box and tab control entries; AddString returns the new index.
  int AddString(int id, const std::string& text);
  void DeleteString(int id, int index);
  void ResetContent(int id);
  int GetCount(int id) const;
  std::string GetItemText(int id, int index) const;
  // -1 clears the selection; an index past the entries changes nothing.
  void SetCurSel(int id, int index);
  int GetCurSel(int id) const;
  // Progress bars.
  void SetRange(int id, int low, int high);
  void SetPos(int id, int position);
  int GetPos(int id) const;

  void SetWindowText(const std::string& caption);
  std::string GetWindowText() const { return m_caption; }
  // The caption of the boxes the dialog's own checks show (a field that is no
  // number): the name of the module that owns the dialog; empty for the
  // application's name.
  void SetBoxCaption(std::string caption) { m_boxCaption = std::move(caption); }
  const std::string& BoxCaption() const { return m_boxCaption; }
  // The dialog's rectangle in screen coordinates; MoveWindow places it there.
  BOOL GetWindowRect(RECT* rect) const;
  BOOL GetClientRect(RECT* rect) const;
  BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  BOOL MoveWindow(const RECT& rect, BOOL repaint = TRUE);
  HWND GetSafeHwnd() const { return m_hWnd; }
  HWND GetParentHwnd() const { return m_parent; }
  const winport::ui::DialogTemplate& Template() const { return m_template; }
  bool IsModeless() const { return m_modeless; }
  bool IsEnded() const { return m_ended; }
  INT_PTR GetResult() const { return m_result; }

  // For backends: the window's life. BeginWindow makes the window handles and
  // the control states from the template and attaches the view; InitDialog
  // runs OnInitDialog; EndWindow detaches the view and frees the handles.
  void BeginWindow(winport::ui::DialogView* view, bool modeless);
  BOOL InitDialog();
  void EndWindow();
  bool HasWindow() const { return m_hWnd != nullptr; }
  // What the user did: commands and notifications as the controls send them.
  // A notification goes to the control object bound to the control first.
  void SendCommand(int id, UINT code);
  void SendNotify(int id, UINT code);
  // The header's sender fields are filled in; returns the handler's result.
  LRESULT SendNotify(int id, NMHDR* header);
  // SendMessageA's delivery: WM_COMMAND, WM_NOTIFY, WM_SIZE, WM_CLOSE, WM_DRAWITEM.
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // InvalidateRect of one of the controls: tells the backend.
  bool ChildInvalidated(HWND child) override;
  // The control object bound to a control; nullptr when none.
  CControl* BoundControl(int id) const;
  // A control's state was changed by a control object: tells the backend.
  void ControlUpdated(const winport::ui::ControlState* state, winport::ui::ControlChange change, intptr_t arg = 0);
  // The dialog's view (while it has a window); nullptr otherwise.
  winport::ui::DialogView* View() const { return m_view; }
  // The dialog's base units, as its backend measured them when the window was made.
  winport::ui::BaseUnits Units() const { return m_units; }
  std::vector<winport::ui::ControlState>& Controls() { return m_controls; }
  const std::vector<winport::ui::ControlState>& Controls() const { return m_controls; }
  // The state of the first control with this id; nullptr when none.
  winport::ui::ControlState* FindControl(int id);
  const winport::ui::ControlState* FindControl(int id) const;

 private:
  friend class CControl;
  void Changed(const winport::ui::ControlState* state);

  winport::ui::DialogTemplate m_template;
  HWND m_parent;
  HWND m_hWnd = nullptr;
  std::string m_caption;
  std::string m_boxCaption;
  std::vector<winport::ui::ControlState> m_controls;
  winport::ui::DialogView* m_view = nullptr;
  bool m_modeless = false;
  bool m_ended = false;
  INT_PTR m_result = -1;
  winport::ui::BaseUnits m_units{6, 13};
  std::vector<std::pair<int, CControl*>> m_bound;
};

// A control object that a dialog binds to one of its controls
// (SubclassDlgItem, DDX_Control): it works on that control's state and is
// offered the control's notifications before the dialog is (as reflected
// notifications are). It unbinds itself when destroyed or when the dialog's
// window ends.
class CControl {
 public:
  CControl() = default;
  virtual ~CControl();
  CControl(const CControl&) = delete;
  CControl& operator=(const CControl&) = delete;

  BOOL SubclassDlgItem(int id, CDialog* parent);
  void UnsubclassWindow();
  int GetDlgCtrlID() const { return m_id; }
  CDialog* GetParent() const { return m_pParent; }
  HWND GetSafeHwnd() const;
  BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(GetSafeHwnd(), rect); }
  BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(GetSafeHwnd(), rect); }
  BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
    return ::MoveWindow(GetSafeHwnd(), x, y, width, height, repaint);
  }
  BOOL MoveWindow(const RECT& r, BOOL repaint = TRUE) {
    return MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
  }
  DWORD GetStyle() const;

  // A notification of the control; TRUE when handled (the dialog then does not see it).
  virtual BOOL OnChildNotify(UINT code, NMHDR* header, LRESULT* result);

 protected:
  // The control's state; nullptr while not bound to a shown dialog.
  winport::ui::ControlState* State() const;
  void Updated(winport::ui::ControlChange change, intptr_t arg = 0) const;

 private:
  friend class CDialog;
  CDialog* m_pParent = nullptr;
  int m_id = 0;
};

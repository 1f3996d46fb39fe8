// Windows, the message queue, the keyboard poll and the wait cursor.
//
// Window handles are allocated here for whatever backend draws the windows; the
// queue is one per process. Before PeekMessageA looks at the queue it lets the
// backend post the input it has gathered (a Qt backend turns key presses on its
// windows into WM_KEYDOWN messages; the headless backend runs a test's hook).
#pragma once

#include "platform/win32/types.h"

struct HWND__;
using HWND = HWND__*;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using INT_PTR = LONG_PTR;

struct POINT {
  LONG x;
  LONG y;
};

struct SIZE {
  LONG cx;
  LONG cy;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_KEYFIRST = 0x0100;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_KEYLAST = 0x0109;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;

// WM_SIZE's wParam.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// GetSystemMetrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CMONITORS = 80;

constexpr WORD LOWORD(UINT_PTR v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(UINT_PTR v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) { return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<UINT>(low) | (static_cast<UINT>(high) << 16));
}

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;

// Window handles: a handle names a window and knows its parent.
BOOL IsWindow(HWND window);
// True when `child` lies below `parent` (at any depth).
BOOL IsChild(HWND parent, HWND child);
HWND GetParent(HWND window);
HWND GetActiveWindow();
// Returns the previously active window.
HWND SetActiveWindow(HWND window);

// Window rectangles. A window has no frame or caption of its own here: its
// rectangle is its client area. GetWindowRect gives screen coordinates;
// MoveWindow takes them for a top-level window and the parent's client
// coordinates for a child. A change of size sends WM_SIZE (SIZE_RESTORED,
// client width and height) to the window, as Windows does.
BOOL GetWindowRect(HWND window, RECT* rect);
// (0, 0, width, height).
BOOL GetClientRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL ScreenToClient(HWND window, POINT* point);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL OffsetRect(RECT* rect, int dx, int dy);
// Where the mouse was at the last click that the backend delivered.
BOOL GetCursorPos(POINT* point);
// Screen sizes and the number of monitors, as the backend reports them (the
// headless backend: one monitor of 1920 x 1080, 1920 x 1017 without the task
// bar and a caption); 0 for any other index.
int GetSystemMetrics(int index);

// Asks for a control of a dialog to be painted again (the rectangle and the
// erase flag aside: the whole control is): an owner-drawn one gets its
// WM_DRAWITEM, at once (headless) or when the backend next paints (Qt).
// FALSE for a window that lies in no dialog.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// Delivers a message to the window's handler at once and returns its result;
// 0 for a window without one. Dialogs take WM_COMMAND, WM_NOTIFY, WM_SIZE and WM_CLOSE.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Takes (PM_REMOVE) or looks at (PM_NOREMOVE) the oldest message for `window`
// or a window below it (NULL: any message) whose number lies in [first, last]
// (both 0: any number; WM_QUIT passes every number filter). FALSE when there is none.
BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// A WM_KEYDOWN of a key that types a character (Escape, Return, Backspace, Tab,
// space, digits, letters as lower case) posts the WM_CHAR for it; returns
// whether it did.
BOOL TranslateMessage(const MSG* msg);
// Hands the message to the backend (which delivers it to the window it draws).
LRESULT DispatchMessageA(const MSG* msg);

// High bit set while the key is down, as the backend reports it.
SHORT GetAsyncKeyState(int virtualKey);

// The wait cursor shows from the first BeginWaitCursor to the matching last
// EndWaitCursor; an EndWaitCursor without a Begin does nothing.
void BeginWaitCursor();
void EndWaitCursor();

class CWaitCursor {
 public:
  CWaitCursor() { BeginWaitCursor(); }
  ~CWaitCursor() { EndWaitCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

namespace winport::ui {

// A new window handle below `parent` (NULL: a top-level window).
HWND CreateWindowHandle(HWND parent);
// Frees the handle and those below it, and drops their queued messages.
void DestroyWindowHandle(HWND window);
// Nesting depth of the wait cursor (0: not shown).
int WaitCursorDepth();

// What receives the messages that SendMessageA delivers to a window.
class WindowHandler {
 public:
  virtual ~WindowHandler() = default;
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // InvalidateRect of a window below this one; false when it is none of ours.
  virtual bool ChildInvalidated(HWND) { return false; }
};
// Binds a handler to a window (nullptr unbinds); the window's destruction unbinds it too.
void SetWindowHandler(HWND window, WindowHandler* handler);
// For backends: records where a window is now (as MoveWindow takes it)
// without telling the backend; true when its size changed.
bool StoreWindowRect(HWND window, const RECT& rect);
// The rectangle as stored (the parent's client coordinates for a child).
RECT StoredWindowRect(HWND window);
// Sets where GetCursorPos finds the mouse (screen coordinates).
void SetCursorPosition(POINT point);

}  // namespace winport::ui

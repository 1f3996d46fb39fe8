#include "platform/ui/window.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/ui/backend.h"
#include "platform/win32/system.h"

namespace winport::ui {
namespace {

struct WindowState {
  std::mutex mutex;
  std::unordered_map<uintptr_t, uintptr_t> parents;  // window -> parent, 0 for a top-level one
  std::unordered_map<uintptr_t, RECT> rects;        // as MoveWindow takes them; none: empty at (0, 0)
  std::unordered_map<uintptr_t, WindowHandler*> handlers;
  POINT cursor{0, 0};
  uintptr_t next = 0x10000;
  HWND active = nullptr;
  std::deque<MSG> queue;
  int waitDepth = 0;

  static WindowState& Instance() {
    static WindowState* state = new WindowState;  // never destroyed: windows may go during exit
    return *state;
  }

  bool Exists(HWND window) const { return parents.count(reinterpret_cast<uintptr_t>(window)) == 1; }

  bool Below(HWND parent, HWND child) const {
    auto it = parents.find(reinterpret_cast<uintptr_t>(child));
    // Every step goes up one level, so no walk is longer than the number of windows.
    for (size_t steps = 0; it != parents.end() && it->second != 0 && steps < parents.size(); ++steps) {
      if (it->second == reinterpret_cast<uintptr_t>(parent)) return true;
      it = parents.find(it->second);
    }
    return false;
  }

  RECT Rect(uintptr_t window) const {
    const auto it = rects.find(window);
    return it == rects.end() ? RECT{0, 0, 0, 0} : it->second;
  }

  // The window's top-left corner in screen coordinates: its own place plus its parents'.
  POINT Origin(HWND window) const {
    POINT p{0, 0};
    auto it = parents.find(reinterpret_cast<uintptr_t>(window));
    for (size_t steps = 0; it != parents.end() && steps <= parents.size(); ++steps) {
      const RECT r = Rect(it->first);
      p.x += r.left;
      p.y += r.top;
      if (it->second == 0) break;
      it = parents.find(it->second);
    }
    return p;
  }

  bool Matches(const MSG& m, HWND window, UINT first, UINT last) const {
    if (window && m.hwnd != window && !Below(window, m.hwnd)) return false;
    return (first == 0 && last == 0) || m.message == WM_QUIT || (m.message >= first && m.message <= last);
  }
};

}  // namespace

HWND CreateWindowHandle(HWND parent) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (parent && !s.Exists(parent)) return nullptr;
  const uintptr_t id = s.next;
  s.next += 4;
  s.parents[id] = reinterpret_cast<uintptr_t>(parent);
  return reinterpret_cast<HWND>(id);
}

void DestroyWindowHandle(HWND window) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (!s.Exists(window)) return;
  std::vector<uintptr_t> gone;
  for (const auto& [w, parent] : s.parents)
    if (w == reinterpret_cast<uintptr_t>(window) || s.Below(window, reinterpret_cast<HWND>(w))) gone.push_back(w);
  for (uintptr_t w : gone) {
    s.parents.erase(w);
    s.rects.erase(w);
    s.handlers.erase(w);
    if (s.active == reinterpret_cast<HWND>(w)) s.active = nullptr;
  }
  std::erase_if(s.queue, [&](const MSG& m) { return m.hwnd && !s.Exists(m.hwnd); });
}

void SetWindowHandler(HWND window, WindowHandler* handler) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (!s.Exists(window)) return;
  if (handler)
    s.handlers[reinterpret_cast<uintptr_t>(window)] = handler;
  else
    s.handlers.erase(reinterpret_cast<uintptr_t>(window));
}

bool StoreWindowRect(HWND window, const RECT& rect) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (!s.Exists(window)) return false;
  const RECT old = s.Rect(reinterpret_cast<uintptr_t>(window));
  s.rects[reinterpret_cast<uintptr_t>(window)] = rect;
  return old.right - old.left != rect.right - rect.left || old.bottom - old.top != rect.bottom - rect.top;
}

RECT StoredWindowRect(HWND window) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  return s.Rect(reinterpret_cast<uintptr_t>(window));
}

void SetCursorPosition(POINT point) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  s.cursor = point;
}

int WaitCursorDepth() {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  return s.waitDepth;
}

}  // namespace winport::ui

using winport::ui::WindowState;

BOOL IsWindow(HWND window) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  return s.Exists(window);
}

BOOL IsChild(HWND parent, HWND child) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  return s.Below(parent, child);
}

HWND GetParent(HWND window) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  const auto it = s.parents.find(reinterpret_cast<uintptr_t>(window));
  return it == s.parents.end() ? nullptr : reinterpret_cast<HWND>(it->second);
}

HWND GetActiveWindow() {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  return s.active;
}

HWND SetActiveWindow(HWND window) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (window && !s.Exists(window)) return nullptr;
  const HWND previous = s.active;
  s.active = window;
  return previous;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (!s.Exists(window)) return FALSE;
  const RECT r = s.Rect(reinterpret_cast<uintptr_t>(window));
  const POINT origin = s.Origin(window);
  *rect = RECT{origin.x, origin.y, origin.x + (r.right - r.left), origin.y + (r.bottom - r.top)};
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (!s.Exists(window)) return FALSE;
  const RECT r = s.Rect(reinterpret_cast<uintptr_t>(window));
  *rect = RECT{0, 0, r.right - r.left, r.bottom - r.top};
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  if (!IsWindow(window)) return FALSE;
  const RECT rect{x, y, x + std::max(width, 0), y + std::max(height, 0)};
  const bool resized = winport::ui::StoreWindowRect(window, rect);
  winport::ui::CurrentBackend().WindowMoved(window, rect);
  if (resized)
    SendMessageA(window, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(static_cast<WORD>(rect.right - rect.left), static_cast<WORD>(rect.bottom - rect.top)));
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  RECT r;
  if (!point || !GetWindowRect(window, &r)) return FALSE;
  point->x -= r.left;
  point->y -= r.top;
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  RECT r;
  if (!point || !GetWindowRect(window, &r)) return FALSE;
  point->x += r.left;
  point->y += r.top;
  return TRUE;
}

BOOL OffsetRect(RECT* rect, int dx, int dy) {
  if (!rect) return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  *point = s.cursor;
  return TRUE;
}

int GetSystemMetrics(int index) { return winport::ui::CurrentBackend().SystemMetric(index); }

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  winport::ui::WindowHandler* handler = nullptr;
  {
    WindowState& s = WindowState::Instance();
    std::lock_guard lock(s.mutex);
    const auto it = s.handlers.find(reinterpret_cast<uintptr_t>(window));
    if (it != s.handlers.end()) handler = it->second;
  }
  return handler ? handler->HandleMessage(message, wParam, lParam) : 0;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
  const HWND parent = GetParent(window);
  winport::ui::WindowHandler* handler = nullptr;
  {
    WindowState& s = WindowState::Instance();
    std::lock_guard lock(s.mutex);
    const auto it = s.handlers.find(reinterpret_cast<uintptr_t>(parent));
    if (parent && it != s.handlers.end()) handler = it->second;
  }
  return handler && handler->ChildInvalidated(window);
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT remove) {
  if (!msg) return FALSE;
  winport::ui::CurrentBackend().ProcessEvents();  // may post; so outside the lock
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
    if (!s.Matches(*it, window, first, last)) continue;
    *msg = *it;
    if (remove & PM_REMOVE) s.queue.erase(it);
    return TRUE;
  }
  return FALSE;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowState& s = WindowState::Instance();
  std::lock_guard lock(s.mutex);
  if (window && !s.Exists(window)) return FALSE;
  s.queue.push_back(MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}});
  return TRUE;
}

void PostQuitMessage(int exitCode) { PostMessageA(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  const WPARAM key = msg->wParam;
  WPARAM ch;
  if (key == VK_BACK || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE || key == VK_SPACE ||
      (key >= '0' && key <= '9'))
    ch = key;
  else if (key >= 'A' && key <= 'Z')
    ch = key - 'A' + 'a';
  else
    return FALSE;
  return PostMessageA(msg->hwnd, WM_CHAR, ch, msg->lParam);
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg) winport::ui::CurrentBackend().Dispatch(*msg);
  return 0;
}

SHORT GetAsyncKeyState(int virtualKey) { return winport::ui::CurrentBackend().KeyState(virtualKey); }

void BeginWaitCursor() {
  WindowState& s = WindowState::Instance();
  bool show;
  {
    std::lock_guard lock(s.mutex);
    show = s.waitDepth++ == 0;
  }
  if (show) winport::ui::CurrentBackend().SetWaitCursor(true);
}

void EndWaitCursor() {
  WindowState& s = WindowState::Instance();
  bool hide;
  {
    std::lock_guard lock(s.mutex);
    if (s.waitDepth == 0) return;
    hide = --s.waitDepth == 0;
  }
  if (hide) winport::ui::CurrentBackend().SetWaitCursor(false);
}

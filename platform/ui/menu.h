// Popup menus: built in code, shown at a screen point by the backend.
#pragma once

#include <string>

#include "platform/ui/window.h"

struct HMENU__;
using HMENU = HMENU__*;

// Menu item flags.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_SEPARATOR = 0x0800;

// TrackPopupMenu flags.
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

HMENU CreatePopupMenu();
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* text);
BOOL DestroyMenu(HMENU menu);
int GetMenuItemCount(HMENU menu);
// Shows the menu at (x, y) in screen coordinates until the user chooses an
// enabled command or dismisses it. With TPM_RETURNCMD the result is the
// command chosen (0 for none); otherwise the command is sent as WM_COMMAND to
// `owner` and the result is TRUE when there was one. TPM_NONOTIFY is kept for
// the callers' sake: no notifications are sent while a menu is open here.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* ignored);

// The framework's menu object; it destroys its menu.
class CMenu {
 public:
  CMenu() = default;
  ~CMenu() { DestroyMenu(); }
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;

  BOOL CreatePopupMenu();
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const std::string& text = {});
  BOOL DestroyMenu();
  BOOL TrackPopupMenu(UINT flags, int x, int y, HWND owner) const;
  HMENU GetSafeHmenu() const { return m_hMenu; }

 private:
  HMENU m_hMenu = nullptr;
};

#include "platform/ui/menu.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/ui/backend.h"

namespace winport::ui {
namespace {

struct Menus {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::vector<MenuItem>> items;
  uintptr_t next = 0x20000;

  static Menus& Instance() {
    static Menus* menus = new Menus;  // never destroyed: menus may go during exit
    return *menus;
  }
};

}  // namespace
}  // namespace winport::ui

using winport::ui::Menus;

HMENU CreatePopupMenu() {
  Menus& m = Menus::Instance();
  std::lock_guard lock(m.mutex);
  const uintptr_t id = m.next;
  m.next += 4;
  m.items[id];
  return reinterpret_cast<HMENU>(id);
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
  Menus& m = Menus::Instance();
  std::lock_guard lock(m.mutex);
  const auto it = m.items.find(reinterpret_cast<uintptr_t>(menu));
  if (it == m.items.end()) return FALSE;
  it->second.push_back(winport::ui::MenuItem{static_cast<UINT>(id),
                                             (flags & MF_SEPARATOR) || !text ? std::string() : std::string(text),
                                             flags});
  return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
  Menus& m = Menus::Instance();
  std::lock_guard lock(m.mutex);
  return m.items.erase(reinterpret_cast<uintptr_t>(menu)) == 1 ? TRUE : FALSE;
}

int GetMenuItemCount(HMENU menu) {
  Menus& m = Menus::Instance();
  std::lock_guard lock(m.mutex);
  const auto it = m.items.find(reinterpret_cast<uintptr_t>(menu));
  return it == m.items.end() ? -1 : static_cast<int>(it->second.size());
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  winport::ui::PopupMenuRequest request;
  {
    Menus& m = Menus::Instance();
    std::lock_guard lock(m.mutex);
    const auto it = m.items.find(reinterpret_cast<uintptr_t>(menu));
    if (it == m.items.end()) return FALSE;
    request.items = it->second;
  }
  request.owner = owner;
  request.at = POINT{x, y};
  request.flags = flags;
  UINT command = winport::ui::CurrentBackend().PopupMenu(request);
  // Only an enabled command of this menu can be chosen.
  bool known = false;
  for (const winport::ui::MenuItem& item : request.items)
    if (command != 0 && item.id == command && !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED))) known = true;
  if (!known) command = 0;
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(command);
  if (command == 0) return FALSE;
  SendMessageA(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0);
  return TRUE;
}

BOOL CMenu::CreatePopupMenu() {
  DestroyMenu();
  m_hMenu = ::CreatePopupMenu();
  return m_hMenu ? TRUE : FALSE;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const std::string& text) {
  return ::AppendMenuA(m_hMenu, flags, id, text.c_str());
}

BOOL CMenu::DestroyMenu() {
  if (!m_hMenu) return FALSE;
  const BOOL ok = ::DestroyMenu(m_hMenu);
  m_hMenu = nullptr;
  return ok;
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, HWND owner) const {
  return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner, nullptr);
}

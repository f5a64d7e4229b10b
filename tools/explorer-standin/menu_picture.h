// Pictures of popup menus as PNG files. Wine's null display driver draws no menus, so the menu is
// drawn here from what GetMenuItemInfoW says of each item, laid out as a classic Windows popup menu:
// a raised frame, the menu font, the check-mark column holding the item's check-mark bitmap (the
// unchecked one; a bitmap item's own hbmpItem when it has one), etched separators, an arrow for each
// submenu, and the first submenu (and its first, and so on) opened beside its highlighted parent item.
#pragma once

#include <windows.h>

#include <string>

namespace quillan::standin {

// menus: how many menus the picture shows (the root and the opened submenus).
bool SaveMenuPicture(HMENU menu, const std::wstring& path, SIZE* size, int* menus, std::wstring* error);

}  // namespace quillan::standin

// Names that an Explorer window's host object shares with the programs that talk to it.
#pragma once

namespace quillan {

// Class of the hidden host window of every Explorer window that runs the band. The maintenance export
// and the desktop application find host windows by this name, compared without regard to letter case.
inline constexpr wchar_t kHostWindowClass[] = L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}";

// Auto-reset event a host signals when its window closes; any process may signal it to make a worker
// reload its non-synced folder list.
inline constexpr wchar_t kHostPresenceEventName[] = L"Global\\{6E1FE0EC-16F0-4C25-B735-BFCA04E6BC72}_tvo_box_host";

}  // namespace quillan

// Names that an Explorer window's host object shares with the programs that talk to it.
#pragma once

namespace quillan {

// Class of the hidden host window of every Explorer window that runs the band. The maintenance export
// and the desktop application find host windows by this name, compared without regard to letter case.
inline constexpr wchar_t kHostWindowClass[] = L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}";

}  // namespace quillan

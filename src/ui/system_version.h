// Cached answers about the operating system's version; each is asked once per process.
#pragma once

namespace quillan {

// Major version 6 or later (GetVersionExW).
bool IsVistaOrLater();
// Version 5.1 or 5.2 (the low word of GetVersion is 0x0105 or 0x0205).
bool IsXpOr2003();

}  // namespace quillan

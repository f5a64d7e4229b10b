// Closes every Explorer window in which the band runs, by asking each band's host window to close its
// own frame. Any thread of any process; needs neither COM nor registration.
#pragma once

#include <windows.h>

namespace quillan {

// Sends the close request to every top-level window of the host class, one after another, each with
// a 500 ms limit. Always 0.
int CloseExplorerWithCloudBar() noexcept;

}  // namespace quillan

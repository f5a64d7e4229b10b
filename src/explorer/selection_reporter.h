// The Explorer selection as the desktop application hears of it: the selection flag (33792) and the
// selection state (33788) after each check, and the selected paths for a share request (33787).
//
// Checks coalesce: at most one is waiting in the host window's queue, however much input the items
// window gets, and a check that finds nothing changed sends nothing. A check whose record the
// application did not take leaves the selection unreported, and a later check sends it again.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/non_synced_folder_list.h"

namespace quillan {

// Private message of the host window: check the selection now (wParam 0, lParam 0).
constexpr UINT WM_HOST_CHECKSELECTION = 0x1401;

// The selected items of the active view (CF_HDROP): their number, 0 on any failure. paths, when given,
// receives the file names in order.
int QuerySelection(IShellBrowser* browser, std::vector<std::wstring>* paths);

// What a selection is, for the selection flag.
enum SelectionKind : int32_t {
  kSelectionNone = 0x18,        // nothing selected
  kSelectionItems = 0x1B,       // a folder, or several items
  kSelectionOneFile = 0x1F,     // one item that is not a folder
  kSelectionFlagBit = 0x02,     // cleared when a selected path is not synchronised
};

class SelectionReporter {
 public:
  // What a check needs of its host.
  struct Context {
    IShellBrowser* browser;
    HWND frame;  // the Explorer frame, or null
    const std::wstring& userId;
    const std::wstring& enterpriseId;
    const NonSyncedFolderList& list;
  };

  // Posts WM_HOST_CHECKSELECTION to host unless a check is already waiting there.
  void Post(HWND host);
  // Runs a check (the host window got WM_HOST_CHECKSELECTION).
  void Check(const Context& context);
  // A new items window or a new bar: the next check counts as the first.
  void Reset();
  // The last check's records did not all reach the application.
  bool unreported() const { return checked_ && !reported_; }
  // The paths of the last check.
  const std::vector<std::wstring>& selectedPaths() const { return paths_; }

 private:
  // The kind of the last check of any host of the process (UI threads only).
  static int32_t processKind;

  int32_t lastCount_ = -1;  // -1: not yet known
  std::vector<std::wstring> paths_;
  bool reported_ = false;
  bool checked_ = false;  // a check ran since the last Reset
  bool posted_ = false;
  DWORD postedTick_ = 0;
};

}  // namespace quillan

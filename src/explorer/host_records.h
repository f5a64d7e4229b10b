// The records the desktop application (or the maintenance export) sends to a host window, parsed and
// handed to the host one by one. A record of the wrong size or of an unknown code is answered 0.
#pragma once

#include <windows.h>

#include "ipc/records.h"

namespace quillan {

class HostRecordTarget {
 public:
  virtual void OnAdoptWindow(const WindowRecord& record) = 0;               // 33769
  virtual void OnVisibility(const VisibilityRecord& record) = 0;            // 33771, 33772
  virtual void OnCloseExplorer() = 0;                                       // 33774
  virtual void OnAccountChanged(const AccountKey& key) = 0;                 // 33775
  virtual void OnAccountAction(const AccountActionRecord& record) = 0;      // 33782
  virtual void OnRequestSelectedFiles(const WindowRecord& record) = 0;      // 33783
  virtual void OnRequestSelection(const WindowRecord& record) = 0;          // 33793

 protected:
  ~HostRecordTarget() = default;
};

// The answer to one WM_COPYDATA. With probeOnly (a host being torn down) every record but the probe
// (33789) is answered 0 without reaching the target.
LRESULT DispatchHostRecord(const COPYDATASTRUCT* record, HostRecordTarget& target, bool probeOnly);

}  // namespace quillan

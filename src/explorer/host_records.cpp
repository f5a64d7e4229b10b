#include "explorer/host_records.h"

namespace quillan {

LRESULT DispatchHostRecord(const COPYDATASTRUCT* record, HostRecordTarget& target, bool probeOnly) {
  if (!record || !IsAcceptedByHost(*record)) return 0;
  const void* data = record->lpData;
  const size_t size = record->cbData;
  if (record->dwData == to_host::kProbe) {
    ProbeRecord probe;
    if (!ParseProbeRecord(data, size, &probe)) return 0;
    return probe.third == 0 ? 1 : 0;
  }
  if (probeOnly) return 0;
  switch (record->dwData) {
    case to_host::kAdoptWindow: {
      WindowRecord window;
      if (ParseWindowRecord(data, size, &window)) target.OnAdoptWindow(window);
      return 0;
    }
    case to_host::kVisibility:
    case to_host::kVisibilityAlt: {
      VisibilityRecord visibility;
      if (ParseVisibilityRecord(data, size, &visibility)) target.OnVisibility(visibility);
      return 0;
    }
    case to_host::kCloseExplorer:
      target.OnCloseExplorer();
      return 0;
    case to_host::kAccountChanged: {
      AccountKey key;
      if (ParseAccountChangedRecord(data, size, &key)) target.OnAccountChanged(key);
      return 0;
    }
    case to_host::kAccountAction: {
      AccountActionRecord action;
      if (ParseAccountActionRecord(data, size, &action)) target.OnAccountAction(action);
      return 0;
    }
    case to_host::kRequestSelectedFiles: {
      WindowRecord request;
      if (ParseWindowRecord(data, size, &request)) target.OnRequestSelectedFiles(request);
      return 0;
    }
    case to_host::kRequestSelection: {
      WindowRecord request;
      if (ParseWindowRecord(data, size, &request)) target.OnRequestSelection(request);
      return 0;
    }
    default:
      return 0;
  }
}

}  // namespace quillan

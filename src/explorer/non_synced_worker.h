// The worker thread of one host object: it keeps the account's non-synced folder list fresh, reading it
// every 2 s, or at once when the host-presence event is signalled, for as long as the host window lives.
// The reading happens without any lock that Explorer's thread waits for (the list swaps the result in).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "base/handle.h"
#include "config/non_synced_folder_list.h"

namespace quillan {

// Auto-reset event a host signals when its window closes; any process may signal it to make a worker
// reload its non-synced folder list.
inline constexpr wchar_t kHostPresenceEventName[] = L"Global\\{6E1FE0EC-16F0-4C25-B735-BFCA04E6BC72}_tvo_box_host";

class NonSyncedWorker {
 public:
  static constexpr DWORD kPeriodMs = 2000;

  explicit NonSyncedWorker(std::wstring appDataRoot) : list_(std::move(appDataRoot)) {}
  ~NonSyncedWorker() { Stop(); }
  NonSyncedWorker(const NonSyncedWorker&) = delete;
  NonSyncedWorker& operator=(const NonSyncedWorker&) = delete;

  NonSyncedFolderList& list() { return list_; }
  const NonSyncedFolderList& list() const { return list_; }

  // Opens (or creates) the host-presence event the thread also wakes on; closes it.
  void OpenPresenceEvent();
  void ClosePresenceEvent() { presence_.reset(); }

  // Starts the thread for an account; one that runs for another account is stopped first. host is the
  // window whose life bounds the thread's. False when no thread could be started.
  bool Start(HWND host, const std::wstring& userId, const std::wstring& enterpriseId);
  // Stops the thread and waits for it (its longest step is one reading of the list).
  void Stop();
  bool running() const { return thread_.valid(); }
  // True when a thread runs for this account.
  bool Serves(const std::wstring& userId, const std::wstring& enterpriseId) const {
    return running() && list_.HasAccount(userId, enterpriseId);
  }

 private:
  static DWORD WINAPI ThreadProc(void* worker);
  void Loop();
  bool HostAlive() const {
    HWND host = host_.load();
    return host && ::IsWindow(host);
  }

  NonSyncedFolderList list_;
  UniqueHandle presence_;
  UniqueHandle thread_;
  // Ends the thread at once, whatever it waits for (manual-reset, private to this worker).
  UniqueHandle stopEvent_;
  std::atomic<bool> stop_{false};
  std::atomic<HWND> host_{nullptr};
};

}  // namespace quillan

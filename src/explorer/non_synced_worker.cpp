#include "explorer/non_synced_worker.h"

namespace quillan {

void NonSyncedWorker::OpenPresenceEvent() {
  // Opens the event when another host made it; without it the thread only wakes on its time-out.
  presence_.reset(::CreateEventW(nullptr, FALSE, FALSE, kHostPresenceEventName));
}

bool NonSyncedWorker::Start(HWND host, const std::wstring& userId, const std::wstring& enterpriseId) {
  Stop();  // one thread per host: an earlier account's goes first
  if (!stopEvent_) stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  // Without a way to stop it at once the thread is not started; the list stays as it was.
  if (!stopEvent_) return false;
  list_.SetAccount(userId, enterpriseId);
  host_ = host;
  stop_ = false;
  ::ResetEvent(stopEvent_.get());
  thread_.reset(::CreateThread(nullptr, 0, &ThreadProc, this, 0, nullptr));
  return thread_.valid();
}

void NonSyncedWorker::Stop() {
  if (!thread_) return;
  stop_ = true;
  if (stopEvent_) ::SetEvent(stopEvent_.get());
  // The thread never waits for the UI thread.
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
  stop_ = false;
}

DWORD WINAPI NonSyncedWorker::ThreadProc(void* worker) {
  try {
    static_cast<NonSyncedWorker*>(worker)->Loop();
  } catch (...) {  // no memory: the list stays as it was, and the thread ends
  }
  return 0;
}

void NonSyncedWorker::Loop() {
  if (!HostAlive()) return;
  for (;;) {
    if (stop_) return;
    try {
      if (!list_.Load()) return;  // no account to read for
    } catch (...) {  // no memory: the list stays as it was until the next cycle
    }
    if (HostAlive()) {
      HANDLE events[2] = {stopEvent_.get(), presence_.get()};
      // Another process (or a closing host) signals the presence event to ask for a reload now.
      ::WaitForMultipleObjects(presence_ ? 2 : 1, events, FALSE, kPeriodMs);
    }
    if (stop_) return;
    if (presence_) ::ResetEvent(presence_.get());
    if (!HostAlive()) return;
  }
}

}  // namespace quillan

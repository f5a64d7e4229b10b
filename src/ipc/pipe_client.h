// One question to the desktop application's sync engine over its named pipes: the sync folder
// (request 1) or a value such as a file's state (request 3). The UI host's pipe is asked first; the
// box pipe only when that gave no usable answer and the legacy desktop UI is active. Each transaction
// opens its own connection and closes it again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/handle.h"
#include "ipc/pipe_backoff.h"
#include "ipc/pipe_messages.h"

namespace quillan {

// Waits of one question: for a free pipe instance, and for the reply.
inline constexpr DWORD kPipeBusyWaitMs = 30;
inline constexpr DWORD kPipeReplyWaitMs = 1000;

// Where a client asks. The defaults are the engine's own names and the process-wide back-off.
struct PipeClientOptions {
  std::wstring uiHostPipe = kUiHostPipeName;
  std::wstring boxPipe = kBoxPipeName;
  std::wstring legacyMutex = kLegacyUiMutexName;
  PipeBackoff* backoff = nullptr;  // null: PipeBackoff::Process()
  // False makes the client cancel an abandoned transaction as on systems without CancelIoEx.
  bool useCancelIoEx = true;
};

class PipeClient {
 public:
  PipeClient();
  explicit PipeClient(PipeClientOptions options);
  ~PipeClient();
  PipeClient(const PipeClient&) = delete;
  PipeClient& operator=(const PipeClient&) = delete;

  // Opens the pipe in message mode; true when connected (or already connected).
  bool Connect(const std::wstring& name);
  void Close();

  // Request 1 on one pipe: the sync-folder text (possibly empty).
  bool TransactString(std::wstring* text, const std::wstring& name, uint32_t index);
  // Request 3 on one pipe with size bytes of data (at most 4091): the engine's 32-bit answer.
  bool TransactValue(const void* data, uint32_t size, uint32_t* value, const std::wstring& name, uint32_t index);

  // The sync folder: the UI host first, the box pipe when that gave nothing and the legacy UI runs.
  bool QuerySyncRoot(std::wstring* text);
  // A value: the UI host first, the box pipe when that answered 0 or failed and the legacy UI runs.
  bool QueryValue(const void* data, uint32_t size, uint32_t* value);

  const PipeClientOptions& options() const { return options_; }

 private:
  // What an overlapped transaction writes into until it has completed.
  struct Transfer {
    OVERLAPPED overlapped;
    DWORD bytesRead;
    uint8_t request[kPipeMessageSize];
    uint8_t reply[kPipeMessageSize];
  };

  // Runs one transaction whose request is already in transfer_; true with bytesRead set on a reply.
  bool Transact(uint32_t index);
  // Ends a transaction that is still pending, so that nothing writes into transfer_ afterwards.
  void CancelPending();
  bool EnsureTransfer();
  PipeBackoff& Backoff() { return options_.backoff ? *options_.backoff : PipeBackoff::Process(); }

  UniqueFile pipe_;
  UniqueHandle event_;
  CriticalSection lock_;
  std::unique_ptr<Transfer> transfer_;
  bool pending_ = false;
  PipeClientOptions options_;
};

// True when the legacy desktop UI holds its mutex (another thread or process owns it).
bool IsLegacyUiActive();
bool IsLegacyUiActive(const std::wstring& mutexName);

// The engine's state of a file (3: may be uploaded first), 0 when nothing could be learnt. Paths of
// three characters or fewer are not asked; longer than 1023 characters are cut.
uint32_t QueryFileState(PipeClient* client, const std::wstring& path);

}  // namespace quillan

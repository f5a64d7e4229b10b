#include "ipc/pipe_client.h"

#include <cstring>
#include <new>
#include <utility>

#include "base/module.h"

namespace quillan {

namespace {

// Cancelling a pipe transaction completes it at once; the bound only keeps a misbehaving driver from
// holding Explorer's thread.
constexpr DWORD kCancelWaitMs = 500;

using CancelIoExFunction = BOOL(WINAPI*)(HANDLE, LPOVERLAPPED);

// Windows XP has no CancelIoEx: it is looked up, never imported, so that the module still loads there.
CancelIoExFunction LookUpCancelIoEx() {
  return ProcAddress<CancelIoExFunction>(::GetModuleHandleW(L"kernel32.dll"), "CancelIoEx");
}

}  // namespace

PipeClient::PipeClient() : PipeClient(PipeClientOptions()) {}

PipeClient::PipeClient(PipeClientOptions options) : options_(std::move(options)) {}

PipeClient::~PipeClient() { Close(); }

bool PipeClient::Connect(const std::wstring& name) {
  if (pipe_) return true;
  // Identification only: the engine may learn who asks, but a server squatting on the name must not
  // be able to act with Explorer's token.
  const DWORD flags = FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
  HANDLE pipe = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PIPE_BUSY) {
    if (::WaitNamedPipeW(name.c_str(), kPipeBusyWaitMs)) {
      pipe = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }
  }
  if (pipe == INVALID_HANDLE_VALUE) return false;
  pipe_.reset(pipe);

  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
    pipe_.reset();
    return false;
  }
  event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event_) {
    Close();
    return false;
  }
  return true;
}

void PipeClient::Close() {
  if (!pipe_) return;
  CancelPending();
  pipe_.reset();
  event_.reset();
}

void PipeClient::CancelPending() {
  if (!pending_) return;
  pending_ = false;
  static const CancelIoExFunction cancelIoEx = LookUpCancelIoEx();
  // A failed cancel means the transaction has already completed; the wait below then returns at once.
  if (options_.useCancelIoEx && cancelIoEx) {
    cancelIoEx(pipe_.get(), &transfer_->overlapped);
  } else {
    ::CancelIo(pipe_.get());  // this thread started the transaction, so CancelIo reaches it
  }
  if (::WaitForSingleObject(event_.get(), kCancelWaitMs) == WAIT_OBJECT_0) return;
  // The transaction could not be seen to end: its memory is given up rather than freed under it, and
  // the next transaction gets a fresh block.
  transfer_.release();
}

bool PipeClient::EnsureTransfer() {
  if (!transfer_) transfer_.reset(new (std::nothrow) Transfer());
  return transfer_ != nullptr;
}

bool PipeClient::Transact(uint32_t index) {
  Transfer& t = *transfer_;
  std::memset(&t.overlapped, 0, sizeof t.overlapped);
  if (!::ResetEvent(event_.get())) {
    Close();
    return false;
  }
  t.overlapped.hEvent = event_.get();
  t.bytesRead = 0;
  std::memset(t.reply, 0, sizeof t.reply);

  if (!::TransactNamedPipe(pipe_.get(), t.request, kPipeMessageSize, t.reply, kPipeMessageSize, &t.bytesRead,
                           &t.overlapped)) {
    if (::GetLastError() != ERROR_IO_PENDING) {
      Close();
      return false;
    }
    pending_ = true;
    const DWORD wait = ::WaitForSingleObject(event_.get(), kPipeReplyWaitMs);
    if (wait != WAIT_OBJECT_0) {
      if (wait == WAIT_TIMEOUT) Backoff().MarkFailed(index);
      Close();  // cancels the transaction and waits for it to end
      return false;
    }
    pending_ = false;
  }
  // Also for a transaction that completed at once: the count is read from the completed record.
  if (!::GetOverlappedResult(pipe_.get(), &t.overlapped, &t.bytesRead, FALSE) || t.bytesRead == 0) {
    Close();
    return false;
  }
  return true;
}

bool PipeClient::TransactString(std::wstring* text, const std::wstring& name, uint32_t index) {
  if (!text) return false;
  text->clear();
  if (index >= kPipeCount) return false;
  if (Backoff().Active(index)) return false;
  if (!EnsureTransfer()) return false;
  if (!Connect(name)) {
    Backoff().MarkFailed(index);
    return false;
  }
  BuildSyncRootRequest(transfer_->request);
  if (!Transact(index)) return false;
  std::wstring decoded;
  const bool accepted = ParseSyncRootReply(transfer_->reply, transfer_->bytesRead, &decoded);
  Close();
  if (!accepted) return false;
  text->swap(decoded);
  Backoff().MarkSucceeded(index);
  return true;
}

bool PipeClient::TransactValue(const void* data, uint32_t size, uint32_t* value, const std::wstring& name,
                               uint32_t index) {
  if (index >= kPipeCount || !data || !value || size > pipe_message::kMaxData) return false;
  if (Backoff().Active(index)) return false;
  if (!EnsureTransfer()) return false;
  if (!Connect(name)) {
    Backoff().MarkFailed(index);
    return false;
  }
  BuildValueRequest(transfer_->request, data, size);
  if (!Transact(index)) return false;
  uint32_t answer = 0;
  const bool accepted = ParseValueReply(transfer_->reply, transfer_->bytesRead, &answer);
  Close();
  if (!accepted) return false;
  *value = answer;
  Backoff().MarkSucceeded(index);
  return true;
}

bool PipeClient::QuerySyncRoot(std::wstring* text) {
  if (!text) return false;
  CriticalSectionLock hold(lock_);
  text->clear();
  std::wstring first;
  const bool firstOk = TransactString(&first, options_.uiHostPipe, kUiHostPipeIndex);
  if (firstOk && !first.empty()) {
    text->swap(first);
    return true;
  }
  bool secondOk = false;
  if (IsLegacyUiActive(options_.legacyMutex)) {
    std::wstring second;
    secondOk = TransactString(&second, options_.boxPipe, kBoxPipeIndex);
    if (secondOk) text->swap(second);
  }
  return firstOk || secondOk;
}

bool PipeClient::QueryValue(const void* data, uint32_t size, uint32_t* value) {
  if (!value) return false;
  CriticalSectionLock hold(lock_);
  *value = 0;
  uint32_t first = 0;
  const bool firstOk = TransactValue(data, size, &first, options_.uiHostPipe, kUiHostPipeIndex);
  if (firstOk && first != 0) {
    *value = first;
    return true;
  }
  if (!IsLegacyUiActive(options_.legacyMutex)) return firstOk;
  uint32_t second = 0;
  const bool secondOk = TransactValue(data, size, &second, options_.boxPipe, kBoxPipeIndex);
  if (secondOk) *value = second;
  return firstOk || secondOk;
}

bool IsLegacyUiActive() { return IsLegacyUiActive(kLegacyUiMutexName); }

bool IsLegacyUiActive(const std::wstring& mutexName) {
  // Waiting on it and releasing it, no more: the legacy UI of another account grants no more than that.
  constexpr DWORD kMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
  UniqueHandle mutex(::OpenMutexW(kMutexAccess, FALSE, mutexName.c_str()));
  if (!mutex) return false;
  switch (::WaitForSingleObject(mutex.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      // Nobody held it: we own it now and give it straight back.
      ::ReleaseMutex(mutex.get());
      return false;
    case WAIT_TIMEOUT:
      return true;
    default:
      return false;
  }
}

uint32_t QueryFileState(PipeClient* client, const std::wstring& path) {
  if (!client) return 0;
  constexpr size_t kPathChars = 1024;
  wchar_t buffer[kPathChars] = {};
  size_t length = 0;
  while (length < kPathChars - 1 && length < path.size() && path[length] != L'\0') {
    buffer[length] = path[length];
    ++length;
  }
  const uint32_t size = static_cast<uint32_t>(length * sizeof(wchar_t));
  // Nothing of three characters or fewer can be a file inside a sync folder.
  if (size <= 6) return 0;
  try {
    uint32_t value = 0;
    return client->QueryValue(buffer, size, &value) ? value : 0;
  } catch (...) {
    return 0;  // a question that could not be asked has no answer
  }
}

}  // namespace quillan

#include "pipe_servers.h"

#include <cstring>
#include <memory>

#include "ipc_peer/engine_replies.h"

namespace standin {

using namespace quillan;

namespace {

struct ModeName {
  PipeMode mode;
  const wchar_t* word;
  const char* name;
};

constexpr ModeName kModeNames[] = {
    {PipeMode::kAbsent, L"absent", "absent"},
    {PipeMode::kNormal, L"normal", "normal"},
    {PipeMode::kBusy, L"busy", "busy"},
    {PipeMode::kSlow, L"slow", "slow"},
    {PipeMode::kSilent, L"silent", "silent"},
    {PipeMode::kShort, L"short", "short"},
    {PipeMode::kWrongCode, L"wrong-code", "wrong-code"},
    {PipeMode::kOddLength, L"odd-length", "odd-length"},
    {PipeMode::kNegativeLength, L"negative-length", "negative-length"},
    {PipeMode::kLongLength, L"long-length", "long-length"},
    {PipeMode::kDisconnect, L"disconnect", "disconnect"},
    {PipeMode::kRaw, L"raw", "raw"},
};

// A request never exceeds one 4096-byte message; the room above it shows an oversized one.
constexpr DWORD kBufferSize = 2 * kPipeMessageSize;
constexpr DWORD kRequestWaitMs = 5000;
constexpr DWORD kCloseWaitMs = 2000;
// Threads for slow and silent sessions; more of them at once wait their turn.
constexpr int kWorkers = 6;

void SetLength(std::vector<uint8_t>* reply, int32_t length) {
  std::memcpy(&(*reply)[pipe_message::kLength], &length, sizeof length);
}

}  // namespace

bool ParsePipeMode(const std::wstring& word, PipeMode* mode) {
  for (const ModeName& m : kModeNames) {
    if (word == m.word) {
      *mode = m.mode;
      return true;
    }
  }
  return false;
}

const char* PipeModeName(PipeMode mode) {
  for (const ModeName& m : kModeNames) {
    if (m.mode == mode) return m.name;
  }
  return "?";
}

PipeServers::PipeServers(JsonLog* log)
    : log_(log),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      queued_(::CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr)) {
  const wchar_t* names[2] = {kUiHostPipeName, kBoxPipeName};
  const char* labels[2] = {"ui_host", "box"};
  for (int i = 0; i < 2; ++i) {
    pipes_[i].owner = this;
    pipes_[i].index = i;
    pipes_[i].name = names[i];
    pipes_[i].label = labels[i];
    pipes_[i].changed.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  }
}

PipeServers::~PipeServers() { Stop(); }

bool PipeServers::Start() {
  for (int i = 0; i < kWorkers; ++i) {
    workers_.emplace_back(::CreateThread(nullptr, 0, WorkerThread, this, 0, nullptr));
    if (!workers_.back()) return false;
  }
  for (Pipe& pipe : pipes_) {
    pipe.thread.reset(::CreateThread(nullptr, 0, ListenThread, &pipe, 0, nullptr));
    if (!pipe.thread) return false;
  }
  return true;
}

void PipeServers::Stop() {
  if (!stop_) return;
  ::SetEvent(stop_.get());
  for (Pipe& pipe : pipes_) {
    if (pipe.thread) ::WaitForSingleObject(pipe.thread.get(), 5000);
    pipe.thread.reset();
  }
  // Workers watch the stop event in every wait; they end quickly.
  for (UniqueHandle& worker : workers_) ::WaitForSingleObject(worker.get(), 5000);
  workers_.clear();
  CriticalSectionLock hold(lock_);
  for (Session& session : queue_) ::CloseHandle(session.instance);
  queue_.clear();
}

void PipeServers::SetMode(int pipe, PipeMode mode, DWORD delayMs, std::vector<uint8_t> raw) {
  LONG generation;
  {
    CriticalSectionLock hold(lock_);
    pipes_[pipe].setup.mode = mode;
    pipes_[pipe].setup.delayMs = delayMs;
    pipes_[pipe].setup.raw = std::move(raw);
    generation = ++pipes_[pipe].generation;
  }
  ::SetEvent(pipes_[pipe].changed.get());
  for (int i = 0; i < 2000 && pipes_[pipe].applied < generation; ++i) ::Sleep(1);
}

void PipeServers::SetSyncRoot(int pipe, const std::wstring& text) {
  CriticalSectionLock hold(lock_);
  pipes_[pipe].setup.syncRoot = text;
}

void PipeServers::SetState(const std::wstring& path, uint32_t state) {
  CriticalSectionLock hold(lock_);
  states_[path] = state;
}

void PipeServers::SetDefaultState(uint32_t state) {
  CriticalSectionLock hold(lock_);
  defaultState_ = state;
}

uint32_t PipeServers::StateOf(const std::wstring& path) {
  CriticalSectionLock hold(lock_);
  auto found = states_.find(path);
  return found == states_.end() ? defaultState_ : found->second;
}

DWORD WINAPI PipeServers::ListenThread(void* pipe) {
  Pipe* p = static_cast<Pipe*>(pipe);
  p->owner->Listen(*p);
  return 0;
}

DWORD WINAPI PipeServers::WorkerThread(void* owner) {
  static_cast<PipeServers*>(owner)->Work();
  return 0;
}

void PipeServers::Work() {
  HANDLE waits[2] = {stop_.get(), queued_.get()};
  while (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    Session session;
    {
      CriticalSectionLock hold(lock_);
      if (queue_.empty()) continue;
      session = queue_.front();
      queue_.pop_front();
    }
    Serve(session);
  }
}

void PipeServers::Listen(Pipe& pipe) {
  for (;;) {
    PipeSetup setup;
    LONG generation;
    {
      CriticalSectionLock hold(lock_);
      setup = pipe.setup;
      generation = pipe.generation;
    }
    HANDLE stopOrChange[2] = {stop_.get(), pipe.changed.get()};
    if (setup.mode == PipeMode::kAbsent) {
      Applied(pipe, generation);
      if (::WaitForMultipleObjects(2, stopOrChange, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
      continue;
    }
    if (setup.mode == PipeMode::kBusy) {
      // Our own client holds the only instance, so a caller finds none free.
      Listener only;
      if (!only.Open(pipe.name)) {
        log_->Write("error", Json().Str("what", L"listen").Num("lastError", ::GetLastError()));
        if (::WaitForMultipleObjects(2, stopOrChange, FALSE, 100) == WAIT_OBJECT_0) return;
        continue;
      }
      UniqueFile self(::CreateFileW(pipe.name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
      Applied(pipe, generation);
      const DWORD wait = ::WaitForMultipleObjects(2, stopOrChange, FALSE, INFINITE);
      self.reset();
      only.Cancel();
      if (wait != WAIT_OBJECT_0 + 1) return;
      continue;
    }
    if (!Accept(pipe, generation)) return;
  }
}

bool PipeServers::Listener::Open(const std::wstring& name) {
  instance.reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                    kBufferSize, kBufferSize, 0, nullptr));
  if (!instance) return false;
  if (!event) event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (int attempt = 0; attempt < 100; ++attempt) {
    ::ResetEvent(event.get());
    overlapped = {};
    overlapped.hEvent = event.get();
    pending = false;
    if (::ConnectNamedPipe(instance.get(), &overlapped)) {
      ::SetEvent(event.get());
      return true;
    }
    switch (::GetLastError()) {
      case ERROR_IO_PENDING:
        pending = true;
        return true;
      case ERROR_PIPE_CONNECTED:  // a caller came before we asked
        ::SetEvent(event.get());
        return true;
      case ERROR_NO_DATA:  // a caller came and went before we asked: free the instance again
        ::DisconnectNamedPipe(instance.get());
        continue;
      default:
        return false;
    }
  }
  return false;
}

void PipeServers::Listener::Cancel() {
  if (pending) {
    DWORD ignored = 0;
    ::CancelIo(instance.get());
    ::GetOverlappedResult(instance.get(), &overlapped, &ignored, TRUE);
    pending = false;
  }
  instance.reset();
}

bool PipeServers::Accept(Pipe& pipe, LONG generation) {
  HANDLE stopOrChange[2] = {stop_.get(), pipe.changed.get()};
  // One instance always waits for the next caller, opened before the current caller is handed over, so
  // that back-to-back questions never find the pipe busy.
  std::unique_ptr<Listener> next(new Listener());
  if (!next->Open(pipe.name)) {
    log_->Write("error", Json().Str("what", L"listen").Num("lastError", ::GetLastError()));
    return ::WaitForMultipleObjects(2, stopOrChange, FALSE, 100) != WAIT_OBJECT_0;
  }
  Applied(pipe, generation);  // listening
  for (;;) {
    HANDLE waits[3] = {stop_.get(), pipe.changed.get(), next->event.get()};
    const DWORD wait = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
    if (wait == WAIT_OBJECT_0 + 1) {
      // Between answering modes the waiting instance stays (a session reads the mode when its request
      // comes), so the pipe never vanishes for a moment; absent and busy need it gone.
      PipeMode mode;
      {
        CriticalSectionLock hold(lock_);
        mode = pipe.setup.mode;
        generation = pipe.generation;
      }
      if (mode != PipeMode::kAbsent && mode != PipeMode::kBusy) {
        Applied(pipe, generation);
        continue;
      }
    }
    if (wait != WAIT_OBJECT_0 + 2) {
      next->Cancel();
      return wait == WAIT_OBJECT_0 + 1;
    }
    DWORD ignored = 0;
    const bool connected = !next->pending || ::GetOverlappedResult(next->instance.get(), &next->overlapped, &ignored, FALSE);
    next->pending = false;
    std::unique_ptr<Listener> current = std::move(next);
    next.reset(new Listener());
    if (!next->Open(pipe.name)) {
      log_->Write("error", Json().Str("what", L"listen").Num("lastError", ::GetLastError()));
      return ::WaitForMultipleObjects(2, stopOrChange, FALSE, 100) != WAIT_OBJECT_0;
    }
    if (!connected) continue;
    // A caller that gets its answer at once is served right here (handing it to another thread costs
    // more than the answer); slow and silent answers go to a worker so that the next caller is not held.
    PipeMode mode;
    {
      CriticalSectionLock hold(lock_);
      mode = pipe.setup.mode;
    }
    Session session{this, &pipe, current->instance.release(), true};
    if (mode == PipeMode::kSlow || mode == PipeMode::kSilent) {
      session.onListener = false;
      Queue(session);
    } else {
      Serve(session);
    }
  }
}

bool PipeServers::WaitIo(HANDLE instance, OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* bytes) {
  HANDLE waits[2] = {overlapped->hEvent, stop_.get()};
  if (::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) == WAIT_OBJECT_0) {
    return ::GetOverlappedResult(instance, overlapped, bytes, FALSE) != FALSE;
  }
  ::CancelIo(instance);
  ::GetOverlappedResult(instance, overlapped, bytes, TRUE);
  return false;
}

std::vector<uint8_t> PipeServers::ReplyFor(const PipeSetup& setup, uint8_t code, const std::vector<uint8_t>& data) {
  if (setup.mode == PipeMode::kRaw) return setup.raw;
  std::vector<uint8_t> reply;
  if (code == kRequestSyncRoot) {
    // The length faults need a text to lie about.
    const bool lies = setup.mode == PipeMode::kOddLength || setup.mode == PipeMode::kNegativeLength ||
                      setup.mode == PipeMode::kLongLength;
    reply = BuildSyncRootReply(lies && setup.syncRoot.empty() ? std::wstring(L"D:\\Sync") : setup.syncRoot);
  } else if (code == kRequestValue) {
    std::wstring path(data.size() / sizeof(wchar_t), L'\0');
    if (!path.empty()) std::memcpy(&path[0], data.data(), path.size() * sizeof(wchar_t));
    reply = BuildValueReply(StateOf(path));
  } else {
    return reply;
  }
  const int32_t textBytes = static_cast<int32_t>(reply.size() - pipe_message::kHeaderSize);
  switch (setup.mode) {
    case PipeMode::kShort:
      reply.resize(4);
      break;
    case PipeMode::kWrongCode:
      reply[pipe_message::kCode] = code == kRequestSyncRoot ? kRequestValue : kRequestSyncRoot;
      break;
    case PipeMode::kOddLength:
      if (code == kRequestSyncRoot) SetLength(&reply, 3);
      break;
    case PipeMode::kNegativeLength:
      if (code == kRequestSyncRoot) SetLength(&reply, -2);
      break;
    case PipeMode::kLongLength:
      if (code == kRequestSyncRoot) SetLength(&reply, textBytes + 2);
      break;
    default:
      break;
  }
  return reply;
}

void PipeServers::Serve(Session& session) {
  UniqueFile instance(session.instance);
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Json json;
  json.Str("pipe", std::wstring(session.pipe->label, session.pipe->label + std::strlen(session.pipe->label)));

  std::vector<uint8_t> request(kBufferSize, 0);
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.get();
  DWORD got = 0;
  bool read = ::ReadFile(instance.get(), request.data(), kBufferSize, &got, &overlapped) != FALSE;
  if (!read && ::GetLastError() == ERROR_IO_PENDING) read = WaitIo(instance.get(), &overlapped, kRequestWaitMs, &got);
  if (!read) {
    log_->Write("pipe", json.Str("error", L"no request"));
    ::DisconnectNamedPipe(instance.get());
    return;
  }
  // The setup in force when the request came, so that a change made while the caller waited counts.
  PipeSetup setup;
  {
    CriticalSectionLock hold(lock_);
    setup = session.pipe->setup;
  }
  json.Raw("mode", std::string("\"") + PipeModeName(setup.mode) + "\"");
  PipeRequest parsed;
  const bool wellFormed = ParsePipeRequest(request.data(), got, &parsed);
  json.Num("requestBytes", got).Num("code", parsed.code).Bool("wellFormed", wellFormed);
  if (parsed.code == kRequestValue) {
    std::wstring path(parsed.data.size() / sizeof(wchar_t), L'\0');
    if (!path.empty()) std::memcpy(&path[0], parsed.data.data(), path.size() * sizeof(wchar_t));
    json.Num("length", static_cast<int64_t>(parsed.data.size())).Str("path", path);
    json.Raw("dataHex", "\"" + Hex(parsed.data.data(), parsed.data.size()) + "\"");
  }

  if (setup.mode == PipeMode::kSlow && ::WaitForSingleObject(stop_.get(), setup.delayMs) == WAIT_OBJECT_0) return;
  if (setup.mode == PipeMode::kDisconnect) {
    ::DisconnectNamedPipe(instance.get());
    log_->Write("pipe", json.Str("reply", L"disconnected"));
    return;
  }

  std::vector<uint8_t> reply;
  if (setup.mode != PipeMode::kSilent && wellFormed) reply = ReplyFor(setup, parsed.code, parsed.data);
  if (reply.empty()) {
    // Nothing to say (silent, or a request we do not know).
    log_->Write("pipe", json.Str("reply", L"none"));
  } else {
    ::ResetEvent(event.get());
    overlapped = {};
    overlapped.hEvent = event.get();
    DWORD written = 0;
    bool wrote = ::WriteFile(instance.get(), reply.data(), static_cast<DWORD>(reply.size()), &written, &overlapped) != FALSE;
    if (!wrote && ::GetLastError() == ERROR_IO_PENDING) wrote = WaitIo(instance.get(), &overlapped, kRequestWaitMs, &written);
    json.Raw("replyHex", "\"" + Hex(reply.data(), reply.size()) + "\"").Bool("written", wrote);
    log_->Write("pipe", json);
  }

  // The caller's read was already waiting when it sent its request (a transaction), so an answer is in
  // its hands once written: a caller served by the listener is let go at once. A worker keeps a slow or
  // silent session open until the caller hangs up.
  if (!session.onListener) Finish(instance.get(), setup.mode == PipeMode::kSilent);
}

void PipeServers::Finish(HANDLE instance, bool untilCallerGoes) {
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.get();
  uint8_t buffer[kPipeMessageSize];
  DWORD ignored = 0;
  if (!::ReadFile(instance, buffer, sizeof buffer, &ignored, &overlapped) && ::GetLastError() == ERROR_IO_PENDING) {
    WaitIo(instance, &overlapped, untilCallerGoes ? INFINITE : kCloseWaitMs, &ignored);
  }
  ::DisconnectNamedPipe(instance);
}

void PipeServers::Queue(Session session) {
  {
    CriticalSectionLock hold(lock_);
    queue_.push_back(session);
  }
  ::ReleaseSemaphore(queued_.get(), 1, nullptr);
}

}  // namespace standin

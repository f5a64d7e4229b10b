#include "pipe_servers.h"

#include <cstring>
#include <memory>

#include "ipc/pipe_messages.h"

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

PipeServers::PipeServers(JsonLog* log) : log_(log), stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
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
  // Sessions watch the stop event in every wait; they end quickly.
  for (int i = 0; i < 500 && sessions_ > 0; ++i) ::Sleep(10);
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

DWORD WINAPI PipeServers::SessionThread(void* session) {
  std::unique_ptr<Session> s(static_cast<Session*>(session));
  s->owner->Serve(*s);
  ::InterlockedDecrement(&s->owner->sessions_);
  return 0;
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
    UniqueFile instance(::CreateNamedPipeW(pipe.name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                           PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0, nullptr));
    if (!instance) {
      log_->Write("error", Json().Str("what", L"CreateNamedPipeW").Num("lastError", ::GetLastError()));
      if (::WaitForMultipleObjects(2, stopOrChange, FALSE, 100) == WAIT_OBJECT_0) return;
      continue;
    }
    if (setup.mode == PipeMode::kBusy) {
      // Our own client holds the only instance, so a caller finds none free.
      UniqueFile self(::CreateFileW(pipe.name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
      Applied(pipe, generation);
      if (::WaitForMultipleObjects(2, stopOrChange, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
      continue;
    }

    UniqueHandle connected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = connected.get();
    const BOOL connectedAtOnce = ::ConnectNamedPipe(instance.get(), &overlapped);
    const DWORD error = connectedAtOnce ? ERROR_SUCCESS : ::GetLastError();
    Applied(pipe, generation);  // listening
    if (!connectedAtOnce) {
      if (error == ERROR_IO_PENDING) {
        HANDLE waits[3] = {stop_.get(), pipe.changed.get(), connected.get()};
        const DWORD wait = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (wait != WAIT_OBJECT_0 + 2) {
          DWORD ignored = 0;
          ::CancelIo(instance.get());
          ::GetOverlappedResult(instance.get(), &overlapped, &ignored, TRUE);
          if (wait == WAIT_OBJECT_0 + 1) continue;
          return;
        }
        DWORD ignored = 0;
        if (!::GetOverlappedResult(instance.get(), &overlapped, &ignored, FALSE)) continue;
      } else if (error != ERROR_PIPE_CONNECTED) {
        continue;
      }
    }
    // Each caller gets its own thread, so that a slow or silent answer does not hold up the next one.
    Session* session = new Session{this, &pipe, instance.release()};
    ::InterlockedIncrement(&sessions_);
    HANDLE thread = ::CreateThread(nullptr, 0, SessionThread, session, 0, nullptr);
    if (thread) {
      ::CloseHandle(thread);
    } else {
      SessionThread(session);
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
    // Nothing to say (silent, or a request we do not know): keep the line open until the caller goes.
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

  // The caller closes its end after reading; wait for that so that the reply is not cut off. A silent
  // server waits as long as the caller does.
  ::ResetEvent(event.get());
  overlapped = {};
  overlapped.hEvent = event.get();
  DWORD ignored = 0;
  if (!::ReadFile(instance.get(), request.data(), kBufferSize, &ignored, &overlapped) &&
      ::GetLastError() == ERROR_IO_PENDING) {
    WaitIo(instance.get(), &overlapped, setup.mode == PipeMode::kSilent ? INFINITE : kCloseWaitMs, &ignored);
  }
  ::DisconnectNamedPipe(instance.get());
}

}  // namespace standin

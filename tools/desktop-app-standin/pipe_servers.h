// The two pipe servers of the stand-in's sync engine: "\\.\pipe\velquillanbox_ui_host_0" (index 0) and
// "\\.\pipe\velquillanbox_0" (index 1). Each answers requests 1 (sync folder) and 3 (file state) in
// the mode set for it, faults included.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "base/handle.h"
#include "json_log.h"

namespace standin {

enum class PipeMode {
  kAbsent,          // no pipe of that name exists
  kNormal,          // answers at once
  kBusy,            // the pipe exists but no instance is free
  kSlow,            // answers after delayMs
  kSilent,          // reads the request and never answers
  kShort,           // a 4-byte reply
  kWrongCode,       // the echoed code is the other one (3 for 1, 1 for 3)
  kOddLength,       // request 1: a text length of 3
  kNegativeLength,  // request 1: a text length of -2
  kLongLength,      // request 1: a text length 2 bytes beyond what is sent
  kDisconnect,      // reads the request and disconnects without a reply
  kRaw,             // the bytes of `raw`, whatever was asked
};

// Parses "normal", "slow", ...; false for an unknown word.
bool ParsePipeMode(const std::wstring& word, PipeMode* mode);
const char* PipeModeName(PipeMode mode);

struct PipeSetup {
  PipeMode mode = PipeMode::kAbsent;
  DWORD delayMs = 0;         // kSlow
  std::vector<uint8_t> raw;  // kRaw
  std::wstring syncRoot;     // the answer to request 1
};

class PipeServers {
 public:
  explicit PipeServers(JsonLog* log);
  ~PipeServers();
  PipeServers(const PipeServers&) = delete;
  PipeServers& operator=(const PipeServers&) = delete;

  bool Start();
  void Stop();

  // Returns once the pipe is in the new mode (listening, occupied or gone), so that a caller's next
  // question meets it.
  void SetMode(int pipe, PipeMode mode, DWORD delayMs, std::vector<uint8_t> raw);
  void SetSyncRoot(int pipe, const std::wstring& text);
  // The answer to request 3 for a path (compared exactly); other paths get the default.
  void SetState(const std::wstring& path, uint32_t state);
  void SetDefaultState(uint32_t state);

 private:
  struct Pipe {
    PipeServers* owner = nullptr;
    int index = 0;
    std::wstring name;
    const char* label = "";
    PipeSetup setup;
    LONG generation = 0;             // counts mode changes
    volatile LONG applied = 0;       // the generation the listening side has put in place
    quillan::UniqueHandle changed;  // auto-reset: the mode changed
    quillan::UniqueHandle thread;
  };
  struct Session {
    PipeServers* owner = nullptr;
    Pipe* pipe = nullptr;
    HANDLE instance = nullptr;
    bool onListener = false;  // served by the listening thread, which must not wait for the hang-up
  };

  // One pipe instance waiting for a caller.
  struct Listener {
    quillan::UniqueFile instance;
    quillan::UniqueHandle event;
    OVERLAPPED overlapped = {};
    bool pending = false;
    bool Open(const std::wstring& name);
    void Cancel();
  };

  static DWORD WINAPI ListenThread(void* pipe);
  static DWORD WINAPI WorkerThread(void* owner);
  void Listen(Pipe& pipe);
  // Accepts callers in a listening mode until the mode changes (true) or the servers stop (false).
  bool Accept(Pipe& pipe, LONG generation);
  void Applied(Pipe& pipe, LONG generation) { ::InterlockedExchange(&pipe.applied, generation); }
  void Serve(Session& session);
  void Finish(HANDLE instance, bool untilCallerGoes);
  void Queue(Session session);
  void Work();
  bool WaitIo(HANDLE instance, OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* bytes);
  std::vector<uint8_t> ReplyFor(const PipeSetup& setup, uint8_t code, const std::vector<uint8_t>& data);
  uint32_t StateOf(const std::wstring& path);

  JsonLog* log_;
  quillan::CriticalSection lock_;
  Pipe pipes_[2];
  std::map<std::wstring, uint32_t> states_;
  uint32_t defaultState_ = 0;
  quillan::UniqueHandle stop_;
  // Slow and silent sessions are served by a few lasting threads (creating one per caller is slow),
  // so that they do not hold up the next caller.
  std::deque<Session> queue_;
  quillan::UniqueHandle queued_;  // semaphore: one count per queued caller
  std::vector<quillan::UniqueHandle> workers_;
};

}  // namespace standin

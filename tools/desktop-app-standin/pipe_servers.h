// The two pipe servers of the stand-in's sync engine: "\\.\pipe\velquillanbox_ui_host_0" (index 0) and
// "\\.\pipe\velquillanbox_0" (index 1). Each answers requests 1 (sync folder) and 3 (file state) in
// the mode set for it, faults included.
#pragma once

#include <windows.h>

#include <cstdint>
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
    PipeServers* owner;
    Pipe* pipe;
    HANDLE instance;
  };

  static DWORD WINAPI ListenThread(void* pipe);
  static DWORD WINAPI SessionThread(void* session);
  void Listen(Pipe& pipe);
  void Applied(Pipe& pipe, LONG generation) { ::InterlockedExchange(&pipe.applied, generation); }
  void Serve(Session& session);
  bool WaitIo(HANDLE instance, OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* bytes);
  std::vector<uint8_t> ReplyFor(const PipeSetup& setup, uint8_t code, const std::vector<uint8_t>& data);
  uint32_t StateOf(const std::wstring& path);

  JsonLog* log_;
  quillan::CriticalSection lock_;
  Pipe pipes_[2];
  std::map<std::wstring, uint32_t> states_;
  uint32_t defaultState_ = 0;
  quillan::UniqueHandle stop_;
  volatile LONG sessions_ = 0;
};

}  // namespace standin

// What the tests, the benchmarks and the demo share to drive the stand-ins: temporary folders, files,
// child processes, message pumping and the stand-ins' JSON log lines.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillan::harness {

// A fresh, empty folder under %TEMP%, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  // path() + "\" + relative
  std::wstring operator/(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

// The folder that holds the running test program (and the DLL, the tools and the other programs).
std::wstring BinDir();

// Creates every missing folder of path.
bool MakeDirs(const std::wstring& path);
// Removes a folder with everything in it.
void RemoveTree(const std::wstring& path);

// Writes bytes to a file, creating its folder; replaces an existing file.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool WriteBytes(const std::wstring& path, const void* data, size_t size);
// Writes text as UTF-16LE with the FF FE mark (the form Windows ini files take for Unicode).
bool WriteUtf16File(const std::wstring& path, const std::wstring& text, bool withMark = true);
// Writes text converted to the ANSI code page.
bool WriteAnsiFile(const std::wstring& path, const std::wstring& text);
// Reads a whole file; false when it cannot be read.
bool ReadBytes(const std::wstring& path, std::string* bytes);

bool FileExists(const std::wstring& path);

}  // namespace quillan::harness

namespace quillan::harness {

// A child process started from a command line; killed on destruction when still running.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // application may be empty (then the command line's first token names the program).
  bool Start(const std::wstring& application, const std::wstring& commandLine,
             const std::wstring& workingDirectory = std::wstring());
  // True when the process ended within timeoutMs.
  bool Wait(DWORD timeoutMs);
  // Exit code, or STILL_ACTIVE while it runs.
  DWORD ExitCode() const;
  void Kill();
  HANDLE handle() const { return process_; }
  DWORD id() const { return id_; }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// Pumps this thread's messages until predicate() holds or timeoutMs pass; returns the last answer.
template <typename Predicate>
bool PumpUntil(Predicate predicate, DWORD timeoutMs) {
  DWORD start = ::GetTickCount();
  for (;;) {
    if (predicate()) return true;
    if (::GetTickCount() - start >= timeoutMs) return predicate();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Pumps this thread's messages for timeoutMs.
void PumpFor(DWORD timeoutMs);

// Quotes one command-line argument the way CommandLineToArgvW reads it back.
std::wstring QuoteArg(const std::wstring& arg);

// The complete lines of a log file (a last line still being written is left out).
std::vector<std::string> ReadLines(const std::wstring& path);

// Values of a flat JSON line by key (the first occurrence), as the stand-ins write them.
bool JsonInt(const std::string& line, const std::string& key, int64_t* value);
bool JsonText(const std::string& line, const std::string& key, std::wstring* value);
bool JsonBool(const std::string& line, const std::string& key, bool* value);

}  // namespace quillan::harness

// The stand-in's output: one JSON object per line, UTF-8, on stdout and optionally in a log file.
// Lines from every frame thread go through one lock, so they never interleave.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>

namespace quillan::standin {

class StandinOutput {
 public:
  static StandinOutput& Instance();

  // Also writes every line to this file (created or truncated). False when it cannot be opened.
  bool OpenLog(const std::wstring& path);
  // Leaves stdout alone (the log file alone gets the lines).
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // Writes one line (a newline is added) and flushes it, so that a reader sees it at once.
  void WriteLine(const std::string& utf8);
  // For a process that is going down: writes without taking the lock, which a crashed thread may hold.
  void WriteLineUnlocked(const std::string& utf8);

 private:
  StandinOutput();
  CRITICAL_SECTION lock_;
  HANDLE log_ = INVALID_HANDLE_VALUE;
  bool quiet_ = false;
};

// Builds one output line: {"type":"...", key: value, ...}. Keys are written in the order added.
class JsonLine {
 public:
  explicit JsonLine(const char* type);

  JsonLine& Add(const char* key, const std::wstring& value);
  JsonLine& Add(const char* key, const wchar_t* value);
  JsonLine& Add(const char* key, const char* value);
  JsonLine& Add(const char* key, bool value);
  template <typename Int, typename = std::enable_if_t<std::is_integral_v<Int> && !std::is_same_v<Int, bool>>>
  JsonLine& Add(const char* key, Int value) {
    return AddRaw(key, std::is_signed_v<Int> ? std::to_string(static_cast<long long>(value))
                                             : std::to_string(static_cast<unsigned long long>(value)));
  }
  // A window handle as a number (its 64-bit value; the low 32 bits are the handle).
  JsonLine& Add(const char* key, HWND window);
  // "0x%08X": HRESULTs, styles, flags.
  JsonLine& Hex(const char* key, unsigned long value);

  std::string Text() const { return text_ + "}"; }
  void Emit() const;

 private:
  JsonLine& AddRaw(const char* key, const std::string& json);
  std::string text_;
};

// JSON string literal (quoted and escaped) of UTF-16 text, as UTF-8.
std::string JsonString(const std::wstring& text);
std::string HexText(unsigned long value);

}  // namespace quillan::standin

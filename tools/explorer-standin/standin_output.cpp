#include "standin_output.h"

#include <cstdio>

#include "base/text.h"

namespace quillan::standin {

StandinOutput& StandinOutput::Instance() {
  static StandinOutput output;
  return output;
}

StandinOutput::StandinOutput() { ::InitializeCriticalSection(&lock_); }

bool StandinOutput::OpenLog(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::EnterCriticalSection(&lock_);
  if (log_ != INVALID_HANDLE_VALUE) ::CloseHandle(log_);
  log_ = file;
  ::LeaveCriticalSection(&lock_);
  return true;
}

void StandinOutput::WriteLine(const std::string& utf8) {
  std::string line = utf8 + "\n";
  ::EnterCriticalSection(&lock_);
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  DWORD written = 0;
  if (!quiet_ && out && out != INVALID_HANDLE_VALUE) {
    // A console shows bytes in its own code page: hand it UTF-16 so that Chinese labels stay readable.
    if (::GetConsoleMode(out, &mode)) {
      std::wstring wide = Utf8ToWide(line);
      // Lost console output is not worth failing a step for; the log file is the record tests read.
      ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else if (!::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
      // A closed stdout (the reader went away) must not stop the program; the log file still gets the line.
    }
  }
  if (log_ != INVALID_HANDLE_VALUE &&
      (!::WriteFile(log_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) || written != line.size())) {
    std::fprintf(stderr, "explorer-standin: cannot write the log file\n");
  }
  ::LeaveCriticalSection(&lock_);
}

void StandinOutput::WriteLineUnlocked(const std::string& utf8) {
  std::string line = utf8 + "\n";
  DWORD written = 0;
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  // Best effort on the way down: nothing can be done about a write that fails now.
  if (!quiet_ && out && out != INVALID_HANDLE_VALUE) ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  if (log_ != INVALID_HANDLE_VALUE) ::WriteFile(log_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    switch (c) {
      case L'"': out += "\\\""; break;
      case L'\\': out += "\\\\"; break;
      case L'\n': out += "\\n"; break;
      case L'\r': out += "\\r"; break;
      case L'\t': out += "\\t"; break;
      default:
        if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF &&
                         !(c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF))) {
          // Control characters and unpaired surrogates (which have no UTF-8 form) travel as escapes.
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
          out += escape;
        } else if (c >= 0xD800 && c <= 0xDBFF) {
          out += WideToUtf8(text.substr(i, 2));
          ++i;
        } else {
          out += WideToUtf8(std::wstring(1, c));
        }
    }
  }
  return out + "\"";
}

std::string HexText(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

JsonLine::JsonLine(const char* type) : text_("{\"type\":" + JsonString(Utf8ToWide(type))) {}

JsonLine& JsonLine::AddRaw(const char* key, const std::string& json) {
  text_ += ",\"";
  text_ += key;
  text_ += "\":";
  text_ += json;
  return *this;
}

JsonLine& JsonLine::Add(const char* key, const std::wstring& value) { return AddRaw(key, JsonString(value)); }
JsonLine& JsonLine::Add(const char* key, const wchar_t* value) { return AddRaw(key, JsonString(value ? value : L"")); }
JsonLine& JsonLine::Add(const char* key, const char* value) { return AddRaw(key, JsonString(Utf8ToWide(value))); }
JsonLine& JsonLine::Add(const char* key, bool value) { return AddRaw(key, value ? "true" : "false"); }
JsonLine& JsonLine::Add(const char* key, HWND window) {
  return AddRaw(key, std::to_string(static_cast<long long>(reinterpret_cast<INT_PTR>(window))));
}
JsonLine& JsonLine::Hex(const char* key, unsigned long value) { return AddRaw(key, "\"" + HexText(value) + "\""); }

void JsonLine::Emit() const { StandinOutput::Instance().WriteLine(Text()); }

}  // namespace quillan::standin

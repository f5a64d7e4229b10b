// The stand-in's log: one JSON object per line, UTF-8, appended and flushed line by line so that a
// test can read it while the stand-in runs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/handle.h"
#include "ipc_peer/record_fields.h"

namespace standin {

// Builds one flat JSON object; nested values are given as ready JSON text.
class Json {
 public:
  Json& Str(const char* key, const std::wstring& value);
  Json& Num(const char* key, int64_t value);
  Json& Bool(const char* key, bool value);
  Json& Raw(const char* key, const std::string& json);
  std::string Text() const { return "{" + body_ + "}"; }

  static std::string Quote(const std::wstring& text);
  static std::string Array(const std::vector<std::wstring>& texts);

 private:
  void Key(const char* key);
  std::string body_;
};

std::string Hex(const void* data, size_t size);

class JsonLog {
 public:
  // An empty path logs nothing.
  bool Open(const std::wstring& path);
  // Writes {"event":<event>,"tick":<ms>, ...fields of object}.
  void Write(const char* event, const Json& object);

 private:
  quillan::CriticalSection lock_;
  quillan::UniqueFile file_;
};

// The decoded fields of a record to the main window as a JSON object, or "null" when its payload does
// not fit the layout of its code.
std::string FieldsJson(const quillan::RecordFields& record);

}  // namespace standin

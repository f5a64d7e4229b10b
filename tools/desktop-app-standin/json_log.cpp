#include "json_log.h"

#include <cstdio>

#include "base/text.h"
#include "ipc_peer/record_fields.h"

namespace standin {

using namespace quillan;

void Json::Key(const char* key) {
  if (!body_.empty()) body_ += ",";
  body_ += "\"";
  body_ += key;
  body_ += "\":";
}

Json& Json::Str(const char* key, const std::wstring& value) {
  Key(key);
  body_ += Quote(value);
  return *this;
}

Json& Json::Num(const char* key, int64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

Json& Json::Bool(const char* key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

Json& Json::Raw(const char* key, const std::string& json) {
  Key(key);
  body_ += json;
  return *this;
}

std::string Json::Quote(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) {
      // Control characters and surrogate halves as escapes: the line stays valid JSON and UTF-8 even
      // for a text that holds a lone surrogate.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += WideToUtf8(std::wstring(1, c));
    }
  }
  return out + "\"";
}

std::string Json::Array(const std::vector<std::wstring>& texts) {
  std::string out = "[";
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i) out += ",";
    out += Quote(texts[i]);
  }
  return out + "]";
}

std::string Hex(const void* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

bool JsonLog::Open(const std::wstring& path) {
  if (path.empty()) return true;
  file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.valid();
}

void JsonLog::Write(const char* event, const Json& object) {
  std::string fields = object.Text();
  std::string line = "{\"event\":\"";
  line += event;
  line += "\",\"tick\":" + std::to_string(::GetTickCount());
  if (fields.size() > 2) line += "," + fields.substr(1, fields.size() - 2);
  line += "}\n";
  CriticalSectionLock hold(lock_);
  if (!file_) return;
  DWORD written = 0;
  // One write per line: readers never see half a line interleaved with another thread's.
  ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string FieldsJson(const RecordFields& record) {
  if (!record.valid) return "null";
  Json json;
  for (const RecordField& field : record.fields) {
    switch (field.kind) {
      case RecordField::kText: json.Str(field.name, field.text); break;
      case RecordField::kPaths: json.Raw(field.name, Json::Array(field.paths)); break;
      default: json.Num(field.name, field.number); break;
    }
  }
  return json.Text();
}

}  // namespace standin

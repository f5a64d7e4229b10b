#include "json_log.h"

#include <cstdio>

#include "base/text.h"
#include "ipc/records.h"

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

namespace {

void Key(Json* json, const AccountKey& key) { json->Str("userId", key.userId).Str("enterpriseId", key.enterpriseId); }

}  // namespace

std::string DescribeRecord(DWORD code, const void* data, size_t size) {
  Json json;
  switch (code) {
    case to_main::kBarSize: {
      BarSizeRecord r;
      if (!ParseBarSizeRecord(data, size, &r)) return "null";
      Key(&json, r.key);
      json.Num("externalWindow", r.externalWindow).Num("left", r.left).Num("top", r.top);
      json.Num("right", r.right).Num("bottom", r.bottom);
      break;
    }
    case to_main::kBarNotLoggedIn:
    case to_main::kBarLoggedIn: {
      BarRecord r;
      if (!ParseBarRecord(data, size, &r)) return "null";
      json.Num("hostWindow", r.hostWindow);
      Key(&json, r.key);
      json.Str("userName", r.userName).Str("enterpriseName", r.enterpriseName);
      json.Num("alwaysOne", r.alwaysOne).Num("launch", r.launch).Num("barWindow", r.barWindow);
      json.Num("reserved", r.reserved);
      break;
    }
    case to_main::kWebVersion:
    case to_main::kRecycleBin:
      if (size != 0) return "null";
      break;
    case to_main::kSyncTo:
    case to_main::kUploadFirst: {
      PathListRecord r;
      if (!ParsePathListRecord(data, size, &r)) return "null";
      json.Num("listBytes", static_cast<int64_t>(r.listBytes)).Raw("paths", Json::Array(r.paths));
      break;
    }
    case to_main::kAccountAction: {
      AccountActionRecord r;
      if (!ParseAccountActionRecord(data, size, &r)) return "null";
      Key(&json, r.key);
      json.Num("action", r.action).Num("argument", r.argument);
      break;
    }
    case to_main::kSelectedFiles: {
      SelectedFilesReply r;
      if (!ParseSelectedFilesReply(data, size, &r)) return "null";
      Key(&json, r.key);
      json.Num("requestWindow", r.requestWindow).Num("listBytes", static_cast<int64_t>(r.listBytes));
      json.Raw("paths", Json::Array(r.paths));
      break;
    }
    case to_main::kShare: {
      ShareRecord r;
      if (!ParseShareRecord(data, size, &r)) return "null";
      json.Num("window", r.window).Num("listBytes", static_cast<int64_t>(r.listBytes));
      json.Raw("paths", Json::Array(r.paths));
      break;
    }
    case to_main::kSelectionState: {
      SelectionStateRecord r;
      if (!ParseSelectionStateRecord(data, size, &r)) return "null";
      Key(&json, r.key);
      json.Num("frameWindow", r.frameWindow).Num("count", r.count);
      break;
    }
    case to_main::kHistory: {
      std::wstring path;
      if (!ParseHistoryRecord(data, size, &path)) return "null";
      json.Str("path", path);
      break;
    }
    case to_main::kSelectionFlag: {
      uint8_t flag = 0;
      if (!ParseSelectionFlagRecord(data, size, &flag)) return "null";
      json.Num("flag", flag);
      break;
    }
    case to_main::kBarClosing: {
      BarClosingRecord r;
      if (!ParseBarClosingRecord(data, size, &r)) return "null";
      json.Num("hostWindow", r.hostWindow).Num("barWindow", r.barWindow).Num("embeddedWindow", r.embeddedWindow);
      break;
    }
    default:
      return "null";
  }
  return json.Text();
}

const char* RecordName(DWORD code) {
  switch (code) {
    case to_main::kBarSize: return "bar-size";
    case to_main::kBarNotLoggedIn: return "bar-not-logged-in";
    case to_main::kWebVersion: return "web-version";
    case to_main::kRecycleBin: return "recycle-bin";
    case to_main::kSyncTo: return "sync-to";
    case to_main::kAccountAction: return "account-action";
    case to_main::kSelectedFiles: return "selected-files";
    case to_main::kUploadFirst: return "upload-first";
    case to_main::kShare: return "share";
    case to_main::kSelectionState: return "selection-state";
    case to_main::kBarLoggedIn: return "bar-logged-in";
    case to_main::kHistory: return "history";
    case to_main::kSelectionFlag: return "selection-flag";
    case to_main::kBarClosing: return "bar-closing";
    default: return "unknown";
  }
}

}  // namespace standin

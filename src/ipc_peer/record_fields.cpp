#include "ipc_peer/record_fields.h"

#include <cwchar>

#include "ipc_peer/peer_records.h"

namespace quillan {

namespace {

class Fields {
 public:
  explicit Fields(RecordFields* out) : out_(*out) {}
  Fields& Text(const char* name, const std::wstring& text) { return Add(RecordField::kText, name, text, 0); }
  Fields& Number(const char* name, int64_t number) { return Add(RecordField::kNumber, name, L"", number); }
  Fields& Window(const char* name, int64_t wire) { return Add(RecordField::kWindow, name, L"", wire); }
  Fields& Key(const AccountKey& key) { return Text("userId", key.userId).Text("enterpriseId", key.enterpriseId); }
  Fields& Paths(uint64_t listBytes, const std::vector<std::wstring>& paths) {
    Number("listBytes", static_cast<int64_t>(listBytes));
    out_.fields.push_back(RecordField{RecordField::kPaths, "paths", L"", 0, paths});
    return *this;
  }

 private:
  Fields& Add(RecordField::Kind kind, const char* name, const std::wstring& text, int64_t number) {
    out_.fields.push_back(RecordField{kind, name, text, number, {}});
    return *this;
  }
  RecordFields& out_;
};

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

bool Decode(DWORD code, const void* data, size_t size, Fields& f) {
  switch (code) {
    case to_main::kBarNotLoggedIn:
    case to_main::kBarLoggedIn: {
      BarRecord r;
      if (!ParseBarRecord(data, size, &r)) return false;
      f.Window("hostWindow", r.hostWindow).Key(r.key).Text("userName", r.userName).Text("enterpriseName", r.enterpriseName);
      f.Number("alwaysOne", r.alwaysOne).Number("launch", r.launch).Window("barWindow", r.barWindow);
      f.Number("reserved", r.reserved);
      return true;
    }
    case to_main::kBarSize: {
      BarSizeRecord r;
      if (!ParseBarSizeRecord(data, size, &r)) return false;
      f.Key(r.key).Window("externalWindow", r.externalWindow).Number("left", r.left).Number("top", r.top);
      f.Number("right", r.right).Number("bottom", r.bottom);
      return true;
    }
    case to_main::kWebVersion:
    case to_main::kRecycleBin:
      return size == 0;
    case to_main::kSyncTo:
    case to_main::kUploadFirst: {
      PathListRecord r;
      if (!ParsePathListRecord(data, size, &r)) return false;
      f.Paths(r.listBytes, r.paths);
      return true;
    }
    case to_main::kAccountAction: {
      AccountActionRecord r;
      if (!ParseAccountActionRecord(data, size, &r)) return false;
      f.Key(r.key).Number("action", r.action).Number("argument", r.argument);
      return true;
    }
    case to_main::kSelectedFiles: {
      SelectedFilesReply r;
      if (!ParseSelectedFilesReply(data, size, &r)) return false;
      f.Key(r.key).Window("requestWindow", r.requestWindow).Paths(r.listBytes, r.paths);
      return true;
    }
    case to_main::kShare: {
      ShareRecord r;
      if (!ParseShareRecord(data, size, &r)) return false;
      f.Window("window", r.window).Paths(r.listBytes, r.paths);
      return true;
    }
    case to_main::kSelectionState: {
      SelectionStateRecord r;
      if (!ParseSelectionStateRecord(data, size, &r)) return false;
      f.Key(r.key).Window("frameWindow", r.frameWindow).Number("count", r.count);
      return true;
    }
    case to_main::kHistory: {
      std::wstring path;
      if (!ParseHistoryRecord(data, size, &path)) return false;
      f.Text("path", path);
      return true;
    }
    case to_main::kSelectionFlag: {
      uint8_t flag = 0;
      if (!ParseSelectionFlagRecord(data, size, &flag)) return false;
      f.Number("flag", flag);
      return true;
    }
    case to_main::kBarClosing: {
      BarClosingRecord r;
      if (!ParseBarClosingRecord(data, size, &r)) return false;
      f.Window("hostWindow", r.hostWindow).Window("barWindow", r.barWindow).Window("embeddedWindow", r.embeddedWindow);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

RecordFields DescribeRecord(DWORD code, const void* data, size_t size) {
  RecordFields out;
  out.name = RecordName(code);
  Fields fields(&out);
  out.valid = Decode(code, data, size, fields);
  if (!out.valid) out.fields.clear();
  return out;
}

std::wstring WireWindowText(int64_t wire) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(static_cast<uint64_t>(wire) & 0xFFFFFFFFu));
  return text;
}

}  // namespace quillan

#include "record_text.h"

#include <cwchar>

#include "ipc/records.h"

namespace quillan::demo {

namespace {

std::wstring Key(const AccountKey& key) { return L"user " + key.userId + L", enterprise " + key.enterpriseId; }

std::wstring Paths(const std::vector<std::wstring>& paths) {
  std::wstring text = std::to_wstring(paths.size()) + (paths.size() == 1 ? L" path:" : L" paths:");
  for (const std::wstring& path : paths) text += L" " + path;
  return text;
}

std::wstring Heading(DWORD code, const wchar_t* name, size_t size) {
  return std::to_wstring(code) + L" " + name + L" (" + std::to_wstring(size) + L" bytes)";
}

}  // namespace

std::wstring WireWindowText(int64_t wire) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(static_cast<uint64_t>(wire) & 0xFFFFFFFFu));
  return text;
}

std::wstring WindowText(HWND window) { return WireWindowText(WindowToWire(window)); }

std::vector<std::wstring> DescribeRecord(DWORD code, const std::vector<uint8_t>& payload) {
  const void* data = payload.data();
  const size_t size = payload.size();
  switch (code) {
    case to_main::kBarNotLoggedIn:
    case to_main::kBarLoggedIn: {
      BarRecord bar;
      const wchar_t* name = code == to_main::kBarLoggedIn ? L"bar record, logged in" : L"bar record, not logged in";
      if (!ParseBarRecord(data, size, &bar)) break;
      return {Heading(code, name, size),
              Key(bar.key) + L", user name " + bar.userName + L", enterprise name " + bar.enterpriseName,
              L"host window " + WireWindowText(bar.hostWindow) + L", bar window " + WireWindowText(bar.barWindow) +
                  L", launch flag " + std::to_wstring(bar.launch) +
                  (bar.launch ? L" (the user asks to log in)" : L"")};
    }
    case to_main::kBarSize: {
      BarSizeRecord barSize;
      if (!ParseBarSizeRecord(data, size, &barSize)) break;
      return {Heading(code, L"bar size", size),
              Key(barSize.key) + L", window " + WireWindowText(barSize.externalWindow) + L" is to fill " +
                  std::to_wstring(barSize.left) + L"," + std::to_wstring(barSize.top) + L" - " +
                  std::to_wstring(barSize.right) + L"," + std::to_wstring(barSize.bottom)};
    }
    case to_main::kShare: {
      ShareRecord share;
      if (!ParseShareRecord(data, size, &share)) break;
      return {Heading(code, L"share", size),
              L"window " + WireWindowText(share.window) + L", list of " + std::to_wstring(share.listBytes) +
                  L" bytes, " + Paths(share.paths)};
    }
    case to_main::kSyncTo:
    case to_main::kUploadFirst: {
      PathListRecord list;
      if (!ParsePathListRecord(data, size, &list)) break;
      return {Heading(code, code == to_main::kSyncTo ? L"sync to Orrin" : L"upload first", size), Paths(list.paths)};
    }
    case to_main::kHistory: {
      std::wstring path;
      if (!ParseHistoryRecord(data, size, &path)) break;
      return {Heading(code, L"history", size), path};
    }
    case to_main::kWebVersion:
      return {Heading(code, L"web version", size)};
    case to_main::kRecycleBin:
      return {Heading(code, L"recycle bin", size)};
    case to_main::kAccountAction: {
      AccountActionRecord action;
      if (!ParseAccountActionRecord(data, size, &action)) break;
      return {Heading(code, L"account action", size),
              Key(action.key) + L", action " + std::to_wstring(action.action) +
                  (action.action == kActionQuit ? L" (the Explorer window quits)" : L"")};
    }
    case to_main::kSelectionState: {
      SelectionStateRecord state;
      if (!ParseSelectionStateRecord(data, size, &state)) break;
      return {Heading(code, L"selection state", size),
              Key(state.key) + L", frame " + WireWindowText(state.frameWindow) + L", " +
                  std::to_wstring(state.count) + L" selected"};
    }
    case to_main::kSelectionFlag: {
      uint8_t flag = 0;
      if (!ParseSelectionFlagRecord(data, size, &flag)) break;
      return {Heading(code, L"selection flag", size),
              L"flag " + std::to_wstring(flag) + (flag ? L" (on)" : L" (off)")};
    }
    case to_main::kBarClosing: {
      BarClosingRecord closing;
      if (!ParseBarClosingRecord(data, size, &closing)) break;
      return {Heading(code, L"bar closing", size),
              L"host window " + WireWindowText(closing.hostWindow) + L", bar window " +
                  WireWindowText(closing.barWindow) + L", embedded window " + WireWindowText(closing.embeddedWindow)};
    }
    default:
      break;
  }
  return {Heading(code, L"record", size)};
}

}  // namespace quillan::demo

// The host object of one Explorer window in this process, on the Explorer stand-in's window tree and
// site objects, with the application's configuration in a temporary AppData folder and a window of
// the application's main-window class in this process taking the records.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "account_files.h"
#include "base/handle.h"
#include "explorer/velcloud_explorer_inject_obj.h"
#include "explorer_frame.h"
#include "ipc_peer/peer_records.h"
#include "standin_output.h"
#include "test_support.h"
#include "ui_test_support.h"

namespace quillan::test {

inline constexpr wchar_t kMainClass[] = L"{465164DF-35A8-4AE3-BEE7-9626FCD521EC}";

inline std::unique_ptr<standin::ExplorerFrame> MakeFrame(standin::Layout layout,
                                                         const std::wstring& frameClass = L"CabinetWClass") {
  standin::StandinOutput::Instance().SetQuiet(true);
  standin::FrameOptions options;
  options.band = standin::BandLoad::None;
  options.window.layout = layout;
  options.window.frameClass = frameClass;
  auto frame = std::make_unique<standin::ExplorerFrame>(options);
  EXPECT_TRUE(frame->Create());
  return frame;
}

// 39 pixels at 96 DPI; the dpi120 prefix is 120 DPI.
inline bool At120Dpi() {
  const char* variant = std::getenv("QUILLAN_WINE_VARIANT");
  return variant && std::string(variant) == "dpi120";
}

// Takes one posted message of this kind from the window's queue.
inline bool Posted(HWND window, UINT message) {
  MSG msg;
  return ::PeekMessageW(&msg, window, message, message, PM_REMOVE) != FALSE;
}

inline LRESULT SendCopy(HWND window, const std::optional<Record>& record) {
  COPYDATASTRUCT data = {record->code, static_cast<DWORD>(record->payload.size()),
                         const_cast<uint8_t*>(record->payload.data())};
  return ::SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

// Threads of this process (Toolhelp).
inline int ThreadCount() {
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {sizeof entry};
  int count = 0;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
  }
  return count;
}

// The host windows of this thread.
inline std::vector<HWND> HostWindows() {
  std::vector<HWND> found;
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}", nullptr));) {
    if (::GetWindowThreadProcessId(w, nullptr) == ::GetCurrentThreadId()) found.push_back(w);
  }
  return found;
}

class HostObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = MakeFrame(standin::Layout::Vista);
    sync_ = folders_ / L"Sync";
    ASSERT_TRUE(MakeDirs(sync_ + L"\\Sub") && WriteBytes(sync_ + L"\\a.txt", "a"));
    frame_->NavigateTo(sync_, false, std::wstring());
    host_ = std::make_unique<CVelCloudExplorerInjectObj>(nullptr, accounts_.root());
    ASSERT_EQ(host_->Init(frame_->Site()), S_OK);
  }
  void TearDown() override { host_.reset(); }

  // Puts the bar up for the account (uid, "e1") in the sync folder.
  HRESULT Show(int loggedIn, const std::wstring& uid = L"u1", const std::wstring& nickname = L"nick") {
    return host_->UpdateAccount(true, AccountEntry{loggedIn, sync_, uid, L"e1", nickname, L"ent", L"user", L""});
  }
  HRESULT Leave() { return host_->UpdateAccount(false, AccountEntry{}); }
  LRESULT Copy(const std::optional<Record>& record) { return SendCopy(Host(), record); }
  // A window of the application made inside the bar and announced (33769) for the account.
  HWND Adopt(const std::wstring& uid = L"u1") {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, Bar(), nullptr, nullptr, nullptr);
    Copy(BuildWindowRecord(33769, uid, L"e1", window));
    return window;
  }
  // The codes the application received, in order; the payloads of one code.
  std::vector<DWORD> Codes() const {
    std::vector<DWORD> codes;
    for (const auto& message : main_->Received()) codes.push_back(static_cast<DWORD>(message.code));
    return codes;
  }
  std::vector<std::string> Payloads(DWORD code) const {
    std::vector<std::string> payloads;
    for (const auto& message : main_->Received()) {
      if (message.code == code) payloads.push_back(message.payload);
    }
    return payloads;
  }
  HWND Host() const {
    const std::vector<HWND> hosts = HostWindows();
    return hosts.empty() ? nullptr : hosts[0];
  }
  HWND Bar() const { return host_->BarWindow(); }
  HWND Item(int id) const { return ::GetDlgItem(Bar(), id); }
  bool BarShows() const { return Bar() && (::GetWindowLongPtrW(Bar(), GWL_STYLE) & WS_VISIBLE); }
  int ViewTop() const { return RectInParent(frame_->tree().View()).top; }
  int Height() const { return At120Dpi() ? 48 : 39; }

  TempDir folders_;
  TempDir appData_;
  AccountFiles accounts_{appData_.path(), false};
  std::unique_ptr<standin::ExplorerFrame> frame_;
  std::wstring sync_;
  // The application's main window; a test that lets the desktop stand-in be the application resets it.
  std::unique_ptr<RecordingWindow> main_ = std::make_unique<RecordingWindow>(kMainClass);
  std::unique_ptr<CVelCloudExplorerInjectObj> host_;
};

}  // namespace quillan::test

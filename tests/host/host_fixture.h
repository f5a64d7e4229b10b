// The host object in this process on an Explorer stand-in's window tree and site objects, with a
// window of the application's main-window class in this process taking the records (unless a test
// lets the desktop stand-in be the application).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "explorer/velcloud_explorer_inject_obj.h"
#include "explorer/view_window_search.h"
#include "explorer_frame.h"
#include "host_test_support.h"
#include "standin_output.h"
#include "ui_test_support.h"

namespace quillan::test {

using standin::Layout;

inline std::unique_ptr<standin::ExplorerFrame> MakeFrame(Layout layout, const std::wstring& frameClass = L"CabinetWClass") {
  standin::StandinOutput::Instance().SetQuiet(true);
  standin::FrameOptions options;
  options.band = standin::BandLoad::None;
  options.show = false;
  options.window.layout = layout;
  options.window.frameClass = frameClass;
  auto frame = std::make_unique<standin::ExplorerFrame>(options);
  EXPECT_TRUE(frame->Create());
  return frame;
}

inline RECT Place(HWND window) { return RectInParent(window); }

inline bool Posted(HWND host, UINT message) {
  MSG msg;
  return ::PeekMessageW(&msg, host, message, message, PM_REMOVE) != FALSE;
}

// The codes the application's window received, in order.
inline std::vector<DWORD> Codes(const RecordingWindow& main) {
  std::vector<DWORD> codes;
  for (const auto& message : main.Received(WM_COPYDATA)) codes.push_back(static_cast<DWORD>(message.code));
  return codes;
}

class HostObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = MakeFrame(Layout::Vista);
    sync_ = folders_ / L"Sync";
    ASSERT_TRUE(MakeDirs(sync_ + L"\\Sub") && WriteBytes(sync_ + L"\\a.txt", "a"));
    frame_->NavigateTo(sync_, false, std::wstring());
    host_ = std::make_unique<CVelCloudExplorerInjectObj>(nullptr, accounts_.root());
    ASSERT_EQ(host_->Init(frame_->Site()), S_OK);
  }
  void TearDown() override { host_.reset(); }

  // Puts the bar up for account (uid, "e1") in the sync folder.
  HRESULT Show(int loggedIn, const std::wstring& uid = L"u1") {
    AccountEntry account;
    account.syncFolder = sync_;
    account.userId = uid;
    account.enterpriseId = L"e1";
    account.userName = L"user";
    account.nickname = L"nick";
    account.enterpriseName = L"ent";
    account.loggedIn = loggedIn;
    return host_->UpdateAccount(true, account);
  }
  LRESULT Copy(DWORD code, const std::optional<Record>& record) {
    COPYDATASTRUCT data = {code, static_cast<DWORD>(record->payload.size()), const_cast<uint8_t*>(record->payload.data())};
    return ::SendMessageW(host_->HostWindow(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  }
  HWND Host() const { return host_->HostWindow(); }
  HWND Bar() const { return host_->BarWindow(); }
  bool BarShows() const { return Bar() && (::GetWindowLongPtrW(Bar(), GWL_STYLE) & WS_VISIBLE); }
  int ViewTop() const { return Place(frame_->tree().View()).top; }

  TempDir folders_;
  TempDir appData_;
  AccountFiles accounts_{appData_.path(), false};
  std::unique_ptr<standin::ExplorerFrame> frame_;
  std::wstring sync_;
  // The application's main window; a test that starts the desktop stand-in resets it.
  std::unique_ptr<RecordingWindow> main_ = std::make_unique<RecordingWindow>(kMainWindowClass);
  std::unique_ptr<CVelCloudExplorerInjectObj> host_;
};

}  // namespace quillan::test

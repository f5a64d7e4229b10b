#include "test_support.h"
#include "ui/top_band.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <thread>

#include "band_fixture.h"
#include "base/handle.h"

namespace quillan {
namespace {

using test::BandTest;
using test::Bytes;

std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

TEST_F(BandTest, TheLoginFaceShowsNameAndPromptInTheirColoursAndTheLoggedInFaceNothing) {
  Open(800);
  const struct {
    const wchar_t* nickname;
    const wchar_t* userName;
    const wchar_t* shown;
  } rows[] = {{L"alice@corp.example", L"user", L"alice  "},
              {L"@corp", L"user", L"  "},
              {L"", L"bob@corp", L"bob  "},
              {L"abcdefghijkl", L"user", L"abcdefghijkl  "}};
  for (const auto& row : rows) {
    band_->SetAccountInfo(row.userName, row.nickname, L"", L"u", L"e", false, true);
    EXPECT_EQ(Text(Item(1003)), row.shown) << row.nickname;
  }
  band_->SetAccountInfo(L"user", L"abcdefghijklmnopqrstuvwxyz", L"", L"u", L"e", false, true);
  const std::wstring compacted = Text(Item(1003));  // at most 13 characters, then the two spaces
  EXPECT_LE(compacted.size(), 15u);
  EXPECT_EQ(compacted.substr(0, 3), L"abc");
  EXPECT_EQ(compacted.substr(compacted.size() - 2), L"  ");

  band_->SetAccountInfo(L"user", L"Nick", L"", L"u", L"e", false, true);
  EXPECT_EQ(Text(Item(1000)), L"您还没登录，登录后才能进行同步");
  EXPECT_TRUE(Shows(1003, RGB(116, 120, 135)));
  EXPECT_TRUE(Shows(1000, RGB(85, 89, 95)));
  EXPECT_TRUE(Shows(1001, RGB(21, 104, 248)));
  LOGFONTW font = {};
  ASSERT_EQ(::GetObjectW(band_->NameFont(), sizeof(font), &font), static_cast<int>(sizeof(font)));
  EXPECT_EQ(font.lfWeight, 700);
  EXPECT_EQ(font.lfHeight, -13);  // 10 points at 96 DPI
  EXPECT_STREQ(font.lfFaceName, L"微软雅黑");

  band_->SetAccountInfo(L"user", L"Nick", L"", L"u", L"e", true, true);
  EXPECT_EQ(Text(Item(1000)), L"");
  for (int id : test::kBandItems) EXPECT_FALSE(::IsWindowVisible(Item(id))) << id;
}

TEST_F(BandTest, LoginLinkClicksKeysAndHoverColours) {
  Open(800);
  const HWND link = Item(1001);
  const RECT r = band_->LoginLink().LinkRect();
  const LPARAM inside = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  const LPARAM outside = MAKELPARAM(r.right + 20, r.bottom + 20);
  const auto logins = [&] { return host_.Received(0x1400).size(); };
  EXPECT_TRUE(Shows(1001, RGB(21, 104, 248)));

  ::SendMessageW(link, WM_MOUSEMOVE, 0, inside);
  EXPECT_TRUE(Shows(1001, RGB(29, 124, 220)));
  EXPECT_FALSE(Shows(1001, RGB(21, 104, 248)));
  ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  EXPECT_EQ(::GetCapture(), link);
  ::SendMessageW(link, WM_LBUTTONUP, 0, outside);  // released outside: nothing, and no hover look
  EXPECT_EQ(logins(), 0u);
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_TRUE(Shows(1001, RGB(21, 104, 248)));

  ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  ::SendMessageW(link, WM_LBUTTONUP, 0, inside);
  ASSERT_EQ(logins(), 1u);
  EXPECT_EQ(host_.Received(0x1400)[0].wParam, 0u);
  EXPECT_EQ(host_.Received(0x1400)[0].lParam, reinterpret_cast<LPARAM>(band()));
  // The rest of a double-click (the second press comes as WM_LBUTTONDBLCLK) asks for nothing more.
  ::SendMessageW(link, WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
  ::SendMessageW(link, WM_LBUTTONUP, 0, inside);
  EXPECT_EQ(logins(), 1u);

  ::SendMessageW(link, WM_LBUTTONUP, 0, inside);  // no capture: no click
  for (int key : {VK_RETURN, VK_SPACE, int('a')}) ::SendMessageW(link, WM_CHAR, key, 0);
  EXPECT_EQ(logins(), 3u);
  EXPECT_EQ(::SendMessageW(link, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS);

  // Only the link's command counts; without a host window nothing is sent.
  ::SendMessageW(band(), WM_COMMAND, MAKEWPARAM(1000, 0), 0);
  EXPECT_EQ(logins(), 3u);
  band_->SetHostWindow(nullptr);
  ::SendMessageW(link, WM_CHAR, VK_RETURN, 0);
  EXPECT_EQ(logins(), 3u);
  ::EnableWindow(link, FALSE);
  EXPECT_TRUE(Shows(1001, ::GetSysColor(COLOR_GRAYTEXT)));
}

class BandRecordsTest : public BandTest {
 protected:
  test::RecordingWindow main_{L"{465164DF-35A8-4AE3-BEE7-9626FCD521EC}", WS_POPUP};

  std::vector<std::string> Payloads(DWORD code) {
    std::vector<std::string> out;
    for (const auto& m : main_.Received(WM_COPYDATA)) {
      if (m.code == code) out.push_back(m.payload);
    }
    return out;
  }
  HWND External() {
    return ::CreateWindowExW(0, L"STATIC", L"app", WS_CHILD, 0, 0, 50, 20, band(), nullptr, nullptr, nullptr);
  }
  // The bar size record: account key, the external window, the rectangle 0, 0, cx, cy.
  static std::string Size(HWND external, int cx, int cy) {
    return Bytes().Text(L"uid-1", 32).Text(L"eid-1", 100).Handle(external).Int(0, 8).Int(cx, 4).Int(cy, 4).str();
  }
};

TEST_F(BandRecordsTest, AnExternalWindowIsShownAndToldItsRectangle) {
  Open(640);
  const HWND external = External();
  band_->AttachExternalWindow(external);
  EXPECT_TRUE(::IsWindowVisible(external));
  for (int id : test::kBandItems) EXPECT_FALSE(::IsWindowVisible(Item(id))) << id;
  Place(500);
  EXPECT_EQ(Payloads(33776), (std::vector<std::string>{Size(external, 640, 39), Size(external, 500, 39)}));
  EXPECT_TRUE(band_->CheckExternalWindow());

  // Taken away by the application while not logged in: the own face comes back.
  ::SetParent(external, parent_);
  EXPECT_FALSE(band_->CheckExternalWindow());
  EXPECT_FALSE(::IsWindowVisible(external));
  for (int id : test::kBandItems) EXPECT_TRUE(::IsWindowVisible(Item(id))) << id;
  Place(400);
  EXPECT_EQ(Payloads(33776).size(), 2u);

  // A bar destroyed without an external window tells nothing.
  main_.Clear();
  band_->DestroyWindow();
  EXPECT_TRUE(main_.Received(WM_COPYDATA).empty());
}

TEST_F(BandRecordsTest, ALoggedInBarHidesWhenItsWindowGoesAndReportsItsClosing) {
  Open(640, true);
  const HWND first = External();
  band_->AttachExternalWindow(first);
  const HWND second = External();
  band_->AttachExternalWindow(second);  // replaces and hides the first
  EXPECT_FALSE(::IsWindowVisible(first));
  EXPECT_TRUE(::IsWindowVisible(second));
  EXPECT_TRUE(::KillTimer(band(), 49421));  // the legacy check was running
  ::SetTimer(band(), 49421, 200, nullptr);

  ::DestroyWindow(second);
  EXPECT_FALSE(band_->CheckExternalWindow());
  EXPECT_FALSE(::IsWindowVisible(band()));
  EXPECT_FALSE(::KillTimer(band(), 49421));

  const HWND third = External();
  band_->AttachExternalWindow(third);
  main_.Clear();
  const HWND bandWindow = band();
  band_->DestroyWindow();
  EXPECT_EQ(Payloads(33808), std::vector<std::string>{Bytes().Handle(host_.hwnd()).Handle(bandWindow).Handle(third).str()});
  EXPECT_EQ(main_.Received(WM_COPYDATA).size(), 1u);
}

TEST_F(BandTest, ALoggedInBarRisesAboveAVisibleLegacyBarWhileTheLegacyUiIsActive) {
  UniqueModule legacy(::LoadLibraryW((test::BinDir() + L"\\VelQuillanBar.dll").c_str()));
  ASSERT_TRUE(legacy);
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = legacy.get();
  wc.lpszClassName = L"QuillanLegacyBar";
  ASSERT_TRUE(::RegisterClassExW(&wc));
  Open(640, true);
  const HWND legacyBar = ::CreateWindowExW(0, L"QuillanLegacyBar", L"", WS_CHILD | WS_VISIBLE, 0, 0, 640, 39, parent_,
                                           nullptr, legacy.get(), nullptr);
  const auto raiseLegacyBar = [&] {
    ::SetWindowPos(legacyBar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  };
  const auto bandOnTop = [&] { return ::GetWindow(parent_, GW_CHILD) == band(); };
  raiseLegacyBar();
  band_->AttachExternalWindow(
      ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 9, 9, band(), nullptr, nullptr, nullptr));
  EXPECT_FALSE(bandOnTop());  // no mutex: the legacy UI is not active

  // The legacy UI, while active, holds its mutex on a thread of its own and grants others no more than
  // waiting on it and releasing it; it ends without releasing it.
  const wchar_t kMutex[] = L"Local\\velquillanbox_ui_legacy_active_0";
  UniqueHandle held(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread legacyUi([&] {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100001;;;WD)", SDDL_REVISION_1,
                                                           &sa.lpSecurityDescriptor, nullptr);
    UniqueHandle owned(::CreateMutexW(&sa, TRUE, kMutex));
    ::LocalFree(sa.lpSecurityDescriptor);
    ::SetEvent(held.get());
    ::WaitForSingleObject(done.get(), INFINITE);
  });
  ASSERT_EQ(::WaitForSingleObject(held.get(), 5000), WAIT_OBJECT_0);
  UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutex));  // outlives its owner
  ASSERT_TRUE(mutex);
  band_->RaiseAboveLegacyBar();
  EXPECT_TRUE(bandOnTop());
  raiseLegacyBar();
  ::ShowWindow(legacyBar, SW_HIDE);
  band_->RaiseAboveLegacyBar();
  EXPECT_FALSE(bandOnTop());  // an invisible legacy bar is left alone
  ::ShowWindow(legacyBar, SW_SHOWNA);
  // Timer 49421 raises the bar by itself every 200 ms.
  std::vector<DWORD> raised;
  while (raised.size() < 6 && test::PumpUntil(bandOnTop, 1000)) {
    raised.push_back(::GetTickCount());
    raiseLegacyBar();
  }
  ASSERT_EQ(raised.size(), 6u);
  EXPECT_GE((raised[5] - raised[0]) / 5, 170u);
  EXPECT_LE((raised[5] - raised[0]) / 5, 300u);

  // Abandoned by its owner, the legacy UI is not active, and the checks leave the mutex free.
  ::SetEvent(done.get());
  legacyUi.join();
  for (int i = 0; i < 2; ++i) band_->RaiseAboveLegacyBar();
  EXPECT_FALSE(bandOnTop());
  DWORD taken = WAIT_FAILED;
  std::thread([&] {
    taken = ::WaitForSingleObject(mutex.get(), 0);
    ::ReleaseMutex(mutex.get());
  }).join();
  EXPECT_EQ(taken, static_cast<DWORD>(WAIT_OBJECT_0));
  ::DestroyWindow(legacyBar);
  ::UnregisterClassW(L"QuillanLegacyBar", legacy.get());
}

TEST_F(BandTest, AHundredBarsLeakNoGdiOrUserObjects) {
  test::TempDir dir;
  ASSERT_TRUE(test::Canvas(30, 30, RGB(1, 2, 3)).SaveBmp(dir / L"me.bmp"));
  test::RecordingWindow main(L"{465164DF-35A8-4AE3-BEE7-9626FCD521EC}", WS_POPUP);
  const auto cycle = [&](int i) {
    CTopBand band;
    band.SetHostWindow(host_.hwnd());
    ASSERT_TRUE(band.Create(parent_));
    band.SetAvatar(dir / L"me.bmp");
    band.SetAccountInfo(L"user", L"Nick", L"", L"u", L"e", i % 2 == 1, true);
    ::SetWindowPos(band.m_hWnd, nullptr, 0, 0, 400, 39, SWP_NOZORDER | SWP_SHOWWINDOW);
    if (i % 3 == 0) {
      band.AttachExternalWindow(
          ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 9, 9, band.m_hWnd, nullptr, nullptr, nullptr));
    }
    test::PumpFor(0);
    test::Canvas canvas(400, 39);
    test::PrintWindowTree(band.m_hWnd, &canvas);
  };
  cycle(0);
  cycle(1);
  const long gdi = test::GdiObjectCount(), user = test::UserObjectCount();
  for (int i = 0; i < 100; ++i) cycle(i);
  EXPECT_EQ(test::GdiObjectCount(), gdi);
  EXPECT_EQ(test::UserObjectCount(), user);
  EXPECT_EQ(CWindowImplBase::LiveWindowCount(), 0);
}

}  // namespace
}  // namespace quillan

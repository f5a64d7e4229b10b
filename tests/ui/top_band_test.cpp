#include "ui/top_band.h"

#include <gtest/gtest.h>

#include <thread>

#include "band_fixture.h"
#include "base/handle.h"
#include "ipc/records.h"
#include "test_support.h"

namespace quillan {
namespace {

using test::BandTest;

const COLORREF kLeft = RGB(233, 238, 243);
const COLORREF kRight = RGB(246, 247, 249);
const COLORREF kBottom = RGB(222, 227, 233);
const COLORREF kWhite = RGB(255, 255, 255);
const int kIds[] = {IDC_AVATAR, IDC_NAME, IDC_STATUS_ICON, IDC_MESSAGE, IDC_LOGIN_LINK};

TEST_F(BandTest, NameRules) {
  Open(800);
  HWND name = band_->NameControl().m_hWnd;
  auto show = [&](const std::wstring& nickname, const std::wstring& userName) {
    band_->SetAccountInfo(userName, nickname, L"", L"u", L"e", false, true);
    return Text(name);
  };
  EXPECT_EQ(show(L"alice@corp.example", L"user"), L"alice  ");
  EXPECT_EQ(show(L"@corp", L"user"), L"  ");
  EXPECT_EQ(show(L"", L"bob@corp"), L"bob  ");
  EXPECT_EQ(show(L"abcdefghijkl", L"user"), L"abcdefghijkl  ");
  std::wstring longName = show(L"abcdefghijklmnopqrstuvwxyz", L"user");  // compacted to 13 characters
  EXPECT_LE(longName.size(), 15u);
  EXPECT_EQ(longName.substr(0, 3), L"abc");
  EXPECT_EQ(longName.substr(longName.size() - 2), L"  ");

  LOGFONTW font = {};
  ASSERT_EQ(::GetObjectW(band_->NameFont(), sizeof(font), &font), static_cast<int>(sizeof(font)));
  EXPECT_EQ(font.lfWeight, FW_BOLD);
  EXPECT_EQ(font.lfHeight, -13);  // 10 points at 96 DPI
  EXPECT_STREQ(font.lfFaceName, L"\x5FAE\x8F6F\x96C5\x9ED1");
}

TEST_F(BandTest, LoginLinkClicksKeysAndHoverColours) {
  Open(800);
  CHyperLinkEx& link = band_->LoginLink();
  HWND window = link.m_hWnd;
  RECT r = link.LinkRect();
  LPARAM inside = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  LPARAM outside = MAKELPARAM(r.right + 20, r.bottom + 20);
  auto logins = [&] { return host_.Received(WM_BAND_LOGIN).size(); };
  auto shows = [&](COLORREF color) {
    test::Canvas canvas(800, height());
    test::PrintWindowTree(band(), &canvas);
    return canvas.Contains(test::RectInParent(window), color);
  };
  EXPECT_TRUE(shows(CHyperLinkEx::kBandLinkColor));

  ::SendMessageW(window, WM_MOUSEMOVE, 0, inside);
  EXPECT_TRUE(link.IsHovering());
  EXPECT_TRUE(shows(CHyperLinkEx::kBandHoverColor));
  EXPECT_FALSE(shows(CHyperLinkEx::kBandLinkColor));
  ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  EXPECT_EQ(::GetCapture(), window);
  ::SendMessageW(window, WM_LBUTTONUP, 0, outside);
  EXPECT_EQ(logins(), 0u);
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_FALSE(link.IsHovering());
  EXPECT_TRUE(shows(CHyperLinkEx::kBandLinkColor));

  ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  ::SendMessageW(window, WM_LBUTTONUP, 0, inside);
  ASSERT_EQ(logins(), 1u);
  EXPECT_EQ(host_.Received(WM_BAND_LOGIN)[0].wParam, 0u);
  EXPECT_EQ(host_.Received(WM_BAND_LOGIN)[0].lParam, reinterpret_cast<LPARAM>(band()));
  // The rest of a double-click (the second press comes as WM_LBUTTONDBLCLK) asks for nothing more.
  ::SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
  ::SendMessageW(window, WM_LBUTTONUP, 0, inside);
  EXPECT_EQ(logins(), 1u);

  ::SendMessageW(window, WM_LBUTTONUP, 0, inside);  // no capture: no click
  ::SendMessageW(window, WM_CHAR, VK_RETURN, 0);
  ::SendMessageW(window, WM_CHAR, VK_SPACE, 0);
  ::SendMessageW(window, WM_CHAR, 'a', 0);
  EXPECT_EQ(logins(), 3u);
  EXPECT_EQ(::SendMessageW(window, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS);

  // Only the link's command counts; without a host window nothing is sent.
  ::SendMessageW(band(), WM_COMMAND, MAKEWPARAM(IDC_MESSAGE, 0), 0);
  EXPECT_EQ(logins(), 3u);
  band_->SetHostWindow(nullptr);
  ::SendMessageW(window, WM_CHAR, VK_RETURN, 0);
  EXPECT_EQ(logins(), 3u);
  ::EnableWindow(window, FALSE);
  EXPECT_TRUE(shows(::GetSysColor(COLOR_GRAYTEXT)));
}

class BandRecordsTest : public BandTest {
 protected:
  test::RecordingWindow main_{kMainWindowClass, WS_POPUP};

  // The payloads of the bar size records the main window received.
  std::vector<std::vector<uint8_t>> Sizes() {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& m : main_.Received(WM_COPYDATA)) {
      if (m.code == to_main::kBarSize) out.emplace_back(m.payload.begin(), m.payload.end());
    }
    return out;
  }
  HWND External() {
    return ::CreateWindowExW(0, L"STATIC", L"app", WS_CHILD, 0, 0, 50, 20, band(), nullptr, nullptr, nullptr);
  }
};

TEST_F(BandRecordsTest, AnExternalWindowIsShownAndToldItsRectangle) {
  Open(640);
  HWND external = External();
  band_->AttachExternalWindow(external);
  EXPECT_TRUE(::IsWindowVisible(external));
  for (int id : kIds) EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(band(), id))) << id;
  ASSERT_EQ(Sizes().size(), 1u);
  EXPECT_EQ(Sizes()[0], BuildBarSizeRecord(L"uid-1", L"eid-1", external, 640, 39)->payload);

  Place(500);
  ASSERT_EQ(Sizes().size(), 2u);
  EXPECT_EQ(Sizes()[1], BuildBarSizeRecord(L"uid-1", L"eid-1", external, 500, 39)->payload);
  EXPECT_TRUE(band_->CheckExternalWindow());

  // Taken away by the application while not logged in: the own face comes back.
  ::SetParent(external, parent_);
  EXPECT_FALSE(band_->CheckExternalWindow());
  EXPECT_EQ(band_->ExternalWindow(), nullptr);
  EXPECT_FALSE(::IsWindowVisible(external));
  for (int id : kIds) EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(band(), id))) << id;
  EXPECT_FALSE(band_->CheckExternalWindow());

  // A bar destroyed without an external window tells nothing.
  main_.Clear();
  band_->DestroyWindow();
  EXPECT_TRUE(main_.Received(WM_COPYDATA).empty());
}

TEST_F(BandRecordsTest, LoggedInBarHidesWhenItsWindowGoesAndReportsItsClosing) {
  Open(640, true);
  HWND first = External();
  band_->AttachExternalWindow(first);
  HWND second = External();
  band_->AttachExternalWindow(second);  // replaces and hides the first
  EXPECT_FALSE(::IsWindowVisible(first));
  EXPECT_TRUE(::IsWindowVisible(second));
  EXPECT_TRUE(::KillTimer(band(), CTopBand::kLegacyBarTimer));  // the legacy check was running
  ::SetTimer(band(), CTopBand::kLegacyBarTimer, CTopBand::kLegacyBarPeriodMs, nullptr);

  ::DestroyWindow(second);
  EXPECT_FALSE(band_->CheckExternalWindow());
  EXPECT_FALSE(::IsWindowVisible(band()));
  EXPECT_FALSE(::KillTimer(band(), CTopBand::kLegacyBarTimer));

  HWND third = External();
  band_->AttachExternalWindow(third);
  main_.Clear();
  HWND bandWindow = band();
  band_->DestroyWindow();
  std::vector<test::RecordingWindow::Message> received = main_.Received(WM_COPYDATA);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].code, to_main::kBarClosing);
  const Record closing = *BuildBarClosingRecord(host_.hwnd(), bandWindow, third);
  EXPECT_EQ(received[0].payload, std::string(closing.payload.begin(), closing.payload.end()));
  EXPECT_EQ(band_->ExternalWindow(), nullptr);
  EXPECT_EQ(band_->UserName(), L"");
}

TEST_F(BandTest, LoggedInBarRisesAboveAVisibleLegacyBarWhileTheLegacyUiIsActive) {
  UniqueModule legacy(::LoadLibraryW((test::BinDir() + L"\\VelQuillanBar.dll").c_str()));
  ASSERT_TRUE(legacy);
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = legacy.get();
  wc.lpszClassName = L"QuillanLegacyBar";
  ASSERT_TRUE(::RegisterClassExW(&wc));
  Open(640, true);
  auto legacyBar = [&] {
    return ::CreateWindowExW(0, L"QuillanLegacyBar", L"", WS_CHILD | WS_VISIBLE, 0, 0, 640, 39, parent_, nullptr,
                             legacy.get(), nullptr);
  };
  auto bandOnTop = [&] { return ::GetWindow(parent_, GW_CHILD) == band(); };

  HWND above = legacyBar();
  ::SetWindowPos(above, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ASSERT_FALSE(bandOnTop());
  band_->AttachExternalWindow(
      ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 9, 9, band(), nullptr, nullptr, nullptr));
  EXPECT_FALSE(bandOnTop());  // legacy UI not active
  // The legacy UI is active while another thread holds its mutex.
  UniqueHandle held(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread legacyUi([&] {
    UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, L"Local\\velquillanbox_ui_legacy_active_0"));
    ::SetEvent(held.get());
    ::WaitForSingleObject(done.get(), INFINITE);
    ::ReleaseMutex(mutex.get());
  });
  ::WaitForSingleObject(held.get(), 5000);
  band_->RaiseAboveLegacyBar();
  EXPECT_TRUE(bandOnTop());
  ::SetWindowPos(above, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::ShowWindow(above, SW_HIDE);
  band_->RaiseAboveLegacyBar();
  EXPECT_FALSE(bandOnTop());  // an invisible legacy bar is left alone
  ::ShowWindow(above, SW_SHOWNA);
  EXPECT_TRUE(test::PumpUntil(bandOnTop, 3000));  // the 200 ms timer does it by itself
  ::SetEvent(done.get());
  legacyUi.join();
  ::DestroyWindow(above);
  ::UnregisterClassW(L"QuillanLegacyBar", legacy.get());
}

TEST_F(BandTest, AHundredBarsLeakNoGdiOrUserObjects) {
  test::TempDir dir;
  ASSERT_TRUE(test::Canvas(30, 30, RGB(1, 2, 3)).Save(dir / L"me.bmp", true));
  test::RecordingWindow main(kMainWindowClass, WS_POPUP);
  auto cycle = [&](int i) {
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
  long gdi = test::GdiObjectCount();
  long user = test::UserObjectCount();
  for (int i = 0; i < 100; ++i) cycle(i);
  EXPECT_EQ(test::GdiObjectCount(), gdi);
  EXPECT_EQ(test::UserObjectCount(), user);
  EXPECT_EQ(CWindowImplBase::LiveWindowCount(), 0);
}

}  // namespace
}  // namespace quillan

// The bar as the host puts it up: its login face (texts, colours, font, places, background) at the
// prefix's scale, its login link, the application's window inside a logged-in bar and the records
// about it, and the legacy bar it keeps above. Runs at 96 and at 120 DPI.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host_fixture.h"

namespace quillan {
namespace {

using test::At120Dpi;
using test::Bytes;
using test::RectInParent;

constexpr int kItems[] = {1002, 1003, 1004, 1000, 1001};  // avatar, name, status icon, message, link

std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

class BarTest : public test::HostObjectTest {
 protected:
  // Whether the printed bar shows the colour somewhere inside the item.
  bool Shows(int id, COLORREF color) const {
    test::Canvas canvas(1000, Height());
    test::PrintWindowTree(Bar(), &canvas);
    return canvas.Contains(RectInParent(Item(id)), color);
  }
  // The bar records that ask for a login: 33777 with 1 at 4372.
  size_t Logins() const {
    size_t logins = 0;
    for (const std::string& record : Payloads(33777)) logins += record.size() == 4388 && record[4372] == 1 ? 1 : 0;
    return logins;
  }
};

TEST_F(BarTest, TheLoginFaceShowsItsControlsInTheirPlacesTextsAndColours) {
  const struct {
    const wchar_t* nickname;
    const wchar_t* shown;  // the user name is "user"
  } names[] = {{L"alice@corp.example", L"alice  "}, {L"@corp", L"  "}, {L"", L"user  "},
               {L"abcdefghijkl", L"abcdefghijkl  "}};
  for (const auto& row : names) {
    ASSERT_EQ(Show(0, L"u1", row.nickname), S_OK);
    EXPECT_EQ(Text(Item(1003)), row.shown) << row.nickname;
  }
  ASSERT_EQ(Show(0, L"u1", L"abcdefghijklmnopqrstuvwxyz"), S_OK);
  const std::wstring compacted = Text(Item(1003));  // at most 13 characters, then the two spaces
  EXPECT_LE(compacted.size(), 15u);
  EXPECT_EQ(compacted.substr(0, 3), L"abc");
  EXPECT_EQ(compacted.substr(compacted.size() - 2), L"  ");

  ASSERT_EQ(Show(0), S_OK);
  EXPECT_EQ(Text(Item(1000)), L"您还没登录，登录后才能进行同步");
  EXPECT_EQ(Text(Item(1001)), L"立即登录");
  EXPECT_TRUE(Shows(1003, RGB(116, 120, 135)));
  EXPECT_TRUE(Shows(1000, RGB(85, 89, 95)));
  EXPECT_TRUE(Shows(1001, RGB(21, 104, 248)));
  // The name is as large as its text in bold 10-point "微软雅黑".
  LOGFONTW bold = {At120Dpi() ? -17 : -13, 0, 0, 0, 700};
  wcscpy(bold.lfFaceName, L"微软雅黑");
  UniqueFont font(::CreateFontIndirectW(&bold));
  UniqueMemoryDc screen(::CreateCompatibleDC(nullptr));
  ::SelectObject(screen.get(), font.get());
  RECT text = {0, 0, 10000, 10000};
  ::DrawTextW(screen.get(), L"nick  ", -1, &text, DT_CALCRECT | DT_LEFT);
  EXPECT_EQ(RectInParent(Item(1003)).right - RectInParent(Item(1003)).left, text.right);
  EXPECT_EQ(RectInParent(Item(1003)).bottom - RectInParent(Item(1003)).top, text.bottom);

  // Places: height, avatar x and side, status icon x and side, name x, message x.
  const float s = At120Dpi() ? 1.25f : 1.0f;
  const RECT avatar = RectInParent(Item(1002)), name = RectInParent(Item(1003)), icon = RectInParent(Item(1004));
  const RECT message = RectInParent(Item(1000)), link = RectInParent(Item(1001));
  const int cy = RectInParent(Bar()).bottom;
  const std::vector<int> places = {cy, avatar.left, avatar.right - avatar.left, avatar.bottom - avatar.top, icon.left,
                                   icon.right - icon.left, icon.bottom - icon.top, name.left, message.left};
  EXPECT_EQ(places, At120Dpi() ? std::vector<int>({48, 5, 37, 37, 206, 17, 17, 52, 233})
                               : std::vector<int>({39, 4, 30, 30, 165, 14, 14, 42, 187}));
  for (const RECT& r : {avatar, icon, message, link}) EXPECT_EQ(r.top, (cy - (r.bottom - r.top)) / 2);
  EXPECT_EQ(name.top, static_cast<int>(s + static_cast<float>((cy - (name.bottom - name.top)) / 2)));
  EXPECT_EQ(link.left, static_cast<int>(7.0f * s + static_cast<float>(message.right - message.left) +
                                        static_cast<float>(message.left)));
  for (int id : kItems) EXPECT_TRUE(::IsWindowVisible(Item(id))) << id;

  // The background: the left 152 columns keep their width times the scale, the rest stretches, and the
  // bottom row keeps its own colour.
  test::Canvas canvas(300, cy, RGB(1, 2, 3));
  ::SetWindowPos(Bar(), nullptr, 0, 0, 300, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  ::SendMessageW(Bar(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
  const int left = At120Dpi() ? 190 : 152;
  for (int x = 0; x < 300; ++x) {
    ASSERT_EQ(canvas.Pixel(x, 0), x < left ? RGB(233, 238, 243) : RGB(246, 247, 249)) << x;
    ASSERT_EQ(canvas.Pixel(x, cy - 2), x < left ? RGB(233, 238, 243) : RGB(246, 247, 249)) << x;
    ASSERT_EQ(canvas.Pixel(x, cy - 1), RGB(222, 227, 233)) << x;
  }

  // Logged in: no prompt and none of the five controls.
  ASSERT_EQ(Show(1), S_OK);
  EXPECT_EQ(Text(Item(1000)), L"");
  for (int id : kItems) EXPECT_FALSE(::IsWindowVisible(Item(id))) << id;
}

TEST_F(BarTest, TheLoginLinkAsksTheApplicationForOneLoginPerClick) {
  ASSERT_EQ(Show(0), S_OK);
  const HWND link = Item(1001);
  const LPARAM inside = MAKELPARAM(3, 3), outside = MAKELPARAM(400, 60);
  ::SendMessageW(link, WM_MOUSEMOVE, 0, inside);
  EXPECT_TRUE(Shows(1001, RGB(29, 124, 220)));
  EXPECT_FALSE(Shows(1001, RGB(21, 104, 248)));
  ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  EXPECT_EQ(::GetCapture(), link);
  ::SendMessageW(link, WM_LBUTTONUP, 0, outside);  // released outside: nothing, and no hover look
  EXPECT_EQ(Logins(), 0u);
  EXPECT_EQ(::GetCapture(), nullptr);
  EXPECT_TRUE(Shows(1001, RGB(21, 104, 248)));

  ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  ::SendMessageW(link, WM_LBUTTONUP, 0, inside);
  ASSERT_EQ(Logins(), 1u);
  const std::string login = Payloads(33777).back();
  EXPECT_EQ(login.substr(0, 8), Bytes().Handle(Host()).str());
  EXPECT_EQ(login.substr(4376, 8), Bytes().Handle(Bar()).str());
  // The rest of a double-click (the second press comes as WM_LBUTTONDBLCLK) asks for nothing more, nor
  // does a release without a press.
  ::SendMessageW(link, WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
  ::SendMessageW(link, WM_LBUTTONUP, 0, inside);
  ::SendMessageW(link, WM_LBUTTONUP, 0, inside);
  EXPECT_EQ(Logins(), 1u);
  for (int key : {VK_RETURN, VK_SPACE, int('a')}) ::SendMessageW(link, WM_CHAR, key, 0);
  EXPECT_EQ(Logins(), 3u);
  EXPECT_EQ(::SendMessageW(link, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS);
  ::SendMessageW(Bar(), WM_COMMAND, MAKEWPARAM(1000, 0), 0);  // only the link's command counts
  EXPECT_EQ(Logins(), 3u);
  ::EnableWindow(link, FALSE);
  EXPECT_TRUE(Shows(1001, ::GetSysColor(COLOR_GRAYTEXT)));
}

TEST_F(BarTest, ALoggedInBarHostsTheApplicationsWindowAndTellsItsSizeAndItsClosing) {
  ASSERT_EQ(Show(1), S_OK);
  const HWND first = Adopt();
  const HWND external = Adopt();  // replaces and hides the first
  EXPECT_FALSE(::IsWindowVisible(first));
  EXPECT_TRUE(::IsWindowVisible(external));
  for (int id : kItems) EXPECT_FALSE(::IsWindowVisible(Item(id))) << id;
  // The bar size record: the account key, the window, and 0, 0, width, height.
  const auto size = [&](int cx) {
    return Bytes().Text(L"u1", 32).Text(L"e1", 100).Handle(external).Int(0, 8).Int(cx, 4).Int(Height(), 4).str();
  };
  const int width = RectInParent(Bar()).right;
  EXPECT_EQ(Payloads(33776).back(), size(width));
  ::SetWindowPos(frame_->tree().Frame(), nullptr, 0, 0, 700, 500, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  ::SendMessageW(Host(), WM_TIMER, 1000, 0);
  EXPECT_EQ(Payloads(33776).back(), size(width - 100));

  // Leaving: the closing record names the host window, the bar and the application's window.
  const HWND bar = Bar();
  main_->Clear();
  ASSERT_EQ(Leave(), S_OK);
  EXPECT_EQ(Payloads(33808), std::vector<std::string>{Bytes().Handle(Host()).Handle(bar).Handle(external).str()});
  EXPECT_EQ(Codes(), std::vector<DWORD>{33808});
  // A bar that never held the application's window closes without a word.
  ASSERT_EQ(Show(0), S_OK);
  main_->Clear();
  ASSERT_EQ(Leave(), S_OK);
  EXPECT_TRUE(Codes().empty());
}

TEST_F(BarTest, ALoggedInBarRisesAboveAVisibleLegacyBarWhileTheLegacyUiIsActive) {
  UniqueModule legacy(::LoadLibraryW((test::BinDir() + L"\\VelQuillanBar.dll").c_str()));
  ASSERT_TRUE(legacy);
  WNDCLASSW wc = {0, ::DefWindowProcW, 0, 0, legacy.get()};
  wc.lpszClassName = L"QuillanLegacyBar";
  ASSERT_TRUE(::RegisterClassW(&wc));
  ASSERT_EQ(Show(1), S_OK);
  const HWND pane = ::GetParent(Bar());
  const HWND legacyBar = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 640, 39, pane,
                                           nullptr, legacy.get(), nullptr);
  const auto lower = [&] { ::SetWindowPos(legacyBar, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE); };
  const auto barOnTop = [&] { return ::GetWindow(pane, GW_CHILD) == Bar(); };
  Adopt();
  lower();
  test::PumpFor(500);
  EXPECT_FALSE(barOnTop());  // no mutex: the legacy UI is not active

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
  ::ShowWindow(legacyBar, SW_HIDE);
  test::PumpFor(500);
  EXPECT_FALSE(barOnTop());  // an invisible legacy bar is left alone
  ::ShowWindow(legacyBar, SW_SHOWNA);
  // Timer 49421 raises the bar every 200 ms.
  std::vector<DWORD> raised;
  while (raised.size() < 6 && test::PumpUntil(barOnTop, 1000)) {
    raised.push_back(::GetTickCount());
    lower();
  }
  ASSERT_EQ(raised.size(), 6u);
  EXPECT_GE((raised[5] - raised[0]) / 5, 170u);
  EXPECT_LE((raised[5] - raised[0]) / 5, 300u);

  // Gone (its owner ended without releasing the mutex): the legacy UI is not active.
  ::SetEvent(done.get());
  legacyUi.join();
  test::PumpFor(500);
  EXPECT_FALSE(barOnTop());
  ::DestroyWindow(legacyBar);
  ::UnregisterClassW(wc.lpszClassName, legacy.get());
}

}  // namespace
}  // namespace quillan

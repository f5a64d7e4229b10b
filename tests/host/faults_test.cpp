// Bad input and bad neighbours: random records, a hung application, an adoption while the bar closes;
// no growth of GDI, USER, kernel or thread resources over many navigations and windows; the DLL
// unloaded once its objects are gone, then loaded and used again.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>

#include "shell_dll.h"
#include "desktop_app_driver.h"
#include "host_fixture.h"
#include "input_probe.h"
#include "ipc/main_window.h"
#include "window_tree.h"

namespace quillan {
namespace {

using test::HostObjectTest;
using test::RectInParent;

unsigned Seed() {
  const char* given = std::getenv("QUILLAN_SEED");
  const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : 20261207u;
  std::cout << "seed " << seed << " (QUILLAN_SEED repeats it)" << std::endl;
  return seed;
}

TEST_F(HostObjectTest, RandomRecordsAreAnsweredWithoutEffectUnlessWellFormed) {
  ASSERT_EQ(Show(0), S_OK);
  const RECT bar = RectInParent(Bar());
  main_->Clear();
  // Every code the host takes but the close request (which any size may carry), and the codes around.
  const std::map<DWORD, DWORD> sizes = {{33769, 272}, {33771, 268}, {33772, 268}, {33775, 264},
                                        {33782, 2316}, {33783, 272}, {33789, 12},  {33793, 272}};
  std::mt19937 random(Seed());
  std::vector<uint8_t> bytes(2400);
  for (int i = 0; i < 100000; ++i) {
    DWORD code = 33760 + random() % 40;
    if (code == 33774) ++code;
    auto known = sizes.find(code);
    const DWORD base = known != sizes.end() ? known->second : std::next(sizes.begin(), random() % sizes.size())->second;
    DWORD size = base + random() % 7 - 3;
    // Exact sizes of the visibility records act whatever the key; the fuzz keeps to records that must not.
    if (size == base && (code == 33771 || code == 33772)) ++size;
    for (DWORD b = 0; b < size; ++b) bytes[b] = static_cast<uint8_t>(random() % 255 + 1);  // no terminators
    const bool noData = random() % 50 == 0;
    COPYDATASTRUCT record = {code, size, noData ? nullptr : bytes.data()};
    const LRESULT answer = ::SendMessageW(Host(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
    const bool probe = code == 33789 && size == 12 && !noData;
    const uint32_t third = bytes[8] | bytes[9] << 8 | bytes[10] << 16 | static_cast<uint32_t>(bytes[11]) << 24;
    ASSERT_EQ(answer, probe && third == 0 ? 1 : 0) << "record " << i << " code " << code << " size " << size;
  }
  EXPECT_TRUE(Codes().empty());
  EXPECT_FALSE(test::Posted(Host(), 0x1402) || test::Posted(Host(), 0x1401));
  const RECT now = RectInParent(Bar());
  EXPECT_TRUE(BarShows() && ::EqualRect(&bar, &now));
  EXPECT_EQ(ViewTop(), 39);
  EXPECT_FALSE(::IsZoomed(frame_->tree().Frame()));
}

TEST_F(HostObjectTest, AHungApplicationCostsExplorerLittleAndLosesNothing) {
  main_.reset();
  test::DesktopAppStandin app;
  ASSERT_TRUE(app.Start());
  ASSERT_EQ(Show(1), S_OK);
  ASSERT_TRUE(test::PumpUntil([&] { return BarShows(); }, 5000));  // the application's window is in the bar
  const HWND hostedBar = Bar();

  // From its next record on the application sleeps for 10 s.
  ASSERT_EQ(app.Control(L"hang 10000 1"), 1);
  frame_->SetSelection({sync_ + L"\\a.txt"});
  ::PostMessageW(Host(), 0x1401, 0, 0);
  const DWORD hangStart = ::GetTickCount();
  test::InputProbe probe;
  test::PumpFor(5500);  // the system counts a thread as hung after 5 s
  probe.Take();
  // Hung now: the send step gives up at once, even on the record that is sent only once (33808).
  for (bool retried : {false, true}) {
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(SendToMainWindow(retried ? BuildSelectionFlagRecord(true) : BuildBarClosingRecord(Host(), Bar(), Bar())));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_LT(::GetTickCount() - start, 100u) << retried;
  }

  // Explorer goes on meanwhile: a drag over the items, leaving the folder (the bar holding the
  // application's window goes), another account's login face and its login link, a new view.
  for (int i = 0; i < 20; ++i) ::SendMessageW(frame_->tree().Items(), WM_MOUSEMOVE, MK_LBUTTON, 0);
  test::PumpFor(200);
  ASSERT_EQ(Leave(), S_OK);
  EXPECT_FALSE(::IsChild(frame_->tree().Pane(), hostedBar));
  test::PumpFor(200);
  ASSERT_EQ(Show(0, L"u2"), S_OK);
  ASSERT_TRUE(BarShows());
  ::SendMessageW(Host(), 0x1400, 0, reinterpret_cast<LPARAM>(Bar()));
  test::PumpFor(200);
  frame_->NavigateTo(sync_, true, std::wstring());
  host_->Revalidate();
  test::PumpFor(8500 - (::GetTickCount() - hangStart));
  const test::InputProbe::Figures hung = probe.Take();
  std::cout << "hung: " << hung.blocked << " of " << hung.probes << " probes blocked, longest " << hung.longestMs
            << " ms" << std::endl;
  EXPECT_LT(hung.BlockedFraction(), 0.3);
  EXPECT_LT(hung.longestMs, 1000u);

  // Awake again: the login asked for meanwhile arrives (a 33777 with the launch flag) within 5 s, and
  // the bar that held the application's window is gone with it.
  const size_t before = app.Records(33777).size();
  auto loginDelivered = [&] {
    const auto records = app.Records(33777);
    return std::any_of(records.begin() + static_cast<std::ptrdiff_t>(std::min(before, records.size())), records.end(),
                       [](const test::DesktopAppRecord& r) { return r.payload.size() == 4388 && r.payload[4372] == 1; });
  };
  ASSERT_TRUE(test::PumpUntil(loginDelivered, 10000 + 5000 - (::GetTickCount() - hangStart)));
  EXPECT_TRUE(test::PumpUntil([&] { return !::IsWindow(hostedBar); }, 2000));
  // Back in the logged-in account's folder: its bar gets the application's window and the selection
  // is reported.
  const size_t states = app.Records(33788).size();
  ASSERT_EQ(Show(1), S_OK);
  EXPECT_TRUE(test::PumpUntil([&] { return BarShows(); }, 5000));
  EXPECT_TRUE(app.WaitForRecords(33788, states + 1, 3000));

  // Closing the window while the application sleeps again costs one bounded send at most.
  ASSERT_EQ(app.Control(L"hang 3000 1"), 1);
  frame_->SetSelection({});
  ::SendMessageW(Host(), 0x1401, 0, 0);
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(host_->Uninit(), S_OK);
  frame_.reset();
  EXPECT_LT(::GetTickCount() - start, 1000u);
  app.Stop();
}

// Answers the bar's closing record at once with an adoption of the window, as the application may while
// that send waits.
struct AdoptOnClosing {
  HWND host;
  Record adopt;
  int closings = 0;

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    auto* answer = reinterpret_cast<AdoptOnClosing*>(self);
    const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (message == WM_COPYDATA && record && record->dwData == 33808) {
      ++answer->closings;
      COPYDATASTRUCT data = {answer->adopt.code, static_cast<DWORD>(answer->adopt.payload.size()),
                             answer->adopt.payload.data()};
      ::SendMessageW(answer->host, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
  }
};

TEST_F(HostObjectTest, AnAdoptionWhileTheBarClosesStartsNoWorkerThatOutlivesTheObject) {
  const int threads = test::ThreadCount();
  ASSERT_EQ(Show(1), S_OK);
  HWND external = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, Bar(), nullptr, nullptr, nullptr);
  AdoptOnClosing answer{Host(), *BuildWindowRecord(33769, L"u1", L"e1", external)};
  Copy(answer.adopt);
  ASSERT_EQ(test::ThreadCount(), threads + 1);
  ASSERT_TRUE(::SetWindowSubclass(main_->hwnd(), &AdoptOnClosing::Proc, 1, reinterpret_cast<DWORD_PTR>(&answer)));
  EXPECT_EQ(host_->Uninit(), S_OK);
  ::RemoveWindowSubclass(main_->hwnd(), &AdoptOnClosing::Proc, 1);
  EXPECT_EQ(answer.closings, 1);
  EXPECT_EQ(test::ThreadCount(), threads);
}

// Wine's GetProcessHandleCount answers 0; its handles are small multiples of 4, which a probe finds.
long KernelHandles() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) return static_cast<long>(count);
  long live = 0;
  for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++live;
  }
  return live;
}

// The DLL as Explorer loads it: many navigations and windows (a login face with an avatar; a bar that
// hosts the application's window and runs a worker) leave no GDI or USER object, handle or thread
// behind; once its objects are gone it unloads, and it works again after the next load.
TEST(HostResources, ManyWindowsLeaveNothingBehindAndTheDllUnloadsOnceTheyAreGone) {
  test::AccountFiles accounts(test::PrefixAppData(), true);
  test::TempDir folders;
  const std::wstring out = folders / L"Out", notLoggedIn = folders / L"A", loggedIn = folders / L"Root\\B";
  ASSERT_TRUE(test::MakeDirs(out) && test::MakeDirs(notLoggedIn) && test::MakeDirs(loggedIn));
  ASSERT_TRUE(test::Canvas(30, 30, RGB(1, 2, 3)).SaveBmp(folders / L"me.bmp"));
  accounts.AddSyncAccount({L"ua", L"ea", notLoggedIn, L"a", L"", L"A", folders / L"me.bmp"});
  accounts.AddProfileAccount({L"ub", L"eb", loggedIn, L"b", L"", L"B"});
  test::RecordingWindow main(test::kMainClass);
  const std::wstring path = test::ShellDll::Path();
  for (int round = 0; round < 2; ++round) {
    auto dll = std::make_unique<test::ShellDll>();
    const HMODULE module = ::GetModuleHandleW(path.c_str());
    ASSERT_TRUE(dll->loaded());
    {
      ComPtr<IClassFactory> factory;
      ASSERT_EQ(dll->getClassObject(test::kBandClsid, IID_IClassFactory, factory.PutVoid()), S_OK);
      const auto open = [&](std::unique_ptr<standin::ExplorerFrame>& frame, ComPtr<IObjectWithSite>& band) {
        frame = test::MakeFrame(standin::Layout::Vista);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IObjectWithSite, band.PutVoid()), S_OK);
        ASSERT_EQ(band->SetSite(frame->Site()), S_OK);
      };
      std::unique_ptr<standin::ExplorerFrame> frame;
      ComPtr<IObjectWithSite> band;
      open(frame, band);
      const auto navigations = [&](int count) {
        for (int i = 0; i < count; ++i) {
          frame->NavigateTo(i % 2 ? out : notLoggedIn, true, std::wstring());
          test::PumpFor(0);  // the avatar's picture arrives by a posted message
          test::Canvas canvas(800, 39);
          test::PrintWindowTree(frame->tree().Pane(), &canvas);
        }
      };
      // A window whose bar hosts the application's window and runs a worker, opened and closed in
      // Explorer's order: the quit event, SetSite(null), the last release, then the windows.
      const auto window = [&] {
        std::unique_ptr<standin::ExplorerFrame> other;
        ComPtr<IObjectWithSite> otherBand;
        open(other, otherBand);
        other->NavigateTo(loggedIn, true, std::wstring());
        HWND bar = standin::FindDescendant(other->tree().Pane(), L"#32770", false), host = nullptr;
        ASSERT_TRUE(bar);
        for (const auto& record : main.Received()) {  // the host window of the bar record that names this bar
          if (record.payload.size() == 4388 && record.payload.substr(4376, 8) == test::Bytes().Handle(bar).str()) {
            host = reinterpret_cast<HWND>(*reinterpret_cast<const INT_PTR*>(record.payload.data()));
          }
        }
        HWND external = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, bar, nullptr, nullptr, nullptr);
        test::SendCopy(host, BuildWindowRecord(33769, L"ub", L"eb", external));
        ASSERT_TRUE(::GetWindowLongPtrW(bar, GWL_STYLE) & WS_VISIBLE);
        other->webBrowser()->FireOnQuit();
        otherBand->SetSite(nullptr);
        otherBand.Reset();
        other.reset();
        main.Clear();
      };
      navigations(round == 0 ? 10 : 2);
      window();
      if (round == 0) {
        ::OutputDebugStringW(L"");  // the worker's first debug string makes Wine open a mutex it keeps
        test::PumpFor(100);
        const long gdi = test::GdiObjectCount(), user = test::UserObjectCount(), handles = KernelHandles();
        const int threads = test::ThreadCount();
        navigations(100);
        for (int i = 0; i < 30; ++i) window();
        test::PumpFor(100);
        std::cout << "gdi " << gdi << " -> " << test::GdiObjectCount() << ", user " << user << " -> "
                  << test::UserObjectCount() << ", handles " << handles << " -> " << KernelHandles() << ", threads "
                  << threads << " -> " << test::ThreadCount() << std::endl;
        EXPECT_LE(test::GdiObjectCount(), gdi);
        EXPECT_LE(test::UserObjectCount(), user);
        EXPECT_LE(KernelHandles(), handles);
        EXPECT_LE(test::ThreadCount(), threads);
      }
      EXPECT_EQ(dll->canUnloadNow(), S_FALSE);  // the band, its windows and the factory
      band->SetSite(nullptr);
    }
    EXPECT_EQ(dll->canUnloadNow(), S_OK);
    dll.reset();
    EXPECT_FALSE(::GetModuleHandleW(path.c_str())) << "round " << round;
    WNDCLASSEXW info = {sizeof info};
    EXPECT_FALSE(::GetClassInfoExW(module, L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}", &info));
    test::PumpFor(300);  // nothing of the module runs any more
  }
}

}  // namespace
}  // namespace quillan

// The stand-in as the other tests use it: a logged-in account's window put into a bar of this
// process and announced to its host window, sized by the bar size record, and records sent on command.
#include <gtest/gtest.h>

#include <vector>

#include "base/handle.h"
#include "desktop_app_standin.h"
#include "ipc/main_window.h"
#include "test_support.h"

namespace quillan {
namespace {

struct Received {
  DWORD code;
  std::vector<uint8_t> payload;
};
std::vector<Received> g_received;

// A host window as the Explorer side has one: it keeps what it accepts and answers the probe.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
  const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (!IsAcceptedByHost(data)) return 0;
  const auto* bytes = static_cast<const uint8_t*>(data.lpData);
  g_received.push_back(Received{static_cast<DWORD>(data.dwData), std::vector<uint8_t>(bytes, bytes + (bytes ? data.cbData : 0))});
  ProbeRecord probe;
  if (ParseProbeRecord(data.lpData, data.cbData, &probe)) return probe.third == 0 ? 1 : 0;
  return 0;
}

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_received.clear();
    WNDCLASSW host = {};
    host.lpfnWndProc = HostProc;
    host.hInstance = ::GetModuleHandleW(nullptr);
    host.lpszClassName = L"QuillanTestHost";
    ::RegisterClassW(&host);
    host_.reset(::CreateWindowExW(0, L"QuillanTestHost", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  host.hInstance, nullptr));
    bar_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 800, 39, nullptr, nullptr,
                                 host.hInstance, nullptr));
    ASSERT_TRUE(host_ && bar_);
    ASSERT_TRUE(standin_.Start());
  }

  UniqueWindow host_;
  UniqueWindow bar_;
  test::DesktopAppStandin standin_;
};

TEST_F(StandinTest, ALoggedInBarGetsTheApplicationsWindowAndTheHostHearsOfIt) {
  ASSERT_EQ(SendBarRecord(host_.get(), bar_.get(), L"uid", L"eid", L"Name", L"Ent", 1, 0), 1);
  ASSERT_TRUE(test::PumpUntil([] { return !g_received.empty(); }, 5000));
  ASSERT_EQ(g_received.size(), 1u);
  WindowRecord adopt;
  ASSERT_EQ(g_received[0].code, 33769u);
  ASSERT_TRUE(ParseWindowRecord(g_received[0].payload.data(), g_received[0].payload.size(), &adopt));
  EXPECT_TRUE(adopt.key.Matches(L"uid", L"eid"));
  HWND child = WindowFromWire(adopt.window);
  ASSERT_TRUE(::IsWindow(child));
  EXPECT_EQ(::GetParent(child), bar_.get());
  RECT rect;
  ::GetClientRect(child, &rect);
  EXPECT_EQ(rect.right, 800);

  // The bar's new size reaches the application's window.
  ASSERT_TRUE(SendToMainWindow(BuildBarSizeRecord(L"uid", L"eid", child, 640, 52)));
  ::GetClientRect(child, &rect);
  EXPECT_EQ(rect.right, 640);
  EXPECT_EQ(rect.bottom, 52);
  EXPECT_EQ(standin_.Control(L"destroy-child " + std::to_wstring(WindowToWire(bar_.get()))), 1);
  EXPECT_FALSE(::IsWindow(child));
}

TEST_F(StandinTest, ControlCommandsSendRecordsToAHostWindow) {
  const std::wstring host = std::to_wstring(WindowToWire(host_.get()));
  // The host's answer comes back as the command's answer.
  EXPECT_EQ(standin_.Control(L"send " + host + L" 33789 000000000000000000000000"), 1);
  EXPECT_EQ(standin_.Control(L"send " + host + L" 33789 000000000000000001000000"), 0);
  EXPECT_EQ(standin_.Control(L"send " + host + L" 33774 -"), 0);
  EXPECT_EQ(standin_.Control(L"send 0x12345 33774 -"), test::kStandinFailed);  // no such window
  ASSERT_EQ(g_received.size(), 3u);
  EXPECT_EQ(g_received[2].code, 33774u);
  EXPECT_TRUE(g_received[2].payload.empty());
  EXPECT_EQ(standin_.Control(L"bogus"), test::kStandinFailed);
}

}  // namespace
}  // namespace quillan

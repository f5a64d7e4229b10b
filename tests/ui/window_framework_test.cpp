#include <gtest/gtest.h>

#include "base/window_impl_base.h"
#include "ui_test_support.h"

namespace quillan {
namespace {

const UINT kPing = WM_APP + 1;
const WindowClassInfo kTestClass = {L"QuillanFrameworkTest", 0, nullptr, IDC_ARROW};

class PingWindow : public CWindowImplBase {
 public:
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    if (message == WM_CREATE) sawCreate = window;
    if (message != kPing) return FALSE;
    result = static_cast<LRESULT>(wParam) + 1;
    return TRUE;
  }
  void OnFinalMessage(HWND window) override {
    finalWindow = window;
    handleAtFinal = m_hWnd;
  }
  HWND sawCreate = nullptr;
  HWND finalWindow = nullptr;
  HWND handleAtFinal = reinterpret_cast<HWND>(1);
};

TEST(WindowFramework, OwnClassWindowsDispatchDetachAndCanBeReused) {
  long live = CWindowImplBase::LiveWindowCount();
  PingWindow object;
  RECT rect = {0, 0, 50, 50};
  for (int round = 0; round < 2; ++round) {
    HWND window = object.Create(kTestClass, nullptr, rect, L"", WS_POPUP);
    ASSERT_TRUE(window);
    EXPECT_EQ(object.m_hWnd, window);
    EXPECT_EQ(object.sawCreate, window);  // messages before CreateWindowExW returns reach the object
    EXPECT_EQ(::SendMessageW(window, kPing, 41, 0), 42);
    EXPECT_EQ(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0), 0);  // unhandled: default processing
    EXPECT_EQ(CWindowImplBase::LiveWindowCount(), live + 1);
    EXPECT_EQ(object.Create(kTestClass, nullptr, rect, L"", WS_POPUP), nullptr);  // one window per object

    ASSERT_TRUE(object.DestroyWindow());
    EXPECT_EQ(object.finalWindow, window);
    EXPECT_EQ(object.handleAtFinal, nullptr);  // detached before OnFinalMessage
    EXPECT_EQ(object.m_hWnd, nullptr);
    EXPECT_EQ(CWindowImplBase::LiveWindowCount(), live);
  }
  // A class stays registered while it has windows; an object that goes first takes its window along.
  HWND window = nullptr;
  {
    PingWindow other;
    window = other.Create(kTestClass, nullptr, rect, L"", WS_POPUP);
    ASSERT_TRUE(window);
    EXPECT_FALSE(CWindowImplBase::UnregisterWindowClasses());
  }
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_TRUE(CWindowImplBase::UnregisterWindowClasses());
  WNDCLASSEXW info = {sizeof(info)};
  EXPECT_FALSE(::GetClassInfoExW(::GetModuleHandleW(nullptr), kTestClass.name, &info));
}

TEST(WindowFramework, SubclassedControlsAreUnhookedWhenTheObjectGoesFirst) {
  HWND parent = test::CreateTestParent(100, 100);
  HWND label = ::CreateWindowExW(0, L"STATIC", L"abc", WS_CHILD, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
  long live = CWindowImplBase::LiveWindowCount();
  {
    PingWindow object;
    ASSERT_TRUE(object.SubclassWindow(label));
    EXPECT_FALSE(object.SubclassWindow(label));
    EXPECT_EQ(::SendMessageW(label, kPing, 1, 0), 2);
    EXPECT_EQ(::SendMessageW(label, WM_GETTEXTLENGTH, 0, 0), 3);  // the control's own behaviour
    ASSERT_TRUE(object.UnsubclassWindow());
    EXPECT_EQ(::SendMessageW(label, kPing, 1, 0), 0);
    ASSERT_TRUE(object.SubclassWindow(label));
  }
  // The object is gone, the control lives on without it.
  EXPECT_TRUE(::IsWindow(label));
  EXPECT_EQ(::SendMessageW(label, kPing, 1, 0), 0);
  EXPECT_EQ(CWindowImplBase::LiveWindowCount(), live);

  // An object bound to a control that its parent destroys sees the final message.
  PingWindow bound;
  ASSERT_TRUE(bound.SubclassWindow(label));
  ::DestroyWindow(parent);
  EXPECT_EQ(bound.finalWindow, label);
  EXPECT_EQ(bound.m_hWnd, nullptr);
  EXPECT_EQ(CWindowImplBase::LiveWindowCount(), live);
}

}  // namespace
}  // namespace quillan

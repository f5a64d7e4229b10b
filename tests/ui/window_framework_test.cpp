#include <gtest/gtest.h>

#include <thread>

#include "base/dialog_impl.h"
#include "base/window_impl_base.h"
#include "resource.h"
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

class FontOrderDialog : public CDialogImpl<FontOrderDialog> {
 public:
  enum { IDD = IDD_TOPBAND };
  BOOL ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_SETFONT:
        font = reinterpret_cast<HFONT>(wParam);
        order += "F";
        return TRUE;
      case WM_INITDIALOG:
        order += "I";
        initParam = lParam;
        result = FALSE;
        return TRUE;
      case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(font);
        return TRUE;
      default:
        return FALSE;
    }
  }
  HFONT font = nullptr;
  std::string order;
  LPARAM initParam = 0;
};

TEST(WindowFramework, DialogsSeeTheTemplateFontBeforeInitAndAnswerThroughTheDialogManager) {
  HWND parent = test::CreateTestParent(600, 100);
  FontOrderDialog dialog;
  ASSERT_TRUE(dialog.Create(parent, 77));
  EXPECT_EQ(dialog.order, "FI");
  EXPECT_EQ(dialog.initParam, 77);
  ASSERT_TRUE(dialog.font);
  EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(dialog.m_hWnd, WM_GETFONT, 0, 0)), dialog.font);
  ::DestroyWindow(parent);
  EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(WindowFramework, WindowsThatDieWithTheirThreadAreForgotten) {
  long live = CWindowImplBase::LiveWindowCount();
  PingWindow object;
  std::thread([&] {
    RECT rect = {0, 0, 10, 10};
    object.Create(kTestClass, nullptr, rect, L"", WS_POPUP);
  }).join();
  // Depending on the system the window went with or without its final message; either way the
  // object ends up free.
  ASSERT_TRUE(object.m_hWnd == nullptr || object.ForgetIfDestroyed());
  EXPECT_EQ(object.m_hWnd, nullptr);
  EXPECT_EQ(CWindowImplBase::LiveWindowCount(), live);
  RECT rect = {0, 0, 10, 10};
  EXPECT_TRUE(object.Create(kTestClass, nullptr, rect, L"", WS_POPUP));
}

}  // namespace
}  // namespace quillan

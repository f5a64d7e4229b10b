// The stand-in's window tree is what the band's search of an Explorer window expects, on both layouts,
// and its panes move the way Explorer's do.
#include <windows.h>
#include <commctrl.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "base/text.h"
#include "explorer_frame.h"
#include "standin_output.h"
#include "test_support.h"

namespace quillan::standin {
namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

bool Is(HWND window, const wchar_t* className) {
  return window && ::IsWindow(window) && EqualsNoCaseAZ(ClassOf(window), className);
}

HWND ChildOf(HWND parent, const wchar_t* className) {
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (Is(child, className)) return child;
  }
  return nullptr;
}

BOOL CALLBACK Collect(HWND window, LPARAM all) {
  reinterpret_cast<std::vector<HWND>*>(all)->push_back(window);
  return TRUE;
}

std::vector<HWND> Descendants(HWND root) {
  std::vector<HWND> all;
  ::EnumChildWindows(root, &Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

struct Triple {
  HWND parent = nullptr;
  HWND view = nullptr;
  HWND items = nullptr;
};

// The band's search for (pane, view, items), written from its description, starting where the band
// starts: the active shell view's window.
bool FindLikeTheBand(IShellBrowser* browser, bool listViewLayout, Triple* found) {
  ComPtr<IShellView> shellView;
  HWND w = nullptr;
  if (FAILED(browser->QueryActiveShellView(shellView.Put())) || FAILED(shellView->GetWindow(&w))) return false;
  HWND frame = ::GetParent(w);
  while (frame && !Is(frame, L"CabinetWClass") && !Is(frame, L"ExploreWClass")) frame = ::GetParent(frame);
  if (!frame) return false;
  HWND d = w;
  while (d && !Is(d, L"SHELLDLL_DefView")) d = ::GetParent(d);
  if (!d) d = ChildOf(w, L"SHELLDLL_DefView");
  if (d && Is(::GetParent(d), L"CtrlNotifySink")) {
    HWND items = ChildOf(d, L"DirectUIHWND") ? ChildOf(d, L"DirectUIHWND") : ChildOf(d, L"SysListView32");
    if (items) {
      *found = {::GetParent(d), d, items};
      return true;
    }
  }
  if (listViewLayout) {
    d = ChildOf(frame, L"SHELLDLL_DefView");
    if (!d) return false;
    if (HWND dui = ChildOf(d, L"DUIViewWndClassName")) {
      for (HWND sink : Descendants(ChildOf(dui, L"DirectUIHWND"))) {
        if (Is(sink, L"CtrlNotifySink") && ChildOf(sink, L"SysListView32")) {
          *found = {sink, ChildOf(sink, L"SysListView32"), ChildOf(sink, L"SysListView32")};
          return true;
        }
      }
      return false;
    }
    HWND list = ChildOf(d, L"SysListView32");
    if (list) *found = {d, list, list};
    return list != nullptr;
  }
  HWND tab = ChildOf(frame, L"ShellTabWindowClass");
  HWND dui = tab ? ChildOf(tab, L"DUIViewWndClassName") : nullptr;
  HWND host = dui ? ChildOf(dui, L"DirectUIHWND") : nullptr;
  if (!host) return false;
  for (HWND sink : Descendants(host)) {
    HWND view = Is(sink, L"CtrlNotifySink") ? ChildOf(sink, L"SHELLDLL_DefView") : nullptr;
    HWND items = view ? (ChildOf(view, L"DirectUIHWND") ? ChildOf(view, L"DirectUIHWND") : ChildOf(view, L"SysListView32")) : nullptr;
    if (items) {
      *found = {sink, view, items};
      return true;
    }
  }
  return false;
}

RECT RectInParent(HWND window) {
  RECT r;
  ::GetWindowRect(window, &r);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class WindowTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { StandinOutput::Instance().SetQuiet(true); }

  std::unique_ptr<ExplorerFrame> MakeFrame(Layout layout, const wchar_t* frameClass = L"CabinetWClass") {
    FrameOptions options;
    options.band = BandLoad::None;
    options.show = false;
    options.window.layout = layout;
    options.window.frameClass = frameClass;
    options.window.placement = {0, 0, 800, 600};
    auto frame = std::make_unique<ExplorerFrame>(options);
    EXPECT_TRUE(frame->Create());
    return frame;
  }
};

TEST_F(WindowTreeTest, EachLayoutIsFoundWhereTheBandLooks) {
  struct Case {
    Layout layout;
    const wchar_t* frameClass;
    std::vector<std::wstring> chain;  // classes from the items window up to the frame
  };
  const Case cases[] = {
      {Layout::Vista, L"CabinetWClass",
       {L"DirectUIHWND", L"SHELLDLL_DefView", L"CtrlNotifySink", L"DirectUIHWND", L"DUIViewWndClassName",
        L"ShellTabWindowClass", L"CabinetWClass"}},
      {Layout::Xp, L"ExploreWClass", {L"SysListView32", L"SHELLDLL_DefView", L"ExploreWClass"}},
      {Layout::XpDui, L"CabinetWClass",
       {L"SysListView32", L"CtrlNotifySink", L"DirectUIHWND", L"DUIViewWndClassName", L"SHELLDLL_DefView",
        L"CabinetWClass"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(LayoutName(c.layout));
    auto frame = MakeFrame(c.layout, c.frameClass);
    WindowTree& tree = frame->tree();
    std::vector<std::wstring> chain;
    for (HWND w = tree.Items(); w; w = ::GetParent(w)) chain.push_back(ClassOf(w));
    EXPECT_EQ(chain, c.chain);

    Triple triple;
    ASSERT_TRUE(FindLikeTheBand(frame->shellBrowser(), c.layout != Layout::Vista, &triple));
    HWND expectedView = c.layout == Layout::Vista ? tree.View() : tree.Items();
    EXPECT_EQ(triple.parent, tree.Pane());
    EXPECT_EQ(triple.view, expectedView);
    EXPECT_EQ(triple.items, tree.Items());
    // On the newer layout the first CtrlNotifySink is the navigation pane's, which the search must pass by.
    if (c.layout == Layout::Vista) {
      std::vector<HWND> sinks;
      for (HWND w : Descendants(tree.Frame())) {
        if (Is(w, L"CtrlNotifySink")) sinks.push_back(w);
      }
      ASSERT_EQ(sinks.size(), 2u);
      EXPECT_NE(sinks[0], tree.Pane());
    }
  }
}

// What the band does to the folder view: it moves it down by the bar's height and, through a subclass,
// keeps it there whenever anyone else moves it.
constexpr int kBar = 39;
LRESULT CALLBACK KeepBelowBar(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_WINDOWPOSCHANGING) {
    auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
    RECT parent;
    ::GetClientRect(::GetParent(window), &parent);
    pos->x = 0;
    pos->y = kBar;
    pos->cx = parent.right;
    pos->cy = parent.bottom - kBar;
    return 0;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(WindowTreeTest, PanesFollowTheFrameAndLeaveAPushedViewAlone) {
  for (Layout layout : {Layout::Vista, Layout::Xp, Layout::XpDui}) {
    SCOPED_TRACE(LayoutName(layout));
    auto frame = MakeFrame(layout);
    WindowTree& tree = frame->tree();
    HWND pane = tree.Pane();
    HWND view = layout == Layout::Vista ? tree.View() : tree.Items();  // what the band pushes down
    RECT client;
    ::GetClientRect(tree.Frame(), &client);
    RECT paneRect;
    ::GetClientRect(pane, &paneRect);
    int side = layout == Layout::Vista ? kDefaultNavWidth : layout == Layout::XpDui ? kTaskPaneWidth : 0;
    EXPECT_EQ(paneRect.right, client.right - side);
    EXPECT_EQ(paneRect.bottom, client.bottom - kAddressBarHeight);
    RECT viewRect = RectInParent(view);
    EXPECT_EQ(viewRect.top, 0);
    EXPECT_EQ(viewRect.bottom, paneRect.bottom);

    ASSERT_TRUE(::SetWindowPos(view, nullptr, 0, kBar, paneRect.right, paneRect.bottom - kBar, SWP_NOZORDER | SWP_NOACTIVATE));
    test::PumpFor(50);
    EXPECT_EQ(RectInParent(view).top, kBar) << "the pane moved the pushed view back";
    RECT itemsClient;
    ::GetClientRect(tree.Items(), &itemsClient);
    EXPECT_EQ(itemsClient.bottom, paneRect.bottom - kBar) << "the items window no longer fills the view";

    // A resize lays the panes out again, as Explorer does; the band's subclass keeps the view down.
    ASSERT_TRUE(::SetWindowSubclass(view, &KeepBelowBar, 1, 0));
    ASSERT_TRUE(::SetWindowPos(tree.Frame(), nullptr, 0, 0, 640, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    ::GetClientRect(tree.Frame(), &client);
    ::GetClientRect(pane, &paneRect);
    EXPECT_EQ(paneRect.right, client.right - side);
    EXPECT_EQ(paneRect.bottom, client.bottom - kAddressBarHeight);
    viewRect = RectInParent(view);
    EXPECT_EQ(viewRect.top, kBar);
    EXPECT_EQ(viewRect.bottom, paneRect.bottom);
    EXPECT_EQ(viewRect.right - viewRect.left, paneRect.right);
    ::RemoveWindowSubclass(view, &KeepBelowBar, 1);
    // Without the subclass the next resize gives the view the whole pane back.
    ASSERT_TRUE(::SetWindowPos(tree.Frame(), nullptr, 0, 0, 700, 520, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    EXPECT_EQ(RectInParent(view).top, 0);
  }
}

TEST_F(WindowTreeTest, NavigationAndViewChangesMakeNewWindows) {
  test::TempDir folder;
  auto frame = MakeFrame(Layout::Vista);
  WindowTree& tree = frame->tree();
  HWND pane = tree.Pane();
  HWND oldView = tree.View();
  HWND oldItems = tree.Items();

  frame->NavigateTo(folder.path(), true, std::wstring());
  EXPECT_FALSE(::IsWindow(oldView));
  EXPECT_FALSE(::IsWindow(oldItems));
  EXPECT_EQ(tree.Pane(), pane);
  EXPECT_EQ(::GetParent(tree.View()), pane);
  ComPtr<IShellView> active;
  ASSERT_EQ(frame->shellBrowser()->QueryActiveShellView(active.Put()), S_OK);
  HWND viewWindow = nullptr;
  ASSERT_EQ(active->GetWindow(&viewWindow), S_OK);
  EXPECT_EQ(viewWindow, tree.View());

  HWND view = tree.View();
  HWND items = tree.Items();
  ASSERT_TRUE(tree.RebuildItems());
  EXPECT_FALSE(::IsWindow(items));
  EXPECT_EQ(tree.View(), view);
  EXPECT_EQ(::GetParent(tree.Items()), view);
  EXPECT_EQ(ClassOf(tree.Items()), L"DirectUIHWND");

  frame->Quit();
  EXPECT_TRUE(frame->closed());
  EXPECT_FALSE(::IsWindow(view));
}

struct Recorded {
  std::vector<UINT> messages;
  std::vector<WPARAM> params;
};

LRESULT CALLBACK RecordInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if ((message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
      message == WM_CAPTURECHANGED) {
    reinterpret_cast<Recorded*>(data)->messages.push_back(message);
    reinterpret_cast<Recorded*>(data)->params.push_back(wParam);
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

Step Parse(const std::wstring& text) {
  std::vector<Step> steps;
  std::wstring error;
  EXPECT_TRUE(ParseScript(text, &steps, &error)) << error;
  return steps.empty() ? Step() : steps[0];
}

// The band learns of selection changes only from the input its subclass sees on the items window:
// clicks and left-button drags on the newer layout, key releases and capture changes on the old one.
TEST_F(WindowTreeTest, SelectingSetsTheSelectionAndSendsExplorersInput) {
  test::TempDir folder;
  ASSERT_TRUE(test::WriteBytes(folder / L"a.txt", "a"));
  ASSERT_TRUE(test::WriteBytes(folder / L"b b.txt", "b"));
  auto frame = MakeFrame(Layout::Xp);
  frame->NavigateTo(folder.path(), true, std::wstring());
  Recorded recorded;
  ASSERT_TRUE(::SetWindowSubclass(frame->tree().Items(), &RecordInput, 1, reinterpret_cast<DWORD_PTR>(&recorded)));

  ASSERT_TRUE(frame->Execute(Parse(L"select a.txt \"b b.txt\"")));
  EXPECT_EQ(frame->SelectedPaths(), (std::vector<std::wstring>{folder / L"a.txt", folder / L"b b.txt"}));
  EXPECT_EQ(recorded.messages, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_CAPTURECHANGED, WM_LBUTTONDOWN,
                                                  WM_LBUTTONUP, WM_CAPTURECHANGED}));
  EXPECT_EQ(recorded.params[3], static_cast<WPARAM>(MK_LBUTTON | MK_CONTROL));

  recorded = Recorded();
  ASSERT_TRUE(frame->Execute(Parse(L"select --by=drag a.txt")));
  ASSERT_EQ(recorded.messages.size(), 5u);
  EXPECT_EQ(recorded.messages[1], static_cast<UINT>(WM_MOUSEMOVE));
  EXPECT_EQ(recorded.params[1], static_cast<WPARAM>(MK_LBUTTON));

  recorded = Recorded();
  ASSERT_TRUE(frame->Execute(Parse(L"select --by=key")));
  EXPECT_TRUE(frame->SelectedPaths().empty());
  EXPECT_EQ(recorded.messages, (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
  EXPECT_FALSE(frame->Execute(Parse(L"select --by=wiggle a.txt")));
  ::RemoveWindowSubclass(frame->tree().Items(), &RecordInput, 1);
}

}  // namespace
}  // namespace quillan::standin

// The stand-in's frame in-process: the window tree of each layout where the band looks for it, the
// browser events with the platform's argument types, and the selection as CF_HDROP.
#include <exdisp.h>
#include <exdispid.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "explorer_frame.h"
#include "hdrop_data_object.h"
#include "standin_output.h"
#include "test_support.h"

namespace quillan::standin {
namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

RECT RectInParent(HWND window) {
  RECT r;
  ::GetWindowRect(window, &r);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::unique_ptr<ExplorerFrame> MakeFrame(Layout layout = Layout::Vista, const wchar_t* frameClass = L"CabinetWClass") {
  StandinOutput::Instance().SetQuiet(true);
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

TEST(ExplorerFrame, EachLayoutHasItsClassChainAndItsPanesFollowTheFrame) {
  const struct {
    Layout layout;
    const wchar_t* frameClass;
    int side;  // the navigation or task pane beside the folder pane
    std::vector<std::wstring> chain;  // from the items window up to the frame
  } cases[] = {
      {Layout::Vista, L"CabinetWClass", kDefaultNavWidth,
       {L"DirectUIHWND", L"SHELLDLL_DefView", L"CtrlNotifySink", L"DirectUIHWND", L"DUIViewWndClassName",
        L"ShellTabWindowClass", L"CabinetWClass"}},
      {Layout::Xp, L"ExploreWClass", 0, {L"SysListView32", L"SHELLDLL_DefView", L"ExploreWClass"}},
      {Layout::XpDui, L"CabinetWClass", kTaskPaneWidth,
       {L"SysListView32", L"CtrlNotifySink", L"DirectUIHWND", L"DUIViewWndClassName", L"SHELLDLL_DefView",
        L"CabinetWClass"}},
  };
  constexpr int kBar = 39;
  for (const auto& c : cases) {
    SCOPED_TRACE(LayoutName(c.layout));
    auto frame = MakeFrame(c.layout, c.frameClass);
    WindowTree& tree = frame->tree();
    std::vector<std::wstring> chain;
    for (HWND w = tree.Items(); w; w = ::GetParent(w)) chain.push_back(ClassOf(w));
    EXPECT_EQ(chain, c.chain);

    HWND view = c.layout == Layout::Vista ? tree.View() : tree.Items();  // what the band pushes down
    for (SIZE size : {SIZE{800, 600}, SIZE{640, 500}}) {
      ASSERT_TRUE(::SetWindowPos(tree.Frame(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
      RECT client, pane;
      ::GetClientRect(tree.Frame(), &client);
      ::GetClientRect(tree.Pane(), &pane);
      EXPECT_EQ(pane.right, client.right - c.side);
      EXPECT_EQ(pane.bottom, client.bottom - kAddressBarHeight);
      EXPECT_EQ(RectInParent(view).top, 0);
      EXPECT_EQ(RectInParent(view).bottom, pane.bottom);
    }
    // A view pushed down as the band does it stays there until the frame lays the panes out again.
    RECT pane;
    ::GetClientRect(tree.Pane(), &pane);
    ASSERT_TRUE(::SetWindowPos(view, nullptr, 0, kBar, pane.right, pane.bottom - kBar, SWP_NOZORDER | SWP_NOACTIVATE));
    test::PumpFor(50);
    EXPECT_EQ(RectInParent(view).top, kBar);
  }
}

// A sink of the test's own: the argument types of every event, in the order the event declares them.
class RecordingSink final : public IDispatch {
 public:
  struct Call {
    DISPID dispid;
    std::vector<VARTYPE> types;
    std::wstring url;  // what a by-reference VARIANT argument holds as text
  };

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != DIID_DWebBrowserEvents2) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    Call call{dispid, {}, {}};
    for (UINT i = params->cArgs; i-- > 0;) {
      const VARIANTARG& arg = params->rgvarg[i];
      call.types.push_back(arg.vt);
      if (arg.vt == (VT_VARIANT | VT_BYREF) && arg.pvarVal->vt == VT_BSTR && arg.pvarVal->bstrVal) {
        call.url = arg.pvarVal->bstrVal;
      }
    }
    calls.push_back(call);
    return S_OK;
  }

  ULONG refs = 1;
  std::vector<Call> calls;
};

// The argument types the platform's type library declares for an event, as they travel in DISPPARAMS.
std::vector<VARTYPE> DeclaredTypes(ITypeInfo* events, DISPID dispid) {
  TYPEATTR* attr = nullptr;
  std::vector<VARTYPE> types;
  if (FAILED(events->GetTypeAttr(&attr))) return types;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(events->GetFuncDesc(i, &func))) continue;
    for (SHORT p = 0; func->memid == dispid && p < func->cParams; ++p) {
      const TYPEDESC& type = func->lprgelemdescParam[p].tdesc;
      types.push_back(type.vt == VT_PTR ? static_cast<VARTYPE>(type.lptdesc->vt | VT_BYREF) : type.vt);
    }
    events->ReleaseFuncDesc(func);
  }
  events->ReleaseTypeAttr(attr);
  return types;
}

TEST(ExplorerFrame, EventsReachASinkWithThePlatformsArgumentTypes) {
  test::TempDir dir;
  auto frame = MakeFrame();
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(frame->Site()->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()), S_OK);
  RecordingSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  frame->NavigateTo(dir.path(), true, std::wstring());
  frame->Quit();
  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadRegTypeLib(LIBID_SHDocVw, 1, 1, LOCALE_NEUTRAL, library.Put()), S_OK);
  ComPtr<ITypeInfo> events;
  ASSERT_EQ(library->GetTypeInfoOfGuid(DIID_DWebBrowserEvents2, events.Put()), S_OK);
  std::vector<DISPID> order;
  for (const auto& call : sink.calls) {
    order.push_back(call.dispid);
    EXPECT_EQ(call.types, DeclaredTypes(events.Get(), call.dispid)) << call.dispid;
  }
  EXPECT_EQ(order, (std::vector<DISPID>{DISPID_COMMANDSTATECHANGE, DISPID_COMMANDSTATECHANGE, DISPID_NAVIGATECOMPLETE2,
                                        DISPID_TITLECHANGE, DISPID_DOCUMENTCOMPLETE, DISPID_ONQUIT}));
  ASSERT_EQ(sink.calls.size(), 6u);
  EXPECT_EQ(sink.calls[2].types, (std::vector<VARTYPE>{VT_DISPATCH, VT_VARIANT | VT_BYREF}));
  EXPECT_EQ(sink.calls[2].url, LocationUrlFor(dir.path(), UrlStyle::Explorer));
  point.Reset();
  container.Reset();
  EXPECT_EQ(sink.refs, 1u) << "the window still holds the sink after it closed";
}

TEST(ExplorerFrame, TheSelectionTravelsAsAWideHDrop) {
  test::TempDir dir;
  auto frame = MakeFrame();
  frame->NavigateTo(dir.path(), true, std::wstring());
  const std::vector<std::wstring> selection = {dir / L"a b.txt", dir / L"文件夹", dir / std::wstring(200, L'x')};
  frame->SetSelection(selection);
  ComPtr<IShellView> view;
  ASSERT_EQ(frame->shellBrowser()->QueryActiveShellView(view.Put()), S_OK);
  ComPtr<IDataObject> data;
  ASSERT_EQ(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.PutVoid()), S_OK);
  std::vector<std::wstring> read;
  ASSERT_EQ(ReadDropList(data.Get(), &read), S_OK);
  EXPECT_EQ(read, selection);

  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  ASSERT_EQ(data->GetData(&format, &medium), S_OK);
  const auto* drop = static_cast<const DROPFILES*>(::GlobalLock(medium.hGlobal));
  ASSERT_NE(drop, nullptr);
  EXPECT_TRUE(drop->fWide);
  size_t chars = sizeof(DROPFILES) / sizeof(wchar_t) + 1;  // the list's closing empty name
  for (const auto& path : selection) chars += path.size() + 1;
  EXPECT_EQ(::GlobalSize(medium.hGlobal), chars * sizeof(wchar_t));
  ::GlobalUnlock(medium.hGlobal);
  ::ReleaseStgMedium(&medium);
}

}  // namespace
}  // namespace quillan::standin

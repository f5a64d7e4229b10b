// The site objects answer what a browser helper asks of an Explorer window, raise the browser events
// with the platform's argument types, and hand out the selection as CF_HDROP.
#include <exdisp.h>
#include <exdispid.h>
#include <olectl.h>
#include <shellapi.h>
#include <shlguid.h>
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

// A sink of the test's own: records every event with the types of its arguments.
class RecordingSink final : public IDispatch {
 public:
  struct Call {
    DISPID dispid;
    std::vector<VARTYPE> types;  // in the order the event declares its parameters
    VARTYPE urlType = VT_EMPTY;  // what a by-reference VARIANT argument holds
    std::wstring url;
    IUnknown* dispatch = nullptr;
  };
  explicit RecordingSink(bool answersEventInterface) : answersEventInterface_(answersEventInterface) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || (answersEventInterface_ && iid == DIID_DWebBrowserEvents2)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    EXPECT_EQ(flags, DISPATCH_METHOD);
    EXPECT_EQ(params->cNamedArgs, 0u);
    Call call{dispid, {}};
    for (UINT i = params->cArgs; i-- > 0;) {
      const VARIANTARG& arg = params->rgvarg[i];
      call.types.push_back(arg.vt);
      if (arg.vt == (VT_VARIANT | VT_BYREF) && arg.pvarVal) {
        call.urlType = arg.pvarVal->vt;
        if (arg.pvarVal->vt == VT_BSTR && arg.pvarVal->bstrVal) call.url = arg.pvarVal->bstrVal;
      }
      if (arg.vt == VT_DISPATCH && arg.pdispVal &&
          SUCCEEDED(arg.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&call.dispatch)))) {
        call.dispatch->Release();  // only its identity is kept
      }
    }
    calls.push_back(call);
    return S_OK;
  }

  ULONG refs = 1;
  std::vector<Call> calls;

 private:
  bool answersEventInterface_;
};

// The argument types the platform's type library declares for an event, as they travel in DISPPARAMS.
std::vector<VARTYPE> DeclaredTypes(ITypeInfo* events, DISPID dispid) {
  TYPEATTR* attr = nullptr;
  std::vector<VARTYPE> types;
  if (FAILED(events->GetTypeAttr(&attr))) return types;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(events->GetFuncDesc(i, &func))) continue;
    if (func->memid == dispid) {
      for (SHORT p = 0; p < func->cParams; ++p) {
        const TYPEDESC& type = func->lprgelemdescParam[p].tdesc;
        types.push_back(type.vt == VT_PTR ? static_cast<VARTYPE>(type.lptdesc->vt | VT_BYREF) : type.vt);
      }
    }
    events->ReleaseFuncDesc(func);
  }
  events->ReleaseTypeAttr(attr);
  return types;
}

class SiteObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandinOutput::Instance().SetQuiet(true);
    FrameOptions options;
    options.band = BandLoad::None;
    options.show = false;
    frame_ = std::make_unique<ExplorerFrame>(options);
    ASSERT_TRUE(frame_->Create());
  }

  test::TempDir dir_;
  std::unique_ptr<ExplorerFrame> frame_;
};

TEST_F(SiteObjectsTest, TheSiteServesTheShellBrowserAndTheWebBrowser) {
  // Explorer reports a folder that need not exist here; the name has what a URL must escape.
  const std::wstring folder = L"C:\\同步 文件夹\\#1 100%";
  frame_->NavigateTo(folder, true, std::wstring());

  ComPtr<IServiceProvider> services;
  ASSERT_EQ(frame_->Site()->QueryInterface(IID_IServiceProvider, services.PutVoid()), S_OK);
  ComPtr<IShellBrowser> shellBrowser;
  ASSERT_EQ(services->QueryService(SID_SShellBrowser, IID_IShellBrowser, shellBrowser.PutVoid()), S_OK);
  HWND window = nullptr;
  EXPECT_EQ(shellBrowser->GetWindow(&window), S_OK);
  EXPECT_EQ(window, frame_->tree().Frame());
  ComPtr<IShellView> view;
  ASSERT_EQ(shellBrowser->QueryActiveShellView(view.Put()), S_OK);
  EXPECT_EQ(view->GetWindow(&window), S_OK);
  EXPECT_EQ(window, frame_->tree().View());

  ComPtr<IWebBrowser2> webBrowser;
  ASSERT_EQ(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, webBrowser.PutVoid()), S_OK);
  ComPtr<IUnknown> siteIdentity, browserIdentity;
  frame_->Site()->QueryInterface(IID_IUnknown, siteIdentity.PutVoid());
  webBrowser->QueryInterface(IID_IUnknown, browserIdentity.PutVoid());
  EXPECT_EQ(siteIdentity.Get(), browserIdentity.Get());
  BSTR url = nullptr;
  ASSERT_EQ(webBrowser->get_LocationURL(&url), S_OK);
  EXPECT_EQ(std::wstring(url), L"file:///C:/同步%20文件夹/%231%20100%25");
  ::SysFreeString(url);
  EXPECT_EQ(LocationUrlFor(L"\\\\server\\share\\a b", UrlStyle::Explorer), L"file://server/share/a%20b");
  EXPECT_EQ(LocationUrlFor(L"D:\\同步", UrlStyle::Utf8), L"file:///D:/%E5%90%8C%E6%AD%A5");

  ComPtr<IUnknown> nothing;
  EXPECT_EQ(services->QueryService(IID_IDataObject, IID_IUnknown, nothing.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(nothing);

  // Once the window has closed the objects a helper still holds answer, but with failures.
  frame_->Quit();
  EXPECT_EQ(shellBrowser->QueryActiveShellView(view.Put()), E_FAIL);
}

TEST_F(SiteObjectsTest, EventsReachASinkWithThePlatformsArgumentTypes) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(frame_->Site()->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()), S_OK);
  RecordingSink dispatchOnly(false);
  DWORD cookie = 0;
  EXPECT_EQ(point->Advise(&dispatchOnly, &cookie), CONNECT_E_CANNOTCONNECT);
  RecordingSink sink(true);
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  frame_->NavigateTo(dir_.path(), true, std::wstring());
  frame_->webBrowser()->FireNavigateComplete2(std::wstring(), StandinWebBrowser::UrlForm::NullText);

  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadRegTypeLib(LIBID_SHDocVw, 1, 1, LOCALE_NEUTRAL, library.Put()), S_OK);
  ComPtr<ITypeInfo> events;
  ASSERT_EQ(library->GetTypeInfoOfGuid(DIID_DWebBrowserEvents2, events.Put()), S_OK);
  std::vector<DISPID> order;
  for (const auto& call : sink.calls) {
    order.push_back(call.dispid);
    SCOPED_TRACE(call.dispid);
    EXPECT_EQ(call.types, DeclaredTypes(events.Get(), call.dispid));
  }
  EXPECT_EQ(order, (std::vector<DISPID>{DISPID_COMMANDSTATECHANGE, DISPID_COMMANDSTATECHANGE, DISPID_NAVIGATECOMPLETE2,
                                        DISPID_TITLECHANGE, DISPID_DOCUMENTCOMPLETE, DISPID_NAVIGATECOMPLETE2}));
  ASSERT_EQ(sink.calls.size(), 6u);
  const auto& navigated = sink.calls[2];
  EXPECT_EQ(navigated.types, (std::vector<VARTYPE>{VT_DISPATCH, VT_VARIANT | VT_BYREF}));
  EXPECT_EQ(navigated.urlType, VT_BSTR);
  EXPECT_EQ(navigated.url, LocationUrlFor(dir_.path(), UrlStyle::Explorer));
  EXPECT_EQ(navigated.dispatch, frame_->Site());
  EXPECT_EQ(sink.calls[5].urlType, VT_BSTR);
  EXPECT_TRUE(sink.calls[5].url.empty());

  EXPECT_EQ(point->Unadvise(cookie + 100), CONNECT_E_NOCONNECTION);
  // Closing raises OnQuit, without arguments, to the sinks still advised.
  frame_->Quit();
  ASSERT_EQ(sink.calls.size(), 7u);
  EXPECT_EQ(sink.calls[6].dispid, DISPID_ONQUIT);
  EXPECT_TRUE(sink.calls[6].types.empty());
  point.Reset();
  container.Reset();
  EXPECT_EQ(sink.refs, 1u) << "the window still holds the sink after it closed";
}

TEST_F(SiteObjectsTest, TheSelectionTravelsAsHDrop) {
  frame_->NavigateTo(dir_.path(), true, std::wstring());
  ComPtr<IShellView> view;
  ASSERT_EQ(frame_->shellBrowser()->QueryActiveShellView(view.Put()), S_OK);
  ComPtr<IDataObject> data;
  EXPECT_TRUE(FAILED(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.PutVoid())));
  EXPECT_FALSE(data);

  std::vector<std::wstring> selection = {dir_ / L"a b.txt", dir_ / L"文件夹", dir_ / std::wstring(200, L'x')};
  frame_->SetSelection(selection);
  ASSERT_EQ(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.PutVoid()), S_OK);
  std::vector<std::wstring> read;
  ASSERT_EQ(ReadDropList(data.Get(), &read), S_OK);
  EXPECT_EQ(read, selection);

  // The memory itself is a wide DROPFILES list ending in an empty name, and each request gets its own.
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM first = {}, second = {};
  ASSERT_EQ(data->GetData(&format, &first), S_OK);
  ASSERT_EQ(data->GetData(&format, &second), S_OK);
  EXPECT_NE(first.hGlobal, second.hGlobal);
  EXPECT_EQ(first.pUnkForRelease, nullptr);
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(first.hGlobal));
  ASSERT_NE(drop, nullptr);
  EXPECT_TRUE(drop->fWide);
  size_t chars = sizeof(DROPFILES) / sizeof(wchar_t) + 1;
  for (const auto& path : selection) chars += path.size() + 1;
  EXPECT_EQ(::GlobalSize(first.hGlobal), chars * sizeof(wchar_t));
  auto* end = reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(drop) + ::GlobalSize(first.hGlobal));
  EXPECT_EQ(end[-1], L'\0');
  EXPECT_EQ(end[-2], L'\0');
  ::GlobalUnlock(first.hGlobal);
  ::ReleaseStgMedium(&first);
  ::ReleaseStgMedium(&second);

  FORMATETC text = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(data->QueryGetData(&text), DV_E_FORMATETC);
  ComPtr<IEnumFORMATETC> formats;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, formats.Put()), S_OK);
  FORMATETC listed[2] = {};
  ULONG fetched = 0;
  formats->Next(2, listed, &fetched);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(listed[0].cfFormat, CF_HDROP);
}

}  // namespace
}  // namespace quillan::standin

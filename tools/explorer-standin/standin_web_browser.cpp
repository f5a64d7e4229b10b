#include "standin_web_browser.h"

#include <exdispid.h>
#include <olectl.h>
#include <shlguid.h>

namespace quillan::standin {

namespace {

BSTR AllocText(const std::wstring& text) {
  return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

}  // namespace

StandinWebBrowser::StandinWebBrowser(BrowserState* state) : state_(state), events_(this) {}

HRESULT StandinWebBrowser::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
      iid == IID_IWebBrowser2) {
    *out = static_cast<IWebBrowser2*>(this);
  } else if (iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
  } else if (iid == IID_IConnectionPointContainer) {
    *out = static_cast<IConnectionPointContainer*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG StandinWebBrowser::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG StandinWebBrowser::Release() {
  LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

ITypeInfo* StandinWebBrowser::TypeInfo() {
  if (!typeInfoTried_) {
    typeInfoTried_ = true;
    ComPtr<ITypeLib> library;
    // Without the platform's library the object still works through its vtable; IDispatch then fails.
    if (SUCCEEDED(::LoadRegTypeLib(LIBID_SHDocVw, 1, 1, LOCALE_NEUTRAL, library.Put()))) {
      library->GetTypeInfoOfGuid(IID_IWebBrowser2, typeInfo_.Put());
    }
  }
  return typeInfo_.Get();
}

HRESULT StandinWebBrowser::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = TypeInfo() ? 1 : 0;
  return S_OK;
}

HRESULT StandinWebBrowser::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  if (!TypeInfo()) return E_NOTIMPL;
  return typeInfo_.CopyTo(info);
}

HRESULT StandinWebBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!TypeInfo()) return E_NOTIMPL;
  return ::DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
}

HRESULT StandinWebBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argError) {
  if (!TypeInfo()) return E_NOTIMPL;
  return ::DispInvoke(static_cast<IWebBrowser2*>(this), typeInfo_.Get(), id, flags, params, result, exception,
                      argError);
}

HRESULT StandinWebBrowser::get_Application(IDispatch** out) {
  if (!out) return E_POINTER;
  *out = static_cast<IWebBrowser2*>(this);
  AddRef();
  return S_OK;
}

HRESULT StandinWebBrowser::get_Parent(IDispatch** out) { return get_Application(out); }

HRESULT StandinWebBrowser::get_Container(IDispatch** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT StandinWebBrowser::get_Document(IDispatch** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT StandinWebBrowser::get_TopLevelContainer(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = VARIANT_TRUE;
  return S_OK;
}

HRESULT StandinWebBrowser::get_Type(BSTR* type) {
  if (type) *type = nullptr;
  return E_NOTIMPL;
}

HRESULT StandinWebBrowser::FrameRect(RECT* rect) {
  HWND frame = state_ ? state_->FrameWindow() : nullptr;
  return frame && ::GetWindowRect(frame, rect) ? S_OK : E_FAIL;
}

HRESULT StandinWebBrowser::get_Left(LONG* value) {
  RECT r;
  if (!value) return E_POINTER;
  HRESULT hr = FrameRect(&r);
  *value = SUCCEEDED(hr) ? r.left : 0;
  return hr;
}

HRESULT StandinWebBrowser::get_Top(LONG* value) {
  RECT r;
  if (!value) return E_POINTER;
  HRESULT hr = FrameRect(&r);
  *value = SUCCEEDED(hr) ? r.top : 0;
  return hr;
}

HRESULT StandinWebBrowser::get_Width(LONG* value) {
  RECT r;
  if (!value) return E_POINTER;
  HRESULT hr = FrameRect(&r);
  *value = SUCCEEDED(hr) ? r.right - r.left : 0;
  return hr;
}

HRESULT StandinWebBrowser::get_Height(LONG* value) {
  RECT r;
  if (!value) return E_POINTER;
  HRESULT hr = FrameRect(&r);
  *value = SUCCEEDED(hr) ? r.bottom - r.top : 0;
  return hr;
}

HRESULT StandinWebBrowser::get_LocationName(BSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  if (!state_) return E_FAIL;
  *name = AllocText(state_->LocationName());
  return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT StandinWebBrowser::get_LocationURL(BSTR* url) {
  if (!url) return E_POINTER;
  *url = nullptr;
  if (!state_) return E_FAIL;
  std::wstring text = state_->LocationUrl();
  *url = AllocText(text);
  HRESULT hr = *url ? S_OK : E_OUTOFMEMORY;
  state_->TraceCall("webbrowser", "get_LocationURL", hr, text);
  return hr;
}

HRESULT StandinWebBrowser::get_Busy(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = VARIANT_FALSE;
  return S_OK;
}

HRESULT StandinWebBrowser::Quit() {
  if (!state_) return E_FAIL;
  state_->OnBrowserQuit();
  return S_OK;
}

HRESULT StandinWebBrowser::get_Name(BSTR* name) {
  if (!name) return E_POINTER;
  *name = ::SysAllocString(L"Windows Explorer");
  return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT StandinWebBrowser::get_HWND(SHANDLE_PTR* window) {
  if (!window) return E_POINTER;
  HWND frame = state_ ? state_->FrameWindow() : nullptr;
  *window = reinterpret_cast<SHANDLE_PTR>(frame);
  return frame ? S_OK : E_FAIL;
}

HRESULT StandinWebBrowser::get_Visible(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  HWND frame = state_ ? state_->FrameWindow() : nullptr;
  *value = frame && ::IsWindowVisible(frame) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT StandinWebBrowser::get_ReadyState(READYSTATE* state) {
  if (!state) return E_POINTER;
  *state = READYSTATE_COMPLETE;
  return S_OK;
}

HRESULT StandinWebBrowser::QueryService(REFGUID service, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return state_ ? state_->QueryService(service, iid, out) : E_FAIL;
}

HRESULT StandinWebBrowser::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT StandinWebBrowser::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
  *out = &events_;
  events_.AddRef();
  return S_OK;
}

int StandinWebBrowser::FireNavigateComplete2(const std::wstring& url, UrlForm form) {
  VARIANT location;
  ::VariantInit(&location);
  if (form != UrlForm::Empty) {
    location.vt = VT_BSTR;
    location.bstrVal = form == UrlForm::Text ? AllocText(url) : nullptr;
  }
  VARIANTARG args[2];
  ::VariantInit(&args[0]);
  ::VariantInit(&args[1]);
  args[0].vt = VT_VARIANT | VT_BYREF;  // arguments go last first
  args[0].pvarVal = &location;
  args[1].vt = VT_DISPATCH;
  args[1].pdispVal = static_cast<IWebBrowser2*>(this);
  DISPPARAMS params = {args, nullptr, 2, 0};
  int called = events_.Fire(DISPID_NAVIGATECOMPLETE2, &params);
  ::VariantClear(&location);
  return called;
}

int StandinWebBrowser::FireDocumentComplete(const std::wstring& url) {
  VARIANT location;
  ::VariantInit(&location);
  location.vt = VT_BSTR;
  location.bstrVal = AllocText(url);
  VARIANTARG args[2];
  ::VariantInit(&args[0]);
  ::VariantInit(&args[1]);
  args[0].vt = VT_VARIANT | VT_BYREF;
  args[0].pvarVal = &location;
  args[1].vt = VT_DISPATCH;
  args[1].pdispVal = static_cast<IWebBrowser2*>(this);
  DISPPARAMS params = {args, nullptr, 2, 0};
  int called = events_.Fire(DISPID_DOCUMENTCOMPLETE, &params);
  ::VariantClear(&location);
  return called;
}

int StandinWebBrowser::FireCommandStateChange(long command, bool enable) {
  VARIANTARG args[2];
  ::VariantInit(&args[0]);
  ::VariantInit(&args[1]);
  args[0].vt = VT_BOOL;
  args[0].boolVal = enable ? VARIANT_TRUE : VARIANT_FALSE;
  args[1].vt = VT_I4;
  args[1].lVal = command;
  DISPPARAMS params = {args, nullptr, 2, 0};
  return events_.Fire(DISPID_COMMANDSTATECHANGE, &params);
}

int StandinWebBrowser::FireTitleChange(const std::wstring& title) {
  VARIANTARG arg;
  ::VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = AllocText(title);
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  int called = events_.Fire(DISPID_TITLECHANGE, &params);
  ::VariantClear(&arg);
  return called;
}

int StandinWebBrowser::FireOnQuit() { return FireWithoutArguments(DISPID_ONQUIT); }

int StandinWebBrowser::FireWithoutArguments(DISPID dispid) {
  DISPPARAMS params = {nullptr, nullptr, 0, 0};
  return events_.Fire(dispid, &params);
}

}  // namespace quillan::standin

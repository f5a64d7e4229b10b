#include "standin_shell_browser.h"

namespace quillan::standin {

HRESULT StandinShellBrowser::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IShellBrowser) {
    *out = static_cast<IShellBrowser*>(this);
  } else if (iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG StandinShellBrowser::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG StandinShellBrowser::Release() {
  LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT StandinShellBrowser::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = state_ ? state_->FrameWindow() : nullptr;
  return *window ? S_OK : E_FAIL;
}

HRESULT StandinShellBrowser::GetViewStateStream(DWORD, IStream** stream) {
  if (stream) *stream = nullptr;
  return E_NOTIMPL;
}

HRESULT StandinShellBrowser::GetControlWindow(UINT, HWND* window) {
  // The fake chrome has no tool bar, status bar or tree control that callers could talk to.
  if (window) *window = nullptr;
  return E_NOTIMPL;
}

HRESULT StandinShellBrowser::SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT* result) {
  if (result) *result = 0;
  return E_NOTIMPL;
}

HRESULT StandinShellBrowser::QueryActiveShellView(IShellView** view) {
  if (!view) return E_POINTER;
  *view = nullptr;
  HRESULT hr = state_ ? state_->ActiveShellView(view) : E_FAIL;
  if (state_) state_->TraceCall("shellbrowser", "QueryActiveShellView", hr, std::wstring());
  return hr;
}

HRESULT StandinShellBrowser::QueryService(REFGUID service, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return state_ ? state_->QueryService(service, iid, out) : E_FAIL;
}

}  // namespace quillan::standin

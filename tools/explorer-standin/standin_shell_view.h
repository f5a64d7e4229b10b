// The folder view object of a stand-in Explorer window (IShellView): its window is the
// SHELLDLL_DefView, and GetItemObject hands out the selection as a CF_HDROP data object.
#pragma once

#include <shobjidl.h>

#include "browser_state.h"

namespace quillan::standin {

class StandinShellView final : public IShellView {
 public:
  explicit StandinShellView(BrowserState* state) : state_(state) {}

  void Disconnect() { state_ = nullptr; }
  LONG refs() const { return refs_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IShellView
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UIActivate(UINT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Refresh() override;
  HRESULT STDMETHODCALLTYPE CreateViewWindow(IShellView*, LPCFOLDERSETTINGS, IShellBrowser*, RECT*, HWND*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DestroyViewWindow() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentInfo(LPFOLDERSETTINGS settings) override;
  HRESULT STDMETHODCALLTYPE AddPropertySheetPages(DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SaveViewState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SelectItem(PCUITEMID_CHILD, SVSIF) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemObject(UINT item, REFIID iid, void** out) override;

 private:
  ~StandinShellView() = default;

  LONG refs_ = 1;
  BrowserState* state_;
};

}  // namespace quillan::standin

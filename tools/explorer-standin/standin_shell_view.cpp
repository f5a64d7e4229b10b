#include "standin_shell_view.h"

#include "hdrop_data_object.h"

namespace quillan::standin {

HRESULT StandinShellView::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IShellView) {
    *out = static_cast<IShellView*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG StandinShellView::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG StandinShellView::Release() {
  LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT StandinShellView::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = state_ ? state_->ViewWindow() : nullptr;
  HRESULT hr = *window ? S_OK : E_FAIL;
  if (state_) state_->TraceCall("shellview", "GetWindow", hr, std::wstring());
  return hr;
}

HRESULT StandinShellView::Refresh() {
  if (!state_) return E_FAIL;
  state_->OnViewRefresh();
  return S_OK;
}

HRESULT StandinShellView::GetCurrentInfo(LPFOLDERSETTINGS settings) {
  if (!settings) return E_POINTER;
  settings->ViewMode = FVM_DETAILS;
  settings->fFlags = 0;
  return S_OK;
}

HRESULT StandinShellView::GetItemObject(UINT item, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  HRESULT hr = E_FAIL;
  std::wstring detail;
  if (!state_) return E_FAIL;
  UINT kind = item & SVGIO_TYPE_MASK;
  if (kind != SVGIO_SELECTION && kind != SVGIO_ALLVIEW) {
    hr = E_NOTIMPL;
  } else if (iid != IID_IDataObject && iid != IID_IUnknown) {
    hr = E_NOINTERFACE;
  } else {
    std::vector<std::wstring> paths = kind == SVGIO_SELECTION ? state_->SelectedPaths() : state_->AllPaths();
    detail = std::to_wstring(paths.size()) + L" items";
    // Explorer's view has no data object for an empty selection: the request fails.
    if (!paths.empty()) {
      HDropDataObject* object = HDropDataObject::Create(std::move(paths));
      hr = object->QueryInterface(iid, out);
      object->Release();
    }
  }
  state_->TraceCall("shellview", "GetItemObject", hr, detail);
  return hr;
}

}  // namespace quillan::standin

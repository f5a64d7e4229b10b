#include "explorer/explorer_band.h"

namespace quillan {

HRESULT STDMETHODCALLTYPE CExplorerBand::SetSite(IUnknown* site) {
  if (site != site_.Get()) site_ = ComPtr<IUnknown>(site);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CExplorerBand::GetSite(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!site_) return E_FAIL;
  return site_->QueryInterface(iid, out);
}

}  // namespace quillan

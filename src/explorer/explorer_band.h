// The browser helper object Explorer creates for every Explorer window.
//
// To be completed: this is the starting point the module's class map creates. It keeps its site and
// nothing more; the navigation events, the account decisions, the host object and the quit notice
// are still to come. The class name, this file and CreateInstance (from ComObject) stay as they are.
#pragma once

#include <ocidl.h>
#include <windows.h>

#include "base/com_object.h"
#include "base/com_ptr.h"

namespace quillan {

class CExplorerBand final : public ComObject<CExplorerBand, IObjectWithSite> {
 public:
  // IObjectWithSite
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** out) override;

 private:
  ComPtr<IUnknown> site_;
};

}  // namespace quillan

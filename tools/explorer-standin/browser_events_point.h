// The DWebBrowserEvents2 connection point of a stand-in web browser. It lives inside the browser
// object and shares its reference count, as the platform's connection points do, so a sink's
// reference to it keeps the browser alive and no cycle forms.
#pragma once

#include <ocidl.h>

#include <functional>
#include <vector>

#include "base/com_ptr.h"

namespace quillan::standin {

class BrowserEventsPoint final : public IConnectionPoint {
 public:
  // observer is told of every Advise and Unadvise: ("advise"|"unadvise", cookie, result).
  using Observer = std::function<void(const char* what, DWORD cookie, HRESULT result)>;

  explicit BrowserEventsPoint(IConnectionPointContainer* container) : container_(container) {}
  void SetObserver(Observer observer) { observer_ = std::move(observer); }

  // IUnknown (reference counting is the container's)
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return container_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return container_->Release(); }
  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

  // Calls IDispatch::Invoke (DISPATCH_METHOD, no result, no exception info) on every sink advised
  // when the call starts and still advised when its turn comes. Returns how many were called.
  int Fire(DISPID dispid, DISPPARAMS* params);
  size_t SinkCount() const { return connections_.size(); }
  // Forgets every sink (the window is closing).
  void DropAll() { connections_.clear(); }

 private:
  struct Connection {
    DWORD cookie;
    ComPtr<IDispatch> sink;
  };

  IConnectionPointContainer* container_;
  Observer observer_;
  std::vector<Connection> connections_;
  DWORD nextCookie_ = 1;
};

}  // namespace quillan::standin

#include "browser_events_point.h"

#include <exdisp.h>
#include <olectl.h>

namespace quillan::standin {

HRESULT BrowserEventsPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT BrowserEventsPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID_DWebBrowserEvents2;
  return S_OK;
}

HRESULT BrowserEventsPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = container_;
  container_->AddRef();
  return S_OK;
}

HRESULT BrowserEventsPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie) *cookie = 0;
  HRESULT hr = S_OK;
  ComPtr<IDispatch> dispatch;
  if (!sink || !cookie) {
    hr = E_POINTER;
  } else if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, dispatch.PutVoid())) || !dispatch) {
    // A sink must answer for the event interface itself, not only for IDispatch.
    hr = CONNECT_E_CANNOTCONNECT;
  } else {
    *cookie = nextCookie_++;
    connections_.push_back({*cookie, dispatch});
  }
  if (observer_) observer_("advise", cookie ? *cookie : 0, hr);
  return hr;
}

HRESULT BrowserEventsPoint::Unadvise(DWORD cookie) {
  HRESULT hr = CONNECT_E_NOCONNECTION;
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie == cookie) {
      // Released after the list no longer holds it, so a sink's destructor may call back in.
      ComPtr<IDispatch> leaving = std::move(it->sink);
      connections_.erase(it);
      hr = S_OK;
      break;
    }
  }
  if (observer_) observer_("unadvise", cookie, hr);
  return hr;
}

HRESULT BrowserEventsPoint::EnumConnections(IEnumConnections** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

int BrowserEventsPoint::Fire(DISPID dispid, DISPPARAMS* params) {
  std::vector<Connection> snapshot = connections_;
  int called = 0;
  for (const Connection& connection : snapshot) {
    bool stillAdvised = false;
    for (const Connection& current : connections_) stillAdvised = stillAdvised || current.cookie == connection.cookie;
    if (!stillAdvised) continue;  // unadvised by an earlier sink during this event
    // The result is the sink's business; the platform does not look at it either.
    connection.sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
    ++called;
  }
  return called;
}

}  // namespace quillan::standin

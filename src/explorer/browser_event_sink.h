// The band's DWebBrowserEvents2 sink: a dispatch identity of its own (IUnknown, IDispatch and the event
// interface) that the web browser holds while the band is advised. Invoke finds the event's handler
// by DISPID and calls it with the arguments converted to the parameter types that the platform's
// web-browser type library declares for that event.
//
// The sink holds no reference to the band: the browser owns the sink, the band owns its advice, and
// the band cuts the sink loose (Disconnect) before it goes, so events that still arrive reach nothing.
#pragma once

#include <exdisp.h>
#include <oaidl.h>
#include <windows.h>

#include "base/com_object.h"
#include "base/com_ptr.h"

namespace quillan {

// The handlers, in this slot order; each takes exactly the parameters the event declares. The sink
// calls them through this table with DispCallFunc, so the class has no other virtual function.
class BrowserEventHandlers {
 public:
  virtual HRESULT STDMETHODCALLTYPE OnNavigateComplete2(IDispatch* pDisp, VARIANT* url) = 0;     // DISPID 252
  virtual HRESULT STDMETHODCALLTYPE OnCommandStateChange(long command, VARIANT_BOOL enable) = 0;  // DISPID 105
  virtual HRESULT STDMETHODCALLTYPE OnQuit() = 0;                                                // DISPID 253

 protected:
  ~BrowserEventHandlers() = default;
};

class BrowserEventSink final : public ComObject<BrowserEventSink, IDispatch> {
 public:
  // The platform's web-browser type library and the event interface described in it.
  static const GUID kTypeLibrary;           // {EAB22AC0-30C1-11CF-A7EB-0000C05BAE0B}
  static constexpr WORD kTypeLibraryMajor = 1;
  static constexpr WORD kTypeLibraryMinor = 1;
  static const IID& EventInterface() { return DIID_DWebBrowserEvents2; }

  static constexpr bool kAggregatable = false;
  static const ComInterfaceEntry* InterfaceTable();

  // handlers receive the events until Disconnect; owner (not counted) is kept alive during each call.
  void Connect(BrowserEventHandlers* handlers, IUnknown* owner) noexcept;
  void Disconnect() noexcept;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

 private:
  static constexpr UINT kMaxParameters = 8;
  struct Signature {
    UINT count = 0;
    VARTYPE types[kMaxParameters] = {};
  };

  ITypeInfo* EventTypeInfo() noexcept;
  HRESULT ReadSignature(DISPID dispid, Signature* signature) noexcept;
  HRESULT CallHandler(UINT slot, UINT arity, const Signature& signature, DISPPARAMS* params,
                      UINT* argError) noexcept;

  BrowserEventHandlers* handlers_ = nullptr;
  IUnknown* owner_ = nullptr;
  ComPtr<ITypeInfo> typeInfo_;
};

}  // namespace quillan

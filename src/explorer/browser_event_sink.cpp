#include "explorer/browser_event_sink.h"

#include <exdispid.h>
#include <oleauto.h>

namespace quillan {

namespace {

// The events the band handles: the handler's slot in BrowserEventHandlers and how many parameters it
// takes. The types of the parameters come from the type library, never from here.
struct HandlerEntry {
  DISPID dispid;
  UINT slot;
  UINT arity;
};

constexpr HandlerEntry kHandlers[] = {
    {DISPID_NAVIGATECOMPLETE2, 0, 2},
    {DISPID_COMMANDSTATECHANGE, 1, 2},
    {DISPID_ONQUIT, 2, 0},
};

// The VARTYPE an argument carries for a parameter of this type, as DispCallFunc takes it: a pointer
// to T is T by reference. False for types the handlers cannot be called with.
bool ArgumentType(const TYPEDESC& type, VARTYPE* out) {
  if (type.vt == VT_PTR) {
    if (!type.lptdesc || type.lptdesc->vt == VT_PTR || type.lptdesc->vt == VT_USERDEFINED) return false;
    *out = static_cast<VARTYPE>(type.lptdesc->vt | VT_BYREF);
    return true;
  }
  if (type.vt == VT_USERDEFINED || type.vt == VT_VOID || type.vt == VT_CARRAY || type.vt == VT_SAFEARRAY) {
    return false;
  }
  *out = type.vt;
  return true;
}

}  // namespace

const GUID BrowserEventSink::kTypeLibrary = {
    0xEAB22AC0, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};

const ComInterfaceEntry* BrowserEventSink::InterfaceTable() {
  static const ComInterfaceEntry table[] = {
      ComInterface<BrowserEventSink, IDispatch>(),
      ComInterface<BrowserEventSink, IDispatch>(DIID_DWebBrowserEvents2),  // the event interface is IDispatch
      ComInterfaceTableEnd()};
  return table;
}

void BrowserEventSink::Connect(BrowserEventHandlers* handlers, IUnknown* owner) noexcept {
  handlers_ = handlers;
  owner_ = owner;
}

void BrowserEventSink::Disconnect() noexcept {
  handlers_ = nullptr;
  owner_ = nullptr;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;  // an event sink is called by DISPID, never asked about its names
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

ITypeInfo* BrowserEventSink::EventTypeInfo() noexcept {
  if (!typeInfo_) {
    // Asked again at the next event when it fails: the library may be registered meanwhile.
    ComPtr<ITypeLib> library;
    if (SUCCEEDED(::LoadRegTypeLib(kTypeLibrary, kTypeLibraryMajor, kTypeLibraryMinor, LOCALE_NEUTRAL,
                                   library.Put()))) {
      if (FAILED(library->GetTypeInfoOfGuid(EventInterface(), typeInfo_.Put()))) typeInfo_ = nullptr;
    }
  }
  return typeInfo_.Get();
}

HRESULT BrowserEventSink::ReadSignature(DISPID dispid, Signature* signature) noexcept {
  ITypeInfo* info = EventTypeInfo();
  if (!info) return TYPE_E_LIBNOTREGISTERED;
  TYPEATTR* attributes = nullptr;
  HRESULT hr = info->GetTypeAttr(&attributes);
  if (FAILED(hr)) return hr;
  const UINT functions = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);
  hr = DISP_E_MEMBERNOTFOUND;
  for (UINT i = 0; i < functions && hr == DISP_E_MEMBERNOTFOUND; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;  // a description it cannot give is not ours
    if (function->memid == dispid) {
      hr = S_OK;
      if (function->cParams < 0 || static_cast<UINT>(function->cParams) > kMaxParameters) {
        hr = DISP_E_BADPARAMCOUNT;
      } else {
        signature->count = static_cast<UINT>(function->cParams);
        for (UINT p = 0; p < signature->count && SUCCEEDED(hr); ++p) {
          if (!ArgumentType(function->lprgelemdescParam[p].tdesc, &signature->types[p])) hr = DISP_E_TYPEMISMATCH;
        }
      }
    }
    info->ReleaseFuncDesc(function);
  }
  return hr;
}

HRESULT BrowserEventSink::CallHandler(UINT slot, UINT arity, const Signature& signature, DISPPARAMS* params,
                                      UINT* argError) noexcept {
  const UINT count = signature.count;
  // A library that declares other parameters than the handler takes must never reach the handler.
  if (count != arity) return DISP_E_BADPARAMCOUNT;
  const UINT given = params ? params->cArgs : 0;
  if (given != count) return DISP_E_BADPARAMCOUNT;
  if (params && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;

  VARIANTARG converted[kMaxParameters];
  VARIANTARG* arguments[kMaxParameters] = {};
  VARTYPE types[kMaxParameters] = {};
  for (UINT i = 0; i < count; ++i) ::VariantInit(&converted[i]);
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count && SUCCEEDED(hr); ++i) {
    // DISPPARAMS carries the arguments last first.
    const UINT position = count - 1 - i;
    VARIANTARG* actual = &params->rgvarg[position];
    const VARTYPE wanted = signature.types[i];
    types[i] = wanted;
    if (actual->vt == wanted) {
      arguments[i] = actual;
    } else if (wanted == (VT_VARIANT | VT_BYREF)) {
      // A VARIANT* parameter given a plain value: the handler gets a pointer to that value.
      converted[i].vt = VT_VARIANT | VT_BYREF;
      converted[i].pvarVal = actual;
      arguments[i] = &converted[i];
    } else if ((wanted & VT_BYREF) != 0 ||
               FAILED(::VariantChangeType(&converted[i], actual, 0, wanted))) {
      if (argError) *argError = position;
      hr = DISP_E_TYPEMISMATCH;
    } else {
      arguments[i] = &converted[i];
    }
  }
  if (SUCCEEDED(hr)) {
    VARIANT answer;
    ::VariantInit(&answer);
    hr = ::DispCallFunc(static_cast<void*>(handlers_), slot * sizeof(void*), CC_STDCALL, VT_ERROR, count, types,
                        arguments, &answer);
    if (SUCCEEDED(hr)) hr = V_ERROR(&answer);
  }
  for (UINT i = 0; i < count; ++i) ::VariantClear(&converted[i]);  // a by-reference wrapper frees nothing
  return hr;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                                   VARIANT* result, EXCEPINFO*, UINT* argError) {
  if (result) ::VariantInit(result);  // the events return nothing
  const HandlerEntry* entry = nullptr;
  for (const HandlerEntry& candidate : kHandlers) {
    if (candidate.dispid == dispid) entry = &candidate;
  }
  // Events the band does not follow, and events after the band has gone, are taken and dropped.
  if (!entry || !handlers_) return S_OK;
  Signature signature;
  HRESULT hr = ReadSignature(dispid, &signature);
  if (FAILED(hr)) return hr;
  // The handler may let go of the browser and with it the band's last reference held elsewhere.
  ComPtr<IUnknown> keepOwner(owner_);
  return CallHandler(entry->slot, entry->arity, signature, params, argError);
}

}  // namespace quillan

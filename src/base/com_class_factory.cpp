#include "base/com_class_factory.h"

#include <new>

#include "base/com_object.h"

namespace quillan {

HRESULT ComClassFactory::Create(ComCreator creator, IClassFactory** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!creator) return E_INVALIDARG;
  auto* factory = new (std::nothrow) ComClassFactory(creator);
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();
  *out = factory;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ComClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE ComClassFactory::AddRef() {
  LONG refs = ::InterlockedIncrement(&refs_);
  if (refs == 2) ComModuleLock::Lock();  // the first reference beyond the module's own
  return static_cast<ULONG>(refs);
}

ULONG STDMETHODCALLTYPE ComClassFactory::Release() {
  LONG refs = ::InterlockedDecrement(&refs_);
  if (refs == 1) ComModuleLock::Unlock();
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE ComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return creator_(outer, iid, out);
}

HRESULT STDMETHODCALLTYPE ComClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ComModuleLock::Lock();
  } else {
    ComModuleLock::Unlock();
  }
  return S_OK;
}

}  // namespace quillan

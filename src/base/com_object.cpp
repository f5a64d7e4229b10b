#include "base/com_object.h"

namespace quillan {

namespace {
volatile LONG moduleLockCount = 0;
}  // namespace

LONG ComModuleLock::Lock() noexcept { return ::InterlockedIncrement(&moduleLockCount); }
LONG ComModuleLock::Unlock() noexcept { return ::InterlockedDecrement(&moduleLockCount); }
LONG ComModuleLock::Count() noexcept { return ::InterlockedCompareExchange(&moduleLockCount, 0, 0); }

HRESULT QueryInterfaceTable(const ComInterfaceEntry* table, void* object, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!table || !table[0].iid) return E_NOINTERFACE;
  const ComInterfaceEntry* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    found = &table[0];
  } else {
    for (const ComInterfaceEntry* entry = table; entry->iid; ++entry) {
      if (IsEqualIID(iid, *entry->iid)) {
        found = entry;
        break;
      }
    }
  }
  if (!found) return E_NOINTERFACE;
  auto* unknown = static_cast<IUnknown*>(found->cast(object));
  unknown->AddRef();  // through the interface: the outer object counts it when aggregated
  *out = unknown;
  return S_OK;
}

ComObjectRoot::ComObjectRoot() noexcept { ComModuleLock::Lock(); }

ComObjectRoot::~ComObjectRoot() { ComModuleLock::Unlock(); }

ULONG ComObjectRoot::InternalAddRef() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG ComObjectRoot::InternalRelease() noexcept {
  LONG refs = ::InterlockedDecrement(&refs_);
  if (refs == 0) {
    // A reference taken and dropped by the destructor must not start a second destruction.
    refs_ = 1;
    delete this;
  }
  return static_cast<ULONG>(refs);
}

HRESULT ComObjectRoot::OuterQueryInterface(REFIID iid, void** out) noexcept {
  if (outer_) return outer_->QueryInterface(iid, out);
  return InternalQueryInterface(iid, out);
}

ULONG ComObjectRoot::OuterAddRef() noexcept { return outer_ ? outer_->AddRef() : InternalAddRef(); }

ULONG ComObjectRoot::OuterRelease() noexcept { return outer_ ? outer_->Release() : InternalRelease(); }

HRESULT STDMETHODCALLTYPE ComObjectRoot::InnerUnknown::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    // The inner unknown is the aggregated object's own identity towards its outer object.
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  return owner_->InternalQueryInterface(iid, out);
}

}  // namespace quillan

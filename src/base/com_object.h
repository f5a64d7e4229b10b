// COM objects without a framework: reference counting, QueryInterface from a table, aggregation,
// creation for class factories, and the module lock count that live objects hold.
//
// A class derives from ComObject<Class, Interface...> and implements the listed interfaces:
//
//   class CShellContextMenu final : public ComObject<CShellContextMenu, IShellExtInit, IContextMenu> {
//    public:
//     HRESULT FinalConstruct();            // optional: runs after construction, a failure ends the object
//     static constexpr bool kAggregatable = false;   // optional: refuse aggregation
//     static const ComInterfaceEntry* InterfaceTable();  // optional: a table of its own (see below)
//     ...the interface methods...
//   };
//
// QueryInterface answers the listed interfaces in order; IUnknown is the first of them. A class that
// answers more (a base interface such as IContextMenu reached through IContextMenu3, or an IID that
// another interface carries, such as a dispinterface through IDispatch) declares its own table:
//
//   static const ComInterfaceEntry* InterfaceTable() {
//     static const ComInterfaceEntry table[] = {
//         ComInterface<CMenu, IContextMenu3>(),
//         ComInterface<CMenu, IContextMenu, IContextMenu3>(),    // IContextMenu through IContextMenu3
//         ComInterface<CSink, IDispatch>(DIID_DWebBrowserEvents2),  // another IID, same interface
//         ComInterfaceTableEnd()};
//     return table;
//   }
//
// The constructor and FinalConstruct are public (ComObject calls them). A constructor that throws (an
// allocation in a member) gives E_OUTOFMEMORY; FinalConstruct's failure is returned as it is and ends
// the object. The IIDs in a table are constants that outlive it.
//
// Instances come from CreateInstance (the class-factory creator: aggregated or not, default constructor)
// or Create (a plain instance held by a ComPtr of the class, any constructor). Objects are never
// created with new by callers and never deleted by hand: the last Release deletes them. Every live
// object holds one module lock.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <new>
#include <utility>

#include "base/com_ptr.h"

namespace quillan {

// The lock count of the module this code is linked into (the DLL, or a test program). Every live COM
// object, every client reference to a cached class factory and every LockServer(TRUE) holds one; the
// module may be unloaded when it is 0. Changed atomically, from any thread.
class ComModuleLock {
 public:
  static LONG Lock() noexcept;
  static LONG Unlock() noexcept;
  static LONG Count() noexcept;
};

// One row of an interface table: the IID answered and how to reach the interface from the object
// (cast takes the class pointer as void* and gives the interface pointer).
struct ComInterfaceEntry {
  const IID* iid;
  void* (*cast)(void* object);
};

template <typename Class, typename Interface, typename Via = Interface>
void* ComInterfaceCast(void* object) noexcept {
  return static_cast<Interface*>(static_cast<Via*>(static_cast<Class*>(object)));
}

// The row for Interface of Class, reached through Via (a base interface reached through the derived
// one that the class lists, when the class holds several copies of the base).
template <typename Class, typename Interface, typename Via = Interface>
ComInterfaceEntry ComInterface(const IID& iid = __uuidof(Interface)) noexcept {
  return ComInterfaceEntry{&iid, &ComInterfaceCast<Class, Interface, Via>};
}

inline ComInterfaceEntry ComInterfaceTableEnd() noexcept { return ComInterfaceEntry{nullptr, nullptr}; }

// Looks iid up in a table for the object at `object` (the class pointer) and adds a reference through
// the interface found. IUnknown is the first row.
HRESULT QueryInterfaceTable(const ComInterfaceEntry* table, void* object, REFIID iid, void** out) noexcept;

// The part of every object that does not depend on its class: the reference count, the controlling
// (outer) unknown when aggregated, and the inner unknown handed to the outer object.
class ComObjectRoot {
 public:
  ComObjectRoot(const ComObjectRoot&) = delete;
  ComObjectRoot& operator=(const ComObjectRoot&) = delete;

  // The non-delegating IUnknown of the object itself (the inner unknown's behaviour).
  ULONG InternalAddRef() noexcept;
  ULONG InternalRelease() noexcept;
  virtual HRESULT InternalQueryInterface(REFIID iid, void** out) noexcept = 0;

  // Defaults a class may hide with its own.
  HRESULT FinalConstruct() noexcept { return S_OK; }
  static constexpr bool kAggregatable = true;

 protected:
  ComObjectRoot() noexcept;
  virtual ~ComObjectRoot();

  // IUnknown as every interface of the object answers it: the outer object's when aggregated.
  HRESULT OuterQueryInterface(REFIID iid, void** out) noexcept;
  ULONG OuterAddRef() noexcept;
  ULONG OuterRelease() noexcept;

 private:
  template <typename T, typename First, typename... Rest>
  friend class ComObject;

  // The inner unknown: the only pointer through which the outer object controls the lifetime and
  // asks for the interfaces of an aggregated object.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(ComObjectRoot* owner) noexcept : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_->InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_->InternalRelease(); }

   private:
    ComObjectRoot* owner_;
  };

  volatile LONG refs_ = 0;
  IUnknown* outer_ = nullptr;
  InnerUnknown inner_{this};
};

template <typename T, typename First, typename... Rest>
class ComObject : public ComObjectRoot, public First, public Rest... {
 public:
  // IUnknown of every listed interface.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return OuterQueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return OuterAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return OuterRelease(); }

  // The listed interfaces, in order.
  static const ComInterfaceEntry* InterfaceTable() noexcept {
    static const ComInterfaceEntry table[] = {ComInterface<T, First>(), ComInterface<T, Rest>()...,
                                              ComInterfaceTableEnd()};
    return table;
  }

  HRESULT InternalQueryInterface(REFIID iid, void** out) noexcept final {
    return QueryInterfaceTable(T::InterfaceTable(), static_cast<T*>(this), iid, out);
  }

  // The class-factory creator. With an outer unknown the object is aggregated: only IUnknown may be
  // asked for and the inner unknown is what the caller gets.
  static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && (!T::kAggregatable || !IsEqualIID(iid, IID_IUnknown))) return CLASS_E_NOAGGREGATION;
    T* object = nullptr;
    HRESULT hr = Construct(outer, &object);
    if (FAILED(hr)) return hr;
    hr = outer ? object->inner_.QueryInterface(iid, out) : object->InternalQueryInterface(iid, out);
    object->InternalRelease();  // the creation reference; a failed query ends the object here
    return hr;
  }

  // A plain (not aggregated) instance for code that holds the class itself; args go to the constructor.
  template <typename... Args>
  static HRESULT Create(ComPtr<T>* out, Args&&... args) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    T* object = nullptr;
    HRESULT hr = Construct(nullptr, &object, std::forward<Args>(args)...);
    if (FAILED(hr)) return hr;
    out->Attach(object);  // takes over the creation reference
    return S_OK;
  }

 protected:
  ComObject() noexcept = default;

 private:
  // Constructs the object and runs FinalConstruct under one reference, so that references taken and
  // dropped during construction cannot end it early. On success *object carries that reference.
  template <typename... Args>
  static HRESULT Construct(IUnknown* outer, T** object, Args&&... args) noexcept {
    *object = nullptr;
    T* created = nullptr;
    try {
      created = new T(std::forward<Args>(args)...);
    } catch (...) {  // an allocation failure in the object or its members
      return E_OUTOFMEMORY;
    }
    created->outer_ = outer;
    created->InternalAddRef();
    HRESULT hr;
    try {
      hr = created->FinalConstruct();
    } catch (...) {  // no exception may leave a COM call
      hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
      created->InternalRelease();
      return hr;
    }
    *object = created;
    return S_OK;
  }
};

}  // namespace quillan

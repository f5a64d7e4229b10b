// The class object of one COM class: IClassFactory over a creator function.
#pragma once

#include <objbase.h>
#include <windows.h>

namespace quillan {

// Creates an instance, aggregated when outer is given: ComObject<...>::CreateInstance has this form.
using ComCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);

// A class factory kept by the module for its whole life. The first reference is the module's own and
// does not hold the module lock, so that a cached factory alone never keeps the module loaded; every
// further reference (a client's) holds one lock, as LockServer(TRUE) does.
class ComClassFactory : public IClassFactory {
 public:
  // A new factory carrying the module's reference.
  static HRESULT Create(ComCreator creator, IClassFactory** out) noexcept;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  ComClassFactory(const ComClassFactory&) = delete;
  ComClassFactory& operator=(const ComClassFactory&) = delete;

 protected:
  explicit ComClassFactory(ComCreator creator) noexcept : creator_(creator) {}
  virtual ~ComClassFactory() = default;

 private:
  ComCreator creator_;
  volatile LONG refs_ = 0;
};

}  // namespace quillan

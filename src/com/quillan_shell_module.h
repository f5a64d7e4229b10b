// The module object of QuillanShellUI.DLL: the classes it serves, their cached class factories, the
// lock count, and self-registration per machine or per user.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "base/com_class_factory.h"
#include "base/registrar.h"

namespace quillan {

// The entry points of the merged proxy/stub that the interface compiler generates (their Prx names).
struct ProxyStubEntries {
  HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID clsid, REFIID iid, void** out);
  HRESULT(STDAPICALLTYPE* canUnloadNow)();
  HRESULT(STDAPICALLTYPE* registerServer)();
  HRESULT(STDAPICALLTYPE* unregisterServer)();
};

// One class of the object map.
struct ObjectMapEntry {
  const CLSID* clsid;
  UINT registryScript;  // id of its "REGISTRY" resource
  // Makes the class object around createInstance; a class without one is registered but not served.
  HRESULT (*createClassObject)(ComCreator createInstance, IClassFactory** out);
  ComCreator createInstance;
};

class CQuillanShellModule {
 public:
  static constexpr size_t kMaxObjects = 8;

  // The object map defaults to the module's two classes: CExplorerBand, then CShellContextMenu.
  explicit CQuillanShellModule(const ProxyStubEntries& proxyStub) noexcept;
  CQuillanShellModule(const ProxyStubEntries& proxyStub, const ObjectMapEntry* objectMap,
                      size_t objectCount) noexcept;
  ~CQuillanShellModule();
  CQuillanShellModule(const CQuillanShellModule&) = delete;
  CQuillanShellModule& operator=(const CQuillanShellModule&) = delete;

  // False when the critical section could not be set up: the DLL must then refuse to load.
  bool initialised() const noexcept { return initialised_; }
  void SetInstance(HINSTANCE instance) noexcept { instance_ = instance; }
  HINSTANCE instance() const noexcept { return instance_; }

  // The exports.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept;
  HRESULT CanUnloadNow() noexcept;
  HRESULT RegisterServer() noexcept;
  HRESULT UnregisterServer() noexcept;
  HRESULT Install(BOOL install, const wchar_t* commandLine) noexcept;

  LONG Lock() noexcept;
  LONG Unlock() noexcept;
  LONG GetLockCount() const noexcept;

  bool perUser() const noexcept { return perUser_.load(); }

  // "user" in any letter case, and nothing after it.
  static bool IsPerUserSwitch(const wchar_t* commandLine) noexcept;
  // Whether this process's executable is named "iexplore.exe" (in any letter case).
  static bool IsInternetExplorerProcess() noexcept;

 private:
  HRESULT CachedFactory(size_t index, IClassFactory** factory) noexcept;
  Registrar MakeRegistrar() const;
  std::wstring ModulePath() const;
  HRESULT RegisterModule() noexcept;
  HRESULT UnregisterModule() noexcept;
  HRESULT RegisterTypeLibrary() const noexcept;
  HRESULT UnregisterTypeLibrary() const noexcept;
  HRESULT ChangeCategory(bool registering) const noexcept;

  void* EncodeFactory(IClassFactory* factory) const noexcept;
  IClassFactory* DecodeFactory(void* encoded) const noexcept;

  HINSTANCE instance_ = nullptr;
  ProxyStubEntries proxyStub_;
  const ObjectMapEntry* objectMap_;
  size_t objectCount_;
  CRITICAL_SECTION section_;
  bool initialised_ = false;
  std::atomic<bool> perUser_{false};
  std::atomic<void*> factories_[kMaxObjects] = {};
  PVOID(WINAPI* encodePointer_)(PVOID) = nullptr;
  PVOID(WINAPI* decodePointer_)(PVOID) = nullptr;
};

}  // namespace quillan

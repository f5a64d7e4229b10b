// Entry point and exports of QuillanShellUI.DLL (ordinals in QuillanShellUI.def).
#include <objbase.h>
#include <windows.h>

#include "base/window_impl_base.h"
#include "com/close_explorer_with_cloud_bar.h"
#include "com/quillan_shell_module.h"

// The merged proxy/stub, generated from QuillanShellUI.idl (dlldata.c with the Prx entry prefix).
extern "C" {
BOOL WINAPI PrxDllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
HRESULT WINAPI PrxDllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
HRESULT WINAPI PrxDllCanUnloadNow();
HRESULT WINAPI PrxDllRegisterServer();
HRESULT WINAPI PrxDllUnregisterServer();
}

namespace {

const quillan::ProxyStubEntries kProxyStub = {&PrxDllGetClassObject, &PrxDllCanUnloadNow, &PrxDllRegisterServer,
                                              &PrxDllUnregisterServer};

quillan::CQuillanShellModule shellModule(kProxyStub);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (!shellModule.initialised()) return FALSE;
    shellModule.SetInstance(instance);
    ::DisableThreadLibraryCalls(instance);
  }
  // Unloaded while the process goes on: a class left registered with a procedure in this image would
  // crash the next window of that class, or the next load's registration. (At process exit, with
  // reserved set, nothing runs again and nothing need be undone.)
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) quillan::CWindowImplBase::UnregisterWindowClasses();
  // Records the module handle the proxy/stub registers itself under.
  return PrxDllMain(instance, reason, reserved);
}

extern "C" int WINAPI CloseExplorerWithCloudBar() { return quillan::CloseExplorerWithCloudBar(); }

STDAPI DllCanUnloadNow() { return shellModule.CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) { return shellModule.GetClassObject(clsid, iid, out); }

STDAPI DllInstall(BOOL install, LPCWSTR commandLine) { return shellModule.Install(install, commandLine); }

STDAPI DllRegisterServer() { return shellModule.RegisterServer(); }

STDAPI DllUnregisterServer() { return shellModule.UnregisterServer(); }

// Where the stand-in gets the objects Explorer would load: COM activation from the registration
// (CoCreateInstance, what Explorer does after regsvr32), or a DLL loaded by path and asked through
// its DllGetClassObject (for tests that do not register anything).
#pragma once

#include <windows.h>

#include <string>

namespace quillan::standin {

// {20B497C6-62FD-482A-9290-BD1BBEF85146}: the browser helper object.
extern const CLSID kBandClsid;
// {8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF}: the context-menu handler.
extern const CLSID kMenuHandlerClsid;

class ClassSource {
 public:
  // An empty dllPath means COM activation.
  explicit ClassSource(std::wstring dllPath = std::wstring()) : dllPath_(std::move(dllPath)) {}

  HRESULT Create(REFCLSID clsid, REFIID iid, void** out) const;
  const std::wstring& dllPath() const { return dllPath_; }
  // The DLL's answer to DllCanUnloadNow, or E_FAIL when no DLL has been loaded by path yet.
  HRESULT CanUnloadNow() const;

 private:
  std::wstring dllPath_;
};

std::wstring ClsidText(REFCLSID clsid);

}  // namespace quillan::standin

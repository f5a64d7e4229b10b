// What the stand-in's browser objects (web browser, shell browser, shell view) read from and report
// to the Explorer window they belong to. The window implements it; the objects hold a plain pointer
// that the window clears when it closes, after which they answer E_FAIL like a disconnected object.
#pragma once

#include <shobjidl.h>
#include <windows.h>

#include <string>
#include <vector>

namespace quillan::standin {

class BrowserState {
 public:
  virtual HWND FrameWindow() const = 0;
  virtual HWND ViewWindow() const = 0;            // SHELLDLL_DefView of the active view
  virtual std::wstring LocationUrl() const = 0;   // what IWebBrowser2::get_LocationURL answers
  virtual std::wstring LocationName() const = 0;
  virtual std::wstring FolderPath() const = 0;
  virtual std::vector<std::wstring> SelectedPaths() const = 0;
  virtual std::vector<std::wstring> AllPaths() const = 0;
  // The services of the window's site: the shell browser and the web browser.
  virtual HRESULT QueryService(REFGUID service, REFIID iid, void** out) = 0;
  virtual HRESULT ActiveShellView(IShellView** out) = 0;
  virtual void OnViewRefresh() = 0;
  virtual void OnBrowserQuit() = 0;
  // One line of call tracing (only written when tracing is on).
  virtual void TraceCall(const char* object, const char* method, HRESULT result, const std::wstring& detail) = 0;

 protected:
  ~BrowserState() = default;
};

// A readable name of a well-known interface or service id, else its registry form.
std::wstring GuidName(REFGUID guid);

}  // namespace quillan::standin

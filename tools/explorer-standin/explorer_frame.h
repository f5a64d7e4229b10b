// One stand-in Explorer window: its window tree, its browser objects (web browser and site, shell
// browser, shell view), the browser helpers it loads, its current folder and selection, and the
// script steps that act on it. Everything here runs on the thread that created the frame.
#pragma once

#include <objidl.h>
#include <ocidl.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "browser_state.h"
#include "class_source.h"
#include "context_menu_session.h"
#include "script.h"
#include "standin_shell_browser.h"
#include "standin_shell_view.h"
#include "standin_web_browser.h"
#include "window_tree.h"

namespace quillan::standin {

enum class BandLoad { Clsid, Registry, None };
// How get_LocationURL and NavigateComplete2 spell a folder: as Explorer does ("file:///C:/a%20b/文件"),
// with every non-ASCII byte percent-encoded as UTF-8, or as the plain path.
enum class UrlStyle { Explorer, Utf8, Path };

bool ParseUrlStyle(const std::wstring& name, UrlStyle* style);
std::wstring LocationUrlFor(const std::wstring& path, UrlStyle style);

struct FrameOptions {
  int id = 1;
  WindowTreeOptions window;
  std::wstring startPath;  // navigated to once the helpers are loaded; empty: no first navigation
  BandLoad band = BandLoad::Clsid;
  CLSID bandClsid = kBandClsid;
  CLSID menuClsid = kMenuHandlerClsid;
  std::wstring dllPath;  // objects from this DLL through DllGetClassObject instead of COM activation
  UrlStyle urlStyle = UrlStyle::Explorer;
  bool trace = false;
  bool show = true;
};

class ExplorerFrame final : public BrowserState, public WindowTreeHost {
 public:
  explicit ExplorerFrame(const FrameOptions& options);
  ~ExplorerFrame();
  ExplorerFrame(const ExplorerFrame&) = delete;
  ExplorerFrame& operator=(const ExplorerFrame&) = delete;

  // Creates the windows and the browser objects and prints the "frame" line.
  bool Create();
  // What Explorer does next: loads the browser helpers, then navigates to the start path.
  void Start();
  // Runs one step and prints its line; false when the step could not be carried out.
  bool Execute(const Step& step);
  // Closing the window: OnQuit to the sinks, SetSite(NULL) and Release on every helper, then the
  // windows are destroyed. Runs once.
  void Quit();
  // Called once the frame window is gone.
  void SetClosedCallback(std::function<void()> callback) { closedCallback_ = std::move(callback); }

  int id() const { return options_.id; }
  bool closed() const { return closed_; }
  WindowTree& tree() { return tree_; }
  StandinWebBrowser* webBrowser() const { return webBrowser_.Get(); }
  StandinShellBrowser* shellBrowser() const { return shellBrowser_.Get(); }
  StandinShellView* shellView() const { return shellView_.Get(); }
  // The site handed to the browser helpers (the web browser's IUnknown).
  IUnknown* Site() const;

  // The pieces of the steps, for callers that drive the frame directly.
  void NavigateTo(const std::wstring& path, bool newView, const std::wstring& urlOverride);
  void SetSelection(std::vector<std::wstring> paths);
  std::wstring ResolvePath(const std::wstring& nameOrPath) const;

  // BrowserState
  HWND FrameWindow() const override { return tree_.Frame(); }
  HWND ViewWindow() const override { return tree_.View(); }
  std::wstring LocationUrl() const override { return locationUrl_; }
  std::wstring LocationName() const override;
  std::wstring FolderPath() const override { return folder_; }
  std::vector<std::wstring> SelectedPaths() const override { return selection_; }
  std::vector<std::wstring> AllPaths() const override;
  HRESULT QueryService(REFGUID service, REFIID iid, void** out) override;
  HRESULT ActiveShellView(IShellView** out) override;
  void OnViewRefresh() override;
  void OnBrowserQuit() override;
  void TraceCall(const char* object, const char* method, HRESULT result, const std::wstring& detail) override;

  // WindowTreeHost
  void OnCloseRequested() override { Quit(); }
  void OnFrameDestroyed() override;
  void OnSysCommand(WPARAM command) override;
  std::wstring AddressText() const override { return folder_; }
  std::vector<std::wstring> ItemNames() const override;
  bool IsItemSelected(size_t row) const override;

 private:
  struct Entry {
    std::wstring name;
    std::wstring path;
  };
  struct LoadedBand {
    CLSID clsid;
    ComPtr<IObjectWithSite> band;
  };

  void LoadBands();
  void ListFolder();
  void SendInput(HWND target, UINT message, WPARAM wParam, LPARAM lParam);
  HWND StepTarget(const std::wstring& name) const;
  void DumpWindow(HWND window, int depth, int parentIndex, const char* tree, int* index);
  bool Fail(const Step& step, const std::wstring& message);

  bool StepNavigate(const Step& step);
  bool StepSelect(const Step& step);
  bool StepInput(const Step& step);
  bool StepResize(const Step& step);
  bool StepRebuild(const Step& step);
  bool StepPicture(const Step& step);
  bool StepDump(const Step& step);
  bool StepMenu(const Step& step);
  bool StepMenuPicture(const Step& step);
  bool StepInvoke(const Step& step);
  bool StepFire(const Step& step);
  bool StepBand(const Step& step);
  bool StepFocus(const Step& step);

  FrameOptions options_;
  ClassSource classes_;
  WindowTree tree_;
  ComPtr<StandinWebBrowser> webBrowser_;
  ComPtr<StandinShellBrowser> shellBrowser_;
  ComPtr<StandinShellView> shellView_;
  std::vector<ComPtr<StandinShellView>> oldViews_;  // views of earlier folders, kept for the leak count
  std::vector<LoadedBand> bands_;
  std::unique_ptr<ContextMenuSession> menu_;
  std::wstring folder_;
  std::wstring locationUrl_;
  std::vector<Entry> entries_;
  std::vector<std::wstring> selection_;
  int navigations_ = 0;
  bool quitting_ = false;
  bool closed_ = false;
  std::function<void()> closedCallback_;
};

}  // namespace quillan::standin

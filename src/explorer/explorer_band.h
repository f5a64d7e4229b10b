// The browser helper object Explorer creates for every Explorer window. It takes the window's site,
// follows its browser events and, on every navigation, decides from the desktop application's
// configuration whether the folder lies in an account's sync folder: it then tells its host object
// to show the bar for that account, to leave it where it is, or to take it away. When the window quits
// it tells the desktop application and lets go of the browser. Everything runs on the Explorer
// window's UI thread.
#pragma once

#include <exdisp.h>
#include <ocidl.h>
#include <shobjidl.h>
#include <windows.h>

#include <string>

#include "base/com_object.h"
#include "base/com_ptr.h"
#include "config/sync_config.h"
#include "explorer/band_host.h"
#include "explorer/browser_event_sink.h"
#include "explorer/velcloud_explorer_inject_obj.h"

namespace quillan {

class CExplorerBand final : public ComObject<CExplorerBand, IObjectWithSite>, public BrowserEventHandlers {
 public:
  // The cookie value that means no connection is advised.
  static constexpr DWORD kNotAdvised = 0xFEFEFEFE;

  // As Explorer gets it: drives its own host object, reads the shell's AppData folder.
  CExplorerBand();
  // driven: the host the band tells its decisions (null: its own host object); appDataRoot: the folder
  // of the desktop application's configuration trees.
  CExplorerBand(BandHost* driven, std::wstring appDataRoot);
  ~CExplorerBand() override;

  // Opens the window-message filter for the records and loads the account table.
  HRESULT FinalConstruct();

  // IObjectWithSite. SetSite always succeeds; without the browser's services the band stays passive.
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* newSite) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** out) override;

  // Reloads the account table and classifies the browser's current location again; force makes the
  // host rebuild (or take away) the bar even when nothing changed. Nothing without a browser.
  void Refresh(bool force) noexcept;

  // The browser events, reached through the sink.
  HRESULT STDMETHODCALLTYPE OnNavigateComplete2(IDispatch* pDisp, VARIANT* url) override;
  HRESULT STDMETHODCALLTYPE OnCommandStateChange(long command, VARIANT_BOOL enable) override;
  HRESULT STDMETHODCALLTYPE OnQuit() override;


 private:
  void ReleaseBrowser() noexcept;
  void Advise() noexcept;
  void ClassifyFolder(const std::wstring& location, bool force);

  ComPtr<IUnknown> site;
  ComPtr<BrowserEventSink> sink;  // its type library and interface: BrowserEventSink
  DWORD cookie = kNotAdvised;
  ComPtr<IShellBrowser> shellBrowser;
  ComPtr<IWebBrowser2> webBrowser;
  CVelCloudExplorerInjectObj host;
  SyncConfig config;
  std::wstring currentPath;  // location (as received) last found inside a sync folder; empty: no bar wanted
  std::wstring currentSyncFolder;
  std::wstring currentUserId;
  std::wstring currentEnterpriseId;
  BandHost* driven;  // &host unless a test gives another
};

}  // namespace quillan

#include "explorer/explorer_band.h"

#include <oleauto.h>
#include <servprov.h>
#include <shlguid.h>

#include <new>
#include <utility>

#include "base/com_values.h"
#include "base/module.h"
#include "ipc/main_window.h"
#include "ipc/records.h"

namespace quillan {

namespace {

using ChangeWindowMessageFilterFunction = BOOL(WINAPI*)(UINT message, DWORD flag);
constexpr DWORD kMessageFilterAdd = 1;  // MSGFLT_ADD
constexpr UINT kCopyGlobalData = 73;    // WM_COPYDATA's companion, used by drag and drop between integrity levels

// Systems before Vista have no message filter; the function is looked up once per process.
ChangeWindowMessageFilterFunction MessageFilterFunction() {
  static const auto function = ProcAddress<ChangeWindowMessageFilterFunction>(::GetModuleHandleW(L"user32.dll"),
                                                                              "ChangeWindowMessageFilter");
  return function;
}

// The text a NavigateComplete2 URL argument holds, or null when it holds none.
const wchar_t* UrlText(const VARIANT* url) {
  if (!url) return nullptr;
  if (url->vt == VT_BSTR) return url->bstrVal;
  if (url->vt == (VT_BSTR | VT_BYREF) && url->pbstrVal) return *url->pbstrVal;
  return nullptr;
}

}  // namespace

CExplorerBand::CExplorerBand() : CExplorerBand(nullptr, GetSpecialFolder(26)) {}

CExplorerBand::CExplorerBand(BandHost* drivenHost, std::wstring appDataRoot)
    : host(this, appDataRoot), config(std::move(appDataRoot)), driven(drivenHost ? drivenHost : &host) {}

CExplorerBand::~CExplorerBand() {
  // Events that still arrive (a browser that refused the unadvise) find no band.
  if (sink) sink->Disconnect();
  ReleaseBrowser();
}

HRESULT CExplorerBand::FinalConstruct() {
  // Lets records from processes of lower integrity through to the host window.
  if (ChangeWindowMessageFilterFunction filter = MessageFilterFunction()) {
    for (UINT message : {static_cast<UINT>(WM_COPYDATA), kCopyGlobalData, static_cast<UINT>(WM_SHOWWINDOW)}) {
      filter(message, kMessageFilterAdd);  // a refusal only keeps such records out, as on systems without it
    }
  }
  config.LoadAccounts();
  HRESULT hr = BrowserEventSink::Create(&sink);
  if (FAILED(hr)) return E_OUTOFMEMORY;
  sink->Connect(this, static_cast<IObjectWithSite*>(this));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CExplorerBand::SetSite(IUnknown* newSite) {
  try {
    if (newSite != site.Get()) site = ComPtr<IUnknown>(newSite);
    // A host that cannot start stays passive; the band goes on all the same.
    driven->Init(newSite);
    ReleaseBrowser();
    if (!newSite) return S_OK;
    ComPtr<IServiceProvider> services;
    if (SUCCEEDED(newSite->QueryInterface(IID_IServiceProvider, services.PutVoid())) && services) {
      if (FAILED(services->QueryService(SID_SShellBrowser, IID_IShellBrowser, shellBrowser.PutVoid()))) {
        shellBrowser = nullptr;
      }
      if (FAILED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, webBrowser.PutVoid()))) {
        webBrowser = nullptr;
      }
    }
    if (shellBrowser && webBrowser && cookie == kNotAdvised) Advise();
  } catch (...) {  // no memory: the band stays passive, which Explorer does not need to hear about
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CExplorerBand::GetSite(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!site) return E_FAIL;
  return site->QueryInterface(iid, out);
}

void CExplorerBand::Advise() noexcept {
  ComPtr<IConnectionPointContainer> container;
  if (FAILED(webBrowser.As(&container)) || !container) return;
  ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())) || !point) return;
  DWORD newCookie = 0;
  if (SUCCEEDED(point->Advise(static_cast<IDispatch*>(sink.Get()), &newCookie))) cookie = newCookie;
}

void CExplorerBand::ReleaseBrowser() noexcept {
  shellBrowser = nullptr;
  if (!webBrowser) return;
  if (cookie != kNotAdvised) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(webBrowser.As(&container)) && container &&
        SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())) && point) {
      // A refusal leaves the browser with a sink that reaches nothing once the band is gone.
      point->Unadvise(cookie);
    }
    cookie = kNotAdvised;
  }
  webBrowser = nullptr;
}

void CExplorerBand::Refresh(bool force) noexcept {
  if (!webBrowser) return;
  try {
    config.LoadAccounts();
    UniqueBstr url;
    if (SUCCEEDED(webBrowser->get_LocationURL(url.put())) && url.get()) ClassifyFolder(url.get(), force);
  } catch (...) {  // no memory: the bar stays as it is until the next navigation
  }
}

HRESULT STDMETHODCALLTYPE CExplorerBand::OnNavigateComplete2(IDispatch*, VARIANT* url) {
  // Frames and the top level are treated alike.
  const wchar_t* location = UrlText(url);
  if (!location) return S_OK;
  try {
    config.LoadAccounts();
    ClassifyFolder(location, false);
  } catch (...) {  // no memory: the bar stays as it is until the next navigation
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CExplorerBand::OnCommandStateChange(long, VARIANT_BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE CExplorerBand::OnQuit() {
  HWND mainWindow = FindMainWindow();
  const std::wstring& userId = driven->AccountUserId();
  const std::wstring& enterpriseId = driven->AccountEnterpriseId();
  if (mainWindow && !userId.empty() && !enterpriseId.empty()) {
    // Once and without the retry: the window is closing and must not wait any longer. An application
    // that does not answer misses the notice (one the system counts as hung refuses it at once), as
    // does one whose record could not be built.
    const std::optional<Record> quit = BuildAccountActionRecord(userId, enterpriseId, kActionQuit);
    if (quit) SendRecord(mainWindow, *quit, SMTO_ABORTIFHUNG, kSendTimeoutMs);
  }
  ReleaseBrowser();
  return S_OK;
}

void CExplorerBand::ClassifyFolder(const std::wstring& location, bool force) {
  AccountEntry entry;
  if (config.FindAccount(location, &entry)) {
    const bool unchanged = !currentPath.empty() && currentSyncFolder == entry.syncFolder &&
                           currentUserId == entry.userId && currentEnterpriseId == entry.enterpriseId;
    std::wstring path = location;  // copied before any state changes, so that no memory leaves it whole
    if (force || !unchanged) {
      std::wstring folder = entry.syncFolder;
      std::wstring user = entry.userId;
      std::wstring enterprise = entry.enterpriseId;
      currentPath = std::move(path);
      currentSyncFolder = std::move(folder);
      currentUserId = std::move(user);
      currentEnterpriseId = std::move(enterprise);
      driven->UpdateAccount(true, entry);
    } else {
      currentPath = std::move(path);
      driven->Revalidate();  // a failure is healed by the host's own timer
    }
    return;
  }
  if (!force && currentPath.empty()) return;
  currentPath.clear();
  currentSyncFolder.clear();
  currentUserId.clear();
  currentEnterpriseId.clear();
  driven->UpdateAccount(false, AccountEntry{});
}

}  // namespace quillan

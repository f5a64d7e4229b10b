// standin_probe.dll: a browser helper and a context-menu handler of the tests' own, which
// explorer-standin.exe loads through --dll in place of the product's. Each writes what was done to
// it, one line per call, into the file named by the environment variable QUILLAN_PROBE_LOG.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <objbase.h>
#include <ocidl.h>
#include <shellapi.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

namespace {

const CLSID kProbeBand = {0x20B497C6, 0x62FD, 0x482A, {0x92, 0x90, 0xBD, 0x1B, 0xBE, 0xF8, 0x51, 0x46}};
const CLSID kProbeMenu = {0x8E4B2A8F, 0x956F, 0x47F1, {0xA0, 0x69, 0xED, 0x7F, 0x1A, 0x2D, 0xF6, 0xCF}};

LONG g_objects = 0;

void Log(const std::wstring& line) {
  wchar_t path[MAX_PATH] = {};
  if (!::GetEnvironmentVariableW(L"QUILLAN_PROBE_LOG", path, MAX_PATH)) return;
  HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::wstring text = line + L"\n";
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::wstring Hex(HRESULT hr) {
  wchar_t text[16];
  wsprintfW(text, L"0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

class ProbeBand;

class ProbeSink final : public IDispatch {
 public:
  explicit ProbeSink(ProbeBand* band) : band_(band) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

 private:
  ProbeBand* band_;
};

class ProbeBand final : public IObjectWithSite {
 public:
  ProbeBand() : sink_(this) { ::InterlockedIncrement(&g_objects); }
  ~ProbeBand() {
    Log(L"band destroyed");
    ::InterlockedDecrement(&g_objects);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IObjectWithSite) {
      *out = static_cast<IObjectWithSite*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
    Log(site ? L"setsite site" : L"setsite null");
    Disconnect();
    if (site_) site_->Release();
    site_ = site;
    if (!site_) return S_OK;
    site_->AddRef();
    IServiceProvider* services = nullptr;
    if (SUCCEEDED(site_->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services)))) {
      HRESULT shell = services->QueryService(SID_SShellBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&shellBrowser_));
      HRESULT web = services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, reinterpret_cast<void**>(&webBrowser_));
      Log(L"services " + Hex(shell) + L" " + Hex(web));
      services->Release();
    }
    IConnectionPointContainer* container = nullptr;
    if (webBrowser_ && SUCCEEDED(webBrowser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
      IConnectionPoint* point = nullptr;
      if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
        Log(L"advise " + Hex(point->Advise(&sink_, &cookie_)));
        point->Release();
      }
      container->Release();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** out) override {
    *out = nullptr;
    return site_ ? site_->QueryInterface(iid, out) : E_FAIL;
  }

  void OnEvent(DISPID dispid, DISPPARAMS* params) {
    if (dispid == DISPID_NAVIGATECOMPLETE2 && params->cArgs == 2 && params->rgvarg[0].vt == (VT_VARIANT | VT_BYREF)) {
      const VARIANT* url = params->rgvarg[0].pvarVal;
      std::wstring view = L"none";
      IShellView* shellView = nullptr;
      HWND window = nullptr;
      if (shellBrowser_ && SUCCEEDED(shellBrowser_->QueryActiveShellView(&shellView))) {
        if (SUCCEEDED(shellView->GetWindow(&window))) view = ClassOf(window);
        shellView->Release();
      }
      Log(L"navigate " + std::wstring(url->vt == VT_BSTR && url->bstrVal ? url->bstrVal : L"?") + L" view=" + view);
    } else if (dispid == DISPID_ONQUIT) {
      Log(L"quit");
      Disconnect();
    }
  }

  LONG refs_ = 1;

 private:
  void Disconnect() {
    if (webBrowser_ && cookie_) {
      IConnectionPointContainer* container = nullptr;
      if (SUCCEEDED(webBrowser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) {
        IConnectionPoint* point = nullptr;
        if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point))) {
          Log(L"unadvise " + Hex(point->Unadvise(cookie_)));
          point->Release();
        }
        container->Release();
      }
    }
    cookie_ = 0;
    if (webBrowser_) webBrowser_->Release();
    if (shellBrowser_) shellBrowser_->Release();
    webBrowser_ = nullptr;
    shellBrowser_ = nullptr;
  }

  ProbeSink sink_;
  IUnknown* site_ = nullptr;
  IShellBrowser* shellBrowser_ = nullptr;
  IWebBrowser2* webBrowser_ = nullptr;
  DWORD cookie_ = 0;
};

ULONG ProbeSink::AddRef() { return band_->AddRef(); }
ULONG ProbeSink::Release() { return band_->Release(); }
HRESULT ProbeSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  band_->OnEvent(dispid, params);
  return S_OK;
}

class ProbeMenu final : public IShellExtInit, public IContextMenu {
 public:
  ProbeMenu() { ::InterlockedIncrement(&g_objects); }
  ~ProbeMenu() {
    if (bitmap_) ::DeleteObject(bitmap_);
    ::InterlockedDecrement(&g_objects);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IShellExtInit) {
      *out = static_cast<IShellExtInit*>(this);
    } else if (iid == IID_IContextMenu) {
      *out = static_cast<IContextMenu*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY) override {
    std::wstring line = L"init";
    wchar_t path[MAX_PATH] = {};
    if (folder && ::SHGetPathFromIDListW(folder, path)) line += std::wstring(L" folder=") + path;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (data && SUCCEEDED(data->GetData(&format, &medium))) {
      auto drop = static_cast<HDROP>(::GlobalLock(medium.hGlobal));
      UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        ::DragQueryFileW(drop, i, path, MAX_PATH);
        line += std::wstring(L" item=") + path;
      }
      ::GlobalUnlock(medium.hGlobal);
      ::ReleaseStgMedium(&medium);
    }
    Log(line);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT) override {
    bitmap_ = ::CreateBitmap(16, 16, 1, 32, nullptr);
    HMENU submenu = ::CreatePopupMenu();
    wchar_t top[] = L"Probe 探针";
    wchar_t child[] = L"Child";
    wchar_t parent[] = L"Probe sub";
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_DATA | MIIM_CHECKMARKS;
    item.wID = first;
    item.dwItemData = 0x5549434D;
    item.hbmpChecked = item.hbmpUnchecked = bitmap_;
    item.dwTypeData = top;
    ::InsertMenuItemW(menu, index, TRUE, &item);
    ::InsertMenuW(menu, index + 1, MF_BYPOSITION | MF_SEPARATOR, 1, nullptr);
    ::AppendMenuW(submenu, MF_STRING, first + 1, child);
    item.fMask = MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
    item.wID = first + 2;
    item.hSubMenu = submenu;
    item.dwTypeData = parent;
    ::InsertMenuItemW(menu, index + 2, TRUE, &item);
    Log(L"query index=" + std::to_wstring(index) + L" first=" + std::to_wstring(first));
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3);
  }
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    bool unicode = info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX) && (info->fMask & CMIC_MASK_UNICODE);
    std::wstring how = L" unicode=" + std::to_wstring(unicode ? 1 : 0);
    if (HIWORD(reinterpret_cast<UINT_PTR>(info->lpVerb)) == 0) {
      Log(L"invoke offset=" + std::to_wstring(LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb))) + how);
      return LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb)) < 2 ? S_OK : E_INVALIDARG;
    }
    wchar_t verb[64] = {};
    ::MultiByteToWideChar(CP_ACP, 0, info->lpVerb, -1, verb, 64);
    if (std::wstring(verb) == L"crash") *static_cast<volatile int*>(nullptr) = 0;  // a helper that crashes
    Log(std::wstring(L"invoke verb=") + verb + how);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR offset, UINT type, UINT*, LPSTR name, UINT chars) override {
    if (offset != 0 || type != GCS_VERBW || chars < 6) return E_INVALIDARG;
    ::lstrcpyW(reinterpret_cast<LPWSTR>(name), L"probe");
    return S_OK;
  }

 private:
  LONG refs_ = 1;
  HBITMAP bitmap_ = nullptr;
};

class ProbeFactory final : public IClassFactory {
 public:
  explicit ProbeFactory(bool band) : band_(band) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static object
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* object = band_ ? static_cast<IUnknown*>(new ProbeBand) : static_cast<IShellExtInit*>(new ProbeMenu);
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  bool band_;
};

ProbeFactory g_bandFactory(true);
ProbeFactory g_menuFactory(false);

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid == kProbeBand) return g_bandFactory.QueryInterface(iid, out);
  if (clsid == kProbeMenu) return g_menuFactory.QueryInterface(iid, out);
  *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

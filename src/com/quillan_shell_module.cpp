#include "com/quillan_shell_module.h"

#include <comcat.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <vector>

#include "QuillanShellUI.h"
#include "base/com_object.h"
#include "base/com_values.h"
#include "base/module.h"
#include "base/com_ptr.h"
#include "base/text.h"
#include "base/window_impl_base.h"
#include "explorer/explorer_band.h"
#include "menu/shell_context_menu.h"
#include "resource.h"

namespace quillan {

namespace {

const wchar_t kAppId[] = L"{B603F513-FD46-47F3-B879-112CB9D1F685}";

// CATID_AppContainerCompatible: lets the band load into Explorer windows that run in an app container.
const CATID kCatidAppContainerCompatible = {
    0x59FB2056, 0xD625, 0x48D0, {0xA9, 0x44, 0x1A, 0x85, 0xB5, 0xAB, 0x26, 0x40}};
const CLSID kClsidStdComponentCategoriesMgr = {
    0x0002E005, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidICatRegister = {0x0002E012, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const ObjectMapEntry kObjectMap[] = {
    {&CLSID_ExplorerBand, IDR_EXPLORERBAND, &ComClassFactory::Create, &CExplorerBand::CreateInstance},
    {&CLSID_ShellContextMenu, IDR_SHELLCONTEXTMENU, &ComClassFactory::Create, &CShellContextMenu::CreateInstance},
};

// The scripts run with the system's default locale as the thread locale, whatever the caller's.
class ThreadLocaleScope {
 public:
  ThreadLocaleScope() noexcept : saved_(::GetThreadLocale()) {
    // A failure leaves the caller's locale in place, which the scripts do not depend on.
    ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
  }
  ~ThreadLocaleScope() { ::SetThreadLocale(saved_); }
  ThreadLocaleScope(const ThreadLocaleScope&) = delete;
  ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;

 private:
  LCID saved_;
};

class SectionLock {
 public:
  explicit SectionLock(CRITICAL_SECTION* section) noexcept : section_(section) {
    ::EnterCriticalSection(section_);
  }
  ~SectionLock() { ::LeaveCriticalSection(section_); }
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;

 private:
  CRITICAL_SECTION* section_;
};

using RegisterTypeLibFunction = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
using UnRegisterTypeLibFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// Windows XP's oleaut32 has no per-user type-library registration; there it is machine-wide.
template <typename Function>
Function PerUserTypeLibFunction(const char* name) {
  return ProcAddress<Function>(::GetModuleHandleW(L"OLEAUT32.DLL"), name);
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  if (::StringFromGUID2(guid, text, 40) == 0) return std::wstring();
  return text;
}

}  // namespace

CQuillanShellModule::CQuillanShellModule(const ProxyStubEntries& proxyStub) noexcept
    : CQuillanShellModule(proxyStub, kObjectMap, sizeof(kObjectMap) / sizeof(kObjectMap[0])) {}

CQuillanShellModule::CQuillanShellModule(const ProxyStubEntries& proxyStub, const ObjectMapEntry* objectMap,
                                         size_t objectCount) noexcept
    : proxyStub_(proxyStub),
      objectMap_(objectMap),
      objectCount_(objectCount < kMaxObjects ? objectCount : kMaxObjects) {
  // Can fail for want of memory on systems before Vista; the caller then refuses to load.
  initialised_ = ::InitializeCriticalSectionAndSpinCount(&section_, 0) != FALSE;
  // Looked up: Windows XP before its second service pack lacks them.
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  encodePointer_ = ProcAddress<PVOID(WINAPI*)(PVOID)>(kernel, "EncodePointer");
  decodePointer_ = ProcAddress<PVOID(WINAPI*)(PVOID)>(kernel, "DecodePointer");
  if (!encodePointer_ || !decodePointer_) encodePointer_ = decodePointer_ = nullptr;
}

CQuillanShellModule::~CQuillanShellModule() {
  for (size_t i = 0; i < objectCount_; ++i) {
    if (void* encoded = factories_[i].exchange(nullptr)) DecodeFactory(encoded)->Release();
  }
  if (initialised_) ::DeleteCriticalSection(&section_);
}

void* CQuillanShellModule::EncodeFactory(IClassFactory* factory) const noexcept {
  return encodePointer_ ? encodePointer_(factory) : factory;
}

IClassFactory* CQuillanShellModule::DecodeFactory(void* encoded) const noexcept {
  return static_cast<IClassFactory*>(decodePointer_ ? decodePointer_(encoded) : encoded);
}

bool CQuillanShellModule::IsInternetExplorerProcess() noexcept {
  const std::wstring path = ModuleFileName(nullptr, 520);  // empty: no name to refuse by
  return !path.empty() && EqualsNoCaseAZ(::PathFindFileNameW(path.c_str()), L"iexplore.exe");
}

bool CQuillanShellModule::IsPerUserSwitch(const wchar_t* commandLine) noexcept {
  static const wchar_t kUser[] = L"user";
  if (!commandLine) return false;
  for (size_t i = 0; i < sizeof(kUser) / sizeof(kUser[0]); ++i) {
    if (LowerAZ(commandLine[i]) != kUser[i]) return false;
    if (commandLine[i] == 0) break;
  }
  return true;
}

HRESULT CQuillanShellModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept {
  if (IsInternetExplorerProcess()) {
    // A caller must not take whatever the pointer held for a class object.
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  // Checked before the proxy/stub, which writes through the pointer unchecked.
  if (!out) return E_POINTER;
  if (proxyStub_.getClassObject && proxyStub_.getClassObject(clsid, iid, out) == S_OK) return S_OK;
  *out = nullptr;
  if (!initialised_) return E_UNEXPECTED;
  for (size_t i = 0; i < objectCount_; ++i) {
    const ObjectMapEntry& entry = objectMap_[i];
    if (!entry.createClassObject || !IsEqualCLSID(*entry.clsid, clsid)) continue;
    IClassFactory* factory = nullptr;
    HRESULT hr = CachedFactory(i, &factory);
    if (FAILED(hr)) return hr;
    hr = factory->QueryInterface(iid, out);
    if (SUCCEEDED(hr) && !*out) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CQuillanShellModule::CachedFactory(size_t index, IClassFactory** factory) noexcept {
  *factory = nullptr;
  void* encoded = factories_[index].load();
  if (!encoded) {
    SectionLock lock(&section_);
    // Another thread may have created it while this one waited.
    encoded = factories_[index].load();
    if (!encoded) {
      const ObjectMapEntry& entry = objectMap_[index];
      IClassFactory* created = nullptr;
      HRESULT hr = entry.createClassObject(entry.createInstance, &created);
      if (FAILED(hr)) return hr;
      if (!created) return E_UNEXPECTED;
      encoded = EncodeFactory(created);
      factories_[index].store(encoded);
    }
  }
  *factory = DecodeFactory(encoded);
  return S_OK;
}

HRESULT CQuillanShellModule::CanUnloadNow() noexcept {
  if (proxyStub_.canUnloadNow) {
    HRESULT hr = proxyStub_.canUnloadNow();
    if (hr != S_OK) return hr;
  }
  if (GetLockCount() > 0) return S_FALSE;
  // A window still bound to one of our objects would run this image's code after the unload.
  return CWindowImplBase::LiveWindowCount() != 0 ? S_FALSE : S_OK;
}

LONG CQuillanShellModule::Lock() noexcept { return ComModuleLock::Lock(); }
LONG CQuillanShellModule::Unlock() noexcept { return ComModuleLock::Unlock(); }
LONG CQuillanShellModule::GetLockCount() const noexcept { return ComModuleLock::Count(); }

std::wstring CQuillanShellModule::ModulePath() const { return ModuleFileName(instance_); }

Registrar CQuillanShellModule::MakeRegistrar() const {
  Registrar registrar;
  registrar.SetPerUser(perUser_.load());
  registrar.AddReplacement(L"APPID", kAppId);
  registrar.AddReplacement(L"MODULE", ModulePath());
  return registrar;
}

HRESULT CQuillanShellModule::RegisterModule() noexcept {
  try {
    ThreadLocaleScope locale;
    Registrar registrar = MakeRegistrar();
    HRESULT hr = registrar.RegisterResource(instance_, IDR_QUILLANSHELLUI);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < objectCount_; ++i) {
      hr = registrar.RegisterResource(instance_, objectMap_[i].registryScript);
      if (FAILED(hr)) return hr;
    }
    return RegisterTypeLibrary();
  } catch (...) {  // allocation failures of the registrar's texts
    return E_OUTOFMEMORY;
  }
}

HRESULT CQuillanShellModule::UnregisterModule() noexcept {
  try {
    ThreadLocaleScope locale;
    Registrar registrar = MakeRegistrar();
    for (size_t i = 0; i < objectCount_; ++i) {
      HRESULT hr = registrar.UnregisterResource(instance_, objectMap_[i].registryScript);
      if (FAILED(hr)) return hr;
    }
    HRESULT hr = UnregisterTypeLibrary();
    if (FAILED(hr)) return hr;
    return registrar.UnregisterResource(instance_, IDR_QUILLANSHELLUI);
  } catch (...) {  // allocation failures of the registrar's texts
    return E_OUTOFMEMORY;
  }
}

HRESULT CQuillanShellModule::RegisterServer() noexcept {
  HRESULT hr = RegisterModule();
  // The category only widens where the band may load; registration stands without it.
  ChangeCategory(true);
  if (FAILED(hr)) return hr;
  return proxyStub_.registerServer ? proxyStub_.registerServer() : S_OK;
}

HRESULT CQuillanShellModule::UnregisterServer() noexcept {
  HRESULT categoryResult = ChangeCategory(false);
  HRESULT hr = UnregisterModule();
  if (FAILED(hr)) return hr;
  if (proxyStub_.unregisterServer) {
    hr = proxyStub_.unregisterServer();
    if (FAILED(hr)) return hr;
  }
  return categoryResult;
}

HRESULT CQuillanShellModule::Install(BOOL install, const wchar_t* commandLine) noexcept {
  if (IsPerUserSwitch(commandLine)) perUser_.store(true);
  if (!install) return UnregisterServer();
  HRESULT hr = RegisterServer();
  if (FAILED(hr)) {
    // Takes back whatever part was written; the registration failure is what the caller learns.
    UnregisterServer();
  }
  return hr;
}

HRESULT CQuillanShellModule::RegisterTypeLibrary() const noexcept {
  std::wstring path = ModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError() ? ::GetLastError() : ERROR_MOD_NOT_FOUND);
  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
  if (FAILED(hr)) return hr;
  // The help folder is the help file's, when the library names one.
  UniqueBstr helpFile;
  std::wstring helpFolder;
  if (SUCCEEDED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.put())) && helpFile.get()) {
    helpFolder.assign(helpFile.get(), ::SysStringLen(helpFile.get()));
    size_t slash = helpFolder.find_last_of(L"\\/");
    helpFolder.resize(slash == std::wstring::npos ? 0 : slash);
  }
  RegisterTypeLibFunction registerFunction = nullptr;
  if (perUser_.load()) registerFunction = PerUserTypeLibFunction<RegisterTypeLibFunction>("RegisterTypeLibForUser");
  if (!registerFunction) registerFunction = &::RegisterTypeLib;
  UniqueBstr pathText = MakeBstr(path);
  return registerFunction(library.Get(), pathText.get(), helpFolder.empty() ? nullptr : &helpFolder[0]);
}

HRESULT CQuillanShellModule::UnregisterTypeLibrary() const noexcept {
  std::wstring path = ModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError() ? ::GetLastError() : ERROR_MOD_NOT_FOUND);
  ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (FAILED(hr)) return hr;
  TLIBATTR attr = *attributes;
  library->ReleaseTLibAttr(attributes);
  // A library that is not registered (a second unregistration, or one after a registration that
  // failed earlier) is done with; the platform would call it a failure and stop the cleanup here.
  std::wstring versionKey = L"TypeLib\\" + GuidText(attr.guid) + L"\\" + std::to_wstring(attr.wMajorVerNum) + L"." +
                            std::to_wstring(attr.wMinorVerNum);
  HKEY probe = nullptr;
  LSTATUS status = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, versionKey.c_str(), 0, KEY_READ, &probe);
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;
  if (status == ERROR_SUCCESS) ::RegCloseKey(probe);
  UnRegisterTypeLibFunction unregisterFunction = nullptr;
  if (perUser_.load()) {
    unregisterFunction = PerUserTypeLibFunction<UnRegisterTypeLibFunction>("UnRegisterTypeLibForUser");
  }
  if (!unregisterFunction) unregisterFunction = &::UnRegisterTypeLib;
  return unregisterFunction(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
}

HRESULT CQuillanShellModule::ChangeCategory(bool registering) const noexcept {
  ComPtr<ICatRegister> categories;
  HRESULT hr = ::CoCreateInstance(kClsidStdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, kIidICatRegister,
                                  categories.PutVoid());
  if (FAILED(hr)) return hr;
  CATID category = kCatidAppContainerCompatible;
  return registering ? categories->RegisterClassImplCategories(CLSID_ExplorerBand, 1, &category)
                     : categories->UnRegisterClassImplCategories(CLSID_ExplorerBand, 1, &category);
}

}  // namespace quillan

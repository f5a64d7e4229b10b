#include "class_source.h"

#include <objbase.h>
#include <unknwn.h>

#include <map>
#include <mutex>

#include "base/com_ptr.h"

namespace quillan::standin {

const CLSID kBandClsid = {0x20B497C6, 0x62FD, 0x482A, {0x92, 0x90, 0xBD, 0x1B, 0xBE, 0xF8, 0x51, 0x46}};
const CLSID kMenuHandlerClsid = {0x8E4B2A8F, 0x956F, 0x47F1, {0xA0, 0x69, 0xED, 0x7F, 0x1A, 0x2D, 0xF6, 0xCF}};

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// DLLs loaded by path stay loaded for the life of the process, as COM keeps a server loaded while
// objects of it may live; frames on several threads share one load.
HMODULE LoadServer(const std::wstring& path, bool loadIfMissing = true) {
  static std::mutex lock;
  static std::map<std::wstring, HMODULE> loaded;
  std::lock_guard<std::mutex> guard(lock);
  auto it = loaded.find(path);
  if (it != loaded.end()) return it->second;
  if (!loadIfMissing) return nullptr;
  HMODULE module = ::LoadLibraryW(path.c_str());
  if (module) loaded[path] = module;
  return module;
}

}  // namespace

HRESULT ClassSource::Create(REFCLSID clsid, REFIID iid, void** out) const {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (dllPath_.empty()) return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
  HMODULE module = LoadServer(dllPath_);
  if (!module) return HRESULT_FROM_WIN32(::GetLastError());
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(::GetProcAddress(module, "DllGetClassObject"));
  if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.PutVoid());
  if (FAILED(hr)) return hr;
  if (!factory) return E_UNEXPECTED;
  return factory->CreateInstance(nullptr, iid, out);
}

HRESULT ClassSource::CanUnloadNow() const {
  if (dllPath_.empty()) return E_FAIL;
  HMODULE module = LoadServer(dllPath_, false);
  auto canUnload = module ? reinterpret_cast<CanUnloadNowFn>(::GetProcAddress(module, "DllCanUnloadNow")) : nullptr;
  return canUnload ? canUnload() : E_FAIL;
}

std::wstring ClsidText(REFCLSID clsid) {
  wchar_t text[64] = {};
  if (!::StringFromGUID2(clsid, text, 64)) return std::wstring();
  return text;
}

}  // namespace quillan::standin

#include "hdrop_data_object.h"

#include <shlobj.h>
#include <shellapi.h>

#include <cstring>

namespace quillan::standin {

namespace {

HRESULT CheckHDropFormat(const FORMATETC* format) {
  if (!format) return E_INVALIDARG;
  if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
  if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (format->lindex != -1) return DV_E_LINDEX;
  if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
  return S_OK;
}

}  // namespace

HGLOBAL MakeDropFiles(const std::vector<std::wstring>& paths) {
  size_t chars = 1;  // the empty name that ends the list
  for (const auto& path : paths) chars += path.size() + 1;
  SIZE_T size = sizeof(DROPFILES) + chars * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (!memory) return nullptr;
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  if (!drop) {
    ::GlobalFree(memory);
    return nullptr;
  }
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES));
  for (const auto& path : paths) {
    std::memcpy(names, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    names += path.size() + 1;
  }
  ::GlobalUnlock(memory);
  return memory;
}

HRESULT ReadDropList(IDataObject* object, std::vector<std::wstring>* paths) {
  paths->clear();
  if (!object) return E_POINTER;
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  HRESULT hr = object->GetData(&format, &medium);
  if (FAILED(hr)) return hr;
  if (medium.tymed != TYMED_HGLOBAL) {
    ::ReleaseStgMedium(&medium);
    return DV_E_TYMED;
  }
  auto drop = static_cast<HDROP>(::GlobalLock(medium.hGlobal));
  if (!drop) {
    ::ReleaseStgMedium(&medium);
    return E_OUTOFMEMORY;
  }
  UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    UINT got = ::DragQueryFileW(drop, i, &path[0], length + 1);
    path.resize(got);
    paths->push_back(path);
  }
  ::GlobalUnlock(medium.hGlobal);
  ::ReleaseStgMedium(&medium);
  return S_OK;
}

HDropDataObject* HDropDataObject::Create(std::vector<std::wstring> paths) {
  return new HDropDataObject(std::move(paths));
}

HRESULT HDropDataObject::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDataObject) {
    *out = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG HDropDataObject::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG HDropDataObject::Release() {
  LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT HDropDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!medium) return E_POINTER;
  std::memset(medium, 0, sizeof *medium);
  HRESULT hr = CheckHDropFormat(format);
  if (FAILED(hr)) return hr;
  HGLOBAL memory = MakeDropFiles(paths_);
  if (!memory) return E_OUTOFMEMORY;
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = memory;
  medium->pUnkForRelease = nullptr;  // the receiver frees the memory
  return S_OK;
}

HRESULT HDropDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT HDropDataObject::QueryGetData(FORMATETC* format) { return CheckHDropFormat(format); }

HRESULT HDropDataObject::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) {
  if (!out) return E_POINTER;
  if (in) *out = *in;
  out->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT HDropDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

HRESULT HDropDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return ::SHCreateStdEnumFmtEtc(1, &format, out);
}

HRESULT HDropDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT HDropDataObject::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT HDropDataObject::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

}  // namespace quillan::standin

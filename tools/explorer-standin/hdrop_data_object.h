// A data object that offers a list of paths as CF_HDROP, the form Explorer hands its selection to
// browser helpers and context-menu handlers in.
#pragma once

#include <objidl.h>
#include <windows.h>

#include <string>
#include <vector>

namespace quillan::standin {

class HDropDataObject final : public IDataObject {
 public:
  // A new object with one reference, which the caller owns.
  static HDropDataObject* Create(std::vector<std::wstring> paths);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDataObject
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override;

  const std::vector<std::wstring>& paths() const { return paths_; }

 private:
  explicit HDropDataObject(std::vector<std::wstring> paths) : paths_(std::move(paths)) {}
  ~HDropDataObject() = default;

  LONG refs_ = 1;
  std::vector<std::wstring> paths_;
};

// A DROPFILES block (wide names) in movable global memory, as CF_HDROP carries it; null on failure.
HGLOBAL MakeDropFiles(const std::vector<std::wstring>& paths);

// Reads the CF_HDROP list of a data object the way a shell extension does: GetData, DragQueryFileW.
HRESULT ReadDropList(IDataObject* object, std::vector<std::wstring>* paths);

}  // namespace quillan::standin

#include "base/shell_drop.h"

#include <cwchar>

namespace quillan {

LockedDrop::LockedDrop(IDataObject* data) noexcept {
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  if (!data || FAILED(data->GetData(&format, medium_.put()))) return;
  // Another kind of medium has no drop list in global memory to lock.
  if (medium_.get().tymed != TYMED_HGLOBAL || !medium_.get().hGlobal) return;
  drop_ = static_cast<HDROP>(::GlobalLock(medium_.get().hGlobal));
}

LockedDrop::~LockedDrop() {
  if (drop_) ::GlobalUnlock(medium_.get().hGlobal);  // the lock count is ours; its result says nothing
}

bool DropListPaths(HDROP drop, std::vector<std::wstring>* paths) noexcept {
  paths->clear();
  if (!drop) return false;
  try {
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT index = 0; index < count; ++index) {
      const UINT length = ::DragQueryFileW(drop, index, nullptr, 0);
      std::wstring path(static_cast<size_t>(length) + 1, L'\0');
      ::DragQueryFileW(drop, index, &path[0], length + 1);
      path.resize(std::wcslen(path.c_str()));
      paths->push_back(std::move(path));
    }
    return true;
  } catch (...) {  // no memory for the list
    paths->clear();
    return false;
  }
}

}  // namespace quillan

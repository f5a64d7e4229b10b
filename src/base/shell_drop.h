// The CF_HDROP list of a data object (a selection as Explorer hands it over) and its file paths.
#pragma once

#include <objidl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/com_values.h"

namespace quillan {

// The drop list of a data object in global memory, locked while this lives.
class LockedDrop {
 public:
  // Asks data for CF_HDROP (DVASPECT_CONTENT, index -1, TYMED_HGLOBAL) and locks the memory.
  explicit LockedDrop(IDataObject* data) noexcept;
  ~LockedDrop();
  LockedDrop(const LockedDrop&) = delete;
  LockedDrop& operator=(const LockedDrop&) = delete;
  // Null when there was no list, it was not in global memory or could not be locked.
  HDROP get() const noexcept { return drop_; }

 private:
  StgMedium medium_;
  HDROP drop_ = nullptr;
};

// The paths of a drop list, in its order; false, with no paths, when there is no memory for them.
bool DropListPaths(HDROP drop, std::vector<std::wstring>* paths) noexcept;

}  // namespace quillan

// Owners of the values COM hands out besides interfaces: BSTR texts and the STGMEDIUM of a GetData call.
#pragma once

#include <objidl.h>
#include <oleauto.h>

#include <string>

#include "base/handle.h"

namespace quillan {

namespace traits {
struct Bstr {
  using value_type = BSTR;
  static BSTR Invalid() noexcept { return nullptr; }
  static void Close(BSTR text) noexcept { ::SysFreeString(text); }
};
}  // namespace traits

using UniqueBstr = UniqueResource<traits::Bstr>;

// A BSTR copy of text; null when there is no memory for it.
inline UniqueBstr MakeBstr(const std::wstring& text) noexcept {
  return UniqueBstr(::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size())));
}

// The medium a GetData call fills, released (ReleaseStgMedium) however the caller leaves.
class StgMedium {
 public:
  StgMedium() = default;
  ~StgMedium() {
    if (taken_) ::ReleaseStgMedium(&medium_);
  }
  StgMedium(const StgMedium&) = delete;
  StgMedium& operator=(const StgMedium&) = delete;
  STGMEDIUM* put() noexcept {
    taken_ = true;
    return &medium_;
  }
  const STGMEDIUM& get() const noexcept { return medium_; }

 private:
  STGMEDIUM medium_ = {};
  bool taken_ = false;
};

}  // namespace quillan

// What the band asks of its Explorer window's host object. CVelCloudExplorerInjectObj implements it;
// a test may hand the band another implementation to watch the band's decisions.
#pragma once

#include <windows.h>

#include <string>

#include "config/account_entry.h"

namespace quillan {

class BandHost {
 public:
  // Sets the host up for a site (hidden window, display scale, presence event); a null site only
  // tears it down.
  virtual HRESULT Init(IUnknown* site) = 0;
  // show: put the bar up for this account (or keep it, rebuilt); otherwise take it away (the account
  // is then ignored).
  virtual HRESULT UpdateAccount(bool show, const AccountEntry& account) = 0;
  // Same account, another folder: keep the bar and re-check where it sits.
  virtual HRESULT Revalidate() = 0;
  // The account the host shows now (empty when none); the band names it in its quit notice.
  virtual const std::wstring& AccountUserId() const = 0;
  virtual const std::wstring& AccountEnterpriseId() const = 0;

 protected:
  ~BandHost() = default;
};

}  // namespace quillan

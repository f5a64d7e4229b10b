// What the band asks of its Explorer window's host object. CVelCloudExplorerInjectObj implements it;
// a test may hand the band another implementation to watch the band's decisions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace quillan {

class BandHost {
 public:
  // Sets the host up for a site (hidden window, display scale, presence event); a null site only
  // tears it down.
  virtual HRESULT Init(IUnknown* site) = 0;
  // show: put the bar up for this account (or keep it, rebuilt); otherwise take it away (the texts
  // are then empty and loggedIn 0). Note the order: userName before nickname and enterpriseName.
  virtual HRESULT UpdateAccount(bool show, const std::wstring& syncFolder, const std::wstring& userId,
                                const std::wstring& enterpriseId, const std::wstring& userName,
                                const std::wstring& nickname, const std::wstring& enterpriseName,
                                const std::wstring& avatarImage, int32_t loggedIn) = 0;
  // Same account, another folder: keep the bar and re-check where it sits.
  virtual HRESULT Revalidate() = 0;
  // The account the host shows now (empty when none); the band names it in its quit notice.
  virtual const std::wstring& AccountUserId() const = 0;
  virtual const std::wstring& AccountEnterpriseId() const = 0;

 protected:
  ~BandHost() = default;
};

}  // namespace quillan

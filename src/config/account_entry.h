// One verified sync folder (or junction folder) and the display data of the account that owns it.
#pragma once

#include <cstdint>
#include <string>

namespace quillan {

struct AccountEntry {
  int32_t loggedIn = 0;        // 0: found through the sync tree; 1: found through the profile tree
  std::wstring syncFolder;     // as read or combined, not normalised
  std::wstring userId;
  std::wstring enterpriseId;
  std::wstring nickname;
  std::wstring enterpriseName;
  std::wstring userName;
  std::wstring avatarImage;
};

}  // namespace quillan

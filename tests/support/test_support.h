// The tests' own namespace sees the harness (tools/harness): folders, files, processes, the stand-ins,
// the application's configuration files.
#pragma once

#include <gtest/gtest.h>

#include "account_files.h"
#include "config/sync_config.h"
#include "harness.h"

namespace quillan::test {
using namespace quillan::harness;

// The prefix's AppData; a test fails when the application's own trees are there already.
inline std::wstring PrefixAppData() {
  const std::wstring appData = GetSpecialFolder(26);
  EXPECT_FALSE(appData.empty() || FileExists(appData + L"\\VelQuillan") || FileExists(appData + L"\\VelQuillanWin"))
      << "the application's own trees are in the prefix";
  return appData;
}
}  // namespace quillan::test

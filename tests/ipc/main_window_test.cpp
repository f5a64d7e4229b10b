// Sends to the desktop application's main window and the start of the application.
#include <gtest/gtest.h>

#include "ipc/main_window.h"
#include "test_support.h"

namespace quillan {
namespace {

TEST(MainWindow, NothingIsSentWithoutAMainWindow) {
  ASSERT_EQ(FindMainWindow(), nullptr);
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(SendToMainWindow(BuildSelectionFlagRecord(true)));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(SendToMainWindow(33779, nullptr, 0));
  // No launch without the login flag, nor for an account that is already logged in.
  test::TempDir dir;
  EXPECT_EQ(SendBarRecord(nullptr, nullptr, L"u", L"e", L"n", L"en", 0, 0, dir / L"bin\\QuillanShellUI.DLL"), 0);
  EXPECT_EQ(SendBarRecord(nullptr, nullptr, L"u", L"e", L"n", L"en", 1, 1, dir / L"bin\\QuillanShellUI.DLL"), 0);
  EXPECT_LT(::GetTickCount() - start, 400u);
}

}  // namespace
}  // namespace quillan

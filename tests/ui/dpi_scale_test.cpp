#include "ui/dpi_scale.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/system_version.h"

namespace quillan {
namespace {

TEST(DpiScale, TableOfDpisAndScales) {
  const struct {
    int dpi;
    float scale;
  } table[] = {{96, 1.0f},   {120, 1.25f}, {144, 1.5f}, {168, 1.75f}, {192, 2.0f},
               {216, 2.25f}, {240, 2.5f},  {288, 3.0f}, {336, 3.5f}};
  for (const auto& row : table) {
    EXPECT_TRUE(DpiScale::InitFromDpi(row.dpi)) << row.dpi;
    EXPECT_EQ(DpiScale::Scale(), row.scale) << row.dpi;
  }
  ASSERT_TRUE(DpiScale::InitFromDpi(120));
  EXPECT_EQ(DpiScale::Scaled(39), 48);
  EXPECT_EQ(DpiScale::Scaled(30), 37);
  EXPECT_EQ(DpiScale::Scaled(152), 190);
  // Off the table the previous scale stays.
  for (int dpi : {0, 95, 110, 264, 312, 337, 600}) {
    EXPECT_FALSE(DpiScale::InitFromDpi(dpi)) << dpi;
    EXPECT_EQ(DpiScale::Scale(), 1.25f) << dpi;
  }
}

// The version answers of a program that claims a Windows version through Wine's per-program
// registry setting: bit 0 IsVistaOrLater, bit 1 IsXpOr2003, then the share image's width.
DWORD ProbeAs(const wchar_t* version) {
  test::TempDir dir;
  std::wstring name = std::wstring(L"version_probe_") + version + L".exe";
  std::wstring exe = dir / name;
  if (!::CopyFileW((test::BinDir() + L"\\ui_version_probe.exe").c_str(), exe.c_str(), FALSE)) return 0xFFFFFFFF;
  std::wstring key = L"Software\\Wine\\AppDefaults\\" + name;
  ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version,
                    static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
  test::ChildProcess child;
  DWORD code = 0xFFFFFFFF;
  if (child.Start(exe, test::QuoteArg(exe)) && child.Wait(30000)) code = child.ExitCode();
  ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  return code;
}

TEST(SystemVersion, AnswersFollowTheReportedVersion) {
  EXPECT_TRUE(IsVistaOrLater());  // the test prefix reports Windows 7
  EXPECT_FALSE(IsXpOr2003());
  EXPECT_EQ(ProbeAs(L"win7"), 1u | (16u << 8));
  EXPECT_EQ(ProbeAs(L"winxp64"), 2u | (13u << 8));  // 5.2: the 13-pixel images
  EXPECT_EQ(ProbeAs(L"win2k") & 3u, 0u);  // 5.0: neither
}

}  // namespace
}  // namespace quillan

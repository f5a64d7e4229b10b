// Runs in both test prefixes: 96 DPI (scale 1.0) and 120 DPI (scale 1.25).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "band_fixture.h"
#include "test_support.h"

namespace quillan {
namespace {

using test::BandTest;

// The scale the prefix this program runs in must give (the harness names the prefix).
float PrefixScale() {
  const char* variant = std::getenv("QUILLAN_WINE_VARIANT");
  return variant && std::string(variant) == "dpi120" ? 1.25f : 1.0f;
}

TEST_F(BandTest, ControlsArePlacedByTheScale) {
  ASSERT_TRUE(DpiScale::Init());
  const float s = DpiScale::Scale();
  ASSERT_EQ(s, PrefixScale());
  Open(800);
  RECT avatar = test::RectInParent(::GetDlgItem(band(), IDC_AVATAR));
  RECT name = test::RectInParent(::GetDlgItem(band(), IDC_NAME));
  RECT icon = test::RectInParent(::GetDlgItem(band(), IDC_STATUS_ICON));
  RECT message = test::RectInParent(::GetDlgItem(band(), IDC_MESSAGE));
  RECT link = test::RectInParent(::GetDlgItem(band(), IDC_LOGIN_LINK));
  const int cy = height();
  // height, avatar x and side, icon x and side, name x, message x
  const std::vector<int> expected = s == 1.0f ? std::vector<int>{39, 4, 30, 165, 14, 42, 187}
                                              : std::vector<int>{48, 5, 37, 206, 17, 52, 233};
  EXPECT_EQ((std::vector<int>{cy, avatar.left, avatar.right - avatar.left, icon.left, icon.right - icon.left, name.left,
                              message.left}),
            expected);
  EXPECT_EQ(avatar.bottom - avatar.top, avatar.right - avatar.left);
  EXPECT_EQ(icon.bottom - icon.top, icon.right - icon.left);
  // Vertical centring, the name one scale unit lower, the link after the message's measured width.
  EXPECT_EQ(avatar.top, (cy - (avatar.bottom - avatar.top)) / 2);
  EXPECT_EQ(icon.top, (cy - (icon.bottom - icon.top)) / 2);
  EXPECT_EQ(message.top, (cy - (message.bottom - message.top)) / 2);
  EXPECT_EQ(link.top, (cy - (link.bottom - link.top)) / 2);
  EXPECT_EQ(name.top, static_cast<int>(s + static_cast<float>((cy - (name.bottom - name.top)) / 2)));
  EXPECT_EQ(link.left, static_cast<int>(7.0f * s + static_cast<float>(message.right - message.left) +
                                        static_cast<float>(message.left)));
  // The name and the message are exactly as large as their texts.
  SIZE measured = {};
  ASSERT_TRUE(band_->MessageControl().MeasureText(&measured));
  EXPECT_EQ(message.right - message.left, measured.cx);
  EXPECT_EQ(message.bottom - message.top, measured.cy);
  ASSERT_TRUE(band_->NameControl().MeasureText(&measured));
  EXPECT_EQ(name.right - name.left, measured.cx);
  for (int id : {IDC_AVATAR, IDC_NAME, IDC_STATUS_ICON, IDC_MESSAGE, IDC_LOGIN_LINK}) {
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(band(), id))) << id;
  }
}

}  // namespace
}  // namespace quillan

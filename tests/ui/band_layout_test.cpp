// Runs in both test prefixes: 96 DPI (scale 1.0) and 120 DPI (scale 1.25).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"
#include "band_fixture.h"

namespace quillan {
namespace {

using test::BandTest;

// The prefix this program runs in (the harness names it) is 120 DPI or 96 DPI.
bool At120Dpi() {
  const char* variant = std::getenv("QUILLAN_WINE_VARIANT");
  return variant && std::string(variant) == "dpi120";
}

TEST_F(BandTest, ControlsArePlacedByTheScale) {
  const float s = At120Dpi() ? 1.25f : 1.0f;
  ASSERT_EQ(DpiScale::Scale(), s);
  Open(800);
  const RECT avatar = test::RectInParent(Item(1002)), name = test::RectInParent(Item(1003));
  const RECT icon = test::RectInParent(Item(1004)), message = test::RectInParent(Item(1000));
  const RECT link = test::RectInParent(Item(1001));
  const int cy = height();
  // height, avatar x and side, icon x and side, name x, message x
  const std::vector<int> expected = s == 1.0f ? std::vector<int>{39, 4, 30, 165, 14, 42, 187}
                                              : std::vector<int>{48, 5, 37, 206, 17, 52, 233};
  EXPECT_EQ((std::vector<int>{cy, avatar.left, avatar.right - avatar.left, icon.left, icon.right - icon.left,
                              name.left, message.left}),
            expected);
  EXPECT_EQ(avatar.bottom - avatar.top, avatar.right - avatar.left);
  EXPECT_EQ(icon.bottom - icon.top, icon.right - icon.left);
  // Vertical centring, the name one scale unit lower, the link after the message's measured width.
  for (const RECT& r : {avatar, icon, message, link}) EXPECT_EQ(r.top, (cy - (r.bottom - r.top)) / 2);
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
  for (int id : test::kBandItems) EXPECT_TRUE(::IsWindowVisible(Item(id))) << id;
}

// The background's left 152 columns keep their width times the scale, the rest stretches, and the
// bottom row keeps its own colour; a resize redraws it at the new size.
TEST_F(BandTest, BackgroundStretchesAroundItsLeftSegment) {
  Open(500);
  Place(300);
  const int left = At120Dpi() ? 190 : 152, bottom = At120Dpi() ? 47 : 38;
  ASSERT_EQ(height(), bottom + 1);
  test::Canvas canvas(300, height(), RGB(1, 2, 3));
  ::SendMessageW(band(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
  for (int x = 0; x < 300; ++x) {
    ASSERT_EQ(canvas.Pixel(x, 0), x < left ? RGB(233, 238, 243) : RGB(246, 247, 249)) << x;
    ASSERT_EQ(canvas.Pixel(x, bottom - 1), x < left ? RGB(233, 238, 243) : RGB(246, 247, 249)) << x;
    ASSERT_EQ(canvas.Pixel(x, bottom), RGB(222, 227, 233)) << x;
  }
}

}  // namespace
}  // namespace quillan
